// Constants and result codes shared by every part of D3DX9.
#pragma once

#include <d3d9.h>

#include <cfloat>

#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_DEFAULT_NONPOW2 ((UINT)-2)
#define D3DX_DEFAULT_FLOAT FLT_MAX
#define D3DX_FROM_FILE ((UINT)-3)
#define D3DFMT_FROM_FILE ((D3DFORMAT)-3)

#define D3DX_SDK_VERSION 43

#ifndef _FACDD
#define _FACDD 0x876
#endif
#ifndef MAKE_DDHRESULT
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)
#endif

#define D3DXERR_CANNOTMODIFYINDEXBUFFER MAKE_DDHRESULT(2900)
#define D3DXERR_INVALIDMESH MAKE_DDHRESULT(2901)
#define D3DXERR_CANNOTATTRSORT MAKE_DDHRESULT(2902)
#define D3DXERR_SKINNINGNOTSUPPORTED MAKE_DDHRESULT(2903)
#define D3DXERR_TOOMANYINFLUENCES MAKE_DDHRESULT(2904)
#define D3DXERR_INVALIDDATA MAKE_DDHRESULT(2905)
#define D3DXERR_LOADEDMESHHASNODATA MAKE_DDHRESULT(2906)
#define D3DXERR_DUPLICATENAMEDFRAGMENT MAKE_DDHRESULT(2907)
#define D3DXERR_CANNOTREMOVELASTITEM MAKE_DDHRESULT(2908)

// ---- ID3DXBuffer -------------------------------------------------------------
// A block of bytes handed out by D3DX (encoded files, and later compiled
// shaders and mesh data), reference-counted.
extern const IID IID_ID3DXBuffer;

struct ID3DXBuffer : public IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

// A new buffer of numBytes zeroed bytes with a reference count of 1.
HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer);
