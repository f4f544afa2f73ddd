#include "scene.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <vector>

#include "camera.h"
#include "renderer.h"
#include "utils.h"

namespace {
unsigned long long g_nextCreationIndex = 0;

bool ByCreation(const SceneObject* a, const SceneObject* b) {
    return a->m_creationIndex < b->m_creationIndex;
}
}  // namespace

SceneObject::SceneObject()
    : m_id(0),
      m_yaw(0.0f),
      m_pitch(0.0f),
      m_roll(0.0f),
      m_position(0.0f, 0.0f, 0.0f),
      m_scale(1.0f),
      m_isTerrain(false),
      m_hasSphere(false),
      m_sphereCenter(0.0f, 0.0f, 0.0f),
      m_worldSphereCenter(0.0f, 0.0f, 0.0f),
      m_sphereRadius(0.0f),
      m_hasBox(false),
      m_boxMin(0.0f, 0.0f, 0.0f),
      m_boxMax(0.0f, 0.0f, 0.0f),
      m_visible(true),
      m_transparent(false),
      m_viewDepth(0.0f),
      m_creationIndex(g_nextCreationIndex++) {
    D3DXMatrixIdentity(&m_world);
}

SceneObject::~SceneObject() {}

void SceneObject::UpdateWorld() {
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationYawPitchRoll(&rotation, m_yaw, m_pitch, m_roll);
    D3DXMatrixTranslation(&translation, m_position.x, m_position.y, m_position.z);
    m_world = rotation * translation;
    if (m_scale != 1.0f) {
        D3DXMATRIX scaling;
        D3DXMatrixScaling(&scaling, m_scale, m_scale, m_scale);
        m_world = scaling * m_world;
    }
    if (m_hasSphere) {
        D3DXVECTOR4 out;
        D3DXVec3Transform(&out, &m_sphereCenter, &m_world);
        m_worldSphereCenter = D3DXVECTOR3(out.x, out.y, out.z);
    }
}

bool SceneObject::IsVisible(Camera* camara) {
    m_visible = true;
    if (m_hasSphere) {
        float radius = m_sphereRadius * m_scale;
        D3DXVECTOR3 d = camara->m_frustumCenter - m_worldSphereCenter;
        if (radius + camara->m_frustumRadius < D3DXVec3Length(&d)) {
            m_visible = false;
        } else {
            for (const D3DXPLANE& p : camara->m_frustumPlanes) {
                float s = p.a * m_worldSphereCenter.x + p.b * m_worldSphereCenter.y +
                          p.c * m_worldSphereCenter.z + p.d;
                if (s < -radius) {
                    m_visible = false;
                    break;
                }
            }
        }
    }
    D3DXMATRIX worldView = m_world * *camara->GetView();
    m_viewDepth = worldView._43;
    return m_visible;
}

Scene::Scene() {}

Scene::~Scene() { m_objects.clear(); }

void Scene::Add(SceneObject* object) { m_objects.push_back(object); }

void Scene::Remove(int id) {
    SceneObject* found = Find(id);
    if (!found) return;
    m_objects.remove(found);
    delete found;
}

SceneObject* Scene::Find(int id) {
    for (SceneObject* o : m_objects)
        if (o->m_id == id) return o;
    return nullptr;
}

void Scene::Render(Camera* camara, float frameTime) {
    assert(camara != NULL && "camara != NULL");
    if (!camara) return;
    camara->Apply();

    std::vector<SceneObject*>& opaque = m_opaque;
    std::vector<SceneObject*>& transparent = m_transparent;
    opaque.clear();
    transparent.clear();
    for (SceneObject* o : m_objects) {
        o->UpdateWorld();
        if (o->IsVisible(camara)) (o->IsTransparent() ? transparent : opaque).push_back(o);
    }
    std::stable_sort(opaque.begin(), opaque.end(), ByCreation);
    std::stable_sort(transparent.begin(), transparent.end(), ByCreation);

    for (SceneObject* o : opaque) {
        m_pd3dDevice->SetTransform(D3DTS_WORLD, o->GetWorld());
        o->Render(camara, frameTime);
    }

    if (g_d3dCaps.AlphaCmpCaps & D3DPCMPCAPS_GREATEREQUAL) {
        m_pd3dDevice->SetRenderState(D3DRS_ALPHAREF, 1);
        m_pd3dDevice->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        m_pd3dDevice->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    }
    m_pd3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    for (auto it = transparent.rbegin(); it != transparent.rend(); ++it) {
        m_pd3dDevice->SetTransform(D3DTS_WORLD, (*it)->GetWorld());
        (*it)->Render(camara, frameTime);
    }
    m_pd3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
}

ResourceBundle::ResourceBundle()
    : m_pData(nullptr),
      m_pFirst(nullptr),
      m_pSecond(nullptr),
      m_count(0),
      m_ppItems(nullptr),
      m_pThird(nullptr),
      m_pFourth(nullptr) {}

void ResourceBundle::Release() {
    std::free(m_pData);
    m_pData = nullptr;
    SafeRelease(m_pFirst);
    SafeRelease(m_pSecond);
    if (m_ppItems) {
        for (DWORD i = 0; i < m_count; ++i)
            if (m_ppItems[i]) m_ppItems[i]->Release();
        delete[] m_ppItems;
    }
    m_ppItems = nullptr;
    m_count = 0;
    SafeRelease(m_pThird);
    SafeRelease(m_pFourth);
}
