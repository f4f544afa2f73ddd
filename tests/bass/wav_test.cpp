// WAV streams: the samples a stream plays, for each layout the reader takes,
// and streams with nothing in them.
#include <bass.h>

#include "bass/bass_testing.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class WavStream : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
    void TearDown() override { BASS_Free(); }

    // Plays the file from memory; the stereo samples of the first `frames` frames mixed.
    std::vector<int16_t> Play(const std::vector<unsigned char>& wav, int frames)
    {
        HSTREAM stream = BASS_StreamCreateFile(TRUE, wav.data(), 0, (DWORD)wav.size(), 0);
        EXPECT_NE(stream, 0u);
        EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        std::vector<int16_t> out((size_t)frames * 2);
        BassTestingMix(out.data(), frames);
        EXPECT_EQ(BASS_ChannelIsActive(stream), (DWORD)BASS_ACTIVE_STOPPED);
        BASS_StreamFree(stream);
        return out;
    }
};

// 8-bit samples are unsigned around 128; every value maps to its 16-bit
// level, those below 128 included.
TEST_F(WavStream, EightBitSamplesMapAroundTheirMiddle)
{
    const std::vector<uint8_t> mono = {0, 1, 64, 127, 128, 129, 200, 255};
    const std::vector<int16_t> expected = {-32768, -32512, -16384, -256, 0, 256, 18432, 32512};
    std::vector<int16_t> played = Play(MakeWav(1, 8, 44100, mono), 10);
    for (size_t i = 0; i < mono.size(); ++i) {
        EXPECT_EQ(played[2 * i], expected[i]) << "sample " << (int)mono[i];
        EXPECT_EQ(played[2 * i + 1], expected[i]) << "sample " << (int)mono[i];
    }
    EXPECT_EQ(played[2 * mono.size()], 0);

    // Stereo: left then right.
    played = Play(MakeWav(2, 8, 44100, {0, 255, 100, 128}), 3);
    EXPECT_EQ(played, (std::vector<int16_t>{-32768, 32512, -7168, 0, 0, 0}));
}

// A data chunk with no samples, or less than one frame, makes a stream that
// plays silence and ends at once.
TEST_F(WavStream, EmptyDataPlaysNothingAndEnds)
{
    const struct {
        const char* what;
        int channels, bits;
        std::vector<uint8_t> data;
    } cases[] = {
        {"16-bit stereo, no bytes", 2, 16, {}},
        {"8-bit mono, no bytes", 1, 8, {}},
        {"16-bit stereo, half a frame", 2, 16, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int16_t> played = Play(MakeWav(c.channels, c.bits, 44100, c.data), 16);
        EXPECT_EQ(played, std::vector<int16_t>(32, 0));
    }
}

} // namespace
