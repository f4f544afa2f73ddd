// ID3DXMesh on the recording fake: buffers made through the device, drawing by
// attribute, cloning to other layouts, vertex formats and adjacency.
#include "mesh_fixture.h"

namespace {

const std::vector<PosVertex> kQuad = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}};
// Two triangles sharing the edge 1-2.
const std::vector<DWORD> kQuadFaces = {0, 1, 2, 2, 1, 3};

TEST_F(MeshTest, BuffersComeFromTheDeviceWithThePoolsAndUsagesOfTheOptions)
{
    struct Case {
        DWORD options;
        D3DPOOL vbPool, ibPool;
        DWORD vbUsage, ibUsage;
        D3DFORMAT format;
    } cases[] = {
        {D3DXMESH_MANAGED, D3DPOOL_MANAGED, D3DPOOL_MANAGED, 0, 0, D3DFMT_INDEX16},
        {D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DPOOL_SYSTEMMEM, D3DPOOL_SYSTEMMEM, 0, 0, D3DFMT_INDEX32},
        {D3DXMESH_WRITEONLY, D3DPOOL_DEFAULT, D3DPOOL_DEFAULT, D3DUSAGE_WRITEONLY, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16},
        {D3DXMESH_VB_MANAGED | D3DXMESH_IB_DYNAMIC, D3DPOOL_MANAGED, D3DPOOL_DEFAULT, 0, D3DUSAGE_DYNAMIC,
         D3DFMT_INDEX16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        fake.ClearLog();
        ID3DXMesh* m = nullptr;
        ASSERT_EQ(D3DXCreateMeshFVF(2, 4, c.options, D3DFVF_XYZ | D3DFVF_NORMAL, dev, &m), S_OK);
        auto vb = fake.Find("CreateVertexBuffer");
        auto ib = fake.Find("CreateIndexBuffer");
        ASSERT_EQ(vb.size(), 1u);
        ASSERT_EQ(ib.size(), 1u);
        EXPECT_EQ(vb[0]->Arg("Length"), 4u * 24);
        EXPECT_EQ(vb[0]->Arg("Pool"), (uint64_t)c.vbPool);
        EXPECT_EQ(vb[0]->Arg("Usage"), c.vbUsage);
        EXPECT_EQ(vb[0]->Arg("FVF"), (uint64_t)(D3DFVF_XYZ | D3DFVF_NORMAL));
        EXPECT_EQ(ib[0]->Arg("Pool"), (uint64_t)c.ibPool);
        EXPECT_EQ(ib[0]->Arg("Usage"), c.ibUsage);
        EXPECT_EQ(ib[0]->Arg("Format"), (uint64_t)c.format);
        EXPECT_EQ(ib[0]->Arg("Length"), 6u * (c.format == D3DFMT_INDEX32 ? 4 : 2));
        EXPECT_EQ(m->GetNumFaces(), 2u);
        EXPECT_EQ(m->GetNumVertices(), 4u);
        EXPECT_EQ(m->GetFVF(), (DWORD)(D3DFVF_XYZ | D3DFVF_NORMAL));
        EXPECT_EQ(m->GetNumBytesPerVertex(), 24u);
        EXPECT_EQ(m->GetOptions(), c.options);
        IDirect3DDevice9* d = nullptr;
        ASSERT_EQ(m->GetDevice(&d), S_OK);
        EXPECT_EQ(d, dev);
        d->Release();
        m->Release();
    }
}

TEST_F(MeshTest, CreationRefusesWhatCannotBeAMesh)
{
    ID3DXMesh* m = (ID3DXMesh*)0x1;
    EXPECT_EQ(D3DXCreateMeshFVF(0, 3, 0, D3DFVF_XYZ, dev, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 0, 0, D3DFVF_XYZ, dev, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, nullptr, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 70000, 0, D3DFVF_XYZ, dev, &m), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXCreateMeshFVF(1, 70000, D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, dev, &m), S_OK);
    m->Release();
    fake.Fail("CreateIndexBuffer", E_OUTOFMEMORY);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, dev, &m), E_OUTOFMEMORY);
    EXPECT_EQ(m, nullptr);
}

TEST_F(MeshTest, DrawSubsetWithoutATableDrawsEachRunOfTheAttribute)
{
    // Faces with attributes 1, 1, 0, 1: two runs of subset 1.
    std::vector<PosVertex> pos = kQuad;
    std::vector<DWORD> faces = {0, 1, 2, 2, 1, 3, 0, 1, 3, 0, 2, 3};
    ID3DXMesh* m = MakeMesh(pos, faces, {1, 1, 0, 1});
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(dev->BeginScene(), S_OK);
    fake.ClearLog();
    ASSERT_EQ(m->DrawSubset(1), S_OK);
    auto draws = fake.Find("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0]->Arg("StartIndex"), 0u);
    EXPECT_EQ(draws[0]->Arg("PrimitiveCount"), 2u);
    EXPECT_EQ(draws[1]->Arg("StartIndex"), 9u);
    EXPECT_EQ(draws[1]->Arg("PrimitiveCount"), 1u);
    EXPECT_EQ(fake.Find("SetFVF")[0]->Arg("FVF"), (uint64_t)D3DFVF_XYZ);
    EXPECT_EQ(fake.Find("SetStreamSource")[0]->Arg("Stride"), 12u);
    fake.ClearLog();
    ASSERT_EQ(m->DrawSubset(7), S_OK);
    EXPECT_EQ(fake.Count("DrawIndexedPrimitive"), 0u);
    dev->EndScene();
    m->Release();
}

TEST_F(MeshTest, DrawSubsetFollowsTheAttributeTable)
{
    ID3DXMesh* m = MakeMesh(kQuad, kQuadFaces, {0, 1});
    const D3DXATTRIBUTERANGE table[] = {{0, 0, 1, 0, 3}, {1, 1, 1, 1, 3}};
    ASSERT_EQ(m->SetAttributeTable(table, 2), S_OK);
    DWORD n = 0;
    ASSERT_EQ(m->GetAttributeTable(nullptr, &n), S_OK);
    EXPECT_EQ(n, 2u);
    const D3DXATTRIBUTERANGE bad = {0, 1, 5, 0, 3};
    EXPECT_EQ(m->SetAttributeTable(&bad, 1), D3DERR_INVALIDCALL);
    dev->BeginScene();
    fake.ClearLog();
    ASSERT_EQ(m->DrawSubset(1), S_OK);
    auto draws = fake.Find("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0]->Arg("MinVertexIndex"), 1u);
    EXPECT_EQ(draws[0]->Arg("NumVertices"), 3u);
    EXPECT_EQ(draws[0]->Arg("StartIndex"), 3u);
    EXPECT_EQ(draws[0]->Arg("PrimitiveCount"), 1u);
    dev->EndScene();
    m->Release();
}

TEST_F(MeshTest, CloneAddsMissingComponentsAsWhiteColoursAndZeros)
{
    ID3DXMesh* m = MakeMesh(kQuad, kQuadFaces, {0, 3}, D3DFVF_TEX1);
    // Texture coordinates (u, v) = (i, 2i).
    BYTE* v = nullptr;
    m->LockVertexBuffer(0, (void**)&v);
    for (int i = 0; i < 4; ++i) {
        const float uv[2] = {(float)i, 2.0f * i};
        std::memcpy(v + i * 20 + 12, uv, 8);
    }
    m->UnlockVertexBuffer();
    ID3DXMesh* c = nullptr;
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
    ASSERT_EQ(m->CloneMeshFVF(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, fvf, dev, &c), S_OK);
    EXPECT_EQ(c->GetFVF(), fvf);
    EXPECT_EQ(c->GetNumBytesPerVertex(), 12u + 12 + 4 + 4 + 16);
    EXPECT_EQ(c->GetOptions(), (DWORD)(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT));
    for (DWORD i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Floats(c, i, 0, 3), (std::vector<float>{kQuad[i].x, kQuad[i].y, kQuad[i].z}));
        EXPECT_EQ(Floats(c, i, 12, 3), (std::vector<float>{0, 0, 0}));
        EXPECT_EQ(Dword(c, i, 24), 0xFFFFFFFFu);
        EXPECT_EQ(Dword(c, i, 28), 0xFFFFFFFFu);
        EXPECT_EQ(Floats(c, i, 32, 2), (std::vector<float>{(float)i, 2.0f * i}));
        EXPECT_EQ(Floats(c, i, 40, 2), (std::vector<float>{0, 0}));
    }
    EXPECT_EQ(Indices(c), kQuadFaces);
    EXPECT_EQ(Attributes(c), (std::vector<DWORD>{0, 3}));
    // Back to fewer components and 16-bit indices.
    ID3DXMesh* back = nullptr;
    ASSERT_EQ(c->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_TEX1, dev, &back), S_OK);
    EXPECT_EQ(Floats(back, 3, 12, 2), (std::vector<float>{3, 6}));
    EXPECT_EQ(Indices(back), kQuadFaces);
    back->Release();
    EXPECT_EQ(c->CloneMeshFVF(0, D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR, dev, &back),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(back, nullptr);
    c->Release();
    m->Release();
}

TEST_F(MeshTest, CloneToADeclarationConvertsTypes)
{
    ID3DXMesh* m = MakeMesh(kQuad, kQuadFaces, {}, D3DFVF_DIFFUSE);
    BYTE* v = nullptr;
    m->LockVertexBuffer(0, (void**)&v);
    const DWORD red = 0x80FF0000;
    for (int i = 0; i < 4; ++i)
        std::memcpy(v + i * 16 + 12, &red, 4);
    m->UnlockVertexBuffer();
    const D3DVERTEXELEMENT9 decl[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 16, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 32, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
        D3DDECL_END()};
    ID3DXMesh* c = nullptr;
    ASSERT_EQ(m->CloneMesh(D3DXMESH_SYSTEMMEM, decl, dev, &c), S_OK);
    EXPECT_EQ(c->GetFVF(), 0u);
    EXPECT_EQ(c->GetNumBytesPerVertex(), 44u);
    EXPECT_EQ(Floats(c, 3, 0, 4), (std::vector<float>{1, 1, 0, 1}));
    const std::vector<float> colour = Floats(c, 3, 16, 4);
    EXPECT_FLOAT_EQ(colour[0], 1.0f);
    EXPECT_FLOAT_EQ(colour[1], 0.0f);
    EXPECT_NEAR(colour[3], 128 / 255.0f, 1e-6);
    D3DVERTEXELEMENT9 got[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(c->GetDeclaration(got), S_OK);
    EXPECT_EQ(D3DXGetDeclLength(got), 3u);
    EXPECT_EQ(got[2].Usage, D3DDECLUSAGE_TANGENT);
    // A declaration without an FVF code draws through a vertex declaration.
    dev->BeginScene();
    fake.ClearLog();
    ASSERT_EQ(c->DrawSubset(0), S_OK);
    EXPECT_EQ(fake.Count("SetVertexDeclaration"), 1u);
    EXPECT_EQ(fake.Count("SetFVF"), 0u);
    dev->EndScene();
    c->Release();
    m->Release();
}

TEST_F(MeshTest, UpdateSemanticsRelabelsWithoutChangingTheSize)
{
    ID3DXMesh* m = MakeMesh(kQuad, kQuadFaces, {}, D3DFVF_DIFFUSE);
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(m->GetDeclaration(decl), S_OK);
    decl[1].Usage = D3DDECLUSAGE_BLENDINDICES;
    ASSERT_EQ(m->UpdateSemantics(decl), S_OK);
    EXPECT_EQ(m->GetFVF(), (DWORD)(D3DFVF_XYZB1 | D3DFVF_LASTBETA_D3DCOLOR));
    decl[1].Usage = D3DDECLUSAGE_TANGENT;
    ASSERT_EQ(m->UpdateSemantics(decl), S_OK);
    EXPECT_EQ(m->GetFVF(), 0u);
    decl[1].Type = D3DDECLTYPE_FLOAT2;
    EXPECT_EQ(m->UpdateSemantics(decl), D3DERR_INVALIDCALL);
    m->Release();
}

struct FvfCase {
    DWORD fvf;
    UINT size;
    std::vector<std::pair<BYTE, BYTE>> usageAndType;
};

TEST(D3DXVertexFormats, FvfCodesAndDeclarationsMatch)
{
    const FvfCase cases[] = {
        {D3DFVF_XYZ, 12, {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}}},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20, {{D3DDECLUSAGE_POSITIONT, D3DDECLTYPE_FLOAT4}, {D3DDECLUSAGE_COLOR, D3DDECLTYPE_D3DCOLOR}}},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32,
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2}}},
        {D3DFVF_XYZB4 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL, 40,
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_BLENDWEIGHT, D3DDECLTYPE_FLOAT3},
          {D3DDECLUSAGE_BLENDINDICES, D3DDECLTYPE_UBYTE4}, {D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3}}},
        {D3DFVF_XYZB2, 20, {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_BLENDWEIGHT, D3DDECLTYPE_FLOAT2}}},
        {D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(0) | D3DFVF_TEXCOORDSIZE1(1),
         36,
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_PSIZE, D3DDECLTYPE_FLOAT1}, {D3DDECLUSAGE_COLOR, D3DDECLTYPE_D3DCOLOR},
          {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT1}}},
        {0x352, 52, {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3},
                     {D3DDECLUSAGE_COLOR, D3DDECLTYPE_D3DCOLOR}, {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2},
                     {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2}, {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2}}},
    };
    for (const FvfCase& c : cases) {
        SCOPED_TRACE(c.fvf);
        EXPECT_EQ(D3DXGetFVFVertexSize(c.fvf), c.size);
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(D3DXDeclaratorFromFVF(c.fvf, decl), S_OK);
        ASSERT_EQ(D3DXGetDeclLength(decl), c.usageAndType.size());
        for (size_t i = 0; i < c.usageAndType.size(); ++i) {
            EXPECT_EQ(decl[i].Usage, c.usageAndType[i].first);
            EXPECT_EQ(decl[i].Type, c.usageAndType[i].second);
        }
        EXPECT_EQ(D3DXGetDeclVertexSize(decl, 0), c.size);
        DWORD back = 0;
        ASSERT_EQ(D3DXFVFFromDeclarator(decl, &back), S_OK);
        EXPECT_EQ(back, c.fvf);
    }
    // Declarations no FVF code describes.
    const D3DVERTEXELEMENT9 gap[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                     {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0}, D3DDECL_END()};
    const D3DVERTEXELEMENT9 tangent[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                         {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0}, D3DDECL_END()};
    DWORD fvf = 0;
    EXPECT_EQ(D3DXFVFFromDeclarator(gap, &fvf), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFVFFromDeclarator(tangent, &fvf), D3DERR_INVALIDCALL);
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    EXPECT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ | 0x900, decl), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZ | 0x900), 0u);
}

TEST_F(MeshTest, AdjacencyOfASharedEdgePair)
{
    ID3DXMesh* m = MakeMesh(kQuad, kQuadFaces);
    DWORD adj[6];
    ASSERT_EQ(m->GenerateAdjacency(0.0f, adj), S_OK);
    // Face 0 (0,1,2): edge 1-2 is its second; face 1 (2,1,3): edge 2-1 is its first.
    EXPECT_EQ(std::vector<DWORD>(adj, adj + 6), (std::vector<DWORD>{0xFFFFFFFF, 1, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0xFFFFFFFF}));
    DWORD reps[6];
    ASSERT_EQ(m->ConvertAdjacencyToPointReps(adj, reps), S_OK);
    EXPECT_EQ(std::vector<DWORD>(reps, reps + 4), (std::vector<DWORD>{0, 1, 2, 3}));
    m->Release();

    // Split vertices: the second face has its own copies of the shared points.
    const std::vector<PosVertex> split = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 0.0001f, 0}, {0, 1, 0}, {1, 1, 0}};
    m = MakeMesh(split, {0, 1, 2, 3, 4, 5});
    ASSERT_EQ(m->GenerateAdjacency(0.0f, adj), S_OK);
    EXPECT_EQ(adj[1], 0xFFFFFFFFu) << "positions differ by more than epsilon 0";
    ASSERT_EQ(m->GenerateAdjacency(0.001f, adj), S_OK);
    EXPECT_EQ(adj[1], 1u);
    EXPECT_EQ(adj[3], 0u);
    ASSERT_EQ(m->ConvertAdjacencyToPointReps(adj, reps), S_OK);
    EXPECT_EQ(reps[3], 2u);
    EXPECT_EQ(reps[4], 1u);
    DWORD again[6];
    ASSERT_EQ(m->ConvertPointRepsToAdjacency(reps, again), S_OK);
    EXPECT_EQ(std::vector<DWORD>(again, again + 6), std::vector<DWORD>(adj, adj + 6));
    m->Release();
}

} // namespace
