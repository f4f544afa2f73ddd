// The device's targets: framebuffers, render targets and depth surfaces,
// copies between surfaces, clears and presents.
#include "d3d9_device.h"
#include "event_trace.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace d3d9gl {

namespace {
std::atomic<int> g_presentOverride{-1};
} // namespace

// ---- Framebuffers -----------------------------------------------------------------------
GLuint Device::FramebufferFor(SurfaceImpl* color, SurfaceImpl* depth)
{
    auto key = std::make_pair(color, depth);
    auto it = m_fbos.find(key);
    if (it != m_fbos.end()) return it->second;
    MakeCurrent();
    GLuint fbo = 0;
    gl.glGenFramebuffers(1, &fbo);
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
    if (color)
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color->ColorTexture(),
                                  (GLint)(color->kind == SurfaceImpl::TextureLevel ? color->level : 0));
    if (depth)
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                     depth->fmt->hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                     GL_RENDERBUFFER, depth->glRenderbuffer);
    GLenum status = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER);
    m_dirty |= DirtyFramebuffer;
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        m_gl.ForgetFramebuffer(fbo);
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
            m_gl.ForgetFramebuffer(it->second);
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
    SurfaceImpl* rt = m_renderTarget;
    SurfaceImpl* ds = m_depthStencil;
    // The window's framebuffer holds the back buffer with the implicit depth
    // surface or none; another pairing of either needs their own storage.
    const bool own = ds && (rt == m_backBuffer) != (ds == m_autoDepth);
    if (own) {
        m_storageNeeded = true;
        if (m_inWindow) LeaveWindow();
    }
    const bool window = InWindow(rt);
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, window ? 0 : FramebufferFor(rt, ds));
    if (window != m_boundWindow) {
        // Viewport, scissor and the programs' window rows count from the other end.
        m_boundWindow = window;
        m_dirty |= DirtyViewport | DirtyScissor;
        ++m_serial[UViewport];
    }
    if (window != m_clipUpper && gl.glClipControl) {
        // Clip space's top goes to the window's top row, as it goes to a
        // texture's first row elsewhere; the driver then also keeps Direct3D's
        // top-left fill rule and winding there.
        gl.glClipControl(window ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        m_clipUpper = window;
    }
}

PresentPath PresentPathSetting()
{
    const int forced = g_presentOverride;
    if (forced >= 0) return (PresentPath)forced;
    const char* v = std::getenv("NIMB_D3D9_PRESENT");
    return v && std::strcmp(v, "copy") == 0 ? PresentPath::Copy : PresentPath::Auto;
}

void SetPresentPath(PresentPath path, bool overridden) { g_presentOverride = overridden ? (int)path : -1; }

bool Device::WindowFits() const
{
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(m_window, &w, &h);
    return (UINT)w == m_backBuffer->width && (UINT)h == m_backBuffer->height;
}

// Copies the whole back buffer (and the implicit depth-stencil surface)
// between the window's framebuffer and their own, rows reversed.
void Device::CopyFlipped(GLuint from, GLuint to, bool depth)
{
    const GLint w = (GLint)m_backBuffer->width, h = (GLint)m_backBuffer->height;
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, from);
    m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    m_gl.Enable(GLStateCache::CapScissorTest, false);
    m_gl.ColorMask(true, true, true, true);
    GLbitfield bits = GL_COLOR_BUFFER_BIT;
    if (depth && m_autoDepth) {
        m_gl.DepthMask(true);
        bits |= GL_DEPTH_BUFFER_BIT;
        if (m_autoDepth->fmt->hasStencil) {
            m_gl.StencilMask(0xFFFFFFFFu);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
    }
    gl.glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, bits, GL_NEAREST);
    ++m_gl.counters.windowMoves;
    m_dirty |= DirtyFramebuffer | DirtyScissor | DirtyBlend | DirtyDepthStencil;
}

void Device::LeaveWindow()
{
    MakeCurrent();
    const GLuint fbo = FramebufferFor(m_backBuffer, m_autoDepth);
    m_inWindow = false;
    m_storageNeeded = true;
    if (fbo) CopyFlipped(0, fbo, true);
    m_dirty |= DirtyFramebuffer;
}

void Device::EnterWindow()
{
    const GLuint fbo = FramebufferFor(m_backBuffer, m_autoDepth);
    if (!fbo) return;
    CopyFlipped(fbo, 0, !(m_pp.Flags & D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL));
    m_inWindow = true;
}

// At most kFramesInFlight presented frames are still being drawn when the
// next one starts: the driver may otherwise queue frame after frame (a
// window's buffer that is never waited on), each holding its memory.
void Device::ThrottleFrames()
{
    if (m_frameFences.size() >= (size_t)kFramesInFlight) {
        gl.glClientWaitSync(m_frameFences.front(), GL_SYNC_FLUSH_COMMANDS_BIT, ~(GLuint64)0);
        gl.glDeleteSync(m_frameFences.front());
        m_frameFences.erase(m_frameFences.begin());
    }
    m_frameFences.push_back(gl.glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
}

void Device::NeedOwnStorage(SurfaceImpl* s)
{
    if (s != m_backBuffer) return;
    m_storageNeeded = true;
    if (m_inWindow) LeaveWindow();
}

void Device::TargetScissor(LONG left, LONG top, LONG right, LONG bottom)
{
    m_gl.Scissor((GLint)left, m_boundWindow ? WindowRow(bottom) : (GLint)top, std::max(0, (int)(right - left)),
                 std::max(0, (int)(bottom - top)));
}

void Device::SetAutogenDirty(SurfaceImpl* rt)
{
    if (rt && rt->kind == SurfaceImpl::TextureLevel) rt->container->MarkRendered();
}

HRESULT Device::ReadSurface(SurfaceImpl* s, const RECT& r, uint8_t* dst, UINT pitch)
{
    MakeCurrent();
    // The window's rows run bottom-up.
    const bool window = InWindow(s);
    GLuint fbo = window ? 0 : FramebufferFor(s, nullptr);
    if (!fbo && !window) return D3DERR_INVALIDCALL;
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const UINT w = (UINT)(r.right - r.left), h = (UINT)(r.bottom - r.top);
    const UINT bpp = s->fmt->bytesPerPixel;
    std::vector<uint8_t> rows((size_t)w * h * bpp);
    gl.glReadPixels(r.left, window ? WindowRow(r.bottom) : r.top, (GLsizei)w, (GLsizei)h, s->fmt->glFormat,
                    s->fmt->glType, rows.data());
    for (UINT y = 0; y < h; ++y) {
        uint8_t* d = dst + (size_t)y * pitch;
        std::memcpy(d, rows.data() + (size_t)(window ? h - 1 - y : y) * w * bpp, (size_t)w * bpp);
        // Formats without alpha read back with their unused bits set.
        SetUnusedBits(*s->fmt, d, w);
    }
    return gl.glGetError() == GL_NO_ERROR ? S_OK : D3DERR_INVALIDCALL;
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
    // The back buffer in the window is read or written there, its rows reversed.
    const bool srcWindow = InWindow(src), dstWindow = InWindow(dst);
    GLuint srcFbo = 0, srcTexture = 0;
    if (srcWindow) {
    } else if (src->IsColorTarget()) {
        srcFbo = FramebufferFor(src, nullptr);
    } else {
        GLint level = 0;
        if (src->kind == SurfaceImpl::TextureLevel) {
            src->container->Prepare(0);
            level = (GLint)src->level;
        } else {
            srcTexture = UploadPlainSurface(src);
        }
        gl.glGenFramebuffers(1, &srcFbo);
        m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, srcFbo);
        gl.glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                  srcTexture ? srcTexture : src->container->m_glTexture, level);
    }
    GLuint dstFbo = dstWindow ? 0 : FramebufferFor(dst, nullptr);
    if ((!srcFbo && !srcWindow) || (!dstFbo && !dstWindow)) return D3DERR_INVALIDCALL;
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, srcFbo);
    m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, dstFbo);
    m_gl.Enable(GLStateCache::CapScissorTest, false);
    const GLint dstTop = dstWindow ? WindowRow(dr.top) : dr.top, dstBottom = dstWindow ? WindowRow(dr.bottom) : dr.bottom;
    gl.glBlitFramebuffer(sr.left, srcWindow ? WindowRow(sr.top) : sr.top, sr.right,
                         srcWindow ? WindowRow(sr.bottom) : sr.bottom, dr.left, dstTop, dr.right, dstBottom,
                         GL_COLOR_BUFFER_BIT, Filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    if (!src->fmt->hasAlpha || !dst->fmt->hasAlpha) {
        // Blits copy the stored alpha; a format without alpha reads as opaque.
        m_gl.Enable(GLStateCache::CapScissorTest, true);
        m_gl.Scissor(dr.left, std::min(dstTop, dstBottom), dr.right - dr.left, dr.bottom - dr.top);
        m_gl.ColorMask(false, false, false, true);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
        m_dirty |= DirtyBlend;
    }
    if (!src->IsColorTarget()) {
        m_gl.ForgetFramebuffer(srcFbo);
        gl.glDeleteFramebuffers(1, &srcFbo);
    }
    if (srcTexture) {
        m_gl.ForgetTexture(srcTexture);
        gl.glDeleteTextures(1, &srcTexture);
    }
    m_dirty |= DirtyFramebuffer | DirtyScissor;
    SetAutogenDirty(dst);
    return S_OK;
}

GLuint Device::UploadPlainSurface(SurfaceImpl* s)
{
    GLuint t = 0;
    gl.glGenTextures(1, &t);
    m_gl.BindTexture(0, t);
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
        const bool window = InWindow(s);
        m_gl.BindFramebuffer(GL_FRAMEBUFFER, window ? 0 : FramebufferFor(s, nullptr));
        m_gl.Enable(GLStateCache::CapScissorTest, true);
        m_gl.Scissor(r.left, window ? WindowRow(r.bottom) : r.top, r.right - r.left, r.bottom - r.top);
        m_gl.ColorMask(true, true, true, true);
        SetClearColor(color, s);
        gl.glClear(GL_COLOR_BUFFER_BIT);
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
    ++m_serial[UViewport];
    ++m_serial[UPoint];
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
    // Whether depth and stencil tests apply goes with the surface.
    m_dirty |= DirtyFramebuffer | DirtyDepthStencil;
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
    PlatformTraceEvent("scene");
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
        m_gl.ColorMask(true, true, true, true);
        SetClearColor(Color, m_renderTarget);
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        bits |= GL_DEPTH_BUFFER_BIT;
        m_gl.DepthMask(true);
        gl.glClearDepth(std::min(1.0f, std::max(0.0f, Z)));
    }
    if (Flags & D3DCLEAR_STENCIL) {
        bits |= GL_STENCIL_BUFFER_BIT;
        m_gl.StencilMask(0xFFFFFFFFu);
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
    m_gl.Enable(GLStateCache::CapScissorTest, true);
    auto clearRect = [&](LONG l, LONG t, LONG r, LONG b) {
        l = std::max(l, area.left);
        t = std::max(t, area.top);
        r = std::min(r, area.right);
        b = std::min(b, area.bottom);
        if (l >= r || t >= b) return;
        TargetScissor(l, t, r, b);
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

void Device::UploadWritten()
{
    // Those still locked wait for the Present after their unlock.
    auto upload = [](auto& written, auto locked, auto prepare) {
        for (auto it = written.begin(); it != written.end();) {
            if (locked(*it)) {
                ++it;
                continue;
            }
            prepare(*it);
            it = written.erase(it);
        }
    };
    upload(m_writtenTextures, [](TextureImpl* t) { return t->AnyLevelLocked(); },
           [](TextureImpl* t) {
               if (t->NeedsPrepare()) t->Prepare(0);
           });
    upload(m_writtenVertexBuffers, [](VertexBufferImpl* b) { return b->lockCount > 0; },
           [](VertexBufferImpl* b) { b->Prepare(); });
    upload(m_writtenIndexBuffers, [](IndexBufferImpl* b) { return b->lockCount > 0; },
           [](IndexBufferImpl* b) { b->Prepare(); });
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND, const _RGNDATA* pDirtyRegion)
{
    if (m_notReset) return D3DERR_DEVICELOST;
    // Rectangles and dirty regions are for swap chains that copy.
    const bool copies = m_pp.SwapEffect == D3DSWAPEFFECT_COPY;
    if ((pSourceRect || pDestRect || pDirtyRegion) && !copies) return D3DERR_INVALIDCALL;
    MakeCurrent();
    if (m_storageNeeded) m_framesWithoutNeed = 0;
    else if (m_framesWithoutNeed < kFramesBeforeWindow) ++m_framesWithoutNeed;
    m_storageNeeded = false;
    const bool fits = WindowFits();
    if (m_inWindow) {
        // Drawn in place. A window that changed size no longer holds the back
        // buffer: the next frame draws into its own storage.
        if (!fits) m_inWindow = false;
    } else if (m_windowCapable && fits && m_framesWithoutNeed >= kFramesBeforeWindow) {
        EnterWindow();
    } else {
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(m_window, &dw, &dh);
        if (dw <= 0 || dh <= 0) {
            dw = (int)m_backBuffer->width;
            dh = (int)m_backBuffer->height;
        }
        // The source rectangle is clipped to the back buffer; the destination
        // is in the window's client coordinates.
        const LONG bw = (LONG)m_backBuffer->width, bh = (LONG)m_backBuffer->height;
        RECT sr = pSourceRect ? *pSourceRect : RECT{0, 0, bw, bh};
        sr = RECT{std::max<LONG>(sr.left, 0), std::max<LONG>(sr.top, 0), std::min(sr.right, bw), std::min(sr.bottom, bh)};
        const RECT dr = pDestRect ? *pDestRect : RECT{0, 0, (LONG)dw, (LONG)dh};
        if (sr.left < sr.right && sr.top < sr.bottom && dr.left < dr.right && dr.top < dr.bottom) {
            const GLuint src = FramebufferFor(m_backBuffer, nullptr);
            m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, src);
            m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            m_gl.Enable(GLStateCache::CapScissorTest, false);
            m_gl.ColorMask(true, true, true, true);
            const bool same = sr.right - sr.left == dr.right - dr.left && sr.bottom - sr.top == dr.bottom - dr.top;
            // Row 0 of the back buffer is the top of the picture.
            gl.glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dh - dr.top, dr.right,
                                 dh - dr.bottom, GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
            ++m_gl.counters.presentCopies;
            m_dirty |= DirtyBlend;
        }
    }
    ThrottleFrames();
    SDL_GL_SwapWindow(m_window);
    m_programsTaken = 0;
    m_dirty |= DirtyFramebuffer | DirtyScissor;
    UploadWritten();
    WarmPipelines();
    return S_OK;
}

} // namespace d3d9gl
