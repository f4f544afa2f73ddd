#include "slicedterrain.h"

#include <cassert>
#include <cfloat>
#include <cstring>
#include <vector>

#include "camera.h"
#include "debuglog.h"
#include "renderer.h"
#include "terrain.h"
#include "terrainlayers.h"
#include "texturecache.h"

namespace
{

// Vertices along each side of a slice.
const int verticesArea = 8;
const float kAdjacencyEpsilon = 0.05f;

void Release(ID3DXMesh*& mesh)
{
    if (mesh != NULL)
        mesh->Release();
    mesh = NULL;
}

} // namespace

SlicedTerrain::SlicedTerrain(const char* heightMap, const char* baseFile, const char* detailFile, int resolution,
                             int size, int altura, bool useDetail, bool useBump)
    : m_useBumpMap(useBump),
      m_useDetail(useDetail),
      m_numSlices(0),
      m_pSlices(NULL),
      m_sliceCenters(NULL),
      m_sliceRadii(NULL),
      m_pBaseTexture(NULL),
      m_pDetailTexture(NULL),
      m_pNormalMap(NULL),
      m_estado(NULL),
      m_resolution(resolution),
      m_size(size),
      m_altura(altura),
      m_heights(NULL)
{
    ConstructTerrain(*this, heightMap, baseFile, detailFile, &SlicedTerrain::BuildSlices);
}

SlicedTerrain::~SlicedTerrain()
{
    DestroyTerrain(*this, &SlicedTerrain::ReleaseSlices);
}

void SlicedTerrain::ReleaseSlices()
{
    if (m_pSlices != NULL)
        for (int i = 0; i < m_numSlices * m_numSlices; ++i)
            Release(m_pSlices[i]);
    delete[] m_pSlices;
    delete[] m_sliceCenters;
    delete[] m_sliceRadii;
    m_pSlices = NULL;
    m_sliceCenters = NULL;
    m_sliceRadii = NULL;
}

void SlicedTerrain::LoadHeightMap(const char* file)
{
    LoadTerrainHeightMap(*this, file);
}

void SlicedTerrain::LoadTextures(const char* baseFile, const char* detailFile)
{
    LoadTerrainLayerTextures(*this, baseFile, detailFile);
}

void SlicedTerrain::CreateStateBlock()
{
    TerrainSetUpRules rules;
    rules.validate = true;
    rules.disableLastStage = false;
    rules.disableStage2 = true;
    TerrainTextures textures = {m_pNormalMap, m_pBaseTexture, m_pDetailTexture};
    m_estado = ChooseTerrainSetUp(rules, textures, m_useBumpMap, m_useDetail);
}

void SlicedTerrain::BuildSlices()
{
    assert(verticesArea < 256 && "verticesArea < 256");
    m_numSlices = m_resolution / verticesArea;
    const int count = m_numSlices * m_numSlices;
    m_pSlices = new ID3DXMesh*[count];
    m_sliceCenters = new D3DXVECTOR3[count];
    m_sliceRadii = new float[count];

    // Three entries a face of the largest slice, (S + 1) x (S + 1) vertices.
    const size_t entries = 3 * 2 * verticesArea * verticesArea;
    std::vector<DWORD> adjacency(entries), adjacencyOut(entries);
    for (int i = 0; i < m_numSlices; ++i)
    {
        for (int j = 0; j < m_numSlices; ++j)
        {
            const int k = i * m_numSlices + j;
            m_sliceCenters[k] = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
            // A slice whose sphere is unknown is never culled.
            m_sliceRadii[k] = FLT_MAX;
            m_pSlices[k] = BuildSlice(i, j, adjacency, adjacencyOut);
        }
    }
}

ID3DXMesh* SlicedTerrain::BuildSlice(int i, int j, std::vector<DWORD>& adjacency, std::vector<DWORD>& adjacencyOut)
{
    const int n = m_resolution;
    const int ox = j > 0 ? 1 : 0, oz = i > 0 ? 1 : 0;
    // A slice after the first of its row or column starts one vertex early,
    // sharing the last column or row of its neighbour.
    const int w = verticesArea + ox, d = verticesArea + oz;
    const DWORD faces = 2 * (DWORD)(w - 1) * (DWORD)(d - 1);
    const bool threeSets = m_useBumpMap && m_useDetail;
    const DWORD fvf = threeSets ? kTerrainFvfThreeSets : kTerrainFvfTwoSets;
    const int entry = i * m_numSlices + j;

    ID3DXMesh* mesh = NULL;
    if (FAILED(D3DXCreateMeshFVF(faces, (DWORD)(w * d), D3DXMESH_MANAGED, fvf, m_pd3dDevice, &mesh)) || mesh == NULL)
    {
        ReportError("D3DXCreateMeshFVF FAILED");
        return NULL;
    }

    // Until its vertices and indices are written the slice is not drawn.
    BYTE* vb = NULL;
    if (FAILED(mesh->LockVertexBuffer(0, (void**)&vb)))
    {
        ReportError("LockVertexBuffer FAILED");
        Release(mesh);
        return NULL;
    }
    assert(m_altura <= 256 && "m_altura <= 256");
    const DWORD stride = D3DXGetFVFVertexSize(fvf);
    for (int l = 0; l < d; ++l)
    {
        for (int k = 0; k < w; ++k)
        {
            const int c = j * verticesArea - ox + k, r = i * verticesArea - oz + l;
            const int s = m_heights[(size_t)r * n + c];
            const float y = (float)((long long)s * m_altura - m_altura / 2) / 256.0f;
            float u1, v1;
            if (threeSets)
            {
                u1 = (float)(128 * c) / (float)n;
                v1 = (float)(128 * r) / (float)n;
            }
            else
            {
                // Set 1 starts again in every slice.
                TerrainDetailCoordinates(l, k, n, &u1, &v1);
            }
            WriteTerrainVertex(vb + (size_t)(l * w + k) * stride, stride, r, c, n, m_size, y, u1, v1);
        }
    }
    if (FAILED(D3DXComputeBoundingSphere((const D3DXVECTOR3*)vb, (DWORD)(w * d), stride, &m_sliceCenters[entry],
                                         &m_sliceRadii[entry])))
    {
        ReportError("D3DXComputeBoundingSphere FAILED");
        m_sliceRadii[entry] = FLT_MAX;
    }
    if (FAILED(mesh->UnlockVertexBuffer()))
    {
        ReportError("UnlockVertexBuffer FAILED");
        Release(mesh);
        return NULL;
    }

    WORD* ib = NULL;
    if (FAILED(mesh->LockIndexBuffer(0, (void**)&ib)))
    {
        ReportError("LockIndexBuffer FAILED");
        Release(mesh);
        return NULL;
    }
    // The one-mesh terrain's triangles and diagonal, cell by cell along the rows.
    size_t at = 0;
    for (int l = 1; l < d; ++l)
    {
        for (int k = 1; k < w; ++k)
        {
            const WORD corner[6] = {
                (WORD)((l - 1) * w + (k - 1)), (WORD)(l * w + (k - 1)), (WORD)((l - 1) * w + k),
                (WORD)((l - 1) * w + k),       (WORD)(l * w + (k - 1)), (WORD)(l * w + k),
            };
            for (WORD index : corner)
                ib[at++] = index;
        }
    }
    if (FAILED(mesh->UnlockIndexBuffer()))
    {
        ReportError("UnlockIndexBuffer FAILED");
        Release(mesh);
        return NULL;
    }

    // From here on the slice is whole: a step that fails keeps the last
    // good mesh and the slice goes on to the next step.
    auto adjacencyOf = [&adjacency](ID3DXMesh* m) {
        if (adjacency.size() < 3 * (size_t)m->GetNumFaces())
            adjacency.resize(3 * (size_t)m->GetNumFaces());
        if (SUCCEEDED(m->GenerateAdjacency(kAdjacencyEpsilon, adjacency.data())))
            return true;
        ReportError("GenerateAdjacency FAILED");
        return false;
    };

    if (adjacencyOf(mesh))
    {
        // Open borders stay where they are, so neighbouring slices keep
        // their shared vertices.
        ID3DXMesh* simplified = NULL;
        if (SUCCEEDED(D3DXSimplifyMesh(mesh, adjacency.data(), NULL, NULL, (DWORD)(faces * 0.4f), D3DXMESHSIMP_FACE,
                                       &simplified)) &&
            simplified != NULL)
        {
            Release(mesh);
            mesh = simplified;
        }
        else
        {
            ReportError("D3DXSimplifyMesh FAILED [SlicedTerrain]");
        }
    }
    if (adjacencyOf(mesh))
    {
        adjacencyOut.resize(adjacency.size());
        ID3DXMesh* cleaned = NULL;
        if (SUCCEEDED(D3DXCleanMesh(D3DXCLEAN_SIMPLIFICATION, mesh, adjacency.data(), &cleaned, adjacencyOut.data(),
                                    NULL)) &&
            cleaned != NULL)
        {
            Release(mesh);
            mesh = cleaned;
        }
        else
        {
            ReportError("D3DXCleanMesh FAILED");
        }
    }
    ID3DXMesh* clone = NULL;
    if (SUCCEEDED(mesh->CloneMeshFVF(D3DXMESH_MANAGED, fvf, m_pd3dDevice, &clone)) && clone != NULL)
    {
        Release(mesh);
        mesh = clone;
    }
    else
    {
        ReportError("CloneMeshFVF FAILED");
    }

    if (!adjacencyOf(mesh))
    {
        if (FAILED(D3DXComputeNormals(mesh, NULL)))
            ReportError("D3DXComputeNormals FAILED");
        return mesh;
    }
    adjacencyOut.resize(adjacency.size());
    const DWORD* normalsAdjacency = adjacencyOut.data();
    if (FAILED(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                     adjacency.data(), adjacencyOut.data(), NULL, NULL)))
    {
        ReportError("OptimizeInplace FAILED");
        normalsAdjacency = adjacency.data();
    }
    if (FAILED(D3DXComputeNormals(mesh, normalsAdjacency)))
        ReportError("D3DXComputeNormals FAILED");
    return mesh;
}

int SlicedTerrain::Render(Camera* camara, float)
{
    if (m_estado != NULL)
        m_estado->Apply();
    if (m_useBumpMap)
        SetTerrainLight(camara);

    const int count = m_pSlices != NULL ? m_numSlices * m_numSlices : 0;
    for (int k = 0; k < count; ++k)
    {
        if (m_pSlices[k] == NULL)
            continue;
        if (camara != NULL)
        {
            const D3DXVECTOR3& c = m_sliceCenters[k];
            const float r = m_sliceRadii[k];
            const D3DXVECTOR3 d = c - camara->m_frustumCenter;
            if (D3DXVec3Length(&d) > camara->m_frustumRadius + r)
                continue;
            bool outside = false;
            for (const D3DXPLANE& p : camara->m_frustumPlanes)
                if (p.a * c.x + p.b * c.y + p.c * c.z + p.d < -r)
                    outside = true;
            if (outside)
                continue;
        }
        m_pSlices[k]->DrawSubset(0);
    }

    if (m_useBumpMap)
        RestoreTerrainCoordinates(m_useDetail);
    return 0;
}

DWORD SlicedTerrain::DirectionToColor(const D3DXVECTOR3& v, float h)
{
    return Terrain::DirectionToColor(v, h);
}

float SlicedTerrain::GetHeight(float x, float z)
{
    float h;
    if (!TerrainSampleAt(m_heights, m_resolution, m_size, x, z, &h))
        return 0.0f;
    return ((float)m_altura * h - (float)(m_altura / 2)) / 256.0f;
}
