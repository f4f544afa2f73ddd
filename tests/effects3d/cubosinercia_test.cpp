// The swaying cubes on the recording fake: the states their block records,
// the draws of a frame, the sway on a scripted wall clock, the camera, the
// point sprites and the failures.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include "windows/win_internal.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cubosinercia.h"
#include "fake_engine.h"
#include "renderer.h"
#include "texturecache.h"
#include "utils.h"

namespace {

class CubesFake : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        PlatformScriptClocks(true, 1000);
        WriteTexture("textura.png", 0x336699);
        // Defaults recorded as the renderer would; then a state they undo.
        ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &m_defaults), S_OK);
        g_pDefaultStateBlock = m_defaults;
        dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    }
    void TearDown() override
    {
        PlatformRealClocks();
        g_pDefaultStateBlock = nullptr;
        if (m_defaults)
            m_defaults->Release();
        FakeEngineTest::TearDown();
    }

    FakeDevice* Fake() { return fake.LastDevice(); }

    // One frame of the effect at the given wall-clock reading.
    void Frame(CubosInercia& cubes, DWORD milliseconds, float t = 0.5f)
    {
        PlatformSetTimeGetTime(milliseconds);
        fake.ClearLog();
        dev->BeginScene();
        cubes.DoRender(t);
        dev->EndScene();
    }

    IDirect3DStateBlock9* m_defaults = nullptr;
};

// The swing of a cube of this speed at this clock reading.
float Swing(DWORD milliseconds, float speed)
{
    return static_cast<float>(std::sin(static_cast<double>(milliseconds) * 0.001) * speed * 0.03);
}

TextureCacheEntry* CacheEntry(const char* name)
{
    for (TextureCacheEntry* e : g_textureCache)
        if (std::strcmp(e->m_name, name) == 0)
            return e;
    return nullptr;
}

TEST_F(CubesFake, InitMakesTwentyFourCubesOnOneTextureAndRecordsItsStates)
{
    CubosInercia cubes;
    EXPECT_TRUE(cubes.m_params.empty());
    cubes.DoInit();

    auto buffers = fake.Find("CreateVertexBuffer");
    ASSERT_EQ(buffers.size(), 24u);
    for (const FakeCall* c : buffers) {
        EXPECT_EQ(c->Arg("Length"), 1296u);
        EXPECT_EQ(c->Arg("Usage"), (uint64_t)D3DUSAGE_WRITEONLY);
        EXPECT_EQ(c->Arg("FVF"), 0x152u);
        EXPECT_EQ(c->Arg("Pool"), (uint64_t)D3DPOOL_MANAGED);
    }
    EXPECT_EQ(fake.Count("CreateTexture"), 1u);
    TextureCacheEntry* entry = CacheEntry("textura.png");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->m_refCount, 24);

    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const CCube& left = cubes.m_cubosIzquierda[i];
        const CCube& right = cubes.m_cubosDerecha[i];
        EXPECT_EQ(left.m_baseX, -0.01f);
        EXPECT_EQ(right.m_baseX, 0.01f);
        for (const CCube* c : {&left, &right}) {
            EXPECT_EQ(c->m_baseY, 0.0f);
            EXPECT_EQ(c->m_baseZ, 1.01f);
            EXPECT_EQ(c->m_speed, 40.0f + 10 * i);
            EXPECT_EQ(c->m_pTexture, entry->m_pTexture);
            EXPECT_NE(c->m_pVB, nullptr);
        }
        EXPECT_EQ(left.m_color, 0x11FF1111u);
        EXPECT_EQ(right.m_color, 0x111111FFu);
        // Half-sizes from the first vertex, corner (-h, -h, -h).
        CubeVertex v[2];
        auto* lb = static_cast<FakeVertexBuffer*>(left.m_pVB);
        auto* rb = static_cast<FakeVertexBuffer*>(right.m_pVB);
        std::memcpy(&v[0], lb->Bytes().data(), sizeof(CubeVertex));
        std::memcpy(&v[1], rb->Bytes().data(), sizeof(CubeVertex));
        EXPECT_EQ(-v[0].x, i / 100.0f + 0.2f);
        EXPECT_EQ(-v[1].x, i / 100.0f + 0.2f + 0.0001f);
        EXPECT_EQ(v[0].color, 0x11FF1111u);
    }
    // The centre series and the point sprites are never made.
    for (const CCube& c : cubes.m_cubosCentro)
        EXPECT_EQ(c.m_pVB, nullptr);
    EXPECT_EQ(cubes.m_puntos.m_pVB, nullptr);

    ASSERT_NE(cubes.m_pEstado, nullptr);
    FakeStateBlock* block = fake.AsFake(cubes.m_pEstado);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->Type(), D3DSBT_ALL);
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } states[] = {{D3DRS_AMBIENT, 0x00FFFFFF},          {D3DRS_LIGHTING, FALSE},
                  {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},  {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
                  {D3DRS_CULLMODE, D3DCULL_CCW},        {D3DRS_ZWRITEENABLE, TRUE}};
    for (const auto& s : states)
        EXPECT_EQ(block->RenderState(s.state), s.value) << s.state;
    EXPECT_EQ(block->StageState(0, D3DTSS_COLOROP), (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(block->StageState(0, D3DTSS_COLORARG1), (DWORD)D3DTA_TEXTURE);
    EXPECT_EQ(block->StageState(0, D3DTSS_ALPHAOP), (DWORD)D3DTOP_SELECTARG1);
    EXPECT_EQ(block->StageState(0, D3DTSS_ALPHAARG1), (DWORD)D3DTA_TEXTURE);
    EXPECT_EQ(block->Values().fvf, 0x152u);
}

TEST_F(CubesFake, FaceTableGivesEveryFaceOutwardClockwiseTrianglesOverTheWholePicture)
{
    CubeVertex v[kCubeVertices];
    const float h = 0.25f;
    FillCubeVertices(v, h, 0x12345678);
    EXPECT_EQ(sizeof(v), 1296u);
    std::vector<std::string> normals;
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(f);
        const CubeVertex* face = &v[f * 6];
        D3DXVECTOR3 n(face[0].nx, face[0].ny, face[0].nz);
        EXPECT_FLOAT_EQ(D3DXVec3Length(&n), 1.0f);
        normals.push_back(std::to_string((int)n.x) + std::to_string((int)n.y) + std::to_string((int)n.z));
        for (int t = 0; t < 2; ++t) {
            const CubeVertex* tri = &face[t * 3];
            D3DXVECTOR3 a(tri[0].x, tri[0].y, tri[0].z), b(tri[1].x, tri[1].y, tri[1].z), c(tri[2].x, tri[2].y, tri[2].z);
            D3DXVECTOR3 ab = b - a, ac = c - a, cross;
            D3DXVec3Cross(&cross, &ab, &ac);
            // Clockwise seen from outside, in left-handed space: the cross
            // product points out of the cube, along the normal.
            EXPECT_GT(D3DXVec3Dot(&cross, &n), 0.0f);
            for (int k = 0; k < 3; ++k) {
                D3DXVECTOR3 p(tri[k].x, tri[k].y, tri[k].z);
                EXPECT_FLOAT_EQ(D3DXVec3Dot(&p, &n), h) << "on the face's plane";
                EXPECT_EQ(std::fabs(p.x), h);
                EXPECT_EQ(std::fabs(p.y), h);
                EXPECT_EQ(std::fabs(p.z), h);
                EXPECT_EQ(tri[k].nx, n.x);
                EXPECT_EQ(tri[k].color, 0x12345678u);
            }
        }
        const float uv[6][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(face[k].u, uv[k][0]);
            EXPECT_EQ(face[k].v, uv[k][1]);
        }
    }
    EXPECT_EQ(normals, (std::vector<std::string>{"00-1", "001", "010", "0-10", "-100", "100"}));
}

TEST_F(CubesFake, FrameAppliesItsBlockAndCameraAndDrawsThePairsFromTheSmallestUp)
{
    CubosInercia cubes;
    cubes.DoInit();
    // A square viewport: the projection keeps the camera's 640 x 480 aspect.
    D3DVIEWPORT9 square = {0, 0, 300, 300, 0.0f, 1.0f};
    dev->SetViewport(&square);
    Frame(cubes, 0);

    auto seq = fake.Sequence({"StateBlock::Apply", "SetTransform", "DrawPrimitive"});
    ASSERT_GE(seq.size(), 3u);
    EXPECT_EQ(seq[0], "StateBlock::Apply");
    EXPECT_EQ(fake.Find("StateBlock::Apply")[0]->Arg("StateBlock"), (uint64_t)(uintptr_t)cubes.m_pEstado);
    auto transforms = fake.Find("SetTransform");
    ASSERT_GE(transforms.size(), 2u);
    EXPECT_EQ(transforms[0]->Arg("State"), (uint64_t)D3DTS_VIEW);
    EXPECT_EQ(transforms[1]->Arg("State"), (uint64_t)D3DTS_PROJECTION);

    auto streams = fake.Find("SetStreamSource");
    const auto& draws = fake.Draws();
    ASSERT_EQ(draws.size(), 24u);
    ASSERT_EQ(streams.size(), 24u);
    for (int k = 0; k < 24; ++k) {
        SCOPED_TRACE(k);
        const CCube& cube = k % 2 ? cubes.m_cubosDerecha[k / 2] : cubes.m_cubosIzquierda[k / 2];
        EXPECT_EQ(streams[k]->Arg("StreamData"), (uint64_t)(uintptr_t)cube.m_pVB);
        EXPECT_EQ(streams[k]->Arg("Stride"), 36u);
        const FakeDraw& d = draws[k];
        EXPECT_EQ(d.method, "DrawPrimitive");
        EXPECT_EQ(d.type, D3DPT_TRIANGLELIST);
        EXPECT_EQ(d.primitiveCount, 12u);
        EXPECT_EQ(fake.CallAt(d.callIndex)->Arg("StartVertex"), 0u);
        EXPECT_EQ(d.fvf, 0x152u);
        EXPECT_EQ(d.textures[0], cube.m_pTexture);
        EXPECT_EQ(d.renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)TRUE);
        EXPECT_EQ(d.renderStates[D3DRS_LIGHTING], (DWORD)FALSE);
        EXPECT_EQ(d.renderStates[D3DRS_SRCBLEND], (DWORD)D3DBLEND_SRCALPHA);
        EXPECT_EQ(d.renderStates[D3DRS_DESTBLEND], (DWORD)D3DBLEND_INVSRCALPHA);
        EXPECT_EQ(d.renderStates[D3DRS_CULLMODE], (DWORD)D3DCULL_CCW);
        EXPECT_EQ(d.renderStates[D3DRS_ZENABLE], (DWORD)D3DZB_TRUE);
        EXPECT_EQ(d.stageStates[0][D3DTSS_COLOROP], (DWORD)D3DTOP_SELECTARG1);
        EXPECT_EQ(d.stageStates[0][D3DTSS_ALPHAARG1], (DWORD)D3DTA_TEXTURE);

        // The eye at (0, 1.5, -4) looking at (0, 0.5, 0): the target lies
        // straight ahead at sqrt(17).
        D3DXVECTOR3 target(0.0f, 0.5f, 0.0f), eye(0.0f, 1.5f, -4.0f), out;
        D3DXVec3TransformCoord(&out, &target, reinterpret_cast<const D3DXMATRIX*>(&d.view));
        EXPECT_NEAR(out.x, 0.0f, 1e-5);
        EXPECT_NEAR(out.y, 0.0f, 1e-5);
        EXPECT_NEAR(out.z, std::sqrt(17.0f), 1e-5);
        D3DXVec3TransformCoord(&out, &eye, reinterpret_cast<const D3DXMATRIX*>(&d.view));
        EXPECT_NEAR(D3DXVec3Length(&out), 0.0f, 1e-5);
        // 45 degrees high, 640 / 480 wide, depth 1 to 100.
        const float yScale = 1.0f / std::tan(3.1415927f / 8);
        EXPECT_NEAR(d.projection._22, yScale, 1e-5);
        EXPECT_NEAR(d.projection._11, yScale * 0.75f, 1e-5);
        EXPECT_NEAR(d.projection._33, 100.0f / 99.0f, 1e-5);
        EXPECT_NEAR(d.projection._43, -100.0f / 99.0f, 1e-5);
    }
    // Each blended cube switches blending off and depth testing on after it.
    EXPECT_EQ(Fake()->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    EXPECT_EQ(fake.Count("SetRenderState", [](const FakeCall& c) {
                  return c.Arg("State") == D3DRS_ZENABLE && c.Arg("Value") == D3DZB_TRUE;
              }),
              24u);
}

// The pose of every cube in the frame's draws: the two series mirror each
// other, each cube swinging by its own amplitude with the wall clock.
TEST_F(CubesFake, SwayFollowsTheWallClockInMirrorImage)
{
    CubosInercia cubes;
    cubes.DoInit();
    const DWORD clocks[] = {0, 1571, 3142, 4712, 123456, 0xFFFFFFFFu};
    for (DWORD ms : clocks) {
        SCOPED_TRACE(ms);
        Frame(cubes, ms);
        const auto& draws = fake.Draws();
        ASSERT_EQ(draws.size(), 24u);
        for (int i = 0; i < 12; ++i) {
            SCOPED_TRACE(i);
            const float s = Swing(ms, 40.0f + 10 * i);
            const D3DMATRIX& left = draws[2 * i].world;
            const D3DMATRIX& right = draws[2 * i + 1].world;
            EXPECT_FLOAT_EQ(left._41, -0.01f + s / 2);
            EXPECT_FLOAT_EQ(right._41, 0.01f - s / 2);
            for (const D3DMATRIX* m : {&left, &right}) {
                EXPECT_EQ(m->_42, 0.0f);
                EXPECT_FLOAT_EQ(m->_43, 1.01f);
                EXPECT_FLOAT_EQ(m->_22, 2.0f);
            }
            // Scaled by 2, turned about y by +s (left) and -s (right).
            EXPECT_NEAR(left._11, 2 * std::cos(s), 1e-5);
            EXPECT_NEAR(left._13, -2 * std::sin(s), 1e-5);
            EXPECT_NEAR(right._11, 2 * std::cos(s), 1e-5);
            EXPECT_NEAR(right._13, 2 * std::sin(s), 1e-5);
        }
    }
    // Near a quarter period the largest cube swings by almost 0.03 x 150.
    Frame(cubes, 1571);
    EXPECT_NEAR(cubes.m_cubosIzquierda[11].m_angle, 4.5f, 1e-4);
    EXPECT_NEAR(cubes.m_cubosDerecha[11].m_angle, -4.5f, 1e-4);
}

TEST_F(CubesFake, PoseDependsOnTheWallClockNotOnTheShow)
{
    CubosInercia cubes;
    cubes.DoInit();
    std::vector<D3DMATRIX> worlds[3];
    const struct {
        DWORD ms;
        float t, sequence;
    } frames[] = {{2000, 0.1f, 3.2f}, {2000, 0.9f, 4.8f}, {9000, 0.1f, 3.2f}};
    for (int f = 0; f < 3; ++f) {
        g_sequenceTime = frames[f].sequence;
        Frame(cubes, frames[f].ms, frames[f].t);
        for (const FakeDraw& d : fake.Draws())
            worlds[f].push_back(d.world);
    }
    g_sequenceTime = 0.0f;
    ASSERT_EQ(worlds[0].size(), 24u);
    ASSERT_EQ(worlds[2].size(), 24u);
    EXPECT_EQ(std::memcmp(worlds[0].data(), worlds[1].data(), 24 * sizeof(D3DMATRIX)), 0)
        << "the same clock gives the same pose at any show time";
    EXPECT_NE(std::memcmp(worlds[0].data(), worlds[2].data(), 24 * sizeof(D3DMATRIX)), 0)
        << "another clock reading, another phase";
}

TEST_F(CubesFake, CubePoseForEachBaseAndSpeed)
{
    const struct {
        float speed, baseX;
        DWORD ms;
        float x, angle;  // in units of s (the swing), besides the base
    } cases[] = {
        {0.0f, -0.5f, 1571, 0.0f, 0.0f},   // no speed: at its base, unturned
        {0.0f, 0.5f, 99999, 0.0f, 0.0f},
        {100.0f, 0.0f, 1000, 0.0f, 1.0f},  // on the centre line: turns only
        {100.0f, 0.3f, 1000, -0.5f, -1.0f},
        {100.0f, -0.3f, 1000, 0.5f, 1.0f},
        {40.0f, -0.01f, 0, 0.5f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.speed << " " << c.baseX << " " << c.ms);
        CCube cube;
        cube.Create(dev, c.baseX, 0.25f, 2.0f, 0.5f, 0xFFFFFFFF);
        cube.SetSpeed(c.speed);
        PlatformSetTimeGetTime(c.ms);
        cube.m_angle = 7.0f;
        cube.Animate();
        const float s = Swing(c.ms, c.speed);
        EXPECT_FLOAT_EQ(cube.m_pos.x, c.baseX + c.x * s);
        EXPECT_EQ(cube.m_pos.y, 0.25f);
        EXPECT_EQ(cube.m_pos.z, 2.0f);
        EXPECT_FLOAT_EQ(cube.m_angle, c.angle * s);
    }
}

TEST_F(CubesFake, OnlyACubeOfAnotherColourThanOpaqueWhiteIsBlended)
{
    const struct {
        DWORD color;
        bool blended;
    } cases[] = {{0xFFFFFFFF, false}, {0xFF000000, true}, {0x00FFFFFF, true}, {0x11FF1111, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.color);
        CCube cube;
        cube.Create(dev, 0.0f, 0.0f, 0.0f, 0.5f, c.color);
        dev->SetFVF(D3DFVF_CUBEVERTEX);
        dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        fake.ClearLog();
        dev->BeginScene();
        cube.Render(dev);
        dev->EndScene();
        ASSERT_EQ(fake.Draws().size(), 1u);
        EXPECT_EQ(fake.Draws()[0].renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)c.blended);
        EXPECT_EQ(Fake()->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
        // Depth testing goes on after a blended cube and is left alone after an opaque one.
        EXPECT_EQ(Fake()->RenderState(D3DRS_ZENABLE), c.blended ? (DWORD)D3DZB_TRUE : (DWORD)D3DZB_FALSE);
    }
}

TEST_F(CubesFake, FailedCreateOrLockSkipsTheRestAndACubeWithoutBufferDrawsNothing)
{
    // A scripted failure changes nothing, so a buffer whose unlock failed
    // stays locked and is not drawn from here.
    const struct {
        const char* failing;
        bool buffer;
        size_t locks, unlocks;
        bool render;
    } cases[] = {{"CreateVertexBuffer", false, 0, 0, true},
                 {"VertexBuffer::Lock", true, 1, 0, true},
                 {"VertexBuffer::Unlock", true, 1, 1, false},
                 {"", true, 1, 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        fake.ClearFailures();
        if (*c.failing)
            fake.Fail(c.failing).Times(1);
        fake.ClearLog();
        CCube cube;
        EXPECT_EQ(cube.Create(dev, 0.0f, 0.0f, 0.0f, 0.5f, 0x11FF1111), 0);
        EXPECT_EQ(cube.m_pVB != nullptr, c.buffer);
        EXPECT_EQ(fake.Count("VertexBuffer::Lock"), c.locks);
        EXPECT_EQ(fake.Count("VertexBuffer::Unlock"), c.unlocks);
        if (!c.render)
            continue;
        dev->SetFVF(D3DFVF_CUBEVERTEX);
        dev->BeginScene();
        cube.Render(dev);
        dev->EndScene();
        EXPECT_EQ(fake.Count("DrawPrimitive"), c.buffer ? 1u : 0u);
        EXPECT_EQ(fake.Count("SetTransform"), 1u);
    }
    fake.ClearFailures();
}

TEST_F(CubesFake, MissingPictureLeavesNoTextureAndTheStageKeepsItsOwn)
{
    IDirect3DTexture9* before = nullptr;
    ASSERT_EQ(dev->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &before, nullptr), S_OK);
    {
        CCube cube;
        cube.Create(dev, 0.0f, 0.0f, 0.0f, 0.5f, 0x11FF1111);
        cube.m_pTexture = reinterpret_cast<IDirect3DTexture9*>(0x1);  // whatever was there
        cube.LoadTexture(dev, "no_such_picture.png");
        EXPECT_EQ(cube.m_pTexture, nullptr);
        EXPECT_EQ(CacheEntry("no_such_picture.png"), nullptr);
        dev->SetTexture(0, before);
        dev->SetFVF(D3DFVF_CUBEVERTEX);
        fake.ClearLog();
        dev->BeginScene();
        cube.Render(dev);
        dev->EndScene();
        EXPECT_EQ(fake.Count("SetTexture"), 0u);
        ASSERT_EQ(fake.Draws().size(), 1u);
        EXPECT_EQ(fake.Draws()[0].textures[0], before);
        dev->SetStreamSource(0, nullptr, 0, 0);
    }
    dev->SetTexture(0, nullptr);
    before->Release();
}

TEST_F(CubesFake, RefusedStateBlockStillDrawsTheCubes)
{
    fake.Fail("CreateStateBlock").Times(1);
    CubosInercia cubes;
    cubes.DoInit();
    fake.ClearFailures();
    EXPECT_EQ(cubes.m_pEstado, nullptr);
    Frame(cubes, 500);
    EXPECT_EQ(fake.Count("StateBlock::Apply"), 0u);
    EXPECT_EQ(fake.Draws().size(), 24u);
}

TEST_F(CubesFake, EffectGivesBackEverythingItMade)
{
    size_t before = fake.LiveObjects();
    {
        CubosInercia never;  // not initialised: nothing to give back
    }
    {
        CubosInercia cubes;
        cubes.DoInit();
        Frame(cubes, 100);
        EXPECT_GT(fake.LiveObjects(), before);
    }
    // What the last draw left bound stays alive until it is unbound.
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetTexture(0, nullptr);
    EXPECT_EQ(fake.LiveObjects(), before);
    EXPECT_EQ(CacheEntry("textura.png"), nullptr);
}

TEST_F(CubesFake, CameraOrbitsTheYAxisOnTheWallClock)
{
    const struct {
        float eye[3];
        DWORD ms;
        float x, z;
    } cases[] = {
        // The effect's set-up: radius -4 (x is not above y), once per 2 s.
        {{0.0f, 1.5f, -4.0f}, 0, 0.0f, -4.0f},
        {{0.0f, 1.5f, -4.0f}, 500, -4.0f, 0.0f},
        {{0.0f, 1.5f, -4.0f}, 1000, 0.0f, 4.0f},
        {{0.0f, 1.5f, -4.0f}, 2000, 0.0f, -4.0f},
        // x above y: the radius is x.
        {{5.0f, 1.0f, 0.0f}, 500, 5.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ms);
        CCubeCamera camera;
        camera.SetViewport(640, 480);
        camera.SetEye(c.eye[0], c.eye[1], c.eye[2]);
        camera.SetOrbitPeriod(-8000.0f);
        PlatformSetTimeGetTime(c.ms);
        camera.Orbit();
        EXPECT_NEAR(camera.m_eye.x, c.x, 1e-3);
        EXPECT_EQ(camera.m_eye.y, c.eye[1]);
        EXPECT_NEAR(camera.m_eye.z, c.z, 1e-3);
        EXPECT_EQ(camera.m_eyeStart.x, c.eye[0]);
    }
}

TEST_F(CubesFake, PointSpritesDrawThreeAdditiveScaledSpritesTurningPerDraw)
{
    CPointSprites sprites;
    EXPECT_EQ(sprites.Create(dev, 0.5f, -0.25f, 3.0f, 2.0f), 0);
    auto made = fake.Find("CreateVertexBuffer");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->Arg("Length"), 100u);
    EXPECT_EQ(made[0]->Arg("Usage"), (uint64_t)(D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(made[0]->Arg("FVF"), (uint64_t)(D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE));
    EXPECT_EQ(made[0]->Arg("Pool"), (uint64_t)D3DPOOL_DEFAULT);
    ASSERT_NE(sprites.m_pVB, nullptr);
    auto& bytes = static_cast<FakeVertexBuffer*>(sprites.m_pVB)->Bytes();
    ASSERT_EQ(bytes.size(), 100u);
    EXPECT_EQ(std::memcmp(bytes.data(), aPoints, 100), 0);
    EXPECT_EQ(aPoints[4].x, -2.2f);
    EXPECT_EQ(aPoints[0].color, 0x44FF4444u);
    sprites.LoadTexture(dev, "textura.png");
    ASSERT_NE(sprites.m_pTexture, nullptr);

    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        fake.ClearLog();
        dev->BeginScene();
        sprites.Render(dev);
        dev->EndScene();
        ASSERT_EQ(fake.Draws().size(), 1u);
        const FakeDraw& d = fake.Draws()[0];
        EXPECT_EQ(d.type, D3DPT_POINTLIST);
        EXPECT_EQ(d.primitiveCount, 3u);
        EXPECT_EQ(d.fvf, (DWORD)(D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE));
        EXPECT_EQ(d.textures[0], sprites.m_pTexture);
        const struct {
            D3DRENDERSTATETYPE state;
            DWORD value;
        } states[] = {{D3DRS_CULLMODE, D3DCULL_NONE},
                      {D3DRS_ZENABLE, FALSE},
                      {D3DRS_ALPHABLENDENABLE, TRUE},
                      {D3DRS_SRCBLEND, D3DBLEND_ONE},
                      {D3DRS_DESTBLEND, D3DBLEND_ONE},
                      {D3DRS_POINTSPRITEENABLE, TRUE},
                      {D3DRS_POINTSCALEENABLE, TRUE},
                      {D3DRS_POINTSIZE, FloatToDword(2.08f)},
                      {D3DRS_POINTSIZE_MIN, FloatToDword(0.0f)},
                      {D3DRS_POINTSCALE_A, FloatToDword(1.0f)},
                      {D3DRS_POINTSCALE_B, FloatToDword(1.0f)},
                      {D3DRS_POINTSCALE_C, FloatToDword(1.0f)}};
        for (const auto& s : states)
            EXPECT_EQ(d.renderStates[s.state], s.value) << s.state;
        // Moved first, then turned about z through the origin, then scaled.
        EXPECT_FLOAT_EQ(sprites.m_angle, 0.01f * n);
        const float a = sprites.m_angle;
        D3DXVECTOR3 point0(-2.0f, 0.0f, 0.0f), p(-2.0f + 0.5f, 0.0f - 0.25f, 0.0f + 3.0f), out;
        D3DXVec3TransformCoord(&out, &point0, reinterpret_cast<const D3DXMATRIX*>(&d.world));
        EXPECT_NEAR(out.x, 2.0f * (p.x * std::cos(a) - p.y * std::sin(a)), 1e-5);
        EXPECT_NEAR(out.y, 2.0f * (p.x * std::sin(a) + p.y * std::cos(a)), 1e-5);
        EXPECT_NEAR(out.z, 2.0f * p.z, 1e-5);
        // Sprites, scaling and blending go off; culling and depth stay off.
        EXPECT_EQ(Fake()->RenderState(D3DRS_POINTSPRITEENABLE), (DWORD)FALSE);
        EXPECT_EQ(Fake()->RenderState(D3DRS_POINTSCALEENABLE), (DWORD)FALSE);
        EXPECT_EQ(Fake()->RenderState(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
        EXPECT_EQ(Fake()->RenderState(D3DRS_CULLMODE), (DWORD)D3DCULL_NONE);
        EXPECT_EQ(Fake()->RenderState(D3DRS_ZENABLE), (DWORD)FALSE);
    }
}

}  // namespace
