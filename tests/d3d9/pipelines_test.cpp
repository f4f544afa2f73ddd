// Pipeline-state cache files, and devices that prepare what they record.
#include "device_fixture.h"

#include "d3d9/d3d9_device.h"
#include "d3d9/d3d9_pipelines.h"
#include "d3d9/d3d9_programs.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace d3d9test {
namespace {

using d3d9gl::PipelineSet;
using d3d9gl::PipelineState;

PipelineState State(int n)
{
    PipelineState s;
    std::memset(&s, 0, sizeof(s));
    s.pixel.stageCount = 1;
    s.pixel.stage[0].colorOp = (uint8_t)(2 + n % 20);
    s.vertex.fog = (uint8_t)(n & 1);
    s.blend = (uint8_t)(n & 2);
    s.target = n % 3 == 0 ? 0u : (uint32_t)D3DFMT_A8R8G8B8;
    s.depth = D3DFMT_D24S8;
    return s;
}

std::vector<char> Bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), (std::streamsize)bytes.size());
}

class PipelineFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/pipelines_test_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_dir = templ;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
};

TEST_F(PipelineFiles, TheSameStatesGiveTheSameBytesAndReadBackWhole)
{
    PipelineSet a, b;
    for (int i = 0; i < 12; ++i) a.insert(State(i));
    for (int i = 11; i >= 0; --i) b.insert(State(i));
    ASSERT_TRUE(d3d9gl::WritePipelineCache(m_dir + "/a.bin", a));
    ASSERT_TRUE(d3d9gl::WritePipelineCache(m_dir + "/sub/dir/b.bin", b));
    EXPECT_EQ(Bytes(m_dir + "/a.bin"), Bytes(m_dir + "/sub/dir/b.bin"));
    PipelineSet read;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache(m_dir + "/a.bin", read));
    EXPECT_EQ(read, a);
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/a.bin.tmp"));
}

TEST_F(PipelineFiles, TruncatedCorruptAndForeignFilesAreRefusedWhole)
{
    PipelineSet states;
    for (int i = 0; i < 4; ++i) states.insert(State(i));
    const std::string good = m_dir + "/good.bin";
    ASSERT_TRUE(d3d9gl::WritePipelineCache(good, states));
    const std::vector<char> bytes = Bytes(good);
    const size_t header = 24;
    struct Case {
        const char* what;
        std::vector<char> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"cut inside the header", std::vector<char>(bytes.begin(), bytes.begin() + 10)});
    cases.push_back({"cut by a byte", std::vector<char>(bytes.begin(), bytes.end() - 1)});
    cases.push_back({"cut by a record", std::vector<char>(bytes.begin(), bytes.end() - sizeof(PipelineState))});
    std::vector<char> flipped = bytes;
    flipped[header + sizeof(PipelineState) + 5] ^= 0x40;
    cases.push_back({"a record's byte changed", flipped});
    std::vector<char> magic = bytes;
    magic[0] = 'X';
    cases.push_back({"another program's file", magic});
    std::vector<char> version = bytes;
    version[8] = 9;
    cases.push_back({"another version", version});
    std::vector<char> size = bytes;
    size[12] ^= 1;
    cases.push_back({"records of another layout", size});
    std::vector<char> layout = bytes;
    layout[20] ^= 1;
    cases.push_back({"another build's layout", layout});
    std::vector<char> count = bytes;
    count[16] = 100;
    cases.push_back({"a count beyond the file", count});
    std::vector<char> longer = bytes;
    longer.push_back(0);
    cases.push_back({"a byte too many", longer});
    for (const Case& c : cases) {
        const std::string path = m_dir + "/bad.bin";
        Write(path, c.bytes);
        PipelineSet read;
        EXPECT_FALSE(d3d9gl::ReadPipelineCache(path, read)) << c.what;
        EXPECT_TRUE(read.empty()) << c.what;
    }
    PipelineSet none;
    EXPECT_FALSE(d3d9gl::ReadPipelineCache(m_dir + "/missing.bin", none));
    EXPECT_FALSE(d3d9gl::ReadPipelineCache("", none));
}

// Devices with the caches on, the user's cache in a folder of the test's own.
class CachedDevice : public DeviceTest {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/pipelines_device_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_dir = templ;
        Save("XDG_CACHE_HOME", m_dir.c_str());
        Save("NIMB_D3D9_PIPELINES", "on");
        d3d9gl::SetProgramPath(d3d9gl::ProgramPath::Specialised, true);
        DeviceTest::SetUp();
        m_path = d3d9gl::UserPipelineCachePath();
    }
    void TearDown() override
    {
        DeviceTest::TearDown();
        d3d9gl::SetProgramPath(d3d9gl::ProgramPath::Auto, false);
        for (auto& v : m_saved) {
            if (v.second.first) setenv(v.first.c_str(), v.second.second.c_str(), 1);
            else unsetenv(v.first.c_str());
        }
        std::filesystem::remove_all(m_dir);
    }
    void Save(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        m_saved.push_back({name, {old != nullptr, old ? old : ""}});
        setenv(name, value, 1);
    }
    // One device's life: a fog and an alpha-tested quad; the compiles its context made.
    uint64_t Run()
    {
        MakeDevice();
        auto* device = static_cast<d3d9gl::Device*>(m_dev);
        device->WaitForPrograms();
        const uint64_t before = device->Counters().shaderCompiles;
        m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF00FF00);
        Quad(0, 0, 32, 32, 0x80FF0000);
        m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        Quad(32, 32, 64, 64, 0x80FF0000);
        m_pixel = Pixel(8, 8);
        const uint64_t compiles = device->Counters().shaderCompiles - before;
        EXPECT_EQ(m_dev->Release(), 0u);
        m_dev = nullptr;
        return compiles;
    }
    std::string m_dir, m_path;
    DWORD m_pixel = 0;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_saved;
};

TEST_F(CachedDevice, ALaterDeviceCompilesNothingInItsFramesForWhatAnEarlierOneRecorded)
{
    EXPECT_GT(Run(), 0u);
    PipelineSet recorded;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache(m_path, recorded)) << m_path;
    EXPECT_GE(recorded.size(), 2u);
    const DWORD first = m_pixel;
    EXPECT_EQ(Run(), 0u);
    EXPECT_TRUE(Near(m_pixel, first, 0, true));
    // Nothing new met: the file is left as it was.
    PipelineSet again;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache(m_path, again));
    EXPECT_EQ(again, recorded);
}

// The states a pair of application shaders met are drawn once after the
// Present that follows the link of the pair's program, and only for that pair.
TEST_F(CachedDevice, AProgramsRecordedStatesAreDrawnOnceItIsLinked)
{
    const std::vector<DWORD> vs = ShaderTokens(D3DVS_VERSION(3, 0),
                                               "layout(location = 0) in vec4 a_pos;\n"
                                               "void main() { gl_Position = vec4(a_pos.xyz, 1.0); }\n");
    const std::vector<DWORD> red = ShaderTokens(D3DPS_VERSION(3, 0),
                                                "out vec4 oC0;\nvoid main() { oC0 = vec4(1.0, 0.0, 0.0, 1.0); }\n");
    const std::vector<DWORD> green = ShaderTokens(D3DPS_VERSION(3, 0),
                                                  "out vec4 oC0;\nvoid main() { oC0 = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    // Warm draws made after the program of vs and the given pixel shader is
    // prepared; with `draw`, the pair then draws a quad (and so is recorded).
    auto life = [&](const std::vector<DWORD>& ps, bool draw) {
        MakeDevice();
        auto* device = static_cast<d3d9gl::Device*>(m_dev);
        device->WaitForPrograms();
        IDirect3DVertexShader9* v = nullptr;
        IDirect3DPixelShader9* f = nullptr;
        EXPECT_EQ(m_dev->CreateVertexShader(vs.data(), &v), S_OK);
        EXPECT_EQ(m_dev->CreatePixelShader(ps.data(), &f), S_OK);
        const uint64_t before = device->Counters().warmDraws;
        EXPECT_TRUE(PrepareShaderProgram(m_dev, v, f));
        m_dev->Present(nullptr, nullptr, nullptr, nullptr);
        const uint64_t warmed = device->Counters().warmDraws - before;
        // Drawn once: the pair prepared again draws nothing more.
        EXPECT_TRUE(PrepareShaderProgram(m_dev, v, f));
        m_dev->Present(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(device->Counters().warmDraws - before, warmed);
        if (draw) {
            m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            m_dev->SetVertexShader(v);
            m_dev->SetPixelShader(f);
            struct V { float x, y, z; } quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
            m_dev->SetFVF(D3DFVF_XYZ);
            EXPECT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), S_OK);
            m_pixel = Pixel(8, 8);
            m_dev->SetVertexShader(nullptr);
            m_dev->SetPixelShader(nullptr);
        }
        v->Release();
        f->Release();
        EXPECT_EQ(m_dev->Release(), 0u);
        m_dev = nullptr;
        return warmed;
    };
    EXPECT_EQ(life(red, true), 0u);
    PipelineSet recorded;
    ASSERT_TRUE(d3d9gl::ReadPipelineCache(m_path, recorded)) << m_path;
    size_t programs = 0;
    for (const PipelineState& s : recorded)
        if (s.shaders[0] && s.shaders[1]) ++programs;
    EXPECT_EQ(programs, 1u);
    EXPECT_EQ(life(green, false), 0u);
    EXPECT_EQ(life(red, true), 1u);
    EXPECT_TRUE(Near(m_pixel, 0xFFFF0000, 0));
}

TEST_F(CachedDevice, AnUnreadableUserCacheIsIgnoredAndWrittenAnew)
{
    const char* damaged[] = {"", "NIMBPIPE", "not a cache at all, but longer than a header is"};
    for (const char* text : damaged) {
        std::filesystem::create_directories(std::filesystem::path(m_path).parent_path());
        Write(m_path, std::vector<char>(text, text + std::strlen(text)));
        EXPECT_GT(Run(), 0u) << "'" << text << "'";
        PipelineSet read;
        EXPECT_TRUE(d3d9gl::ReadPipelineCache(m_path, read)) << "'" << text << "'";
        EXPECT_GE(read.size(), 2u);
    }
}

} // namespace
} // namespace d3d9test
