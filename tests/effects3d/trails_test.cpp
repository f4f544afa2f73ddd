// The trail effects: their parameters, trails and dynamics, the arrow's path
// in the show, and captured frames of both on the real device.
#include <gtest/gtest.h>

#include <bass.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "escenor.h"
#include "fake_engine.h"
#include "objetoestela.h"
#include "pulpo.h"
#include "show_device.h"

namespace {

PublicParamFloat* F(Effect* e, const char* name)
{
    return static_cast<PublicParamFloat*>(e->GetParam(name));
}

PublicParamString* S(Effect* e, const char* name)
{
    return static_cast<PublicParamString*>(e->GetParam(name));
}

// The leading mesh and the trails of either class.
struct Trails {
    Scene* scene;
    TailMesh* leader;
    float* recorded[4]; // translacion, rotacion, alphaInc, escalaInc
};

Trails Of(CEstela& e)
{
    return {e.m_pEscena, e.m_pObjeto, {&e.m_dinamicaTranslacion, &e.m_dinamicaRotacion, &e.m_alphaInc, &e.m_escalaInc}};
}

TEST(TrailParams, BothClassesCreateTheSameThirteenParametersInOrder)
{
    const struct {
        const char* name;
        float value;
    } floats[] = {{"posx", 0},
                  {"posy", 0},
                  {"posz", 0},
                  {"rotx", 0},
                  {"roty", 0},
                  {"rotz", 0},
                  {"dinamicaTranslacion", 1},
                  {"dinamicaRotacion", 1},
                  {"alphaBase", 1},
                  {"alphaInc", 1},
                  {"escalaBase", 1},
                  {"escalaInc", 1}};
    CPulpo pulpo;
    CObjetoEstela estela;
    EXPECT_EQ(std::string(pulpo.m_name).rfind("CPulpo #", 0), 0u);
    EXPECT_EQ(std::string(estela.m_name).rfind("CObjetoEstela #", 0), 0u);
    for (Effect* e : {(Effect*)&pulpo, (Effect*)&estela}) {
        SCOPED_TRACE(e->m_name);
        ASSERT_EQ(e->m_params.size(), 13u);
        auto* file = dynamic_cast<PublicParamString*>(e->m_params[0]);
        ASSERT_NE(file, nullptr);
        EXPECT_STREQ(file->GetName(), "ficheroObjetoBase");
        EXPECT_STREQ(file->m_value, "");
        EXPECT_EQ(file->m_maxLength, 65536);
        for (size_t i = 0; i < 12; ++i) {
            auto* f = dynamic_cast<PublicParamFloat*>(e->m_params[i + 1]);
            ASSERT_NE(f, nullptr) << i;
            EXPECT_STREQ(f->GetName(), floats[i].name);
            EXPECT_EQ(f->m_value, floats[i].value) << floats[i].name;
            EXPECT_EQ(f->m_min, -1e30f) << floats[i].name;
            EXPECT_EQ(f->m_max, 1e30f) << floats[i].name;
        }
        EXPECT_EQ(e->Start(), 0);
    }
}

// ---- on the recording fake, with a square as the mesh

class TrailEffectTest : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        WriteFile("data/models/square.x", XSquareText());
        g_sequenceTime = 0.0f;
    }
    void TearDown() override
    {
        g_sequenceTime = 0.0f;
        FakeEngineTest::TearDown();
    }
    static void Prepare(Effect& e)
    {
        S(&e, "ficheroObjetoBase")->SetValue("square.x");
        F(&e, "posx")->SetValue(1.0f);
        F(&e, "dinamicaTranslacion")->SetValue(0.5f);
        F(&e, "dinamicaRotacion")->SetValue(0.25f);
        F(&e, "alphaInc")->SetValue(0.9f);
        F(&e, "escalaInc")->SetValue(0.95f);
    }
    void Render(Effect& e, float t)
    {
        dev->BeginScene();
        e.DoRender(t);
        dev->EndScene();
    }
    // Every copy's rates and factors set to a value no parameter gives.
    static void MarkCopies(TailMesh* leader)
    {
        for (auto& tail : leader->m_tails)
            for (TailMesh* copy : tail) {
                for (float& r : copy->m_rates)
                    r = 42.0f;
                copy->m_alphaFactor = copy->m_scaleFactor = 42.0f;
            }
    }
    static bool CopiesAre(TailMesh* leader, float dT, float dR, float aI, float eI)
    {
        for (auto& tail : leader->m_tails)
            for (TailMesh* copy : tail) {
                const float want[6] = {dT, dT, dT, dR, dR, dR};
                if (std::memcmp(want, copy->m_rates, sizeof want) != 0 || copy->m_alphaFactor != aI ||
                    copy->m_scaleFactor != eI)
                    return false;
            }
        return true;
    }
};

TEST_F(TrailEffectTest, PulpoLeadsEightTrailsOfFifteenTowardTheCubesCorners)
{
    CPulpo pulpo;
    Prepare(pulpo);
    ASSERT_EQ(pulpo.DoInit(), 0);
    Trails t = Of(pulpo);
    ASSERT_EQ(t.scene->m_objects.size(), 1u);
    EXPECT_EQ(t.scene->m_objects.front(), t.leader);
    ASSERT_EQ(t.leader->m_tails.size(), 8u);
    const float p = 0.15707964f;
    const float offsets[8][4] = {{-0.25f, 0.25f, -0.25f, p},   {0.25f, 0.25f, -0.25f, p},  {0.25f, -0.25f, -0.25f, -p},
                                 {-0.25f, -0.25f, -0.25f, -p}, {-0.25f, 0.25f, 0.25f, p},  {0.25f, 0.25f, 0.25f, p},
                                 {0.25f, -0.25f, 0.25f, -p},   {-0.25f, -0.25f, 0.25f, -p}};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(t.leader->m_tails[i].size(), 15u);
        for (TailMesh* copy : t.leader->m_tails[i]) {
            EXPECT_EQ((std::vector<float>(copy->m_offsets, copy->m_offsets + 6)),
                      (std::vector<float>{offsets[i][0], offsets[i][1], offsets[i][2], offsets[i][3], 0, 0}));
            EXPECT_EQ((std::vector<float>(copy->m_rates, copy->m_rates + 6)),
                      (std::vector<float>{0.5f, 0.5f, 0.5f, 0.25f, 0.25f, 0.25f}));
            EXPECT_EQ(copy->m_alphaFactor, 0.9f);
            EXPECT_EQ(copy->m_scaleFactor, 0.95f);
        }
    }
    EXPECT_EQ(t.leader->m_position.x, 1.0f);
    EXPECT_EQ(*t.recorded[0], 0.5f);
    EXPECT_EQ(*t.recorded[1], 0.25f);
    EXPECT_EQ(*t.recorded[2], 0.9f);
    EXPECT_EQ(*t.recorded[3], 0.95f);
}

TEST_F(TrailEffectTest, ObjetoEstelaLeadsOneTrailOfFive)
{
    CObjetoEstela estela;
    Prepare(estela);
    ASSERT_EQ(estela.DoInit(), 0);
    Trails t = Of(estela);
    ASSERT_EQ(t.scene->m_objects.size(), 1u);
    ASSERT_EQ(t.leader->m_tails.size(), 1u);
    ASSERT_EQ(t.leader->m_tails[0].size(), 5u);
    for (TailMesh* copy : t.leader->m_tails[0])
        EXPECT_EQ((std::vector<float>(copy->m_offsets, copy->m_offsets + 6)),
                  (std::vector<float>{0.5f, 0.5f, 0, 0, 0, 0}));
    // The file is read once: changing it later changes nothing.
    MeshResource* mesh = t.leader->GetMesh();
    S(&estela, "ficheroObjetoBase")->SetValue("other.x");
    Render(estela, 0.5f);
    EXPECT_EQ(t.leader->GetMesh(), mesh);
}

TEST_F(TrailEffectTest, DynamicsReachTheCopiesOnlyWhenOneOfThemChanged)
{
    CPulpo pulpo;
    Prepare(pulpo);
    ASSERT_EQ(pulpo.DoInit(), 0);
    TailMesh* leader = pulpo.m_pObjeto;
    MarkCopies(leader);

    // Constant dynamics: not even the first frame hands them on.
    for (float t : {0.0f, 0.1f, 0.2f}) {
        g_sequenceTime = t;
        Render(pulpo, t);
    }
    EXPECT_TRUE(CopiesAre(leader, 42, 42, 42, 42));

    // A key that moves alphaInc alone: every frame of its span hands on all four.
    F(&pulpo, "alphaInc")->AddLinearKey(1, 3, 1.0f, 0.5f);
    for (float t : {1.5f, 2.5f}) {
        g_sequenceTime = t;
        MarkCopies(leader);
        Render(pulpo, t / 10);
        const float aI = 1.0f + (0.5f - 1.0f) * (t - 1) / 2;
        EXPECT_NEAR(pulpo.m_alphaInc, aI, 1e-6) << t;
        EXPECT_TRUE(CopiesAre(leader, 0.5f, 0.25f, pulpo.m_alphaInc, 0.95f)) << t;
    }
    // Past the key the value rests: nothing more is handed on.
    g_sequenceTime = 4.0f;
    Render(pulpo, 0.4f);
    MarkCopies(leader);
    g_sequenceTime = 5.0f;
    Render(pulpo, 0.5f);
    EXPECT_TRUE(CopiesAre(leader, 42, 42, 42, 42));

    // A recorded NaN never equals the parameter: handed on again.
    pulpo.m_escalaInc = std::numeric_limits<float>::quiet_NaN();
    Render(pulpo, 0.6f);
    EXPECT_TRUE(CopiesAre(leader, 0.5f, 0.25f, 0.5f, 0.95f));
    EXPECT_EQ(pulpo.m_escalaInc, 0.95f);
}

TEST_F(TrailEffectTest, DestroyingAnInitialisedEffectReleasesItsMeshAndTrails)
{
    const size_t deviceOnly = fake.LiveObjects();
    for (int k = 0; k < 2; ++k) {
        Effect* e = k == 0 ? (Effect*)new CPulpo() : (Effect*)new CObjetoEstela();
        Prepare(*e);
        ASSERT_EQ(e->DoInit(), 0);
        Render(*e, 0.1f);
        e->Release();
        // The device holds the last drawn buffers until they are unbound.
        dev->SetStreamSource(0, nullptr, 0, 0);
        dev->SetIndices(nullptr);
        EXPECT_EQ(fake.LiveObjects(), deviceOnly) << k;
    }
    // Never initialised: nothing to free.
    CPulpo idle;
}

// ---- the built show on the real device

class TrailsInShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
        g_sequenceTime = 0.0f;
        m_show = new Escenor("fichero_script.qvs");
    }
    void TearDown() override
    {
        delete m_show;
        m_show = nullptr;
        BASS_Free();
        g_sequenceTime = 0.0f;
        if (ShowDevice())
            ResetStates();
    }

    template <typename T>
    T* Find(ScheduleItem** entry)
    {
        for (ScheduleItem* item : m_show->m_pendingItems)
            if (T* e = dynamic_cast<T*>(item->m_pEffect)) {
                *entry = item;
                return e;
            }
        return nullptr;
    }

    // Plays the entry from its start to `until` at `fps` and returns the
    // last frame.
    static Frame Play(Effect* e, const ScheduleItem& entry, float until, float fps)
    {
        Frame f;
        for (int i = 0;; ++i) {
            const float t = std::min(entry.m_start + i / fps, until);
            g_sequenceTime = t;
            BeginFrame(0xFF000000);
            e->DoRender((t - entry.m_start) / (entry.m_end - entry.m_start));
            f = EndFrame();
            if (t >= until)
                return f;
        }
    }

    Escenor* m_show = nullptr;
};

// Where a world point lands on the screen, with the transforms of the last
// frame; false behind the eye. `depth` gets its distance along the view.
bool ScreenOf(const D3DXVECTOR3& p, float* x, float* y, float* depth = nullptr)
{
    D3DXMATRIX view, projection;
    m_pd3dDevice->GetTransform(D3DTS_VIEW, &view);
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX vp = view * projection;
    D3DXVECTOR4 c;
    D3DXVec3Transform(&c, &p, &vp);
    if (depth)
        *depth = c.w;
    if (c.w <= 0.0f)
        return false;
    *x = (c.x / c.w + 1.0f) * 0.5f * kScreenW;
    *y = (1.0f - c.y / c.w) * 0.5f * kScreenH;
    return true;
}

bool Lit(const Frame& f, int x, int y)
{
    return (f.At(x, y) & 0xFFFFFF) != 0;
}

bool LitNear(const Frame& f, float cx, float cy, int r)
{
    for (int y = (int)cy - r; y <= (int)cy + r; ++y)
        for (int x = (int)cx - r; x <= (int)cx + r; ++x)
            if (x >= 0 && y >= 0 && x < f.width && y < f.height && Lit(f, x, y))
                return true;
    return false;
}

// The leader and every copy, in drawing order.
std::vector<TailMesh*> Drawn(TailMesh* leader)
{
    std::vector<TailMesh*> all = {leader};
    for (auto& tail : leader->m_tails)
        all.insert(all.end(), tail.begin(), tail.end());
    return all;
}

// Every drawn object whose origin is on the screen is lit there, and every
// lit pixel lies within an arrow's reach of some object. Returns how many
// objects were on the screen.
int ExpectArrowsWhereTheObjectsAre(const Frame& f, const std::vector<TailMesh*>& objects)
{
    struct Spot {
        float x, y, reach;
    };
    std::vector<Spot> spots;
    int onScreen = 0;
    for (TailMesh* o : objects) {
        D3DXVECTOR3 origin(o->m_world._41, o->m_world._42, o->m_world._43);
        float x, y, ex, ey, depth;
        D3DXVECTOR3 edge = origin + D3DXVECTOR3(0.3f * o->m_scale, 0, 0);
        if (!ScreenOf(origin, &x, &y, &depth) || !ScreenOf(edge, &ex, &ey))
            continue;
        spots.push_back({x, y, std::fabs(ex - x) + 2});
        // Arrows reaching through the near plane (1) are cut there.
        const bool whole = depth > 1.0f + 0.3f * o->m_scale;
        if (whole && x >= 4 && y >= 4 && x < kScreenW - 4 && y < kScreenH - 4) {
            ++onScreen;
            EXPECT_TRUE(LitNear(f, x, y, 3)) << "object at " << x << ", " << y;
        }
    }
    int stray = 0;
    for (int y = 0; y < f.height; y += 3)
        for (int x = 0; x < f.width; x += 3) {
            if (!Lit(f, x, y))
                continue;
            bool near = false;
            for (const Spot& s : spots)
                near = near || std::hypot(x - s.x, y - s.y) <= s.reach;
            stray += !near;
        }
    EXPECT_EQ(stray, 0);
    return onScreen;
}

TEST_F(TrailsInShow, ObjetoEstelaGoesOnceAroundItsRectangleFromTwoToFourSeconds)
{
    ScheduleItem* entry = nullptr;
    CObjetoEstela* estela = Find<CObjetoEstela>(&entry);
    ASSERT_NE(estela, nullptr);
    EXPECT_FLOAT_EQ(entry->m_start, 2.0f);
    EXPECT_FLOAT_EQ(entry->m_end, 4.0f);
    EXPECT_FLOAT_EQ(entry->m_layer, 7.0f);
    auto at = [&](const char* name, float t) {
        g_sequenceTime = t;
        return F(estela, name)->GetValue();
    };
    auto expectAt = [&](float t, float x, float y) {
        EXPECT_FLOAT_EQ(at("posx", t), x) << t;
        EXPECT_FLOAT_EQ(at("posy", t), y) << t;
        EXPECT_FLOAT_EQ(at("posz", t), 0.0f) << t;
    };
    ASSERT_EQ(estela->DoInit(), 0);
    // Keys expire as time passes them, so the walk only goes forward: each
    // leg's first corner, then mid-leg, where the arrow's own -y axis
    // points where it travels; then the last corner, the first again.
    const struct {
        float x, y;
    } corners[] = {{-1.95f, 1.2f}, {1.95f, 1.2f}, {1.95f, -1.2f}, {-1.95f, -1.2f}};
    for (int leg = 0; leg < 4; ++leg) {
        const float start = 2.0f + 0.5f * leg, t = start + 0.25f;
        SCOPED_TRACE(t);
        expectAt(start, corners[leg].x, corners[leg].y);
        const D3DXVECTOR2 before(at("posx", t - 0.05f), at("posy", t - 0.05f));
        g_sequenceTime = t;
        BeginFrame(0xFF000000);
        estela->DoRender((t - 2.0f) / 2.0f);
        EndFrame();
        const D3DXVECTOR2 after(at("posx", t + 0.05f), at("posy", t + 0.05f));
        D3DXVECTOR2 travel = after - before;
        travel /= D3DXVec2Length(&travel);
        const D3DXMATRIX& w = estela->m_pObjeto->m_world;
        EXPECT_NEAR(-w._21, travel.x, 1e-4);
        EXPECT_NEAR(-w._22, travel.y, 1e-4);
        EXPECT_NEAR(-w._23, 0.0f, 1e-4);
    }
    expectAt(4.0f, -1.95f, 1.2f);
}

TEST_F(TrailsInShow, CapturedFrameOfObjetoEstelaShowsTheArrowAndItsTrail)
{
    ScheduleItem* entry = nullptr;
    CObjetoEstela* estela = Find<CObjetoEstela>(&entry);
    ASSERT_NE(estela, nullptr);
    ASSERT_EQ(estela->DoInit(), 0);
    Frame f = Play(estela, *entry, 2.25f, 60);
    ASSERT_EQ(f.width, kScreenW);
    TailMesh* leader = estela->m_pObjeto;
    EXPECT_NEAR(leader->m_position.x, 0.0f, 1e-5);
    EXPECT_NEAR(leader->m_position.y, 1.2f, 1e-5);
    EXPECT_FLOAT_EQ(leader->m_alpha, 0.8f);
    EXPECT_GE(ExpectArrowsWhereTheObjectsAre(f, Drawn(leader)), 2);

    // The leader points along +x: its pink head right of its cyan fins.
    float cx, cy;
    ASSERT_TRUE(ScreenOf(D3DXVECTOR3(0, 1.2f, 0), &cx, &cy));
    double pinkX = 0, cyanX = 0;
    int pink = 0, cyan = 0;
    for (int y = (int)cy - 20; y <= (int)cy + 20; ++y)
        for (int x = (int)cx - 40; x <= (int)cx + 40; ++x) {
            const int r = f.R(x, y), g = f.G(x, y), b = f.B(x, y);
            if (r > 90 && b > 40 && g < b) {
                pinkX += x;
                ++pink;
            } else if (b > 90 && g > 60 && r < g) {
                cyanX += x;
                ++cyan;
            }
        }
    ASSERT_GT(pink, 10);
    ASSERT_GT(cyan, 5);
    EXPECT_GT(pinkX / pink, cx + 5);
    EXPECT_LT(cyanX / cyan, cx - 10);
}

TEST_F(TrailsInShow, CapturedFrameOfPulpoShowsTheArrowAndItsEightTrails)
{
    ScheduleItem* entry = nullptr;
    CPulpo* pulpo = Find<CPulpo>(&entry);
    ASSERT_NE(pulpo, nullptr);
    EXPECT_FLOAT_EQ(entry->m_start, 5.0f);
    EXPECT_FLOAT_EQ(entry->m_end, 18.0f);
    EXPECT_FLOAT_EQ(entry->m_layer, 8.0f);
    ASSERT_EQ(pulpo->DoInit(), 0);
    Frame f = Play(pulpo, *entry, 9.0f, 15);
    ASSERT_EQ(f.width, kScreenW);
    TailMesh* leader = pulpo->m_pObjeto;
    EXPECT_NEAR(leader->m_alpha, 4.0f / 13.0f, 1e-5);
    std::vector<TailMesh*> objects = Drawn(leader);
    ASSERT_EQ(objects.size(), 121u);
    EXPECT_GE(ExpectArrowsWhereTheObjectsAre(f, objects), 40);
    // Each trail's first copy is on the screen, around the leader.
    for (int i = 0; i < 8; ++i) {
        float x, y;
        TailMesh* first = leader->m_tails[i][0];
        ASSERT_TRUE(ScreenOf(D3DXVECTOR3(first->m_world._41, first->m_world._42, first->m_world._43), &x, &y));
        EXPECT_TRUE(x > 0 && y > 0 && x < kScreenW && y < kScreenH) << i;
    }
}

} // namespace
