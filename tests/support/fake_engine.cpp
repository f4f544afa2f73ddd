#include "fake_engine.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "config.h"
#include "renderer.h"
#include "texturecache.h"

namespace {

std::string Num(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

} // namespace

std::string XMeshText(const std::vector<XPiece>& pieces, bool colours)
{
    int faces = 0;
    for (const XPiece& p : pieces)
        faces += p.faces;
    std::string vertices, indices, attributes, colourList;
    int v = 0, f = 0;
    for (size_t a = 0; a < pieces.size(); ++a)
        for (int i = 0; i < pieces[a].faces; ++i, ++f) {
            // Clockwise seen from -z: front faces toward a camera at -z.
            const float x = 1.5f * f;
            const float corners[3][2] = {{x, 0}, {x, 1}, {x + 1, 0}};
            for (const auto& c : corners) {
                vertices += (v ? ", " : "") + Num(c[0]) + ";" + Num(c[1]) + ";0.0;";
                colourList += (v ? ", " : "") + std::to_string(v) + "; 1.0;0.5;0.25;1.0;;";
                ++v;
            }
            indices += (f ? ", " : "") + std::string("3;") + std::to_string(v - 3) + "," + std::to_string(v - 2) + "," +
                       std::to_string(v - 1) + ";";
            attributes += (f ? ", " : "") + std::to_string(a);
        }
    std::string text = "xof 0303txt 0032\nMesh Test {\n  " + std::to_string(v) + ";\n  " + vertices + ";\n  " +
                       std::to_string(faces) + ";\n  " + indices + ";\n";
    if (colours)
        text += "  MeshVertexColors { " + std::to_string(v) + "; " + colourList + "; }\n";
    text += "  MeshMaterialList {\n    " + std::to_string(pieces.size()) + "; " + std::to_string(faces) + "; " +
            attributes + ";;\n";
    for (const XPiece& p : pieces) {
        text += "    Material { 1.0;1.0;1.0;" + Num(p.alpha) + ";; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;;";
        if (!p.texture.empty())
            text += " TextureFilename { \"" + p.texture + "\"; }";
        text += " }\n";
    }
    text += "  }\n}\n";
    return text;
}

std::string XSquareText()
{
    return "xof 0303txt 0032\nMesh Square {\n  4;\n  -1.0;-1.0;0.0;, -1.0;1.0;0.0;, 1.0;1.0;0.0;, 1.0;-1.0;0.0;;\n"
           "  2;\n  3;0,1,2;, 3;0,2,3;;\n}\n";
}

void FakeEngineTest::SetUp()
{
    m_folder.reset(new ScratchFolder("nimb_objects"));
    ASSERT_FALSE(m_folder->path().empty());
    std::filesystem::create_directories("data/models");
    std::filesystem::create_directories("data/textures");

    m_previousDevice = m_pd3dDevice;
    m_previousCaps = g_d3dCaps;
    m_previousDefaults = g_pDefaultStateBlock;
    m_previousConfig = g_pConfig;
    g_pDefaultStateBlock = nullptr;
    g_pConfig = nullptr;
    m_cachedBefore = g_textureCache.size();

    dev = fake.MakeDevice(800, 600);
    ASSERT_NE(dev, nullptr);
    m_pd3dDevice = dev;
    dev->GetDeviceCaps(&g_d3dCaps);
}

void FakeEngineTest::TearDown()
{
    EXPECT_EQ(g_textureCache.size(), m_cachedBefore) << "a texture was not given back";
    if (dev)
        dev->Release();
    dev = nullptr;
    EXPECT_EQ(fake.LiveObjects(), 0u) << "a device object was not released";
    EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();

    m_pd3dDevice = m_previousDevice;
    g_d3dCaps = m_previousCaps;
    g_pDefaultStateBlock = m_previousDefaults;
    g_pConfig = m_previousConfig;
    m_folder.reset();
}

void FakeEngineTest::WriteFile(const std::string& path, const std::string& bytes)
{
    ScratchFolder::Write(path, bytes);
}

std::string FakeEngineTest::ReadFile(const std::string& path)
{
    return ScratchFolder::Read(path);
}

void FakeEngineTest::WriteTexture(const std::string& name, DWORD rgb)
{
    // 2 x 2, 24 bits, rows padded to 8 bytes.
    std::string bmp = "BM";
    auto put32 = [&](uint32_t x) {
        for (int i = 0; i < 4; ++i)
            bmp.push_back((char)((x >> (8 * i)) & 255));
    };
    auto put16 = [&](uint32_t x) {
        bmp.push_back((char)(x & 255));
        bmp.push_back((char)((x >> 8) & 255));
    };
    put32(54 + 16);
    put32(0);
    put32(54);
    put32(40);
    put32(2);
    put32(2);
    put16(1);
    put16(24);
    put32(0);
    put32(16);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 2; ++x) {
            bmp.push_back((char)(rgb & 255));
            bmp.push_back((char)((rgb >> 8) & 255));
            bmp.push_back((char)((rgb >> 16) & 255));
        }
        bmp.append(2, '\0');
    }
    WriteFile("data/textures/" + name, bmp);
}
