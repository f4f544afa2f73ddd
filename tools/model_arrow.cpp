// The arrow of the trails and of the blob grid.
#include <cmath>

#include "meshkit.h"
#include "models.h"

namespace tools {

const char* const kArrowTexture = "arrow.png";

namespace {

// Texture layout: shaft in the lower half, head in the upper left, fins in
// the upper right; u runs once around the arrow.
const UvRect kShaft{0.0f, 0.5f, 1.0f, 1.0f};
const UvRect kHead{0.0f, 0.0f, 0.75f, 0.5f};
const UvRect kFin{0.78f, 0.02f, 0.98f, 0.48f};

Ring Around(float y, float r, float v, bool hard = false)
{
    Ring ring{Vec3{0, y, 0}, Vec3{r, 0, 0}, Vec3{0, 0, r}, v, Influence{}};
    ring.hard = hard;
    return ring;
}

} // namespace

XFile ArrowModel()
{
    // Sized for how it is seen: a few pixels tall in the grid, a few dozen in
    // the trails. 50 triangles with smooth normals.
    const int kShaftSides = 6;
    const int kHeadSides = 8;
    MeshBuilder b;
    // Shaft from the tail (y = 0.2) to the head's back, closed at the tail.
    Cap tail;
    tail.present = true;
    tail.hard = true;
    b.Tube({Around(0.2f, 0.022f, 0.0f), Around(-0.06f, 0.022f, 1.0f)}, kShaftSides, kShaft, 0, tail, Cap{});
    // The head: its flat back and its cone to the tip at y = -0.2.
    Cap back;
    back.present = true;
    back.hard = true;
    back.uv = Vec2{0.375f, 0.49f};
    Cap tip;
    tip.present = true;
    tip.hard = true;
    tip.dome = 0.14f;
    tip.uv = Vec2{0.375f, 0.0f};
    tip.direction = Vec3{0, -1, 0};
    b.Tube({Around(-0.06f, 0.075f, 0.95f)}, kHeadSides, kHead, 0, back, tip);
    // Four fins at the tail, thin enough to need no faces along their edges.
    for (int k = 0; k < 4; ++k) {
        float a = k * 1.5707964f + 0.7853982f;
        Vec3 out{std::cos(a), 0, std::sin(a)};
        Vec3 across{-std::sin(a), 0, std::cos(a)};
        std::vector<Vec3> outline = {out * 0.018f + Vec3{0, 0.195f, 0}, out * 0.065f + Vec3{0, 0.2f, 0},
                                     out * 0.065f + Vec3{0, 0.14f, 0}, out * 0.018f + Vec3{0, 0.08f, 0}};
        b.Plate(outline, across, 0.006f, kFin, 0, Influence{}, false);
    }
    XMaterial m;
    m.power = 20.0f;
    m.specular = Vec3{0.4f, 0.4f, 0.4f};
    m.texture = kArrowTexture;
    XFrame root;
    root.name = "Arrow";
    root.meshes.push_back(b.Build("ArrowMesh", {m}));
    XFile file;
    file.frames.push_back(root);
    return file;
}

Image ArrowTexture()
{
    Image img(128, 128);
    // Light from the upper left of the arrow's own frame: brightness by the
    // angle around the arrow (u) with a rim.
    auto shade = [](float u) {
        float t = u * 6.2831853f;
        float lit = Clamp01(std::cos(t - 4.0f));
        float rim = Clamp01(std::cos(t - 0.9f));
        return 0.55f + 0.4f * lit + 0.45f * std::pow(lit, 12.0f) + 0.15f * rim * rim;
    };
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float u = (x + 0.5f) / 128.0f, v = (y + 0.5f) / 128.0f;
            Rgba c;
            if (v >= 0.5f) {
                // Shaft: gold, warmer toward the head, bands near the tail.
                float along = (v - 0.5f) * 2.0f;
                c = Mix(Hex(0xffd24a), Hex(0xff8a1e), along);
                if (along < 0.18f && std::fmod(along * 40.0f, 2.0f) < 1.0f)
                    c = Mix(c, Hex(0xfff3c4), 0.6f);
                c = Scale(c, shade(u));
            } else if (x < 98) {
                // Head: hot pink toward the tip.
                float along = v * 2.0f; // 0 tip, 1 back
                c = Mix(Hex(0xffe0f0), Hex(0xff2a7a), Smooth(0.0f, 0.5f, along));
                c = Mix(c, Hex(0xb0105a), Smooth(0.85f, 1.0f, along));
                c = Scale(c, shade(u * 128.0f / 96.0f));
            } else {
                // Fins: cyan with a light edge.
                float fx = (x - 99.0f) / 26.0f, fy = v * 2.0f;
                c = Mix(Hex(0x1ee0ff), Hex(0x1050c0), fy);
                if (fx > 0.8f)
                    c = Mix(c, Hex(0xe0ffff), 0.7f);
            }
            c.a = 1.0f;
            img.At(x, y) = c;
        }
    return img;
}

} // namespace tools
