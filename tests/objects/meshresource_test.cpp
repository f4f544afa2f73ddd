// MeshResource on the recording fake: the two passes by material opacity,
// textures per subset, the drawn clone's life and failed loads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <d3dx9.h>

#include "fake_engine.h"
#include "meshresource.h"
#include "texturecache.h"

namespace {

class MeshResourceTest : public FakeEngineTest {
protected:
    // Four pieces; piece i has i + 1 faces, so a draw's primitive count
    // names its subset.
    void LoadFourPieces(MeshResource& mesh)
    {
        WriteFile("data/models/four.x", XMeshText({{1, 1.0f, ""}, {2, 0.5f, ""}, {3, 1.5f, ""}, {4, 1.0f, ""}}));
        ASSERT_EQ(mesh.Create(dev, "data\\models\\four.x"), S_OK);
        ASSERT_EQ(mesh.m_numMaterials, 4u);
        mesh.m_materials[3].Diffuse.a = std::numeric_limits<float>::quiet_NaN();
        ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    }

    // Subsets drawn by one Render, by primitive count, with the opacity of
    // the material each draw saw.
    struct Drawn {
        std::vector<int> subsets;
        std::vector<float> alphas;
    };
    Drawn Render(MeshResource& mesh, bool opaque, bool alpha)
    {
        fake.ClearLog();
        dev->BeginScene();
        EXPECT_EQ(mesh.Render(dev, opaque, alpha), S_OK);
        dev->EndScene();
        Drawn d;
        for (const FakeDraw& draw : fake.Draws()) {
            d.subsets.push_back((int)draw.primitiveCount - 1);
            d.alphas.push_back(draw.material.Diffuse.a);
        }
        return d;
    }
};

bool SameFloat(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(MeshResourceTest, SubsetsGoToTheOpaqueAndTheAlphaPassByTheirMaterialsOpacity)
{
    MeshResource mesh("four");
    LoadFourPieces(mesh);
    // Opacities 1.0, 0.5, 1.5 and NaN: 1.0 only opaque, 0.5 only alpha,
    // 1.5 and NaN in both passes.
    const struct {
        bool opaque, alpha;
        std::vector<int> subsets;
    } cases[] = {
        {true, true, {0, 2, 3, 1, 2, 3}},
        {true, false, {0, 2, 3}},
        {false, true, {1, 2, 3}},
        {false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.opaque) + " " + std::to_string(c.alpha));
        Drawn d = Render(mesh, c.opaque, c.alpha);
        EXPECT_EQ(d.subsets, c.subsets);
        for (size_t i = 0; i < d.subsets.size(); ++i)
            EXPECT_TRUE(SameFloat(d.alphas[i], mesh.m_materials[d.subsets[i]].Diffuse.a)) << i;
        EXPECT_EQ(fake.Count("SetMaterial"), c.subsets.size());
        EXPECT_EQ(fake.Count("SetTexture"), c.subsets.size());
        EXPECT_EQ(fake.Count("SetRenderState"), 0u);
    }
}

TEST_F(MeshResourceTest, WithoutMaterialsEverySubsetIsDrawnOnceAndNoMaterialIsSet)
{
    MeshResource mesh("four");
    LoadFourPieces(mesh);
    mesh.m_useMaterials = false;
    Drawn d = Render(mesh, true, true);
    EXPECT_EQ(d.subsets, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(fake.Count("SetMaterial"), 0u);
    EXPECT_EQ(fake.Count("SetTexture"), 0u);
}

TEST_F(MeshResourceTest, SubsetsWithoutATextureOrWithAMissingOneDrawWithStageZeroUnbound)
{
    WriteTexture("red.bmp", 0xFF0000);
    WriteFile("data/models/textured.x",
              XMeshText({{1, 1.0f, "red.bmp"}, {2, 1.0f, ""}, {3, 1.0f, "missing.bmp"}, {4, 1.0f, "red.bmp"}}));
    MeshResource mesh("textured");
    ASSERT_EQ(mesh.Create(dev, "data\\models\\textured.x"), S_OK);
    ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    ASSERT_EQ(mesh.m_numMaterials, 4u);
    IDirect3DTexture9* red = nullptr;
    ASSERT_EQ(LoadTextureFromFile("red.bmp", &red), S_OK);
    EXPECT_EQ(mesh.m_textures[0], red);
    EXPECT_EQ(mesh.m_textures[1], nullptr);
    EXPECT_EQ(mesh.m_textures[2], nullptr);
    EXPECT_EQ(mesh.m_textures[3], red);

    // Whatever was bound before, each subset draws with its own texture.
    dev->SetTexture(0, red);
    Drawn d = Render(mesh, true, true);
    ASSERT_EQ(d.subsets, (std::vector<int>{0, 1, 2, 3}));
    const std::vector<IDirect3DBaseTexture9*> expected = {red, nullptr, nullptr, red};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(fake.Draws()[i].textures[0], expected[i]) << i;
    dev->SetTexture(0, nullptr);
    ReleaseTexture(red);

    // The resource holds the cache entry once per material that named it.
    mesh.Destroy();
    EXPECT_EQ(mesh.m_numMaterials, 0u);
    EXPECT_EQ(mesh.m_textures, nullptr);
    EXPECT_EQ(mesh.m_materials, nullptr);
}

TEST_F(MeshResourceTest, DrawingNeedsTheDrawnClone)
{
    WriteFile("data/models/one.x", XMeshText({{1, 1.0f, ""}}));
    MeshResource mesh("one");
    dev->BeginScene();
    EXPECT_EQ(mesh.Render(dev, true, true), E_FAIL);
    ASSERT_EQ(mesh.Create(dev, "data\\models\\one.x"), S_OK);
    EXPECT_EQ(mesh.Render(dev, true, true), E_FAIL);
    ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    EXPECT_EQ(mesh.Render(dev, true, true), S_OK);
    EXPECT_EQ(mesh.InvalidateDeviceObjects(), S_OK);
    EXPECT_EQ(mesh.m_pLocalMesh, nullptr);
    EXPECT_EQ(mesh.Render(dev, true, true), E_FAIL);
    dev->EndScene();
    EXPECT_EQ(fake.Draws().size(), 1u);
}

TEST_F(MeshResourceTest, RestoringTwiceKeepsOneDrawnClone)
{
    WriteFile("data/models/one.x", XMeshText({{1, 1.0f, ""}}));
    const size_t deviceOnly = fake.LiveObjects();
    MeshResource mesh("one");
    ASSERT_EQ(mesh.Create(dev, "data\\models\\one.x"), S_OK);
    ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    const size_t live = fake.LiveObjects();
    ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    EXPECT_EQ(fake.LiveObjects(), live);
    mesh.Destroy();
    EXPECT_EQ(fake.LiveObjects(), deviceOnly);
}

TEST_F(MeshResourceTest, AConversionWhoseCloneFailsChangesNothing)
{
    WriteFile("data/models/one.x", XMeshText({{1, 1.0f, ""}}));
    MeshResource mesh("one");
    ASSERT_EQ(mesh.Create(dev, "data\\models\\one.x"), S_OK);
    ASSERT_EQ(mesh.RestoreDeviceObjects(dev), S_OK);
    ID3DXMesh* sysMem = mesh.m_pSysMemMesh;
    ID3DXMesh* local = mesh.m_pLocalMesh;
    const DWORD fvf = sysMem->GetFVF();
    const size_t live = fake.LiveObjects();
    // The clone of the loaded mesh fails; then that of the drawn one, after
    // the first clone was made.
    for (int skip : {0, 1}) {
        SCOPED_TRACE(skip);
        fake.ClearFailures();
        fake.Fail("CreateVertexBuffer").After(skip).Times(1);
        EXPECT_EQ(mesh.SetFVF(dev, fvf | D3DFVF_DIFFUSE), E_FAIL);
        EXPECT_EQ(mesh.m_pSysMemMesh, sysMem);
        EXPECT_EQ(mesh.m_pLocalMesh, local);
        EXPECT_EQ(sysMem->GetFVF(), fvf);
        EXPECT_EQ(local->GetFVF(), fvf);
        EXPECT_EQ(fake.LiveObjects(), live);
    }
    fake.ClearFailures();
    ASSERT_EQ(mesh.SetFVF(dev, fvf | D3DFVF_DIFFUSE), S_OK);
    EXPECT_EQ(mesh.m_pSysMemMesh->GetFVF(), fvf | D3DFVF_DIFFUSE);
    EXPECT_EQ(mesh.m_pLocalMesh->GetFVF(), fvf | D3DFVF_DIFFUSE);
    EXPECT_EQ(fake.LiveObjects(), live);
}

TEST_F(MeshResourceTest, AMeshWithoutNormalsGetsThemFromItsFacesInSystemMemory)
{
    WriteFile("data/models/plain.x", XMeshText({{2, 1.0f, ""}}));
    MeshResource mesh("plain");
    ASSERT_EQ(mesh.Create(dev, "data\\models\\plain.x"), S_OK);
    ID3DXMesh* m = mesh.m_pSysMemMesh;
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetFVF(), (DWORD)(D3DFVF_XYZ | D3DFVF_NORMAL));
    EXPECT_EQ(m->GetOptions() & D3DXMESH_SYSTEMMEM, (DWORD)D3DXMESH_SYSTEMMEM);
    float* v = nullptr;
    ASSERT_EQ(m->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v), S_OK);
    for (DWORD i = 0; i < m->GetNumVertices(); ++i) {
        // Clockwise toward -z: the normal faces the viewer.
        EXPECT_FLOAT_EQ(v[6 * i + 3], 0.0f) << i;
        EXPECT_FLOAT_EQ(v[6 * i + 4], 0.0f) << i;
        EXPECT_FLOAT_EQ(v[6 * i + 5], -1.0f) << i;
    }
    m->UnlockVertexBuffer();
}

TEST_F(MeshResourceTest, AMeshDataObjectOfAnOpenFileLoadsIntoSystemMemoryWithNormals)
{
    const std::string text = XMeshText({{1, 1.0f, ""}, {2, 0.5f, ""}});
    ID3DXFile* file = nullptr;
    ASSERT_EQ(D3DXFileCreate(&file), S_OK);
    D3DXF_FILELOADMEMORY memory = {text.data(), text.size()};
    ID3DXFileEnumObject* objects = nullptr;
    ASSERT_EQ(file->CreateEnumObject(&memory, D3DXF_FILELOAD_FROMMEMORY, &objects), S_OK);
    ID3DXFileData* data = nullptr;
    ASSERT_EQ(objects->GetChild(0, &data), S_OK);

    MeshResource mesh("piece");
    EXPECT_EQ(mesh.CreateFromXData(dev, data), S_OK);
    ASSERT_NE(mesh.m_pSysMemMesh, nullptr);
    EXPECT_EQ(mesh.m_pSysMemMesh->GetFVF(), (DWORD)(D3DFVF_XYZ | D3DFVF_NORMAL));
    EXPECT_EQ(mesh.m_pSysMemMesh->GetOptions() & D3DXMESH_SYSTEMMEM, (DWORD)D3DXMESH_SYSTEMMEM);
    ASSERT_EQ(mesh.m_numMaterials, 2u);
    EXPECT_EQ(mesh.m_materials[1].Diffuse.a, 0.5f);
    data->Release();
    objects->Release();
    file->Release();
}

TEST_F(MeshResourceTest, ALoadThatFailsAfterReadingTheFileLeavesTheResourceEmpty)
{
    WriteTexture("red.bmp", 0xFF0000);
    WriteFile("data/models/textured.x", XMeshText({{1, 1.0f, "red.bmp"}, {2, 0.5f, ""}}));
    // The load writes its buffers; the first read-only lock is the
    // optimisation reading them back.
    const size_t deviceOnly = fake.LiveObjects();
    fake.Fail("VertexBuffer::Lock").WhenArg("Flags", D3DLOCK_READONLY).Times(1);
    MeshResource mesh("textured");
    EXPECT_TRUE(FAILED(mesh.Create(dev, "data\\models\\textured.x")));
    EXPECT_EQ(fake.Count("VertexBuffer::Lock", [](const FakeCall& c) { return FAILED(c.result); }), 1u);
    EXPECT_EQ(mesh.m_numMaterials, 0u);
    EXPECT_EQ(mesh.m_materials, nullptr);
    EXPECT_EQ(mesh.m_textures, nullptr);
    EXPECT_EQ(mesh.m_pSysMemMesh, nullptr);
    EXPECT_EQ(mesh.RestoreDeviceObjects(dev), E_FAIL);
    dev->BeginScene();
    EXPECT_EQ(mesh.Render(dev, true, true), E_FAIL);
    dev->EndScene();
    EXPECT_EQ(mesh.Destroy(), S_OK);
    EXPECT_EQ(fake.LiveObjects(), deviceOnly);

    // The same resource loads the file once it reads cleanly.
    EXPECT_EQ(mesh.Create(dev, "data\\models\\textured.x"), S_OK);
    EXPECT_EQ(mesh.m_numMaterials, 2u);
}

TEST_F(MeshResourceTest, AMissingFileReturnsTheLoadersFailure)
{
    MeshResource mesh("none");
    EXPECT_TRUE(FAILED(mesh.Create(dev, "data\\models\\none.x")));
    EXPECT_EQ(mesh.m_numMaterials, 0u);
    EXPECT_EQ(mesh.m_pSysMemMesh, nullptr);
}

TEST(MeshResourceName, KeepsAtMost511Characters)
{
    std::string longName(600, 'n');
    MeshResource mesh(longName.c_str());
    EXPECT_EQ(std::string(mesh.m_name), longName.substr(0, 511));
    EXPECT_TRUE(mesh.m_useMaterials);
    EXPECT_EQ(mesh.m_pSysMemMesh, nullptr);
    EXPECT_EQ(mesh.m_pLocalMesh, nullptr);
}

} // namespace
