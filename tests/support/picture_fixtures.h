// Small picture files made for tests, among them hostile ones: a header that
// declares a huge picture over a few bytes of data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

typedef std::vector<uint8_t> Bytes;

enum class JpegKind {
    Baseline,         // one interleaved scan
    Progressive,      // spectral selection and successive approximation
    ScanPerComponent, // baseline, one scan for each component
};

// A w x h JPEG of a colour gradient, 3 components.
Bytes MakeJpeg(int w, int h, JpegKind kind);
// A w x h baseline JPEG of one flat colour (3 components) or grey level (1).
Bytes MakeFlatJpeg(int w, int h, int components, const uint8_t colour[3]);
// A w x h RGB PNG of a colour gradient.
Bytes MakePng(int w, int h);
// A w x h PNG of the given ARGB pixels, top row first; `alpha` keeps their alpha.
Bytes MakePng(int w, int h, bool alpha, const std::vector<uint32_t>& argb);

// The same file with its header declaring w x h (the data stays as it was).
Bytes DeclaringSize(Bytes file, uint32_t w, uint32_t h);

inline std::string AsString(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

} // namespace fixtures
