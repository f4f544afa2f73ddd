// D3DX9 .x files: ID3DXFile reads .x files (text, binary and their compressed
// forms) against registered templates and hands out their data objects.
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"

typedef DWORD D3DXF_FILEFORMAT;
#define D3DXF_FILEFORMAT_BINARY 0
#define D3DXF_FILEFORMAT_TEXT 1
#define D3DXF_FILEFORMAT_COMPRESSED 2

typedef DWORD D3DXF_FILESAVEOPTIONS;
#define D3DXF_FILESAVE_TOFILE 0x00L
#define D3DXF_FILESAVE_TOWFILE 0x01L

typedef DWORD D3DXF_FILELOADOPTIONS;
#define D3DXF_FILELOAD_FROMFILE 0x00L
#define D3DXF_FILELOAD_FROMWFILE 0x01L
#define D3DXF_FILELOAD_FROMRESOURCE 0x02L
#define D3DXF_FILELOAD_FROMMEMORY 0x03L

typedef struct _D3DXF_FILELOADRESOURCE {
    HMODULE hModule;
    LPCSTR lpName;
    LPCSTR lpType;
} D3DXF_FILELOADRESOURCE;

typedef struct _D3DXF_FILELOADMEMORY {
    LPCVOID lpMemory;
    SIZE_T dSize;
} D3DXF_FILELOADMEMORY;

#define _FACD3DXF 0x876
#define D3DXFERR_BADOBJECT MAKE_HRESULT(1, _FACD3DXF, 900)
#define D3DXFERR_BADVALUE MAKE_HRESULT(1, _FACD3DXF, 901)
#define D3DXFERR_BADTYPE MAKE_HRESULT(1, _FACD3DXF, 902)
#define D3DXFERR_NOTFOUND MAKE_HRESULT(1, _FACD3DXF, 903)
#define D3DXFERR_NOTDONEYET MAKE_HRESULT(1, _FACD3DXF, 904)
#define D3DXFERR_FILENOTFOUND MAKE_HRESULT(1, _FACD3DXF, 905)
#define D3DXFERR_RESOURCENOTFOUND MAKE_HRESULT(1, _FACD3DXF, 906)
#define D3DXFERR_BADRESOURCE MAKE_HRESULT(1, _FACD3DXF, 907)
#define D3DXFERR_BADFILETYPE MAKE_HRESULT(1, _FACD3DXF, 908)
#define D3DXFERR_BADFILEVERSION MAKE_HRESULT(1, _FACD3DXF, 909)
#define D3DXFERR_BADFILEFLOATSIZE MAKE_HRESULT(1, _FACD3DXF, 910)
#define D3DXFERR_BADFILE MAKE_HRESULT(1, _FACD3DXF, 911)
#define D3DXFERR_PARSEERROR MAKE_HRESULT(1, _FACD3DXF, 912)
#define D3DXFERR_BADARRAYSIZE MAKE_HRESULT(1, _FACD3DXF, 913)
#define D3DXFERR_BADDATAREFERENCE MAKE_HRESULT(1, _FACD3DXF, 914)
#define D3DXFERR_NOMOREOBJECTS MAKE_HRESULT(1, _FACD3DXF, 915)
#define D3DXFERR_NOMOREDATA MAKE_HRESULT(1, _FACD3DXF, 916)
#define D3DXFERR_BADCACHEFILE MAKE_HRESULT(1, _FACD3DXF, 917)

struct ID3DXFile;
struct ID3DXFileSaveObject;
struct ID3DXFileSaveData;
struct ID3DXFileEnumObject;
struct ID3DXFileData;
typedef ID3DXFile* LPD3DXFILE;
typedef ID3DXFileSaveObject* LPD3DXFILESAVEOBJECT;
typedef ID3DXFileSaveData* LPD3DXFILESAVEDATA;
typedef ID3DXFileEnumObject* LPD3DXFILEENUMOBJECT;
typedef ID3DXFileData* LPD3DXFILEDATA;

extern const IID IID_ID3DXFile;
extern const IID IID_ID3DXFileEnumObject;
extern const IID IID_ID3DXFileData;

struct ID3DXFile : public IUnknown {
    // pvSource: a zero-terminated path (FROMFILE), a D3DXF_FILELOADMEMORY
    // (FROMMEMORY) or a D3DXF_FILELOADRESOURCE (FROMRESOURCE). The whole file is
    // read and checked before the enumerator is handed out.
    virtual HRESULT CreateEnumObject(LPCVOID pvSource, D3DXF_FILELOADOPTIONS loadflags,
                                     ID3DXFileEnumObject** ppEnumObj) = 0;
    // Saving is not supported (E_NOTIMPL).
    virtual HRESULT CreateSaveObject(LPCVOID pData, D3DXF_FILESAVEOPTIONS flags, D3DXF_FILEFORMAT dwFileFormat,
                                     ID3DXFileSaveObject** ppSaveObj) = 0;
    // Templates from a .x block of any encoding; the block may hold nothing else.
    virtual HRESULT RegisterTemplates(LPCVOID pvData, SIZE_T cbSize) = 0;
    virtual HRESULT RegisterEnumTemplates(ID3DXFileEnumObject* pEnum) = 0;
};

struct ID3DXFileEnumObject : public IUnknown {
    virtual HRESULT GetFile(ID3DXFile** ppFile) = 0;
    // The number of top-level data objects.
    virtual HRESULT GetChildren(SIZE_T* puiChildren) = 0;
    virtual HRESULT GetChild(SIZE_T uiChild, ID3DXFileData** ppObj) = 0;
    virtual HRESULT GetDataObjectById(REFGUID rguid, ID3DXFileData** ppObj) = 0;
    virtual HRESULT GetDataObjectByName(LPCSTR szName, ID3DXFileData** ppObj) = 0;
};

struct ID3DXFileData : public IUnknown {
    virtual HRESULT GetEnum(ID3DXFileEnumObject** ppObj) = 0;
    // szName null: *puiSize gets the size the name needs with its terminator.
    virtual HRESULT GetName(LPSTR szName, SIZE_T* puiSize) = 0;
    virtual HRESULT GetId(GUID* pGuid) = 0;
    // The members as the template lays them out, packed: WORD 2 bytes, DWORD
    // and FLOAT 4, DOUBLE 8, CHAR/UCHAR/BYTE 1, strings as a char pointer.
    virtual HRESULT Lock(SIZE_T* pSize, LPCVOID* ppData) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetType(GUID* pType) = 0;
    virtual BOOL IsReference() = 0;
    virtual HRESULT GetChildren(SIZE_T* puiChildren) = 0;
    virtual HRESULT GetChild(SIZE_T uiChild, ID3DXFileData** ppChild) = 0;
};

HRESULT D3DXFileCreate(ID3DXFile** lplpDirectXFile);

// The standard templates (Header, Frame, Mesh, Material, SkinWeights,
// Animation...) as a .x block for RegisterTemplates. They are also built in:
// every ID3DXFile knows them from the start.
extern const char D3DRM_XTEMPLATES[];
extern const SIZE_T D3DRM_XTEMPLATE_BYTES;

// Template identifiers of the standard templates.
extern const GUID TID_D3DRMHeader;
extern const GUID TID_D3DRMVector;
extern const GUID TID_D3DRMCoords2d;
extern const GUID TID_D3DRMMatrix4x4;
extern const GUID TID_D3DRMColorRGBA;
extern const GUID TID_D3DRMColorRGB;
extern const GUID TID_D3DRMIndexedColor;
extern const GUID TID_D3DRMBoolean;
extern const GUID TID_D3DRMBoolean2d;
extern const GUID TID_D3DRMMaterialWrap;
extern const GUID TID_D3DRMTextureFilename;
extern const GUID TID_D3DRMMaterial;
extern const GUID TID_D3DRMMeshFace;
extern const GUID TID_D3DRMMeshFaceWraps;
extern const GUID TID_D3DRMMeshTextureCoords;
extern const GUID TID_D3DRMMeshMaterialList;
extern const GUID TID_D3DRMMeshNormals;
extern const GUID TID_D3DRMMeshVertexColors;
extern const GUID TID_D3DRMMesh;
extern const GUID TID_D3DRMFrameTransformMatrix;
extern const GUID TID_D3DRMFrame;
extern const GUID TID_D3DRMFloatKeys;
extern const GUID TID_D3DRMTimedFloatKeys;
extern const GUID TID_D3DRMAnimationKey;
extern const GUID TID_D3DRMAnimationOptions;
extern const GUID TID_D3DRMAnimation;
extern const GUID TID_D3DRMAnimationSet;
extern const GUID DXFILEOBJ_XSkinMeshHeader;
extern const GUID DXFILEOBJ_VertexDuplicationIndices;
extern const GUID DXFILEOBJ_SkinWeights;
extern const GUID DXFILEOBJ_AnimTicksPerSecond;
extern const GUID DXFILEOBJ_FVFData;
extern const GUID DXFILEOBJ_VertexElement;
extern const GUID DXFILEOBJ_DeclData;
