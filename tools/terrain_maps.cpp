#include "terrain_maps.h"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

struct Bump {
    float x, z, radius, height;
};

// Hills around the meadow, and hollows in front of it (the chasing camera
// looks along -z and turns toward +x) so trees stand in view.
const Bump kBumps[] = {
    {260, -330, 110, 26},  {-180, -300, 120, 24}, {320, 110, 100, 22},  {-290, 180, 125, 28},
    {40, 330, 110, 20},    {-40, -380, 90, 16},   {360, -170, 80, 18},  {-350, -120, 90, 20},
    {180, 240, 70, 14},    {-140, 40, 80, 16},    {150, -170, 125, -11}, {290, -50, 70, -9},
    {60, -260, 85, -9},    {-30, -120, 70, -9},   {0, 140, 75, -9},
    {-250, -30, 85, -10},  {220, 110, 60, -8},    {420, -300, 75, -9},  {130, -400, 75, -9},
};

const TileNoise& Rolling()
{
    static const TileNoise noise(8, 1234);
    return noise;
}

} // namespace

float GroundHeight(float x, float z)
{
    float nx = (x + 512.0f) / 128.0f, nz = (z + 512.0f) / 128.0f;
    float h = 15.0f + 24.0f * (Rolling().Fractal(nx, nz, 3) - 0.5f);
    for (const Bump& b : kBumps) {
        float d2 = ((x - b.x) * (x - b.x) + (z - b.z) * (z - b.z)) / (b.radius * b.radius);
        h += b.height * std::exp(-2.0f * d2);
    }
    // Forested, low ground along the edges.
    float edge = Smooth(390.0f, 515.0f, std::sqrt(std::sqrt(x * x * x * x + z * z * z * z)));
    h += (1.0f - 0.3f * Rolling().At(nx * 3.0f, nz * 3.0f) - h) * edge;
    // Trees grow only in the valleys in front of the start, short of where
    // the fog begins, and in the forest along the left edge and the left end
    // of the far edge; rolling uplands above the tree line everywhere else.
    float d = std::hypot(x - kStartX, z - kStartZ);
    float turn = std::atan2(x - kStartX, kStartZ - z);
    float seen = Smooth(360.0f, 300.0f, d) * Smooth(-0.95f, -0.7f, turn) * Smooth(1.75f, 1.5f, turn);
    float forest = std::max(Smooth(-420.0f, -470.0f, x), Smooth(-420.0f, -470.0f, z) * Smooth(-150.0f, -250.0f, x));
    float upland = 12.5f + 4.0f * Rolling().At(nx * 2.0f, nz * 2.0f);
    if (h < upland)
        h += (upland - h) * (1.0f - std::max(seen, forest));
    // The meadow where the player starts: flat, a little above the valleys.
    h += (11.0f - h) * Smooth(100.0f, 42.0f, d);
    // Round the hill tops off below the height map's ceiling (31.75).
    if (h > 18.0f)
        h = 18.0f + 12.0f * std::tanh((h - 18.0f) / 12.0f);
    return h;
}

Image TerrainHeightMap()
{
    Image img(128, 128);
    for (int r = 0; r < 128; ++r)
        for (int c = 0; c < 128; ++c) {
            float h = GroundHeight((c - 64) * 8.0f, (r - 64) * 8.0f);
            float s = std::min(255.0f, std::max(0.0f, std::round(128.0f + 4.0f * h)));
            img.At(c, r) = Rgba{s / 255.0f, s / 255.0f, s / 255.0f, 1.0f};
        }
    return img;
}

Image TerrainBase()
{
    const int kSize = 512;
    const float kStep = 1024.0f / kSize;
    Image img(kSize, kSize);
    TileNoise patches(16, 77), fine(64, 78);
    struct {
        float x, y, z;
    } const light{0.577f, 0.577f, -0.577f};
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px) {
            float x = px * kStep - 512.0f, z = py * kStep - 512.0f;
            float h = GroundHeight(x, z);
            float dx = (GroundHeight(x + kStep, z) - GroundHeight(x - kStep, z)) / (2.0f * kStep);
            float dz = (GroundHeight(x, z + kStep) - GroundHeight(x, z - kStep)) / (2.0f * kStep);
            float slope = std::sqrt(dx * dx + dz * dz);
            float patch = patches.Fractal(px / 32.0f, py / 32.0f, 3);
            float grain = fine.At(px / 8.0f, py / 8.0f);
            // Grass, darker and browner in the valleys, drier on the hills,
            // rock on the steep sides.
            Rgba grass = Mix(Hex(0x4a7a2a), Hex(0x74983c), patch);
            Rgba c = Mix(grass, Hex(0x3a5a22), Smooth(10.0f, 0.0f, h) * 0.8f);
            c = Mix(c, Hex(0x8c9a50), Smooth(18.0f, 30.0f, h));
            c = Mix(c, Hex(0x7e7262), Smooth(0.3f, 0.55f, slope));
            // A dirt path from the meadow toward the hills in front.
            float pathX = kStartX + 20.0f * std::sin(z / 60.0f) + (z < 0 ? -z * 0.15f : 0.0f);
            if (z < -40.0f && z > -480.0f)
                c = Mix(c, Hex(0x9a7f58), 0.85f * Smooth(3.5f, 1.5f, std::fabs(x - pathX)));
            // Hill shading from the scene's light (coming from +x, +y, -z).
            float nlen = std::sqrt(dx * dx + 1.0f + dz * dz);
            float lit = (-dx * light.x + light.y - dz * light.z) / nlen;
            c = Scale(c, (0.8f + 0.45f * (lit - 0.577f) * 2.0f) * (0.94f + 0.12f * grain));
            c.a = 1.0f;
            img.At(px, py) = c;
        }
    return img;
}

Image TerrainDetail()
{
    const int kSize = 256;
    Image img(kSize, kSize);
    TileNoise clumps(16, 301), blades(64, 302);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            float cl = clumps.Fractal(x / 16.0f, y / 16.0f, 3);
            float bl = blades.Fractal(x / 4.0f, y / 4.0f, 2);
            float v = Clamp01(0.72f + 0.2f * cl + 0.16f * (bl - 0.5f));
            img.At(x, y) = Rgba{v * 0.95f, v, v * 0.86f, 1.0f};
        }
    return img;
}

} // namespace tools
