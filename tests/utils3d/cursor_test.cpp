// Device cursors made from icons, on the recording fake.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bitmap_pixels.h"
#include "fake_d3d9.h"
#include "utils.h"

namespace {

class CursorFromIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_device = m_fake.MakeDevice();
        ASSERT_NE(m_device, nullptr);
        m_liveBefore = m_fake.LiveObjects();
        // Keeps the picture handed to SetCursorProperties.
        m_fake.Fail("SetCursorProperties").When([this](const FakeCall& c) {
            FakeSurface* s = m_fake.AsFake(reinterpret_cast<IDirect3DSurface9*>(c.Arg("Surface")));
            m_picture.clear();
            if (s) {
                const FakeImage& img = s->Image();
                m_width = (int)img.width;
                m_height = (int)img.height;
                m_format = img.format;
                for (UINT y = 0; y < img.height; ++y)
                    for (UINT x = 0; x < img.width; ++x) {
                        uint32_t p;
                        std::memcpy(&p, img.bits.data() + (size_t)y * img.pitch + x * 4, 4);
                        m_picture.push_back(p);
                    }
            }
            return false;
        });
    }
    void TearDown() override
    {
        // Every path gives back its surface.
        EXPECT_EQ(m_fake.LiveObjects(), m_liveBefore);
        if (m_device)
            m_device->Release();
    }
    uint32_t At(int x, int y) const { return m_picture[(size_t)y * m_width + x]; }

    FakeD3D9 m_fake;
    IDirect3DDevice9* m_device = nullptr;
    size_t m_liveBefore = 0;
    std::vector<uint32_t> m_picture;
    int m_width = 0, m_height = 0;
    D3DFORMAT m_format = D3DFMT_UNKNOWN;
};

uint32_t Colour(int x, int y)
{
    return (uint32_t)(x * 8) << 16 | (uint32_t)(y * 8) << 8 | 0x40;
}

TEST_F(CursorFromIconTest, ColourCursorIsOpaqueWhereItsMaskIsClear)
{
    std::vector<uint32_t> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            colours.push_back(Colour(x, y));
    HBITMAP colour = CreateBitmap(32, 32, 1, 32, colours.data());
    HBITMAP mask = MonoBitmap(32, 32, [](int x, int) { return x >= 24; });
    ICONINFO info = {FALSE, 5, 7, mask, colour};
    HCURSOR cursor = CreateIconIndirect(&info);
    ASSERT_NE(cursor, nullptr);

    EXPECT_EQ(CursorFromIcon(m_device, cursor, false), S_OK);
    const FakeCall* create = m_fake.Find("CreateOffscreenPlainSurface").at(0);
    EXPECT_EQ(create->Arg("Width"), 32u);
    EXPECT_EQ(create->Arg("Height"), 32u);
    EXPECT_EQ(create->Arg("Format"), (uint64_t)D3DFMT_A8R8G8B8);
    EXPECT_EQ(create->Arg("Pool"), (uint64_t)D3DPOOL_SCRATCH);
    const FakeCall* set = m_fake.Find("SetCursorProperties").at(0);
    EXPECT_EQ(set->Arg("XHotSpot"), 5u);
    EXPECT_EQ(set->Arg("YHotSpot"), 7u);
    ASSERT_EQ(m_picture.size(), 32u * 32u);
    EXPECT_EQ(m_format, D3DFMT_A8R8G8B8);
    int wrong = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint32_t expected = x < 24 ? (Colour(x, y) | 0xFF000000u) : 0u;
            if (At(x, y) != expected && ++wrong <= 3)
                ADD_FAILURE() << x << "," << y << ": " << std::hex << At(x, y) << " not " << expected;
        }
    EXPECT_EQ(wrong, 0);
    DestroyCursor(cursor);
    DeleteObject(mask);
    DeleteObject(colour);
}

TEST_F(CursorFromIconTest, MonochromeCursorTakesItsColourFromTheLowerHalfOfTheMask)
{
    // AND half on top (clear on the left: opaque), XOR half below (white in the top rows).
    HBITMAP mask = MonoBitmap(32, 64, [](int x, int y) { return y < 32 ? x >= 16 : y - 32 < 16; });
    ICONINFO info = {FALSE, 1, 2, mask, nullptr};
    HCURSOR cursor = CreateIconIndirect(&info);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(CursorFromIcon(m_device, cursor, false), S_OK);
    ASSERT_EQ(m_width, 32);
    ASSERT_EQ(m_height, 32);
    EXPECT_EQ(At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(At(15, 15), 0xFFFFFFFFu);
    EXPECT_EQ(At(0, 16), 0xFF000000u);
    EXPECT_EQ(At(15, 31), 0xFF000000u);
    EXPECT_EQ(At(16, 0), 0u);
    EXPECT_EQ(At(31, 31), 0u);
    DestroyCursor(cursor);
    DeleteObject(mask);
}

TEST_F(CursorFromIconTest, WatermarkMarksTheTopLeftCorner)
{
    HBITMAP mask = MonoBitmap(32, 64, [](int, int y) { return y < 32; }); // all see-through
    ICONINFO info = {FALSE, 0, 0, mask, nullptr};
    HCURSOR cursor = CreateIconIndirect(&info);
    ASSERT_EQ(CursorFromIcon(m_device, cursor, true), S_OK);
    const WORD rows[5] = {0xCCC0, 0xA2A0, 0xA4A0, 0xA2A0, 0xCCC0};
    int marked = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            bool mark = y < 5 && x < 12 && (rows[y] >> (15 - x)) & 1;
            EXPECT_EQ(At(x, y), mark ? 0xFF808080u : 0u) << x << "," << y;
            marked += mark;
        }
    EXPECT_EQ(marked, 27);
    // Without the flag nothing is marked.
    ASSERT_EQ(CursorFromIcon(m_device, cursor, false), S_OK);
    EXPECT_EQ(At(0, 0), 0u);
    DestroyCursor(cursor);
    DeleteObject(mask);
}

TEST_F(CursorFromIconTest, TheSystemArrowBecomesADeviceCursor)
{
    EXPECT_EQ(CursorFromIcon(m_device, LoadCursorA(nullptr, IDC_ARROW), false), S_OK);
    ASSERT_EQ(m_width, 32);
    EXPECT_EQ(At(0, 0), 0xFF000000u); // its black tip
    EXPECT_EQ(At(31, 31), 0u);
    EXPECT_EQ(m_fake.Find("SetCursorProperties").at(0)->Arg("XHotSpot"), 0u);
}

TEST_F(CursorFromIconTest, FailuresGiveTheirCodeAndLeaveNothingBehind)
{
    // Not an icon: nothing is made.
    EXPECT_EQ(CursorFromIcon(m_device, reinterpret_cast<HICON>(static_cast<uintptr_t>(0x7777)), false), E_FAIL);
    EXPECT_EQ(m_fake.Count("CreateOffscreenPlainSurface"), 0u);

    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    m_fake.Fail("CreateOffscreenPlainSurface", E_OUTOFMEMORY).Times(1);
    EXPECT_EQ(CursorFromIcon(m_device, arrow, false), E_OUTOFMEMORY);
    EXPECT_EQ(m_fake.Count("SetCursorProperties"), 0u);

    m_fake.ClearFailures();
    m_fake.Fail("SetCursorProperties", D3DERR_INVALIDCALL);
    EXPECT_EQ(CursorFromIcon(m_device, arrow, false), D3DERR_INVALIDCALL);
    EXPECT_EQ(CursorFromIcon(nullptr, arrow, false), E_FAIL);
}

} // namespace
