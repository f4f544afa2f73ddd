// A transform hierarchy read from a .x file: frames with a name, a transform
// relative to the parent and at most one mesh each, and the file's root that
// loads the tree and draws it in an opaque and a blended pass.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "meshresource.h"

class MeshFrame {
public:
    // Copies at most 511 characters of the name; identity transform, no
    // mesh, no sibling, no child.
    explicit MeshFrame(const char* name);
    // Deletes the child and the sibling chain with their subtrees, and the
    // own mesh when Destroy has not.
    virtual ~MeshFrame();

    void SetMatrix(const D3DXMATRIX* mat);

    // Depth first: the own mesh, the child subtree, then the siblings. The
    // callback's result is not looked at.
    bool EnumMeshes(bool (*callback)(MeshResource* mesh, void* context), void* context);
    // The first mesh or frame, in the same order, named so ignoring case.
    MeshResource* FindMesh(const char* name);
    MeshFrame* FindFrame(const char* name);

    // The same walk over MeshResource's calls; their results are ignored.
    HRESULT RestoreDeviceObjects(IDirect3DDevice9* device);
    HRESULT InvalidateDeviceObjects();
    // Destroys and deletes every mesh, child and sibling below this frame.
    HRESULT Destroy();

    // Draws the own mesh with m_mat x parent world (the device's world when
    // null), the child subtree under that, then the siblings under the
    // parent world; the device's world is left as it was found.
    HRESULT Render(IDirect3DDevice9* device, bool drawOpaque, bool drawAlpha, const D3DXMATRIX* parentWorld);

    char m_name[512];
    D3DXMATRIX m_mat;
    MeshResource* m_pMesh; // owned, may be null
    MeshFrame* m_pNext;    // owned
    MeshFrame* m_pChild;   // owned

private:
    MeshFrame(const MeshFrame&) = delete;
    MeshFrame& operator=(const MeshFrame&) = delete;
};

// The root of a tree loaded from a .x file: the file's top-level frames are
// its children and a top-level transform is its own.
class MeshFile : public MeshFrame {
public:
    // An empty root named "".
    MeshFile();

    // Reads a .x file from disk. A load that fails part way keeps what it
    // read.
    HRESULT Create(IDirect3DDevice9* device, const char* file);
    // Reads a .x file embedded as a resource of the executable.
    HRESULT CreateFromResource(IDirect3DDevice9* device, LPCWSTR resource, LPCWSTR type);

    // One record into the tree below `parent`: a Frame with its records, a
    // FrameTransformMatrix for the parent, or a Mesh for it; other records
    // are skipped.
    HRESULT LoadFrame(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent);
    // Gives `parent` its mesh; E_FAIL when it has one already. A mesh whose
    // data cannot be loaded stays empty and does not fail.
    HRESULT LoadMesh(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent);

    // Draws the tree under world x m_mat (the device's world when null):
    // first every opaque part, then every blended one with alpha blending.
    // The root's own mesh is not drawn.
    HRESULT Render(IDirect3DDevice9* device, const D3DXMATRIX* world);
    using MeshFrame::Render;

private:
    HRESULT Load(IDirect3DDevice9* device, const void* source, D3DXF_FILELOADOPTIONS options);
    HRESULT LoadRecord(IDirect3DDevice9* device, ID3DXFileData* data, MeshFrame* parent, int depth);
};
