// Many instances of one shared mesh, and impostors: far objects drawn as an
// upright camera-facing quad showing the mesh as last rendered into a
// 128 x 128 texture of their own, rendered again only when the horizontal
// direction from the camera has turned by more than 0.01 radians.
#pragma once

#include <list>

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "staticmesh.h"

// View depth from which an impostored object draws its impostor.
const float kImpostorDepth = 20.0f;
// Side of every impostor texture.
const UINT kImpostorSize = 128;

// What an impostored object shares: its four impostor fields and the steps
// of making, refreshing and drawing the impostor.
class ImpostoredMesh : public StaticMesh {
public:
    // Releases the quad and the texture, and the shared depth surface's use.
    ~ImpostoredMesh() override;

    bool m_useImpostor;
    IDirect3DVertexBuffer9* vertexBufferImpostor;
    IDirect3DTexture9* m_pImpostorTexture;
    float m_impostorAngle; // horizontal view angle of the last refresh; 1000 for never

    // True when the angle has moved past the refresh threshold from the
    // stored one (with wrap at +-pi).
    static bool NeedsRefresh(float stored, float angle);

protected:
    ImpostoredMesh();
    explicit ImpostoredMesh(MeshResource* borrowed);

    // The texture (first usable format), the shared depth surface and the
    // quad with its origin at (px, py). On any failure nothing is kept and
    // m_useImpostor becomes false. `tag` names the class in reports.
    void MakeImpostor(float px, float py, const char* tag);
    void ReleaseImpostor();
    // Draws the impostor of the object at `position`, refreshing it first
    // when the view angle moved; false when the refresh could not switch
    // targets, and the caller draws the real mesh instead. `zWriteAfter` is
    // the depth-write state of the pass the object is drawn in.
    bool DrawImpostor(Camera* camara, float frameTime, const char* tag, bool blendOffForRefresh, BOOL zWriteAfter);

private:
    bool Refresh(Camera* camara, float frameTime, float angle, const char* tag, bool blendOff, BOOL zWriteAfter);
    bool m_holdsDepth; // counted as a user of the shared depth surface
};

class CrowdMesh : public ImpostoredMesh {
public:
    // An instance drawing `mesh` (borrowed) with the crowd's bounds; `box`
    // points to the minimum and the maximum corner. With `useImpostor` the
    // impostor is made at once, its quad around the origin.
    CrowdMesh(MeshResource* mesh, const D3DXVECTOR3* sphereCenter, float sphereRadius, const D3DXVECTOR3* box,
              bool useImpostor);
    ~CrowdMesh() override;

    // Logs the render states, turns lighting on and draws the mesh, or the
    // impostor at a view depth of 20 or more. Returns 0.
    int Render(Camera* camara, float frameTime) override;
    // m_transparent := whether the impostor would be drawn; returns it.
    bool UsesImpostor();
};

class Crowd : public StaticMesh {
public:
    explicit Crowd(bool useImpostors);
    // Forgets the instances without deleting them; the mesh goes with the
    // crowd, so the instances must be gone first.
    ~Crowd() override;

    HRESULT Load(const char* file);
    // A new instance of the loaded mesh, remembered but not owned; the caller
    // places it and adds it to a scene.
    CrowdMesh* AddInstance();
    // The crowd itself draws nothing. Returns 0.
    int Render(Camera* camara, float frameTime) override;

    std::list<CrowdMesh*> m_instances;
    bool m_useImpostors;
};

// A static mesh of its own with an impostor, moving itself between the
// opaque and the transparent pass by its distance.
class StaticImpostoredMesh : public ImpostoredMesh {
public:
    StaticImpostoredMesh();
    ~StaticImpostoredMesh() override;

    // Loads the mesh (its result is not checked), then makes the impostor
    // with the quad around the current position. Returns 0.
    HRESULT Load(const char* file);
    int Render(Camera* camara, float frameTime) override;
};
