// The renderer: brings up the Direct3D 9 device on the main window, records
// the default states, runs the per-frame sequence and saves screenshots.
#pragma once

#include <windows.h>
#include <d3d9.h>

class BitmapFont;
class Escenor;

class NimbGfx {
public:
    NimbGfx();
    ~NimbGfx();

    // Brings up the device, the default states, the frame-rate font, the
    // clock and the show. Without any device the program cannot go on: it
    // says so on standard error and ends with exit code 1.
    void Init(HWND hWnd, int width, int height, bool windowed);
    // Draws and presents one frame; false once the show is over.
    bool RenderFrame();

    // The steps of Init, in their order.
    bool CreateDevice(bool windowed);
    void SetDefaultStates();
    void CreateFpsFont();

    void DrawFps();
    void SaveScreenshot();
    void SaveCaptureFrame();
    void SaveBackBuffer(const char* fileName);

    BitmapFont* fuente;
    HWND m_hWnd;
    bool m_showFps;
    float m_fps;
    int m_width;
    int m_height;
    Escenor* m_pEscenor;

private:
    bool m_noDirect3D;  // the last CreateDevice found no Direct3D at all

    NimbGfx(const NimbGfx&) = delete;
    NimbGfx& operator=(const NimbGfx&) = delete;
};

extern IDirect3DDevice9* m_pd3dDevice;
extern IDirect3D9* g_pD3D;
extern D3DCAPS9 g_d3dCaps;
extern IDirect3DStateBlock9* g_pDefaultStateBlock;

// Requests set by the window procedure (F11, F12), served after Present.
extern bool g_takeScreenshot;
extern bool g_capturing;
extern int g_captureId;
extern int g_captureFrame;

extern int g_fpsFrames;
extern float g_fpsLastTime;
