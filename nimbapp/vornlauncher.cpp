#include "vornlauncher.h"

#include <cassert>
#include <climits>
#include <cstring>

#include "debuglog.h"

VORNLauncher* g_pLauncher = nullptr;
int g_launcherNextId = 101;

namespace {
const char kClassName[] = "VORNLauncher";
const DWORD kButtonStyle = 0x50008001; // WS_CHILD | WS_VISIBLE | BS_FLAT | BS_DEFPUSHBUTTON
const DWORD kCheckStyle = 0x5000000B;  // WS_CHILD | WS_VISIBLE | BS_OWNERDRAW
const DWORD kComboStyle = 0x50200003;  // WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST

std::string Text(const char* s)
{
    return s ? std::string(s) : std::string();
}
}

VORNLauncher::VORNLauncher()
    : m_hWnd(nullptr), m_hRgn(nullptr), m_hMemDC(nullptr), m_hSkinBitmap(nullptr), m_pressedId(0),
      m_checkColor(GetSysColor(COLOR_BTNFACE)), m_pSkinPixels(nullptr), m_width(0), m_height(0),
      m_regionGiven(false)
{
    if (g_pLauncher) {
        assert(0);
        return;
    }
    g_pLauncher = this;
}

VORNLauncher::~VORNLauncher()
{
    for (LauncherButton* b : m_buttons)
        delete b;
    for (LauncherCheck* c : m_checks)
        delete c;
    for (LauncherCombo* c : m_combos)
        delete c;
    m_buttons.clear();
    m_checks.clear();
    m_combos.clear();
    m_buttonIds.clear();
    ReleaseSkin();
    m_hWnd = nullptr;
    m_pressedId = 0;
    m_width = m_height = 0;
    if (g_pLauncher == this) {
        g_pLauncher = nullptr;
        g_launcherNextId = 0;
    }
}

void VORNLauncher::ReleaseSkin()
{
    // The device context goes first: a bitmap selected into one cannot be deleted.
    if (m_hMemDC)
        DeleteDC(m_hMemDC);
    if (m_hSkinBitmap)
        DeleteObject(m_hSkinBitmap);
    if (m_hRgn && !m_regionGiven)
        DeleteObject(m_hRgn);
    m_hMemDC = nullptr;
    m_hSkinBitmap = nullptr;
    m_hRgn = nullptr;
    m_regionGiven = false;
    m_pSkinPixels = nullptr;
}

void VORNLauncher::PaintSkin(const unsigned int* pixels, int width, int height)
{
    ReleaseSkin();
    m_width = width;
    m_height = height;
    m_pSkinPixels = pixels;
    HDC screen = GetDC(m_hWnd);
    m_hMemDC = CreateCompatibleDC(screen);
    m_hSkinBitmap = CreateCompatibleBitmap(screen, width, height);
    SelectObject(m_hMemDC, m_hSkinBitmap);
    ReleaseDC(m_hWnd, screen);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned int p = pixels[(size_t)y * width + x];
            SetPixel(m_hMemDC, x, y, RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
        }
}

void VORNLauncher::SetSkin(const unsigned int* pixels, int width, int height, unsigned int key)
{
    if (!pixels || width <= 0 || height <= 0) {
        ReportError("SetSkin FAILED [VORNLauncher]");
        return;
    }
    PaintSkin(pixels, width, height);
    m_hRgn = CreateRectRgn(0, 0, width, height);
    // The key-coloured pixels leave the shape: each run of them in a row is
    // cut out at once, which gives the same shape as cutting pixel by pixel.
    for (int y = 0; y < height; ++y) {
        const unsigned int* row = pixels + (size_t)y * width;
        for (int x = 0; x < width;) {
            if (row[x] != key) {
                ++x;
                continue;
            }
            int end = x;
            while (end < width && row[end] == key)
                ++end;
            HRGN cut = CreateRectRgn(x, y, end, y + 1);
            CombineRgn(m_hRgn, m_hRgn, cut, RGN_XOR);
            DeleteObject(cut);
            x = end;
        }
    }
}

void VORNLauncher::SetSkinRegion(const unsigned int* pixels, int width, int height, const RGNDATA* region,
                                 int rectCount)
{
    if (!pixels || width <= 0 || height <= 0) {
        ReportError("SetSkinRegion FAILED [VORNLauncher]");
        return;
    }
    PaintSkin(pixels, width, height);
    if (!region || rectCount < 0)
        return;
    // ExtCreateRegion takes the size of the data in bytes.
    DWORD bytes = (DWORD)(sizeof(RGNDATAHEADER) + (size_t)rectCount * sizeof(RECT));
    m_hRgn = ExtCreateRegion(nullptr, bytes, region);
    if (!m_hRgn)
        ReportError("ExtCreateRegion FAILED [VORNLauncher]");
}

void VORNLauncher::AddButton(int x, int y, int w, int h, const char* label)
{
    LauncherButton* b = new LauncherButton{nullptr, NextId(), x, y, w, h, Text(label)};
    m_buttons.push_back(b);
}

void VORNLauncher::AddCheck(int x, int y, int w, int h, const char* label, int state)
{
    LauncherCheck* c = new LauncherCheck{nullptr, state, NextId(), x, y, w, h, Text(label)};
    m_checks.push_back(c);
}

void VORNLauncher::AddCombo(int x, int y, int w, int h, const char* options, const char* key)
{
    LauncherCombo* c = new LauncherCombo{nullptr, NextId(), x, y, w, h, 0, {}, Text(key), -1};
    // Separators in a row or at either end give no empty option.
    std::string all = Text(options);
    size_t start = 0;
    while (start <= all.size()) {
        size_t bar = all.find('|', start);
        if (bar == std::string::npos)
            bar = all.size();
        if (bar > start)
            c->m_options.push_back(all.substr(start, bar - start));
        start = bar + 1;
    }
    c->m_count = (int)c->m_options.size();
    // The option written with "&" (the last such one) is shown first.
    c->m_shown = c->m_count > 0 ? 0 : -1;
    for (int i = 0; i < c->m_count; ++i) {
        size_t amp = c->m_options[(size_t)i].find('&');
        if (amp == std::string::npos)
            continue;
        c->m_options[(size_t)i].resize(amp);
        c->m_shown = i;
    }
    m_combos.push_back(c);
}

void VORNLauncher::SetCheckColor(COLORREF color)
{
    m_checkColor = color & 0x00FFFFFF;
}

bool VORNLauncher::MakeWindow(int width, int height)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc))
        return false;
    int screenWidth = (unsigned short)GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = (unsigned short)GetSystemMetrics(SM_CYSCREEN);
    int x = (screenWidth - width) / 2;
    int y = (screenHeight - height) / 2;
    m_hWnd = CreateWindowExA(0, kClassName, kClassName, WS_POPUP, x, y, width, height, nullptr, nullptr, instance,
                             nullptr);
    return m_hWnd != nullptr;
}

std::map<std::string, std::string> VORNLauncher::Run()
{
    m_pressedId = 0;
    bool made = MakeWindow(m_width, m_height);
    assert(made && "MakeWindow(m_width, m_height)");
    if (!made) {
        // No dialog to show: the choices stay as they were set up.
        m_hWnd = nullptr;
        for (LauncherButton* b : m_buttons)
            m_buttonIds.push_back(b->m_id);
        return Results();
    }
    HINSTANCE instance = (HINSTANCE)(LONG_PTR)GetWindowLongA(m_hWnd, GWL_HINSTANCE);
    for (LauncherButton* b : m_buttons) {
        m_buttonIds.push_back(b->m_id);
        b->m_hWnd = CreateWindowExA(0, "BUTTON", b->m_label.c_str(), kButtonStyle, b->m_x, b->m_y, b->m_w, b->m_h,
                                    m_hWnd, (HMENU)(intptr_t)b->m_id, instance, nullptr);
    }
    for (LauncherCheck* c : m_checks)
        c->m_hWnd = CreateWindowExA(0, "BUTTON", c->m_label.c_str(), kCheckStyle, c->m_x, c->m_y, c->m_w, c->m_h,
                                    m_hWnd, (HMENU)(intptr_t)c->m_id, instance, nullptr);
    for (LauncherCombo* c : m_combos) {
        c->m_hWnd = CreateWindowExA(0, "COMBOBOX", "", kComboStyle, c->m_x, c->m_y, c->m_w, c->m_h, m_hWnd,
                                    (HMENU)(intptr_t)c->m_id, instance, nullptr);
        for (const std::string& option : c->m_options)
            SendMessageA(c->m_hWnd, CB_ADDSTRING, 0, (LPARAM)option.c_str());
        SendMessageA(c->m_hWnd, CB_SETCURSEL, (WPARAM)(intptr_t)c->m_shown, 0);
    }
    SetWindowRgn(m_hWnd, m_hRgn, TRUE);
    m_regionGiven = m_hRgn != nullptr;
    ShowWindow(m_hWnd, SW_SHOW);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    std::map<std::string, std::string> results = Results();
    if (IsWindow(m_hWnd)) {
        DestroyWindow(m_hWnd);
        // Its WM_DESTROY posted a quit that is not the caller's.
        PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    m_hWnd = nullptr;
    return results;
}

void VORNLauncher::ReadLists()
{
    for (LauncherCombo* c : m_combos)
        if (c->m_hWnd && IsWindow(c->m_hWnd))
            c->m_shown = (int)SendMessageA(c->m_hWnd, CB_GETCURSEL, 0, 0);
}

std::map<std::string, std::string> VORNLauncher::Results()
{
    std::map<std::string, std::string> results;
    for (LauncherButton* b : m_buttons)
        results[b->m_label] = "false";
    ReadLists();
    for (LauncherCombo* c : m_combos)
        results[c->m_key] = c->m_shown >= 0 && c->m_shown < c->m_count ? c->m_options[(size_t)c->m_shown] : "";
    for (LauncherButton* b : m_buttons)
        if (b->m_id == m_pressedId)
            results[b->m_label] = "true";
    for (LauncherCheck* c : m_checks)
        results[c->m_label] = c->m_checked == 1 ? "true" : "false";
    return results;
}

LRESULT CALLBACK VORNLauncher::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    VORNLauncher* launcher = Instance();
    if (!launcher)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostQuitMessage(0);
        break;
    case WM_COMMAND:
        if (wParam <= (WPARAM)INT_MAX && launcher->IsButton((int)wParam)) {
            launcher->m_pressedId = (int)wParam;
            PostQuitMessage(0);
        } else if (wParam < 0x10000 && launcher->FindCheck((int)wParam)) {
            int id = (int)wParam;
            if (launcher->IsChecked(id) == 1)
                launcher->ClearChecked(id);
            else
                launcher->SetChecked(id);
            InvalidateRect(launcher->GetCheckWindow(id), nullptr, FALSE);
        }
        break;
    case WM_LBUTTONDOWN:
        // A press anywhere on the skin drags the window.
        SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        break;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON)
            launcher->DrawCheck(item);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        BitBlt(dc, 0, 0, launcher->GetWidth(), launcher->GetHeight(), launcher->GetSkinDC(), 0, 0, SRCCOPY);
        EndPaint(hwnd, &ps);
        break;
    }
    case WM_DESTROY:
        // The lists go with the window: what they show is read first.
        if (hwnd == launcher->m_hWnd)
            launcher->ReadLists();
        PostQuitMessage(0);
        break;
    case WM_CLOSE:
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void VORNLauncher::DrawCheck(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    const RECT& r = item->rcItem;
    int id = (int)item->CtlID;
    int left = r.left, top = r.top, bottom = r.bottom;
    int g = (bottom - top) / 2;
    int half = g / 2;

    SetBkMode(dc, TRANSPARENT);
    HBRUSH fill = CreateSolidBrush(m_checkColor);
    FillRect(dc, &r, fill);
    std::string label = GetCheckLabel(id);
    RECT text = r;
    DrawTextA(dc, label.c_str(), (int)label.size(), &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOCLIP);

    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, white);
    Rectangle(dc, left, bottom - half, left + g, top + g - half);
    if (IsChecked(id)) {
        MoveToEx(dc, left + 5, bottom - 3 - half, nullptr);
        LineTo(dc, left + g + 2, top + g - 2 - half);
        MoveToEx(dc, left + 4, bottom - 3 - half, nullptr);
        LineTo(dc, left + g + 3, top + g - 3 - half);
        MoveToEx(dc, left + 5, bottom - 3 - half, nullptr);
        LineTo(dc, left + 2, top + half + 2);
        MoveToEx(dc, left + 4, bottom - 3 - half, nullptr);
        LineTo(dc, left + 2, top + half + 2);
    }
    // The caller's brush goes back before ours are deleted.
    SelectObject(dc, old);
    DeleteObject(fill);
    DeleteObject(white);
}

VORNLauncher* VORNLauncher::Instance()
{
    return g_pLauncher;
}

int VORNLauncher::NextId()
{
    return ++g_launcherNextId;
}

bool VORNLauncher::IsButton(int id)
{
    for (int b : m_buttonIds)
        if (b == id)
            return true;
    return false;
}

LauncherCheck* VORNLauncher::FindCheck(int id)
{
    for (LauncherCheck* c : m_checks)
        if (c->m_id == id)
            return c;
    return nullptr;
}

int VORNLauncher::IsChecked(int id)
{
    LauncherCheck* c = FindCheck(id);
    return c ? c->m_checked : 0;
}

void VORNLauncher::SetChecked(int id)
{
    if (LauncherCheck* c = FindCheck(id))
        c->m_checked = 1;
}

void VORNLauncher::ClearChecked(int id)
{
    if (LauncherCheck* c = FindCheck(id))
        c->m_checked = 0;
}

HWND VORNLauncher::GetCheckWindow(int id)
{
    LauncherCheck* c = FindCheck(id);
    return c ? c->m_hWnd : nullptr;
}

std::string VORNLauncher::GetCheckLabel(int id)
{
    LauncherCheck* c = FindCheck(id);
    return c ? c->m_label : std::string();
}

int VORNLauncher::GetWidth()
{
    return m_width;
}

int VORNLauncher::GetHeight()
{
    return m_height;
}

HDC VORNLauncher::GetSkinDC()
{
    return m_hMemDC;
}
