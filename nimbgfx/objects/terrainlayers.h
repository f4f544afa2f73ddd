// What the height-map terrains share: the capability downgrades of their
// texture layers, the height samples, the textures and normal map, the
// texture-stage set-up chosen by validation, the grid's vertices, the ground
// height between samples and the light each frame.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "texturecache.h"

class Camera;

const DWORD kTerrainFvfThreeSets = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX3;
const DWORD kTerrainFvfTwoSets = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

// Turns layers off (and detail on in place of bump) as the device's
// capabilities require; each rule sees the flags as the earlier ones left them.
void DowngradeTerrainLayers(bool& useDetail, bool& useBump);

// N x N height samples (the blue byte of each texel of the picture resampled
// to N x N), row by row; the middle sample 128 wherever the picture gives
// nothing. Null for N outside 2..4096.
BYTE* LoadTerrainHeights(const char* file, int n);

// The base and detail textures from the texture cache, and with bump the
// normal map made from the detail picture's red channel. Without a normal
// map the bump layer goes off.
void LoadTerrainTextures(const char* baseFile, const char* detailFile, bool& useBump, IDirect3DTexture9** base,
                         IDirect3DTexture9** detail, IDirect3DTexture9** normalMap);

struct TerrainTextures {
    IDirect3DTexture9* normalMap;
    IDirect3DTexture9* base;
    IDirect3DTexture9* detail;
};

// How the two terrains differ in choosing their set-up.
struct TerrainSetUpRules {
    bool validate;          // ask the device to validate each level
    bool disableLastStage;  // the bump level disables stage 3, the detail level stage 2
    bool disableStage2;     // a refused bump level disables stage 2 on the device
};

// Records the richest texture-stage set-up the flags allow and the device
// validates, stepping down bump and detail, bump, detail, plain; the flags
// end as the kept set-up has them. Returns the recorded block (applied).
IDirect3DStateBlock9* ChooseTerrainSetUp(const TerrainSetUpRules& rules, const TerrainTextures& textures,
                                         bool& useBump, bool& useDetail);

// Vertex (r, c) of an N-sample grid `size` units wide: position with height
// y, no normal yet, white, coordinate set 0 over the whole grid, set 1 as
// given, and in the three-set form (52-byte stride) set 2 tiled 32 times.
void WriteTerrainVertex(BYTE* dst, DWORD stride, int r, int c, int n, int size, float y, float u1, float v1);

// Set 1 of vertex (r, c) in the two-set form: tiled 128 times over the grid
// when the device repeats textures that often, else alternating 0, 1.
void TerrainDetailCoordinates(int r, int c, int n, float* u, float* v);

// The samples between which (x, z) lies, interpolated over the drawn
// triangle; false outside -512..512 or without samples. Points beyond the
// last row or column take the grid's edge.
bool TerrainSampleAt(const BYTE* heights, int n, int size, float x, float z, float* sample);

// Puts the light that follows the camera into the texture factor.
void SetTerrainLight(Camera* camara);
// Puts the coordinate indices the bump levels change back to each stage's own.
void RestoreTerrainCoordinates(bool detail);

// What both terrains' constructors, destructors and steps do with their
// shared fields (T: Terrain or SlicedTerrain).

// The steps around the geometry `build` makes: downgrades, height samples,
// textures, set-up; then the detail texture goes back to the cache when
// its layer ended off.
template <class T>
void ConstructTerrain(T& t, const char* heightMap, const char* baseFile, const char* detailFile, void (T::*build)())
{
    t.m_isTerrain = true;
    DowngradeTerrainLayers(t.m_useDetail, t.m_useBumpMap);
    t.LoadHeightMap(heightMap);
    t.LoadTextures(baseFile, detailFile);
    t.CreateStateBlock();
    if (t.m_heights != NULL)
        (t.*build)();
    if (!t.m_useDetail && t.m_pDetailTexture != NULL)
    {
        ReleaseTexture(t.m_pDetailTexture);
        t.m_pDetailTexture = NULL;
    }
}

// Frees the samples and the block, then the geometry `release` frees, then
// the textures and normal map; every field ends null.
template <class T>
void DestroyTerrain(T& t, void (T::*release)())
{
    delete[] t.m_heights;
    if (t.m_estado != NULL)
        t.m_estado->Release();
    (t.*release)();
    if (t.m_pBaseTexture != NULL)
        ReleaseTexture(t.m_pBaseTexture);
    if (t.m_pNormalMap != NULL)
        t.m_pNormalMap->Release();
    if (t.m_pDetailTexture != NULL)
        ReleaseTexture(t.m_pDetailTexture);
    t.m_heights = NULL;
    t.m_estado = NULL;
    t.m_pBaseTexture = NULL;
    t.m_pNormalMap = NULL;
    t.m_pDetailTexture = NULL;
}

template <class T>
void LoadTerrainHeightMap(T& t, const char* file)
{
    t.m_heights = LoadTerrainHeights(file, t.m_resolution);
}

template <class T>
void LoadTerrainLayerTextures(T& t, const char* baseFile, const char* detailFile)
{
    LoadTerrainTextures(baseFile, detailFile, t.m_useBumpMap, &t.m_pBaseTexture, &t.m_pDetailTexture,
                        &t.m_pNormalMap);
}
