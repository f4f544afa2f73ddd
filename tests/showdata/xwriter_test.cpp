// The .x text writer: the file's grammar, only the templates it uses, the
// conjugated rotation keys and the skin header's counts.
#include <gtest/gtest.h>

#include <cmath>

#include "xwriter.h"

using namespace tools;

namespace {

XMesh Triangle()
{
    XMesh m;
    m.name = "Tri";
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    m.uvs = {{0, 1}, {1, 1}, {0, 0}};
    m.faces = {{0, 2, 1}};
    m.faceMaterials = {0};
    XMaterial mat;
    mat.diffuse[3] = 0.5f;
    mat.power = 8.0f;
    mat.texture = "t.png";
    m.materials = {mat};
    return m;
}

TEST(XWriter, WritesAMeshInTheTextGrammar)
{
    XFile f;
    XFrame frame;
    frame.name = "Root";
    frame.transform = Translation(Vec3{1, 2, 3});
    frame.meshes.push_back(Triangle());
    f.frames.push_back(frame);
    std::string text = WriteXFile(f);
    EXPECT_EQ(text.rfind("xof 0303txt 0032\n", 0), 0u);
    const char* expected = R"(Frame Root {
 FrameTransformMatrix {
  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,1.000000,2.000000,3.000000,1.000000;;
 }
 Mesh Tri {
  3;
  0.000000;0.000000;0.000000;,
  1.000000;0.000000;0.000000;,
  0.000000;1.000000;0.000000;;
  1;
  3;0,2,1;;
  MeshNormals {
   3;
   0.000000;0.000000;-1.000000;,
   0.000000;0.000000;-1.000000;,
   0.000000;0.000000;-1.000000;;
   1;
   3;0,2,1;;
  }
  MeshTextureCoords {
   3;
   0.000000;1.000000;,
   1.000000;1.000000;,
   0.000000;0.000000;;
  }
  MeshMaterialList {
   1;
   1;
   0;
   Material {
    1.000000;1.000000;1.000000;0.500000;;
    8.000000;
    0.000000;0.000000;0.000000;;
    0.000000;0.000000;0.000000;;
    TextureFilename {
     "t.png";
    }
   }
  }
 }
}
)";
    size_t at = text.find("Frame Root {");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at), expected);
    // Declared: what the file uses, nothing more.
    for (const char* t : {"Vector", "MeshFace", "Mesh", "MeshNormals", "MeshTextureCoords", "Coords2d",
                          "MeshMaterialList", "Material", "ColorRGBA", "ColorRGB", "TextureFilename", "Frame",
                          "FrameTransformMatrix", "Matrix4x4"})
        EXPECT_NE(text.find(std::string("template ") + t + " {"), std::string::npos) << t;
    for (const char* t : {"SkinWeights", "XSkinMeshHeader", "AnimationSet", "AnimTicksPerSecond"})
        EXPECT_EQ(text.find(std::string("template ") + t + " {"), std::string::npos) << t;
}

TEST(XWriter, StoresRotationKeysConjugatedWithWFirst)
{
    XFile f;
    XFrame frame;
    frame.name = "Bone";
    f.frames.push_back(frame);
    f.ticksPerSecond = 4800;
    XAnimation a;
    a.frame = "Bone";
    float s = std::sin(0.25f * 3.14159265f), c = std::cos(0.25f * 3.14159265f);
    a.rotations = {{0, Quat{s, 0, 0, c}}, {480, Quat{0, 0, s, c}}};
    a.positions = {{0, Vec3{0, 40, 0}}};
    f.animationSets.push_back(XAnimationSet{"Walk", {a}});
    std::string text = WriteXFile(f);
    const char* expected = R"(AnimTicksPerSecond {
 4800;
}
AnimationSet Walk {
 Animation {
  { Bone }
  AnimationKey {
   0;
   2;
   0;4;0.707107,-0.707107,0.000000,0.000000;;,
   480;4;0.707107,0.000000,0.000000,-0.707107;;;
  }
  AnimationKey {
   2;
   1;
   0;3;0.000000,40.000000,0.000000;;;
  }
 }
}
)";
    size_t at = text.find("}\nAnimTicksPerSecond {\n"); // after the frames, not the template
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at + 2), expected);
}

TEST(XWriter, CountsSkinInfluencesAndOriginalVertices)
{
    XMesh m = Triangle();
    m.positions.push_back(m.positions[2]); // a seam copy of vertex 2
    m.uvs.push_back({1, 0});
    m.normals.push_back({0, 0, -1});
    m.duplicates = {0, 1, 2, 2};
    m.skin = {XSkinWeights{"A", {0, 1, 2, 3}, {1.0f, 0.5f, 0.5f, 0.5f}, Identity()},
              XSkinWeights{"B", {1}, {0.5f}, Identity()}, XSkinWeights{"C", {2, 3}, {0.5f, 0.5f}, Identity()}};
    unsigned perVertex = 0, perFace = 0;
    SkinInfluenceCounts(m, perVertex, perFace);
    EXPECT_EQ(perVertex, 2u);
    EXPECT_EQ(perFace, 3u);
    XFile f;
    XFrame frame;
    frame.name = "Root";
    frame.meshes.push_back(m);
    f.frames.push_back(frame);
    std::string text = WriteXFile(f);
    EXPECT_NE(text.find("  XSkinMeshHeader {\n   2;\n   3;\n   3;\n  }\n"), std::string::npos);
    EXPECT_NE(text.find("  VertexDuplicationIndices {\n   4;\n   3;\n   0,\n   1,\n   2,\n   2;\n  }\n"),
              std::string::npos);
    EXPECT_NE(text.find("  SkinWeights {\n   \"B\";\n   1;\n   1;\n   0.500000;\n"), std::string::npos);
}

} // namespace
