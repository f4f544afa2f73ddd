// The sliced terrain on the recording fake: slice counts and shapes, shared
// borders without cracks, heights, coordinates restarting in every slice,
// culling by the camera's frustum, the set-up's fall-backs and failures
// while building a slice.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "camera.h"
#include "config.h"
#include "fake_d3d9.h"
#include "fake_engine.h"
#include "renderer.h"
#include "slicedterrain.h"
#include "terrain_files.h"
#include "texturecache.h"

using terraintest::WriteBmp;

namespace {

struct Point {
    float x, y, z;
    bool operator<(const Point& o) const { return std::tie(x, y, z) < std::tie(o.x, o.y, o.z); }
    bool operator==(const Point& o) const { return x == o.x && y == o.y && z == o.z; }
};

class SlicedTerrainTest : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        // Rolling ground, so that slices differ and simplification has work.
        WriteBmp("data/textures/hills.bmp", 32, 32, [](int x, int y) {
            return 0x102000u | (DWORD)(128 + 60 * std::sin(x * 0.4) * std::cos(y * 0.3));
        });
        WriteBmp("data/textures/base.bmp", 8, 8, [](int, int) { return 0x80C040u; });
        WriteBmp("data/textures/detail.bmp", 16, 16, [](int x, int) { return x % 4 < 2 ? 0xFF8080u : 0x408080u; });
    }

    SlicedTerrain* Make(bool detail, bool bump, int resolution = 32, const char* height = "hills.bmp")
    {
        return new SlicedTerrain(height, "base.bmp", "detail.bmp", resolution, 1024, 64, detail, bump);
    }

    // Every vertex of the mesh as its floats.
    static std::vector<std::vector<float>> Vertices(ID3DXMesh* mesh)
    {
        std::vector<std::vector<float>> out;
        const DWORD stride = mesh->GetNumBytesPerVertex();
        BYTE* v = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
        for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
            const float* f = (const float*)(v + i * stride);
            out.emplace_back(f, f + stride / 4);
        }
        mesh->UnlockVertexBuffer();
        return out;
    }

    // The area the slice's triangles cover, seen from above.
    static double CoveredArea(ID3DXMesh* mesh)
    {
        const std::vector<std::vector<float>> v = Vertices(mesh);
        WORD* ib = nullptr;
        EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, (void**)&ib), S_OK);
        double area = 0;
        for (DWORD f = 0; f < mesh->GetNumFaces(); ++f) {
            const std::vector<float>&a = v[ib[f * 3]], &b = v[ib[f * 3 + 1]], &c = v[ib[f * 3 + 2]];
            area += 0.5 * std::fabs((double)(b[0] - a[0]) * (c[2] - a[2]) - (double)(c[0] - a[0]) * (b[2] - a[2]));
        }
        mesh->UnlockIndexBuffer();
        return area;
    }

    size_t DrawsSeenBy(SlicedTerrain* t, Camera& camera)
    {
        dev->BeginScene();
        fake.ClearLog();
        t->Render(&camera, 0.0f);
        dev->EndScene();
        return fake.Draws().size();
    }

    // A camera whose frustum holds everything: a huge sphere and planes
    // every point lies in front of.
    static Camera Everything()
    {
        Camera camera;
        camera.m_frustumCenter = D3DXVECTOR3(0, 0, 0);
        camera.m_frustumRadius = 1e6f;
        for (D3DXPLANE& p : camera.m_frustumPlanes)
            p = D3DXPLANE(0, 0, 0, 1);
        return camera;
    }
};

TEST_F(SlicedTerrainTest, SliceCountsFollowTheResolution)
{
    for (const auto& c : {std::make_pair(32, 4), std::make_pair(128, 16), std::make_pair(36, 4)}) {
        SlicedTerrain* t = Make(false, false, c.first);
        EXPECT_EQ(t->m_numSlices, c.second) << c.first;
        for (int k = 0; k < c.second * c.second; ++k)
            ASSERT_NE(t->m_pSlices[k], nullptr) << c.first << ", slice " << k;
        Camera camera = Everything();
        EXPECT_EQ(DrawsSeenBy(t, camera), (size_t)(c.second * c.second)) << c.first;
        delete t;
    }
}

// Slice (i, j) covers grid columns 8j - 1 (from the second on) to 8j + 7, and
// likewise rows; simplified, it still covers all of that, with fewer faces,
// in 16-bit indices.
TEST_F(SlicedTerrainTest, SlicesCoverTheirPartOfTheGridWithFewerFaces)
{
    SlicedTerrain* t = Make(false, false);
    const float cell = 32.0f;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            ID3DXMesh* m = t->m_pSlices[i * 4 + j];
            ASSERT_NE(m, nullptr);
            const int w = j > 0 ? 9 : 8, d = i > 0 ? 9 : 8;
            EXPECT_LT(m->GetNumFaces(), 2u * (w - 1) * (d - 1)) << i << ", " << j;
            EXPECT_EQ(m->GetOptions() & D3DXMESH_32BIT, 0u);
            EXPECT_NEAR(CoveredArea(m), (double)(w - 1) * (d - 1) * cell * cell, 1e-3) << i << ", " << j;
            const float x0 = (8 * j - (j > 0) - 16) * cell, z0 = (8 * i - (i > 0) - 16) * cell;
            for (const auto& v : Vertices(m)) {
                EXPECT_GE(v[0], x0);
                EXPECT_LE(v[0], x0 + (w - 1) * cell);
                EXPECT_GE(v[2], z0);
                EXPECT_LE(v[2], z0 + (d - 1) * cell);
                // Along a border a slice may keep upright slivers between its
                // kept border vertices: no normal points down.
                EXPECT_GE(v[4], 0.0f);
            }
        }
    delete t;
}

// Every grid vertex on the line two neighbouring slices share is a vertex of
// both, so the simplified slices meet without cracks.
TEST_F(SlicedTerrainTest, NeighboursShareEveryBorderVertex)
{
    SlicedTerrain* t = Make(false, false);
    const float cell = 32.0f;
    auto onLine = [&](ID3DXMesh* m, bool column, float at) {
        std::set<Point> out;
        for (const auto& v : Vertices(m))
            if ((column ? v[0] : v[2]) == at)
                out.insert({v[0], v[1], v[2]});
        return out;
    };
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            ID3DXMesh* m = t->m_pSlices[i * 4 + j];
            if (j < 3) {
                // Column 8j + 7, the first of the slice to the right.
                const float x = (8 * j + 7 - 16) * cell;
                const std::set<Point> mine = onLine(m, true, x), theirs = onLine(t->m_pSlices[i * 4 + j + 1], true, x);
                EXPECT_EQ(mine.size(), i > 0 ? 9u : 8u) << i << ", " << j;
                EXPECT_EQ(mine, theirs) << i << ", " << j << " and the slice to its right";
            }
            if (i < 3) {
                const float z = (8 * i + 7 - 16) * cell;
                const std::set<Point> mine = onLine(m, false, z), theirs = onLine(t->m_pSlices[(i + 1) * 4 + j], false, z);
                EXPECT_EQ(mine.size(), j > 0 ? 9u : 8u) << i << ", " << j;
                EXPECT_EQ(mine, theirs) << i << ", " << j << " and the slice below";
            }
        }
    delete t;
}

TEST_F(SlicedTerrainTest, HeightsLieBetweenZeroAndTheScale)
{
    // Samples 0, 128 and 255 in the first three columns.
    WriteBmp("data/textures/steps.bmp", 16, 16, [](int x, int) { return x == 0 ? 0u : x == 1 ? 128u : 255u; });
    SlicedTerrain* t = Make(false, false, 16, "steps.bmp");
    // Cells of 64: columns 0, 1, 2 at x = -512, -448, -384.
    EXPECT_FLOAT_EQ(t->GetHeight(-512, 0), -0.125f);
    EXPECT_FLOAT_EQ(t->GetHeight(-448, 0), 31.875f);
    EXPECT_FLOAT_EQ(t->GetHeight(-384, 0), 63.625f);
    EXPECT_FLOAT_EQ(t->GetHeight(-480, 0), (64 * 64.0f - 32) / 256) << "half way between 0 and 128";
    EXPECT_EQ(t->GetHeight(512.5f, 0), 0.0f);
    EXPECT_EQ(t->GetHeight(0, -600), 0.0f);
    // The last strip, beyond the last sample row and column, holds the edge.
    EXPECT_FLOAT_EQ(t->GetHeight(500, 500), 63.625f);
    std::set<float> ys;
    for (const auto& v : Vertices(t->m_pSlices[0]))
        ys.insert(v[1]);
    EXPECT_EQ(ys, (std::set<float>{-0.125f, 31.875f, 63.625f}));
    delete t;
}

struct CoordinateCase {
    const char* name;
    bool detail, bump;
    DWORD maxRepeat;
};

void PrintTo(const CoordinateCase& c, std::ostream* os) { *os << c.name; }

class SlicedCoordinates : public SlicedTerrainTest, public ::testing::WithParamInterface<CoordinateCase> {};

// Set 1 counts from the slice's own first column and row in the two-set
// form, from the grid's in the three-set form.
TEST_P(SlicedCoordinates, SetOneRestartsInEverySliceOfTheTwoSetForm)
{
    const CoordinateCase& c = GetParam();
    g_d3dCaps.MaxTextureRepeat = c.maxRepeat;
    SlicedTerrain* t = Make(c.detail, c.bump);
    const bool threeSets = c.detail && c.bump;
    const float n = 32, cell = 32;
    int wrong = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (const auto& v : Vertices(t->m_pSlices[i * 4 + j])) {
                const int col = (int)std::lround(v[0] / cell) + 16, row = (int)std::lround(v[2] / cell) + 16;
                const int k = col - (8 * j - (j > 0)), l = row - (8 * i - (i > 0));
                float u1 = 128 * k / n, v1 = 128 * l / n;
                if (threeSets) {
                    u1 = 128 * col / n;
                    v1 = 128 * row / n;
                } else if (c.maxRepeat < 32) {
                    u1 = (float)(k % 2);
                    v1 = (float)(l % 2);
                }
                if (v[7] != col / n || v[8] != row / n || v[9] != u1 || v[10] != v1)
                    ++wrong;
                if (threeSets && (v[11] != 32 * col / n || v[12] != 32 * row / n))
                    ++wrong;
            }
    EXPECT_EQ(wrong, 0) << c.name;
    delete t;
}

INSTANTIATE_TEST_SUITE_P(Cases, SlicedCoordinates,
                         ::testing::Values(CoordinateCase{"two sets", true, false, 8192},
                                           CoordinateCase{"two sets, little repeat", true, false, 16},
                                           CoordinateCase{"three sets", true, true, 16}));

TEST_F(SlicedTerrainTest, OnlySlicesMeetingTheFrustumAreDrawn)
{
    // Flat ground: the spheres differ only by the slices' sizes.
    SlicedTerrain* t = Make(false, false, 32, "missing.png");
    Camera camera = Everything();
    ASSERT_EQ(DrawsSeenBy(t, camera), 16u);

    // A plane keeping x >= 0: the first slice column lies wholly behind it.
    camera.m_frustumPlanes[2] = D3DXPLANE(1, 0, 0, 0);
    EXPECT_EQ(DrawsSeenBy(t, camera), 12u);

    // A plane at exactly minus the first slice's radius still draws it; just
    // beyond, the first slice (the smallest) goes and the others stay.
    camera = Everything();
    const float r0 = t->m_sliceRadii[0];
    for (int k = 1; k < 16; ++k)
        ASSERT_GT(t->m_sliceRadii[k], r0);
    camera.m_frustumPlanes[0] = D3DXPLANE(0, 0, 0, -r0);
    EXPECT_EQ(DrawsSeenBy(t, camera), 16u);
    camera.m_frustumPlanes[0] = D3DXPLANE(0, 0, 0, std::nextafter(-r0, -FLT_MAX));
    EXPECT_EQ(DrawsSeenBy(t, camera), 15u);

    // A frustum sphere by the first slice's centre that reaches only it.
    camera = Everything();
    camera.m_frustumCenter = t->m_sliceCenters[0];
    camera.m_frustumRadius = 1.0f;
    EXPECT_EQ(DrawsSeenBy(t, camera), 1u);
    // Far beyond the terrain nothing is drawn.
    camera.m_frustumCenter = D3DXVECTOR3(5000, 0, 0);
    camera.m_frustumRadius = 100.0f;
    EXPECT_EQ(DrawsSeenBy(t, camera), 0u);
    delete t;
}

TEST_F(SlicedTerrainTest, SpheresHoldTheirSlices)
{
    SlicedTerrain* t = Make(false, false);
    for (int k = 0; k < 16; ++k)
        for (const auto& v : Vertices(t->m_pSlices[k])) {
            const D3DXVECTOR3 d = D3DXVECTOR3(v[0], v[1], v[2]) - t->m_sliceCenters[k];
            EXPECT_LE(D3DXVec3Length(&d), t->m_sliceRadii[k] * 1.0001f) << "slice " << k;
        }
    delete t;
}

// The bump level refused: the detail level follows, whatever the
// configuration says about validation, with stage 2 disabled on the device.
TEST_F(SlicedTerrainTest, ARefusedBumpLevelFallsBackToDetail)
{
    std::ofstream("config.xml") << "<main><skipValidation>true</skipValidation></main>";
    Config config;
    g_pConfig = &config;
    FakeDevice* d = fake.LastDevice();
    fake.Fail("ValidateDevice", D3DERR_TOOMANYOPERATIONS).When([d](const FakeCall&) {
        return d->StageState(0, D3DTSS_COLOROP) == D3DTOP_DOTPRODUCT3;
    });
    SlicedTerrain* t = Make(false, true);
    EXPECT_FALSE(t->m_useBumpMap);
    EXPECT_TRUE(t->m_useDetail);
    EXPECT_EQ(d->StageState(2, D3DTSS_COLOROP), (DWORD)D3DTOP_DISABLE);
    EXPECT_EQ(d->StageState(2, D3DTSS_ALPHAOP), (DWORD)D3DTOP_DISABLE);
    EXPECT_EQ(d->StageState(0, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_EQ(d->StageState(1, D3DTSS_TEXCOORDINDEX), 1u);
    EXPECT_EQ(t->m_pSlices[0]->GetFVF(), 0x252u);
    EXPECT_GE(fake.Count("ValidateDevice"), 2u);
    delete t;
    g_pConfig = nullptr;
}

// The detail level records nothing for stage 2, the bump level nothing for stage 3.
TEST_F(SlicedTerrainTest, LevelsLeaveTheStageAfterTheirLastAlone)
{
    SlicedTerrain* detail = Make(true, false);
    ASSERT_TRUE(detail->m_useDetail);
    FakeStateBlock* block = fake.AsFake(detail->m_estado);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(block->CarriesStageState(1, D3DTSS_COLOROP));
    EXPECT_FALSE(block->CarriesStageState(2, D3DTSS_COLOROP));
    delete detail;
    g_d3dCaps.MaxTextureBlendStages = 3;  // bump without detail
    SlicedTerrain* t = Make(true, true);
    ASSERT_TRUE(t->m_useBumpMap);
    ASSERT_FALSE(t->m_useDetail);
    EXPECT_TRUE(fake.AsFake(t->m_estado)->CarriesStageState(2, D3DTSS_COLOROP));
    EXPECT_FALSE(fake.AsFake(t->m_estado)->CarriesStageState(3, D3DTSS_COLOROP));
    delete t;
}

// The grid mesh of the first slice cannot be made: that slice is never
// drawn, the others are.
TEST_F(SlicedTerrainTest, ASliceThatCannotBeMadeIsNotDrawn)
{
    fake.Fail("CreateVertexBuffer").Times(1);
    SlicedTerrain* t = Make(false, false);
    EXPECT_EQ(t->m_pSlices[0], nullptr);
    Camera camera = Everything();
    EXPECT_EQ(DrawsSeenBy(t, camera), 15u);
    delete t;
}

// The simplified mesh of the first slice cannot be made: the slice keeps
// its whole grid and is drawn.
TEST_F(SlicedTerrainTest, AFailedSimplificationKeepsTheWholeSlice)
{
    fake.Fail("CreateVertexBuffer").After(1).Times(1);
    SlicedTerrain* t = Make(false, false);
    ASSERT_NE(t->m_pSlices[0], nullptr);
    EXPECT_EQ(t->m_pSlices[0]->GetNumFaces(), 98u);
    EXPECT_NEAR(CoveredArea(t->m_pSlices[0]), 49.0 * 32 * 32, 1e-3);
    EXPECT_LT(t->m_pSlices[1]->GetNumFaces(), 112u);
    Camera camera = Everything();
    EXPECT_EQ(DrawsSeenBy(t, camera), 16u);
    delete t;
}

TEST_F(SlicedTerrainTest, AFrameLightsTheBumpsAndPutsCoordinatesBack)
{
    SlicedTerrain* t = Make(true, true);
    Camera camera = Everything();
    D3DXMatrixIdentity(&camera.m_view);
    ASSERT_EQ(DrawsSeenBy(t, camera), 16u);
    EXPECT_EQ(fake.Draws().front().renderStates[D3DRS_TEXTUREFACTOR], 0xFFCBB0D9u);
    EXPECT_EQ(fake.Draws().front().stageStates[0][D3DTSS_TEXCOORDINDEX], 1u);
    FakeDevice* d = fake.LastDevice();
    EXPECT_EQ(d->StageState(0, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_EQ(d->StageState(1, D3DTSS_TEXCOORDINDEX), 1u);
    EXPECT_EQ(d->StageState(2, D3DTSS_TEXCOORDINDEX), 2u);
    delete t;
}

TEST_F(SlicedTerrainTest, AResolutionWithoutSlicesHoldsNothing)
{
    for (int n : {-3, 0, 1, 7, 100000}) {
        SlicedTerrain* t = Make(true, true, n);
        EXPECT_EQ(t->m_numSlices, 0) << n;
        Camera camera = Everything();
        EXPECT_EQ(DrawsSeenBy(t, camera), 0u) << n;
        delete t;
    }
}

} // namespace
