#include "meshresource.h"

#include <cstring>

#include "texturecache.h"
#include "utils.h"

MeshResource::MeshResource(const char* name)
    : m_pSysMemMesh(nullptr), m_pLocalMesh(nullptr), m_numMaterials(0), m_materials(nullptr), m_textures(nullptr),
      m_useMaterials(true)
{
    m_name[0] = '\0';
    if (name) {
        std::strncpy(m_name, name, sizeof(m_name) - 1);
        m_name[sizeof(m_name) - 1] = '\0';
    }
}

MeshResource::~MeshResource()
{
    Destroy();
}

HRESULT MeshResource::Create(IDirect3DDevice9* device, const char* path)
{
    Destroy();
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXMesh* mesh = nullptr;
    HRESULT hr =
        D3DXLoadMeshFromX(path, D3DXMESH_MANAGED, device, &adjacency, &materials, nullptr, &numMaterials, &mesh);
    return FinishLoad(device, hr, mesh, adjacency, materials, numMaterials);
}

HRESULT MeshResource::CreateFromXData(IDirect3DDevice9* device, ID3DXFileData* data)
{
    Destroy();
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXMesh* mesh = nullptr;
    HRESULT hr =
        D3DXLoadMeshFromXof(data, D3DXMESH_SYSTEMMEM, device, &adjacency, &materials, nullptr, &numMaterials, &mesh);
    return FinishLoad(device, hr, mesh, adjacency, materials, numMaterials);
}

HRESULT MeshResource::FinishLoad(IDirect3DDevice9* device, HRESULT loaded, ID3DXMesh* mesh, ID3DXBuffer* adjacency,
                                 ID3DXBuffer* materials, DWORD numMaterials)
{
    HRESULT hr = loaded;
    if (SUCCEEDED(hr) && !mesh)
        hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        const DWORD* adj = adjacency ? static_cast<const DWORD*>(adjacency->GetBufferPointer()) : nullptr;
        hr = mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, adj, nullptr,
                                   nullptr, nullptr);
    }
    if (FAILED(hr)) {
        // Nothing of a failed load stays: the count and the arrays agree.
        if (mesh)
            mesh->Release();
        if (adjacency)
            adjacency->Release();
        if (materials)
            materials->Release();
        return hr;
    }
    m_pSysMemMesh = mesh;

    if (!(m_pSysMemMesh->GetFVF() & D3DFVF_NORMAL))
        SetFVF(device, m_pSysMemMesh->GetFVF() | D3DFVF_NORMAL);

    if (materials && numMaterials > 0) {
        const D3DXMATERIAL* loaded = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
        m_materials = new D3DMATERIAL9[numMaterials];
        m_textures = new IDirect3DTexture9*[numMaterials];
        m_numMaterials = numMaterials;
        for (DWORD i = 0; i < numMaterials; ++i) {
            m_materials[i] = loaded[i].MatD3D;
            m_textures[i] = nullptr;
            if (loaded[i].pTextureFilename && loaded[i].pTextureFilename[0] != '\0') {
                IDirect3DTexture9* texture = nullptr;
                if (SUCCEEDED(LoadTextureFromFile(loaded[i].pTextureFilename, &texture)))
                    m_textures[i] = texture;
            }
        }
    }
    if (adjacency)
        adjacency->Release();
    if (materials)
        materials->Release();
    return S_OK;
}

HRESULT MeshResource::SetFVF(IDirect3DDevice9* device, DWORD fvf)
{
    ID3DXMesh* sysMem = nullptr;
    ID3DXMesh* local = nullptr;
    if (m_pSysMemMesh && FAILED(m_pSysMemMesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, fvf, device, &sysMem)))
        return E_FAIL;
    if (m_pLocalMesh && FAILED(m_pLocalMesh->CloneMeshFVF(0, fvf, device, &local))) {
        if (sysMem)
            sysMem->Release();
        return E_FAIL;
    }
    if (m_pSysMemMesh) {
        m_pSysMemMesh->Release();
        m_pSysMemMesh = sysMem;
    }
    if (m_pLocalMesh) {
        m_pLocalMesh->Release();
        m_pLocalMesh = local;
    }
    if (m_pSysMemMesh)
        D3DXComputeNormals(m_pSysMemMesh, nullptr);
    if (m_pLocalMesh)
        D3DXComputeNormals(m_pLocalMesh, nullptr);
    return S_OK;
}

HRESULT MeshResource::RestoreDeviceObjects(IDirect3DDevice9* device)
{
    if (!m_pSysMemMesh)
        return E_FAIL;
    InvalidateDeviceObjects();
    if (FAILED(m_pSysMemMesh->CloneMeshFVF(D3DXMESH_WRITEONLY, m_pSysMemMesh->GetFVF(), device, &m_pLocalMesh))) {
        m_pLocalMesh = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT MeshResource::InvalidateDeviceObjects()
{
    SafeRelease(m_pLocalMesh);
    return S_OK;
}

HRESULT MeshResource::Destroy()
{
    InvalidateDeviceObjects();
    if (m_textures) {
        for (DWORD i = 0; i < m_numMaterials; ++i)
            ReleaseTexture(m_textures[i]);
    }
    delete[] m_textures;
    m_textures = nullptr;
    delete[] m_materials;
    m_materials = nullptr;
    SafeRelease(m_pSysMemMesh);
    m_numMaterials = 0;
    return S_OK;
}

HRESULT MeshResource::Render(IDirect3DDevice9* device, bool drawOpaque, bool drawAlpha)
{
    if (!m_pLocalMesh)
        return E_FAIL;
    if (drawOpaque) {
        for (DWORD i = 0; i < m_numMaterials; ++i) {
            if (m_useMaterials) {
                if (m_materials[i].Diffuse.a < 1.0f)
                    continue;
                device->SetMaterial(&m_materials[i]);
                device->SetTexture(0, m_textures[i]);
            }
            m_pLocalMesh->DrawSubset(i);
        }
    }
    if (drawAlpha && m_useMaterials) {
        for (DWORD i = 0; i < m_numMaterials; ++i) {
            // Also NaN: an unordered alpha is drawn in both passes.
            if (m_materials[i].Diffuse.a == 1.0f)
                continue;
            device->SetMaterial(&m_materials[i]);
            device->SetTexture(0, m_textures[i]);
            m_pLocalMesh->DrawSubset(i);
        }
    }
    return S_OK;
}
