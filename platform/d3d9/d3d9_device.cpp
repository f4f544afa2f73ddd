// The device: life cycle, queries, resource creation, the implicit swap chain.
#include "d3d9_device.h"
#include "d3d9_programs.h"
#include "d3d9_testing.h"
#include "windows.h"
#include "windows/win_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d9gl {

namespace {
Device* g_currentDevice = nullptr;

// Whether the window's own framebuffer (bound) can hold the back buffer and
// the implicit depth-stencil surface: the same formats to copy between them,
// alpha where the back buffer has it, and clip control to keep Direct3D's
// rows, fill rule and winding there.
bool WindowCanHold(const D3DPRESENT_PARAMETERS& pp, const FormatDesc& back, const FormatDesc* depth)
{
    if (PresentPathSetting() != PresentPath::Auto || !gl.glClipControl) return false;
    if (pp.SwapEffect == D3DSWAPEFFECT_COPY) return false;
    GLint alpha = 0, depthBits = 0, stencilBits = 0;
    gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE,
                                             &alpha);
    if (depth) {
        gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                                 &depthBits);
        gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL,
                                                 GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
    }
    // A buffer the window lacks may answer with an error rather than 0.
    while (gl.glGetError() != GL_NO_ERROR) {
    }
    if (back.hasAlpha && alpha < 8) return false;
    return !depth || (depth->internalFormat == GL_DEPTH24_STENCIL8 && depthBits == 24 && stencilBits == 8);
}
} // namespace

Device::Device(Direct3D9Impl* d3d, SDL_Window* window, void* context, const D3DPRESENT_PARAMETERS& pp,
               const D3DDEVICE_CREATION_PARAMETERS& cp)
    : m_d3d(d3d), m_window(window), m_context(context), m_pp(pp), m_cp(cp)
{
    m_d3d->AddRef();
    g_currentDevice = this;
    FillCaps(&m_caps);
    m_softwareVP = (cp.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    m_state.SetDefaults();
}

bool Device::Init()
{
    MakeCurrent();
    m_gl.Invalidate();
    gl.glGenVertexArrays(1, &m_vao);
    gl.glBindVertexArray(m_vao);
    gl.glGenBuffers(1, &m_upVB);
    gl.glGenBuffers(1, &m_upIB);
    gl.glGenSamplers(kMaxSamplers, m_samplers);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    gl.glEnable(GL_PROGRAM_POINT_SIZE);
    gl.glFrontFace(GL_CCW);
    // The palette of indexed vertex blending is bounded by the uniforms the
    // driver gives a vertex program (two matrices per entry, the rest kept
    // for lights and the other fixed-function values).
    GLint components = 0;
    gl.glGetIntegerv(GL_MAX_VERTEX_UNIFORM_COMPONENTS, &components);
    const int palette = std::min(kMaxBlendIndex + 1, (components / 4 - 128) / 8);
    m_caps.MaxVertexBlendMatrixIndex = palette > 1 ? (DWORD)(palette - 1) : 0;

    if (!CreateImplicitSurfaces()) return false;
    m_ff.reset(new FFCache(m_gl));
    // Fixed-function draws compile nothing in a frame: the program that takes
    // the key as data is built now, specialised ones in the background. A
    // software rasteriser draws with specialised programs only.
    m_path = PathForRenderer(ProgramPathSetting(), reinterpret_cast<const char*>(gl.glGetString(GL_RENDERER)));
    if (m_path != ProgramPath::Specialised && !m_ff->Uber(UberPalette())) m_path = ProgramPath::Specialised;
    if (m_path == ProgramPath::Background) m_ff->StartCompiler(m_window, m_context);
    PreparePipelines();
    m_swapChain = new SwapChainImpl(this);
    if (!ClearImplicitSurfaces()) return false;
    if (m_path != ProgramPath::Specialised) WarmUber();
    m_dirty = DirtyAll;
    return gl.glGetError() == GL_NO_ERROR;
}

// The back buffer and the implicit depth-stencil surface of the presentation
// parameters, bound, and the states that follow from them.
bool Device::CreateImplicitSurfaces()
{
    m_backBuffer = new SurfaceImpl(this, SurfaceImpl::BackBuffer, m_pp.BackBufferWidth, m_pp.BackBufferHeight,
                                   m_pp.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    if (!m_backBuffer->CreateStorage()) return false;
    if (m_pp.EnableAutoDepthStencil) {
        m_autoDepth = new SurfaceImpl(this, SurfaceImpl::AutoDepthStencil, m_pp.BackBufferWidth,
                                      m_pp.BackBufferHeight, m_pp.AutoDepthStencilFormat, D3DPOOL_DEFAULT,
                                      D3DUSAGE_DEPTHSTENCIL);
        if (!m_autoDepth->CreateStorage()) return false;
    }
    m_renderTarget = m_backBuffer;
    m_depthStencil = m_autoDepth;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    m_windowCapable = WindowCanHold(m_pp, *m_backBuffer->fmt, m_autoDepth ? m_autoDepth->fmt : nullptr);
    m_inWindow = m_windowCapable && WindowFits();
    m_state.rs[D3DRS_ZENABLE] = m_autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    m_state.viewport = {0, 0, m_pp.BackBufferWidth, m_pp.BackBufferHeight, 0.0f, 1.0f};
    m_state.scissor = {0, 0, (LONG)m_pp.BackBufferWidth, (LONG)m_pp.BackBufferHeight};
    return true;
}

// A new swap chain starts black.
bool Device::ClearImplicitSurfaces()
{
    GLuint fbo = FramebufferFor(m_renderTarget, m_depthStencil);
    if (!fbo) return false;
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
    m_gl.Enable(GLStateCache::CapScissorTest, false);
    m_gl.ColorMask(true, true, true, true);
    m_gl.DepthMask(true);
    m_gl.StencilMask(0xFFFFFFFFu);
    gl.glClearColor(0, 0, 0, 1);
    gl.glClearDepth(1.0);
    gl.glClearStencil(0);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (m_inWindow) {
        m_gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }
    return true;
}

// Drivers that generate code at a program's first draw (llvmpipe) do so
// now, with the default states, rather than in the first frame: a triangle
// that is clipped away whole (all attributes at 0, so w is 0).
void Device::WarmUber()
{
    Program* p = m_ff->Uber(UberPalette());
    m_gl.UseProgram(p->program);
    UploadKeys(p);
    m_gl.EnableAttribArrays(0);
    gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthFunc(GL_LEQUAL);
    gl.glDrawArrays(GL_TRIANGLES, 0, 3);
    gl.glFlush();
    m_gl.Invalidate();
}

// The pipeline states recorded by earlier runs: their fixed-function programs
// compiled on the compiler's context from now on, while the application
// loads, their first draws following the first Present (the first loading
// frame is shown); those of application shaders are drawn once after the
// Present that follows the link of their program.
void Device::PreparePipelines()
{
    const char* record = std::getenv("NIMB_D3D9_PIPELINE_RECORD");
    m_pipelineRecordPath = record ? record : "";
    if (!PipelineCachesOn()) return;
    ReadPipelineCache(ShippedPipelineCachePath(), m_pipelinesShipped);
    const std::string user = UserPipelineCachePath();
    if (!ReadPipelineCache(user, m_pipelinesUser)) {
        FILE* f = user.empty() ? nullptr : std::fopen(user.c_str(), "rb");
        m_userPipelinesUnreadable = f != nullptr;
        if (f) std::fclose(f);
    }
    std::vector<PipelineState> states;
    auto add = [&](const PipelineState& s) {
        if (s.shaders[0]) m_shaderPipelines.emplace(ShaderPairKey(s.shaders[0], s.shaders[1]), s);
        else if (m_path != ProgramPath::Uber) states.push_back(s);
    };
    for (const PipelineState& s : m_pipelinesShipped) add(s);
    for (const PipelineState& s : m_pipelinesUser)
        if (!m_pipelinesShipped.count(s)) add(s);
    if (states.empty()) return;
    std::sort(states.begin(), states.end());
    if (!m_ff->HasCompiler()) m_ff->StartCompiler(m_window, m_context);
    m_ff->Prepare(states);
}

// The first draws of the prepared states, on this context (where the driver
// keeps the code it generates for them); the GL state is set again after them.
void Device::WarmPipelines()
{
    MakeCurrent();
    if (!m_ff->WarmUp()) return;
    m_gl.Invalidate();
    gl.glBindVertexArray(m_vao);
    m_dirty = DirtyAll;
    m_dirtySamplers = 0xFFFF;
    m_attribsValid = false;
}

void Device::WaitForPrograms()
{
    m_ff->WaitForCompiler();
    WarmPipelines();
}

// The states met that no cache had go to the user's cache, merged with what
// it holds now (another run may have added to it); an unreadable one is
// written anew.
void Device::SavePipelines()
{
    if (!m_pipelineRecordPath.empty()) WritePipelineCache(m_pipelineRecordPath, m_pipelinesSeen);
    if (!PipelineCachesOn()) return;
    PipelineSet added;
    for (const PipelineState& s : m_pipelinesSeen)
        if (!m_pipelinesShipped.count(s) && !m_pipelinesUser.count(s)) added.insert(s);
    if (added.empty() && !m_userPipelinesUnreadable) return;
    const std::string path = UserPipelineCachePath();
    PipelineSet merged = m_pipelinesUser;
    ReadPipelineCache(path, merged);
    merged.insert(added.begin(), added.end());
    WritePipelineCache(path, merged);
}

Device::~Device() = default;

void Device::MakeCurrent()
{
    // Another GL user may have made its own context current meanwhile.
    if (g_currentDevice != this || SDL_GL_GetCurrentContext() != m_context) {
        SDL_GL_MakeCurrent(m_window, m_context);
        g_currentDevice = this;
    }
}

void Device::Destroy()
{
    m_destroying = true;
    MakeCurrent();
    if (m_recording) {
        StateBlockImpl* r = m_recording;
        m_recording = nullptr;
        ++m_refs;  // what its release gives back
        r->Release();
    }
    m_state.ReleaseBindings();
    ReleaseImplicitSurfaces();
    delete m_swapChain;
    m_swapChain = nullptr;
    for (GLsync f : m_frameFences) gl.glDeleteSync(f);
    m_frameFences.clear();
    for (auto& f : m_fbos) gl.glDeleteFramebuffers(1, &f.second);
    m_fbos.clear();
    m_program = nullptr;
    SavePipelines();
    m_ff.reset();
    gl.glDeleteSamplers(kMaxSamplers, m_samplers);
    gl.glDeleteBuffers(1, &m_upVB);
    gl.glDeleteBuffers(1, &m_upIB);
    gl.glDeleteVertexArrays(1, &m_vao);
    SDL_GL_MakeCurrent(m_window, nullptr);
    SDL_GL_DeleteContext((SDL_GLContext)m_context);
    g_currentDevice = nullptr;
    m_d3d->Release();
}

// The back buffer and the implicit depth-stencil, unbound and freed.
void Device::ReleaseImplicitSurfaces()
{
    SetBound(m_renderTarget, (SurfaceImpl*)nullptr);
    SetBound(m_depthStencil, (SurfaceImpl*)nullptr);
    delete m_backBuffer;
    m_backBuffer = nullptr;
    delete m_autoDepth;
    m_autoDepth = nullptr;
}

// A windowed device is lost only through a failed Reset: it is "not reset"
// until one succeeds.
HRESULT Device::Reset(D3DPRESENT_PARAMETERS* pp)
{
    D3DPRESENT_PARAMETERS params = pp ? *pp : D3DPRESENT_PARAMETERS{};
    if (!pp || FAILED(CompletePresentParameters(m_window, params)) || DefaultPoolHeld()) {
        m_notReset = true;
        return D3DERR_INVALIDCALL;
    }
    MakeCurrent();
    if (m_recording) {
        StateBlockImpl* r = m_recording;
        m_recording = nullptr;
        r->Release();
    }
    // Every state back to its default, the bindings dropped.
    m_state.ReleaseBindings();
    m_state.SetDefaults();
    ReleaseImplicitSurfaces();
    m_pp = params;
    SDL_GL_SetSwapInterval(m_pp.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    m_gl.Invalidate();
    if (!CreateImplicitSurfaces() || !ClearImplicitSurfaces()) {
        m_notReset = true;
        return D3DERR_DRIVERINTERNALERROR;
    }
    m_inScene = false;
    m_storageNeeded = false;
    m_framesWithoutNeed = 0;
    m_program = nullptr;
    m_uberKeysKnown = false;
    m_attribsValid = false;
    for (uint32_t& s : m_serial) ++s;
    m_dirty = DirtyAll;
    m_dirtySamplers = 0xFFFF;
    m_notReset = false;
    *pp = params;
    return S_OK;
}

// Whether the application still holds a resource of the default pool, the
// implicit surfaces included.
bool Device::DefaultPoolHeld() const
{
    if (m_backBuffer->PublicRefs() || (m_autoDepth && m_autoDepth->PublicRefs())) return true;
    for (const DeviceChild* c : m_defaultPool)
        if (c->PublicRefs()) return true;
    return false;
}

void Device::NoteDefaultPool(DeviceChild* c) { m_defaultPool.insert(c); }

void Device::ForgetChild(DeviceChild* c) { m_defaultPool.erase(c); }

HRESULT Device::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++m_refs; }

ULONG Device::Release()
{
    if (m_refs == 0) return 0;
    ULONG n = --m_refs;
    if (n == 0 && !m_destroying) {
        // Destroying drops bindings, which may take objects' last holds; they
        // must not come back here.
        m_refs = 1;
        Destroy();
        delete this;
    }
    return n;
}

HRESULT Device::GetDirect3D(IDirect3D9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_d3d;
    m_d3d->AddRef();
    return S_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* pCaps)
{
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = m_caps;
    pCaps->DeviceType = m_cp.DeviceType;
    return S_OK;
}

HRESULT Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode)
{
    if (iSwapChain != 0 || !pMode) return D3DERR_INVALIDCALL;
    if (m_pp.Windowed) return m_d3d->GetAdapterDisplayMode(0, pMode);
    pMode->Width = m_pp.BackBufferWidth;
    pMode->Height = m_pp.BackBufferHeight;
    pMode->RefreshRate = 60;
    pMode->Format = m_pp.BackBufferFormat;
    return S_OK;
}

HRESULT Device::SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap)
{
    if (!pCursorBitmap) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    if (FAILED(pCursorBitmap->GetDesc(&desc)) || desc.Format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    // Each side a power of two, smaller than the display mode's.
    D3DDISPLAYMODE mode;
    if (FAILED(GetDisplayMode(0, &mode))) return D3DERR_INVALIDCALL;
    auto powerOfTwo = [](UINT v) { return v != 0 && (v & (v - 1)) == 0; };
    if (!powerOfTwo(desc.Width) || !powerOfTwo(desc.Height) || desc.Width >= mode.Width ||
        desc.Height >= mode.Height)
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT locked;
    if (FAILED(pCursorBitmap->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> argb((size_t)desc.Width * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        std::memcpy(&argb[(size_t)y * desc.Width], (const uint8_t*)locked.pBits + (size_t)y * locked.Pitch,
                    (size_t)desc.Width * 4);
    pCursorBitmap->UnlockRect();
    PlatformSetDeviceCursor(argb.data(), (int)desc.Width, (int)desc.Height, (int)XHotSpot, (int)YHotSpot);
    return S_OK;
}

void Device::SetCursorPosition(int X, int Y, DWORD)
{
    SetCursorPos(X, Y);
}

BOOL Device::ShowCursor(BOOL bShow)
{
    return PlatformShowDeviceCursor(bShow != FALSE) ? TRUE : FALSE;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p)
{
    if (!p) return D3DERR_INVALIDCALL;
    *p = m_cp;
    return S_OK;
}

HRESULT Device::GetRasterStatus(UINT, D3DRASTER_STATUS* s)
{
    if (!s) return D3DERR_INVALIDCALL;
    s->InVBlank = FALSE;
    s->ScanLine = 0;
    return S_OK;
}

void Device::GetGammaRamp(UINT, D3DGAMMARAMP* r)
{
    if (!r) return;
    for (int i = 0; i < 256; ++i) r->red[i] = r->green[i] = r->blue[i] = (WORD)(i * 257);
}

bool Device::HasStencil() const { return m_depthStencil && m_depthStencil->fmt->hasStencil; }

void Device::ForgetTexture(GLuint name) { m_gl.ForgetTexture(name); }

void Device::ForgetArrayBuffer(GLuint name)
{
    // A deleted buffer leaves the attributes that read it.
    m_gl.ForgetArrayBuffer(name);
    m_attribsValid = false;
}

// ---- Resources ---------------------------------------------------------------------------
HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DTexture9** pp, HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    const FormatDesc* f = FindFormat(Format);
    if (!f || f->isDepth) return D3DERR_INVALIDCALL;
    if (Width == 0 || Height == 0 || Width > m_caps.MaxTextureWidth || Height > m_caps.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
    if (Usage & D3DUSAGE_RENDERTARGET) {
        if (Pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
        if (!IsRenderTargetTextureFormat(Format)) return D3DERR_NOTAVAILABLE;
    }
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_AUTOGENMIPMAP) && Levels > 1) return D3DERR_INVALIDCALL;
    if (f->block && ((Width & 3) || (Height & 3)) && Levels != 1 && Width > 4 && Height > 4) {
        // DXT levels must be multiples of 4 at the top level.
        return D3DERR_INVALIDCALL;
    }
    TextureImpl* t = new TextureImpl(this, Width, Height, Levels, Usage, Format, Pool);
    if (!t->Init()) {
        t->Release();
        return E_OUTOFMEMORY;
    }
    *pp = t;
    return (Usage & D3DUSAGE_AUTOGENMIPMAP) && !(Usage & D3DUSAGE_RENDERTARGET) && f->block ? D3DOK_NOAUTOGEN : S_OK;
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer9** pp,
                                   HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Length == 0) return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    *pp = new VertexBufferImpl(this, Length, Usage, FVF, Pool);
    return S_OK;
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer9** pp, HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Length == 0 || (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    *pp = new IndexBufferImpl(this, Length, Usage, Format, Pool);
    return S_OK;
}

HRESULT Device::CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, DWORD,
                                   BOOL, IDirect3DSurface9** pp, HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    const FormatDesc* f = FindFormat(Format);
    if (!f || f->isDepth || f->block || Width == 0 || Height == 0) return D3DERR_INVALIDCALL;
    if (MultiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    SurfaceImpl* s = new SurfaceImpl(this, SurfaceImpl::RenderTarget, Width, Height, Format, D3DPOOL_DEFAULT,
                                     D3DUSAGE_RENDERTARGET);
    if (!s->CreateStorage()) {
        s->Release();
        return E_OUTOFMEMORY;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                          D3DMULTISAMPLE_TYPE MultiSample, DWORD, BOOL, IDirect3DSurface9** pp,
                                          HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (!IsDepthFormat(Format) || Width == 0 || Height == 0) return D3DERR_INVALIDCALL;
    if (MultiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    SurfaceImpl* s = new SurfaceImpl(this, SurfaceImpl::DepthStencil, Width, Height, Format, D3DPOOL_DEFAULT,
                                     D3DUSAGE_DEPTHSTENCIL);
    if (!s->CreateStorage()) {
        s->Release();
        return E_OUTOFMEMORY;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                            IDirect3DSurface9** pp, HANDLE* shared)
{
    if (!pp || shared) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    const FormatDesc* f = FindFormat(Format);
    if (!f || f->isDepth || Width == 0 || Height == 0 || Pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = new SurfaceImpl(this, SurfaceImpl::OffscreenPlain, Width, Height, Format, Pool, 0);
    s->CreateStorage();
    *pp = s;
    return S_OK;
}

// ---- The implicit swap chain -------------------------------------------------------------
HRESULT Device::GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (iSwapChain != 0) return D3DERR_INVALIDCALL;
    m_swapChain->AddRef();
    *pp = m_swapChain;
    return S_OK;
}

SwapChainImpl::SwapChainImpl(Device* device) : Child<IDirect3DSwapChain9>(device)
{
    // Made with the device and counted on it only while the application holds it.
    m_refs = 0;
    device->m_refs--;
}

bool SwapChainImpl::Matches(REFIID riid) const { return riid == IID_IDirect3DSwapChain9; }

ULONG SwapChainImpl::Release()
{
    // The device owns the swap chain: the last release only drops the hold on it.
    if (m_refs == 0) return 0;
    if (--m_refs == 0) m_device->Release();
    return m_refs;
}

HRESULT SwapChainImpl::Present(const RECT* src, const RECT* dst, HWND window, const _RGNDATA* dirty, DWORD)
{
    return m_device->Present(src, dst, window, dirty);
}

HRESULT SwapChainImpl::GetFrontBufferData(IDirect3DSurface9* pDestSurface)
{
    return m_device->GetFrontBufferData(0, pDestSurface);
}

HRESULT SwapChainImpl::GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** pp)
{
    return m_device->GetBackBuffer(0, iBackBuffer, type, pp);
}

HRESULT SwapChainImpl::GetRasterStatus(D3DRASTER_STATUS* s) { return m_device->GetRasterStatus(0, s); }

HRESULT SwapChainImpl::GetDisplayMode(D3DDISPLAYMODE* mode) { return m_device->GetDisplayMode(0, mode); }

HRESULT SwapChainImpl::GetDevice(IDirect3DDevice9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_device;
    m_device->AddRef();
    return S_OK;
}

HRESULT SwapChainImpl::GetPresentParameters(D3DPRESENT_PARAMETERS* p)
{
    if (!p) return D3DERR_INVALIDCALL;
    *p = m_device->m_pp;
    return S_OK;
}

} // namespace d3d9gl

bool CountStateCalls(IDirect3DDevice9* device, uint64_t* made, uint64_t* spared)
{
    d3d9gl::Device* d = dynamic_cast<d3d9gl::Device*>(device);
    if (!d || !made || !spared) return false;
    *made = d->Counters().stateCalls;
    *spared = d->Counters().stateSkipped;
    return true;
}

bool PrepareShaderProgram(IDirect3DDevice9* device, IDirect3DVertexShader9* vs, IDirect3DPixelShader9* ps)
{
    d3d9gl::Device* d = dynamic_cast<d3d9gl::Device*>(device);
    return d && d->PrepareProgram(dynamic_cast<d3d9gl::VertexShaderImpl*>(vs),
                                  dynamic_cast<d3d9gl::PixelShaderImpl*>(ps));
}

bool CountProgramLinks(IDirect3DDevice9* device, uint64_t* links)
{
    d3d9gl::Device* d = dynamic_cast<d3d9gl::Device*>(device);
    if (!d || !links) return false;
    *links = d->Counters().programLinks;
    return true;
}

bool SetValidationCaps(IDirect3DDevice9* device, const D3DCAPS9* caps)
{
    d3d9gl::Device* d = dynamic_cast<d3d9gl::Device*>(device);
    if (!d) return false;
    d->SetValidationCaps(caps);
    return true;
}
