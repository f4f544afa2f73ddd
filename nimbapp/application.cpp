#include "application.h"

#include "config.h"
#include "debuglog.h"
#include "msglistener.h"
#include "renderer.h"

#include <mscrt.h>

#include <cstdio>

Application* g_pApp = nullptr;
MsgListener* g_pMsgListener = nullptr;

namespace {
const char kWindowName[] = "NimbGfx Application";
const DWORD kWindowedStyle = 0x10CF0000;   // WS_OVERLAPPEDWINDOW | WS_VISIBLE
const DWORD kFullScreenStyle = 0x90080000; // WS_POPUP | WS_VISIBLE | WS_SYSMENU

AppFrameHook g_frameHook = nullptr;
void* g_frameHookContext = nullptr;
}

void SetAppFrameHook(AppFrameHook hook, void* context)
{
    g_frameHook = hook;
    g_frameHookContext = context;
}

LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!g_pApp)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    return g_pApp->WndProc(hwnd, message, wParam, lParam);
}

Application::Application()
{
    g_pConfig = new Config;
    m_pRenderer = nullptr;
    g_pMsgListener = nullptr;
    m_windowed = true;
    m_active = false;
    m_hWnd = nullptr;
}

Application::~Application()
{
    Teardown();
}

void Application::Create(int width, int height)
{
    g_pApp = this;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_windowed = g_pConfig ? g_pConfig->m_windowed : true;
    m_active = false;
    g_pMsgListener = new MsgListener;

    WNDCLASSA wc;
    wc.style = 0;
    wc.lpfnWndProc = StaticWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kWindowName;
    if (!RegisterClassA(&wc))
        ReportError("RegisterClass");

    m_hWnd = CreateWindowExA(0, kWindowName, kWindowName, m_windowed ? kWindowedStyle : kFullScreenStyle, 0, 0,
                             width, height, nullptr, nullptr, instance, nullptr);
    if (!m_hWnd) {
        // Without a window no activation ever comes: Run ends at once.
        ReportError("CreateWindow");
        if (GetLastError() == ERROR_INVALID_PARAMETER)
            std::fprintf(stderr,
                         "%s: the main window could not be created: %d x %d (resx, resy) is more than a "
                         "window can be.\n",
                         kWindowName, width, height);
        else
            std::fprintf(stderr, "%s: the main window could not be created (%d x %d, error %lu).\n", kWindowName, width,
                         height, (unsigned long)GetLastError());
        return;
    }

    RECT client = {0, 0, 0, 0};
    GetClientRect(m_hWnd, &client);
    if (width <= 0 || height <= 0)
        std::fprintf(stderr, "%s: a window of %d x %d (resx, resy) was asked for; its client area is %ld x %ld.\n",
                     kWindowName, width, height, (long)(client.right - client.left),
                     (long)(client.bottom - client.top));
    if (g_frameHook)
        return;
    m_pRenderer = new NimbGfx;
    m_pRenderer->Init(m_hWnd, client.right - client.left, client.bottom - client.top, m_windowed);
}

int Application::Run()
{
    if (!m_hWnd)
        return 1;
    MSG msg;
    msg.message = WM_NULL;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, nullptr, 0, 0) == 0)
                return (int)msg.wParam;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (m_active && m_hWnd && (m_pRenderer || g_frameHook)) {
            bool more = g_frameHook ? g_frameHook(g_frameHookContext) : m_pRenderer->RenderFrame();
            if (!more)
                PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        } else {
            WaitMessage();
        }
    }
    return (int)msg.wParam;
}

void Application::Teardown()
{
    if (m_pRenderer) {
        NimbGfx* renderer = m_pRenderer;
        m_pRenderer = nullptr;
        delete renderer;
    }
    if (g_pConfig) {
        Config* config = g_pConfig;
        g_pConfig = nullptr;
        delete config;
    }
    if (g_pMsgListener) {
        MsgListener* listener = g_pMsgListener;
        g_pMsgListener = nullptr;
        delete listener;
    }
    if (m_hWnd) {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        DestroyWindow(window);
    }
}

LRESULT Application::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_ACTIVATE:
        m_active = LOWORD(wParam) != 0 && HIWORD(wParam) == 0;
        break;
    case WM_CLOSE:
        Teardown();
        break;
    case WM_SETCURSOR:
        if (m_active && !m_windowed) {
            SetCursor(nullptr);
            return 1;
        }
        break;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_ESCAPE:
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case VK_F1:
        case VK_F2:
            return 0;
        case VK_F11:
            g_takeScreenshot = true;
            return 0;
        case VK_F12:
            if (g_capturing) {
                g_capturing = false;
            } else {
                g_capturing = true;
                g_captureId = (int)ms_clock();
                g_captureFrame = 0;
            }
            return 0;
        default:
            if (g_pMsgListener)
                g_pMsgListener->Post(WM_KEYDOWN, (uint32_t)wParam);
            break;
        }
        break;
    case WM_KEYUP:
    case WM_CHAR:
        if (g_pMsgListener)
            g_pMsgListener->Post(message, (uint32_t)wParam);
        break;
    case WM_SYSCOMMAND:
        if (!m_windowed && (wParam == SC_SIZE || wParam == SC_MOVE || wParam == SC_MAXIMIZE ||
                            wParam == SC_KEYMENU || wParam == SC_MONITORPOWER))
            return 1;
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
