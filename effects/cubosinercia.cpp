#include "cubosinercia.h"

#include <mmsystem.h>

#include <cmath>
#include <cstring>

#include "debuglog.h"
#include "renderer.h"
#include "texturecache.h"
#include "utils.h"

namespace {

const int kCubos = 12;
const char* const kCubeTexture = "textura.png";

struct CubeFace {
    float nx, ny, nz;
    signed char corner[6][3];  // signs of x, y, z in units of the half-size
};

const CubeFace kCubeFaces[6] = {
    {0, 0, -1, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}}},
    {0, 0, 1, {{1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}},
    {0, 1, 0, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
    {0, -1, 0, {{1, -1, -1}, {1, -1, 1}, {-1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}}},
    {-1, 0, 0, {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {-1, -1, 1}}},
    {1, 0, 0, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}}},
};

// Every face shows the whole picture.
const float kFaceUV[6][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}};

// Fills a new buffer with the bytes; a failed create or lock is reported
// and the rest skipped.
IDirect3DVertexBuffer9* MakeFilledBuffer(IDirect3DDevice9* device, const void* bytes, UINT size, DWORD usage,
                                         DWORD fvf, D3DPOOL pool)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    if (FAILED(device->CreateVertexBuffer(size, usage, fvf, pool, &buffer, nullptr))) {
        ReportError("CreateVertexBuffer FAILED [Cubo]");
        return nullptr;
    }
    void* t_pData = nullptr;
    if (FAILED(buffer->Lock(0, size, &t_pData, 0))) {
        ReportError("Lock FAILED [Cube]");
        return buffer;
    }
    std::memcpy(t_pData, bytes, size);
    if (FAILED(buffer->Unlock()))
        ReportError("Unlock FAILED [Cube]");
    return buffer;
}

// The texture from the cache, or null when it could not be loaded.
IDirect3DTexture9* LoadCachedTexture(const char* file)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(LoadTextureFromFile(file, &texture))) {
        ReportError("FAILED(D3DXCreateTextureFromFile) - \"%s\"", file);
        return nullptr;
    }
    return texture;
}

void ReleaseBufferAndTexture(IDirect3DVertexBuffer9*& buffer, IDirect3DTexture9*& texture)
{
    if (buffer)
        buffer->Release();
    buffer = nullptr;
    if (texture)
        ReleaseTexture(texture);
    texture = nullptr;
}

}  // namespace

const PointSpriteVertex aPoints[kPointSprites] = {
    {-2.0f, 0.0f, 0.0f, 1.1f, 0x44FF4444}, {2.0f, 0.0f, 0.0f, 1.1f, 0x4444FF44},
    {0.0f, 2.0f, 0.0f, 1.1f, 0x444444FF},  {0.0f, -2.0f, 0.0f, 1.1f, 0x444444FF},
    {-2.2f, 0.0f, 0.0f, 1.1f, 0x444444FF},
};

void FillCubeVertices(CubeVertex (&vertices)[kCubeVertices], float halfSize, DWORD color)
{
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 6; ++k) {
            const CubeFace& face = kCubeFaces[f];
            CubeVertex& v = vertices[f * 6 + k];
            v.x = face.corner[k][0] * halfSize;
            v.y = face.corner[k][1] * halfSize;
            v.z = face.corner[k][2] * halfSize;
            v.nx = face.nx;
            v.ny = face.ny;
            v.nz = face.nz;
            v.color = color;
            v.u = kFaceUV[k][0];
            v.v = kFaceUV[k][1];
        }
}

// ---- CCube ------------------------------------------------------------------

CCube::CCube()
    : m_angle(0.0f), m_speed(0.0f), m_baseZ(0.0f), m_baseY(0.0f), m_baseX(0.0f), m_color(0), m_pVB(nullptr),
      m_pTexture(nullptr), m_pos(0.0f, 0.0f, 0.0f)
{
}

CCube::~CCube()
{
    ReleaseBufferAndTexture(m_pVB, m_pTexture);
}

int CCube::Create(IDirect3DDevice9* device, float x, float y, float z, float halfSize, DWORD color)
{
    m_color = color;
    m_baseX = x;
    m_baseY = y;
    m_baseZ = z;
    CubeVertex aCubeVertices[kCubeVertices];
    FillCubeVertices(aCubeVertices, halfSize, color);
    m_pVB = MakeFilledBuffer(device, aCubeVertices, sizeof(aCubeVertices), D3DUSAGE_WRITEONLY, D3DFVF_CUBEVERTEX,
                             D3DPOOL_MANAGED);
    return 0;
}

void CCube::Animate()
{
    if (m_speed == 0.0f) {
        m_pos = D3DXVECTOR3(m_baseX, m_baseY, m_baseZ);
        m_angle = 0.0f;
        return;
    }
    const double seconds = static_cast<double>(timeGetTime()) * 0.001;
    const float s = static_cast<float>(std::sin(seconds) * m_speed * 0.03);
    float x = m_baseX;
    if (m_baseX > 0.0f) {
        x = m_baseX - s / 2;
        m_angle = -s;
    } else if (m_baseX < 0.0f) {
        x = m_baseX + s / 2;
        m_angle = s;
    } else {
        m_angle = s;
    }
    m_pos = D3DXVECTOR3(x, m_baseY, m_baseZ);
}

void CCube::UpdateWorld(IDirect3DDevice9* device)
{
    D3DXMATRIX matScaling, matY, matTranslation, matWorld;
    D3DXMatrixScaling(&matScaling, 2.0f, 2.0f, 2.0f);
    D3DXMatrixRotationY(&matY, m_angle);
    D3DXMatrixTranslation(&matTranslation, m_pos.x, m_pos.y, m_pos.z);
    D3DXMatrixMultiply(&matWorld, &matScaling, &matY);
    D3DXMatrixMultiply(&matWorld, &matWorld, &matTranslation);
    device->SetTransform(D3DTS_WORLD, &matWorld);
}

void CCube::Render(IDirect3DDevice9* device)
{
    Animate();
    const bool blended = m_color != 0xFFFFFFFF;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blended ? TRUE : FALSE);
    if (m_pTexture)
        device->SetTexture(0, m_pTexture);
    UpdateWorld(device);
    // A cube whose buffer could not be made has nothing to draw from.
    if (m_pVB) {
        device->SetStreamSource(0, m_pVB, 0, sizeof(CubeVertex));
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 12);
    }
    if (blended) {
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    }
}

void CCube::LoadTexture(IDirect3DDevice9*, const char* file)
{
    m_pTexture = LoadCachedTexture(file);
}

// ---- CCubeCamera --------------------------------------------------------------

CCubeCamera::CCubeCamera()
    : m_lookAt(0.0f, 0.0f, 0.0f), m_eye(0.0f, 0.0f, 0.0f), m_eyeStart(0.0f, 0.0f, 0.0f), m_width(0.0f),
      m_height(0.0f), m_orbitPeriod(0.0f)
{
}

CCubeCamera::~CCubeCamera() {}

void CCubeCamera::SetViewport(float width, float height)
{
    m_width = width;
    m_height = height;
    m_lookAt = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

void CCubeCamera::SetTarget(float x, float y, float z) { m_lookAt = D3DXVECTOR3(x, y, z); }

void CCubeCamera::SetEye(float x, float y, float z)
{
    m_eye = D3DXVECTOR3(x, y, z);
    m_eyeStart = m_eye;
}

void CCubeCamera::UpdateMatrices(IDirect3DDevice9* device)
{
    const D3DXVECTOR3 vUpVec(0.0f, 1.0f, 0.0f);
    D3DXMATRIX matView, matProj;
    D3DXMatrixLookAtLH(&matView, &m_eye, &m_lookAt, &vUpVec);
    device->SetTransform(D3DTS_VIEW, &matView);
    D3DXMatrixPerspectiveFovLH(&matProj, 0.785398185f, m_width / m_height, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &matProj);
}

void CCubeCamera::Orbit()
{
    const float angle = static_cast<float>(timeGetTime()) * 6.2831855f / (10000.0f + m_orbitPeriod);
    const float r = m_eyeStart.x > m_eyeStart.y ? m_eyeStart.x : m_eyeStart.z;
    m_eye.x = std::sin(angle) * r;
    m_eye.z = std::cos(angle) * r;
}

// ---- CPointSprites --------------------------------------------------------------

CPointSprites::CPointSprites()
    : m_angle(0.0f), m_baseZ(0.0f), m_baseY(0.0f), m_baseX(0.0f), m_size(0.0f), m_pVB(nullptr), m_pTexture(nullptr),
      m_pos(0.0f, 0.0f, 0.0f)
{
}

CPointSprites::~CPointSprites()
{
    ReleaseBufferAndTexture(m_pVB, m_pTexture);
}

int CPointSprites::Create(IDirect3DDevice9* device, float x, float y, float z, float size)
{
    m_baseX = x;
    m_baseY = y;
    m_baseZ = z;
    m_size = size;
    m_pVB = MakeFilledBuffer(device, aPoints, sizeof(aPoints), D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS | D3DUSAGE_WRITEONLY,
                             D3DFVF_POINTSPRITEVERTEX, D3DPOOL_DEFAULT);
    return 0;
}

void CPointSprites::Animate()
{
    m_pos = D3DXVECTOR3(m_baseX, m_baseY, m_baseZ);
    m_angle += 0.01f;
}

void CPointSprites::UpdateWorld(IDirect3DDevice9* device)
{
    D3DXMATRIX matTranslation, matRotation, matScaling, finalMat;
    D3DXMatrixTranslation(&matTranslation, m_pos.x, m_pos.y, m_pos.z);
    D3DXMatrixRotationZ(&matRotation, m_angle);
    D3DXMatrixScaling(&matScaling, m_size, m_size, m_size);
    D3DXMatrixMultiply(&finalMat, &matRotation, &matScaling);
    D3DXMatrixMultiply(&finalMat, &matTranslation, &finalMat);
    device->SetTransform(D3DTS_WORLD, &finalMat);
}

void CPointSprites::Render(IDirect3DDevice9* device)
{
    Animate();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSIZE, FloatToDword(2.08f));
    device->SetRenderState(D3DRS_POINTSIZE_MIN, FloatToDword(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_A, FloatToDword(1.0f));
    device->SetRenderState(D3DRS_POINTSCALE_B, FloatToDword(1.0f));
    device->SetRenderState(D3DRS_POINTSCALE_C, FloatToDword(1.0f));
    device->SetFVF(D3DFVF_POINTSPRITEVERTEX);
    if (m_pTexture)
        device->SetTexture(0, m_pTexture);
    UpdateWorld(device);
    if (m_pVB) {
        device->SetStreamSource(0, m_pVB, 0, sizeof(PointSpriteVertex));
        device->DrawPrimitive(D3DPT_POINTLIST, 0, 3);
    }
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

void CPointSprites::LoadTexture(IDirect3DDevice9*, const char* file)
{
    m_pTexture = LoadCachedTexture(file);
}

// ---- CubosInercia -------------------------------------------------------------------

CubosInercia::CubosInercia() : m_pEstado(nullptr)
{
    SetName("CubosInercia");
}

CubosInercia::~CubosInercia()
{
    if (m_initialised && m_pEstado)
        m_pEstado->Release();
    m_pEstado = nullptr;
}

int CubosInercia::Init()
{
    m_camara.SetViewport(640, 480);
    m_camara.SetEye(0.0f, 1.5f, -4.0f);
    m_camara.SetTarget(0.0f, 0.5f, 0.0f);
    m_camara.SetOrbitPeriod(-8000.0f);

    IDirect3DDevice9* device = m_pd3dDevice;
    for (int i = 0; i < kCubos; ++i) {
        const float halfSize = i / 100.0f + 0.2f;
        const float speed = static_cast<float>(10 * i + 40);
        m_cubosIzquierda[i].Create(device, -0.01f, 0.0f, 1.01f, halfSize, 0x11FF1111);
        m_cubosIzquierda[i].SetSpeed(speed);
        m_cubosIzquierda[i].LoadTexture(device, kCubeTexture);
        m_cubosDerecha[i].Create(device, 0.01f, 0.0f, 1.01f, halfSize + 0.0001f, 0x111111FF);
        m_cubosDerecha[i].SetSpeed(speed);
        m_cubosDerecha[i].LoadTexture(device, kCubeTexture);
    }

    ApplyDefaultStates();
    device->SetRenderState(D3DRS_AMBIENT, 0x00FFFFFF);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetFVF(D3DFVF_CUBEVERTEX);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    m_pEstado = nullptr;
    if (FAILED(device->CreateStateBlock(D3DSBT_ALL, &m_pEstado)))
        m_pEstado = nullptr;
    return 0;
}

int CubosInercia::Start() { return 0; }

int CubosInercia::Render(float)
{
    if (m_pEstado)
        m_pEstado->Apply();
    m_camara.Apply(m_pd3dDevice);
    // From the smallest pair to the largest.
    for (int i = 0; i < kCubos; ++i) {
        m_cubosIzquierda[i].Render(m_pd3dDevice);
        m_cubosDerecha[i].Render(m_pd3dDevice);
    }
    return 0;
}
