// The colour parameter: packed and grey forms, its keys, and what it does
// with values out of the nominal range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "live_blocks.h"
#include "publicparamcolor.h"

namespace {

std::string Hex(uint32_t v)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", (unsigned)v);
    return buffer;
}

TEST(ColorParam, PackedValueSplitsIntoChannelsOverTwoFiftyFive)
{
    PublicParamColor c("c", 0x80FF0000u);
    EXPECT_FLOAT_EQ(c.m_alpha, 128.0f / 255.0f);
    EXPECT_GT(c.m_alpha, 0.5f);
    EXPECT_EQ(c.m_red, 1.0f);
    EXPECT_EQ(c.m_green, 0.0f);
    EXPECT_EQ(c.m_blue, 0.0f);
    float a, r, g, b;
    c.GetColor(&a, &r, &g, &b);
    EXPECT_EQ(a, c.m_alpha);
    EXPECT_EQ(r, 1.0f);
}

TEST(ColorParam, EveryPackedValueComesBackUnchanged)
{
    PublicParamColor c("c", 0u);
    std::vector<uint32_t> values;
    // Every byte value in every channel, then a spread of mixed values.
    for (uint32_t v = 0; v < 256; ++v)
        for (int shift : {0, 8, 16, 24})
            values.push_back(v << shift | (0x5A5A5A5Au & ~(0xFFu << shift)));
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i)
        values.push_back((uint32_t)random());
    for (uint32_t v : values) {
        c.SetARGB(v);
        ASSERT_EQ(Hex(c.GetARGB()), Hex(v));
    }
}

struct ChannelsCase {
    const char* name;
    float a, r, g, b;
    uint32_t packed, grey;
};

void PrintTo(const ChannelsCase& c, std::ostream* os) { *os << c.name; }

class ColorChannels : public ::testing::TestWithParam<ChannelsCase> {};

TEST_P(ColorChannels, PackTruncatedAndClamped)
{
    const ChannelsCase& c = GetParam();
    PublicParamColor param("c", c.a, c.r, c.g, c.b);
    EXPECT_EQ(Hex(param.GetARGB()), Hex(c.packed));
    EXPECT_EQ(Hex(param.GetGreyARGB()), Hex(c.grey));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColorChannels,
    ::testing::Values(ChannelsCase{"OutOfRange", 1.5f, -0.2f, 0.5f, 1.0f, 0xFF007FFFu, 0xFF585858u},
                      ChannelsCase{"OpaqueRed", 1, 1, 0, 0, 0xFFFF0000u, 0xFF4C4C4Cu},
                      ChannelsCase{"OpaqueWhite", 1, 1, 1, 1, 0xFFFFFFFFu, 0xFFFFFFFFu},
                      ChannelsCase{"GreyClampedAboveWhite", 0, 4, 4, 4, 0x00FFFFFFu, 0x00FFFFFFu},
                      ChannelsCase{"GreyClampedBelowBlack", 0.25f, -1, 0.1f, 0, 0x3F001900u, 0x3F000000u},
                      ChannelsCase{"NotANumberIsZero", NAN, NAN, 1, NAN, 0x0000FF00u, 0x00000000u}),
    [](const ::testing::TestParamInfo<ChannelsCase>& info) { return std::string(info.param.name); });

TEST(ColorParam, GreyColourIsNeitherScaledNorClamped)
{
    PublicParamColor c("c", 0.5f, 2.0f, 2.0f, 2.0f);
    float a, r, g, b;
    c.GetGreyColor(&a, &r, &g, &b);
    EXPECT_EQ(a, 0.5f);
    EXPECT_FLOAT_EQ(r, 2.0f);
    EXPECT_EQ(g, r);
    EXPECT_EQ(b, r);
    c.SetColor(1, 1, 0, 0);
    c.GetGreyColor(&a, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 0.299f);
}

TEST(ColorParam, ConstantKeyFromZeroGivesItsColourWheneverNoRampIsActive)
{
    PublicParamColor c("c", 0xFFFFFFFFu);
    c.AddConstantKey(0, 0, 0xFF0000FFu);
    c.AddLinearKey(1, 2, 0xFF000000u, 0xFF0000FEu);
    c.AddConstantKey(3, 4, 0xFF00FF00u); // hidden behind the one from 0
    struct Read {
        float time;
        uint32_t argb;
    } reads[] = {{0.0f, 0xFF0000FFu}, {0.5f, 0xFF0000FFu}, {5.0f, 0xFF0000FFu}};
    for (const Read& r : reads) {
        g_sequenceTime = r.time;
        EXPECT_EQ(Hex(c.GetARGB()), Hex(r.argb)) << "at " << r.time;
    }
    // The ramp expired between the reads: its end applied, then the constant key.
    EXPECT_TRUE(c.m_linearKeys.empty());
}

struct RampCase {
    const char* name;
    uint32_t from, to;
    float at;
    uint32_t expected;
};

void PrintTo(const RampCase& c, std::ostream* os) { *os << c.name; }

class ColorRamp : public ::testing::TestWithParam<RampCase> {};

// An active ramp raises the debug assertion every time; the value is set first.
TEST_P(ColorRamp, InterpolatesThePackedValueAsOneInteger)
{
    const RampCase& c = GetParam();
    PublicParamColor param("c", 0x12345678u);
    param.AddLinearKey(0, 1, c.from, c.to);
    g_sequenceTime = c.at;
    uint32_t got = 0;
    EXPECT_DEBUG_DEATH(got = param.GetARGB(), "");
#ifdef NDEBUG
    EXPECT_EQ(Hex(got), Hex(c.expected));
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColorRamp,
    ::testing::Values(
        // 255 + 127.5 carries into green: the channels are not interpolated one by one.
        RampCase{"CarriesAcrossChannels", 0x000000FFu, 0x000001FFu, 0.5f, 0x0000017Fu},
        // Negative packed values (alpha 0x80 and up) truncate toward zero, i.e. upwards.
        RampCase{"NegativeTruncatesTowardZero", 0xFF000000u, 0xFF0000FFu, 0.5f, 0xFF000080u},
        // 0x7FFFFFFF to 0x80000000 differs by 1 as a 32-bit integer; at its end the ramp reaches 0x80000000.
        RampCase{"DifferenceWrapsWithoutOverflow", 0x7FFFFFFFu, 0x80000000u, 1.0f, 0x80000000u},
        // From the lowest to the highest as one integer is a step of -1, so the end wraps round to 0x7FFFFFFF.
        RampCase{"FullSpanIsAStepOfMinusOne", 0x80000000u, 0x7FFFFFFFu, 1.0f, 0x7FFFFFFFu}),
    [](const ::testing::TestParamInfo<RampCase>& info) { return std::string(info.param.name); });

TEST(ColorParam, ExpiredRampAppliesItsEndAndIsDeleted)
{
    PublicParamColor c("c", 0u);
    c.AddLinearKey(1, 2, 0xFF000000u, 0x80402010u);
    g_sequenceTime = 0.5f;
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0u));
    g_sequenceTime = 2.5f;
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0x80402010u));
    EXPECT_TRUE(c.m_linearKeys.empty());
    g_sequenceTime = 1.5f; // going back brings nothing back
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0x80402010u));
}

TEST(ColorParam, RampOfNoDurationSetsNothingAndHidesTheConstantKeys)
{
    PublicParamColor c("c", 0x11223344u);
    c.AddLinearKey(1, 1, 0u, 0xFFFFFFFFu);
    c.AddConstantKey(0, 0, 0xFF0000FFu);
    g_sequenceTime = 0.5f;
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0xFF0000FFu));
    g_sequenceTime = 1.0f;
    uint32_t got = 0;
    EXPECT_DEBUG_DEATH(got = c.GetARGB(), "");
#ifdef NDEBUG
    EXPECT_EQ(Hex(got), Hex(0xFF0000FFu));
#endif
    EXPECT_EQ(c.m_linearKeys.size(), 1u);
}

TEST(ColorParam, ConstantKeysOfEqualStartApplyInTheOrderAdded)
{
    PublicParamColor c("c", 0u);
    c.AddConstantKey(2, 3, 0xFF000001u);
    c.AddConstantKey(1, 3, 0xFF000002u);
    c.AddConstantKey(1, 3, 0xFF000003u);
    g_sequenceTime = 2.5f;
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0xFF000002u));
    g_sequenceTime = 9.0f; // all expired: the last in list order wins
    EXPECT_EQ(Hex(c.GetARGB()), Hex(0xFF000001u));
}

TEST(ColorParam, TextFormAndTextConstructor)
{
    struct Case {
        const char* text;
        uint32_t argb;
    } cases[] = {{"-16777216", 0xFF000000u}, {"255", 0x000000FFu}, {" 12abc", 12u},
                 {"4294967295", 0xFFFFFFFFu}, {"abc", 0u}, {"", 0u}};
    for (const Case& c : cases) {
        PublicParamColor param("c", c.text);
        EXPECT_EQ(Hex(param.GetARGB()), Hex(c.argb)) << '"' << c.text << '"';
    }
    PublicParamColor zero("z", 0); // a literal 0 is a colour
    EXPECT_EQ(zero.GetARGB(), 0u);

    PublicParamColor keyed("k", 0x80FF0000u);
    keyed.AddConstantKey(0, 0, 0xABCDEFu);
    g_sequenceTime = 0.0f;
    char* text = keyed.ToString(); // applies the keys first
    EXPECT_STREQ(text, "0xabcdef");
    delete[] text;
    EXPECT_STREQ(keyed.GetName(), "k");
}

TEST(ColorParam, DestroyedThroughTheBaseWithItsKeys)
{
    const size_t before = LiveBlocks();
    PublicParamColor* c = new PublicParamColor("c", 0u);
    c->AddConstantKey(0, 1, 1u);
    c->AddLinearKey(0, 1, 1u, 2u);
    EXPECT_GT(LiveBlocks(), before + 2) << "the parameter and its two keys";
    PublicParam* base = c;
    delete base;
    EXPECT_EQ(LiveBlocks(), before) << "everything the parameter held is freed";
}

} // namespace
