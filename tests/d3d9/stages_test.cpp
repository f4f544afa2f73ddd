// Texture stage operations and arguments, and the texture formats they read.
#include "device_fixture.h"

#include <cmath>
#include <vector>

namespace d3d9test {
namespace {

// Texture colour T, diffuse D, texture factor F.
const DWORD kT = 0x80C04020, kD = 0x40608090, kF = 0xC0204060;

struct StageCase {
    const char* name;
    DWORD colorOp, colorArg1, colorArg2, colorArg0;
    DWORD alphaOp, alphaArg1, alphaArg2;
    DWORD expected;  // ARGB
};

class StageOps : public DeviceTest, public ::testing::WithParamInterface<StageCase> {};

TEST_P(StageOps, OneStageGivesTheDirect3DResult)
{
    const StageCase& c = GetParam();
    MakeDevice();
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, kF);
    IDirect3DTexture9* t = SolidTexture(kT);
    ASSERT_NE(t, nullptr);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, c.colorOp);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, c.colorArg1);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG2, c.colorArg2);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG0, c.colorArg0);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.alphaArg1);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.alphaArg2);
    // The result's alpha shows through blending onto black: out = src * alpha.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, kD);
    const DWORD colour = Pixel(4, 4);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    Quad(0, 0, 16, 16, kD);
    const int alpha = (int)(Pixel(4, 4) & 0xFF);
    EXPECT_TRUE(Near(colour, c.expected, 3)) << c.name;
    EXPECT_NEAR(alpha, (int)(c.expected >> 24), 3) << c.name;
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

// Expected values from Direct3D 9's definitions, channel by channel.
INSTANTIATE_TEST_SUITE_P(
    Ops, StageOps,
    ::testing::Values(
        StageCase{"selectarg1 texture", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_SELECTARG1,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80C04020},
        StageCase{"selectarg2 diffuse", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_SELECTARG2,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x40608090},
        StageCase{"modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_MODULATE, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0x20482012},
        StageCase{"modulate2x", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_MODULATE2X,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x40904024},
        StageCase{"modulate4x", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_MODULATE4X,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80FF8048},
        StageCase{"add saturates", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_ADD, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0xC0FFC0B0},
        StageCase{"addsigned", D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_ADDSIGNED, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0x40A04030},
        StageCase{"addsigned2x", D3DTOP_ADDSIGNED2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_ADDSIGNED2X,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x81FF8060},
        StageCase{"subtract clamps", D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_SUBTRACT,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x40600000},
        StageCase{"addsmooth", D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, D3DTOP_ADDSMOOTH, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0xA0D8A09E},
        StageCase{"blend diffuse alpha", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80484050},
        StageCase{"blend texture alpha", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80406078},
        StageCase{"blend factor alpha", D3DTOP_BLENDFACTORALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0xC0A8503C},
        StageCase{"blend current alpha", D3DTOP_BLENDCURRENTALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80484050},
        StageCase{"tfactor", D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0, D3DTOP_SELECTARG1, D3DTA_TFACTOR,
                  D3DTA_DIFFUSE, 0xC0204060},
        StageCase{"complement", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0x7F3FBFDF},
        StageCase{"alpha replicate", D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTA_TEXTURE, 0,
                  D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0x40404040},
        StageCase{"dotproduct3 fills every channel, alpha too", D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR, 0,
                  D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0x0E0E0E0E},
        StageCase{"dotproduct3 saturates", D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE | D3DTA_COMPLEMENT,
                  D3DTA_TEXTURE | D3DTA_COMPLEMENT, 0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0xFFFFFFFF},
        StageCase{"multiplyadd", D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_MULTIPLYADD,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x60686072},
        StageCase{"lerp", D3DTOP_LERP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_SELECTARG1,
                  D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x806C7066},
        StageCase{"modulate alpha add color", D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80F08068},
        StageCase{"blend texture alpha premultiplied", D3DTOP_BLENDTEXTUREALPHAPM, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80F08068},
        StageCase{"modulate color add alpha", D3DTOP_MODULATECOLOR_ADDALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80C8A092},
        StageCase{"modulate inverse alpha add color", D3DTOP_MODULATEINVALPHA_ADDCOLOR, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80F08068},
        StageCase{"modulate inverse color add alpha", D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x8098E0FE},
        StageCase{"alpha disabled keeps the current alpha", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
                  D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x40C04020}));

// Fog from the specular alpha of pre-transformed vertices applies to what
// the stages made.
TEST_F(DeviceTest, FogFromTheSpecularAlphaFollowsAnUntexturedStage)
{
    MakeDevice();
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, kF);
    m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFFFF0000);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    struct V {
        float x, y, z, rhw;
        DWORD diffuse, specular;
    } v[4] = {{0, 0, 0.5f, 1, kD, 0x80000000}, {16, 0, 0.5f, 1, kD, 0x80000000},
              {0, 16, 0.5f, 1, kD, 0x80000000}, {16, 16, 0.5f, 1, kD, 0x80000000}};
    m_dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    // Half the factor's colour, half the fog's.
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF8F2030, 3));
}

TEST_F(DeviceTest, StagesChainThroughCurrentAndStopAtTheFirstDisabledOne)
{
    MakeDevice();
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF808080);
    IDirect3DTexture9* t = SolidTexture(0xFFFF8000);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);  // texture x diffuse
    m_dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    m_dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    m_dev->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    m_dev->SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_SELECTARG1);  // after the disabled stage: ignored
    m_dev->SetTextureStageState(3, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(2, 2), 0xFF804000, 2));
    // The temporary register keeps a stage's result aside.
    m_dev->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    m_dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    Quad(0, 0, 8, 8, 0xFF0000FF);
    EXPECT_TRUE(Near(Pixel(2, 2), 0xFF000000, 2));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

// Two texels side by side: `left` at u < 0.5, `right` beyond.
IDirect3DTexture9* TwoTexels(IDirect3DDevice9* dev, DWORD left, DWORD right)
{
    IDirect3DTexture9* t = nullptr;
    if (FAILED(dev->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr)))
        return nullptr;
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = left;
    ((DWORD*)lr.pBits)[1] = right;
    t->UnlockRect(0);
    return t;
}

// Per-pixel bump lighting over four stages: a normal map dotted with the
// light in the texture factor, times a base and a detail texture each read
// through its own coordinate set, times the diffuse colour.
TEST_F(DeviceTest, FourStageBumpSetUpChainsDotProductAndModulates)
{
    MakeDevice();
    struct Vertex {
        float x, y, z, rhw;
        DWORD color;
        float uv[3][2];
    };
    const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX3;
    // Set 0 reads left texels, sets 1 and 2 right ones.
    const float u[3] = {0.25f, 0.75f, 0.75f};
    Vertex quad[4];
    const float corners[4][2] = {{0, 0}, {16, 0}, {0, 16}, {16, 16}};
    for (int i = 0; i < 4; ++i) {
        quad[i] = Vertex{corners[i][0], corners[i][1], 0.5f, 1.0f, 0xFF80C0FF, {}};
        for (int s = 0; s < 3; ++s) {
            quad[i].uv[s][0] = u[s];
            quad[i].uv[s][1] = 0.5f;
        }
    }
    // Normal (0.5, 0, 0.5) scaled into bytes, and a light straight along z.
    IDirect3DTexture9* normals = TwoTexels(m_dev, 0xFF000000, 0xFFC080C0);
    IDirect3DTexture9* base = TwoTexels(m_dev, 0xFF8040FF, 0xFF000000);
    IDirect3DTexture9* detail = TwoTexels(m_dev, 0xFF000000, 0xFFFFFF80);
    ASSERT_TRUE(normals && base && detail);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF8080FF);
    m_dev->SetTexture(0, normals);
    m_dev->SetTexture(1, base);
    m_dev->SetTexture(2, detail);
    const DWORD stages[4][6] = {
        // index, colour op, arg 1, arg 2, alpha op, alpha argument
        {1, D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE},
        {3, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT},
    };
    for (DWORD s = 0; s < 4; ++s) {
        m_dev->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, stages[s][0]);
        m_dev->SetTextureStageState(s, D3DTSS_COLOROP, stages[s][1]);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG1, stages[s][2]);
        m_dev->SetTextureStageState(s, D3DTSS_COLORARG2, stages[s][3]);
        m_dev->SetTextureStageState(s, D3DTSS_ALPHAOP, stages[s][4]);
        m_dev->SetTextureStageState(s, stages[s][4] == D3DTOP_SELECTARG2 ? D3DTSS_ALPHAARG2 : D3DTSS_ALPHAARG1,
                                    stages[s][5]);
    }
    DWORD passes = 0;
    EXPECT_EQ(m_dev->ValidateDevice(&passes), D3D_OK);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->SetFVF(fvf);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    // 4 ((192 - 127.5)(128 - 127.5) + (128 - 127.5)(128 - 127.5) + (192 - 127.5)(255 - 127.5)) / 255^2 = 0.51,
    // then times base (0.5, 0.25, 1), detail (1, 1, 0.5) and diffuse (0.5, 0.75, 1).
    const float dot = 4.0f * ((192 - 127.5f) * (128 - 127.5f) + (128 - 127.5f) * (128 - 127.5f) +
                              (192 - 127.5f) * (255 - 127.5f)) / (255.0f * 255.0f);
    auto ch = [dot](float b, float d, float v) { return (DWORD)std::lround(dot * b * d * v * 255.0f); };
    const DWORD expected = 0xFF000000u | (ch(128 / 255.0f, 1, 128 / 255.0f) << 16) |
                           (ch(64 / 255.0f, 1, 192 / 255.0f) << 8) | ch(1, 128 / 255.0f, 1);
    EXPECT_TRUE(Near(Pixel(8, 8), expected, 3));
    for (DWORD s = 0; s < 3; ++s)
        m_dev->SetTexture(s, nullptr);
    normals->Release();
    base->Release();
    detail->Release();
}

struct FormatCase {
    D3DFORMAT format;
    UINT bytes;
    uint32_t texel;  // as stored
    DWORD sampled;   // ARGB
};

class TextureFormats : public DeviceTest, public ::testing::WithParamInterface<FormatCase> {};

// Bytes written in each format's Direct3D layout sample as that format's colour.
TEST_P(TextureFormats, LockedBytesSampleAsTheFormatDefines)
{
    const FormatCase& c = GetParam();
    MakeDevice();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(4, 4, 1, 0, c.format, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), S_OK);
    EXPECT_GE(lr.Pitch, (INT)(4 * c.bytes));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) std::memcpy((uint8_t*)lr.pBits + y * lr.Pitch + x * c.bytes, &c.texel, c.bytes);
    ASSERT_EQ(t->UnlockRect(0), S_OK);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(3, 3), c.sampled, 2));
    // Alpha through blending onto white with (0, srcalpha).
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_NEAR((int)(Pixel(3, 3) & 0xFF), (int)(c.sampled >> 24), 2);
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TextureFormats,
    ::testing::Values(FormatCase{D3DFMT_A8R8G8B8, 4, 0x80C04020u, 0x80C04020},
                      FormatCase{D3DFMT_X8R8G8B8, 4, 0x00C04020u, 0xFFC04020},
                      FormatCase{D3DFMT_A4R4G4B4, 2, 0x8C42u, 0x88CC4422},
                      FormatCase{D3DFMT_R5G6B5, 2, 0xF800u | (0x20u << 5) | 0x1Fu, 0xFFFF82FF},
                      FormatCase{D3DFMT_X1R5G5B5, 2, 0x001Fu | (0x1Fu << 10), 0xFFFF00FF},
                      FormatCase{D3DFMT_A1R5G5B5, 2, 0x03E0u, 0x0000FF00},
                      FormatCase{D3DFMT_A8, 1, 0x40u, 0x40000000},
                      FormatCase{D3DFMT_L8, 1, 0x60u, 0xFF606060}));

TEST_F(DeviceTest, CompressedBlocksDecodeToTheirColours)
{
    MakeDevice();
    // DXT1, four-colour mode (colour 0 red > colour 1 blue), every index 0.
    const uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    // DXT1, three-colour mode (blue <= red): index 2 is the midpoint, not two thirds.
    const uint8_t dxt1Mid[8] = {0x1F, 0x00, 0x00, 0xF8, 0xAA, 0xAA, 0xAA, 0xAA};
    // DXT3: explicit 4-bit alpha 9 everywhere, colour 0 green.
    const uint8_t dxt3[16] = {0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0xE0, 0x07, 0x1F, 0x00, 0, 0, 0, 0};
    // DXT5: alpha endpoints 0x80/0x80, colour index 1 (blue).
    const uint8_t dxt5[16] = {0x80, 0x80, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0x55, 0x55, 0x55, 0x55};
    // DXT5: eight-alpha mode (0xFF > 0), every alpha index 2: (6 * 255) / 7.
    const uint8_t dxt5Ramp[16] = {0xFF, 0x00, 0x92, 0x24, 0x49, 0x92, 0x24, 0x49,
                                  0xE0, 0x07, 0x1F, 0x00, 0, 0, 0, 0};
    struct {
        D3DFORMAT f;
        const uint8_t* block;
        UINT size;
        DWORD expect;
    } cases[] = {{D3DFMT_DXT1, dxt1, 8, 0xFFFF0000},     {D3DFMT_DXT1, dxt1Mid, 8, 0xFF7F007F},
                 {D3DFMT_DXT3, dxt3, 16, 0x9900FF00},    {D3DFMT_DXT5, dxt5, 16, 0x800000FF},
                 {D3DFMT_DXT5, dxt5Ramp, 16, 0xDA00FF00}};
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    for (auto& c : cases) {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(m_dev->CreateTexture(4, 4, 1, 0, c.f, D3DPOOL_MANAGED, &t, nullptr), S_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), S_OK);
        EXPECT_EQ(lr.Pitch, (INT)c.size);
        std::memcpy(lr.pBits, c.block, c.size);
        t->UnlockRect(0);
        m_dev->SetTexture(0, t);
        m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Quad(0, 0, 8, 8, 0xFFFFFFFF);
        EXPECT_TRUE(Near(Pixel(3, 3), c.expect, 2)) << "format " << c.f;
        // Alpha through blending onto white with (0, srcalpha).
        m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
        m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
        Quad(0, 0, 8, 8, 0xFFFFFFFF);
        EXPECT_NEAR((int)(Pixel(3, 3) & 0xFF), (int)(c.expect >> 24), 2) << "format " << c.f;
        m_dev->SetTexture(0, nullptr);
        t->Release();
    }
}

TEST_F(DeviceTest, SamplerFiltersAndAddressModes)
{
    MakeDevice();
    // 2x2 texture: black, white / white, black.
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    DWORD* r0 = (DWORD*)lr.pBits;
    DWORD* r1 = (DWORD*)((uint8_t*)lr.pBits + lr.Pitch);
    r0[0] = 0xFF000000;
    r0[1] = 0xFFFFFFFF;
    r1[0] = 0xFFFFFFFF;
    r1[1] = 0xFF000000;
    t->UnlockRect(0);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // Point sampling of a 16-pixel quad: the top-left quarter is texel (0, 0): v = 0 is the top row.
    Quad(0, 0, 16, 16, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(3, 3), 0xFF000000, 0));
    EXPECT_TRUE(Near(Pixel(12, 3), 0xFFFFFFFF, 0));
    EXPECT_TRUE(Near(Pixel(3, 12), 0xFFFFFFFF, 0));
    // Linear filtering in the middle mixes all four.
    m_dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    m_dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    Quad(0, 0, 16, 16, 0xFFFFFFFF, 0.5f, 0, 0, 1, 1);
    Rgba mid = Split(Pixel(8, 8));
    EXPECT_NEAR(mid.r, 128, 20);
    // Wrap repeats, clamp holds the edge texel.
    m_dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    m_dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    Quad(16, 0, 32, 16, 0xFFFFFFFF, 0.5f, 1, 0, 2, 1);
    EXPECT_TRUE(Near(Pixel(19, 3), 0xFF000000, 0));
    m_dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    Quad(16, 0, 32, 16, 0xFFFFFFFF, 0.5f, 1, 0, 2, 1);
    EXPECT_TRUE(Near(Pixel(19, 3), 0xFFFFFFFF, 0));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(DeviceTest, MipLevelsAreChosenByTheMipFilter)
{
    MakeDevice();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(16, 16, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    EXPECT_EQ(t->GetLevelCount(), 5u);
    const DWORD colours[5] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF};
    for (UINT l = 0; l < 5; ++l) {
        D3DSURFACE_DESC d;
        t->GetLevelDesc(l, &d);
        EXPECT_EQ(d.Width, 16u >> l);
        D3DLOCKED_RECT lr;
        t->LockRect(l, &lr, nullptr, 0);
        for (UINT y = 0; y < d.Height; ++y)
            for (UINT x = 0; x < d.Width; ++x) ((DWORD*)((uint8_t*)lr.pBits + y * lr.Pitch))[x] = colours[l];
        t->UnlockRect(l);
    }
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // A 4-pixel quad of the 16-texel texture is level 2 with mip filtering, level 0 without.
    Quad(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(1, 1), colours[0], 0));
    m_dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    Quad(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(1, 1), colours[2], 0));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct AddressCase {
    DWORD mode;
    float u;          // sampled coordinate
    DWORD expected;   // of a 2-texel texture red | green, border blue
};

class AddressModes : public DeviceTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressModes, CoordinatesOutsideZeroToOne)
{
    const AddressCase& c = GetParam();
    MakeDevice();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = 0xFFFF0000;
    ((DWORD*)lr.pBits)[1] = 0xFF00FF00;
    t->UnlockRect(0);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
    m_dev->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFF0000FF);
    Quad(0, 0, 8, 8, 0xFFFFFFFF, 0.5f, c.u, 0.5f, c.u, 0.5f);
    EXPECT_TRUE(Near(Pixel(4, 4), c.expected, 0)) << "mode " << c.mode << " u " << c.u;
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

INSTANTIATE_TEST_SUITE_P(Modes, AddressModes,
                         ::testing::Values(AddressCase{D3DTADDRESS_WRAP, 1.25f, 0xFFFF0000},
                                           AddressCase{D3DTADDRESS_WRAP, 1.75f, 0xFF00FF00},
                                           AddressCase{D3DTADDRESS_MIRROR, 1.25f, 0xFF00FF00},
                                           AddressCase{D3DTADDRESS_MIRROR, 1.75f, 0xFFFF0000},
                                           AddressCase{D3DTADDRESS_CLAMP, 3.0f, 0xFF00FF00},
                                           AddressCase{D3DTADDRESS_CLAMP, -3.0f, 0xFFFF0000},
                                           AddressCase{D3DTADDRESS_BORDER, 1.5f, 0xFF0000FF}));

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct StageSet {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};

struct UntexturedCase {
    const char* name;
    std::vector<StageSet> sets;
    DWORD expected;  // ARGB
};

class UntexturedStages : public DeviceTest, public ::testing::WithParamInterface<UntexturedCase> {};

// Stages without a texture: the colour and the alpha operation of a stage
// are judged apart. A colour operation that reads the missing texture, or is
// DISABLE, ends the chain there, the stages after it off: the colour and
// alpha that reach it pass on unchanged. An alpha operation alone reading it
// does not; the diffuse colour stands in for the texture (the first alpha
// argument's documented default without a texture). Stage 0's alpha keeps
// its default, SELECTARG1 of the texture, unless a case sets it.
TEST_P(UntexturedStages, TheColourOperationDecidesWhetherAStageRuns)
{
    const UntexturedCase& c = GetParam();
    MakeDevice();
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, kF);
    for (const StageSet& s : c.sets) m_dev->SetTextureStageState(s.stage, s.type, s.value);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, kD);
    const DWORD colour = Pixel(4, 4);
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    Quad(0, 0, 16, 16, kD);
    EXPECT_TRUE(Near(colour, c.expected, 2)) << c.name;
    EXPECT_NEAR((int)(Pixel(4, 4) & 0xFF), (int)(c.expected >> 24), 2) << c.name;
    // The alpha test sees the same alpha.
    m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_EQUAL);
    m_dev->SetRenderState(D3DRS_ALPHAREF, c.expected >> 24);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, kD);
    EXPECT_TRUE(Near(Pixel(4, 4), c.expected, 2)) << c.name << ": alpha test";
}

INSTANTIATE_TEST_SUITE_P(
    Stages, UntexturedStages,
    ::testing::Values(
        UntexturedCase{"the default stage 0 gives the diffuse colour and alpha", {}, kD},
        UntexturedCase{"an alpha operation alone reading the texture leaves the colour working",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR}},
                       0x40204060},
        UntexturedCase{"a colour operation alone reading the texture disables the stage",
                       {{0, D3DTSS_COLOROP, D3DTOP_ADD}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_COLORARG2, D3DTA_TEXTURE}, {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR}},
                       kD},
        UntexturedCase{"an unread texture argument leaves the stage working",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG2}, {0, D3DTSS_COLORARG2, D3DTA_TFACTOR},
                        {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2}, {0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR}},
                       kF},
        UntexturedCase{"blending by texture alpha reads the texture",
                       {{0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_COLORARG2, D3DTA_TFACTOR}, {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR}},
                       kD},
        UntexturedCase{"a later stage stops the chain, and the stages after it stay off",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR}, {1, D3DTSS_COLOROP, D3DTOP_MODULATE},
                        {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {1, D3DTSS_ALPHAARG1, D3DTA_CURRENT},
                        {2, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {2, D3DTSS_COLORARG1, D3DTA_DIFFUSE},
                        {2, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {2, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}},
                       kF},
        // Diffuse D = 0x40608090 and texture factor F = 0xC0204060.
        UntexturedCase{"the stage constant",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_COLORARG1, D3DTA_CONSTANT},
                        {0, D3DTSS_CONSTANT, 0x80112233}},
                       0x40112233},
        UntexturedCase{"the diffuse alpha replicated",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE}},
                       0x40404040},
        UntexturedCase{"the factor's alpha replicated",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE}},
                       0x40C0C0C0},
        UntexturedCase{"the factor complemented",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TFACTOR | D3DTA_COMPLEMENT}},
                       0x40DFBF9F},
        UntexturedCase{"the temporary register carried to the next stage",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_RESULTARG, D3DTA_TEMP},
                        {1, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {1, D3DTSS_COLORARG1, D3DTA_TEMP}},
                       0x40204060},
        UntexturedCase{"two stages modulate then add",
                       {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
                        {1, D3DTSS_COLOROP, D3DTOP_ADD},
                        {1, D3DTSS_COLORARG1, D3DTA_CURRENT},
                        {1, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
                       0x406CA0C6},
        UntexturedCase{"an alpha operation modulates the diffuse alpha for the texture's",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
                        {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
                        {0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR}},
                       0x30204060},
        UntexturedCase{"a later stage whose alpha alone reads the texture runs",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {1, D3DTSS_COLOROP, D3DTOP_ADD},
                        {1, D3DTSS_COLORARG1, D3DTA_CURRENT},
                        {1, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
                        {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
                        {1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE}},
                       0x4080C0F0},
        UntexturedCase{"a colour that reads the texture ends the chain at stage 0",
                       {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
                        {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR},
                        {1, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {1, D3DTSS_COLORARG1, D3DTA_TFACTOR}},
                       0x40608090},
        UntexturedCase{"a colour that blends by the texture's alpha reads it too",
                       {{0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
                       0x40608090},
        UntexturedCase{"a colour that reads the texture ends the chain at stage 1",
                       {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_COLORARG1, D3DTA_TFACTOR},
                        {1, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {1, D3DTSS_COLORARG1, D3DTA_TEXTURE},
                        {2, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
                        {2, D3DTSS_COLORARG1, D3DTA_DIFFUSE}},
                       0x40204060},
        UntexturedCase{"a disabled colour ends the chain, its alpha with it",
                       {{0, D3DTSS_COLOROP, D3DTOP_DISABLE},
                        {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
                        {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR}},
                       0x40608090}));

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct BumpCase {
    const char* name;
    DWORD normal;    // texel of the normal map, a normal packed as 0.5 + n / 2
    DWORD light;     // D3DRS_TEXTUREFACTOR, the light direction packed the same way
    DWORD base;      // texel of the second stage's texture
    DWORD expected;  // ARGB
};

class BumpSetUps : public DeviceTest, public ::testing::WithParamInterface<BumpCase> {};

// Stage 0: DOTPRODUCT3 of a normal map with the light in the texture factor;
// stage 1: the base texture modulated by that.
TEST_P(BumpSetUps, DotProductLightsTheBaseTexture)
{
    const BumpCase& c = GetParam();
    MakeDevice();
    IDirect3DTexture9* normals = SolidTexture(c.normal);
    IDirect3DTexture9* base = SolidTexture(c.base);
    ASSERT_TRUE(normals && base);
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_TEXTUREFACTOR, c.light);
    m_dev->SetTexture(0, normals);
    m_dev->SetTexture(1, base);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    m_dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    m_dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    // The quad's second set of coordinates is its first: stage 1 reads set 1 by default.
    m_dev->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, 16, 16, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(8, 8), c.expected, 3)) << c.name;
    m_dev->SetTexture(0, nullptr);
    m_dev->SetTexture(1, nullptr);
    normals->Release();
    base->Release();
}

// 4 x ((n - 0.5) . (l - 0.5)), saturated, times the base colour.
INSTANTIATE_TEST_SUITE_P(
    Cases, BumpSetUps,
    ::testing::Values(BumpCase{"facing the light", 0xFF8080FF, 0xFF8080FF, 0xFFFFFFFF, 0xFFFFFFFF},
                      BumpCase{"facing the light, coloured base", 0xFF8080FF, 0xFF8080FF, 0xFFC08040, 0xFFC08040},
                      BumpCase{"at right angles", 0xFFFF8080, 0xFF8080FF, 0xFFFFFFFF, 0xFF020202},
                      BumpCase{"turned away saturates at black", 0xFF808000, 0xFF8080FF, 0xFFFFFFFF, 0xFF000000},
                      BumpCase{"tilted 45 degrees", 0xFFDA80DA, 0xFF8080FF, 0xFFFFFFFF, 0xFFB6B6B6},
                      BumpCase{"tilted 45 degrees, coloured base", 0xFFDA80DA, 0xFF8080FF, 0xFF00FF80,
                               0xFF00B65B}));

} // namespace
} // namespace d3d9test
