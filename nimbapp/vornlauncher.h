// A skinned start-up dialog: a borderless window shaped and painted by an
// ARGB picture, with push buttons, owner-drawn check items and drop-down
// lists; Run shows it and returns the choices as texts by name.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct LauncherButton {
    HWND m_hWnd;
    int m_id;
    int m_x, m_y, m_w, m_h;
    std::string m_label; // caption and result key
};

struct LauncherCheck {
    HWND m_hWnd;
    int m_checked; // 1 ticked, 0 not
    int m_id;
    int m_x, m_y, m_w, m_h;
    std::string m_label; // drawn label and result key
};

struct LauncherCombo {
    HWND m_hWnd;
    int m_id;
    int m_x, m_y, m_w, m_h; // the height takes in the opened list
    int m_count;
    std::vector<std::string> m_options;
    std::string m_key;
    int m_shown; // the option the list showed when its window went; -1 none
};

class VORNLauncher;
extern VORNLauncher* g_pLauncher;
extern int g_launcherNextId;

class VORNLauncher {
public:
    // Only one launcher exists at a time: a second one is refused by a
    // debug assertion, is not the Instance and has no effect on it.
    VORNLauncher();
    virtual ~VORNLauncher();

    // The skin: width x height pixels 0xAARRGGBB, top row first (an Image's
    // layout). SetSkin cuts the pixels equal to `key` (alpha included) out of
    // the window's shape; SetSkinRegion takes the shape from region data of
    // `rectCount` rectangles. The pixels are not kept.
    void SetSkin(const unsigned int* pixels, int width, int height, unsigned int key);
    void SetSkinRegion(const unsigned int* pixels, int width, int height, const RGNDATA* region, int rectCount);

    void AddButton(int x, int y, int w, int h, const char* label);
    void AddCheck(int x, int y, int w, int h, const char* label, int state);
    // options: texts between "|" (empty ones are left out); the last option
    // written with "&" is the one shown first, the "&" and what follows it
    // dropped from the option.
    void AddCombo(int x, int y, int w, int h, const char* options, const char* key);
    // The fill colour of the check items (0x00BBGGRR); the button face colour
    // until set.
    void SetCheckColor(COLORREF color);

    // Shows the dialog until a button, Esc or the close command ends it, and
    // returns: each button's label with "true" for the one pushed, else
    // "false"; each check item's label with "true" or "false"; each list's
    // key with the option it shows.
    std::map<std::string, std::string> Run();

    bool MakeWindow(int width, int height);
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static VORNLauncher* Instance();
    static int NextId();

    bool IsButton(int id);
    int IsChecked(int id);
    void SetChecked(int id);
    void ClearChecked(int id);
    HWND GetCheckWindow(int id);
    std::string GetCheckLabel(int id);
    int GetWidth();
    int GetHeight();
    HDC GetSkinDC();

    HWND m_hWnd;
    HRGN m_hRgn;
    HDC m_hMemDC;
    HBITMAP m_hSkinBitmap;
    int m_pressedId;
    COLORREF m_checkColor;
    std::vector<int> m_buttonIds;
    std::vector<LauncherButton*> m_buttons;
    std::vector<LauncherCheck*> m_checks;
    std::vector<LauncherCombo*> m_combos;
    const unsigned int* m_pSkinPixels;
    int m_width;
    int m_height;

private:
    void PaintSkin(const unsigned int* pixels, int width, int height);
    void ReleaseSkin();
    void DrawCheck(const DRAWITEMSTRUCT* item);
    void ReadLists();
    LauncherCheck* FindCheck(int id);
    std::map<std::string, std::string> Results();

    bool m_regionGiven; // the window owns m_hRgn

    VORNLauncher(const VORNLauncher&) = delete;
    VORNLauncher& operator=(const VORNLauncher&) = delete;
};
