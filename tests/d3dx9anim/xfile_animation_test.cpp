// Animation sets read from .x AnimationSet objects, without a device.
#include <d3dx9.h>

#include "d3dx9/d3dx9anim_xfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979f;

std::string animationFile(const std::string& keys, const std::string& ticks = "")
{
    return "xof 0303txt 0032\n"
           "Frame Bone { FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; } }\n" +
           ticks + "AnimationSet Walk { Animation { {Bone} " + keys + " } }\n";
}

HRESULT readSets(const std::string& text, std::vector<ID3DXKeyframedAnimationSet*>* sets)
{
    XFileTree tree;
    HRESULT hr = XFileParse(text.data(), text.size(), nullptr, &tree);
    if (FAILED(hr))
        return hr;
    return d3dx::XFileAnimationSets(tree, sets);
}

// The matrix the bone's output gets after the time step.
D3DXMATRIX boneAfter(ID3DXKeyframedAnimationSet* set, double seconds)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    ID3DXAnimationController* c = nullptr;
    EXPECT_EQ(S_OK, D3DXCreateAnimationController(1, 1, 1, 0, &c));
    EXPECT_EQ(S_OK, c->RegisterAnimationOutput("Bone", &m, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, c->SetTrackAnimationSet(0, set));
    EXPECT_EQ(S_OK, c->AdvanceTime(seconds, nullptr));
    c->Release();
    return m;
}

struct KeyCase {
    const char* name;
    std::string file;
    double seconds;
    D3DXMATRIX expected;
};

D3DXMATRIX rotationY(float a)
{
    D3DXMATRIX m;
    return *D3DXMatrixRotationY(&m, a);
}

D3DXMATRIX translation(float x, float y, float z)
{
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, x, y, z);
}

D3DXMATRIX scaling(float x, float y, float z)
{
    D3DXMATRIX m;
    return *D3DXMatrixScaling(&m, x, y, z);
}

TEST(XFileAnimation, EveryKeyTypeDrivesTheFrameMatrix)
{
    // (w, x, y, z) = 90 degrees about y: the frame turns the other way.
    const std::string turn = "AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 4800;4;0.7071068,0.0,0.7071068,0.0;;; }";
    D3DXMATRIX turnAndMove = rotationY(kPi / 2) * translation(1.0f, 2.0f, 3.0f);
    const KeyCase cases[] = {
        {"rotation, conjugated", animationFile(turn), 0.25, rotationY(-kPi / 8)},
        {"rotation at AnimTicksPerSecond 100",
         animationFile("AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 100;4;0.7071068,0.0,0.7071068,0.0;;; }",
                       "AnimTicksPerSecond { 100; }\n"),
         0.5, rotationY(-kPi / 4)},
        {"scale", animationFile("AnimationKey { 1; 2; 0;3;1.0,1.0,1.0;;, 4800;3;3.0,1.0,1.0;;; }"), 0.5,
         scaling(2.0f, 1.0f, 1.0f)},
        {"position", animationFile("AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 4800;3;4.0,0.0,-8.0;;; }"), 0.75,
         translation(3.0f, 0.0f, -6.0f)},
        {"matrix, used as it stands",
         animationFile("AnimationKey { 4; 1; 0;16;0.0,0.0,-1.0,0.0, 0.0,1.0,0.0,0.0, 1.0,0.0,0.0,0.0, "
                       "1.0,2.0,3.0,1.0;;; }"),
         0.0, turnAndMove},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ID3DXKeyframedAnimationSet*> sets;
        ASSERT_EQ(S_OK, readSets(c.file, &sets));
        ASSERT_EQ(1u, sets.size());
        EXPECT_STREQ("Walk", sets[0]->GetName());
        EXPECT_EQ(D3DXPLAY_LOOP, sets[0]->GetPlaybackType());
        D3DXMATRIX m = boneAfter(sets[0], c.seconds);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR((&c.expected._11)[i], (&m._11)[i], 1e-5f) << "element " << i / 4 + 1 << i % 4 + 1;
        for (ID3DXKeyframedAnimationSet* s : sets)
            s->Release();
    }
}

TEST(XFileAnimation, TicksDefaultTo4800AndEachSetKeepsItsAnimations)
{
    std::string text = animationFile("AnimationKey { 2; 1; 9600;3;1.0,0.0,0.0;;; }") +
                       "AnimationSet Idle { Animation { {Bone} AnimationKey { 1; 1; 0;3;2.0,2.0,2.0;;; } } "
                       "Animation { AnimationKey { 1; 1; 0;3;2.0,2.0,2.0;;; } } }\n";
    std::vector<ID3DXKeyframedAnimationSet*> sets;
    ASSERT_EQ(S_OK, readSets(text, &sets));
    ASSERT_EQ(2u, sets.size());
    EXPECT_EQ(4800.0, sets[0]->GetSourceTicksPerSecond());
    EXPECT_DOUBLE_EQ(2.0, sets[0]->GetPeriod());
    EXPECT_STREQ("Idle", sets[1]->GetName());
    EXPECT_EQ(1u, sets[1]->GetNumAnimations()) << "an animation of no frame drives nothing";
    for (ID3DXKeyframedAnimationSet* s : sets)
        s->Release();
}

TEST(XFileAnimation, MalformedKeysAreInvalidData)
{
    const char* const keys[] = {
        "AnimationKey { 0; 1; 0;3;1.0,0.0,0.0;;; }",         // rotation of three values
        "AnimationKey { 2; 1; 0;4;1.0,0.0,0.0,0.0;;; }",     // position of four
        "AnimationKey { 7; 1; 0;3;1.0,0.0,0.0;;; }",         // no such key type
        "AnimationKey { 4; 1; 0;3;1.0,0.0,0.0;;; }",         // matrix of three
    };
    for (const char* k : keys) {
        SCOPED_TRACE(k);
        std::vector<ID3DXKeyframedAnimationSet*> sets;
        EXPECT_EQ(D3DXERR_INVALIDDATA, readSets(animationFile(k), &sets));
        EXPECT_TRUE(sets.empty());
    }
}

} // namespace
