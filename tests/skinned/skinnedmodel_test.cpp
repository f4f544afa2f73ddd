// SkinnedModel and its hierarchy allocator on the recording fake device:
// the pose a vertex takes after Update, bone palettes split over draws,
// materials, the software path, and failures that leave nothing behind.
#include "skinned_fixture.h"

#include <cmath>
#include <cstring>

#include "renderer.h"
#include "skinnedmodel.h"
#include "texturecache.h"

using namespace skinned;

namespace {

const char* const kEffectFile = "data\\shaders\\SkinnedMesh.fx";

SkinMeshContainer* Container(D3DXFRAME* frame)
{
    return static_cast<SkinMeshContainer*>(frame->pMeshContainer);
}

class SkinnedModelTest : public FakeSkinTest {
protected:
    HRESULT Load(const std::string& text, const char* name = "model.x")
    {
        folder.WriteModel(name, text);
        return model.Load((std::string("data\\models\\") + name).c_str(), kEffectFile, &g_d3dCaps, m_pd3dDevice,
                          &center, &radius);
    }
    void Draw()
    {
        D3DXMATRIX projection;
        D3DXMatrixPerspectiveFovLH(&projection, 0.8f, 4.0f / 3.0f, 1.0f, 100.0f);
        m_pd3dDevice->BeginScene();
        EXPECT_EQ(model.Render(&g_d3dCaps, m_pd3dDevice, &view, &projection, light), S_OK);
        m_pd3dDevice->EndScene();
    }
    void TearDown() override
    {
        model.Release(&g_d3dCaps);
        FakeSkinTest::TearDown();
    }

    SkinnedModel model;
    D3DXVECTOR3 center{0, 0, 0};
    float radius = 0.0f;
    D3DXMATRIX view{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};
    D3DXVECTOR4 light{0.0f, 0.70710677f, -0.70710677f, 0.0f};
};

TEST_F(SkinnedModelTest, TwoBonesBendAsTheKeysSay)
{
    ASSERT_EQ(Load(StripFile()), S_OK);
    ASSERT_TRUE(model.IsLoaded());
    ASSERT_EQ(model.OnResetDevice(m_pd3dDevice), S_OK);
    EXPECT_NEAR(center.x, 10.0f, 1e-4f);
    EXPECT_GT(radius, 10.0f);

    // Half a second: Lower has turned -45 degrees about z around x = 10.
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 0.0f, 0.0f, 5.0f);
    EXPECT_EQ(model.Update(&world, 0.5f, 1.0f), S_OK);
    EXPECT_NEAR(model.GetTrackPosition(), 0.5, 1e-6);
    Draw();

    SkinMeshContainer* c = Container(model.m_pFrameRoot);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->m_paletteSize, 2u);
    EXPECT_EQ(c->m_maxInfluences, 2u);
    EXPECT_EQ(c->m_numBoneCombinations, 1u);
    EXPECT_FALSE(c->m_softwareSkinning);
    EXPECT_EQ(model.m_numBoneMatrices, 2u);
    EXPECT_EQ((uintptr_t)model.m_pBoneMatrices % 16, 0u);

    // The blend indices reach the effect as a colour.
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(c->MeshData.pMesh->GetDeclaration(decl), S_OK);
    bool colourIndices = false;
    for (const D3DVERTEXELEMENT9* e = decl; e->Stream != 0xFF; ++e)
        if (e->Usage == D3DDECLUSAGE_BLENDINDICES)
            colourIndices = e->Type == D3DDECLTYPE_D3DCOLOR;
    EXPECT_TRUE(colourIndices);

    const float h = 0.70710678f;
    struct Case {
        D3DXVECTOR3 bind, posed;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 15}},                          // Upper alone, which stays
        {{20, 0, 0}, {10 + 10 * h, -10 * h, 15}},         // Lower alone
        {{20, 1, 0}, {10 + 11 * h, -9 * h, 15}},          // Lower alone
        {{10, 1, 0}, {10 + h / 2, (1 + h) / 2, 15}},      // half of each
    };
    for (const Case& k : cases) {
        int found = 0;
        D3DXVECTOR3 p = BlendAsTheEffect(c->MeshData.pMesh, model.m_pEffect, c->m_paletteSize, c->m_maxInfluences,
                                         k.bind, &found);
        ASSERT_GT(found, 0) << k.bind.x << "," << k.bind.y;
        EXPECT_NEAR(p.x, k.posed.x, 1e-4f) << k.bind.x << "," << k.bind.y;
        EXPECT_NEAR(p.y, k.posed.y, 1e-4f) << k.bind.x << "," << k.bind.y;
        EXPECT_NEAR(p.z, k.posed.z, 1e-4f) << k.bind.x << "," << k.bind.y;
    }

    INT bones = -1;
    EXPECT_EQ(model.m_pEffect->GetInt("CurNumBones", &bones), S_OK);
    EXPECT_EQ(bones, 1);
    D3DXVECTOR4 l;
    model.m_pEffect->GetVector("vLightDir", &l);
    EXPECT_NEAR(l.y, light.y, 1e-6f);
    EXPECT_NEAR(l.z, light.z, 1e-6f);
    EXPECT_EQ(l.w, 0.0f) << "a direction: the view's translation does not reach it";
    IDirect3DBaseTexture9* texture = nullptr;
    model.m_pEffect->GetTexture("tDiffuse", &texture);
    EXPECT_EQ(texture, c->m_materialTextures[0]);
    EXPECT_NE(texture, nullptr);
    if (texture)
        texture->Release();
    EXPECT_STREQ(c->pMaterials[0].pTextureFilename, "tiny-tex000.png") << "the copy keeps its own name";

    // One draw per bone combination and pass; the shaders are put back to null.
    EXPECT_EQ(fake.Draws().size(), 1u);
    EXPECT_NE(fake.Draws().back().vertexShader, nullptr);
    IDirect3DVertexShader9* vs = reinterpret_cast<IDirect3DVertexShader9*>(1);
    m_pd3dDevice->GetVertexShader(&vs);
    EXPECT_EQ(vs, nullptr);

    // Speed scales the step: a quarter second more at double speed is one more half.
    EXPECT_EQ(model.Update(&world, 0.25f, 2.0f), S_OK);
    EXPECT_NEAR(model.GetTrackPosition(), 1.0, 1e-6);
    model.SetTrackPosition(0.25);
    EXPECT_NEAR(model.GetTrackPosition(), 0.25, 1e-6);
}

TEST_F(SkinnedModelTest, MissingBoneFrameFailsTheLoadAndTheModelIsNeitherUpdatedNorDrawn)
{
    StripOptions o;
    o.secondBone = "Ghost";
    EXPECT_EQ(Load(StripFile(o)), E_FAIL);
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_EQ(model.m_pEffect, nullptr);
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    EXPECT_EQ(model.Update(&world, 0.5f, 1.0f), S_OK);
    EXPECT_EQ(model.GetTrackPosition(), 0.0);
    Draw();
    EXPECT_TRUE(fake.Draws().empty());

    // A file that is not there fails too, and the model can load again after.
    EXPECT_LT(model.Load("data\\models\\none.x", kEffectFile, &g_d3dCaps, m_pd3dDevice, &center, &radius), 0);
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_EQ(Load(StripFile()), S_OK);
    EXPECT_TRUE(model.IsLoaded());
}

TEST_F(SkinnedModelTest, AMissingEffectFailsTheLoad)
{
    folder.WriteModel("model.x", StripFile());
    EXPECT_LT(model.Load("data\\models\\model.x", "data\\shaders\\None.fx", &g_d3dCaps, m_pd3dDevice, &center,
                         &radius),
              0);
    EXPECT_FALSE(model.IsLoaded());
    Draw();
    EXPECT_TRUE(fake.Draws().empty());
}

TEST_F(SkinnedModelTest, AContainerHandedNoMaterialsGetsOneGreyMaterialAndNormals)
{
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED, D3DFVF_XYZ, m_pd3dDevice, &mesh), S_OK);
    D3DXVECTOR3* v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, (void**)&v), S_OK);
    v[0] = D3DXVECTOR3(0, 0, 0);
    v[1] = D3DXVECTOR3(0, 1, 0);
    v[2] = D3DXVECTOR3(1, 0, 0);
    mesh->UnlockVertexBuffer();
    WORD* i = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(0, (void**)&i), S_OK);
    i[0] = 0, i[1] = 1, i[2] = 2;
    mesh->UnlockIndexBuffer();
    const DWORD adjacency[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    D3DXMESHDATA data;
    data.Type = D3DXMESHTYPE_MESH;
    data.pMesh = mesh;

    HierarchyAllocator alloc(&model, g_d3dCaps);
    D3DXMESHCONTAINER* out = nullptr;
    ASSERT_EQ(alloc.CreateMeshContainer("Bare", &data, nullptr, nullptr, 0, adjacency, nullptr, &out), S_OK);
    mesh->Release();
    SkinMeshContainer* c = static_cast<SkinMeshContainer*>(out);
    EXPECT_STREQ(c->Name, "Bare");
    ASSERT_EQ(c->NumMaterials, 1u);
    const D3DMATERIAL9& m = c->pMaterials[0].MatD3D;
    EXPECT_EQ(m.Diffuse.r, 0.5f);
    EXPECT_EQ(m.Diffuse.g, 0.5f);
    EXPECT_EQ(m.Diffuse.b, 0.5f);
    EXPECT_EQ(m.Diffuse.a, 0.0f);
    EXPECT_EQ(std::memcmp(&m.Specular, &m.Diffuse, sizeof m.Diffuse), 0);
    EXPECT_EQ(m.Ambient.r, 0.0f);
    EXPECT_EQ(m.Emissive.g, 0.0f);
    EXPECT_EQ(m.Power, 0.0f);
    EXPECT_EQ(c->pMaterials[0].pTextureFilename, nullptr);
    EXPECT_EQ(c->m_materialTextures[0], nullptr);
    EXPECT_EQ(c->pEffects, nullptr);
    EXPECT_EQ(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->m_boneOffsets, nullptr);
    EXPECT_EQ(c->m_pSourceMesh, nullptr);
    EXPECT_EQ(c->pAdjacency[1], 0xFFFFFFFFu);
    // Normals were added and computed: the face lies in z = 0.
    ASSERT_TRUE(c->MeshData.pMesh->GetFVF() & D3DFVF_NORMAL);
    float* n = nullptr;
    ASSERT_EQ(c->MeshData.pMesh->LockVertexBuffer(D3DLOCK_READONLY, (void**)&n), S_OK);
    EXPECT_NEAR(std::fabs(n[5]), 1.0f, 1e-5f);
    c->MeshData.pMesh->UnlockVertexBuffer();
    EXPECT_EQ(alloc.DestroyMeshContainer(out), S_OK);
}

TEST_F(SkinnedModelTest, MeshesWithoutAMaterialListDrawGreyAndUntextured)
{
    StripOptions o;
    o.material = false;
    o.plainMesh = true;
    o.normals = false;
    ASSERT_EQ(Load(StripFile(o)), S_OK);
    D3DXFRAME* upper = D3DXFrameFind(model.m_pFrameRoot, "Upper");
    ASSERT_NE(upper, nullptr);
    for (SkinMeshContainer* c : {Container(model.m_pFrameRoot), Container(upper)}) {
        ASSERT_NE(c, nullptr);
        SCOPED_TRACE(c->Name);
        ASSERT_EQ(c->NumMaterials, 1u);
        EXPECT_EQ(c->pMaterials[0].MatD3D.Diffuse.r, 0.5f);
        EXPECT_EQ(c->pMaterials[0].MatD3D.Specular.b, 0.5f);
        EXPECT_EQ(c->m_materialTextures[0], nullptr);
    }
    EXPECT_TRUE(Container(upper)->MeshData.pMesh->GetFVF() & D3DFVF_NORMAL);
    EXPECT_EQ(Container(upper)->pSkinInfo, nullptr);

    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1.0f, 2.0f, 3.0f);
    model.Update(&world, 0.0f, 1.0f);
    Draw();
    // The plain mesh is drawn with its frame's matrix and the grey material.
    bool plainDrawn = false;
    for (const FakeDraw& d : fake.Draws()) {
        EXPECT_EQ(d.textures[0], nullptr);
        if (d.vertexShader != nullptr)
            continue;
        plainDrawn = true;
        EXPECT_EQ(d.world._41, 1.0f);
        EXPECT_EQ(d.world._43, 3.0f);
        EXPECT_EQ(d.material.Diffuse.r, 0.5f);
        EXPECT_EQ(d.material.Specular.g, 0.5f);
    }
    EXPECT_TRUE(plainDrawn);
    IDirect3DBaseTexture9* texture = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    model.m_pEffect->GetTexture("tDiffuse", &texture);
    EXPECT_EQ(texture, nullptr);
}

// A one-triangle plain mesh whose material's red is `red`.
std::string Triangle(const std::string& name, float red)
{
    return "Mesh " + name + " { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; "
           "MeshMaterialList { 1; 1; 0;; Material { " + std::to_string(red) +
           ";0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } } }\n";
}

TEST_F(SkinnedModelTest, AFramesContainersDrawThenItsSiblingsTreeThenItsChildsTree)
{
    // Root > A (A1 under it), B (B1 under it): A and B are siblings.
    const std::string text = std::string("xof 0303txt 0032\nFrame Root {\n") + "Frame A {\n" + Triangle("MA", 0.1f) +
                             "Frame A1 {\n" + Triangle("MA1", 0.2f) + "}\n}\n" + "Frame B {\n" + Triangle("MB", 0.3f) +
                             "Frame B1 {\n" + Triangle("MB1", 0.4f) + "}\n}\n}\n";
    ASSERT_EQ(Load(text), S_OK);
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    model.Update(&world, 0.0f, 1.0f);
    Draw();
    std::vector<float> reds;
    for (const FakeDraw& d : fake.Draws())
        reds.push_back(d.material.Diffuse.r);
    EXPECT_EQ(reds, (std::vector<float>{0.1f, 0.3f, 0.4f, 0.2f}));
}

TEST_F(SkinnedModelTest, EveryMeshContainerOfAFrameIsLinkedToItsBones)
{
    StripOptions o;
    o.meshes = 2;
    ASSERT_EQ(Load(StripFile(o)), S_OK);
    SkinFrame* upper = static_cast<SkinFrame*>(D3DXFrameFind(model.m_pFrameRoot, "Upper"));
    SkinFrame* lower = static_cast<SkinFrame*>(D3DXFrameFind(model.m_pFrameRoot, "Lower"));
    int containers = 0;
    for (D3DXMESHCONTAINER* m = model.m_pFrameRoot->pMeshContainer; m; m = m->pNextMeshContainer) {
        SkinMeshContainer* c = static_cast<SkinMeshContainer*>(m);
        SCOPED_TRACE(c->Name);
        ++containers;
        ASSERT_NE(c->m_boneLinks, nullptr);
        EXPECT_EQ(c->m_boneLinks[0], &upper->m_combined);
        EXPECT_EQ(c->m_boneLinks[1], &lower->m_combined);
    }
    EXPECT_EQ(containers, 2);
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    model.Update(&world, 0.5f, 1.0f);
    Draw();
    EXPECT_EQ(fake.Draws().size(), 2u);
    // The second container poses like the first.
    SkinMeshContainer* second = static_cast<SkinMeshContainer*>(model.m_pFrameRoot->pMeshContainer->pNextMeshContainer);
    int found = 0;
    D3DXVECTOR3 p = BlendAsTheEffect(second->MeshData.pMesh, model.m_pEffect, second->m_paletteSize,
                                     second->m_maxInfluences, D3DXVECTOR3(20, 0, 0), &found);
    EXPECT_GT(found, 0);
    EXPECT_NEAR(p.y, -10 * 0.70710678f, 1e-4f);
}

struct PathCase {
    DWORD vertexShaderVersion;
    bool software;
};

class SkinningPath : public SkinnedModelTest, public ::testing::WithParamInterface<PathCase> {
};

TEST_P(SkinningPath, DevicesWithoutVertexShader11SkinInSoftware)
{
    fake.Caps().VertexShaderVersion = GetParam().vertexShaderVersion;
    Remake(D3DCREATE_MIXED_VERTEXPROCESSING);
    ASSERT_EQ(g_d3dCaps.VertexShaderVersion, GetParam().vertexShaderVersion);
    ASSERT_EQ(Load(StripFile()), S_OK);
    SkinMeshContainer* c = Container(model.m_pFrameRoot);
    EXPECT_EQ(c->m_softwareSkinning, GetParam().software);
    EXPECT_EQ((c->MeshData.pMesh->GetOptions() & D3DXMESH_SYSTEMMEM) == D3DXMESH_SYSTEMMEM, GetParam().software);
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    model.Update(&world, 0.1f, 1.0f);
    fake.ClearLog();
    Draw();
    std::vector<std::string> order = fake.Sequence({"SetSoftwareVertexProcessing", "DrawIndexedPrimitive"});
    if (GetParam().software) {
        ASSERT_EQ(order.size(), 3u);
        EXPECT_EQ(order[0], "SetSoftwareVertexProcessing");
        EXPECT_EQ(fake.Find("SetSoftwareVertexProcessing")[0]->Arg("bSoftware"), 1u);
        EXPECT_EQ(order[2], "SetSoftwareVertexProcessing");
        EXPECT_EQ(fake.Find("SetSoftwareVertexProcessing")[1]->Arg("bSoftware"), 0u);
    } else {
        EXPECT_EQ(order, std::vector<std::string>{"DrawIndexedPrimitive"});
    }
    EXPECT_FALSE(m_pd3dDevice->GetSoftwareVertexProcessing());
}

INSTANTIATE_TEST_SUITE_P(Caps, SkinningPath,
                         ::testing::Values(PathCase{0, true}, PathCase{D3DVS_VERSION(1, 0), true},
                                           PathCase{D3DVS_VERSION(1, 1), false},
                                           PathCase{D3DVS_VERSION(2, 0), false}));

struct PaletteCase {
    int bones;
    DWORD palette;
    bool split;
};

class BonePalette : public SkinnedModelTest, public ::testing::WithParamInterface<PaletteCase> {
};

TEST_P(BonePalette, LargeSkeletonsAreSplitIntoDrawsOfAtMost26Bones)
{
    const PaletteCase& k = GetParam();
    ASSERT_EQ(Load(CellsFile(k.bones)), S_OK);
    SkinMeshContainer* c = Container(model.m_pFrameRoot);
    EXPECT_EQ(c->m_paletteSize, k.palette);
    EXPECT_EQ(model.m_numBoneMatrices, (DWORD)k.bones);
    EXPECT_EQ(c->m_maxInfluences, 1u);
    if (k.split)
        EXPECT_GE(c->m_numBoneCombinations, 2u);
    else
        EXPECT_EQ(c->m_numBoneCombinations, 1u);
    const D3DXBONECOMBINATION* g = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinations->GetBufferPointer());
    std::vector<int> seen(k.bones, 0);
    for (DWORD i = 0; i < c->m_numBoneCombinations; ++i)
        for (DWORD e = 0; e < c->m_paletteSize; ++e)
            if (g[i].BoneId[e] != 0xFFFFFFFF)
                ++seen.at(g[i].BoneId[e]);
    for (int b = 0; b < k.bones; ++b)
        EXPECT_GE(seen[b], 1) << "bone " << b;

    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    model.Update(&world, 0.0f, 1.0f);
    Draw();
    EXPECT_EQ(fake.Draws().size(), c->m_numBoneCombinations);
    // The last draw's cells sit where their bones put them.
    const D3DXBONECOMBINATION& last = g[c->m_numBoneCombinations - 1];
    std::vector<D3DXMATRIX> palette(c->m_paletteSize);
    ASSERT_EQ(model.m_pEffect->GetMatrixArray("mWorldMatrixArray", palette.data(), c->m_paletteSize), S_OK);
    for (DWORD e = 0; e < c->m_paletteSize; ++e) {
        const DWORD b = last.BoneId[e];
        if (b == 0xFFFFFFFF)
            continue;
        EXPECT_EQ(palette[e]._41, 2.0f * (b % 8)) << "bone " << b;
        EXPECT_EQ(palette[e]._42, 2.0f * (b / 8)) << "bone " << b;
        EXPECT_EQ(palette[e]._43, 10.0f) << "bone " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(Bones, BonePalette,
                         ::testing::Values(PaletteCase{20, 20, false}, PaletteCase{40, 26, true}));

TEST_F(SkinnedModelTest, CurNumBonesIsNeverNegative)
{
    ASSERT_EQ(Load(StripFile()), S_OK);
    Container(model.m_pFrameRoot)->m_maxInfluences = 0;
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    model.Update(&world, 0.0f, 1.0f);
    Draw();
    INT bones = -1;
    EXPECT_EQ(model.m_pEffect->GetInt("CurNumBones", &bones), S_OK);
    EXPECT_EQ(bones, 0);
}

TEST_F(SkinnedModelTest, FailuresWhileBuildingContainersLeaveNothingBehind)
{
    const size_t live = fake.LiveObjects();
    for (const char* method : {"CreateVertexBuffer", "CreateIndexBuffer", "CreateTexture"}) {
        for (int skip = 0; skip < 12; ++skip) {
            SCOPED_TRACE(std::string(method) + " after " + std::to_string(skip));
            fake.ClearFailures();
            FakeFailure& f = fake.Fail(method, E_OUTOFMEMORY).After(skip).Times(1);
            const HRESULT hr = Load(StripFile());
            EXPECT_EQ(SUCCEEDED(hr), model.IsLoaded());
            if (f.Failed() > 0 && FAILED(hr)) {
                EXPECT_EQ(model.m_pFrameRoot, nullptr);
            }
            model.Release(&g_d3dCaps);
            FreeTextureCache();
            EXPECT_EQ(fake.LiveObjects(), live);
        }
    }
    fake.ClearFailures();
}

TEST(HierarchyAllocator, DestroysAPartlyBuiltContainer)
{
    SkinnedModel model;
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof caps);
    HierarchyAllocator alloc(&model, caps);
    SkinMeshContainer* c = new SkinMeshContainer();
    ASSERT_EQ(DuplicateName("half", &c->Name), S_OK);
    c->NumMaterials = 2;
    c->pMaterials = new D3DXMATERIAL[2]();
    EXPECT_EQ(alloc.DestroyMeshContainer(c), S_OK);
    EXPECT_EQ(alloc.DestroyMeshContainer(nullptr), S_OK);

    D3DXFRAME* frame = nullptr;
    ASSERT_EQ(alloc.CreateFrame(nullptr, &frame), S_OK);
    EXPECT_EQ(frame->Name, nullptr);
    EXPECT_EQ(frame->TransformationMatrix._11, 1.0f);
    EXPECT_EQ(static_cast<SkinFrame*>(frame)->m_combined._44, 1.0f);
    EXPECT_EQ(alloc.DestroyFrame(frame), S_OK);

    char* name = reinterpret_cast<char*>(1);
    EXPECT_EQ(DuplicateName(nullptr, &name), S_OK);
    EXPECT_EQ(name, nullptr);
}

TEST(HierarchyAllocator, RefusesMeshDataThatIsNotAPlainMesh)
{
    SkinnedModel model;
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof caps);
    HierarchyAllocator alloc(&model, caps);
    D3DXMESHDATA data;
    std::memset(&data, 0, sizeof data);
    data.Type = D3DXMESHTYPE_PMESH;
    D3DXMESHCONTAINER* out = reinterpret_cast<D3DXMESHCONTAINER*>(1);
    EXPECT_EQ(alloc.CreateMeshContainer("p", &data, nullptr, nullptr, 0, nullptr, nullptr, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

} // namespace
