// D3DX9 effects: HLSL effect files with parameters, techniques and passes,
// compiled when the effect is created and applied to the device by
// Begin/BeginPass/CommitChanges/EndPass/End.
#pragma once

#include "d3dx9core.h"
#include "d3dx9math.h"
#include "d3dx9shader.h"

// A parameter, annotation, technique or pass: the handle a getter returned,
// or a name.
typedef LPCSTR D3DXHANDLE;
typedef D3DXHANDLE* LPD3DXHANDLE;

#define D3DXFX_DONOTSAVESTATE (1 << 0)
#define D3DXFX_DONOTSAVESHADERSTATE (1 << 1)
#define D3DXFX_DONOTSAVESAMPLERSTATE (1 << 2)
#define D3DXFX_NOT_CLONEABLE (1 << 11)
#define D3DXFX_LARGEADDRESSAWARE (1 << 17)

#define D3DX_PARAMETER_SHARED (1 << 0)
#define D3DX_PARAMETER_LITERAL (1 << 1)
#define D3DX_PARAMETER_ANNOTATION (1 << 2)

enum D3DXPARAMETER_CLASS {
    D3DXPC_SCALAR,
    D3DXPC_VECTOR,
    D3DXPC_MATRIX_ROWS,
    D3DXPC_MATRIX_COLUMNS,
    D3DXPC_OBJECT,
    D3DXPC_STRUCT,
    D3DXPC_FORCE_DWORD = 0x7fffffff
};

enum D3DXPARAMETER_TYPE {
    D3DXPT_VOID,
    D3DXPT_BOOL,
    D3DXPT_INT,
    D3DXPT_FLOAT,
    D3DXPT_STRING,
    D3DXPT_TEXTURE,
    D3DXPT_TEXTURE1D,
    D3DXPT_TEXTURE2D,
    D3DXPT_TEXTURE3D,
    D3DXPT_TEXTURECUBE,
    D3DXPT_SAMPLER,
    D3DXPT_SAMPLER1D,
    D3DXPT_SAMPLER2D,
    D3DXPT_SAMPLER3D,
    D3DXPT_SAMPLERCUBE,
    D3DXPT_PIXELSHADER,
    D3DXPT_VERTEXSHADER,
    D3DXPT_PIXELFRAGMENT,
    D3DXPT_VERTEXFRAGMENT,
    D3DXPT_UNSUPPORTED,
    D3DXPT_FORCE_DWORD = 0x7fffffff
};

struct D3DXEFFECT_DESC {
    LPCSTR Creator;
    UINT Parameters;
    UINT Techniques;
    UINT Functions;
};

struct D3DXPARAMETER_DESC {
    LPCSTR Name;
    LPCSTR Semantic;
    D3DXPARAMETER_CLASS Class;
    D3DXPARAMETER_TYPE Type;
    UINT Rows;
    UINT Columns;
    UINT Elements;
    UINT Annotations;
    UINT StructMembers;
    DWORD Flags;
    UINT Bytes;
};

struct D3DXTECHNIQUE_DESC {
    LPCSTR Name;
    UINT Passes;
    UINT Annotations;
};

struct D3DXPASS_DESC {
    LPCSTR Name;
    UINT Annotations;
    const DWORD* pVertexShaderFunction;
    const DWORD* pPixelShaderFunction;
};

struct D3DXFUNCTION_DESC {
    LPCSTR Name;
    UINT Annotations;
};

// Parameters shared between effects; this layer shares none, so a pool only
// stands for the argument.
struct ID3DXEffectPool : public IUnknown {
};
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;

extern const IID IID_ID3DXBaseEffect;
extern const IID IID_ID3DXEffect;

struct ID3DXBaseEffect : public IUnknown {
    virtual HRESULT GetDesc(D3DXEFFECT_DESC* pDesc) = 0;
    virtual HRESULT GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) = 0;
    virtual HRESULT GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) = 0;
    virtual HRESULT GetPassDesc(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc) = 0;
    virtual HRESULT GetFunctionDesc(D3DXHANDLE hShader, D3DXFUNCTION_DESC* pDesc) = 0;
    virtual D3DXHANDLE GetParameter(D3DXHANDLE hParameter, UINT Index) = 0;
    virtual D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) = 0;
    virtual D3DXHANDLE GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic) = 0;
    virtual D3DXHANDLE GetParameterElement(D3DXHANDLE hParameter, UINT ElementIndex) = 0;
    virtual D3DXHANDLE GetTechnique(UINT Index) = 0;
    virtual D3DXHANDLE GetTechniqueByName(LPCSTR pName) = 0;
    virtual D3DXHANDLE GetPass(D3DXHANDLE hTechnique, UINT Index) = 0;
    virtual D3DXHANDLE GetPassByName(D3DXHANDLE hTechnique, LPCSTR pName) = 0;
    virtual D3DXHANDLE GetFunction(UINT Index) = 0;
    virtual D3DXHANDLE GetFunctionByName(LPCSTR pName) = 0;
    virtual D3DXHANDLE GetAnnotation(D3DXHANDLE hObject, UINT Index) = 0;
    virtual D3DXHANDLE GetAnnotationByName(D3DXHANDLE hObject, LPCSTR pName) = 0;
    virtual HRESULT SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) = 0;
    virtual HRESULT GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) = 0;
    virtual HRESULT SetBool(D3DXHANDLE hParameter, BOOL b) = 0;
    virtual HRESULT GetBool(D3DXHANDLE hParameter, BOOL* pb) = 0;
    virtual HRESULT SetBoolArray(D3DXHANDLE hParameter, const BOOL* pb, UINT Count) = 0;
    virtual HRESULT GetBoolArray(D3DXHANDLE hParameter, BOOL* pb, UINT Count) = 0;
    virtual HRESULT SetInt(D3DXHANDLE hParameter, INT n) = 0;
    virtual HRESULT GetInt(D3DXHANDLE hParameter, INT* pn) = 0;
    virtual HRESULT SetIntArray(D3DXHANDLE hParameter, const INT* pn, UINT Count) = 0;
    virtual HRESULT GetIntArray(D3DXHANDLE hParameter, INT* pn, UINT Count) = 0;
    virtual HRESULT SetFloat(D3DXHANDLE hParameter, FLOAT f) = 0;
    virtual HRESULT GetFloat(D3DXHANDLE hParameter, FLOAT* pf) = 0;
    virtual HRESULT SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) = 0;
    virtual HRESULT GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) = 0;
    virtual HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) = 0;
    virtual HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) = 0;
    virtual HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) = 0;
    virtual HRESULT GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) = 0;
    virtual HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) = 0;
    virtual HRESULT GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) = 0;
    virtual HRESULT SetMatrixPointerArray(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix, UINT Count) = 0;
    virtual HRESULT GetMatrixPointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) = 0;
    virtual HRESULT SetMatrixTranspose(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT GetMatrixTranspose(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT SetMatrixTransposeArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) = 0;
    virtual HRESULT GetMatrixTransposeArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) = 0;
    virtual HRESULT SetMatrixTransposePointerArray(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix,
                                                   UINT Count) = 0;
    virtual HRESULT GetMatrixTransposePointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) = 0;
    virtual HRESULT SetString(D3DXHANDLE hParameter, LPCSTR pString) = 0;
    virtual HRESULT GetString(D3DXHANDLE hParameter, LPCSTR* ppString) = 0;
    virtual HRESULT SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) = 0;
    virtual HRESULT GetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9** ppTexture) = 0;
    virtual HRESULT GetPixelShader(D3DXHANDLE hParameter, IDirect3DPixelShader9** ppPShader) = 0;
    virtual HRESULT GetVertexShader(D3DXHANDLE hParameter, IDirect3DVertexShader9** ppVShader) = 0;
    virtual HRESULT SetArrayRange(D3DXHANDLE hParameter, UINT uStart, UINT uEnd) = 0;
};

struct ID3DXEffect : public ID3DXBaseEffect {
    virtual HRESULT GetPool(ID3DXEffectPool** ppPool) = 0;
    virtual HRESULT SetTechnique(D3DXHANDLE hTechnique) = 0;
    virtual D3DXHANDLE GetCurrentTechnique() = 0;
    virtual HRESULT ValidateTechnique(D3DXHANDLE hTechnique) = 0;
    virtual HRESULT FindNextValidTechnique(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique) = 0;
    virtual BOOL IsParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) = 0;
    // Returns the number of passes of the current technique in *pPasses.
    virtual HRESULT Begin(UINT* pPasses, DWORD Flags) = 0;
    virtual HRESULT BeginPass(UINT Pass) = 0;
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    virtual HRESULT End() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
    virtual HRESULT CloneEffect(IDirect3DDevice9* pDevice, ID3DXEffect** ppEffect) = 0;
    virtual HRESULT SetRawValue(D3DXHANDLE hParameter, LPCVOID pData, UINT ByteOffset, UINT Bytes) = 0;
};
typedef ID3DXEffect* LPD3DXEFFECT;

// Compiles an effect from its text. Flags are D3DXSHADER_* (and
// D3DXFX_NOT_CLONEABLE); on failure *ppCompilationErrors, when asked for,
// holds the messages as "file(line): error: ..." lines.
HRESULT D3DXCreateEffect(IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         ID3DXInclude* pInclude, DWORD Flags, ID3DXEffectPool* pPool, ID3DXEffect** ppEffect,
                         ID3DXBuffer** ppCompilationErrors);
// pSkipConstants: parameter names separated by ';' that the effect leaves to
// the application (it never writes their registers).
HRESULT D3DXCreateEffectEx(IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                           ID3DXInclude* pInclude, LPCSTR pSkipConstants, DWORD Flags, ID3DXEffectPool* pPool,
                           ID3DXEffect** ppEffect, ID3DXBuffer** ppCompilationErrors);
// Without an include handler, #include "x" opens x beside the effect file.
HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                  ID3DXInclude* pInclude, DWORD Flags, ID3DXEffectPool* pPool,
                                  ID3DXEffect** ppEffect, ID3DXBuffer** ppCompilationErrors);
HRESULT D3DXCreateEffectFromFileExA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                    ID3DXInclude* pInclude, LPCSTR pSkipConstants, DWORD Flags,
                                    ID3DXEffectPool* pPool, ID3DXEffect** ppEffect,
                                    ID3DXBuffer** ppCompilationErrors);
#define D3DXCreateEffectFromFile D3DXCreateEffectFromFileA
#define D3DXCreateEffectFromFileEx D3DXCreateEffectFromFileExA
