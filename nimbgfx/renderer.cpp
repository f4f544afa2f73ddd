// Placeholder renderer: draws nothing; the real renderer replaces this file.
#include "renderer.h"

bool g_takeScreenshot = false;
bool g_capturing = false;
int g_captureId = 0;
int g_captureFrame = 0;

NimbGfx::NimbGfx()
{
    g_takeScreenshot = false;
    g_capturing = false;
}

NimbGfx::~NimbGfx() = default;

void NimbGfx::Init(HWND, int, int, bool)
{
}

bool NimbGfx::RenderFrame()
{
    return true;
}
