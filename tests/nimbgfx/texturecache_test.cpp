// The texture cache and the mip rebuild through "temp.bmp", on the fake and
// on the real device.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <d3dx9.h>

#include "picture_fixtures.h"
#include "renderer_device.h"
#include "texturecache.h"

namespace {

ULONG RefCount(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

const std::vector<uint32_t> kPixels4x4 = {
    0xFFFF0000, 0x80FF0000, 0x00FF0000, 0x40FFFFFF, 0xFF00FF00, 0x8000FF00, 0x0000FF00, 0x40000000,
    0xFF0000FF, 0x800000FF, 0x000000FF, 0x40FFFF00, 0xFFFFFFFF, 0x80FFFFFF, 0x00FFFFFF, 0x4000FFFF,
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

class TextureCacheTest : public ::testing::TestWithParam<DeviceKind> {
protected:
    void SetUp() override
    {
        ScratchFolder::Write("data/textures/pic.bmp", MakeBmp32(4, 4, kPixels4x4));
    }
    std::unique_ptr<TestDevice> Device(bool mipmapping = true)
    {
        std::unique_ptr<TestDevice> d(new TestDevice(GetParam(), false, mipmapping));
        EXPECT_TRUE(d->ok());
        return d;
    }

    ScopedEnv temp_{"TEMP", nullptr};
    ScratchFolder folder_;
};

TEST_P(TextureCacheTest, SameNameSharesOneTextureUntilTheLastRelease)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    IDirect3DTexture9* a = nullptr;
    IDirect3DTexture9* b = nullptr;
    ASSERT_EQ(LoadTextureFromFile("pic.bmp", &a), S_OK);
    ASSERT_EQ(LoadTextureFromFile("pic.bmp", &b), S_OK);
    EXPECT_EQ(a, b);
    ASSERT_EQ(g_textureCache.size(), 1u);
    EXPECT_EQ(g_textureCache.front()->m_refCount, 2);
    EXPECT_STREQ(g_textureCache.front()->m_name, "pic.bmp");
    EXPECT_EQ(RefCount(a), 1u);  // one reference for all users

    ReleaseTexture(a);
    ASSERT_EQ(g_textureCache.size(), 1u);
    EXPECT_EQ(g_textureCache.front()->m_refCount, 1);

    a->AddRef();  // keep the object readable past the cache's release
    ReleaseTexture(b);
    EXPECT_TRUE(g_textureCache.empty());
    EXPECT_EQ(a->Release(), 0u);

    // More releases than loads, and unknown pointers, change nothing.
    ReleaseTexture(b);
    ReleaseTexture(nullptr);
    EXPECT_TRUE(g_textureCache.empty());
}

TEST_P(TextureCacheTest, NamesDifferingInCaseAreDifferentEntries)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    IDirect3DTexture9* lower = nullptr;
    IDirect3DTexture9* upper = nullptr;
    ASSERT_EQ(LoadTextureFromFile("pic.bmp", &lower), S_OK);
    ASSERT_EQ(LoadTextureFromFile("PIC.bmp", &upper), S_OK);
    EXPECT_NE(lower, upper);
    EXPECT_EQ(g_textureCache.size(), 2u);
    ReleaseTexture(lower);
    ReleaseTexture(upper);
    EXPECT_TRUE(g_textureCache.empty());
}

TEST_P(TextureCacheTest, FailedLoadLeavesNoTraceAndTheFileIsTriedAgain)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    IDirect3DTexture9* tex = nullptr;
    EXPECT_TRUE(FAILED(LoadTextureFromFile("late.bmp", &tex)));
    EXPECT_TRUE(g_textureCache.empty());

    ScratchFolder::Write("data/textures/late.bmp", MakeBmp32(4, 4, kPixels4x4));
    ASSERT_EQ(LoadTextureFromFile("late.bmp", &tex), S_OK);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(g_textureCache.size(), 1u);
    ReleaseTexture(tex);
}

TEST_P(TextureCacheTest, DamagedFilesFailCleanly)
{
    using namespace fixtures;
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    std::string good = MakeBmp32(4, 4, kPixels4x4);
    const std::pair<const char*, std::string> files[] = {
        {"truncated.bmp", good.substr(0, good.size() / 2)},
        {"header.bmp", good.substr(0, 20)},
        {"empty.png", ""},
        {"garbage.png", std::string("\x89PNG\r\n\x1a\n") + std::string(64, '\x55')},
        {"garbage.jpg", std::string("\xFF\xD8\xFF\xE0") + std::string(64, '\x00')},
        // Headers declaring 16384 x 16384 over a few bytes of data.
        {"huge.png", AsString(DeclaringSize(MakePng(1, 1), 16384, 16384))},
        {"huge.jpg", AsString(DeclaringSize(MakeJpeg(16, 16, JpegKind::Progressive), 16384, 16384))},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.first);
        ScratchFolder::Write(std::string("data/textures/") + f.first, f.second);
        IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(0x1);
        EXPECT_TRUE(FAILED(LoadTextureFromFile(f.first, &tex)));
        EXPECT_EQ(tex, nullptr);
        EXPECT_TRUE(g_textureCache.empty());
    }
}

TEST_P(TextureCacheTest, OverlongNameFailsWithoutOverflow)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    std::string name(5000, 'n');
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(0x1);
    EXPECT_TRUE(FAILED(LoadTextureFromFile(name.c_str(), &tex)));
    EXPECT_EQ(tex, nullptr);
    EXPECT_TRUE(g_textureCache.empty());
}

TEST_P(TextureCacheTest, MipMappingSwitchDecidesTheLevels)
{
    for (bool mip : {true, false}) {
        SCOPED_TRACE(mip ? "mip-mapping on" : "mip-mapping off");
        auto dev = Device(mip);
        ASSERT_TRUE(dev->ok());
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(LoadTextureFromFile("pic.bmp", &tex), S_OK);
        EXPECT_EQ(tex->GetLevelCount(), mip ? 3u : 1u);

        if (!mip) {
            IDirect3DTexture9* same = tex;
            GenerateMipmaps(&same);
            EXPECT_EQ(same, tex);
            EXPECT_EQ(tex->GetLevelCount(), 1u);
        }
        ReleaseTexture(tex);
        EXPECT_TRUE(g_textureCache.empty());
    }
}

// The font's glyph texture is A4R4G4B4 with coverage in alpha only: the
// rebuild must keep the alpha, or every glyph turns into a box.
TEST_P(TextureCacheTest, MipRebuildKeepsAlpha)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->device()->CreateTexture(8, 8, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), S_OK);
    for (int y = 0; y < 8; y++) {
        WORD* row = reinterpret_cast<WORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch);
        for (int x = 0; x < 8; x++)
            row[x] = (x < 4) ? 0x0000 : (WORD)(((x * 2 + y) & 0xF) << 12 | 0x0FFF);
    }
    tex->UnlockRect(0);

    GenerateMipmaps(&tex);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->GetLevelCount(), 4u);
    EXPECT_FALSE(std::filesystem::exists("temp.bmp"));

    IDirect3DSurface9* top = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &top), S_OK);
    D3DSURFACE_DESC desc;
    top->GetDesc(&desc);
    top->Release();
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), S_OK);
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 8; x++) {
            unsigned alpha4 = (x < 4) ? 0u : (unsigned)((x * 2 + y) & 0xF);
            unsigned alpha;
            const BYTE* row = static_cast<const BYTE*>(lr.pBits) + y * lr.Pitch;
            if (desc.Format == D3DFMT_A8R8G8B8)
                alpha = row[x * 4 + 3] >> 4;
            else if (desc.Format == D3DFMT_A4R4G4B4)
                alpha = reinterpret_cast<const WORD*>(row)[x] >> 12;
            else
                FAIL() << "rebuilt format without alpha: " << desc.Format;
            EXPECT_EQ(alpha, alpha4) << x << "," << y;
        }
    }
    tex->UnlockRect(0);
    tex->Release();
}

TEST_P(TextureCacheTest, TempFileGoesToTempAndIsRemoved)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    std::filesystem::create_directories("tmpdir");
    std::string tmp = folder_.path() + "/tmpdir";
    for (const char* temp : {(const char*)nullptr, tmp.c_str()}) {
        ScopedEnv env("TEMP", temp);
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(dev->device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
        GenerateMipmaps(&tex);
        ASSERT_NE(tex, nullptr);
        EXPECT_EQ(tex->GetLevelCount(), 3u);
        tex->Release();
        EXPECT_FALSE(std::filesystem::exists("temp.bmp"));
        EXPECT_FALSE(std::filesystem::exists("tmpdir/temp.bmp"));
    }
}

TEST_P(TextureCacheTest, OverlongTempLeavesTheTextureAlone)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    std::string longTemp(5000, 't');
    ScopedEnv env("TEMP", longTemp.c_str());
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    IDirect3DTexture9* before = tex;
    GenerateMipmaps(&tex);
    EXPECT_EQ(tex, before);
    EXPECT_EQ(tex->GetLevelCount(), 1u);
    tex->Release();
}

TEST_P(TextureCacheTest, TempFileNeverWritesThroughALink)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    ScratchFolder::Write("victim.txt", "keep me");
    ASSERT_EQ(symlink((folder_.path() + "/victim.txt").c_str(), "temp.bmp"), 0);

    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    GenerateMipmaps(&tex);
    EXPECT_EQ(ScratchFolder::Read("victim.txt"), "keep me");
    struct stat st;
    EXPECT_NE(lstat("temp.bmp", &st), 0);
    ASSERT_NE(tex, nullptr);
    tex->Release();
}

TEST_P(TextureCacheTest, FreeTextureCacheReleasesWhatIsStillHeld)
{
    auto dev = Device();
    ASSERT_TRUE(dev->ok());
    ScratchFolder::Write("data/textures/other.bmp", MakeBmp32(4, 4, kPixels4x4));
    IDirect3DTexture9* a = nullptr;
    IDirect3DTexture9* b = nullptr;
    ASSERT_EQ(LoadTextureFromFile("pic.bmp", &a), S_OK);
    ASSERT_EQ(LoadTextureFromFile("other.bmp", &b), S_OK);
    a->AddRef();
    FreeTextureCache();
    EXPECT_TRUE(g_textureCache.empty());
    EXPECT_EQ(a->Release(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Devices, TextureCacheTest, ::testing::Values(DeviceKind::Fake, DeviceKind::Real),
                         [](const ::testing::TestParamInfo<DeviceKind>& i) { return DeviceKindName(i.param); });

// A reload that fails leaves the caller no pointer to the released texture.
TEST(TextureCacheFake, FailedReloadLeavesNoDanglingPointer)
{
    ScopedEnv env("TEMP", nullptr);
    ScratchFolder folder;
    TestDevice dev(DeviceKind::Fake, false, true);
    ASSERT_TRUE(dev.ok());
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev.device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), S_OK);
    dev.fake()->Fail("CreateTexture");
    auto textures = [&] {
        std::vector<std::string> kinds = dev.fake()->LiveObjectKinds();
        return std::count(kinds.begin(), kinds.end(), std::string("texture"));
    };
    ASSERT_EQ(textures(), 1);
    GenerateMipmaps(&tex);
    EXPECT_EQ(tex, nullptr);
    EXPECT_EQ(textures(), 0);
    EXPECT_FALSE(std::filesystem::exists("temp.bmp"));
}

}  // namespace
