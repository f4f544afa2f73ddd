// A RIFF WAVE file of PCM samples, for the audio tests.
#pragma once

#include <cstdint>
#include <vector>

// A PCM WAV holding `data` as its sample bytes (interleaved, little-endian).
inline std::vector<unsigned char> MakeWav(int channels, int bits, int rate, const std::vector<uint8_t>& data)
{
    std::vector<unsigned char> w;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++)
            w.push_back((unsigned char)(v >> (8 * i)));
    };
    auto u16 = [&](unsigned v) {
        w.push_back((unsigned char)v);
        w.push_back((unsigned char)(v >> 8));
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; i++)
            w.push_back((unsigned char)t[i]);
    };
    const unsigned frameBytes = (unsigned)(channels * bits / 8);
    tag("RIFF");
    u32(36 + (uint32_t)data.size());
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16((unsigned)channels);
    u32((uint32_t)rate);
    u32((uint32_t)rate * frameBytes);
    u16(frameBytes);
    u16((unsigned)bits);
    tag("data");
    u32((uint32_t)data.size());
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

// A 16-bit stereo PCM WAV of the given interleaved samples.
inline std::vector<unsigned char> MakeWav16(const std::vector<int16_t>& samples, int rate)
{
    std::vector<uint8_t> data;
    for (int16_t v : samples) {
        data.push_back((uint8_t)(uint16_t)v);
        data.push_back((uint8_t)((uint16_t)v >> 8));
    }
    return MakeWav(2, 16, rate, data);
}
