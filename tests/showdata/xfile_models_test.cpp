// The model files through the platform's .x reader: they parse, their skins
// name existing frames, and the rotation keys, read back as D3DX reads them
// (the conjugate of the stored quaternion), swing the legs forward.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <functional>
#include <set>
#include <string>

#include "d3dx9/xfile_tree.h"
#include "showdata_util.h"

using namespace showdata;

namespace {

class ModelFile : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        std::string bytes = ReadFile(RunData(std::string("models/") + GetParam()));
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(XFileParse(bytes.data(), bytes.size(), nullptr, &m_tree), S_OK) << GetParam();
    }

    // Every object of a type, in file order.
    std::vector<const XFileObject*> All(const std::string& type) const
    {
        std::vector<const XFileObject*> out;
        for (const XFileObject& o : m_tree.objects)
            if (o.type == type)
                out.push_back(&o);
        return out;
    }

    XFileTree m_tree;
};

TEST_P(ModelFile, ParsesWithOneTexturedMeshInAFrame)
{
    ASSERT_GE(m_tree.top.size(), 1u);
    EXPECT_EQ(m_tree.Top(0).type, "Frame");
    EXPECT_EQ(All("Mesh").size(), 1u);
    std::vector<const XFileObject*> names = All("TextureFilename");
    ASSERT_FALSE(names.empty());
    for (const XFileObject* t : names)
        EXPECT_TRUE(ReadFile(RunData("textures/" + t->strings.at(0))).size() > 0) << t->strings.at(0);
}

INSTANTIATE_TEST_SUITE_P(ShowData, ModelFile,
                         ::testing::Values("arrow.x", "tree1.x", "tiny-tex000-lod0.x", "tiny-tex001-lod1.x",
                                           "tiny-tex002-lod2.x"));

class PlayerFile : public ModelFile {
};

TEST_P(PlayerFile, SkinAndAnimationNameItsFrames)
{
    std::set<std::string> frames;
    for (const XFileObject* f : All("Frame"))
        frames.insert(f->name);
    std::vector<const XFileObject*> header = All("XSkinMeshHeader");
    ASSERT_EQ(header.size(), 1u);
    XFileReader h(*header[0]);
    h.Word();
    h.Word();
    WORD bones = h.Word();
    std::vector<const XFileObject*> weights = All("SkinWeights");
    EXPECT_EQ(weights.size(), bones);
    EXPECT_EQ(bones, 21);
    for (const XFileObject* w : weights)
        EXPECT_TRUE(frames.count(w->strings.at(0))) << w->strings.at(0);
    std::vector<const XFileObject*> ticks = All("AnimTicksPerSecond");
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(XFileReader(*ticks[0]).Dword(), 4800u);
    std::vector<const XFileObject*> animations = All("Animation");
    EXPECT_EQ(animations.size(), 21u);
    for (const XFileObject* a : animations) {
        ASSERT_FALSE(a->children.empty());
        const XFileObject& target = m_tree.Child(*a, 0);
        EXPECT_TRUE(a->children[0].reference);
        EXPECT_EQ(target.type, "Frame");
    }
}

TEST_P(PlayerFile, RotationKeysReadAsD3DXReadsThemSwingTheLeftThighForward)
{
    const XFileObject* thigh = nullptr;
    for (const XFileObject* a : All("Animation"))
        if (m_tree.Child(*a, 0).name == "L_Thigh")
            thigh = a;
    ASSERT_NE(thigh, nullptr);
    const XFileObject* rotations = nullptr;
    for (size_t i = 0; i < thigh->children.size(); ++i) {
        const XFileObject& k = m_tree.Child(*thigh, i);
        if (k.type == "AnimationKey" && XFileReader(k).Dword() == 0)
            rotations = &k;
    }
    ASSERT_NE(rotations, nullptr);
    XFileReader r(*rotations);
    r.Dword();
    DWORD count = r.Dword();
    ASSERT_EQ(count, 17u);
    float lowest = 1e9f, highest = -1e9f;
    for (DWORD k = 0; k < count; ++k) {
        DWORD time = r.Dword();
        ASSERT_EQ(r.Dword(), 4u);
        float w = r.Float(), x = r.Float(), y = r.Float(), z = r.Float();
        EXPECT_EQ(time, 240u * k);
        D3DXQUATERNION q(-x, -y, -z, w); // the file holds the conjugate
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXVECTOR3 knee(0, -100, 0), out;
        D3DXVec3TransformCoord(&out, &knee, &m);
        lowest = std::min(lowest, out.z);
        highest = std::max(highest, out.z);
        if (k == 4) { // a quarter cycle in
            EXPECT_LT(out.z, -30.0f) << "the left knee swings forward, toward -z";
        }
    }
    ASSERT_TRUE(r.Ok());
    EXPECT_GT(highest - lowest, 70.0f) << "a visible stride";
}

INSTANTIATE_TEST_SUITE_P(ShowData, PlayerFile, ::testing::Values("tiny-tex000-lod0.x", "tiny-tex002-lod1.x"));

} // namespace
