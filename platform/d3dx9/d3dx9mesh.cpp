// ID3DXMesh: vertex, index and attribute buffers, drawing, cloning and
// adjacency. Every buffer is made and filled through IDirect3DDevice9.
#include "d3dx9mesh_internal.h"

#include "d3dx9_unknown.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <unordered_map>

const IID IID_ID3DXBaseMesh = {0x7ed943dd, 0x52e8, 0x40b5, {0xa8, 0xd8, 0x76, 0x68, 0x5c, 0x40, 0x63, 0x30}};
const IID IID_ID3DXMesh = {0x4020e5c2, 0x1403, 0x4929, {0x88, 0x3f, 0xe2, 0xe8, 0x49, 0xfa, 0xc1, 0x95}};

namespace {

const DWORD kNone = 0xFFFFFFFF;

D3DPOOL poolOf(DWORD options, DWORD systemmem, DWORD managed)
{
    if (options & systemmem)
        return D3DPOOL_SYSTEMMEM;
    if (options & managed)
        return D3DPOOL_MANAGED;
    return D3DPOOL_DEFAULT;
}

DWORD usageOf(DWORD options, bool vertex)
{
    DWORD u = 0;
    if (options & (vertex ? D3DXMESH_VB_WRITEONLY : D3DXMESH_IB_WRITEONLY))
        u |= D3DUSAGE_WRITEONLY;
    if (options & (vertex ? D3DXMESH_VB_DYNAMIC : D3DXMESH_IB_DYNAMIC))
        u |= D3DUSAGE_DYNAMIC;
    if (options & (vertex ? D3DXMESH_VB_SOFTWAREPROCESSING : D3DXMESH_IB_SOFTWAREPROCESSING))
        u |= D3DUSAGE_SOFTWAREPROCESSING;
    if (options & D3DXMESH_DONOTCLIP)
        u |= D3DUSAGE_DONOTCLIP;
    if (options & D3DXMESH_POINTS)
        u |= D3DUSAGE_POINTS;
    if (options & D3DXMESH_RTPATCHES)
        u |= D3DUSAGE_RTPATCHES;
    if (options & D3DXMESH_NPATCHES)
        u |= D3DUSAGE_NPATCHES;
    return u;
}

bool validDecl(const D3DVERTEXELEMENT9* decl)
{
    const UINT n = D3DXGetDeclLength(decl);
    if (n == 0 || n >= MAX_FVF_DECL_SIZE)
        return false;
    for (UINT i = 0; i < n; ++i)
        if (decl[i].Stream != 0 || d3dx::DeclTypeSize(decl[i].Type) == 0)
            return false;
    return true;
}

class Mesh final : public d3dx::Unknown<ID3DXMesh> {
public:
    Mesh(IDirect3DDevice9* device, DWORD options) : device_(device), options_(options) { device_->AddRef(); }
    ~Mesh()
    {
        if (vb_)
            vb_->Release();
        if (ib_)
            ib_->Release();
        if (declObject_)
            declObject_->Release();
        device_->Release();
    }

    HRESULT Init(DWORD numFaces, DWORD numVertices, const D3DVERTEXELEMENT9* decl)
    {
        const UINT n = D3DXGetDeclLength(decl);
        decl_.assign(decl, decl + n + 1);
        stride_ = D3DXGetDeclVertexSize(decl, 0);
        DWORD fvf = 0;
        fvf_ = SUCCEEDED(D3DXFVFFromDeclarator(decl, &fvf)) ? fvf : 0;
        numFaces_ = numFaces;
        numVertices_ = numVertices;
        const uint64_t vbBytes = (uint64_t)numVertices * stride_;
        const uint64_t ibBytes = (uint64_t)numFaces * 3 * indexSize();
        if (vbBytes > 0x7FFFFFFF || ibBytes > 0x7FFFFFFF)
            return E_OUTOFMEMORY;
        HRESULT hr = device_->CreateVertexBuffer((UINT)vbBytes, usageOf(options_, true), fvf_,
                                                 poolOf(options_, D3DXMESH_VB_SYSTEMMEM, D3DXMESH_VB_MANAGED), &vb_,
                                                 nullptr);
        if (FAILED(hr))
            return hr;
        hr = device_->CreateIndexBuffer((UINT)ibBytes, usageOf(options_, false),
                                        (options_ & D3DXMESH_32BIT) ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                        poolOf(options_, D3DXMESH_IB_SYSTEMMEM, D3DXMESH_IB_MANAGED), &ib_, nullptr);
        if (FAILED(hr))
            return hr;
        try {
            attributes_.assign(numFaces, 0);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return D3D_OK;
    }

    // ---- IUnknown ----
    HRESULT QueryInterface(REFIID riid, void** obj) override
    {
        return Query(riid, obj, {&IID_ID3DXBaseMesh, &IID_ID3DXMesh});
    }

    // ---- ID3DXBaseMesh ----
    HRESULT DrawSubset(DWORD id) override
    {
        HRESULT hr = device_->SetStreamSource(0, vb_, 0, stride_);
        if (SUCCEEDED(hr))
            hr = device_->SetIndices(ib_);
        if (SUCCEEDED(hr)) {
            if (fvf_) {
                hr = device_->SetFVF(fvf_);
            } else {
                if (!declObject_)
                    hr = device_->CreateVertexDeclaration(decl_.data(), &declObject_);
                if (SUCCEEDED(hr))
                    hr = device_->SetVertexDeclaration(declObject_);
            }
        }
        if (FAILED(hr))
            return hr;
        if (!table_.empty()) {
            for (const D3DXATTRIBUTERANGE& r : table_) {
                if (r.AttribId != id || r.FaceCount == 0)
                    continue;
                hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, r.VertexStart, r.VertexCount,
                                                   r.FaceStart * 3, r.FaceCount);
                if (FAILED(hr))
                    return hr;
            }
            return D3D_OK;
        }
        for (DWORD f = 0; f < numFaces_;) {
            if (attributes_[f] != id) {
                ++f;
                continue;
            }
            DWORD end = f;
            while (end < numFaces_ && attributes_[end] == id)
                ++end;
            hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, numVertices_, f * 3, end - f);
            if (FAILED(hr))
                return hr;
            f = end;
        }
        return D3D_OK;
    }
    DWORD GetNumFaces() override { return numFaces_; }
    DWORD GetNumVertices() override { return numVertices_; }
    DWORD GetFVF() override { return fvf_; }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE]) override
    {
        if (!decl)
            return D3DERR_INVALIDCALL;
        std::copy(decl_.begin(), decl_.end(), decl);
        return D3D_OK;
    }
    DWORD GetNumBytesPerVertex() override { return stride_; }
    DWORD GetOptions() override { return options_; }
    HRESULT GetDevice(LPDIRECT3DDEVICE9* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        device_->AddRef();
        *out = device_;
        return D3D_OK;
    }
    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device, LPD3DXMESH* out) override
    {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (FAILED(D3DXDeclaratorFromFVF(fvf, decl)))
            return D3DERR_INVALIDCALL;
        return CloneMesh(options, decl, device, out);
    }
    HRESULT CloneMesh(DWORD options, const D3DVERTEXELEMENT9* decl, LPDIRECT3DDEVICE9 device,
                      LPD3DXMESH* out) override;
    HRESULT GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *out = vb_;
        return D3D_OK;
    }
    HRESULT GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *out = ib_;
        return D3D_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, LPVOID* data) override
    {
        if (!data)
            return D3DERR_INVALIDCALL;
        return vb_->Lock(0, 0, data, flags);
    }
    HRESULT UnlockVertexBuffer() override { return vb_->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, LPVOID* data) override
    {
        if (!data)
            return D3DERR_INVALIDCALL;
        return ib_->Lock(0, 0, data, flags);
    }
    HRESULT UnlockIndexBuffer() override { return ib_->Unlock(); }
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) override
    {
        if (!size)
            return D3DERR_INVALIDCALL;
        if (table)
            std::copy(table_.begin(), table_.end(), table);
        *size = (DWORD)table_.size();
        return D3D_OK;
    }
    HRESULT ConvertPointRepsToAdjacency(const DWORD* reps, DWORD* adjacency) override;
    HRESULT ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* reps) override;
    HRESULT GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override;
    HRESULT UpdateSemantics(D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE]) override
    {
        if (!decl || !validDecl(decl) || D3DXGetDeclVertexSize(decl, 0) != stride_)
            return D3DERR_INVALIDCALL;
        decl_.assign(decl, decl + D3DXGetDeclLength(decl) + 1);
        DWORD fvf = 0;
        fvf_ = SUCCEEDED(D3DXFVFFromDeclarator(decl, &fvf)) ? fvf : 0;
        if (declObject_) {
            declObject_->Release();
            declObject_ = nullptr;
        }
        return D3D_OK;
    }

    // ---- ID3DXMesh ----
    HRESULT LockAttributeBuffer(DWORD, DWORD** data) override
    {
        if (!data)
            return D3DERR_INVALIDCALL;
        *data = attributes_.data();
        return D3D_OK;
    }
    HRESULT UnlockAttributeBuffer() override { return D3D_OK; }
    HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                     LPD3DXBUFFER* vertexRemap, LPD3DXMESH* out) override;
    HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                            LPD3DXBUFFER* vertexRemap) override;
    HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* table, DWORD size) override
    {
        if (!table && size)
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < size; ++i) {
            const D3DXATTRIBUTERANGE& r = table[i];
            if ((uint64_t)r.FaceStart + r.FaceCount > numFaces_ ||
                (uint64_t)r.VertexStart + r.VertexCount > numVertices_)
                return D3DERR_INVALIDCALL;
        }
        table_.assign(table, table + size);
        return D3D_OK;
    }

    UINT indexSize() const { return (options_ & D3DXMESH_32BIT) ? 4 : 2; }
    // New contents with the same number of faces; the vertex count may change.
    // The mesh's contents become `d`'s, with vertex i taken from vertex
    // remap[i] of `source`.
    HRESULT Replace(const d3dx::MeshData& d, const d3dx::MeshData& source, const std::vector<DWORD>& remap);
    std::vector<DWORD>& Attributes() { return attributes_; }
    std::vector<D3DXATTRIBUTERANGE>& Table() { return table_; }

private:
    IDirect3DDevice9* device_;
    DWORD options_;
    std::vector<D3DVERTEXELEMENT9> decl_;
    DWORD fvf_ = 0;
    DWORD stride_ = 0;
    DWORD numFaces_ = 0;
    DWORD numVertices_ = 0;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DVertexDeclaration9* declObject_ = nullptr;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
};

HRESULT createMesh(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* decl,
                   IDirect3DDevice9* device, ID3DXMesh** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!device || !decl || numFaces == 0 || numVertices == 0 || !validDecl(decl))
        return D3DERR_INVALIDCALL;
    if (!(options & D3DXMESH_32BIT) && numVertices > 0x10000)
        return D3DERR_INVALIDCALL;
    // Buffers shared with another mesh and hardware-only meshes are not offered.
    options &= ~(D3DXMESH_VB_SHARE | D3DXMESH_USEHWONLY);
    Mesh* m = new (std::nothrow) Mesh(device, options);
    if (!m)
        return E_OUTOFMEMORY;
    HRESULT hr = m->Init(numFaces, numVertices, decl);
    if (FAILED(hr)) {
        m->Release();
        return hr;
    }
    *out = m;
    return D3D_OK;
}

// Copies vertices between layouts: matching usages convert, the rest are
// opaque white (colours) or zero.
void convertVertices(const d3dx::MeshData& src, const D3DVERTEXELEMENT9* dstDecl, DWORD dstStride, BYTE* dst)
{
    const DWORD n = src.NumVertices();
    std::memset(dst, 0, (size_t)n * dstStride);
    for (const D3DVERTEXELEMENT9* e = dstDecl; e->Stream != 0xFF; ++e) {
        const D3DVERTEXELEMENT9* s = d3dx::FindElement(src.decl.data(), e->Usage, e->UsageIndex);
        float v[4];
        for (DWORD i = 0; i < n; ++i) {
            BYTE* out = dst + (size_t)i * dstStride + e->Offset;
            if (s && s->Type == e->Type) {
                std::memcpy(out, src.vertices.data() + (size_t)i * src.stride + s->Offset, d3dx::DeclTypeSize(e->Type));
                continue;
            }
            if (s) {
                d3dx::ReadElement(src.vertices.data() + (size_t)i * src.stride + s->Offset, s->Type, v);
            } else if (e->Usage == D3DDECLUSAGE_COLOR) {
                v[0] = v[1] = v[2] = v[3] = 1.0f;
            } else {
                v[0] = v[1] = v[2] = v[3] = 0.0f;
            }
            d3dx::WriteElement(out, e->Type, v);
        }
    }
}

HRESULT Mesh::CloneMesh(DWORD options, const D3DVERTEXELEMENT9* decl, LPDIRECT3DDEVICE9 device, LPD3DXMESH* out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!decl || !device || !validDecl(decl))
        return D3DERR_INVALIDCALL;
    d3dx::MeshData data;
    HRESULT hr = d3dx::ReadMesh(this, &data);
    if (FAILED(hr))
        return hr;
    d3dx::MeshData converted;
    converted.decl.assign(decl, decl + D3DXGetDeclLength(decl) + 1);
    converted.stride = D3DXGetDeclVertexSize(decl, 0);
    converted.vertices.resize((size_t)data.NumVertices() * converted.stride);
    convertVertices(data, converted.decl.data(), converted.stride, converted.vertices.data());
    converted.indices = std::move(data.indices);
    converted.attributes = std::move(data.attributes);
    converted.table = std::move(data.table);
    return d3dx::WriteMesh(converted, options, device, out);
}

HRESULT Mesh::GenerateAdjacency(FLOAT epsilon, DWORD* adjacency)
{
    if (!adjacency || epsilon < 0.0f)
        return D3DERR_INVALIDCALL;
    // Only the positions and the indices are needed.
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    HRESULT hr = d3dx::ReadPositions(this, &positions);
    if (SUCCEEDED(hr))
        hr = d3dx::ReadIndices(this, &indices);
    if (FAILED(hr))
        return hr;
    const std::vector<DWORD> reps = d3dx::PointReps(positions, epsilon);
    positions = std::vector<D3DXVECTOR3>();
    d3dx::AdjacencyFromPointReps(indices, reps, adjacency);
    return D3D_OK;
}

HRESULT Mesh::ConvertPointRepsToAdjacency(const DWORD* reps, DWORD* adjacency)
{
    if (!adjacency)
        return D3DERR_INVALIDCALL;
    d3dx::MeshData data;
    HRESULT hr = d3dx::ReadMesh(this, &data);
    if (FAILED(hr))
        return hr;
    std::vector<DWORD> r(numVertices_);
    for (DWORD i = 0; i < numVertices_; ++i)
        r[i] = reps ? std::min(reps[i], numVertices_ - 1) : i;
    const std::vector<DWORD> adj = d3dx::AdjacencyFromPointReps(data.indices, r);
    std::copy(adj.begin(), adj.end(), adjacency);
    return D3D_OK;
}

HRESULT Mesh::ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* reps)
{
    if (!reps)
        return D3DERR_INVALIDCALL;
    d3dx::MeshData data;
    HRESULT hr = d3dx::ReadMesh(this, &data);
    if (FAILED(hr))
        return hr;
    const std::vector<DWORD> r = d3dx::PointRepsFromAdjacency(data.indices, numVertices_, adjacency);
    std::copy(r.begin(), r.end(), reps);
    return D3D_OK;
}

DWORD meshOptionsOf(DWORD flags)
{
    return flags & ~(DWORD)(D3DXMESHOPT_DEVICEINDEPENDENT | D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT |
                            D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_IGNOREVERTS |
                            D3DXMESHOPT_DONOTSPLIT);
}

HRESULT Mesh::Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                       LPD3DXBUFFER* vertexRemap, LPD3DXMESH* out)
{
    if (vertexRemap)
        *vertexRemap = nullptr;
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    d3dx::MeshData data;
    d3dx::OptimizedMesh o;
    HRESULT hr = d3dx::ReadMesh(this, &data);
    if (SUCCEEDED(hr))
        hr = d3dx::OptimizeMeshData(data, flags, adjacencyIn, &o);
    if (FAILED(hr))
        return hr;
    ID3DXBuffer* remap = nullptr;
    if (vertexRemap && FAILED(hr = d3dx::DwordBuffer(o.vertexRemap, &remap)))
        return hr;
    if (FAILED(hr = d3dx::WriteMesh(o.mesh, meshOptionsOf(flags), device_, out))) {
        if (remap)
            remap->Release();
        return hr;
    }
    if (adjacencyOut)
        std::copy(o.adjacency.begin(), o.adjacency.end(), adjacencyOut);
    if (faceRemap)
        std::copy(o.faceRemap.begin(), o.faceRemap.end(), faceRemap);
    if (vertexRemap)
        *vertexRemap = remap;
    return D3D_OK;
}

HRESULT Mesh::OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                              LPD3DXBUFFER* vertexRemap)
{
    if (vertexRemap)
        *vertexRemap = nullptr;
    d3dx::MeshData data;
    d3dx::OptimizedMesh o;
    HRESULT hr = d3dx::ReadMesh(this, &data);
    if (SUCCEEDED(hr))
        hr = d3dx::OptimizeMeshData(data, flags, adjacencyIn, &o, false);
    if (FAILED(hr))
        return hr;
    ID3DXBuffer* remap = nullptr;
    if (vertexRemap && FAILED(hr = d3dx::DwordBuffer(o.vertexRemap, &remap)))
        return hr;
    if (FAILED(hr = Replace(o.mesh, data, o.vertexRemap))) {
        if (remap)
            remap->Release();
        return hr;
    }
    if (adjacencyOut)
        std::copy(o.adjacency.begin(), o.adjacency.end(), adjacencyOut);
    if (faceRemap)
        std::copy(o.faceRemap.begin(), o.faceRemap.end(), faceRemap);
    if (vertexRemap)
        *vertexRemap = remap;
    return D3D_OK;
}

HRESULT Mesh::Replace(const d3dx::MeshData& d, const d3dx::MeshData& source, const std::vector<DWORD>& remap)
{
    const DWORD nv = (DWORD)remap.size();
    if (nv != numVertices_) {
        // Splitting may add vertices: new buffers of the same kind.
        if (!(options_ & D3DXMESH_32BIT) && nv > 0x10000)
            return D3DXERR_INVALIDMESH;
        IDirect3DVertexBuffer9* vb = nullptr;
        HRESULT hr = device_->CreateVertexBuffer(nv * stride_, usageOf(options_, true), fvf_,
                                                 poolOf(options_, D3DXMESH_VB_SYSTEMMEM, D3DXMESH_VB_MANAGED), &vb,
                                                 nullptr);
        if (FAILED(hr))
            return hr;
        vb_->Release();
        vb_ = vb;
        numVertices_ = nv;
    }
    void* p = nullptr;
    HRESULT hr = vb_->Lock(0, 0, &p, 0);
    if (FAILED(hr))
        return hr;
    for (DWORD v = 0; v < nv; ++v)
        std::memcpy((BYTE*)p + (size_t)v * stride_, source.vertices.data() + (size_t)remap[v] * stride_, stride_);
    vb_->Unlock();
    if (FAILED(hr = ib_->Lock(0, 0, &p, 0)))
        return hr;
    for (size_t i = 0; i < d.indices.size(); ++i) {
        if (options_ & D3DXMESH_32BIT)
            ((uint32_t*)p)[i] = d.indices[i];
        else
            ((uint16_t*)p)[i] = (uint16_t)d.indices[i];
    }
    ib_->Unlock();
    attributes_ = d.attributes;
    table_ = d.table;
    return D3D_OK;
}

// Locks and copies one buffer.
template <class Lock, class Unlock> HRESULT readBuffer(Lock lock, Unlock unlock, size_t bytes, std::vector<BYTE>& out)
{
    void* p = nullptr;
    HRESULT hr = lock(&p);
    if (FAILED(hr))
        return hr;
    out.assign((const BYTE*)p, (const BYTE*)p + bytes);
    unlock();
    return D3D_OK;
}

} // namespace

namespace d3dx {

D3DXVECTOR3 MeshData::Position(DWORD v) const
{
    const D3DVERTEXELEMENT9* e = FindElement(decl.data(), D3DDECLUSAGE_POSITION, 0);
    if (!e)
        e = FindElement(decl.data(), D3DDECLUSAGE_POSITIONT, 0);
    float f[4] = {0, 0, 0, 1};
    if (e)
        ReadElement(vertices.data() + (size_t)v * stride + e->Offset, e->Type, f);
    return D3DXVECTOR3(f[0], f[1], f[2]);
}

HRESULT ReadIndices(ID3DXMesh* mesh, std::vector<DWORD>* out)
{
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    const size_t count = (size_t)mesh->GetNumFaces() * 3;
    void* p = nullptr;
    HRESULT hr = mesh->LockIndexBuffer(D3DLOCK_READONLY, &p);
    if (FAILED(hr))
        return hr;
    if (wide) {
        out->assign((const DWORD*)p, (const DWORD*)p + count);
    } else {
        const uint16_t* in = (const uint16_t*)p;
        out->assign(in, in + count);
    }
    mesh->UnlockIndexBuffer();
    return D3D_OK;
}

HRESULT ReadPositions(ID3DXMesh* mesh, std::vector<D3DXVECTOR3>* out)
{
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = mesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    const D3DVERTEXELEMENT9* e = FindElement(decl, D3DDECLUSAGE_POSITION, 0);
    if (!e)
        e = FindElement(decl, D3DDECLUSAGE_POSITIONT, 0);
    const DWORD nv = mesh->GetNumVertices(), stride = mesh->GetNumBytesPerVertex();
    const BYTE* p = nullptr;
    if (FAILED(hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&p)))
        return hr;
    out->assign(nv, D3DXVECTOR3(0, 0, 0));
    for (DWORD v = 0; e && v < nv; ++v) {
        float f[4] = {0, 0, 0, 1};
        ReadElement(p + (size_t)v * stride + e->Offset, e->Type, f);
        (*out)[v] = D3DXVECTOR3(f[0], f[1], f[2]);
    }
    mesh->UnlockVertexBuffer();
    return D3D_OK;
}

HRESULT ReadMesh(ID3DXMesh* mesh, MeshData* out)
{
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = mesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    out->decl.assign(decl, decl + D3DXGetDeclLength(decl) + 1);
    out->stride = mesh->GetNumBytesPerVertex();
    out->options = mesh->GetOptions();
    const DWORD nv = mesh->GetNumVertices(), nf = mesh->GetNumFaces();
    hr = readBuffer([&](void** p) { return mesh->LockVertexBuffer(D3DLOCK_READONLY, p); },
                    [&] { return mesh->UnlockVertexBuffer(); }, (size_t)nv * out->stride, out->vertices);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = ReadIndices(mesh, &out->indices)))
        return hr;
    DWORD* attr = nullptr;
    if (FAILED(hr = mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attr)))
        return hr;
    out->attributes.assign(attr, attr + nf);
    mesh->UnlockAttributeBuffer();
    DWORD n = 0;
    mesh->GetAttributeTable(nullptr, &n);
    out->table.resize(n);
    if (n)
        mesh->GetAttributeTable(out->table.data(), &n);
    return D3D_OK;
}

HRESULT WriteMesh(const MeshData& data, DWORD options, IDirect3DDevice9* device, ID3DXMesh** out)
{
    *out = nullptr;
    const DWORD nv = data.NumVertices(), nf = data.NumFaces();
    if (nv > 0x10000)
        options |= D3DXMESH_32BIT;
    ID3DXMesh* m = nullptr;
    HRESULT hr = createMesh(nf, nv, options, data.decl.data(), device, &m);
    if (FAILED(hr))
        return hr;
    void* p = nullptr;
    if (FAILED(hr = m->LockVertexBuffer(0, &p))) {
        m->Release();
        return hr;
    }
    std::memcpy(p, data.vertices.data(), data.vertices.size());
    m->UnlockVertexBuffer();
    if (FAILED(hr = m->LockIndexBuffer(0, &p))) {
        m->Release();
        return hr;
    }
    const bool wide = (m->GetOptions() & D3DXMESH_32BIT) != 0;
    for (size_t i = 0; i < data.indices.size(); ++i) {
        if (wide) {
            ((uint32_t*)p)[i] = data.indices[i];
        } else {
            ((uint16_t*)p)[i] = (uint16_t)data.indices[i];
        }
    }
    m->UnlockIndexBuffer();
    Mesh* mesh = static_cast<Mesh*>(m);
    mesh->Attributes() = data.attributes;
    mesh->Table() = data.table;
    *out = m;
    return D3D_OK;
}

namespace {

uint64_t CellHash(int64_t x, int64_t y, int64_t z)
{
    uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= (uint64_t)z * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return h ^ (h >> 29);
}

} // namespace

std::vector<DWORD> PointReps(const MeshData& m, float epsilon)
{
    std::vector<D3DXVECTOR3> pos(m.NumVertices());
    for (DWORD i = 0; i < pos.size(); ++i)
        pos[i] = m.Position(i);
    return PointReps(pos, epsilon);
}

std::vector<DWORD> PointReps(const std::vector<D3DXVECTOR3>& pos, float epsilon)
{
    // Each vertex, in index order, takes as its own every later vertex not
    // yet taken that lies within epsilon on every axis. The candidates are
    // found through a hash of cells twice epsilon wide: a point's neighbours
    // lie in its cell or the next one on the nearer side, on each axis.
    const DWORD n = (DWORD)pos.size();
    std::vector<DWORD> reps(n, kNone);
    if (n == 0)
        return reps;
    auto finite = [](const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    // With epsilon 0 a cell is one exact point (-0 the same as 0).
    const bool exact = !(epsilon > 0.0f);
    const double size = 2.0 * (double)epsilon * 1.0001;
    // The point's cell on one axis, and the neighbouring cell to look in too.
    auto cell = [&](float v, int64_t* near) -> int64_t {
        if (exact) {
            const float z = v == 0.0f ? 0.0f : v;
            uint32_t bits;
            std::memcpy(&bits, &z, 4);
            *near = (int64_t)bits;
            return (int64_t)bits;
        }
        const double q = std::max(-4.0e18, std::min(4.0e18, (double)v / size));
        const double c = std::floor(q);
        *near = (int64_t)c + (q - c < 0.5 ? -1 : 1);
        return (int64_t)c;
    };
    size_t buckets = 1;
    while (buckets < 2 * (size_t)n)
        buckets <<= 1;
    std::vector<DWORD> head(buckets, kNone), next(n, kNone);
    for (DWORD v = n; v-- > 0;) {
        if (!finite(pos[v]))
            continue; // matches nothing: a difference with it is never within epsilon
        int64_t unused;
        const size_t b =
            CellHash(cell(pos[v].x, &unused), cell(pos[v].y, &unused), cell(pos[v].z, &unused)) & (buckets - 1);
        next[v] = head[b];
        head[b] = v;
    }
    for (DWORD v = 0; v < n; ++v) {
        if (reps[v] != kNone)
            continue;
        reps[v] = v;
        if (!finite(pos[v]))
            continue;
        int64_t c[3][2];
        c[0][0] = cell(pos[v].x, &c[0][1]);
        c[1][0] = cell(pos[v].y, &c[1][1]);
        c[2][0] = cell(pos[v].z, &c[2][1]);
        const int ways = exact ? 1 : 2;
        for (int i = 0; i < ways; ++i)
            for (int j = 0; j < ways; ++j)
                for (int k = 0; k < ways; ++k) {
                    const DWORD first = head[CellHash(c[0][i], c[1][j], c[2][k]) & (buckets - 1)];
                    for (DWORD w = first; w != kNone; w = next[w]) {
                        if (reps[w] == kNone && std::fabs(pos[w].x - pos[v].x) <= epsilon &&
                            std::fabs(pos[w].y - pos[v].y) <= epsilon && std::fabs(pos[w].z - pos[v].z) <= epsilon)
                            reps[w] = v;
                    }
                }
    }
    return reps;
}

namespace {

// The general case: directed edges by their ends' representatives in a map.
std::vector<DWORD> AdjacencyByEdgeMap(const std::vector<DWORD>& indices, const std::vector<DWORD>& reps)
{
    const size_t faces = indices.size() / 3;
    std::vector<DWORD> adj(faces * 3, kNone);
    std::unordered_map<uint64_t, std::vector<DWORD>> open;
    open.reserve(faces * 3);
    auto repOf = [&](DWORD v) { return v < reps.size() ? reps[v] : v; };
    for (size_t f = 0; f < faces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD a = repOf(indices[f * 3 + k]), b = repOf(indices[f * 3 + (k + 1) % 3]);
            if (a == b)
                continue;
            auto it = open.find(((uint64_t)b << 32) | a);
            bool paired = false;
            if (it != open.end()) {
                std::vector<DWORD>& list = it->second;
                for (size_t i = 0; i < list.size(); ++i) {
                    const DWORD g = list[i] / 3;
                    if (g == f)
                        continue;
                    adj[f * 3 + k] = g;
                    adj[list[i]] = (DWORD)f;
                    list.erase(list.begin() + (ptrdiff_t)i);
                    paired = true;
                    break;
                }
            }
            if (!paired)
                open[((uint64_t)a << 32) | b].push_back((DWORD)(f * 3 + k));
        }
    }
    return adj;
}

} // namespace

std::vector<DWORD> AdjacencyFromPointReps(const std::vector<DWORD>& indices, const std::vector<DWORD>& reps)
{
    std::vector<DWORD> adj(indices.size() / 3 * 3);
    AdjacencyFromPointReps(indices, reps, adj.data());
    return adj;
}

void AdjacencyFromPointReps(const std::vector<DWORD>& indices, const std::vector<DWORD>& reps, DWORD* adj)
{
    // Each directed edge, in face order, pairs with the first earlier edge
    // running the other way between the same representatives that is still
    // open (not yet given a neighbour) and belongs to another face; an edge
    // that finds none stays open.
    const size_t faces = indices.size() / 3;
    const size_t edges = faces * 3;
    auto repOf = [&](DWORD v) { return v < reps.size() ? reps[v] : v; };
    DWORD top = 0;
    for (size_t e = 0; e < edges; ++e)
        top = std::max(top, repOf(indices[e]));
    // Edges by the vertex they start from; indices far out of range take the map.
    if ((size_t)top > reps.size() + edges || edges >= kNone) {
        const std::vector<DWORD> byMap = AdjacencyByEdgeMap(indices, reps);
        std::copy(byMap.begin(), byMap.end(), adj);
        return;
    }
    std::fill(adj, adj + edges, kNone);
    auto from = [&](size_t e) { return repOf(indices[e]); };
    auto to = [&](size_t e) { return repOf(indices[e - e % 3 + (e % 3 + 1) % 3]); };
    // After the fill, the edges from v are [end[v - 1], end[v]), in face order.
    std::vector<DWORD> end((size_t)top + 1, 0);
    for (size_t e = 0; e < edges; ++e)
        if (from(e) != to(e))
            ++end[from(e)];
    DWORD sum = 0;
    for (DWORD& c : end) {
        const DWORD count = c;
        c = sum;
        sum += count;
    }
    std::vector<DWORD> byStart(sum);
    for (size_t e = 0; e < edges; ++e)
        if (from(e) != to(e))
            byStart[end[from(e)]++] = (DWORD)e;
    for (size_t e = 0; e < edges; ++e) {
        const DWORD a = from(e), b = to(e);
        if (a == b || adj[e] != kNone)
            continue;
        const size_t f = e / 3;
        // The edges from b, in face order: the open ones back to a before e.
        for (DWORD i = b == 0 ? 0 : end[b - 1]; i < end[b]; ++i) {
            const DWORD g = byStart[i];
            if (g >= e)
                break;
            if (adj[g] != kNone || to(g) != a || g / 3 == f)
                continue;
            adj[e] = (DWORD)(g / 3);
            adj[g] = (DWORD)f;
            break;
        }
    }
}

std::vector<DWORD> PointRepsFromAdjacency(const std::vector<DWORD>& indices, DWORD numVertices,
                                          const DWORD* adjacency)
{
    std::vector<DWORD> parent(numVertices);
    for (DWORD i = 0; i < numVertices; ++i)
        parent[i] = i;
    if (!adjacency)
        return parent;
    auto find = [&](DWORD v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    auto join = [&](DWORD a, DWORD b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    };
    const size_t faces = indices.size() / 3;
    for (size_t f = 0; f < faces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD g = adjacency[f * 3 + k];
            if (g == kNone || g >= faces)
                continue;
            for (int j = 0; j < 3; ++j) {
                if (adjacency[g * 3 + j] != f)
                    continue;
                // Edge (a, b) of f runs (b, a) in g.
                const DWORD a = indices[f * 3 + k], b = indices[f * 3 + (k + 1) % 3];
                const DWORD ga = indices[g * 3 + (j + 1) % 3], gb = indices[g * 3 + j];
                if (a < numVertices && ga < numVertices)
                    join(a, ga);
                if (b < numVertices && gb < numVertices)
                    join(b, gb);
                break;
            }
        }
    }
    for (DWORD i = 0; i < numVertices; ++i)
        parent[i] = find(i);
    return parent;
}

HRESULT DwordBuffer(const std::vector<DWORD>& values, ID3DXBuffer** out)
{
    HRESULT hr = D3DXCreateBuffer((DWORD)(values.size() * sizeof(DWORD)), out);
    if (SUCCEEDED(hr) && !values.empty())
        std::memcpy((*out)->GetBufferPointer(), values.data(), values.size() * sizeof(DWORD));
    return hr;
}

} // namespace d3dx

HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* decl,
                       LPDIRECT3DDEVICE9 device, LPD3DXMESH* out)
{
    return createMesh(numFaces, numVertices, options, decl, device, out);
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device,
                          LPD3DXMESH* out)
{
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    if (out)
        *out = nullptr;
    if (FAILED(D3DXDeclaratorFromFVF(fvf, decl)))
        return D3DERR_INVALIDCALL;
    return createMesh(numFaces, numVertices, options, decl, device, out);
}
