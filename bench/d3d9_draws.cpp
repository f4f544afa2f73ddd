// Draw-call throughput of the Direct3D 9 device against raw OpenGL doing the
// same work, the GL state calls a draw makes, and the first-use cost of a new
// fixed-function state combination.
//
// A frame is 2,000 small textured quads (pre-transformed vertices, 8 x 8
// pixels) with a state change before each: the texture of stage 0 cycles
// through 8 textures and alpha blending toggles. Raw GL draws into an
// off-screen target that is blitted to the window at Present; the device
// draws its back buffer in place in the window (NIMB_D3D9_PRESENT=copy gives
// it the raw path's off-screen target and copy). A third figure
// adds 8 redundant state sets before each draw of the device's frame.
//
//     build/bench/bench_d3d9_draws [frames]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set, with
// Mesa's shader cache off unless MESA_SHADER_CACHE_DISABLE is set, and with
// one llvmpipe rasterizer thread unless LP_NUM_THREADS is set: the draws are
// tiny, and more threads only add scheduling noise on shared cores. The three
// measurements take turns, round after round, and each keeps its best round:
// the cores are shared, and the best round is the least disturbed one. Exits
// non-zero when a path is missing or the two pictures differ.
#include <windows.h>
#include <d3d9.h>

#include <SDL.h>
#include <GL/glcorearb.h>

#include "d3d9/d3d9_testing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

const int kWidth = 640, kHeight = 480;
const int kDraws = 2000;
const int kTextures = 8;
const int kQuad = 8; // pixels
const int kRounds = 15;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

struct Vertex {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
const DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The quads of one frame, 4 vertices each, in a grid over the target.
std::vector<Vertex> MakeQuads()
{
    std::vector<Vertex> v;
    v.reserve(kDraws * 4);
    const int perRow = kWidth / (kQuad + 2);
    for (int i = 0; i < kDraws; ++i) {
        float x = (float)((i % perRow) * (kQuad + 2));
        float y = (float)(((i / perRow) * (kQuad + 2)) % (kHeight - kQuad));
        DWORD c = 0x80000000u | (DWORD)((i * 2654435761u) & 0x00FFFFFFu);
        v.push_back({x, y, 0.5f, 1.0f, c, 0.0f, 0.0f});
        v.push_back({x + kQuad, y, 0.5f, 1.0f, c, 1.0f, 0.0f});
        v.push_back({x, y + kQuad, 0.5f, 1.0f, c, 0.0f, 1.0f});
        v.push_back({x + kQuad, y + kQuad, 0.5f, 1.0f, c, 1.0f, 1.0f});
    }
    return v;
}

// Solid colours, so that both paths sample the same texel whatever their
// pixel-centre conventions; the alpha makes blending count.
std::vector<uint32_t> TexturePixels(int t)
{
    const uint32_t colors[kTextures] = {0xC0FF4020u, 0xC020FF40u, 0xC04020FFu, 0xC0FFFF20u,
                                        0xC020FFFFu, 0xC0FF20FFu, 0xC0808080u, 0xC0FFFFFFu};
    return std::vector<uint32_t>(16 * 16, colors[t]);
}

// ---- Through the device ---------------------------------------------------------------

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class DeviceBench {
public:
    bool Init()
    {
        wc_.lpfnWndProc = WndProc;
        wc_.hInstance = GetModuleHandleA(nullptr);
        wc_.lpszClassName = "bench_d3d9_draws";
        RegisterClassA(&wc_);
        RECT outer = {0, 0, kWidth, kHeight};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        hwnd_ = CreateWindowExA(0, wc_.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                wc_.hInstance, nullptr);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (hwnd_ && d3d_) {
            D3DPRESENT_PARAMETERS pp{};
            pp.Windowed = TRUE;
            pp.BackBufferWidth = kWidth;
            pp.BackBufferHeight = kHeight;
            pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
            pp.hDeviceWindow = hwnd_;
            pp.EnableAutoDepthStencil = TRUE;
            pp.AutoDepthStencilFormat = D3DFMT_D24S8;
            pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
            d3d_->CreateDevice(0, D3DDEVTYPE_HAL, hwnd_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev_);
        }
        if (!dev_) {
            std::printf("device: not available (Direct3DCreate9 %s)\n", d3d_ ? "gave an object" : "gave null");
            return false;
        }
        for (int t = 0; t < kTextures; ++t) {
            dev_->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex_[t], nullptr);
            D3DLOCKED_RECT lr;
            if (tex_[t] && SUCCEEDED(tex_[t]->LockRect(0, &lr, nullptr, 0))) {
                std::vector<uint32_t> px = TexturePixels(t);
                for (int y = 0; y < 16; ++y)
                    std::memcpy((BYTE*)lr.pBits + y * lr.Pitch, &px[y * 16], 64);
                tex_[t]->UnlockRect(0);
            }
        }
        std::vector<Vertex> quads = MakeQuads();
        dev_->CreateVertexBuffer((UINT)(quads.size() * sizeof(Vertex)), D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED,
                                 &vb_, nullptr);
        void* data = nullptr;
        if (vb_ && SUCCEEDED(vb_->Lock(0, 0, &data, 0))) {
            std::memcpy(data, quads.data(), quads.size() * sizeof(Vertex));
            vb_->Unlock();
        }
        // A system-memory copy of the back buffer, read back to wait for the device.
        D3DSURFACE_DESC desc{};
        IDirect3DSurface9* bb = nullptr;
        if (SUCCEEDED(dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb))) {
            bb->GetDesc(&desc);
            bb->Release();
        }
        if (desc.Width != (UINT)kWidth || desc.Height != (UINT)kHeight) {
            std::printf("device: back buffer %ux%u, not %dx%d\n", desc.Width, desc.Height, kWidth, kHeight);
            return false;
        }
        dev_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &readback_,
                                          nullptr);
        if (!tex_[kTextures - 1] || !vb_ || !readback_) {
            std::printf("device: could not create the frame's resources\n");
            return false;
        }
        dev_->SetFVF(kFvf);
        dev_->SetStreamSource(0, vb_, 0, sizeof(Vertex));
        dev_->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        dev_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        return true;
    }

    void Frame(bool redundant)
    {
        dev_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202040, 1.0f, 0);
        dev_->BeginScene();
        for (int i = 0; i < kDraws; ++i) {
            dev_->SetTexture(0, tex_[i % kTextures]);
            dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, (i & 1) ? TRUE : FALSE);
            if (redundant) {
                // Values the device already has.
                dev_->SetRenderState(D3DRS_LIGHTING, FALSE);
                dev_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                dev_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
                dev_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
                dev_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
                dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
                dev_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
                dev_->SetFVF(kFvf);
            }
            dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, (UINT)i * 4, 2);
        }
        dev_->EndScene();
        dev_->Present(nullptr, nullptr, nullptr, nullptr);
        Pump();
    }

    // GL state calls a draw of a frame makes, and those its state cache spares.
    void CallsPerDraw(bool redundant, double* made, double* spared)
    {
        uint64_t made0 = 0, spared0 = 0, made1 = 0, spared1 = 0;
        CountStateCalls(dev_, &made0, &spared0);
        Frame(redundant);
        CountStateCalls(dev_, &made1, &spared1);
        *made = (double)(made1 - made0) / kDraws;
        *spared = (double)(spared1 - spared0) / kDraws;
    }

    // Waits for the device by reading the back buffer back.
    void Finish()
    {
        IDirect3DSurface9* bb = nullptr;
        if (SUCCEEDED(dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb))) {
            if (FAILED(dev_->GetRenderTargetData(bb, readback_)))
                std::printf("device: GetRenderTargetData failed\n");
            bb->Release();
        }
    }

    // The last frame (after Finish), top row first, as 0xAARRGGBB.
    std::vector<uint32_t> Picture()
    {
        std::vector<uint32_t> p;
        D3DLOCKED_RECT lr;
        if (SUCCEEDED(readback_->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            p.resize((size_t)kWidth * kHeight);
            for (int y = 0; y < kHeight; ++y)
                std::memcpy(&p[(size_t)y * kWidth], (const BYTE*)lr.pBits + y * lr.Pitch, kWidth * 4);
            readback_->UnlockRect();
        }
        return p;
    }

    // Mean time of a one-quad frame whose stage set-up is new, and of the same
    // frame once the set-up is known; returns the number of set-ups tried.
    int FirstUse(double* firstMs, double* knownMs)
    {
        const DWORD ops[] = {D3DTOP_ADD, D3DTOP_SUBTRACT, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X,
                             D3DTOP_ADDSIGNED, D3DTOP_SELECTARG2, D3DTOP_BLENDDIFFUSEALPHA,
                             D3DTOP_BLENDTEXTUREALPHA};
        const DWORD args[] = {D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_DIFFUSE | D3DTA_COMPLEMENT,
                              D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE};
        double first = 0.0, known = 0.0;
        int n = 0;
        for (DWORD op : ops)
            for (DWORD arg : args) {
                auto one = [&]() {
                    Clock::time_point a = Clock::now();
                    dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
                    dev_->BeginScene();
                    dev_->SetTextureStageState(0, D3DTSS_COLOROP, op);
                    dev_->SetTextureStageState(0, D3DTSS_COLORARG2, arg);
                    dev_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
                    dev_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
                    dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
                    dev_->EndScene();
                    dev_->Present(nullptr, nullptr, nullptr, nullptr);
                    Finish();
                    return Seconds(a, Clock::now());
                };
                first += one();
                known += one();
                ++n;
            }
        *firstMs = first * 1000.0 / n;
        *knownMs = known * 1000.0 / n;
        return n;
    }

    void Shutdown()
    {
        if (dev_) {
            dev_->SetStreamSource(0, nullptr, 0, 0);
            dev_->SetTexture(0, nullptr);
        }
        if (readback_)
            readback_->Release();
        if (vb_)
            vb_->Release();
        for (IDirect3DTexture9* t : tex_)
            if (t)
                t->Release();
        if (dev_) {
            ULONG left = dev_->Release();
            if (left)
                std::printf("device: %lu references left\n", (unsigned long)left);
        }
        if (d3d_)
            d3d_->Release();
        if (hwnd_)
            DestroyWindow(hwnd_);
        Pump();
        UnregisterClassA(wc_.lpszClassName, wc_.hInstance);
    }

private:
    WNDCLASSA wc_{};
    HWND hwnd_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* dev_ = nullptr;
    IDirect3DTexture9* tex_[kTextures] = {};
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DSurface9* readback_ = nullptr;
};

// ---- Raw OpenGL ----------------------------------------------------------------------------

#define GL_FUNCTIONS(X)                                                                                        \
    X(PFNGLGENBUFFERSPROC, GenBuffers) X(PFNGLBINDBUFFERPROC, BindBuffer) X(PFNGLBUFFERDATAPROC, BufferData)    \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays) X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                  \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                       \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray) X(PFNGLCREATESHADERPROC, CreateShader)         \
    X(PFNGLSHADERSOURCEPROC, ShaderSource) X(PFNGLCOMPILESHADERPROC, CompileShader)                            \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram) X(PFNGLATTACHSHADERPROC, AttachShader)                            \
    X(PFNGLLINKPROGRAMPROC, LinkProgram) X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                \
    X(PFNGLUSEPROGRAMPROC, UseProgram) X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                      \
    X(PFNGLUNIFORM2FPROC, Uniform2f) X(PFNGLUNIFORM1IPROC, Uniform1i) X(PFNGLGENTEXTURESPROC, GenTextures)     \
    X(PFNGLBINDTEXTUREPROC, BindTexture) X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                    \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri) X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                          \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers) X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                  \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D) X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)        \
    X(PFNGLVIEWPORTPROC, Viewport) X(PFNGLCLEARCOLORPROC, ClearColor) X(PFNGLCLEARPROC, Clear)                 \
    X(PFNGLENABLEPROC, Enable) X(PFNGLDISABLEPROC, Disable) X(PFNGLBLENDFUNCPROC, BlendFunc)                   \
    X(PFNGLDRAWARRAYSPROC, DrawArrays) X(PFNGLREADPIXELSPROC, ReadPixels)                                      \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers) X(PFNGLDELETETEXTURESPROC, DeleteTextures)                        \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram) X(PFNGLDELETESHADERPROC, DeleteShader)                            \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays) X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)      \
    X(PFNGLGETSTRINGPROC, GetString)

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 pos;
layout(location = 1) in vec4 color;
layout(location = 2) in vec2 uv;
uniform vec2 size;
out vec4 vColor;
out vec2 vUv;
void main() {
    gl_Position = vec4(pos.x / size.x * 2.0 - 1.0, 1.0 - pos.y / size.y * 2.0, pos.z, 1.0);
    vColor = color.bgra;
    vUv = uv;
})";

const char* kFragmentShader = R"(#version 330 core
in vec4 vColor;
in vec2 vUv;
uniform sampler2D tex;
out vec4 oColor;
void main() {
    vec4 t = texture(tex, vUv);
    oColor = vec4(t.rgb * vColor.rgb, t.a); // stage 0 defaults: colour modulate, alpha from the texture
})";

// The same frame in plain GL 3.3 on a context of its own. The device's
// context is made current again after each turn.
class RawGlBench {
public:
    bool Init()
    {
        Saved saved;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        win_ = SDL_CreateWindow("bench raw GL", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
        ctx_ = win_ ? SDL_GL_CreateContext(win_) : nullptr;
        bool ok = ctx_ != nullptr;
#define GLLOAD(type, name)                                                  \
    name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));      \
    ok = ok && name != nullptr;
        GL_FUNCTIONS(GLLOAD)
#undef GLLOAD
        if (!ok) {
            std::printf("raw GL: no context: %s\n", SDL_GetError());
            return false;
        }
        SDL_GL_SetSwapInterval(0);
        std::printf("GL renderer:  %s\n", (const char*)GetString(GL_RENDERER));

        vs_ = CreateShader(GL_VERTEX_SHADER);
        fs_ = CreateShader(GL_FRAGMENT_SHADER);
        ShaderSource(vs_, 1, &kVertexShader, nullptr);
        ShaderSource(fs_, 1, &kFragmentShader, nullptr);
        CompileShader(vs_);
        CompileShader(fs_);
        prog_ = CreateProgram();
        AttachShader(prog_, vs_);
        AttachShader(prog_, fs_);
        LinkProgram(prog_);
        GLint linked = 0;
        GetProgramiv(prog_, GL_LINK_STATUS, &linked);
        if (!linked) {
            std::printf("raw GL: the program does not link\n");
            return false;
        }
        UseProgram(prog_);
        Uniform2f(GetUniformLocation(prog_, "size"), (float)kWidth, (float)kHeight);
        Uniform1i(GetUniformLocation(prog_, "tex"), 0);

        std::vector<Vertex> quads = MakeQuads();
        GenVertexArrays(1, &vao_);
        BindVertexArray(vao_);
        GenBuffers(1, &vbo_);
        BindBuffer(GL_ARRAY_BUFFER, vbo_);
        BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(quads.size() * sizeof(Vertex)), quads.data(), GL_STATIC_DRAW);
        VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, x));
        VertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), (void*)offsetof(Vertex, color));
        VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, u));
        for (GLuint i = 0; i < 3; ++i)
            EnableVertexAttribArray(i);

        GenTextures(kTextures, tex_);
        ActiveTexture(GL_TEXTURE0);
        for (int t = 0; t < kTextures; ++t) {
            std::vector<uint32_t> px = TexturePixels(t);
            BindTexture(GL_TEXTURE_2D, tex_[t]);
            TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_BGRA, GL_UNSIGNED_BYTE, px.data());
            TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        }
        GenTextures(1, &target_);
        BindTexture(GL_TEXTURE_2D, target_);
        TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        GenFramebuffers(1, &fbo_);
        BindFramebuffer(GL_FRAMEBUFFER, fbo_);
        FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_, 0);
        Viewport(0, 0, kWidth, kHeight);
        BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        pixels_.resize((size_t)kWidth * kHeight);
        return true;
    }

    // Runs `frames` frames and waits for them.
    void Run(int frames)
    {
        Saved saved;
        SDL_GL_MakeCurrent(win_, ctx_);
        for (int f = 0; f < frames; ++f) {
            BindFramebuffer(GL_FRAMEBUFFER, fbo_);
            ClearColor(0.125f, 0.125f, 0.25f, 1.0f);
            Clear(GL_COLOR_BUFFER_BIT);
            for (int i = 0; i < kDraws; ++i) {
                BindTexture(GL_TEXTURE_2D, tex_[i % kTextures]);
                if (i & 1)
                    Enable(GL_BLEND);
                else
                    Disable(GL_BLEND);
                DrawArrays(GL_TRIANGLE_STRIP, i * 4, 4);
            }
            BindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
            BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            BlitFramebuffer(0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            SDL_GL_SwapWindow(win_);
        }
        BindFramebuffer(GL_FRAMEBUFFER, fbo_);
        ReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_BYTE, pixels_.data());
    }

    std::vector<uint32_t> Picture() const
    {
        std::vector<uint32_t> p(pixels_.size());
        for (int y = 0; y < kHeight; ++y) // GL rows run bottom up
            std::memcpy(&p[(size_t)y * kWidth], &pixels_[(size_t)(kHeight - 1 - y) * kWidth], kWidth * 4);
        return p;
    }

    void Shutdown()
    {
        if (ctx_) {
            Saved saved;
            SDL_GL_MakeCurrent(win_, ctx_);
            DeleteFramebuffers(1, &fbo_);
            DeleteTextures(1, &target_);
            DeleteTextures(kTextures, tex_);
            DeleteBuffers(1, &vbo_);
            DeleteVertexArrays(1, &vao_);
            DeleteProgram(prog_);
            DeleteShader(vs_);
            DeleteShader(fs_);
            SDL_GL_DeleteContext(ctx_);
        }
        if (win_)
            SDL_DestroyWindow(win_);
    }

private:
    // Puts back whatever context was current.
    struct Saved {
        SDL_Window* win = SDL_GL_GetCurrentWindow();
        SDL_GLContext ctx = SDL_GL_GetCurrentContext();
        ~Saved()
        {
            if (ctx)
                SDL_GL_MakeCurrent(win, ctx);
        }
    };

#define GLFN(type, name) type name = nullptr;
    GL_FUNCTIONS(GLFN)
#undef GLFN
    SDL_Window* win_ = nullptr;
    SDL_GLContext ctx_ = nullptr;
    GLuint vs_ = 0, fs_ = 0, prog_ = 0, vao_ = 0, vbo_ = 0, fbo_ = 0, target_ = 0;
    GLuint tex_[kTextures] = {};
    std::vector<uint32_t> pixels_;
};

// CPU seconds of the whole process (every thread, llvmpipe's included).
double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The best round of one measurement: wall-clock draws per second, and CPU
// time per draw.
struct Best {
    double drawsPerSecond = 0.0;
    double cpuMicrosPerDraw = 1e30;
    void Time(int frames, const std::function<void()>& run)
    {
        double c0 = CpuSeconds();
        Clock::time_point t0 = Clock::now();
        run();
        double wall = Seconds(t0, Clock::now());
        double cpu = CpuSeconds() - c0;
        drawsPerSecond = std::max(drawsPerSecond, (double)frames * kDraws / wall);
        cpuMicrosPerDraw = std::min(cpuMicrosPerDraw, cpu * 1e6 / ((double)frames * kDraws));
    }
};

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // Without Mesa's on-disk shader cache a new combination costs what it
    // costs on a first run.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    setenv("LP_NUM_THREADS", "1", 0);
    int frames = argc > 1 ? std::atoi(argv[1]) : 8;
    if (frames < 1)
        frames = 8;

    DeviceBench dev;
    RawGlBench raw;
    const bool devOk = dev.Init();
    const bool rawOk = devOk && raw.Init();
    int status = devOk && rawOk ? 0 : 1;
    if (status == 0) {
        // Warm both up, then take turns.
        for (int i = 0; i < 5; ++i) {
            dev.Frame(false);
            dev.Frame(true);
        }
        dev.Finish();
        raw.Run(5);
        Best rawBest, devBest, redundantBest;
        for (int round = 0; round < kRounds; ++round) {
            rawBest.Time(frames, [&]() { raw.Run(frames); });
            devBest.Time(frames, [&]() {
                for (int i = 0; i < frames; ++i)
                    dev.Frame(false);
                dev.Finish();
            });
            redundantBest.Time(frames, [&]() {
                for (int i = 0; i < frames; ++i)
                    dev.Frame(true);
                dev.Finish();
            });
        }
        // Both pictures of the last frame must be the same.
        std::vector<uint32_t> a = raw.Picture(), b = dev.Picture();
        size_t differ = a.size() == b.size() ? 0 : a.size();
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            for (int sh = 0; sh < 24; sh += 8)
                if (std::abs((int)((a[i] >> sh) & 0xFF) - (int)((b[i] >> sh) & 0xFF)) > 2) {
                    ++differ;
                    break;
                }
        double made = 0.0, spared = 0.0, madeRedundant = 0.0, sparedRedundant = 0.0;
        dev.CallsPerDraw(false, &made, &spared);
        dev.CallsPerDraw(true, &madeRedundant, &sparedRedundant);
        double firstMs = 0.0, knownMs = 0.0;
        int combinations = dev.FirstUse(&firstMs, &knownMs);

        std::printf("frame: %d textured %dx%d draws, a texture change and a blend toggle before each; "
                    "best of %d rounds of %d frames; LP_NUM_THREADS=%s\n",
                    kDraws, kQuad, kQuad, kRounds, frames, getenv("LP_NUM_THREADS"));
        std::printf("                                 draws/s   CPU us/draw (all threads)\n");
        std::printf("raw GL:                          %8.0f   %6.2f\n", rawBest.drawsPerSecond,
                    rawBest.cpuMicrosPerDraw);
        std::printf("device:                          %8.0f   %6.2f\n", devBest.drawsPerSecond,
                    devBest.cpuMicrosPerDraw);
        std::printf("device, 8 redundant sets a draw: %8.0f   %6.2f\n", redundantBest.drawsPerSecond,
                    redundantBest.cpuMicrosPerDraw);
        std::printf("ratio raw GL / device:           %8.2f   %6.2f   (goal: 2 at most)\n",
                    rawBest.drawsPerSecond / devBest.drawsPerSecond,
                    devBest.cpuMicrosPerDraw / rawBest.cpuMicrosPerDraw);
        std::printf("GL state calls a draw: %.2f made, %.2f spared; with the redundant sets %.2f made, %.2f spared\n",
                    made, spared, madeRedundant, sparedRedundant);
        std::printf("pictures: %zu of %zu pixels differ between raw GL and the device\n", differ, a.size());
        std::printf("first use of a state combination: %.2f ms a one-quad frame, %.2f ms once known "
                    "(mean of %d combinations): %.2f ms to build one\n",
                    firstMs, knownMs, combinations, firstMs - knownMs);
        if (differ)
            status = 1;
    }
    raw.Shutdown();
    dev.Shutdown();
    return status;
}
