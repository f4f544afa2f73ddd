// The animated character: a scene object with levels of detail, each a
// skinned model of its own .x file, picked by view depth every frame; the
// animation time is carried over from level 0.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "scene.h"

class SkinnedModel;

// The last random speed sample and the smoothed random speed walk that every
// skin mesh with an animation speed of 0 shares (0 at start).
extern float g_speedSample;
extern float g_speedWalk;

class SkinMesh : public SceneObject {
public:
    // numLods levels (at least 1), each an empty model until LoadLod.
    explicit SkinMesh(int numLods);
    ~SkinMesh() override;

    // Loads level `lod` from "data\models\<file>"; the bounding sphere is that
    // of the last level loaded. Returns the model's OnResetDevice result.
    HRESULT LoadLod(int lod, const char* file);
    // Picks a level by view depth, advances its animation by the frame time
    // (at most 0.5 s) at m_movimiento, and draws it without fog. Returns 0.
    int Render(Camera* camara, float frameTime) override;

    // Track speed of the level drawn; 0 selects the shared random walk.
    float m_movimiento;
    int m_numlods;
    SkinnedModel** m_lods;  // owned; level 0 is the most detailed and the clock

private:
    // The level drawn at this view depth.
    int LevelForDepth(float viewDepth) const;

    SkinMesh(const SkinMesh&) = delete;
    SkinMesh& operator=(const SkinMesh&) = delete;
};
