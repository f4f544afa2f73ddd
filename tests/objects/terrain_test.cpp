// Terrain on the recording fake: ground heights, the mesh, the layers the
// capabilities and validation leave, the fall-backs, failures while building,
// and what a frame sets.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "camera.h"
#include "config.h"
#include "fake_d3d9.h"
#include "fake_engine.h"
#include "renderer.h"
#include "scene.h"
#include "terrain.h"
#include "terrain_files.h"
#include "texturecache.h"

using terraintest::WriteBmp;

namespace {

// The height map the height cases read (blue is the height; red and green
// differ so that only blue can give these values).
const BYTE kSamples[4][4] = {
    {0, 64, 128, 255},
    {128, 128, 200, 100},
    {50, 60, 70, 80},
    {255, 0, 10, 20},
};

class TerrainTest : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        WriteBmp("data/textures/height4.bmp", 4, 4,
                 [](int x, int y) { return 0x123400u | kSamples[y][x]; });
        WriteBmp("data/textures/base.bmp", 8, 8, [](int, int) { return 0x80C040u; });
        WriteBmp("data/textures/detail.bmp", 16, 16, [](int x, int) { return x % 4 < 2 ? 0xFF8080u : 0x408080u; });
    }

    void TearDown() override
    {
        FakeEngineTest::TearDown();
        delete m_config;
        m_config = nullptr;
    }

    // A configuration with validation skipped.
    void SkipValidation()
    {
        std::ofstream("config.xml") << "<main><skipValidation>true</skipValidation></main>";
        m_config = new Config();
        g_pConfig = m_config;
    }

    FakeDevice* Device() { return fake.LastDevice(); }

    Terrain* Make(bool detail, bool bump, int resolution = 64, const char* height = "height4.bmp")
    {
        return new Terrain(height, "base.bmp", "detail.bmp", resolution, 1024, 64, detail, bump);
    }

    // Stage state as the terrain's block would apply it.
    DWORD Recorded(Terrain* t, DWORD stage, D3DTEXTURESTAGESTATETYPE type)
    {
        FakeStateBlock* block = fake.AsFake(t->m_estado);
        return block && block->CarriesStageState(stage, type) ? block->StageState(stage, type) : 0xDEADu;
    }

private:
    Config* m_config = nullptr;
};

// ---- Ground heights ----------------------------------------------------------

struct HeightCase {
    const char* name;
    float x, z;
    float expected;
};

void PrintTo(const HeightCase& c, std::ostream* os) { *os << c.name; }

class TerrainHeights : public TerrainTest, public ::testing::WithParamInterface<HeightCase> {};

// A 4 x 4 grid over 1024 units: cells of 256, sample (r, c) at
// x = 256 c - 512, z = 256 r - 512; a height is (s - 128) / 4.
TEST_P(TerrainHeights, FollowTheDrawnTriangles)
{
    const HeightCase& c = GetParam();
    Terrain* t = Make(false, false, 4);
    EXPECT_FLOAT_EQ(t->GetHeight(c.x, c.z), c.expected) << c.name;
    delete t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerrainHeights,
    ::testing::Values(HeightCase{"sample 0", -512, -512, -32.0f}, HeightCase{"sample 128", -256, -256, 0.0f},
                      HeightCase{"sample 200", 0, -256, 18.0f}, HeightCase{"sample 255", -512, 256, 31.75f},
                      // fx = 0.5, fz = 0.25: the near triangle, 0 + 0.25 * 128 + 0.5 * 64.
                      HeightCase{"near triangle", -384, -448, -16.0f},
                      // fx = 0.75, fz = 0.5: the far one, 128 + 0.25 * 0 + 0.5 * (64 - 128).
                      HeightCase{"far triangle", -320, -384, -8.0f},
                      // fx = 0.25, fz = 0.75 lies on the diagonal: 112 from either side.
                      HeightCase{"on the diagonal", -448, -320, -4.0f},
                      // The last column: held along it, between rows 0 and 1 (255 and 100).
                      HeightCase{"last column strip", 384, -384, 12.375f},
                      HeightCase{"last column sample", 256, -512, 31.75f},
                      HeightCase{"far corner, inside", 512, 512, -27.0f},
                      HeightCase{"last row strip", -512, 400, 31.75f}, HeightCase{"beyond x", 512.5f, 0, 0.0f},
                      HeightCase{"beyond -z", 0, -600, 0.0f}));

TEST_F(TerrainTest, HeightsStayInsideTheGridForAnyPoint)
{
    Terrain* t = Make(false, false, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float x : {nan, -512.0f, 511.999f, 512.0f})
        for (float z : {nan, -512.0f, 511.999f, 512.0f}) {
            const float h = t->GetHeight(x, z);
            EXPECT_TRUE(h >= -32.0f && h <= 31.75f) << x << ", " << z;
        }
    delete t;
    // A smaller extent leaves points inside +-512 beyond the grid: held at its edge.
    Terrain* small = new Terrain("height4.bmp", "base.bmp", "detail.bmp", 4, 256, 64, false, false);
    EXPECT_FLOAT_EQ(small->GetHeight(-500, -500), -32.0f);
    EXPECT_FLOAT_EQ(small->GetHeight(500, 500), -27.0f);
    delete small;
}

TEST_F(TerrainTest, AMissingHeightMapGivesFlatGround)
{
    Terrain* t = Make(false, false, 32, "missing.png");
    ASSERT_NE(t->m_heights, nullptr);
    for (float x : {-512.0f, -3.5f, 0.0f, 200.0f, 511.0f})
        EXPECT_EQ(t->GetHeight(x, x / 2), 0.0f);
    ASSERT_NE(t->m_pMesh, nullptr);
    // Every vertex at height 0, every normal straight up.
    const DWORD n = t->m_pMesh->GetNumVertices();
    const DWORD stride = t->m_pMesh->GetNumBytesPerVertex();
    BYTE* v = nullptr;
    ASSERT_EQ(t->m_pMesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
    int wrong = 0;
    for (DWORD i = 0; i < n; ++i) {
        const float* f = (const float*)(v + i * stride);
        if (f[1] != 0.0f || std::fabs(f[4] - 1.0f) > 1e-5f)
            ++wrong;
    }
    t->m_pMesh->UnlockVertexBuffer();
    EXPECT_EQ(wrong, 0);
    delete t;
}

// ---- The mesh ------------------------------------------------------------------

struct MeshCase {
    int resolution;
    DWORD vertices, faces;
    bool wide;
};

class TerrainMesh : public TerrainTest, public ::testing::WithParamInterface<MeshCase> {};

TEST_P(TerrainMesh, CountsAndIndexSize)
{
    const MeshCase& c = GetParam();
    Terrain* t = Make(true, true, c.resolution);
    ASSERT_NE(t->m_pMesh, nullptr);
    EXPECT_EQ(t->m_pMesh->GetNumVertices(), c.vertices);
    EXPECT_EQ(t->m_pMesh->GetNumFaces(), c.faces);
    EXPECT_EQ((t->m_pMesh->GetOptions() & D3DXMESH_32BIT) != 0, c.wide);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(t->m_pMesh->GetIndexBuffer(&ib), S_OK);
    D3DINDEXBUFFER_DESC desc;
    ib->GetDesc(&desc);
    EXPECT_EQ(desc.Format, c.wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16);
    EXPECT_EQ(desc.Size, 3 * c.faces * (c.wide ? 4u : 2u));
    ib->Release();
    EXPECT_EQ(t->m_pMesh->GetFVF(), 0x352u);
    EXPECT_EQ(t->m_pMesh->GetNumBytesPerVertex(), 52u);
    delete t;
}

INSTANTIATE_TEST_SUITE_P(Resolutions, TerrainMesh,
                         ::testing::Values(MeshCase{64, 4096, 7938, false}, MeshCase{128, 16384, 32258, true}));

struct RepeatCase {
    const char* name;
    bool detail, bump;
    DWORD maxRepeat;
    bool alternates;  // set 1 runs 0, 1, 0, 1 instead of 128 c / N
};

void PrintTo(const RepeatCase& c, std::ostream* os) { *os << c.name; }

class TerrainCoordinates : public TerrainTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(TerrainCoordinates, SetOneTilesAsTheRepeatLimitAllows)
{
    const RepeatCase& c = GetParam();
    g_d3dCaps.MaxTextureRepeat = c.maxRepeat;
    const int n = 32;
    Terrain* t = Make(c.detail, c.bump, n);
    ASSERT_NE(t->m_pMesh, nullptr);
    const DWORD stride = t->m_pMesh->GetNumBytesPerVertex();
    BYTE* v = nullptr;
    ASSERT_EQ(t->m_pMesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
    int wrong = 0;
    for (DWORD i = 0; i < t->m_pMesh->GetNumVertices(); ++i) {
        const float* f = (const float*)(v + i * stride);
        // Vertex (r, c) lies at x = (c - 16) * 32, z = (r - 16) * 32.
        const int col = (int)std::lround(f[0] / 32.0f) + 16, row = (int)std::lround(f[2] / 32.0f) + 16;
        const float* uv = f + 7;
        const float u1 = c.alternates ? (float)(col % 2) : 128.0f * col / n;
        const float v1 = c.alternates ? (float)(row % 2) : 128.0f * row / n;
        if (uv[0] != (float)col / n || uv[1] != (float)row / n || uv[2] != u1 || uv[3] != v1)
            ++wrong;
        if (stride == 52 && (uv[4] != 32.0f * col / n || uv[5] != 32.0f * row / n))
            ++wrong;
    }
    t->m_pMesh->UnlockVertexBuffer();
    EXPECT_EQ(wrong, 0) << c.name;
    delete t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerrainCoordinates,
    ::testing::Values(RepeatCase{"two sets, repeat enough", true, false, 8192, false},
                      RepeatCase{"two sets, repeat 31 below 32", true, false, 31, true},
                      RepeatCase{"two sets, repeat exactly 32", false, false, 32, false},
                      RepeatCase{"three sets ignore the limit", true, true, 31, false}));

TEST_F(TerrainTest, TheSurfaceFacesUpAndMatchesTheHeights)
{
    Terrain* t = Make(false, false, 4);
    ASSERT_NE(t->m_pMesh, nullptr);
    const DWORD stride = t->m_pMesh->GetNumBytesPerVertex();
    BYTE* v = nullptr;
    ASSERT_EQ(t->m_pMesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
    for (DWORD i = 0; i < t->m_pMesh->GetNumVertices(); ++i) {
        const float* f = (const float*)(v + i * stride);
        EXPECT_FLOAT_EQ(f[1], t->GetHeight(f[0], f[2])) << "vertex " << i;
        EXPECT_GT(f[4], 0.0f) << "normal of vertex " << i;
        EXPECT_EQ(*(const DWORD*)(f + 6), 0xFFFFFFFFu);
    }
    t->m_pMesh->UnlockVertexBuffer();
    delete t;
}

// ---- Layers: wishes, capabilities, validation ----------------------------------

struct LayerCase {
    const char* name;
    std::function<void(D3DCAPS9&)> caps;
    bool detailWish, bumpWish;
    bool detail, bump;
};

void PrintTo(const LayerCase& c, std::ostream* os) { *os << c.name; }

class TerrainLayers : public TerrainTest, public ::testing::WithParamInterface<LayerCase> {};

TEST_P(TerrainLayers, FollowTheCapabilities)
{
    const LayerCase& c = GetParam();
    // The capabilities the terrain reads; validation passes everything.
    if (c.caps)
        c.caps(g_d3dCaps);
    Terrain* t = Make(c.detailWish, c.bumpWish, 32);
    EXPECT_EQ(t->m_useDetail, c.detail) << c.name;
    EXPECT_EQ(t->m_useBumpMap, c.bump) << c.name;
    ASSERT_NE(t->m_pMesh, nullptr);
    EXPECT_EQ(t->m_pMesh->GetFVF(), c.detail && c.bump ? 0x352u : 0x252u);
    EXPECT_EQ(t->m_pNormalMap != nullptr, c.bump);
    EXPECT_EQ(t->m_pDetailTexture != nullptr, c.detail);
    // The recorded set-up is the one the flags name.
    const DWORD stage0 = Recorded(t, 0, D3DTSS_COLOROP);
    EXPECT_EQ(stage0, c.bump ? (DWORD)D3DTOP_DOTPRODUCT3 : (DWORD)D3DTOP_MODULATE);
    const DWORD stages = 1 + (c.bump ? 2 : 0) + (c.detail ? 1 : 0);
    if (stages < 4) {
        EXPECT_EQ(Recorded(t, stages, D3DTSS_COLOROP), (DWORD)D3DTOP_DISABLE) << c.name;
    }
    EXPECT_NE(Recorded(t, stages - 1, D3DTSS_COLOROP), (DWORD)D3DTOP_DISABLE) << c.name;
    delete t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerrainLayers,
    ::testing::Values(
        LayerCase{"everything there", nullptr, true, true, true, true},
        LayerCase{"bump alone", nullptr, false, true, false, true},
        LayerCase{"detail alone", nullptr, true, false, true, false},
        LayerCase{"plain", nullptr, false, false, false, false},
        LayerCase{"no dot product, bump alone wished",
                  [](D3DCAPS9& c) { c.TextureOpCaps &= ~D3DTEXOPCAPS_DOTPRODUCT3; }, false, true, true, false},
        LayerCase{"two stages, bump alone wished", [](D3DCAPS9& c) { c.MaxTextureBlendStages = 2; }, false, true,
                  true, false},
        LayerCase{"two stages, both wished", [](D3DCAPS9& c) { c.MaxTextureBlendStages = 2; }, true, true, true,
                  false},
        LayerCase{"one stage", [](D3DCAPS9& c) { c.MaxTextureBlendStages = 1; }, true, true, false, false},
        LayerCase{"one texture at once", [](D3DCAPS9& c) { c.MaxSimultaneousTextures = 1; }, true, true, false,
                  false},
        LayerCase{"three stages", [](D3DCAPS9& c) { c.MaxTextureBlendStages = 3; }, true, true, false, true},
        LayerCase{"two textures at once over four stages",
                  [](D3DCAPS9& c) {
                      c.MaxTextureBlendStages = 4;
                      c.MaxSimultaneousTextures = 2;
                  },
                  true, true, false, true},
        LayerCase{"no modulate, two stages",
                  [](D3DCAPS9& c) {
                      c.TextureOpCaps &= ~D3DTEXOPCAPS_MODULATE;
                      c.MaxTextureBlendStages = 2;
                  },
                  true, true, true, false}));

TEST_F(TerrainTest, TheRichestSetUpRecordsItsStagesInOrder)
{
    Terrain* t = Make(true, true);
    FakeStateBlock* block = fake.AsFake(t->m_estado);
    ASSERT_NE(block, nullptr);
    const struct {
        DWORD stage;
        DWORD index, op, arg1, arg2, alphaOp, alphaArg;
    } rows[] = {
        {0, 1, D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {1, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {2, 2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {3, 0xDEAD, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Recorded(t, r.stage, D3DTSS_TEXCOORDINDEX), r.index) << "stage " << r.stage;
        EXPECT_EQ(Recorded(t, r.stage, D3DTSS_COLOROP), r.op) << "stage " << r.stage;
        EXPECT_EQ(Recorded(t, r.stage, D3DTSS_COLORARG1), r.arg1) << "stage " << r.stage;
        EXPECT_EQ(Recorded(t, r.stage, D3DTSS_COLORARG2), r.arg2) << "stage " << r.stage;
        EXPECT_EQ(Recorded(t, r.stage, D3DTSS_ALPHAOP), r.alphaOp) << "stage " << r.stage;
        EXPECT_EQ(Recorded(t, r.stage, r.alphaOp == D3DTOP_SELECTARG1 ? D3DTSS_ALPHAARG1 : D3DTSS_ALPHAARG2),
                  r.alphaArg)
            << "stage " << r.stage;
    }
    EXPECT_FALSE(block->CarriesStageState(4, D3DTSS_COLOROP));
    const FakeStates& v = block->Values();
    EXPECT_EQ(v.textures[0], t->m_pNormalMap);
    EXPECT_EQ(v.textures[1], t->m_pBaseTexture);
    EXPECT_EQ(v.textures[2], t->m_pDetailTexture);
    EXPECT_FALSE(block->Mask().textures[3]);
    EXPECT_TRUE(block->Mask().transforms[D3DTS_WORLD]);
    EXPECT_TRUE(block->Mask().material);
    EXPECT_EQ(v.material.Diffuse.r, 1.0f);
    EXPECT_EQ(v.material.Ambient.g, 1.0f);
    EXPECT_EQ(v.material.Specular.r, 0.0f);
    for (int s = 0; s < 256; ++s)
        EXPECT_FALSE(block->Mask().rs[s]) << "render state " << s;
    for (int s = 0; s < FakeStates::kSamplers; ++s)
        for (int k = 0; k < FakeStates::kSamplerStates; ++k)
            EXPECT_FALSE(block->Mask().samp[s][k]);
    delete t;
}

struct FallBackCase {
    const char* name;
    bool detailWish, bumpWish;
    // Whether the device refuses the set-up its stages hold now.
    std::function<bool(FakeDevice*)> refuses;
    bool detail, bump;
    // The device's coordinate index of stages 0, 1, 2 after construction.
    DWORD index[3];
};

void PrintTo(const FallBackCase& c, std::ostream* os) { *os << c.name; }

class TerrainFallBacks : public TerrainTest, public ::testing::WithParamInterface<FallBackCase> {};

bool Dot3(FakeDevice* d) { return d->StageState(0, D3DTSS_COLOROP) == D3DTOP_DOTPRODUCT3; }
bool ThreeTextured(FakeDevice* d)
{
    return d->StageState(2, D3DTSS_COLOROP) == D3DTOP_MODULATE && d->StageState(2, D3DTSS_COLORARG1) == D3DTA_TEXTURE;
}

TEST_P(TerrainFallBacks, StepDownUntilTheDeviceAccepts)
{
    const FallBackCase& c = GetParam();
    FakeDevice* d = Device();
    fake.Fail("ValidateDevice", D3DERR_TOOMANYOPERATIONS).When([&](const FakeCall&) { return c.refuses(d); });
    Terrain* t = Make(c.detailWish, c.bumpWish, 32);
    EXPECT_EQ(t->m_useDetail, c.detail) << c.name;
    EXPECT_EQ(t->m_useBumpMap, c.bump) << c.name;
    ASSERT_NE(t->m_estado, nullptr);
    ASSERT_NE(t->m_pMesh, nullptr);
    EXPECT_EQ(t->m_pMesh->GetFVF(), 0x252u) << "a failed level leaves the two-set form";
    EXPECT_EQ(t->m_pDetailTexture != nullptr, c.detail);
    for (DWORD s = 0; s < 3; ++s)
        EXPECT_EQ(d->StageState(s, D3DTSS_TEXCOORDINDEX), c.index[s]) << c.name << ", stage " << s;
    // The block kept is the last one validated against.
    EXPECT_EQ(Recorded(t, 0, D3DTSS_COLOROP), c.bump ? (DWORD)D3DTOP_DOTPRODUCT3 : (DWORD)D3DTOP_MODULATE);
    delete t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerrainFallBacks,
    ::testing::Values(
        FallBackCase{"three textures refused", true, true, ThreeTextured, false, true, {1, 0, 2}},
        FallBackCase{"dot product refused, both wished", true, true, Dot3, true, false, {0, 1, 2}},
        FallBackCase{"dot product refused, bump alone wished", false, true, Dot3, true, false, {0, 1, 2}},
        FallBackCase{"everything refused", true, true, [](FakeDevice*) { return true; }, false, false,
                     {0, 1, 2}}));

TEST_F(TerrainTest, SkippedValidationKeepsTheFirstSetUp)
{
    SkipValidation();
    fake.Fail("ValidateDevice");
    Terrain* t = Make(true, true, 32);
    EXPECT_TRUE(t->m_useDetail);
    EXPECT_TRUE(t->m_useBumpMap);
    EXPECT_EQ(fake.Count("ValidateDevice"), 0u);
    delete t;
}

TEST_F(TerrainTest, AMissingDetailMapTurnsBumpOffBeforeTheSetUp)
{
    Terrain* t = new Terrain("height4.bmp", "base.bmp", "missing.dds", 32, 1024, 64, false, true);
    EXPECT_FALSE(t->m_useBumpMap);
    EXPECT_EQ(t->m_pNormalMap, nullptr);
    EXPECT_EQ(fake.Count("SetTextureStageState",
                         [](const FakeCall& c) { return c.Arg("Value") == D3DTOP_DOTPRODUCT3; }),
              0u)
        << "no bump set-up was recorded";
    ASSERT_NE(t->m_estado, nullptr);
    delete t;
}

// The ordinal, among the calls of `method`, of the first after call number
// `from` that names the texture `texture` (-1 when none does).
int OrdinalOf(const FakeD3D9& fake, const char* method, IDirect3DTexture9* texture, const char* arg, size_t from)
{
    int n = 0;
    for (const FakeCall& c : fake.Calls()) {
        if (c.method != method)
            continue;
        if (c.index > from && c.Arg(arg) == (uint64_t)(uintptr_t)texture)
            return n;
        ++n;
    }
    return -1;
}

// A normal map that cannot be made, or whose texels cannot be computed, is
// reported, and the terrain goes on without the bump layer: a bump stage
// with no normals would light every texel black.
TEST_F(TerrainTest, ANormalMapThatCannotBeMadeOrComputedIsReportedAndBumpGoesOff)
{
    // Where the normal map's creation and its computed write fall among the
    // calls when everything succeeds.
    fake.ClearLog();
    Terrain* good = Make(true, true, 32);
    ASSERT_TRUE(good->m_useBumpMap);
    ASSERT_NE(good->m_pNormalMap, nullptr);
    int creation = -1, n = 0;
    size_t created = 0;
    for (const FakeCall& c : fake.Calls())
        if (c.method == "CreateTexture" && c.Arg("Width") == 16 && c.Arg("Levels") == 1) {
            creation = n++;
            created = c.index;
        }
    const int write = OrdinalOf(fake, "LockRect", good->m_pNormalMap, "Texture", created);
    ASSERT_GE(creation, 0);
    ASSERT_GE(write, 0);
    delete good;

    const struct {
        const char* method;
        int after;
        const char* report;
    } cases[] = {
        {"CreateTexture", creation, "CreateTexture FAILED [Terrain]\n"},
        {"LockRect", write, "D3DXComputeNormalMap FAILED [Terrain]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        fake.ClearFailures();
        fake.ClearLog();
        FakeFailure& failure = fake.Fail(c.method).Times(1);
        if (std::string(c.method) == "CreateTexture") {
            failure.After(c.after).When(
                [](const FakeCall& call) { return call.Arg("Width") == 16 && call.Arg("Levels") == 1; });
        } else {
            // The first write once the normal map has been made: the computed texels.
            const FakeD3D9* f = &fake;
            const int made = creation;
            failure.When([f, made](const FakeCall& call) {
                int n = 0;
                for (const FakeCall& k : f->Calls())
                    n += k.method == "CreateTexture" && k.Arg("Width") == 16 && k.Arg("Levels") == 1;
                return n > made && !(call.Arg("Flags") & D3DLOCK_READONLY);
            });
        }
        testing::internal::CaptureStderr();
        Terrain* t = Make(true, true, 32);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(failure.Failed(), 1);
        EXPECT_EQ(said, c.report);
        EXPECT_FALSE(t->m_useBumpMap);
        EXPECT_TRUE(t->m_useDetail);
        EXPECT_EQ(t->m_pNormalMap, nullptr);
        EXPECT_EQ(fake.Count("SetTextureStageState",
                             [](const FakeCall& call) { return call.Arg("Value") == D3DTOP_DOTPRODUCT3; }),
                  0u);
        ASSERT_NE(t->m_estado, nullptr);
        // The detail level draws the ground.
        EXPECT_EQ(Recorded(t, 1, D3DTSS_COLOROP), (DWORD)D3DTOP_MODULATE);
        Camera camera;
        Scene scene;
        scene.Add(t);
        dev->BeginScene();
        fake.ClearLog();
        scene.Render(&camera, 0.0f);
        dev->EndScene();
        EXPECT_EQ(fake.Draws().size(), 1u);
        delete t;
    }
    fake.ClearFailures();
}

// ---- Failures while building -------------------------------------------------

class TerrainBuildFailures : public TerrainTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TerrainBuildFailures, LeaveNoMeshToDraw)
{
    fake.Fail(GetParam()).Times(1);
    Terrain* t = Make(false, false, 32, "missing.png");
    EXPECT_EQ(t->m_pMesh, nullptr) << GetParam();
    Camera camera;
    Scene scene;
    scene.Add(t);
    dev->BeginScene();
    fake.ClearLog();
    scene.Render(&camera, 0.0f);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());
    delete t;
}

INSTANTIATE_TEST_SUITE_P(Steps, TerrainBuildFailures,
                         ::testing::Values("CreateVertexBuffer", "CreateIndexBuffer", "VertexBuffer::Lock",
                                           "IndexBuffer::Lock"));

TEST_F(TerrainTest, AResolutionWithoutCellsHoldsNothing)
{
    for (int n : {-3, 0, 1, 100000}) {
        Terrain* t = Make(true, true, n);
        EXPECT_EQ(t->m_heights, nullptr) << n;
        EXPECT_EQ(t->m_pMesh, nullptr) << n;
        EXPECT_EQ(t->GetHeight(0, 0), 0.0f) << n;
        delete t;
    }
}

// ---- A frame ---------------------------------------------------------------------

TEST_F(TerrainTest, AFrameLightsTheBumpsFromTheViewAndPutsCoordinatesBack)
{
    Terrain* t = Make(true, true, 32);
    // The pose plays no part: the block sets the world to the identity.
    t->m_position = D3DXVECTOR3(100, 50, -20);
    t->m_yaw = 1.0f;
    t->m_scale = 3.0f;
    t->UpdateWorld();
    dev->SetTransform(D3DTS_WORLD, t->GetWorld());
    const struct {
        float element;  // the view's first element
        DWORD factor;
    } cases[] = {{0.0f, 0xFF80D9D9}, {1.0f, 0xFFCBB0D9}};
    for (const auto& c : cases) {
        Camera camera;
        D3DXMatrixIdentity(&camera.m_view);
        camera.m_view._11 = c.element;
        dev->BeginScene();
        fake.ClearLog();
        t->Render(&camera, 0.5f);
        dev->EndScene();
        ASSERT_EQ(fake.Draws().size(), 1u);
        const FakeDraw& draw = fake.Draws().front();
        EXPECT_EQ(draw.renderStates[D3DRS_TEXTUREFACTOR], c.factor) << c.element;
        EXPECT_EQ(draw.stageStates[0][D3DTSS_TEXCOORDINDEX], 1u);
        EXPECT_EQ(draw.stageStates[2][D3DTSS_TEXCOORDINDEX], 2u);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        EXPECT_EQ(std::memcmp(&draw.world, &identity, sizeof identity), 0) << "the pose plays no part";
        EXPECT_EQ(Device()->StageState(0, D3DTSS_TEXCOORDINDEX), 0u);
        EXPECT_EQ(Device()->StageState(1, D3DTSS_TEXCOORDINDEX), 1u);
        EXPECT_EQ(Device()->StageState(2, D3DTSS_TEXCOORDINDEX), 2u);
    }
    delete t;
}

TEST_F(TerrainTest, DirectionsPackIntoColourBytes)
{
    EXPECT_EQ(Terrain::DirectionToColor(D3DXVECTOR3(0, 0, 1), 1.0f), 0xFF8080FFu);
    EXPECT_EQ(Terrain::DirectionToColor(D3DXVECTOR3(-1, 1, 0), 0.5f), 0x7F01FF80u);
    // Outside the unit range each byte stays a byte.
    EXPECT_EQ(Terrain::DirectionToColor(D3DXVECTOR3(5, -5, std::nanf("")), 2.0f), 0xFFFF0000u);
}

} // namespace
