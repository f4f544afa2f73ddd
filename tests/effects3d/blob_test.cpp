// The blob grid: its parameters, the field of the six centres cell by cell,
// the grid's placement, empty grids, what it frees, its keys in the show,
// the light it is lit by and a captured frame.
#include <gtest/gtest.h>

#include <bass.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "blob2dcompuesto.h"
#include "escenor.h"
#include "fake_engine.h"
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

// The field value of a cell as the formula gives it, in double precision.
double ExpectedCell(double f, int columns, int rows, int j, int i)
{
    const double hx = columns / 2.0, hy = rows / 2.0;
    const double cx[6] = {7 * cos(f) - 4 * sin(f),     4 * cos(f) + 7 * sin(2 * f), 5 * cos(f) - 5 * sin(3 * f),
                          8 * cos(f) + 2 * sin(2 * f), 4 * cos(3 * f) + 2 * sin(f), 5 * cos(f) + 4 * sin(2 * f)};
    const double cy[6] = {4 * cos(2 * f) + 7 * sin(f), 7 * cos(3 * f) + 4 * sin(f), 5 * cos(2 * f) - 5 * sin(f),
                          2 * cos(f) + 8 * sin(2 * f), 2 * cos(2 * f) - 4 * sin(f), 5 * cos(f) + 2 * sin(3 * f)};
    double s = 0;
    for (int k = 0; k < 6; ++k) {
        const double dx = cx[k] + hx - j, dy = cy[k] + hy - i;
        const double d2 = dx * dx + dy * dy;
        s += 8999999488.0 / ((d2 < 1e-9 ? 1.0 : d2) * 500000.0) * 32767.0;
    }
    return std::min(1.0, std::max(0.0, s / 70000000.0));
}

TEST(BlobParams, SevenParametersInOrderWithTheirDefaults)
{
    CBlob2DCompuesto blob(32, 32);
    EXPECT_EQ(std::string(blob.m_name).rfind("CBlob2DCompuesto #", 0), 0u);
    EXPECT_EQ(blob.m_columnas, 32);
    EXPECT_EQ(blob.m_filas, 32);
    ASSERT_EQ(blob.m_params.size(), 7u);
    auto* file = dynamic_cast<PublicParamString*>(blob.m_params[0]);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file->GetName(), "ficheroObjeto");
    EXPECT_STREQ(file->m_value, "");
    EXPECT_EQ(file->m_maxLength, 65536);
    const struct {
        const char* name;
        float value;
    } floats[] = {{"alpha", 1.0f},        {"posx", -2.0f},        {"posy", 1.5f},
                  {"separacionx", 0.01f}, {"separaciony", 0.01f}, {"factor", 0.0f}};
    for (size_t i = 0; i < 6; ++i) {
        auto* p = dynamic_cast<PublicParamFloat*>(blob.m_params[i + 1]);
        ASSERT_NE(p, nullptr) << i;
        EXPECT_STREQ(p->GetName(), floats[i].name);
        EXPECT_EQ(p->m_value, floats[i].value);
        EXPECT_EQ(p->m_min, -1e30f);
        EXPECT_EQ(p->m_max, 1e30f);
    }
    EXPECT_EQ(blob.Start(), 0);
}

TEST(BlobField, OneCentreFallsWithTheSquareOfTheDistance)
{
    // At the centre itself the value of a distance of 1.
    EXPECT_EQ(CBlob2DCompuesto::Campo(0, 0), 589805952.0f);
    EXPECT_EQ(CBlob2DCompuesto::Campo(1, 0), 589805952.0f);
    EXPECT_EQ(CBlob2DCompuesto::Campo(0, -1), 589805952.0f);
    const struct {
        float dx, dy;
    } offsets[] = {{2, 0}, {3, 4}, {-0.5f, 0.5f}, {10, -10}, {0.01f, 0}};
    for (const auto& o : offsets) {
        const double d2 = (double)o.dx * o.dx + (double)o.dy * o.dy;
        EXPECT_NEAR(CBlob2DCompuesto::Campo(o.dx, o.dy) / (589805952.0 / d2), 1.0, 1e-6) << o.dx << ", " << o.dy;
    }
    // About 8.426 / d^2 of a cell's full value.
    EXPECT_NEAR(CBlob2DCompuesto::Campo(1, 0) / 70000000.0, 8.426, 1e-3);
}

// ---- on the recording fake, with a square as the mesh

class BlobTest : public FakeEngineTest {
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
        S(&e, "ficheroObjeto")->SetValue("square.x");
        F(&e, "alpha")->SetValue(0.25f);
        F(&e, "posx")->SetValue(-3.0f);
        F(&e, "posy")->SetValue(2.0f);
        F(&e, "separacionx")->SetValue(0.5f);
        F(&e, "separaciony")->SetValue(0.25f);
    }
    void Render(Effect& e, float t)
    {
        dev->BeginScene();
        e.DoRender(t);
        dev->EndScene();
    }
};

TEST_F(BlobTest, InitLaysTheGridRowByRowAtFullSize)
{
    CBlob2DCompuesto blob(5, 3);
    Prepare(blob);
    ASSERT_EQ(blob.DoInit(), 0);
    ASSERT_EQ(blob.CellCount(), 15);
    ASSERT_NE(blob.m_pCrowd, nullptr);
    EXPECT_FALSE(blob.m_pCrowd->m_useImpostors);
    // The crowd first, then every cell, all in the scene.
    ASSERT_EQ(blob.m_pEscena->m_objects.size(), 16u);
    EXPECT_EQ(blob.m_pEscena->m_objects.front(), blob.m_pCrowd);
    auto listed = std::next(blob.m_pEscena->m_objects.begin());
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 5; ++j) {
            CrowdMesh* cell = blob.m_instancias[i * 5 + j];
            EXPECT_EQ(*listed++, cell);
            EXPECT_EQ(cell->m_pMesh, blob.m_pCrowd->m_pMesh);
            EXPECT_EQ(cell->m_position, D3DXVECTOR3(-3.0f + j * 0.5f, 2.0f - i * 0.25f, 0.0f));
            EXPECT_EQ(cell->m_scale, 1.0f);
            EXPECT_EQ(cell->m_alpha, 0.25f);
            EXPECT_FALSE(cell->m_useImpostor);
        }
    EXPECT_EQ(fake.Count("CreateTexture"), 0u);
}

TEST_F(BlobTest, EveryCellTakesTheFieldOfTheSixCentres)
{
    CBlob2DCompuesto blob(32, 32);
    Prepare(blob);
    ASSERT_EQ(blob.DoInit(), 0);
    const float factors[] = {0.0f, 1.0f, 2.5f, 13.0f};
    const struct {
        int j, i;
    } cells[] = {{0, 0}, {31, 31}, {16, 16}, {20, 19}, {21, 21}, {5, 27}, {12, 8}, {25, 3}};
    for (float f : factors) {
        F(&blob, "factor")->SetValue(f);
        Render(blob, f / 40.0f);
        for (const auto& c : cells) {
            SCOPED_TRACE(testing::Message() << "factor " << f << " cell " << c.j << ", " << c.i);
            CrowdMesh* cell = blob.m_instancias[c.i * 32 + c.j];
            const double v = ExpectedCell(f, 32, 32, c.j, c.i);
            EXPECT_NEAR(cell->m_scale, v, 2e-5 + 2e-5 * v);
            EXPECT_EQ(cell->m_position.z, cell->m_scale);
            EXPECT_EQ(cell->m_position.x, -3.0f + c.j * 0.5f);
            EXPECT_EQ(cell->m_position.y, 2.0f - c.i * 0.25f);
            EXPECT_EQ(cell->m_alpha, 0.25f);
            EXPECT_TRUE(cell->m_twoSided);
        }
    }
    // With factor 0 the cell in column 21, row 21 holds centres 3 and 6.
    F(&blob, "factor")->SetValue(0.0f);
    Render(blob, 0.5f);
    EXPECT_EQ(blob.m_instancias[21 * 32 + 21]->m_scale, 1.0f);
    // Far from every centre the field nearly vanishes; never above 1.
    EXPECT_LT(blob.m_instancias[0]->m_scale, 0.1f);
    for (long long n = 0; n < blob.CellCount(); ++n) {
        EXPECT_LE(blob.m_instancias[n]->m_scale, 1.0f);
        EXPECT_GE(blob.m_instancias[n]->m_scale, 0.0f);
    }
}

TEST_F(BlobTest, AnOddGridPutsTheMidPointOnHalfACell)
{
    CBlob2DCompuesto blob(31, 9);
    Prepare(blob);
    ASSERT_EQ(blob.DoInit(), 0);
    F(&blob, "factor")->SetValue(0.7f);
    Render(blob, 0.1f);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 31; j += 3) {
            const double v = ExpectedCell(0.7, 31, 9, j, i);
            EXPECT_NEAR(blob.m_instancias[i * 31 + j]->m_scale, v, 2e-5 + 2e-5 * v) << j << ", " << i;
        }
}

TEST_F(BlobTest, ZeroOrNegativeSizesGiveAnEmptyGrid)
{
    const struct {
        int columns, rows;
    } sizes[] = {{0, 32}, {32, 0}, {-1, 5}, {5, -1}, {-4, -4}, {INT_MAX, -1}, {INT_MIN, INT_MIN}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.columns << " x " << s.rows);
        Effect* blob = new CBlob2DCompuesto(s.columns, s.rows);
        Prepare(*blob);
        ASSERT_EQ(blob->DoInit(), 0);
        EXPECT_EQ(static_cast<CBlob2DCompuesto*>(blob)->CellCount(), 0);
        EXPECT_EQ(static_cast<CBlob2DCompuesto*>(blob)->m_pEscena->m_objects.size(), 1u);
        Render(*blob, 0.5f);
        blob->Release();
    }
}

TEST_F(BlobTest, DestroyingTheEffectFreesTheCellsTheCrowdAndTheCamera)
{
    const size_t deviceOnly = fake.LiveObjects();
    Effect* blob = new CBlob2DCompuesto(4, 4);
    Prepare(*blob);
    ASSERT_EQ(blob->DoInit(), 0);
    Render(*blob, 0.2f);
    EXPECT_GT(fake.LiveObjects(), deviceOnly);
    blob->Release();
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    EXPECT_EQ(fake.LiveObjects(), deviceOnly);
    // Never initialised: nothing to free.
    CBlob2DCompuesto idle(4, 4);
}

// ---- the built show

class BlobInShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_sequenceTime = 0.0f;
        m_show = new Escenor("fichero_script.qvs");
        for (ScheduleItem* item : m_show->m_pendingItems)
            if (auto* b = dynamic_cast<CBlob2DCompuesto*>(item->m_pEffect)) {
                m_blob = b;
                m_entry = item;
            }
    }
    void TearDown() override
    {
        delete m_show;
        BASS_Free();
        g_sequenceTime = 0.0f;
        if (ShowDevice()) {
            m_pd3dDevice->LightEnable(0, FALSE);
            ResetStates();
        }
    }
    float At(const char* name, float t)
    {
        g_sequenceTime = t;
        return F(m_blob, name)->GetValue();
    }
    // Plays the entry from its start to `until` and returns the last frame.
    Frame Play(float until, float fps)
    {
        Frame f;
        for (int i = 0;; ++i) {
            const float t = std::min(m_entry->m_start + i / fps, until);
            g_sequenceTime = t;
            BeginFrame(0xFF000000);
            m_blob->DoRender((t - m_entry->m_start) / (m_entry->m_end - m_entry->m_start));
            f = EndFrame();
            if (t >= until)
                return f;
        }
    }
    // Lit pixels over the grid's part of the screen.
    static int LitPixels(const Frame& f)
    {
        int lit = 0;
        for (int y = 0; y < f.height; y += 2)
            for (int x = 0; x < f.width; x += 2)
                lit += (f.At(x, y) & 0xFFFFFF) != 0;
        return lit;
    }

    Escenor* m_show = nullptr;
    CBlob2DCompuesto* m_blob = nullptr;
    ScheduleItem* m_entry = nullptr;
};

TEST_F(BlobInShow, TheGridOfArrowsIsEntry28WithItsKeys)
{
    ASSERT_NE(m_blob, nullptr);
    EXPECT_EQ(m_blob->m_columnas, 32);
    EXPECT_EQ(m_blob->m_filas, 32);
    EXPECT_EQ(m_entry->m_start, 11.0f);
    EXPECT_EQ(m_entry->m_end, 18.0f);
    EXPECT_EQ(m_entry->m_layer, 7.0f);
    EXPECT_EQ(std::string(m_blob->m_name).rfind("CBlob2DCompuesto #", 0), 0u);
    g_sequenceTime = 0.0f;
    EXPECT_STREQ(S(m_blob, "ficheroObjeto")->GetValue(), "arrow.x");
    EXPECT_EQ(At("posx", 11), -3.2f);
    EXPECT_EQ(At("posy", 11), 2.4f);
    EXPECT_EQ(At("separacionx", 11), 0.21f);
    EXPECT_EQ(At("separaciony", 11), 0.155f);
    EXPECT_NEAR(At("factor", 11), 40.0f * 11 / 18, 1e-4);
    EXPECT_NEAR(At("factor", 17.5f), 40.0f * 17.5f / 18, 1e-4);
    // 0.3 from the start until 15 s, then from 1 down to 0 by 18 s.
    EXPECT_FLOAT_EQ(At("alpha", 11), 0.3f);
    EXPECT_FLOAT_EQ(At("alpha", 14.9f), 0.3f);
    EXPECT_FLOAT_EQ(At("alpha", 15.0f), 1.0f);
    EXPECT_FLOAT_EQ(At("alpha", 16.5f), 0.5f);
}

// Light 0, set and enabled after the default states were recorded, is
// carried by no state block: it stays on after ApplyDefaultStates and lights
// the cells; without it they stay dark.
TEST_F(BlobInShow, TheCellsAreLitByTheLightLeftOnAndDarkWithout)
{
    REQUIRE_DEVICE();
    ASSERT_NE(m_blob, nullptr);
    ASSERT_EQ(m_blob->DoInit(), 0);
    m_pd3dDevice->LightEnable(0, FALSE);
    const int dark = LitPixels(Play(12.0f, 1));
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof(light));
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 0};
    light.Direction = {0.3f, -0.3f, 1.0f};
    m_pd3dDevice->SetLight(0, &light);
    m_pd3dDevice->LightEnable(0, TRUE);
    const Frame f = Play(12.0f, 1);
    BOOL on = FALSE;
    m_pd3dDevice->GetLightEnable(0, &on);
    EXPECT_TRUE(on);
    EXPECT_GT(LitPixels(f), 1000);
    EXPECT_LT(dark, LitPixels(f) / 10);
}

TEST_F(BlobInShow, CapturedFrameShowsTheSwellingGrid)
{
    REQUIRE_DEVICE();
    ASSERT_NE(m_blob, nullptr);
    ASSERT_EQ(m_blob->DoInit(), 0);
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof(light));
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 0};
    light.Direction = {0.0f, 0.0f, 1.0f};
    m_pd3dDevice->SetLight(0, &light);
    m_pd3dDevice->LightEnable(0, TRUE);
    const Frame f = Play(16.0f, 1);
    ASSERT_EQ(f.width, kScreenW);
    EXPECT_FLOAT_EQ(m_blob->m_instancias[0]->m_alpha, 1.0f - 1.0f / 3.0f);

    // Cells at full size are drawn where they stand; cells shrunk to almost
    // nothing leave the screen dark around them.
    D3DXMATRIX view, projection;
    m_pd3dDevice->GetTransform(D3DTS_VIEW, &view);
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    const D3DXMATRIX vp = view * projection;
    int full = 0, litFull = 0, small = 0;
    double fullCover = 0, smallCover = 0;
    for (long long n = 0; n < m_blob->CellCount(); ++n) {
        CrowdMesh* cell = m_blob->m_instancias[n];
        D3DXVECTOR3 c;
        D3DXVec3TransformCoord(&c, &cell->m_position, &vp);
        const int x = (int)((c.x + 1) * 0.5f * kScreenW), y = (int)((1 - c.y) * 0.5f * kScreenH);
        if (x < 3 || y < 3 || x >= kScreenW - 3 || y >= kScreenH - 3)
            continue;
        int lit = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                lit += (f.At(x + dx, y + dy) & 0xFFFFFF) != 0;
        if (cell->m_scale == 1.0f) {
            ++full;
            litFull += lit > 0;
            fullCover += lit / 49.0;
        } else if (cell->m_scale < 0.15f) {
            ++small;
            smallCover += lit / 49.0;
        }
    }
    ASSERT_GT(full, 5);
    ASSERT_GT(small, 20);
    EXPECT_EQ(litFull, full);
    EXPECT_GT(fullCover / full, 3 * (smallCover / small));
}

} // namespace
