// The key-evaluation walk that every parameter class runs.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "publicparamkeys.h"

namespace {

// What the walk handed out, in order: "held:<v>" or "computed:<v>".
struct Recorder {
    std::vector<std::string> applied;
    void Held(double v) { applied.push_back("held:" + std::to_string(v)); }
    void Computed(double v) { applied.push_back("computed:" + std::to_string(v)); }
};

template <typename... Lists>
std::vector<std::string> WalkAt(float now, Lists&... lists)
{
    Recorder r;
    keys::Walk(
        now, [&](auto v) { r.Held((double)v); }, [&](double v) { r.Computed(v); }, lists...);
    return r.applied;
}

template <typename Key>
struct OwnedList {
    std::list<Key*> keys;
    ~OwnedList() { keys::DestroyAll(keys); }
    OwnedList& Add(Key k)
    {
        keys::Insert(keys, new Key(k));
        return *this;
    }
};

TEST(KeyWalk, FirstActiveKeyOfTheFirstListWithOneEndsTheWalk)
{
    OwnedList<SineKey<float>> sines;
    OwnedList<LinearKey<float>> ramps;
    OwnedList<ConstantKey<float>> held;
    sines.Add({5, 6, 0, 1, 1});
    ramps.Add({0, 4, 0, 8});
    held.Add({0, 0, 3});
    // The sine key has not begun: the ramp answers and the constant is never looked at.
    EXPECT_EQ(WalkAt(1.0f, sines.keys, ramps.keys, held.keys), (std::vector<std::string>{"computed:2.000000"}));
    // The order of the lists is the caller's.
    EXPECT_EQ(WalkAt(1.0f, held.keys, ramps.keys), (std::vector<std::string>{"held:3.000000"}));
    EXPECT_EQ(ramps.keys.size(), 1u);
}

TEST(KeyWalk, ExpiredKeysOfLaterListsWaitAndThenApplyInListOrder)
{
    OwnedList<SineKey<float>> sines;
    OwnedList<LinearKey<float>> ramps;
    OwnedList<ConstantKey<float>> held;
    sines.Add({0, 10, 0, 0, 1});
    ramps.Add({1, 2, 0, 8});
    held.Add({1, 2, 5});
    // The sine key is active: the expired ramp and constant stay in their lists.
    EXPECT_EQ(WalkAt(3.0f, sines.keys, ramps.keys, held.keys), (std::vector<std::string>{"computed:0.000000"}));
    EXPECT_EQ(ramps.keys.size(), 1u);
    EXPECT_EQ(held.keys.size(), 1u);
    // Once it has expired (end value computed), each list gives its end value and empties.
    EXPECT_EQ(WalkAt(11.0f, sines.keys, ramps.keys, held.keys),
              (std::vector<std::string>{"computed:0.000000", "held:8.000000", "held:5.000000"}));
    EXPECT_TRUE(sines.keys.empty());
    EXPECT_TRUE(ramps.keys.empty());
    EXPECT_TRUE(held.keys.empty());
}

TEST(KeyWalk, HeldValuesPassAsStoredWithoutArithmetic)
{
    OwnedList<LinearKey<int32_t>> ramps;
    OwnedList<ConstantKey<uint32_t>> held;
    ramps.Add({0, 1, 0, INT_MAX});
    held.Add({0, 2, 0xFFFFFFFFu});
    std::vector<uint32_t> seen;
    auto keep = [&](auto v) { seen.push_back((uint32_t)v); };
    keys::Walk(5.0f, keep, [](double) {}, ramps.keys, held.keys);
    EXPECT_EQ(seen, (std::vector<uint32_t>{(uint32_t)INT_MAX, 0xFFFFFFFFu}));
}

TEST(KeyWalk, IntegerDifferencesWrapAsThirtyTwoBits)
{
    struct Case {
        int32_t from, to;
        double difference;
    } cases[] = {
        {0, 8, 8},
        {INT_MIN, INT_MAX, -1},
        {INT_MAX, INT_MIN, 1},
        {-2000000000, 2000000000, 4000000000.0 - 4294967296.0},
        {0x7FFFFFFF, (int32_t)0x80000000u, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keys::Difference(c.from, c.to), c.difference) << c.from << " to " << c.to;
    // Floats differ in double precision, beyond the float range too.
    EXPECT_EQ(keys::Difference(-3e38f, 3e38f), 2.0 * (double)3e38f);
}

TEST(KeyWalk, ValuesOfRampsAndSines)
{
    LinearKey<float> ramp{2, 4, 10, 20};
    EXPECT_DOUBLE_EQ(keys::ValueAt(&ramp, 3.0), 15.0);
    LinearKey<int32_t> wide{0, 1, INT_MIN, INT_MAX};
    EXPECT_DOUBLE_EQ(keys::ValueAt(&wide, 0.5), (double)INT_MIN - 0.5);
    SineKey<float> sine{1, 3, 2, 4, 0.5f};
    EXPECT_DOUBLE_EQ(keys::ValueAt(&sine, 2.0), 2.0 + 4.0 * std::sin(0.5));
    // A ramp of no duration gives a value that is not a number.
    LinearKey<float> flat{1, 1, 0, 5};
    EXPECT_TRUE(std::isnan(keys::ValueAt(&flat, 1.0)));
}

TEST(KeyWalk, AKeyWhoseStartIsNotANumberNeverBegins)
{
    OwnedList<ConstantKey<float>> held;
    held.Add({NAN, 1, 7});
    EXPECT_TRUE(WalkAt(0.5f, held.keys).empty());
    EXPECT_TRUE(WalkAt(NAN, held.keys).empty());
    EXPECT_EQ(held.keys.size(), 1u);
}

} // namespace
