// An allocator of plain frames and mesh containers for the hierarchy tests:
// it keeps what the loader hands over, counts what is alive and can be told
// to fail a container.
#pragma once

#include <d3dx9.h>

#include <cstring>

inline char* copyName(LPCSTR name)
{
    if (!name)
        return nullptr;
    char* s = new char[std::strlen(name) + 1];
    std::strcpy(s, name);
    return s;
}

struct CountingAllocator : ID3DXAllocateHierarchy {
    int frames = 0;
    int containers = 0;
    int containersMade = 0;
    int failContainer = -1;

    HRESULT CreateFrame(LPCSTR name, LPD3DXFRAME* out) override
    {
        D3DXFRAME* f = new D3DXFRAME();
        f->Name = copyName(name);
        ++frames;
        *out = f;
        return S_OK;
    }

    HRESULT CreateMeshContainer(LPCSTR name, const D3DXMESHDATA* data, const D3DXMATERIAL* materials,
                                const D3DXEFFECTINSTANCE*, DWORD numMaterials, const DWORD* adjacency,
                                LPD3DXSKININFO skin, LPD3DXMESHCONTAINER* out) override
    {
        *out = nullptr;
        if (containersMade++ == failContainer)
            return E_OUTOFMEMORY;
        D3DXMESHCONTAINER* c = new D3DXMESHCONTAINER();
        c->Name = copyName(name);
        c->MeshData = *data;
        c->MeshData.pMesh->AddRef();
        c->NumMaterials = numMaterials;
        c->pMaterials = new D3DXMATERIAL[numMaterials];
        for (DWORD i = 0; i < numMaterials; ++i) {
            c->pMaterials[i] = materials[i];
            c->pMaterials[i].pTextureFilename = copyName(materials[i].pTextureFilename);
        }
        DWORD faces = data->pMesh->GetNumFaces();
        c->pAdjacency = new DWORD[faces * 3];
        std::memcpy(c->pAdjacency, adjacency, faces * 3 * sizeof(DWORD));
        c->pSkinInfo = skin;
        if (skin)
            skin->AddRef();
        ++containers;
        *out = c;
        return S_OK;
    }

    HRESULT DestroyFrame(LPD3DXFRAME f) override
    {
        delete[] f->Name;
        delete f;
        --frames;
        return S_OK;
    }

    HRESULT DestroyMeshContainer(LPD3DXMESHCONTAINER c) override
    {
        delete[] c->Name;
        for (DWORD i = 0; i < c->NumMaterials; ++i)
            delete[] c->pMaterials[i].pTextureFilename;
        delete[] c->pMaterials;
        delete[] c->pAdjacency;
        c->MeshData.pMesh->Release();
        if (c->pSkinInfo)
            c->pSkinInfo->Release();
        delete c;
        --containers;
        return S_OK;
    }
};
