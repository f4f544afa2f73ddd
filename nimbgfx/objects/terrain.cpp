#include "terrain.h"

#include <cassert>
#include <cstring>
#include <vector>

#include "camera.h"
#include "config.h"
#include "debuglog.h"
#include "renderer.h"
#include "terrainlayers.h"
#include "texturecache.h"

namespace
{

// 0..255, NaN as 0: the value truncated toward zero, kept inside its byte.
DWORD ColorByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return (DWORD)v;
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
    ConstructTerrain(*this, heightMap, baseFile, detailFile, &Terrain::BuildMesh);
}

Terrain::~Terrain()
{
    DestroyTerrain(*this, &Terrain::ReleaseMesh);
}

void Terrain::ReleaseMesh()
{
    if (m_pMesh != NULL)
        m_pMesh->Release();
    m_pMesh = NULL;
}

void Terrain::LoadHeightMap(const char* file)
{
    LoadTerrainHeightMap(*this, file);
}

void Terrain::LoadTextures(const char* baseFile, const char* detailFile)
{
    LoadTerrainLayerTextures(*this, baseFile, detailFile);
}

void Terrain::CreateStateBlock()
{
    TerrainSetUpRules rules;
    rules.validate = g_pConfig == NULL || !g_pConfig->m_skipValidation;
    rules.disableLastStage = true;
    rules.disableStage2 = false;
    TerrainTextures textures = {m_pNormalMap, m_pBaseTexture, m_pDetailTexture};
    m_estado = ChooseTerrainSetUp(rules, textures, m_useBumpMap, m_useDetail);
}

void Terrain::BuildMesh()
{
    const int n = m_resolution;
    const DWORD faces = 2 * (DWORD)(n - 1) * (DWORD)(n - 1);
    const DWORD vertices = (DWORD)n * (DWORD)n;
    const bool wide = vertices > 65536 || 3 * faces > 65536;
    const bool threeSets = m_useBumpMap && m_useDetail;
    const DWORD fvf = threeSets ? kTerrainFvfThreeSets : kTerrainFvfTwoSets;
    const DWORD stride = D3DXGetFVFVertexSize(fvf);

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
    for (int r = 0; r < n; ++r)
    {
        for (int c = 0; c < n; ++c)
        {
            const int s = m_heights[(size_t)r * n + c];
            const float y = (float)((long long)(s - 128) * m_altura) / 256.0f;
            float u1, v1;
            if (threeSets)
            {
                u1 = (float)(128 * c) / (float)n;
                v1 = (float)(128 * r) / (float)n;
            }
            else
            {
                TerrainDetailCoordinates(r, c, n, &u1, &v1);
            }
            WriteTerrainVertex(vb + ((size_t)r * n + c) * stride, stride, r, c, n, m_size, y, u1, v1);
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
    if (m_useBumpMap)
        SetTerrainLight(camara);
    if (m_pMesh != NULL)
        m_pMesh->DrawSubset(0);
    if (m_useBumpMap)
        RestoreTerrainCoordinates(m_useDetail);
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
    float h;
    if (!TerrainSampleAt(m_heights, m_resolution, m_size, x, z, &h))
        return 0.0f;
    return (h - 128.0f) * (float)m_altura / 256.0f;
}
