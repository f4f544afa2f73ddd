#include "picture.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tools {

Rgba Mix(const Rgba& x, const Rgba& y, float t)
{
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Rgba Hex(uint32_t rgb, float a)
{
    return {((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, a};
}

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

float Smooth(float e0, float e1, float x)
{
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

Rgba Scale(const Rgba& c, float k)
{
    return {c.r * k, c.g * k, c.b * k, c.a};
}

Image::Image(int w, int h) : m_w(w), m_h(h), m_px(static_cast<size_t>(w) * h, Rgba{0, 0, 0, 0})
{
}

void Image::Blend(int x, int y, Rgba c, float k)
{
    if (x < 0 || y < 0 || x >= m_w || y >= m_h)
        return;
    float sa = Clamp01(c.a * k);
    if (sa <= 0.0f)
        return;
    Rgba& d = At(x, y);
    float oa = sa + d.a * (1.0f - sa);
    if (oa <= 0.0f) {
        d = Rgba{0, 0, 0, 0};
        return;
    }
    d.r = (c.r * sa + d.r * d.a * (1.0f - sa)) / oa;
    d.g = (c.g * sa + d.g * d.a * (1.0f - sa)) / oa;
    d.b = (c.b * sa + d.b * d.a * (1.0f - sa)) / oa;
    d.a = oa;
}

void Image::Fill(Rgba c)
{
    std::fill(m_px.begin(), m_px.end(), c);
}

void Image::Rect(float x0, float y0, float x1, float y1, Rgba c)
{
    for (int y = std::max(0, (int)std::floor(y0)); y < std::min(m_h, (int)std::ceil(y1)); ++y)
        for (int x = std::max(0, (int)std::floor(x0)); x < std::min(m_w, (int)std::ceil(x1)); ++x) {
            float cx = std::min(x1, x + 1.0f) - std::max(x0, (float)x);
            float cy = std::min(y1, y + 1.0f) - std::max(y0, (float)y);
            Blend(x, y, c, Clamp01(cx) * Clamp01(cy));
        }
}

void Image::Disc(float cx, float cy, float r, Rgba c, float inner)
{
    int x0 = std::max(0, (int)(cx - r - 2)), x1 = std::min(m_w - 1, (int)(cx + r + 2));
    int y0 = std::max(0, (int)(cy - r - 2)), y1 = std::min(m_h - 1, (int)(cy + r + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            float k = Clamp01(r - d + 0.5f);
            if (inner > 0.0f)
                k *= Clamp01(d - inner + 0.5f);
            Blend(x, y, c, k);
        }
}

void Image::RoundRect(float x0, float y0, float x1, float y1, float rad, Rgba c)
{
    for (int y = std::max(0, (int)y0 - 1); y < std::min(m_h, (int)y1 + 1); ++y)
        for (int x = std::max(0, (int)x0 - 1); x < std::min(m_w, (int)x1 + 1); ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float qx = std::max(std::max(x0 + rad - px, px - (x1 - rad)), 0.0f);
            float qy = std::max(std::max(y0 + rad - py, py - (y1 - rad)), 0.0f);
            float inside = std::min(std::min(px - x0, x1 - px), std::min(py - y0, y1 - py));
            float d = (qx > 0 || qy > 0) ? rad - std::hypot(qx, qy) : inside;
            Blend(x, y, c, Clamp01(d + 0.5f));
        }
}

void Image::Triangle(float ax, float ay, float bx, float by, float cx, float cy, Rgba c)
{
    int x0 = std::max(0, (int)std::floor(std::min({ax, bx, cx})));
    int x1 = std::min(m_w - 1, (int)std::ceil(std::max({ax, bx, cx})));
    int y0 = std::max(0, (int)std::floor(std::min({ay, by, cy})));
    int y1 = std::min(m_h - 1, (int)std::ceil(std::max({ay, by, cy})));
    auto edge = [](float px, float py, float qx, float qy, float x, float y) {
        return (qx - px) * (y - py) - (qy - py) * (x - px);
    };
    float area = edge(ax, ay, bx, by, cx, cy);
    if (area == 0.0f)
        return;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    float px = x + (sx + 0.5f) / 4.0f, py = y + (sy + 0.5f) / 4.0f;
                    float e0 = edge(ax, ay, bx, by, px, py) * area;
                    float e1 = edge(bx, by, cx, cy, px, py) * area;
                    float e2 = edge(cx, cy, ax, ay, px, py) * area;
                    if (e0 >= 0 && e1 >= 0 && e2 >= 0)
                        ++hits;
                }
            if (hits)
                Blend(x, y, c, hits / 16.0f);
        }
}

void Image::Polygon(const std::vector<float>& xy, Rgba c)
{
    size_t n = xy.size() / 2;
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (size_t i = 0; i < n; ++i) {
        minX = std::min(minX, xy[2 * i]), maxX = std::max(maxX, xy[2 * i]);
        minY = std::min(minY, xy[2 * i + 1]), maxY = std::max(maxY, xy[2 * i + 1]);
    }
    for (int y = std::max(0, (int)minY); y <= std::min(m_h - 1, (int)maxY); ++y)
        for (int x = std::max(0, (int)minX); x <= std::min(m_w - 1, (int)maxX); ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    float px = x + (sx + 0.5f) / 4.0f, py = y + (sy + 0.5f) / 4.0f;
                    bool in = false;
                    for (size_t i = 0, j = n - 1; i < n; j = i++) {
                        float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
                        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
                            in = !in;
                    }
                    if (in)
                        ++hits;
                }
            if (hits)
                Blend(x, y, c, hits / 16.0f);
        }
}

void Image::Line(float ax, float ay, float bx, float by, float width, Rgba c)
{
    float dx = bx - ax, dy = by - ay, len = std::hypot(dx, dy);
    if (len <= 0.0f)
        return;
    int x0 = std::max(0, (int)(std::min(ax, bx) - width - 1));
    int x1 = std::min(m_w - 1, (int)(std::max(ax, bx) + width + 1));
    int y0 = std::max(0, (int)(std::min(ay, by) - width - 1));
    int y1 = std::min(m_h - 1, (int)(std::max(ay, by) + width + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float px = x + 0.5f - ax, py = y + 0.5f - ay;
            float t = Clamp01((px * dx + py * dy) / (len * len));
            float d = std::hypot(px - t * dx, py - t * dy);
            Blend(x, y, c, Clamp01(width * 0.5f - d + 0.5f));
        }
}

namespace {

uint8_t Byte(float v)
{
    return (uint8_t)std::lround(Clamp01(v) * 255.0f);
}

bool WritePng(const std::string& path, int w, int h, bool grey, const std::vector<png_byte>& pixels)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    size_t stride = static_cast<size_t>(w) * (grey ? 1 : 4);
    for (int y = 0; y < h; ++y)
        png_write_row(png, pixels.data() + stride * y);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((uint8_t)(v >> (8 * i)));
}

} // namespace

bool Image::Save(const std::string& path) const
{
    std::vector<png_byte> px(m_px.size() * 4);
    for (size_t i = 0; i < m_px.size(); ++i) {
        px[i * 4 + 0] = Byte(m_px[i].r);
        px[i * 4 + 1] = Byte(m_px[i].g);
        px[i * 4 + 2] = Byte(m_px[i].b);
        px[i * 4 + 3] = Byte(m_px[i].a);
    }
    return WritePng(path, m_w, m_h, false, px);
}

bool Image::SaveGrey(const std::string& path) const
{
    std::vector<png_byte> px(m_px.size());
    for (size_t i = 0; i < m_px.size(); ++i)
        px[i] = Byte(m_px[i].r);
    return WritePng(path, m_w, m_h, true, px);
}

bool Image::SaveDds(const std::string& path) const
{
    std::vector<uint8_t> out;
    out.reserve(128 + m_px.size() * 4);
    const uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000;
    const uint32_t kAlphaPixels = 0x1, kRgb = 0x40, kTexture = 0x1000;
    Put32(out, 0x20534444); // "DDS "
    Put32(out, 124);
    Put32(out, kCaps | kHeight | kWidth | kPitch | kPixelFormat);
    Put32(out, (uint32_t)m_h);
    Put32(out, (uint32_t)m_w);
    Put32(out, (uint32_t)m_w * 4); // pitch
    Put32(out, 0);                 // depth
    Put32(out, 0);                 // mip levels
    for (int i = 0; i < 11; ++i)
        Put32(out, 0);
    Put32(out, 32); // pixel format size
    Put32(out, kRgb | kAlphaPixels);
    Put32(out, 0);
    Put32(out, 32);
    Put32(out, 0x00FF0000);
    Put32(out, 0x0000FF00);
    Put32(out, 0x000000FF);
    Put32(out, 0xFF000000u);
    Put32(out, kTexture);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (const Rgba& p : m_px)
        Put32(out, (uint32_t)Byte(p.a) << 24 | (uint32_t)Byte(p.r) << 16 | (uint32_t)Byte(p.g) << 8 | Byte(p.b));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

TileNoise::TileNoise(int period, uint32_t seed) : m_period(period), m_values(static_cast<size_t>(period) * period)
{
    Lcg rng(seed);
    for (float& v : m_values)
        v = rng.Next();
}

float TileNoise::At(float x, float y) const
{
    float fx = std::floor(x), fy = std::floor(y);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto wrap = [this](float v) {
        int i = (int)v % m_period;
        return i < 0 ? i + m_period : i;
    };
    int x0 = wrap(fx), y0 = wrap(fy), x1 = (x0 + 1) % m_period, y1 = (y0 + 1) % m_period;
    auto v = [this](int x, int y) { return m_values[static_cast<size_t>(y) * m_period + x]; };
    float top = v(x0, y0) + (v(x1, y0) - v(x0, y0)) * tx;
    float bottom = v(x0, y1) + (v(x1, y1) - v(x0, y1)) * tx;
    return top + (bottom - top) * ty;
}

float TileNoise::Fractal(float x, float y, int octaves) const
{
    float sum = 0.0f, weight = 0.5f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += At(x, y) * weight;
        total += weight;
        x *= 2.0f;
        y *= 2.0f;
        weight *= 0.5f;
    }
    return sum / total;
}

} // namespace tools
