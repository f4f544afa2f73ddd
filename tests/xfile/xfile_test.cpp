// The .x reader: small files in every encoding parse to the same tree, broken
// files fail with a D3DX error code and an empty tree, and ID3DXFile hands the
// tree out as D3DX does.
#include "d3dx9/xfile_tree.h"
#include "xfile_twins.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using xtwins::Bytes;

namespace {

// Compares two trees object by object, following children in order.
void expectSameObject(const XFileTree& a, size_t ia, const XFileTree& b, size_t ib, const std::string& where)
{
    const XFileObject& x = a.objects[ia];
    const XFileObject& y = b.objects[ib];
    SCOPED_TRACE(where + "/" + x.type + " " + x.name);
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.typeId, y.typeId);
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.id, y.id);
    EXPECT_EQ(x.data, y.data);
    EXPECT_EQ(x.strings, y.strings);
    ASSERT_EQ(x.children.size(), y.children.size());
    for (size_t i = 0; i < x.children.size(); ++i) {
        EXPECT_EQ(x.children[i].reference, y.children[i].reference);
        if (!x.children[i].reference)
            expectSameObject(a, x.children[i].object, b, y.children[i].object, where + "/" + x.type);
        else
            EXPECT_EQ(a.objects[x.children[i].object].name, b.objects[y.children[i].object].name);
    }
}

struct GoodCase {
    const char* name;
    const char* text;
    size_t topObjects;
};

const GoodCase kGood[] = {
    {"mesh with every part and comments", R"(xof 0303txt 0032
// A comment, and another kind:
# the header
Header { 1; 0; 1; }
Mesh Quad {
  4;
  0.0; 0.0; 0.0;,
  1.0; 0.0; 0.0;,
  1.0; 1.0; 0.0;,
  0.0; 1.0; 0.0;;
  1;
  4; 0, 1, 2, 3;;
  MeshNormals { 1; 0.0; 0.0; -1.0;; 1; 4; 0, 0, 0, 0;; }
  MeshTextureCoords { 4; 0.0; 1.0;, 1.0; 1.0;, 1.0; 0.0;, 0.0; 0.0;; }
  MeshVertexColors { 1; 2; 1.0; 0.5; 0.25; 1.0;;; }
  MeshMaterialList {
    1; 1; 0;;
    Material Red {
      1.0; 0.0; 0.0; 1.0;;
      8.0;
      0.5; 0.5; 0.5;;
      0.0; 0.0; 0.0;;
      TextureFilename { "red.png"; }
    }
  }
}
)",
     2},
    {"nested frames with transforms", R"(xof 0303txt 0032
Frame Root {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 2.0,3.0,4.0,1.0;; }
  Frame Arm {
    FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.5,0.0,1.0;; }
    Frame Hand { }
  }
  Frame Leg { }
}
)",
     1},
    {"references by name and by identifier", R"(xof 0303txt 0032
Material Blue { 0.0; 0.0; 1.0; 1.0;; 1.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;; }
Frame Target { <12345678-9ABC-DEF0-1234-56789ABCDEF0> }
Mesh M {
  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
  1; 3;0,1,2;;
  MeshMaterialList { 1; 1; 0;; { Blue } }
}
Frame F { { <12345678-9ABC-DEF0-1234-56789ABCDEF0> } { Target } }
)",
     4},
    {"skin data", R"(xof 0303txt 0032
Mesh Skinned {
  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
  1; 3;0,1,2;;
  XSkinMeshHeader { 2; 3; 2; }
  VertexDuplicationIndices { 3; 3; 0, 1, 2; }
  SkinWeights {
    "Bone1";
    2; 0, 1; 0.25, 0.75;
    1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;;
  }
  SkinWeights {
    "Bone2";
    1; 2; 1.0;
    1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;
  }
}
)",
     1},
    {"animation", R"(xof 0303txt 0032
AnimTicksPerSecond { 24; }
Frame Bone1 { }
AnimationSet Walk {
  Animation {
    { Bone1 }
    AnimationOptions { 1; 0; }
    AnimationKey { 0; 2; 0; 4; 1.0, 0.0, 0.0, 0.0;;, 10; 4; 0.7071, 0.0, 0.7071, 0.0;;; }
    AnimationKey { 2; 2; 0; 3; 0.0, 0.0, 0.0;;, 10; 3; 1.0, 2.0, 3.0;;; }
  }
}
)",
     3},
    {"templates defined in the file", R"(xof 0303txt 0032
template Pair { <A0000000-0000-0000-0000-000000000001> WORD a; DOUBLE b; }
template Grid {
  <A0000000-0000-0000-0000-000000000002>
  DWORD rows; DWORD cols;
  array SDWORD cells[rows][cols];
  array Pair pairs[2];
  CHAR tag;
  STRING label;
  [Pair]
}
Grid G {
  2; 3;
  -1, 2, -3, 4, -5, 6;
  7; 0.5;, 8; 2.25;;
  65;
  "a label";
  Pair { 9; 1.0; }
}
)",
     1},
};

class GoodFiles : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodFiles, EveryEncodingParsesToTheSameTree)
{
    const GoodCase& c = GetParam();
    const std::vector<Bytes> forms = xtwins::allEncodings(c.text);
    XFileTree first;
    ASSERT_EQ(XFileParse(forms[0].data(), forms[0].size(), nullptr, &first), S_OK);
    ASSERT_EQ(first.top.size(), c.topObjects);
    const char* names[] = {"text", "binary", "binary 64", "tzip", "bzip"};
    for (size_t i = 1; i < forms.size(); ++i) {
        SCOPED_TRACE(names[i]);
        XFileTree other;
        ASSERT_EQ(XFileParse(forms[i].data(), forms[i].size(), nullptr, &other), S_OK);
        ASSERT_EQ(other.top.size(), first.top.size());
        for (size_t t = 0; t < first.top.size(); ++t)
            expectSameObject(first, first.top[t], other, other.top[t], "");
    }
}

INSTANTIATE_TEST_SUITE_P(XFile, GoodFiles, ::testing::ValuesIn(kGood),
                         [](const ::testing::TestParamInfo<GoodCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return n;
                         });

XFileTree parseText(const std::string& text)
{
    XFileTree t;
    EXPECT_EQ(XFileParse(text.data(), text.size(), nullptr, &t), S_OK);
    return t;
}

TEST(XFileTree, MembersArePackedAsLockShowsThem)
{
    XFileTree t = parseText(kGood[0].text);
    const XFileObject& mesh = t.Top(1);
    EXPECT_EQ(mesh.type, "Mesh");
    EXPECT_EQ(mesh.typeId, TID_D3DRMMesh);
    EXPECT_EQ(mesh.name, "Quad");
    // nVertices, 4 vectors, nFaces, one face of 4 indices.
    ASSERT_EQ(mesh.data.size(), 4u + 4 * 12 + 4 + 4 + 4 * 4);
    XFileReader r(mesh);
    EXPECT_EQ(r.Dword(), 4u);
    r.Skip(12);
    EXPECT_EQ(r.Float(), 1.0f);
    r.Skip(8 + 24);
    EXPECT_EQ(r.Dword(), 1u);
    EXPECT_EQ(r.Dword(), 4u);
    for (DWORD i = 0; i < 4; ++i)
        EXPECT_EQ(r.Dword(), i);
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_TRUE(r.Ok());
    r.Dword();
    EXPECT_FALSE(r.Ok());

    ASSERT_EQ(mesh.children.size(), 4u);
    const XFileObject& list = t.Child(mesh, 3);
    const XFileObject& material = t.Child(list, 0);
    const XFileObject& texture = t.Child(material, 0);
    EXPECT_EQ(material.name, "Red");
    XFileReader tr(texture);
    EXPECT_EQ(tr.String(), "red.png");
}

TEST(XFileTree, TemplateArraysTakeTheirSizesFromEarlierMembers)
{
    XFileTree t = parseText(kGood[5].text);
    const XFileObject& g = t.Top(0);
    XFileReader r(g);
    EXPECT_EQ(r.Dword(), 2u);
    EXPECT_EQ(r.Dword(), 3u);
    const int32_t cells[] = {-1, 2, -3, 4, -5, 6};
    for (int32_t v : cells)
        EXPECT_EQ((int32_t)r.Dword(), v);
    EXPECT_EQ(r.Word(), 7);
    EXPECT_EQ(r.Double(), 0.5);
    EXPECT_EQ(r.Word(), 8);
    EXPECT_EQ(r.Double(), 2.25);
    EXPECT_EQ(r.Byte(), 65);
    EXPECT_EQ(r.String(), "a label");
    EXPECT_EQ(r.Remaining(), 0u);
    ASSERT_EQ(t.templates.size(), 2u);
    EXPECT_EQ(t.templates[1].name, "Grid");
}

TEST(XFileTree, ReferencesPointAtTheNamedObject)
{
    XFileTree t = parseText(kGood[2].text);
    const XFileObject& list = t.Child(t.Top(2), 0);
    ASSERT_EQ(list.children.size(), 1u);
    EXPECT_TRUE(list.children[0].reference);
    EXPECT_EQ(list.children[0].object, t.top[0]);
    const XFileObject& f = t.Top(3);
    ASSERT_EQ(f.children.size(), 2u);
    EXPECT_EQ(f.children[0].object, t.top[1]);
    EXPECT_EQ(f.children[1].object, t.top[1]);
}

struct BadCase {
    const char* name;
    std::string bytes;
    HRESULT expected;
};

std::string nested(int depth)
{
    std::string s = "xof 0303txt 0032\n";
    for (int i = 0; i < depth; ++i)
        s += "Frame {\n";
    for (int i = 0; i < depth; ++i)
        s += "}\n";
    return s;
}

// Objects that each refer twice to the next: a walk would visit 2^n objects.
std::string doublingReferences(int n)
{
    std::string s = "xof 0303txt 0032\nFrame F0 { }\n";
    for (int i = 1; i < n; ++i)
        s += "Frame F" + std::to_string(i) + " { {F" + std::to_string(i - 1) + "} {F" + std::to_string(i - 1) + "} }\n";
    return s;
}

std::string binaryFile(const Bytes& body)
{
    return std::string("xof 0303bin 0032") + std::string(body.begin(), body.end());
}

std::vector<BadCase> badCases()
{
    const std::string mesh = "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
    std::vector<BadCase> v = {
        {"not a .x file", "hello world, this is not it", D3DXFERR_BADFILETYPE},
        {"too short", "xof 03", D3DXFERR_BADFILETYPE},
        {"unknown format", "xof 0303abc 0032", D3DXFERR_BADFILETYPE},
        {"unknown version", "xof 0203txt 0032", D3DXFERR_BADFILEVERSION},
        {"unknown float size", "xof 0303txt 0016", D3DXFERR_BADFILEFLOATSIZE},
        {"truncated object", mesh.substr(0, mesh.size() / 2), D3DXFERR_NOMOREDATA},
        {"count beyond the data",
         "xof 0303txt 0032\nMesh { 1000000; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n",
         D3DXFERR_BADARRAYSIZE},
        {"huge count beyond the data", "xof 0303txt 0032\nMesh { 4294967295; 0.0;0.0;0.0;; 0;; }\n",
         D3DXFERR_BADARRAYSIZE},
        {"members missing", "xof 0303txt 0032\nMesh { 1; 0.0;0.0;0.0;; }\n", D3DXFERR_NOMOREDATA},
        {"values left over", "xof 0303txt 0032\nHeader { 1; 0; 1; 5; }\n", D3DXFERR_PARSEERROR},
        {"string for a number", "xof 0303txt 0032\nHeader { \"one\"; 0; 1; }\n", D3DXFERR_PARSEERROR},
        {"fraction for an integer", "xof 0303txt 0032\nHeader { 1.5; 0; 1; }\n", D3DXFERR_PARSEERROR},
        {"unterminated string", "xof 0303txt 0032\nTextureFilename { \"abc; }\n", D3DXFERR_PARSEERROR},
        {"unknown template", "xof 0303txt 0032\nWidget { 1; }\n", D3DXFERR_BADTYPE},
        {"reference to nothing", "xof 0303txt 0032\nFrame A { { Missing } }\n", D3DXFERR_BADDATAREFERENCE},
        {"reference to itself", "xof 0303txt 0032\nFrame A { { A } }\n", D3DXFERR_BADDATAREFERENCE},
        {"references in a loop", "xof 0303txt 0032\nFrame A { { B } }\nFrame B { { A } }\n", D3DXFERR_BADDATAREFERENCE},
        {"references multiplying", doublingReferences(40), D3DXFERR_BADDATAREFERENCE},
        {"deep nesting", nested(kXFileMaxDepth + 1), D3DXFERR_PARSEERROR},
        {"child a closed template refuses", "xof 0303txt 0032\nHeader { 1; 0; 1; Frame { } }\n", D3DXFERR_BADOBJECT},
        {"child a restricted template refuses", "xof 0303txt 0032\nMeshMaterialList { 1; 1; 0;; Frame { } }\n",
         D3DXFERR_BADOBJECT},
        {"template inside itself",
         "xof 0303txt 0032\ntemplate Loop { <A0000000-0000-0000-0000-000000000009> Loop inner; }\nLoop { 1; }\n",
         D3DXFERR_PARSEERROR},
        {"array size naming no member",
         "xof 0303txt 0032\ntemplate T { <A0000000-0000-0000-0000-00000000000A> array DWORD a[n]; }\nT { 1; }\n",
         D3DXFERR_PARSEERROR},
        {"stray token", "xof 0303txt 0032\n; Header { 1; 0; 1; }\n", D3DXFERR_PARSEERROR},
        {"bad identifier", "xof 0303txt 0032\nFrame A { <1234> }\n", D3DXFERR_PARSEERROR},
    };
    // Binary records whose counts run past the end of the file.
    Bytes b;
    xtwins::put16(b, 1);
    xtwins::put32(b, 6);
    b.insert(b.end(), {'H', 'e', 'a', 'd', 'e', 'r'});
    xtwins::put16(b, 10);
    xtwins::put16(b, 6);
    xtwins::put32(b, 0x40000000);
    xtwins::put32(b, 1);
    v.push_back({"binary list longer than the file", binaryFile(b), D3DXFERR_NOMOREDATA});
    Bytes name;
    xtwins::put16(name, 1);
    xtwins::put32(name, 0xFFFFFFF0);
    v.push_back({"binary name longer than the file", binaryFile(name), D3DXFERR_NOMOREDATA});
    Bytes token;
    xtwins::put16(token, 99);
    v.push_back({"unknown binary token", binaryFile(token), D3DXFERR_PARSEERROR});
    // Compressed bodies: a block past the end, a corrupt stream, a wrong total.
    const std::string body = mesh.substr(16);
    Bytes packed = xtwins::compressBody(Bytes(body.begin(), body.end()));
    Bytes cut(packed.begin(), packed.end() - 5);
    v.push_back({"compressed block past the end", "xof 0303tzip0032" + std::string(cut.begin(), cut.end()),
                 D3DXFERR_NOMOREDATA});
    Bytes corrupt = packed;
    for (size_t i = 10; i < corrupt.size(); ++i)
        corrupt[i] ^= 0x5A;
    v.push_back({"corrupt compressed stream", "xof 0303tzip0032" + std::string(corrupt.begin(), corrupt.end()),
                 D3DXFERR_BADFILE});
    Bytes total = packed;
    total[0] ^= 1;
    v.push_back({"compressed size that does not add up",
                 "xof 0303tzip0032" + std::string(total.begin(), total.end()), D3DXFERR_BADFILE});
    return v;
}

TEST(XFileTree, BrokenFilesFailCleanly)
{
    for (const BadCase& c : badCases()) {
        SCOPED_TRACE(c.name);
        XFileTree t;
        t.top.push_back(7);
        EXPECT_EQ(XFileParse(c.bytes.data(), c.bytes.size(), nullptr, &t), c.expected);
        EXPECT_TRUE(t.objects.empty());
        EXPECT_TRUE(t.top.empty());
    }
}

// What a compressed file may inflate to is bounded by its own size: a small
// file that would fill a large buffer is refused before it is inflated,
// while an honest large file loads.
TEST(XFileTree, CompressedFilesInflateToABoundedMultipleOfTheirSize)
{
    const std::string frame = "xof 0303txt 0032\nFrame A { }\n";
    std::string padded = frame.substr(16) + std::string(20u << 20, ' ');
    Bytes bomb = xtwins::compressBody(Bytes(padded.begin(), padded.end()));
    ASSERT_LT(bomb.size() * kXFileMaxRatio, padded.size());
    const std::string hostile = "xof 0303tzip0032" + std::string(bomb.begin(), bomb.end());
    XFileTree t;
    EXPECT_EQ(XFileParse((const uint8_t*)hostile.data(), hostile.size(), nullptr, &t), D3DXFERR_BADFILE);
    EXPECT_TRUE(t.objects.empty());

    // A mesh of 100000 vertices, some 4 MB of text, packs about five times over.
    std::string mesh = "xof 0303txt 0032\nMesh M {\n100000;\n";
    unsigned seed = 1;
    for (int i = 0; i < 100000; ++i) {
        char v[96];
        seed = seed * 1103515245u + 12345u;
        std::snprintf(v, sizeof v, "%.6f;%.6f;%.6f;%s\n", (seed >> 8) % 100000 / 997.0, (seed >> 4) % 1000 / 7.0,
                      i * 0.001, i + 1 < 100000 ? "," : ";");
        mesh += v;
    }
    mesh += "1;\n3;0,1,2;;\n}\n";
    Bytes packed = xtwins::compressBody(Bytes(mesh.begin() + 16, mesh.end()));
    const std::string honest = "xof 0303tzip0032" + std::string(packed.begin(), packed.end());
    XFileTree h;
    EXPECT_EQ(XFileParse((const uint8_t*)honest.data(), honest.size(), nullptr, &h), S_OK);
    EXPECT_FALSE(h.objects.empty());
}

TEST(XFileTree, EveryPrefixOfAFileFailsOrParses)
{
    // Cut at every byte, in every encoding: no crash, and an error unless the
    // cut falls between top-level objects.
    for (const Bytes& full : xtwins::allEncodings(kGood[0].text)) {
        for (size_t n = 0; n < full.size(); ++n) {
            XFileTree t;
            if (FAILED(XFileParse(full.data(), n, nullptr, &t))) {
                EXPECT_TRUE(t.objects.empty());
            }
        }
    }
}

TEST(XFileTree, RegisteredTemplatesAreKnownToLaterFiles)
{
    const std::string templates = "xof 0303txt 0032\ntemplate Dot3 { <B0000000-0000-0000-0000-000000000001> "
                                  "FLOAT x; FLOAT y; FLOAT z; }\n";
    const std::string data = "xof 0303txt 0032\nDot3 D { 1.0; 2.0; 3.0; }\n";
    XFileTree t;
    EXPECT_EQ(XFileParse(data.data(), data.size(), nullptr, &t), D3DXFERR_BADTYPE);
    XFileTemplates known;
    ASSERT_EQ(XFileParseTemplates(templates.data(), templates.size(), &known), S_OK);
    ASSERT_EQ(XFileParse(data.data(), data.size(), &known, &t), S_OK);
    EXPECT_EQ(t.Top(0).data.size(), 12u);
    // A block for RegisterTemplates holds templates only.
    XFileTemplates more;
    EXPECT_EQ(XFileParseTemplates(data.data(), data.size(), &more), D3DXFERR_PARSEERROR);
    EXPECT_EQ(more.Size(), 0u);
}

TEST(XFileTree, StandardTemplatesIncludeSkinAndAnimation)
{
    const XFileTemplates& s = XFileTemplates::Standard();
    for (const char* name : {"Header", "Frame", "FrameTransformMatrix", "Mesh", "MeshNormals", "MeshTextureCoords",
                             "MeshVertexColors", "MeshMaterialList", "Material", "TextureFilename",
                             "XSkinMeshHeader", "VertexDuplicationIndices", "SkinWeights", "AnimTicksPerSecond",
                             "AnimationSet", "Animation", "AnimationKey", "AnimationOptions"})
        EXPECT_NE(s.Find(name), nullptr) << name;
    ASSERT_NE(s.Find(TID_D3DRMFrameTransformMatrix), nullptr);
    EXPECT_EQ(s.Find(TID_D3DRMFrameTransformMatrix)->name, "FrameTransformMatrix");
    EXPECT_EQ(s.Find(DXFILEOBJ_SkinWeights)->name, "SkinWeights");
    EXPECT_EQ(XFileGuidText(TID_D3DRMMesh), "3D82AB44-62DA-11CF-AB39-0020AF71E433");
}

// ---- ID3DXFile ----------------------------------------------------------------

struct Released {
    template <class T> void operator()(T* p) const
    {
        if (p)
            p->Release();
    }
};

TEST(ID3DXFile, EnumeratesTopLevelObjectsAndTheirChildren)
{
    ID3DXFile* file = nullptr;
    ASSERT_EQ(D3DXFileCreate(&file), S_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    const std::string text = kGood[1].text;
    D3DXF_FILELOADMEMORY mem{text.data(), text.size()};
    ID3DXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e), S_OK);
    SIZE_T n = 0;
    ASSERT_EQ(e->GetChildren(&n), S_OK);
    ASSERT_EQ(n, 1u);
    ID3DXFileData* root = nullptr;
    ASSERT_EQ(e->GetChild(0, &root), S_OK);
    ID3DXFileData* none = root;
    EXPECT_EQ(e->GetChild(1, &none), D3DXFERR_NOMOREOBJECTS);
    EXPECT_EQ(none, nullptr);

    GUID type{};
    EXPECT_EQ(root->GetType(&type), S_OK);
    EXPECT_EQ(type, TID_D3DRMFrame);
    SIZE_T size = 0;
    ASSERT_EQ(root->GetName(nullptr, &size), S_OK);
    EXPECT_EQ(size, 5u);
    char name[512] = {};
    size = 2;
    EXPECT_EQ(root->GetName(name, &size), D3DXFERR_BADVALUE);
    size = sizeof(name);
    ASSERT_EQ(root->GetName(name, &size), S_OK);
    EXPECT_STREQ(name, "Root");
    EXPECT_FALSE(root->IsReference());

    ASSERT_EQ(root->GetChildren(&n), S_OK);
    ASSERT_EQ(n, 3u);
    ID3DXFileData* matrix = nullptr;
    ASSERT_EQ(root->GetChild(0, &matrix), S_OK);
    EXPECT_EQ(matrix->GetType(&type), S_OK);
    EXPECT_EQ(type, TID_D3DRMFrameTransformMatrix);
    const void* data = nullptr;
    ASSERT_EQ(matrix->Lock(&size, &data), S_OK);
    ASSERT_EQ(size, 64u);
    float m[16];
    std::memcpy(m, data, 64);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[12], 2.0f);
    EXPECT_EQ(m[13], 3.0f);
    EXPECT_EQ(m[14], 4.0f);
    EXPECT_EQ(matrix->Unlock(), S_OK);
    size = sizeof(name);
    ASSERT_EQ(matrix->GetName(name, &size), S_OK);
    EXPECT_STREQ(name, "");

    ID3DXFileEnumObject* back = nullptr;
    ASSERT_EQ(matrix->GetEnum(&back), S_OK);
    EXPECT_EQ(back, e);
    back->Release();
    matrix->Release();
    root->Release();
    // The enumerator holds the file; releasing in any order leaves nothing behind.
    file->Release();
    e->Release();
}

TEST(ID3DXFile, StringMembersLockAsPointersAndReferencesAreMarked)
{
    ID3DXFile* file = nullptr;
    ASSERT_EQ(D3DXFileCreate(&file), S_OK);
    const std::string text = std::string("xof 0303txt 0032\n") +
                             "Material Shiny { 1.0;1.0;1.0;1.0;; 5.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; "
                             "TextureFilename { \"shiny.png\"; } }\n"
                             "Frame F { { Shiny } }\n";
    D3DXF_FILELOADMEMORY mem{text.data(), text.size()};
    ID3DXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e), S_OK);
    ID3DXFileData* frame = nullptr;
    ASSERT_EQ(e->GetDataObjectByName("F", &frame), S_OK);
    ID3DXFileData* ref = nullptr;
    ASSERT_EQ(frame->GetChild(0, &ref), S_OK);
    EXPECT_TRUE(ref->IsReference());
    ID3DXFileData* tex = nullptr;
    ASSERT_EQ(ref->GetChild(0, &tex), S_OK);
    SIZE_T size = 0;
    const void* data = nullptr;
    ASSERT_EQ(tex->Lock(&size, &data), S_OK);
    ASSERT_EQ(size, sizeof(char*));
    const char* s = nullptr;
    std::memcpy(&s, data, sizeof(s));
    EXPECT_STREQ(s, "shiny.png");
    tex->Unlock();
    ID3DXFileData* missing = nullptr;
    EXPECT_EQ(e->GetDataObjectByName("Nope", &missing), D3DXFERR_NOTFOUND);
    tex->Release();
    ref->Release();
    frame->Release();
    e->Release();
    file->Release();
}

TEST(ID3DXFile, SourcesAndRegisteredTemplates)
{
    ID3DXFile* file = nullptr;
    ASSERT_EQ(D3DXFileCreate(&file), S_OK);
    ID3DXFileEnumObject* e = nullptr;
    EXPECT_EQ(file->CreateEnumObject("/nonexistent/dir/model.x", D3DXF_FILELOAD_FROMFILE, &e),
              D3DXFERR_FILENOTFOUND);
    D3DXF_FILELOADRESOURCE res{nullptr, "MODEL", "XFILE"};
    EXPECT_EQ(file->CreateEnumObject(&res, D3DXF_FILELOAD_FROMRESOURCE, &e), D3DXFERR_RESOURCENOTFOUND);
    EXPECT_EQ(e, nullptr);

    const std::string data = "xof 0303txt 0032\nDot2 D { 1.0; 2.0; }\n";
    D3DXF_FILELOADMEMORY mem{data.data(), data.size()};
    EXPECT_EQ(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e), D3DXFERR_BADTYPE);
    const std::string templates =
        "xof 0303txt 0032\ntemplate Dot2 { <B0000000-0000-0000-0000-000000000002> FLOAT x; FLOAT y; }\n";
    const Bytes binary = xtwins::withHeader("xof 0303bin 0032", xtwins::binaryBody(templates.substr(16), false));
    ASSERT_EQ(file->RegisterTemplates(binary.data(), binary.size()), S_OK);
    ASSERT_EQ(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e), S_OK);
    ID3DXFileData* d = nullptr;
    ASSERT_EQ(e->GetChild(0, &d), S_OK);
    GUID type{};
    d->GetType(&type);
    EXPECT_EQ(XFileGuidText(type), "B0000000-0000-0000-0000-000000000002");
    d->Release();
    e->Release();
    file->Release();
}

} // namespace
