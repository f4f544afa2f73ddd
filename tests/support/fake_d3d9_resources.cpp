// Recording fake of the Direct3D 9 interfaces: surfaces, textures, buffers,
// declarations, shaders and state blocks.
#include "fake_d3d9.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t P(const void* p)
{
    return (uint64_t)(uintptr_t)p;
}

template <class T>
HRESULT GetDeviceOf(FakeDevice* device, IDirect3DDevice9** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = device;
    device->AddRef();
    return D3D_OK;
}

bool IsResourceIID(REFIID riid)
{
    return riid == IID_IUnknown || riid == IID_IDirect3DResource9;
}

// Lock bookkeeping shared by surfaces and texture levels.
HRESULT LockImage(FakeD3D9* env, FakeImage& img, bool& locked, D3DLOCKED_RECT* out, const RECT* rect,
                  const char* what)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    if (locked) {
        env->Problem(std::string("LockRect of a locked ") + what);
        return D3DERR_INVALIDCALL;
    }
    UINT dim = 1;
    UINT bytes = FakeFormatBytes(img.format, &dim);
    LONG left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > (LONG)img.width || rect->bottom > (LONG)img.height ||
            rect->left >= rect->right || rect->top >= rect->bottom) {
            env->Problem(std::string("LockRect of a rectangle outside the ") + what);
            return D3DERR_INVALIDCALL;
        }
        if (dim > 1 && ((rect->left % dim) || (rect->top % dim))) {
            env->Problem(std::string("LockRect of a rectangle off the 4x4 blocks of a ") + what);
            return D3DERR_INVALIDCALL;
        }
        left = rect->left;
        top = rect->top;
    }
    out->Pitch = (INT)img.pitch;
    out->pBits = img.bits.data() + (size_t)(top / dim) * img.pitch + (size_t)(left / dim) * bytes;
    locked = true;
    return D3D_OK;
}

// Copies `src` (a rectangle of s) to `dst` (a rectangle of d), scaling by
// nearest point; formats must match.
bool CopyRect(const FakeImage& s, const RECT& sr, FakeImage& d, const RECT& dr)
{
    if (s.format != d.format)
        return false;
    UINT dim = 1;
    UINT bytes = FakeFormatBytes(s.format, &dim);
    if (dim != 1 || bytes == 0) {
        if (sr.right - sr.left != dr.right - dr.left || sr.bottom - sr.top != dr.bottom - dr.top)
            return false;
        for (LONG by = sr.top / 4; by < (sr.bottom + 3) / 4; ++by)
            std::memcpy(&d.bits[(size_t)(dr.top / 4 + by - sr.top / 4) * d.pitch + (size_t)(dr.left / 4) * bytes],
                        &s.bits[(size_t)by * s.pitch + (size_t)(sr.left / 4) * bytes],
                        (size_t)((sr.right - sr.left + 3) / 4) * bytes);
        return true;
    }
    LONG dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    for (LONG y = 0; y < dh; ++y) {
        LONG sy = sr.top + (LONG)(((int64_t)y * sh) / dh);
        for (LONG x = 0; x < dw; ++x) {
            LONG sx = sr.left + (LONG)(((int64_t)x * sw) / dw);
            std::memcpy(&d.bits[(size_t)(dr.top + y) * d.pitch + (size_t)(dr.left + x) * bytes],
                        &s.bits[(size_t)sy * s.pitch + (size_t)sx * bytes], bytes);
        }
    }
    return true;
}

} // namespace

// Exposed to the device file.
bool FakeCopyRect(const FakeImage& s, const RECT& sr, FakeImage& d, const RECT& dr)
{
    return CopyRect(s, sr, d, dr);
}

// ---- FakeSurface -------------------------------------------------------------------

FakeSurface::FakeSurface(FakeDevice* device, D3DFORMAT fmt, UINT w, UINT h, DWORD usage, D3DPOOL pool,
                         BOOL lockable, D3DMULTISAMPLE_TYPE ms)
    : FakeObjectBase(device->Env(), "surface"), device_(device), lockable_(lockable != FALSE)
{
    desc_.Format = fmt;
    desc_.Type = D3DRTYPE_SURFACE;
    desc_.Usage = usage;
    desc_.Pool = pool;
    desc_.MultiSampleType = ms;
    desc_.Width = w;
    desc_.Height = h;
    own_.Allocate(fmt, w, h);
    device_->ResourceCreated();
}

FakeSurface::FakeSurface(FakeTexture* container, UINT level)
    : FakeObjectBase(container->Env(), "texture level"), device_(container->Device()), container_(container),
      level_(level)
{
    const FakeImage& img = container->Level(level);
    desc_.Format = img.format;
    desc_.Type = D3DRTYPE_SURFACE;
    desc_.Usage = container->Usage();
    desc_.Pool = container->Pool();
    desc_.MultiSampleType = D3DMULTISAMPLE_NONE;
    desc_.Width = img.width;
    desc_.Height = img.height;
    refs_ = 0;
}

FakeSurface::~FakeSurface() = default;

void FakeSurface::MakeImplicit()
{
    implicit_ = true;
    refs_ = 0;
    device_->ResourceReleased();
}

FakeImage& FakeSurface::Image()
{
    return container_ ? container_->Level(level_) : own_;
}

ULONG FakeSurface::AddRef()
{
    if (container_)
        return container_->AddRef();
    if (implicit_) {
        if (refs_++ == 0)
            device_->AddRef();
        return refs_;
    }
    return DoAddRef();
}

ULONG FakeSurface::Release()
{
    if (container_)
        return container_->Release();
    if (implicit_) {
        if (refs_ == 0) {
            env_->Problem("Release of a device-owned surface whose count is 0");
            return 0;
        }
        ULONG left = --refs_;
        if (left == 0)
            device_->Release();
        return left;
    }
    return DoRelease();
}

void FakeSurface::OnFinalRelease()
{
    device_->ResourceReleased();
}

HRESULT FakeSurface::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (IsResourceIID(riid) || riid == IID_IDirect3DSurface9) {
        *pp = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeSurface::GetDevice(IDirect3DDevice9** pp)
{
    return GetDeviceOf<FakeSurface>(device_, pp);
}

HRESULT FakeSurface::SetPrivateData(REFGUID, CONST void*, DWORD, DWORD) { return D3D_OK; }
HRESULT FakeSurface::GetPrivateData(REFGUID, void*, DWORD*) { return D3DERR_NOTFOUND; }
HRESULT FakeSurface::FreePrivateData(REFGUID) { return D3DERR_NOTFOUND; }
DWORD FakeSurface::SetPriority(DWORD) { return 0; }
DWORD FakeSurface::GetPriority() { return 0; }
void FakeSurface::PreLoad() {}
D3DRESOURCETYPE FakeSurface::GetType() { return D3DRTYPE_SURFACE; }

HRESULT FakeSurface::GetContainer(REFIID riid, void** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    if (container_)
        return container_->QueryInterface(riid, pp);
    if (riid == IID_IDirect3DDevice9 || riid == IID_IUnknown) {
        *pp = static_cast<IDirect3DDevice9*>(device_);
        device_->AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeSurface::GetDesc(D3DSURFACE_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

HRESULT FakeSurface::LockRect(D3DLOCKED_RECT* out, CONST RECT* rect, DWORD flags)
{
    FAKE_CALL(c, "Surface::LockRect", {{"Surface", P(this)}, {"Flags", flags}});
    if (container_) {
        if (container_->Pool() == D3DPOOL_DEFAULT && !(container_->Usage() & D3DUSAGE_DYNAMIC)) {
            env_->Problem("LockRect of a level of a default-pool texture that is not dynamic");
            return env_->End(c, D3DERR_INVALIDCALL);
        }
    } else if (!lockable_ || FakeIsDepthFormat(desc_.Format)) {
        env_->Problem("LockRect of a surface that is not lockable");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    return env_->End(c, LockImage(env_, Image(), locked_, out, rect, "surface"));
}

HRESULT FakeSurface::UnlockRect()
{
    FAKE_CALL(c, "Surface::UnlockRect", {{"Surface", P(this)}});
    if (!locked_) {
        env_->Problem("UnlockRect of a surface that is not locked");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    locked_ = false;
    return D3D_OK;
}

HRESULT FakeSurface::GetDC(HDC* phdc)
{
    if (phdc)
        *phdc = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT FakeSurface::ReleaseDC(HDC)
{
    return D3DERR_INVALIDCALL;
}

// ---- FakeTexture ---------------------------------------------------------------------

FakeTexture::FakeTexture(FakeDevice* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT fmt,
                         D3DPOOL pool)
    : FakeObjectBase(device->Env(), "texture"), device_(device), usage_(usage), format_(fmt), pool_(pool)
{
    UINT full = 1;
    for (UINT m = std::max(w, h); m > 1; m >>= 1)
        ++full;
    if (levels == 0 || levels > full)
        levels = full;
    if (usage & D3DUSAGE_AUTOGENMIPMAP)
        levels = 1;
    levels_.resize(levels);
    for (UINT i = 0; i < levels; ++i)
        levels_[i].Allocate(fmt, std::max(1u, w >> i), std::max(1u, h >> i));
    surfaces_.resize(levels);
    for (UINT i = 0; i < levels; ++i)
        surfaces_[i] = new FakeSurface(this, i);
    device_->ResourceCreated();
}

FakeTexture::~FakeTexture()
{
    for (FakeSurface* s : surfaces_)
        delete s;
}

void FakeTexture::OnFinalRelease()
{
    device_->ResourceReleased();
}

bool FakeTexture::AnyLevelLocked() const
{
    for (const FakeSurface* s : surfaces_)
        if (s->Locked())
            return true;
    return false;
}

HRESULT FakeTexture::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (IsResourceIID(riid) || riid == IID_IDirect3DBaseTexture9 || riid == IID_IDirect3DTexture9) {
        *pp = static_cast<IDirect3DTexture9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeTexture::GetDevice(IDirect3DDevice9** pp)
{
    return GetDeviceOf<FakeTexture>(device_, pp);
}

HRESULT FakeTexture::SetPrivateData(REFGUID, CONST void*, DWORD, DWORD) { return D3D_OK; }
HRESULT FakeTexture::GetPrivateData(REFGUID, void*, DWORD*) { return D3DERR_NOTFOUND; }
HRESULT FakeTexture::FreePrivateData(REFGUID) { return D3DERR_NOTFOUND; }

DWORD FakeTexture::SetPriority(DWORD p)
{
    DWORD old = priority_;
    priority_ = p;
    return old;
}

DWORD FakeTexture::GetPriority() { return priority_; }
void FakeTexture::PreLoad() {}
D3DRESOURCETYPE FakeTexture::GetType() { return D3DRTYPE_TEXTURE; }

DWORD FakeTexture::SetLOD(DWORD lod)
{
    DWORD old = lod_;
    if (pool_ == D3DPOOL_MANAGED)
        lod_ = std::min<DWORD>(lod, Levels() - 1);
    return old;
}

DWORD FakeTexture::GetLOD() { return lod_; }
DWORD FakeTexture::GetLevelCount() { return Levels(); }

HRESULT FakeTexture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE f)
{
    env_->Begin("SetAutoGenFilterType", {{"Texture", P(this)}, {"Filter", (uint64_t)f}});
    if (f == D3DTEXF_NONE)
        return D3DERR_INVALIDCALL;
    autoGenFilter_ = f;
    return D3D_OK;
}

D3DTEXTUREFILTERTYPE FakeTexture::GetAutoGenFilterType() { return autoGenFilter_; }

void FakeTexture::GenerateMipSubLevels()
{
    env_->Begin("GenerateMipSubLevels", {{"Texture", P(this)}});
}

HRESULT FakeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* pDesc)
{
    if (level >= Levels() || !pDesc)
        return D3DERR_INVALIDCALL;
    return surfaces_[level]->GetDesc(pDesc);
}

HRESULT FakeTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** pp)
{
    FAKE_CALL(c, "GetSurfaceLevel", {{"Texture", P(this)}, {"Level", level}});
    if (!pp || level >= Levels())
        return env_->End(c, D3DERR_INVALIDCALL);
    *pp = surfaces_[level];
    AddRef();
    return D3D_OK;
}

HRESULT FakeTexture::LockRect(UINT level, D3DLOCKED_RECT* out, CONST RECT* rect, DWORD flags)
{
    FAKE_CALL(c, "LockRect", {{"Texture", P(this)}, {"Level", level}, {"Flags", flags}});
    if (level >= Levels())
        return env_->End(c, D3DERR_INVALIDCALL);
    if (pool_ == D3DPOOL_DEFAULT && !(usage_ & D3DUSAGE_DYNAMIC)) {
        env_->Problem("LockRect of a default-pool texture that is not dynamic");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    FakeSurface* s = surfaces_[level];
    return env_->End(c, LockImage(env_, levels_[level], s->locked_, out, rect, "texture level"));
}

HRESULT FakeTexture::UnlockRect(UINT level)
{
    FAKE_CALL(c, "UnlockRect", {{"Texture", P(this)}, {"Level", level}});
    if (level >= Levels() || !surfaces_[level]->locked_) {
        env_->Problem("UnlockRect of a texture level that is not locked");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    surfaces_[level]->locked_ = false;
    return D3D_OK;
}

HRESULT FakeTexture::AddDirtyRect(CONST RECT*)
{
    return D3D_OK;
}

// ---- Buffers -----------------------------------------------------------------------

namespace {

HRESULT LockBuffer(FakeD3D9* env, std::vector<BYTE>& bytes, int& locks, UINT offset, UINT size, void** pp,
                   const char* what)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    if (size == 0)
        size = offset < bytes.size() ? (UINT)bytes.size() - offset : 0;
    if ((size_t)offset + size > bytes.size()) {
        env->Problem(std::string("Lock past the end of a ") + what);
        *pp = nullptr;
        return D3DERR_INVALIDCALL;
    }
    ++locks;
    *pp = bytes.data() + offset;
    return D3D_OK;
}

} // namespace

FakeVertexBuffer::FakeVertexBuffer(FakeDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : FakeObjectBase(device->Env(), "vertex buffer"), device_(device), bytes_(length)
{
    desc_.Format = D3DFMT_VERTEXDATA;
    desc_.Type = D3DRTYPE_VERTEXBUFFER;
    desc_.Usage = usage;
    desc_.Pool = pool;
    desc_.Size = length;
    desc_.FVF = fvf;
    device_->ResourceCreated();
}

FakeVertexBuffer::~FakeVertexBuffer() = default;
void FakeVertexBuffer::OnFinalRelease() { device_->ResourceReleased(); }

HRESULT FakeVertexBuffer::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (IsResourceIID(riid) || riid == IID_IDirect3DVertexBuffer9) {
        *pp = static_cast<IDirect3DVertexBuffer9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeVertexBuffer::GetDevice(IDirect3DDevice9** pp) { return GetDeviceOf<FakeVertexBuffer>(device_, pp); }
HRESULT FakeVertexBuffer::SetPrivateData(REFGUID, CONST void*, DWORD, DWORD) { return D3D_OK; }
HRESULT FakeVertexBuffer::GetPrivateData(REFGUID, void*, DWORD*) { return D3DERR_NOTFOUND; }
HRESULT FakeVertexBuffer::FreePrivateData(REFGUID) { return D3DERR_NOTFOUND; }
DWORD FakeVertexBuffer::SetPriority(DWORD) { return 0; }
DWORD FakeVertexBuffer::GetPriority() { return 0; }
void FakeVertexBuffer::PreLoad() {}
D3DRESOURCETYPE FakeVertexBuffer::GetType() { return D3DRTYPE_VERTEXBUFFER; }

HRESULT FakeVertexBuffer::Lock(UINT offset, UINT size, void** pp, DWORD flags)
{
    FAKE_CALL(c, "VertexBuffer::Lock",
                 {{"Buffer", P(this)}, {"Offset", offset}, {"Size", size}, {"Flags", flags}});
    return env_->End(c, LockBuffer(env_, bytes_, locks_, offset, size, pp, "vertex buffer"));
}

HRESULT FakeVertexBuffer::Unlock()
{
    FAKE_CALL(c, "VertexBuffer::Unlock", {{"Buffer", P(this)}});
    if (locks_ == 0) {
        env_->Problem("Unlock of a vertex buffer that is not locked");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    --locks_;
    return D3D_OK;
}

HRESULT FakeVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

FakeIndexBuffer::FakeIndexBuffer(FakeDevice* device, UINT length, DWORD usage, D3DFORMAT fmt, D3DPOOL pool)
    : FakeObjectBase(device->Env(), "index buffer"), device_(device), bytes_(length)
{
    desc_.Format = fmt;
    desc_.Type = D3DRTYPE_INDEXBUFFER;
    desc_.Usage = usage;
    desc_.Pool = pool;
    desc_.Size = length;
    device_->ResourceCreated();
}

FakeIndexBuffer::~FakeIndexBuffer() = default;
void FakeIndexBuffer::OnFinalRelease() { device_->ResourceReleased(); }

HRESULT FakeIndexBuffer::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (IsResourceIID(riid) || riid == IID_IDirect3DIndexBuffer9) {
        *pp = static_cast<IDirect3DIndexBuffer9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeIndexBuffer::GetDevice(IDirect3DDevice9** pp) { return GetDeviceOf<FakeIndexBuffer>(device_, pp); }
HRESULT FakeIndexBuffer::SetPrivateData(REFGUID, CONST void*, DWORD, DWORD) { return D3D_OK; }
HRESULT FakeIndexBuffer::GetPrivateData(REFGUID, void*, DWORD*) { return D3DERR_NOTFOUND; }
HRESULT FakeIndexBuffer::FreePrivateData(REFGUID) { return D3DERR_NOTFOUND; }
DWORD FakeIndexBuffer::SetPriority(DWORD) { return 0; }
DWORD FakeIndexBuffer::GetPriority() { return 0; }
void FakeIndexBuffer::PreLoad() {}
D3DRESOURCETYPE FakeIndexBuffer::GetType() { return D3DRTYPE_INDEXBUFFER; }

HRESULT FakeIndexBuffer::Lock(UINT offset, UINT size, void** pp, DWORD flags)
{
    FAKE_CALL(c, "IndexBuffer::Lock",
                 {{"Buffer", P(this)}, {"Offset", offset}, {"Size", size}, {"Flags", flags}});
    return env_->End(c, LockBuffer(env_, bytes_, locks_, offset, size, pp, "index buffer"));
}

HRESULT FakeIndexBuffer::Unlock()
{
    FAKE_CALL(c, "IndexBuffer::Unlock", {{"Buffer", P(this)}});
    if (locks_ == 0) {
        env_->Problem("Unlock of an index buffer that is not locked");
        return env_->End(c, D3DERR_INVALIDCALL);
    }
    --locks_;
    return D3D_OK;
}

HRESULT FakeIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

// ---- Declarations and shaders --------------------------------------------------------

FakeVertexDeclaration::FakeVertexDeclaration(FakeDevice* device, const D3DVERTEXELEMENT9* e)
    : FakeObjectBase(device->Env(), "vertex declaration"), device_(device)
{
    for (;; ++e) {
        elements_.push_back(*e);
        if (e->Stream == 0xFF)
            break;
    }
    device_->ResourceCreated();
}

FakeVertexDeclaration::~FakeVertexDeclaration() = default;
void FakeVertexDeclaration::OnFinalRelease() { device_->ResourceReleased(); }

HRESULT FakeVertexDeclaration::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVertexDeclaration9) {
        *pp = static_cast<IDirect3DVertexDeclaration9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeVertexDeclaration::GetDevice(IDirect3DDevice9** pp)
{
    return GetDeviceOf<FakeVertexDeclaration>(device_, pp);
}

HRESULT FakeVertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements)
{
    if (!pNumElements)
        return D3DERR_INVALIDCALL;
    if (pElement)
        std::copy(elements_.begin(), elements_.end(), pElement);
    *pNumElements = (UINT)elements_.size();
    return D3D_OK;
}

namespace {

std::vector<DWORD> CopyTokens(const DWORD* f)
{
    std::vector<DWORD> t;
    if (!f)
        return t;
    // Version token, then instructions and comments up to the end token.
    t.push_back(*f++);
    for (;;) {
        DWORD tok = *f++;
        t.push_back(tok);
        if (tok == 0x0000FFFF)
            break;
        if ((tok & 0xFFFF) == 0xFFFE) {
            DWORD n = tok >> 16;
            t.insert(t.end(), f, f + n);
            f += n;
        }
    }
    return t;
}

HRESULT GetTokens(const std::vector<DWORD>& tokens, void* pData, UINT* pSize)
{
    if (!pSize)
        return D3DERR_INVALIDCALL;
    UINT bytes = (UINT)(tokens.size() * sizeof(DWORD));
    if (pData) {
        if (*pSize < bytes)
            return D3DERR_INVALIDCALL;
        std::memcpy(pData, tokens.data(), bytes);
    }
    *pSize = bytes;
    return D3D_OK;
}

} // namespace

FakeVertexShader::FakeVertexShader(FakeDevice* device, const DWORD* function)
    : FakeObjectBase(device->Env(), "vertex shader"), device_(device), tokens_(CopyTokens(function))
{
    device_->ResourceCreated();
}

FakeVertexShader::~FakeVertexShader() = default;
void FakeVertexShader::OnFinalRelease() { device_->ResourceReleased(); }

HRESULT FakeVertexShader::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVertexShader9) {
        *pp = static_cast<IDirect3DVertexShader9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeVertexShader::GetDevice(IDirect3DDevice9** pp) { return GetDeviceOf<FakeVertexShader>(device_, pp); }
HRESULT FakeVertexShader::GetFunction(void* pData, UINT* pSize) { return GetTokens(tokens_, pData, pSize); }

FakePixelShader::FakePixelShader(FakeDevice* device, const DWORD* function)
    : FakeObjectBase(device->Env(), "pixel shader"), device_(device), tokens_(CopyTokens(function))
{
    device_->ResourceCreated();
}

FakePixelShader::~FakePixelShader() = default;
void FakePixelShader::OnFinalRelease() { device_->ResourceReleased(); }

HRESULT FakePixelShader::QueryInterface(REFIID riid, void** pp)
{
    if (!pp)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DPixelShader9) {
        *pp = static_cast<IDirect3DPixelShader9*>(this);
        AddRef();
        return S_OK;
    }
    *pp = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakePixelShader::GetDevice(IDirect3DDevice9** pp) { return GetDeviceOf<FakePixelShader>(device_, pp); }
HRESULT FakePixelShader::GetFunction(void* pData, UINT* pSize) { return GetTokens(tokens_, pData, pSize); }
