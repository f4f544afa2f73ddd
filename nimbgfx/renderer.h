// Placeholder renderer interface; the real renderer replaces this file.
#pragma once

#include <windows.h>

class NimbGfx {
public:
    NimbGfx();
    ~NimbGfx();
    void Init(HWND hWnd, int width, int height, bool windowed);
    bool RenderFrame();
};

extern bool g_takeScreenshot;
extern bool g_capturing;
extern int g_captureId;
extern int g_captureFrame;
