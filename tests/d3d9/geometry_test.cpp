// Buffers, indexed draws, primitive types, vertex declarations, vertex
// blending, texture coordinate generation and transforms, shaders.
#include "device_fixture.h"

namespace d3d9test {
namespace {

class Geometry : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        MakeDevice();
        m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    }
    bool Drawn(int x, int y) { return (Pixel(x, y) & 0xFFFFFF) != 0; }
};

TEST_F(Geometry, VertexAndIndexBuffersWith16And32BitIndices)
{
    RhwVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFF0000, 0, 0}, {16, 0, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {0, 16, 0.5f, 1, 0xFFFF0000, 0, 0}, {16, 16, 0.5f, 1, 0xFFFF0000, 0, 0}};
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(8 * sizeof(RhwVertex), D3DUSAGE_WRITEONLY, kRhwFvf, D3DPOOL_MANAGED, &vb,
                                        nullptr),
              S_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), S_OK);
    std::memcpy(p, quad, sizeof(quad));
    for (RhwVertex& v : quad) {
        v.x += 32;
        v.color = 0xFF00FF00;
    }
    std::memcpy((RhwVertex*)p + 4, quad, sizeof(quad));
    ASSERT_EQ(vb->Unlock(), S_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC vd;
    vb->GetDesc(&vd);
    EXPECT_EQ(vd.Size, 8 * sizeof(RhwVertex));
    EXPECT_EQ(vd.FVF, kRhwFvf);

    IDirect3DIndexBuffer9* ib16 = nullptr;
    IDirect3DIndexBuffer9* ib32 = nullptr;
    ASSERT_EQ(m_dev->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib16, nullptr), S_OK);
    ASSERT_EQ(m_dev->CreateIndexBuffer(6 * 4, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib32, nullptr), S_OK);
    const WORD i16[6] = {0, 1, 2, 2, 1, 3};
    const DWORD i32[6] = {0, 1, 2, 2, 1, 3};
    ib16->Lock(0, 0, &p, 0);
    std::memcpy(p, i16, sizeof(i16));
    ib16->Unlock();
    ib32->Lock(0, 0, &p, 0);
    std::memcpy(p, i32, sizeof(i32));
    ib32->Unlock();

    m_dev->SetFVF(kRhwFvf);
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    m_dev->SetIndices(ib16);
    ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
    m_dev->SetIndices(ib32);
    ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), S_OK);  // base vertex 4
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(40, 8), 0xFF00FF00, 0));
    // Drawing from a later vertex.
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), S_OK);
    EXPECT_FALSE(Drawn(8, 8));
    EXPECT_TRUE(Drawn(40, 8));
    // A relock with DISCARD replaces the data the next draw sees.
    vb->Lock(0, 0, &p, D3DLOCK_DISCARD);
    for (int i = 0; i < 8; ++i) ((RhwVertex*)p)[i] = {0, 0, 0, 1, 0, 0, 0};
    vb->Unlock();
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2);
    EXPECT_FALSE(Drawn(40, 8));
    // Index reads past the index buffer and vertex ranges past the vertex buffer fail.
    EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 6, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 5, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), S_OK);
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    m_dev->SetIndices(nullptr);
    EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    vb->Release();
    ib16->Release();
    ib32->Release();
}

TEST_F(Geometry, PartialLocksAndLockFlagsKeepWhatWasNotWritten)
{
    auto quad = [](RhwVertex* v, float x, DWORD color) {
        const float xy[4][2] = {{0, 0}, {16, 0}, {0, 16}, {16, 16}};
        for (int i = 0; i < 4; ++i) v[i] = {xy[i][0] + x, xy[i][1], 0.5f, 1, color, 0, 0};
    };
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(12 * sizeof(RhwVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kRhwFvf,
                                        D3DPOOL_DEFAULT, &vb, nullptr),
              S_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 4 * sizeof(RhwVertex), &p, D3DLOCK_DISCARD), S_OK);
    quad((RhwVertex*)p, 0, 0xFFFF0000);
    ASSERT_EQ(vb->Unlock(), S_OK);
    m_dev->SetFVF(kRhwFvf);
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    // Appending after a draw: the pointer is at the offset and the earlier vertices stay.
    ASSERT_EQ(vb->Lock(4 * sizeof(RhwVertex), 4 * sizeof(RhwVertex), &p, D3DLOCK_NOOVERWRITE), S_OK);
    quad((RhwVertex*)p, 20, 0xFF00FF00);
    ASSERT_EQ(vb->Unlock(), S_OK);
    // Two separate ranges written before the next draw both arrive.
    ASSERT_EQ(vb->Lock(8 * sizeof(RhwVertex), 0, &p, D3DLOCK_NOOVERWRITE), S_OK);
    quad((RhwVertex*)p, 40, 0xFF0000FF);
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), S_OK);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 8, 2), S_OK);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(28, 8), 0xFF00FF00, 0));
    EXPECT_TRUE(Near(Pixel(48, 8), 0xFF0000FF, 0));
    // A read-only lock sees what was written; the whole buffer draws unchanged.
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(((RhwVertex*)p)[4].color, 0xFF00FF00u);
    EXPECT_EQ(((RhwVertex*)p)[9].x, 56.0f);
    ASSERT_EQ(vb->Unlock(), S_OK);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), S_OK);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(28, 8), 0xFF00FF00, 0));
    // Ranges past the end fail.
    EXPECT_EQ(vb->Lock(12 * sizeof(RhwVertex), 1, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 13 * sizeof(RhwVertex), &p, 0), D3DERR_INVALIDCALL);
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(Geometry, ManagedResourcesDrawTheSameAfterEviction)
{
    IDirect3DTexture9* tex = SolidTexture(0xFF20C040);
    ASSERT_NE(tex, nullptr);
    RhwVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {16, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                         {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {16, 16, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(sizeof(quad), 0, kRhwFvf, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), S_OK);
    std::memcpy(p, quad, sizeof(quad));
    vb->Unlock();
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetTexture(0, tex);
    m_dev->SetFVF(kRhwFvf);
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF20C040, 0));
    EXPECT_EQ(m_dev->EvictManagedResources(), S_OK);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF20C040, 0));
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*(const DWORD*)lr.pBits, 0xFF20C040u);
    tex->UnlockRect(0);
    m_dev->SetTexture(0, nullptr);
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    tex->Release();
    vb->Release();
}

TEST_F(Geometry, UserPointerDrawsResetStreamZeroAndIndices)
{
    RhwVertex v[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                      {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {16, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    const WORD idx[6] = {0, 1, 2, 2, 1, 3};
    IDirect3DVertexBuffer9* vb = nullptr;
    m_dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    m_dev->SetStreamSource(0, vb, 0, 16);
    m_dev->SetFVF(kRhwFvf);
    ASSERT_EQ(m_dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, idx, D3DFMT_INDEX16, v, sizeof(RhwVertex)),
              S_OK);
    EXPECT_TRUE(Drawn(8, 8));
    IDirect3DVertexBuffer9* got = vb;
    UINT off = 1, stride = 1;
    m_dev->GetStreamSource(0, &got, &off, &stride);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(stride, 0u);
    vb->Release();
}

struct PrimitiveCase {
    D3DPRIMITIVETYPE type;
    UINT count;
    int x, y;    // a pixel the primitive covers
    int nx, ny;  // a pixel it leaves, which the neighbouring type would cover
};

class Primitives : public Geometry, public ::testing::WithParamInterface<PrimitiveCase> {};

TEST_P(Primitives, EveryTypeCoversItsOwnPixelsDirectOrIndexed)
{
    const PrimitiveCase& c = GetParam();
    RhwVertex v[6] = {{4, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0},  {30, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                      {4, 30, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {30, 30, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                      {50, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {50, 30, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    m_dev->SetFVF(kRhwFvf);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(c.type, c.count, v, sizeof(RhwVertex)), S_OK);
    EXPECT_TRUE(Drawn(c.x, c.y)) << c.type;
    EXPECT_FALSE(Drawn(c.nx, c.ny)) << c.type;
    const std::vector<DWORD> direct = Frame();
    // Indexed through user memory, and from buffers: the same pixels.
    const WORD idx[6] = {0, 1, 2, 3, 4, 5};
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawIndexedPrimitiveUP(c.type, 0, 6, c.count, idx, D3DFMT_INDEX16, v, sizeof(RhwVertex)), S_OK);
    EXPECT_TRUE(Frame() == direct) << c.type;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(m_dev->CreateVertexBuffer(sizeof(v), 0, kRhwFvf, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    ASSERT_EQ(m_dev->CreateIndexBuffer(sizeof(idx), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), S_OK);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, v, sizeof(v));
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    std::memcpy(p, idx, sizeof(idx));
    ib->Unlock();
    m_dev->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    m_dev->SetIndices(ib);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawIndexedPrimitive(c.type, 0, 0, 6, 0, c.count), S_OK);
    EXPECT_TRUE(Frame() == direct) << c.type;
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    m_dev->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

INSTANTIATE_TEST_SUITE_P(Types, Primitives,
                         ::testing::Values(PrimitiveCase{D3DPT_POINTLIST, 6, 30, 30, 17, 17},
                                           PrimitiveCase{D3DPT_LINELIST, 3, 17, 4, 17, 17},
                                           PrimitiveCase{D3DPT_LINESTRIP, 5, 17, 17, 8, 20},
                                           PrimitiveCase{D3DPT_TRIANGLELIST, 2, 8, 8, 25, 25},
                                           PrimitiveCase{D3DPT_TRIANGLESTRIP, 4, 40, 20, 40, 8},
                                           PrimitiveCase{D3DPT_TRIANGLEFAN, 2, 8, 20, 28, 12}));

TEST_F(Geometry, DeclarationsDrawLikeTheMatchingFormat)
{
    const D3DVERTEXELEMENT9 decl[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* d = nullptr;
    ASSERT_EQ(m_dev->CreateVertexDeclaration(decl, &d), S_OK);
    UINT n = 0;
    d->GetDeclaration(nullptr, &n);
    EXPECT_EQ(n, 3u);
    ASSERT_EQ(m_dev->SetVertexDeclaration(d), S_OK);
    DWORD fvf = 1;
    m_dev->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    struct V { float x, y, z, w; DWORD c; } v[4] = {
        {0, 0, 0.5f, 1, 0xFF00FFFF}, {8, 0, 0.5f, 1, 0xFF00FFFF}, {0, 8, 0.5f, 1, 0xFF00FFFF}, {8, 8, 0.5f, 1, 0xFF00FFFF}};
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), S_OK);
    EXPECT_TRUE(Near(Pixel(3, 3), 0xFF00FFFF, 0));
    m_dev->SetVertexDeclaration(nullptr);
    d->Release();
}

// Two-matrix vertex blending, indexed and not, in the row-vector convention.
TEST_F(Geometry, VertexBlendingWeighsTheWorldMatrices)
{
    D3DMATRIX left = Translation(-0.5f, 0, 0), right = Translation(0.5f, 0, 0);
    m_dev->SetTransform(D3DTS_WORLDMATRIX(0), &left);
    m_dev->SetTransform(D3DTS_WORLDMATRIX(1), &right);
    m_dev->SetTransform(D3DTS_WORLDMATRIX(5), &right);
    struct V { float x, y, z, w; DWORD c; } tri[3] = {
        {-0.1f, 0.1f, 0.5f, 1.0f, 0xFFFFFFFF}, {0.1f, 0.1f, 0.5f, 1.0f, 0xFFFFFFFF}, {-0.1f, -0.1f, 0.5f, 1.0f, 0xFFFFFFFF}};
    m_dev->SetFVF(D3DFVF_XYZB1 | D3DFVF_DIFFUSE);
    m_dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    // The triangle's point (-0.05, 0.05) lands on pixel 14, 30 or 46 of row 30
    // when moved left, not at all or right.
    // Weight 1 on matrix 0: moved left.
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), S_OK);
    EXPECT_TRUE(Drawn(14, 30));
    EXPECT_FALSE(Drawn(30, 30));
    // Weight 0: all on matrix 1, moved right.
    for (V& v : tri) v.w = 0.0f;
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    EXPECT_TRUE(Drawn(46, 30));
    EXPECT_FALSE(Drawn(14, 30));
    // Half and half: back in the middle.
    for (V& v : tri) v.w = 0.5f;
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    EXPECT_TRUE(Drawn(30, 30));
    EXPECT_FALSE(Drawn(46, 30));
    // Indexed: the last beta holds the matrix indices (5, then 0).
    struct VI { float x, y, z, w; DWORD idx; DWORD c; } itri[3] = {
        {-0.1f, 0.1f, 0.5f, 1.0f, 0x00000005u, 0xFFFFFFFF},
        {0.1f, 0.1f, 0.5f, 1.0f, 0x00000005u, 0xFFFFFFFF},
        {-0.1f, -0.1f, 0.5f, 1.0f, 0x00000005u, 0xFFFFFFFF}};
    m_dev->SetFVF(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_DIFFUSE);
    m_dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, itri, sizeof(VI)), S_OK);
    EXPECT_TRUE(Drawn(46, 30));
    EXPECT_FALSE(Drawn(14, 30));
    m_dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    m_dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
}

TEST_F(Geometry, TextureCoordinateIndexGenerationAndTransform)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = 0xFFFF0000;
    ((DWORD*)lr.pBits)[1] = 0xFF00FF00;
    t->UnlockRect(0);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    struct V { float x, y, z, rhw; float u0, v0, u1, v1; } q[4] = {
        {0, 0, 0.5f, 1, 0.25f, 0, 0.75f, 0}, {8, 0, 0.5f, 1, 0.25f, 0, 0.75f, 0},
        {0, 8, 0.5f, 1, 0.25f, 1, 0.75f, 1}, {8, 8, 0.5f, 1, 0.25f, 1, 0.75f, 1}};
    m_dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V));
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFFFF0000, 0));
    m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V));
    EXPECT_TRUE(Near(Pixel(4, 4), 0xFF00FF00, 0));
    m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);

    // A texture transform on transformed vertices: 2D translation sits in the third row.
    struct TV { float x, y, z; float u, v; } tq[4] = {
        {-1, 1, 0.5f, 0.25f, 0}, {1, 1, 0.5f, 0.25f, 0}, {-1, -1, 0.5f, 0.25f, 1}, {1, -1, 0.5f, 0.25f, 1}};
    D3DMATRIX shift = Identity();
    shift._31 = 0.5f;
    m_dev->SetTransform(D3DTS_TEXTURE0, &shift);
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, tq, sizeof(TV));
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFFFF0000, 0));  // flags off: no transform
    m_dev->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, tq, sizeof(TV));
    EXPECT_TRUE(Near(Pixel(32, 32), 0xFF00FF00, 0));
    // Camera-space position as coordinates: x from -1 to 1 across the screen.
    m_dev->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, tq, sizeof(TV));
    EXPECT_TRUE(Near(Pixel(56, 32), 0xFF00FF00, 0));  // u = 0.75
    EXPECT_TRUE(Near(Pixel(2, 32), 0xFFFF0000, 0));   // u < 0, clamped
    m_dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(Geometry, ShadersDrawWithTheirConstantsAndNullMeansFixedFunction)
{
    std::vector<DWORD> vs = ShaderTokens(D3DVS_VERSION(2, 0),
                                         "layout(location = 0) in vec4 a_pos;\n"
                                         "uniform vec4 vs_c[256];\n"
                                         "void main() { gl_Position = vec4(a_pos.xy + vs_c[0].xy, 0.5, 1.0); }\n");
    std::vector<DWORD> ps = ShaderTokens(D3DPS_VERSION(2, 0),
                                         "uniform vec4 ps_c[224];\nout vec4 oC0;\n"
                                         "void main() { oC0 = ps_c[3]; }\n");
    IDirect3DVertexShader9* v = nullptr;
    IDirect3DPixelShader9* p = nullptr;
    ASSERT_EQ(m_dev->CreateVertexShader(vs.data(), &v), S_OK);
    ASSERT_EQ(m_dev->CreatePixelShader(ps.data(), &p), S_OK);
    UINT size = 0;
    v->GetFunction(nullptr, &size);
    EXPECT_EQ(size, vs.size() * 4);
    m_dev->SetVertexShader(v);
    m_dev->SetPixelShader(p);
    const float offset[4] = {0.5f, 0, 0, 0};
    const float colour[4] = {0, 0, 1, 1};
    m_dev->SetVertexShaderConstantF(0, offset, 1);
    m_dev->SetPixelShaderConstantF(3, colour, 1);
    struct V { float x, y, z; } tri[3] = {{-0.2f, 0.2f, 0}, {0.2f, 0.2f, 0}, {-0.2f, -0.2f, 0}};
    m_dev->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), S_OK);
    EXPECT_TRUE(Near(Pixel(45, 30), 0xFF0000FF, 0));
    EXPECT_FALSE(Drawn(30, 30));
    // The alpha test applies to the shader's output (alpha 1.0 = 255 here).
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESS);
    m_dev->SetRenderState(D3DRS_ALPHAREF, 255);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    EXPECT_FALSE(Drawn(45, 30));
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    EXPECT_TRUE(Drawn(45, 30));
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    // Back to fixed function.
    m_dev->SetVertexShader(nullptr);
    m_dev->SetPixelShader(nullptr);
    struct F { float x, y, z; DWORD c; } ftri[3] = {
        {-0.2f, 0.2f, 0.5f, 0xFFFF0000}, {0.2f, 0.2f, 0.5f, 0xFFFF0000}, {-0.2f, -0.2f, 0.5f, 0xFFFF0000}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ftri, sizeof(F));
    EXPECT_TRUE(Near(Pixel(30, 30), 0xFFFF0000, 0));
    v->Release();
    p->Release();
    // Malformed streams are refused.
    const DWORD bad[3] = {D3DVS_VERSION(2, 0), 0x12345678, 0x0000FFFF};
    IDirect3DVertexShader9* none = nullptr;
    EXPECT_EQ(m_dev->CreateVertexShader(bad, &none), D3DERR_INVALIDCALL);
    std::vector<DWORD> broken = ShaderTokens(D3DVS_VERSION(2, 0), "void main() { nonsense }");
    EXPECT_EQ(m_dev->CreateVertexShader(broken.data(), &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
}

TEST_F(Geometry, AVertexShaderFeedsTheFixedFunctionStages)
{
    std::vector<DWORD> vs = ShaderTokens(D3DVS_VERSION(2, 0),
                                         "layout(location = 0) in vec4 a_pos;\n"
                                         "out vec4 oD0;\nout vec4 oT0;\n"
                                         "void main() {\n"
                                         "  gl_Position = vec4(a_pos.xy, 0.5, 1.0);\n"
                                         "  oD0 = vec4(0.0, 1.0, 1.0, 1.0);\n"
                                         "  oT0 = vec4(0.25, 0.5, 0.0, 1.0);\n"
                                         "}\n");
    IDirect3DVertexShader9* v = nullptr;
    ASSERT_EQ(m_dev->CreateVertexShader(vs.data(), &v), S_OK);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = 0xFFFFFF00;
    ((DWORD*)lr.pBits)[1] = 0xFF0000FF;
    t->UnlockRect(0);
    m_dev->SetVertexShader(v);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    struct V { float x, y, z; } tri[3] = {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}};
    m_dev->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), S_OK);
    // Texel (0.25, 0.5) is yellow; times the shader's cyan leaves green.
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFF00FF00, 1));
    // The stages' alpha test applies too.
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    EXPECT_FALSE(Drawn(8, 8));
    m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    m_dev->SetVertexShader(nullptr);
    m_dev->SetTexture(0, nullptr);
    t->Release();
    EXPECT_EQ(v->Release(), 0u);
}

TEST_F(Geometry, ProgramsAreCompiledOncePerStateCombination)
{
    D3DCAPS9 caps;
    m_dev->GetDeviceCaps(&caps);
    EXPECT_NE(caps.AlphaCmpCaps & D3DPCMPCAPS_GREATEREQUAL, 0u);
    EXPECT_NE(caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3, 0u);
    EXPECT_GE(caps.MaxTextureBlendStages, 2u);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    IDirect3DQuery9* q = nullptr;
    (void)q;
    // Draw the same two combinations repeatedly and count nothing new.
    for (int i = 0; i < 3; ++i) {
        m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, i & 1);
        Quad(0, 0, 8, 8, 0xFFFFFFFF);
    }
    EXPECT_TRUE(Drawn(4, 4));
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

TEST_F(Geometry, TexturesAreInterpolatedWithPerspective)
{
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(m_dev->CreateTexture(1, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    ((DWORD*)lr.pBits)[0] = 0xFFFF0000;
    ((DWORD*)((uint8_t*)lr.pBits + lr.Pitch))[0] = 0xFF00FF00;
    t->UnlockRect(0);
    m_dev->SetTexture(0, t);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3DMATRIX proj = PerspectiveFovLH(1.5707964f, 1.0f, 0.5f, 10.0f);
    m_dev->SetTransform(D3DTS_PROJECTION, &proj);
    // A floor at y = -1 from z = 1 (v = 1) to z = 3 (v = 0): the texture's
    // middle, z = 2, is on row 48, not halfway down the floor's rows.
    struct V { float x, y, z, u, v; } floor[4] = {
        {-3, -1, 3, 0, 0}, {3, -1, 3, 0, 0}, {-3, -1, 1, 0, 1}, {3, -1, 1, 0, 1}};
    m_dev->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, floor, sizeof(V)), S_OK);
    EXPECT_TRUE(Near(Pixel(32, 46), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(32, 50), 0xFF00FF00, 0));
    m_dev->SetTexture(0, nullptr);
    t->Release();
}

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

struct IndexedBlendCase {
    const char* name;
    DWORD fvf;
    DWORD vertexBlend;
    int weights;
    float weight[2];
    DWORD indices;  // the last beta, as stored
    int column;     // where the triangle's corner lands on row 30
};

class IndexedBlending : public Geometry, public ::testing::WithParamInterface<IndexedBlendCase> {};

// World matrices 0, 2, 3 and 37 move the triangle 0.5 left, 0.25 left, 0.5
// right and 0.25 right; the others leave it. Its corner lands on column
// 30 + 32 x the blended move.
TEST_P(IndexedBlending, TheIndicesPickTheWorldMatrices)
{
    const IndexedBlendCase& c = GetParam();
    const struct { int index; float x; } moves[] = {{0, -0.5f}, {2, -0.25f}, {3, 0.5f}, {37, 0.25f}};
    for (auto& m : moves) {
        D3DMATRIX t = Translation(m.x, 0, 0);
        m_dev->SetTransform(D3DTS_WORLDMATRIX(m.index), &t);
    }
    m_dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    m_dev->SetRenderState(D3DRS_VERTEXBLEND, c.vertexBlend);
    const float corners[3][2] = {{-0.1f, 0.1f}, {0.1f, 0.1f}, {-0.1f, -0.1f}};
    std::vector<uint8_t> data;
    for (auto& p : corners) {
        const float pos[3] = {p[0], p[1], 0.5f};
        const DWORD colour = 0xFFFFFFFF;
        const size_t at = data.size();
        data.resize(at + 12 + 4 * c.weights + 8);
        std::memcpy(&data[at], pos, 12);
        std::memcpy(&data[at + 12], c.weight, 4 * c.weights);
        std::memcpy(&data[at + 12 + 4 * c.weights], &c.indices, 4);
        std::memcpy(&data[at + 16 + 4 * c.weights], &colour, 4);
    }
    m_dev->SetFVF(c.fvf | D3DFVF_DIFFUSE);
    ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, data.data(), (UINT)(data.size() / 3)), S_OK);
    EXPECT_TRUE(Drawn(c.column, 30)) << c.name;
    for (int other : {14, 22, 30, 34, 38, 46}) {
        if (std::abs(other - c.column) > 2) {
            EXPECT_FALSE(Drawn(other, 30)) << c.name << ": also at " << other;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IndexedBlending,
    ::testing::Values(
        IndexedBlendCase{"one weight on index 2", D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, D3DVBF_1WEIGHTS, 1, {1, 0},
                         0x00000002u, 22},
        IndexedBlendCase{"one weight shared by indices 0 and 3", D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4,
                         D3DVBF_1WEIGHTS, 1, {0.5f, 0}, 0x00000300u, 30},
        IndexedBlendCase{"no weights: the first index alone", D3DFVF_XYZB1 | D3DFVF_LASTBETA_UBYTE4, D3DVBF_0WEIGHTS,
                         0, {0, 0}, 0x00000003u, 46},
        IndexedBlendCase{"a high index", D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, D3DVBF_1WEIGHTS, 1, {1, 0},
                         0x00000025u, 38},
        IndexedBlendCase{"two weights over three matrices", D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4, D3DVBF_2WEIGHTS, 2,
                         {0.25f, 0.25f}, 0x00250300u, 34},
        IndexedBlendCase{"colour indices start with red", D3DFVF_XYZB2 | D3DFVF_LASTBETA_D3DCOLOR, D3DVBF_1WEIGHTS,
                         1, {1, 0}, 0x00020000u, 22}));

} // namespace
} // namespace d3d9test

namespace d3d9test {
namespace {

// Positions in stream 0, colours in stream 1: a stream with nothing bound
// reads as zero (black, alpha 0), in a draw from memory as from buffers.
enum class StreamDraw { Memory, IndexedMemory, Buffers };

struct StreamCase {
    const char* name;
    StreamDraw draw;
    bool colourBound;   // stream 1 holds a buffer of green vertices
    DWORD colourArg;    // what stage 0 shows
    DWORD expected;
};

class UnboundStreams : public Geometry, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(UnboundStreams, ReadAsZero)
{
    const StreamCase& c = GetParam();
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(m_dev->CreateVertexDeclaration(elements, &decl), S_OK);
    m_dev->SetVertexDeclaration(decl);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, c.colourArg);
    m_dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    const float quad[4][4] = {{0, 0, 0.5f, 1}, {16, 0, 0.5f, 1}, {0, 16, 0.5f, 1}, {16, 16, 0.5f, 1}};
    const DWORD green[4] = {0x8000FF00, 0x8000FF00, 0x8000FF00, 0x8000FF00};
    const WORD idx[6] = {0, 1, 2, 2, 1, 3};
    IDirect3DVertexBuffer9* positions = nullptr;
    IDirect3DVertexBuffer9* colours = nullptr;
    if (c.colourBound) {
        ASSERT_EQ(m_dev->CreateVertexBuffer(sizeof(green), 0, 0, D3DPOOL_MANAGED, &colours, nullptr), S_OK);
        void* p = nullptr;
        colours->Lock(0, 0, &p, 0);
        std::memcpy(p, green, sizeof(green));
        colours->Unlock();
        m_dev->SetStreamSource(1, colours, 0, sizeof(DWORD));
    }
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    switch (c.draw) {
    case StreamDraw::Memory:
        ASSERT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(quad[0])), S_OK);
        break;
    case StreamDraw::IndexedMemory:
        ASSERT_EQ(m_dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, idx, D3DFMT_INDEX16, quad,
                                                sizeof(quad[0])),
                  S_OK);
        break;
    case StreamDraw::Buffers: {
        ASSERT_EQ(m_dev->CreateVertexBuffer(sizeof(quad), 0, 0, D3DPOOL_MANAGED, &positions, nullptr), S_OK);
        void* p = nullptr;
        positions->Lock(0, 0, &p, 0);
        std::memcpy(p, quad, sizeof(quad));
        positions->Unlock();
        m_dev->SetStreamSource(0, positions, 0, sizeof(quad[0]));
        ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
        break;
    }
    }
    EXPECT_TRUE(Near(Pixel(8, 8), c.expected, 1)) << c.name;
    EXPECT_TRUE(Near(Pixel(40, 40), 0xFF0000FF, 0)) << c.name;
    m_dev->SetStreamSource(0, nullptr, 0, 0);
    m_dev->SetStreamSource(1, nullptr, 0, 0);
    m_dev->SetVertexDeclaration(nullptr);
    if (positions) positions->Release();
    if (colours) colours->Release();
    decl->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnboundStreams,
    ::testing::Values(
        StreamCase{"from memory, colour black", StreamDraw::Memory, false, D3DTA_DIFFUSE, 0xFF000000},
        StreamCase{"from memory, alpha 0", StreamDraw::Memory, false, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE,
                   0xFF000000},
        StreamCase{"indexed from memory, colour black", StreamDraw::IndexedMemory, false, D3DTA_DIFFUSE,
                   0xFF000000},
        StreamCase{"indexed from memory, alpha 0", StreamDraw::IndexedMemory, false,
                   D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, 0xFF000000},
        StreamCase{"from buffers, colour black", StreamDraw::Buffers, false, D3DTA_DIFFUSE, 0xFF000000},
        StreamCase{"from buffers, alpha 0", StreamDraw::Buffers, false, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE,
                   0xFF000000},
        StreamCase{"from memory with stream 1 bound", StreamDraw::Memory, true, D3DTA_DIFFUSE, 0xFF00FF00},
        StreamCase{"from memory with stream 1 bound, its alpha", StreamDraw::Memory, true,
                   D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, 0xFF808080},
        StreamCase{"indexed from memory with stream 1 bound", StreamDraw::IndexedMemory, true, D3DTA_DIFFUSE,
                   0xFF00FF00}));

} // namespace
} // namespace d3d9test
