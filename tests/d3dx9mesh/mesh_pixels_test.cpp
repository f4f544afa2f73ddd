// A mesh on the real GL device: the subsets its attribute table names are
// what gets drawn.
#include "device_fixture.h"

#include <d3dx9.h>

#include <cstring>

namespace {

using d3d9test::DeviceTest;

struct ColorVertex {
    float x, y, z;
    DWORD color;
};

class MeshOnTheDevice : public DeviceTest {};

TEST_F(MeshOnTheDevice, DrawSubsetDrawsOnlyItsSubset)
{
    MakeDevice();
    // Left half red (subset 2), right half green (subset 5), faces interleaved.
    ID3DXMesh* m = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(4, 8, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE, m_dev, &m), S_OK);
    const ColorVertex v[8] = {{-1, -1, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {0, 1, 0.5f, 0xFFFF0000},
                              {0, -1, 0.5f, 0xFFFF0000},  {0, -1, 0.5f, 0xFF00FF00}, {0, 1, 0.5f, 0xFF00FF00},
                              {1, 1, 0.5f, 0xFF00FF00},   {1, -1, 0.5f, 0xFF00FF00}};
    void* p = nullptr;
    ASSERT_EQ(m->LockVertexBuffer(0, &p), S_OK);
    std::memcpy(p, v, sizeof(v));
    m->UnlockVertexBuffer();
    const WORD idx[12] = {4, 5, 6, 0, 1, 2, 4, 6, 7, 0, 2, 3};
    ASSERT_EQ(m->LockIndexBuffer(0, &p), S_OK);
    std::memcpy(p, idx, sizeof(idx));
    m->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    ASSERT_EQ(m->LockAttributeBuffer(0, &attr), S_OK);
    const DWORD ids[4] = {5, 2, 5, 2};
    std::memcpy(attr, ids, sizeof(ids));
    m->UnlockAttributeBuffer();
    ASSERT_EQ(m->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, nullptr, nullptr),
              S_OK);

    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0), S_OK);
    ASSERT_EQ(m_dev->BeginScene(), S_OK);
    ASSERT_EQ(m->DrawSubset(5), S_OK);
    ASSERT_EQ(m_dev->EndScene(), S_OK);
    EXPECT_TRUE(d3d9test::Near(Pixel(kWidth * 3 / 4, kHeight / 2), 0xFF00FF00)) << "subset 5 is drawn";
    EXPECT_TRUE(d3d9test::Near(Pixel(kWidth / 4, kHeight / 2), 0xFF0000FF)) << "subset 2 is not";
    m->Release();
}

} // namespace
