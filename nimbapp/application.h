#pragma once

#include <windows.h>

class NimbGfx;

// The one application object: main window, its procedure and the loop.
class Application {
public:
    // Reads the settings (g_pConfig); a "config.xml" that cannot be loaded
    // ends the program here.
    Application();
    // The teardown (see Teardown).
    ~Application();

    // Width and height are the window's outer size.
    void Create(int width, int height);
    // The message loop; returns the exit code (the WM_QUIT code, 0), or 1
    // when there is no main window.
    int Run();
    LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Deletes the renderer, the Config and the MsgListener and destroys the
    // window; each step runs once, so a second call does nothing.
    void Teardown();

    NimbGfx* m_pRenderer;
    bool m_windowed;
    bool m_active;
    HWND m_hWnd;
};

extern Application* g_pApp;

LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Test seam: while a hook is set, Application::Create makes no renderer and
// the loop calls the hook where it would draw a frame (its result stands for
// the frame's).
typedef bool (*AppFrameHook)(void* context);
void SetAppFrameHook(AppFrameHook hook, void* context);
