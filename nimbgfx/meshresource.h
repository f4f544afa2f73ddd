// One .x mesh with its materials and textures: the mesh as loaded, a drawn
// write-only clone, and drawing subset by subset in an opaque and an alpha
// pass.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

class MeshResource {
public:
    // Copies at most 511 characters of the name.
    explicit MeshResource(const char* name);
    virtual ~MeshResource();

    // Loads a .x file into managed buffers, optimises it, adds normals when
    // it has none and takes its materials' textures from the cache. A failure
    // leaves the resource empty.
    HRESULT Create(IDirect3DDevice9* device, const char* path);
    // The same from one Mesh data object of an open .x file, in system memory.
    HRESULT CreateFromXData(IDirect3DDevice9* device, ID3DXFileData* data);
    // Converts both meshes to another vertex format and recomputes normals;
    // E_FAIL and no change when a clone fails.
    HRESULT SetFVF(IDirect3DDevice9* device, DWORD fvf);
    // Makes the drawn clone (a previous one is released first).
    HRESULT RestoreDeviceObjects(IDirect3DDevice9* device);
    HRESULT InvalidateDeviceObjects();
    // Releases the clone, the textures, the materials and the loaded mesh.
    HRESULT Destroy();
    // Draws the subsets: first those whose material is opaque (diffuse alpha
    // 1 or more), then those whose alpha is not exactly 1. E_FAIL without a
    // drawn clone. Sets no render state.
    HRESULT Render(IDirect3DDevice9* device, bool drawOpaque, bool drawAlpha);

    char m_name[512];
    ID3DXMesh* m_pSysMemMesh;
    ID3DXMesh* m_pLocalMesh;
    // Both arrays hold this many entries; 0 when they are null.
    DWORD m_numMaterials;
    D3DMATERIAL9* m_materials;
    IDirect3DTexture9** m_textures; // cache references or null
    bool m_useMaterials;

private:
    // What Create and CreateFromXData share once the mesh is loaded.
    HRESULT FinishLoad(IDirect3DDevice9* device, HRESULT loaded, ID3DXMesh* mesh, ID3DXBuffer* adjacency,
                       ID3DXBuffer* materials, DWORD numMaterials);

    MeshResource(const MeshResource&) = delete;
    MeshResource& operator=(const MeshResource&) = delete;
};
