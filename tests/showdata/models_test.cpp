// The show's meshes as the generators author them: sizes, orientation,
// skeleton, weights and the walk.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "meshkit.h"
#include "models.h"
#include "showdata_util.h"

using namespace tools;

namespace {

const XMesh& OnlyMesh(const XFile& f)
{
    return f.frames.at(0).meshes.at(0);
}

void ExpectTexturesExist(const XMesh& m)
{
    for (const XMaterial& mat : m.materials) {
        EXPECT_EQ(mat.diffuse[3], 1.0f) << "opaque subsets";
        EXPECT_TRUE(std::filesystem::exists(showdata::RunData("textures/" + mat.texture))) << mat.texture;
    }
}

TEST(ArrowModel, IsASmallArrowPointingDownY)
{
    XFile f = ArrowModel();
    const XMesh& m = OnlyMesh(f);
    Vec3 lo, hi;
    Bounds(m, lo, hi);
    float length = hi.y - lo.y;
    EXPECT_GE(length, 0.3f);
    EXPECT_LE(length, 0.5f);
    EXPECT_LT(hi.x - lo.x, length / 2);
    EXPECT_LT(hi.z - lo.z, length / 2);
    // The tip is the lowest point, on the axis.
    for (const Vec3& p : m.positions)
        if (p.y < lo.y + 0.01f) {
            EXPECT_LT(std::fabs(p.x), 0.01f);
            EXPECT_LT(std::fabs(p.z), 0.01f);
        }
    EXPECT_GT(SignedVolume(m), 0.0f) << "faces turn outward";
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.materials[0].texture, "arrow.png");
    ExpectTexturesExist(m);
}

TEST(TreeModel, FillsTheImpostorFrameAtTheTreesScale)
{
    XFile f = TreeModel();
    const XMesh& m = OnlyMesh(f);
    Vec3 lo, hi;
    Bounds(m, lo, hi);
    EXPECT_NEAR(hi.y - lo.y, 104.0f, 4.0f);
    EXPECT_NEAR(hi.y + lo.y, 0.0f, 2.0f) << "origin at mid-height";
    EXPECT_NEAR(hi.x - lo.x, 66.0f, 6.0f);
    EXPECT_NEAR(hi.z - lo.z, 66.0f, 6.0f);
    EXPECT_GT(SignedVolume(m), 0.0f);
    EXPECT_EQ(m.materials.size(), 2u);
    ExpectTexturesExist(m);
}

class PlayerModelTest : public ::testing::TestWithParam<std::pair<int, int>> {
};

TEST_P(PlayerModelTest, IsAHumanoidOfTheSizeThePlayersNeed)
{
    int variant = GetParam().first, lod = GetParam().second;
    XFile f = PlayerModel(variant, lod);
    const XMesh& m = OnlyMesh(f);
    Vec3 lo, hi;
    Bounds(m, lo, hi);
    EXPECT_GE(hi.y - lo.y, 520.0f);
    EXPECT_LE(hi.y - lo.y, 540.0f);
    EXPECT_LT(std::fabs(hi.y + lo.y), 10.0f) << "origin at mid-height";
    // Facing -z: the toes reach further forward than the heels back.
    EXPECT_LT(lo.z, -60.0f);
    EXPECT_LT(hi.z, 40.0f);
    EXPECT_NEAR(hi.x, -lo.x, 0.01f) << "left and right mirror each other";
    EXPECT_GT(SignedVolume(m), 0.0f);
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.materials[0].texture, PlayerTextureFile(variant));
    ExpectTexturesExist(m);
}

TEST_P(PlayerModelTest, EveryVertexIsWeightedToOneOrTwoBones)
{
    XFile f = PlayerModel(GetParam().first, GetParam().second);
    const XMesh& m = OnlyMesh(f);
    ASSERT_GE(m.skin.size(), 15u);
    ASSERT_LE(m.skin.size(), 25u);
    std::vector<float> sum(m.positions.size(), 0.0f);
    std::vector<int> count(m.positions.size(), 0);
    for (const XSkinWeights& s : m.skin) {
        EXPECT_FALSE(s.vertices.empty()) << s.bone << " moves nothing";
        ASSERT_EQ(s.vertices.size(), s.weights.size());
        for (size_t i = 0; i < s.vertices.size(); ++i) {
            ASSERT_LT(s.vertices[i], m.positions.size());
            EXPECT_GT(s.weights[i], 0.0f);
            sum[s.vertices[i]] += s.weights[i];
            ++count[s.vertices[i]];
        }
    }
    int blended = 0;
    for (size_t v = 0; v < sum.size(); ++v) {
        EXPECT_NEAR(sum[v], 1.0f, 1e-4f) << "vertex " << v;
        EXPECT_GE(count[v], 1);
        EXPECT_LE(count[v], 2);
        blended += count[v] == 2;
    }
    EXPECT_GT(blended, (int)sum.size() / 5) << "smooth weights at the joints";
    unsigned perVertex = 0, perFace = 0;
    SkinInfluenceCounts(m, perVertex, perFace);
    EXPECT_EQ(perVertex, 2u);
    // Duplicated vertices (texture seams) copy an earlier original.
    ASSERT_EQ(m.duplicates.size(), m.positions.size());
    for (size_t v = 0; v < m.duplicates.size(); ++v) {
        uint32_t o = m.duplicates[v];
        ASSERT_LE(o, v);
        EXPECT_EQ(m.duplicates[o], o);
        EXPECT_EQ(m.positions[o].x, m.positions[v].x);
        EXPECT_EQ(m.positions[o].y, m.positions[v].y);
        EXPECT_EQ(m.positions[o].z, m.positions[v].z);
    }
}

INSTANTIATE_TEST_SUITE_P(ShowData, PlayerModelTest,
                         ::testing::Values(std::make_pair(0, 0), std::make_pair(0, 1), std::make_pair(0, 2),
                                           std::make_pair(1, 1), std::make_pair(2, 2)));

std::vector<std::string> FrameNames(const XFrame& f)
{
    std::vector<std::string> out{f.name};
    for (const XFrame& c : f.children)
        for (const std::string& n : FrameNames(c))
            out.push_back(n);
    return out;
}

TEST(PlayerModels, ShareOneSkeletonAndOneWalkAcrossVariantsAndLevels)
{
    XFile reference = PlayerModel(0, 0);
    std::vector<std::string> frames = FrameNames(reference.frames[0]);
    size_t faces = OnlyMesh(reference).faces.size() + 1;
    for (int lod = 0; lod < kPlayerLods; ++lod)
        for (int variant = 0; variant < kPlayerVariants; ++variant) {
            XFile f = PlayerModel(variant, lod);
            EXPECT_EQ(FrameNames(f.frames[0]), frames);
            EXPECT_EQ(f.ticksPerSecond, reference.ticksPerSecond);
            ASSERT_EQ(f.animationSets.size(), 1u);
            const auto& a = f.animationSets[0].animations;
            const auto& b = reference.animationSets[0].animations;
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0; i < a.size(); ++i) {
                ASSERT_EQ(a[i].rotations.size(), b[i].rotations.size());
                for (size_t k = 0; k < a[i].rotations.size(); ++k) {
                    EXPECT_EQ(a[i].rotations[k].time, b[i].rotations[k].time);
                    EXPECT_EQ(a[i].rotations[k].value.w, b[i].rotations[k].value.w);
                }
            }
            if (variant == 0) {
                EXPECT_LT(OnlyMesh(f).faces.size(), faces) << "level " << lod << " is coarser";
                faces = OnlyMesh(f).faces.size();
            }
        }
}

float AngleBetween(Quat a, Quat b)
{
    float d = std::fabs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w);
    return 2.0f * std::acos(std::min(1.0f, d));
}

const XAnimation& Track(const XFile& f, const std::string& frame)
{
    for (const XAnimation& a : f.animationSets.at(0).animations)
        if (a.frame == frame)
            return a;
    throw std::runtime_error("no track for " + frame);
}

TEST(PlayerModels, WalkLoopsAndSwingsTheLegsInTurn)
{
    XFile f = PlayerModel(0, 1);
    EXPECT_EQ(f.ticksPerSecond, kPlayerTicksPerSecond);
    std::set<std::string> bones;
    for (const XSkinWeights& s : OnlyMesh(f).skin)
        bones.insert(s.bone);
    for (const XAnimation& a : f.animationSets[0].animations) {
        EXPECT_TRUE(bones.count(a.frame)) << a.frame;
        ASSERT_GE(a.rotations.size(), 2u);
        EXPECT_EQ(a.rotations.front().time, 0u);
        EXPECT_EQ(a.rotations.back().time, kPlayerCycleTicks);
        const Quat &first = a.rotations.front().value, &last = a.rotations.back().value;
        EXPECT_TRUE(first.x == last.x && first.y == last.y && first.z == last.z && first.w == last.w)
            << a.frame << " loops";
        EXPECT_EQ(a.positions.size(), a.rotations.size());
    }
    // The cycle lasts 0.8 s: the players, animated at a fraction of real
    // time, still move visibly.
    EXPECT_LE(kPlayerCycleTicks, kPlayerTicksPerSecond);
    const XAnimation& left = Track(f, "L_Thigh");
    const XAnimation& right = Track(f, "R_Thigh");
    size_t n = left.rotations.size() - 1, half = n / 2;
    float swing = 0.0f;
    for (size_t k = 0; k < n; ++k) {
        swing = std::max(swing, AngleBetween(left.rotations[k].value, left.rotations[(k + half) % n].value));
        EXPECT_LT(AngleBetween(left.rotations[k].value,
                               Quat{right.rotations[(k + half) % n].value.x, -right.rotations[(k + half) % n].value.y,
                                    -right.rotations[(k + half) % n].value.z, right.rotations[(k + half) % n].value.w}),
                  1e-4f)
            << "the right leg mirrors the left half a cycle later, key " << k;
    }
    EXPECT_GT(swing, 0.7f) << "radians between the thigh's forward and back swing";
    // A quarter cycle in, the left thigh swings forward (toward -z): the knee
    // below it moves to negative z.
    Matrix r = Rotation(left.rotations[n / 4].value);
    EXPECT_LT(TransformPoint(Vec3{0, -100, 0}, r).z, -30.0f);
}

} // namespace
