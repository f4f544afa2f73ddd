// The "BUTTON" class: push buttons, check boxes, radio buttons, group boxes
// and owner-drawn buttons.
#include "win_window.h"

#include <map>

namespace {

struct Button {
    int check = BST_UNCHECKED;
    bool pushed = false;   // drawn pressed
    bool tracking = false; // the left button went down on it
    bool spaceDown = false;
    bool focused = false;
    HFONT font = nullptr;
};

std::map<HWND, Button> g_buttons;

Button* stateOf(HWND h)
{
    auto it = g_buttons.find(h);
    return it == g_buttons.end() ? nullptr : &it->second;
}

DWORD typeOf(HWND h)
{
    return (DWORD)GetWindowLongA(h, GWL_STYLE) & BS_TYPEMASK;
}

DWORD styleOf(HWND h)
{
    return (DWORD)GetWindowLongA(h, GWL_STYLE);
}

void caption(HWND h, HDC dc, RECT r, UINT format, bool enabled)
{
    char text[512];
    int n = GetWindowTextA(h, text, sizeof text);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextA(dc, text, n, &r, format);
}

void drawPush(HWND h, HDC dc, const Button& b, const RECT& client, bool enabled)
{
    DWORD style = styleOf(h);
    RECT r = client;
    win::fillSys(dc, r, COLOR_BTNFACE);
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON || b.focused) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
    }
    if (style & BS_FLAT) {
        FrameRect(dc, &r, GetSysColorBrush(b.pushed ? COLOR_BTNSHADOW : COLOR_WINDOWFRAME));
    } else if (b.pushed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    } else {
        win::edge(dc, r, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW);
        RECT inner = r;
        InflateRect(&inner, -1, -1);
        win::edge(dc, inner, COLOR_3DLIGHT, COLOR_BTNSHADOW);
    }
    RECT text = r;
    if (b.pushed)
        OffsetRect(&text, 1, 1);
    caption(h, dc, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled);
    if (b.focused) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}

// Check boxes and radio buttons: a 13-pixel mark against the caption.
void drawCheck(HWND h, HDC dc, const Button& b, const RECT& client, bool enabled, bool radio)
{
    win::fillSys(dc, client, COLOR_BTNFACE);
    bool leftText = (styleOf(h) & BS_LEFTTEXT) != 0;
    const int size = 13;
    int top = client.top + (client.bottom - client.top - size) / 2;
    int left = leftText ? client.right - size : client.left;
    RECT box = {left, top, left + size, top + size};
    win::fillSys(dc, box, b.pushed || !enabled ? COLOR_BTNFACE : COLOR_WINDOW);
    win::edge(dc, box, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
    RECT inner = box;
    InflateRect(&inner, -1, -1);
    win::edge(dc, inner, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    COLORREF mark = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    if (b.check == BST_CHECKED && radio) {
        for (int y = 4; y < 9; ++y)
            for (int x = 4; x < 9; ++x)
                if ((x - 6) * (x - 6) + (y - 6) * (y - 6) <= 5)
                    SetPixel(dc, left + x, top + y, mark);
    } else if (b.check != BST_UNCHECKED) {
        if (b.check == BST_INDETERMINATE)
            mark = GetSysColor(COLOR_BTNSHADOW);
        // A tick three pixels thick: down to (5, 9), then up to (9, 3).
        for (int i = 0; i < 3; ++i) {
            for (int x = 3; x <= 5; ++x)
                SetPixel(dc, left + x, top + x + 1 + i, mark);
            for (int x = 6; x <= 9; ++x)
                SetPixel(dc, left + x, top + 14 - x - 1 + i, mark);
        }
    }
    RECT text = client;
    if (leftText)
        text.right -= size + 4;
    else
        text.left += size + 4;
    caption(h, dc, text, DT_VCENTER | DT_SINGLELINE | (leftText ? DT_RIGHT : DT_LEFT), enabled);
    if (b.focused) {
        RECT focus;
        char t[512];
        int n = GetWindowTextA(h, t, sizeof t);
        focus = text;
        DrawTextA(dc, t, n, &focus, DT_CALCRECT | DT_SINGLELINE);
        int height = focus.bottom - focus.top;
        OffsetRect(&focus, leftText ? text.right - focus.right : 0, (text.bottom - text.top - height) / 2);
        InflateRect(&focus, 1, 1);
        DrawFocusRect(dc, &focus);
    }
}

void drawGroup(HWND h, HDC dc, const RECT& client, bool enabled)
{
    char text[512];
    int n = GetWindowTextA(h, text, sizeof text);
    RECT measure = client;
    DrawTextA(dc, text, n, &measure, DT_CALCRECT | DT_SINGLELINE);
    int half = (measure.bottom - measure.top) / 2;
    RECT frame = {client.left, client.top + half, client.right, client.bottom};
    win::edge(dc, frame, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
    RECT inner = frame;
    InflateRect(&inner, -1, -1);
    win::edge(dc, inner, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
    if (n > 0) {
        RECT label = {client.left + 8, client.top, client.left + 8 + (measure.right - measure.left) + 4,
                      client.top + (measure.bottom - measure.top)};
        win::fillSys(dc, label, COLOR_BTNFACE);
        OffsetRect(&label, 2, 0);
        caption(h, dc, label, DT_LEFT | DT_SINGLELINE, enabled);
    }
}

// WM_DRAWITEM to the parent for an owner-drawn button.
void ownerDraw(HWND h, HDC dc, const Button& b, UINT action)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = (UINT)GetDlgCtrlID(h);
    item.itemAction = action;
    item.itemState = (b.pushed ? ODS_SELECTED : 0) | (b.focused ? ODS_FOCUS : 0) |
                     (IsWindowEnabled(h) ? 0 : ODS_DISABLED);
    item.hwndItem = h;
    item.hDC = dc;
    GetClientRect(h, &item.rcItem);
    SendMessageA(GetParent(h), WM_DRAWITEM, item.CtlID, (LPARAM)&item);
}

void paint(HWND h, HDC dc, UINT action)
{
    Button* b = stateOf(h);
    if (!b)
        return;
    Button state = *b;
    RECT client;
    GetClientRect(h, &client);
    HGDIOBJ oldFont = state.font ? SelectObject(dc, state.font) : nullptr;
    bool enabled = IsWindowEnabled(h) != 0;
    switch (typeOf(h)) {
    case BS_OWNERDRAW:
        ownerDraw(h, dc, state, action);
        break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
        drawCheck(h, dc, state, client, enabled, false);
        break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        drawCheck(h, dc, state, client, enabled, true);
        break;
    case BS_GROUPBOX:
        drawGroup(h, dc, client, enabled);
        break;
    default:
        drawPush(h, dc, state, client, enabled);
        break;
    }
    if (oldFont)
        SelectObject(dc, oldFont);
}

// Redraws at once (a press must show before the release comes).
void redraw(HWND h, UINT action)
{
    HDC dc = GetDC(h);
    if (!dc)
        return;
    paint(h, dc, action);
    ReleaseDC(h, dc);
}

void click(HWND h)
{
    Button* b = stateOf(h);
    if (!b)
        return;
    switch (typeOf(h)) {
    case BS_AUTOCHECKBOX:
        b->check = b->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        redraw(h, ODA_DRAWENTIRE);
        break;
    case BS_AUTO3STATE:
        b->check = (b->check + 1) % 3;
        redraw(h, ODA_DRAWENTIRE);
        break;
    case BS_AUTORADIOBUTTON:
        if (b->check != BST_CHECKED) {
            // The other automatic radio buttons of the parent go off.
            for (win::Window* sibling : win::childrenOf(GetParent(h))) {
                if (sibling->handle == h || (sibling->style & BS_TYPEMASK) != BS_AUTORADIOBUTTON)
                    continue;
                if (Button* other = stateOf(sibling->handle); other && other->check) {
                    other->check = BST_UNCHECKED;
                    redraw(sibling->handle, ODA_DRAWENTIRE);
                }
            }
            b->check = BST_CHECKED;
            redraw(h, ODA_DRAWENTIRE);
        }
        break;
    default:
        break;
    }
    win::notifyParent(h, BN_CLICKED);
}

bool insideClient(HWND h, LPARAM lParam)
{
    RECT r;
    GetClientRect(h, &r);
    POINT p = {(SHORT)LOWORD(lParam), (SHORT)HIWORD(lParam)};
    return PtInRect(&r, p) != 0;
}

void setPushed(HWND h, Button* b, bool pushed)
{
    if (b->pushed == pushed)
        return;
    b->pushed = pushed;
    redraw(h, ODA_SELECT);
}

// ---- Message handlers ------------------------------------------------------------
LRESULT BUTTON_Paint(HWND h)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    if (dc)
        paint(h, dc, ODA_DRAWENTIRE);
    EndPaint(h, &ps);
    return 0;
}

LRESULT BUTTON_SetFont(HWND h, HFONT font, bool redrawNow)
{
    if (Button* b = stateOf(h))
        b->font = font;
    if (redrawNow)
        InvalidateRect(h, nullptr, TRUE);
    return 0;
}

LRESULT BUTTON_LButtonDown(HWND h)
{
    Button* b = stateOf(h);
    if (!b || typeOf(h) == BS_GROUPBOX)
        return 0;
    if (GetFocus() != h)
        SetFocus(h);
    b = stateOf(h);
    if (!b)
        return 0;
    SetCapture(h);
    b->tracking = true;
    setPushed(h, b, true);
    return 0;
}

LRESULT BUTTON_MouseMove(HWND h, LPARAM lParam)
{
    Button* b = stateOf(h);
    if (b && b->tracking)
        setPushed(h, b, insideClient(h, lParam));
    return 0;
}

LRESULT BUTTON_LButtonUp(HWND h, LPARAM lParam)
{
    Button* b = stateOf(h);
    if (!b || !b->tracking)
        return 0;
    b->tracking = false;
    bool inside = insideClient(h, lParam);
    setPushed(h, b, false);
    if (GetCapture() == h)
        ReleaseCapture();
    if (inside && IsWindow(h))
        click(h);
    return 0;
}

LRESULT BUTTON_CaptureChanged(HWND h, HWND newCapture)
{
    Button* b = stateOf(h);
    if (b && b->tracking && newCapture != h) {
        b->tracking = false;
        setPushed(h, b, false);
    }
    return 0;
}

// The space bar pushes the button; its release clicks it.
LRESULT BUTTON_KeyDown(HWND h, WPARAM key, LPARAM lParam)
{
    if (key != VK_SPACE || typeOf(h) == BS_GROUPBOX)
        return DefWindowProcA(h, WM_KEYDOWN, key, lParam);
    if (Button* b = stateOf(h); b && !b->spaceDown) {
        b->spaceDown = true;
        setPushed(h, b, true);
    }
    return 0;
}

LRESULT BUTTON_KeyUp(HWND h, WPARAM key, LPARAM lParam)
{
    if (key != VK_SPACE)
        return DefWindowProcA(h, WM_KEYUP, key, lParam);
    Button* b = stateOf(h);
    if (b && b->spaceDown) {
        b->spaceDown = false;
        setPushed(h, b, false);
        click(h);
    }
    return 0;
}

LRESULT BUTTON_SetFocus(HWND h)
{
    if (Button* b = stateOf(h)) {
        b->focused = true;
        redraw(h, ODA_FOCUS);
        if (styleOf(h) & BS_NOTIFY)
            win::notifyParent(h, BN_SETFOCUS);
    }
    return 0;
}

LRESULT BUTTON_KillFocus(HWND h)
{
    if (Button* b = stateOf(h)) {
        b->focused = false;
        b->spaceDown = false;
        if (!b->tracking)
            b->pushed = false;
        redraw(h, ODA_FOCUS);
        if (styleOf(h) & BS_NOTIFY)
            win::notifyParent(h, BN_KILLFOCUS);
    }
    return 0;
}

LRESULT BUTTON_SetCheck(HWND h, int value)
{
    if (Button* b = stateOf(h)) {
        DWORD type = typeOf(h);
        if (value == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE)
            value = BST_CHECKED;
        if (b->check != value) {
            b->check = value;
            InvalidateRect(h, nullptr, TRUE);
        }
    }
    return 0;
}

LRESULT BUTTON_GetState(HWND h)
{
    Button* b = stateOf(h);
    if (!b)
        return 0;
    return b->check | (b->pushed ? BST_PUSHED : 0) | (b->focused ? BST_FOCUS : 0);
}

LRESULT BUTTON_SetStyle(HWND h, WPARAM style, bool redrawNow)
{
    SetWindowLongA(h, GWL_STYLE, (LONG)((styleOf(h) & ~0xFFFFu) | (style & 0xFFFF)));
    if (redrawNow)
        InvalidateRect(h, nullptr, TRUE);
    return 0;
}

} // namespace

namespace win {

LRESULT CALLBACK ButtonProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        g_buttons[h] = Button();
        return DefWindowProcA(h, message, wParam, lParam);
    case WM_NCDESTROY:
        g_buttons.erase(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        return BUTTON_Paint(h);
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(h, message, wParam, lParam);
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    case WM_SETFONT:
        return BUTTON_SetFont(h, (HFONT)wParam, lParam != 0);
    case WM_GETFONT: {
        Button* b = stateOf(h);
        return b ? (LRESULT)b->font : 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return BUTTON_LButtonDown(h);
    case WM_MOUSEMOVE:
        return BUTTON_MouseMove(h, lParam);
    case WM_LBUTTONUP:
        return BUTTON_LButtonUp(h, lParam);
    case WM_CAPTURECHANGED:
        return BUTTON_CaptureChanged(h, (HWND)lParam);
    case WM_KEYDOWN:
        return BUTTON_KeyDown(h, wParam, lParam);
    case WM_KEYUP:
        return BUTTON_KeyUp(h, wParam, lParam);
    case WM_SETFOCUS:
        return BUTTON_SetFocus(h);
    case WM_KILLFOCUS:
        return BUTTON_KillFocus(h);
    case WM_ENABLE:
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case BM_GETCHECK: {
        Button* b = stateOf(h);
        return b ? b->check : 0;
    }
    case BM_SETCHECK:
        return BUTTON_SetCheck(h, (int)wParam);
    case BM_GETSTATE:
        return BUTTON_GetState(h);
    case BM_SETSTATE:
        if (Button* b = stateOf(h))
            setPushed(h, b, wParam != 0);
        return 0;
    case BM_SETSTYLE:
        return BUTTON_SetStyle(h, wParam, lParam != 0);
    case BM_CLICK:
        if (IsWindowEnabled(h))
            click(h);
        return 0;
    default:
        return DefWindowProcA(h, message, wParam, lParam);
    }
}

} // namespace win
