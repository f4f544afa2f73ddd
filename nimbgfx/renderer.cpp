#include "renderer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <d3dx9.h>
#include <mscrt.h>

#include "bitmapfont.h"
#include "config.h"
#include "debuglog.h"
#include "escenor.h"
#include "msglistener.h"
#include "texturecache.h"
#include "timer.h"
#include "utils.h"

IDirect3DDevice9* m_pd3dDevice = NULL;
IDirect3D9* g_pD3D = NULL;
D3DCAPS9 g_d3dCaps;
IDirect3DStateBlock9* g_pDefaultStateBlock = NULL;

bool g_takeScreenshot = false;
bool g_capturing = false;
int g_captureId = 0;
int g_captureFrame = 0;

int g_fpsFrames = 0;
float g_fpsLastTime = 0.0f;

static const D3DCOLOR kClearColour = 0xFF00BFFF;

NimbGfx::NimbGfx()
    : fuente(NULL), m_hWnd(NULL), m_showFps(false), m_fps(0.0f), m_width(0), m_height(0),
      m_pEscenor(NULL), m_noDirect3D(false)
{
    m_showFps = g_pConfig != NULL && g_pConfig->m_showfps;
    g_takeScreenshot = false;
    g_capturing = false;
}

NimbGfx::~NimbGfx()
{
    SafeRelease(g_pDefaultStateBlock);
    if (m_pEscenor != NULL) {
        delete m_pEscenor;
        m_pEscenor = NULL;
    }
    if (m_showFps && fuente != NULL) {
        delete fuente;
        fuente = NULL;
    }
    FreeTextureCache();
    if (m_pd3dDevice != NULL) {
        ULONG refs = m_pd3dDevice->Release();
        if (refs > 0)
            ReportError("D3DAPPERR_NONZEROREFCOUNT = %d [device]", (int)refs);
        m_pd3dDevice = NULL;
    }
    if (g_pD3D != NULL) {
        ULONG refs = g_pD3D->Release();
        if (refs > 0)
            ReportError("D3DAPPERR_NONZEROREFCOUNT = %d [d3d]", (int)refs);
        g_pD3D = NULL;
    }
}

void NimbGfx::Init(HWND hWnd, int width, int height, bool windowed)
{
    m_hWnd = hWnd;
    m_width = width;
    m_height = height;

    if (!CreateDevice(windowed)) {
        // Nothing can be drawn without a device: end here rather than draw
        // through a null one.
        if (m_noDirect3D)
            std::fprintf(stderr, "nimbshow: Direct3D 9 is not available\n");
        else
            std::fprintf(stderr, "nimbshow: no Direct3D 9 device could be created\n");
        std::fflush(stderr);
        std::exit(1);
    }

    SetDefaultStates();
    CreateFpsFont();

    Timer(TimerCommand::Start);

    m_pEscenor = new Escenor("fichero_script.qvs");
    m_pEscenor->Init();
}

bool NimbGfx::CreateDevice(bool windowed)
{
    m_pd3dDevice = NULL;

    // SDK version 32 with the debug-information bit.
    g_pD3D = Direct3DCreate9(0x80000020);
    m_noDirect3D = g_pD3D == NULL;
    if (g_pD3D == NULL) {
        ReportError("Direct3DCreate9");
        return false;
    }

    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = windowed ? TRUE : FALSE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = m_hWnd;
    pp.EnableAutoDepthStencil = TRUE;
    pp.BackBufferCount = 3;
    pp.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.MultiSampleQuality = 0;

    if (windowed) {
        pp.BackBufferFormat = D3DFMT_UNKNOWN;
        pp.BackBufferWidth = 0;
        pp.BackBufferHeight = 0;
    } else {
        static const D3DFORMAT kBackFormats[] = {
            D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10,
            D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
        };
        pp.BackBufferWidth = (UINT)m_width;
        pp.BackBufferHeight = (UINT)m_height;
        pp.FullScreen_RefreshRateInHz = 0;
        pp.BackBufferFormat = D3DFMT_UNKNOWN;
        for (D3DFORMAT fmt : kBackFormats) {
            if (SUCCEEDED(g_pD3D->CheckDeviceType(0, D3DDEVTYPE_HAL, fmt, fmt, FALSE))) {
                pp.BackBufferFormat = fmt;
                break;
            }
        }
        if (pp.BackBufferFormat == D3DFMT_UNKNOWN)
            ReportError("CheckDeviceType FAILED");
    }

    static const D3DFORMAT kDepthFormats[] = {
        D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D32,
        D3DFMT_D24X8, D3DFMT_D16_LOCKABLE, D3DFMT_D16,
    };
    static const DWORD kBehaviours[] = {
        D3DCREATE_MIXED_VERTEXPROCESSING,
        D3DCREATE_SOFTWARE_VERTEXPROCESSING,
    };
    for (DWORD behaviour : kBehaviours) {
        for (D3DFORMAT depth : kDepthFormats) {
            pp.AutoDepthStencilFormat = depth;
            for (int attempt = 0; attempt < 2; attempt++) {
                if (SUCCEEDED(g_pD3D->CreateDevice(0, D3DDEVTYPE_HAL, m_hWnd, behaviour, &pp,
                                                   &m_pd3dDevice)) &&
                    m_pd3dDevice != NULL)
                    break;
                m_pd3dDevice = NULL;
            }
            if (m_pd3dDevice != NULL)
                break;
        }
        if (m_pd3dDevice != NULL)
            break;
    }
    if (m_pd3dDevice == NULL) {
        ReportError("CreateDevice FAILED");
        g_pD3D->Release();
        g_pD3D = NULL;
        return false;
    }

    m_pd3dDevice->GetDeviceCaps(&g_d3dCaps);
    return true;
}

void NimbGfx::SetDefaultStates()
{
    InitTextureCache();

    D3DMATERIAL9 mtrl;
    InitMaterial(mtrl, 1.0f, 0.0f, 0.0f, 1.0f);
    m_pd3dDevice->SetMaterial(&mtrl);

    for (DWORD s = 0; s < 3; s++) {
        m_pd3dDevice->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        m_pd3dDevice->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    bool mip = g_pConfig == NULL || g_pConfig->m_mipmapping;
    for (DWORD s = 0; s < 3; s++)
        m_pd3dDevice->SetSamplerState(s, D3DSAMP_MIPFILTER, mip ? D3DTEXF_LINEAR : D3DTEXF_NONE);

    m_pd3dDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_pd3dDevice->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    m_pd3dDevice->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    m_pd3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);

    m_pd3dDevice->CreateStateBlock(D3DSBT_ALL, &g_pDefaultStateBlock);
}

void NimbGfx::CreateFpsFont()
{
    if (!m_showFps)
        return;
    fuente = new BitmapFont("Arial", 13, FontBold);
    if (FAILED(fuente->InitDeviceObjects(m_pd3dDevice)))
        ReportError("fuente->InitDeviceObjects FAILED [NimbGfx]");
    fuente->RestoreDeviceObjects();
}

bool NimbGfx::RenderFrame()
{
    if (m_pd3dDevice == NULL)
        return false;

    if (FAILED(m_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                                   kClearColour, 1.0f, 0))) {
        if (FAILED(m_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColour,
                                       1.0f, 0)))
            ReportError("Clear FAILED");
    }
    m_pd3dDevice->BeginScene();

    bool result = m_pEscenor != NULL && m_pEscenor->RenderFrame();

    if (g_pMsgListener != NULL)
        g_pMsgListener->Clear();

    if (m_showFps)
        DrawFps();

    m_pd3dDevice->EndScene();
    m_pd3dDevice->Present(NULL, NULL, NULL, NULL);

    if (g_takeScreenshot)
        SaveScreenshot();
    else if (g_capturing)
        SaveCaptureFrame();

    return result;
}

void NimbGfx::DrawFps()
{
    float t = Timer(TimerCommand::AbsoluteTime);
    g_fpsFrames++;
    if (t - g_fpsLastTime > 1.0f) {
        m_fps = (float)g_fpsFrames / (t - g_fpsLastTime);
        g_fpsLastTime = t;
        g_fpsFrames = 0;
    }
    if (m_showFps && fuente != NULL) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.02f fps", m_fps);
        fuente->DrawTextScaled(0.73f, 0.9f, 0.0f, 0.05f, 0.05f, 0xFFFFFFFF, text, TextFiltered);
    }
}

void NimbGfx::SaveScreenshot()
{
    char name[256];
    std::snprintf(name, sizeof(name), "%d.bmp", (int)ms_clock());
    g_takeScreenshot = false;
    SaveBackBuffer(name);
}

void NimbGfx::SaveCaptureFrame()
{
    char name[256];
    std::snprintf(name, sizeof(name), "%d_%04d.bmp", g_captureId, g_captureFrame);
    g_captureFrame++;
    SaveBackBuffer(name);
}

void NimbGfx::SaveBackBuffer(const char* fileName)
{
    IDirect3DSurface9* pSurface = NULL;
    if (FAILED(m_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &pSurface)) ||
        pSurface == NULL) {
        ReportError("GetBackBuffer FAILED");
        return;
    }
    if (FAILED(D3DXSaveSurfaceToFile(fileName, D3DXIFF_BMP, pSurface, NULL, NULL)))
        ReportError("D3DXSaveSurfaceToFile FAILED");
    pSurface->Release();
}
