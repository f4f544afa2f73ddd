// Every fixed-function combination the device can be asked for yields a
// program: a sweep over the states that shape the generated shaders.
#include "device_fixture.h"

#include "d3d9/d3d9_device.h"

#include <cstdlib>
#include <string>

namespace d3d9test {
namespace {

class Programs : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        m_tex = SolidTexture(0xFF808080);
        m_dev->SetTexture(0, m_tex);
        m_dev->SetTexture(1, m_tex);
    }
    void TearDown() override
    {
        m_dev->SetTexture(0, nullptr);
        m_dev->SetTexture(1, nullptr);
        m_tex->Release();
        DeviceTest::TearDown();
    }
    HRESULT DrawLit()
    {
        struct V { float x, y, z, nx, ny, nz; DWORD c, s; float u, v, w; } t[3] = {
            {-1, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0xFF000000, 0, 0, 1},
            {1, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0xFF000000, 1, 0, 1},
            {-1, -1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0xFF000000, 0, 1, 1}};
        m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1 |
                      D3DFVF_TEXCOORDSIZE3(0));
        return m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t, sizeof(V));
    }
    IDirect3DTexture9* m_tex = nullptr;
};

TEST_F(Programs, EveryStageOperationAndArgumentCompiles)
{
    const DWORD args[] = {D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTA_SPECULAR, D3DTA_TEMP,
                          D3DTA_CONSTANT, D3DTA_TEXTURE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE};
    m_dev->SetTextureStageState(1, D3DTSS_RESULTARG, D3DTA_TEMP);
    // Each operation once, the arguments in turn.
    for (int i = 0; i < 25; ++i) {
        const DWORD op = D3DTOP_SELECTARG1 + (DWORD)(i % 25);
        if (op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE) continue;
        const DWORD a = args[(i * 3) % 8];
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, op);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG0, a);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, a);
        m_dev->SetTextureStageState(1, D3DTSS_COLOROP, op);
        m_dev->SetTextureStageState(1, D3DTSS_ALPHAOP, op);
        m_dev->SetTextureStageState(1, D3DTSS_ALPHAARG2, a);
        ASSERT_EQ(DrawLit(), S_OK) << "op " << op << " arg " << a;
    }
}

TEST_F(Programs, LightingFogPointAndCoordinateStatesCompile)
{
    D3DLIGHT9 l;
    std::memset(&l, 0, sizeof(l));
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    l.Range = 10;
    l.Attenuation0 = 1;
    l.Phi = 1;
    l.Theta = 0.5f;
    const D3DLIGHTTYPE types[] = {D3DLIGHT_POINT, D3DLIGHT_SPOT, D3DLIGHT_DIRECTIONAL};
    for (int i = 0; i < 3; ++i) {
        l.Type = types[i];
        m_dev->SetLight((DWORD)i, &l);
        m_dev->LightEnable((DWORD)i, TRUE);
    }
    const DWORD gens[] = {0, D3DTSS_TCI_CAMERASPACENORMAL, D3DTSS_TCI_CAMERASPACEPOSITION,
                          D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, D3DTSS_TCI_SPHEREMAP};
    // Every fog mode of both kinds, every generation mode and flag set, in 20 combinations.
    for (int i = 0; i < 20; ++i) {
        const DWORD fogTable = (DWORD)(i % 4), fogVertex = (DWORD)((i / 4) % 4);
        const DWORD gen = gens[i % 5];
        const int flags = (i / 2) % 4;
        m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_dev->SetRenderState(D3DRS_FOGTABLEMODE, fogTable);
        m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, fogVertex);
        m_dev->SetRenderState(D3DRS_RANGEFOGENABLE, flags & 1);
        m_dev->SetRenderState(D3DRS_SPECULARENABLE, flags & 1);
        m_dev->SetRenderState(D3DRS_LOCALVIEWER, flags & 2);
        m_dev->SetRenderState(D3DRS_NORMALIZENORMALS, flags & 2);
        m_dev->SetRenderState(D3DRS_SHADEMODE, (flags & 2) ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, flags & 1);
        m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER + (DWORD)flags * 2);
        m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, gen | (DWORD)(flags & 1));
        m_dev->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                    flags == 3 ? (D3DTTFF_COUNT3 | D3DTTFF_PROJECTED) : (DWORD)flags);
        m_dev->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, (DWORD)flags % 3);
        ASSERT_EQ(DrawLit(), S_OK) << fogTable << " " << fogVertex << " " << gen << " " << flags;
    }
    // Points, scaled and sprites, with and without a size in the vertices.
    struct P { float x, y, z, size; DWORD c; } pts[2] = {{0, 0, 0.5f, 4, 0xFFFFFFFF}, {0.5f, 0, 0.5f, 4, 0xFFFFFFFF}};
    for (int i = 0; i < 8; ++i) {
        m_dev->SetRenderState(D3DRS_POINTSPRITEENABLE, i & 1);
        m_dev->SetRenderState(D3DRS_POINTSCALEENABLE, (i >> 1) & 1);
        m_dev->SetFVF((i & 4) ? (D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE) : (D3DFVF_XYZ | D3DFVF_DIFFUSE));
        ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_POINTLIST, 2, pts, (i & 4) ? sizeof(P) : 16), S_OK) << i;
    }
    // Pre-transformed vertices with everything on.
    RhwVertex q[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                      {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {8, 8, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    m_dev->SetFVF(kRhwFvf);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(RhwVertex)), S_OK);
}

// What a draw costs in compiles, links and GL calls, read from the device's counters.
class DrawCosts : public DeviceTest {
protected:
    // The path whose costs are counted: programs compiled when first drawn.
    virtual d3d9gl::ProgramPath Path() const { return d3d9gl::ProgramPath::Specialised; }
    void SetUp() override
    {
        DeviceTest::SetUp();
        d3d9gl::SetProgramPath(Path(), true);
        MakeDevice();
        d3d9gl::SetProgramPath(d3d9gl::ProgramPath::Auto, false);
        m_device = static_cast<d3d9gl::Device*>(m_dev);
        ASSERT_EQ(m_dev->CreateVertexBuffer(4 * sizeof(RhwVertex), 0, kRhwFvf, D3DPOOL_MANAGED, &m_vb, nullptr), S_OK);
        RhwVertex* v = nullptr;
        m_vb->Lock(0, 0, (void**)&v, 0);
        const RhwVertex q[4] = {{0, 0, 0.5f, 1, 0x80FFFFFF, 0, 0}, {8, 0, 0.5f, 1, 0x80FFFFFF, 1, 0},
                                {0, 8, 0.5f, 1, 0x80FFFFFF, 0, 1}, {8, 8, 0.5f, 1, 0x80FFFFFF, 1, 1}};
        std::memcpy(v, q, sizeof(q));
        m_vb->Unlock();
        m_dev->SetStreamSource(0, m_vb, 0, sizeof(RhwVertex));
        m_dev->SetFVF(kRhwFvf);
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    }
    void TearDown() override
    {
        m_dev->SetStreamSource(0, nullptr, 0, 0);
        if (m_vb) m_vb->Release();
        DeviceTest::TearDown();
    }
    void Draw() { ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK); }
    d3d9gl::GLCounters Counters() { return m_device->Counters(); }
    size_t VertexShaders() { return m_device->Programs().VertexShaders(); }
    size_t FragmentShaders() { return m_device->Programs().FragmentShaders(); }
    size_t Linked() { return m_device->Programs().Programs(); }

    d3d9gl::Device* m_device = nullptr;
    IDirect3DVertexBuffer9* m_vb = nullptr;
};

TEST_F(DrawCosts, ADrawLikeTheLastMakesNoGLStateCall)
{
    Draw();
    const d3d9gl::GLCounters before = Counters();
    Draw();
    // Setting what is already set marks nothing either.
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    Draw();
    const d3d9gl::GLCounters after = Counters();
    EXPECT_EQ(after.stateCalls, before.stateCalls);
    EXPECT_EQ(after.uniformUploads, before.uniformUploads);
    EXPECT_EQ(after.draws, before.draws + 2);
}

TEST_F(DrawCosts, BlendingAndTextureChangesCompileNothing)
{
    IDirect3DTexture9* a = SolidTexture(0xFFFF0000);
    IDirect3DTexture9* b = SolidTexture(0xFF00FF00);
    m_dev->SetTexture(0, a);
    Draw();
    const d3d9gl::GLCounters before = Counters();
    for (int i = 0; i < 4; ++i) {
        m_dev->SetTexture(0, (i & 1) ? a : b);
        m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, i & 1);
        m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        Draw();
    }
    const d3d9gl::GLCounters after = Counters();
    EXPECT_EQ(after.shaderCompiles, before.shaderCompiles);
    EXPECT_EQ(after.programLinks, before.programLinks);
    EXPECT_EQ(after.programBinds, before.programBinds);
    EXPECT_EQ(after.uniformUploads, before.uniformUploads);
    EXPECT_EQ(after.textureBinds, before.textureBinds + 4);
    m_dev->SetTexture(0, nullptr);
    a->Release();
    b->Release();
}

TEST_F(DrawCosts, EachKeyHalfIsCompiledOnceAndProgramsArePerPair)
{
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    Draw();
    const size_t vs = VertexShaders(), fs = FragmentShaders(), programs = Linked();
    // A pixel-half state: one more fragment shader, the vertex shader kept.
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    Draw();
    EXPECT_EQ(VertexShaders(), vs);
    EXPECT_EQ(FragmentShaders(), fs + 1);
    EXPECT_EQ(Linked(), programs + 1);
    // A vertex-half state: one more vertex shader, the fragment shader kept.
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP);
    Draw();
    EXPECT_EQ(VertexShaders(), vs + 1);
    EXPECT_EQ(FragmentShaders(), fs + 1);
    EXPECT_EQ(Linked(), programs + 2);
    // The new vertex shader pairs with the first fragment shader in a program of its own.
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    Draw();
    EXPECT_EQ(Linked(), programs + 3);
    // Coming back to known combinations compiles and links nothing.
    const d3d9gl::GLCounters before = Counters();
    for (int i = 0; i < 4; ++i) {
        m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, i & 1);
        m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, (i & 2) ? D3DFOG_EXP : D3DFOG_LINEAR);
        Draw();
    }
    EXPECT_EQ(Counters().shaderCompiles, before.shaderCompiles);
    EXPECT_EQ(Counters().programLinks, before.programLinks);
    EXPECT_EQ(Linked(), programs + 3);
}

// The fixed-function states a sweep of new combinations goes through:
// lighting, fog, stage operations, alpha test.
void SetCombination(IDirect3DDevice9* dev, int c)
{
    dev->SetRenderState(D3DRS_FOGENABLE, (c & 1) != 0);
    dev->SetRenderState(D3DRS_FOGTABLEMODE, (c & 2) ? D3DFOG_LINEAR : D3DFOG_NONE);
    static const DWORD ops[] = {D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_SELECTARG2, D3DTOP_MODULATE2X};
    dev->SetTextureStageState(0, D3DTSS_COLOROP, ops[(c >> 2) & 3]);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, (c & 16) != 0);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
}

class BackgroundPrograms : public DrawCosts {
protected:
    d3d9gl::ProgramPath Path() const override { return d3d9gl::ProgramPath::Background; }
};

TEST_F(BackgroundPrograms, NewCombinationsCompileNothingInTheFrameAndDrawTheSameWhenSpecialised)
{
    IDirect3DTexture9* t = SolidTexture(0xC0406080);
    m_dev->SetTexture(0, t);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF00FF00);
    const d3d9gl::GLCounters before = Counters();
    std::vector<DWORD> first;
    for (int c = 0; c < 32; ++c) {
        SetCombination(m_dev, c);
        Draw();
        first.push_back(Pixel(4, 4));
    }
    const d3d9gl::GLCounters during = Counters();
    EXPECT_EQ(during.shaderCompiles, before.shaderCompiles);
    EXPECT_EQ(during.programLinks, before.programLinks);
    EXPECT_GT(during.uberDraws, before.uberDraws);
    // Once the background compiles are in, the same combinations draw the
    // same pixels with their own programs, a few new ones taken a frame.
    m_device->WaitForPrograms();
    EXPECT_GT(m_device->Programs().SpecialisedPrograms(), 0u);
    const uint64_t uberDraws = Counters().uberDraws;
    for (int c = 0; c < 32; ++c) {
        m_dev->Present(nullptr, nullptr, nullptr, nullptr);
        SetCombination(m_dev, c);
        Draw();
        EXPECT_TRUE(Near(Pixel(4, 4), first[(size_t)c], 1, true)) << "combination " << c;
    }
    EXPECT_EQ(Counters().uberDraws, uberDraws);
    EXPECT_EQ(Counters().shaderCompiles, before.shaderCompiles);
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

// Where the uber program costs more than it saves (software rasterisers),
// Auto draws without it; a forced path stays forced.
TEST(ProgramPolicy, AutoFollowsTheRendererAndAForcedPathStays)
{
    using d3d9gl::ProgramPath;
    const struct {
        ProgramPath setting;
        const char* renderer;
        ProgramPath path;
    } cases[] = {
        {ProgramPath::Auto, "llvmpipe (LLVM 15.0.6, 256 bits)", ProgramPath::Specialised},
        {ProgramPath::Auto, "softpipe", ProgramPath::Specialised},
        {ProgramPath::Auto, "Software Rasterizer (swrast)", ProgramPath::Specialised},
        {ProgramPath::Auto, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", ProgramPath::Background},
        {ProgramPath::Auto, "NVIDIA GeForce GTX 1060/PCIe/SSE2", ProgramPath::Background},
        {ProgramPath::Auto, nullptr, ProgramPath::Background},
        {ProgramPath::Uber, "llvmpipe (LLVM 15.0.6, 256 bits)", ProgramPath::Uber},
        {ProgramPath::Background, "llvmpipe (LLVM 15.0.6, 256 bits)", ProgramPath::Background},
        {ProgramPath::Specialised, "AMD Radeon RX 580", ProgramPath::Specialised},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d3d9gl::PathForRenderer(c.setting, c.renderer), c.path) << (c.renderer ? c.renderer : "(none)");
}

TEST(ProgramPolicy, TheVariableForcesEachPath)
{
    const struct {
        const char* value;
        d3d9gl::ProgramPath path;
    } cases[] = {{"uber", d3d9gl::ProgramPath::Uber},
                 {"specialised", d3d9gl::ProgramPath::Specialised},
                 {"background", d3d9gl::ProgramPath::Background},
                 {"", d3d9gl::ProgramPath::Auto},
                 {"fast", d3d9gl::ProgramPath::Auto}};
    const char* old = std::getenv("NIMB_D3D9_PROGRAMS");
    const std::string saved = old ? old : "";
    for (const auto& c : cases) {
        setenv("NIMB_D3D9_PROGRAMS", c.value, 1);
        EXPECT_EQ(d3d9gl::ProgramPathSetting(), c.path) << c.value;
    }
    if (old) setenv("NIMB_D3D9_PROGRAMS", saved.c_str(), 1);
    else unsetenv("NIMB_D3D9_PROGRAMS");
}

class AutoPrograms : public DrawCosts {
protected:
    d3d9gl::ProgramPath Path() const override { return d3d9gl::ProgramPath::Auto; }
};

TEST_F(AutoPrograms, ADeviceOnThisRendererTakesThePathItsRendererCallsFor)
{
    const char* renderer = reinterpret_cast<const char*>(d3d9gl::gl.glGetString(d3d9gl::GL_RENDERER));
    const d3d9gl::ProgramPath expected = d3d9gl::PathForRenderer(d3d9gl::ProgramPath::Auto, renderer);
    EXPECT_EQ(m_device->Path(), expected) << renderer;
    for (int c = 0; c < 8; ++c) {
        SetCombination(m_dev, c);
        Draw();
    }
    if (expected == d3d9gl::ProgramPath::Specialised) EXPECT_EQ(Counters().uberDraws, 0u);
    else EXPECT_GT(Counters().uberDraws, 0u);
}

class UberProgram : public DrawCosts {
protected:
    d3d9gl::ProgramPath Path() const override { return d3d9gl::ProgramPath::Uber; }
};

TEST_F(UberProgram, EveryCombinationDrawsWithTheOneProgramBuiltWithTheDevice)
{
    const d3d9gl::GLCounters before = Counters();
    for (int c = 0; c < 32; ++c) {
        SetCombination(m_dev, c);
        Draw();
    }
    EXPECT_EQ(Counters().shaderCompiles, before.shaderCompiles);
    EXPECT_EQ(Counters().programLinks, before.programLinks);
    EXPECT_EQ(Counters().uberDraws, before.uberDraws + 32);
    EXPECT_EQ(m_device->Programs().SpecialisedPrograms(), 0u);
}

} // namespace
} // namespace d3d9test
