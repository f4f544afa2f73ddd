// Skin information from the SkinWeights objects of a .x Mesh, and
// D3DXLoadSkinMeshFromXof.
#include "d3dx9skin_internal.h"

#include "d3dx9mesh_internal.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace d3dx {

namespace {

struct Weights {
    std::string bone;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
    D3DXMATRIX offset;
};

// SkinWeights: the bone's frame name, nWeights, the vertex indices, the
// weights and the offset matrix. Counts are checked against the bytes present.
HRESULT readWeights(const XFileObject& o, DWORD numFileVertices, Weights* out)
{
    XFileReader r(o);
    out->bone = r.String();
    DWORD n = r.Dword();
    if (!r.Ok() || n > r.Remaining() / 8)
        return D3DXERR_INVALIDDATA;
    out->vertices.resize(n);
    out->weights.resize(n);
    for (DWORD i = 0; i < n; ++i) {
        out->vertices[i] = r.Dword();
        if (out->vertices[i] >= numFileVertices)
            return D3DXERR_INVALIDDATA;
    }
    for (DWORD i = 0; i < n; ++i)
        out->weights[i] = r.Float();
    for (int i = 0; i < 16; ++i)
        (&out->offset._11)[i] = r.Float();
    return r.Ok() ? S_OK : D3DXERR_INVALIDDATA;
}

} // namespace

HRESULT XFileSkinInfo(const XFileTree& tree, size_t meshIndex, ID3DXMesh* mesh,
                      const std::vector<DWORD>& originalVertex, ID3DXSkinInfo** out)
{
    *out = nullptr;
    const XFileObject& o = tree.objects[meshIndex];
    DWORD bones = 0;
    for (size_t i = 0; i < o.children.size(); ++i)
        bones += tree.Child(o, i).type == "SkinWeights";
    if (!bones)
        return S_OK;
    XFileReader header(o);
    DWORD numFileVertices = header.Dword();
    DWORD numVertices = mesh->GetNumVertices();
    if (!header.Ok() || originalVertex.size() != numVertices)
        return D3DXERR_INVALIDDATA;

    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = mesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    ID3DXSkinInfo* skin = nullptr;
    hr = D3DXCreateSkinInfo(numVertices, decl, bones, &skin);
    if (FAILED(hr))
        return hr;
    try {
        // The mesh vertices made from each file vertex (several where the
        // loader split one by its normals).
        std::vector<uint32_t> first((size_t)numFileVertices + 1, 0), copies(numVertices);
        for (DWORD v = 0; v < numVertices; ++v) {
            if (originalVertex[v] >= numFileVertices) {
                skin->Release();
                return D3DXERR_INVALIDDATA;
            }
            ++first[originalVertex[v] + 1];
        }
        for (DWORD f = 0; f < numFileVertices; ++f)
            first[f + 1] += first[f];
        std::vector<uint32_t> fill(first.begin(), first.end() - 1);
        for (DWORD v = 0; v < numVertices; ++v)
            copies[fill[originalVertex[v]]++] = v;

        DWORD bone = 0;
        Weights w;
        std::vector<DWORD> vertices;
        std::vector<float> weights;
        for (size_t i = 0; i < o.children.size() && SUCCEEDED(hr); ++i) {
            const XFileObject& c = tree.Child(o, i);
            if (c.type != "SkinWeights")
                continue;
            hr = readWeights(c, numFileVertices, &w);
            if (FAILED(hr))
                break;
            vertices.clear();
            weights.clear();
            for (size_t k = 0; k < w.vertices.size(); ++k) {
                for (uint32_t p = first[w.vertices[k]]; p < first[w.vertices[k] + 1]; ++p) {
                    vertices.push_back(copies[p]);
                    weights.push_back(w.weights[k]);
                }
            }
            hr = skin->SetBoneName(bone, w.bone.c_str());
            if (SUCCEEDED(hr))
                hr = skin->SetBoneOffsetMatrix(bone, &w.offset);
            if (SUCCEEDED(hr))
                hr = skin->SetBoneInfluence(bone, (DWORD)vertices.size(), vertices.data(), weights.data());
            ++bone;
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        skin->Release();
        return hr;
    }
    *out = skin;
    return S_OK;
}

} // namespace d3dx

using namespace d3dx;

HRESULT D3DXLoadSkinMeshFromXof(LPD3DXFILEDATA pxofMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                LPD3DXBUFFER* ppEffectInstances, DWORD* pMatOut, LPD3DXSKININFO* ppSkinInfo,
                                LPD3DXMESH* ppMesh)
{
    if (!pxofMesh || !pD3DDevice || !ppMesh || !ppSkinInfo)
        return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    *ppSkinInfo = nullptr;
    std::shared_ptr<const XFileTree> tree;
    size_t index = 0;
    if (!XFileDataObject(pxofMesh, &tree, &index) || tree->objects[index].type != "Mesh")
        return D3DERR_INVALIDCALL;
    XLoadedMesh loaded;
    HRESULT hr = LoadXMesh(*tree, index, Options, pD3DDevice, nullptr, &loaded);
    if (FAILED(hr))
        return hr;
    ID3DXSkinInfo* skin = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    ID3DXBuffer* effects = nullptr;
    hr = XFileSkinInfo(*tree, index, loaded.mesh, loaded.originalVertex, &skin);
    // A mesh without weights still gets (empty) skin information.
    if (SUCCEEDED(hr) && !skin) {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        hr = loaded.mesh->GetDeclaration(decl);
        if (SUCCEEDED(hr))
            hr = D3DXCreateSkinInfo(loaded.mesh->GetNumVertices(), decl, 0, &skin);
    }
    if (SUCCEEDED(hr) && ppAdjacency)
        hr = DwordBuffer(loaded.adjacency, &adjacency);
    if (SUCCEEDED(hr) && ppMaterials)
        hr = MaterialsBuffer(loaded.materials, &materials);
    if (SUCCEEDED(hr) && ppEffectInstances)
        hr = EffectInstancesBuffer(loaded.materials, &effects);
    if (FAILED(hr)) {
        for (IUnknown* u : {static_cast<IUnknown*>(skin), static_cast<IUnknown*>(adjacency),
                            static_cast<IUnknown*>(materials), static_cast<IUnknown*>(effects),
                            static_cast<IUnknown*>(loaded.mesh)})
            if (u)
                u->Release();
        return hr;
    }
    if (ppAdjacency)
        *ppAdjacency = adjacency;
    if (ppMaterials)
        *ppMaterials = materials;
    if (ppEffectInstances)
        *ppEffectInstances = effects;
    if (pMatOut)
        *pMatOut = (DWORD)loaded.materials.size();
    *ppSkinInfo = skin;
    *ppMesh = loaded.mesh;
    return S_OK;
}
