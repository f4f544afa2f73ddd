// Draw-call throughput of the Direct3D 9 device against raw OpenGL doing the
// same work, and the first-use cost of a new fixed-function state combination.
//
// A frame is 2,000 small textured quads (pre-transformed vertices, 8 x 8
// pixels) with a state change before each: the texture of stage 0 cycles
// through 8 textures and alpha blending toggles. Both paths draw into an
// off-screen target that is blitted to the window at Present.
//
//     build/bench/bench_d3d9_draws [frames]
//
// Runs headless (SDL's offscreen driver) unless SDL_VIDEODRIVER is set.
#include <windows.h>
#include <d3d9.h>

#include <SDL.h>
#include <GL/glcorearb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int kWidth = 640, kHeight = 480;
const int kDraws = 2000;
const int kTextures = 8;
const int kQuad = 8; // pixels

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

std::vector<uint32_t> TexturePixels(int t)
{
    std::vector<uint32_t> p(16 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            p[y * 16 + x] = ((x ^ y ^ t) & 1) ? 0xFFFFFFFFu : 0xFF000000u | (uint32_t)(t * 0x1F3F5F);
    return p;
}

struct Result {
    bool ok = false;
    double drawsPerSecond = 0.0;
    double firstUseMs = 0.0;  // a frame whose draw needs a new state combination
    double cachedMs = 0.0;    // the same frame once the combination is known
    int combinations = 0;
};

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

// Waits for the device to finish by reading the back buffer back.
void DeviceFinish(IDirect3DDevice9* dev, IDirect3DSurface9* readback)
{
    IDirect3DSurface9* bb = nullptr;
    if (SUCCEEDED(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb))) {
        dev->GetRenderTargetData(bb, readback);
        bb->Release();
    }
}

Result RunDevice(int frames)
{
    Result r;
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench_d3d9_draws";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "bench", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                                nullptr, nullptr, wc.hInstance, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = nullptr;
    if (hwnd && d3d) {
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = hwnd;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
    }
    if (!dev) {
        std::printf("device: not available (Direct3DCreate9 %s, CreateDevice failed)\n",
                     d3d ? "ok" : "null");
        if (d3d)
            d3d->Release();
        if (hwnd)
            DestroyWindow(hwnd);
        UnregisterClassA(wc.lpszClassName, wc.hInstance);
        return r;
    }

    IDirect3DTexture9* tex[kTextures] = {};
    for (int t = 0; t < kTextures; ++t) {
        dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex[t], nullptr);
        D3DLOCKED_RECT lr;
        if (tex[t] && SUCCEEDED(tex[t]->LockRect(0, &lr, nullptr, 0))) {
            std::vector<uint32_t> px = TexturePixels(t);
            for (int y = 0; y < 16; ++y)
                std::memcpy((BYTE*)lr.pBits + y * lr.Pitch, &px[y * 16], 64);
            tex[t]->UnlockRect(0);
        }
    }
    std::vector<Vertex> quads = MakeQuads();
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer((UINT)(quads.size() * sizeof(Vertex)), D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, &vb,
                            nullptr);
    void* data = nullptr;
    if (vb && SUCCEEDED(vb->Lock(0, 0, &data, 0))) {
        std::memcpy(data, quads.data(), quads.size() * sizeof(Vertex));
        vb->Unlock();
    }
    IDirect3DSurface9* readback = nullptr;
    dev->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &readback, nullptr);

    dev->SetFVF(kFvf);
    dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    auto frame = [&]() {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202040, 1.0f, 0);
        dev->BeginScene();
        for (int i = 0; i < kDraws; ++i) {
            dev->SetTexture(0, tex[i % kTextures]);
            dev->SetRenderState(D3DRS_ALPHABLENDENABLE, (i & 1) ? TRUE : FALSE);
            dev->SetRenderState(D3DRS_LIGHTING, FALSE); // redundant: must cost nothing
            dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, (UINT)i * 4, 2);
        }
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        Pump();
    };
    for (int i = 0; i < 5; ++i)
        frame();
    DeviceFinish(dev, readback);
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < frames; ++i)
        frame();
    DeviceFinish(dev, readback);
    r.drawsPerSecond = (double)frames * kDraws / Seconds(t0, Clock::now());

    // First use of a state combination: one quad with a stage set-up never
    // drawn before, then the same frame again.
    const DWORD ops[] = {D3DTOP_ADD, D3DTOP_SUBTRACT, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X, D3DTOP_ADDSIGNED,
                         D3DTOP_SELECTARG2, D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDTEXTUREALPHA};
    const DWORD args[] = {D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_DIFFUSE | D3DTA_COMPLEMENT,
                          D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE};
    double first = 0.0, cached = 0.0;
    int n = 0;
    for (DWORD op : ops)
        for (DWORD arg : args) {
            auto one = [&]() {
                Clock::time_point a = Clock::now();
                dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
                dev->BeginScene();
                dev->SetTextureStageState(0, D3DTSS_COLOROP, op);
                dev->SetTextureStageState(0, D3DTSS_COLORARG2, arg);
                dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
                dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
                dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
                dev->EndScene();
                dev->Present(nullptr, nullptr, nullptr, nullptr);
                DeviceFinish(dev, readback);
                return Seconds(a, Clock::now());
            };
            first += one();
            cached += one();
            ++n;
        }
    r.firstUseMs = first * 1000.0 / n;
    r.cachedMs = cached * 1000.0 / n;
    r.combinations = n;
    r.ok = true;

    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetTexture(0, nullptr);
    if (readback)
        readback->Release();
    if (vb)
        vb->Release();
    for (IDirect3DTexture9* t : tex)
        if (t)
            t->Release();
    ULONG left = dev->Release();
    if (left)
        std::printf("device: %lu references left\n", (unsigned long)left);
    d3d->Release();
    DestroyWindow(hwnd);
    Pump();
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
    return r;
}

// ---- Raw OpenGL ----------------------------------------------------------------------------

struct Gl {
#define GLFN(type, name) type name = nullptr;
#define GL_FUNCTIONS(X)                                                                                        \
    X(PFNGLGENBUFFERSPROC, GenBuffers) X(PFNGLBINDBUFFERPROC, BindBuffer) X(PFNGLBUFFERDATAPROC, BufferData)    \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays) X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                  \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                       \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray) X(PFNGLCREATESHADERPROC, CreateShader)         \
    X(PFNGLSHADERSOURCEPROC, ShaderSource) X(PFNGLCOMPILESHADERPROC, CompileShader)                            \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram) X(PFNGLATTACHSHADERPROC, AttachShader)                            \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation) X(PFNGLLINKPROGRAMPROC, LinkProgram)                    \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv) X(PFNGLUSEPROGRAMPROC, UseProgram)                                  \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation) X(PFNGLUNIFORM2FPROC, Uniform2f)                        \
    X(PFNGLUNIFORM1IPROC, Uniform1i) X(PFNGLGENTEXTURESPROC, GenTextures) X(PFNGLBINDTEXTUREPROC, BindTexture)  \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D) X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture) X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                      \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer) X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)        \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer) X(PFNGLVIEWPORTPROC, Viewport)                                \
    X(PFNGLCLEARCOLORPROC, ClearColor) X(PFNGLCLEARPROC, Clear) X(PFNGLENABLEPROC, Enable)                     \
    X(PFNGLDISABLEPROC, Disable) X(PFNGLBLENDFUNCPROC, BlendFunc) X(PFNGLDRAWARRAYSPROC, DrawArrays)           \
    X(PFNGLFINISHPROC, Finish) X(PFNGLREADPIXELSPROC, ReadPixels) X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)     \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures) X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                        \
    X(PFNGLDELETESHADERPROC, DeleteShader) X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                  \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers) X(PFNGLGETSTRINGPROC, GetString)
    GL_FUNCTIONS(GLFN)
#undef GLFN
    bool Load()
    {
        bool ok = true;
#define GLLOAD(type, name)                                                  \
    name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));      \
    ok = ok && name != nullptr;
        GL_FUNCTIONS(GLLOAD)
#undef GLLOAD
        return ok;
    }
};

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
void main() { oColor = texture(tex, vUv) * vColor; })";

Result RunRawGl(int frames)
{
    Result r;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::printf("raw GL: SDL: %s\n", SDL_GetError());
        return r;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_Window* win = SDL_CreateWindow("bench raw GL", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
    SDL_GLContext ctx = win ? SDL_GL_CreateContext(win) : nullptr;
    Gl gl;
    if (!ctx || !gl.Load()) {
        std::printf("raw GL: no context: %s\n", SDL_GetError());
        if (ctx)
            SDL_GL_DeleteContext(ctx);
        if (win)
            SDL_DestroyWindow(win);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return r;
    }
    SDL_GL_SetSwapInterval(0);
    std::printf("GL renderer:  %s\n", (const char*)gl.GetString(GL_RENDERER));

    GLuint vs = gl.CreateShader(GL_VERTEX_SHADER), fs = gl.CreateShader(GL_FRAGMENT_SHADER);
    gl.ShaderSource(vs, 1, &kVertexShader, nullptr);
    gl.ShaderSource(fs, 1, &kFragmentShader, nullptr);
    gl.CompileShader(vs);
    gl.CompileShader(fs);
    GLuint prog = gl.CreateProgram();
    gl.AttachShader(prog, vs);
    gl.AttachShader(prog, fs);
    gl.LinkProgram(prog);
    GLint linked = 0;
    gl.GetProgramiv(prog, GL_LINK_STATUS, &linked);
    gl.UseProgram(prog);
    gl.Uniform2f(gl.GetUniformLocation(prog, "size"), (float)kWidth, (float)kHeight);
    gl.Uniform1i(gl.GetUniformLocation(prog, "tex"), 0);

    std::vector<Vertex> quads = MakeQuads();
    GLuint vao, vbo;
    gl.GenVertexArrays(1, &vao);
    gl.BindVertexArray(vao);
    gl.GenBuffers(1, &vbo);
    gl.BindBuffer(GL_ARRAY_BUFFER, vbo);
    gl.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(quads.size() * sizeof(Vertex)), quads.data(), GL_STATIC_DRAW);
    gl.VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, x));
    gl.VertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), (void*)offsetof(Vertex, color));
    gl.VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, u));
    for (GLuint i = 0; i < 3; ++i)
        gl.EnableVertexAttribArray(i);

    GLuint tex[kTextures];
    gl.GenTextures(kTextures, tex);
    gl.ActiveTexture(GL_TEXTURE0);
    for (int t = 0; t < kTextures; ++t) {
        std::vector<uint32_t> px = TexturePixels(t);
        gl.BindTexture(GL_TEXTURE_2D, tex[t]);
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_BGRA, GL_UNSIGNED_BYTE, px.data());
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    GLuint target, fbo;
    gl.GenTextures(1, &target);
    gl.BindTexture(GL_TEXTURE_2D, target);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    gl.GenFramebuffers(1, &fbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    gl.Viewport(0, 0, kWidth, kHeight);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    std::vector<uint32_t> pixels((size_t)kWidth * kHeight);

    auto frame = [&]() {
        gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl.ClearColor(0.125f, 0.125f, 0.25f, 1.0f);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < kDraws; ++i) {
            gl.BindTexture(GL_TEXTURE_2D, tex[i % kTextures]);
            if (i & 1)
                gl.Enable(GL_BLEND);
            else
                gl.Disable(GL_BLEND);
            gl.DrawArrays(GL_TRIANGLE_STRIP, i * 4, 4);
        }
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl.BlitFramebuffer(0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(win);
    };
    auto finish = [&]() {
        gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl.ReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    };
    for (int i = 0; i < 5; ++i)
        frame();
    finish();
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < frames; ++i)
        frame();
    finish();
    r.drawsPerSecond = (double)frames * kDraws / Seconds(t0, Clock::now());
    r.ok = linked != 0;

    gl.DeleteFramebuffers(1, &fbo);
    gl.DeleteTextures(1, &target);
    gl.DeleteTextures(kTextures, tex);
    gl.DeleteBuffers(1, &vbo);
    gl.DeleteVertexArrays(1, &vao);
    gl.DeleteProgram(prog);
    gl.DeleteShader(vs);
    gl.DeleteShader(fs);
    SDL_GL_DeleteContext(ctx);
    SDL_DestroyWindow(win);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int frames = argc > 1 ? std::atoi(argv[1]) : 30;
    if (frames < 1)
        frames = 30;

    Result raw = RunRawGl(frames);
    Result dev = RunDevice(frames);
    std::printf("frame: %d textured %dx%d draws, a texture change and a blend toggle before each; %d frames\n",
                kDraws, kQuad, kQuad, frames);
    if (raw.ok)
        std::printf("raw GL:       %10.0f draws/s\n", raw.drawsPerSecond);
    if (dev.ok) {
        std::printf("device:       %10.0f draws/s\n", dev.drawsPerSecond);
        if (raw.ok)
            std::printf("ratio:        %10.2f (raw GL / device; goal <= 2)\n",
                        raw.drawsPerSecond / dev.drawsPerSecond);
        std::printf("first use of a state combination: %.2f ms a frame, %.2f ms once known "
                    "(%d combinations; cost %.2f ms)\n",
                    dev.firstUseMs, dev.cachedMs, dev.combinations, dev.firstUseMs - dev.cachedMs);
    }
    return raw.ok && dev.ok ? 0 : 1;
}
