// Frame hierarchies: D3DXLoadMeshHierarchyFromX and the D3DXFrame helpers.
#include "d3dx9anim.h"

#include "d3dx9anim_xfile.h"
#include "d3dx9mesh_internal.h"
#include "d3dx9skin_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace d3dx;

namespace {

// Tracks of the controller a loaded file gets; track 0 plays its first set.
constexpr UINT kLoadedTracks = 2;
constexpr UINT kLoadedEvents = 30;

// Children of a Mesh that the mesh loader itself reads.
bool meshPart(const std::string& type)
{
    static const char* const kParts[] = {"MeshNormals", "MeshTextureCoords", "MeshVertexColors", "MeshMaterialList",
                                         "MeshFaceWraps", "VertexDuplicationIndices", "XSkinMeshHeader",
                                         "SkinWeights", "FVFData", "DeclData"};
    for (const char* p : kParts)
        if (type == p)
            return true;
    return false;
}

// A reference to an interface that is released however the scope ends.
template <class T>
struct Held {
    T* p = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held()
    {
        if (p)
            p->Release();
    }
};

class Loader {
public:
    Loader(DWORD options, IDirect3DDevice9* device, ID3DXAllocateHierarchy* alloc, ID3DXLoadUserData* user)
        : options_(options), device_(device), alloc_(alloc), user_(user)
    {
    }

    // The file's one top-level frame is the root; several (or meshes outside
    // any frame) hang under an unnamed root frame.
    HRESULT load(ID3DXFileEnumObject* file, D3DXFRAME** root, std::shared_ptr<const XFileTree>* tree)
    {
        SIZE_T n = 0;
        HRESULT hr = file->GetChildren(&n);
        if (FAILED(hr))
            return hr;
        std::vector<Held<ID3DXFileData>> top(n);
        size_t frames = 0, meshes = 0;
        for (SIZE_T i = 0; i < n; ++i) {
            hr = file->GetChild(i, &top[i].p);
            if (FAILED(hr))
                return hr;
            const XFileObject* o = object(top[i].p, tree);
            if (!o)
                return D3DERR_INVALIDCALL;
            frames += o->type == "Frame";
            meshes += o->type == "Mesh";
        }
        if (!frames && !meshes)
            return D3DXERR_LOADEDMESHHASNODATA;

        D3DXFRAME** frameLink = root;
        D3DXMESHCONTAINER** meshLink = nullptr;
        if (frames != 1 || meshes) {
            hr = newFrame(nullptr, root);
            if (FAILED(hr))
                return hr;
            frameLink = &(*root)->pFrameFirstChild;
            meshLink = &(*root)->pMeshContainer;
        }
        for (SIZE_T i = 0; i < n; ++i) {
            std::shared_ptr<const XFileTree> t;
            const XFileObject* o = object(top[i].p, &t);
            if (o->type == "Frame") {
                hr = loadFrame(top[i].p, *o, frameLink);
                if (*frameLink)
                    frameLink = &(*frameLink)->pFrameSibling;
            } else if (o->type == "Mesh") {
                hr = loadMesh(top[i].p, *o, meshLink);
                if (*meshLink)
                    meshLink = &(*meshLink)->pNextMeshContainer;
            } else if (user_ && !topLevelPart(o->type)) {
                hr = user_->LoadTopLevelData(top[i].p);
            }
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

private:
    static bool topLevelPart(const std::string& type)
    {
        return type == "Header" || type == "AnimationSet" || type == "AnimTicksPerSecond";
    }

    static const XFileObject* object(ID3DXFileData* data, std::shared_ptr<const XFileTree>* tree)
    {
        size_t index = 0;
        if (!XFileDataObject(data, tree, &index) || index >= (*tree)->objects.size())
            return nullptr;
        return &(*tree)->objects[index];
    }

    // A frame from the allocator, hung at *link at once so that a failure
    // later destroys it with the rest.
    HRESULT newFrame(const char* name, D3DXFRAME** link)
    {
        D3DXFRAME* frame = nullptr;
        HRESULT hr = alloc_->CreateFrame(name, &frame);
        if (FAILED(hr))
            return hr;
        if (!frame)
            return E_FAIL;
        D3DXMatrixIdentity(&frame->TransformationMatrix);
        frame->pMeshContainer = nullptr;
        frame->pFrameSibling = nullptr;
        frame->pFrameFirstChild = nullptr;
        *link = frame;
        return S_OK;
    }

    HRESULT loadFrame(ID3DXFileData* data, const XFileObject& o, D3DXFRAME** link)
    {
        HRESULT hr = newFrame(o.name.empty() ? nullptr : o.name.c_str(), link);
        if (FAILED(hr))
            return hr;
        D3DXFRAME* frame = *link;
        D3DXFRAME** childLink = &frame->pFrameFirstChild;
        D3DXMESHCONTAINER** meshLink = &frame->pMeshContainer;
        SIZE_T n = 0;
        hr = data->GetChildren(&n);
        for (SIZE_T i = 0; i < n && SUCCEEDED(hr); ++i) {
            Held<ID3DXFileData> child;
            hr = data->GetChild(i, &child.p);
            if (FAILED(hr))
                break;
            std::shared_ptr<const XFileTree> tree;
            const XFileObject* c = object(child.p, &tree);
            if (!c) {
                hr = D3DERR_INVALIDCALL;
            } else if (c->type == "FrameTransformMatrix") {
                XFileReader r(*c);
                D3DXMATRIX m;
                for (int k = 0; k < 16; ++k)
                    (&m._11)[k] = r.Float();
                if (!r.Ok())
                    hr = D3DXERR_INVALIDDATA;
                else
                    frame->TransformationMatrix = m;
            } else if (c->type == "Frame") {
                // A referenced frame stays where it is defined.
                if (!child.p->IsReference()) {
                    hr = loadFrame(child.p, *c, childLink);
                    if (*childLink)
                        childLink = &(*childLink)->pFrameSibling;
                }
            } else if (c->type == "Mesh") {
                hr = loadMesh(child.p, *c, meshLink);
                if (*meshLink)
                    meshLink = &(*meshLink)->pNextMeshContainer;
            } else if (user_) {
                hr = user_->LoadFrameChildData(frame, child.p);
            }
        }
        return hr;
    }

    HRESULT loadMesh(ID3DXFileData* data, const XFileObject& o, D3DXMESHCONTAINER** link)
    {
        std::shared_ptr<const XFileTree> tree;
        size_t index = 0;
        if (!XFileDataObject(data, &tree, &index))
            return D3DERR_INVALIDCALL;
        XLoadedMesh loaded;
        HRESULT hr = LoadXMesh(*tree, index, options_, device_, nullptr, &loaded);
        if (FAILED(hr))
            return hr;
        Held<ID3DXMesh> mesh;
        mesh.p = loaded.mesh;
        Held<ID3DXSkinInfo> skin;
        Held<ID3DXBuffer> materials, effects;
        hr = XFileSkinInfo(*tree, index, mesh.p, loaded.originalVertex, &skin.p);
        if (SUCCEEDED(hr))
            hr = MaterialsBuffer(loaded.materials, &materials.p);
        if (SUCCEEDED(hr))
            hr = EffectInstancesBuffer(loaded.materials, &effects.p);
        if (FAILED(hr))
            return hr;
        D3DXMESHDATA meshData;
        meshData.Type = D3DXMESHTYPE_MESH;
        meshData.pMesh = mesh.p;
        D3DXMESHCONTAINER* container = nullptr;
        hr = alloc_->CreateMeshContainer(o.name.empty() ? nullptr : o.name.c_str(), &meshData,
                                         static_cast<const D3DXMATERIAL*>(materials.p->GetBufferPointer()),
                                         static_cast<const D3DXEFFECTINSTANCE*>(effects.p->GetBufferPointer()),
                                         (DWORD)loaded.materials.size(), loaded.adjacency.data(), skin.p, &container);
        if (FAILED(hr))
            return hr;
        if (!container)
            return S_OK;
        container->pNextMeshContainer = nullptr;
        *link = container;
        if (!user_)
            return S_OK;
        SIZE_T n = 0;
        hr = data->GetChildren(&n);
        for (SIZE_T i = 0; i < n && SUCCEEDED(hr); ++i) {
            Held<ID3DXFileData> child;
            hr = data->GetChild(i, &child.p);
            if (FAILED(hr))
                break;
            std::shared_ptr<const XFileTree> t;
            const XFileObject* c = object(child.p, &t);
            if (c && !meshPart(c->type))
                hr = user_->LoadMeshChildData(container, child.p);
        }
        return hr;
    }

    DWORD options_;
    IDirect3DDevice9* device_;
    ID3DXAllocateHierarchy* alloc_;
    ID3DXLoadUserData* user_;
};

// The file's animation sets on a controller whose outputs are the named
// frames; null when the file has none.
HRESULT loadAnimation(const XFileTree& tree, D3DXFRAME* root, ID3DXAnimationController** out)
{
    std::vector<ID3DXKeyframedAnimationSet*> sets;
    HRESULT hr = XFileAnimationSets(tree, &sets);
    if (FAILED(hr) || sets.empty())
        return hr;
    ID3DXAnimationController* controller = nullptr;
    UINT outputs = D3DXFrameNumNamedMatrices(root);
    hr = D3DXCreateAnimationController(outputs, (UINT)sets.size(), kLoadedTracks, kLoadedEvents, &controller);
    if (SUCCEEDED(hr))
        hr = D3DXFrameRegisterNamedMatrices(root, controller);
    for (size_t i = 0; i < sets.size() && SUCCEEDED(hr); ++i)
        hr = controller->RegisterAnimationSet(sets[i]);
    if (SUCCEEDED(hr))
        hr = controller->SetTrackAnimationSet(0, sets[0]);
    for (ID3DXKeyframedAnimationSet* s : sets)
        s->Release();
    if (FAILED(hr)) {
        if (controller)
            controller->Release();
        return hr;
    }
    *out = controller;
    return S_OK;
}

HRESULT loadHierarchy(LPCVOID source, D3DXF_FILELOADOPTIONS from, DWORD options, LPDIRECT3DDEVICE9 device,
                      LPD3DXALLOCATEHIERARCHY alloc, LPD3DXLOADUSERDATA user, LPD3DXFRAME* ppFrame,
                      LPD3DXANIMATIONCONTROLLER* ppController)
{
    if (!device || !alloc || !ppFrame)
        return D3DERR_INVALIDCALL;
    *ppFrame = nullptr;
    if (ppController)
        *ppController = nullptr;
    Held<ID3DXFile> file;
    HRESULT hr = D3DXFileCreate(&file.p);
    if (FAILED(hr))
        return hr;
    Held<ID3DXFileEnumObject> objects;
    hr = file.p->CreateEnumObject(source, from, &objects.p);
    if (FAILED(hr))
        return hr;
    D3DXFRAME* root = nullptr;
    std::shared_ptr<const XFileTree> tree;
    Loader loader(options, device, alloc, user);
    hr = loader.load(objects.p, &root, &tree);
    ID3DXAnimationController* controller = nullptr;
    if (SUCCEEDED(hr) && ppController && tree)
        hr = loadAnimation(*tree, root, &controller);
    if (FAILED(hr)) {
        if (root)
            D3DXFrameDestroy(root, alloc);
        return hr;
    }
    *ppFrame = root;
    if (ppController)
        *ppController = controller;
    return S_OK;
}

UINT countNamed(const D3DXFRAME* frame)
{
    UINT n = 0;
    for (; frame; frame = frame->pFrameSibling)
        n += (frame->Name != nullptr) + countNamed(frame->pFrameFirstChild);
    return n;
}

// Positions of every mesh of the hierarchy, each in the space of the root
// (its frames' matrices applied), handed to `see`.
template <class See>
HRESULT forEachPosition(const D3DXFRAME* frame, const D3DXMATRIX& parent, See&& see)
{
    for (; frame; frame = frame->pFrameSibling) {
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &frame->TransformationMatrix, &parent);
        for (const D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            if (c->MeshData.Type != D3DXMESHTYPE_MESH || !c->MeshData.pMesh)
                continue;
            ID3DXMesh* mesh = c->MeshData.pMesh;
            D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
            HRESULT hr = mesh->GetDeclaration(decl);
            if (FAILED(hr))
                return hr;
            const D3DVERTEXELEMENT9* position = FindElement(decl, D3DDECLUSAGE_POSITION, 0);
            if (!position || position->Type != D3DDECLTYPE_FLOAT3)
                continue;
            void* data = nullptr;
            hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, &data);
            if (FAILED(hr))
                return hr;
            DWORD stride = mesh->GetNumBytesPerVertex();
            for (DWORD v = 0; v < mesh->GetNumVertices(); ++v) {
                D3DXVECTOR3 p, q;
                std::memcpy(&p, static_cast<const BYTE*>(data) + (size_t)v * stride + position->Offset, sizeof(p));
                D3DXVec3TransformCoord(&q, &p, &world);
                see(q);
            }
            mesh->UnlockVertexBuffer();
        }
        HRESULT hr = forEachPosition(frame->pFrameFirstChild, world, see);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

} // namespace

HRESULT D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                    LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                    LPD3DXFRAME* ppFrameHierarchy, LPD3DXANIMATIONCONTROLLER* ppAnimController)
{
    if (!Filename)
        return D3DERR_INVALIDCALL;
    return loadHierarchy(Filename, D3DXF_FILELOAD_FROMFILE, MeshOptions, pDevice, pAlloc, pUserDataLoader,
                         ppFrameHierarchy, ppAnimController);
}

HRESULT D3DXLoadMeshHierarchyFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD MeshOptions,
                                           LPDIRECT3DDEVICE9 pDevice, LPD3DXALLOCATEHIERARCHY pAlloc,
                                           LPD3DXLOADUSERDATA pUserDataLoader, LPD3DXFRAME* ppFrameHierarchy,
                                           LPD3DXANIMATIONCONTROLLER* ppAnimController)
{
    if (!Memory)
        return D3DERR_INVALIDCALL;
    D3DXF_FILELOADMEMORY memory = {Memory, SizeOfMemory};
    return loadHierarchy(&memory, D3DXF_FILELOAD_FROMMEMORY, MeshOptions, pDevice, pAlloc, pUserDataLoader,
                         ppFrameHierarchy, ppAnimController);
}

HRESULT D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc)
{
    if (!pFrameRoot || !pAlloc)
        return D3DERR_INVALIDCALL;
    HRESULT result = S_OK;
    D3DXFRAME* frame = pFrameRoot;
    while (frame) {
        D3DXFRAME* sibling = frame->pFrameSibling;
        D3DXMESHCONTAINER* container = frame->pMeshContainer;
        while (container) {
            D3DXMESHCONTAINER* next = container->pNextMeshContainer;
            HRESULT hr = pAlloc->DestroyMeshContainer(container);
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
            container = next;
        }
        if (frame->pFrameFirstChild) {
            HRESULT hr = D3DXFrameDestroy(frame->pFrameFirstChild, pAlloc);
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
        HRESULT hr = pAlloc->DestroyFrame(frame);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
        frame = sibling;
    }
    return result;
}

LPD3DXFRAME D3DXFrameFind(const D3DXFRAME* pFrameRoot, LPCSTR Name)
{
    for (const D3DXFRAME* frame = pFrameRoot; frame; frame = frame->pFrameSibling) {
        bool match = Name ? frame->Name && std::strcmp(frame->Name, Name) == 0 : frame->Name == nullptr;
        if (match)
            return const_cast<D3DXFRAME*>(frame);
        if (D3DXFRAME* found = D3DXFrameFind(frame->pFrameFirstChild, Name))
            return found;
    }
    return nullptr;
}

HRESULT D3DXFrameAppendChild(LPD3DXFRAME pFrameParent, const D3DXFRAME* pFrameChild)
{
    if (!pFrameParent || !pFrameChild)
        return D3DERR_INVALIDCALL;
    D3DXFRAME** link = &pFrameParent->pFrameFirstChild;
    while (*link)
        link = &(*link)->pFrameSibling;
    *link = const_cast<D3DXFRAME*>(pFrameChild);
    return S_OK;
}

UINT D3DXFrameNumNamedMatrices(const D3DXFRAME* pFrameRoot)
{
    return countNamed(pFrameRoot);
}

HRESULT D3DXFrameRegisterNamedMatrices(LPD3DXFRAME pFrameRoot, LPD3DXANIMATIONCONTROLLER pAnimController)
{
    if (!pFrameRoot || !pAnimController)
        return D3DERR_INVALIDCALL;
    for (D3DXFRAME* frame = pFrameRoot; frame; frame = frame->pFrameSibling) {
        if (frame->Name) {
            HRESULT hr = pAnimController->RegisterAnimationOutput(frame->Name, &frame->TransformationMatrix, nullptr,
                                                                  nullptr, nullptr);
            if (FAILED(hr))
                return hr;
        }
        if (frame->pFrameFirstChild) {
            HRESULT hr = D3DXFrameRegisterNamedMatrices(frame->pFrameFirstChild, pAnimController);
            if (FAILED(hr))
                return hr;
        }
    }
    return S_OK;
}

HRESULT D3DXFrameCalculateBoundingSphere(const D3DXFRAME* pFrameRoot, LPD3DXVECTOR3 pObjectCenter,
                                         FLOAT* pObjectRadius)
{
    if (!pFrameRoot || !pObjectCenter || !pObjectRadius)
        return D3DERR_INVALIDCALL;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    // The centre is the mean of every position, the radius the farthest one.
    double sum[3] = {0.0, 0.0, 0.0};
    size_t count = 0;
    HRESULT hr = forEachPosition(pFrameRoot, identity, [&](const D3DXVECTOR3& p) {
        sum[0] += p.x;
        sum[1] += p.y;
        sum[2] += p.z;
        ++count;
    });
    if (FAILED(hr))
        return hr;
    D3DXVECTOR3 center(0.0f, 0.0f, 0.0f);
    if (count)
        center = D3DXVECTOR3((float)(sum[0] / count), (float)(sum[1] / count), (float)(sum[2] / count));
    float radiusSq = 0.0f;
    hr = forEachPosition(pFrameRoot, identity, [&](const D3DXVECTOR3& p) {
        D3DXVECTOR3 d = p - center;
        radiusSq = std::max(radiusSq, D3DXVec3LengthSq(&d));
    });
    if (FAILED(hr))
        return hr;
    *pObjectCenter = center;
    *pObjectRadius = std::sqrt(radiusSq);
    return S_OK;
}
