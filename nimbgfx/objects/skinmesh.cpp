#include "skinmesh.h"

#include <cassert>
#include <cmath>
#include <cstdio>

#include <mscrt.h>

#include "camera.h"
#include "debuglog.h"
#include "renderer.h"
#include "skinnedmodel.h"

float g_speedSample = 0.0f;
float g_speedWalk = 0.0f;

namespace {

const char* const kSkinnedEffectFile = "data\\shaders\\SkinnedMesh.fx";
const size_t kPathSize = 4096;
const float kE = 2.7182817f;

} // namespace

SkinMesh::SkinMesh(int numLods) : m_movimiento(1.0f), m_numlods(numLods), m_lods(nullptr)
{
    assert(numLods >= 1 && "numLods >= 1");
    if (m_numlods < 1)
        m_numlods = 1;
    m_lods = new SkinnedModel*[m_numlods];
    for (int i = 0; i < m_numlods; ++i)
        m_lods[i] = new SkinnedModel();
}

SkinMesh::~SkinMesh()
{
    for (int i = 0; i < m_numlods; ++i) {
        m_lods[i]->Release(&g_d3dCaps);
        delete m_lods[i];
    }
    delete[] m_lods;
    m_lods = nullptr;
}

HRESULT SkinMesh::LoadLod(int lod, const char* file)
{
    char path[kPathSize];
    std::snprintf(path, sizeof path, "data\\models\\%s", file);
    assert(lod < m_numlods && "lod < m_numlods");
    if (lod < 0 || lod >= m_numlods)
        return E_INVALIDARG;

    SkinnedModel* model = m_lods[lod];
    // A level whose file does not load leaves the sphere as it was (an
    // earlier level's, or none at the object's place: it draws nothing).
    HRESULT hr = model->Load(path, kSkinnedEffectFile, &g_d3dCaps, m_pd3dDevice, &m_sphereCenter, &m_sphereRadius);
    if (hr < 0)
        ReportError("Fichero \"%s\" no encontrado", file);
    DebugLog("Cargando SkinMesh \"%s\"\n", path);
    m_hasSphere = true;
    return model->OnResetDevice(m_pd3dDevice);
}

int SkinMesh::LevelForDepth(float viewDepth) const
{
    float d = std::fabs(viewDepth) - 10.0f;
    if (d < kE)
        d = kE - 0.1f;
    const double level = std::log((double)d) / 2.0;
    // NaN and infinite depths take the last level too.
    if (!(level < (double)m_numlods))
        return m_numlods - 1;
    return (int)level;
}

int SkinMesh::Render(Camera* camara, float frameTime)
{
    m_pd3dDevice->SetTransform(D3DTS_WORLD, &m_world);
    if (frameTime > 0.5f)
        frameTime = 0.5f;
    D3DXMATRIX projection;
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);

    const int level = LevelForDepth(m_viewDepth);
    SkinnedModel* model = m_lods[level];
    SkinnedModel* clock = m_lods[0];
    // Level 0 keeps the time; a level that did not load has none to give.
    const bool carry = level != 0 && clock->IsLoaded() && model->IsLoaded();
    if (carry)
        model->SetTrackPosition(clock->GetTrackPosition());

    D3DXVECTOR4 light(0.0f, 1.0f, -1.0f, 0.0f);
    D3DXVec4Normalize(&light, &light);

    float speed;
    if (m_movimiento != 0.0f) {
        speed = m_movimiento;
    } else {
        g_speedSample = (float)(ms_rand() / 32767.0 - 0.5);
        speed = 0.3f * g_speedWalk;
        g_speedWalk = g_speedWalk * 15.0f / 16.0f + g_speedSample / 16.0f;
    }
    model->Update(&m_world, frameTime, speed);
    if (carry)
        clock->SetTrackPosition(model->GetTrackPosition());

    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

    DWORD fog = FALSE;
    m_pd3dDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    model->Render(&g_d3dCaps, m_pd3dDevice, camara->GetView(), &projection, light);
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, fog);
    return 0;
}
