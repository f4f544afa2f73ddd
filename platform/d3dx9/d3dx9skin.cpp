// ID3DXSkinInfo: bones, their names, offset matrices and influences.
#include "d3dx9skin_internal.h"

#include "d3dx9_unknown.h"

#include "d3dx9mesh.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

const IID IID_ID3DXSkinInfo = {0x11eaa540, 0xf9a6, 0x4d49, {0xae, 0x6a, 0xe1, 0x92, 0x21, 0xf7, 0x0c, 0xc4}};

using namespace d3dx;

namespace {

// Bounds on what a caller (or a file) can make us allocate up front.
constexpr DWORD kMaxBones = 1u << 16;
constexpr DWORD kMaxVertices = 1u << 26;

struct Bone {
    std::string name;
    bool named = false;
    D3DXMATRIX offset;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
};

bool declarationEnd(const D3DVERTEXELEMENT9& e)
{
    return e.Stream == 0xFF;
}

class SkinInfo final : public d3dx::Unknown<ID3DXSkinInfo> {
public:
    explicit SkinInfo(DWORD numVertices) : numVertices_(numVertices) { decl_[0] = D3DDECL_END(); }

    HRESULT init(DWORD numBones)
    {
        try {
            bones_.resize(numBones);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (Bone& b : bones_)
            D3DXMatrixIdentity(&b.offset);
        return S_OK;
    }

    HRESULT QueryInterface(REFIID riid, void** obj) override { return Query(riid, obj, {&IID_ID3DXSkinInfo}); }

    HRESULT SetBoneInfluence(DWORD bone, DWORD num, const DWORD* vertices, const FLOAT* weights) override
    {
        if (bone >= bones_.size() || (num && (!vertices || !weights)))
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < num; ++i)
            if (vertices[i] >= numVertices_)
                return D3DERR_INVALIDCALL;
        try {
            bones_[bone].vertices.assign(vertices, vertices + num);
            bones_[bone].weights.assign(weights, weights + num);
        } catch (const std::bad_alloc&) {
            bones_[bone].vertices.clear();
            bones_[bone].weights.clear();
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT SetBoneVertexInfluence(DWORD bone, DWORD influence, FLOAT weight) override
    {
        if (bone >= bones_.size() || influence >= bones_[bone].weights.size())
            return D3DERR_INVALIDCALL;
        bones_[bone].weights[influence] = weight;
        return S_OK;
    }

    DWORD GetNumBoneInfluences(DWORD bone) override
    {
        return bone < bones_.size() ? (DWORD)bones_[bone].vertices.size() : 0;
    }

    HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, FLOAT* weights) override
    {
        if (bone >= bones_.size() || !vertices || !weights)
            return D3DERR_INVALIDCALL;
        const Bone& b = bones_[bone];
        if (!b.vertices.empty()) {
            std::memcpy(vertices, b.vertices.data(), b.vertices.size() * sizeof(DWORD));
            std::memcpy(weights, b.weights.data(), b.weights.size() * sizeof(float));
        }
        return S_OK;
    }

    HRESULT GetBoneVertexInfluence(DWORD bone, DWORD influence, FLOAT* weight, DWORD* vertex) override
    {
        if (bone >= bones_.size() || influence >= bones_[bone].vertices.size() || !weight || !vertex)
            return D3DERR_INVALIDCALL;
        *weight = bones_[bone].weights[influence];
        *vertex = bones_[bone].vertices[influence];
        return S_OK;
    }

    HRESULT GetMaxVertexInfluences(DWORD* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        SkinVertexInfluences v;
        HRESULT hr = gather(false, &v);
        if (FAILED(hr))
            return hr;
        DWORD most = 0;
        for (DWORD i = 0; i < numVertices_; ++i)
            most = std::max(most, v.first[i + 1] - v.first[i]);
        *out = most;
        return S_OK;
    }

    DWORD GetNumBones() override { return (DWORD)bones_.size(); }

    HRESULT FindBoneVertexInfluenceIndex(DWORD bone, DWORD vertex, DWORD* index) override
    {
        if (bone >= bones_.size() || !index)
            return D3DERR_INVALIDCALL;
        const std::vector<DWORD>& v = bones_[bone].vertices;
        auto it = std::find(v.begin(), v.end(), vertex);
        if (it == v.end())
            return D3DERR_INVALIDCALL;
        *index = (DWORD)(it - v.begin());
        return S_OK;
    }

    HRESULT GetMaxFaceInfluences(LPDIRECT3DINDEXBUFFER9 ib, DWORD numFaces, DWORD* out) override
    {
        if (!ib || !out)
            return D3DERR_INVALIDCALL;
        D3DINDEXBUFFER_DESC desc;
        HRESULT hr = ib->GetDesc(&desc);
        if (FAILED(hr))
            return hr;
        size_t indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
        if ((uint64_t)numFaces * 3 * indexSize > desc.Size)
            return D3DERR_INVALIDCALL;
        SkinVertexInfluences v;
        hr = gather(false, &v);
        if (FAILED(hr))
            return hr;
        void* data = nullptr;
        hr = ib->Lock(0, 0, &data, D3DLOCK_READONLY);
        if (FAILED(hr))
            return hr;
        DWORD most = 0;
        std::vector<DWORD> bones;
        for (DWORD f = 0; f < numFaces && SUCCEEDED(hr); ++f) {
            bones.clear();
            for (int k = 0; k < 3; ++k) {
                size_t at = (size_t)f * 3 + k;
                DWORD index = indexSize == 4 ? static_cast<const DWORD*>(data)[at] : static_cast<const WORD*>(data)[at];
                if (index >= numVertices_) {
                    hr = D3DERR_INVALIDCALL;
                    break;
                }
                for (uint32_t i = v.first[index]; i < v.first[index + 1]; ++i)
                    bones.push_back(v.list[i].bone);
            }
            std::sort(bones.begin(), bones.end());
            most = std::max(most, (DWORD)(std::unique(bones.begin(), bones.end()) - bones.begin()));
        }
        ib->Unlock();
        if (SUCCEEDED(hr))
            *out = most;
        return hr;
    }

    HRESULT SetMinBoneInfluence(FLOAT minInfluence) override
    {
        minInfluence_ = minInfluence;
        return S_OK;
    }
    FLOAT GetMinBoneInfluence() override { return minInfluence_; }

    HRESULT SetBoneName(DWORD bone, LPCSTR name) override
    {
        if (bone >= bones_.size() || !name)
            return D3DERR_INVALIDCALL;
        try {
            bones_[bone].name = name;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        bones_[bone].named = true;
        return S_OK;
    }

    LPCSTR GetBoneName(DWORD bone) override
    {
        if (bone >= bones_.size() || !bones_[bone].named)
            return nullptr;
        return bones_[bone].name.c_str();
    }

    HRESULT SetBoneOffsetMatrix(DWORD bone, const D3DXMATRIX* m) override
    {
        if (bone >= bones_.size() || !m)
            return D3DERR_INVALIDCALL;
        bones_[bone].offset = *m;
        return S_OK;
    }

    LPD3DXMATRIX GetBoneOffsetMatrix(DWORD bone) override
    {
        return bone < bones_.size() ? &bones_[bone].offset : nullptr;
    }

    HRESULT Clone(LPD3DXSKININFO* out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        SkinInfo* c = new (std::nothrow) SkinInfo(numVertices_);
        if (!c)
            return E_OUTOFMEMORY;
        try {
            c->bones_ = bones_;
        } catch (const std::bad_alloc&) {
            c->Release();
            return E_OUTOFMEMORY;
        }
        std::memcpy(c->decl_, decl_, sizeof(decl_));
        c->fvf_ = fvf_;
        c->minInfluence_ = minInfluence_;
        *out = c;
        return S_OK;
    }

    HRESULT Remap(DWORD numVertices, DWORD* remap) override
    {
        if (!remap || numVertices > kMaxVertices)
            return D3DERR_INVALIDCALL;
        // Where each former vertex went (possibly to several places).
        std::vector<uint32_t> first, places;
        try {
            first.assign((size_t)numVertices_ + 1, 0);
            for (DWORD i = 0; i < numVertices; ++i) {
                if (remap[i] >= numVertices_)
                    return D3DERR_INVALIDCALL;
                ++first[remap[i] + 1];
            }
            for (DWORD v = 0; v < numVertices_; ++v)
                first[v + 1] += first[v];
            places.resize(numVertices);
            std::vector<uint32_t> fill(first.begin(), first.end() - 1);
            for (DWORD i = 0; i < numVertices; ++i)
                places[fill[remap[i]]++] = i;
            std::vector<Bone> bones = bones_;
            for (Bone& b : bones) {
                std::vector<DWORD> vertices;
                std::vector<float> weights;
                for (size_t i = 0; i < b.vertices.size(); ++i) {
                    DWORD old = b.vertices[i];
                    for (uint32_t p = first[old]; p < first[old + 1]; ++p) {
                        vertices.push_back(places[p]);
                        weights.push_back(b.weights[i]);
                    }
                }
                b.vertices.swap(vertices);
                b.weights.swap(weights);
            }
            bones_.swap(bones);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        numVertices_ = numVertices;
        return S_OK;
    }

    HRESULT SetFVF(DWORD fvf) override
    {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        HRESULT hr = D3DXDeclaratorFromFVF(fvf, decl);
        if (FAILED(hr))
            return hr;
        std::memcpy(decl_, decl, sizeof(decl_));
        fvf_ = fvf;
        return S_OK;
    }

    HRESULT SetDeclaration(const D3DVERTEXELEMENT9* decl) override
    {
        if (!decl)
            return D3DERR_INVALIDCALL;
        UINT n = 0;
        while (n < MAXD3DDECLLENGTH && !declarationEnd(decl[n]))
            ++n;
        if (n == MAXD3DDECLLENGTH)
            return D3DERR_INVALIDCALL;
        std::memcpy(decl_, decl, (n + 1) * sizeof(D3DVERTEXELEMENT9));
        DWORD fvf = 0;
        fvf_ = SUCCEEDED(D3DXFVFFromDeclarator(decl_, &fvf)) ? fvf : 0;
        return S_OK;
    }

    DWORD GetFVF() override { return fvf_; }

    HRESULT GetDeclaration(D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE]) override
    {
        if (!decl)
            return D3DERR_INVALIDCALL;
        UINT n = D3DXGetDeclLength(decl_);
        std::memcpy(decl, decl_, (n + 1) * sizeof(D3DVERTEXELEMENT9));
        return S_OK;
    }

    HRESULT UpdateSkinnedMesh(const D3DXMATRIX* transforms, const D3DXMATRIX* inverseTransposes, LPCVOID src,
                              PVOID dst) override
    {
        if (!transforms || !src || !dst)
            return D3DERR_INVALIDCALL;
        int position = -1, normal = -1;
        for (UINT i = 0; !declarationEnd(decl_[i]); ++i) {
            const D3DVERTEXELEMENT9& e = decl_[i];
            if (e.Stream != 0 || e.UsageIndex != 0 || e.Type != D3DDECLTYPE_FLOAT3)
                continue;
            if (e.Usage == D3DDECLUSAGE_POSITION && position < 0)
                position = e.Offset;
            else if (e.Usage == D3DDECLUSAGE_NORMAL && normal < 0)
                normal = e.Offset;
        }
        if (position < 0)
            return D3DERR_INVALIDCALL;
        size_t stride = D3DXGetDeclVertexSize(decl_, 0);
        SkinVertexInfluences v;
        HRESULT hr = gather(false, &v);
        if (FAILED(hr))
            return hr;
        if (src != dst)
            std::memmove(dst, src, stride * numVertices_);
        const D3DXMATRIX* normals = inverseTransposes ? inverseTransposes : transforms;
        for (DWORD i = 0; i < numVertices_; ++i) {
            if (v.first[i] == v.first[i + 1])
                continue;
            const BYTE* in = static_cast<const BYTE*>(src) + stride * i;
            BYTE* out = static_cast<BYTE*>(dst) + stride * i;
            D3DXVECTOR3 p, n, pSum(0.0f, 0.0f, 0.0f), nSum(0.0f, 0.0f, 0.0f);
            std::memcpy(&p, in + position, sizeof(p));
            if (normal >= 0)
                std::memcpy(&n, in + normal, sizeof(n));
            for (uint32_t k = v.first[i]; k < v.first[i + 1]; ++k) {
                const SkinInfluence& s = v.list[k];
                D3DXVECTOR4 t;
                D3DXVec3Transform(&t, &p, &transforms[s.bone]);
                pSum += D3DXVECTOR3(t.x, t.y, t.z) * s.weight;
                if (normal >= 0) {
                    D3DXVECTOR3 tn;
                    D3DXVec3TransformNormal(&tn, &n, &normals[s.bone]);
                    nSum += tn * s.weight;
                }
            }
            std::memcpy(out + position, &pSum, sizeof(pSum));
            if (normal >= 0)
                std::memcpy(out + normal, &nSum, sizeof(nSum));
        }
        return S_OK;
    }

    HRESULT ConvertToBlendedMesh(LPD3DXMESH mesh, DWORD options, const DWORD* adjacencyIn, LPDWORD adjacencyOut,
                                 DWORD* faceRemap, LPD3DXBUFFER* vertexRemap, DWORD* maxFaceInfl,
                                 DWORD* numCombinations, LPD3DXBUFFER* table, LPD3DXMESH* out) override
    {
        return convert(false, mesh, options, 0, adjacencyIn, adjacencyOut, faceRemap, vertexRemap, maxFaceInfl,
                       numCombinations, table, out);
    }

    HRESULT ConvertToIndexedBlendedMesh(LPD3DXMESH mesh, DWORD options, DWORD paletteSize, const DWORD* adjacencyIn,
                                        LPDWORD adjacencyOut, DWORD* faceRemap, LPD3DXBUFFER* vertexRemap,
                                        DWORD* maxVertexInfl, DWORD* numCombinations, LPD3DXBUFFER* table,
                                        LPD3DXMESH* out) override
    {
        return convert(true, mesh, options, paletteSize, adjacencyIn, adjacencyOut, faceRemap, vertexRemap,
                       maxVertexInfl, numCombinations, table, out);
    }

private:
    ~SkinInfo() override = default;

    HRESULT convert(bool indexed, LPD3DXMESH mesh, DWORD options, DWORD paletteSize, const DWORD* adjacencyIn,
                    LPDWORD adjacencyOut, DWORD* faceRemap, LPD3DXBUFFER* vertexRemap, DWORD* maxInfluences,
                    DWORD* numCombinations, LPD3DXBUFFER* table, LPD3DXMESH* out)
    {
        if (out)
            *out = nullptr;
        if (vertexRemap)
            *vertexRemap = nullptr;
        if (table)
            *table = nullptr;
        if (!mesh || !out)
            return D3DERR_INVALIDCALL;
        if (mesh->GetNumVertices() != numVertices_)
            return D3DERR_INVALIDCALL;
        SkinVertexInfluences v;
        HRESULT hr = gather(true, &v);
        if (FAILED(hr))
            return hr;
        return BlendSkinnedMesh(v, indexed, mesh, options, paletteSize, adjacencyIn, adjacencyOut, faceRemap,
                                vertexRemap, maxInfluences, numCombinations, table, out);
    }

    // Each vertex's influences, one per bone. forBlending: only weights above
    // zero and not below the minimum, normalised per vertex and sorted
    // strongest first.
    HRESULT gather(bool forBlending, SkinVertexInfluences* out) const
    {
        try {
            out->numBones = (DWORD)bones_.size();
            out->first.assign((size_t)numVertices_ + 1, 0);
            auto keep = [&](float w) { return !forBlending || (w > 0.0f && w >= minInfluence_); };
            for (const Bone& b : bones_)
                for (size_t i = 0; i < b.vertices.size(); ++i)
                    if (b.vertices[i] < numVertices_ && keep(b.weights[i]))
                        ++out->first[b.vertices[i] + 1];
            for (DWORD i = 0; i < numVertices_; ++i)
                out->first[i + 1] += out->first[i];
            out->list.resize(out->first[numVertices_]);
            std::vector<uint32_t> fill(out->first.begin(), out->first.end() - 1);
            for (DWORD bone = 0; bone < bones_.size(); ++bone) {
                const Bone& b = bones_[bone];
                for (size_t i = 0; i < b.vertices.size(); ++i)
                    if (b.vertices[i] < numVertices_ && keep(b.weights[i]))
                        out->list[fill[b.vertices[i]]++] = SkinInfluence{bone, b.weights[i]};
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        // A bone naming a vertex twice counts once, with the weights summed.
        std::vector<uint32_t> first(out->first.size(), 0);
        uint32_t kept = 0;
        for (DWORD v = 0; v < numVertices_; ++v) {
            SkinInfluence* begin = out->list.data() + out->first[v];
            SkinInfluence* end = out->list.data() + out->first[v + 1];
            std::sort(begin, end, [](const SkinInfluence& a, const SkinInfluence& b) { return a.bone < b.bone; });
            first[v] = kept;
            for (SkinInfluence* s = begin; s != end; ++s) {
                if (kept > first[v] && out->list[kept - 1].bone == s->bone)
                    out->list[kept - 1].weight += s->weight;
                else
                    out->list[kept++] = *s;
            }
        }
        first[numVertices_] = kept;
        out->list.resize(kept);
        out->first.swap(first);
        if (!forBlending)
            return S_OK;
        for (DWORD v = 0; v < numVertices_; ++v) {
            SkinInfluence* begin = out->list.data() + out->first[v];
            SkinInfluence* end = out->list.data() + out->first[v + 1];
            float sum = 0.0f;
            for (SkinInfluence* s = begin; s != end; ++s)
                sum += s->weight;
            for (SkinInfluence* s = begin; s != end; ++s)
                s->weight /= sum;
            std::stable_sort(begin, end,
                             [](const SkinInfluence& a, const SkinInfluence& b) { return a.weight > b.weight; });
        }
        return S_OK;
    }

    DWORD numVertices_;
    std::vector<Bone> bones_;
    D3DVERTEXELEMENT9 decl_[MAX_FVF_DECL_SIZE];
    DWORD fvf_ = 0;
    float minInfluence_ = 0.0f;
};

HRESULT createSkinInfo(DWORD numVertices, DWORD numBones, SkinInfo** out)
{
    if (numVertices > kMaxVertices || numBones > kMaxBones)
        return D3DERR_INVALIDCALL;
    SkinInfo* s = new (std::nothrow) SkinInfo(numVertices);
    if (!s)
        return E_OUTOFMEMORY;
    HRESULT hr = s->init(numBones);
    if (FAILED(hr)) {
        s->Release();
        return hr;
    }
    *out = s;
    return S_OK;
}

} // namespace

HRESULT D3DXCreateSkinInfo(DWORD NumVertices, const D3DVERTEXELEMENT9* pDeclaration, DWORD NumBones,
                           LPD3DXSKININFO* ppSkinInfo)
{
    if (!ppSkinInfo || !pDeclaration)
        return D3DERR_INVALIDCALL;
    *ppSkinInfo = nullptr;
    SkinInfo* s = nullptr;
    HRESULT hr = createSkinInfo(NumVertices, NumBones, &s);
    if (FAILED(hr))
        return hr;
    hr = s->SetDeclaration(pDeclaration);
    if (FAILED(hr)) {
        s->Release();
        return hr;
    }
    *ppSkinInfo = s;
    return S_OK;
}

HRESULT D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO* ppSkinInfo)
{
    if (!ppSkinInfo)
        return D3DERR_INVALIDCALL;
    *ppSkinInfo = nullptr;
    SkinInfo* s = nullptr;
    HRESULT hr = createSkinInfo(NumVertices, NumBones, &s);
    if (FAILED(hr))
        return hr;
    hr = s->SetFVF(FVF);
    if (FAILED(hr)) {
        s->Release();
        return hr;
    }
    *ppSkinInfo = s;
    return S_OK;
}
