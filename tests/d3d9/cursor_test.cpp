// The device cursor: the picture SetCursorProperties takes, and ShowCursor.
#include "device_fixture.h"

#include "windows/win_internal.h"

namespace d3d9test {
namespace {

class Cursor : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
    }
    // A scratch surface whose pixel (x, y) is pixel(x, y).
    IDirect3DSurface9* Picture(UINT w, UINT h, D3DFORMAT format, DWORD (*pixel)(UINT x, UINT y))
    {
        IDirect3DSurface9* s = nullptr;
        EXPECT_EQ(m_dev->CreateOffscreenPlainSurface(w, h, format, D3DPOOL_SCRATCH, &s, nullptr), S_OK);
        if (!s)
            return nullptr;
        D3DLOCKED_RECT lr;
        if (format == D3DFMT_A8R8G8B8 && SUCCEEDED(s->LockRect(&lr, nullptr, 0))) {
            for (UINT y = 0; y < h; ++y)
                for (UINT x = 0; x < w; ++x)
                    reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = pixel(x, y);
            s->UnlockRect();
        }
        return s;
    }
};

DWORD Gradient(UINT x, UINT y)
{
    return (x + y) % 3 ? 0xFF000000 | x << 16 | y << 8 : 0;
}

TEST_F(Cursor, PropertiesCopyThePictureAndItsHotSpot)
{
    IDirect3DSurface9* s = Picture(32, 16, D3DFMT_A8R8G8B8, Gradient);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(m_dev->SetCursorProperties(3, 4, s), S_OK);
    // The picture is a copy: later writes to the surface do not reach it.
    D3DLOCKED_RECT lr;
    ASSERT_EQ(s->LockRect(&lr, nullptr, 0), S_OK);
    static_cast<DWORD*>(lr.pBits)[1] = 0x12345678;
    s->UnlockRect();
    s->Release();
    std::vector<uint32_t> argb;
    int w = 0, h = 0, hx = 0, hy = 0;
    ASSERT_TRUE(PlatformDeviceCursor(&argb, &w, &h, &hx, &hy));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 16);
    EXPECT_EQ(hx, 3);
    EXPECT_EQ(hy, 4);
    ASSERT_EQ(argb.size(), 32u * 16u);
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 32; ++x)
            ASSERT_EQ(argb[y * 32 + x], Gradient(x, y)) << x << "," << y;
}

TEST_F(Cursor, PicturesThatCannotBeCursorsAreRefused)
{
    struct Case {
        const char* name;
        UINT w, h;
        D3DFORMAT format;
    } cases[] = {{"NotAPowerOfTwo", 24, 32, D3DFMT_A8R8G8B8},
                 {"WithoutAlpha", 32, 32, D3DFMT_X8R8G8B8},
                 {"WiderThanTheDisplay", 8192, 2, D3DFMT_A8R8G8B8}};
    for (const Case& c : cases) {
        IDirect3DSurface9* s = Picture(c.w, c.h, c.format, Gradient);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(m_dev->SetCursorProperties(0, 0, s), D3DERR_INVALIDCALL) << c.name;
        s->Release();
    }
    EXPECT_EQ(m_dev->SetCursorProperties(0, 0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Cursor, ShowCursorReportsWhetherItWasShown)
{
    IDirect3DSurface9* s = Picture(16, 16, D3DFMT_A8R8G8B8, Gradient);
    ASSERT_EQ(m_dev->SetCursorProperties(0, 0, s), S_OK);
    s->Release();
    m_dev->ShowCursor(FALSE);
    EXPECT_FALSE(m_dev->ShowCursor(TRUE));
    EXPECT_TRUE(m_dev->ShowCursor(TRUE));
    EXPECT_TRUE(m_dev->ShowCursor(FALSE));
    EXPECT_FALSE(m_dev->ShowCursor(FALSE));
}

TEST_F(Cursor, PositionMovesTheSystemCursor)
{
    m_dev->SetCursorPosition(123, 45, 0);
    POINT p = {};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 123);
    EXPECT_EQ(p.y, 45);
}

} // namespace
} // namespace d3d9test
