// Key evaluation of the float, integer and text parameters.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "live_blocks.h"
#include "publicparamfloat.h"
#include "publicparamint.h"
#include "publicparamstring.h"

namespace {

const float kPi = 3.14159265f;

struct Read {
    float time;
    double expected;
};

struct NumberCase {
    const char* name;
    double min, max, initial;
    std::function<void(PublicParamFloat&)> floatKeys;
    std::function<void(PublicParamInt&)> intKeys;
    std::vector<Read> reads;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class FloatKeys : public ::testing::TestWithParam<NumberCase> {};

TEST_P(FloatKeys, ReadsAtEachTime)
{
    const NumberCase& c = GetParam();
    PublicParamFloat param("p", (float)c.initial, (float)c.min, (float)c.max);
    c.floatKeys(param);
    for (const Read& r : c.reads) {
        g_sequenceTime = r.time;
        EXPECT_NEAR(param.GetValue(), r.expected, 1e-5) << c.name << " at " << r.time;
    }
}

const float kBig = 1e30f;

INSTANTIATE_TEST_SUITE_P(
    Cases, FloatKeys,
    ::testing::Values(
        NumberCase{"linear_at_on_and_past_end", -kBig, kBig, -7,
                   [](PublicParamFloat& p) { p.AddLinearKey(0, 1, 0, 1); }, nullptr,
                   {{0.5f, 0.5}, {1.0f, 1.0}, {2.0f, 1.0}, {0.5f, 1.0}}},
        NumberCase{"constant_0_0_under_expiring_linear", -kBig, kBig, 0,
                   [](PublicParamFloat& p) {
                       p.AddConstantKey(0, 0, 5);
                       p.AddLinearKey(1, 2, 0, 10);
                   },
                   nullptr, {{0.5f, 5}, {1.25f, 2.5}, {3.0f, 5}}},
        NumberCase{"equal_starts_first_added_wins", -kBig, kBig, 0,
                   [](PublicParamFloat& p) {
                       p.AddConstantKey(0, 2, 1);
                       p.AddConstantKey(0, 2, 2);
                   },
                   nullptr, {{1.0f, 1}, {3.0f, 2}}},
        NumberCase{"end_before_start_expires_at_start", -kBig, kBig, 4,
                   [](PublicParamFloat& p) { p.AddLinearKey(2, 1, 0, 7); }, nullptr,
                   {{0.0f, 4}, {1.5f, 4}, {2.0f, 7}}},
        NumberCase{"out_of_bounds_value_ignored_and_ends_search", 0, 10, 3,
                   [](PublicParamFloat& p) {
                       p.AddLinearKey(0, 1, 50, 50);
                       p.AddConstantKey(0, 0, 4);
                   },
                   nullptr, {{0.5f, 3}, {2.0f, 4}}},
        NumberCase{"start_equal_end_linear_is_nan_and_hides_constant", -kBig, kBig, 6,
                   [](PublicParamFloat& p) {
                       p.AddLinearKey(1, 1, 0, 5);
                       p.AddConstantKey(0, 0, 9);
                   },
                   nullptr, {{0.5f, 9}, {2.0f, 9}, {50.0f, 9}}},
        NumberCase{"sine_active_and_end_value", -kBig, kBig, 0,
                   [](PublicParamFloat& p) { p.AddSineKey(0, 2, 1, 2, kPi / 2); }, nullptr,
                   {{1.0f, 3.0}, {3.0f, 1.0 + 2.0 * std::sin(2.0 * (double)(kPi / 2))}}},
        NumberCase{"sine_before_linear_before_constant", -kBig, kBig, 0,
                   [](PublicParamFloat& p) {
                       p.AddConstantKey(0, 10, 1);
                       p.AddLinearKey(0, 10, 0, 100);
                       p.AddSineKey(2, 3, 50, 0, 1);
                   },
                   nullptr, {{1.0f, 10}, {2.5f, 50}, {11.0f, 1}}},
        NumberCase{"key_passed_between_reads_applies_end_value_once", -kBig, kBig, 0,
                   [](PublicParamFloat& p) {
                       p.AddLinearKey(1, 2, 0, 8);
                       p.AddLinearKey(3, 4, 100, 200);
                   },
                   nullptr, {{0.0f, 0}, {5.0f, 200}}},
        NumberCase{"no_keys", -kBig, kBig, 2.5, [](PublicParamFloat&) {}, nullptr,
                   {{0.0f, 2.5}, {100.0f, 2.5}}}),
    [](const ::testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

class IntKeys : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IntKeys, ReadsAtEachTime)
{
    const NumberCase& c = GetParam();
    PublicParamInt param("p", (int)c.initial, (int)c.min, (int)c.max);
    c.intKeys(param);
    for (const Read& r : c.reads) {
        g_sequenceTime = r.time;
        EXPECT_EQ(param.GetValue(), (int)r.expected) << c.name << " at " << r.time;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntKeys,
    ::testing::Values(
        NumberCase{"linear_truncates", -2e9, 2e9, 0, nullptr,
                   [](PublicParamInt& p) { p.AddLinearKey(2, 3, 0, 8); }, {{2.99f, 7}, {4.0f, 8}}},
        NumberCase{"sine_truncates_toward_zero", -2e9, 2e9, 0, nullptr,
                   [](PublicParamInt& p) { p.AddSineKey(0, 10, 0, -10, 1); }, {{1.0f, -8}, {11.0f, 5}}},
        NumberCase{"nan_value_rejected", -2e9, 2e9, 3, nullptr,
                   [](PublicParamInt& p) { p.AddLinearKey(1, 1, 0, 5); }, {{2.0f, 3}}},
        NumberCase{"value_beyond_int_range_rejected", INT_MIN, INT_MAX, 3, nullptr,
                   [](PublicParamInt& p) { p.AddSineKey(0, 2, 2000000000, 2000000000, kPi / 2); },
                   {{1.0f, 3}, {-1.0f, 3}}},
        NumberCase{"difference_wraps_as_32_bits", INT_MIN, INT_MAX, 0, nullptr,
                   [](PublicParamInt& p) { p.AddLinearKey(0, 1, -2000000000, 2000000000); },
                   {{0.5f, -2147483648.0}}},
        NumberCase{"out_of_bounds_constant", 0, 10, 1, nullptr,
                   [](PublicParamInt& p) { p.AddConstantKey(0, 5, 11); }, {{1.0f, 1}, {6.0f, 1}}},
        NumberCase{"no_keys", -2e9, 2e9, 42, nullptr, [](PublicParamInt&) {}, {{0.0f, 42}, {9.0f, 42}}}),
    [](const ::testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

TEST(StringParam, TextIsCutToMaxLength)
{
    struct Case {
        const char* text;
        const char* kept;
    } cases[] = {{"abcdef", "abc"}, {"abc", "abc"}, {"ab", "ab"}, {"", ""}};
    PublicParamString param("s", "", 3);
    for (const Case& c : cases) {
        param.SetValue(c.text);
        EXPECT_STREQ(param.m_value, c.kept);
    }
    // A later maximum cuts later texts only.
    param.SetValue("xyz");
    param.SetMaxLength(1);
    EXPECT_STREQ(param.m_value, "xyz");
    param.SetValue("pq");
    EXPECT_STREQ(param.m_value, "p");
    // The constructor applies the maximum too; a negative one keeps nothing.
    PublicParamString cut("c", "hello", 2);
    EXPECT_STREQ(cut.m_value, "he");
    PublicParamString none("n", "hello", -5);
    EXPECT_STREQ(none.m_value, "");
}

TEST(StringParam, ConstantKeysShadowAndLeaveTheLastExpired)
{
    PublicParamString param("frase", "", 65536);
    param.AddConstantKey(12, 13, "con el pepino");
    param.AddConstantKey(13, 14, "...");
    param.AddConstantKey(13, 14, "en la mano.");
    param.AddLinearKey(0, 1, "a", "b"); // not added
    EXPECT_TRUE(param.m_linearKeys.empty());
    struct Step {
        float time;
        const char* text;
    } steps[] = {{11.0f, ""}, {12.5f, "con el pepino"}, {13.5f, "..."}, {14.5f, "en la mano."}, {20.0f, "en la mano."}};
    for (const Step& s : steps) {
        g_sequenceTime = s.time;
        EXPECT_STREQ(param.GetValue(), s.text) << "at " << s.time;
    }
    EXPECT_TRUE(param.m_constantKeys.empty());
}

TEST(Params, KeysSortedByStartKeepingAddOrder)
{
    PublicParamFloat p("p", 0, -1e30f, 1e30f);
    p.AddConstantKey(3, 4, 1);
    p.AddConstantKey(1, 2, 2);
    p.AddConstantKey(3, 5, 3);
    p.AddConstantKey(0, 0, 4);
    std::vector<float> values;
    for (ConstantKey<float>* k : p.m_constantKeys)
        values.push_back(k->m_value);
    EXPECT_EQ(values, (std::vector<float>{4, 2, 1, 3}));
}

TEST(Params, ToStringAndTextConstructors)
{
    PublicParamFloat f("f", "2.5", -1e30f, 1e30f);
    PublicParamInt i("i", "-17", -100, 100);
    PublicParamInt bad("b", "x", -100, 100);
    char* ft = f.ToString();
    char* it = i.ToString();
    EXPECT_STREQ(ft, "2.500000");
    EXPECT_STREQ(it, "-17");
    EXPECT_EQ(bad.m_value, 0);
    delete[] ft;
    delete[] it;
}

TEST(Params, DestroyedThroughTheBase)
{
    // Freed with their keys: the blocks they held are counted back to none
    // (and the sanitized build reports anything left).
    const size_t before = LiveBlocks();
    PublicParam* params[] = {new PublicParamFloat("f", 0, -1, 1), new PublicParamInt("i", 0, -1, 1),
                             new PublicParamString("s", "t", 10)};
    static_cast<PublicParamFloat*>(params[0])->AddSineKey(0, 1, 0, 1, 1);
    static_cast<PublicParamInt*>(params[1])->AddLinearKey(0, 1, 0, 1);
    static_cast<PublicParamString*>(params[2])->AddConstantKey(0, 1, "text");
    EXPECT_GT(LiveBlocks(), before + 5) << "three parameters and their three keys";
    for (PublicParam* p : params)
        delete p;
    EXPECT_EQ(LiveBlocks(), before) << "everything the parameters held is freed";
}

} // namespace
