// D3DX9 texture and surface calls over the Direct3D 9 interfaces.
#include "d3dx9_image.h"
#include "event_trace.h"

#include <mscrt.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

using namespace d3dx;

namespace {

constexpr long kMaxFileSize = 1L << 30;

UINT fullChain(UINT w, UINT h)
{
    UINT n = 1;
    for (UINT s = std::max(w, h); s > 1; s /= 2)
        ++n;
    return n;
}

UINT nextPow2(UINT v)
{
    UINT p = 1;
    while (p < v && p < 0x80000000u)
        p <<= 1;
    return p;
}

bool isDefaultSize(UINT v)
{
    return v == 0 || v == D3DX_DEFAULT;
}

bool isDefaultFormat(D3DFORMAT f)
{
    return f == D3DFMT_UNKNOWN || f == D3DFMT_FROM_FILE || f == (D3DFORMAT)D3DX_DEFAULT;
}

DWORD filterKind(DWORD filter)
{
    return filter & 0xFFFF;
}

bool validFilter(DWORD filter)
{
    if (filter == D3DX_DEFAULT)
        return true;
    DWORD kind = filterKind(filter);
    return kind >= D3DX_FILTER_NONE && kind <= D3DX_FILTER_BOX;
}

bool readWholeFile(LPCSTR path, std::vector<uint8_t>& data)
{
    FILE* f = ms_fopen(path, "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && size <= kMaxFileSize && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize((size_t)size);
        ok = size == 0 || std::fread(data.data(), 1, (size_t)size, f) == (size_t)size;
    }
    std::fclose(f);
    return ok;
}

// Writes the bytes to the file, creating or truncating it; a symbolic link
// in its place is refused rather than followed.
HRESULT writeWholeFile(LPCSTR path, const std::vector<uint8_t>& data)
{
    char resolved[4096];
    if (!path || !ms_resolve_path(path, resolved, sizeof(resolved)))
        return D3DERR_INVALIDCALL;
    int fd = ::open(resolved, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return D3DERR_INVALIDCALL;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(resolved);
            return E_FAIL;
        }
        done += (size_t)n;
    }
    if (::close(fd) != 0) {
        ::unlink(resolved);
        return E_FAIL;
    }
    return S_OK;
}

// The format a texture gets for pixels of a file's own format.
D3DFORMAT textureFormatFor(D3DFORMAT natural)
{
    if (natural == D3DFMT_R8G8B8 || natural == D3DFMT_P8)
        return D3DFMT_X8R8G8B8;
    if (CanWrite(natural))
        return natural;
    return D3DFMT_A8R8G8B8; // block-compressed and others are expanded
}

D3DFORMAT fallbackFormat(D3DFORMAT f)
{
    return HasAlpha(f) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

// ---- Reading and writing locked pixels ---------------------------------------

bool validRect(const RECT& r, UINT w, UINT h)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && (UINT)r.right <= w &&
           (UINT)r.bottom <= h;
}

RECT wholeRect(UINT w, UINT h)
{
    RECT r = {0, 0, (LONG)w, (LONG)h};
    return r;
}

// Reads w x h pixels of a locked area (the area's top-left at pBits).
void readLocked(const D3DLOCKED_RECT& lr, D3DFORMAT fmt, UINT w, UINT h, Image& out)
{
    out = Image(w, h);
    const uint8_t* base = static_cast<const uint8_t*>(lr.pBits);
    if (IsBlockCompressed(fmt)) {
        UnpackBlocks(fmt, base, (size_t)lr.Pitch, out);
        return;
    }
    for (UINT y = 0; y < h; ++y)
        UnpackRow(fmt, base + (ptrdiff_t)y * lr.Pitch, &out.argb[(size_t)y * w], w);
}

void writeLocked(const D3DLOCKED_RECT& lr, D3DFORMAT fmt, const Image& img)
{
    uint8_t* base = static_cast<uint8_t*>(lr.pBits);
    for (UINT y = 0; y < img.height; ++y)
        PackRow(fmt, &img.argb[(size_t)y * img.width], base + (ptrdiff_t)y * lr.Pitch, img.width);
}

Image crop(const Image& src, const RECT& r)
{
    Image out((UINT)(r.right - r.left), (UINT)(r.bottom - r.top));
    for (UINT y = 0; y < out.height; ++y)
        std::memcpy(&out.argb[(size_t)y * out.width], &src.argb[(size_t)(r.top + y) * src.width + r.left],
                    out.width * sizeof(uint32_t));
    return out;
}

// Reads a rectangle of a surface. Render targets are copied to system
// memory first.
HRESULT readSurface(IDirect3DSurface9* surface, const RECT* rect, Image& out)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    RECT r = rect ? *rect : wholeRect(desc.Width, desc.Height);
    if (!validRect(r, desc.Width, desc.Height) || !CanRead(desc.Format))
        return D3DERR_INVALIDCALL;
    Image whole;
    D3DLOCKED_RECT lr;
    if (!(desc.Pool == D3DPOOL_DEFAULT && (desc.Usage & D3DUSAGE_RENDERTARGET))) {
        if (FAILED(hr = surface->LockRect(&lr, nullptr, D3DLOCK_READONLY)))
            return hr;
        readLocked(lr, desc.Format, desc.Width, desc.Height, whole);
        surface->UnlockRect();
    } else {
        IDirect3DDevice9* device = nullptr;
        if (FAILED(hr = surface->GetDevice(&device)))
            return hr;
        IDirect3DSurface9* copy = nullptr;
        hr = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr);
        if (SUCCEEDED(hr))
            hr = device->GetRenderTargetData(surface, copy);
        if (SUCCEEDED(hr))
            hr = copy->LockRect(&lr, nullptr, D3DLOCK_READONLY);
        if (SUCCEEDED(hr)) {
            readLocked(lr, desc.Format, desc.Width, desc.Height, whole);
            copy->UnlockRect();
        }
        if (copy)
            copy->Release();
        device->Release();
        if (FAILED(hr))
            return hr;
    }
    out = crop(whole, r);
    return S_OK;
}

// Writes an image the size of the rectangle into a surface. Surfaces of the
// default pool (not dynamic) are filled through a system-memory copy.
HRESULT writeSurface(IDirect3DSurface9* surface, const RECT& r, const Image& img)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    if (!CanWrite(desc.Format))
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (desc.Pool != D3DPOOL_DEFAULT || (desc.Usage & D3DUSAGE_DYNAMIC)) {
        if (FAILED(hr = surface->LockRect(&lr, &r, 0)))
            return hr;
        writeLocked(lr, desc.Format, img);
        return surface->UnlockRect();
    }
    IDirect3DDevice9* device = nullptr;
    if (FAILED(hr = surface->GetDevice(&device)))
        return hr;
    IDirect3DSurface9* staging = nullptr;
    hr = device->CreateOffscreenPlainSurface(img.width, img.height, desc.Format, D3DPOOL_SYSTEMMEM, &staging, nullptr);
    if (SUCCEEDED(hr))
        hr = staging->LockRect(&lr, nullptr, 0);
    if (SUCCEEDED(hr)) {
        writeLocked(lr, desc.Format, img);
        staging->UnlockRect();
        POINT at = {r.left, r.top};
        hr = device->UpdateSurface(staging, nullptr, surface, &at);
    }
    if (staging)
        staging->Release();
    device->Release();
    return hr;
}

HRESULT readTextureLevel(IDirect3DTexture9* tex, UINT level, Image& out)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = tex->GetLevelDesc(level, &desc);
    if (FAILED(hr))
        return hr;
    if (!CanRead(desc.Format))
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (desc.Pool != D3DPOOL_DEFAULT || (desc.Usage & D3DUSAGE_DYNAMIC)) {
        if (FAILED(hr = tex->LockRect(level, &lr, nullptr, D3DLOCK_READONLY)))
            return hr;
        readLocked(lr, desc.Format, desc.Width, desc.Height, out);
        tex->UnlockRect(level);
        return S_OK;
    }
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(hr = tex->GetSurfaceLevel(level, &surface)))
        return hr;
    hr = readSurface(surface, nullptr, out);
    surface->Release();
    return hr;
}

// Writes one image per level (levels whose image is empty are left as they
// are). Levels of a default-pool texture (not dynamic) are filled through
// system-memory surfaces and UpdateSurface.
HRESULT writeTextureLevels(IDirect3DTexture9* tex, const std::vector<Image>& levels)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = tex->GetLevelDesc(0, &desc);
    if (FAILED(hr))
        return hr;
    if (!CanWrite(desc.Format))
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (desc.Pool != D3DPOOL_DEFAULT || (desc.Usage & D3DUSAGE_DYNAMIC)) {
        for (UINT l = 0; l < levels.size(); ++l) {
            if (levels[l].argb.empty())
                continue;
            if (FAILED(hr = tex->LockRect(l, &lr, nullptr, 0)))
                return hr;
            writeLocked(lr, desc.Format, levels[l]);
            tex->UnlockRect(l);
        }
        return S_OK;
    }
    for (UINT l = 0; l < levels.size(); ++l) {
        if (levels[l].argb.empty())
            continue;
        IDirect3DSurface9* surface = nullptr;
        if (FAILED(hr = tex->GetSurfaceLevel(l, &surface)))
            return hr;
        hr = writeSurface(surface, wholeRect(levels[l].width, levels[l].height), levels[l]);
        surface->Release();
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// Fills a new texture's levels from a decoded file.
HRESULT fillFromFile(IDirect3DTexture9* tex, const DecodedFile& file, DWORD filter, DWORD mipFilter,
                     D3DCOLOR colorKey)
{
    UINT count = tex->GetLevelCount();
    std::vector<Image> levels(count);
    Image top = file.levels[0];
    ApplyColorKey(top, colorKey);
    bool resized = false;
    for (UINT l = 0; l < count; ++l) {
        D3DSURFACE_DESC desc;
        HRESULT hr = tex->GetLevelDesc(l, &desc);
        if (FAILED(hr))
            return hr;
        if (l == 0) {
            resized = desc.Width != top.width || desc.Height != top.height;
            levels[0] = Resample(top, desc.Width, desc.Height, filter);
            continue;
        }
        // The file's own mip levels serve while the picture keeps its size.
        if (!resized && l < file.levels.size() && file.levels[l].width == desc.Width &&
            file.levels[l].height == desc.Height) {
            levels[l] = file.levels[l];
            ApplyColorKey(levels[l], colorKey);
            continue;
        }
        if (mipFilter != D3DX_DEFAULT && filterKind(mipFilter) == D3DX_FILTER_NONE)
            break;
        const Image* prev = &levels[l - 1];
        if (prev->argb.empty())
            break;
        levels[l] = Resample(*prev, desc.Width, desc.Height, mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : mipFilter);
    }
    return writeTextureLevels(tex, levels);
}

// A picture loaded into a texture has no side beyond the device's largest.
DecodeLimits limitsFor(IDirect3DDevice9* device)
{
    DecodeLimits limits;
    D3DCAPS9 caps;
    if (SUCCEEDED(device->GetDeviceCaps(&caps))) {
        UINT largest = std::max(caps.MaxTextureWidth, caps.MaxTextureHeight);
        if (largest > 0)
            limits.maxSide = std::min(largest, kMaxImageSide);
    }
    return limits;
}

void fillInfo(const DecodedFile& file, D3DXIMAGE_INFO* info)
{
    if (!info)
        return;
    info->Width = file.levels[0].width;
    info->Height = file.levels[0].height;
    info->Depth = 1;
    info->MipLevels = (UINT)file.levels.size();
    info->Format = file.format;
    info->ResourceType = D3DRTYPE_TEXTURE;
    info->ImageFileFormat = file.fileFormat;
}

bool checkFormat(IDirect3DDevice9* device, DWORD usage, D3DFORMAT fmt, bool& known)
{
    known = false;
    IDirect3D9* d3d = nullptr;
    if (FAILED(device->GetDirect3D(&d3d)) || !d3d)
        return true;
    D3DDEVICE_CREATION_PARAMETERS params;
    D3DDISPLAYMODE mode;
    bool ok = true;
    if (SUCCEEDED(device->GetCreationParameters(&params)) && SUCCEEDED(device->GetDisplayMode(0, &mode))) {
        known = true;
        ok = SUCCEEDED(d3d->CheckDeviceFormat(params.AdapterOrdinal, params.DeviceType, mode.Format, usage,
                                             D3DRTYPE_TEXTURE, fmt));
    }
    d3d->Release();
    return ok;
}

HRESULT encode(const Image& img, D3DFORMAT srcFormat, D3DXIMAGE_FILEFORMAT fileFormat, std::vector<uint8_t>& out)
{
    bool alpha = HasAlpha(srcFormat);
    bool ok;
    switch (fileFormat) {
    case D3DXIFF_BMP: ok = EncodeBmp(img, alpha, out); break;
    case D3DXIFF_PNG: ok = EncodePng(img, alpha, out); break;
    case D3DXIFF_JPG: ok = EncodeJpeg(img, out); break;
    case D3DXIFF_DDS: ok = EncodeDds(img, alpha, out); break;
    default: return D3DERR_INVALIDCALL;
    }
    return ok ? S_OK : E_FAIL;
}

HRESULT toBuffer(const std::vector<uint8_t>& bytes, ID3DXBuffer** buffer)
{
    HRESULT hr = D3DXCreateBuffer((DWORD)bytes.size(), buffer);
    if (SUCCEEDED(hr) && !bytes.empty())
        std::memcpy((*buffer)->GetBufferPointer(), bytes.data(), bytes.size());
    return hr;
}

HRESULT encodeSurface(IDirect3DSurface9* surface, const RECT* rect, D3DXIMAGE_FILEFORMAT fmt,
                      std::vector<uint8_t>& out)
{
    if (!surface)
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    Image img;
    if (FAILED(hr = readSurface(surface, rect, img)))
        return hr;
    return encode(img, desc.Format, fmt, out);
}

HRESULT encodeTexture(IDirect3DBaseTexture9* texture, D3DXIMAGE_FILEFORMAT fmt, std::vector<uint8_t>& out)
{
    if (!texture || texture->GetType() != D3DRTYPE_TEXTURE)
        return D3DERR_INVALIDCALL;
    IDirect3DTexture9* tex = static_cast<IDirect3DTexture9*>(texture);
    D3DSURFACE_DESC desc;
    HRESULT hr = tex->GetLevelDesc(0, &desc);
    if (FAILED(hr))
        return hr;
    Image img;
    if (FAILED(hr = readTextureLevel(tex, 0, img)))
        return hr;
    return encode(img, desc.Format, fmt, out);
}

// Puts an image (the size of srcRect of its source) into a surface rectangle.
HRESULT loadIntoSurface(IDirect3DSurface9* dest, const RECT* destRect, Image img, DWORD filter, D3DCOLOR colorKey)
{
    if (!validFilter(filter))
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = dest->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    RECT r = destRect ? *destRect : wholeRect(desc.Width, desc.Height);
    if (!validRect(r, desc.Width, desc.Height))
        return D3DERR_INVALIDCALL;
    ApplyColorKey(img, colorKey);
    Image sized = Resample(img, (UINT)(r.right - r.left), (UINT)(r.bottom - r.top), filter);
    return writeSurface(dest, r, sized);
}

} // namespace

// ---- Information ----------------------------------------------------------------

HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID srcData, UINT srcDataSize, D3DXIMAGE_INFO* srcInfo)
try {
    if (!srcData || !srcDataSize)
        return D3DERR_INVALIDCALL;
    DecodedFile file;
    HRESULT hr = DecodeImageInfo(srcData, srcDataSize, file);
    if (FAILED(hr))
        return hr;
    fillInfo(file, srcInfo);
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXGetImageInfoFromFileA(LPCSTR srcFile, D3DXIMAGE_INFO* srcInfo)
try {
    if (!srcFile)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> data;
    if (!readWholeFile(srcFile, data) || data.empty())
        return D3DXERR_INVALIDDATA;
    return D3DXGetImageInfoFromFileInMemory(data.data(), (UINT)data.size(), srcInfo);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

// ---- Textures -------------------------------------------------------------------

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL)
{
    if (!device)
        return D3DERR_INVALIDCALL;
    UINT w = width ? *width : D3DX_DEFAULT, h = height ? *height : D3DX_DEFAULT;
    if (w == D3DX_DEFAULT_NONPOW2)
        w = D3DX_DEFAULT;
    if (h == D3DX_DEFAULT_NONPOW2)
        h = D3DX_DEFAULT;
    if (isDefaultSize(w) && isDefaultSize(h))
        w = h = 256;
    else if (isDefaultSize(w))
        w = h;
    else if (isDefaultSize(h))
        h = w;
    UINT levels = mipLevels ? *mipLevels : 1;

    D3DCAPS9 caps;
    if (SUCCEEDED(device->GetDeviceCaps(&caps))) {
        bool pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) &&
                    (!(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) || levels != 1);
        if (pow2) {
            w = nextPow2(w);
            h = nextPow2(h);
        }
        if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)
            w = h = std::max(w, h);
        if (caps.MaxTextureWidth && w > caps.MaxTextureWidth)
            w = caps.MaxTextureWidth;
        if (caps.MaxTextureHeight && h > caps.MaxTextureHeight)
            h = caps.MaxTextureHeight;
    }

    if (format) {
        if (isDefaultFormat(*format))
            *format = D3DFMT_A8R8G8B8;
        bool known = false;
        if (!checkFormat(device, usage, *format, known)) {
            D3DFORMAT sub = fallbackFormat(*format);
            bool subKnown = false;
            if (sub != *format && checkFormat(device, usage, sub, subKnown))
                *format = sub;
        }
    }
    if (mipLevels) {
        UINT chain = fullChain(w, h);
        if (*mipLevels == 0 || *mipLevels == D3DX_DEFAULT || *mipLevels > chain)
            *mipLevels = chain;
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    return S_OK;
}

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture)
{
    if (!device || !texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &mipLevels, usage, &format, pool);
    if (FAILED(hr))
        return hr;
    return device->CreateTexture(width, height, mipLevels, usage, format, pool, texture, nullptr);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, LPCVOID srcData, UINT srcDataSize, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, tagPALETTEENTRY*, IDirect3DTexture9** texture)
try {
    if (texture)
        *texture = nullptr;
    if (!device || !srcData || !srcDataSize || !texture || !validFilter(filter) || !validFilter(mipFilter))
        return D3DERR_INVALIDCALL;
    DecodedFile file;
    HRESULT hr = DecodeImage(srcData, srcDataSize, file, limitsFor(device));
    if (FAILED(hr))
        return hr;
    fillInfo(file, srcInfo);
    const Image& top = file.levels[0];

    UINT w = width, h = height;
    if (isDefaultSize(w))
        w = nextPow2(top.width);
    else if (w == D3DX_DEFAULT_NONPOW2 || w == D3DX_FROM_FILE)
        w = top.width;
    if (isDefaultSize(h))
        h = nextPow2(top.height);
    else if (h == D3DX_DEFAULT_NONPOW2 || h == D3DX_FROM_FILE)
        h = top.height;
    UINT levels = mipLevels == D3DX_FROM_FILE ? (UINT)file.levels.size() : mipLevels;

    D3DFORMAT fmt = format;
    if (isDefaultFormat(fmt)) {
        fmt = textureFormatFor(file.format);
        if (colorKey != 0 && !HasAlpha(fmt))
            fmt = D3DFMT_A8R8G8B8; // keyed pixels need an alpha channel
    } else if (!CanWrite(fmt)) {
        fmt = fallbackFormat(fmt);
    }
    if (FAILED(hr = D3DXCheckTextureRequirements(device, &w, &h, &levels, usage, &fmt, pool)))
        return hr;
    if (!CanWrite(fmt))
        fmt = fallbackFormat(fmt);

    IDirect3DTexture9* tex = nullptr;
    hr = device->CreateTexture(w, h, levels, usage, fmt, pool, &tex, nullptr);
    if (FAILED(hr) && fmt != fallbackFormat(fmt))
        hr = device->CreateTexture(w, h, levels, usage, fallbackFormat(fmt), pool, &tex, nullptr);
    if (FAILED(hr))
        return hr;
    if (!tex)
        return E_FAIL;
    try {
        hr = fillFromFile(tex, file, filter, mipFilter, colorKey);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        tex->Release();
        return hr;
    }
    *texture = tex;
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, LPCVOID srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture)
{
    return D3DXCreateTextureFromFileInMemoryEx(device, srcData, srcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                               0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, LPCSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     tagPALETTEENTRY* palette, IDirect3DTexture9** texture)
try {
    if (texture)
        *texture = nullptr;
    if (!device || !srcFile || !texture)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> data;
    if (!readWholeFile(srcFile, data) || data.empty())
        return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(device, data.data(), (UINT)data.size(), width, height, mipLevels,
                                               usage, format, pool, filter, mipFilter, colorKey, srcInfo, palette,
                                               texture);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR srcFile, IDirect3DTexture9** texture)
{
    return D3DXCreateTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, texture);
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* baseTexture, const tagPALETTEENTRY*, UINT srcLevel, DWORD filter)
try {
    if (!baseTexture || !validFilter(filter))
        return D3DERR_INVALIDCALL;
    if (baseTexture->GetType() != D3DRTYPE_TEXTURE)
        return D3DERR_INVALIDCALL;
    IDirect3DTexture9* tex = static_cast<IDirect3DTexture9*>(baseTexture);
    UINT count = tex->GetLevelCount();
    UINT src = srcLevel == D3DX_DEFAULT ? 0 : srcLevel;
    if (src >= count)
        return D3DERR_INVALIDCALL;
    DWORD f = filter == D3DX_DEFAULT ? D3DX_FILTER_BOX : filter;
    if (filterKind(f) == D3DX_FILTER_NONE)
        f = (f & ~0xFFFFu) | D3DX_FILTER_POINT;
    std::vector<Image> levels(count);
    Image prev;
    HRESULT hr = readTextureLevel(tex, src, prev);
    if (FAILED(hr))
        return hr;
    for (UINT l = src + 1; l < count; ++l) {
        D3DSURFACE_DESC desc;
        if (FAILED(hr = tex->GetLevelDesc(l, &desc)))
            return hr;
        levels[l] = Resample(prev, desc.Width, desc.Height, f);
        prev = levels[l];
    }
    return writeTextureLevels(tex, levels);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXComputeNormalMap(IDirect3DTexture9* texture, IDirect3DTexture9* srcTexture, const tagPALETTEENTRY*,
                             DWORD flags, DWORD channel, FLOAT amplitude)
try {
    if (!texture || !srcTexture || !(channel & 0x1F))
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr))
        return hr;
    Image src;
    if (FAILED(hr = readTextureLevel(srcTexture, 0, src)))
        return hr;
    src = Resample(src, desc.Width, desc.Height, D3DX_FILTER_TRIANGLE);
    const int w = (int)src.width, h = (int)src.height;
    std::vector<float> height((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = src.at((UINT)x, (UINT)y);
            float r = ((c >> 16) & 0xFF) / 255.0f, g = ((c >> 8) & 0xFF) / 255.0f, b = (c & 0xFF) / 255.0f,
                  a = (c >> 24) / 255.0f;
            float sum = 0;
            int n = 0;
            if (channel & D3DX_CHANNEL_RED) { sum += r; ++n; }
            if (channel & D3DX_CHANNEL_GREEN) { sum += g; ++n; }
            if (channel & D3DX_CHANNEL_BLUE) { sum += b; ++n; }
            if (channel & D3DX_CHANNEL_ALPHA) { sum += a; ++n; }
            if (channel & D3DX_CHANNEL_LUMINANCE) { sum += r * 0.2125f + g * 0.7154f + b * 0.0721f; ++n; }
            height[(size_t)y * w + x] = sum / n;
        }
    auto sample = [&](int x, int y) {
        auto wrap = [](int i, int n, bool mirror) {
            if (mirror)
                return i < 0 ? 0 : (i >= n ? n - 1 : i);
            return ((i % n) + n) % n;
        };
        x = wrap(x, w, (flags & D3DX_NORMALMAP_MIRROR_U) != 0);
        y = wrap(y, h, (flags & D3DX_NORMALMAP_MIRROR_V) != 0);
        return height[(size_t)y * w + x];
    };
    float sign = (flags & D3DX_NORMALMAP_INVERTSIGN) ? -1.0f : 1.0f;
    std::vector<Image> levels(1, Image(desc.Width, desc.Height));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float du = (sample(x + 1, y) - sample(x - 1, y)) * 0.5f * amplitude * sign;
            float dv = (sample(x, y + 1) - sample(x, y - 1)) * 0.5f * amplitude * sign;
            float nx = -du, ny = -dv, nz = 1.0f;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            auto enc = [len](float v) { return (uint32_t)std::lround((v / len * 0.5f + 0.5f) * 255.0f); };
            levels[0].at((UINT)x, (UINT)y) = 0xFF000000u | (enc(nx) << 16) | (enc(ny) << 8) | enc(nz);
        }
    return writeTextureLevels(texture, levels);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

// ---- Surfaces -------------------------------------------------------------------

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const tagPALETTEENTRY*, const RECT* destRect,
                                  LPCVOID srcMemory, D3DFORMAT srcFormat, UINT srcPitch, const tagPALETTEENTRY*,
                                  const RECT* srcRect, DWORD filter, D3DCOLOR colorKey)
try {
    if (!destSurface || !srcMemory || !srcRect || !CanRead(srcFormat))
        return D3DERR_INVALIDCALL;
    const RECT& r = *srcRect;
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || r.right > (LONG)kMaxImageSide ||
        r.bottom > (LONG)kMaxImageSide)
        return D3DERR_INVALIDCALL;
    UINT w = (UINT)(r.right - r.left), h = (UINT)(r.bottom - r.top);
    const uint8_t* base = static_cast<const uint8_t*>(srcMemory);
    Image img(w, h);
    if (IsBlockCompressed(srcFormat)) {
        if ((r.left | r.top) & 3)
            return D3DERR_INVALIDCALL;
        size_t blockBytes = srcFormat == D3DFMT_DXT1 ? 8 : 16;
        UnpackBlocks(srcFormat, base + (size_t)(r.top / 4) * srcPitch + (size_t)(r.left / 4) * blockBytes, srcPitch,
                     img);
    } else {
        size_t bpp = BitsPerPixel(srcFormat) / 8;
        for (UINT y = 0; y < h; ++y)
            UnpackRow(srcFormat, base + (size_t)(r.top + y) * srcPitch + (size_t)r.left * bpp,
                      &img.argb[(size_t)y * w], w);
    }
    return loadIntoSurface(destSurface, destRect, std::move(img), filter, colorKey);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const tagPALETTEENTRY*, const RECT* destRect,
                                   IDirect3DSurface9* srcSurface, const tagPALETTEENTRY*, const RECT* srcRect,
                                   DWORD filter, D3DCOLOR colorKey)
try {
    if (!destSurface || !srcSurface)
        return D3DERR_INVALIDCALL;
    Image img;
    HRESULT hr = readSurface(srcSurface, srcRect, img);
    if (FAILED(hr))
        return hr;
    return loadIntoSurface(destSurface, destRect, std::move(img), filter, colorKey);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const tagPALETTEENTRY*, const RECT* destRect,
                                        LPCVOID srcData, UINT srcDataSize, const RECT* srcRect, DWORD filter,
                                        D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo)
try {
    if (!destSurface || !srcData || !srcDataSize)
        return D3DERR_INVALIDCALL;
    DecodedFile file;
    HRESULT hr = DecodeImage(srcData, srcDataSize, file);
    if (FAILED(hr))
        return hr;
    fillInfo(file, srcInfo);
    Image img = file.levels[0];
    if (srcRect) {
        if (!validRect(*srcRect, img.width, img.height))
            return D3DERR_INVALIDCALL;
        img = crop(img, *srcRect);
    }
    return loadIntoSurface(destSurface, destRect, std::move(img), filter, colorKey);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* destSurface, const tagPALETTEENTRY* destPalette,
                                 const RECT* destRect, LPCSTR srcFile, const RECT* srcRect, DWORD filter,
                                 D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo)
try {
    if (!destSurface || !srcFile)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> data;
    if (!readWholeFile(srcFile, data) || data.empty())
        return D3DXERR_INVALIDDATA;
    return D3DXLoadSurfaceFromFileInMemory(destSurface, destPalette, destRect, data.data(), (UINT)data.size(),
                                           srcRect, filter, colorKey, srcInfo);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

// ---- Saving ---------------------------------------------------------------------

HRESULT D3DXSaveSurfaceToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DSurface9* srcSurface, const tagPALETTEENTRY*, const RECT* srcRect)
try {
    if (!destBuffer)
        return D3DERR_INVALIDCALL;
    *destBuffer = nullptr;
    std::vector<uint8_t> bytes;
    HRESULT hr = encodeSurface(srcSurface, srcRect, destFormat, bytes);
    return FAILED(hr) ? hr : toBuffer(bytes, destBuffer);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const tagPALETTEENTRY*, const RECT* srcRect)
try {
    if (!destFile)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    HRESULT hr = encodeSurface(srcSurface, srcRect, destFormat, bytes);
    if (SUCCEEDED(hr))
        hr = writeWholeFile(destFile, bytes);
    if (SUCCEEDED(hr))
        PlatformTraceEvent("save", destFile);
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DBaseTexture9* srcTexture, const tagPALETTEENTRY*)
try {
    if (!destBuffer)
        return D3DERR_INVALIDCALL;
    *destBuffer = nullptr;
    std::vector<uint8_t> bytes;
    HRESULT hr = encodeTexture(srcTexture, destFormat, bytes);
    return FAILED(hr) ? hr : toBuffer(bytes, destBuffer);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT D3DXSaveTextureToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DBaseTexture9* srcTexture,
                               const tagPALETTEENTRY*)
try {
    if (!destFile)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    HRESULT hr = encodeTexture(srcTexture, destFormat, bytes);
    return FAILED(hr) ? hr : writeWholeFile(destFile, bytes);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
