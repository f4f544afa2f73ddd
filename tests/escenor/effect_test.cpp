// The effect base class: names, drivers, parameters and reference counts.
#include <gtest/gtest.h>

#include <string>

#include "effect.h"

namespace {

class CountingEffect : public Effect {
public:
    explicit CountingEffect(int* deleted = nullptr) : m_deleted(deleted)
    {
        SetName("CountingEffect");
        m_params.push_back(new PublicParamFloat("alpha", 1, -1e30f, 1e30f));
        m_params.push_back(new PublicParamFloat("alpha", 2, -1e30f, 1e30f));
        m_params.push_back(new PublicParamString("frase", "", 65536));
    }
    ~CountingEffect() override
    {
        if (m_deleted)
            (*m_deleted)++;
    }
    int Init() override
    {
        m_log += "I";
        return 7;
    }
    int Start() override
    {
        m_log += "S";
        return 8;
    }
    int Render(float t) override
    {
        m_log += "R";
        m_renderDeltas.push_back(m_delta);
        m_lastRendered = t;
        return 9;
    }
    std::string m_log;
    std::vector<float> m_renderDeltas;
    float m_lastRendered = 0;
    int* m_deleted;
};

TEST(Effect, FirstRenderRunsInitStartRenderOnce)
{
    CountingEffect e;
    EXPECT_EQ(e.DoRender(0.25f), 9);
    EXPECT_EQ(e.m_log, "ISR");
    EXPECT_EQ(e.DoInit(), 0);
    EXPECT_EQ(e.DoStart(), 0);
    EXPECT_EQ(e.m_log, "ISR");
}

TEST(Effect, DriversReturnTheResults)
{
    CountingEffect e;
    EXPECT_EQ(e.DoInit(), 7);
    EXPECT_EQ(e.DoStart(), 8);
    EXPECT_EQ(e.m_log, "IS");
    CountingEffect f;
    EXPECT_EQ(f.DoStart(), 8); // runs Init first
    EXPECT_EQ(f.m_log, "IS");
}

TEST(Effect, DeltaFollowsTheLastTime)
{
    CountingEffect e;
    e.DoRender(0.3f);
    e.DoRender(0.3f);
    e.DoRender(0.5f);
    e.DoRender(-1.0f); // leaves the last time at "never"
    e.DoRender(0.2f);
    ASSERT_EQ(e.m_renderDeltas.size(), 5u);
    EXPECT_FLOAT_EQ(e.m_renderDeltas[0], 0.3f);
    EXPECT_FLOAT_EQ(e.m_renderDeltas[1], 0.0f);
    EXPECT_FLOAT_EQ(e.m_renderDeltas[2], 0.2f);
    EXPECT_FLOAT_EQ(e.m_renderDeltas[3], -1.5f);
    EXPECT_FLOAT_EQ(e.m_renderDeltas[4], 0.2f);
}

TEST(Effect, NamesCountAcrossClasses)
{
    struct Other : Effect {
        Other() { SetName("Other"); }
        int Init() override { return 0; }
        int Start() override { return 0; }
        int Render(float) override { return 0; }
    };
    CountingEffect a;
    Other b;
    int n = g_effectCount;
    EXPECT_EQ(std::string(a.m_name), "CountingEffect #" + std::to_string(n - 1));
    EXPECT_EQ(std::string(b.m_name), "Other #" + std::to_string(n));
    b.SetName("Twice");
    EXPECT_EQ(std::string(b.m_name), "Twice #" + std::to_string(n + 1));

    struct Unnamed : Effect {
        int Init() override { return 0; }
        int Start() override { return 0; }
        int Render(float) override { return 0; }
    } unnamed;
    EXPECT_STREQ(unnamed.m_name, "Efecto sin nombre");
    EXPECT_EQ(g_effectCount, n + 1);
}

// The lookup by name and class: the first parameter of that name, and only
// when it is of the class asked for.
TEST(Effect, ParamOfChecksTheClass)
{
    CountingEffect e;
    EXPECT_EQ(ParamOf<PublicParamFloat>(&e, "alpha"), e.m_params[0]);
    EXPECT_EQ(ParamOf<PublicParamString>(&e, "frase"), e.m_params[2]);
    EXPECT_EQ(ParamOf<PublicParamInt>(&e, "alpha"), nullptr);
    EXPECT_EQ(ParamOf<PublicParamFloat>(&e, "frase"), nullptr);
    EXPECT_EQ(ParamOf<PublicParamFloat>(&e, "Alpha"), nullptr);
    EXPECT_EQ(ParamOf<PublicParamFloat>(nullptr, "alpha"), nullptr);
}

TEST(Effect, GetParamFindsTheFirstExactName)
{
    CountingEffect e;
    PublicParam* p = e.GetParam("alpha");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, e.m_params[0]);
    EXPECT_EQ(e.GetParam("frase"), e.m_params[2]);
#ifdef NDEBUG
    EXPECT_EQ(e.GetParam("Alpha"), nullptr);
    EXPECT_EQ(e.GetParam("alph"), nullptr);
#endif
}

TEST(Effect, ReleaseDeletesAtTheLastHolder)
{
    struct Case {
        int refs;
        int releasesToDelete;
    } cases[] = {{0, 1}, {1, 1}, {3, 3}, {10, 10}};
    for (const Case& c : cases) {
        int deleted = 0;
        CountingEffect* e = new CountingEffect(&deleted);
        for (int i = 0; i < c.refs; i++)
            e->AddRef();
        EXPECT_EQ(e->m_refCount, c.refs);
        for (int i = 1; i < c.releasesToDelete; i++) {
            e->Release();
            EXPECT_EQ(deleted, 0) << "refs " << c.refs << " release " << i;
        }
        e->Release();
        EXPECT_EQ(deleted, 1) << "refs " << c.refs;
    }
}

} // namespace
