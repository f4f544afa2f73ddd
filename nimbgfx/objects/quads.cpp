#include "quads.h"

#include <cstring>

#include "debuglog.h"
#include "renderer.h"
#include "texturecache.h"
#include "utils.h"

QuadVertex g_quadVertices[4] = {
    {-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
    {799.5f, -0.5f, 0.0f, 1.0f, 1.0f, 0.0f},
    {-0.5f, 599.5f, 0.0f, 1.0f, 0.0f, 1.0f},
    {799.5f, 599.5f, 0.0f, 1.0f, 1.0f, 1.0f},
};

StaticQuad::StaticQuad(const char* file, int screenWidth, int screenHeight, bool alpha)
    : m_color(0xFFFFFFFF),
      m_scaleX(1.0f),
      m_scaleY(1.0f),
      m_posX(0.0f),
      m_posY(0.0f),
      m_u0(0.0f),
      m_u1(1.0f),
      m_v0(0.0f),
      m_v1(1.0f),
      vertexBuffer(nullptr),
      m_pTexture(nullptr),
      m_alpha(alpha),
      m_screenWidth(static_cast<float>(screenWidth)),
      m_screenHeight(static_cast<float>(screenHeight)) {
    m_transparent = alpha;

    IDirect3DTexture9* texture = nullptr;
    if (FAILED(LoadTextureFromFile(file, &texture))) {
        ReportError("LoadTextureFromFile FAILED [StaticQuad]");
        texture = nullptr;
    }
    m_pTexture = texture;

    if (FAILED(m_pd3dDevice->CreateVertexBuffer(4 * sizeof(QuadVertex), 0, D3DFVF_QUADVERTEX,
                                                D3DPOOL_MANAGED, &vertexBuffer, nullptr))) {
        ReportError("CreateVertexBuffer FAILED [StaticQuad]");
        vertexBuffer = nullptr;
        return;
    }
    g_quadVertices[0].u = m_u0, g_quadVertices[0].v = m_v0;
    g_quadVertices[1].u = m_u1, g_quadVertices[1].v = m_v0;
    g_quadVertices[2].u = m_u0, g_quadVertices[2].v = m_v1;
    g_quadVertices[3].u = m_u1, g_quadVertices[3].v = m_v1;
    FillBuffer();
}

StaticQuad::~StaticQuad() {
    SafeRelease(vertexBuffer);
    if (m_pTexture) ReleaseTexture(m_pTexture);
    m_pTexture = nullptr;
}

void StaticQuad::FillBuffer() {
    void* data = nullptr;
    if (FAILED(vertexBuffer->Lock(0, 0, &data, 0))) {
        ReportError("vertexBuffer->Lock FAILED [StaticQuad]");
        return;
    }
    std::memcpy(data, g_quadVertices, sizeof(g_quadVertices));
    if (FAILED(vertexBuffer->Unlock())) ReportError("vertexBuffer->Unlock FAILED [StaticQuad]");
}

int StaticQuad::Render(Camera*, float) {
    if (m_color == 0) return 0;
    // Without its picture or its buffer the quad has nothing valid to draw.
    if (!m_pTexture || !vertexBuffer) return 0;

    if (FAILED(m_pd3dDevice->SetTexture(0, m_pTexture))) ReportError("m_pd3dDevice->SetTexture FAILED");
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    if (m_color == 0xFFFFFFFF) {
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    } else {
        m_pd3dDevice->SetRenderState(D3DRS_TEXTUREFACTOR, m_color);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    }
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

    float x0 = m_posX * m_screenWidth - 0.5f;
    float y0 = m_posY * m_screenHeight - 0.5f;
    float x1 = x0 + m_screenWidth * m_scaleX;
    float y1 = y0 + m_screenHeight * m_scaleY;
    g_quadVertices[0] = {x0, y0, 0.0f, 1.0f, m_u0, m_v0};
    g_quadVertices[1] = {x1, y0, 0.0f, 1.0f, m_u1, m_v0};
    g_quadVertices[2] = {x0, y1, 0.0f, 1.0f, m_u0, m_v1};
    g_quadVertices[3] = {x1, y1, 0.0f, 1.0f, m_u1, m_v1};
    FillBuffer();

    if (m_alpha) {
        m_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        m_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        m_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    m_pd3dDevice->SetStreamSource(0, vertexBuffer, 0, sizeof(QuadVertex));
    m_pd3dDevice->SetFVF(D3DFVF_QUADVERTEX);
    m_pd3dDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    if (m_alpha) m_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    return 0;
}

void StaticQuad::LockRect(void** ppBits, int* pitch) {
    *ppBits = nullptr;
    *pitch = 0;
    if (!m_pTexture) {
        ReportError("LockRect FAILED [StaticQuad]");
        return;
    }
    D3DLOCKED_RECT locked;
    if (FAILED(m_pTexture->LockRect(0, &locked, nullptr, 0)) &&
        FAILED(m_pTexture->LockRect(0, &locked, nullptr, 0))) {
        ReportError("LockRect FAILED [StaticQuad]");
        return;
    }
    *ppBits = locked.pBits;
    *pitch = locked.Pitch;
}

void StaticQuad::UnlockRect() {
    if (m_pTexture) m_pTexture->UnlockRect(0);
}

DynamicQuad::DynamicQuad(int textureSize, int width, int height, bool alpha)
    : vertexBuffer(nullptr), m_pTexture(nullptr), m_textureSize(textureSize), m_alpha(alpha)
{
    if (FAILED(m_pd3dDevice->EvictManagedResources()))
        ReportError("EvictManagedResources FAILED");

    // A side of 0 or below cannot make a texture; the device refuses it.
    UINT side = textureSize > 0 ? (UINT)textureSize : 0;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(m_pd3dDevice->CreateTexture(side, side, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                           &texture, nullptr)))
    {
        texture = nullptr;
        if (FAILED(m_pd3dDevice->CreateTexture(side, side, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                               nullptr)))
        {
            ReportError("CreateTexture FAILED [DynamicQuad]");
            texture = nullptr;
        }
    }
    m_pTexture = texture;

    if (FAILED(m_pd3dDevice->CreateVertexBuffer(4 * sizeof(QuadVertex), 0, D3DFVF_QUADVERTEX, D3DPOOL_MANAGED,
                                                &vertexBuffer, nullptr)))
    {
        ReportError("CreateVertexBuffer FAILED [DynamicQuad]");
        vertexBuffer = nullptr;
        return;
    }
    const float x1 = (float)width - 0.5f;
    const float y1 = (float)height - 0.5f;
    const QuadVertex vertices[4] = {
        {-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
        {x1, -0.5f, 0.0f, 1.0f, 1.0f, 0.0f},
        {-0.5f, y1, 0.0f, 1.0f, 0.0f, 1.0f},
        {x1, y1, 0.0f, 1.0f, 1.0f, 1.0f},
    };
    void* data = nullptr;
    if (FAILED(vertexBuffer->Lock(0, 0, &data, 0)))
    {
        ReportError("vertexBuffer->Lock FAILED [DynamicQuad]");
        return;
    }
    std::memcpy(data, vertices, sizeof(vertices));
    if (FAILED(vertexBuffer->Unlock()))
        ReportError("vertexBuffer->Unlock FAILED [DynamicQuad]");
}

DynamicQuad::~DynamicQuad()
{
    SafeRelease(vertexBuffer);
    SafeRelease(m_pTexture);
}

void DynamicQuad::LockRect(void** ppBits, int* pitch)
{
    *ppBits = nullptr;
    *pitch = 0;
    if (!m_pTexture)
    {
        ReportError("LockRect FAILED [DynamicQuad]");
        return;
    }
    D3DLOCKED_RECT locked;
    if (FAILED(m_pTexture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD)) &&
        FAILED(m_pTexture->LockRect(0, &locked, nullptr, 0)))
    {
        ReportError("LockRect FAILED [DynamicQuad]");
        return;
    }
    *ppBits = locked.pBits;
    *pitch = locked.Pitch;
}

void DynamicQuad::UnlockRect()
{
    if (m_pTexture)
        m_pTexture->UnlockRect(0);
}

int DynamicQuad::Render(Camera*, float)
{
    // Without its texture or its buffer the quad has nothing valid to draw.
    if (!m_pTexture || !vertexBuffer)
        return 0;

    if (FAILED(m_pd3dDevice->SetTexture(0, m_pTexture)))
        ReportError("m_pd3dDevice->SetTexture FAILED");
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    if (m_alpha)
    {
        m_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        m_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        m_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    m_pd3dDevice->SetStreamSource(0, vertexBuffer, 0, sizeof(QuadVertex));
    m_pd3dDevice->SetFVF(D3DFVF_QUADVERTEX);
    m_pd3dDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    if (m_alpha)
        m_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    return 0;
}
