#include "terrainlayers.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "camera.h"
#include "config.h"
#include "debuglog.h"
#include "renderer.h"
#include "terrain.h"
#include "texturecache.h"

namespace
{

const size_t kPathSize = 4096;
// Beyond this many samples a side neither the height map nor a mesh can be
// made.
const int kMaxResolution = 4096;

struct TerrainVertex
{
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
    float uv[3][2];  // the third set only in the three-set form
};

bool Bit(DWORD caps, DWORD bit)
{
    return (caps & bit) != 0;
}

// Clamps a grid coordinate into the cells [0, cells]; NaN gives 0.
float ClampGrid(float g, int cells)
{
    if (!(g > 0.0f))
        return 0.0f;
    if (g > (float)cells)
        return (float)cells;
    return g;
}

void SetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    m_pd3dDevice->SetTextureStageState(stage, type, value);
}

void SetTextureChecked(DWORD stage, IDirect3DTexture9* texture)
{
    if (FAILED(m_pd3dDevice->SetTexture(stage, texture)))
        ReportError("m_pd3dDevice->SetTexture FAILED");
}

// Colour op with its two arguments, then alpha op with its one argument.
void SetStageOps(DWORD stage, DWORD colorOp, DWORD arg1, DWORD arg2, DWORD alphaOp, DWORD alphaArg)
{
    SetStage(stage, D3DTSS_COLOROP, colorOp);
    SetStage(stage, D3DTSS_COLORARG1, arg1);
    SetStage(stage, D3DTSS_COLORARG2, arg2);
    SetStage(stage, D3DTSS_ALPHAOP, alphaOp);
    SetStage(stage, alphaOp == D3DTOP_SELECTARG2 ? D3DTSS_ALPHAARG2 : D3DTSS_ALPHAARG1, alphaArg);
}

void DisableStage(DWORD stage)
{
    SetStage(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetStage(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

// Records one set-up into a block and applies it; false when the device
// does not validate it (only asked when the rules say so).
bool RecordLevel(const TerrainSetUpRules& rules, const TerrainTextures& t, bool bump, bool detail,
                 IDirect3DStateBlock9** block)
{
    *block = NULL;
    if (FAILED(m_pd3dDevice->BeginStateBlock()))
        ReportError("BeginStateBlock FAILED [Terrain]");

    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    m_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
    D3DMATERIAL9 material;
    std::memset(&material, 0, sizeof(material));
    material.Diffuse.r = material.Diffuse.g = material.Diffuse.b = material.Diffuse.a = 1.0f;
    material.Ambient = material.Diffuse;
    if (FAILED(m_pd3dDevice->SetMaterial(&material)))
        ReportError("m_pd3dDevice->SetMaterial FAILED");

    if (bump)
    {
        SetTextureChecked(0, t.normalMap);
        SetTextureChecked(1, t.base);
        if (detail)
            SetTextureChecked(2, t.detail);

        // The normal map dotted with the light in the texture factor, times
        // the base, times the detail, times the lit vertex colour.
        SetStage(0, D3DTSS_TEXCOORDINDEX, 1);
        SetStageOps(0, D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
        SetStage(1, D3DTSS_TEXCOORDINDEX, 0);
        SetStageOps(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
        const DWORD last = detail ? 3 : 2;
        if (detail)
        {
            SetStage(2, D3DTSS_TEXCOORDINDEX, 2);
            SetStageOps(2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
        }
        SetStageOps(last, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT);
        if (!detail && rules.disableLastStage)
            DisableStage(3);
    }
    else
    {
        SetTextureChecked(0, t.base);
        if (detail)
            SetTextureChecked(1, t.detail);

        SetStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
        if (detail)
            SetStageOps(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT);
        if (!detail || rules.disableLastStage)
            DisableStage(detail ? 2 : 1);
    }

    if (FAILED(m_pd3dDevice->EndStateBlock(block)))
    {
        ReportError("EndStateBlock FAILED [Terrain]");
        *block = NULL;
    }
    if (*block != NULL)
        (*block)->Apply();

    if (!rules.validate)
        return true;
    DWORD passes = 0;
    return SUCCEEDED(m_pd3dDevice->ValidateDevice(&passes));
}

void Drop(IDirect3DStateBlock9** block)
{
    if (*block != NULL)
        (*block)->Release();
    *block = NULL;
}

} // namespace

void DowngradeTerrainLayers(bool& useDetail, bool& useBump)
{
    const D3DCAPS9& caps = g_d3dCaps;
    if (!Bit(caps.TextureOpCaps, D3DTEXOPCAPS_DOTPRODUCT3) && useBump)
    {
        useBump = false;
        useDetail = true;
    }
    if (!Bit(caps.TextureOpCaps, D3DTEXOPCAPS_MODULATE))
        useDetail = false;
    if (caps.MaxTextureBlendStages == 1)
    {
        useBump = false;
        useDetail = false;
    }
    if (caps.MaxTextureBlendStages == 2 && useBump)
    {
        useBump = false;
        useDetail = true;
    }
    if (caps.MaxTextureBlendStages == 3 && useBump)
        useDetail = false;
    if (caps.MaxSimultaneousTextures == 1)
    {
        useBump = false;
        useDetail = false;
    }
    if (caps.MaxSimultaneousTextures == 2 && useBump)
        useDetail = false;
}

BYTE* LoadTerrainHeights(const char* file, int n)
{
    if (n < 2 || n > kMaxResolution)
    {
        ReportError("Resolution %d FAILED [Terrain]", n);
        return NULL;
    }
    // Flat ground (every sample at the middle) stands wherever the picture
    // gives nothing.
    BYTE* heights = new BYTE[(size_t)n * n];
    std::memset(heights, 128, (size_t)n * n);

    char path[kPathSize];
    int len = std::snprintf(path, sizeof(path), "data\\textures\\%s", file);
    IDirect3DTexture9* texture = NULL;
    if (len < 0 || (size_t)len >= sizeof(path) ||
        FAILED(D3DXCreateTextureFromFileExA(m_pd3dDevice, path, (UINT)n, (UINT)n, 1, 0, D3DFMT_X8R8G8B8,
                                            D3DPOOL_SCRATCH, D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, NULL, NULL,
                                            &texture)) ||
        texture == NULL)
    {
        ReportError("Fichero \"%s\" no encontrado", file);
        return heights;
    }

    D3DLOCKED_RECT locked;
    D3DSURFACE_DESC infoSurf;
    if (SUCCEEDED(texture->LockRect(0, &locked, NULL, D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE)))
    {
        if (SUCCEEDED(texture->GetLevelDesc(0, &infoSurf)))
        {
            assert(infoSurf.Format == D3DFMT_X8R8G8B8 && "infoSurf.Format == D3DFMT_X8R8G8B8");
            if (infoSurf.Format == D3DFMT_X8R8G8B8)
            {
                // The first byte of each texel in memory is its blue component.
                const UINT rows = infoSurf.Height < (UINT)n ? infoSurf.Height : (UINT)n;
                const UINT cols = infoSurf.Width < (UINT)n ? infoSurf.Width : (UINT)n;
                const BYTE* row = static_cast<const BYTE*>(locked.pBits);
                for (UINT r = 0; r < rows; ++r, row += locked.Pitch)
                    for (UINT c = 0; c < cols; ++c)
                        heights[(size_t)r * n + c] = row[c * 4];
            }
        }
        if (FAILED(texture->UnlockRect(0)))
            ReportError("ppTexture->UnlockRect FAILED");
    }
    if ((LONG)texture->Release() < 0)
        ReportError("ppTexture->Release FAILED");
    return heights;
}

void LoadTerrainTextures(const char* baseFile, const char* detailFile, bool& useBump, IDirect3DTexture9** base,
                         IDirect3DTexture9** detail, IDirect3DTexture9** normalMap)
{
    if (FAILED(LoadTextureFromFile(baseFile, base)))
    {
        ReportError("Fichero \"%s\" no encontrado", baseFile);
        *base = NULL;
    }
    if (FAILED(LoadTextureFromFile(detailFile, detail)))
    {
        ReportError("Fichero \"%s\" no encontrado", detailFile);
        *detail = NULL;
    }
    if (!useBump)
        return;

    // The normal map: the bumps are the red channel of the detail picture.
    char path[kPathSize];
    int len = std::snprintf(path, sizeof(path), "data\\textures\\%s", detailFile);
    IDirect3DTexture9* source = NULL;
    D3DXIMAGE_INFO info;
    if (len < 0 || (size_t)len >= sizeof(path) ||
        FAILED(D3DXCreateTextureFromFileExA(m_pd3dDevice, path, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_X8R8G8B8,
                                            D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, NULL,
                                            &source)) ||
        source == NULL)
    {
        ReportError("Fichero \"%s\" no encontrado", detailFile);
        // Nothing to make the normal map from: no bump layer.
        useBump = false;
        return;
    }
    if (FAILED(m_pd3dDevice->CreateTexture(info.Width, info.Height, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                           normalMap, NULL)))
    {
        ReportError("CreateTexture FAILED [Terrain]");
        *normalMap = NULL;
    }
    else if (FAILED(D3DXComputeNormalMap(*normalMap, source, NULL, 0, D3DX_CHANNEL_RED, 10.0f)))
    {
        ReportError("D3DXComputeNormalMap FAILED [Terrain]");
        (*normalMap)->Release();
        *normalMap = NULL;
    }
    source->Release();
    if (*normalMap != NULL)
        GenerateMipmaps(normalMap);
    // Without a normal map (or with one whose texels were never computed) the
    // bump stage would light every texel from no normal: black ground. The
    // layers below bump draw the terrain instead.
    if (*normalMap == NULL)
        useBump = false;
}

IDirect3DStateBlock9* ChooseTerrainSetUp(const TerrainSetUpRules& rules, const TerrainTextures& textures,
                                         bool& useBump, bool& useDetail)
{
    // Tried from the richest set-up down; each runs only when the flags, as
    // the failures above it left them, select it.
    IDirect3DStateBlock9* block = NULL;
    if (useBump && useDetail && !RecordLevel(rules, textures, true, true, &block))
    {
        Drop(&block);
        useDetail = false;
        m_pd3dDevice->SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 2);
    }
    if (useBump && !useDetail && !RecordLevel(rules, textures, true, false, &block))
    {
        Drop(&block);
        useBump = false;
        useDetail = true;
        if (rules.disableStage2)
            DisableStage(2);
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        m_pd3dDevice->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    }
    if (!useBump && useDetail && !RecordLevel(rules, textures, false, true, &block))
    {
        Drop(&block);
        useDetail = false;
    }
    if (!useBump && !useDetail && !RecordLevel(rules, textures, false, false, &block))
        ReportError("ValidateDevice FAILED [Terrain]");
    assert(block != NULL && "m_estado != NULL");
    return block;
}

void TerrainDetailCoordinates(int r, int c, int n, float* u, float* v)
{
    if (g_d3dCaps.MaxTextureRepeat >= (DWORD)n)
    {
        *u = (float)(128 * c) / (float)n;
        *v = (float)(128 * r) / (float)n;
    }
    else
    {
        *u = (float)(c % 2);
        *v = (float)(r % 2);
    }
}

void WriteTerrainVertex(BYTE* dst, DWORD stride, int r, int c, int n, int size, float y, float u1, float v1)
{
    const float cell = (float)size / (float)n;
    TerrainVertex v;
    v.x = (float)(c - n / 2) * cell;
    v.y = y;
    v.z = (float)(r - n / 2) * cell;
    v.nx = v.ny = v.nz = 0.0f;
    v.diffuse = 0xFFFFFFFF;
    v.uv[0][0] = (float)c / (float)n;
    v.uv[0][1] = (float)r / (float)n;
    v.uv[1][0] = u1;
    v.uv[1][1] = v1;
    v.uv[2][0] = (float)(32 * c) / (float)n;
    v.uv[2][1] = (float)(32 * r) / (float)n;
    std::memcpy(dst, &v, stride < sizeof(v) ? stride : sizeof(v));
}

bool TerrainSampleAt(const BYTE* heights, int n, int size, float x, float z, float* sample)
{
    if (x < -512.0f || x > 512.0f || z < -512.0f || z > 512.0f)
        return false;
    if (heights == NULL || n < 2 || size == 0)
        return false;

    const float half = (float)(size / 2);
    const float scale = (float)n / (float)size;
    // The last cell holds every point beyond it, so no sample past the grid
    // is read; there the height runs along the grid's edge.
    const float gx = ClampGrid((x + half) * scale, n - 1);
    const float gz = ClampGrid((z + half) * scale, n - 1);
    int c0 = (int)gx;
    int r0 = (int)gz;
    if (c0 > n - 2)
        c0 = n - 2;
    if (r0 > n - 2)
        r0 = n - 2;
    const float fx = gx - (float)c0;
    const float fz = gz - (float)r0;

    auto s = [heights, n](int r, int c) { return (float)heights[(size_t)r * n + c]; };
    if ((1.0f - fx) + (1.0f - fz) >= fx + fz)
        *sample = s(r0, c0) + fz * (s(r0 + 1, c0) - s(r0, c0)) + fx * (s(r0, c0 + 1) - s(r0, c0));
    else
        *sample = s(r0 + 1, c0 + 1) + (1.0f - fx) * (s(r0 + 1, c0) - s(r0 + 1, c0 + 1)) +
                  (1.0f - fz) * (s(r0, c0 + 1) - s(r0 + 1, c0 + 1));
    return true;
}

void SetTerrainLight(Camera* camara)
{
    if (camara == NULL)
        return;
    // The light turns with the camera's heading.
    const float v = camara->GetView()->_11;
    D3DXVECTOR3 light(std::sin(v), std::cos(v), 1.0f);
    D3DXVec3Normalize(&light, &light);
    m_pd3dDevice->SetRenderState(D3DRS_TEXTUREFACTOR, Terrain::DirectionToColor(light, 1.0f));
}

void RestoreTerrainCoordinates(bool detail)
{
    m_pd3dDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    m_pd3dDevice->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    if (detail)
        m_pd3dDevice->SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 2);
}
