// Normals, tangents and bounding volumes.
#include "d3dx9mesh_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

D3DXVECTOR3 sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return D3DXVECTOR3(a.x - b.x, a.y - b.y, a.z - b.z); }

D3DXVECTOR3 cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

D3DXVECTOR3 normalized(const D3DXVECTOR3& v)
{
    const float len = std::sqrt(dot(v, v));
    return len > 0.0f ? D3DXVECTOR3(v.x / len, v.y / len, v.z / len) : D3DXVECTOR3(0, 0, 0);
}

// The angle between two edges leaving a corner.
float cornerAngle(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    const float la = std::sqrt(dot(a, a)), lb = std::sqrt(dot(b, b));
    if (la == 0.0f || lb == 0.0f)
        return 0.0f;
    return std::acos(std::min(1.0f, std::max(-1.0f, dot(a, b) / (la * lb))));
}

void writeVector(d3dx::MeshData& m, DWORD v, const D3DVERTEXELEMENT9* e, const D3DXVECTOR3& value)
{
    const float f[4] = {value.x, value.y, value.z, 0.0f};
    d3dx::WriteElement(m.vertices.data() + (size_t)v * m.stride + e->Offset, e->Type, f);
}

HRESULT writeBack(ID3DXBaseMesh* mesh, const d3dx::MeshData& m)
{
    void* p = nullptr;
    HRESULT hr = mesh->LockVertexBuffer(0, &p);
    if (FAILED(hr))
        return hr;
    std::memcpy(p, m.vertices.data(), m.vertices.size());
    return mesh->UnlockVertexBuffer();
}

} // namespace

HRESULT D3DXComputeNormals(LPD3DXBASEMESH mesh, const DWORD* adjacency)
{
    if (!mesh)
        return D3DERR_INVALIDCALL;
    ID3DXMesh* m = nullptr;
    if (FAILED(mesh->QueryInterface(IID_ID3DXMesh, (void**)&m)))
        return D3DERR_INVALIDCALL;
    // Worked in the vertex buffer itself: only the indices are copied.
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    std::vector<DWORD> indices;
    HRESULT hr = m->GetDeclaration(decl);
    if (SUCCEEDED(hr))
        hr = d3dx::ReadIndices(m, &indices);
    const DWORD nv = m->GetNumVertices(), stride = m->GetNumBytesPerVertex();
    m->Release();
    if (FAILED(hr))
        return hr;
    const D3DVERTEXELEMENT9* normal = d3dx::FindElement(decl, D3DDECLUSAGE_NORMAL, 0);
    if (!normal)
        return D3DERR_INVALIDCALL;
    const D3DVERTEXELEMENT9* position = d3dx::FindElement(decl, D3DDECLUSAGE_POSITION, 0);
    if (!position)
        position = d3dx::FindElement(decl, D3DDECLUSAGE_POSITIONT, 0);
    const DWORD nf = (DWORD)(indices.size() / 3);
    for (DWORD i : indices)
        if (i >= nv)
            return D3DXERR_INVALIDMESH;
    BYTE* vertices = nullptr;
    if (FAILED(hr = mesh->LockVertexBuffer(0, (void**)&vertices)))
        return hr;
    auto positionOf = [&](DWORD v) {
        float f[4] = {0, 0, 0, 1};
        if (position)
            d3dx::ReadElement(vertices + (size_t)v * stride + position->Offset, position->Type, f);
        return D3DXVECTOR3(f[0], f[1], f[2]);
    };
    // With adjacency, the vertices at one point pool their faces.
    const std::vector<DWORD> reps = d3dx::PointRepsFromAdjacency(indices, nv, adjacency);
    std::vector<D3DXVECTOR3> sum(nv, D3DXVECTOR3(0, 0, 0));
    for (DWORD f = 0; f < nf; ++f) {
        const DWORD* c = &indices[(size_t)f * 3];
        const D3DXVECTOR3 p[3] = {positionOf(c[0]), positionOf(c[1]), positionOf(c[2])};
        const D3DXVECTOR3 n = normalized(cross(sub(p[1], p[0]), sub(p[2], p[0])));
        for (int k = 0; k < 3; ++k) {
            const float w = cornerAngle(sub(p[(k + 1) % 3], p[k]), sub(p[(k + 2) % 3], p[k]));
            D3DXVECTOR3& s = sum[reps[c[k]]];
            s.x += n.x * w;
            s.y += n.y * w;
            s.z += n.z * w;
        }
    }
    for (DWORD v = 0; v < nv; ++v) {
        const D3DXVECTOR3 n = normalized(sum[reps[v]]);
        const float f[4] = {n.x, n.y, n.z, 0.0f};
        d3dx::WriteElement(vertices + (size_t)v * stride + normal->Offset, normal->Type, f);
    }
    return mesh->UnlockVertexBuffer();
}

HRESULT D3DXComputeTangent(LPD3DXMESH mesh, DWORD texStage, DWORD tangentIndex, DWORD binormIndex, DWORD wrap,
                           const DWORD* adjacency)
{
    if (!mesh || texStage > 7)
        return D3DERR_INVALIDCALL;
    d3dx::MeshData m;
    HRESULT hr = d3dx::ReadMesh(mesh, &m);
    if (FAILED(hr))
        return hr;
    const D3DVERTEXELEMENT9* tex = d3dx::FindElement(m.decl.data(), D3DDECLUSAGE_TEXCOORD, (BYTE)texStage);
    const D3DVERTEXELEMENT9* tangent =
        tangentIndex == D3DX_DEFAULT ? nullptr : d3dx::FindElement(m.decl.data(), D3DDECLUSAGE_TANGENT, (BYTE)tangentIndex);
    const D3DVERTEXELEMENT9* binormal =
        binormIndex == D3DX_DEFAULT ? nullptr : d3dx::FindElement(m.decl.data(), D3DDECLUSAGE_BINORMAL, (BYTE)binormIndex);
    const D3DVERTEXELEMENT9* normal = d3dx::FindElement(m.decl.data(), D3DDECLUSAGE_NORMAL, 0);
    if (!tex || (!tangent && !binormal))
        return D3DERR_INVALIDCALL;
    const DWORD nv = m.NumVertices(), nf = m.NumFaces();
    for (DWORD i : m.indices)
        if (i >= nv)
            return D3DXERR_INVALIDMESH;
    const std::vector<DWORD> reps = d3dx::PointRepsFromAdjacency(m.indices, nv, adjacency);
    std::vector<D3DXVECTOR3> tsum(nv, D3DXVECTOR3(0, 0, 0)), bsum(nv, D3DXVECTOR3(0, 0, 0));
    auto uv = [&](DWORD v, float out[4]) { d3dx::ReadElement(m.vertices.data() + (size_t)v * m.stride + tex->Offset, tex->Type, out); };
    // With wrapping, coordinates more than half apart meet the short way round.
    auto wrapped = [](float d, bool on) {
        if (on && d > 0.5f)
            return d - std::ceil(d - 0.5f);
        if (on && d < -0.5f)
            return d + std::ceil(-d - 0.5f);
        return d;
    };
    for (DWORD f = 0; f < nf; ++f) {
        const DWORD* c = &m.indices[(size_t)f * 3];
        const D3DXVECTOR3 p0 = m.Position(c[0]);
        const D3DXVECTOR3 e1 = sub(m.Position(c[1]), p0), e2 = sub(m.Position(c[2]), p0);
        float t0[4], t1[4], t2[4];
        uv(c[0], t0);
        uv(c[1], t1);
        uv(c[2], t2);
        const float du1 = wrapped(t1[0] - t0[0], wrap & D3DXTANGENT_WRAP_U);
        const float dv1 = wrapped(t1[1] - t0[1], wrap & D3DXTANGENT_WRAP_V);
        const float du2 = wrapped(t2[0] - t0[0], wrap & D3DXTANGENT_WRAP_U);
        const float dv2 = wrapped(t2[1] - t0[1], wrap & D3DXTANGENT_WRAP_V);
        const float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < 1e-12f)
            continue;
        const float r = 1.0f / det;
        const D3DXVECTOR3 t((e1.x * dv2 - e2.x * dv1) * r, (e1.y * dv2 - e2.y * dv1) * r, (e1.z * dv2 - e2.z * dv1) * r);
        const D3DXVECTOR3 b((e2.x * du1 - e1.x * du2) * r, (e2.y * du1 - e1.y * du2) * r, (e2.z * du1 - e1.z * du2) * r);
        for (int k = 0; k < 3; ++k) {
            D3DXVECTOR3& ts = tsum[reps[c[k]]];
            D3DXVECTOR3& bs = bsum[reps[c[k]]];
            ts.x += t.x;
            ts.y += t.y;
            ts.z += t.z;
            bs.x += b.x;
            bs.y += b.y;
            bs.z += b.z;
        }
    }
    for (DWORD v = 0; v < nv; ++v) {
        D3DXVECTOR3 t = tsum[reps[v]], b = bsum[reps[v]];
        if (normal) {
            float nf4[4];
            d3dx::ReadElement(m.vertices.data() + (size_t)v * m.stride + normal->Offset, normal->Type, nf4);
            const D3DXVECTOR3 n = normalized(D3DXVECTOR3(nf4[0], nf4[1], nf4[2]));
            const float tn = dot(t, n);
            t = D3DXVECTOR3(t.x - n.x * tn, t.y - n.y * tn, t.z - n.z * tn);
            const float bn = dot(b, n);
            b = D3DXVECTOR3(b.x - n.x * bn, b.y - n.y * bn, b.z - n.z * bn);
        }
        if (tangent)
            writeVector(m, v, tangent, normalized(t));
        if (binormal)
            writeVector(m, v, binormal, normalized(b));
    }
    return writeBack(mesh, m);
}

HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* first, DWORD count, DWORD stride, D3DXVECTOR3* center,
                                  FLOAT* radius)
{
    if (!first || !center || !radius || count == 0)
        return D3DERR_INVALIDCALL;
    auto at = [&](DWORD i) { return (const D3DXVECTOR3*)((const BYTE*)first + (size_t)i * stride); };
    double sx = 0, sy = 0, sz = 0;
    for (DWORD i = 0; i < count; ++i) {
        sx += at(i)->x;
        sy += at(i)->y;
        sz += at(i)->z;
    }
    const D3DXVECTOR3 c((float)(sx / count), (float)(sy / count), (float)(sz / count));
    float r2 = 0.0f;
    for (DWORD i = 0; i < count; ++i) {
        const D3DXVECTOR3 d = sub(*at(i), c);
        r2 = std::max(r2, dot(d, d));
    }
    *center = c;
    *radius = std::sqrt(r2);
    return D3D_OK;
}

HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* first, DWORD count, DWORD stride, D3DXVECTOR3* lo,
                               D3DXVECTOR3* hi)
{
    if (!first || !lo || !hi || count == 0)
        return D3DERR_INVALIDCALL;
    D3DXVECTOR3 a = *first, b = *first;
    for (DWORD i = 1; i < count; ++i) {
        const D3DXVECTOR3* p = (const D3DXVECTOR3*)((const BYTE*)first + (size_t)i * stride);
        a = D3DXVECTOR3(std::min(a.x, p->x), std::min(a.y, p->y), std::min(a.z, p->z));
        b = D3DXVECTOR3(std::max(b.x, p->x), std::max(b.y, p->y), std::max(b.z, p->z));
    }
    *lo = a;
    *hi = b;
    return D3D_OK;
}
