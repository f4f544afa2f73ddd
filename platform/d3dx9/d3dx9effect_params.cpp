// Parameter values: the setters and getters of ID3DXBaseEffect with D3DX's
// conversions between types, and their packing into constant registers.
#include "d3dx9effect_impl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3dx9fx {

DWORD StoreNumber(fx::Base base, double v)
{
    if (base == fx::Base::Float) {
        const float f = (float)v;
        DWORD d;
        std::memcpy(&d, &f, 4);
        return d;
    }
    if (base == fx::Base::Int)
        return (DWORD)(int)std::lround(v);
    return v != 0.0 ? 1u : 0u;
}

double LoadNumber(fx::Base base, DWORD d)
{
    if (base == fx::Base::Float) {
        float f;
        std::memcpy(&f, &d, 4);
        return f;
    }
    if (base == fx::Base::Int)
        return (double)(int)d;
    return d ? 1.0 : 0.0;
}

namespace {

bool IsMatrix(const Param& p)
{
    return p.type.cls == fx::Class::MatrixRows || p.type.cls == fx::Class::MatrixColumns;
}

} // namespace

void Effect::Touch(Param* p)
{
    p->root->version = ++m_changes;
}

HRESULT Effect::WriteNumbers(D3DXHANDLE h, const double* values, UINT count, bool scalarOnly)
{
    Param* p = ParamOf(h);
    if (!p || !p->type.Numeric() || (!values && count))
        return D3DERR_INVALIDCALL;
    const unsigned comps = p->Components();
    if (scalarOnly && comps != 1 && p->type.cls != fx::Class::Scalar)
        return D3DERR_INVALIDCALL;
    const unsigned n = std::min<unsigned>(count, comps);
    for (unsigned i = 0; i < n; ++i)
        p->root->data[p->offset + i] = StoreNumber(p->type.base, values[i]);
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::ReadNumbers(D3DXHANDLE h, double* values, UINT count, bool scalarOnly)
{
    Param* p = ParamOf(h);
    if (!p || !p->type.Numeric() || (!values && count))
        return D3DERR_INVALIDCALL;
    const unsigned comps = p->Components();
    if (scalarOnly && comps != 1 && p->type.cls != fx::Class::Scalar)
        return D3DERR_INVALIDCALL;
    for (unsigned i = 0; i < count; ++i)
        values[i] = i < comps ? LoadNumber(p->type.base, p->root->data[p->offset + i]) : 0.0;
    return D3D_OK;
}

HRESULT Effect::WriteVectors(D3DXHANDLE h, const D3DXVECTOR4* v, UINT count)
{
    Param* p = ParamOf(h);
    if (!p || !v || !p->type.Numeric() || IsMatrix(*p) || count > p->type.Count())
        return D3DERR_INVALIDCALL;
    const unsigned columns = p->type.columns;
    for (UINT e = 0; e < count; ++e) {
        const float c[4] = {v[e].x, v[e].y, v[e].z, v[e].w};
        for (unsigned j = 0; j < columns && j < 4; ++j)
            p->root->data[p->offset + e * columns + j] = StoreNumber(p->type.base, c[j]);
    }
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::ReadVectors(D3DXHANDLE h, D3DXVECTOR4* v, UINT count)
{
    Param* p = ParamOf(h);
    if (!p || !v || !p->type.Numeric() || IsMatrix(*p) || count > p->type.Count())
        return D3DERR_INVALIDCALL;
    const unsigned columns = p->type.columns;
    for (UINT e = 0; e < count; ++e) {
        float c[4] = {0, 0, 0, 0};
        for (unsigned j = 0; j < columns && j < 4; ++j)
            c[j] = (float)LoadNumber(p->type.base, p->root->data[p->offset + e * columns + j]);
        v[e] = D3DXVECTOR4(c[0], c[1], c[2], c[3]);
    }
    return D3D_OK;
}

HRESULT Effect::WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* const* m, UINT count, bool transpose)
{
    Param* p = ParamOf(h);
    if (!p || !m || !IsMatrix(*p) || count > p->type.Count())
        return D3DERR_INVALIDCALL;
    const unsigned rows = p->type.rows, cols = p->type.columns;
    for (UINT e = 0; e < count; ++e) {
        if (!m[e])
            return D3DERR_INVALIDCALL;
        for (unsigned r = 0; r < rows; ++r)
            for (unsigned c = 0; c < cols; ++c)
                p->root->data[p->offset + e * rows * cols + r * cols + c] =
                    StoreNumber(p->type.base, transpose ? m[e]->m[c][r] : m[e]->m[r][c]);
    }
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::ReadMatrices(D3DXHANDLE h, D3DXMATRIX* const* m, UINT count, bool transpose)
{
    Param* p = ParamOf(h);
    if (!p || !m || !IsMatrix(*p) || count > p->type.Count())
        return D3DERR_INVALIDCALL;
    const unsigned rows = p->type.rows, cols = p->type.columns;
    for (UINT e = 0; e < count; ++e) {
        if (!m[e])
            return D3DERR_INVALIDCALL;
        std::memset(m[e]->m, 0, sizeof(m[e]->m));
        for (unsigned r = 0; r < rows; ++r)
            for (unsigned c = 0; c < cols; ++c) {
                const float v = (float)LoadNumber(p->type.base, p->root->data[p->offset + e * rows * cols + r * cols + c]);
                if (transpose)
                    m[e]->m[c][r] = v;
                else
                    m[e]->m[r][c] = v;
            }
    }
    return D3D_OK;
}

HRESULT Effect::SetValue(D3DXHANDLE h, LPCVOID data, UINT bytes)
{
    Param* p = ParamOf(h);
    if (!p || !data)
        return D3DERR_INVALIDCALL;
    if (p->type.IsTexture())
        return bytes >= sizeof(void*) ? SetTexture(h, *static_cast<IDirect3DBaseTexture9* const*>(data))
                                      : D3DERR_INVALIDCALL;
    if (p->type.base == fx::Base::String)
        return bytes >= sizeof(void*) ? SetString(h, *static_cast<const LPCSTR*>(data)) : D3DERR_INVALIDCALL;
    if (!p->type.Numeric())
        return D3DERR_INVALIDCALL;
    const UINT size = p->Components() * 4;
    if (bytes == D3DX_DEFAULT)
        bytes = size;
    if (bytes > size)
        return D3DERR_INVALIDCALL;
    std::memcpy(&p->root->data[p->offset], data, bytes);
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::GetValue(D3DXHANDLE h, LPVOID data, UINT bytes)
{
    Param* p = ParamOf(h);
    if (!p || !data)
        return D3DERR_INVALIDCALL;
    if (p->type.IsTexture()) {
        if (bytes < sizeof(void*))
            return D3DERR_INVALIDCALL;
        IDirect3DBaseTexture9* t = p->root->texture;
        if (t)
            t->AddRef();
        std::memcpy(data, &t, sizeof(t));
        return D3D_OK;
    }
    if (p->type.base == fx::Base::String) {
        if (bytes < sizeof(void*))
            return D3DERR_INVALIDCALL;
        LPCSTR s = p->root->text.c_str();
        std::memcpy(data, &s, sizeof(s));
        return D3D_OK;
    }
    if (!p->type.Numeric())
        return D3DERR_INVALIDCALL;
    const UINT size = p->Components() * 4;
    if (bytes == D3DX_DEFAULT)
        bytes = size;
    std::memcpy(data, &p->root->data[p->offset], std::min(bytes, size));
    return bytes < size ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Effect::SetRawValue(D3DXHANDLE h, LPCVOID data, UINT offset, UINT bytes)
{
    Param* p = ParamOf(h);
    if (!p || !data || !p->type.Numeric())
        return D3DERR_INVALIDCALL;
    const UINT size = p->Components() * 4;
    if (offset > size || bytes > size - offset)
        return D3DERR_INVALIDCALL;
    std::memcpy(reinterpret_cast<BYTE*>(&p->root->data[p->offset]) + offset, data, bytes);
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::SetBool(D3DXHANDLE h, BOOL b)
{
    const double v = b ? 1.0 : 0.0;
    return WriteNumbers(h, &v, 1, true);
}

HRESULT Effect::GetBool(D3DXHANDLE h, BOOL* b)
{
    double v = 0;
    if (!b)
        return D3DERR_INVALIDCALL;
    HRESULT hr = ReadNumbers(h, &v, 1, true);
    *b = v != 0.0;
    return hr;
}

HRESULT Effect::SetBoolArray(D3DXHANDLE h, const BOOL* b, UINT count)
{
    if (!b)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(count);
    for (UINT i = 0; i < count; ++i)
        v[i] = b[i] ? 1.0 : 0.0;
    return WriteNumbers(h, v.data(), count, false);
}

HRESULT Effect::GetBoolArray(D3DXHANDLE h, BOOL* b, UINT count)
{
    if (!b)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(count);
    HRESULT hr = ReadNumbers(h, v.data(), count, false);
    for (UINT i = 0; i < count; ++i)
        b[i] = v[i] != 0.0;
    return hr;
}

HRESULT Effect::SetInt(D3DXHANDLE h, INT n)
{
    const double v = n;
    return WriteNumbers(h, &v, 1, true);
}

HRESULT Effect::GetInt(D3DXHANDLE h, INT* n)
{
    double v = 0;
    if (!n)
        return D3DERR_INVALIDCALL;
    HRESULT hr = ReadNumbers(h, &v, 1, true);
    *n = (INT)std::lround(v);
    return hr;
}

HRESULT Effect::SetIntArray(D3DXHANDLE h, const INT* n, UINT count)
{
    if (!n)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(n, n + count);
    return WriteNumbers(h, v.data(), count, false);
}

HRESULT Effect::GetIntArray(D3DXHANDLE h, INT* n, UINT count)
{
    if (!n)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(count);
    HRESULT hr = ReadNumbers(h, v.data(), count, false);
    for (UINT i = 0; i < count; ++i)
        n[i] = (INT)std::lround(v[i]);
    return hr;
}

HRESULT Effect::SetFloat(D3DXHANDLE h, FLOAT f)
{
    const double v = f;
    return WriteNumbers(h, &v, 1, true);
}

HRESULT Effect::GetFloat(D3DXHANDLE h, FLOAT* f)
{
    double v = 0;
    if (!f)
        return D3DERR_INVALIDCALL;
    HRESULT hr = ReadNumbers(h, &v, 1, true);
    *f = (FLOAT)v;
    return hr;
}

HRESULT Effect::SetFloatArray(D3DXHANDLE h, const FLOAT* f, UINT count)
{
    if (!f)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(f, f + count);
    return WriteNumbers(h, v.data(), count, false);
}

HRESULT Effect::GetFloatArray(D3DXHANDLE h, FLOAT* f, UINT count)
{
    if (!f)
        return D3DERR_INVALIDCALL;
    std::vector<double> v(count);
    HRESULT hr = ReadNumbers(h, v.data(), count, false);
    for (UINT i = 0; i < count; ++i)
        f[i] = (FLOAT)v[i];
    return hr;
}

HRESULT Effect::SetVector(D3DXHANDLE h, const D3DXVECTOR4* v)
{
    return WriteVectors(h, v, 1);
}

HRESULT Effect::GetVector(D3DXHANDLE h, D3DXVECTOR4* v)
{
    return ReadVectors(h, v, 1);
}

HRESULT Effect::SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, UINT count)
{
    return WriteVectors(h, v, count);
}

HRESULT Effect::GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, UINT count)
{
    return ReadVectors(h, v, count);
}

namespace {
template <class M>
std::vector<M*> Pointers(M* m, UINT count)
{
    std::vector<M*> p(count);
    for (UINT i = 0; i < count; ++i)
        p[i] = m ? m + i : nullptr;
    return p;
}
} // namespace

HRESULT Effect::SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m)
{
    return WriteMatrices(h, &m, 1, false);
}

HRESULT Effect::GetMatrix(D3DXHANDLE h, D3DXMATRIX* m)
{
    return ReadMatrices(h, &m, 1, false);
}

HRESULT Effect::SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT count)
{
    if (!m)
        return D3DERR_INVALIDCALL;
    return WriteMatrices(h, Pointers(m, count).data(), count, false);
}

HRESULT Effect::GetMatrixArray(D3DXHANDLE h, D3DXMATRIX* m, UINT count)
{
    if (!m)
        return D3DERR_INVALIDCALL;
    return ReadMatrices(h, Pointers(m, count).data(), count, false);
}

HRESULT Effect::SetMatrixPointerArray(D3DXHANDLE h, const D3DXMATRIX** m, UINT count)
{
    return WriteMatrices(h, m, count, false);
}

HRESULT Effect::GetMatrixPointerArray(D3DXHANDLE h, D3DXMATRIX** m, UINT count)
{
    return ReadMatrices(h, m, count, false);
}

HRESULT Effect::SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* m)
{
    return WriteMatrices(h, &m, 1, true);
}

HRESULT Effect::GetMatrixTranspose(D3DXHANDLE h, D3DXMATRIX* m)
{
    return ReadMatrices(h, &m, 1, true);
}

HRESULT Effect::SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT count)
{
    if (!m)
        return D3DERR_INVALIDCALL;
    return WriteMatrices(h, Pointers(m, count).data(), count, true);
}

HRESULT Effect::GetMatrixTransposeArray(D3DXHANDLE h, D3DXMATRIX* m, UINT count)
{
    if (!m)
        return D3DERR_INVALIDCALL;
    return ReadMatrices(h, Pointers(m, count).data(), count, true);
}

HRESULT Effect::SetMatrixTransposePointerArray(D3DXHANDLE h, const D3DXMATRIX** m, UINT count)
{
    return WriteMatrices(h, m, count, true);
}

HRESULT Effect::GetMatrixTransposePointerArray(D3DXHANDLE h, D3DXMATRIX** m, UINT count)
{
    return ReadMatrices(h, m, count, true);
}

HRESULT Effect::SetString(D3DXHANDLE h, LPCSTR s)
{
    Param* p = ParamOf(h);
    if (!p || !s || p->type.base != fx::Base::String)
        return D3DERR_INVALIDCALL;
    p->root->text = s;
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::GetString(D3DXHANDLE h, LPCSTR* s)
{
    Param* p = ParamOf(h);
    if (!p || !s || p->type.base != fx::Base::String)
        return D3DERR_INVALIDCALL;
    *s = p->root->text.c_str();
    return D3D_OK;
}

HRESULT Effect::SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* t)
{
    Param* p = ParamOf(h);
    if (!p || !p->type.IsTexture())
        return D3DERR_INVALIDCALL;
    Param* root = p->root;
    if (root->texture == t)
        return D3D_OK;
    if (t)
        t->AddRef();
    if (root->texture)
        root->texture->Release();
    root->texture = t;
    Touch(p);
    return D3D_OK;
}

HRESULT Effect::GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** t)
{
    Param* p = ParamOf(h);
    if (!p || !t || !p->type.IsTexture())
        return D3DERR_INVALIDCALL;
    *t = p->root->texture;
    if (*t)
        (*t)->AddRef();
    return D3D_OK;
}

HRESULT Effect::GetPixelShader(D3DXHANDLE, IDirect3DPixelShader9** s)
{
    if (s)
        *s = nullptr;
    return D3DERR_INVALIDCALL;  // no parameter holds a shader
}

HRESULT Effect::GetVertexShader(D3DXHANDLE, IDirect3DVertexShader9** s)
{
    if (s)
        *s = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT Effect::SetArrayRange(D3DXHANDLE h, UINT, UINT)
{
    return ParamOf(h) ? D3D_OK : D3DERR_INVALIDCALL;
}

// Registers as D3DX fills them: a column-major matrix one column per
// register, a row-major one one row per register, vectors from x on.
void Effect::Upload(const Param* p, const hlsl::Constant& c, bool vertex)
{
    if (p->skip)
        return;
    const unsigned rpe = hlsl::RegistersPerElement(p->type);
    const unsigned rows = p->type.rows, cols = p->type.columns, comps = p->type.Components();
    const unsigned elements = std::min(p->type.Count(), c.count / std::max(rpe, 1u));
    auto value = [&](unsigned i) { return LoadNumber(p->type.base, p->data[i]); };
    if (c.set == hlsl::RegisterSet::Bool) {
        std::vector<BOOL> regs(c.count, FALSE);
        for (unsigned e = 0; e < elements && e < c.count; ++e)
            regs[e] = value(e * comps) != 0.0;
        if (vertex)
            m_device->SetVertexShaderConstantB(c.start, regs.data(), c.count);
        else
            m_device->SetPixelShaderConstantB(c.start, regs.data(), c.count);
        return;
    }
    std::vector<double> regs((size_t)c.count * 4, 0.0);
    for (unsigned e = 0; e < elements; ++e) {
        const unsigned base = e * comps;
        for (unsigned r = 0; r < rpe; ++r) {
            double* reg = &regs[((size_t)e * rpe + r) * 4];
            if (p->type.cls == fx::Class::MatrixColumns)
                for (unsigned i = 0; i < rows; ++i)
                    reg[i] = value(base + i * cols + r);
            else if (p->type.cls == fx::Class::MatrixRows)
                for (unsigned j = 0; j < cols; ++j)
                    reg[j] = value(base + r * cols + j);
            else
                for (unsigned j = 0; j < cols && j < 4; ++j)
                    reg[j] = value(base + j);
        }
    }
    if (c.set == hlsl::RegisterSet::Float) {
        std::vector<float> f(regs.begin(), regs.end());
        if (vertex)
            m_device->SetVertexShaderConstantF(c.start, f.data(), c.count);
        else
            m_device->SetPixelShaderConstantF(c.start, f.data(), c.count);
    } else {
        std::vector<int> n(regs.size());
        for (size_t i = 0; i < regs.size(); ++i)
            n[i] = (int)std::lround(regs[i]);
        if (vertex)
            m_device->SetVertexShaderConstantI(c.start, n.data(), c.count);
        else
            m_device->SetPixelShaderConstantI(c.start, n.data(), c.count);
    }
}

} // namespace d3dx9fx
