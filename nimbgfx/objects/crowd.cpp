#include "crowd.h"

#include <cmath>

#include "camera.h"
#include "debuglog.h"
#include "renderer.h"
#include "utils.h"

namespace {
const DWORD kImpostorFvf = D3DFVF_XYZ | D3DFVF_TEX1;
const UINT kImpostorStride = 20;
const float kNeverRendered = 1000.0f;
// Distance of the impostor's own eye from the object's origin.
const float kImpostorEyeDistance = 9.0f;

struct ImpostorVertex {
    float x, y, z, u, v;
};

// One depth-stencil surface for every impostor refresh, so that a refresh
// never touches the frame's depth; made with the first impostor and released
// with the last.
IDirect3DSurface9* g_impostorDepth = nullptr;
int g_impostorDepthUsers = 0;

bool AcquireImpostorDepth(IDirect3DDevice9* dev)
{
    if (!g_impostorDepth) {
        D3DFORMAT format = D3DFMT_D16;
        IDirect3DSurface9* frameDepth = nullptr;
        if (SUCCEEDED(dev->GetDepthStencilSurface(&frameDepth)) && frameDepth) {
            D3DSURFACE_DESC desc;
            if (SUCCEEDED(frameDepth->GetDesc(&desc)))
                format = desc.Format;
        }
        if (frameDepth)
            frameDepth->Release();
        if (FAILED(dev->CreateDepthStencilSurface(kImpostorSize, kImpostorSize, format, D3DMULTISAMPLE_NONE, 0,
                                                  FALSE, &g_impostorDepth, nullptr))) {
            g_impostorDepth = nullptr;
            return false;
        }
    }
    ++g_impostorDepthUsers;
    return true;
}

void ReleaseImpostorDepth()
{
    if (--g_impostorDepthUsers == 0)
        SafeRelease(g_impostorDepth);
}
} // namespace

// ---- ImpostoredMesh ------------------------------------------------------------

ImpostoredMesh::ImpostoredMesh()
    : m_useImpostor(true), vertexBufferImpostor(nullptr), m_pImpostorTexture(nullptr),
      m_impostorAngle(kNeverRendered), m_holdsDepth(false)
{
}

ImpostoredMesh::ImpostoredMesh(MeshResource* borrowed)
    : StaticMesh(borrowed), m_useImpostor(false), vertexBufferImpostor(nullptr), m_pImpostorTexture(nullptr),
      m_impostorAngle(kNeverRendered), m_holdsDepth(false)
{
}

ImpostoredMesh::~ImpostoredMesh()
{
    ReleaseImpostor();
}

bool ImpostoredMesh::NeedsRefresh(float stored, float angle)
{
    const float kHalfPi = 1.5707964f;
    const float kTwoPi = 6.2831855f;
    const float kThreshold = 0.01f;
    float compared = stored;
    if (angle > kHalfPi && stored < -kHalfPi)
        compared = stored + kTwoPi;
    else if (angle < -kHalfPi && stored > kHalfPi)
        compared = stored - kTwoPi;
    return angle < compared - kThreshold || angle > compared + kThreshold;
}

void ImpostoredMesh::MakeImpostor(float px, float py, const char* tag)
{
    ReleaseImpostor();
    IDirect3DDevice9* dev = m_pd3dDevice;
    m_useImpostor = dev != nullptr;
    if (!dev)
        return;
    if (FAILED(dev->EvictManagedResources()))
        ReportError("EvictManagedResources FAILED");

    static const D3DFORMAT kFormats[] = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    for (D3DFORMAT format : kFormats) {
        if (SUCCEEDED(dev->CreateTexture(kImpostorSize, kImpostorSize, 1, D3DUSAGE_RENDERTARGET, format,
                                         D3DPOOL_DEFAULT, &m_pImpostorTexture, nullptr)) &&
            m_pImpostorTexture)
            break;
        m_pImpostorTexture = nullptr;
    }
    if (!m_pImpostorTexture) {
        m_useImpostor = false;
        return;
    }

    bool made = AcquireImpostorDepth(dev);
    m_holdsDepth = made;
    if (!made)
        ReportError("CreateDepthStencilSurface FAILED [%s]", tag);

    if (made && FAILED(dev->CreateVertexBuffer(4 * kImpostorStride, 0, kImpostorFvf, D3DPOOL_MANAGED,
                                               &vertexBufferImpostor, nullptr))) {
        vertexBufferImpostor = nullptr;
        ReportError("CreateVertexBuffer FAILED [%s]", tag);
        made = false;
    }
    ImpostorVertex* v = nullptr;
    if (made && (FAILED(vertexBufferImpostor->Lock(0, 0, reinterpret_cast<void**>(&v), 0)) || !v)) {
        ReportError("vertexBufferImpostor->Lock FAILED [%s]", tag);
        made = false;
    }
    if (made) {
        // The box's whole width serves as the quad's half-width.
        const float w = std::fabs(m_boxMin.x - m_boxMax.x);
        v[0] = {px - w, py + m_boxMax.y, 0.0f, 0.0f, 0.0f};
        v[1] = {px + w, py + m_boxMax.y, 0.0f, 1.0f, 0.0f};
        v[2] = {px - w, py + m_boxMin.y, 0.0f, 0.0f, 1.0f};
        v[3] = {px + w, py + m_boxMin.y, 0.0f, 1.0f, 1.0f};
        if (FAILED(vertexBufferImpostor->Unlock())) {
            ReportError("vertexBufferImpostor->Unlock FAILED [%s]", tag);
            made = false;
        }
    }
    if (!made) {
        // Half an impostor is no impostor: the real mesh is drawn instead.
        ReleaseImpostor();
        m_useImpostor = false;
    }
}

void ImpostoredMesh::ReleaseImpostor()
{
    SafeRelease(vertexBufferImpostor);
    SafeRelease(m_pImpostorTexture);
    if (m_holdsDepth)
        ReleaseImpostorDepth();
    m_holdsDepth = false;
    m_impostorAngle = kNeverRendered;
}

bool ImpostoredMesh::Refresh(Camera* camara, float frameTime, float angle, const char* tag, bool blendOff,
                             BOOL zWriteAfter)
{
    IDirect3DDevice9* dev = m_pd3dDevice;
    IDirect3DSurface9* target = nullptr;
    if (FAILED(m_pImpostorTexture->GetSurfaceLevel(0, &target)) || !target) {
        ReportError("GetSurfaceLevel FAILED [%s]", tag);
        return false;
    }
    IDirect3DSurface9* frameDepth = nullptr;
    if (FAILED(dev->GetDepthStencilSurface(&frameDepth)))
        frameDepth = nullptr;
    if (FAILED(dev->SetRenderTarget(0, target))) {
        ReportError("SetRenderTarget Impostor FAILED [%s]", tag);
        target->Release();
        if (frameDepth)
            frameDepth->Release();
        return false;
    }
    target->Release();

    // The impostor has a depth surface of its own: the frame's depth buffer
    // is not overwritten by the refresh.
    bool switched = SUCCEEDED(dev->SetDepthStencilSurface(g_impostorDepth));
    if (!switched)
        ReportError("SetDepthStencilSurface Impostor FAILED [%s]", tag);
    if (switched) {
        m_impostorAngle = angle;
        // Level with the origin, 9 units from it on the real camera's side.
        D3DXMATRIX back, turn, place, eye, view;
        D3DXMatrixTranslation(&back, 0.0f, 0.0f, -kImpostorEyeDistance);
        D3DXMatrixRotationYawPitchRoll(&turn, angle, 0.0f, 0.0f);
        D3DXMatrixTranslation(&place, m_position.x, m_position.y, m_position.z);
        eye = back * turn * place;
        D3DXMatrixInverse(&view, nullptr, &eye);
        dev->SetTransform(D3DTS_VIEW, &view);

        if (FAILED(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x00000000, 1.0f,
                              0)) &&
            FAILED(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0)))
            ReportError("Clear FAILED [%s]", tag);
        dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        if (blendOff)
            dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        StaticMesh::Render(camara, frameTime);
        if (FAILED(dev->SetDepthStencilSurface(frameDepth)))
            ReportError("SetDepthStencilSurface FAILED [%s]", tag);
    }
    if (frameDepth)
        frameDepth->Release();

    IDirect3DSurface9* backBuffer = nullptr;
    if (FAILED(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) || !backBuffer) {
        ReportError("GetBackBuffer FAILED [%s]", tag);
    } else {
        if (FAILED(dev->SetRenderTarget(0, backBuffer)))
            ReportError("SetRenderTarget BackBuffer FAILED [%s]", tag);
        backBuffer->Release();
    }
    if (!switched)
        return false;
    dev->SetRenderState(D3DRS_ZWRITEENABLE, zWriteAfter);
    dev->SetTransform(D3DTS_VIEW, camara->GetView());
    return true;
}

bool ImpostoredMesh::DrawImpostor(Camera* camara, float frameTime, const char* tag, bool blendOffForRefresh,
                                  BOOL zWriteAfter)
{
    if (!camara || !m_pImpostorTexture || !vertexBufferImpostor)
        return false;
    IDirect3DDevice9* dev = m_pd3dDevice;
    D3DXMATRIX inverseView;
    if (!D3DXMatrixInverse(&inverseView, nullptr, camara->GetView()))
        D3DXMatrixIdentity(&inverseView);
    const float angle = std::atan2(m_position.x - inverseView._41, m_position.z - inverseView._43);
    if (NeedsRefresh(m_impostorAngle, angle) &&
        !Refresh(camara, frameTime, angle, tag, blendOffForRefresh, zWriteAfter))
        return false;

    // Upright, turned about the vertical toward the camera.
    const float s = m_scale;
    D3DXMATRIX world;
    D3DXMatrixScaling(&world, s, s, s);
    world = world * inverseView;
    world._21 = 0.0f;
    world._22 = s;
    world._23 = 0.0f;
    world._41 = m_position.x;
    world._42 = m_position.y;
    world._43 = m_position.z;
    dev->SetTransform(D3DTS_WORLD, &world);

    if (FAILED(dev->SetTexture(0, m_pImpostorTexture)))
        ReportError("m_pd3dDevice->SetTexture FAILED");
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetStreamSource(0, vertexBufferImpostor, 0, kImpostorStride);
    dev->SetFVF(kImpostorFvf);
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    return true;
}

// ---- CrowdMesh ---------------------------------------------------------------

CrowdMesh::CrowdMesh(MeshResource* mesh, const D3DXVECTOR3* sphereCenter, float sphereRadius, const D3DXVECTOR3* box,
                     bool useImpostor)
    : ImpostoredMesh(mesh)
{
    m_useImpostor = useImpostor;
    if (sphereCenter)
        m_sphereCenter = *sphereCenter;
    m_sphereRadius = sphereRadius;
    if (box) {
        m_boxMin = box[0];
        m_boxMax = box[1];
    }
    m_hasSphere = true;
    m_hasBox = true;
    if (m_useImpostor)
        MakeImpostor(0.0f, 0.0f, "CrowdMesh");
}

CrowdMesh::~CrowdMesh()
{
    ReleaseImpostor();
    m_pMesh = nullptr;
}

int CrowdMesh::Render(Camera* camara, float frameTime)
{
    DumpRenderStates();
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    if (m_viewDepth < kImpostorDepth || !m_useImpostor || !DrawImpostor(camara, frameTime, "CrowdMesh", true, TRUE))
        StaticMesh::Render(camara, frameTime);
    return 0;
}

bool CrowdMesh::UsesImpostor()
{
    m_transparent = !(m_viewDepth < kImpostorDepth) && m_useImpostor;
    return m_transparent;
}

// ---- Crowd -------------------------------------------------------------------

Crowd::Crowd(bool useImpostors) : m_useImpostors(useImpostors)
{
}

Crowd::~Crowd()
{
    m_instances.clear();
}

HRESULT Crowd::Load(const char* file)
{
    return StaticMesh::Load(file);
}

CrowdMesh* Crowd::AddInstance()
{
    const D3DXVECTOR3 box[2] = {m_boxMin, m_boxMax};
    CrowdMesh* instance = new CrowdMesh(m_pMesh, &m_sphereCenter, m_sphereRadius, box, m_useImpostors);
    m_instances.push_back(instance);
    return instance;
}

int Crowd::Render(Camera*, float)
{
    return 0;
}

// ---- StaticImpostoredMesh ----------------------------------------------------

StaticImpostoredMesh::StaticImpostoredMesh()
{
    m_transparent = true;
}

StaticImpostoredMesh::~StaticImpostoredMesh()
{
    ReleaseImpostor();
}

HRESULT StaticImpostoredMesh::Load(const char* file)
{
    StaticMesh::Load(file);
    MakeImpostor(m_position.x, m_position.y, "StaticImpostoredMesh");
    return 0;
}

int StaticImpostoredMesh::Render(Camera* camara, float frameTime)
{
    float depth = m_viewDepth;
    if (camara) {
        const D3DXMATRIX worldView = m_world * *camara->GetView();
        depth = worldView._43;
    }
    if (depth < kImpostorDepth || !m_useImpostor) {
        m_transparent = false;
        StaticMesh::Render(camara, frameTime);
        return 0;
    }
    m_transparent = true;
    if (!DrawImpostor(camara, frameTime, "StaticImpostoredMesh", false, FALSE))
        StaticMesh::Render(camara, frameTime);
    return 0;
}
