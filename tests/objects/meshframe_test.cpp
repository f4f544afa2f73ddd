// Frame trees from .x files on the recording fake: the tree as read, lookups
// by name, the two drawing passes with each frame's transform, and loads
// that fail part way or on broken records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <d3dx9.h>

#include "fake_engine.h"
#include "meshframe.h"

namespace {

// A Mesh record named `name` of the pieces, for use inside a file.
std::string MeshRecord(const std::string& name, const std::vector<XPiece>& pieces)
{
    std::string text = XMeshText(pieces);
    text = text.substr(text.find('\n') + 1); // drop the file header
    const std::string head = "Mesh Test";
    return "Mesh " + name + text.substr(head.size());
}

std::string MatrixRecord(const D3DXMATRIX& m)
{
    std::string text = "FrameTransformMatrix { ";
    for (int i = 0; i < 16; ++i)
        text += std::to_string(((const float*)m)[i]) + (i < 15 ? "," : ";;");
    return text + " }\n";
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX Scaling(float s)
{
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, s, s, s);
    return m;
}

void ExpectMatrix(const D3DMATRIX& got, const D3DXMATRIX& want, const std::string& what)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(((const float*)&got)[i], ((const float*)want)[i], 1e-5f) << what << " element " << i;
}

// The file's records, in file order:
//   Frame part                      (top level, a namesake of Tail's child)
//   Frame Body   T(10,0,0), mesh BodyMesh: 1 opaque face, 2 blended faces
//     Frame WingFrame   mesh wingMESH (3 opaque, 4 blended), then T(0,5,0)
//   Frame Tail   scale 2
//     Frame Part
// Each draw's primitive count names its piece.
std::string TreeFile()
{
    return "xof 0303txt 0032\n"
           "Frame part {\n}\n"
           "Frame Body {\n" +
           MatrixRecord(Translation(10, 0, 0)) + MeshRecord("BodyMesh", {{1, 1.0f, ""}, {2, 0.5f, ""}}) +
           "Frame WingFrame {\n" + MeshRecord("wingMESH", {{3, 1.0f, ""}, {4, 0.5f, ""}}) +
           MatrixRecord(Translation(0, 5, 0)) + "}\n}\n" + "Frame Tail {\n" + MatrixRecord(Scaling(2)) +
           "Frame Part {\n}\n}\n";
}

class MeshFrameTest : public FakeEngineTest {
protected:
    // Loads a file written under data/models/.
    HRESULT Load(MeshFile& tree, const std::string& name, const std::string& text)
    {
        WriteFile("data/models/" + name, text);
        return tree.Create(dev, ("data/models/" + name).c_str());
    }

    static std::vector<std::string> Names(MeshFrame* first)
    {
        std::vector<std::string> names;
        for (MeshFrame* f = first; f; f = f->m_pNext)
            names.push_back(f->m_name);
        return names;
    }
};

TEST_F(MeshFrameTest, TheTreeHoldsTheFilesFramesInReverseOrderWithTheirTransformsAndMeshes)
{
    MeshFile tree;
    ASSERT_EQ(Load(tree, "tree.x", TreeFile()), S_OK);
    EXPECT_EQ(Names(tree.m_pChild), (std::vector<std::string>{"Tail", "Body", "part"}));
    EXPECT_EQ(tree.m_pMesh, nullptr);

    MeshFrame* tail = tree.m_pChild;
    ExpectMatrix(tail->m_mat, Scaling(2), "Tail");
    EXPECT_EQ(Names(tail->m_pChild), (std::vector<std::string>{"Part"}));
    EXPECT_EQ(tail->m_pMesh, nullptr);

    MeshFrame* body = tail->m_pNext;
    ExpectMatrix(body->m_mat, Translation(10, 0, 0), "Body");
    ASSERT_NE(body->m_pMesh, nullptr);
    EXPECT_STREQ(body->m_pMesh->m_name, "BodyMesh");
    EXPECT_EQ(body->m_pMesh->m_numMaterials, 2u);

    // The mesh before the transform: both are the frame's.
    MeshFrame* wing = body->m_pChild;
    ASSERT_NE(wing, nullptr);
    EXPECT_STREQ(wing->m_name, "WingFrame");
    ExpectMatrix(wing->m_mat, Translation(0, 5, 0), "WingFrame");
    ASSERT_NE(wing->m_pMesh, nullptr);
    EXPECT_STREQ(wing->m_pMesh->m_name, "wingMESH");
    EXPECT_EQ(wing->m_pNext, nullptr);

    ExpectMatrix(tree.m_mat, D3DXMATRIX(Scaling(1)), "root");
    EXPECT_EQ(tree.Destroy(), S_OK);
    EXPECT_EQ(tree.m_pChild, nullptr);
}

TEST_F(MeshFrameTest, LookupsIgnoreCaseAndTakeTheFirstMatchDepthFirst)
{
    MeshFile tree;
    ASSERT_EQ(Load(tree, "tree.x", TreeFile()), S_OK);
    MeshFrame* tail = tree.m_pChild;
    MeshFrame* body = tail->m_pNext;

    // Tail's child comes before the later top-level namesake.
    EXPECT_EQ(tree.FindFrame("PART"), tail->m_pChild);
    EXPECT_EQ(tree.FindFrame("wingframe"), body->m_pChild);
    EXPECT_EQ(tree.FindFrame("body"), body);
    EXPECT_EQ(tree.FindFrame(""), &tree);
    EXPECT_EQ(tree.FindFrame("Wing"), nullptr);
    EXPECT_EQ(body->FindFrame("part"), body->m_pNext); // from Body: its subtree, then its siblings

    EXPECT_EQ(tree.FindMesh("WINGmesh"), body->m_pChild->m_pMesh);
    EXPECT_EQ(tree.FindMesh("bodymesh"), body->m_pMesh);
    EXPECT_EQ(tree.FindMesh("Body"), nullptr);

    std::vector<std::string> seen;
    EXPECT_TRUE(tree.EnumMeshes(
        [](MeshResource* mesh, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(mesh->m_name);
            return false; // not looked at
        },
        &seen));
    EXPECT_EQ(seen, (std::vector<std::string>{"BodyMesh", "wingMESH"}));
}

TEST_F(MeshFrameTest, RenderDrawsEveryOpaquePartBeforeTheBlendedOnesUnderEachFramesTransform)
{
    MeshFile tree;
    ASSERT_EQ(Load(tree, "tree.x", TreeFile()), S_OK);
    ASSERT_EQ(tree.RestoreDeviceObjects(dev), S_OK);
    // The root's own transform goes on the right of the world.
    const D3DXMATRIX rootScale = Scaling(3);
    tree.SetMatrix(&rootScale);

    const D3DXMATRIX before = Translation(0, 0, 1);
    dev->SetTransform(D3DTS_WORLD, &before);
    const D3DXMATRIX world = Translation(0, 0, 7);
    fake.ClearLog();
    dev->BeginScene();
    EXPECT_EQ(tree.Render(dev, &world), S_OK);
    dev->EndScene();

    const D3DXMATRIX w = world * Scaling(3);
    const D3DXMATRIX bodyWorld = Translation(10, 0, 0) * w;
    const D3DXMATRIX wingWorld = Translation(0, 5, 0) * bodyWorld;
    const struct {
        UINT faces;
        D3DXMATRIX world;
        bool blended;
    } expected[] = {
        {1, bodyWorld, false},
        {3, wingWorld, false},
        {2, bodyWorld, true},
        {4, wingWorld, true},
    };
    const auto& draws = fake.Draws();
    ASSERT_EQ(draws.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const std::string what = "draw " + std::to_string(i);
        EXPECT_EQ(draws[i].primitiveCount, expected[i].faces) << what;
        ExpectMatrix(draws[i].world, expected[i].world, what);
        EXPECT_EQ(draws[i].renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)expected[i].blended) << what;
        if (expected[i].blended) {
            EXPECT_EQ(draws[i].renderStates[D3DRS_SRCBLEND], (DWORD)D3DBLEND_SRCALPHA) << what;
            EXPECT_EQ(draws[i].renderStates[D3DRS_DESTBLEND], (DWORD)D3DBLEND_INVSRCALPHA) << what;
        }
    }
    D3DMATRIX after;
    dev->GetTransform(D3DTS_WORLD, &after);
    ExpectMatrix(after, world, "world after");
    DWORD blending = TRUE;
    dev->GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
    EXPECT_EQ(blending, (DWORD)FALSE);

    // Without a world the device's own is used, and it stays.
    fake.ClearLog();
    dev->SetTransform(D3DTS_WORLD, &before);
    dev->BeginScene();
    EXPECT_EQ(tree.Render(dev, nullptr), S_OK);
    dev->EndScene();
    ASSERT_EQ(fake.Draws().size(), 4u);
    ExpectMatrix(fake.Draws()[0].world, Translation(10, 0, 0) * before * Scaling(3), "device world");
    dev->GetTransform(D3DTS_WORLD, &after);
    ExpectMatrix(after, before, "device world after");

    // Invalidated meshes draw nothing.
    tree.InvalidateDeviceObjects();
    fake.ClearLog();
    dev->BeginScene();
    EXPECT_EQ(tree.Render(dev, nullptr), S_OK);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());
}

TEST_F(MeshFrameTest, AFramesRenderWithoutAParentComposesWithTheDevicesWorldAndPutsItBack)
{
    MeshFile tree;
    ASSERT_EQ(Load(tree, "tree.x", TreeFile()), S_OK);
    ASSERT_EQ(tree.RestoreDeviceObjects(dev), S_OK);
    MeshFrame* body = tree.m_pChild->m_pNext;
    const D3DXMATRIX device = Translation(0, 0, 2);
    dev->SetTransform(D3DTS_WORLD, &device);
    fake.ClearLog();
    dev->BeginScene();
    // Body and its sibling "part"; both passes at once.
    EXPECT_EQ(body->Render(dev, true, true, nullptr), S_OK);
    dev->EndScene();
    const auto& draws = fake.Draws();
    ASSERT_EQ(draws.size(), 4u);
    const UINT faces[] = {1, 2, 3, 4};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(draws[i].primitiveCount, faces[i]) << i;
        ExpectMatrix(draws[i].world,
                     i < 2 ? Translation(10, 0, 2) : D3DXMATRIX(Translation(0, 5, 0) * Translation(10, 0, 2)),
                     "draw " + std::to_string(i));
    }
    D3DMATRIX after;
    dev->GetTransform(D3DTS_WORLD, &after);
    ExpectMatrix(after, device, "after");
    EXPECT_EQ(fake.Count("SetRenderState"), 0u);
}

TEST_F(MeshFrameTest, ASecondMeshInOneFrameFailsTheLoadAndKeepsWhatWasRead)
{
    const std::string text = "xof 0303txt 0032\nFrame First {\n}\nFrame Twice {\n" +
                             MeshRecord("One", {{1, 1.0f, ""}}) + MeshRecord("Two", {{2, 1.0f, ""}}) +
                             "Frame Late {\n}\n}\nFrame Never {\n}\n";
    MeshFile tree;
    EXPECT_EQ(Load(tree, "twice.x", text), E_FAIL);
    EXPECT_EQ(Names(tree.m_pChild), (std::vector<std::string>{"Twice", "First"}));
    ASSERT_NE(tree.m_pChild->m_pMesh, nullptr);
    EXPECT_STREQ(tree.m_pChild->m_pMesh->m_name, "One");
    EXPECT_EQ(tree.m_pChild->m_pChild, nullptr);

    // The same at the top level: the root's mesh, loaded but never drawn.
    MeshFile top;
    EXPECT_EQ(
        Load(top, "top.x", "xof 0303txt 0032\n" + MeshRecord("A", {{1, 1.0f, ""}}) + MeshRecord("B", {{1, 1.0f, ""}})),
        E_FAIL);
    ASSERT_NE(top.m_pMesh, nullptr);
    EXPECT_STREQ(top.m_pMesh->m_name, "A");
    top.RestoreDeviceObjects(dev);
    fake.ClearLog();
    dev->BeginScene();
    EXPECT_EQ(top.Render(dev, nullptr), S_OK);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());
}

TEST_F(MeshFrameTest, AMeshThatCannotBeLoadedStaysEmptyWithoutFailingTheLoad)
{
    // Faces that name vertices the mesh does not have.
    const std::string text = "xof 0303txt 0032\nFrame Broken {\nMesh Bad {\n3;\n0;0;0;, 0;1;0;, 1;0;0;;\n"
                             "1;\n3;0,1,7;;\n}\n}\n";
    MeshFile tree;
    EXPECT_EQ(Load(tree, "bad.x", text), S_OK);
    ASSERT_NE(tree.m_pChild, nullptr);
    ASSERT_NE(tree.m_pChild->m_pMesh, nullptr);
    EXPECT_EQ(tree.m_pChild->m_pMesh->m_pSysMemMesh, nullptr);
    tree.RestoreDeviceObjects(dev);
    fake.ClearLog();
    dev->BeginScene();
    EXPECT_EQ(tree.Render(dev, nullptr), S_OK);
    dev->EndScene();
    EXPECT_TRUE(fake.Draws().empty());
}

TEST_F(MeshFrameTest, MissingSourcesGiveTheirCodeAndAnEmptyTree)
{
    MeshFile tree;
    EXPECT_EQ(tree.Create(dev, "data/models/none.x"), D3DXFERR_FILENOTFOUND);
    EXPECT_EQ(tree.Create(dev, nullptr), E_INVALIDARG);
    // The executable carries no resources here.
    EXPECT_EQ(tree.CreateFromResource(dev, L"TREE", L"XFILE"), D3DXFERR_RESOURCENOTFOUND);
    EXPECT_EQ(tree.CreateFromResource(dev, (LPCWSTR)MAKEINTRESOURCEA(7), nullptr), D3DXFERR_RESOURCENOTFOUND);
    EXPECT_EQ(Load(tree, "broken.x", "xof 0303txt 0032\nFrame Open {\n"), D3DXFERR_NOMOREDATA);
    EXPECT_EQ(tree.m_pChild, nullptr);
    EXPECT_EQ(tree.m_pMesh, nullptr);
}

TEST_F(MeshFrameTest, ALongChainOfSiblingsIsWalkedAndFreedWithoutDeepCalls)
{
    std::string text = "xof 0303txt 0032\n";
    const int kFrames = 30000;
    for (int i = 0; i < kFrames; ++i)
        text += "Frame F" + std::to_string(i) + " {}\n";
    MeshFile tree;
    ASSERT_EQ(Load(tree, "many.x", text), S_OK);
    EXPECT_STREQ(tree.FindFrame("f0")->m_name, "F0");
    EXPECT_EQ(tree.FindMesh("none"), nullptr);
    dev->BeginScene();
    EXPECT_EQ(tree.Render(dev, nullptr), S_OK);
    dev->EndScene();
    EXPECT_EQ(tree.Destroy(), S_OK);
    EXPECT_EQ(tree.m_pChild, nullptr);
}

TEST_F(MeshFrameTest, FramesNestedTooDeeplyThroughReferencesFailTheLoad)
{
    // F0 holds a reference to F1, F1 to F2 ... each level one deeper.
    for (int levels : {200, 300}) {
        SCOPED_TRACE(levels);
        std::string text = "xof 0303txt 0032\n";
        for (int i = levels - 1; i >= 0; --i)
            text += "Frame F" + std::to_string(i) + " {" +
                    (i + 1 < levels ? " { F" + std::to_string(i + 1) + " }" : std::string()) + " }\n";
        MeshFile tree;
        EXPECT_EQ(Load(tree, "deep.x", text), levels <= 256 ? S_OK : E_FAIL);
        EXPECT_EQ(tree.Destroy(), S_OK);
    }
}

// ---- Broken records through a hand-made data object -------------------------------

// A data object whose calls can fail, counting its references.
class FakeRecord final : public ID3DXFileData {
public:
    FakeRecord(const GUID& type, const std::string& name) : m_type(type), m_name(name) { }
    ~FakeRecord()
    {
        for (FakeRecord* c : m_children)
            c->Release();
    }
    void Add(FakeRecord* child) { m_children.push_back(child); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT GetEnum(ID3DXFileEnumObject**) override { return E_NOTIMPL; }
    HRESULT GetName(LPSTR name, SIZE_T* size) override
    {
        if (FAILED(m_nameResult))
            return m_nameResult;
        if (*size < m_name.size() + 1)
            return D3DXFERR_BADVALUE;
        std::memcpy(name, m_name.c_str(), m_name.size() + 1);
        *size = m_name.size() + 1;
        return S_OK;
    }
    HRESULT GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT Lock(SIZE_T* size, LPCVOID* data) override
    {
        ++m_locks;
        *size = m_bytes.size();
        *data = m_bytes.data();
        return S_OK;
    }
    HRESULT Unlock() override
    {
        ++m_unlocks;
        return S_OK;
    }
    HRESULT GetType(GUID* type) override
    {
        *type = m_type;
        return m_typeResult;
    }
    BOOL IsReference() override { return FALSE; }
    HRESULT GetChildren(SIZE_T* count) override
    {
        *count = m_children.size();
        return S_OK;
    }
    HRESULT GetChild(SIZE_T index, ID3DXFileData** child) override
    {
        if (index >= m_children.size() || (int)index == m_failChild)
            return D3DXFERR_NOTFOUND;
        m_children[index]->AddRef();
        *child = m_children[index];
        return S_OK;
    }

    GUID m_type;
    std::string m_name;
    std::vector<unsigned char> m_bytes;
    std::vector<FakeRecord*> m_children; // owned references
    HRESULT m_nameResult = S_OK;
    HRESULT m_typeResult = S_OK;
    int m_failChild = -1;
    ULONG m_refs = 1;
    int m_locks = 0, m_unlocks = 0;
};

TEST_F(MeshFrameTest, ATransformRecordShorterThanAMatrixIsAnErrorAndIsUnlocked)
{
    const D3DXMATRIX moved = Translation(1, 2, 3);
    for (size_t size : {0u, 4u, 63u, 64u, 80u}) {
        SCOPED_TRACE(size);
        FakeRecord* record = new FakeRecord(TID_D3DRMFrameTransformMatrix, "");
        record->m_bytes.assign(size, 0);
        if (size)
            std::memcpy(record->m_bytes.data(), (const float*)moved, std::min<size_t>(size, 64));
        MeshFile tree;
        const HRESULT hr = tree.LoadFrame(dev, record, &tree);
        EXPECT_EQ(record->m_locks, 1);
        EXPECT_EQ(record->m_unlocks, 1);
        if (size < 64) {
            EXPECT_EQ(hr, D3DXFERR_BADVALUE);
            ExpectMatrix(tree.m_mat, Scaling(1), "unchanged");
        } else {
            EXPECT_EQ(hr, S_OK);
            ExpectMatrix(tree.m_mat, moved, "read");
        }
        record->Release();
    }
}

TEST_F(MeshFrameTest, FailingRecordCallsReturnTheirCodeAndReleaseEveryChild)
{
    // Frame Outer { Frame A {}  Frame B {}  Frame C {} }, broken in turn.
    struct Case {
        const char* what;
        int failChild;        // Outer's child that cannot be had
        HRESULT bName, bType; // B's failures
        HRESULT expected;
        std::vector<std::string> children; // of Outer afterwards
    };
    const Case cases[] = {
        {"whole", -1, S_OK, S_OK, S_OK, {"C", "B", "A"}},
        {"child 1 missing", 1, S_OK, S_OK, D3DXFERR_NOTFOUND, {"A"}},
        {"B's name", -1, D3DXFERR_BADVALUE, S_OK, D3DXFERR_BADVALUE, {"A"}},
        {"B's type", -1, S_OK, E_OUTOFMEMORY, E_OUTOFMEMORY, {"A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRecord* outer = new FakeRecord(TID_D3DRMFrame, "Outer");
        FakeRecord* kids[3];
        for (int i = 0; i < 3; ++i) {
            kids[i] = new FakeRecord(TID_D3DRMFrame, std::string(1, (char)('A' + i)));
            outer->Add(kids[i]);
        }
        outer->m_failChild = c.failChild;
        kids[1]->m_nameResult = c.bName;
        kids[1]->m_typeResult = c.bType;

        MeshFile tree;
        EXPECT_EQ(tree.LoadFrame(dev, outer, &tree), c.expected);
        ASSERT_NE(tree.m_pChild, nullptr);
        EXPECT_EQ(Names(tree.m_pChild->m_pChild), c.children);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(kids[i]->m_refs, 1u) << i;
        EXPECT_EQ(outer->m_refs, 1u);
        outer->Release();
    }
}

TEST_F(MeshFrameTest, OtherRecordsAreSkippedWithWhatIsUnderThem)
{
    FakeRecord* other = new FakeRecord(TID_D3DRMAnimationSet, "Walk");
    other->Add(new FakeRecord(TID_D3DRMFrame, "Hidden"));
    MeshFile tree;
    EXPECT_EQ(tree.LoadFrame(dev, other, &tree), S_OK);
    EXPECT_EQ(tree.m_pChild, nullptr);
    EXPECT_EQ(other->m_children[0]->m_refs, 1u);
    other->Release();
}

TEST(MeshFrame, NamesAreCutTo511Characters)
{
    const std::string longName(600, 'n');
    MeshFrame frame(longName.c_str());
    EXPECT_EQ(std::strlen(frame.m_name), 511u);
    MeshFrame unnamed(nullptr);
    EXPECT_STREQ(unnamed.m_name, "");
    ExpectMatrix(unnamed.m_mat, Scaling(1), "identity");
    EXPECT_EQ(unnamed.m_pMesh, nullptr);
    EXPECT_EQ(unnamed.m_pChild, nullptr);
    EXPECT_EQ(unnamed.m_pNext, nullptr);
}

} // namespace
