// Mesh operations on the recording fake: attribute sorting and the table it
// builds, vertex-cache ordering, normals, tangents, bounds, cleaning and
// simplification.
#include "mesh_fixture.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

bool samePos(const PosVertex& a, const PosVertex& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// A grid of (n+1) x (n+1) vertices in the XZ plane, y from `height`, two
// faces per cell, clockwise from above.
void Grid(int n, std::vector<PosVertex>& pos, std::vector<DWORD>& faces, float (*height)(int, int))
{
    pos.clear();
    faces.clear();
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= n; ++c)
            pos.push_back({(float)c, height ? height(r, c) : 0.0f, (float)r});
    auto at = [&](int r, int c) { return (DWORD)(r * (n + 1) + c); };
    for (int r = 1; r <= n; ++r)
        for (int c = 1; c <= n; ++c) {
            faces.insert(faces.end(), {at(r - 1, c - 1), at(r, c - 1), at(r - 1, c)});
            faces.insert(faces.end(), {at(r - 1, c), at(r, c - 1), at(r, c)});
        }
}

std::vector<PosVertex> Positions(ID3DXMesh* m)
{
    std::vector<PosVertex> out(m->GetNumVertices());
    for (DWORD i = 0; i < out.size(); ++i) {
        auto f = MeshTest::Floats(m, i, 0, 3);
        out[i] = {f[0], f[1], f[2]};
    }
    return out;
}

// Each face as its three corner positions, rotated to start at the smallest.
std::multiset<std::vector<float>> FaceSet(const std::vector<PosVertex>& pos, const std::vector<DWORD>& idx)
{
    std::multiset<std::vector<float>> out;
    for (size_t f = 0; f < idx.size() / 3; ++f) {
        std::vector<std::vector<float>> c;
        for (int k = 0; k < 3; ++k) {
            const PosVertex& p = pos[idx[f * 3 + k]];
            c.push_back({p.x, p.y, p.z});
        }
        const size_t first = std::min_element(c.begin(), c.end()) - c.begin();
        std::vector<float> flat;
        for (int k = 0; k < 3; ++k)
            flat.insert(flat.end(), c[(first + k) % 3].begin(), c[(first + k) % 3].end());
        out.insert(flat);
    }
    return out;
}

TEST_F(MeshTest, AttrSortBuildsATableOfDisjointRangesAndDrawSubsetUsesIt)
{
    std::vector<PosVertex> pos;
    std::vector<DWORD> faces;
    Grid(2, pos, faces, nullptr);
    // Eight faces, attributes interleaved; vertices shared between subsets.
    const std::vector<DWORD> attributes = {2, 0, 2, 1, 0, 1, 2, 0};
    ID3DXMesh* m = MakeMesh(pos, faces, attributes);
    std::vector<DWORD> remap(8);
    ID3DXBuffer* vremap = nullptr;
    ASSERT_EQ(m->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, remap.data(), &vremap), S_OK);
    EXPECT_EQ(Attributes(m), (std::vector<DWORD>{0, 0, 0, 1, 1, 2, 2, 2}));
    EXPECT_EQ(remap, (std::vector<DWORD>{1, 4, 7, 3, 5, 0, 2, 6}));
    DWORD n = 0;
    ASSERT_EQ(m->GetAttributeTable(nullptr, &n), S_OK);
    ASSERT_EQ(n, 3u);
    std::vector<D3DXATTRIBUTERANGE> table(n);
    m->GetAttributeTable(table.data(), &n);
    const std::vector<DWORD> idx = Indices(m);
    const std::vector<PosVertex> now = Positions(m);
    DWORD nextVertex = 0;
    for (DWORD i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].AttribId, i);
        EXPECT_EQ(table[i].FaceStart, i == 0 ? 0u : i == 1 ? 3u : 5u);
        EXPECT_EQ(table[i].FaceCount, i == 1 ? 2u : 3u);
        // Ranges follow each other and hold every vertex their faces use.
        EXPECT_EQ(table[i].VertexStart, nextVertex);
        nextVertex += table[i].VertexCount;
        for (DWORD f = table[i].FaceStart; f < table[i].FaceStart + table[i].FaceCount; ++f)
            for (int k = 0; k < 3; ++k) {
                EXPECT_GE(idx[f * 3 + k], table[i].VertexStart);
                EXPECT_LT(idx[f * 3 + k], table[i].VertexStart + table[i].VertexCount);
            }
    }
    EXPECT_EQ(nextVertex, m->GetNumVertices());
    EXPECT_GT(m->GetNumVertices(), 9u) << "shared vertices are split between subsets";
    // The vertex remap names where each vertex came from; faces still cover the same places.
    ASSERT_NE(vremap, nullptr);
    ASSERT_EQ(vremap->GetBufferSize(), 4 * m->GetNumVertices());
    const DWORD* from = (const DWORD*)vremap->GetBufferPointer();
    for (DWORD v = 0; v < m->GetNumVertices(); ++v)
        EXPECT_TRUE(samePos(now[v], pos[from[v]]));
    for (DWORD f = 0; f < 8; ++f)
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(samePos(now[idx[f * 3 + k]], pos[faces[remap[f] * 3 + k]]));
    vremap->Release();

    dev->BeginScene();
    fake.ClearLog();
    ASSERT_EQ(m->DrawSubset(2), S_OK);
    auto draws = fake.Find("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0]->Arg("StartIndex"), 15u);
    EXPECT_EQ(draws[0]->Arg("PrimitiveCount"), 3u);
    EXPECT_EQ(draws[0]->Arg("MinVertexIndex"), table[2].VertexStart);
    EXPECT_EQ(draws[0]->Arg("NumVertices"), table[2].VertexCount);
    dev->EndScene();
    m->Release();
}

TEST_F(MeshTest, OptimizeForTheVertexCacheKeepsEveryFaceAndItsNeighbours)
{
    std::vector<PosVertex> pos;
    std::vector<DWORD> faces;
    Grid(12, pos, faces, [](int r, int c) { return (float)((r * 7 + c * 3) % 5); });
    ID3DXMesh* m = MakeMesh(pos, faces);
    std::vector<DWORD> adjIn(faces.size()), adjOut(faces.size()), fresh(faces.size());
    ASSERT_EQ(m->GenerateAdjacency(0.05f, adjIn.data()), S_OK);
    ID3DXMesh* o = nullptr;
    ASSERT_EQ(m->Optimize(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESH_MANAGED,
                          adjIn.data(), adjOut.data(), nullptr, nullptr, &o),
              S_OK);
    EXPECT_EQ(o->GetOptions(), (DWORD)D3DXMESH_MANAGED);
    EXPECT_EQ(FaceSet(Positions(o), Indices(o)), FaceSet(pos, faces));
    EXPECT_EQ(o->GetNumVertices(), pos.size());
    EXPECT_NE(Indices(o), faces) << "the faces were reordered";
    ASSERT_EQ(o->GenerateAdjacency(0.05f, fresh.data()), S_OK);
    EXPECT_EQ(adjOut, fresh);
    o->Release();
    m->Release();
}

TEST_F(MeshTest, CompactDropsUnusedVertices)
{
    std::vector<PosVertex> pos = {{9, 9, 9}, {0, 0, 0}, {0, 1, 0}, {8, 8, 8}, {1, 0, 0}};
    ID3DXMesh* m = MakeMesh(pos, {1, 2, 4});
    ASSERT_EQ(m->OptimizeInplace(D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(m->GetNumVertices(), 3u);
    EXPECT_EQ(Indices(m), (std::vector<DWORD>{0, 1, 2}));
    DWORD n = 5;
    m->GetAttributeTable(nullptr, &n);
    EXPECT_EQ(n, 0u);
    m->Release();
}

// A unit cube around the origin: 8 shared corners, or 24 with each side's own.
void Cube(bool split, std::vector<PosVertex>& pos, std::vector<DWORD>& faces)
{
    pos.clear();
    faces.clear();
    const int sides[6][4][3] = {
        {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}, {{1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}},
        {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}}, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
        {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},     {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
    };
    auto index = [&](const int* c) {
        PosVertex p = {(float)c[0], (float)c[1], (float)c[2]};
        if (!split)
            for (DWORD i = 0; i < pos.size(); ++i)
                if (samePos(pos[i], p))
                    return i;
        pos.push_back(p);
        return (DWORD)pos.size() - 1;
    };
    for (auto& s : sides) {
        DWORD q[4];
        for (int k = 0; k < 4; ++k)
            q[k] = index(s[k]);
        faces.insert(faces.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
    }
}

TEST_F(MeshTest, NormalsOfACube)
{
    std::vector<PosVertex> pos;
    std::vector<DWORD> faces;
    // Shared corners: each normal points out along the diagonal.
    Cube(false, pos, faces);
    ID3DXMesh* m = MakeMesh(pos, faces, {}, D3DFVF_NORMAL);
    ASSERT_EQ(D3DXComputeNormals(m, nullptr), S_OK);
    const float d = 1.0f / std::sqrt(3.0f);
    for (DWORD v = 0; v < pos.size(); ++v) {
        auto n = Floats(m, v, 12, 3);
        EXPECT_NEAR(n[0], pos[v].x * d, 1e-5);
        EXPECT_NEAR(n[1], pos[v].y * d, 1e-5);
        EXPECT_NEAR(n[2], pos[v].z * d, 1e-5);
    }
    m->Release();

    // Split corners: each side keeps its own flat normal, unless adjacency
    // joins the corners at one point.
    Cube(true, pos, faces);
    m = MakeMesh(pos, faces, {}, D3DFVF_NORMAL);
    ASSERT_EQ(D3DXComputeNormals(m, nullptr), S_OK);
    for (DWORD v = 0; v < pos.size(); ++v) {
        auto n = Floats(m, v, 12, 3);
        const int side = v / 4;
        const float expect[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
        EXPECT_NEAR(n[0], expect[side][0], 1e-6);
        EXPECT_NEAR(n[1], expect[side][1], 1e-6);
        EXPECT_NEAR(n[2], expect[side][2], 1e-6);
    }
    std::vector<DWORD> adj(faces.size());
    ASSERT_EQ(m->GenerateAdjacency(0.0f, adj.data()), S_OK);
    ASSERT_EQ(D3DXComputeNormals(m, adj.data()), S_OK);
    auto n = Floats(m, 0, 12, 3);
    EXPECT_NEAR(n[0], pos[0].x * d, 1e-5);
    EXPECT_NEAR(n[1], pos[0].y * d, 1e-5);
    EXPECT_NEAR(n[2], pos[0].z * d, 1e-5);
    m->Release();

    m = MakeMesh(pos, faces);
    EXPECT_EQ(D3DXComputeNormals(m, nullptr), D3DERR_INVALIDCALL) << "no normals to fill";
    m->Release();
}

TEST_F(MeshTest, TangentsFollowTheTextureU)
{
    // A quad facing -z, u growing with x and v growing downwards, within half a
    // wrap so that wrapping changes nothing.
    ID3DXMesh* q = MakeMesh({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}, {0, 1, 2, 2, 1, 3}, {}, D3DFVF_NORMAL | D3DFVF_TEX1);
    BYTE* v = nullptr;
    q->LockVertexBuffer(0, (void**)&v);
    for (int i = 0; i < 4; ++i) {
        float* f = (float*)(v + i * 32);
        f[3] = 0.0f;
        f[4] = 0.0f;
        f[5] = -1.0f;
        f[6] = 0.5f * f[0];
        f[7] = 0.5f * (1.0f - f[1]);
    }
    q->UnlockVertexBuffer();
    const D3DVERTEXELEMENT9 decl[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                      {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                      {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                      {0, 32, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                      {0, 44, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_BINORMAL, 0},
                                      D3DDECL_END()};
    ID3DXMesh* m = nullptr;
    ASSERT_EQ(q->CloneMesh(D3DXMESH_SYSTEMMEM, decl, dev, &m), S_OK);
    ASSERT_EQ(D3DXComputeTangent(m, 0, 0, 0, 1, nullptr), S_OK);
    for (DWORD i = 0; i < 4; ++i) {
        auto t = Floats(m, i, 32, 3);
        auto b = Floats(m, i, 44, 3);
        EXPECT_NEAR(t[0], 1.0f, 1e-5);
        EXPECT_NEAR(t[1], 0.0f, 1e-5);
        EXPECT_NEAR(b[1], -1.0f, 1e-5);
    }
    EXPECT_EQ(D3DXComputeTangent(q, 0, 0, 0, 1, nullptr), D3DERR_INVALIDCALL) << "no tangent to fill";
    m->Release();
    q->Release();
}

TEST(D3DXBounds, SphereAroundTheMeanAndBox)
{
    struct V {
        D3DXVECTOR3 p;
        float pad;
    };
    const V v[] = {{{1, 0, 0}, 7}, {{3, 0, 0}, 7}, {{2, 2, 0}, 7}, {{2, -2, 4}, 7}};
    D3DXVECTOR3 c, lo, hi;
    float r = 0;
    ASSERT_EQ(D3DXComputeBoundingSphere(&v[0].p, 4, sizeof(V), &c, &r), S_OK);
    EXPECT_EQ(c, D3DXVECTOR3(2, 0, 1));
    EXPECT_FLOAT_EQ(r, std::sqrt(4.0f + 9.0f));
    ASSERT_EQ(D3DXComputeBoundingBox(&v[0].p, 4, sizeof(V), &lo, &hi), S_OK);
    EXPECT_EQ(lo, D3DXVECTOR3(1, -2, 0));
    EXPECT_EQ(hi, D3DXVECTOR3(3, 2, 4));
    EXPECT_EQ(D3DXComputeBoundingSphere(nullptr, 4, sizeof(V), &c, &r), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeBoundingBox(&v[0].p, 4, sizeof(V), nullptr, &hi), D3DERR_INVALIDCALL);
}

TEST_F(MeshTest, SimplifyingAGridKeepsItsBorders)
{
    // A slice as the sliced terrain makes them: 9 x 9 vertices, 128 faces, target 51.
    std::vector<PosVertex> pos;
    std::vector<DWORD> faces;
    Grid(8, pos, faces, [](int r, int c) { return 0.3f * std::sin(r * 0.9f) * std::cos(c * 0.7f); });
    ID3DXMesh* m = MakeMesh(pos, faces);
    std::vector<DWORD> adj(faces.size());
    ASSERT_EQ(m->GenerateAdjacency(0.05f, adj.data()), S_OK);
    ID3DXMesh* s = nullptr;
    ASSERT_EQ(D3DXSimplifyMesh(m, adj.data(), nullptr, nullptr, 51, D3DXMESHSIMP_FACE, &s), S_OK);
    EXPECT_LE(s->GetNumFaces(), 64u);
    EXPECT_GE(s->GetNumFaces(), 30u);
    EXPECT_EQ(s->GetOptions(), m->GetOptions());
    const std::vector<PosVertex> now = Positions(s);
    const std::vector<DWORD> idx = Indices(s);
    // Every border segment of the grid is still an edge of some face.
    auto hasEdge = [&](const PosVertex& a, const PosVertex& b) {
        for (size_t f = 0; f < idx.size() / 3; ++f)
            for (int k = 0; k < 3; ++k)
                if ((samePos(now[idx[f * 3 + k]], a) && samePos(now[idx[f * 3 + (k + 1) % 3]], b)) ||
                    (samePos(now[idx[f * 3 + k]], b) && samePos(now[idx[f * 3 + (k + 1) % 3]], a)))
                    return true;
        return false;
    };
    auto at = [&](int r, int c) { return pos[r * 9 + c]; };
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(hasEdge(at(0, i), at(0, i + 1))) << i;
        EXPECT_TRUE(hasEdge(at(8, i), at(8, i + 1))) << i;
        EXPECT_TRUE(hasEdge(at(i, 0), at(i + 1, 0))) << i;
        EXPECT_TRUE(hasEdge(at(i, 8), at(i + 1, 8))) << i;
    }
    s->Release();

    // A heavy vertex in the middle stays.
    std::vector<float> weights(pos.size(), 1.0f);
    weights[4 * 9 + 4] = 10.0f;
    ASSERT_EQ(D3DXSimplifyMesh(m, adj.data(), nullptr, weights.data(), 40, D3DXMESHSIMP_FACE, &s), S_OK);
    const std::vector<PosVertex> kept = Positions(s);
    EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), [&](const PosVertex& p) { return samePos(p, at(4, 4)); }));
    s->Release();
    EXPECT_EQ(D3DXSimplifyMesh(m, adj.data(), nullptr, nullptr, 51, 0, &s), D3DERR_INVALIDCALL);
    m->Release();
}

TEST_F(MeshTest, CleaningSplitsBowtiesAndBackToBackFaces)
{
    // Two triangles meeting only at vertex 0.
    ID3DXMesh* m = MakeMesh({{0, 0, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, {1, 1, 0}}, {0, 1, 2, 0, 3, 4});
    std::vector<DWORD> adj(6), adjOut(6);
    ASSERT_EQ(m->GenerateAdjacency(0.0f, adj.data()), S_OK);
    ID3DXMesh* c = nullptr;
    ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BOWTIES, m, adj.data(), &c, adjOut.data(), nullptr), S_OK);
    EXPECT_EQ(c->GetNumVertices(), 6u);
    const std::vector<DWORD> idx = Indices(c);
    EXPECT_NE(idx[0], idx[3]);
    EXPECT_TRUE(samePos(Positions(c)[idx[3]], {0, 0, 0}));
    c->Release();
    m->Release();

    // The same triangle twice, wound both ways.
    m = MakeMesh({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 1, 2, 0, 2, 1});
    ASSERT_EQ(m->GenerateAdjacency(0.0f, adj.data()), S_OK);
    EXPECT_EQ(adj[0], 1u);
    ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_SIMPLIFICATION, m, adj.data(), &c, adjOut.data(), nullptr), S_OK);
    EXPECT_EQ(c->GetNumVertices(), 6u);
    EXPECT_EQ(adjOut, std::vector<DWORD>(6, 0xFFFFFFFF));
    c->Release();
    m->Release();
}

} // namespace

namespace {

// Adjacency from its definition: each vertex in index order takes the later
// untaken vertices within epsilon on every axis as its own; each directed
// edge in face order pairs with the first earlier open edge running the
// other way between the same representatives in another face.
std::vector<DWORD> AdjacencyByDefinition(const std::vector<PosVertex>& pos, const std::vector<DWORD>& idx, float eps)
{
    const DWORD kNone = 0xFFFFFFFF;
    std::vector<DWORD> rep(pos.size(), kNone);
    for (size_t v = 0; v < pos.size(); ++v) {
        if (rep[v] != kNone)
            continue;
        rep[v] = (DWORD)v;
        for (size_t w = v + 1; w < pos.size(); ++w)
            if (rep[w] == kNone && std::fabs(pos[w].x - pos[v].x) <= eps && std::fabs(pos[w].y - pos[v].y) <= eps &&
                std::fabs(pos[w].z - pos[v].z) <= eps)
                rep[w] = (DWORD)v;
    }
    std::vector<DWORD> adj(idx.size(), kNone);
    auto from = [&](size_t e) { return rep[idx[e]]; };
    auto to = [&](size_t e) { return rep[idx[e - e % 3 + (e % 3 + 1) % 3]]; };
    for (size_t e = 0; e < idx.size(); ++e) {
        if (from(e) == to(e))
            continue;
        for (size_t g = 0; g < e; ++g)
            if (adj[g] == kNone && g / 3 != e / 3 && from(g) == to(e) && to(g) == from(e) && from(g) != to(g)) {
                adj[e] = (DWORD)(g / 3);
                adj[g] = (DWORD)(e / 3);
                break;
            }
    }
    return adj;
}

} // namespace

// Points on a coarse lattice with jitter below and above epsilon, repeated
// points, degenerate faces and edges shared by three faces.
TEST_F(MeshTest, AdjacencyOfCrowdedPointsMatchesItsDefinition)
{
    unsigned seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    for (float eps : {0.0f, 0.05f, 0.3f}) {
        for (int round = 0; round < 6; ++round) {
            std::vector<PosVertex> pos;
            for (int i = 0; i < 120; ++i) {
                auto coord = [&] {
                    const float lattice = (float)(next() % 4) * 0.5f - 1.0f;
                    const float jitter = (next() % 3 == 0) ? 0.0f : ((float)(next() % 200) - 100.0f) * 0.001f;
                    return lattice + jitter;
                };
                pos.push_back({coord(), coord(), coord()});
            }
            std::vector<DWORD> idx;
            for (int f = 0; f < 150; ++f)
                for (int k = 0; k < 3; ++k)
                    idx.push_back(next() % pos.size());
            ID3DXMesh* m = MakeMesh(pos, idx);
            ASSERT_NE(m, nullptr);
            std::vector<DWORD> adj(idx.size());
            ASSERT_EQ(m->GenerateAdjacency(eps, adj.data()), S_OK);
            EXPECT_EQ(adj, AdjacencyByDefinition(pos, idx, eps)) << "epsilon " << eps << ", round " << round;
            m->Release();
        }
    }
}
