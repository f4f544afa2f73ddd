#include "skinnedmodel.h"

#include <vector>

#include <cstdlib>
#include <cstring>
#include <new>

#include "texturecache.h"
#include "utils.h"

namespace {

// The declaration a skinned mesh is cloned to before its conversion.
const D3DVERTEXELEMENT9 kSkinnedDecl[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
    {0, 16, D3DDECLTYPE_UBYTE4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
    {0, 20, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 32, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

const DWORD kNoBone = 0xFFFFFFFF;

// 16-byte aligned matrices, all identity; null when count is 0 or on failure.
D3DXMATRIX* AllocMatrices(DWORD count)
{
    if (count == 0)
        return nullptr;
    void* block = std::aligned_alloc(16, (size_t)count * sizeof(D3DXMATRIX));
    if (!block)
        return nullptr;
    D3DXMATRIX* m = static_cast<D3DXMATRIX*>(block);
    for (DWORD i = 0; i < count; ++i)
        D3DXMatrixIdentity(&m[i]);
    return m;
}

// A copy of the capabilities, all zero without them.
D3DCAPS9 CapsOrNone(const D3DCAPS9* caps)
{
    D3DCAPS9 copy;
    if (caps)
        copy = *caps;
    else
        std::memset(&copy, 0, sizeof copy);
    return copy;
}

} // namespace

HRESULT DuplicateName(const char* name, char** ppOut)
{
    *ppOut = nullptr;
    if (!name)
        return S_OK;
    size_t len = std::strlen(name);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy, name, len + 1);
    *ppOut = copy;
    return S_OK;
}

// ---- HierarchyAllocator -----------------------------------------------------

HierarchyAllocator::HierarchyAllocator(SkinnedModel* model, D3DCAPS9 caps) : m_pModel(model), m_caps(caps) {}

HRESULT HierarchyAllocator::CreateFrame(LPCSTR name, LPD3DXFRAME* ppNewFrame)
{
    *ppNewFrame = nullptr;
    SkinFrame* frame = new (std::nothrow) SkinFrame();
    if (!frame)
        return E_OUTOFMEMORY;
    HRESULT hr = DuplicateName(name, &frame->Name);
    if (FAILED(hr)) {
        delete frame;
        return hr;
    }
    D3DXMatrixIdentity(&frame->TransformationMatrix);
    D3DXMatrixIdentity(&frame->m_combined);
    frame->pMeshContainer = nullptr;
    frame->pFrameSibling = nullptr;
    frame->pFrameFirstChild = nullptr;
    *ppNewFrame = frame;
    return S_OK;
}

HRESULT HierarchyAllocator::CreateMeshContainer(LPCSTR name, const D3DXMESHDATA* pMeshData,
                                                const D3DXMATERIAL* pMaterials, const D3DXEFFECTINSTANCE*,
                                                DWORD numMaterials, const DWORD* pAdjacency,
                                                LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER* ppNewMeshContainer)
{
    *ppNewMeshContainer = nullptr;
    if (!pMeshData || pMeshData->Type != D3DXMESHTYPE_MESH || !pMeshData->pMesh)
        return E_FAIL;
    ID3DXMesh* mesh = pMeshData->pMesh;
    const DWORD fvf = mesh->GetFVF();
    if (fvf == 0)
        return E_FAIL;

    SkinMeshContainer* c = new (std::nothrow) SkinMeshContainer();
    if (!c)
        return E_OUTOFMEMORY;
    IDirect3DDevice9* device = nullptr;
    HRESULT hr = DuplicateName(name, &c->Name);
    if (SUCCEEDED(hr))
        hr = mesh->GetDevice(&device);
    const DWORD faces = mesh->GetNumFaces();

    // Normals first: lighting needs them and the skinned clone carries them.
    if (SUCCEEDED(hr)) {
        c->MeshData.Type = D3DXMESHTYPE_MESH;
        if (!(fvf & D3DFVF_NORMAL)) {
            hr = mesh->CloneMeshFVF(mesh->GetOptions(), fvf | D3DFVF_NORMAL, device, &c->MeshData.pMesh);
            if (SUCCEEDED(hr))
                hr = D3DXComputeNormals(c->MeshData.pMesh, nullptr);
        } else {
            c->MeshData.pMesh = mesh;
            mesh->AddRef();
        }
    }

    if (SUCCEEDED(hr)) {
        c->NumMaterials = numMaterials > 0 ? numMaterials : 1;
        c->pMaterials = new (std::nothrow) D3DXMATERIAL[c->NumMaterials]();
        c->m_materialTextures = new (std::nothrow) IDirect3DTexture9*[c->NumMaterials]();
        c->pAdjacency = new (std::nothrow) DWORD[(size_t)faces * 3 + 1];
        if (!c->pMaterials || !c->m_materialTextures || !c->pAdjacency)
            hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        if (pAdjacency)
            std::memcpy(c->pAdjacency, pAdjacency, (size_t)faces * 3 * sizeof(DWORD));
        else
            hr = c->MeshData.pMesh->GenerateAdjacency(0.0f, c->pAdjacency);
    }

    if (SUCCEEDED(hr)) {
        if (numMaterials > 0) {
            // The names are the loader's and go when the load returns: each
            // material keeps a copy of its own.
            for (DWORD i = 0; i < numMaterials && SUCCEEDED(hr); ++i) {
                c->pMaterials[i].MatD3D = pMaterials[i].MatD3D;
                hr = DuplicateName(pMaterials[i].pTextureFilename, &c->pMaterials[i].pTextureFilename);
                if (SUCCEEDED(hr) && c->pMaterials[i].pTextureFilename) {
                    IDirect3DTexture9* texture = nullptr;
                    if (LoadTextureFromFile(c->pMaterials[i].pTextureFilename, &texture) == S_OK)
                        c->m_materialTextures[i] = texture;
                }
            }
        } else {
            D3DMATERIAL9& m = c->pMaterials[0].MatD3D;
            std::memset(&m, 0, sizeof m);
            m.Diffuse.r = m.Diffuse.g = m.Diffuse.b = 0.5f;
            m.Specular = m.Diffuse;
        }
    }

    if (SUCCEEDED(hr) && pSkinInfo) {
        c->pSkinInfo = pSkinInfo;
        pSkinInfo->AddRef();
        c->m_pSourceMesh = c->MeshData.pMesh;
        c->m_pSourceMesh->AddRef();
        const DWORD bones = pSkinInfo->GetNumBones();
        c->m_boneOffsets = AllocMatrices(bones);
        if (bones > 0 && !c->m_boneOffsets)
            hr = E_OUTOFMEMORY;
        for (DWORD b = 0; b < bones && SUCCEEDED(hr); ++b) {
            const D3DXMATRIX* offset = pSkinInfo->GetBoneOffsetMatrix(b);
            if (offset)
                c->m_boneOffsets[b] = *offset;
        }
        if (SUCCEEDED(hr))
            hr = m_pModel->BuildSkinnedMesh(c, &m_caps, device);
    }

    if (device)
        device->Release();
    if (FAILED(hr)) {
        DestroyMeshContainer(c);
        return hr;
    }
    *ppNewMeshContainer = c;
    return S_OK;
}

HRESULT HierarchyAllocator::DestroyFrame(LPD3DXFRAME pFrameToFree)
{
    if (!pFrameToFree)
        return S_OK;
    std::free(pFrameToFree->Name);
    delete static_cast<SkinFrame*>(pFrameToFree);
    return S_OK;
}

HRESULT HierarchyAllocator::DestroyMeshContainer(LPD3DXMESHCONTAINER pMeshContainerToFree)
{
    SkinMeshContainer* c = static_cast<SkinMeshContainer*>(pMeshContainerToFree);
    if (!c)
        return S_OK;
    std::free(c->Name);
    delete[] c->pAdjacency;
    if (c->pMaterials) {
        for (DWORD i = 0; i < c->NumMaterials; ++i)
            std::free(c->pMaterials[i].pTextureFilename);
        delete[] c->pMaterials;
    }
    std::free(c->m_boneOffsets);
    if (c->m_materialTextures) {
        for (DWORD i = 0; i < c->NumMaterials; ++i)
            if (c->m_materialTextures[i])
                ReleaseTexture(c->m_materialTextures[i]);
        delete[] c->m_materialTextures;
    }
    delete[] c->m_boneLinks;
    SafeRelease(c->m_pBoneCombinations);
    SafeRelease(c->MeshData.pMesh);
    SafeRelease(c->pSkinInfo);
    SafeRelease(c->m_pSourceMesh);
    delete c;
    return S_OK;
}

// ---- SkinnedModel ---------------------------------------------------------------

SkinnedModel::SkinnedModel()
    : m_pFrameRoot(nullptr),
      m_pAnimController(nullptr),
      m_pBoneMatrices(nullptr),
      m_numBoneMatrices(0),
      m_pEffect(nullptr)
{
}

SkinnedModel::~SkinnedModel()
{
    Destroy(nullptr);
    std::free(m_pBoneMatrices);
    m_pBoneMatrices = nullptr;
    m_numBoneMatrices = 0;
}

HRESULT SkinnedModel::Load(const char* file, const char* effectFile, const D3DCAPS9* caps,
                           IDirect3DDevice9* device, D3DXVECTOR3* sphereCenter, float* sphereRadius)
{
    if (m_pFrameRoot || m_pAnimController || m_pEffect)
        Destroy(caps);
    HierarchyAllocator alloc(this, CapsOrNone(caps));

    D3DXFRAME* root = nullptr;
    HRESULT hr = D3DXLoadMeshHierarchyFromX(file, D3DXMESH_MANAGED, device, &alloc, nullptr, &root,
                                            &m_pAnimController);
    m_pFrameRoot = static_cast<SkinFrame*>(root);
    if (FAILED(hr))
        return hr;
    hr = LinkBoneMatrices(m_pFrameRoot);
    if (FAILED(hr))
        return hr;
    hr = D3DXFrameCalculateBoundingSphere(m_pFrameRoot, sphereCenter, sphereRadius);
    if (FAILED(hr))
        return hr;
    hr = D3DXCreateEffectFromFile(device, effectFile, nullptr, nullptr, D3DXSHADER_DEBUG, nullptr, &m_pEffect,
                                  nullptr);
    return hr;
}

HRESULT SkinnedModel::OnResetDevice(IDirect3DDevice9*)
{
    if (m_pEffect)
        m_pEffect->OnResetDevice();
    return S_OK;
}

HRESULT SkinnedModel::OnLostDevice()
{
    if (m_pEffect)
        m_pEffect->OnLostDevice();
    return S_OK;
}

void SkinnedModel::Release(const D3DCAPS9* caps)
{
    OnLostDevice();
    Destroy(caps);
}

void SkinnedModel::Destroy(const D3DCAPS9* caps)
{
    if (m_pFrameRoot) {
        HierarchyAllocator alloc(this, CapsOrNone(caps));
        D3DXFrameDestroy(m_pFrameRoot, &alloc);
        m_pFrameRoot = nullptr;
    }
    SafeRelease(m_pAnimController);
    SafeRelease(m_pEffect);
}

HRESULT SkinnedModel::Update(const D3DXMATRIX* world, float elapsed, float speed)
{
    if (!IsLoaded())
        return S_OK;
    if (m_pAnimController) {
        m_pAnimController->SetTrackSpeed(0, speed);
        m_pAnimController->AdvanceTime(elapsed, nullptr);
    }
    UpdateFrameTransforms(m_pFrameRoot, world);
    return S_OK;
}

double SkinnedModel::GetTrackPosition()
{
    if (!m_pAnimController)
        return 0.0;
    D3DXTRACK_DESC desc;
    std::memset(&desc, 0, sizeof desc);
    m_pAnimController->GetTrackDesc(0, &desc);
    return desc.Position;
}

void SkinnedModel::SetTrackPosition(double position)
{
    if (m_pAnimController)
        m_pAnimController->SetTrackPosition(0, position);
}

void SkinnedModel::UpdateFrameTransforms(SkinFrame* frame, const D3DXMATRIX* parent)
{
    for (; frame; frame = static_cast<SkinFrame*>(frame->pFrameSibling)) {
        if (parent)
            D3DXMatrixMultiply(&frame->m_combined, &frame->TransformationMatrix, parent);
        else
            frame->m_combined = frame->TransformationMatrix;
        UpdateFrameTransforms(static_cast<SkinFrame*>(frame->pFrameFirstChild), &frame->m_combined);
    }
}

HRESULT SkinnedModel::LinkBoneMatrices(SkinFrame* frame)
{
    for (; frame; frame = static_cast<SkinFrame*>(frame->pFrameSibling)) {
        // Every container of the frame is drawn, so every one is linked.
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            HRESULT hr = LinkContainerBones(static_cast<SkinMeshContainer*>(c));
            if (FAILED(hr))
                return hr;
        }
        HRESULT hr = LinkBoneMatrices(static_cast<SkinFrame*>(frame->pFrameFirstChild));
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT SkinnedModel::LinkContainerBones(SkinMeshContainer* c)
{
    if (!c->pSkinInfo)
        return S_OK;
    const DWORD bones = c->pSkinInfo->GetNumBones();
    delete[] c->m_boneLinks;
    c->m_boneLinks = new (std::nothrow) D3DXMATRIX*[bones + 1]();
    if (!c->m_boneLinks)
        return E_OUTOFMEMORY;
    for (DWORD b = 0; b < bones; ++b) {
        SkinFrame* frame = static_cast<SkinFrame*>(D3DXFrameFind(m_pFrameRoot, c->pSkinInfo->GetBoneName(b)));
        if (!frame)
            return E_FAIL;
        c->m_boneLinks[b] = &frame->m_combined;
    }
    return S_OK;
}

HRESULT SkinnedModel::BuildSkinnedMesh(SkinMeshContainer* c, const D3DCAPS9* caps, IDirect3DDevice9* device)
{
    if (!c->pSkinInfo)
        return S_OK;
    SafeRelease(c->MeshData.pMesh);
    SafeRelease(c->m_pBoneCombinations);
    if (!c->m_pSourceMesh)
        return E_FAIL;

    const DWORD bones = c->pSkinInfo->GetNumBones();
    c->m_paletteSize = bones < kMaxPaletteSize ? bones : kMaxPaletteSize;

    DWORD options;
    if (caps->VertexShaderVersion < D3DVS_VERSION(1, 1)) {
        c->m_softwareSkinning = true;
        options = D3DXMESHOPT_VERTEXCACHE | D3DXMESH_SYSTEMMEM;
    } else {
        c->m_softwareSkinning = false;
        options = D3DXMESHOPT_VERTEXCACHE | D3DXMESH_MANAGED;
    }

    ID3DXMesh* clone = nullptr;
    ID3DXMesh* source = c->m_pSourceMesh;
    if (SUCCEEDED(c->m_pSourceMesh->CloneMesh(c->m_pSourceMesh->GetOptions(), kSkinnedDecl, device, &clone))) {
        D3DXComputeTangent(clone, 0, 0, 0, TRUE, nullptr);
        source = clone;
    }
    HRESULT hr = c->pSkinInfo->ConvertToIndexedBlendedMesh(
        source, options, c->m_paletteSize, c->pAdjacency, nullptr, nullptr, nullptr, &c->m_maxInfluences,
        &c->m_numBoneCombinations, &c->m_pBoneCombinations, &c->MeshData.pMesh);
    SafeRelease(clone);
    if (FAILED(hr))
        return hr;

    // The shader reads the blend indices as a colour.
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    hr = c->MeshData.pMesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    for (D3DVERTEXELEMENT9* e = decl; e->Stream != 0xFF; ++e)
        if (e->Usage == D3DDECLUSAGE_BLENDINDICES && e->UsageIndex == 0)
            e->Type = D3DDECLTYPE_D3DCOLOR;
    hr = c->MeshData.pMesh->UpdateSemantics(decl);
    if (FAILED(hr))
        return hr;

    if (m_numBoneMatrices < bones) {
        D3DXMATRIX* palette = AllocMatrices(bones);
        if (!palette)
            return E_OUTOFMEMORY;
        std::free(m_pBoneMatrices);
        m_pBoneMatrices = palette;
        m_numBoneMatrices = bones;
    }
    return S_OK;
}

HRESULT SkinnedModel::Render(const D3DCAPS9*, IDirect3DDevice9* device, const D3DXMATRIX* view,
                             const D3DXMATRIX* projection, D3DXVECTOR4 lightDir)
{
    if (!IsLoaded())
        return S_OK;
    m_pEffect->SetMatrix("mViewProj", projection);
    D3DXVECTOR4 viewLight;
    D3DXVec4Transform(&viewLight, &lightDir, view);
    m_pEffect->SetVector("vLightDir", &viewLight);
    DrawFrameTree(m_pFrameRoot, device, view);
    return S_OK;
}

void SkinnedModel::DrawFrameTree(SkinFrame* frame, IDirect3DDevice9* device, const D3DXMATRIX* view)
{
    // A frame's containers, then its sibling's tree, then its first child's;
    // walked with a list of trees still to draw rather than recursion, so
    // that long sibling chains cost no stack.
    std::vector<SkinFrame*> pending;
    if (frame)
        pending.push_back(frame);
    while (!pending.empty()) {
        SkinFrame* f = pending.back();
        pending.pop_back();
        for (D3DXMESHCONTAINER* c = f->pMeshContainer; c; c = c->pNextMeshContainer)
            DrawContainer(static_cast<SkinMeshContainer*>(c), f, device, view);
        if (f->pFrameFirstChild)
            pending.push_back(static_cast<SkinFrame*>(f->pFrameFirstChild));
        if (f->pFrameSibling)
            pending.push_back(static_cast<SkinFrame*>(f->pFrameSibling));
    }
}

void SkinnedModel::DrawContainer(SkinMeshContainer* c, SkinFrame* frame, IDirect3DDevice9* device,
                                 const D3DXMATRIX* view)
{
    if (!c->pSkinInfo) {
        device->SetTransform(D3DTS_WORLD, &frame->m_combined);
        for (DWORD i = 0; i < c->NumMaterials; ++i) {
            device->SetMaterial(&c->pMaterials[i].MatD3D);
            device->SetTexture(0, c->m_materialTextures[i]);
            c->MeshData.pMesh->DrawSubset(i);
        }
        return;
    }

    if (c->m_softwareSkinning)
        device->SetSoftwareVertexProcessing(TRUE);
    const DWORD bones = c->pSkinInfo->GetNumBones();
    const D3DXBONECOMBINATION* combinations =
        static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinations->GetBufferPointer());
    const INT curNumBones = c->m_maxInfluences > 0 ? (INT)c->m_maxInfluences - 1 : 0;
    for (DWORD g = 0; g < c->m_numBoneCombinations; ++g) {
        const D3DXBONECOMBINATION& combination = combinations[g];
        for (DWORD e = 0; e < c->m_paletteSize; ++e) {
            const DWORD b = combination.BoneId[e];
            if (b == kNoBone || b >= bones)
                continue;
            D3DXMATRIX boneToWorld;
            D3DXMatrixMultiply(&boneToWorld, &c->m_boneOffsets[b], c->m_boneLinks[b]);
            D3DXMatrixMultiply(&m_pBoneMatrices[e], &boneToWorld, view);
        }
        m_pEffect->SetMatrixArray("mWorldMatrixArray", m_pBoneMatrices, c->m_paletteSize);
        IDirect3DTexture9* texture =
            combination.AttribId < c->NumMaterials ? c->m_materialTextures[combination.AttribId] : nullptr;
        m_pEffect->SetTexture("tDiffuse", texture);
        m_pEffect->SetInt("CurNumBones", curNumBones);

        UINT passes = 0;
        if (SUCCEEDED(m_pEffect->Begin(&passes, D3DXFX_DONOTSAVESTATE))) {
            for (UINT p = 0; p < passes; ++p) {
                m_pEffect->BeginPass(p);
                m_pEffect->CommitChanges();
                c->MeshData.pMesh->DrawSubset(g);
                m_pEffect->EndPass();
            }
            m_pEffect->End();
        }
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
    }
    if (c->m_softwareSkinning)
        device->SetSoftwareVertexProcessing(FALSE);
}
