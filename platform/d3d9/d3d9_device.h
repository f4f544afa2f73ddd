// Layer-internal: the device. Its work is split by concern:
//   d3d9_device.cpp   life cycle, queries, resource creation, the swap chain
//   d3d9_states.cpp   render, stage and sampler states (with what each one
//                     makes stale), transforms, lights, vertex input, state blocks
//   d3d9_shaders.cpp  application shaders and their constant registers
//   d3d9_targets.cpp  render targets, copies, clears and presents
//   d3d9_draw.cpp     draws, prepared in a few named steps
//   d3d9_ffstate.cpp  the fixed-function keys and uniforms of a draw
#pragma once

#include "d3d9_ffp.h"
#include "d3d9_glstate.h"
#include "d3d9_impl.h"
#include "d3d9_layout.h"
#include "d3d9_pipelines.h"

#include <string>

#include <map>
#include <set>

namespace d3d9gl {

class SwapChainImpl;

// Where the back buffer keeps its pixels: Auto draws it in place in the
// window's framebuffer where the window can hold it (presenting without a
// copy) and in a texture of its own otherwise; Copy always in the texture,
// copied to the window at Present. Read from NIMB_D3D9_PRESENT ("copy"; else
// Auto) when a device is made.
enum class PresentPath { Auto, Copy };
PresentPath PresentPathSetting();
// Overrides the variable for devices made after it (tests); false restores it.
void SetPresentPath(PresentPath path, bool overridden);

class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D9Impl* d3d, SDL_Window* window, void* context, const D3DPRESENT_PARAMETERS& pp,
           const D3DDEVICE_CREATION_PARAMETERS& cp);
    // Creates the GL objects and the implicit surfaces; false on failure.
    bool Init();

    void MakeCurrent();
    void ForgetSurface(SurfaceImpl* s);
    // Resources of the default pool, which the application releases before a Reset.
    void NoteDefaultPool(DeviceChild* c);
    void ForgetChild(DeviceChild* c);
    bool HasStencil() const;

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDirect3DDevice9
    HRESULT TestCooperativeLevel() override { return m_notReset ? D3DERR_DEVICENOTRESET : S_OK; }
    UINT GetAvailableTextureMem() override { return 512u << 20; }
    HRESULT EvictManagedResources() override { return S_OK; }
    HRESULT GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    // The cursor picture goes to the Windows layer, which shows it in place
    // of the window cursor while ShowCursor has it on.
    HRESULT SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap) override;
    void SetCursorPosition(int X, int Y, DWORD Flags) override;
    BOOL ShowCursor(BOOL bShow) override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9**) override
    { return D3DERR_NOTAVAILABLE; }
    HRESULT GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** ppSwapChain) override;
    UINT GetNumberOfSwapChains() override { return 1; }
    HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const _RGNDATA* pDirtyRegion) override;
    HRESULT GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                          IDirect3DSurface9** ppBackBuffer) override;
    HRESULT GetRasterStatus(UINT, D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT SetDialogBoxMode(BOOL) override { return S_OK; }
    void SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP*) override {}
    void GetGammaRamp(UINT, D3DGAMMARAMP* pRamp) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    HRESULT CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9** pp,
                                HANDLE*) override
    { if (pp) *pp = nullptr; return D3DERR_NOTAVAILABLE; }
    HRESULT CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** pp, HANDLE*) override
    { if (pp) *pp = nullptr; return D3DERR_NOTAVAILABLE; }
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                               DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface,
                               HANDLE* pSharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                      DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9** ppSurface,
                                      HANDLE* pSharedHandle) override;
    HRESULT UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                          IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* pSourceTexture, IDirect3DBaseTexture9* pDestinationTexture) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* pRenderTarget, IDirect3DSurface9* pDestSurface) override;
    HRESULT GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface) override;
    HRESULT StretchRect(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect, IDirect3DSurface9* pDestSurface,
                        const RECT* pDestRect, D3DTEXTUREFILTERTYPE Filter) override;
    HRESULT ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) override;
    HRESULT CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                        IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
    HRESULT SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* pMaterial) override;
    HRESULT GetMaterial(D3DMATERIAL9* pMaterial) override;
    HRESULT SetLight(DWORD Index, const D3DLIGHT9* pLight) override;
    HRESULT GetLight(DWORD Index, D3DLIGHT9* pLight) override;
    HRESULT LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT SetClipPlane(DWORD Index, const float* pPlane) override;
    HRESULT GetClipPlane(DWORD Index, float* pPlane) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override;
    HRESULT BeginStateBlock() override;
    HRESULT EndStateBlock(IDirect3DStateBlock9** ppSB) override;
    HRESULT SetClipStatus(const D3DCLIPSTATUS9*) override { return S_OK; }
    HRESULT GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT ValidateDevice(DWORD* pNumPasses) override;
    // Test seam: validate against these capabilities instead (null: m_caps).
    void SetValidationCaps(const D3DCAPS9* caps) { m_validationCaps.reset(caps ? new D3DCAPS9(*caps) : nullptr); }
    HRESULT SetPaletteEntries(UINT, const tagPALETTEENTRY*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetPaletteEntries(UINT, tagPALETTEENTRY*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetCurrentTexturePalette(UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT GetCurrentTexturePalette(UINT*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetScissorRect(const RECT* pRect) override;
    HRESULT GetScissorRect(RECT* pRect) override;
    HRESULT SetSoftwareVertexProcessing(BOOL bSoftware) override;
    BOOL GetSoftwareVertexProcessing() override { return m_softwareVP; }
    HRESULT SetNPatchMode(float) override { return S_OK; }
    float GetNPatchMode() override { return 0.0f; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                 UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                            UINT VertexStreamZeroStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                   UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                   const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*, DWORD) override
    { return D3DERR_NOTAVAILABLE; }
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                    IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT GetFVF(DWORD* pFVF) override;
    HRESULT CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** ppShader) override;
    HRESULT SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;
    HRESULT GetVertexShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override;
    HRESULT SetVertexShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override;
    HRESULT GetVertexShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override;
    HRESULT SetVertexShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override;
    HRESULT GetVertexShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                            UINT Stride) override;
    HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                            UINT* pStride) override;
    HRESULT SetStreamSourceFreq(UINT StreamNumber, UINT Setting) override;
    HRESULT GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;
    HRESULT CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** ppShader) override;
    HRESULT SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;
    HRESULT GetPixelShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override;
    HRESULT SetPixelShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override;
    HRESULT GetPixelShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override;
    HRESULT SetPixelShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override;
    HRESULT GetPixelShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override;
    HRESULT DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) override { return D3DERR_NOTAVAILABLE; }
    HRESULT DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) override { return D3DERR_NOTAVAILABLE; }
    HRESULT DeletePatch(UINT) override { return D3DERR_NOTAVAILABLE; }
    HRESULT CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** ppQuery) override
    { if (ppQuery) *ppQuery = nullptr; return D3DERR_NOTAVAILABLE; }

    // Applies a state block's values through the setters.
    void ApplyBlock(const StateMask& mask, const DeviceState& values);
    DeviceState& State() { return m_state; }
    bool Recording() const { return m_recording != nullptr; }
    // The GL state the device last set, and its counters.
    GLStateCache& GL() { return m_gl; }
    const GLCounters& Counters() const { return m_gl.counters; }
    // Shader objects and programs made so far.
    const FFCache& Programs() const { return *m_ff; }
    // Waits for the programs being compiled in the background, and makes the
    // first draws of the prepared pipeline states.
    void WaitForPrograms();
    // Links the program of a shader pair now rather than at its first draw.
    bool PrepareProgram(VertexShaderImpl* vs, PixelShaderImpl* ps);
    ProgramPath Path() const { return m_path; }
    // Whether the back buffer is drawn in place in the window now.
    bool BackBufferInWindow() const { return m_inWindow; }
    // A surface about to be written other than by drawing (a lock) keeps its
    // pixels in its own storage from now on.
    void NeedOwnStorage(SurfaceImpl* s);
    GLuint FramebufferFor(SurfaceImpl* color, SurfaceImpl* depth);
    void SetAutogenDirty(SurfaceImpl* rt);
    void ForgetShader(GLuint shader);
    void ForgetTexture(GLuint name);
    // Textures and buffers (not dynamic ones) written since the last Present:
    // uploaded after it unless a draw did so first, so that what an
    // application loads is uploaded while it loads rather than in the first
    // frame that draws it.
    void NoteWritten(TextureImpl* t) { m_writtenTextures.insert(t); }
    void NoteWritten(VertexBufferImpl* b) { m_writtenVertexBuffers.insert(b); }
    void NoteWritten(IndexBufferImpl* b) { m_writtenIndexBuffers.insert(b); }
    void ForgetWritten(TextureImpl* t) { m_writtenTextures.erase(t); }
    void ForgetWritten(VertexBufferImpl* b) { m_writtenVertexBuffers.erase(b); }
    void ForgetWritten(IndexBufferImpl* b) { m_writtenIndexBuffers.erase(b); }
    void ForgetArrayBuffer(GLuint name);
    HRESULT ReadSurface(SurfaceImpl* s, const RECT& r, uint8_t* dst, UINT pitch);

    // What a change makes stale until the next draw.
    enum Dirty : uint32_t {
        DirtyFramebuffer = 1u << 0, DirtyBlend = 1u << 1, DirtyDepthStencil = 1u << 2, DirtyRaster = 1u << 3,
        DirtyViewport = 1u << 4, DirtyScissor = 1u << 5, DirtySamplers = 1u << 6, DirtyInput = 1u << 7,
        DirtyLayout = 1u << 8, DirtyVertexKey = 1u << 9, DirtyPixelKey = 1u << 10, DirtyShaders = 1u << 11,
        DirtyTextures = 1u << 12,
        DirtyKeys = DirtyVertexKey | DirtyPixelKey,
        // What shapes the pipeline state a rasteriser builds code for.
        DirtyPipeline = DirtyFramebuffer | DirtyBlend | DirtyDepthStencil | DirtyRaster | DirtySamplers | DirtyLayout |
                        DirtyKeys | DirtyTextures,
        DirtyAll = 0xffffffffu
    };
    void MarkDirty(uint32_t bits) { m_dirty |= bits; }

private:
    ~Device();
    void Destroy();
    bool CreateImplicitSurfaces();
    bool ClearImplicitSurfaces();
    bool DefaultPoolHeld() const;
    void ReleaseImplicitSurfaces();

    // States (d3d9_states.cpp).
    void MarkRenderState(DWORD state);
    void MarkTransform(int slot);

    // Targets (d3d9_targets.cpp).
    void ApplyFramebuffer();
    // The back buffer and the implicit depth-stencil surface in the window's
    // framebuffer: whether the window can hold them now, moving them out of it
    // (a copy) and back (at Present), and window rows from Direct3D's.
    bool WindowFits() const;
    bool InWindow(const SurfaceImpl* s) const { return m_inWindow && s == m_backBuffer; }
    void LeaveWindow();
    void EnterWindow();
    void CopyFlipped(GLuint from, GLuint to, bool depth);
    void ThrottleFrames();
    void TargetScissor(LONG left, LONG top, LONG right, LONG bottom);
    GLint WindowRow(LONG y) const { return (GLint)m_backBuffer->height - (GLint)y; }
    bool SurfaceRect(SurfaceImpl* s, const RECT* r, RECT& out);
    // A GL texture holding an off-screen plain surface's memory (the caller deletes it).
    GLuint UploadPlainSurface(SurfaceImpl* s);

    // Draws (d3d9_draw.cpp): a draw's preparation, step by step.
    struct UserVertices {
        GLuint buffer;
        UINT stride;
    };
    HRESULT PrepareDraw(D3DPRIMITIVETYPE type, const UserVertices* up);
    void NotePrimitive(D3DPRIMITIVETYPE type);
    void ApplyOutputState();
    HRESULT PrepareInput();
    HRESULT ChooseProgram();
    void BindTextures();
    HRESULT BindVertexBuffers(const UserVertices* up);
    void AfterDraw();
    void ResetStreamZero();
    // Whether the bound streams hold the vertices (stream 0 aside for a draw from memory).
    bool VerticesInRange(INT first, UINT count, bool userStreamZero = false);
    void ApplyBlend();
    void ApplyDepthStencil();
    void ApplyRaster();
    void ApplyViewport();
    void ApplyScissor();
    void ApplySamplers();

    Program* FixedFunctionProgram();
    void WarmUber();
    int UberPalette() const;
    void UploadKeys(Program* p);

    // Pipeline states: those met noted (d3d9_draw.cpp), the recorded ones
    // prepared at creation and the new ones kept at the end (d3d9_device.cpp).
    void NotePipeline(const UserVertices* up);
    void DescribePipeline(PipelineState& s, const UserVertices* up) const;
    void PreparePipelines();
    void WarmPipelines();
    void UploadWritten();
    void SavePipelines();

    // Fixed-function keys and uniforms (d3d9_ffstate.cpp).
    int ActiveStages() const;
    void BuildVertexKey(FFVertexKey& k) const;
    void BuildPixelKey(FFPixelKey& k, bool shaderInputs) const;
    void ComputeFFUniforms();
    void UploadFFUniforms(Program* p);

    // Application shaders (d3d9_shaders.cpp).
    void UploadShaderConstants(Program* p, bool pixel);
    // Sets registers of a constant bank (in the block being recorded, if one is).
    template <class Bank, class Mask, class T>
    HRESULT SetShaderConstants(Bank DeviceState::*bank, Mask StateMask::*mask, UniformGroup group, UINT start,
                               const T* data, UINT count);

    friend class SurfaceImpl;
    friend class TextureImpl;
    friend class SwapChainImpl;

    ULONG m_refs = 1;
    Direct3D9Impl* m_d3d;
    SDL_Window* m_window;
    void* m_context;
    D3DPRESENT_PARAMETERS m_pp;
    D3DDEVICE_CREATION_PARAMETERS m_cp;
    D3DCAPS9 m_caps;
    // What ValidateDevice checks against, when a test set it apart from m_caps.
    std::unique_ptr<D3DCAPS9> m_validationCaps;
    bool m_destroying = false;
    bool m_notReset = false;  // a Reset failed, and none has succeeded since
    std::set<DeviceChild*> m_defaultPool;

    SurfaceImpl* m_backBuffer = nullptr;
    SurfaceImpl* m_autoDepth = nullptr;
    SwapChainImpl* m_swapChain = nullptr;
    SurfaceImpl* m_renderTarget = nullptr;   // bound
    SurfaceImpl* m_depthStencil = nullptr;   // bound
    // The back buffer and implicit depth-stencil surface are drawn in the
    // window's framebuffer (rows bottom-up, the clip origin at the top) while
    // m_inWindow; m_windowCapable when the window's framebuffer can hold them
    // at all (sizes, formats, swap effect, the driver's clip control). A use
    // the window cannot serve (another depth surface with the back buffer,
    // the implicit one with a texture, a lock that writes) moves them to their
    // own storage; they go back after kFramesBeforeWindow frames without one.
    bool m_windowCapable = false;
    bool m_inWindow = false;
    bool m_boundWindow = false;   // the framebuffer draws go to is the window's
    bool m_clipUpper = false;     // the clip origin last set
    bool m_storageNeeded = false; // this frame needed the surfaces' own storage
    int m_framesWithoutNeed = 0;
    enum { kFramesBeforeWindow = 30 };
    // Fences of the frames presented and perhaps still being drawn.
    std::vector<GLsync> m_frameFences;
    enum { kFramesInFlight = 2 };
    DeviceState m_state;
    StateBlockImpl* m_recording = nullptr;
    bool m_inScene = false;
    BOOL m_softwareVP = FALSE;
    uint32_t m_dirty = DirtyAll;
    uint32_t m_dirtySamplers = 0xFFFF;

    GLStateCache m_gl;
    GLuint m_vao = 0;
    bool m_vertexArraySettled = false;  // see SettleVertexArray
    std::set<TextureImpl*> m_writtenTextures;
    std::set<VertexBufferImpl*> m_writtenVertexBuffers;
    std::set<IndexBufferImpl*> m_writtenIndexBuffers;
    GLuint m_upVB = 0, m_upIB = 0;
    GLuint m_samplers[kMaxSamplers] = {};
    std::map<std::pair<SurfaceImpl*, SurfaceImpl*>, GLuint> m_fbos;
    std::unique_ptr<FFCache> m_ff;

    // Pipeline states: shipped with the show, the user's, met in this run;
    // where the states met are all written (NIMB_D3D9_PIPELINE_RECORD).
    PipelineSet m_pipelinesShipped, m_pipelinesUser, m_pipelinesSeen;
    PipelineState m_lastPipeline;  // the state noted last (valid once one was)
    bool m_lastPipelineNoted = false;
    bool m_userPipelinesUnreadable = false;
    std::string m_pipelineRecordPath;
    // Recorded states of application shaders, by their vertex and pixel
    // hashes, drawn once when the program of the pair is linked.
    std::multimap<uint64_t, PipelineState> m_shaderPipelines;

    // What the last draw used.
    bool m_points = false;
    VertexLayout m_layout;
    FFVertexKey m_vertexKey{};
    FFPixelKey m_pixelKey{};
    GLuint m_vertexShader = 0, m_fragmentShader = 0;
    Program* m_program = nullptr;
    ProgramPath m_path = ProgramPath::Specialised;
    // The keys the uber program was last given.
    FFVertexKey m_uberVertexKey{};
    FFPixelKey m_uberPixelKey{};
    bool m_uberKeysKnown = false;
    // Specialised programs first drawn in this frame, and how many a frame takes.
    int m_programsTaken = 0;
    enum { kProgramsTakenPerFrame = 2 };
    int m_stages = 0;  // texture stages the program samples
    // Attribute bindings last made (so that unchanged ones are not set again).
    GLuint m_lastAttribBuffers[kMaxStreams] = {};
    UINT m_lastAttribStrides[kMaxStreams] = {};
    UINT m_lastAttribOffsets[kMaxStreams] = {};
    bool m_attribsValid = false;
    bool m_lastUp = false;

    // Serial numbers of uniform groups, raised when their source state changes.
    uint32_t m_serial[UNumGroups] = {};
    // Derived fixed-function uniform values, refreshed by ComputeFFUniforms.
    struct FFUniforms {
        float worldView[kMaxBlendIndex + 1][16];
        float normalMat[kMaxBlendIndex + 1][16];
        float proj[16];
        float texMat[8][16];
        float lightDiffuse[8][4], lightSpecular[8][4], lightAmbient[8][4];
        float lightPos[8][4], lightDir[8][4], lightAtt[8][4], lightSpot[8][4];
        int lightCount;
        float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4], matPower;
        float globalAmbient[4];
        float fog[4];       // start, end, density, perspective projection
        float fogColor[4];
        float point[4];     // size, min, max, viewport height
        float pointScale[4];
        float viewport[4];
        float tfactor[4];
        float stageConst[8][4];
        float alphaRef;
    } m_ffUniforms;
    uint32_t m_ffComputed[UNumGroups] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    int m_ffComputedMatrices = 0;
    int m_blendMatrices = 1;
};

} // namespace d3d9gl
