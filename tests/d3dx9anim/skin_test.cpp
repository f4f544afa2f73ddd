// Skin information and the blended-mesh conversions, on the recording fake.
#include "../d3dx9mesh/mesh_fixture.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kUnused = 0xFFFFFFFF;
constexpr float kPi = 3.14159265358979f;

struct PosNormal {
    float x, y, z, nx, ny, nz;
};

// A strip of `bones` unit quads along x. Column c (two vertices, y = 0 and 1)
// belongs half to bone c - 1 and half to bone c; the end columns to one bone.
// Face 2i and 2i + 1 form quad i, which bones i - 1 to i + 1 move.
class SkinTest : public MeshTest {
protected:
    ID3DXMesh* Strip(DWORD bones, DWORD options = D3DXMESH_MANAGED)
    {
        std::vector<PosVertex> pos;
        std::vector<DWORD> indices;
        for (DWORD c = 0; c <= bones; ++c) {
            pos.push_back({(float)c, 0.0f, 0.0f});
            pos.push_back({(float)c, 1.0f, 0.0f});
        }
        for (DWORD i = 0; i < bones; ++i) {
            DWORD a = 2 * i, b = 2 * i + 1, c = 2 * i + 2, d = 2 * i + 3;
            indices.insert(indices.end(), {a, b, d, a, d, c});
        }
        return MakeMesh(pos, indices, {}, D3DFVF_NORMAL, options);
    }

    ID3DXSkinInfo* StripSkin(ID3DXMesh* mesh, DWORD bones)
    {
        ID3DXSkinInfo* skin = nullptr;
        EXPECT_EQ(S_OK, D3DXCreateSkinInfoFVF(mesh->GetNumVertices(), mesh->GetFVF(), bones, &skin));
        for (DWORD b = 0; b < bones; ++b) {
            std::vector<DWORD> vertices;
            std::vector<float> weights;
            for (DWORD c : {b, b + 1}) {
                float w = (c == 0 || c == bones) ? 1.0f : 0.5f;
                vertices.insert(vertices.end(), {2 * c, 2 * c + 1});
                weights.insert(weights.end(), {w, w});
            }
            EXPECT_EQ(S_OK, skin->SetBoneInfluence(b, 4, vertices.data(), weights.data()));
            std::string name = "bone" + std::to_string(b);
            EXPECT_EQ(S_OK, skin->SetBoneName(b, name.c_str()));
        }
        return skin;
    }

    // Bone -> weight of the source vertex, as the skin has it.
    static std::map<DWORD, float> SourceWeights(ID3DXSkinInfo* skin, DWORD vertex)
    {
        std::map<DWORD, float> out;
        for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
            DWORD n = skin->GetNumBoneInfluences(b);
            std::vector<DWORD> v(n);
            std::vector<float> w(n);
            skin->GetBoneInfluence(b, v.data(), w.data());
            for (DWORD i = 0; i < n; ++i)
                if (v[i] == vertex)
                    out[b] += w[i];
        }
        return out;
    }
};

struct PaletteCase {
    DWORD bones;
    DWORD palette;
    bool oneCombination;
};

TEST_F(SkinTest, IndexedConversionKeepsEveryFaceInsideItsPalette)
{
    for (const PaletteCase& pc : {PaletteCase{20, 20, true}, PaletteCase{40, 26, false}}) {
        SCOPED_TRACE(pc.bones);
        ID3DXMesh* mesh = Strip(pc.bones);
        ID3DXSkinInfo* skin = StripSkin(mesh, pc.bones);
        DWORD maxInfl = 0, numCombos = 0;
        ID3DXBuffer* table = nullptr;
        ID3DXBuffer* vertexRemap = nullptr;
        ID3DXMesh* out = nullptr;
        std::vector<DWORD> faceRemap(mesh->GetNumFaces());
        ASSERT_EQ(S_OK, skin->ConvertToIndexedBlendedMesh(mesh, D3DXMESH_MANAGED, pc.palette, nullptr, nullptr,
                                                          faceRemap.data(), &vertexRemap, &maxInfl, &numCombos,
                                                          &table, &out));
        EXPECT_EQ(2u, maxInfl);
        if (pc.oneCombination)
            EXPECT_EQ(1u, numCombos);
        else
            EXPECT_GT(numCombos, 1u);

        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(S_OK, out->GetDeclaration(decl));
        const BYTE expected[][4] = {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
                                    {12, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                    {16, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0},
                                    {20, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(expected[i][0], decl[i].Offset);
            EXPECT_EQ(expected[i][1], decl[i].Type);
            EXPECT_EQ(expected[i][2], decl[i].Usage);
        }
        EXPECT_EQ(0xFF, decl[4].Stream);

        auto* combos = static_cast<D3DXBONECOMBINATION*>(table->GetBufferPointer());
        const DWORD* remap = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
        std::vector<D3DXATTRIBUTERANGE> ranges(numCombos);
        DWORD numRanges = numCombos;
        ASSERT_EQ(S_OK, out->GetAttributeTable(ranges.data(), &numRanges));
        ASSERT_EQ(numCombos, numRanges);
        std::vector<DWORD> srcIndices = Indices(mesh), outIndices = Indices(out), attributes = Attributes(out);
        std::set<DWORD> seenFaces;
        for (DWORD g = 0; g < numCombos; ++g) {
            const D3DXBONECOMBINATION& c = combos[g];
            EXPECT_EQ(0u, c.AttribId);
            EXPECT_EQ(g, ranges[g].AttribId);
            EXPECT_EQ(c.FaceStart, ranges[g].FaceStart);
            EXPECT_EQ(c.FaceCount, ranges[g].FaceCount);
            std::set<DWORD> bones;
            for (DWORD s = 0; s < pc.palette; ++s) {
                if (c.BoneId[s] != kUnused) {
                    EXPECT_TRUE(bones.insert(c.BoneId[s]).second) << "bone twice in one palette";
                }
            }
            EXPECT_LE(bones.size(), pc.palette);
            for (DWORD f = c.FaceStart; f < c.FaceStart + c.FaceCount; ++f) {
                EXPECT_EQ(g, attributes[f]);
                EXPECT_TRUE(seenFaces.insert(faceRemap[f]).second);
                for (int k = 0; k < 3; ++k) {
                    DWORD v = outIndices[f * 3 + k];
                    ASSERT_GE(v, c.VertexStart);
                    ASSERT_LT(v, c.VertexStart + c.VertexCount);
                    DWORD src = remap[v];
                    EXPECT_EQ(srcIndices[faceRemap[f] * 3 + k], src);
                    EXPECT_EQ(Floats(mesh, src, 0, 3), Floats(out, v, 0, 3));
                    // The vertex's palette slots name its own bones with its weights.
                    float w0 = Floats(out, v, 12, 1)[0];
                    DWORD slots = Dword(out, v, 16);
                    std::map<DWORD, float> got;
                    float w[2] = {w0, 1.0f - w0};
                    for (int i = 0; i < 2; ++i) {
                        DWORD slot = (slots >> (8 * i)) & 0xFF;
                        ASSERT_LT(slot, pc.palette);
                        ASSERT_NE(kUnused, c.BoneId[slot]) << "face " << f << " uses a bone outside its palette";
                        if (w[i] > 0.0f)
                            got[c.BoneId[slot]] += w[i];
                    }
                    std::map<DWORD, float> want = SourceWeights(skin, src);
                    ASSERT_EQ(want.size(), got.size());
                    for (const auto& [bone, weight] : want)
                        EXPECT_NEAR(weight, got[bone], 1e-6f) << "bone " << bone;
                }
            }
        }
        EXPECT_EQ(mesh->GetNumFaces(), seenFaces.size());
        out->Release();
        table->Release();
        vertexRemap->Release();
        skin->Release();
        mesh->Release();
    }
}

// Bone 0 stays; bone 1, jointed at x = 1, turns 90 degrees about z. A vertex
// at x = 1.5 held half by each lands halfway between (1.5, 0, 0) and (1, 0.5, 0).
TEST_F(SkinTest, BlendedPaletteMovesAVertexWhereTheHandComputedPosePutsIt)
{
    ID3DXMesh* mesh = MakeMesh({{0.0f, 0.0f, 0.0f}, {1.5f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}}, {0, 1, 2}, {},
                               D3DFVF_NORMAL);
    ID3DXSkinInfo* skin = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateSkinInfoFVF(3, mesh->GetFVF(), 2, &skin));
    DWORD v0[] = {0, 1, 2};
    float w0[] = {1.0f, 0.5f, 1.0f};
    DWORD v1[] = {1};
    float w1[] = {0.5f};
    ASSERT_EQ(S_OK, skin->SetBoneInfluence(0, 3, v0, w0));
    ASSERT_EQ(S_OK, skin->SetBoneInfluence(1, 1, v1, w1));
    D3DXMATRIX offset1, turn, back, pose1, identity;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixTranslation(&offset1, -1.0f, 0.0f, 0.0f);
    ASSERT_EQ(S_OK, skin->SetBoneOffsetMatrix(1, &offset1));
    D3DXMatrixRotationZ(&turn, kPi / 2);
    D3DXMatrixTranslation(&back, 1.0f, 0.0f, 0.0f);
    D3DXMatrixMultiply(&pose1, &turn, &back);
    const D3DXMATRIX pose[2] = {identity, pose1};

    DWORD maxInfl = 0, numCombos = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXMesh* out = nullptr;
    ASSERT_EQ(S_OK, skin->ConvertToIndexedBlendedMesh(mesh, 0, 26, nullptr, nullptr, nullptr, nullptr, &maxInfl,
                                                      &numCombos, &table, &out));
    ASSERT_EQ(1u, numCombos);
    auto* combo = static_cast<D3DXBONECOMBINATION*>(table->GetBufferPointer());
    // Palette entry e: offset x pose of the bone in slot e.
    D3DXMATRIX palette[26];
    for (DWORD e = 0; e < 2; ++e) {
        DWORD b = combo->BoneId[e];
        ASSERT_LT(b, 2u);
        D3DXMatrixMultiply(&palette[e], skin->GetBoneOffsetMatrix(b), &pose[b]);
    }
    EXPECT_EQ(kUnused, combo->BoneId[2]);
    std::vector<float> p = Floats(out, 1, 0, 3);
    float w = Floats(out, 1, 12, 1)[0];
    DWORD slots = Dword(out, 1, 16);
    D3DXVECTOR3 blended(0.0f, 0.0f, 0.0f), src(p[0], p[1], p[2]);
    float weights[2] = {w, 1.0f - w};
    for (int i = 0; i < 2; ++i) {
        D3DXVECTOR3 t;
        D3DXVec3TransformCoord(&t, &src, &palette[(slots >> (8 * i)) & 0xFF]);
        blended += t * weights[i];
    }
    EXPECT_NEAR(1.25f, blended.x, 1e-5f);
    EXPECT_NEAR(0.25f, blended.y, 1e-5f);
    EXPECT_NEAR(0.0f, blended.z, 1e-5f);

    // Software skinning of the source vertices agrees.
    D3DXMATRIX bones[2];
    for (DWORD b = 0; b < 2; ++b)
        D3DXMatrixMultiply(&bones[b], skin->GetBoneOffsetMatrix(b), &pose[b]);
    PosNormal in[3] = {}, moved[3] = {};
    in[1].x = 1.5f;
    in[1].ny = 1.0f;
    ASSERT_EQ(S_OK, skin->UpdateSkinnedMesh(bones, nullptr, in, moved));
    EXPECT_NEAR(1.25f, moved[1].x, 1e-5f);
    EXPECT_NEAR(0.25f, moved[1].y, 1e-5f);
    EXPECT_NEAR(-0.5f, moved[1].nx, 1e-5f); // half the normal turned to -x
    EXPECT_NEAR(0.5f, moved[1].ny, 1e-5f);

    out->Release();
    table->Release();
    skin->Release();
    mesh->Release();
}

TEST_F(SkinTest, BlendedConversionUsesTheFaceInfluencesAsItsPalette)
{
    ID3DXMesh* mesh = Strip(6);
    ID3DXSkinInfo* skin = StripSkin(mesh, 6);
    DWORD faceInfl = 0;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(S_OK, mesh->GetIndexBuffer(&ib));
    ASSERT_EQ(S_OK, skin->GetMaxFaceInfluences(ib, mesh->GetNumFaces(), &faceInfl));
    ib->Release();
    EXPECT_EQ(3u, faceInfl);
    DWORD vertexInfl = 0;
    ASSERT_EQ(S_OK, skin->GetMaxVertexInfluences(&vertexInfl));
    EXPECT_EQ(2u, vertexInfl);

    DWORD maxFaceInfl = 0, numCombos = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXBuffer* vertexRemap = nullptr;
    ID3DXMesh* out = nullptr;
    ASSERT_EQ(S_OK, skin->ConvertToBlendedMesh(mesh, D3DXMESH_MANAGED, nullptr, nullptr, nullptr, &vertexRemap,
                                               &maxFaceInfl, &numCombos, &table, &out));
    EXPECT_EQ(3u, maxFaceInfl);
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(S_OK, out->GetDeclaration(decl));
    EXPECT_EQ(D3DDECLUSAGE_BLENDWEIGHT, decl[1].Usage);
    EXPECT_EQ(D3DDECLTYPE_FLOAT2, decl[1].Type);
    EXPECT_EQ(D3DDECLUSAGE_NORMAL, decl[2].Usage);
    auto* combos = static_cast<D3DXBONECOMBINATION*>(table->GetBufferPointer());
    const DWORD* remap = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
    for (DWORD g = 0; g < numCombos; ++g) {
        const D3DXBONECOMBINATION& c = combos[g];
        for (DWORD v = c.VertexStart; v < c.VertexStart + c.VertexCount; ++v) {
            std::vector<float> w = Floats(out, v, 12, 2);
            float all[3] = {w[0], w[1], 1.0f - w[0] - w[1]};
            std::map<DWORD, float> got;
            for (int s = 0; s < 3; ++s) {
                if (all[s] > 1e-6f) {
                    ASSERT_NE(kUnused, c.BoneId[s]);
                    got[c.BoneId[s]] += all[s];
                }
            }
            std::map<DWORD, float> want = SourceWeights(skin, remap[v]);
            ASSERT_EQ(want.size(), got.size()) << "vertex " << v;
            for (const auto& [bone, weight] : want)
                EXPECT_NEAR(weight, got[bone], 1e-6f);
        }
    }
    out->Release();
    table->Release();
    vertexRemap->Release();
    skin->Release();
    mesh->Release();
}

TEST_F(SkinTest, ConversionRefusesWhatItCannotHold)
{
    ID3DXMesh* mesh = Strip(4);
    ID3DXSkinInfo* skin = StripSkin(mesh, 4);
    DWORD maxInfl = 0, numCombos = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXMesh* out = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, skin->ConvertToIndexedBlendedMesh(mesh, 0, 2, nullptr, nullptr, nullptr, nullptr,
                                                                    &maxInfl, &numCombos, &table, &out))
        << "a face of three bones in a palette of two";
    EXPECT_EQ(nullptr, out);
    ID3DXSkinInfo* other = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateSkinInfoFVF(mesh->GetNumVertices() + 1, mesh->GetFVF(), 1, &other));
    EXPECT_EQ(D3DERR_INVALIDCALL, other->ConvertToIndexedBlendedMesh(mesh, 0, 26, nullptr, nullptr, nullptr, nullptr,
                                                                     &maxInfl, &numCombos, &table, &out))
        << "skin and mesh of different vertex counts";
    DWORD bad = mesh->GetNumVertices() + 1;
    float one = 1.0f;
    EXPECT_EQ(D3DERR_INVALIDCALL, skin->SetBoneInfluence(0, 1, &bad, &one));
    other->Release();
    skin->Release();
    mesh->Release();
}

TEST_F(SkinTest, CloneAndRemapCarryBonesAndInfluences)
{
    ID3DXMesh* mesh = Strip(2);
    ID3DXSkinInfo* skin = StripSkin(mesh, 2);
    D3DXMATRIX offset;
    D3DXMatrixTranslation(&offset, 1.0f, 2.0f, 3.0f);
    ASSERT_EQ(S_OK, skin->SetBoneOffsetMatrix(1, &offset));
    ID3DXSkinInfo* clone = nullptr;
    ASSERT_EQ(S_OK, skin->Clone(&clone));
    ASSERT_EQ(S_OK, skin->SetBoneName(1, "renamed"));
    EXPECT_STREQ("bone1", clone->GetBoneName(1));
    EXPECT_EQ(offset, *clone->GetBoneOffsetMatrix(1));
    EXPECT_EQ(SourceWeights(skin, 3), SourceWeights(clone, 3));

    // New vertex i was vertex remap[i]; vertex 2 (bones 0 and 1) now stands twice.
    DWORD remap[] = {2, 0, 1, 3, 4, 5, 2};
    ASSERT_EQ(S_OK, clone->Remap(7, remap));
    EXPECT_EQ(SourceWeights(skin, 2), SourceWeights(clone, 0));
    EXPECT_EQ(SourceWeights(skin, 2), SourceWeights(clone, 6));
    EXPECT_EQ(SourceWeights(skin, 0), SourceWeights(clone, 1));
    DWORD outOfRange[] = {9};
    EXPECT_EQ(D3DERR_INVALIDCALL, clone->Remap(1, outOfRange));
    clone->Release();
    skin->Release();
    mesh->Release();
}

// Vertices 0 and 1 take a different normal in each face, so the loader
// splits them; each copy keeps the weight the file gave its vertex.
TEST_F(SkinTest, SkinMeshFromXofWeighsEveryCopyOfASplitVertex)
{
    const std::string text = "xof 0303txt 0032\n"
                             "Mesh Fold {\n"
                             "  4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 0.0;0.0;1.0;;\n"
                             "  2; 3;0,1,2;, 3;0,3,1;;\n"
                             "  MeshNormals { 2; 0.0;0.0;1.0;, 0.0;1.0;0.0;; 2; 3;0,0,0;, 3;1,1,1;; }\n"
                             "  SkinWeights { \"Hinge\"; 2; 0,3; 1.0,0.25; "
                             "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
                             "}\n";
    ID3DXFile* file = nullptr;
    ASSERT_EQ(S_OK, D3DXFileCreate(&file));
    D3DXF_FILELOADMEMORY memory = {text.data(), text.size()};
    ID3DXFileEnumObject* objects = nullptr;
    ASSERT_EQ(S_OK, file->CreateEnumObject(&memory, D3DXF_FILELOAD_FROMMEMORY, &objects));
    ID3DXFileData* data = nullptr;
    ASSERT_EQ(S_OK, objects->GetChild(0, &data));
    ID3DXSkinInfo* skin = nullptr;
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    DWORD numMaterials = 0;
    ASSERT_EQ(S_OK, D3DXLoadSkinMeshFromXof(data, D3DXMESH_MANAGED, dev, &adjacency, nullptr, nullptr, &numMaterials,
                                            &skin, &mesh));
    EXPECT_EQ(1u, numMaterials);
    EXPECT_EQ(6u, mesh->GetNumVertices()) << "vertices 0 and 1 split by their normals";
    ASSERT_EQ(1u, skin->GetNumBones());
    EXPECT_STREQ("Hinge", skin->GetBoneName(0));
    int atOrigin = 0;
    for (DWORD v = 0; v < mesh->GetNumVertices(); ++v) {
        std::vector<float> p = Floats(mesh, v, 0, 3);
        std::map<DWORD, float> want;
        if (p == std::vector<float>{0.0f, 0.0f, 0.0f}) {
            want[0] = 1.0f;
            ++atOrigin;
        } else if (p == std::vector<float>{0.0f, 0.0f, 1.0f}) {
            want[0] = 0.25f;
        }
        EXPECT_EQ(want, SourceWeights(skin, v)) << "vertex " << v;
    }
    EXPECT_EQ(2, atOrigin);
    adjacency->Release();
    mesh->Release();
    skin->Release();
    data->Release();
    objects->Release();
    file->Release();
}

} // namespace
