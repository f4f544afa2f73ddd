// State defaults, state blocks and reference counts.
#include "device_fixture.h"

namespace d3d9test {
namespace {

class States : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
    }
    DWORD RS(D3DRENDERSTATETYPE s)
    {
        DWORD v = 0xDEADBEEF;
        m_dev->GetRenderState(s, &v);
        return v;
    }
    DWORD TSS(DWORD stage, D3DTEXTURESTAGESTATETYPE t)
    {
        DWORD v = 0xDEADBEEF;
        m_dev->GetTextureStageState(stage, t, &v);
        return v;
    }
    D3DLIGHT9 Light(float x)
    {
        D3DLIGHT9 l;
        std::memset(&l, 0, sizeof(l));
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1, 1, 1, 0};
        l.Direction = {x, -1, 0};
        return l;
    }
    BOOL Enabled(DWORD i)
    {
        BOOL b = 77;
        if (FAILED(m_dev->GetLightEnable(i, &b))) return 77;
        return b ? TRUE : FALSE;
    }
};

TEST_F(States, DocumentedDefaults)
{
    const DWORD one = Bits(1.0f), zero = Bits(0.0f);
    struct { D3DRENDERSTATETYPE s; DWORD v; } rs[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE}, {D3DRS_FILLMODE, D3DFILL_SOLID}, {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE}, {D3DRS_ALPHATESTENABLE, FALSE}, {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE}, {D3DRS_DESTBLEND, D3DBLEND_ZERO}, {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}, {D3DRS_ALPHAREF, 0}, {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_DITHERENABLE, FALSE}, {D3DRS_ALPHABLENDENABLE, FALSE}, {D3DRS_FOGENABLE, FALSE},
        {D3DRS_SPECULARENABLE, FALSE}, {D3DRS_FOGCOLOR, 0}, {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
        {D3DRS_FOGSTART, zero}, {D3DRS_FOGEND, one}, {D3DRS_FOGDENSITY, one}, {D3DRS_RANGEFOGENABLE, FALSE},
        {D3DRS_STENCILENABLE, FALSE}, {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP}, {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
        {D3DRS_STENCILFUNC, D3DCMP_ALWAYS}, {D3DRS_STENCILREF, 0}, {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF}, {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF}, {D3DRS_WRAP0, 0},
        {D3DRS_WRAP7, 0}, {D3DRS_CLIPPING, TRUE}, {D3DRS_LIGHTING, TRUE}, {D3DRS_AMBIENT, 0},
        {D3DRS_FOGVERTEXMODE, D3DFOG_NONE}, {D3DRS_COLORVERTEX, TRUE}, {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_NORMALIZENORMALS, FALSE}, {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2}, {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
        {D3DRS_CLIPPLANEENABLE, 0}, {D3DRS_POINTSIZE, one}, {D3DRS_POINTSIZE_MIN, one},
        {D3DRS_POINTSPRITEENABLE, FALSE}, {D3DRS_POINTSCALEENABLE, FALSE}, {D3DRS_POINTSCALE_A, one},
        {D3DRS_POINTSCALE_B, zero}, {D3DRS_POINTSCALE_C, zero}, {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
        {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF}, {D3DRS_PATCHEDGESTYLE, D3DPATCHEDGE_DISCRETE},
        {D3DRS_POINTSIZE_MAX, Bits(64.0f)}, {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
        {D3DRS_COLORWRITEENABLE, 0xF}, {D3DRS_TWEENFACTOR, zero}, {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC}, {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR},
        {D3DRS_SCISSORTESTENABLE, FALSE}, {D3DRS_SLOPESCALEDEPTHBIAS, 0}, {D3DRS_ANTIALIASEDLINEENABLE, FALSE},
        {D3DRS_MINTESSELLATIONLEVEL, one}, {D3DRS_MAXTESSELLATIONLEVEL, one}, {D3DRS_ADAPTIVETESS_X, zero},
        {D3DRS_ADAPTIVETESS_Y, zero}, {D3DRS_ADAPTIVETESS_Z, one}, {D3DRS_ADAPTIVETESS_W, zero},
        {D3DRS_ENABLEADAPTIVETESSELLATION, FALSE}, {D3DRS_TWOSIDEDSTENCILMODE, FALSE},
        {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP}, {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP}, {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS},
        {D3DRS_COLORWRITEENABLE1, 0xF}, {D3DRS_COLORWRITEENABLE2, 0xF}, {D3DRS_COLORWRITEENABLE3, 0xF},
        {D3DRS_BLENDFACTOR, 0xFFFFFFFF}, {D3DRS_SRGBWRITEENABLE, 0}, {D3DRS_DEPTHBIAS, 0}, {D3DRS_WRAP8, 0},
        {D3DRS_WRAP15, 0}, {D3DRS_SEPARATEALPHABLENDENABLE, FALSE}, {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO}, {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD}};
    for (auto& e : rs) EXPECT_EQ(RS(e.s), e.v) << "render state " << e.s;

    // Stage 0 modulates the texture with the diffuse colour; the others are off.
    for (DWORD stage = 0; stage < 8; ++stage) {
        struct { D3DTEXTURESTAGESTATETYPE t; DWORD v; } tss[] = {
            {D3DTSS_COLOROP, stage == 0 ? (DWORD)D3DTOP_MODULATE : (DWORD)D3DTOP_DISABLE},
            {D3DTSS_COLORARG1, D3DTA_TEXTURE}, {D3DTSS_COLORARG2, D3DTA_CURRENT},
            {D3DTSS_ALPHAOP, stage == 0 ? (DWORD)D3DTOP_SELECTARG1 : (DWORD)D3DTOP_DISABLE},
            {D3DTSS_ALPHAARG1, D3DTA_TEXTURE}, {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
            {D3DTSS_BUMPENVMAT00, zero}, {D3DTSS_BUMPENVMAT01, zero}, {D3DTSS_BUMPENVMAT10, zero},
            {D3DTSS_BUMPENVMAT11, zero}, {D3DTSS_TEXCOORDINDEX, stage}, {D3DTSS_BUMPENVLSCALE, zero},
            {D3DTSS_BUMPENVLOFFSET, zero}, {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
            {D3DTSS_COLORARG0, D3DTA_CURRENT}, {D3DTSS_ALPHAARG0, D3DTA_CURRENT},
            {D3DTSS_RESULTARG, D3DTA_CURRENT}};
        for (auto& e : tss) EXPECT_EQ(TSS(stage, e.t), e.v) << "stage " << stage << " state " << e.t;
    }
    for (DWORD sampler = 0; sampler < 16; ++sampler) {
        struct { D3DSAMPLERSTATETYPE t; DWORD v; } samp[] = {
            {D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
            {D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP}, {D3DSAMP_BORDERCOLOR, 0}, {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
            {D3DSAMP_MINFILTER, D3DTEXF_POINT}, {D3DSAMP_MIPFILTER, D3DTEXF_NONE}, {D3DSAMP_MIPMAPLODBIAS, 0},
            {D3DSAMP_MAXMIPLEVEL, 0}, {D3DSAMP_MAXANISOTROPY, 1}, {D3DSAMP_SRGBTEXTURE, 0},
            {D3DSAMP_ELEMENTINDEX, 0}, {D3DSAMP_DMAPOFFSET, 0}};
        for (auto& e : samp) {
            DWORD v = 0xDEADBEEF;
            m_dev->GetSamplerState(sampler, e.t, &v);
            EXPECT_EQ(v, e.v) << "sampler " << sampler << " state " << e.t;
        }
    }
    // Numbers that are no render state fail and read the same each time.
    DWORD a = 1, b = 2;
    EXPECT_EQ(m_dev->GetRenderState((D3DRENDERSTATETYPE)3, &a), D3DERR_INVALIDCALL);
    m_dev->GetRenderState((D3DRENDERSTATETYPE)3, &b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(m_dev->SetRenderState((D3DRENDERSTATETYPE)3, 5), D3DERR_INVALIDCALL);
    D3DMATRIX m;
    m_dev->GetTransform(D3DTS_WORLDMATRIX(7), &m);
    EXPECT_EQ(m._11, 1.0f);
    EXPECT_EQ(m._12, 0.0f);
    D3DLIGHT9 l;
    EXPECT_EQ(m_dev->GetLight(0, &l), D3DERR_INVALIDCALL);
    // Enabling a light never set makes the default one: white, directional, down +z.
    ASSERT_EQ(m_dev->LightEnable(3, TRUE), S_OK);
    ASSERT_EQ(m_dev->GetLight(3, &l), S_OK);
    EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(l.Diffuse.r, 1.0f);
    EXPECT_EQ(l.Diffuse.g, 1.0f);
    EXPECT_EQ(l.Diffuse.b, 1.0f);
    EXPECT_EQ(l.Specular.r, 0.0f);
    EXPECT_EQ(l.Ambient.r, 0.0f);
    EXPECT_EQ(l.Direction.x, 0.0f);
    EXPECT_EQ(l.Direction.y, 0.0f);
    EXPECT_EQ(l.Direction.z, 1.0f);
    EXPECT_EQ(Enabled(3), TRUE);
    D3DVIEWPORT9 vp;
    ASSERT_EQ(m_dev->GetViewport(&vp), S_OK);
    EXPECT_EQ(vp.Width, (DWORD)kWidth);
    EXPECT_EQ(vp.Height, (DWORD)kHeight);
    EXPECT_EQ(vp.MinZ, 0.0f);
    EXPECT_EQ(vp.MaxZ, 1.0f);
}

TEST_F(States, RecordedStatesAreNotAppliedUntilTheBlockIs)
{
    ASSERT_EQ(m_dev->BeginStateBlock(), S_OK);
    EXPECT_EQ(m_dev->BeginStateBlock(), D3DERR_INVALIDCALL);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    D3DMATRIX t = Translation(1, 2, 3);
    m_dev->SetTransform(D3DTS_VIEW, &t);
    IDirect3DStateBlock9* sb = nullptr;
    ASSERT_EQ(m_dev->EndStateBlock(&sb), S_OK);
    EXPECT_EQ(RS(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    EXPECT_EQ(TSS(1, D3DTSS_COLOROP), (DWORD)D3DTOP_DISABLE);
    m_dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);  // not in the block
    ASSERT_EQ(sb->Apply(), S_OK);
    EXPECT_EQ(RS(D3DRS_ALPHABLENDENABLE), (DWORD)TRUE);
    EXPECT_EQ(TSS(1, D3DTSS_COLOROP), (DWORD)D3DTOP_ADD);
    EXPECT_EQ(RS(D3DRS_ZWRITEENABLE), (DWORD)FALSE);
    D3DMATRIX v;
    m_dev->GetTransform(D3DTS_VIEW, &v);
    EXPECT_EQ(v._42, 2.0f);
    // Capture refreshes only the states the block holds.
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    m_dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    ASSERT_EQ(sb->Capture(), S_OK);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    sb->Apply();
    EXPECT_EQ(RS(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
    EXPECT_EQ(RS(D3DRS_ZWRITEENABLE), (DWORD)FALSE);
    EXPECT_EQ(sb->Release(), 0u);
    IDirect3DStateBlock9* none = nullptr;
    EXPECT_EQ(m_dev->EndStateBlock(&none), D3DERR_INVALIDCALL);
}

TEST_F(States, BlockTypesCarryTheirStates)
{
    IDirect3DStateBlock9 *pixel = nullptr, *vertex = nullptr, *all = nullptr;
    ASSERT_EQ(m_dev->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel), S_OK);
    ASSERT_EQ(m_dev->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), S_OK);
    ASSERT_EQ(m_dev->CreateStateBlock(D3DSBT_ALL, &all), S_OK);
    auto change = [&] {
        m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);   // pixel
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);               // vertex
        m_dev->SetRenderState(D3DRS_FOGSTART, Bits(5.0f));          // both
        m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 3);    // vertex
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD); // pixel
        D3DMATRIX t = Translation(1, 0, 0);
        m_dev->SetTransform(D3DTS_WORLD, &t);                       // all only
    };
    auto world = [&] {
        D3DMATRIX m;
        m_dev->GetTransform(D3DTS_WORLD, &m);
        return m._41;
    };
    change();
    pixel->Apply();
    EXPECT_EQ(RS(D3DRS_SRCBLEND), (DWORD)D3DBLEND_ONE);
    EXPECT_EQ(RS(D3DRS_LIGHTING), (DWORD)FALSE);
    EXPECT_EQ(RS(D3DRS_FOGSTART), Bits(0.0f));
    EXPECT_EQ(TSS(0, D3DTSS_TEXCOORDINDEX), 3u);
    EXPECT_EQ(TSS(0, D3DTSS_COLOROP), (DWORD)D3DTOP_MODULATE);
    EXPECT_EQ(world(), 1.0f);
    change();
    vertex->Apply();
    EXPECT_EQ(RS(D3DRS_SRCBLEND), (DWORD)D3DBLEND_SRCALPHA);
    EXPECT_EQ(RS(D3DRS_LIGHTING), (DWORD)TRUE);
    EXPECT_EQ(RS(D3DRS_FOGSTART), Bits(0.0f));
    EXPECT_EQ(TSS(0, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_EQ(TSS(0, D3DTSS_COLOROP), (DWORD)D3DTOP_ADD);
    EXPECT_EQ(world(), 1.0f);
    change();
    all->Apply();
    EXPECT_EQ(RS(D3DRS_SRCBLEND), (DWORD)D3DBLEND_ONE);
    EXPECT_EQ(RS(D3DRS_LIGHTING), (DWORD)TRUE);
    EXPECT_EQ(world(), 0.0f);
    pixel->Release();
    vertex->Release();
    all->Release();
}

// Render-state numbers read and write; the gaps between them, and numbers
// past the last state, fail.
TEST_F(States, OnlyRenderStateNumbersAreStates)
{
    const struct {
        DWORD number;
        bool state;
    } cases[] = {{0, false},   {6, false},   {7, true},    {8, true},    {13, false},  {14, true},
                 {21, false},  {22, true},   {165, true},  {209, true},  {210, false}, {255, false},
                 {256, false}, {4096, false}};
    for (const auto& c : cases) {
        DWORD v = 0;
        const HRESULT get = m_dev->GetRenderState((D3DRENDERSTATETYPE)c.number, &v);
        EXPECT_EQ(get == S_OK, c.state) << c.number;
        if (c.state) {
            EXPECT_EQ(m_dev->SetRenderState((D3DRENDERSTATETYPE)c.number, v), S_OK) << c.number;
        } else {
            EXPECT_EQ(get, D3DERR_INVALIDCALL) << c.number;
        }
    }
}

// A block made before a light was first set carries nothing for it: applying
// it leaves that light as it is, while lights it knew are put back.
TEST_F(States, BlocksCarryOnlyTheLightsThatExistedWhenTheyWereMade)
{
    D3DLIGHT9 l1 = Light(1);
    m_dev->SetLight(1, &l1);
    m_dev->LightEnable(1, FALSE);
    IDirect3DStateBlock9* defaults = nullptr;
    ASSERT_EQ(m_dev->CreateStateBlock(D3DSBT_ALL, &defaults), S_OK);

    D3DLIGHT9 l0 = Light(0.5f);
    m_dev->SetLight(0, &l0);
    m_dev->LightEnable(0, TRUE);
    m_dev->LightEnable(1, TRUE);
    ASSERT_EQ(defaults->Apply(), S_OK);
    EXPECT_EQ(Enabled(0), TRUE);   // unknown to the block: stays on
    EXPECT_EQ(Enabled(1), FALSE);  // known: back to off
    D3DLIGHT9 got;
    ASSERT_EQ(m_dev->GetLight(0, &got), S_OK);
    EXPECT_EQ(got.Direction.x, 0.5f);
    // Capturing later does not add it either.
    ASSERT_EQ(defaults->Capture(), S_OK);
    m_dev->LightEnable(0, FALSE);
    defaults->Apply();
    EXPECT_EQ(Enabled(0), FALSE);
    // A recorded block carries the lights set while recording.
    m_dev->BeginStateBlock();
    m_dev->LightEnable(2, TRUE);
    IDirect3DStateBlock9* rec = nullptr;
    m_dev->EndStateBlock(&rec);
    EXPECT_EQ(Enabled(2), 77);  // recording applied nothing: light 2 does not exist yet
    rec->Apply();
    EXPECT_EQ(Enabled(2), TRUE);
    ASSERT_EQ(m_dev->GetLight(2, &got), S_OK);
    EXPECT_EQ(got.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(got.Direction.z, 1.0f);
    rec->Release();
    defaults->Release();
}

TEST_F(States, StateBlocksHoldTheTexturesTheyCaptured)
{
    IDirect3DTexture9* t = SolidTexture(0xFFFFFFFF);
    m_dev->SetTexture(0, t);
    IDirect3DStateBlock9* sb = nullptr;
    m_dev->CreateStateBlock(D3DSBT_ALL, &sb);
    m_dev->SetTexture(0, nullptr);
    EXPECT_EQ(t->Release(), 0u);  // the application's last reference
    sb->Apply();                   // the block kept the texture alive
    IDirect3DBaseTexture9* got = nullptr;
    m_dev->GetTexture(0, &got);
    EXPECT_EQ(got, t);
    if (got) {
        D3DSURFACE_DESC d;
        static_cast<IDirect3DTexture9*>(got)->GetLevelDesc(0, &d);
        EXPECT_EQ(d.Width, 4u);
        got->Release();
    }
    m_dev->SetTexture(0, nullptr);
    sb->Release();
}

TEST_F(States, ARecordedBlockHoldsTheDeviceOnlyOnceItIsHandedOut)
{
    EXPECT_EQ(m_dev->AddRef(), 2u);
    m_dev->Release();
    ASSERT_EQ(m_dev->BeginStateBlock(), S_OK);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    EXPECT_EQ(m_dev->AddRef(), 2u);
    m_dev->Release();
    IDirect3DStateBlock9* sb = nullptr;
    ASSERT_EQ(m_dev->EndStateBlock(&sb), S_OK);
    EXPECT_EQ(m_dev->AddRef(), 3u);
    m_dev->Release();
    EXPECT_EQ(sb->Release(), 0u);
    EXPECT_EQ(m_dev->AddRef(), 2u);
    m_dev->Release();
    // A device released while recording goes with the block it records.
    ASSERT_EQ(m_dev->BeginStateBlock(), S_OK);
    EXPECT_EQ(m_dev->Release(), 0u);
    m_dev = nullptr;
}

TEST_F(States, UnbindingAStreamKeepsItsStride)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    ASSERT_EQ(m_dev->SetStreamSource(1, vb, 8, 32), S_OK);
    ASSERT_EQ(m_dev->SetStreamSource(1, nullptr, 0, 0), S_OK);
    IDirect3DVertexBuffer9* got = vb;
    UINT offset = 99, stride = 99;
    ASSERT_EQ(m_dev->GetStreamSource(1, &got, &offset, &stride), S_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(stride, 32u);
    vb->Release();
}

TEST_F(States, ReferenceCountsAsOnDirect3D9)
{
    // The device holds the Direct3D object.
    EXPECT_EQ(m_d3d->AddRef(), 3u);
    EXPECT_EQ(m_d3d->Release(), 2u);
    // Resources hold the device.
    IDirect3DTexture9* t = nullptr;
    m_dev->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
    EXPECT_EQ(m_dev->AddRef(), 3u);
    EXPECT_EQ(m_dev->Release(), 2u);
    // Binding does not count; a level's surface counts on its texture.
    m_dev->SetTexture(0, t);
    EXPECT_EQ(t->AddRef(), 2u);
    EXPECT_EQ(t->Release(), 1u);
    IDirect3DSurface9* s = nullptr;
    t->GetSurfaceLevel(1, &s);
    EXPECT_EQ(t->AddRef(), 3u);
    t->Release();
    EXPECT_EQ(s->Release(), 1u);
    IDirect3DDevice9* owner = nullptr;
    t->GetDevice(&owner);
    EXPECT_EQ(owner, m_dev);
    EXPECT_EQ(owner->Release(), 2u);
    // The back buffer counts on the device while it is held.
    IDirect3DSurface9* bb = nullptr;
    m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    EXPECT_EQ(m_dev->AddRef(), 4u);
    m_dev->Release();
    EXPECT_EQ(bb->Release(), 0u);
    // A released texture that is still bound stays usable until unbound.
    EXPECT_EQ(t->Release(), 0u);
    EXPECT_EQ(m_dev->AddRef(), 2u);
    m_dev->Release();
    IDirect3DBaseTexture9* got = nullptr;
    m_dev->GetTexture(0, &got);
    EXPECT_EQ(got, t);
    EXPECT_EQ(m_dev->AddRef(), 3u);  // held again by the application
    m_dev->Release();
    got->Release();
    m_dev->SetTexture(0, nullptr);
    // A resource left unreleased keeps the device's count above zero.
    IDirect3DVertexBuffer9* vb = nullptr;
    m_dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    EXPECT_EQ(m_dev->Release(), 1u);
    EXPECT_EQ(vb->Release(), 0u);  // the device goes with its last holder
    m_dev = nullptr;
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

TEST_F(States, ALightMadeAfterABlockWasRecordedIsNotCapturedByIt)
{
    D3DLIGHT9 l = Light(1);
    m_dev->SetLight(0, &l);
    ASSERT_EQ(m_dev->BeginStateBlock(), S_OK);
    m_dev->LightEnable(0, TRUE);
    IDirect3DStateBlock9* rec = nullptr;
    ASSERT_EQ(m_dev->EndStateBlock(&rec), S_OK);
    // Made after recording: light 1. Capturing takes light 0's current state only.
    D3DLIGHT9 l1 = Light(2);
    m_dev->SetLight(1, &l1);
    m_dev->LightEnable(1, TRUE);
    m_dev->LightEnable(0, FALSE);
    ASSERT_EQ(rec->Capture(), S_OK);
    m_dev->LightEnable(0, TRUE);
    m_dev->LightEnable(1, FALSE);
    ASSERT_EQ(rec->Apply(), S_OK);
    EXPECT_EQ(Enabled(0), FALSE);  // captured off
    EXPECT_EQ(Enabled(1), FALSE);  // not carried: left as it is
    // Nor does a vertex-state block made before the light.
    IDirect3DStateBlock9* vertex = nullptr;
    ASSERT_EQ(m_dev->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), S_OK);
    D3DLIGHT9 l2 = Light(3);
    m_dev->SetLight(2, &l2);
    m_dev->LightEnable(2, TRUE);
    ASSERT_EQ(vertex->Capture(), S_OK);
    m_dev->LightEnable(2, FALSE);
    ASSERT_EQ(vertex->Apply(), S_OK);
    EXPECT_EQ(Enabled(2), FALSE);
    vertex->Release();
    rec->Release();
}

} // namespace
} // namespace d3d9test
