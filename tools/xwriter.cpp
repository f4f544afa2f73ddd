#include "xwriter.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace tools {

namespace {

struct Template {
    const char* name;
    const char* text;
};

// The templates in the order a reader needs them (each after those it names).
const Template kTemplates[] = {
    {"Vector", "template Vector {\n <3D82AB5E-62DA-11cf-AB39-0020AF71E433>\n FLOAT x;\n FLOAT y;\n FLOAT z;\n}\n"},
    {"Coords2d", "template Coords2d {\n <F6F23F44-7686-11cf-8F52-0040333594A3>\n FLOAT u;\n FLOAT v;\n}\n"},
    {"Matrix4x4", "template Matrix4x4 {\n <F6F23F45-7686-11cf-8F52-0040333594A3>\n array FLOAT matrix[16];\n}\n"},
    {"ColorRGBA", "template ColorRGBA {\n <35FF44E0-6C7C-11cf-8F52-0040333594A3>\n FLOAT red;\n FLOAT green;\n"
                  " FLOAT blue;\n FLOAT alpha;\n}\n"},
    {"ColorRGB", "template ColorRGB {\n <D3E16E81-7835-11cf-8F52-0040333594A3>\n FLOAT red;\n FLOAT green;\n"
                 " FLOAT blue;\n}\n"},
    {"TextureFilename", "template TextureFilename {\n <A42790E1-7810-11cf-8F52-0040333594A3>\n STRING filename;\n}\n"},
    {"Material", "template Material {\n <3D82AB4D-62DA-11cf-AB39-0020AF71E433>\n ColorRGBA faceColor;\n"
                 " FLOAT power;\n ColorRGB specularColor;\n ColorRGB emissiveColor;\n [...]\n}\n"},
    {"MeshFace", "template MeshFace {\n <3D82AB5F-62DA-11cf-AB39-0020AF71E433>\n DWORD nFaceVertexIndices;\n"
                 " array DWORD faceVertexIndices[nFaceVertexIndices];\n}\n"},
    {"MeshTextureCoords", "template MeshTextureCoords {\n <F6F23F40-7686-11cf-8F52-0040333594A3>\n"
                          " DWORD nTextureCoords;\n array Coords2d textureCoords[nTextureCoords];\n}\n"},
    {"MeshMaterialList", "template MeshMaterialList {\n <F6F23F42-7686-11cf-8F52-0040333594A3>\n DWORD nMaterials;\n"
                         " DWORD nFaceIndexes;\n array DWORD faceIndexes[nFaceIndexes];\n"
                         " [Material <3D82AB4D-62DA-11cf-AB39-0020AF71E433>]\n}\n"},
    {"MeshNormals", "template MeshNormals {\n <F6F23F43-7686-11cf-8F52-0040333594A3>\n DWORD nNormals;\n"
                    " array Vector normals[nNormals];\n DWORD nFaceNormals;\n"
                    " array MeshFace faceNormals[nFaceNormals];\n}\n"},
    {"Mesh", "template Mesh {\n <3D82AB44-62DA-11cf-AB39-0020AF71E433>\n DWORD nVertices;\n"
             " array Vector vertices[nVertices];\n DWORD nFaces;\n array MeshFace faces[nFaces];\n [...]\n}\n"},
    {"FrameTransformMatrix", "template FrameTransformMatrix {\n <F6F23F41-7686-11cf-8F52-0040333594A3>\n"
                             " Matrix4x4 frameMatrix;\n}\n"},
    {"Frame", "template Frame {\n <3D82AB46-62DA-11cf-AB39-0020AF71E433>\n [...]\n}\n"},
    {"FloatKeys", "template FloatKeys {\n <10DD46A9-775B-11cf-8F52-0040333594A3>\n DWORD nValues;\n"
                  " array FLOAT values[nValues];\n}\n"},
    {"TimedFloatKeys", "template TimedFloatKeys {\n <F406B180-7B3B-11cf-8F52-0040333594A3>\n DWORD time;\n"
                       " FloatKeys tfkeys;\n}\n"},
    {"AnimationKey", "template AnimationKey {\n <10DD46A8-775B-11cf-8F52-0040333594A3>\n DWORD keyType;\n"
                     " DWORD nKeys;\n array TimedFloatKeys keys[nKeys];\n}\n"},
    {"Animation", "template Animation {\n <3D82AB4F-62DA-11cf-AB39-0020AF71E433>\n [...]\n}\n"},
    {"AnimationSet", "template AnimationSet {\n <3D82AB50-62DA-11cf-AB39-0020AF71E433>\n"
                     " [Animation <3D82AB4F-62DA-11cf-AB39-0020AF71E433>]\n}\n"},
    {"AnimTicksPerSecond", "template AnimTicksPerSecond {\n <9E415A43-7BA6-4a73-8743-B73D47E88476>\n"
                           " DWORD AnimTicksPerSecond;\n}\n"},
    {"XSkinMeshHeader", "template XSkinMeshHeader {\n <3CF169CE-FF7C-44ab-93C0-F78F62D172E2>\n"
                        " WORD nMaxSkinWeightsPerVertex;\n WORD nMaxSkinWeightsPerFace;\n WORD nBones;\n}\n"},
    {"VertexDuplicationIndices", "template VertexDuplicationIndices {\n <B8D65549-D7C9-4995-89CF-53A9A8B031E3>\n"
                                 " DWORD nIndices;\n DWORD nOriginalVertices;\n array DWORD indices[nIndices];\n}\n"},
    {"SkinWeights", "template SkinWeights {\n <6F0D123B-BAD2-4167-A0D0-80224F25FABB>\n STRING transformNodeName;\n"
                    " DWORD nWeights;\n array DWORD vertexIndices[nWeights];\n array FLOAT weights[nWeights];\n"
                    " Matrix4x4 matrixOffset;\n}\n"},
};

class Writer {
public:
    std::string out;
    std::set<std::string> used;

    void Line(int depth, const std::string& text)
    {
        out.append(static_cast<size_t>(depth), ' ');
        out += text;
        out += '\n';
    }

    static std::string F(float v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6f", v);
        std::string s(buf);
        return s == "-0.000000" ? "0.000000" : s;
    }

    static std::string U(uint32_t v) { return std::to_string(v); }

    // Elements separated by ",", the list closed by ";".
    static std::string List(const std::vector<std::string>& items)
    {
        std::string s;
        for (size_t i = 0; i < items.size(); ++i)
            s += items[i] + (i + 1 < items.size() ? "," : ";");
        return s;
    }

    void ArrayLines(int depth, const std::vector<std::string>& items)
    {
        for (size_t i = 0; i < items.size(); ++i)
            Line(depth, items[i] + (i + 1 < items.size() ? "," : ";"));
    }

    static std::string MatrixText(const Matrix& m)
    {
        std::vector<std::string> v;
        for (float f : m.m)
            v.push_back(F(f));
        return List(v) + ";";
    }

    static std::string Face(const std::array<uint32_t, 3>& f)
    {
        return "3;" + U(f[0]) + "," + U(f[1]) + "," + U(f[2]) + ";";
    }

    void Mesh(int d, const XMesh& mesh)
    {
        used.insert({"Mesh", "Vector", "MeshFace"});
        Line(d, mesh.name.empty() ? "Mesh {" : "Mesh " + mesh.name + " {");
        Line(d + 1, U((uint32_t)mesh.positions.size()) + ";");
        std::vector<std::string> items;
        for (const Vec3& p : mesh.positions)
            items.push_back(F(p.x) + ";" + F(p.y) + ";" + F(p.z) + ";");
        ArrayLines(d + 1, items);
        Line(d + 1, U((uint32_t)mesh.faces.size()) + ";");
        items.clear();
        for (const auto& f : mesh.faces)
            items.push_back(Face(f));
        ArrayLines(d + 1, items);

        if (!mesh.normals.empty()) {
            used.insert("MeshNormals");
            Line(d + 1, "MeshNormals {");
            Line(d + 2, U((uint32_t)mesh.normals.size()) + ";");
            items.clear();
            for (const Vec3& n : mesh.normals)
                items.push_back(F(n.x) + ";" + F(n.y) + ";" + F(n.z) + ";");
            ArrayLines(d + 2, items);
            Line(d + 2, U((uint32_t)mesh.faces.size()) + ";");
            items.clear();
            for (const auto& f : mesh.faces)
                items.push_back(Face(f));
            ArrayLines(d + 2, items);
            Line(d + 1, "}");
        }
        if (!mesh.uvs.empty()) {
            used.insert({"MeshTextureCoords", "Coords2d"});
            Line(d + 1, "MeshTextureCoords {");
            Line(d + 2, U((uint32_t)mesh.uvs.size()) + ";");
            items.clear();
            for (const Vec2& t : mesh.uvs)
                items.push_back(F(t.u) + ";" + F(t.v) + ";");
            ArrayLines(d + 2, items);
            Line(d + 1, "}");
        }
        if (!mesh.skin.empty() && !mesh.duplicates.empty()) {
            used.insert("VertexDuplicationIndices");
            std::set<uint32_t> originals(mesh.duplicates.begin(), mesh.duplicates.end());
            Line(d + 1, "VertexDuplicationIndices {");
            Line(d + 2, U((uint32_t)mesh.duplicates.size()) + ";");
            Line(d + 2, U((uint32_t)originals.size()) + ";");
            items.clear();
            for (uint32_t i : mesh.duplicates)
                items.push_back(U(i));
            ArrayLines(d + 2, items);
            Line(d + 1, "}");
        }
        if (!mesh.materials.empty()) {
            used.insert({"MeshMaterialList", "Material", "ColorRGBA", "ColorRGB"});
            Line(d + 1, "MeshMaterialList {");
            Line(d + 2, U((uint32_t)mesh.materials.size()) + ";");
            Line(d + 2, U((uint32_t)mesh.faceMaterials.size()) + ";");
            items.clear();
            for (uint32_t m : mesh.faceMaterials)
                items.push_back(U(m));
            ArrayLines(d + 2, items);
            for (const XMaterial& m : mesh.materials) {
                Line(d + 2, "Material {");
                Line(d + 3, F(m.diffuse[0]) + ";" + F(m.diffuse[1]) + ";" + F(m.diffuse[2]) + ";" + F(m.diffuse[3]) +
                                ";;");
                Line(d + 3, F(m.power) + ";");
                Line(d + 3, F(m.specular.x) + ";" + F(m.specular.y) + ";" + F(m.specular.z) + ";;");
                Line(d + 3, F(m.emissive.x) + ";" + F(m.emissive.y) + ";" + F(m.emissive.z) + ";;");
                if (!m.texture.empty()) {
                    used.insert("TextureFilename");
                    Line(d + 3, "TextureFilename {");
                    Line(d + 4, "\"" + m.texture + "\";");
                    Line(d + 3, "}");
                }
                Line(d + 2, "}");
            }
            Line(d + 1, "}");
        }
        if (!mesh.skin.empty()) {
            used.insert({"XSkinMeshHeader", "SkinWeights", "Matrix4x4"});
            unsigned perVertex = 0, perFace = 0;
            SkinInfluenceCounts(mesh, perVertex, perFace);
            Line(d + 1, "XSkinMeshHeader {");
            Line(d + 2, U(perVertex) + ";");
            Line(d + 2, U(perFace) + ";");
            Line(d + 2, U((uint32_t)mesh.skin.size()) + ";");
            Line(d + 1, "}");
            for (const XSkinWeights& s : mesh.skin) {
                Line(d + 1, "SkinWeights {");
                Line(d + 2, "\"" + s.bone + "\";");
                Line(d + 2, U((uint32_t)s.vertices.size()) + ";");
                items.clear();
                for (uint32_t v : s.vertices)
                    items.push_back(U(v));
                ArrayLines(d + 2, items);
                items.clear();
                for (float w : s.weights)
                    items.push_back(F(w));
                ArrayLines(d + 2, items);
                Line(d + 2, MatrixText(s.offset));
                Line(d + 1, "}");
            }
        }
        Line(d, "}");
    }

    void Frame(int d, const XFrame& frame)
    {
        used.insert({"Frame", "FrameTransformMatrix", "Matrix4x4"});
        Line(d, "Frame " + frame.name + " {");
        Line(d + 1, "FrameTransformMatrix {");
        Line(d + 2, MatrixText(frame.transform));
        Line(d + 1, "}");
        for (const XMesh& m : frame.meshes)
            Mesh(d + 1, m);
        for (const XFrame& c : frame.children)
            Frame(d + 1, c);
        Line(d, "}");
    }

    template <typename T, typename Fn>
    void Keys(int d, int type, const std::vector<XKey<T>>& keys, Fn values)
    {
        if (keys.empty())
            return;
        used.insert({"AnimationKey", "TimedFloatKeys", "FloatKeys"});
        Line(d, "AnimationKey {");
        Line(d + 1, std::to_string(type) + ";");
        Line(d + 1, U((uint32_t)keys.size()) + ";");
        std::vector<std::string> items;
        for (const auto& k : keys) {
            std::vector<std::string> v = values(k.value);
            items.push_back(U(k.time) + ";" + U((uint32_t)v.size()) + ";" + List(v) + ";");
        }
        ArrayLines(d + 1, items);
        Line(d, "}");
    }

    void Animations(const XFile& file)
    {
        if (file.animationSets.empty())
            return;
        used.insert("AnimTicksPerSecond");
        Line(0, "AnimTicksPerSecond {");
        Line(1, U(file.ticksPerSecond) + ";");
        Line(0, "}");
        for (const XAnimationSet& set : file.animationSets) {
            used.insert({"AnimationSet", "Animation"});
            Line(0, "AnimationSet " + set.name + " {");
            for (const XAnimation& a : set.animations) {
                Line(1, "Animation {");
                Line(2, "{ " + a.frame + " }");
                // The conjugate, as D3DX stores rotation keys: w first.
                Keys(2, 0, a.rotations, [](const Quat& q) {
                    return std::vector<std::string>{F(q.w), F(-q.x), F(-q.y), F(-q.z)};
                });
                Keys(2, 2, a.positions, [](const Vec3& p) {
                    return std::vector<std::string>{F(p.x), F(p.y), F(p.z)};
                });
                Line(1, "}");
            }
            Line(0, "}");
        }
    }
};

} // namespace

void SkinInfluenceCounts(const XMesh& mesh, unsigned& perVertex, unsigned& perFace)
{
    std::vector<std::vector<uint32_t>> bones(mesh.positions.size());
    for (uint32_t b = 0; b < mesh.skin.size(); ++b)
        for (size_t i = 0; i < mesh.skin[b].vertices.size(); ++i)
            if (mesh.skin[b].vertices[i] < bones.size())
                bones[mesh.skin[b].vertices[i]].push_back(b);
    perVertex = 0;
    for (const auto& v : bones)
        perVertex = std::max(perVertex, (unsigned)v.size());
    perFace = 0;
    for (const auto& f : mesh.faces) {
        std::set<uint32_t> s;
        for (uint32_t v : f)
            if (v < bones.size())
                s.insert(bones[v].begin(), bones[v].end());
        perFace = std::max(perFace, (unsigned)s.size());
    }
}

std::string WriteXFile(const XFile& file)
{
    Writer body;
    for (const XFrame& f : file.frames)
        body.Frame(0, f);
    body.Animations(file);
    std::string out = "xof 0303txt 0032\n";
    for (const Template& t : kTemplates)
        if (body.used.count(t.name))
            out += t.text + std::string("\n");
    return out + body.out;
}

bool SaveXFile(const XFile& file, const std::string& path)
{
    std::string text = WriteXFile(file);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace tools
