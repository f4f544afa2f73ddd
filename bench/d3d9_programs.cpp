// Frames that meet fixed-function state combinations the device has not seen:
// the worst frame against the median, and the programs compiled inside frames.
//
// Each of 200 frames draws 40 small lit, textured meshes, one in each of 40
// fixed-function combinations (lighting and its lights, fog modes, stage
// operations, alpha test, specular), all new to the device at the first
// frame. It runs once per program path, each on a new device: "specialised"
// compiles a combination's program in the frame that first draws it (the
// device as it was), "background" draws with the program that takes the
// state as data while the specialised ones are compiled in the background,
// "uber" never leaves that program, and "auto" is what the renderer calls for
// (specialised on a software rasteriser, background elsewhere). Two more
// runs of "auto" share a pipeline cache: the first records the combinations,
// the second prepares them when its device is made (waited for before the
// first frame, as a loading screen would) and should compile nothing inside
// a frame.
//
//     build/bench/bench_d3d9_programs [frames]
//
// Runs headless unless SDL_VIDEODRIVER is set, with Mesa's shader cache off
// (a first run) unless MESA_SHADER_CACHE_DISABLE is set.
#include <windows.h>
#include <d3d9.h>

#include "d3d9/d3d9_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

const int kWidth = 640, kHeight = 480;
const int kCombinations = 40;

using Clock = std::chrono::steady_clock;

struct Vertex {
    float x, y, z, nx, ny, nz;
    DWORD color;
    float u, v;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

LRESULT CALLBACK WndProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

struct Result {
    double medianMs = 0, worstMs = 0, firstMs = 0;
    uint64_t compiles = 0, links = 0, uberDraws = 0, draws = 0;
    size_t specialised = 0;
    bool ok = false;
};

// The states of combination c: lighting with 1 to 3 lights (c & 1), a fog
// mode ((c >> 1) % 4), the operations of two stages (c / 8), alpha test and
// specular on some.
void SetCombination(IDirect3DDevice9* dev, int c)
{
    const bool lit = (c & 1) != 0;
    dev->SetRenderState(D3DRS_LIGHTING, lit);
    for (DWORD i = 0; i < 3; ++i) dev->LightEnable(i, lit && (int)i <= (c / 2) % 3);
    const int fog = (c >> 1) % 4;
    dev->SetRenderState(D3DRS_FOGENABLE, fog != 0);
    dev->SetRenderState(D3DRS_FOGVERTEXMODE, fog == 1 ? D3DFOG_LINEAR : fog == 2 ? D3DFOG_EXP : D3DFOG_NONE);
    dev->SetRenderState(D3DRS_FOGTABLEMODE, fog == 3 ? D3DFOG_LINEAR : D3DFOG_NONE);
    static const DWORD ops0[] = {D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_MODULATE2X, D3DTOP_BLENDDIFFUSEALPHA,
                                 D3DTOP_SELECTARG1};
    static const DWORD ops1[] = {D3DTOP_DISABLE, D3DTOP_MODULATE, D3DTOP_ADDSIGNED, D3DTOP_DISABLE, D3DTOP_LERP};
    const int s = (c / 8) % 5;
    dev->SetTextureStageState(0, D3DTSS_COLOROP, ops0[s]);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, ops1[s]);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    dev->SetTextureStageState(1, D3DTSS_COLORARG0, D3DTA_DIFFUSE);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, c % 3 == 0);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    dev->SetRenderState(D3DRS_SPECULARENABLE, lit && c % 5 == 0);
}

Result Run(d3d9gl::ProgramPath path, int frames, bool prepared)
{
    Result r;
    d3d9gl::SetProgramPath(path, true);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench_d3d9_programs";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "bench", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, wc.hInstance, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = nullptr;
    if (hwnd && d3d) {
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
    }
    d3d9gl::SetProgramPath(d3d9gl::ProgramPath::Auto, false);
    if (!dev) {
        if (d3d) d3d->Release();
        if (hwnd) DestroyWindow(hwnd);
        return r;
    }
    auto* device = static_cast<d3d9gl::Device*>(dev);
    // What a loading screen would hide: the recorded states prepared.
    if (prepared) device->WaitForPrograms();

    IDirect3DTexture9* tex = nullptr;
    dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    D3DLOCKED_RECT lr;
    if (tex && SUCCEEDED(tex->LockRect(0, &lr, nullptr, 0))) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ((DWORD*)((BYTE*)lr.pBits + y * lr.Pitch))[x] = ((x ^ y) & 4) ? 0xC0F08040u : 0x80406080u;
        tex->UnlockRect(0);
    }
    dev->SetTexture(0, tex);
    dev->SetTexture(1, tex);
    D3DMATERIAL9 m{};
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = {0.2f, 0.2f, 0.2f, 1};
    m.Specular = {1, 1, 1, 1};
    m.Power = 8;
    dev->SetMaterial(&m);
    for (DWORD i = 0; i < 3; ++i) {
        D3DLIGHT9 l{};
        l.Type = i == 0 ? D3DLIGHT_DIRECTIONAL : i == 1 ? D3DLIGHT_POINT : D3DLIGHT_SPOT;
        l.Diffuse = {0.8f, 0.7f, 0.6f, 1};
        l.Specular = {1, 1, 1, 1};
        l.Position = {0, 0, -2};
        l.Direction = {0, 0, 1};
        l.Range = 100;
        l.Attenuation0 = 1;
        l.Theta = 0.5f;
        l.Phi = 1.0f;
        l.Falloff = 1;
        dev->SetLight(i, &l);
    }
    D3DMATRIX proj = {{{1.0f, 0, 0, 0, 0, 1.33f, 0, 0, 0, 0, 1.0f, 1.0f, 0, 0, -0.1f, 0}}};
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    auto bits = [](float f) {
        DWORD d;
        std::memcpy(&d, &f, 4);
        return d;
    };
    dev->SetRenderState(D3DRS_FOGSTART, bits(1.0f));
    dev->SetRenderState(D3DRS_FOGEND, bits(4.0f));
    dev->SetRenderState(D3DRS_FOGDENSITY, bits(0.3f));
    dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF808090);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetFVF(kFvf);

    // A small quad per combination, in an 8 x 5 grid, 2 units away.
    std::vector<Vertex> quads;
    for (int c = 0; c < kCombinations; ++c) {
        const float x = -1.6f + 0.4f * (c % 8), y = 1.0f - 0.45f * (c / 8);
        const DWORD col = 0xC0000000u | (DWORD)(c * 0x050A0F);
        quads.push_back({x, y, 2, 0, 0, -1, col, 0, 0});
        quads.push_back({x + 0.35f, y, 2, 0, 0, -1, col, 1, 0});
        quads.push_back({x, y - 0.4f, 2.5f, 0, 0, -1, col, 0, 1});
        quads.push_back({x + 0.35f, y - 0.4f, 2.5f, 0, 0, -1, col, 1, 1});
    }

    const d3d9gl::GLCounters before = device->Counters();
    std::vector<double> times;
    for (int f = 0; f < frames; ++f) {
        const Clock::time_point t0 = Clock::now();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202020, 1.0f, 0);
        dev->BeginScene();
        for (int k = 0; k < kCombinations; ++k) {
            const int c = (k + f) % kCombinations;  // a different order each frame
            SetCombination(dev, c);
            dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &quads[(size_t)c * 4], sizeof(Vertex));
        }
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const d3d9gl::GLCounters after = device->Counters();
    r.compiles = after.shaderCompiles - before.shaderCompiles;
    r.links = after.programLinks - before.programLinks;
    r.uberDraws = after.uberDraws - before.uberDraws;
    r.draws = after.draws - before.draws;
    r.specialised = device->Programs().SpecialisedPrograms();
    r.firstMs = times[0];
    r.worstMs = *std::max_element(times.begin(), times.end());
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    r.medianMs = sorted[sorted.size() / 2];
    r.ok = true;

    dev->SetTexture(0, nullptr);
    dev->SetTexture(1, nullptr);
    if (tex) tex->Release();
    dev->Release();
    d3d->Release();
    DestroyWindow(hwnd);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    setenv("NIMB_D3D9_PIPELINES", "off", 0);
    int frames = argc > 1 ? std::atoi(argv[1]) : 200;
    if (frames < 2) frames = 200;
    // The last two rows run with a pipeline cache of their own: the first
    // records the combinations, the second prepares them when its device is
    // made, as a show's loading would.
    char cache[] = "/tmp/bench_d3d9_programs_XXXXXX";
    const bool cacheDir = mkdtemp(cache) != nullptr;
    struct {
        const char* name;
        d3d9gl::ProgramPath path;
        bool cached;
    } paths[] = {{"specialised", d3d9gl::ProgramPath::Specialised, false},
                 {"auto", d3d9gl::ProgramPath::Auto, false},
                 {"background", d3d9gl::ProgramPath::Background, false},
                 {"uber", d3d9gl::ProgramPath::Uber, false},
                 {"auto, records", d3d9gl::ProgramPath::Auto, true},
                 {"auto, cached", d3d9gl::ProgramPath::Auto, true}};
    std::printf("%d frames, each drawing %d fixed-function combinations, all new at the first frame\n", frames,
                kCombinations);
    std::printf("path            median ms  worst ms  worst/median  first ms  compiles+links in frames  "
                "uber draws  specialised ready\n");
    int status = 0;
    for (const auto& p : paths) {
        if (p.cached && !cacheDir) continue;
        if (p.cached) {
            setenv("XDG_CACHE_HOME", cache, 1);
            setenv("NIMB_D3D9_PIPELINES", "on", 1);
        }
        const Result r = Run(p.path, frames, p.cached);
        setenv("NIMB_D3D9_PIPELINES", "off", 1);
        if (!r.ok) {
            std::printf("%-14s  device not available\n", p.name);
            status = 1;
            continue;
        }
        std::printf("%-14s  %9.2f  %8.2f  %12.2f  %8.2f  %24llu  %10llu  %17zu\n", p.name, r.medianMs, r.worstMs,
                    r.worstMs / std::max(r.medianMs, 1e-9), r.firstMs,
                    (unsigned long long)(r.compiles + r.links), (unsigned long long)r.uberDraws, r.specialised);
    }
    if (cacheDir) std::filesystem::remove_all(cache);
    return status;
}
