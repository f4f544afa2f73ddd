// Program entry.
#include <windows.h>

#include "application.h"
#include "config.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    Application* app = new Application;
    app->Create(g_pConfig->m_resx, g_pConfig->m_resy);
    return app->Run();
}

// The process entry: no command line is read.
int main()
{
    return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
}
