// D3DX texture calls on the real GL device: what they put into textures is
// what gets drawn, and a saved back buffer holds the frame.
#include <windows.h>
#include <d3dx9.h>

#include "d3dx9/d3dx9_image.h"
#include "device_fixture.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using Vertex = d3d9test::RhwVertex;

class D3dxOnGl : public d3d9test::DeviceTest {
protected:
    static const int kSize = kWidth;

    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice(D3DFMT_UNKNOWN);
        dev = m_dev;
        dir = m_folder.path();
        ASSERT_FALSE(dir.empty());
    }

    // Saves the back buffer through D3DX and decodes the BMP.
    d3dx::Image screenshot()
    {
        IDirect3DSurface9* back = nullptr;
        EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
        std::string file = dir + "/shot.bmp";
        EXPECT_EQ(D3DXSaveSurfaceToFileA(file.c_str(), D3DXIFF_BMP, back, nullptr, nullptr), S_OK);
        back->Release();
        std::ifstream f(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        d3dx::DecodedFile decoded;
        EXPECT_EQ(d3dx::DecodeImage(bytes.data(), bytes.size(), decoded), S_OK);
        EXPECT_EQ(decoded.format, D3DFMT_R8G8B8) << "a back buffer without alpha gives a 24-bit file";
        return decoded.levels.empty() ? d3dx::Image() : decoded.levels[0];
    }

    void drawTextured(IDirect3DTexture9* tex, bool blend)
    {
        Vertex v[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {kSize, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                       {0, kSize, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                       {kSize, kSize, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
        dev->SetTexture(0, tex);
        dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev->SetFVF(d3d9test::kRhwFvf);
        dev->BeginScene();
        EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), S_OK);
        dev->EndScene();
        dev->SetTexture(0, nullptr);
    }

    ScratchFolder m_folder{"nimb_d3dx_gl"};
    IDirect3DDevice9* dev = nullptr;
    std::string dir;
};

} // namespace

TEST_F(D3dxOnGl, SavedBackBufferHoldsTheClearColour)
{
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00BFFF, 1.0f, 0), S_OK);
    d3dx::Image shot = screenshot();
    ASSERT_EQ(shot.width, (UINT)kSize);
    ASSERT_EQ(shot.height, (UINT)kSize);
    for (UINT y : {0u, 31u, 63u})
        for (UINT x : {0u, 17u, 63u})
            EXPECT_EQ(shot.at(x, y), 0xFF00BFFFu) << x << "," << y;
}

TEST_F(D3dxOnGl, LoadedTextureIsWhatGetsDrawn)
{
    // Left half red, right half blue, in a 4x4 PNG.
    d3dx::Image img(4, 4);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            img.at(x, y) = x < 2 ? 0xFFFF0000u : 0xFF0000FFu;
    std::vector<uint8_t> png;
    ASSERT_TRUE(d3dx::EncodePng(img, false, png));
    std::string file = dir + "/halves.png";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), (std::streamsize)png.size());
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, file.c_str(), &tex), S_OK);
    EXPECT_EQ(tex->GetLevelCount(), 3u);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawTextured(tex, false);
    d3dx::Image shot = screenshot();
    EXPECT_EQ(shot.at(8, 30), 0xFFFF0000u);
    EXPECT_EQ(shot.at(56, 30), 0xFF0000FFu);
    tex->Release();
}

TEST_F(D3dxOnGl, GlyphAlphaSurvivesTheMipRebuild)
{
    // An A4R4G4B4 texture: a white opaque left half, a clear right half.
    IDirect3DTexture9* glyphs = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &glyphs, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(glyphs->LockRect(0, &lr, nullptr, 0), S_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint16_t t = x < 4 ? 0xFFFF : 0x0000;
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 2, &t, 2);
        }
    glyphs->UnlockRect(0);
    std::string file = dir + "/temp.bmp";
    ASSERT_EQ(D3DXSaveTextureToFileA(file.c_str(), D3DXIFF_BMP, glyphs, nullptr), S_OK);
    glyphs->Release();
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, file.c_str(), &glyphs), S_OK);
    EXPECT_EQ(glyphs->GetLevelCount(), 4u);

    // Blended over blue: white where the glyph is, blue where it is clear.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    drawTextured(glyphs, true);
    d3dx::Image shot = screenshot();
    EXPECT_EQ(shot.at(10, 10), 0xFFFFFFFFu);
    EXPECT_EQ(shot.at(50, 10), 0xFF0000FFu) << "a lost alpha would draw a box here";
    glyphs->Release();
}

TEST_F(D3dxOnGl, DefaultAndScratchPoolTextures)
{
    d3dx::Image img(2, 2, 0xFF00FF00);
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(d3dx::EncodeBmp(img, false, bmp));
    std::string file = dir + "/green.bmp";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), (std::streamsize)bmp.size());

    // Default pool: filled through system memory, then drawn.
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, file.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &tex),
              S_OK);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawTextured(tex, false);
    EXPECT_EQ(screenshot().at(32, 32), 0xFF00FF00u);
    tex->Release();

    // Scratch pool, resampled to 8x8 and read back by lock.
    ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, file.c_str(), 8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH,
                                           D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &tex),
              S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE), S_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(lr.pBits)[7 * lr.Pitch + 7 * 4 + 1], 0xFF);
    tex->UnlockRect(0);
    tex->Release();
}
