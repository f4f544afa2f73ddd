// Pictures for the show's data generators: a float RGBA canvas with a few
// soft-edged drawing primitives, saved as PNG (RGBA or grey) or as an
// uncompressed 32-bit DDS file. Nothing here reads a clock or unseeded
// randomness, so the files are the same on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct Rgba {
    float r, g, b, a; // straight alpha, 0..1
};

Rgba Mix(const Rgba& x, const Rgba& y, float t);
Rgba Hex(uint32_t rgb, float a = 1.0f);
float Clamp01(float v);
float Smooth(float e0, float e1, float x);
Rgba Scale(const Rgba& c, float k); // colour times k, alpha kept

const float kPi = 3.14159265f;

class Image {
public:
    Image(int w, int h);

    int W() const { return m_w; }
    int H() const { return m_h; }
    Rgba& At(int x, int y) { return m_px[static_cast<size_t>(y) * m_w + x]; }
    const Rgba& At(int x, int y) const { return m_px[static_cast<size_t>(y) * m_w + x]; }

    // Source-over blend of colour c with coverage k.
    void Blend(int x, int y, Rgba c, float k = 1.0f);
    void Fill(Rgba c);
    void Rect(float x0, float y0, float x1, float y1, Rgba c);
    // Filled disc (or ring when inner > 0) with a one-pixel soft edge.
    void Disc(float cx, float cy, float r, Rgba c, float inner = 0.0f);
    void RoundRect(float x0, float y0, float x1, float y1, float rad, Rgba c);
    // Filled triangle, supersampled 4x4 for soft edges.
    void Triangle(float ax, float ay, float bx, float by, float cx, float cy, Rgba c);
    // Filled polygon (even-odd rule), supersampled 4x4 for soft edges.
    void Polygon(const std::vector<float>& xy, Rgba c);
    void Line(float ax, float ay, float bx, float by, float width, Rgba c);

    // RGBA PNG, 8 bits a channel.
    bool Save(const std::string& path) const;
    // Grey PNG of the red channel, 8 bits.
    bool SaveGrey(const std::string& path) const;
    // Uncompressed DDS, 32 bits a pixel (A8R8G8B8), one level, rows top-down.
    bool SaveDds(const std::string& path) const;

private:
    int m_w, m_h;
    std::vector<Rgba> m_px;
};

// Small fixed generator so the noise is the same on every run.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : m_s(seed) {}
    float Next() // 0 <= value < 1
    {
        m_s = m_s * 1664525u + 1013904223u;
        return (m_s >> 8) / 16777216.0f;
    }

private:
    uint32_t m_s;
};

// Smooth value noise on a lattice that wraps every `period` cells, so a
// picture sampled over one period tiles. Values lie in 0..1.
class TileNoise {
public:
    TileNoise(int period, uint32_t seed);
    float At(float x, float y) const;
    // Sum of `octaves` octaves, each twice the frequency and half the weight.
    float Fractal(float x, float y, int octaves) const;

private:
    int m_period;
    std::vector<float> m_values;
};

} // namespace tools
