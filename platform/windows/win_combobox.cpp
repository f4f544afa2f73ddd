// The "COMBOBOX" class as a drop-down list (every style shows as
// CBS_DROPDOWNLIST: there is no edit field), and "ComboLBox", the list it
// drops: a top-level pop-up window under the box, above every window, so
// the edges and shape of the box's own window do not cut it off. The box
// keeps the capture and the focus while the list is open.
#include "win_window.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Combo {
    std::vector<std::string> items;
    int current = CB_ERR;
    int droppedHeight = 0; // the height given at creation: box and list
    int itemHeight = 16;
    bool focused = false;
    HFONT font = nullptr;
    // While dropped: the list window, the item under the pointer or the
    // keyboard, the first item shown, and how the press that opened it goes.
    HWND list = nullptr;
    int hot = CB_ERR;
    int topIndex = 0;
    bool pressInList = false;
    bool openingPress = false;
};

std::map<HWND, Combo> g_combos;
const int kEdge = 2;

Combo* stateOf(HWND h)
{
    auto it = g_combos.find(h);
    return it == g_combos.end() ? nullptr : &it->second;
}

int measureItemHeight(HWND h, HFONT font)
{
    HDC dc = GetDC(h);
    if (!dc)
        return 16;
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICA tm;
    int height = GetTextMetricsA(dc, &tm) ? (int)tm.tmHeight : 16;
    if (old)
        SelectObject(dc, old);
    ReleaseDC(h, dc);
    return std::max(1, height);
}

int closedHeight(const Combo& c)
{
    return c.itemHeight + 2 * kEdge + 2;
}

// Rows the list shows, and its rectangle on the screen.
int visibleRows(const Combo& c)
{
    int rows = std::max(1, (c.droppedHeight - closedHeight(c) - 2) / c.itemHeight);
    return std::min(rows, std::max(1, (int)c.items.size()));
}

RECT listArea(HWND h, const Combo& c)
{
    RECT client;
    GetClientRect(h, &client);
    POINT origin = {0, client.bottom};
    ClientToScreen(h, &origin);
    int height = visibleRows(c) * c.itemHeight + 2;
    return {origin.x, origin.y, origin.x + client.right, origin.y + height};
}

bool scrolls(const Combo& c)
{
    return (int)c.items.size() > visibleRows(c);
}

void keepVisible(Combo& c, int index)
{
    int rows = visibleRows(c);
    if (index < 0)
        return;
    if (index < c.topIndex)
        c.topIndex = index;
    else if (index >= c.topIndex + rows)
        c.topIndex = index - rows + 1;
    c.topIndex = std::max(0, std::min(c.topIndex, (int)c.items.size() - rows));
}

void arrow(HDC dc, const RECT& button, bool down, COLORREF colour)
{
    int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2;
    for (int row = 0; row < 4; ++row) {
        int y = down ? cy - 2 + row : cy + 1 - row;
        for (int x = cx - 3 + row; x <= cx + 3 - row; ++x)
            SetPixel(dc, x, y, colour);
    }
}

void text(HDC dc, const std::string& s, RECT r, COLORREF colour)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    r.left += 2;
    DrawTextA(dc, s.c_str(), (int)s.size(), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// The closed box: inside a two-pixel edge, the field that shows the choice
// and the drop button at its right.
struct BoxParts {
    RECT field, button;
};

BoxParts partsOf(HWND h)
{
    RECT inner;
    GetClientRect(h, &inner);
    InflateRect(&inner, -kEdge, -kEdge);
    int buttonWidth = std::min<int>(GetSystemMetrics(SM_CXVSCROLL), inner.right - inner.left);
    RECT field = {inner.left, inner.top, inner.right - buttonWidth, inner.bottom};
    RECT button = {field.right, inner.top, inner.right, inner.bottom};
    return {field, button};
}

void paintBox(HWND h, HDC dc)
{
    Combo* c = stateOf(h);
    if (!c)
        return;
    RECT r;
    GetClientRect(h, &r);
    HGDIOBJ oldFont = c->font ? SelectObject(dc, c->font) : nullptr;
    bool enabled = IsWindowEnabled(h) != 0;
    win::edge(dc, r, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
    RECT inner = r;
    InflateRect(&inner, -1, -1);
    win::edge(dc, inner, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    BoxParts parts = partsOf(h);
    const RECT& field = parts.field;
    const RECT& button = parts.button;
    win::fillSys(dc, field, enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    if (c->current >= 0 && c->current < (int)c->items.size()) {
        RECT t = field;
        InflateRect(&t, -1, -1);
        bool highlight = c->focused && !c->list;
        if (highlight)
            win::fillSys(dc, t, COLOR_HIGHLIGHT);
        text(dc, c->items[(size_t)c->current], t,
             GetSysColor(!enabled ? COLOR_GRAYTEXT : highlight ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        if (highlight)
            DrawFocusRect(dc, &t);
    }
    win::fillSys(dc, button, COLOR_BTNFACE);
    if (c->list) {
        FrameRect(dc, &button, GetSysColorBrush(COLOR_BTNSHADOW));
    } else {
        win::edge(dc, button, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
        RECT b2 = button;
        InflateRect(&b2, -1, -1);
        win::edge(dc, b2, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
    }
    arrow(dc, button, true, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    if (oldFont)
        SelectObject(dc, oldFont);
}

void paintList(HWND list, HDC dc)
{
    HWND owner = (HWND)GetWindowLongPtrA(list, GWL_USERDATA);
    Combo* c = stateOf(owner);
    RECT r;
    GetClientRect(list, &r);
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
    win::fillSys(dc, r, COLOR_WINDOW);
    if (!c)
        return;
    HGDIOBJ oldFont = c->font ? SelectObject(dc, c->font) : nullptr;
    int rows = visibleRows(*c);
    RECT rowsArea = r;
    if (scrolls(*c)) {
        int barWidth = GetSystemMetrics(SM_CXVSCROLL);
        RECT bar = {r.right - barWidth, r.top, r.right, r.bottom};
        rowsArea.right = bar.left;
        win::fillSys(dc, bar, COLOR_SCROLLBAR);
        int span = bar.bottom - bar.top;
        int count = (int)c->items.size();
        int thumbTop = bar.top + span * c->topIndex / count;
        int thumbBottom = bar.top + span * (c->topIndex + rows) / count;
        RECT thumb = {bar.left, thumbTop, bar.right, std::max(thumbBottom, thumbTop + 4)};
        win::fillSys(dc, thumb, COLOR_BTNFACE);
        win::edge(dc, thumb, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW);
    }
    for (int i = 0; i < rows; ++i) {
        int index = c->topIndex + i;
        if (index >= (int)c->items.size())
            break;
        RECT row = {rowsArea.left, rowsArea.top + i * c->itemHeight, rowsArea.right,
                    rowsArea.top + (i + 1) * c->itemHeight};
        bool hot = index == c->hot;
        if (hot)
            win::fillSys(dc, row, COLOR_HIGHLIGHT);
        text(dc, c->items[(size_t)index], row, GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    }
    if (oldFont)
        SelectObject(dc, oldFont);
}

void redrawBox(HWND h)
{
    InvalidateRect(h, nullptr, FALSE);
}

void redrawList(Combo& c)
{
    if (c.list)
        InvalidateRect(c.list, nullptr, FALSE);
}

void drop(HWND h)
{
    Combo* c = stateOf(h);
    if (!c || c->list || !IsWindowEnabled(h))
        return;
    win::notifyParent(h, CBN_DROPDOWN);
    c = stateOf(h);
    if (!c || c->list)
        return;
    RECT area = listArea(h, *c);
    HWND list = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "ComboLBox", "", WS_POPUP, area.left, area.top,
                                area.right - area.left, area.bottom - area.top, h, nullptr, nullptr, nullptr);
    c = stateOf(h);
    if (!list || !c)
        return;
    SetWindowLongPtrA(list, GWL_USERDATA, (LONG_PTR)h);
    c->list = list;
    c->hot = c->current;
    c->topIndex = 0;
    keepVisible(*c, c->hot);
    ShowWindow(list, SW_SHOWNA);
    SetCapture(h);
    redrawBox(h);
}

// Closes the list; `choose` takes the item under the pointer or keyboard.
void closeUp(HWND h, bool choose)
{
    Combo* c = stateOf(h);
    if (!c || !c->list)
        return;
    HWND list = c->list;
    int chosen = c->hot;
    c->list = nullptr;
    c->hot = CB_ERR;
    c->pressInList = false;
    c->openingPress = false;
    if (GetCapture() == h)
        ReleaseCapture();
    DestroyWindow(list);
    redrawBox(h);
    c = stateOf(h);
    if (!c)
        return;
    if (choose && chosen >= 0 && chosen < (int)c->items.size()) {
        bool changed = chosen != c->current;
        c->current = chosen;
        if (changed)
            win::notifyParent(h, CBN_SELCHANGE);
        win::notifyParent(h, CBN_SELENDOK);
    } else {
        win::notifyParent(h, CBN_SELENDCANCEL);
    }
    win::notifyParent(h, CBN_CLOSEUP);
}

// The item at a point of the combo box's client area, CB_ERR outside the
// rows of the list; `inList` says whether the point is over the list.
int itemAt(HWND h, const Combo& c, POINT p, bool* inList)
{
    *inList = false;
    if (!c.list)
        return CB_ERR;
    RECT area = listArea(h, c);
    POINT q = p;
    ClientToScreen(h, &q);
    if (!PtInRect(&area, q))
        return CB_ERR;
    *inList = true;
    int right = area.right - 1 - (scrolls(c) ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    if (q.x >= right)
        return CB_ERR; // the scroll bar
    int row = (q.y - area.top - 1) / c.itemHeight;
    int index = c.topIndex + row;
    if (q.y <= area.top || row >= visibleRows(c) || index >= (int)c.items.size())
        return CB_ERR;
    return index;
}

// A press on the scroll bar pages the list up or down.
void scrollBarPress(Combo& c, HWND h, POINT p)
{
    RECT area = listArea(h, c);
    POINT q = p;
    ClientToScreen(h, &q);
    int rows = visibleRows(c);
    int count = (int)c.items.size();
    int thumbTop = area.top + 1 + (area.bottom - area.top - 2) * c.topIndex / count;
    c.topIndex += q.y < thumbTop ? -rows : rows;
    c.topIndex = std::max(0, std::min(c.topIndex, count - rows));
    redrawList(c);
}

void select(HWND h, Combo& c, int index, bool notifyChange)
{
    if (index < 0 || index >= (int)c.items.size() || index == c.current)
        return;
    c.current = index;
    redrawBox(h);
    if (notifyChange)
        win::notifyParent(h, CBN_SELCHANGE);
}

// Arrow, page and end keys: the new index from `from`.
int stepFor(WPARAM key, int from, const Combo& c)
{
    int last = (int)c.items.size() - 1;
    int page = visibleRows(c);
    switch (key) {
    case VK_UP:
    case VK_LEFT: return from < 0 ? 0 : std::max(0, from - 1);
    case VK_DOWN:
    case VK_RIGHT: return from < 0 ? 0 : std::min(last, from + 1);
    case VK_PRIOR: return std::max(0, from - page);
    case VK_NEXT: return std::min(last, std::max(0, from) + page);
    case VK_HOME: return 0;
    case VK_END: return last;
    default: return from;
    }
}

int findExact(const Combo& c, int start, const char* s)
{
    int n = (int)c.items.size();
    for (int k = 1; k <= n; ++k) {
        int i = (start + k) % n;
        if (start < 0)
            i = k - 1;
        if (strcasecmp(c.items[(size_t)i].c_str(), s) == 0)
            return i;
    }
    return CB_ERR;
}

// ---- Message handlers ------------------------------------------------------------
LRESULT COMBO_NCCreate(HWND h, const CREATESTRUCTA* cs, LPARAM lParam)
{
    Combo c;
    if (cs)
        c.droppedHeight = cs->cy;
    g_combos[h] = c;
    return DefWindowProcA(h, WM_NCCREATE, 0, lParam);
}

// The window is the closed box; the height given is box and list.
LRESULT COMBO_Create(HWND h)
{
    Combo* c = stateOf(h);
    if (!c)
        return -1;
    c->itemHeight = measureItemHeight(h, nullptr);
    RECT r;
    GetClientRect(h, &r);
    win::Window* w = win::find(h);
    MoveWindow(h, w->x, w->y, r.right, closedHeight(*c), FALSE);
    return 0;
}

LRESULT COMBO_Destroy(HWND h)
{
    if (Combo* c = stateOf(h); c && c->list) {
        HWND list = c->list;
        c->list = nullptr;
        if (GetCapture() == h)
            ReleaseCapture();
        DestroyWindow(list);
    }
    return 0;
}

LRESULT COMBO_Paint(HWND h)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    if (dc)
        paintBox(h, dc);
    EndPaint(h, &ps);
    return 0;
}

LRESULT COMBO_SetFont(HWND h, HFONT font, bool redrawNow)
{
    if (Combo* c = stateOf(h)) {
        c->font = font;
        c->itemHeight = measureItemHeight(h, c->font);
        win::Window* w = win::find(h);
        MoveWindow(h, w->x, w->y, w->width, closedHeight(*c), redrawNow);
    }
    return 0;
}

// WM_GETTEXT: the item shown.
LRESULT COMBO_GetText(HWND h, size_t size, char* out)
{
    Combo* c = stateOf(h);
    if (!c || size == 0 || !out)
        return 0;
    std::string s = c->current >= 0 ? c->items[(size_t)c->current] : std::string();
    size_t n = std::min(s.size(), size - 1);
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
    return (LRESULT)n;
}

LRESULT COMBO_SetFocus(HWND h)
{
    if (Combo* c = stateOf(h)) {
        c->focused = true;
        redrawBox(h);
        win::notifyParent(h, CBN_SETFOCUS);
    }
    return 0;
}

LRESULT COMBO_KillFocus(HWND h)
{
    if (Combo* c = stateOf(h)) {
        c->focused = false;
        closeUp(h, false);
        redrawBox(h);
        win::notifyParent(h, CBN_KILLFOCUS);
    }
    return 0;
}

// Closed: the press opens the list. Open: a press in the list marks the
// item under it (or pages on the scroll bar); any other press closes it.
LRESULT COMBO_LButtonDown(HWND h, POINT p)
{
    Combo* c = stateOf(h);
    if (!c)
        return 0;
    if (!c->list) {
        if (GetFocus() != h)
            SetFocus(h);
        drop(h);
        if (Combo* again = stateOf(h))
            again->openingPress = again->list != nullptr;
        return 0;
    }
    bool inList;
    int index = itemAt(h, *c, p, &inList);
    if (!inList) {
        closeUp(h, false);
        return 0;
    }
    if (index == CB_ERR && scrolls(*c)) {
        scrollBarPress(*c, h, p);
        return 0;
    }
    c->pressInList = true;
    if (index != CB_ERR && index != c->hot) {
        c->hot = index;
        redrawList(*c);
    }
    return 0;
}

LRESULT COMBO_MouseMove(HWND h, POINT p)
{
    Combo* c = stateOf(h);
    if (!c || !c->list)
        return 0;
    bool inList;
    int index = itemAt(h, *c, p, &inList);
    if (index != CB_ERR && index != c->hot) {
        c->hot = index;
        redrawList(*c);
    }
    return 0;
}

LRESULT COMBO_LButtonUp(HWND h, POINT p)
{
    Combo* c = stateOf(h);
    if (!c || !c->list)
        return 0;
    bool inList;
    int index = itemAt(h, *c, p, &inList);
    // Released over an item after a press in the list, or after dragging
    // from the box into it: that item is the choice.
    if (index != CB_ERR && (c->pressInList || c->openingPress)) {
        c->hot = index;
        closeUp(h, true);
        return 0;
    }
    c->openingPress = false;
    c->pressInList = false;
    return 0;
}

// Open: the list scrolls three rows a notch. Closed: the choice steps.
LRESULT COMBO_MouseWheel(HWND h, int notches)
{
    Combo* c = stateOf(h);
    if (!c || c->items.empty())
        return 0;
    if (c->list) {
        int rows = visibleRows(*c);
        c->topIndex = std::max(0, std::min(c->topIndex - 3 * notches, (int)c->items.size() - rows));
        redrawList(*c);
    } else if (notches != 0) {
        select(h, *c, stepFor(notches > 0 ? VK_UP : VK_DOWN, c->current, *c), true);
    }
    return 0;
}

void toggleDropped(HWND h, const Combo& c)
{
    if (c.list)
        closeUp(h, true);
    else
        drop(h);
}

// F4 opens and closes, Enter takes and Esc gives up the item marked in the
// open list; the arrow, page and end keys mark an item of the open list or
// choose one at once while it is closed.
LRESULT COMBO_KeyDown(HWND h, WPARAM key, LPARAM lParam)
{
    Combo* c = stateOf(h);
    if (!c)
        return 0;
    switch (key) {
    case VK_F4:
        toggleDropped(h, *c);
        return 0;
    case VK_RETURN:
        if (c->list)
            closeUp(h, true);
        return 0;
    case VK_ESCAPE:
        if (c->list)
            closeUp(h, false);
        return 0;
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
        if (c->items.empty())
            return 0;
        if (c->list) {
            c->hot = stepFor(key, c->hot, *c);
            keepVisible(*c, c->hot);
            redrawList(*c);
        } else {
            select(h, *c, stepFor(key, c->current, *c), true);
        }
        return 0;
    default:
        return DefWindowProcA(h, WM_KEYDOWN, key, lParam);
    }
}

// Alt+Up and Alt+Down open and close the list.
LRESULT COMBO_SysKeyDown(HWND h, WPARAM key, LPARAM lParam)
{
    if (key != VK_DOWN && key != VK_UP)
        return DefWindowProcA(h, WM_SYSKEYDOWN, key, lParam);
    if (Combo* c = stateOf(h))
        toggleDropped(h, *c);
    return 0;
}

// A letter goes to the next item that starts with it.
LRESULT COMBO_Char(HWND h, WPARAM ch)
{
    Combo* c = stateOf(h);
    if (!c || c->items.empty() || ch < 32)
        return 0;
    int n = (int)c->items.size();
    int from = c->list ? c->hot : c->current;
    for (int k = 1; k <= n; ++k) {
        int i = ((from < 0 ? -1 : from) + k) % n;
        const std::string& item = c->items[(size_t)i];
        if (item.empty() || tolower((unsigned char)item[0]) != tolower((int)ch))
            continue;
        if (c->list) {
            c->hot = i;
            keepVisible(*c, i);
            redrawList(*c);
        } else {
            select(h, *c, i, true);
        }
        break;
    }
    return 0;
}

// CB_ADDSTRING (at the end, or in order with CBS_SORT) and CB_INSERTSTRING
// (at `at`, or the end for -1).
LRESULT COMBO_InsertString(HWND h, bool insert, int at, const char* text)
{
    Combo* c = stateOf(h);
    if (!c || !text)
        return CB_ERR;
    std::string s = text;
    int where = (int)c->items.size();
    if (insert) {
        if (at > (int)c->items.size())
            return CB_ERR;
        if (at >= 0)
            where = at;
    } else if (GetWindowLongA(h, GWL_STYLE) & CBS_SORT) {
        where = 0;
        while (where < (int)c->items.size() && strcasecmp(c->items[(size_t)where].c_str(), s.c_str()) <= 0)
            ++where;
    }
    c->items.insert(c->items.begin() + where, s);
    if (c->current >= where)
        ++c->current;
    redrawList(*c);
    return where;
}

LRESULT COMBO_DeleteString(HWND h, int i)
{
    Combo* c = stateOf(h);
    if (!c || i < 0 || i >= (int)c->items.size())
        return CB_ERR;
    c->items.erase(c->items.begin() + i);
    if (c->current == i)
        c->current = CB_ERR;
    else if (c->current > i)
        --c->current;
    redrawBox(h);
    redrawList(*c);
    return (LRESULT)c->items.size();
}

LRESULT COMBO_ResetContent(HWND h)
{
    if (!stateOf(h))
        return 0;
    closeUp(h, false);
    if (Combo* c = stateOf(h)) {
        c->items.clear();
        c->current = CB_ERR;
        redrawBox(h);
    }
    return 0;
}

LRESULT COMBO_SetCurSel(HWND h, int i)
{
    Combo* c = stateOf(h);
    if (!c)
        return CB_ERR;
    c->current = i >= 0 && i < (int)c->items.size() ? i : CB_ERR;
    redrawBox(h);
    return c->current;
}

LRESULT COMBO_GetLBText(HWND h, int i, char* out)
{
    Combo* c = stateOf(h);
    if (!c || i < 0 || i >= (int)c->items.size() || !out)
        return CB_ERR;
    const std::string& s = c->items[(size_t)i];
    std::memcpy(out, s.c_str(), s.size() + 1);
    return (LRESULT)s.size();
}

LRESULT COMBO_GetLBTextLen(HWND h, int i)
{
    Combo* c = stateOf(h);
    if (!c || i < 0 || i >= (int)c->items.size())
        return CB_ERR;
    return (LRESULT)c->items[(size_t)i].size();
}

LRESULT COMBO_FindStringExact(HWND h, int start, const char* text)
{
    Combo* c = stateOf(h);
    if (!c || !text || c->items.empty())
        return CB_ERR;
    return findExact(*c, start, text);
}

// The box and the opened list's place on the screen.
LRESULT COMBO_GetDroppedControlRect(HWND h, RECT* out)
{
    Combo* c = stateOf(h);
    if (!c || !out)
        return FALSE;
    win::Window* w = win::find(h);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    *out = {origin.x, origin.y, origin.x + w->width, origin.y + c->droppedHeight};
    return TRUE;
}

// The box's parts, and the list while it is open (null while closed: the
// list window exists only then).
LRESULT COMBO_GetComboBoxInfo(HWND h, COMBOBOXINFO* info)
{
    Combo* c = stateOf(h);
    if (!c || !info || info->cbSize != sizeof(COMBOBOXINFO))
        return FALSE;
    BoxParts parts = partsOf(h);
    info->rcItem = parts.field;
    info->rcButton = parts.button;
    info->stateButton = c->list ? STATE_SYSTEM_PRESSED : 0;
    info->hwndCombo = h;
    info->hwndItem = h;
    info->hwndList = c->list;
    return TRUE;
}

} // namespace

namespace win {

LRESULT CALLBACK ComboBoxProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    POINT p = {(SHORT)LOWORD(lParam), (SHORT)HIWORD(lParam)};
    switch (message) {
    case WM_NCCREATE:
        return COMBO_NCCreate(h, reinterpret_cast<const CREATESTRUCTA*>(lParam), lParam);
    case WM_CREATE:
        return COMBO_Create(h);
    case WM_NCDESTROY:
        g_combos.erase(h);
        return 0;
    case WM_DESTROY:
        return COMBO_Destroy(h);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        return COMBO_Paint(h);
    case WM_SETFONT:
        return COMBO_SetFont(h, (HFONT)wParam, lParam != 0);
    case WM_GETFONT: {
        Combo* c = stateOf(h);
        return c ? (LRESULT)c->font : 0;
    }
    case WM_GETTEXT:
        return COMBO_GetText(h, (size_t)wParam, (char*)lParam);
    case WM_GETTEXTLENGTH: {
        Combo* c = stateOf(h);
        return c && c->current >= 0 ? (LRESULT)c->items[(size_t)c->current].size() : 0;
    }
    case WM_SETFOCUS:
        return COMBO_SetFocus(h);
    case WM_KILLFOCUS:
        return COMBO_KillFocus(h);
    case WM_ENABLE:
        if (!wParam)
            closeUp(h, false);
        redrawBox(h);
        return 0;
    case WM_CAPTURECHANGED:
        if (Combo* c = stateOf(h); c && c->list && (HWND)lParam != h)
            closeUp(h, false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return COMBO_LButtonDown(h, p);
    case WM_MOUSEMOVE:
        return COMBO_MouseMove(h, p);
    case WM_LBUTTONUP:
        return COMBO_LButtonUp(h, p);
    case WM_MOUSEWHEEL:
        return COMBO_MouseWheel(h, (SHORT)HIWORD(wParam) / 120);
    case WM_SYSKEYDOWN:
        return COMBO_SysKeyDown(h, wParam, lParam);
    case WM_KEYDOWN:
        return COMBO_KeyDown(h, wParam, lParam);
    case WM_CHAR:
        return COMBO_Char(h, wParam);
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
        return COMBO_InsertString(h, message == CB_INSERTSTRING, (int)(intptr_t)wParam, (const char*)lParam);
    case CB_DELETESTRING:
        return COMBO_DeleteString(h, (int)(intptr_t)wParam);
    case CB_RESETCONTENT:
        return COMBO_ResetContent(h);
    case CB_GETCOUNT: {
        Combo* c = stateOf(h);
        return c ? (LRESULT)c->items.size() : CB_ERR;
    }
    case CB_GETCURSEL: {
        Combo* c = stateOf(h);
        return c ? c->current : CB_ERR;
    }
    case CB_SETCURSEL:
        return COMBO_SetCurSel(h, (int)(intptr_t)wParam);
    case CB_GETLBTEXT:
        return COMBO_GetLBText(h, (int)(intptr_t)wParam, (char*)lParam);
    case CB_GETLBTEXTLEN:
        return COMBO_GetLBTextLen(h, (int)(intptr_t)wParam);
    case CB_FINDSTRINGEXACT:
        return COMBO_FindStringExact(h, (int)(intptr_t)wParam, (const char*)lParam);
    case CB_SHOWDROPDOWN:
        if (wParam)
            drop(h);
        else
            closeUp(h, false);
        return TRUE;
    case CB_GETDROPPEDSTATE: {
        Combo* c = stateOf(h);
        return c && c->list ? TRUE : FALSE;
    }
    case CB_GETITEMHEIGHT: {
        Combo* c = stateOf(h);
        return c ? c->itemHeight : CB_ERR;
    }
    case CB_GETDROPPEDCONTROLRECT:
        return COMBO_GetDroppedControlRect(h, (RECT*)lParam);
    case CB_GETCOMBOBOXINFO:
        return COMBO_GetComboBoxInfo(h, (COMBOBOXINFO*)lParam);
    default:
        return DefWindowProcA(h, message, wParam, lParam);
    }
}

LRESULT CALLBACK ComboListProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        if (dc)
            paintList(h, dc);
        EndPaint(h, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(h, message, wParam, lParam);
    }
}

} // namespace win

BOOL GetComboBoxInfo(HWND combo, PCOMBOBOXINFO info)
{
    return SendMessageA(combo, CB_GETCOMBOBOXINFO, 0, (LPARAM)info) ? TRUE : FALSE;
}
