#include "show_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "config.h"
#include "scratch_folder.h"
#include "test_window.h"
#include "utils.h"

namespace {

class DeviceEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_scratch.reset(new ScratchFolder("show_test"));
        m_folder = m_scratch->path();
        if (m_folder.empty()) return;

        // The show's pictures and models; the tests add their own beside them.
        for (const char* folder : {"data/textures", "data/models", "data/shaders"}) {
            std::filesystem::create_directories(folder);
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(std::string(NIMB_RUN_DIR "/") + folder, ec))
                std::filesystem::create_symlink(e.path(), folder / e.path().filename(), ec);
        }
        std::ofstream("config.xml") << "<?xml version=\"1.0\" ?>\n<main>\n"
                                       "  <resx>800</resx>\n  <resy>600</resy>\n"
                                       "  <windowed>true</windowed>\n  <showfps>false</showfps>\n"
                                       "  <mipmapping>false</mipmapping>\n</main>\n";
        g_pConfig = new Config();

        m_hwnd = TestWindow(kScreenW, kScreenH, true);
        if (!m_hwnd) return;
        m_gfx = new NimbGfx();
        m_gfx->m_hWnd = m_hwnd;
        m_gfx->m_width = kScreenW;
        m_gfx->m_height = kScreenH;
        if (!m_gfx->CreateDevice(true)) return;
        m_gfx->SetDefaultStates();
        m_ok = true;
    }

    void TearDown() override {
        delete m_gfx;
        m_gfx = nullptr;
        if (m_hwnd) DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
        m_scratch.reset();
    }

    bool m_ok = false;
    std::unique_ptr<ScratchFolder> m_scratch;
    std::string m_folder;
    HWND m_hwnd = nullptr;
    NimbGfx* m_gfx = nullptr;
};

DeviceEnvironment* g_env =
    static_cast<DeviceEnvironment*>(::testing::AddGlobalTestEnvironment(new DeviceEnvironment()));

}  // namespace

IDirect3DDevice9* ShowDevice() { return g_env->m_ok ? m_pd3dDevice : nullptr; }

const std::string& ShowFolder() { return g_env->m_folder; }

void WriteTestPicture(const char* name, int w, int h, uint32_t (*pixel)(int x, int y)) {
    std::string path = g_env->m_folder + "/data/textures/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t size = 54 + stride * h;
    unsigned char header[54] = {'B', 'M'};
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = (unsigned char)(v >> (8 * i));
    };
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)w);
    put32(22, (uint32_t)h);
    header[26] = 1;
    header[28] = 24;
    put32(34, stride * h);
    std::fwrite(header, 1, 54, f);
    std::vector<unsigned char> row(stride, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = pixel(x, y);
            row[x * 3 + 0] = (unsigned char)(c & 255);
            row[x * 3 + 1] = (unsigned char)((c >> 8) & 255);
            row[x * 3 + 2] = (unsigned char)((c >> 16) & 255);
        }
        std::fwrite(row.data(), 1, stride, f);
    }
    std::fclose(f);
}

void BeginFrame(D3DCOLOR clear) {
    m_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
    m_pd3dDevice->BeginScene();
}

Frame EndFrame() {
    m_pd3dDevice->EndScene();
    return ReadBackBuffer();
}

Frame ReadBackBuffer() {
    Frame frame;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(m_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return frame;
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(back->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        frame.width = (int)desc.Width;
        frame.height = (int)desc.Height;
        frame.pixels.resize((size_t)frame.width * frame.height);
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(&frame.pixels[(size_t)y * frame.width],
                        (const unsigned char*)locked.pBits + (size_t)y * locked.Pitch, frame.width * 4);
        back->UnlockRect();
    }
    back->Release();
    return frame;
}

void ResetStates() { ApplyDefaultStates(); }

std::string ReadDebugLog() {
    std::ifstream in(g_env->m_folder + "/debug.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
