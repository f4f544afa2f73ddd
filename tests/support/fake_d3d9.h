// A recording fake of the Direct3D 9 interfaces for tests of the system's own
// code: no GL, every state stored with the GL device's defaults (Direct3D 9's), a
// call log, scripted failures and capabilities, and Direct3D 9's reference
// counting (resources hold their device; bound objects stay alive until
// unbound).
//
// Usage:
//     FakeD3D9 fake;                    // plugs into Direct3DCreate9
//     fake.depthFormats = {D3DFMT_D24X8};
//     fake.Fail("Clear").When([](const FakeCall& c) { return c.Arg("Flags") & D3DCLEAR_STENCIL; });
//     ... run the system's code ...
//     EXPECT_EQ(fake.Count("CreateDevice"), 9u);
//     FakeDevice* dev = fake.LastDevice();
//
// The FakeD3D9 object must outlive the test's use of the objects; objects the
// code under test still holds when it is destroyed keep working on their own.
#pragma once

#include <d3d9.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeD3D9;
class FakeDevice;
class FakeDirect3D9;
class FakeStateBlock;
class FakeTexture;
class FakeSurface;
class FakeVertexBuffer;
class FakeIndexBuffer;

// One logged call: the method name and its key arguments by name. Every
// method of the Direct3D object and of the device is logged under its own
// name (the device's GetDeviceCaps as "Device::GetDeviceCaps"); of the
// resources, the calls that lock, unlock, give levels or run state blocks are
// logged as "LockRect"/"UnlockRect"/"GetSurfaceLevel" (textures),
// "Surface::LockRect", "VertexBuffer::Lock", "IndexBuffer::Unlock",
// "StateBlock::Capture", "StateBlock::Apply"..., and Direct3DCreate9 itself.
struct FakeCall {
    std::string method;
    std::vector<std::pair<const char*, uint64_t>> args; // names are literals
    HRESULT result = S_OK;
    size_t index = 0; // number of the call since the log was last cleared

    bool Has(const std::string& name) const;
    // The named argument (0 when absent).
    uint64_t Arg(const std::string& name) const;
    // The named argument read as a float (arguments that are floats are
    // logged as their 32 bits).
    float ArgF(const std::string& name) const;
    // "Method(Name=value, ...) -> hr"
    std::string Text() const;
};

// The states a draw call saw, kept next to the call log.
struct FakeDraw {
    size_t callIndex = 0;
    std::string method;
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    std::array<DWORD, 256> renderStates{};
    std::array<std::array<DWORD, 33>, 8> stageStates{};
    std::array<IDirect3DBaseTexture9*, 8> textures{};
    DWORD fvf = 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    D3DMATRIX world{}, view{}, projection{};
    D3DMATERIAL9 material{};
    IDirect3DSurface9* renderTarget = nullptr;
};

// A scripted failure: calls of one method that match the predicate fail with
// the given result. Count-based: skip the first matches, fail a number of them.
class FakeFailure {
public:
    FakeFailure& When(std::function<bool(const FakeCall&)> predicate);
    // Only calls whose argument `name` equals `value`.
    FakeFailure& WhenArg(const std::string& name, uint64_t value);
    FakeFailure& After(int matchesToSkip);
    FakeFailure& Times(int failures);
    FakeFailure& With(HRESULT hr);
    int Failed() const { return failed_; }

private:
    friend class FakeD3D9;
    std::string method_;
    std::function<bool(const FakeCall&)> predicate_;
    int skip_ = 0;
    int times_ = -1;
    int failed_ = 0;
    HRESULT hr_ = E_FAIL;
};

// Every state a state block can carry.
struct FakeStates {
    enum { kRenderStates = 256, kStageStates = 33, kStages = 8, kSamplerStates = 14, kSamplers = 21,
           kTransforms = 512, kStreams = 16, kVsConstF = 256, kPsConstF = 224, kConstI = 16, kConstB = 16,
           kClipPlanes = 6 };
    struct Light {
        D3DLIGHT9 light{};
        BOOL enabled = FALSE;
    };
    struct Stream {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT offset = 0, stride = 0, frequency = 1;
    };

    std::array<DWORD, kRenderStates> rs{};
    std::array<std::array<DWORD, kStageStates>, kStages> tss{};
    std::array<std::array<DWORD, kSamplerStates>, kSamplers> samp{};
    std::array<IDirect3DBaseTexture9*, kSamplers> textures{};
    std::array<D3DMATRIX, kTransforms> transforms{};
    std::map<DWORD, Light> lights;
    D3DMATERIAL9 material{};
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    std::array<std::array<float, 4>, kClipPlanes> clipPlanes{};
    std::array<Stream, kStreams> streams{};
    IDirect3DIndexBuffer9* indices = nullptr;
    DWORD fvf = 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    std::array<std::array<float, 4>, kVsConstF> vsF{};
    std::array<std::array<int, 4>, kConstI> vsI{};
    std::array<BOOL, kConstB> vsB{};
    std::array<std::array<float, 4>, kPsConstF> psF{};
    std::array<std::array<int, 4>, kConstI> psI{};
    std::array<BOOL, kConstB> psB{};
    float nPatchMode = 0.0f;
};

// Which states a state block carries.
struct FakeStateMask {
    std::array<bool, FakeStates::kRenderStates> rs{};
    std::array<std::array<bool, FakeStates::kStageStates>, FakeStates::kStages> tss{};
    std::array<std::array<bool, FakeStates::kSamplerStates>, FakeStates::kSamplers> samp{};
    std::array<bool, FakeStates::kSamplers> textures{};
    std::array<bool, FakeStates::kTransforms> transforms{};
    std::set<DWORD> lights;
    bool material = false, viewport = false, scissor = false;
    std::array<bool, FakeStates::kClipPlanes> clipPlanes{};
    std::array<bool, FakeStates::kStreams> streams{};
    std::array<bool, FakeStates::kStreams> streamFrequencies{};
    bool indices = false, fvf = false, declaration = false, vertexShader = false, pixelShader = false;
    std::array<bool, FakeStates::kVsConstF> vsF{};
    std::array<bool, FakeStates::kConstI> vsI{};
    std::array<bool, FakeStates::kConstB> vsB{};
    std::array<bool, FakeStates::kPsConstF> psF{};
    std::array<bool, FakeStates::kConstI> psI{};
    std::array<bool, FakeStates::kConstB> psB{};
    bool nPatchMode = false;
};

// Sampler index of a sampler number (0-15, D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER0-3); -1 if invalid.
int FakeSamplerIndex(DWORD sampler);

// The scripted environment: what the fake adapter accepts, scripted failures,
// the call log and the objects alive. Constructing it installs the fake behind
// Direct3DCreate9; destroying it removes it again.
class FakeD3D9 {
public:
    FakeD3D9();
    ~FakeD3D9();
    FakeD3D9(const FakeD3D9&) = delete;
    FakeD3D9& operator=(const FakeD3D9&) = delete;

    // ---- What the adapter accepts (set before the code under test runs) ----
    // Display formats CheckDeviceType accepts (as adapter format; the back
    // buffer may be the same format or its alpha variant).
    std::set<D3DFORMAT> displayFormats;
    // Depth-stencil formats CreateDevice and CheckDeviceFormat accept.
    std::set<D3DFORMAT> depthFormats;
    // Vertex-processing behaviour flags CreateDevice accepts.
    DWORD vertexProcessing = 0;
    // Texture formats CreateTexture and CheckDeviceFormat refuse although
    // their layout is known (by default those the GL device refuses).
    std::set<D3DFORMAT> refusedTextureFormats;
    // Formats render targets (textures and surfaces) can have.
    std::set<D3DFORMAT> renderTargetFormats;
    // Client size a windowed device takes when its back buffer size is 0.
    UINT clientWidth = 640, clientHeight = 480;
    // Current display mode.
    D3DDISPLAYMODE displayMode{1024, 768, 60, D3DFMT_X8R8G8B8};
    // Capabilities both GetDeviceCaps report (by default those of the GL device).
    D3DCAPS9& Caps() { return caps_; }

    // ---- Scripted failures ----
    // Calls of `method` fail with `hr`; the rule returned narrows which calls
    // (When, WhenArg) and how many (After, Times). The first matching rule
    // decides; a scripted failure changes no state.
    FakeFailure& Fail(const std::string& method, HRESULT hr = E_FAIL);
    void ClearFailures();

    // ---- Call log ----
    const std::deque<FakeCall>& Calls() const { return calls_; }
    size_t Count(const std::string& method) const;
    size_t Count(const std::string& method, const std::function<bool(const FakeCall&)>& predicate) const;
    std::vector<const FakeCall*> Find(const std::string& method) const;
    // The calls' method names in order, optionally only those in `methods`.
    std::vector<std::string> Sequence(const std::set<std::string>& methods = {}) const;
    const std::deque<FakeDraw>& Draws() const { return draws_; }
    // The call of a given number, null when it is no longer kept.
    const FakeCall* CallAt(size_t index) const;
    void ClearLog();
    // Only the latest calls and draws are kept (older ones are dropped), so
    // that long runs stay small; with logging off nothing is kept, while
    // scripted failures still apply.
    size_t maxCalls = 100000;
    size_t maxDraws = 4096;
    bool logging = true;
    std::string LogText() const;
    // Misuse the fake noticed (a draw outside a scene or past its buffer, a
    // lock of a locked resource, a release below zero...).
    const std::vector<std::string>& Problems() const { return problems_; }
    void ClearProblems() { problems_.clear(); }

    // ---- Objects ----
    FakeDirect3D9* LastDirect3D() const { return lastD3D_; }
    FakeDevice* LastDevice() const { return lastDevice_; }
    size_t DevicesCreated() const { return devicesCreated_; }
    // Fake objects alive (Direct3D objects, devices and resources; each level
    // of a texture counts as one).
    size_t LiveObjects() const { return live_.size(); }
    std::vector<std::string> LiveObjectKinds() const;
    // The fake behind an interface pointer, or null when it is none of ours.
    FakeStateBlock* AsFake(IDirect3DStateBlock9* p) const;
    FakeTexture* AsFake(IDirect3DBaseTexture9* p) const;
    FakeSurface* AsFake(IDirect3DSurface9* p) const;
    FakeDevice* AsFake(IDirect3DDevice9* p) const;
    // Whether the application still holds a default-pool resource of the
    // device other than its implicit surfaces.
    bool HoldsDefaultPool(const FakeDevice* dev) const;

    // A new fake Direct3D object (reference count 1), as the hook gives it.
    FakeDirect3D9* Create();
    // A windowed device of the given back-buffer size with an automatic depth
    // buffer, for tests that need one without the renderer (reference count 1;
    // the device holds its Direct3D object, so releasing the device ends both).
    IDirect3DDevice9* MakeDevice(UINT width = 640, UINT height = 480, D3DFORMAT depth = D3DFMT_D24S8,
                                 DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING);

    // ---- Used by the fake objects ----
    FakeCall& Begin(const char* method, std::initializer_list<std::pair<const char*, uint64_t>> args);
    HRESULT End(FakeCall& call, HRESULT hr);
    void Problem(const std::string& text);
    void AddLive(const void* obj, const char* kind);
    void RemoveLive(const void* obj);
    bool IsLive(const void* obj) const { return live_.count(obj) != 0; }
    FakeDraw& AddDraw();
    void SetLastDevice(FakeDevice* dev) { lastDevice_ = dev; ++devicesCreated_; }
    void Forget(FakeDevice* dev);
    void Forget(FakeDirect3D9* d3d);
    // The environment of objects whose FakeD3D9 is gone.
    static FakeD3D9* Orphanage();

private:
    explicit FakeD3D9(bool install);
    bool installed_ = false;
    D3DCAPS9 caps_{};
    std::vector<std::unique_ptr<FakeFailure>> failures_;
    std::deque<FakeCall> calls_;
    size_t callsSeen_ = 0;
    FakeCall scratch_;
    std::deque<FakeDraw> draws_;
    FakeDraw scratchDraw_;
    std::vector<std::string> problems_;
    std::map<const void*, const char*> live_;
    FakeDirect3D9* lastD3D_ = nullptr;
    FakeDevice* lastDevice_ = nullptr;
    size_t devicesCreated_ = 0;
    friend class FakeObjectBase;
};

// Shared bookkeeping of every fake object: the environment, the public
// reference count and the internal bindings that keep a released object alive.
class FakeObjectBase {
public:
    FakeObjectBase(FakeD3D9* env, const char* kind);
    virtual ~FakeObjectBase();
    FakeD3D9* Env() const { return env_; }
    ULONG RefCount() const { return refs_; }
    ULONG Binds() const { return binds_; }
    // Internal references (bindings to the device, captures in state blocks).
    void Bind() { ++binds_; }
    void Unbind();
    void Orphan();

protected:
    ULONG DoAddRef();
    ULONG DoRelease();
    // Called once when the public count reaches 0 (before deletion).
    virtual void OnFinalRelease() {}
    FakeD3D9* env_;
    const char* kind_;
    ULONG refs_ = 1;
    ULONG binds_ = 0;
    bool finalReleased_ = false;
};

// ---- IDirect3D9 -------------------------------------------------------------
class FakeDirect3D9 : public IDirect3D9, public FakeObjectBase {
public:
    explicit FakeDirect3D9(FakeD3D9* env);
    ~FakeDirect3D9() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void* pInitializeFunction) override;
    UINT STDMETHODCALLTYPE GetAdapterCount() override;
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9* pIdentifier) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                                              D3DFORMAT BackBufferFormat, BOOL bWindowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                DWORD Usage, D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType,
                                                         D3DFORMAT SurfaceFormat, BOOL Windowed,
                                                         D3DMULTISAMPLE_TYPE MultiSampleType,
                                                         DWORD* pQualityLevels) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                     D3DFORMAT RenderTargetFormat,
                                                     D3DFORMAT DepthStencilFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType,
                                                          D3DFORMAT SourceFormat, D3DFORMAT TargetFormat) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT Adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                           DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                           IDirect3DDevice9** ppReturnedDeviceInterface) override;
};

// ---- Resources ---------------------------------------------------------------

// Memory of one surface in the Direct3D layout of its format.
struct FakeImage {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0, height = 0;
    UINT pitch = 0;   // bytes per row of pixels, or per row of 4x4 blocks
    UINT rows = 0;    // rows of pixels, or of blocks
    std::vector<BYTE> bits;
    void Allocate(D3DFORMAT fmt, UINT w, UINT h);
};

// Bytes per pixel (or per 4x4 block when *blockDim is 4); 0 for an unknown format.
UINT FakeFormatBytes(D3DFORMAT fmt, UINT* blockDim = nullptr);
bool FakeIsDepthFormat(D3DFORMAT fmt);
bool FakeHasStencil(D3DFORMAT fmt);

class FakeSurface : public IDirect3DSurface9, public FakeObjectBase {
public:
    // A stand-alone surface (render target, depth stencil, off-screen plain).
    FakeSurface(FakeDevice* device, D3DFORMAT fmt, UINT w, UINT h, DWORD usage, D3DPOOL pool, BOOL lockable,
                D3DMULTISAMPLE_TYPE ms = D3DMULTISAMPLE_NONE);
    // A level of a texture: its reference count is the texture's.
    FakeSurface(FakeTexture* container, UINT level);
    ~FakeSurface() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override;
    DWORD STDMETHODCALLTYPE SetPriority(DWORD PriorityNew) override;
    DWORD STDMETHODCALLTYPE GetPriority() override;
    void STDMETHODCALLTYPE PreLoad() override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override;
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* phdc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hdc) override;

    FakeImage& Image();
    const D3DSURFACE_DESC& Desc() const { return desc_; }
    bool Locked() const { return locked_; }
    FakeTexture* Container() const { return container_; }
    FakeDevice* Device() const { return device_; }
    // Implicit surfaces (back buffers, the automatic depth stencil) belong to
    // the device: their count is their own and holds the device while above 0.
    void MakeImplicit();
    bool Implicit() const { return implicit_; }

private:
    friend class FakeTexture;
    void OnFinalRelease() override;
    FakeDevice* device_;
    FakeTexture* container_ = nullptr;
    UINT level_ = 0;
    D3DSURFACE_DESC desc_{};
    FakeImage own_;
    bool lockable_ = true;
    bool locked_ = false;
    bool implicit_ = false;
};

class FakeTexture : public IDirect3DTexture9, public FakeObjectBase {
public:
    FakeTexture(FakeDevice* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT fmt, D3DPOOL pool);
    ~FakeTexture() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override;
    DWORD STDMETHODCALLTYPE SetPriority(DWORD PriorityNew) override;
    DWORD STDMETHODCALLTYPE GetPriority() override;
    void STDMETHODCALLTYPE PreLoad() override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override;
    DWORD STDMETHODCALLTYPE SetLOD(DWORD LODNew) override;
    DWORD STDMETHODCALLTYPE GetLOD() override;
    DWORD STDMETHODCALLTYPE GetLevelCount() override;
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE FilterType) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override;
    void STDMETHODCALLTYPE GenerateMipSubLevels() override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(CONST RECT* pDirtyRect) override;

    FakeDevice* Device() const { return device_; }
    UINT Levels() const { return (UINT)levels_.size(); }
    FakeImage& Level(UINT i) { return levels_[i]; }
    FakeSurface* SurfaceLevel(UINT i) { return surfaces_[i]; }
    DWORD Usage() const { return usage_; }
    D3DPOOL Pool() const { return pool_; }
    D3DFORMAT Format() const { return format_; }
    bool AnyLevelLocked() const;

private:
    friend class FakeSurface;
    void OnFinalRelease() override;
    FakeDevice* device_;
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    DWORD lod_ = 0, priority_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
    std::vector<FakeImage> levels_;
    std::vector<FakeSurface*> surfaces_;
};

class FakeVertexBuffer : public IDirect3DVertexBuffer9, public FakeObjectBase {
public:
    FakeVertexBuffer(FakeDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~FakeVertexBuffer() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override;
    DWORD STDMETHODCALLTYPE SetPriority(DWORD PriorityNew) override;
    DWORD STDMETHODCALLTYPE GetPriority() override;
    void STDMETHODCALLTYPE PreLoad() override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override;
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

    std::vector<BYTE>& Bytes() { return bytes_; }
    const D3DVERTEXBUFFER_DESC& Desc() const { return desc_; }
    int LockCount() const { return locks_; }
    FakeDevice* Device() const { return device_; }

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    D3DVERTEXBUFFER_DESC desc_{};
    std::vector<BYTE> bytes_;
    int locks_ = 0;
};

class FakeIndexBuffer : public IDirect3DIndexBuffer9, public FakeObjectBase {
public:
    FakeIndexBuffer(FakeDevice* device, UINT length, DWORD usage, D3DFORMAT fmt, D3DPOOL pool);
    ~FakeIndexBuffer() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override;
    DWORD STDMETHODCALLTYPE SetPriority(DWORD PriorityNew) override;
    DWORD STDMETHODCALLTYPE GetPriority() override;
    void STDMETHODCALLTYPE PreLoad() override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override;
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    std::vector<BYTE>& Bytes() { return bytes_; }
    const D3DINDEXBUFFER_DESC& Desc() const { return desc_; }
    int LockCount() const { return locks_; }
    FakeDevice* Device() const { return device_; }

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    D3DINDEXBUFFER_DESC desc_{};
    std::vector<BYTE> bytes_;
    int locks_ = 0;
};

class FakeVertexDeclaration : public IDirect3DVertexDeclaration9, public FakeObjectBase {
public:
    FakeVertexDeclaration(FakeDevice* device, const D3DVERTEXELEMENT9* elements);
    ~FakeVertexDeclaration() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;
    const std::vector<D3DVERTEXELEMENT9>& Elements() const { return elements_; } // with the end marker

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    std::vector<D3DVERTEXELEMENT9> elements_;
};

class FakeVertexShader : public IDirect3DVertexShader9, public FakeObjectBase {
public:
    FakeVertexShader(FakeDevice* device, const DWORD* function);
    ~FakeVertexShader() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetFunction(void* pData, UINT* pSizeOfData) override;

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    std::vector<DWORD> tokens_;
};

class FakePixelShader : public IDirect3DPixelShader9, public FakeObjectBase {
public:
    FakePixelShader(FakeDevice* device, const DWORD* function);
    ~FakePixelShader() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetFunction(void* pData, UINT* pSizeOfData) override;

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    std::vector<DWORD> tokens_;
};

class FakeStateBlock : public IDirect3DStateBlock9, public FakeObjectBase {
public:
    // A block of one type, capturing the device's current states.
    FakeStateBlock(FakeDevice* device, D3DSTATEBLOCKTYPE type);
    // A block being recorded (BeginStateBlock): empty until states are set.
    explicit FakeStateBlock(FakeDevice* device);
    ~FakeStateBlock() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE Capture() override;
    HRESULT STDMETHODCALLTYPE Apply() override;

    // What the block carries, and the values it would apply.
    const FakeStateMask& Mask() const { return mask_; }
    const FakeStates& Values() const { return values_; }
    bool Recorded() const { return recorded_; }
    D3DSTATEBLOCKTYPE Type() const { return type_; }
    bool CarriesRenderState(D3DRENDERSTATETYPE s) const;
    DWORD RenderState(D3DRENDERSTATETYPE s) const;
    bool CarriesSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const;
    DWORD SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const;
    bool CarriesStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const;
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const;
    bool CarriesLight(DWORD index) const { return mask_.lights.count(index) != 0; }

    // Used by the device while recording.
    FakeStateMask& MutableMask() { return mask_; }
    FakeStates& MutableValues() { return values_; }

private:
    void OnFinalRelease() override;
    FakeDevice* device_;
    D3DSTATEBLOCKTYPE type_ = D3DSBT_ALL;
    bool recorded_ = false;
    FakeStateMask mask_;
    FakeStates values_;
};

// ---- IDirect3DDevice9 ---------------------------------------------------------
class FakeDevice : public IDirect3DDevice9, public FakeObjectBase {
public:
    FakeDevice(FakeDirect3D9* d3d, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
               const D3DPRESENT_PARAMETERS& params);
    ~FakeDevice() override;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    // IDirect3DDevice9
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override;
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override;
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap) override;
    void STDMETHODCALLTYPE SetCursorPosition(int X, int Y, DWORD Flags) override;
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL bShow) override;
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                                        IDirect3DSwapChain9** pSwapChain) override;
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) override;
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                                      const _RGNDATA* pDirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9** ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL bEnableDialogs) override;
    void STDMETHODCALLTYPE SetGammaRamp(UINT iSwapChain, DWORD Flags, CONST D3DGAMMARAMP* pRamp) override;
    void STDMETHODCALLTYPE GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                                            HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                                  D3DFORMAT Format, D3DPOOL Pool,
                                                  IDirect3DVolumeTexture9** ppVolumeTexture,
                                                  HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, IDirect3DCubeTexture9** ppCubeTexture,
                                                HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                                 IDirect3DVertexBuffer9** ppVertexBuffer,
                                                 HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                IDirect3DIndexBuffer9** ppIndexBuffer,
                                                HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                                 D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                 BOOL Lockable, IDirect3DSurface9** ppSurface,
                                                 HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                        D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                        BOOL Discard, IDirect3DSurface9** ppSurface,
                                                        HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* pSourceSurface, CONST RECT* pSourceRect,
                                            IDirect3DSurface9* pDestinationSurface,
                                            CONST POINT* pDestPoint) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* pSourceTexture,
                                            IDirect3DBaseTexture9* pDestinationTexture) override;
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* pRenderTarget,
                                                  IDirect3DSurface9* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* pSourceSurface, CONST RECT* pSourceRect,
                                          IDirect3DSurface9* pDestSurface, CONST RECT* pDestRect,
                                          D3DTEXTUREFILTERTYPE Filter) override;
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* pSurface, CONST RECT* pRect, D3DCOLOR color) override;
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                                          IDirect3DSurface9** ppSurface,
                                                          HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, CONST D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                                    DWORD Stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE SetViewport(CONST D3DVIEWPORT9* pViewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(CONST D3DMATERIAL9* pMaterial) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* pMaterial) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD Index, CONST D3DLIGHT9* pLight) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT9* pLight) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD Index, CONST float* pPlane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float* pPlane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** ppSB) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(CONST D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT PaletteNumber, const tagPALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber, tagPALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE SetScissorRect(CONST RECT* pRect) override;
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* pRect) override;
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL bSoftware) override;
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override;
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float nSegments) override;
    float STDMETHODCALLTYPE GetNPatchMode() override;
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                            UINT PrimitiveCount) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex,
                                                   UINT MinVertexIndex, UINT NumVertices, UINT startIndex,
                                                   UINT primCount) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                              CONST void* pVertexStreamZeroData,
                                              UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                                     UINT NumVertices, UINT PrimitiveCount,
                                                     CONST void* pIndexData, D3DFORMAT IndexDataFormat,
                                                     CONST void* pVertexStreamZeroData,
                                                     UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                              IDirect3DVertexBuffer9* pDestBuffer,
                                              IDirect3DVertexDeclaration9* pVertexDecl, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(CONST D3DVERTEXELEMENT9* pVertexElements,
                                                      IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD FVF) override;
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* pFVF) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(CONST DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT StartRegister, CONST float* pConstantData,
                                                       UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT StartRegister, float* pConstantData,
                                                       UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT StartRegister, CONST int* pConstantData,
                                                       UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT StartRegister, int* pConstantData,
                                                       UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT StartRegister, CONST BOOL* pConstantData,
                                                       UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT StartRegister, BOOL* pConstantData,
                                                       UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                              UINT OffsetInBytes, UINT Stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData,
                                              UINT* pOffsetInBytes, UINT* pStride) override;
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT StreamNumber, UINT Setting) override;
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(CONST DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT StartRegister, CONST float* pConstantData,
                                                      UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT StartRegister, float* pConstantData,
                                                      UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT StartRegister, CONST int* pConstantData,
                                                      UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT StartRegister, int* pConstantData,
                                                      UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT StartRegister, CONST BOOL* pConstantData,
                                                      UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT StartRegister, BOOL* pConstantData,
                                                      UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT Handle, CONST float* pNumSegs,
                                            CONST D3DRECTPATCH_INFO* pRectPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT Handle, CONST float* pNumSegs,
                                           CONST D3DTRIPATCH_INFO* pTriPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override;
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override;

    // ---- Inspection without logging ----
    const FakeStates& States() const { return state_; }
    DWORD RenderState(D3DRENDERSTATETYPE s) const;
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const;
    DWORD SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const;
    const D3DMATRIX& Transform(D3DTRANSFORMSTATETYPE t) const;
    IDirect3DBaseTexture9* Texture(DWORD sampler) const;
    bool HasLight(DWORD index) const { return state_.lights.count(index) != 0; }
    D3DLIGHT9 Light(DWORD index) const;
    bool LightEnabled(DWORD index) const;
    const D3DPRESENT_PARAMETERS& Params() const { return params_; }
    DWORD BehaviorFlags() const { return behavior_; }
    bool InScene() const { return inScene_; }
    bool Recording() const { return recording_ != nullptr; }
    UINT Presents() const { return presents_; }
    FakeSurface* BackBuffer(UINT i) const { return i < backBuffers_.size() ? backBuffers_[i] : nullptr; }
    FakeSurface* AutoDepthStencil() const { return autoDepth_; }
    FakeSurface* CurrentRenderTarget() const { return renderTarget_; }
    FakeSurface* CurrentDepthStencil() const { return depthStencil_; }
    FakeDirect3D9* Direct3D() const { return d3d_; }

    // The documented defaults of a new device with this back buffer and depth set-up.
    static void Defaults(FakeStates& s, bool autoDepth, UINT width, UINT height);

    // Used by the fake objects.
    void ResourceCreated() { DoAddRef(); }
    void ResourceReleased() { DoRelease(); }
    FakeStates& MutableStates() { return state_; }

private:
    void OnFinalRelease() override;
    // The states a set goes to: the block being recorded, or the device.
    FakeStates& Target() { return recording_ ? recording_->MutableValues() : state_; }
    FakeStateMask* RecordMask() { return recording_ ? &recording_->MutableMask() : nullptr; }
    void CreateSwapChain();
    void ReleaseSwapChain();
    HRESULT CheckDraw(FakeCall& call, D3DPRIMITIVETYPE type, UINT count);
    void RecordDraw(const FakeCall& call, D3DPRIMITIVETYPE type, UINT count);
    template <class T> void SetBound(T*& slot, T* value);

    FakeDirect3D9* d3d_;
    UINT adapter_;
    D3DDEVTYPE type_;
    HWND focus_;
    DWORD behavior_;
    D3DPRESENT_PARAMETERS params_;
    FakeStates state_;
    FakeStateBlock* recording_ = nullptr;
    std::vector<FakeSurface*> backBuffers_;
    FakeSurface* autoDepth_ = nullptr;
    FakeSurface* renderTarget_ = nullptr;
    FakeSurface* depthStencil_ = nullptr;
    bool inScene_ = false;
    bool notReset_ = false;  // a Reset failed, and none has succeeded since
    BOOL softwareVP_ = FALSE;
    UINT presents_ = 0;
    D3DCLIPSTATUS9 clipStatus_{};
    UINT palette_ = 0;
};

// The opening of a fake method: records the call with its arguments as `call`
// (through the object's `env_`) and returns the failure scripted for it, if any.
#define FAKE_CALL(call, method, ...)                   \
    FakeCall& call = env_->Begin(method, __VA_ARGS__); \
    if (FAILED(call.result))                           \
    return call.result
