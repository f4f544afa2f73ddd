#include "terrain.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "camera.h"
#include "config.h"
#include "debuglog.h"
#include "renderer.h"
#include "texturecache.h"

namespace
{

const size_t kPathSize = 4096;
// Beyond this many samples a side neither the height map nor the mesh can be
// made; such a terrain holds nothing.
const int kMaxResolution = 4096;

const DWORD kFvfThreeSets = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX3;
const DWORD kFvfTwoSets = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

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

// 0..255, NaN as 0: the value truncated toward zero, kept inside its byte.
DWORD ColorByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return (DWORD)v;
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

bool SkipValidation()
{
    return g_pConfig != NULL && g_pConfig->m_skipValidation;
}

} // namespace

Terrain::Terrain(const char* heightMap, const char* baseFile, const char* detailFile, int resolution, int size,
                 int altura, bool useDetail, bool useBump)
    : m_useBumpMap(useBump),
      m_useDetail(useDetail),
      m_pMesh(NULL),
      m_pBaseTexture(NULL),
      m_pDetailTexture(NULL),
      m_pNormalMap(NULL),
      m_estado(NULL),
      m_resolution(resolution),
      m_size(size),
      m_altura(altura),
      m_heights(NULL)
{
    m_isTerrain = true;

    // Capability downgrades; each rule sees the flags as the earlier ones left them.
    const D3DCAPS9& caps = g_d3dCaps;
    if (!Bit(caps.TextureOpCaps, D3DTEXOPCAPS_DOTPRODUCT3) && m_useBumpMap)
    {
        m_useBumpMap = false;
        m_useDetail = true;
    }
    if (!Bit(caps.TextureOpCaps, D3DTEXOPCAPS_MODULATE))
        m_useDetail = false;
    if (caps.MaxTextureBlendStages == 1)
    {
        m_useBumpMap = false;
        m_useDetail = false;
    }
    if (caps.MaxTextureBlendStages == 2 && m_useBumpMap)
    {
        m_useBumpMap = false;
        m_useDetail = true;
    }
    if (caps.MaxTextureBlendStages == 3 && m_useBumpMap)
        m_useDetail = false;
    if (caps.MaxSimultaneousTextures == 1)
    {
        m_useBumpMap = false;
        m_useDetail = false;
    }
    if (caps.MaxSimultaneousTextures == 2 && m_useBumpMap)
        m_useDetail = false;

    const bool usable = m_resolution >= 2 && m_resolution <= kMaxResolution;
    if (!usable)
        ReportError("Resolution %d FAILED [Terrain]", m_resolution);
    if (usable)
        LoadHeightMap(heightMap);
    LoadTextures(baseFile, detailFile);
    CreateStateBlock();
    if (usable)
        BuildMesh();

    if (!m_useDetail && m_pDetailTexture != NULL)
    {
        ReleaseTexture(m_pDetailTexture);
        m_pDetailTexture = NULL;
    }
}

Terrain::~Terrain()
{
    delete[] m_heights;
    if (m_estado != NULL)
        m_estado->Release();
    if (m_pMesh != NULL)
        m_pMesh->Release();
    if (m_pBaseTexture != NULL)
        ReleaseTexture(m_pBaseTexture);
    if (m_pNormalMap != NULL)
        m_pNormalMap->Release();
    if (m_pDetailTexture != NULL)
        ReleaseTexture(m_pDetailTexture);
    m_heights = NULL;
    m_estado = NULL;
    m_pMesh = NULL;
    m_pBaseTexture = NULL;
    m_pNormalMap = NULL;
    m_pDetailTexture = NULL;
}

void Terrain::LoadHeightMap(const char* file)
{
    const int n = m_resolution;
    // Flat ground (every sample at the middle) stands wherever the picture
    // gives nothing.
    m_heights = new BYTE[(size_t)n * n];
    std::memset(m_heights, 128, (size_t)n * n);

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
        return;
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
                        m_heights[(size_t)r * n + c] = row[c * 4];
            }
        }
        if (FAILED(texture->UnlockRect(0)))
            ReportError("ppTexture->UnlockRect FAILED");
    }
    if ((LONG)texture->Release() < 0)
        ReportError("ppTexture->Release FAILED");
}

void Terrain::LoadTextures(const char* baseFile, const char* detailFile)
{
    if (FAILED(LoadTextureFromFile(baseFile, &m_pBaseTexture)))
    {
        ReportError("Fichero \"%s\" no encontrado", baseFile);
        m_pBaseTexture = NULL;
    }
    if (FAILED(LoadTextureFromFile(detailFile, &m_pDetailTexture)))
    {
        ReportError("Fichero \"%s\" no encontrado", detailFile);
        m_pDetailTexture = NULL;
    }
    if (!m_useBumpMap)
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
        m_useBumpMap = false;
        return;
    }
    if (FAILED(m_pd3dDevice->CreateTexture(info.Width, info.Height, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                           &m_pNormalMap, NULL)))
    {
        ReportError("CreateTexture FAILED [Terrain]");
        m_pNormalMap = NULL;
    }
    else if (FAILED(D3DXComputeNormalMap(m_pNormalMap, source, NULL, 0, D3DX_CHANNEL_RED, 10.0f)))
    {
        ReportError("D3DXComputeNormalMap FAILED [Terrain]");
        m_pNormalMap->Release();
        m_pNormalMap = NULL;
    }
    source->Release();
    if (m_pNormalMap != NULL)
        GenerateMipmaps(&m_pNormalMap);
    // Without a normal map the bump stage would dot the light with nothing.
    if (m_pNormalMap == NULL)
        m_useBumpMap = false;
}

bool Terrain::RecordLevel(bool bump, bool detail)
{
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
        SetTextureChecked(0, m_pNormalMap);
        SetTextureChecked(1, m_pBaseTexture);
        if (detail)
            SetTextureChecked(2, m_pDetailTexture);

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
        if (!detail)
            DisableStage(3);
    }
    else
    {
        SetTextureChecked(0, m_pBaseTexture);
        if (detail)
            SetTextureChecked(1, m_pDetailTexture);

        SetStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
        if (detail)
            SetStageOps(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_CURRENT);
        DisableStage(detail ? 2 : 1);
    }

    if (FAILED(m_pd3dDevice->EndStateBlock(&m_estado)))
    {
        ReportError("EndStateBlock FAILED [Terrain]");
        m_estado = NULL;
    }
    if (m_estado != NULL)
        m_estado->Apply();

    if (SkipValidation())
        return true;
    DWORD passes = 0;
    return SUCCEEDED(m_pd3dDevice->ValidateDevice(&passes));
}

void Terrain::CreateStateBlock()
{
    // Tried from the richest set-up down; each runs only when the flags, as
    // the failures above it left them, select it.
    if (m_useBumpMap && m_useDetail && !RecordLevel(true, true))
    {
        if (m_estado != NULL)
            m_estado->Release();
        m_estado = NULL;
        m_useDetail = false;
        m_pd3dDevice->SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 2);
    }
    if (m_useBumpMap && !m_useDetail && !RecordLevel(true, false))
    {
        if (m_estado != NULL)
            m_estado->Release();
        m_estado = NULL;
        m_useBumpMap = false;
        m_useDetail = true;
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        m_pd3dDevice->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    }
    if (!m_useBumpMap && m_useDetail && !RecordLevel(false, true))
    {
        if (m_estado != NULL)
            m_estado->Release();
        m_estado = NULL;
        m_useDetail = false;
    }
    if (!m_useBumpMap && !m_useDetail && !RecordLevel(false, false))
        ReportError("ValidateDevice FAILED [Terrain]");
    assert(m_estado != NULL && "m_estado != NULL");
}

void Terrain::BuildMesh()
{
    const int n = m_resolution;
    const DWORD faces = 2 * (DWORD)(n - 1) * (DWORD)(n - 1);
    const DWORD vertices = (DWORD)n * (DWORD)n;
    const bool wide = vertices > 65536 || 3 * faces > 65536;
    const bool threeSets = m_useBumpMap && m_useDetail;
    const DWORD fvf = threeSets ? kFvfThreeSets : kFvfTwoSets;
    const DWORD stride = threeSets ? sizeof(TerrainVertex) : sizeof(TerrainVertex) - 2 * sizeof(float);

    if (FAILED(D3DXCreateMeshFVF(faces, vertices, D3DXMESH_MANAGED | (wide ? D3DXMESH_32BIT : 0), fvf, m_pd3dDevice,
                                 &m_pMesh)) ||
        m_pMesh == NULL)
    {
        ReportError("D3DXCreateMeshFVF FAILED");
        m_pMesh = NULL;
        return;
    }

    // Until its vertices and indices are written the mesh is not drawn.
    BYTE* vb = NULL;
    if (FAILED(m_pMesh->LockVertexBuffer(0, (void**)&vb)))
    {
        ReportError("LockVertexBuffer FAILED");
        m_pMesh->Release();
        m_pMesh = NULL;
        return;
    }
    assert(m_altura <= 256 && "m_altura <= 256");
    const float cell = (float)m_size / (float)n;
    const bool repeat = g_d3dCaps.MaxTextureRepeat >= (DWORD)n;
    for (int r = 0; r < n; ++r)
    {
        for (int c = 0; c < n; ++c)
        {
            TerrainVertex v;
            const int s = m_heights[(size_t)r * n + c];
            v.x = (float)(c - n / 2) * cell;
            v.z = (float)(r - n / 2) * cell;
            v.y = (float)((long long)(s - 128) * m_altura) / 256.0f;
            v.nx = v.ny = v.nz = 0.0f;
            v.diffuse = 0xFFFFFFFF;
            v.uv[0][0] = (float)c / (float)n;
            v.uv[0][1] = (float)r / (float)n;
            if (threeSets || repeat)
            {
                v.uv[1][0] = (float)(128 * c) / (float)n;
                v.uv[1][1] = (float)(128 * r) / (float)n;
            }
            else
            {
                v.uv[1][0] = (float)(c % 2);
                v.uv[1][1] = (float)(r % 2);
            }
            v.uv[2][0] = (float)(32 * c) / (float)n;
            v.uv[2][1] = (float)(32 * r) / (float)n;
            std::memcpy(vb + ((size_t)r * n + c) * stride, &v, stride);
        }
    }
    if (FAILED(m_pMesh->UnlockVertexBuffer()))
    {
        ReportError("UnlockVertexBuffer FAILED");
        m_pMesh->Release();
        m_pMesh = NULL;
        return;
    }

    void* ib = NULL;
    if (FAILED(m_pMesh->LockIndexBuffer(0, &ib)))
    {
        ReportError("LockIndexBuffer FAILED");
        m_pMesh->Release();
        m_pMesh = NULL;
        return;
    }
    // Two triangles a cell, clockwise seen from above, the diagonal from
    // (r-1, c) to (r, c-1).
    size_t k = 0;
    for (int c = 1; c < n; ++c)
    {
        for (int r = 1; r < n; ++r)
        {
            const DWORD corner[6] = {
                (DWORD)((r - 1) * n + (c - 1)), (DWORD)(r * n + (c - 1)), (DWORD)((r - 1) * n + c),
                (DWORD)((r - 1) * n + c),       (DWORD)(r * n + (c - 1)), (DWORD)(r * n + c),
            };
            for (DWORD index : corner)
            {
                if (wide)
                    static_cast<DWORD*>(ib)[k++] = index;
                else
                    static_cast<WORD*>(ib)[k++] = (WORD)index;
            }
        }
    }
    if (FAILED(m_pMesh->UnlockIndexBuffer()))
    {
        ReportError("UnlockIndexBuffer FAILED");
        m_pMesh->Release();
        m_pMesh = NULL;
        return;
    }

    // From here on the mesh is whole; a failing step leaves it as it stands.
    std::vector<DWORD> adjacency((size_t)faces * 3), optimized((size_t)faces * 3);
    if (FAILED(m_pMesh->GenerateAdjacency(0.05f, adjacency.data())))
    {
        ReportError("GenerateAdjacency FAILED");
        return;
    }
    if (FAILED(m_pMesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                        adjacency.data(), optimized.data(), NULL, NULL)))
    {
        ReportError("OptimizeInplace FAILED");
        return;
    }
    if (FAILED(D3DXComputeNormals(m_pMesh, optimized.data())))
        ReportError("D3DXComputeNormals FAILED");
}

int Terrain::Render(Camera* camara, float)
{
    if (m_estado != NULL)
        m_estado->Apply();

    if (m_useBumpMap && camara != NULL)
    {
        // The light turns with the camera's heading.
        const float v = camara->GetView()->_11;
        D3DXVECTOR3 light(std::sin(v), std::cos(v), 1.0f);
        D3DXVec3Normalize(&light, &light);
        m_pd3dDevice->SetRenderState(D3DRS_TEXTUREFACTOR, DirectionToColor(light, 1.0f));
    }

    if (m_pMesh != NULL)
        m_pMesh->DrawSubset(0);

    if (m_useBumpMap)
    {
        m_pd3dDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        m_pd3dDevice->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        if (m_useDetail)
            m_pd3dDevice->SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 2);
    }
    return 0;
}

DWORD Terrain::DirectionToColor(const D3DXVECTOR3& v, float h)
{
    const DWORD a = ColorByte(255.0f * h);
    const DWORD r = ColorByte(127.0f * v.x + 128.0f);
    const DWORD g = ColorByte(127.0f * v.y + 128.0f);
    const DWORD b = ColorByte(127.0f * v.z + 128.0f);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

float Terrain::GetHeight(float x, float z)
{
    if (x < -512.0f || x > 512.0f || z < -512.0f || z > 512.0f)
        return 0.0f;
    if (m_heights == NULL)
        return 0.0f;

    const int n = m_resolution;
    const float half = (float)(m_size / 2);
    const float scale = (float)n / (float)m_size;
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

    auto s = [this, n](int r, int c) { return (float)m_heights[(size_t)r * n + c]; };
    float h;
    if ((1.0f - fx) + (1.0f - fz) >= fx + fz)
        h = s(r0, c0) + fz * (s(r0 + 1, c0) - s(r0, c0)) + fx * (s(r0, c0 + 1) - s(r0, c0));
    else
        h = s(r0 + 1, c0 + 1) + (1.0f - fx) * (s(r0 + 1, c0) - s(r0 + 1, c0 + 1)) +
            (1.0f - fz) * (s(r0, c0 + 1) - s(r0 + 1, c0 + 1));
    return (h - 128.0f) * (float)m_altura / 256.0f;
}
