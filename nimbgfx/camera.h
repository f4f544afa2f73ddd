// The engine's viewpoint: an eye looking at a point, or a chase view of a
// followed object, and the world-space frustum the scene culls against.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

class SceneObject;

class Camera {
public:
    Camera();

    // Makes the object the target and sets the chase view at once.
    void Follow(SceneObject* target);
    // Sets the view and projection transforms and rebuilds the frustum.
    void Apply();
    // Rebuilds the frustum from m_view and the given projection.
    void UpdateFrustum(const D3DXMATRIX& projection);

    D3DXMATRIX* GetView() { return &m_view; }

    void SetPosition(float x, float y, float z);
    void SetLookAt(float x, float y, float z);
    void LookAtObject(SceneObject* object);
    void StopFollowing() { m_pTarget = nullptr; }
    void Update() {}

    D3DXVECTOR3 m_position;
    D3DXVECTOR3 m_frustumCenter;
    float m_frustumRadius;
    // Near corners 0..3, far corners 4..7 (clip x, y = -1/+1 pairs).
    D3DXVECTOR3 m_frustumCorners[8];
    // Near, far, left, right, top, bottom; normals point inward.
    D3DXPLANE m_frustumPlanes[6];
    SceneObject* m_pTarget;
    D3DXVECTOR3 m_lookAt;
    float m_fov;
    D3DXMATRIX m_view;
};
