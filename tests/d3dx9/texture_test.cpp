// D3DX texture and surface calls on the recording fake device: file loading
// with the D3DX defaults, mip levels, colour keys, saving (alpha kept) and
// failures that leave nothing behind.
#include <d3dx9.h>

#include "d3dx9/d3dx9_image.h"
#include "allocation_cap.h"
#include "fake_d3d9.h"
#include "picture_fixtures.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cmath>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

using d3dx::Image;

namespace {

class D3dxTexture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.path().empty());
        dir = m_folder.path();
        device = fake.MakeDevice();
        ASSERT_NE(device, nullptr);
        baseline = fake.LiveObjects();
    }

    void TearDown() override
    {
        EXPECT_EQ(fake.LiveObjects(), baseline) << "a texture or surface was left alive";
        EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();
        device->Release();
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream f(path(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    }

    std::vector<uint8_t> readFile(const std::string& p) const
    {
        std::ifstream f(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    void writePng(const std::string& name, const Image& img, bool alpha) const
    {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(d3dx::EncodePng(img, alpha, bytes));
        writeFile(name, bytes);
    }

    // The pixels of one level as ARGB.
    Image level(IDirect3DTexture9* tex, UINT l) const
    {
        D3DSURFACE_DESC desc;
        EXPECT_EQ(tex->GetLevelDesc(l, &desc), S_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(tex->LockRect(l, &lr, nullptr, D3DLOCK_READONLY), S_OK);
        Image img(desc.Width, desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            d3dx::UnpackRow(desc.Format, static_cast<uint8_t*>(lr.pBits) + (size_t)y * lr.Pitch,
                            &img.argb[(size_t)y * desc.Width], desc.Width);
        tex->UnlockRect(l);
        return img;
    }

    void fillLevel(IDirect3DTexture9* tex, UINT l, const Image& img) const
    {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(tex->GetLevelDesc(l, &desc), S_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(tex->LockRect(l, &lr, nullptr, 0), S_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            d3dx::PackRow(desc.Format, &img.argb[(size_t)y * desc.Width],
                          static_cast<uint8_t*>(lr.pBits) + (size_t)y * lr.Pitch, desc.Width);
        tex->UnlockRect(l);
    }

    static Image checker(UINT w, UINT h)
    {
        Image img(w, h);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                img.at(x, y) = ((x + y) & 1) ? 0xFFFFFFFFu : 0x80000000u;
        return img;
    }

    FakeD3D9 fake;
    IDirect3DDevice9* device = nullptr;
    size_t baseline = 0;
    ScratchFolder m_folder{"nimb_d3dx"};
    std::string dir;
};

} // namespace

TEST_F(D3dxTexture, DefaultsGivePowerOfTwoSizesAndAFullChain)
{
    writePng("pic.png", checker(5, 3), true);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, path("pic.png").c_str(), &tex), S_OK);
    ASSERT_NE(tex, nullptr);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(tex->GetLevelCount(), 4u); // 8x4, 4x2, 2x1, 1x1
    tex->GetLevelDesc(3, &desc);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    tex->Release();

    // Without mip-mapping the cache asks for one level.
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path("pic.png").c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
                                           nullptr, &tex),
              S_OK);
    EXPECT_EQ(tex->GetLevelCount(), 1u);
    EXPECT_EQ(info.Width, 5u);
    EXPECT_EQ(info.Height, 3u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    tex->Release();
}

TEST_F(D3dxTexture, MipLevelsAreBoxFilteredFromTheTop)
{
    Image img(4, 4);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            img.at(x, y) = 0xFF000000u | ((x * 60) << 16) | ((y * 60) << 8) | 0x10;
    writePng("grad.png", img, false);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, path("grad.png").c_str(), &tex), S_OK);
    ASSERT_EQ(tex->GetLevelCount(), 3u);
    EXPECT_EQ(level(tex, 0).argb, img.argb) << "same size: no resampling";
    Image l1 = level(tex, 1);
    EXPECT_EQ(l1.at(0, 0), 0xFF1E1E10u);
    EXPECT_EQ(l1.at(1, 1), 0xFF969610u);
    EXPECT_EQ(level(tex, 2).at(0, 0), 0xFF5A5A10u);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    tex->Release();
}

TEST_F(D3dxTexture, ExplicitSizeFormatAndScratchPool)
{
    // A height map resampled to N x N in a scratch texture, read back by its blue bytes.
    Image img(2, 2);
    img.at(0, 0) = 0xFF000000;
    img.at(1, 0) = 0xFF0000FF;
    img.at(0, 1) = 0xFF0000FF;
    img.at(1, 1) = 0xFF000000;
    writePng("height.png", img, false);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path("height.png").c_str(), 4, 4, 1, 0, D3DFMT_X8R8G8B8,
                                           D3DPOOL_SCRATCH, D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, nullptr,
                                           nullptr, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_SCRATCH);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE), S_OK);
    const uint8_t* row0 = static_cast<const uint8_t*>(lr.pBits);
    EXPECT_LT(row0[0], row0[4 * 2]) << "blue rises toward the bright texel";
    tex->UnlockRect(0);
    tex->Release();

    // D3DX_DEFAULT_NONPOW2 keeps the file's own size.
    writePng("odd.png", checker(5, 3), true);
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path("odd.png").c_str(), D3DX_DEFAULT_NONPOW2,
                                           D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &tex),
              S_OK);
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Height, 3u);
    EXPECT_EQ(level(tex, 0).argb, checker(5, 3).argb);
    tex->Release();
}

TEST_F(D3dxTexture, ColourKeyTurnsMatchingPixelsTransparent)
{
    Image img(2, 1);
    img.at(0, 0) = 0xFFFF00FF;
    img.at(1, 0) = 0xFF123456;
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(d3dx::EncodeBmp(img, false, bmp));
    writeFile("key.bmp", bmp);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path("key.bmp").c_str(), 0, 0, 1, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_DEFAULT, 0xFFFF00FF, nullptr,
                                           nullptr, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8) << "the key needs an alpha channel";
    Image l0 = level(tex, 0);
    EXPECT_EQ(l0.at(0, 0), 0u);
    EXPECT_EQ(l0.at(1, 0), 0xFF123456u);
    tex->Release();
}

TEST_F(D3dxTexture, FileMipLevelsAndFormatFallback)
{
    // A DDS whose second level differs from a filtered first level.
    std::vector<uint8_t> dds;
    auto put16 = [&dds](uint32_t v) {
        dds.push_back((uint8_t)v);
        dds.push_back((uint8_t)(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    dds = {'D', 'D', 'S', ' '};
    put32(124);
    put32(0x1 | 0x2 | 0x4 | 0x1000 | 0x20000);
    put32(2);
    put32(2);
    put32(0);
    put32(0);
    put32(2);
    for (int i = 0; i < 11; ++i)
        put32(0);
    put32(32);
    put32(0x41);
    put32(0);
    put32(16);
    put32(0xF00);
    put32(0xF0);
    put32(0xF);
    put32(0xF000);
    put32(0x401000);
    for (int i = 0; i < 4; ++i)
        put32(0);
    for (int i = 0; i < 4; ++i)
        put16(0xFF00); // opaque red
    put16(0xF0F0); // opaque green: not a filter result of red
    writeFile("mips.dds", dds);

    fake.refusedTextureFormats = {D3DFMT_A4R4G4B4};
    IDirect3DTexture9* tex = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path("mips.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, &info, nullptr, &tex),
              S_OK);
    EXPECT_EQ(info.Format, D3DFMT_A4R4G4B4);
    EXPECT_EQ(info.MipLevels, 2u);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8) << "a refused format falls back";
    EXPECT_EQ(level(tex, 0).at(1, 1), 0xFFFF0000u);
    EXPECT_EQ(level(tex, 1).at(0, 0), 0xFF00FF00u) << "the file's own level is used";
    tex->Release();
}

TEST_F(D3dxTexture, MissingTruncatedAndCorruptFilesFail)
{
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, path("absent.png").c_str(), &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);

    std::vector<uint8_t> png;
    ASSERT_TRUE(d3dx::EncodePng(checker(16, 16), true, png));
    png.resize(png.size() / 2);
    writeFile("half.png", png);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, path("half.png").c_str(), &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    writeFile("empty.bmp", {});
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, path("empty.bmp").c_str(), &tex), D3DXERR_INVALIDDATA);
    writeFile("junk.jpg", std::vector<uint8_t>(300, 0xFF));
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, path("junk.jpg").c_str(), &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, dir.c_str(), &tex), D3DXERR_INVALIDDATA) << "a folder";
    EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, path("half.png").c_str(), &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, nullptr, &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(fake.Count("CreateTexture"), 0u) << "nothing is created for a bad file";

    // A device refusing the texture: its error comes back, nothing is left.
    writePng("ok.png", checker(4, 4), true);
    fake.Fail("CreateTexture", E_OUTOFMEMORY);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, path("ok.png").c_str(), &tex), E_OUTOFMEMORY);
    EXPECT_EQ(tex, nullptr);
    fake.ClearFailures();
    // A failing lock releases the new texture.
    fake.Fail("LockRect", D3DERR_INVALIDCALL);
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(device, path("ok.png").c_str(), &tex)));
    EXPECT_EQ(tex, nullptr);
    fake.ClearFailures();
}

// A picture wider than the device's largest texture, or a header declaring
// a huge picture over a few bytes, is refused with nothing created; the
// description still reads from the header.
TEST_F(D3dxTexture, PicturesBeyondTheDevicesLargestTextureAreRefused)
{
    using namespace fixtures;
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), S_OK);
    ASSERT_EQ(caps.MaxTextureWidth, 4096u);
    writeFile("widest.png", MakePng(4096, 1));
    writeFile("wider.png", MakePng(4097, 1));
    writeFile("huge.png", DeclaringSize(MakePng(1, 1), 16384, 16384));
    writeFile("huge.jpg", DeclaringSize(MakeJpeg(16, 16, JpegKind::Progressive), 16384, 16384));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, path("widest.png").c_str(), &tex), S_OK);
    tex->Release();
    size_t created = fake.Count("CreateTexture");
    for (const char* name : {"wider.png", "huge.png", "huge.jpg"}) {
        tex = reinterpret_cast<IDirect3DTexture9*>(1);
        EXPECT_EQ(D3DXCreateTextureFromFileA(device, path(name).c_str(), &tex), D3DXERR_INVALIDDATA) << name;
        EXPECT_EQ(tex, nullptr) << name;
    }
    EXPECT_EQ(fake.Count("CreateTexture"), created);

    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileA(path("huge.jpg").c_str(), &info), S_OK);
    EXPECT_EQ(info.Width, 16384u);
    EXPECT_EQ(info.Height, 16384u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    ASSERT_EQ(D3DXGetImageInfoFromFileA(path("huge.png").c_str(), &info), S_OK);
    EXPECT_EQ(info.Width, 16384u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
}

// Memory that cannot be had comes back from the D3DX call as E_OUTOFMEMORY,
// with no texture.
TEST_F(D3dxTexture, AllocationFailuresComeBackAsOutOfMemory)
{
    // 1024 x 1024 pixels, 4 MiB decoded, in a few kilobytes.
    std::vector<uint8_t> png = fixtures::MakePng(1024, 1024, false, std::vector<uint32_t>(1024 * 1024, 0xFF142850));
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
    {
        AllocationCap cap(1u << 20);
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, png.data(), (UINT)png.size(), &tex), E_OUTOFMEMORY);
    }
    EXPECT_EQ(tex, nullptr);
}

TEST_F(D3dxTexture, BackslashPathsResolve)
{
    ASSERT_EQ(mkdir(path("Textures").c_str(), 0755), 0);
    writePng("Textures/Pic.png", checker(2, 2), true);
    std::string windowsPath = dir + "\\textures\\pic.png";
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, windowsPath.c_str(), &tex), S_OK);
    tex->Release();
}

TEST_F(D3dxTexture, GlyphTextureSurvivesTheBmpRoundTripWithItsAlpha)
{
    // White texels with 4-bit coverage in alpha, or fully clear.
    IDirect3DTexture9* glyphs = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &glyphs, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(glyphs->LockRect(0, &lr, nullptr, 0), S_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint16_t a = (uint16_t)((x + y) % 16);
            uint16_t texel = a ? (uint16_t)((a << 12) | 0x0FFF) : 0;
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 2, &texel, 2);
        }
    glyphs->UnlockRect(0);

    std::string file = path("temp.bmp");
    ASSERT_EQ(D3DXSaveTextureToFileA(file.c_str(), D3DXIFF_BMP, glyphs, nullptr), S_OK);
    std::vector<uint8_t> bytes = readFile(file);
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes[28], 32) << "a format with alpha is saved with 32 bits";

    IDirect3DTexture9* reloaded = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, file.c_str(), &reloaded), S_OK);
    EXPECT_EQ(reloaded->GetLevelCount(), 4u);
    Image top = level(reloaded, 0);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) {
            uint32_t a = (x + y) % 16;
            EXPECT_EQ(top.at(x, y), a ? (a * 17) << 24 | 0xFFFFFF : 0u) << x << "," << y;
        }
    // Lower levels keep coverage too: not an opaque box.
    Image l1 = level(reloaded, 1);
    EXPECT_LT(l1.at(0, 0) >> 24, 0xFFu);
    EXPECT_GT(l1.at(3, 3) >> 24, 0u);
    reloaded->Release();
    glyphs->Release();

    // In memory too.
    IDirect3DTexture9* opaque = nullptr;
    ASSERT_EQ(device->CreateTexture(3, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &opaque, nullptr), S_OK);
    ID3DXBuffer* buf = nullptr;
    ASSERT_EQ(D3DXSaveTextureToFileInMemory(&buf, D3DXIFF_BMP, opaque, nullptr), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(buf->GetBufferPointer())[28], 24) << "no alpha: 24 bits";
    EXPECT_EQ(buf->GetBufferSize(), 14u + 40u + 2u * 12u);
    buf->Release();
    opaque->Release();
}

TEST_F(D3dxTexture, BackBufferScreenshotKeepsTheClearColour)
{
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00BFFF, 1.0f, 0), S_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    std::string file = path("1234.bmp");
    ASSERT_EQ(D3DXSaveSurfaceToFileA(file.c_str(), D3DXIFF_BMP, back, nullptr, nullptr), S_OK);
    RECT part = {10, 20, 30, 25};
    ID3DXBuffer* buf = nullptr;
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buf, D3DXIFF_PNG, back, nullptr, &part), S_OK);
    back->Release();

    d3dx::DecodedFile f;
    std::vector<uint8_t> bytes = readFile(file);
    ASSERT_EQ(d3dx::DecodeImage(bytes.data(), bytes.size(), f), S_OK);
    EXPECT_EQ(f.levels[0].width, desc.Width);
    EXPECT_EQ(f.levels[0].height, desc.Height);
    EXPECT_EQ(f.levels[0].at(0, 0), 0xFF00BFFFu);
    EXPECT_EQ(f.levels[0].at(desc.Width - 1, desc.Height - 1), 0xFF00BFFFu);
    ASSERT_EQ(d3dx::DecodeImage(buf->GetBufferPointer(), buf->GetBufferSize(), f), S_OK);
    EXPECT_EQ(f.levels[0].width, 20u);
    EXPECT_EQ(f.levels[0].height, 5u);
    buf->Release();
}

TEST_F(D3dxTexture, SavingRefusesSymbolicLinksAndBadArguments)
{
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    writeFile("victim.txt", {'k', 'e', 'e', 'p'});
    ASSERT_EQ(symlink(path("victim.txt").c_str(), path("temp.bmp").c_str()), 0);
    EXPECT_TRUE(FAILED(D3DXSaveTextureToFileA(path("temp.bmp").c_str(), D3DXIFF_BMP, tex, nullptr)));
    EXPECT_EQ(readFile(path("victim.txt")).size(), 4u) << "the link's target is untouched";

    EXPECT_EQ(D3DXSaveTextureToFileA(path("x.tga").c_str(), D3DXIFF_TGA, tex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileA(path("no/such/dir.bmp").c_str(), D3DXIFF_BMP, tex, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileA(nullptr, D3DXIFF_BMP, tex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveSurfaceToFileA(path("y.bmp").c_str(), D3DXIFF_BMP, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DSurface9* surf = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &surf), S_OK);
    RECT outside = {0, 0, 3, 3};
    EXPECT_EQ(D3DXSaveSurfaceToFileA(path("y.bmp").c_str(), D3DXIFF_BMP, surf, nullptr, &outside),
              D3DERR_INVALIDCALL);
    surf->Release();
    tex->Release();
}

TEST_F(D3dxTexture, FilterTextureRebuildsLowerLevels)
{
    for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM}) {
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(device->CreateTexture(4, 4, 3, 0, D3DFMT_A8R8G8B8, pool, &tex, nullptr), S_OK);
        fillLevel(tex, 0, checker(4, 4));
        ASSERT_EQ(D3DXFilterTexture(tex, nullptr, 0, D3DX_DEFAULT), S_OK);
        // Half the texels 0x80000000, half white: the box mean.
        EXPECT_EQ(level(tex, 1).at(1, 0), 0xC0808080u);
        EXPECT_EQ(level(tex, 2).at(0, 0), 0xC0808080u);
        EXPECT_EQ(level(tex, 0).argb, checker(4, 4).argb) << "the source level stays";
        EXPECT_EQ(D3DXFilterTexture(tex, nullptr, 3, D3DX_DEFAULT), D3DERR_INVALIDCALL);
        tex->Release();
    }
    // A default-pool texture is filled through system memory, never locked.
    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr),
              S_OK);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(rt->GetSurfaceLevel(0, &s), S_OK);
    std::vector<uint32_t> red(16, 0xFFFF0000);
    RECT src = {0, 0, 4, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, nullptr, red.data(), D3DFMT_A8R8G8B8, 16, nullptr, &src,
                                        D3DX_FILTER_NONE, 0),
              S_OK);
    ID3DXBuffer* buf = nullptr;
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buf, D3DXIFF_BMP, s, nullptr, nullptr), S_OK);
    d3dx::DecodedFile f;
    ASSERT_EQ(d3dx::DecodeImage(buf->GetBufferPointer(), buf->GetBufferSize(), f), S_OK);
    EXPECT_EQ(f.levels[0].at(3, 3), 0xFFFF0000u);
    buf->Release();
    s->Release();
    rt->Release();
}

TEST_F(D3dxTexture, CreateTextureAndRequirements)
{
    UINT w = D3DX_DEFAULT, h = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    D3DFORMAT fmt = D3DFMT_UNKNOWN;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &fmt, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(w, 256u);
    EXPECT_EQ(h, 256u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(fmt, D3DFMT_A8R8G8B8);

    fake.Caps().MaxTextureWidth = fake.Caps().MaxTextureHeight = 2048;
    fake.Caps().TextureCaps |= D3DPTEXTURECAPS_POW2;
    w = 3000;
    h = 100;
    levels = 0;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(w, 2048u);
    EXPECT_EQ(h, 128u);
    EXPECT_EQ(levels, 12u);

    fake.refusedTextureFormats = {D3DFMT_R5G6B5};
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 64, 64, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex), S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8) << "an unavailable format is replaced";
    tex->Release();
}

TEST_F(D3dxTexture, LoadSurfaceConvertsAndScales)
{
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    fillLevel(tex, 0, Image(4, 4, 0x11111111));
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &s), S_OK);
    uint16_t green565[4] = {0x07E0, 0x07E0, 0x07E0, 0x07E0};
    RECT src = {0, 0, 2, 2}, dst = {2, 2, 4, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, &dst, green565, D3DFMT_R5G6B5, 4, nullptr, &src,
                                        D3DX_DEFAULT, 0),
              S_OK);
    Image l0 = level(tex, 0);
    EXPECT_EQ(l0.at(3, 3), 0xFF00FF00u);
    EXPECT_EQ(l0.at(1, 1), 0x11111111u) << "outside the rectangle nothing changes";

    // Surface to surface, scaled up with point sampling.
    IDirect3DTexture9* big = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &big, nullptr), S_OK);
    IDirect3DSurface9* bs = nullptr;
    ASSERT_EQ(big->GetSurfaceLevel(0, &bs), S_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(bs, nullptr, nullptr, s, nullptr, nullptr, D3DX_FILTER_POINT, 0), S_OK);
    Image b0 = level(big, 0);
    EXPECT_EQ(b0.at(7, 7), 0xFF00FF00u);
    EXPECT_EQ(b0.at(0, 0), 0xFF101010u) << "0x11 in five and six bits";
    RECT bad = {0, 0, 9, 9};
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(bs, nullptr, &bad, s, nullptr, nullptr, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
    bs->Release();
    big->Release();
    s->Release();
    tex->Release();
}

TEST_F(D3dxTexture, NormalMapOfAFlatFieldPointsUp)
{
    IDirect3DTexture9* src = nullptr;
    IDirect3DTexture9* normals = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &src, nullptr), S_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &normals, nullptr), S_OK);
    fillLevel(src, 0, Image(4, 4, 0xFF808080));
    ASSERT_EQ(D3DXComputeNormalMap(normals, src, nullptr, 0, D3DX_CHANNEL_RED, 10.0f), S_OK);
    EXPECT_EQ(level(normals, 0).at(2, 1), 0xFF8080FFu);
    // A ramp in red tilts the normals against it.
    Image ramp(4, 4);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            ramp.at(x, y) = 0xFF000000u | ((x * 60) << 16);
    fillLevel(src, 0, ramp);
    ASSERT_EQ(D3DXComputeNormalMap(normals, src, nullptr, D3DX_NORMALMAP_MIRROR, D3DX_CHANNEL_RED, 10.0f), S_OK);
    uint32_t n = level(normals, 0).at(1, 1);
    EXPECT_LT((n >> 16) & 0xFF, 0x80u);
    EXPECT_EQ((n >> 8) & 0xFF, 0x80u);
    src->Release();
    normals->Release();
}

struct NormalMapCase {
    const char* name;
    int shift;      // the ramp's channel in the source, as a bit shift of ARGB
    bool alongY;    // the ramp rises down the rows instead of along them
    DWORD channel;  // the height channel asked for
    DWORD flags;
    float amplitude;
    UINT x, y;      // the texel looked at
    float du, dv;   // the height differences (right - left, below - above) it sees, in samples
};

void PrintTo(const NormalMapCase& c, std::ostream* os) { *os << c.name; }

class NormalMaps : public D3dxTexture, public ::testing::WithParamInterface<NormalMapCase> {};

// Source heights 0, 60, 120, 180 along the ramp; the normal is
// (-a du / 2, -a dv / 2, 1) normalised, scaled into 0..255 per channel.
TEST_P(NormalMaps, CentralDifferencesOfTheChosenChannel)
{
    const NormalMapCase& c = GetParam();
    IDirect3DTexture9* src = nullptr;
    IDirect3DTexture9* normals = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &src, nullptr), S_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &normals, nullptr), S_OK);
    Image ramp(4, 4);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            ramp.at(x, y) = (c.shift == 24 ? 0u : 0xFF000000u) | (((c.alongY ? y : x) * 60u) << c.shift);
    fillLevel(src, 0, ramp);
    ASSERT_EQ(D3DXComputeNormalMap(normals, src, nullptr, c.flags, c.channel, c.amplitude), S_OK);
    const float nx = -c.amplitude * c.du / 255.0f / 2.0f, ny = -c.amplitude * c.dv / 255.0f / 2.0f;
    const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
    auto enc = [len](float v) { return (int)std::lround((v / len * 0.5f + 0.5f) * 255.0f); };
    const uint32_t n = level(normals, 0).at(c.x, c.y);
    EXPECT_NEAR((int)((n >> 16) & 255), enc(nx), 1) << c.name;
    EXPECT_NEAR((int)((n >> 8) & 255), enc(ny), 1) << c.name;
    EXPECT_NEAR((int)(n & 255), enc(1.0f), 1) << c.name;
    src->Release();
    normals->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalMaps,
    ::testing::Values(
        NormalMapCase{"red ramp, amplitude 10", 16, false, D3DX_CHANNEL_RED, 0, 10.0f, 1, 1, 120, 0},
        NormalMapCase{"amplitude 1 tilts less", 16, false, D3DX_CHANNEL_RED, 0, 1.0f, 2, 2, 120, 0},
        NormalMapCase{"a ramp down the rows tilts green", 16, true, D3DX_CHANNEL_RED, 0, 10.0f, 1, 2, 0, 120},
        NormalMapCase{"another channel's ramp is ignored", 8, false, D3DX_CHANNEL_RED, 0, 10.0f, 1, 1, 0, 0},
        NormalMapCase{"the green channel when asked", 8, false, D3DX_CHANNEL_GREEN, 0, 10.0f, 1, 1, 120, 0},
        NormalMapCase{"the alpha channel when asked", 24, false, D3DX_CHANNEL_ALPHA, 0, 10.0f, 2, 0, 120, 0},
        NormalMapCase{"edges wrap by default", 16, false, D3DX_CHANNEL_RED, 0, 10.0f, 0, 1, 60 - 180, 0},
        NormalMapCase{"mirrored edges repeat the edge texel", 16, false, D3DX_CHANNEL_RED, D3DX_NORMALMAP_MIRROR_U,
                      10.0f, 3, 1, 180 - 120, 0},
        NormalMapCase{"mirroring v leaves u wrapping", 16, false, D3DX_CHANNEL_RED, D3DX_NORMALMAP_MIRROR_V, 10.0f,
                      3, 1, 0 - 120, 0},
        NormalMapCase{"inverted sign", 16, false, D3DX_CHANNEL_RED, D3DX_NORMALMAP_INVERTSIGN, 10.0f, 1, 1, -120,
                      0}));

TEST_F(D3dxTexture, NormalMapNeedsTexturesAndAChannel)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    EXPECT_EQ(D3DXComputeNormalMap(nullptr, t, nullptr, 0, D3DX_CHANNEL_RED, 10.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(t, nullptr, nullptr, 0, D3DX_CHANNEL_RED, 10.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(t, t, nullptr, 0, 0, 10.0f), D3DERR_INVALIDCALL);
    t->Release();
}
