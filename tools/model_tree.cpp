// The tree of the multiplayer-client scene: a trunk and three tiers of
// drooping, jagged boughs, solid and opaque.
#include <cmath>

#include "meshkit.h"
#include "models.h"

namespace tools {

const char* const kTreeBarkTexture = "tree1_bark.png";
const char* const kTreeLeavesTexture = "tree1_leaves.png";

namespace {

Ring Flat(float y, float r, float v, float jag = 1.0f, bool hard = false)
{
    Ring ring{Vec3{0, y, 0}, Vec3{r, 0, 0}, Vec3{0, 0, r}, v, Influence{}};
    ring.jag = jag;
    ring.hard = hard;
    return ring;
}

} // namespace

XFile TreeModel()
{
    MeshBuilder b;
    // Trunk from the ground (y = -52) into the lowest tier.
    Cap root;
    root.present = true;
    root.hard = true;
    b.Tube({Flat(-52.0f, 6.5f, 1.0f), Flat(-44.0f, 5.0f, 0.8f), Flat(-6.0f, 3.5f, 0.0f)}, 8,
           UvRect{0, 0, 1, 1}, 0, root, Cap{});
    // Tiers: underside from the trunk out to a jagged rim, then a cone up to
    // the tip. Each tier is turned a little so the rims do not line up.
    struct Tier {
        float rimY, radius, underY, tipY, turn;
    };
    const Tier tiers[] = {
        {-30.0f, 34.0f, -22.0f, 10.0f, 0.0f},
        {-8.0f, 27.0f, -1.0f, 30.0f, 0.4f},
        {14.0f, 19.0f, 19.0f, 52.0f, 0.8f},
    };
    const int kSides = 14;
    for (const Tier& t : tiers) {
        Ring under = Flat(t.underY, t.radius * 0.22f, 0.05f);
        Ring rim = Flat(t.rimY, t.radius, 0.75f, 0.78f, true);
        float c = std::cos(t.turn), s = std::sin(t.turn);
        for (Ring* r : {&under, &rim}) {
            float rad = r->axis1.x;
            r->axis1 = Vec3{c * rad, 0, s * rad};
            r->axis2 = Vec3{-s * rad, 0, c * rad};
        }
        Cap inner;
        inner.present = true;
        inner.dome = -3.0f;
        Cap tip;
        tip.present = true;
        tip.hard = true;
        tip.dome = t.rimY - t.tipY; // the path runs down to the rim: the tip is against it
        tip.uv = Vec2{0.5f, 0.0f};
        b.Tube({under, rim}, kSides, UvRect{0, 0, 1, 1}, 1, inner, tip);
    }
    XMaterial bark, leaves;
    bark.texture = kTreeBarkTexture;
    leaves.texture = kTreeLeavesTexture;
    leaves.power = 4.0f;
    XFrame root_;
    root_.name = "Tree";
    root_.meshes.push_back(b.Build("TreeMesh", {bark, leaves}));
    XFile file;
    file.frames.push_back(root_);
    return file;
}

Image TreeBarkTexture()
{
    Image img(128, 128);
    TileNoise streaks(16, 71), knots(8, 72);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float u = x / 128.0f, v = y / 128.0f;
            // Vertical grain: noise stretched along v.
            float g = streaks.Fractal(u * 16.0f, v * 2.0f, 3);
            float k = knots.At(u * 8.0f, v * 8.0f);
            Rgba c = Mix(Hex(0x3a2616), Hex(0x7a5634), g);
            if (k > 0.8f)
                c = Mix(c, Hex(0x2a1a0e), (k - 0.8f) * 4.0f);
            c.a = 1.0f;
            img.At(x, y) = c;
        }
    return img;
}

Image TreeLeavesTexture()
{
    Image img(128, 128);
    TileNoise clumps(8, 81), needles(32, 82);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float u = x / 128.0f, v = y / 128.0f;
            float n = needles.At(u * 32.0f, v * 64.0f);
            float cl = clumps.Fractal(u * 8.0f, v * 8.0f, 2);
            // Darker toward the trunk and under the rim (v near 0.75 and above
            // it is the upper cone, lighter toward the tip at v = 0).
            float light = 0.55f + 0.45f * (1.0f - Smooth(0.1f, 0.9f, v));
            Rgba c = Mix(Hex(0x1b4d23), Hex(0x3f8a3a), Clamp01(0.3f + 0.7f * cl));
            c = Mix(c, Hex(0x7fc35a), Clamp01(n - 0.6f) * 1.5f);
            c = Scale(c, light);
            c.a = 1.0f;
            img.At(x, y) = c;
        }
    return img;
}

} // namespace tools
