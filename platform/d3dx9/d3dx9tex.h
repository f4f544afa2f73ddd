// D3DX9 textures and images: loading BMP, PNG, JPEG and DDS files into
// textures and surfaces, filtering mip levels, saving surfaces and textures.
// Pixels reach textures only through the Direct3D 9 interfaces (CreateTexture,
// GetLevelDesc, LockRect...), so any device implementing them works.
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"

struct tagPALETTEENTRY;

// Filters (low 16 bits: the kind; the rest: flags).
#define D3DX_FILTER_NONE (1 << 0)
#define D3DX_FILTER_POINT (2 << 0)
#define D3DX_FILTER_LINEAR (3 << 0)
#define D3DX_FILTER_TRIANGLE (4 << 0)
#define D3DX_FILTER_BOX (5 << 0)
#define D3DX_FILTER_MIRROR_U (1 << 16)
#define D3DX_FILTER_MIRROR_V (2 << 16)
#define D3DX_FILTER_MIRROR_W (4 << 16)
#define D3DX_FILTER_MIRROR (7 << 16)
#define D3DX_FILTER_DITHER (1 << 19)
#define D3DX_FILTER_DITHER_DIFFUSION (2 << 19)
#define D3DX_FILTER_SRGB_IN (1 << 21)
#define D3DX_FILTER_SRGB_OUT (2 << 21)
#define D3DX_FILTER_SRGB (3 << 21)

#define D3DX_SKIP_DDS_MIP_LEVELS_MASK 0x1F
#define D3DX_SKIP_DDS_MIP_LEVELS_SHIFT 26
#define D3DX_SKIP_DDS_MIP_LEVELS(levels, filter) \
    ((((levels) & D3DX_SKIP_DDS_MIP_LEVELS_MASK) << D3DX_SKIP_DDS_MIP_LEVELS_SHIFT) | \
     ((filter) == D3DX_DEFAULT ? D3DX_FILTER_BOX : (filter)))

// Normal-map flags and channels.
#define D3DX_NORMALMAP_MIRROR_U (1 << 16)
#define D3DX_NORMALMAP_MIRROR_V (2 << 16)
#define D3DX_NORMALMAP_MIRROR (3 << 16)
#define D3DX_NORMALMAP_INVERTSIGN (8 << 16)
#define D3DX_NORMALMAP_COMPUTE_OCCLUSION (16 << 16)

#define D3DX_CHANNEL_RED (1 << 0)
#define D3DX_CHANNEL_BLUE (1 << 1)
#define D3DX_CHANNEL_GREEN (1 << 2)
#define D3DX_CHANNEL_ALPHA (1 << 3)
#define D3DX_CHANNEL_LUMINANCE (1 << 4)

typedef enum _D3DXIMAGE_FILEFORMAT {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8,
    D3DXIFF_FORCE_DWORD = 0x7fffffff
} D3DXIMAGE_FILEFORMAT;

typedef struct _D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
} D3DXIMAGE_INFO;

// ---- Image information -------------------------------------------------------
HRESULT D3DXGetImageInfoFromFileA(LPCSTR srcFile, D3DXIMAGE_INFO* srcInfo);
HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID srcData, UINT srcDataSize, D3DXIMAGE_INFO* srcInfo);

// ---- Textures ----------------------------------------------------------------
// Adjusts a wanted size, level count and format to what the device takes:
// D3DX_DEFAULT or 0 sizes become 256, D3DX_DEFAULT or 0 levels the full chain,
// D3DFMT_UNKNOWN A8R8G8B8; sizes are clamped to the device's maximum and
// rounded up to powers of two where the device needs them.
HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL pool);
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);

// Loads a picture file into a new texture. Width and height D3DX_DEFAULT (or
// 0): the picture's size rounded up to powers of two; D3DX_DEFAULT_NONPOW2 or
// D3DX_FROM_FILE: the picture's size. Mip levels D3DX_DEFAULT (or 0): the
// full chain. Format D3DFMT_UNKNOWN: from the file. Filter D3DX_DEFAULT:
// triangle with dithering; mip filter D3DX_DEFAULT: box. A non-zero colour
// key (ARGB) turns matching pixels transparent black.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, LPCSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     tagPALETTEENTRY* palette, IDirect3DTexture9** texture);
// Full chain, format from the file, managed pool, default filters.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR srcFile, IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, LPCVOID srcData, UINT srcDataSize, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, tagPALETTEENTRY* palette,
                                            IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, LPCVOID srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture);

// Rebuilds every level below srcLevel (D3DX_DEFAULT: 0) from the one above
// it. Filter D3DX_DEFAULT: box.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* baseTexture, const tagPALETTEENTRY* palette, UINT srcLevel,
                          DWORD filter);

// A normal map of a height field taken from one channel of the source's top
// level, written into the texture's top level; amplitude scales the slopes.
HRESULT D3DXComputeNormalMap(IDirect3DTexture9* texture, IDirect3DTexture9* srcTexture,
                             const tagPALETTEENTRY* srcPalette, DWORD flags, DWORD channel, FLOAT amplitude);

// ---- Surfaces ----------------------------------------------------------------
// Null rectangles mean the whole surface or picture; the source is resampled
// to the destination rectangle with the filter (D3DX_DEFAULT: triangle).
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const tagPALETTEENTRY* destPalette,
                                  const RECT* destRect, LPCVOID srcMemory, D3DFORMAT srcFormat, UINT srcPitch,
                                  const tagPALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                  D3DCOLOR colorKey);
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const tagPALETTEENTRY* destPalette,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const tagPALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey);
HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* destSurface, const tagPALETTEENTRY* destPalette,
                                 const RECT* destRect, LPCSTR srcFile, const RECT* srcRect, DWORD filter,
                                 D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo);
HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const tagPALETTEENTRY* destPalette,
                                        const RECT* destRect, LPCVOID srcData, UINT srcDataSize,
                                        const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                                        D3DXIMAGE_INFO* srcInfo);

// ---- Saving ------------------------------------------------------------------
// Writes a surface (or srcRect of it) as BMP, PNG, JPG or DDS. BMP: 24-bit
// for formats without alpha, 32-bit with the alpha channel for formats with
// one. The file is not written through a symbolic link.
HRESULT D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const tagPALETTEENTRY* srcPalette, const RECT* srcRect);
HRESULT D3DXSaveSurfaceToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DSurface9* srcSurface, const tagPALETTEENTRY* srcPalette,
                                      const RECT* srcRect);
// Writes the texture's top level.
HRESULT D3DXSaveTextureToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat,
                               IDirect3DBaseTexture9* srcTexture, const tagPALETTEENTRY* srcPalette);
HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DBaseTexture9* srcTexture, const tagPALETTEENTRY* srcPalette);

#define D3DXGetImageInfoFromFile D3DXGetImageInfoFromFileA
#define D3DXCreateTextureFromFile D3DXCreateTextureFromFileA
#define D3DXCreateTextureFromFileEx D3DXCreateTextureFromFileExA
#define D3DXLoadSurfaceFromFile D3DXLoadSurfaceFromFileA
#define D3DXSaveSurfaceToFile D3DXSaveSurfaceToFileA
#define D3DXSaveTextureToFile D3DXSaveTextureToFileA
