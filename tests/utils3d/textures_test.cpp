// Textures loaded with a chosen format, and the names of the formats.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fake_d3d9.h"
#include "utils.h"

namespace {

// A 24-bit BMP of w x h, grey, in the current folder.
void WriteBmp(const char* name, int w, int h)
{
    const int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> file(54 + (size_t)stride * h, 0x80);
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = (unsigned char)(v >> (8 * i));
    };
    std::fill(file.begin(), file.begin() + 54, 0);
    file[0] = 'B';
    file[1] = 'M';
    put32(2, (uint32_t)file.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)w);
    put32(22, (uint32_t)h);
    file[26] = 1;
    file[28] = 24;
    FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
}

class TextureWithFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/utils3d_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_folder = templ;
        char cwd[4096];
        m_previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
        ASSERT_EQ(chdir(m_folder.c_str()), 0);
        m_device = m_fake.MakeDevice();
        ASSERT_NE(m_device, nullptr);
    }
    void TearDown() override
    {
        if (m_device)
            m_device->Release();
        if (chdir(m_previous.c_str()) != 0) {
        }
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    FakeD3D9 m_fake;
    IDirect3DDevice9* m_device = nullptr;
    std::string m_folder, m_previous;
};

TEST_F(TextureWithFormat, LoadsTheFileAsNamedIntoAManagedTextureWithAFullChain)
{
    WriteBmp("picture.bmp", 8, 4);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(CreateTextureWithFormat(m_device, "picture.bmp", &texture, D3DFMT_X8R8G8B8), S_OK);
    ASSERT_NE(texture, nullptr);
    const FakeCall* create = m_fake.Find("CreateTexture").at(0);
    EXPECT_EQ(create->Arg("Format"), (uint64_t)D3DFMT_X8R8G8B8);
    EXPECT_EQ(create->Arg("Pool"), (uint64_t)D3DPOOL_MANAGED);
    EXPECT_EQ(create->Arg("Usage"), 0u);
    EXPECT_EQ(texture->GetLevelCount(), 4u); // 8x4, 4x2, 2x1, 1x1
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    texture->Release();
}

TEST_F(TextureWithFormat, AMissingFileFailsWithoutATexture)
{
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_TRUE(FAILED(CreateTextureWithFormat(m_device, "missing.bmp", &texture, D3DFMT_A8R8G8B8)));
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(m_fake.Count("CreateTexture"), 0u);
}

TEST(FormatName, NamesWithAndWithoutThePrefix)
{
    struct Case {
        D3DFORMAT format;
        bool prefix;
        const char* name;
    } cases[] = {
        {D3DFMT_D24S8, false, "D24S8"},
        {D3DFMT_D24S8, true, "D3DFMT_D24S8"},
        {D3DFMT_A8R8G8B8, false, "A8R8G8B8"},
        {D3DFMT_UNKNOWN, true, "D3DFMT_UNKNOWN"},
        {D3DFMT_DXT5, false, "DXT5"},
        {D3DFMT_MULTI2_ARGB8, true, "D3DFMT_MULTI2_ARGB8"},
        {D3DFMT_CxV8U8, false, "CxV8U8"},
        {D3DFMT_UYVY, false, "UYVY"},
        {(D3DFORMAT)12345, true, "Unknown format"},
        {(D3DFORMAT)12345, false, "Unknown format"},
        {D3DFMT_R8G8_B8G8, true, "Unknown format"}, // a format without a name here
    };
    for (const Case& c : cases)
        EXPECT_STREQ(FormatName(c.format, c.prefix), c.name) << (int)c.format;
}

TEST(FormatName, FiftySixFormatsHaveNamesOfTheirOwn)
{
    std::set<std::string> names;
    for (int v = 0; v < 256; ++v)
        names.insert(FormatName((D3DFORMAT)v, true));
    for (uint32_t fourcc : {(uint32_t)D3DFMT_UYVY, (uint32_t)D3DFMT_YUY2, (uint32_t)D3DFMT_DXT1,
                            (uint32_t)D3DFMT_DXT2, (uint32_t)D3DFMT_DXT3, (uint32_t)D3DFMT_DXT4,
                            (uint32_t)D3DFMT_DXT5, (uint32_t)D3DFMT_MULTI2_ARGB8})
        names.insert(FormatName((D3DFORMAT)fourcc, true));
    names.erase("Unknown format");
    EXPECT_EQ(names.size(), 56u);
    for (const std::string& n : names)
        EXPECT_EQ(n.compare(0, 7, "D3DFMT_"), 0) << n;
}

} // namespace
