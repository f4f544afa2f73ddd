// Shader objects and programs of the fixed-function pipeline, and their cache.
#include "d3d9_ffp.h"
#include "d3d9_pipelines.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d9gl {

bool CompileShaderObject(GLuint& shader, const std::string& source, bool vertex)
{
    shader = gl.glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* text = source.c_str();
    gl.glShaderSource(shader, 1, &text, nullptr);
    gl.glCompileShader(shader);
    GLint ok = 0;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl.glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        std::fprintf(stderr, "d3d9: %s shader does not compile:\n%s\n", vertex ? "vertex" : "pixel", log);
        gl.glDeleteShader(shader);
        shader = 0;
        return false;
    }
    return true;
}

// ---- The cache of shaders and programs ------------------------------------------------------
namespace {
size_t HashBytes(const void* p, size_t n)
{
    // FNV-1a over the key's bytes.
    uint64_t h = 1469598103934665603ull;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return (size_t)h;
}

void FindUniforms(Program* prog, GLuint p)
{
    prog->program = p;
    for (uint32_t& u : prog->uploaded) u = ~0u;
    auto loc = [&](const char* n) { return gl.glGetUniformLocation(p, n); };
    prog->wv = loc("u_wv");
    prog->nm = loc("u_nm");
    prog->proj = loc("u_proj");
    prog->vp = loc("u_vp");
    prog->vpoff = loc("u_vpoff");
    prog->texm = loc("u_texm");
    prog->ld = loc("u_ld");
    prog->ls = loc("u_ls");
    prog->la = loc("u_la");
    prog->lp = loc("u_lp");
    prog->ldir = loc("u_ldir");
    prog->latt = loc("u_latt");
    prog->lspot = loc("u_lspot");
    prog->md = loc("u_md");
    prog->ma = loc("u_ma");
    prog->ms = loc("u_ms");
    prog->me = loc("u_me");
    prog->mp = loc("u_mp");
    prog->gamb = loc("u_gamb");
    prog->fog = loc("u_fog");
    prog->point = loc("u_point");
    prog->pscale = loc("u_pscale");
    prog->tf = loc("u_tf");
    prog->cst = loc("u_cst");
    prog->fogc = loc("u_fogc");
    prog->aref = loc("u_aref");
    prog->vsc = loc("vs_c");
    prog->psc = loc("ps_c");
    prog->vsi = loc("vs_i");
    prog->psi = loc("ps_i");
    prog->vsb = loc("vs_b");
    prog->psb = loc("ps_b");
    prog->shaderVpoff = loc("d3d_vpoff");
    prog->shaderFragY = loc("d3d_fragy");
    prog->afunc = loc("d3d_afunc");
    prog->shaderAref = loc("d3d_aref");
    prog->kvs = loc("k_vs");
    prog->kps = loc("k_ps");
}
} // namespace

bool FFVertexKey::operator==(const FFVertexKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
size_t FFVertexKey::Hash() const { return HashBytes(this, sizeof(*this)); }
bool FFPixelKey::operator==(const FFPixelKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
size_t FFPixelKey::Hash() const { return HashBytes(this, sizeof(*this)); }

GLuint FFCache::VertexShader(const FFVertexKey& key)
{
    auto it = m_vertex.find(key);
    if (it != m_vertex.end()) return it->second;
    GLuint s = 0;
    ++m_state.counters.shaderCompiles;
    CompileShaderObject(s, FFVertexSource(key), true);
    m_vertex.emplace(key, s);
    return s;
}

GLuint FFCache::FragmentShader(const FFPixelKey& key)
{
    auto it = m_fragment.find(key);
    if (it != m_fragment.end()) return it->second;
    GLuint s = 0;
    ++m_state.counters.shaderCompiles;
    CompileShaderObject(s, FFFragmentSource(key), false);
    m_fragment.emplace(key, s);
    return s;
}

GLuint LinkShaders(GLuint vs, GLuint fs)
{
    GLuint p = gl.glCreateProgram();
    gl.glAttachShader(p, vs);
    gl.glAttachShader(p, fs);
    gl.glBindFragDataLocation(p, 0, "oC0");
    gl.glLinkProgram(p);
    GLint ok = 0;
    gl.glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (ok) return p;
    char log[2048] = {0};
    gl.glGetProgramInfoLog(p, sizeof(log) - 1, nullptr, log);
    std::fprintf(stderr, "d3d9: program does not link:\n%s\n", log);
    gl.glDeleteProgram(p);
    return 0;
}

Program* MakeProgram(GLStateCache& state, GLuint p)
{
    Program* prog = new Program();
    FindUniforms(prog, p);
    // Samplers are fixed: s<n> reads texture unit n.
    state.UseProgram(p);
    for (int i = 0; i < 16; ++i) {
        GLint l = gl.glGetUniformLocation(p, ("s" + std::to_string(i)).c_str());
        if (l >= 0) gl.glUniform1i(l, i);
    }
    return prog;
}

Program* FFCache::Link(GLuint vs, GLuint fs)
{
    if (!vs || !fs) return nullptr;
    const uint64_t key = (uint64_t)vs << 32 | fs;
    auto it = m_programs.find(key);
    if (it != m_programs.end()) return it->second;
    ++m_state.counters.programLinks;
    const GLuint p = LinkShaders(vs, fs);
    Program* prog = p ? MakeProgram(m_state, p) : nullptr;
    m_programs[key] = prog;
    return prog;
}

void FFCache::ForgetShader(GLuint shader)
{
    for (auto it = m_programs.begin(); it != m_programs.end();) {
        if ((GLuint)(it->first >> 32) == shader || (GLuint)it->first == shader) {
            if (it->second) {
                const GLuint program = it->second->program;
                m_warmPrograms.erase(std::remove_if(m_warmPrograms.begin(), m_warmPrograms.end(),
                                                    [&](const auto& d) { return d.second == program; }),
                                     m_warmPrograms.end());
                m_state.ForgetProgram(program);
                gl.glDeleteProgram(program);
                delete it->second;
            }
            it = m_programs.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace d3d9gl
