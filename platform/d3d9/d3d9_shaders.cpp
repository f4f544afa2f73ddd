// The device's application shaders: creation from the GLSL token format,
// binding, constant registers and their upload.
#include "d3d9_device.h"

#include <algorithm>
#include <cstring>

namespace d3d9gl {

// ---- Creation and binding -------------------------------------------------------------------
namespace {
// Reads the GLSL source out of a shader token stream (see d3d9.h).
bool ShaderSource(const DWORD* f, bool vertex, std::string& source, UINT& dwords)
{
    if (!f) return false;
    const DWORD version = f[0];
    if ((version & 0xFFFF0000u) != (vertex ? 0xFFFE0000u : 0xFFFF0000u)) return false;
    UINT i = 1;
    bool found = false;
    for (;;) {
        const DWORD t = f[i];
        if (t == 0x0000FFFFu) break;
        if ((t & 0xFFFF) != 0xFFFE) return false;  // only comment tokens are understood
        const UINT n = (t >> 16) & 0x7FFF;
        if (n >= 1 && f[i + 1] == D3DSHADER_GLSL_TAG && !found) {
            const char* text = reinterpret_cast<const char*>(f + i + 2);
            size_t max = (n - 1) * 4;
            source.assign(text, strnlen(text, max));
            found = true;
        }
        i += 1 + n;
        if (i > (1u << 20)) return false;
    }
    dwords = i + 1;
    return found;
}
} // namespace

bool Device::PrepareProgram(VertexShaderImpl* vs, PixelShaderImpl* ps)
{
    if (!vs || !ps || vs->GetDeviceImpl() != this || ps->GetDeviceImpl() != this) return false;
    MakeCurrent();
    Program* program = m_ff->Link(vs->glShader, ps->glShader);
    if (!program) return false;
    // The recorded states of the pair get their first draws now, behind the
    // application's loading, rather than in a frame.
    const auto states = m_shaderPipelines.equal_range(ShaderPairKey(vs->sourceHash, ps->sourceHash));
    for (auto it = states.first; it != states.second; ++it)
        m_ff->PrepareDraw(it->second, program->program);
    m_shaderPipelines.erase(states.first, states.second);
    return true;
}

HRESULT Device::CreateVertexShader(const DWORD* f, IDirect3DVertexShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    std::string src;
    UINT n = 0;
    if (!ShaderSource(f, true, src, n)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    VertexShaderImpl* s = new VertexShaderImpl(this, f, n, src, true);
    ++m_gl.counters.shaderCompiles;
    // The shader writes Direct3D's clip space; the wrapper maps it to GL's
    // the way the fixed-function programs do.
    const std::string wrapped = "#version 330 core\n#define main d3d_user_main\n" + src +
                                "\n#undef main\nuniform vec4 d3d_vpoff;\nvoid main() {\n  d3d_user_main();\n"
                                "  vec4 c = gl_Position;\n"
                                "  gl_Position = vec4(c.x + c.w * d3d_vpoff.x, -c.y + c.w * d3d_vpoff.y, "
                                "2.0 * c.z - c.w, c.w);\n}\n";
    if (!CompileShaderObject(s->glShader, wrapped, true)) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* f, IDirect3DPixelShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    std::string src;
    UINT n = 0;
    if (!ShaderSource(f, false, src, n)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    PixelShaderImpl* s = new PixelShaderImpl(this, f, n, src, false);
    ++m_gl.counters.shaderCompiles;
    // Window positions and y derivatives count rows from the top, whichever
    // way the target's rows run (d3d_fragy maps them: offset and direction).
    std::string rows, setRows;
    const bool position = src.find("gl_FragCoord") != std::string::npos;
    if (position || src.find("dFdy") != std::string::npos) {
        rows = "uniform vec2 d3d_fragy;\n"
               "float d3d_dFdy(float v) { return dFdy(v) * d3d_fragy.y; }\n"
               "vec2 d3d_dFdy(vec2 v) { return dFdy(v) * d3d_fragy.y; }\n"
               "vec3 d3d_dFdy(vec3 v) { return dFdy(v) * d3d_fragy.y; }\n"
               "vec4 d3d_dFdy(vec4 v) { return dFdy(v) * d3d_fragy.y; }\n"
               "#define dFdy d3d_dFdy\n";
        if (position) {
            rows += "vec4 d3d_FragCoord;\n";
            setRows = "  d3d_FragCoord = vec4(gl_FragCoord.x, d3d_fragy.x + d3d_fragy.y * gl_FragCoord.y, "
                      "gl_FragCoord.zw);\n";
            for (size_t at = src.find("gl_FragCoord"); at != std::string::npos; at = src.find("gl_FragCoord", at))
                src.replace(at, 12, "d3d_FragCoord");
        }
    }
    // The alpha test still applies after the shader, as on Direct3D 9.
    const std::string wrapped = "#version 330 core\n" + rows + "#define main d3d_user_main\n" + src +
                                "\n#undef main\nuniform int d3d_afunc;\nuniform float d3d_aref;\n"
                                "void main() {\n" + setRows + "  d3d_user_main();\n"
                                "  float a = floor(clamp(oC0.a, 0.0, 1.0) * 255.0 + 0.5);\n"
                                "  bool pass = d3d_afunc == 8 || (d3d_afunc == 2 && a < d3d_aref) ||\n"
                                "    (d3d_afunc == 3 && a == d3d_aref) || (d3d_afunc == 4 && a <= d3d_aref) ||\n"
                                "    (d3d_afunc == 5 && a > d3d_aref) || (d3d_afunc == 6 && a != d3d_aref) ||\n"
                                "    (d3d_afunc == 7 && a >= d3d_aref);\n"
                                "  if (!pass) discard;\n}\n";
    if (!CompileShaderObject(s->glShader, wrapped, false)) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* p)
{
    VertexShaderImpl* s = static_cast<VertexShaderImpl*>(p);
    DeviceState& st = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.vs = true;
    if (st.vs == s) return S_OK;
    SetBound(st.vs, s);
    if (!m_recording) m_dirty |= DirtyShaders;
    return S_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.vs;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* p)
{
    PixelShaderImpl* s = static_cast<PixelShaderImpl*>(p);
    DeviceState& st = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.ps = true;
    if (st.ps == s) return S_OK;
    SetBound(st.ps, s);
    if (!m_recording) m_dirty |= DirtyShaders;
    return S_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.ps;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

namespace {
template <class T, size_t N, size_t M, size_t B>
HRESULT SetConsts(T (&dst)[N][M], std::bitset<B>* mask, UINT start, const T* src, UINT count)
{
    if (!src || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst[start], src, sizeof(T) * M * count);
    if (mask)
        for (UINT i = 0; i < count; ++i) mask->set(start + i);
    return S_OK;
}

template <class T, size_t N, size_t M>
HRESULT GetConsts(const T (&src)[N][M], UINT start, T* dst, UINT count)
{
    if (!dst || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst, src[start], sizeof(T) * M * count);
    return S_OK;
}

// Boolean registers: one value each.
template <class T, size_t N, size_t B>
HRESULT SetConsts(T (&dst)[N], std::bitset<B>* mask, UINT start, const T* src, UINT count)
{
    if (!src || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst + start, src, sizeof(T) * count);
    if (mask)
        for (UINT i = 0; i < count; ++i) mask->set(start + i);
    return S_OK;
}

template <class T, size_t N>
HRESULT GetConsts(const T (&src)[N], UINT start, T* dst, UINT count)
{
    if (!dst || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst, src + start, sizeof(T) * count);
    return S_OK;
}
} // namespace

template <class Bank, class Mask, class T>
HRESULT Device::SetShaderConstants(Bank DeviceState::*bank, Mask StateMask::*mask, UniformGroup group, UINT start,
                                   const T* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    const HRESULT hr = SetConsts(r ? r->values.*bank : m_state.*bank, r ? &(r->mask.*mask) : nullptr, start, data, count);
    if (!r) ++m_serial[group];
    return hr;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    return SetShaderConstants(&DeviceState::vsConstF, &StateMask::vsConstF, UVSConst, start, data, count);
}
HRESULT Device::GetVertexShaderConstantF(UINT start, float* data, UINT count)
{
    return GetConsts(m_state.vsConstF, start, data, count);
}
HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count)
{
    return SetShaderConstants(&DeviceState::vsConstI, &StateMask::vsConstI, UVSConst, start, data, count);
}
HRESULT Device::GetVertexShaderConstantI(UINT start, int* data, UINT count)
{
    return GetConsts(m_state.vsConstI, start, data, count);
}
HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    return SetShaderConstants(&DeviceState::vsConstB, &StateMask::vsConstB, UVSConst, start, data, count);
}
HRESULT Device::GetVertexShaderConstantB(UINT start, BOOL* data, UINT count)
{
    return GetConsts(m_state.vsConstB, start, data, count);
}
HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    return SetShaderConstants(&DeviceState::psConstF, &StateMask::psConstF, UPSConst, start, data, count);
}
HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count)
{
    return GetConsts(m_state.psConstF, start, data, count);
}
HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count)
{
    return SetShaderConstants(&DeviceState::psConstI, &StateMask::psConstI, UPSConst, start, data, count);
}
HRESULT Device::GetPixelShaderConstantI(UINT start, int* data, UINT count)
{
    return GetConsts(m_state.psConstI, start, data, count);
}
HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    return SetShaderConstants(&DeviceState::psConstB, &StateMask::psConstB, UPSConst, start, data, count);
}
HRESULT Device::GetPixelShaderConstantB(UINT start, BOOL* data, UINT count)
{
    return GetConsts(m_state.psConstB, start, data, count);
}

// ---- Programs of application shaders -------------------------------------------------------
void Device::UploadShaderConstants(Program* p, bool pixel)
{
    GLCounters& c = m_gl.counters;
    if (p->uploadedVS != m_serial[UVSConst]) {
        if (p->vsc >= 0) gl.glUniform4fv(p->vsc, kMaxVSConstF, m_state.vsConstF[0]);
        if (p->vsi >= 0) gl.glUniform4iv(p->vsi, 16, m_state.vsConstI[0]);
        if (p->vsb >= 0) gl.glUniform1iv(p->vsb, 16, m_state.vsConstB);
        p->uploadedVS = m_serial[UVSConst];
        ++c.uniformUploads;
    }
    if (pixel && p->uploadedPS != m_serial[UPSConst]) {
        if (p->psc >= 0) gl.glUniform4fv(p->psc, kMaxPSConstF, m_state.psConstF[0]);
        if (p->psi >= 0) gl.glUniform4iv(p->psi, 16, m_state.psConstI[0]);
        if (p->psb >= 0) gl.glUniform1iv(p->psb, 16, m_state.psConstB);
        p->uploadedPS = m_serial[UPSConst];
        ++c.uniformUploads;
    }
    // The alpha test's function and reference, 8 (always) when it is off.
    const DWORD func = m_state.rs[D3DRS_ALPHATESTENABLE] ? std::min<DWORD>(m_state.rs[D3DRS_ALPHAFUNC], 8) : 8;
    const uint32_t alphaKey = func | ((m_state.rs[D3DRS_ALPHAREF] & 0xFF) << 8);
    if (pixel && p->uploadedAlpha != alphaKey) {
        if (p->afunc >= 0) gl.glUniform1i(p->afunc, (GLint)func);
        if (p->shaderAref >= 0) gl.glUniform1f(p->shaderAref, (float)(m_state.rs[D3DRS_ALPHAREF] & 0xFF));
        p->uploadedAlpha = alphaKey;
        ++c.uniformUploads;
    }
    if (p->uploadedVP != m_serial[UViewport]) {
        const D3DVIEWPORT9& v = m_state.viewport;
        float off[4] = {1.0f / (float)std::max<DWORD>(v.Width, 1), 1.0f / (float)std::max<DWORD>(v.Height, 1), 0, 0};
        if (p->shaderVpoff >= 0) gl.glUniform4fv(p->shaderVpoff, 1, off);
        const float rows[2] = {m_boundWindow ? (float)m_backBuffer->height : 0.0f, m_boundWindow ? -1.0f : 1.0f};
        if (p->shaderFragY >= 0) gl.glUniform2fv(p->shaderFragY, 1, rows);
        p->uploadedVP = m_serial[UViewport];
        ++c.uniformUploads;
    }
}

void Device::ForgetShader(GLuint shader)
{
    m_ff->ForgetShader(shader);
    m_program = nullptr;
    m_dirty |= DirtyShaders;
}

} // namespace d3d9gl
