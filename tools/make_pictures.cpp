// Draws the show's pictures into <run>/data/textures/ as RGBA PNG files.
// Every picture is a power of two on each side and the output is the same on
// every run: no clock, no unseeded randomness, no time chunk in the files.
#include "picture.h"
#include "runfolder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tools;

// 5x7 block letters for the words drawn into the pictures.
const char* Glyph(char ch) {
    switch (ch) {
        case 'A': return ".###.#...##...#######...##...##...#";
        case 'B': return "####.#...##...#####.#...##...#####.";
        case 'C': return ".###.#...##....#....#....#...#.###.";
        case 'D': return "####.#...##...##...##...##...#####.";
        case 'E': return "######....#....####.#....#....#####";
        case 'F': return "######....#....####.#....#....#....";
        case 'G': return ".###.#...##....#.####...##...#.####";
        case 'H': return "#...##...##...#######...##...##...#";
        case 'I': return ".###...#....#....#....#....#...###.";
        case 'K': return "#...##..#.#.#..##...#.#..#..#.#...#";
        case 'L': return "#....#....#....#....#....#....#####";
        case 'M': return "#...###.###.#.##.#.##...##...##...#";
        case 'N': return "#...###..##.#.##..###...##...##...#";
        case 'O': return ".###.#...##...##...##...##...#.###.";
        case 'P': return "####.#...##...#####.#....#....#....";
        case 'R': return "####.#...##...#####.#.#..#..#.#...#";
        case 'S': return ".#####....#.....###.....#....#####.";
        case 'T': return "#####..#....#....#....#....#....#..";
        case 'U': return "#...##...##...##...##...##...#.###.";
        case 'V': return "#...##...##...##...#.#.#..#.#...#..";
        case 'W': return "#...##...##...##.#.##.#.##.#.#.#.#.";
        case 'Y': return "#...##...#.#.#...#....#....#....#..";
        case '2': return ".###.#...#....#...#...#...#...#####";
        case '0': return ".###.#...##..###.#.###..##...#.###.";
        case '.': return "...............................##..";
        case '!': return "..#....#....#....#....#.........#..";
        default: return nullptr;  // space and anything else: blank
    }
}

// Draws text with square cells of size `cell`; returns the advance width.
float Text(Image& img, const char* s, float x, float y, float cell, Rgba c) {
    float pen = x;
    for (; *s; ++s) {
        const char* g = Glyph(*s);
        if (g)
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g[row * 5 + col] == '#')
                        img.Rect(pen + col * cell, y + row * cell, pen + (col + 1) * cell,
                                 y + (row + 1) * cell, c);
        pen += cell * 6.0f;
    }
    return pen - x - cell;
}

float TextWidth(const char* s, float cell) { return (std::strlen(s) * 6.0f - 1.0f) * cell; }

void TextCentred(Image& img, const char* s, float cy, float cell, Rgba c, Rgba shadow) {
    float w = TextWidth(s, cell);
    float x = (img.W() - w) * 0.5f, y = cy - 3.5f * cell;
    if (shadow.a > 0.0f) Text(img, s, x + cell * 0.5f, y + cell * 0.5f, cell, shadow);
    Text(img, s, x, y, cell, c);
}

// ---------------------------------------------------------------- pictures

// Loading screen: deep blue gradient with a faint grid, the title and a
// frame around the place where the bar grows (0.2..0.8 x 0.6..0.8).
Image LoadingBackground() {
    Image img(512, 512);
    for (int y = 0; y < img.H(); ++y)
        for (int x = 0; x < img.W(); ++x) {
            float t = y / 511.0f;
            Rgba c = Mix(Hex(0x0b1030), Hex(0x2a0f3f), t);
            float gx = std::fmod(x, 32.0f), gy = std::fmod(y, 32.0f);
            if (gx < 1.0f || gy < 1.0f) c = Mix(c, Hex(0x3c5aa0), 0.35f);
            img.At(x, y) = c;
        }
    for (int i = 0; i < 5; ++i) img.Disc(256, 150, 150.0f - i * 22.0f, Hex(0x6a4cff, 0.05f));
    TextCentred(img, "NIMBSHOW", 150, 9.0f, Hex(0xffe680), Hex(0x000000, 0.6f));
    TextCentred(img, "LOADING", 250, 4.0f, Hex(0xa0c8ff), Hex(0x000000, 0.5f));
    // Bar well: the bar covers x 0.2..0.8, y 0.6..0.8 of the screen.
    img.RoundRect(0.2f * 512 - 6, 0.6f * 512 - 6, 0.8f * 512 + 6, 0.8f * 512 + 6, 10, Hex(0x9db4ff, 0.8f));
    img.RoundRect(0.2f * 512 - 3, 0.6f * 512 - 3, 0.8f * 512 + 3, 0.8f * 512 + 3, 8, Hex(0x05081a));
    return img;
}

// The bar: warm gradient with diagonal stripes, rounded ends.
Image LoadingBar() {
    Image img(256, 64);
    Image fill(256, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            Rgba c = Mix(Hex(0xff6a00), Hex(0xffe14d), x / 255.0f);
            float shade = 1.0f - 0.45f * std::fabs(y - 22.0f) / 42.0f;
            c.r *= shade, c.g *= shade, c.b *= shade;
            if (std::fmod(x + y + 512.0f, 24.0f) < 9.0f) c = Mix(c, Hex(0xffffff), 0.25f);
            fill.At(x, y) = c;
        }
    Image mask(256, 64);
    mask.RoundRect(1, 2, 255, 62, 14, Hex(0xffffff));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            Rgba c = fill.At(x, y);
            c.a = mask.At(x, y).a;
            img.At(x, y) = c;
        }
    img.Rect(8, 8, 248, 14, Hex(0xffffff, 0.35f));
    return img;
}

// Opening sweep: a translucent band of scan lines with a bright left edge;
// most of the picture is clear so the terrain scene stays visible.
Image OpeningSweep() {
    Image img(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float band = Smooth(0.0f, 0.25f, x / 512.0f) * (1.0f - Smooth(0.55f, 1.0f, x / 512.0f));
            float line = (y % 8 < 2) ? 1.0f : 0.35f;
            Rgba c = Mix(Hex(0x00c8ff), Hex(0xff3caa), y / 511.0f);
            c.a = 0.45f * band * line;
            img.At(x, y) = c;
        }
    img.Rect(500, 0, 512, 512, Hex(0xffffff, 0.8f));
    img.Rect(486, 0, 492, 512, Hex(0x00c8ff, 0.6f));
    return img;
}

// Title: big lettering on a clear background, with an underline. It keeps
// to the upper half: the greeting line stands at half the screen's height
// (picture y 256..307 once stretched) and the words below it.
Image Title() {
    Image img(1024, 512);
    TextCentred(img, "NIMBSHOW", 120, 20.0f, Hex(0xfff2c0), Hex(0x200030, 0.7f));
    img.RoundRect(180, 198, 844, 206, 4, Hex(0xff8a3c, 0.9f));
    TextCentred(img, "EIGHTEEN SECONDS", 228, 4.0f, Hex(0xc0e0ff), Hex(0x000000, 0.6f));
    return img;
}

// Overlay of thin diagonal lines and soft corners, mostly transparent.
Image Overlay() {
    Image img(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float d = std::fmod((float)(x - y + 1024), 48.0f);
            float a = d < 3.0f ? 0.35f : 0.0f;
            float cx = (x - 256) / 256.0f, cy = (y - 256) / 256.0f;
            float vign = Smooth(0.8f, 1.4f, std::sqrt(cx * cx + cy * cy));
            Rgba c = Mix(Hex(0x80ffea), Hex(0x2a0050), vign);
            c.a = std::max(a, 0.7f * vign);
            img.At(x, y) = c;
        }
    return img;
}

// Bunting: a string of triangular flags swinging; frame selects the phase.
Image Bunting(int frame) {
    Image img(128, 128);
    const uint32_t colours[4] = {0xff3b3b, 0xffd23b, 0x3bd1ff, 0x7dff5a};
    float phase = frame * kPi * 0.5f;
    float sag = 10.0f + 6.0f * std::sin(phase);
    auto ropeY = [&](float x) { return 24.0f + sag * std::sin(kPi * x / 128.0f); };
    for (int x = 0; x < 128; x += 2) img.Line((float)x, ropeY(x), x + 2.0f, ropeY(x + 2.0f), 2.0f, Hex(0xf0f0f0));
    for (int i = 0; i < 4; ++i) {
        float x0 = 8.0f + i * 30.0f, x1 = x0 + 24.0f;
        float swing = 10.0f * std::sin(phase + i * 1.3f);
        float tipX = (x0 + x1) * 0.5f + swing, tipY = ropeY((x0 + x1) * 0.5f) + 58.0f;
        img.Triangle(x0, ropeY(x0), x1, ropeY(x1), tipX, tipY, Hex(colours[(i + frame) % 4]));
        img.Triangle(x0 + 4, ropeY(x0) + 3, x1 - 4, ropeY(x1) + 3, tipX, tipY - 14,
                     Hex(0xffffff, 0.25f));
    }
    // Frame number as dots, so each frame is told apart at a glance.
    for (int i = 0; i <= frame; ++i) img.Disc(16.0f + i * 14.0f, 112.0f, 5.0f, Hex(0xffffff));
    return img;
}

// Background for the middle of the show: slow colour waves, mostly opaque.
Image Mix3() {
    Image img(512, 512);
    Lcg rng(3);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            float w = std::sin(u * 9.0f + std::sin(v * 5.0f) * 2.0f) + std::sin(v * 7.0f - u * 3.0f);
            Rgba c = Mix(Hex(0x1a0638), Hex(0x0a4a6a), 0.5f + 0.25f * w);
            c = Mix(c, Hex(0xff4fa0), Smooth(1.2f, 1.9f, w) * 0.6f);
            c.a = 0.9f;
            img.At(x, y) = c;
        }
    for (int i = 0; i < 60; ++i) {
        float x = rng.Next() * 512, y = rng.Next() * 512, r = 2.0f + rng.Next() * 6.0f;
        img.Disc(x, y, r, Hex(0xffffff, 0.15f + 0.3f * rng.Next()));
    }
    return img;
}

// Party things that fly across the screen: a mirror ball and a balloon.
Image MirrorBall() {
    Image img(128, 128);
    img.Line(64, 0, 64, 22, 2.0f, Hex(0xc0c0c0));
    img.Disc(64, 70, 46, Hex(0x8090a0));
    for (int y = 26; y < 116; y += 8)
        for (int x = 20; x < 110; x += 8) {
            float dx = x + 4 - 64.0f, dy = y + 4 - 70.0f;
            if (dx * dx + dy * dy > 42.0f * 42.0f) continue;
            float lit = Clamp01(0.5f - (dx + dy) / 120.0f + 0.2f * (((x + y) / 8) % 3));
            img.Rect(x + 1, y + 1, x + 7, y + 7, Mix(Hex(0x506070), Hex(0xffffff), lit));
        }
    img.Disc(46, 52, 7, Hex(0xffffff, 0.9f));
    return img;
}

Image Balloon() {
    Image img(128, 128);
    img.Line(64, 96, 58, 127, 2.0f, Hex(0xe0e0e0));
    img.Triangle(58, 98, 70, 98, 64, 90, Hex(0xd81b60));
    for (int y = 8; y < 100; ++y)
        for (int x = 20; x < 108; ++x) {
            float dx = (x + 0.5f - 64.0f) / 38.0f, dy = (y + 0.5f - 50.0f) / 44.0f;
            float d = std::sqrt(dx * dx + dy * dy);
            float k = Clamp01((1.0f - d) * 40.0f);
            Rgba c = Mix(Hex(0xff4081), Hex(0x880e4f), Clamp01(0.5f + 0.5f * (dx + dy)));
            img.Blend(x, y, c, k);
        }
    img.Disc(50, 32, 8, Hex(0xffffff, 0.7f));
    return img;
}

// Two-pose flip-books: a dancer, a speaker and a pair of raised glasses.
Image Dancer(int pose) {
    Image img(128, 128);
    Rgba body = Hex(pose ? 0x7dffb0 : 0xffb07d);
    img.Disc(64, 22, 12, body);
    img.Line(64, 34, 64, 78, 8, body);
    float a = pose ? 1.0f : -1.0f;
    img.Line(64, 44, 64 - 30, 44 - 26 * a, 6, body);
    img.Line(64, 44, 64 + 30, 44 + 26 * a, 6, body);
    img.Line(64, 78, 64 - 24 + 8 * a, 120, 7, body);
    img.Line(64, 78, 64 + 24 + 8 * a, 120, 7, body);
    for (int i = 0; i < 3; ++i) img.Disc(20.0f + i * 44.0f, pose ? 100.0f : 12.0f, 4, Hex(0xffffff, 0.8f));
    return img;
}

Image Speaker(int pose) {
    Image img(128, 128);
    img.RoundRect(28, 8, 100, 120, 8, Hex(0x202028));
    float s = pose ? 1.15f : 0.9f;
    img.Disc(64, 82, 26 * s, Hex(0x505060));
    img.Disc(64, 82, 12 * s, Hex(0x101014));
    img.Disc(64, 34, 12, Hex(0x505060));
    for (int i = 1; i <= 3; ++i) {
        float r = 40.0f + i * 8.0f * s;
        if (pose || i < 3) img.Disc(64, 82, r, Hex(0x40c4ff, 0.5f / i), r - 2.0f);
    }
    return img;
}

Image Glasses(int pose) {
    Image img(128, 128);
    float tilt = pose ? 14.0f : 4.0f;
    for (int side = -1; side <= 1; side += 2) {
        float cx = 64 + side * (26 - tilt * 0.5f), top = 28 + (pose ? 0 : 10);
        img.Triangle(cx - 18, top, cx + 18, top, cx + side * tilt * 0.2f, top + 40, Hex(0xffe082, 0.9f));
        img.Line(cx + side * tilt * 0.2f, top + 40, cx + side * tilt * 0.2f, top + 74, 4, Hex(0xeeeeee));
        img.Line(cx - 14, top + 76, cx + 14, top + 76, 5, Hex(0xeeeeee));
    }
    if (pose)
        for (int i = 0; i < 6; ++i) {
            float ang = -kPi * 0.5f + (i - 2.5f) * 0.35f;
            img.Line(64 + std::cos(ang) * 12, 22 + std::sin(ang) * 12, 64 + std::cos(ang) * 22,
                     22 + std::sin(ang) * 22, 3, Hex(0xffffff));
        }
    return img;
}

// Emblem that zooms from the centre: a ring with a star inside.
Image Emblem() {
    Image img(256, 256);
    img.Disc(128, 128, 120, Hex(0xffd54f, 0.9f), 104);
    img.Disc(128, 128, 100, Hex(0x1e1446, 0.6f));
    for (int i = 0; i < 12; ++i) {
        float ang = i * kPi / 6.0f;
        img.Disc(128 + std::cos(ang) * 112, 128 + std::sin(ang) * 112, 5, Hex(0xffffff));
    }
    // Five-pointed star in the middle.
    std::vector<float> star;
    for (int i = 0; i < 10; ++i) {
        float ang = -kPi * 0.5f + i * kPi / 5.0f, r = (i % 2) ? 31.0f : 78.0f;
        star.push_back(128 + std::cos(ang) * r);
        star.push_back(128 + std::sin(ang) * r);
    }
    img.Polygon(star, Hex(0xffd54f));
    return img;
}

// Chunky pixel art: cell size 8 in a 128 x 128 picture.
void Cell(Image& img, int cx, int cy, Rgba c) { img.Rect(cx * 8.0f, cy * 8.0f, cx * 8.0f + 8, cy * 8.0f + 8, c); }

// A pixel invader whose legs and eyes move over four frames. It keeps to
// the left three quarters of its picture: the greetings run past its right.
Image PixelCreature(int frame) {
    Image img(128, 128);
    static const char* body[8] = {
        "..#......#..", "...#....#...", "..########..", ".##.####.##.",
        "############", "#.########.#", "#.#......#.#", "...##..##...",
    };
    Rgba c = Hex(frame % 2 ? 0x6cff6c : 0x3cff9c);
    int bob = (frame == 1 || frame == 2) ? 1 : 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) {
            char ch = body[y][x];
            if (y == 7 && frame % 2) ch = (x == 1 || x == 2 || x == 9 || x == 10) ? '#' : '.';
            if (ch == '#') Cell(img, x, 3 + y + bob, c);
        }
    int eye = frame < 2 ? 0 : 1;
    Cell(img, 3 + eye, 6 + bob, Hex(0x000000));
    Cell(img, 6 + eye, 6 + bob, Hex(0x000000));
    for (int i = 0; i <= frame; ++i) Cell(img, 1 + i * 2, 14, Hex(0xffffff, 0.8f));
    return img;
}

// A pixel heart that beats and sheds sparks over four frames.
Image PixelHeart(int frame) {
    Image img(128, 128);
    static const char* heart[7] = {
        ".##...##.", "####.####", "#########", "#########", ".#######.", "..#####..", "...###...",
    };
    Rgba c = Hex(frame % 2 ? 0xff3c64 : 0xff7896);
    int off = frame % 2 ? 0 : 1;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            if (heart[y][x] == '#') Cell(img, 3 + x, 4 + y + off, c);
    Cell(img, 5, 5 + off, Hex(0xffffff, 0.8f));
    const int sparks[4][2] = {{1, 2}, {13, 3}, {2, 12}, {13, 12}};
    for (int i = 0; i < 4; ++i)
        if (i <= frame) Cell(img, sparks[i][0], sparks[i][1], Hex(0xfff176));
    return img;
}

// Full-screen pixel frame for 9 s to 18 s: a border of blocks along the
// edges only, so the trails and the blob grid stay visible in the middle.
Image PixelFrame(int frame) {
    Image img(256, 256);
    const int cells = 32;  // cell size 8
    const uint32_t palette[3] = {0x40c4ff, 0xff4081, 0xffd740};
    Lcg rng(17);
    for (int cy = 0; cy < cells; ++cy)
        for (int cx = 0; cx < cells; ++cx) {
            int edge = std::min(std::min(cx, cy), std::min(cells - 1 - cx, cells - 1 - cy));
            float r = rng.Next();
            if (edge > 2) continue;
            int band = (cx + cy + frame * 3) % 3;
            float keep = edge == 0 ? 1.0f : (edge == 1 ? 0.6f : 0.25f);
            if (r > keep) continue;
            img.Rect(cx * 8.0f, cy * 8.0f, cx * 8.0f + 8, cy * 8.0f + 8,
                     Hex(palette[band], edge == 0 ? 0.85f : 0.55f));
        }
    // One marching block per edge shows the frame's phase.
    for (int i = 0; i < 4; ++i) {
        int p = 4 + frame * 8 + i * 2;
        img.Rect(p * 8.0f, 8, p * 8.0f + 8, 16, Hex(0xffffff));
        img.Rect(p * 8.0f, 240, p * 8.0f + 8, 248, Hex(0xffffff));
    }
    return img;
}

// Panel for the translucent cubes: every face shows the whole picture. A
// bright frame and corner studs over a faint tinted glass with a grid, so
// the nested cubes read as glowing edges.
Image CubePanel() {
    Image img(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = (x + 0.5f) / 256.0f, v = (y + 0.5f) / 256.0f;
            float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
            Rgba c = Mix(Hex(0x38e0ff), Hex(0xff4fd8), 0.5f * (u + v));
            float a = 0.08f + 0.22f * Smooth(0.35f, 0.05f, edge);
            if (std::fmod(x + 0.5f, 32.0f) < 1.5f || std::fmod(y + 0.5f, 32.0f) < 1.5f) a = std::max(a, 0.22f);
            float glint = Smooth(0.06f, 0.0f, std::fabs(u - v - 0.3f)) * Smooth(0.9f, 0.4f, u);
            c = Mix(c, Hex(0xffffff), 0.6f * glint);
            a = std::max(a, 0.35f * glint);
            c.a = a;
            img.At(x, y) = c;
        }
    for (int i = 0; i < 4; ++i) {
        float inset = 4.0f + i * 1.0f;
        float a = 0.95f - i * 0.2f;
        img.Rect(inset, inset, 256 - inset, inset + 1, Hex(0xe8fbff, a));
        img.Rect(inset, 255 - inset, 256 - inset, 256 - inset, Hex(0xe8fbff, a));
        img.Rect(inset, inset, inset + 1, 256 - inset, Hex(0xe8fbff, a));
        img.Rect(255 - inset, inset, 256 - inset, 256 - inset, Hex(0xe8fbff, a));
    }
    for (float cx : {20.0f, 236.0f})
        for (float cy : {20.0f, 236.0f}) img.Disc(cx, cy, 7, Hex(0xffffff, 0.9f));
    img.Disc(128, 128, 34, Hex(0xffffff, 0.5f), 30);
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    if (int status = tools::DataFolder(argc, argv, "textures", dir)) return status;
    struct Out {
        std::string name;
        Image img;
    };
    std::vector<Out> out;
    out.push_back({"initimg.png", LoadingBackground()});
    out.push_back({"initbar.png", LoadingBar()});
    out.push_back({"transparent4.png", OpeningSweep()});
    out.push_back({"titulo.png", Title()});
    out.push_back({"overlay1.png", Overlay()});
    for (int i = 0; i < 4; ++i) out.push_back({"banderillas_0" + std::to_string(i + 1) + ".png", Bunting(i)});
    out.push_back({"mix3.png", Mix3()});
    out.push_back({"cosas_party_01.png", MirrorBall()});
    out.push_back({"cosas_party_02.png", Balloon()});
    for (int p = 0; p < 2; ++p) {
        out.push_back({"party_01_" + std::to_string(p + 1) + ".png", Dancer(p)});
        out.push_back({"party_02_" + std::to_string(p + 1) + ".png", Speaker(p)});
        out.push_back({"party_03_" + std::to_string(p + 1) + ".png", Glasses(p)});
    }
    out.push_back({"minibrunk.png", Emblem()});
    out.push_back({"textura.png", CubePanel()});
    for (int i = 0; i < 4; ++i) {
        std::string letter(1, (char)('a' + i));
        out.push_back({"pixelaje02" + letter + ".png", PixelCreature(i)});
        out.push_back({"pixelaje04" + letter + ".png", PixelHeart(i)});
        if (i < 3) out.push_back({"pixelaje05" + letter + ".png", PixelFrame(i)});
    }
    int failed = 0;
    for (const Out& o : out)
        if (!o.img.Save(dir + o.name)) {
            std::fprintf(stderr, "make_pictures: cannot write %s%s\n", dir.c_str(), o.name.c_str());
            ++failed;
        }
    return failed ? 1 : 0;
}
