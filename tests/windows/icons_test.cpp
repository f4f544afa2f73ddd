// Icons and cursors made from bitmaps, the system's cursor and icon
// pictures, and the cursor position (SDL offscreen driver).
#include <windows.h>
#include <SDL.h>

#include "sdl_events.h"
#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include "bitmap_pixels.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TEST(Icons, ColourIconKeepsItsPicturesAndCentresItsHotSpot)
{
    // 4 x 2: mask opaque except the last column; colours red, green, blue, white.
    HBITMAP mask = MonoBitmap({"...#", "...#"});
    const uint32_t colours[8] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x102030, 0x405060, 0x708090, 0};
    HBITMAP colour = CreateBitmap(4, 2, 1, 32, colours);
    ICONINFO info = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(icon, nullptr);
    // The icon has its own copies.
    DeleteObject(mask);
    DeleteObject(colour);

    ICONINFO back = {};
    ASSERT_TRUE(GetIconInfo(icon, &back));
    EXPECT_TRUE(back.fIcon);
    EXPECT_EQ(back.xHotspot, 2u);
    EXPECT_EQ(back.yHotspot, 1u);
    ASSERT_NE(back.hbmColor, nullptr);
    EXPECT_EQ(BitmapPixels(back.hbmMask, 4, 2), (std::vector<uint32_t>{0, 0, 0, 0xFFFFFF, 0, 0, 0, 0xFFFFFF}));
    EXPECT_EQ(BitmapPixels(back.hbmColor, 4, 2), std::vector<uint32_t>(colours, colours + 8));
    EXPECT_TRUE(DeleteObject(back.hbmMask));
    EXPECT_TRUE(DeleteObject(back.hbmColor));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(GetIconInfo(icon, &back));
}

TEST(Icons, MonochromeCursorKeepsItsHotSpotAndBothMaskHalves)
{
    HBITMAP mask = MonoBitmap({"..##", "..##", "#...", "...."}); // AND half, then XOR half
    ICONINFO info = {FALSE, 3, 1, mask, nullptr};
    HCURSOR cursor = CreateIconIndirect(&info);
    ASSERT_NE(cursor, nullptr);
    DeleteObject(mask);
    ICONINFO back = {};
    ASSERT_TRUE(GetIconInfo(cursor, &back));
    EXPECT_FALSE(back.fIcon);
    EXPECT_EQ(back.xHotspot, 3u);
    EXPECT_EQ(back.yHotspot, 1u);
    EXPECT_EQ(back.hbmColor, nullptr);
    const uint32_t W = 0xFFFFFF;
    EXPECT_EQ(BitmapPixels(back.hbmMask, 4, 4), (std::vector<uint32_t>{0, 0, W, W, 0, 0, W, W, W, 0, 0, 0, 0, 0, 0, 0}));
    DeleteObject(back.hbmMask);
    EXPECT_TRUE(DestroyCursor(cursor));

    // A mask of odd height cannot be split; no mask at all is no icon.
    HBITMAP odd = MonoBitmap({"#", ".", "#"});
    ICONINFO bad = {FALSE, 0, 0, odd, nullptr};
    EXPECT_EQ(CreateIconIndirect(&bad), nullptr);
    bad.hbmMask = nullptr;
    EXPECT_EQ(CreateIconIndirect(&bad), nullptr);
    DeleteObject(odd);
}

TEST(Icons, SystemCursorsAndIconHavePictures)
{
    struct Case {
        LPCSTR name;
        bool cursor;
    } cases[] = {{IDC_ARROW, true}, {IDC_IBEAM, true}, {IDC_WAIT, true}, {IDC_CROSS, true}, {IDC_HAND, true},
                 {IDI_APPLICATION, false}};
    for (const Case& c : cases) {
        HICON handle = c.cursor ? LoadCursorA(nullptr, c.name) : LoadIconA(nullptr, c.name);
        ASSERT_NE(handle, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(handle, &info));
        BITMAP bm = {};
        ASSERT_NE(GetObjectA(info.hbmMask, sizeof(bm), &bm), 0);
        EXPECT_EQ(bm.bmWidth, 32);
        EXPECT_EQ(bm.bmHeight, c.cursor ? 64 : 32);
        EXPECT_EQ(info.hbmColor == nullptr, c.cursor);
        // Something of it is opaque, and not all of it.
        std::vector<uint32_t> mask = BitmapPixels(info.hbmMask, 32, 32);
        size_t opaque = 0;
        for (uint32_t p : mask)
            opaque += p == 0;
        EXPECT_GT(opaque, 10u);
        EXPECT_LT(opaque, 32u * 32u);
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        EXPECT_TRUE(DestroyIcon(handle)); // shared: it stays
        EXPECT_TRUE(GetIconInfo(handle, &info));
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
    }
    ICONINFO arrow = {};
    GetIconInfo(LoadCursorA(nullptr, IDC_ARROW), &arrow);
    EXPECT_EQ(arrow.xHotspot, 0u);
    EXPECT_EQ(arrow.yHotspot, 0u);
    DeleteObject(arrow.hbmMask);
}

class CursorPosition : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "CursorPositionTest";
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        PlatformResetMessageQueue();
        m_hwnd = CreateWindowExA(0, "CursorPositionTest", "Cursor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 336,
                                 279, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_hwnd, nullptr);
    }
    void TearDown() override
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
        PlatformResetMessageQueue();
    }
    HWND m_hwnd = nullptr;
};

TEST_F(CursorPosition, FollowsTheMouseInScreenCoordinatesAndSetCursorPos)
{
    POINT origin = {0, 0};
    ASSERT_TRUE(ClientToScreen(m_hwnd, &origin));
    PushMouseMotion(m_hwnd, 100, 50);
    POINT p = {};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, origin.x + 100);
    EXPECT_EQ(p.y, origin.y + 50);
    ASSERT_TRUE(ScreenToClient(m_hwnd, &p));
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 50);

    ASSERT_TRUE(SetCursorPos(300, 200));
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 300);
    EXPECT_EQ(p.y, 200);
    EXPECT_FALSE(GetCursorPos(nullptr));
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}

} // namespace
