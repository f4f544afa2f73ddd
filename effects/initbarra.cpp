#include "initbarra.h"

#include "config.h"
#include "debuglog.h"
#include "renderer.h"
#include "staticgfx2d.h"
#include "utils.h"

int g_initBarraLogged = 0;

InitBarra::InitBarra()
    : m_pEscena(nullptr), m_pCamara(nullptr), m_pImagen(nullptr), m_pBarra(nullptr), m_pEstado(nullptr) {
    SetName("InitBarra");
    m_params.push_back(new PublicParamString("ficheroImagen", "", 65536));
    m_params.push_back(new PublicParamString("ficheroBarra", "", 65536));
    AppendQuadParams(this);
}

InitBarra::~InitBarra() {
    if (m_initialised) {
        SafeRelease(m_pEstado);
        delete m_pEscena;
        delete m_pBarra;
        delete m_pImagen;
        delete m_pCamara;
    }
}

int InitBarra::Init() {
    m_pEscena = new Scene();
    const char* bar = ParamOf<PublicParamString>(this, "ficheroBarra")->GetValue();
    m_pBarra = new StaticQuad(bar, g_pConfig->m_resx, g_pConfig->m_resy, true);
    m_pBarra->m_position.z = 3.0f;
    m_pEscena->Add(m_pBarra);
    const char* image = ParamOf<PublicParamString>(this, "ficheroImagen")->GetValue();
    m_pImagen = new StaticQuad(image, g_pConfig->m_resx, g_pConfig->m_resy, true);
    m_pImagen->m_position.z = 2.0f;
    m_pEscena->Add(m_pImagen);
    m_pCamara = new Camera();

    ApplyDefaultStates();
    m_pd3dDevice->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    m_pEstado = nullptr;
    m_pd3dDevice->CreateStateBlock(D3DSBT_ALL, &m_pEstado);
    return 0;
}

int InitBarra::Start() { return 0; }

int InitBarra::Render(float t) {
    DriveQuad(this, m_pBarra);

    if (m_pEstado) m_pEstado->Apply();
    if (FAILED(m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                                   0xFF00BFFF, 1.0f, 0)) &&
        FAILED(m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00BFFF, 1.0f, 0)))
        ReportError("Clear FAILED");
    m_pd3dDevice->BeginScene();
    m_pEscena->Render(m_pCamara, t);
    if (g_initBarraLogged == 0) {
        float zImage = m_pImagen->m_position.z, zBar = m_pBarra->m_position.z;
        DebugLog("Z_Imagen = %f\tZ_Barra = %f\tmenor = %s\n", zImage, zBar,
                 zImage < zBar ? "IMAGEN" : "BARRA");
        g_initBarraLogged = 1;
    }
    m_pd3dDevice->EndScene();
    m_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
    return 0;
}
