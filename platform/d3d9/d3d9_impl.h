// Layer-internal: the Direct3D 9 implementation over OpenGL 3.3 core.
#pragma once

#include "d3d9.h"
#include "gl_api.h"

#include <bitset>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct SDL_Window;

namespace d3d9gl {

class Device;

IDirect3D9* CreateDirect3D9();

// Tests may give a window of their own to a handle before the window layer
// knows it; null removes it.
void SetWindowForHandle(HWND hwnd, SDL_Window* window);
SDL_Window* WindowForHandle(HWND hwnd);

// ---- Formats -----------------------------------------------------------------
struct FormatDesc {
    D3DFORMAT format;
    UINT bytesPerPixel;   // per block for block formats
    bool block;           // 4x4 blocks (DXT)
    GLenum internalFormat;
    GLenum glFormat;
    GLenum glType;
    GLint swizzle[4];
    bool hasAlpha;
    bool isDepth;
    bool hasStencil;
};
const FormatDesc* FindFormat(D3DFORMAT format);
UINT FormatPitch(const FormatDesc& f, UINT width);
UINT FormatRows(const FormatDesc& f, UINT height);
// Sets the bits a format leaves unused (X8, X1, X4) in a row of pixels of it.
void SetUnusedBits(const FormatDesc& f, uint8_t* row, UINT width);
// Decodes DXT1/2/3/4/5 data of a width x height level to B,G,R,A bytes.
void DecodeBlocks(D3DFORMAT format, const uint8_t* src, UINT width, UINT height, uint8_t* bgra);

// ---- Reference counting ------------------------------------------------------
// Objects made by a device count public references (AddRef/Release) and the
// device's own bindings (stages, streams, state blocks) apart: bindings do not
// show in the counts the application sees, as on Direct3D 9, but keep the
// object alive. While its public count is above 0 an object holds a reference
// on its device.
class DeviceChild {
public:
    explicit DeviceChild(Device* device);
    virtual ~DeviceChild();
    ULONG AddRefImpl();
    ULONG ReleaseImpl();
    virtual void Bind() { ++m_binds; }
    virtual void Unbind();
    Device* GetDeviceImpl() const { return m_device; }
    ULONG PublicRefs() const { return m_refs; }

protected:
    Device* m_device;
    ULONG m_refs = 1;
    ULONG m_binds = 0;
};

template <class I>
class Child : public I, public DeviceChild {
public:
    explicit Child(Device* device) : DeviceChild(device) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || Matches(riid)) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    virtual bool Matches(REFIID) const { return false; }
};

// Binds an object for as long as the holder points at it.
template <class T>
void SetBound(T*& slot, T* value)
{
    if (slot == value) return;
    if (value) static_cast<DeviceChild*>(value)->Bind();
    T* old = slot;
    slot = value;
    if (old) static_cast<DeviceChild*>(old)->Unbind();
}

// Common resource methods.
template <class I>
class Resource : public Child<I> {
public:
    explicit Resource(Device* device) : Child<I>(device) {}
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT SetPrivateData(REFGUID, const void* data, DWORD size, DWORD flags) override;
    HRESULT GetPrivateData(REFGUID, void* data, DWORD* size) override;
    HRESULT FreePrivateData(REFGUID) override;
    DWORD SetPriority(DWORD p) override { DWORD old = m_priority; m_priority = p; return old; }
    DWORD GetPriority() override { return m_priority; }
    void PreLoad() override {}

protected:
    DWORD m_priority = 0;
    std::map<std::string, std::vector<uint8_t>> m_private;
};

class TextureImpl;

// A surface: a level of a texture, a render target, a depth-stencil surface,
// an off-screen plain surface or the back buffer.
class SurfaceImpl : public Resource<IDirect3DSurface9> {
public:
    enum Kind { TextureLevel, RenderTarget, DepthStencil, OffscreenPlain, BackBuffer, AutoDepthStencil };
    SurfaceImpl(Device* device, Kind kind, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage);
    ~SurfaceImpl() override;

    ULONG AddRef() override;
    ULONG Release() override;
    void Bind() override;
    void Unbind() override;
    bool Matches(REFIID riid) const override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;
    HRESULT GetDC(HDC*) override { return D3DERR_INVALIDCALL; }
    HRESULT ReleaseDC(HDC) override { return D3DERR_INVALIDCALL; }

    Kind kind;
    UINT width, height;
    D3DFORMAT format;
    const FormatDesc* fmt;
    D3DPOOL pool;
    DWORD usage;
    // TextureLevel: the container and the level.
    TextureImpl* container = nullptr;
    UINT level = 0;
    // GL storage of render targets (a texture) and depth-stencil surfaces
    // (a renderbuffer); memory of off-screen plain surfaces.
    GLuint glTexture = 0;
    GLuint glRenderbuffer = 0;
    std::vector<uint8_t> memory;
    // A lock on a render target reads it back here.
    std::vector<uint8_t> lockBuffer;
    bool locked = false;
    DWORD lockFlags = 0;

    bool IsColorTarget() const;
    GLuint ColorTexture() const;  // the GL texture a colour target draws into
    bool CreateStorage();
};

class TextureImpl : public Resource<IDirect3DTexture9> {
public:
    TextureImpl(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~TextureImpl() override;
    bool Matches(REFIID riid) const override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return m_lod; }
    DWORD GetLevelCount() override;
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE f) override { m_autoGenFilter = f; return S_OK; }
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return m_autoGenFilter; }
    void GenerateMipSubLevels() override;
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;
    HRESULT AddDirtyRect(const RECT*) override { return S_OK; }

    bool Init();
    // Uploads the levels changed since the last use (binding the texture to
    // the unit given); returns the GL texture.
    GLuint Prepare(GLuint unit);
    bool NeedsPrepare() const { return m_anyDirty || m_mipsStale || !m_glTexture; }
    bool AnyLevelLocked() const
    {
        for (const Level& l : m_levels)
            if (l.locked) return true;
        return false;
    }
    void MarkRendered() { m_mipsStale = (m_usage & D3DUSAGE_AUTOGENMIPMAP) != 0; }

    struct Level {
        UINT width, height, pitch, rows;
        std::vector<uint8_t> data;
        bool dirty = false;
        bool locked = false;
        SurfaceImpl* surface = nullptr;
    };
    UINT m_width, m_height;
    DWORD m_usage;
    D3DFORMAT m_format;
    const FormatDesc* m_fmt;
    D3DPOOL m_pool;
    std::vector<Level> m_levels;
    UINT m_glLevels = 1;
    GLuint m_glTexture = 0;
    bool m_anyDirty = false;
    bool m_mipsStale = false;
    DWORD m_lod = 0;
    D3DTEXTUREFILTERTYPE m_autoGenFilter = D3DTEXF_LINEAR;
};

class VertexBufferImpl : public Resource<IDirect3DVertexBuffer9> {
public:
    VertexBufferImpl(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBufferImpl() override;
    bool Matches(REFIID riid) const override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;
    GLuint Prepare();

    std::vector<uint8_t> data;
    DWORD usage, fvf;
    D3DPOOL pool;
    GLuint glBuffer = 0;
    UINT dirtyLo = 0, dirtyHi = 0;
    int lockCount = 0;
};

class IndexBufferImpl : public Resource<IDirect3DIndexBuffer9> {
public:
    IndexBufferImpl(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~IndexBufferImpl() override;
    bool Matches(REFIID riid) const override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;
    GLuint Prepare();

    std::vector<uint8_t> data;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    GLuint glBuffer = 0;
    UINT dirtyLo = 0, dirtyHi = 0;
    int lockCount = 0;
};

class VertexDeclImpl : public Child<IDirect3DVertexDeclaration9> {
public:
    VertexDeclImpl(Device* device, const D3DVERTEXELEMENT9* elements, UINT count);
    bool Matches(REFIID riid) const override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;
    std::vector<D3DVERTEXELEMENT9> elements;  // without the end marker
};

template <class I>
class ShaderImpl : public Child<I> {
public:
    ShaderImpl(Device* device, const DWORD* function, UINT dwords, std::string source, bool vertex);
    ~ShaderImpl() override;
    bool Matches(REFIID riid) const override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT GetFunction(void* pData, UINT* pSizeOfData) override;
    std::vector<DWORD> function;
    std::string source;
    uint32_t sourceHash;  // ShaderSourceHash of source
    GLuint glShader = 0;
    bool vertex;
};
typedef ShaderImpl<IDirect3DVertexShader9> VertexShaderImpl;
typedef ShaderImpl<IDirect3DPixelShader9> PixelShaderImpl;

// The implicit swap chain: the device's back buffer and presentation.
class SwapChainImpl : public Child<IDirect3DSwapChain9> {
public:
    explicit SwapChainImpl(Device* device);
    bool Matches(REFIID riid) const override;
    ULONG Release() override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const _RGNDATA* pDirtyRegion, DWORD dwFlags) override;
    HRESULT GetFrontBufferData(IDirect3DSurface9* pDestSurface) override;
    HRESULT GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9** ppBackBuffer) override;
    HRESULT GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
};

// ---- Device state ------------------------------------------------------------
enum { kMaxStages = 8, kMaxSamplers = 16, kMaxStreams = 16, kNumTransforms = 266,
       kMaxVSConstF = 256, kMaxPSConstF = 224, kMaxBlendIndex = 63 };

// Transform slots: 0 view, 1 projection, 2-9 texture 0-7, 10-265 world 0-255.
int TransformSlot(D3DTRANSFORMSTATETYPE t);

struct LightSlot {
    D3DLIGHT9 light;
    BOOL enabled;
};

struct StreamSlot {
    VertexBufferImpl* vb = nullptr;
    UINT offset = 0;
    UINT stride = 0;
    UINT freq = 1;
};

struct DeviceState {
    DWORD rs[256];
    DWORD tss[kMaxStages][D3D_TEXTURESTAGESTATE_COUNT];
    DWORD samp[kMaxSamplers][D3D_SAMPLERSTATE_COUNT];
    D3DMATRIX transforms[kNumTransforms];
    D3DMATERIAL9 material;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    float clipPlanes[6][4];
    std::map<DWORD, LightSlot> lights;
    TextureImpl* textures[kMaxSamplers] = {};
    StreamSlot streams[kMaxStreams];
    IndexBufferImpl* indices = nullptr;
    DWORD fvf = 0;
    VertexDeclImpl* decl = nullptr;
    VertexShaderImpl* vs = nullptr;
    PixelShaderImpl* ps = nullptr;
    float vsConstF[kMaxVSConstF][4];
    int vsConstI[16][4];
    BOOL vsConstB[16];
    float psConstF[kMaxPSConstF][4];
    int psConstI[16][4];
    BOOL psConstB[16];

    void SetDefaults();
    void ReleaseBindings();
};

// Which states a state block carries.
struct StateMask {
    std::bitset<256> rs;
    std::bitset<D3D_TEXTURESTAGESTATE_COUNT> tss[kMaxStages];
    std::bitset<D3D_SAMPLERSTATE_COUNT> samp[kMaxSamplers];
    std::bitset<kNumTransforms> transforms;
    bool material = false, viewport = false, scissor = false;
    std::bitset<6> clipPlanes;
    std::map<DWORD, bool> lights;  // light index -> carried (value and enable)
    std::bitset<kMaxSamplers> textures;
    std::bitset<kMaxStreams> streams, streamFreq;
    bool indices = false, decl = false, vs = false, ps = false;
    std::bitset<kMaxVSConstF> vsConstF;
    std::bitset<16> vsConstI, vsConstB;
    std::bitset<kMaxPSConstF> psConstF;
    std::bitset<16> psConstI, psConstB;
};

class StateBlockImpl : public Child<IDirect3DStateBlock9> {
public:
    explicit StateBlockImpl(Device* device);
    ~StateBlockImpl() override;
    bool Matches(REFIID riid) const override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT Capture() override;
    HRESULT Apply() override;

    StateMask mask;
    DeviceState values;
};

// Fills the mask of a block of the given type, for the lights the device has.
void FillStateMask(StateMask& mask, D3DSTATEBLOCKTYPE type, const DeviceState& device);

// ---- Direct3D object -----------------------------------------------------------
class Direct3D9Impl final : public IDirect3D9 {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override;
    HRESULT RegisterSoftwareDevice(void*) override { return D3DERR_INVALIDCALL; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9* pIdentifier) override;
    UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override;
    HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) override;
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat, D3DFORMAT BackBufferFormat,
                            BOOL bWindowed) override;
    HRESULT CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                              D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat, BOOL Windowed,
                                       D3DMULTISAMPLE_TYPE MultiSampleType, DWORD* pQualityLevels) override;
    HRESULT CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                   D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) override;
    HRESULT CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                        D3DFORMAT TargetFormat) override;
    HRESULT GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override;
    HMONITOR GetAdapterMonitor(UINT) override { return nullptr; }
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override;

private:
    ULONG m_refs = 1;
};

// The capabilities the device reports (limits of the GL backend).
void FillCaps(D3DCAPS9* caps);
bool IsDisplayFormat(D3DFORMAT f);
// Formats a texture can be drawn into.
bool IsRenderTargetTextureFormat(D3DFORMAT f);
bool IsDepthFormat(D3DFORMAT f);
// Checks presentation parameters for a swap chain on the window, filling in
// what a windowed one takes from it; S_OK when they can be used.
HRESULT CompletePresentParameters(SDL_Window* window, D3DPRESENT_PARAMETERS& params);

} // namespace d3d9gl
