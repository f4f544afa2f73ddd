// Meshes from .x files: vertices, normals split where faces disagree,
// materials as D3DX gives them, frames applied, and broken meshes refused.
#include "mesh_fixture.h"

#include <string>

namespace {

// A pyramid-ish quad mesh: 5 positions, one quad and one triangle, flat
// normals per face, two materials (one textured), texture coordinates.
const char kMeshFile[] = R"(xof 0303txt 0032
Mesh Piece {
  5;
  0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;, 1.0;0.0;0.0;, 0.5;0.5;-1.0;;
  2;
  4;0,1,2,3;,
  3;0,4,1;;
  MeshNormals {
    2; 0.0;0.0;-1.0;, -1.0;0.0;0.0;;
    2; 4;0,0,0,0;, 3;1,1,1;;
  }
  MeshTextureCoords { 5; 0.0;1.0;, 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.5;0.5;; }
  MeshMaterialList {
    2; 2; 1, 0;;
    Material Plain { 0.5;0.25;1.0;0.5;; 10.0; 0.1;0.2;0.3;; 0.0;0.0;0.5;; }
    Material Textured { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { "stone.png"; } }
  }
}
)";

class LoadTest : public MeshTest {
protected:
    HRESULT Load(const std::string& text, ID3DXMesh** mesh, DWORD* numMaterials = nullptr,
                 ID3DXBuffer** materials = nullptr, ID3DXBuffer** adjacency = nullptr)
    {
        return D3DXLoadMeshFromXInMemory(text.data(), (DWORD)text.size(), D3DXMESH_SYSTEMMEM, dev, adjacency,
                                         materials, nullptr, numMaterials, mesh);
    }
};

TEST_F(LoadTest, MeshWithNormalsTextureCoordinatesAndMaterials)
{
    ID3DXMesh* m = nullptr;
    ID3DXBuffer* materials = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    DWORD n = 0;
    ASSERT_EQ(Load(kMeshFile, &m, &n, &materials, &adjacency), S_OK);
    EXPECT_EQ(m->GetFVF(), (DWORD)(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(m->GetOptions(), (DWORD)D3DXMESH_SYSTEMMEM);
    EXPECT_EQ(m->GetNumFaces(), 3u);
    // Vertices 0 and 1 belong to both faces with different normals: copied at the end.
    ASSERT_EQ(m->GetNumVertices(), 7u);
    EXPECT_EQ(Indices(m), (std::vector<DWORD>{0, 1, 2, 0, 2, 3, 5, 4, 6}));
    EXPECT_EQ(Attributes(m), (std::vector<DWORD>{1, 1, 0}));
    EXPECT_EQ(Floats(m, 5, 0, 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(Floats(m, 5, 12, 3), (std::vector<float>{-1, 0, 0}));
    EXPECT_EQ(Floats(m, 0, 12, 3), (std::vector<float>{0, 0, -1}));
    EXPECT_EQ(Floats(m, 6, 24, 2), (std::vector<float>{0, 0}));
    EXPECT_EQ(Floats(m, 4, 24, 2), (std::vector<float>{0.5f, 0.5f}));

    ASSERT_EQ(n, 2u);
    ASSERT_GE(materials->GetBufferSize(), 2 * sizeof(D3DXMATERIAL));
    const D3DXMATERIAL* mat = (const D3DXMATERIAL*)materials->GetBufferPointer();
    EXPECT_EQ(mat[0].MatD3D.Diffuse.g, 0.25f);
    EXPECT_EQ(mat[0].MatD3D.Diffuse.a, 0.5f);
    EXPECT_EQ(mat[0].MatD3D.Power, 10.0f);
    EXPECT_EQ(mat[0].MatD3D.Specular.b, 0.3f);
    EXPECT_EQ(mat[0].MatD3D.Emissive.b, 0.5f);
    EXPECT_EQ(mat[0].MatD3D.Ambient.r, 0.0f);
    EXPECT_EQ(mat[0].MatD3D.Ambient.a, 0.0f);
    EXPECT_EQ(mat[0].pTextureFilename, nullptr);
    ASSERT_NE(mat[1].pTextureFilename, nullptr);
    EXPECT_STREQ(mat[1].pTextureFilename, "stone.png");

    // Adjacency: the two halves of the quad share an edge, and the triangle
    // meets the quad along 0-1 (through the copies of 0 and 1).
    ASSERT_EQ(adjacency->GetBufferSize(), 9 * sizeof(DWORD));
    const DWORD* adj = (const DWORD*)adjacency->GetBufferPointer();
    EXPECT_EQ(std::vector<DWORD>(adj, adj + 9),
              (std::vector<DWORD>{2, 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0}));
    materials->Release();
    adjacency->Release();
    m->Release();
}

TEST_F(LoadTest, WithoutAMaterialListThereIsOneDefaultMaterial)
{
    const std::string text = "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; }\n";
    ID3DXMesh* m = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD n = 0;
    ASSERT_EQ(Load(text, &m, &n, &materials), S_OK);
    EXPECT_EQ(m->GetFVF(), (DWORD)D3DFVF_XYZ);
    ASSERT_EQ(n, 1u);
    const D3DXMATERIAL* mat = (const D3DXMATERIAL*)materials->GetBufferPointer();
    EXPECT_EQ(mat[0].MatD3D.Diffuse.r, 0.5f);
    EXPECT_EQ(mat[0].MatD3D.Diffuse.a, 1.0f);
    EXPECT_EQ(mat[0].MatD3D.Ambient.r, 0.0f);
    EXPECT_EQ(mat[0].pTextureFilename, nullptr);
    materials->Release();
    m->Release();
}

TEST_F(LoadTest, FramesMoveTheirMeshesAndSeveralMeshesBecomeOne)
{
    const std::string text = R"(xof 0303txt 0032
Frame Left {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, -5.0,0.0,0.0,1.0;; }
  Frame Up {
    FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,2.0,0.0,1.0;; }
    Mesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; }
  }
}
Mesh Loose {
  3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;;
  MeshVertexColors { 1; 2; 1.0;0.0;0.0;1.0;;; }
  MeshMaterialList { 1; 1; 0;; Material { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
}
)";
    ID3DXMesh* m = nullptr;
    DWORD n = 0;
    ASSERT_EQ(Load(text, &m, &n), S_OK);
    EXPECT_EQ(m->GetFVF(), (DWORD)(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    ASSERT_EQ(m->GetNumVertices(), 6u);
    EXPECT_EQ(Floats(m, 1, 0, 3), (std::vector<float>{-5, 3, 0}));
    EXPECT_EQ(Floats(m, 4, 0, 3), (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(Dword(m, 0, 12), 0xFFFFFFFFu) << "the first mesh had no colours";
    EXPECT_EQ(Dword(m, 5, 12), 0xFFFF0000u);
    EXPECT_EQ(Indices(m), (std::vector<DWORD>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Attributes(m), (std::vector<DWORD>{0, 1}));
    EXPECT_EQ(n, 2u);
    m->Release();
}

TEST_F(LoadTest, BrokenMeshesAreRefused)
{
    struct Case {
        const char* name;
        std::string text;
        HRESULT expected;
    } cases[] = {
        {"index out of range", "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,3;; }\n",
         D3DXERR_INVALIDDATA},
        {"face of two corners", "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 2;0,1;; }\n",
         D3DXERR_INVALIDDATA},
        {"material index out of range",
         "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; "
         "MeshMaterialList { 1; 1; 4;; Material { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } } }\n",
         D3DXERR_INVALIDDATA},
        {"normal index out of range",
         "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; "
         "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,1;; } }\n",
         D3DXERR_INVALIDDATA},
        {"fewer texture coordinates than vertices",
         "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 1; 3;0,1,2;; "
         "MeshTextureCoords { 1; 0.0;0.0;; } }\n",
         D3DXERR_INVALIDDATA},
        {"no mesh at all", "xof 0303txt 0032\nFrame { }\n", D3DXERR_LOADEDMESHHASNODATA},
        {"not a file", "garbage", D3DXFERR_BADFILETYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXMesh* m = (ID3DXMesh*)0x1;
        EXPECT_EQ(Load(c.text, &m), c.expected);
        EXPECT_EQ(m, nullptr);
    }
    ID3DXMesh* m = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromX("/nonexistent/dir/none.x", 0, dev, nullptr, nullptr, nullptr, nullptr, &m),
              D3DXFERR_FILENOTFOUND);
}

TEST_F(LoadTest, MeshFromAnOpenFileDataObject)
{
    ID3DXFile* file = nullptr;
    ASSERT_EQ(D3DXFileCreate(&file), S_OK);
    const std::string text = std::string("xof 0303txt 0032\nFrame F { ") + (kMeshFile + 17) + " }\n";
    D3DXF_FILELOADMEMORY mem{text.data(), text.size()};
    ID3DXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(&mem, D3DXF_FILELOAD_FROMMEMORY, &e), S_OK);
    ID3DXFileData* frame = nullptr;
    ASSERT_EQ(e->GetChild(0, &frame), S_OK);
    ID3DXFileData* mesh = nullptr;
    ASSERT_EQ(frame->GetChild(0, &mesh), S_OK);
    ID3DXMesh* m = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD n = 0;
    EXPECT_EQ(D3DXLoadMeshFromXof(frame, D3DXMESH_SYSTEMMEM, dev, nullptr, &materials, nullptr, &n, &m),
              D3DERR_INVALIDCALL) << "a frame is not a mesh";
    ASSERT_EQ(D3DXLoadMeshFromXof(mesh, D3DXMESH_SYSTEMMEM, dev, nullptr, &materials, nullptr, &n, &m), S_OK);
    EXPECT_EQ(m->GetNumFaces(), 3u);
    EXPECT_EQ(n, 2u);
    materials->Release();
    m->Release();
    mesh->Release();
    frame->Release();
    e->Release();
    file->Release();
}

} // namespace
