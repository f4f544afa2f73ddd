#include "camera.h"

#include "renderer.h"
#include "scene.h"

namespace {
const float kAspect = 1.3333334f;  // fixed 4:3, whatever the window's shape
const float kNear = 1.0f;
const float kFar = 512.0f;
}  // namespace

Camera::Camera()
    : m_position(0.0f, 0.0f, -4.0f),
      m_frustumCenter(0.0f, 0.0f, 0.0f),
      m_frustumRadius(0.0f),
      m_pTarget(nullptr),
      m_lookAt(0.0f, 0.0f, 0.0f),
      m_fov(1.0471976f) {
    D3DXMatrixIdentity(&m_view);
    for (D3DXVECTOR3& c : m_frustumCorners) c = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    for (D3DXPLANE& p : m_frustumPlanes) p = D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
}

void Camera::Follow(SceneObject* target) {
    m_pTarget = target;
    D3DXMATRIX rotation, offset, place, chase;
    D3DXMatrixRotationYawPitchRoll(&rotation, target->m_yaw + 3.1415927f,
                                   -(target->m_pitch - 0.3f), target->m_roll);
    D3DXMatrixTranslation(&offset, 0.0f, 1.0f, -5.0f);
    D3DXMatrixTranslation(&place, target->m_position.x, target->m_position.y,
                          target->m_position.z);
    chase = offset * rotation * place;
    D3DXMatrixInverse(&m_view, nullptr, &chase);
    m_pd3dDevice->SetTransform(D3DTS_VIEW, &m_view);
}

void Camera::Apply() {
    if (m_pTarget) {
        Follow(m_pTarget);
    } else {
        D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&m_view, &m_position, &m_lookAt, &up);
        m_pd3dDevice->SetTransform(D3DTS_VIEW, &m_view);
    }
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, m_fov, kAspect, kNear, kFar);
    m_pd3dDevice->SetTransform(D3DTS_PROJECTION, &projection);
    UpdateFrustum(projection);
}

void Camera::UpdateFrustum(const D3DXMATRIX& projection) {
    D3DXMATRIX viewProj = m_view * projection;
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &viewProj);

    static const D3DXVECTOR3 clipCorners[8] = {
        D3DXVECTOR3(-1.0f, -1.0f, 0.0f), D3DXVECTOR3(1.0f, -1.0f, 0.0f),
        D3DXVECTOR3(-1.0f, 1.0f, 0.0f),  D3DXVECTOR3(1.0f, 1.0f, 0.0f),
        D3DXVECTOR3(-1.0f, -1.0f, 1.0f), D3DXVECTOR3(1.0f, -1.0f, 1.0f),
        D3DXVECTOR3(-1.0f, 1.0f, 1.0f),  D3DXVECTOR3(1.0f, 1.0f, 1.0f),
    };
    for (int i = 0; i < 8; ++i) D3DXVec3TransformCoord(&m_frustumCorners[i], &clipCorners[i], &inverse);

    const D3DXVECTOR3* c = m_frustumCorners;
    D3DXPlaneFromPoints(&m_frustumPlanes[0], &c[0], &c[1], &c[2]);  // near
    D3DXPlaneFromPoints(&m_frustumPlanes[1], &c[6], &c[7], &c[5]);  // far
    D3DXPlaneFromPoints(&m_frustumPlanes[2], &c[2], &c[6], &c[4]);  // left
    D3DXPlaneFromPoints(&m_frustumPlanes[3], &c[7], &c[3], &c[5]);  // right
    D3DXPlaneFromPoints(&m_frustumPlanes[4], &c[2], &c[3], &c[6]);  // top
    D3DXPlaneFromPoints(&m_frustumPlanes[5], &c[1], &c[0], &c[4]);  // bottom

    D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 8; ++i) sum += c[i];
    m_frustumCenter = sum * 0.125f;
    // The sphere must hold every corner; the far ones are the farthest.
    m_frustumRadius = 0.0f;
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR3 d = c[i] - m_frustumCenter;
        float r = D3DXVec3Length(&d);
        if (r > m_frustumRadius) m_frustumRadius = r;
    }
}

void Camera::SetPosition(float x, float y, float z) { m_position = D3DXVECTOR3(x, y, z); }

void Camera::SetLookAt(float x, float y, float z) { m_lookAt = D3DXVECTOR3(x, y, z); }

void Camera::LookAtObject(SceneObject* object) { m_lookAt = object->m_position; }
