// GDI regions: every combination checked pixel by pixel against the same
// Boolean operation on the rectangles, and the region data round trip.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

bool InAny(const std::vector<RECT>& rects, int x, int y)
{
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

HRGN Union(const std::vector<RECT>& rects)
{
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : rects) {
        HRGN one = CreateRectRgnIndirect(&r);
        CombineRgn(out, out, one, RGN_OR);
        DeleteObject(one);
    }
    return out;
}

struct Shapes {
    const char* what;
    std::vector<RECT> a, b;
};

const Shapes kShapes[] = {
    {"overlapping", {{2, 2, 12, 10}}, {{6, 5, 18, 15}}},
    {"apart", {{0, 0, 4, 4}}, {{10, 10, 14, 14}}},
    {"touching", {{0, 0, 5, 5}}, {{5, 0, 9, 5}}},
    {"inside", {{0, 0, 20, 20}}, {{5, 5, 8, 8}, {10, 12, 15, 13}}},
    {"combs", {{0, 0, 3, 20}, {6, 0, 9, 20}, {12, 0, 15, 20}}, {{0, 4, 20, 7}, {0, 11, 20, 16}}},
    {"empty b", {{1, 1, 6, 6}}, {}},
};

TEST(Regions, CombinationsMatchTheirRectanglesPixelByPixel)
{
    const int modes[] = {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY};
    for (const Shapes& s : kShapes)
        for (int mode : modes) {
            HRGN a = Union(s.a), b = Union(s.b), out = CreateRectRgn(0, 0, 1, 1);
            int type = CombineRgn(out, a, b, mode);
            EXPECT_NE(type, ERROR);
            bool any = false;
            for (int y = -1; y < 22; ++y)
                for (int x = -1; x < 22; ++x) {
                    bool inA = InAny(s.a, x, y), inB = InAny(s.b, x, y);
                    bool want = mode == RGN_AND ? inA && inB
                              : mode == RGN_OR ? inA || inB
                              : mode == RGN_XOR ? inA != inB
                              : mode == RGN_DIFF ? inA && !inB
                                                 : inA;
                    any = any || want;
                    ASSERT_EQ(PtInRegion(out, x, y) != 0, want) << s.what << " mode " << mode << " at " << x << "," << y;
                }
            EXPECT_EQ(type == NULLREGION, !any) << s.what << " mode " << mode;
            DeleteObject(a);
            DeleteObject(b);
            DeleteObject(out);
        }
}

TEST(Regions, CuttingPixelsOneByOneWithXorLeavesTheRest)
{
    HRGN r = CreateRectRgn(0, 0, 8, 6);
    for (int x = 0; x < 8; ++x) {
        HRGN pixel = CreateRectRgn(x, 0, x + 1, 1);
        CombineRgn(r, r, pixel, RGN_XOR);
        DeleteObject(pixel);
    }
    RECT box;
    EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION); // the top row went as a whole
    EXPECT_EQ(box.top, 1);
    EXPECT_EQ(box.bottom, 6);
    EXPECT_EQ(box.right, 8);
    DeleteObject(r);
}

TEST(Regions, DataRoundTripAndCreationFromUnsortedOverlappingRectangles)
{
    struct {
        RGNDATAHEADER h;
        RECT r[3];
    } data = {{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 3, 0, {0, 0, 0, 0}},
              {{10, 10, 20, 20}, {0, 0, 15, 15}, {12, 0, 14, 30}}};
    const RGNDATA* rd = reinterpret_cast<const RGNDATA*>(&data);
    HRGN r = ExtCreateRegion(nullptr, sizeof data, rd);
    ASSERT_NE(r, nullptr);
    std::vector<RECT> rects(data.r, data.r + 3);
    for (int y = -1; y < 32; ++y)
        for (int x = -1; x < 22; ++x)
            ASSERT_EQ(PtInRegion(r, x, y) != 0, InAny(rects, x, y)) << x << "," << y;

    DWORD size = GetRegionData(r, 0, nullptr);
    std::vector<BYTE> buffer(size);
    ASSERT_EQ(GetRegionData(r, size, reinterpret_cast<RGNDATA*>(buffer.data())), size);
    EXPECT_EQ(GetRegionData(r, size - 1, reinterpret_cast<RGNDATA*>(buffer.data())), 0u);
    HRGN copy = ExtCreateRegion(nullptr, size, reinterpret_cast<RGNDATA*>(buffer.data()));
    EXPECT_TRUE(EqualRgn(r, copy));
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.bottom, 30);
    OffsetRgn(copy, 5, -3);
    EXPECT_TRUE(PtInRegion(copy, 5, -3));
    EXPECT_FALSE(EqualRgn(r, copy));

    // The size must hold the header and every rectangle it announces.
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof data - 1, rd), nullptr);
    EXPECT_EQ(ExtCreateRegion(nullptr, 3, rd), nullptr);
    XFORM shift = {1, 0, 0, 1, 4, 0};
    EXPECT_EQ(ExtCreateRegion(&shift, sizeof data, rd), nullptr);
    DeleteObject(r);
    DeleteObject(copy);
}

} // namespace
