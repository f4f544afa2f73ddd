// The effect object behind ID3DXEffect: parameters with their values,
// techniques and passes with resolved state assignments, compiled shaders and
// their register tables.
#pragma once

#include "d3dx9effect.h"
#include "fx_parse.h"
#include "fx_states.h"
#include "hlsl_compile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace d3dx9fx {

// Effect files larger than this are refused.
const size_t kMaxEffectFileBytes = 16u << 20;

// A number as a parameter of the given type keeps it: float bits, a rounded
// integer, or TRUE/FALSE; and back.
DWORD StoreNumber(fx::Base base, double v);
double LoadNumber(fx::Base base, DWORD d);

struct Param;

// A state assignment ready for the device: a constant value, or a parameter
// whose value is read each time the state is applied.
struct ResolvedState {
    fx::StateTarget target;
    DWORD bits = 0;
    Param* ref = nullptr;
    int shader = -1;  // VertexShader/PixelShader: index into Effect::m_shaders; -1 sets none
};

struct Param {
    std::string name, semantic;
    fx::Type type;  // of this handle: an element has elements == 0
    DWORD flags = 0;
    bool rowMajor = false;
    Param* root = this;
    unsigned offset = 0;  // first component in the root's data
    // Values, kept by the root.
    std::vector<DWORD> data;  // numeric: one per component (float bits, int, BOOL), matrices row after row
    std::string text;
    IDirect3DBaseTexture9* texture = nullptr;
    std::vector<ResolvedState> samplerStates;
    uint64_t version = 0;  // the effect's change count at the last change
    bool skip = false;     // left to the application: never written to registers
    std::vector<std::unique_ptr<Param>> annotations;
    std::vector<std::unique_ptr<Param>> elements;

    unsigned Components() const { return type.Numeric() ? type.Components() * type.Count() : 0; }
};

struct ShaderObject {
    hlsl::Shader info;
    IUnknown* object = nullptr;  // IDirect3DVertexShader9 or IDirect3DPixelShader9
    std::vector<std::pair<Param*, hlsl::Constant>> constants;
};

struct Technique;

struct PassObject {
    std::string name;
    Technique* technique = nullptr;
    std::vector<std::unique_ptr<Param>> annotations;
    std::vector<ResolvedState> states;
    int vs = -1, ps = -1;
};

struct Technique {
    std::string name;
    std::vector<std::unique_ptr<Param>> annotations;
    std::vector<std::unique_ptr<PassObject>> passes;
    IDirect3DStateBlock9* saved[4] = {nullptr, nullptr, nullptr, nullptr};  // by the save flags
};

struct Function {
    std::string name;
};

class Effect final : public ID3DXEffect {
public:
    Effect(IDirect3DDevice9* device, DWORD flags);
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // Builds everything from the parsed file; false with errors.
    bool Init(const fx::Effect& parsed, const std::string& skipConstants, std::string& errors);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** obj) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ID3DXBaseEffect
    HRESULT GetDesc(D3DXEFFECT_DESC* pDesc) override;
    HRESULT GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) override;
    HRESULT GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) override;
    HRESULT GetPassDesc(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc) override;
    HRESULT GetFunctionDesc(D3DXHANDLE hShader, D3DXFUNCTION_DESC* pDesc) override;
    D3DXHANDLE GetParameter(D3DXHANDLE hParameter, UINT Index) override;
    D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) override;
    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic) override;
    D3DXHANDLE GetParameterElement(D3DXHANDLE hParameter, UINT ElementIndex) override;
    D3DXHANDLE GetTechnique(UINT Index) override;
    D3DXHANDLE GetTechniqueByName(LPCSTR pName) override;
    D3DXHANDLE GetPass(D3DXHANDLE hTechnique, UINT Index) override;
    D3DXHANDLE GetPassByName(D3DXHANDLE hTechnique, LPCSTR pName) override;
    D3DXHANDLE GetFunction(UINT Index) override;
    D3DXHANDLE GetFunctionByName(LPCSTR pName) override;
    D3DXHANDLE GetAnnotation(D3DXHANDLE hObject, UINT Index) override;
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE hObject, LPCSTR pName) override;
    HRESULT SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) override;
    HRESULT GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) override;
    HRESULT SetBool(D3DXHANDLE hParameter, BOOL b) override;
    HRESULT GetBool(D3DXHANDLE hParameter, BOOL* pb) override;
    HRESULT SetBoolArray(D3DXHANDLE hParameter, const BOOL* pb, UINT Count) override;
    HRESULT GetBoolArray(D3DXHANDLE hParameter, BOOL* pb, UINT Count) override;
    HRESULT SetInt(D3DXHANDLE hParameter, INT n) override;
    HRESULT GetInt(D3DXHANDLE hParameter, INT* pn) override;
    HRESULT SetIntArray(D3DXHANDLE hParameter, const INT* pn, UINT Count) override;
    HRESULT GetIntArray(D3DXHANDLE hParameter, INT* pn, UINT Count) override;
    HRESULT SetFloat(D3DXHANDLE hParameter, FLOAT f) override;
    HRESULT GetFloat(D3DXHANDLE hParameter, FLOAT* pf) override;
    HRESULT SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) override;
    HRESULT GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) override;
    HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) override;
    HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) override;
    HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) override;
    HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override;
    HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT SetMatrixPointerArray(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix, UINT Count) override;
    HRESULT GetMatrixPointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) override;
    HRESULT SetMatrixTranspose(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) override;
    HRESULT GetMatrixTranspose(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override;
    HRESULT SetMatrixTransposeArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT GetMatrixTransposeArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT SetMatrixTransposePointerArray(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix, UINT Count) override;
    HRESULT GetMatrixTransposePointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) override;
    HRESULT SetString(D3DXHANDLE hParameter, LPCSTR pString) override;
    HRESULT GetString(D3DXHANDLE hParameter, LPCSTR* ppString) override;
    HRESULT SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) override;
    HRESULT GetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT GetPixelShader(D3DXHANDLE hParameter, IDirect3DPixelShader9** ppPShader) override;
    HRESULT GetVertexShader(D3DXHANDLE hParameter, IDirect3DVertexShader9** ppVShader) override;
    HRESULT SetArrayRange(D3DXHANDLE hParameter, UINT uStart, UINT uEnd) override;

    // ID3DXEffect
    HRESULT GetPool(ID3DXEffectPool** ppPool) override;
    HRESULT SetTechnique(D3DXHANDLE hTechnique) override;
    D3DXHANDLE GetCurrentTechnique() override;
    HRESULT ValidateTechnique(D3DXHANDLE hTechnique) override;
    HRESULT FindNextValidTechnique(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique) override;
    BOOL IsParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) override;
    HRESULT Begin(UINT* pPasses, DWORD Flags) override;
    HRESULT BeginPass(UINT Pass) override;
    HRESULT CommitChanges() override;
    HRESULT EndPass() override;
    HRESULT End() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT OnLostDevice() override;
    HRESULT OnResetDevice() override;
    HRESULT CloneEffect(IDirect3DDevice9* pDevice, ID3DXEffect** ppEffect) override;
    HRESULT SetRawValue(D3DXHANDLE hParameter, LPCVOID pData, UINT ByteOffset, UINT Bytes) override;

private:
    enum HandleKind { kParam = 1, kTechnique, kPass, kFunction };

    // Handles: ours, else read as a name.
    Param* ParamOf(D3DXHANDLE h);
    Technique* TechniqueOf(D3DXHANDLE h);
    PassObject* PassOf(D3DXHANDLE h);
    Param* ParamByName(const char* name);
    D3DXHANDLE Handle(const void* object, HandleKind kind);
    void Register(Param* p);

    // Values (d3dx9effect_params.cpp).
    void Touch(Param* p);
    HRESULT WriteNumbers(D3DXHANDLE h, const double* values, UINT count, bool scalarOnly);
    HRESULT ReadNumbers(D3DXHANDLE h, double* values, UINT count, bool scalarOnly);
    HRESULT WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* const* m, UINT count, bool transpose);
    HRESULT ReadMatrices(D3DXHANDLE h, D3DXMATRIX* const* m, UINT count, bool transpose);
    HRESULT WriteVectors(D3DXHANDLE h, const D3DXVECTOR4* v, UINT count);
    HRESULT ReadVectors(D3DXHANDLE h, D3DXVECTOR4* v, UINT count);

    // Building (d3dx9effect.cpp).
    std::unique_ptr<Param> MakeParam(const fx::Parameter& decl, DWORD flags);
    std::unique_ptr<Param> MakeAnnotation(const fx::Annotation& a);
    bool ResolveState(const fx::State& s, bool inSampler, ResolvedState& out, const fx::Effect& parsed,
                      std::string& errors);
    int ShaderFor(const fx::State& s, bool vertex, const fx::Effect& parsed, std::string& errors);

    // Drawing.
    DWORD StateBits(const ResolvedState& s) const;
    void ApplyState(const ResolvedState& s, DWORD stage);
    void ApplySampler(const Param* sampler, DWORD stage);
    void Upload(const Param* p, const hlsl::Constant& c, bool vertex);
    void ApplyPass(const PassObject& pass, bool changesOnly);
    IDirect3DStateBlock9* RecordSavedStates(const Technique& t, DWORD flags);
    bool Valid(const Technique& t) const;

    ULONG m_refs = 1;
    IDirect3DDevice9* m_device;
    DWORD m_flags;
    D3DCAPS9 m_caps;
    std::unique_ptr<fx::Effect> m_parsed;  // kept for CloneEffect
    std::string m_skipConstants;
    std::vector<std::unique_ptr<Param>> m_params;
    std::vector<std::unique_ptr<Technique>> m_techniques;
    std::vector<std::unique_ptr<Function>> m_functions;
    std::vector<std::unique_ptr<ShaderObject>> m_shaders;
    std::unordered_map<std::string, int> m_shaderKeys;
    std::unordered_map<const void*, HandleKind> m_handles;
    std::unordered_map<std::string, Param*> m_byName;
    Technique* m_current = nullptr;
    uint64_t m_changes = 1;
    // Begin..End
    bool m_begun = false;
    int m_pass = -1;
    uint64_t m_committed = 0;
    IDirect3DStateBlock9* m_restore = nullptr;
};

} // namespace d3dx9fx
