// Textures, surfaces, vertex and index buffers, declarations and shaders.
#include "d3d9_device.h"

#include <algorithm>
#include <cstring>

namespace d3d9gl {

// ---- Reference counting --------------------------------------------------------
DeviceChild::DeviceChild(Device* device) : m_device(device) { m_device->AddRef(); }

DeviceChild::~DeviceChild() { m_device->ForgetChild(this); }

ULONG DeviceChild::AddRefImpl()
{
    if (m_refs++ == 0) m_device->AddRef();
    return m_refs;
}

ULONG DeviceChild::ReleaseImpl()
{
    if (m_refs == 0) return 0;
    ULONG n = --m_refs;
    if (n == 0) {
        Device* device = m_device;
        if (m_binds == 0) delete this;
        device->Release();
    }
    return n;
}

void DeviceChild::Unbind()
{
    if (m_binds > 0 && --m_binds == 0 && m_refs == 0) delete this;
}

template <class I>
HRESULT Resource<I>::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice) return D3DERR_INVALIDCALL;
    *ppDevice = this->m_device;
    this->m_device->AddRef();
    return S_OK;
}

namespace {
std::string GuidKey(REFGUID g) { return std::string(reinterpret_cast<const char*>(&g), sizeof(GUID)); }
}

template <class I>
HRESULT Resource<I>::SetPrivateData(REFGUID g, const void* data, DWORD size, DWORD flags)
{
    if (!data && size) return D3DERR_INVALIDCALL;
    if (flags & D3DSPD_IUNKNOWN) return D3DERR_INVALIDCALL;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_private[GuidKey(g)] = std::vector<uint8_t>(p, p + size);
    return S_OK;
}

template <class I>
HRESULT Resource<I>::GetPrivateData(REFGUID g, void* data, DWORD* size)
{
    auto it = m_private.find(GuidKey(g));
    if (it == m_private.end()) return D3DERR_NOTFOUND;
    if (!size) return D3DERR_INVALIDCALL;
    if (!data || *size < it->second.size()) {
        *size = (DWORD)it->second.size();
        return data ? D3DERR_MOREDATA : S_OK;
    }
    std::memcpy(data, it->second.data(), it->second.size());
    *size = (DWORD)it->second.size();
    return S_OK;
}

template <class I>
HRESULT Resource<I>::FreePrivateData(REFGUID g)
{
    return m_private.erase(GuidKey(g)) ? S_OK : D3DERR_NOTFOUND;
}

template class Resource<IDirect3DSurface9>;
template class Resource<IDirect3DTexture9>;
template class Resource<IDirect3DVertexBuffer9>;
template class Resource<IDirect3DIndexBuffer9>;

// ---- Surfaces ------------------------------------------------------------------
SurfaceImpl::SurfaceImpl(Device* device, Kind k, UINT w, UINT h, D3DFORMAT f, D3DPOOL p, DWORD u)
    : Resource<IDirect3DSurface9>(device), kind(k), width(w), height(h), format(f), fmt(FindFormat(f)), pool(p),
      usage(u)
{
    if (kind == BackBuffer || kind == AutoDepthStencil || kind == TextureLevel) {
        // Owned by the device or the texture: no references of its own yet.
        m_refs = 0;
        m_device->Release();
    } else if (pool == D3DPOOL_DEFAULT) {
        m_device->NoteDefaultPool(this);
    }
}

SurfaceImpl::~SurfaceImpl()
{
    m_device->MakeCurrent();
    m_device->ForgetSurface(this);
    if (glTexture && kind != TextureLevel) {
        m_device->ForgetTexture(glTexture);
        gl.glDeleteTextures(1, &glTexture);
    }
    if (glRenderbuffer) gl.glDeleteRenderbuffers(1, &glRenderbuffer);
}

ULONG SurfaceImpl::AddRef()
{
    if (kind == TextureLevel) return container->AddRef();
    if (kind == BackBuffer || kind == AutoDepthStencil) {
        if (m_refs++ == 0) m_device->AddRef();
        return m_refs;
    }
    return AddRefImpl();
}

ULONG SurfaceImpl::Release()
{
    if (kind == TextureLevel) return container->Release();
    if (kind == BackBuffer || kind == AutoDepthStencil) {
        if (m_refs == 0) return 0;
        ULONG n = --m_refs;
        if (n == 0) m_device->Release();
        return n;
    }
    return ReleaseImpl();
}

void SurfaceImpl::Bind()
{
    if (kind == TextureLevel) container->Bind();
    else if (kind != BackBuffer && kind != AutoDepthStencil) DeviceChild::Bind();
}

void SurfaceImpl::Unbind()
{
    if (kind == TextureLevel) container->Unbind();
    else if (kind != BackBuffer && kind != AutoDepthStencil) DeviceChild::Unbind();
}

bool SurfaceImpl::Matches(REFIID riid) const { return riid == IID_IDirect3DSurface9 || riid == IID_IDirect3DResource9; }

HRESULT SurfaceImpl::GetContainer(REFIID riid, void** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    if (kind == TextureLevel) return container->QueryInterface(riid, pp);
    return m_device->QueryInterface(riid, pp);
}

HRESULT SurfaceImpl::GetDesc(D3DSURFACE_DESC* d)
{
    if (!d) return D3DERR_INVALIDCALL;
    d->Format = format;
    d->Type = D3DRTYPE_SURFACE;
    d->Usage = usage;
    d->Pool = pool;
    d->MultiSampleType = D3DMULTISAMPLE_NONE;
    d->MultiSampleQuality = 0;
    d->Width = width;
    d->Height = height;
    return S_OK;
}

bool SurfaceImpl::IsColorTarget() const
{
    return kind == RenderTarget || kind == BackBuffer ||
           (kind == TextureLevel && (container->m_usage & D3DUSAGE_RENDERTARGET));
}

GLuint SurfaceImpl::ColorTexture() const { return kind == TextureLevel ? container->m_glTexture : glTexture; }

bool SurfaceImpl::CreateStorage()
{
    m_device->MakeCurrent();
    if (kind == RenderTarget || kind == BackBuffer) {
        gl.glGenTextures(1, &glTexture);
        m_device->GL().BindTexture(0, glTexture);
        gl.glTexImage2D(GL_TEXTURE_2D, 0, (GLint)GL_RGBA8, (GLsizei)width, (GLsizei)height, 0, GL_BGRA,
                        GL_UNSIGNED_BYTE, nullptr);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else if (kind == DepthStencil || kind == AutoDepthStencil) {
        gl.glGenRenderbuffers(1, &glRenderbuffer);
        gl.glBindRenderbuffer(GL_RENDERBUFFER, glRenderbuffer);
        gl.glRenderbufferStorage(GL_RENDERBUFFER, fmt->internalFormat, (GLsizei)width, (GLsizei)height);
        gl.glBindRenderbuffer(GL_RENDERBUFFER, 0);
    } else if (kind == OffscreenPlain) {
        memory.assign((size_t)FormatPitch(*fmt, width) * FormatRows(*fmt, height), 0);
    }
    return gl.glGetError() == GL_NO_ERROR;
}

namespace {
bool ValidRect(const RECT* r, UINT w, UINT h)
{
    return !r || (r->left >= 0 && r->top >= 0 && r->left < r->right && r->top < r->bottom && (UINT)r->right <= w &&
                  (UINT)r->bottom <= h);
}
} // namespace

HRESULT SurfaceImpl::LockRect(D3DLOCKED_RECT* lr, const RECT* r, DWORD flags)
{
    if (!lr) return D3DERR_INVALIDCALL;
    if (kind == TextureLevel && !(container->m_usage & D3DUSAGE_RENDERTARGET))
        return container->LockRect(level, lr, r, flags);
    if (locked || !ValidRect(r, width, height)) return D3DERR_INVALIDCALL;
    if (kind == OffscreenPlain) {
        UINT pitch = FormatPitch(*fmt, width);
        UINT x = r ? (UINT)r->left : 0, y = r ? (UINT)r->top : 0;
        if (fmt->block) { x /= 4; y /= 4; }
        lr->Pitch = (INT)pitch;
        lr->pBits = memory.data() + (size_t)y * pitch + (size_t)x * fmt->bytesPerPixel;
        locked = true;
        return S_OK;
    }
    if (!IsColorTarget() || fmt->block) return D3DERR_INVALIDCALL;
    // A colour target: read it back, and write it back on unlock (into its
    // own storage: the back buffer leaves the window for that).
    if (!(flags & D3DLOCK_READONLY)) m_device->NeedOwnStorage(this);
    UINT pitch = FormatPitch(*fmt, width);
    lockBuffer.assign((size_t)pitch * height, 0);
    RECT full = {0, 0, (LONG)width, (LONG)height};
    HRESULT hr = m_device->ReadSurface(this, full, lockBuffer.data(), pitch);
    if (FAILED(hr)) return hr;
    UINT x = r ? (UINT)r->left : 0, y = r ? (UINT)r->top : 0;
    lr->Pitch = (INT)pitch;
    lr->pBits = lockBuffer.data() + (size_t)y * pitch + (size_t)x * fmt->bytesPerPixel;
    locked = true;
    lockFlags = flags;
    return S_OK;
}

HRESULT SurfaceImpl::UnlockRect()
{
    if (kind == TextureLevel && !(container->m_usage & D3DUSAGE_RENDERTARGET)) return container->UnlockRect(level);
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (kind == OffscreenPlain) return S_OK;
    if (!(lockFlags & D3DLOCK_READONLY)) {
        m_device->MakeCurrent();
        // A target without alpha keeps 1 there, whatever the lock wrote.
        const UINT pitch = FormatPitch(*fmt, width);
        for (UINT y = 0; y < height; ++y) SetUnusedBits(*fmt, lockBuffer.data() + (size_t)y * pitch, width);
        m_device->GL().BindTexture(0, ColorTexture());
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl.glTexSubImage2D(GL_TEXTURE_2D, (GLint)(kind == TextureLevel ? level : 0), 0, 0, (GLsizei)width,
                           (GLsizei)height, fmt->glFormat, fmt->glType, lockBuffer.data());
        if (kind == TextureLevel) container->MarkRendered();
    }
    lockBuffer.clear();
    lockBuffer.shrink_to_fit();
    return S_OK;
}

// ---- Textures ------------------------------------------------------------------
TextureImpl::TextureImpl(Device* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Resource<IDirect3DTexture9>(device), m_width(w), m_height(h), m_usage(usage), m_format(format),
      m_fmt(FindFormat(format)), m_pool(pool)
{
    if (pool == D3DPOOL_DEFAULT) m_device->NoteDefaultPool(this);
    UINT full = 1;
    for (UINT s = std::max(w, h); s > 1; s >>= 1) ++full;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        levels = 1;
        m_glLevels = full;
    } else {
        if (levels == 0 || levels > full) levels = full;
        m_glLevels = levels;
    }
    m_levels.resize(levels);
    for (UINT i = 0; i < levels; ++i) {
        Level& l = m_levels[i];
        l.width = std::max(1u, w >> i);
        l.height = std::max(1u, h >> i);
        l.pitch = FormatPitch(*m_fmt, l.width);
        l.rows = FormatRows(*m_fmt, l.height);
    }
}

TextureImpl::~TextureImpl()
{
    m_device->ForgetWritten(this);
    for (Level& l : m_levels) delete l.surface;
    m_device->MakeCurrent();
    if (m_glTexture) {
        m_device->ForgetTexture(m_glTexture);
        gl.glDeleteTextures(1, &m_glTexture);
    }
}

bool TextureImpl::Matches(REFIID riid) const
{
    return riid == IID_IDirect3DTexture9 || riid == IID_IDirect3DBaseTexture9 || riid == IID_IDirect3DResource9;
}

bool TextureImpl::Init()
{
    if (m_usage & D3DUSAGE_RENDERTARGET) {
        m_device->MakeCurrent();
        gl.glGenTextures(1, &m_glTexture);
        m_device->GL().BindTexture(0, m_glTexture);
        // 16-bit targets keep their precision, so that what is drawn reads back as the format holds it.
        for (UINT i = 0; i < m_glLevels; ++i)
            gl.glTexImage2D(GL_TEXTURE_2D, (GLint)i, (GLint)m_fmt->internalFormat, (GLsizei)std::max(1u, m_width >> i),
                            (GLsizei)std::max(1u, m_height >> i), 0, m_fmt->glFormat, m_fmt->glType, nullptr);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, (GLint)m_glLevels - 1);
        const GLint* s = m_fmt->swizzle;
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, s[3]);
        return gl.glGetError() == GL_NO_ERROR;
    }
    for (Level& l : m_levels) l.data.assign((size_t)l.pitch * l.rows, 0);
    m_anyDirty = true;
    for (Level& l : m_levels) l.dirty = true;
    if (!(m_usage & D3DUSAGE_DYNAMIC)) m_device->NoteWritten(this);
    return true;
}

DWORD TextureImpl::SetLOD(DWORD lod)
{
    DWORD old = m_lod;
    if (m_pool == D3DPOOL_MANAGED) m_lod = std::min<DWORD>(lod, (DWORD)m_levels.size() - 1);
    return old;
}

DWORD TextureImpl::GetLevelCount() { return (DWORD)m_levels.size(); }

void TextureImpl::GenerateMipSubLevels()
{
    if (m_usage & D3DUSAGE_AUTOGENMIPMAP) m_mipsStale = true;
}

HRESULT TextureImpl::GetLevelDesc(UINT level, D3DSURFACE_DESC* d)
{
    if (level >= m_levels.size() || !d) return D3DERR_INVALIDCALL;
    d->Format = m_format;
    d->Type = D3DRTYPE_SURFACE;
    d->Usage = m_usage;
    d->Pool = m_pool;
    d->MultiSampleType = D3DMULTISAMPLE_NONE;
    d->MultiSampleQuality = 0;
    d->Width = m_levels[level].width;
    d->Height = m_levels[level].height;
    return S_OK;
}

HRESULT TextureImpl::GetSurfaceLevel(UINT level, IDirect3DSurface9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    Level& l = m_levels[level];
    if (!l.surface) {
        l.surface = new SurfaceImpl(m_device, SurfaceImpl::TextureLevel, l.width, l.height, m_format, m_pool,
                                    m_usage);
        l.surface->container = this;
        l.surface->level = level;
    }
    l.surface->AddRef();
    *pp = l.surface;
    return S_OK;
}

HRESULT TextureImpl::LockRect(UINT level, D3DLOCKED_RECT* lr, const RECT* r, DWORD flags)
{
    if (!lr || level >= m_levels.size()) return D3DERR_INVALIDCALL;
    if (m_usage & D3DUSAGE_RENDERTARGET) {
        IDirect3DSurface9* s = nullptr;
        GetSurfaceLevel(level, &s);
        HRESULT hr = static_cast<SurfaceImpl*>(s)->LockRect(lr, r, flags);
        s->Release();
        return hr;
    }
    Level& l = m_levels[level];
    if (l.locked || !ValidRect(r, l.width, l.height)) return D3DERR_INVALIDCALL;
    UINT x = r ? (UINT)r->left : 0, y = r ? (UINT)r->top : 0;
    if (m_fmt->block) {
        x /= 4;
        y /= 4;
    }
    lr->Pitch = (INT)l.pitch;
    lr->pBits = l.data.data() + (size_t)y * l.pitch + (size_t)x * m_fmt->bytesPerPixel;
    l.locked = true;
    if (!(flags & D3DLOCK_READONLY)) {
        l.dirty = true;
        m_anyDirty = true;
        if (!(m_usage & D3DUSAGE_DYNAMIC)) m_device->NoteWritten(this);
    }
    return S_OK;
}

HRESULT TextureImpl::UnlockRect(UINT level)
{
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    if (m_usage & D3DUSAGE_RENDERTARGET) {
        if (!m_levels[level].surface) return D3DERR_INVALIDCALL;
        return m_levels[level].surface->UnlockRect();
    }
    Level& l = m_levels[level];
    if (!l.locked) return D3DERR_INVALIDCALL;
    l.locked = false;
    return S_OK;
}

GLuint TextureImpl::Prepare(GLuint unit)
{
    if (m_usage & D3DUSAGE_RENDERTARGET) {
        if (m_mipsStale && m_glLevels > 1) {
            m_device->GL().BindTexture(unit, m_glTexture);
            gl.glGenerateMipmap(GL_TEXTURE_2D);
        }
        m_mipsStale = false;
        return m_glTexture;
    }
    bool created = false;
    if (!m_glTexture) {
        gl.glGenTextures(1, &m_glTexture);
        m_device->GL().BindTexture(unit, m_glTexture);
        const GLenum fmt = m_fmt->block ? GL_BGRA : m_fmt->glFormat;
        const GLenum type = m_fmt->block ? GL_UNSIGNED_BYTE : m_fmt->glType;
        for (UINT i = 0; i < m_glLevels; ++i)
            gl.glTexImage2D(GL_TEXTURE_2D, (GLint)i, (GLint)m_fmt->internalFormat, (GLsizei)std::max(1u, m_width >> i),
                            (GLsizei)std::max(1u, m_height >> i), 0, fmt, type, nullptr);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, (GLint)m_glLevels - 1);
        const GLint* s = m_fmt->swizzle;
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, s[0]);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, s[1]);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, s[2]);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, s[3]);
        created = true;
    } else {
        m_device->GL().BindTexture(unit, m_glTexture);
    }
    bool uploadedTop = false;
    if (m_anyDirty) {
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        std::vector<uint8_t> decoded;
        for (UINT i = 0; i < m_levels.size(); ++i) {
            Level& l = m_levels[i];
            if (!l.dirty) continue;
            l.dirty = false;
            if (i == 0) uploadedTop = true;
            if (m_fmt->block) {
                decoded.resize((size_t)l.width * l.height * 4);
                DecodeBlocks(m_format, l.data.data(), l.width, l.height, decoded.data());
                gl.glTexSubImage2D(GL_TEXTURE_2D, (GLint)i, 0, 0, (GLsizei)l.width, (GLsizei)l.height, GL_BGRA,
                                   GL_UNSIGNED_BYTE, decoded.data());
            } else {
                gl.glTexSubImage2D(GL_TEXTURE_2D, (GLint)i, 0, 0, (GLsizei)l.width, (GLsizei)l.height,
                                   m_fmt->glFormat, m_fmt->glType, l.data.data());
            }
        }
        m_anyDirty = false;
    }
    if ((m_usage & D3DUSAGE_AUTOGENMIPMAP) && m_glLevels > 1 && (uploadedTop || m_mipsStale || created)) {
        gl.glGenerateMipmap(GL_TEXTURE_2D);
        m_mipsStale = false;
    }
    return m_glTexture;
}

// ---- Buffers -------------------------------------------------------------------
namespace {
HRESULT LockBuffer(std::vector<uint8_t>& data, UINT& lo, UINT& hi, int& lockCount, UINT offset, UINT size,
                   void** pp, DWORD flags)
{
    if (!pp) return D3DERR_INVALIDCALL;
    const UINT total = (UINT)data.size();
    if (offset > total) return D3DERR_INVALIDCALL;
    if (size == 0) size = total - offset;
    if (offset + size > total) return D3DERR_INVALIDCALL;
    *pp = data.data() + offset;
    ++lockCount;
    if (!(flags & D3DLOCK_READONLY)) {
        if (flags & D3DLOCK_DISCARD) {
            offset = 0;
            size = total;
        }
        if (lo == hi) {
            lo = offset;
            hi = offset + size;
        } else {
            lo = std::min(lo, offset);
            hi = std::max(hi, offset + size);
        }
    }
    return S_OK;
}

// Uploads what changed; vertex buffers bind through the device's state cache.
GLuint PrepareBuffer(GLenum target, GLuint& buffer, const std::vector<uint8_t>& data, UINT& lo, UINT& hi,
                     bool dynamic, GLStateCache& state)
{
    auto bind = [&] {
        if (target == GL_ARRAY_BUFFER) state.BindArrayBuffer(buffer);
        else gl.glBindBuffer(target, buffer);
    };
    if (!buffer) {
        gl.glGenBuffers(1, &buffer);
        bind();
        gl.glBufferData(target, (GLsizeiptr)data.size(), data.data(), dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        lo = hi = 0;
        return buffer;
    }
    if (target == GL_ELEMENT_ARRAY_BUFFER) bind();
    if (lo < hi) {
        bind();
        if (lo == 0 && hi == data.size())
            gl.glBufferData(target, (GLsizeiptr)data.size(), data.data(), dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        else
            gl.glBufferSubData(target, (GLintptr)lo, (GLsizeiptr)(hi - lo), data.data() + lo);
        lo = hi = 0;
    }
    return buffer;
}
} // namespace

VertexBufferImpl::VertexBufferImpl(Device* device, UINT length, DWORD u, DWORD f, D3DPOOL p)
    : Resource<IDirect3DVertexBuffer9>(device), data(length, 0), usage(u), fvf(f), pool(p)
{
    if (pool == D3DPOOL_DEFAULT) m_device->NoteDefaultPool(this);
}

VertexBufferImpl::~VertexBufferImpl()
{
    m_device->ForgetWritten(this);
    m_device->MakeCurrent();
    if (glBuffer) {
        m_device->ForgetArrayBuffer(glBuffer);
        gl.glDeleteBuffers(1, &glBuffer);
    }
}

bool VertexBufferImpl::Matches(REFIID riid) const
{
    return riid == IID_IDirect3DVertexBuffer9 || riid == IID_IDirect3DResource9;
}

HRESULT VertexBufferImpl::Lock(UINT offset, UINT size, void** pp, DWORD flags)
{
    const HRESULT hr = LockBuffer(data, dirtyLo, dirtyHi, lockCount, offset, size, pp, flags);
    if (hr == S_OK && !(flags & D3DLOCK_READONLY) && !(usage & D3DUSAGE_DYNAMIC)) m_device->NoteWritten(this);
    return hr;
}

HRESULT VertexBufferImpl::Unlock()
{
    if (lockCount == 0) return D3DERR_INVALIDCALL;
    --lockCount;
    return S_OK;
}

HRESULT VertexBufferImpl::GetDesc(D3DVERTEXBUFFER_DESC* d)
{
    if (!d) return D3DERR_INVALIDCALL;
    d->Format = D3DFMT_VERTEXDATA;
    d->Type = D3DRTYPE_VERTEXBUFFER;
    d->Usage = usage;
    d->Pool = pool;
    d->Size = (UINT)data.size();
    d->FVF = fvf;
    return S_OK;
}

GLuint VertexBufferImpl::Prepare()
{
    return PrepareBuffer(GL_ARRAY_BUFFER, glBuffer, data, dirtyLo, dirtyHi, (usage & D3DUSAGE_DYNAMIC) != 0,
                         m_device->GL());
}

IndexBufferImpl::IndexBufferImpl(Device* device, UINT length, DWORD u, D3DFORMAT f, D3DPOOL p)
    : Resource<IDirect3DIndexBuffer9>(device), data(length, 0), usage(u), format(f), pool(p)
{
    if (pool == D3DPOOL_DEFAULT) m_device->NoteDefaultPool(this);
}

IndexBufferImpl::~IndexBufferImpl()
{
    m_device->ForgetWritten(this);
    m_device->MakeCurrent();
    if (glBuffer) gl.glDeleteBuffers(1, &glBuffer);
}

bool IndexBufferImpl::Matches(REFIID riid) const
{
    return riid == IID_IDirect3DIndexBuffer9 || riid == IID_IDirect3DResource9;
}

HRESULT IndexBufferImpl::Lock(UINT offset, UINT size, void** pp, DWORD flags)
{
    const HRESULT hr = LockBuffer(data, dirtyLo, dirtyHi, lockCount, offset, size, pp, flags);
    if (hr == S_OK && !(flags & D3DLOCK_READONLY) && !(usage & D3DUSAGE_DYNAMIC)) m_device->NoteWritten(this);
    return hr;
}

HRESULT IndexBufferImpl::Unlock()
{
    if (lockCount == 0) return D3DERR_INVALIDCALL;
    --lockCount;
    return S_OK;
}

HRESULT IndexBufferImpl::GetDesc(D3DINDEXBUFFER_DESC* d)
{
    if (!d) return D3DERR_INVALIDCALL;
    d->Format = format;
    d->Type = D3DRTYPE_INDEXBUFFER;
    d->Usage = usage;
    d->Pool = pool;
    d->Size = (UINT)data.size();
    return S_OK;
}

GLuint IndexBufferImpl::Prepare()
{
    return PrepareBuffer(GL_ELEMENT_ARRAY_BUFFER, glBuffer, data, dirtyLo, dirtyHi, (usage & D3DUSAGE_DYNAMIC) != 0,
                         m_device->GL());
}

// ---- Declarations and shaders ----------------------------------------------------
VertexDeclImpl::VertexDeclImpl(Device* device, const D3DVERTEXELEMENT9* e, UINT count)
    : Child<IDirect3DVertexDeclaration9>(device), elements(e, e + count)
{
}

bool VertexDeclImpl::Matches(REFIID riid) const { return riid == IID_IDirect3DVertexDeclaration9; }

HRESULT VertexDeclImpl::GetDevice(IDirect3DDevice9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = m_device;
    m_device->AddRef();
    return S_OK;
}

HRESULT VertexDeclImpl::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count)
{
    if (!count) return D3DERR_INVALIDCALL;
    const UINT n = (UINT)elements.size() + 1;
    if (out) {
        std::copy(elements.begin(), elements.end(), out);
        out[n - 1] = D3DVERTEXELEMENT9 D3DDECL_END();
    }
    *count = n;
    return S_OK;
}

template <class I>
ShaderImpl<I>::ShaderImpl(Device* device, const DWORD* f, UINT dwords, std::string src, bool v)
    : Child<I>(device), function(f, f + dwords), source(std::move(src)), sourceHash(ShaderSourceHash(source, v)),
      vertex(v)
{
}

template <class I>
ShaderImpl<I>::~ShaderImpl()
{
    this->m_device->MakeCurrent();
    if (glShader) {
        this->m_device->ForgetShader(glShader);
        gl.glDeleteShader(glShader);
    }
}

template <class I>
bool ShaderImpl<I>::Matches(REFIID riid) const
{
    return riid == (vertex ? IID_IDirect3DVertexShader9 : IID_IDirect3DPixelShader9);
}

template <class I>
HRESULT ShaderImpl<I>::GetDevice(IDirect3DDevice9** pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = this->m_device;
    this->m_device->AddRef();
    return S_OK;
}

template <class I>
HRESULT ShaderImpl<I>::GetFunction(void* data, UINT* size)
{
    if (!size) return D3DERR_INVALIDCALL;
    const UINT bytes = (UINT)(function.size() * sizeof(DWORD));
    if (!data) {
        *size = bytes;
        return S_OK;
    }
    if (*size < bytes) return D3DERR_INVALIDCALL;
    std::memcpy(data, function.data(), bytes);
    *size = bytes;
    return S_OK;
}

template class ShaderImpl<IDirect3DVertexShader9>;
template class ShaderImpl<IDirect3DPixelShader9>;

} // namespace d3d9gl
