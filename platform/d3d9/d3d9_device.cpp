// The device: life cycle, states, resources, render targets, clear and present.
#include "d3d9_device.h"
#include "d3d9_ffp.h"
#include "d3d9_testing.h"
#include "d3d9_validate.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9gl {

bool IsRenderState(DWORD s);

namespace {
Device* g_currentDevice = nullptr;
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
    m_state.rs[D3DRS_ZENABLE] = m_autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    m_state.viewport = {0, 0, m_pp.BackBufferWidth, m_pp.BackBufferHeight, 0.0f, 1.0f};
    m_state.scissor = {0, 0, (LONG)m_pp.BackBufferWidth, (LONG)m_pp.BackBufferHeight};
    m_ff.reset(new FFCache());
    GLuint fbo = FramebufferFor(m_renderTarget, m_depthStencil);
    if (!fbo) return false;
    // The first frame starts black, as a new swap chain does.
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl.glClearColor(0, 0, 0, 1);
    gl.glClearDepth(1.0);
    gl.glClearStencil(0);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    m_boundFbo = fbo;
    m_dirty = DirtyAll;
    return gl.glGetError() == GL_NO_ERROR;
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
    SetBound(m_renderTarget, (SurfaceImpl*)nullptr);
    SetBound(m_depthStencil, (SurfaceImpl*)nullptr);
    delete m_backBuffer;
    m_backBuffer = nullptr;
    delete m_autoDepth;
    m_autoDepth = nullptr;
    for (auto& f : m_fbos) gl.glDeleteFramebuffers(1, &f.second);
    m_fbos.clear();
    for (auto& p : m_shaderPrograms) DeleteShaderProgram(p.second);
    m_shaderPrograms.clear();
    for (auto& p : m_hybridPrograms) DeleteHybridProgram(p.second);
    m_hybridPrograms.clear();
    m_hybrid = nullptr;
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

size_t Device::ProgramCount() const { return m_ff ? m_ff->Count() : 0; }

// ---- Framebuffers ------------------------------------------------------------------
GLuint Device::FramebufferFor(SurfaceImpl* color, SurfaceImpl* depth)
{
    auto key = std::make_pair(color, depth);
    auto it = m_fbos.find(key);
    if (it != m_fbos.end()) return it->second;
    MakeCurrent();
    GLuint fbo = 0;
    gl.glGenFramebuffers(1, &fbo);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    if (color)
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color->ColorTexture(),
                                  (GLint)(color->kind == SurfaceImpl::TextureLevel ? color->level : 0));
    if (depth)
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                     depth->fmt->hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                     GL_RENDERBUFFER, depth->glRenderbuffer);
    GLenum status = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER);
    m_boundFbo = fbo;
    m_dirty |= DirtyFramebuffer;
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        gl.glDeleteFramebuffers(1, &fbo);
        return 0;
    }
    m_fbos[key] = fbo;
    return fbo;
}

void Device::ForgetSurface(SurfaceImpl* s)
{
    for (auto it = m_fbos.begin(); it != m_fbos.end();) {
        if (it->first.first == s || it->first.second == s) {
            if (m_boundFbo == it->second) m_boundFbo = 0;
            gl.glDeleteFramebuffers(1, &it->second);
            it = m_fbos.erase(it);
        } else {
            ++it;
        }
    }
    m_dirty |= DirtyFramebuffer;
}

void Device::ApplyFramebuffer()
{
    GLuint fbo = FramebufferFor(m_renderTarget, m_depthStencil);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    m_boundFbo = fbo;
}

void Device::ForgetTexture(GLuint name)
{
    for (GLuint& b : m_boundTextures)
        if (b == name) b = 0;
    m_dirty |= DirtyTextures;
}

void Device::SetAutogenDirty(SurfaceImpl* rt)
{
    if (rt && rt->kind == SurfaceImpl::TextureLevel) rt->container->MarkRendered();
}

HRESULT Device::ReadSurface(SurfaceImpl* s, const RECT& r, uint8_t* dst, UINT pitch)
{
    MakeCurrent();
    GLuint fbo = FramebufferFor(s, nullptr);
    if (!fbo) return D3DERR_INVALIDCALL;
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const UINT w = (UINT)(r.right - r.left), h = (UINT)(r.bottom - r.top);
    const UINT bpp = s->fmt->bytesPerPixel;
    std::vector<uint8_t> rows((size_t)w * h * bpp);
    gl.glReadPixels(r.left, r.top, (GLsizei)w, (GLsizei)h, s->fmt->glFormat, s->fmt->glType, rows.data());
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, m_boundFbo);
    for (UINT y = 0; y < h; ++y) {
        uint8_t* d = dst + (size_t)y * pitch;
        std::memcpy(d, rows.data() + (size_t)y * w * bpp, (size_t)w * bpp);
        if (!s->fmt->hasAlpha) {
            // Formats without alpha read back with their unused bits set.
            if (bpp == 4 && s->format != D3DFMT_A2R10G10B10)
                for (UINT x = 0; x < w; ++x) d[x * 4 + 3] = 0xFF;
            else if (s->format == D3DFMT_X1R5G5B5)
                for (UINT x = 0; x < w; ++x) d[x * 2 + 1] |= 0x80;
        }
    }
    return gl.glGetError() == GL_NO_ERROR ? S_OK : D3DERR_INVALIDCALL;
}

// ---- Resources -----------------------------------------------------------------------
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
        if (Format != D3DFMT_A8R8G8B8 && Format != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
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

namespace {
// A target without alpha holds 1 there.
void SetClearColor(D3DCOLOR c, const SurfaceImpl* target)
{
    const float a = target && !target->fmt->hasAlpha ? 1.0f : ((c >> 24) & 255) / 255.0f;
    gl.glClearColor(((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, (c & 255) / 255.0f, a);
}

// Copies a rectangle between two memory images of one format.
void CopyRect(const uint8_t* src, UINT srcPitch, uint8_t* dst, UINT dstPitch, UINT rowBytes, UINT rows)
{
    for (UINT y = 0; y < rows; ++y) std::memcpy(dst + (size_t)y * dstPitch, src + (size_t)y * srcPitch, rowBytes);
}
} // namespace

HRESULT Device::UpdateSurface(IDirect3DSurface9* pSrc, const RECT* pSrcRect, IDirect3DSurface9* pDst,
                              const POINT* pDstPoint)
{
    SurfaceImpl* src = static_cast<SurfaceImpl*>(pSrc);
    SurfaceImpl* dst = static_cast<SurfaceImpl*>(pDst);
    if (!src || !dst || src->format != dst->format || src->fmt->block) return D3DERR_INVALIDCALL;
    RECT r = pSrcRect ? *pSrcRect : RECT{0, 0, (LONG)src->width, (LONG)src->height};
    POINT p = pDstPoint ? *pDstPoint : POINT{0, 0};
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || r.left < 0 || r.top < 0 || (UINT)r.right > src->width || (UINT)r.bottom > src->height ||
        p.x < 0 || p.y < 0 || (UINT)(p.x + w) > dst->width || (UINT)(p.y + h) > dst->height)
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT sl, dl;
    if (FAILED(src->LockRect(&sl, &r, D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
    RECT dr = {p.x, p.y, p.x + w, p.y + h};
    if (FAILED(dst->LockRect(&dl, &dr, 0))) {
        src->UnlockRect();
        return D3DERR_INVALIDCALL;
    }
    CopyRect((const uint8_t*)sl.pBits, (UINT)sl.Pitch, (uint8_t*)dl.pBits, (UINT)dl.Pitch,
             (UINT)w * src->fmt->bytesPerPixel, (UINT)h);
    dst->UnlockRect();
    src->UnlockRect();
    return S_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* pSrc, IDirect3DBaseTexture9* pDst)
{
    TextureImpl* src = dynamic_cast<TextureImpl*>(pSrc);
    TextureImpl* dst = dynamic_cast<TextureImpl*>(pDst);
    if (!src || !dst || src->m_format != dst->m_format || src->m_width != dst->m_width ||
        src->m_height != dst->m_height || (dst->m_usage & D3DUSAGE_RENDERTARGET))
        return D3DERR_INVALIDCALL;
    const size_t n = std::min(src->m_levels.size(), dst->m_levels.size());
    for (size_t i = 0; i < n; ++i) {
        dst->m_levels[i].data = src->m_levels[i].data;
        dst->m_levels[i].dirty = true;
    }
    dst->m_anyDirty = true;
    m_dirty |= DirtyTextures;
    return S_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* pRT, IDirect3DSurface9* pDest)
{
    SurfaceImpl* rt = static_cast<SurfaceImpl*>(pRT);
    SurfaceImpl* dst = static_cast<SurfaceImpl*>(pDest);
    if (!rt || !dst || !rt->IsColorTarget() || rt->width != dst->width || rt->height != dst->height ||
        rt->format != dst->format || dst->pool != D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (FAILED(dst->LockRect(&lr, nullptr, 0))) return D3DERR_INVALIDCALL;
    RECT full = {0, 0, (LONG)rt->width, (LONG)rt->height};
    HRESULT hr = ReadSurface(rt, full, (uint8_t*)lr.pBits, (UINT)lr.Pitch);
    dst->UnlockRect();
    return hr;
}

HRESULT Device::GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDest)
{
    SurfaceImpl* dst = static_cast<SurfaceImpl*>(pDest);
    if (iSwapChain != 0 || !dst || dst->format != D3DFMT_A8R8G8B8 || dst->width != m_backBuffer->width ||
        dst->height != m_backBuffer->height)
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (FAILED(dst->LockRect(&lr, nullptr, 0))) return D3DERR_INVALIDCALL;
    RECT full = {0, 0, (LONG)dst->width, (LONG)dst->height};
    HRESULT hr = ReadSurface(m_backBuffer, full, (uint8_t*)lr.pBits, (UINT)lr.Pitch);
    dst->UnlockRect();
    return hr;
}

HRESULT Device::StretchRect(IDirect3DSurface9* pSrc, const RECT* pSrcRect, IDirect3DSurface9* pDst,
                            const RECT* pDstRect, D3DTEXTUREFILTERTYPE Filter)
{
    SurfaceImpl* src = static_cast<SurfaceImpl*>(pSrc);
    SurfaceImpl* dst = static_cast<SurfaceImpl*>(pDst);
    if (!src || !dst || src == dst || !dst->IsColorTarget()) return D3DERR_INVALIDCALL;
    RECT sr = pSrcRect ? *pSrcRect : RECT{0, 0, (LONG)src->width, (LONG)src->height};
    RECT dr = pDstRect ? *pDstRect : RECT{0, 0, (LONG)dst->width, (LONG)dst->height};
    if (!SurfaceRect(src, &sr, sr) || !SurfaceRect(dst, &dr, dr)) return D3DERR_INVALIDCALL;
    // Off-screen plain surfaces are a source only from the default pool.
    if (src->kind == SurfaceImpl::OffscreenPlain && src->pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (!src->IsColorTarget() && src->kind != SurfaceImpl::TextureLevel && src->kind != SurfaceImpl::OffscreenPlain)
        return D3DERR_INVALIDCALL;
    MakeCurrent();
    GLuint srcFbo = 0, srcTexture = 0;
    if (src->IsColorTarget()) {
        srcFbo = FramebufferFor(src, nullptr);
    } else {
        GLint level = 0;
        if (src->kind == SurfaceImpl::TextureLevel) {
            src->container->Prepare();
            level = (GLint)src->level;
        } else {
            srcTexture = UploadPlainSurface(src);
        }
        m_dirty |= DirtyTextures;
        gl.glGenFramebuffers(1, &srcFbo);
        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, srcFbo);
        gl.glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                  srcTexture ? srcTexture : src->container->m_glTexture, level);
    }
    GLuint dstFbo = FramebufferFor(dst, nullptr);
    if (!srcFbo || !dstFbo) return D3DERR_INVALIDCALL;
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, srcFbo);
    gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, dstFbo);
    gl.glDisable(GL_SCISSOR_TEST);
    gl.glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top, dr.right, dr.bottom,
                         GL_COLOR_BUFFER_BIT, Filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    if (!src->fmt->hasAlpha || !dst->fmt->hasAlpha) {
        // Blits copy the stored alpha; a format without alpha reads as opaque.
        gl.glBindFramebuffer(GL_FRAMEBUFFER, dstFbo);
        gl.glEnable(GL_SCISSOR_TEST);
        gl.glScissor(dr.left, dr.top, dr.right - dr.left, dr.bottom - dr.top);
        gl.glColorMask(0, 0, 0, 1);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
        m_dirty |= DirtyBlend;
    }
    if (!src->IsColorTarget()) gl.glDeleteFramebuffers(1, &srcFbo);
    if (srcTexture) gl.glDeleteTextures(1, &srcTexture);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, m_boundFbo);
    m_dirty |= DirtyFramebuffer | DirtyScissor;
    SetAutogenDirty(dst);
    return S_OK;
}

GLuint Device::UploadPlainSurface(SurfaceImpl* s)
{
    GLuint t = 0;
    gl.glGenTextures(1, &t);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, t);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (s->fmt->block) {
        std::vector<uint8_t> bgra((size_t)s->width * s->height * 4);
        DecodeBlocks(s->format, s->memory.data(), s->width, s->height, bgra.data());
        gl.glTexImage2D(GL_TEXTURE_2D, 0, (GLint)GL_RGBA8, (GLsizei)s->width, (GLsizei)s->height, 0, GL_BGRA,
                        GL_UNSIGNED_BYTE, bgra.data());
    } else {
        gl.glTexImage2D(GL_TEXTURE_2D, 0, (GLint)s->fmt->internalFormat, (GLsizei)s->width, (GLsizei)s->height, 0,
                        s->fmt->glFormat, s->fmt->glType, s->memory.data());
    }
    gl.glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

bool Device::SurfaceRect(SurfaceImpl* s, const RECT* r, RECT& out)
{
    out = r ? *r : RECT{0, 0, (LONG)s->width, (LONG)s->height};
    return out.left >= 0 && out.top >= 0 && out.left < out.right && out.top < out.bottom &&
           (UINT)out.right <= s->width && (UINT)out.bottom <= s->height;
}

HRESULT Device::ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color)
{
    SurfaceImpl* s = static_cast<SurfaceImpl*>(pSurface);
    RECT r;
    if (!s || !SurfaceRect(s, pRect, r)) return D3DERR_INVALIDCALL;
    if (s->IsColorTarget()) {
        MakeCurrent();
        GLuint fbo = FramebufferFor(s, nullptr);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl.glEnable(GL_SCISSOR_TEST);
        gl.glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
        gl.glColorMask(1, 1, 1, 1);
        SetClearColor(color, s);
        gl.glClear(GL_COLOR_BUFFER_BIT);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, m_boundFbo);
        m_dirty |= DirtyFramebuffer | DirtyScissor | DirtyBlend;
        SetAutogenDirty(s);
        return S_OK;
    }
    if (s->kind != SurfaceImpl::OffscreenPlain || (s->format != D3DFMT_A8R8G8B8 && s->format != D3DFMT_X8R8G8B8))
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    s->LockRect(&lr, &r, 0);
    for (LONG y = 0; y < r.bottom - r.top; ++y) {
        DWORD* row = (DWORD*)((uint8_t*)lr.pBits + y * lr.Pitch);
        for (LONG x = 0; x < r.right - r.left; ++x) row[x] = color;
    }
    s->UnlockRect();
    return S_OK;
}

// ---- Render targets ------------------------------------------------------------
HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* pRT)
{
    SurfaceImpl* s = static_cast<SurfaceImpl*>(pRT);
    if (index >= m_caps.NumSimultaneousRTs) return D3DERR_INVALIDCALL;
    if (!s || !s->IsColorTarget()) return D3DERR_INVALIDCALL;
    SetBound(m_renderTarget, s);
    // Setting a target resets the viewport and scissor rectangle to it.
    m_state.viewport = {0, 0, s->width, s->height, 0.0f, 1.0f};
    m_state.scissor = {0, 0, (LONG)s->width, (LONG)s->height};
    m_dirty |= DirtyFramebuffer | DirtyViewport | DirtyScissor | DirtyBlend;
    ++serial[UViewport];
    ++serial[UPoint];
    return S_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (index >= m_caps.NumSimultaneousRTs) return D3DERR_INVALIDCALL;
    if (!m_renderTarget) return D3DERR_NOTFOUND;
    m_renderTarget->AddRef();
    *pp = m_renderTarget;
    return S_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* pDS)
{
    SurfaceImpl* s = static_cast<SurfaceImpl*>(pDS);
    if (s && !s->fmt->isDepth) return D3DERR_INVALIDCALL;
    SetBound(m_depthStencil, s);
    m_dirty |= DirtyFramebuffer;
    return S_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_depthStencil;
    if (!m_depthStencil) return D3DERR_NOTFOUND;
    m_depthStencil->AddRef();
    return S_OK;
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE, IDirect3DSurface9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (iSwapChain != 0 || iBackBuffer >= m_pp.BackBufferCount) return D3DERR_INVALIDCALL;
    m_backBuffer->AddRef();
    *pp = m_backBuffer;
    return S_OK;
}

// ---- Scene, clear, present -------------------------------------------------------------
HRESULT Device::BeginScene()
{
    if (m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = true;
    return S_OK;
}

HRESULT Device::EndScene()
{
    if (!m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = false;
    MakeCurrent();
    gl.glFlush();
    return S_OK;
}

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil)
{
    if ((Flags & ~(DWORD)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_ZBUFFER) && !m_depthStencil) return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_STENCIL) && !HasStencil()) return D3DERR_INVALIDCALL;
    // Rectangles without a count clear nothing; a count without rectangles clears the viewport.
    if (pRects && Count == 0) return S_OK;
    if (!pRects) Count = 0;
    MakeCurrent();
    ApplyFramebuffer();
    GLbitfield bits = 0;
    if (Flags & D3DCLEAR_TARGET) {
        bits |= GL_COLOR_BUFFER_BIT;
        gl.glColorMask(1, 1, 1, 1);
        SetClearColor(Color, m_renderTarget);
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        bits |= GL_DEPTH_BUFFER_BIT;
        gl.glDepthMask(1);
        gl.glClearDepth(std::min(1.0f, std::max(0.0f, Z)));
    }
    if (Flags & D3DCLEAR_STENCIL) {
        bits |= GL_STENCIL_BUFFER_BIT;
        gl.glStencilMask(0xFFFFFFFFu);
        gl.glClearStencil((GLint)Stencil);
    }
    if (!bits) return S_OK;
    // The viewport bounds the clear, and so does the scissor rectangle when
    // the scissor test is on.
    const D3DVIEWPORT9& vp = m_state.viewport;
    RECT area = {(LONG)vp.X, (LONG)vp.Y, (LONG)(vp.X + vp.Width), (LONG)(vp.Y + vp.Height)};
    if (m_state.rs[D3DRS_SCISSORTESTENABLE]) {
        area.left = std::max(area.left, m_state.scissor.left);
        area.top = std::max(area.top, m_state.scissor.top);
        area.right = std::min(area.right, m_state.scissor.right);
        area.bottom = std::min(area.bottom, m_state.scissor.bottom);
    }
    gl.glEnable(GL_SCISSOR_TEST);
    auto clearRect = [&](LONG l, LONG t, LONG r, LONG b) {
        l = std::max(l, area.left);
        t = std::max(t, area.top);
        r = std::min(r, area.right);
        b = std::min(b, area.bottom);
        if (l >= r || t >= b) return;
        gl.glScissor(l, t, r - l, b - t);
        gl.glClear(bits);
    };
    if (Count == 0) {
        clearRect(area.left, area.top, area.right, area.bottom);
    } else {
        for (DWORD i = 0; i < Count; ++i) clearRect(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
    }
    m_dirty |= DirtyScissor | DirtyBlend | DirtyDepthStencil;
    SetAutogenDirty(m_renderTarget);
    return S_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const _RGNDATA*)
{
    MakeCurrent();
    GLuint src = FramebufferFor(m_backBuffer, nullptr);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_window, &dw, &dh);
    if (dw <= 0 || dh <= 0) {
        dw = (int)m_backBuffer->width;
        dh = (int)m_backBuffer->height;
    }
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, src);
    gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.glDisable(GL_SCISSOR_TEST);
    const bool same = (UINT)dw == m_backBuffer->width && (UINT)dh == m_backBuffer->height;
    // Row 0 of the back buffer is the top of the picture.
    gl.glBlitFramebuffer(0, 0, (GLint)m_backBuffer->width, (GLint)m_backBuffer->height, 0, dh, dw, 0,
                         GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(m_window);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, m_boundFbo);
    m_dirty |= DirtyFramebuffer | DirtyScissor;
    return S_OK;
}

// ---- States ----------------------------------------------------------------------------
void Device::MarkRenderState(DWORD s)
{
    switch (s) {
    case D3DRS_ALPHABLENDENABLE: case D3DRS_SRCBLEND: case D3DRS_DESTBLEND: case D3DRS_BLENDOP:
    case D3DRS_SEPARATEALPHABLENDENABLE: case D3DRS_SRCBLENDALPHA: case D3DRS_DESTBLENDALPHA:
    case D3DRS_BLENDOPALPHA: case D3DRS_BLENDFACTOR: case D3DRS_COLORWRITEENABLE:
        m_dirty |= DirtyBlend;
        break;
    case D3DRS_ZENABLE: case D3DRS_ZWRITEENABLE: case D3DRS_ZFUNC: case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL: case D3DRS_STENCILZFAIL: case D3DRS_STENCILPASS: case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF: case D3DRS_STENCILMASK: case D3DRS_STENCILWRITEMASK: case D3DRS_TWOSIDEDSTENCILMODE:
    case D3DRS_CCW_STENCILFAIL: case D3DRS_CCW_STENCILZFAIL: case D3DRS_CCW_STENCILPASS:
    case D3DRS_CCW_STENCILFUNC:
        m_dirty |= DirtyDepthStencil;
        break;
    case D3DRS_CULLMODE: case D3DRS_FILLMODE: case D3DRS_DEPTHBIAS: case D3DRS_SLOPESCALEDEPTHBIAS:
        m_dirty |= DirtyRaster;
        break;
    case D3DRS_SCISSORTESTENABLE:
        m_dirty |= DirtyScissor;
        break;
    case D3DRS_FOGSTART: case D3DRS_FOGEND: case D3DRS_FOGDENSITY: case D3DRS_FOGCOLOR:
        ++serial[UFog];
        break;
    case D3DRS_AMBIENT:
        ++serial[UMaterial];
        break;
    case D3DRS_POINTSIZE: case D3DRS_POINTSIZE_MIN: case D3DRS_POINTSIZE_MAX: case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B: case D3DRS_POINTSCALE_C:
        ++serial[UPoint];
        break;
    case D3DRS_TEXTUREFACTOR: case D3DRS_ALPHAREF:
        ++serial[UPixel];
        break;
    case D3DRS_VERTEXBLEND: case D3DRS_INDEXEDVERTEXBLENDENABLE:
        ++serial[UTransforms];
        m_dirty |= DirtyProgram;
        break;
    default:
        break;
    }
    // Anything may change the program's key.
    m_dirty |= DirtyProgram;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    const DWORD s = (DWORD)State;
    if (s >= 256 || !IsRenderState(s)) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.rs[s] = Value;
        m_recording->mask.rs.set(s);
        return S_OK;
    }
    if (m_state.rs[s] == Value) return S_OK;
    m_state.rs[s] = Value;
    MarkRenderState(s);
    return S_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    if (!pValue) return D3DERR_INVALIDCALL;
    const DWORD s = (DWORD)State;
    if (s >= 256) {
        *pValue = 0;
        return D3DERR_INVALIDCALL;
    }
    *pValue = m_state.rs[s];
    return IsRenderState(s) ? S_OK : D3DERR_INVALIDCALL;
}

void Device::MarkTransform(int slot)
{
    if (slot == 0) {
        ++serial[UTransforms];
        ++serial[ULights];
    } else if (slot == 1) {
        ++serial[UProjection];
        ++serial[UFog];
    } else if (slot < 10) {
        ++serial[UTexMatrices];
    } else {
        if (slot - 10 <= kMaxBlendIndex) ++serial[UTransforms];
    }
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.transforms[slot] = *m;
        m_recording->mask.transforms.set((size_t)slot);
        return S_OK;
    }
    if (std::memcmp(&m_state.transforms[slot], m, sizeof(D3DMATRIX)) == 0) return S_OK;
    m_state.transforms[slot] = *m;
    MarkTransform(slot);
    return S_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    *m = m_state.transforms[slot];
    return S_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* m)
{
    int slot = TransformSlot(State);
    if (slot < 0 || !m) return D3DERR_INVALIDCALL;
    const D3DMATRIX& a = m_state.transforms[slot];
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * m->m[k][j];
            r.m[i][j] = s;
        }
    return SetTransform(State, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* vp)
{
    if (!vp) return D3DERR_INVALIDCALL;
    if (!m_recording && m_renderTarget &&
        (vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > m_renderTarget->width ||
         vp->Y + vp->Height > m_renderTarget->height || vp->MinZ < 0.0f || vp->MaxZ > 1.0f || vp->MinZ > vp->MaxZ))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.viewport = *vp;
        m_recording->mask.viewport = true;
        return S_OK;
    }
    m_state.viewport = *vp;
    m_dirty |= DirtyViewport;
    ++serial[UViewport];
    ++serial[UPoint];
    return S_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* vp)
{
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = m_state.viewport;
    return S_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* m)
{
    if (!m) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.material = *m;
        m_recording->mask.material = true;
        return S_OK;
    }
    if (std::memcmp(&m_state.material, m, sizeof(*m)) == 0) return S_OK;
    m_state.material = *m;
    ++serial[UMaterial];
    return S_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* m)
{
    if (!m) return D3DERR_INVALIDCALL;
    *m = m_state.material;
    return S_OK;
}

namespace {
LightSlot DefaultLight()
{
    LightSlot l;
    std::memset(&l, 0, sizeof(l));
    l.light.Type = D3DLIGHT_DIRECTIONAL;
    l.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    l.light.Direction = {0.0f, 0.0f, 1.0f};
    l.enabled = FALSE;
    return l;
}
} // namespace

HRESULT Device::SetLight(DWORD Index, const D3DLIGHT9* light)
{
    if (!light) return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light->Type != D3DLIGHT_DIRECTIONAL && light->Range < 0.0f) return D3DERR_INVALIDCALL;
    if (m_recording) {
        auto it = m_recording->values.lights.find(Index);
        if (it == m_recording->values.lights.end()) {
            auto dev = m_state.lights.find(Index);
            LightSlot slot = dev != m_state.lights.end() ? dev->second : DefaultLight();
            it = m_recording->values.lights.emplace(Index, slot).first;
        }
        it->second.light = *light;
        m_recording->mask.lights[Index] = true;
        return S_OK;
    }
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) it = m_state.lights.emplace(Index, DefaultLight()).first;
    it->second.light = *light;
    ++serial[ULights];
    m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetLight(DWORD Index, D3DLIGHT9* light)
{
    if (!light) return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return S_OK;
}

HRESULT Device::LightEnable(DWORD Index, BOOL Enable)
{
    const BOOL on = Enable ? TRUE : FALSE;
    if (m_recording) {
        auto it = m_recording->values.lights.find(Index);
        if (it == m_recording->values.lights.end()) {
            auto dev = m_state.lights.find(Index);
            LightSlot slot = dev != m_state.lights.end() ? dev->second : DefaultLight();
            it = m_recording->values.lights.emplace(Index, slot).first;
        }
        it->second.enabled = on;
        m_recording->mask.lights[Index] = true;
        return S_OK;
    }
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) it = m_state.lights.emplace(Index, DefaultLight()).first;
    if (it->second.enabled == on) return S_OK;
    it->second.enabled = on;
    ++serial[ULights];
    m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetLightEnable(DWORD Index, BOOL* pEnable)
{
    if (!pEnable) return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(Index);
    if (it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *pEnable = it->second.enabled ? 128 : 0;  // Direct3D 9 reports an enabled light as 128
    return S_OK;
}

HRESULT Device::SetClipPlane(DWORD Index, const float* p)
{
    if (Index >= 6 || !p) return D3DERR_INVALIDCALL;
    float* dst = m_recording ? m_recording->values.clipPlanes[Index] : m_state.clipPlanes[Index];
    std::memcpy(dst, p, 16);
    if (m_recording) m_recording->mask.clipPlanes.set(Index);
    return S_OK;
}

HRESULT Device::GetClipPlane(DWORD Index, float* p)
{
    if (Index >= 6 || !p) return D3DERR_INVALIDCALL;
    std::memcpy(p, m_state.clipPlanes[Index], 16);
    return S_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* s)
{
    if (!s) return D3DERR_INVALIDCALL;
    s->ClipUnion = 0;
    s->ClipIntersection = 0xFFFFFFFF;
    return S_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** pp)
{
    if (!pp || Stage >= kMaxSamplers) return D3DERR_INVALIDCALL;
    *pp = m_state.textures[Stage];
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    if (Stage >= kMaxSamplers) {
        // Vertex texture and displacement samplers: accepted, not sampled.
        if (Stage >= D3DDMAPSAMPLER && Stage <= D3DVERTEXTEXTURESAMPLER3) return S_OK;
        return D3DERR_INVALIDCALL;
    }
    TextureImpl* t = nullptr;
    if (pTexture) {
        t = dynamic_cast<TextureImpl*>(pTexture);
        if (!t) return D3DERR_INVALIDCALL;
    }
    if (m_recording) {
        SetBound(m_recording->values.textures[Stage], t);
        m_recording->mask.textures.set(Stage);
        return S_OK;
    }
    if (m_state.textures[Stage] == t) return S_OK;
    const bool presenceChanged = (m_state.textures[Stage] == nullptr) != (t == nullptr);
    SetBound(m_state.textures[Stage], t);
    m_dirty |= DirtyTextures;
    if (presenceChanged) m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Stage >= kMaxStages || (DWORD)Type >= D3D_TEXTURESTAGESTATE_COUNT) return D3DERR_INVALIDCALL;
    *pValue = m_state.tss[Stage][Type];
    return S_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    if (Stage >= kMaxStages || (DWORD)Type >= D3D_TEXTURESTAGESTATE_COUNT || Type == 0) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.tss[Stage][Type] = Value;
        m_recording->mask.tss[Stage].set(Type);
        return S_OK;
    }
    if (m_state.tss[Stage][Type] == Value) return S_OK;
    m_state.tss[Stage][Type] = Value;
    if (Type == D3DTSS_CONSTANT) ++serial[UPixel];
    else m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Sampler >= kMaxSamplers || (DWORD)Type >= D3D_SAMPLERSTATE_COUNT) return D3DERR_INVALIDCALL;
    *pValue = m_state.samp[Sampler][Type];
    return S_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    if (Sampler >= kMaxSamplers) {
        if (Sampler >= D3DDMAPSAMPLER && Sampler <= D3DVERTEXTEXTURESAMPLER3) return S_OK;
        return D3DERR_INVALIDCALL;
    }
    if ((DWORD)Type >= D3D_SAMPLERSTATE_COUNT || Type == 0) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.samp[Sampler][Type] = Value;
        m_recording->mask.samp[Sampler].set(Type);
        return S_OK;
    }
    if (m_state.samp[Sampler][Type] == Value) return S_OK;
    m_state.samp[Sampler][Type] = Value;
    m_dirty |= DirtySamplers;
    m_dirtySamplers |= 1u << Sampler;
    return S_OK;
}

HRESULT Device::ValidateDevice(DWORD* pNumPasses)
{
    if (!pNumPasses) return D3DERR_INVALIDCALL;
    *pNumPasses = 1;
    return ValidateStageSetUp(m_validationCaps ? *m_validationCaps : m_caps,
                              [this](DWORD s, D3DTEXTURESTAGESTATETYPE t) { return m_state.tss[s][t]; });
}

HRESULT Device::SetScissorRect(const RECT* r)
{
    if (!r) return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->values.scissor = *r;
        m_recording->mask.scissor = true;
        return S_OK;
    }
    m_state.scissor = *r;
    m_dirty |= DirtyScissor;
    return S_OK;
}

HRESULT Device::GetScissorRect(RECT* r)
{
    if (!r) return D3DERR_INVALIDCALL;
    *r = m_state.scissor;
    return S_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL bSoftware)
{
    const DWORD vp = m_cp.BehaviorFlags;
    if (!(vp & D3DCREATE_MIXED_VERTEXPROCESSING)) {
        // Only a mixed device can switch; the others keep what they were made with.
        if (bSoftware && !(vp & D3DCREATE_SOFTWARE_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
        if (!bSoftware && (vp & D3DCREATE_SOFTWARE_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
    }
    m_softwareVP = bSoftware ? TRUE : FALSE;
    return S_OK;
}

// ---- Vertex input and shader bindings -----------------------------------------------------
HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** pp)
{
    if (!e || !pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    UINT n = 0;
    while (e[n].Stream != 0xFF) {
        if (n >= MAXD3DDECLLENGTH || e[n].Type >= D3DDECLTYPE_UNUSED || e[n].Stream >= kMaxStreams)
            return D3DERR_INVALIDCALL;
        ++n;
    }
    std::vector<D3DVERTEXELEMENT9> el(e, e + n);
    VertexLayout test;
    if (!LayoutFromDecl(el, test)) return D3DERR_INVALIDCALL;
    *pp = new VertexDeclImpl(this, e, n);
    return S_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl)
{
    VertexDeclImpl* d = static_cast<VertexDeclImpl*>(pDecl);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.decl = true;
    if (!m_recording && s.decl == d && (d || s.fvf == 0)) return S_OK;
    SetBound(s.decl, d);
    s.fvf = 0;
    if (!m_recording) m_dirty |= DirtyInput | DirtyProgram;
    return S_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.decl;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetFVF(DWORD FVF)
{
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.decl = true;
    if (!m_recording && s.fvf == FVF && !s.decl) return S_OK;
    if (FVF) {
        VertexLayout test;
        if (!LayoutFromFVF(FVF, test)) return D3DERR_INVALIDCALL;
    }
    SetBound(s.decl, (VertexDeclImpl*)nullptr);
    s.fvf = FVF;
    if (!m_recording) m_dirty |= DirtyInput | DirtyProgram;
    return S_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF)
{
    if (!pFVF) return D3DERR_INVALIDCALL;
    *pFVF = m_state.fvf;
    return S_OK;
}

HRESULT Device::SetStreamSource(UINT n, IDirect3DVertexBuffer9* pVB, UINT offset, UINT stride)
{
    if (n >= kMaxStreams) return D3DERR_INVALIDCALL;
    VertexBufferImpl* vb = static_cast<VertexBufferImpl*>(pVB);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    StreamSlot& slot = s.streams[n];
    if (m_recording) m_recording->mask.streams.set(n);
    // Unbinding keeps the stride.
    if (!vb) stride = slot.stride;
    if (!m_recording && slot.vb == vb && slot.offset == offset && slot.stride == stride) return S_OK;
    SetBound(slot.vb, vb);
    slot.offset = offset;
    slot.stride = stride;
    if (!m_recording) m_dirty |= DirtyInput;
    return S_OK;
}

HRESULT Device::GetStreamSource(UINT n, IDirect3DVertexBuffer9** pp, UINT* offset, UINT* stride)
{
    if (n >= kMaxStreams || !pp || !offset || !stride) return D3DERR_INVALIDCALL;
    *pp = m_state.streams[n].vb;
    if (*pp) (*pp)->AddRef();
    *offset = m_state.streams[n].offset;
    *stride = m_state.streams[n].stride;
    return S_OK;
}

HRESULT Device::SetStreamSourceFreq(UINT n, UINT setting)
{
    if (n >= kMaxStreams) return D3DERR_INVALIDCALL;
    DeviceState& s = m_recording ? m_recording->values : m_state;
    s.streams[n].freq = setting;
    if (m_recording) m_recording->mask.streamFreq.set(n);
    return S_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT n, UINT* setting)
{
    if (n >= kMaxStreams || !setting) return D3DERR_INVALIDCALL;
    *setting = m_state.streams[n].freq;
    return S_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIB)
{
    IndexBufferImpl* ib = static_cast<IndexBufferImpl*>(pIB);
    DeviceState& s = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.indices = true;
    SetBound(s.indices, ib);
    return S_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.indices;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

namespace {
// Reads the GLSL source out of a shader token stream (see d3d9.h).
bool ShaderSource(const DWORD* f, bool vertex, std::string& source, UINT& dwords)
{
    if (!f) return false;
    const DWORD version = f[0];
    if ((version & 0xFFFF0000u) != (vertex ? 0xFFFE0000u : 0xFFFF0000u)) return false;
    UINT i = 1;
    bool found = false;
    for (;;) {
        const DWORD t = f[i];
        if (t == 0x0000FFFFu) break;
        if ((t & 0xFFFF) != 0xFFFE) return false;  // only comment tokens are understood
        const UINT n = (t >> 16) & 0x7FFF;
        if (n >= 1 && f[i + 1] == D3DSHADER_GLSL_TAG && !found) {
            const char* text = reinterpret_cast<const char*>(f + i + 2);
            size_t max = (n - 1) * 4;
            source.assign(text, strnlen(text, max));
            found = true;
        }
        i += 1 + n;
        if (i > (1u << 20)) return false;
    }
    dwords = i + 1;
    return found;
}
} // namespace

HRESULT Device::CreateVertexShader(const DWORD* f, IDirect3DVertexShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    std::string src;
    UINT n = 0;
    if (!ShaderSource(f, true, src, n)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    VertexShaderImpl* s = new VertexShaderImpl(this, f, n, src, true);
    // The shader writes Direct3D's clip space; the wrapper maps it to GL's
    // the way the fixed-function programs do.
    const std::string wrapped = "#version 330 core\n#define main d3d_user_main\n" + src +
                                "\n#undef main\nuniform vec4 d3d_vpoff;\nvoid main() {\n  d3d_user_main();\n"
                                "  vec4 c = gl_Position;\n"
                                "  gl_Position = vec4(c.x + c.w * d3d_vpoff.x, -c.y + c.w * d3d_vpoff.y, "
                                "2.0 * c.z - c.w, c.w);\n}\n";
    if (!CompileShaderObject(s->glShader, wrapped, true)) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* f, IDirect3DPixelShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    std::string src;
    UINT n = 0;
    if (!ShaderSource(f, false, src, n)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    PixelShaderImpl* s = new PixelShaderImpl(this, f, n, src, false);
    // The alpha test still applies after the shader, as on Direct3D 9.
    const std::string wrapped = "#version 330 core\n#define main d3d_user_main\n" + src +
                                "\n#undef main\nuniform int d3d_afunc;\nuniform float d3d_aref;\n"
                                "void main() {\n  d3d_user_main();\n"
                                "  float a = floor(clamp(oC0.a, 0.0, 1.0) * 255.0 + 0.5);\n"
                                "  bool pass = d3d_afunc == 8 || (d3d_afunc == 2 && a < d3d_aref) ||\n"
                                "    (d3d_afunc == 3 && a == d3d_aref) || (d3d_afunc == 4 && a <= d3d_aref) ||\n"
                                "    (d3d_afunc == 5 && a > d3d_aref) || (d3d_afunc == 6 && a != d3d_aref) ||\n"
                                "    (d3d_afunc == 7 && a >= d3d_aref);\n"
                                "  if (!pass) discard;\n}\n";
    if (!CompileShaderObject(s->glShader, wrapped, false)) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return S_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* p)
{
    VertexShaderImpl* s = static_cast<VertexShaderImpl*>(p);
    DeviceState& st = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.vs = true;
    if (st.vs == s) return S_OK;
    SetBound(st.vs, s);
    if (!m_recording) m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.vs;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* p)
{
    PixelShaderImpl* s = static_cast<PixelShaderImpl*>(p);
    DeviceState& st = m_recording ? m_recording->values : m_state;
    if (m_recording) m_recording->mask.ps = true;
    if (st.ps == s) return S_OK;
    SetBound(st.ps, s);
    if (!m_recording) m_dirty |= DirtyProgram;
    return S_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_state.ps;
    if (*pp) (*pp)->AddRef();
    return S_OK;
}

namespace {
template <class T, size_t N, size_t M, size_t B>
HRESULT SetConsts(T (&dst)[N][M], std::bitset<B>* mask, UINT start, const T* src, UINT count)
{
    if (!src || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst[start], src, sizeof(T) * M * count);
    if (mask)
        for (UINT i = 0; i < count; ++i) mask->set(start + i);
    return S_OK;
}

template <class T, size_t N, size_t M>
HRESULT GetConsts(const T (&src)[N][M], UINT start, T* dst, UINT count)
{
    if (!dst || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst, src[start], sizeof(T) * M * count);
    return S_OK;
}

// Boolean registers: one value each.
template <class T, size_t N, size_t B>
HRESULT SetConsts(T (&dst)[N], std::bitset<B>* mask, UINT start, const T* src, UINT count)
{
    if (!src || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst + start, src, sizeof(T) * count);
    if (mask)
        for (UINT i = 0; i < count; ++i) mask->set(start + i);
    return S_OK;
}

template <class T, size_t N>
HRESULT GetConsts(const T (&src)[N], UINT start, T* dst, UINT count)
{
    if (!dst || start >= N || count > N - start) return D3DERR_INVALIDCALL;
    std::memcpy(dst, src + start, sizeof(T) * count);
    return S_OK;
}
} // namespace

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.vsConstF : m_state.vsConstF, r ? &r->mask.vsConstF : nullptr, start, data,
                           count);
    if (!r) ++serial[UVSConst];
    return hr;
}
HRESULT Device::GetVertexShaderConstantF(UINT start, float* data, UINT count)
{
    return GetConsts(m_state.vsConstF, start, data, count);
}
HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.vsConstI : m_state.vsConstI, r ? &r->mask.vsConstI : nullptr, start, data,
                           count);
    if (!r) ++serial[UVSConst];
    return hr;
}
HRESULT Device::GetVertexShaderConstantI(UINT start, int* data, UINT count)
{
    return GetConsts(m_state.vsConstI, start, data, count);
}
HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.vsConstB : m_state.vsConstB, r ? &r->mask.vsConstB : nullptr, start, data,
                           count);
    if (!r) ++serial[UVSConst];
    return hr;
}
HRESULT Device::GetVertexShaderConstantB(UINT start, BOOL* data, UINT count)
{
    return GetConsts(m_state.vsConstB, start, data, count);
}
HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.psConstF : m_state.psConstF, r ? &r->mask.psConstF : nullptr, start, data,
                           count);
    if (!r) ++serial[UPSConst];
    return hr;
}
HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count)
{
    return GetConsts(m_state.psConstF, start, data, count);
}
HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.psConstI : m_state.psConstI, r ? &r->mask.psConstI : nullptr, start, data,
                           count);
    if (!r) ++serial[UPSConst];
    return hr;
}
HRESULT Device::GetPixelShaderConstantI(UINT start, int* data, UINT count)
{
    return GetConsts(m_state.psConstI, start, data, count);
}
HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    StateBlockImpl* r = m_recording;
    HRESULT hr = SetConsts(r ? r->values.psConstB : m_state.psConstB, r ? &r->mask.psConstB : nullptr, start, data,
                           count);
    if (!r) ++serial[UPSConst];
    return hr;
}
HRESULT Device::GetPixelShaderConstantB(UINT start, BOOL* data, UINT count)
{
    return GetConsts(m_state.psConstB, start, data, count);
}

// ---- State blocks --------------------------------------------------------------------
HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (m_recording) return D3DERR_INVALIDCALL;
    if (Type != D3DSBT_ALL && Type != D3DSBT_PIXELSTATE && Type != D3DSBT_VERTEXSTATE) return D3DERR_INVALIDCALL;
    StateBlockImpl* b = new StateBlockImpl(this);
    FillStateMask(b->mask, Type, m_state);
    b->Capture();
    *pp = b;
    return S_OK;
}

HRESULT Device::BeginStateBlock()
{
    if (m_recording) return D3DERR_INVALIDCALL;
    m_recording = new StateBlockImpl(this);
    // The block holds the device only once it is handed out.
    --m_refs;
    return S_OK;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (!m_recording) return D3DERR_INVALIDCALL;
    *pp = m_recording;
    m_recording = nullptr;
    AddRef();
    return S_OK;
}

void Device::ApplyBlock(const StateMask& m, const DeviceState& v)
{
    for (int i = 0; i < 256; ++i)
        if (m.rs[i]) SetRenderState((D3DRENDERSTATETYPE)i, v.rs[i]);
    for (int s = 0; s < kMaxStages; ++s)
        for (int t = 1; t < D3D_TEXTURESTAGESTATE_COUNT; ++t)
            if (m.tss[s][t]) SetTextureStageState((DWORD)s, (D3DTEXTURESTAGESTATETYPE)t, v.tss[s][t]);
    for (int s = 0; s < kMaxSamplers; ++s)
        for (int t = 1; t < D3D_SAMPLERSTATE_COUNT; ++t)
            if (m.samp[s][t]) SetSamplerState((DWORD)s, (D3DSAMPLERSTATETYPE)t, v.samp[s][t]);
    for (int i = 0; i < kNumTransforms; ++i) {
        if (!m.transforms[i]) continue;
        D3DTRANSFORMSTATETYPE t = i == 0   ? D3DTS_VIEW
                                  : i == 1 ? D3DTS_PROJECTION
                                  : i < 10 ? (D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + (i - 2))
                                           : D3DTS_WORLDMATRIX(i - 10);
        SetTransform(t, &v.transforms[i]);
    }
    if (m.material) SetMaterial(&v.material);
    if (m.viewport) {
        // A viewport recorded for a larger target than the current one is cut to it.
        D3DVIEWPORT9 vp = v.viewport;
        if (m_renderTarget) {
            vp.X = std::min(vp.X, m_renderTarget->width - 1);
            vp.Y = std::min(vp.Y, m_renderTarget->height - 1);
            vp.Width = std::max(1u, std::min(vp.Width, (DWORD)m_renderTarget->width - vp.X));
            vp.Height = std::max(1u, std::min(vp.Height, (DWORD)m_renderTarget->height - vp.Y));
        }
        SetViewport(&vp);
    }
    if (m.scissor) SetScissorRect(&v.scissor);
    for (int i = 0; i < 6; ++i)
        if (m.clipPlanes[i]) SetClipPlane((DWORD)i, v.clipPlanes[i]);
    for (const auto& l : m.lights) {
        auto it = v.lights.find(l.first);
        if (it == v.lights.end()) continue;
        SetLight(l.first, &it->second.light);
        LightEnable(l.first, it->second.enabled);
    }
    for (int i = 0; i < kMaxSamplers; ++i)
        if (m.textures[i]) SetTexture((DWORD)i, v.textures[i]);
    for (int i = 0; i < kMaxStreams; ++i) {
        if (m.streams[i]) SetStreamSource((UINT)i, v.streams[i].vb, v.streams[i].offset, v.streams[i].stride);
        if (m.streamFreq[i]) SetStreamSourceFreq((UINT)i, v.streams[i].freq);
    }
    if (m.indices) SetIndices(v.indices);
    if (m.decl) {
        if (v.decl) SetVertexDeclaration(v.decl);
        else SetFVF(v.fvf);
    }
    if (m.vs) SetVertexShader(v.vs);
    if (m.ps) SetPixelShader(v.ps);
    for (int i = 0; i < kMaxVSConstF; ++i)
        if (m.vsConstF[i]) SetVertexShaderConstantF((UINT)i, v.vsConstF[i], 1);
    for (int i = 0; i < kMaxPSConstF; ++i)
        if (m.psConstF[i]) SetPixelShaderConstantF((UINT)i, v.psConstF[i], 1);
    for (int i = 0; i < 16; ++i) {
        if (m.vsConstI[i]) SetVertexShaderConstantI((UINT)i, v.vsConstI[i], 1);
        if (m.psConstI[i]) SetPixelShaderConstantI((UINT)i, v.psConstI[i], 1);
        if (m.vsConstB[i]) SetVertexShaderConstantB((UINT)i, &v.vsConstB[i], 1);
        if (m.psConstB[i]) SetPixelShaderConstantB((UINT)i, &v.psConstB[i], 1);
    }
}

} // namespace d3d9gl

bool SetValidationCaps(IDirect3DDevice9* device, const D3DCAPS9* caps)
{
    d3d9gl::Device* d = dynamic_cast<d3d9gl::Device*>(device);
    if (!d) return false;
    d->SetValidationCaps(caps);
    return true;
}
