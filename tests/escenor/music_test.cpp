// The show's module through the audio layer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <bass.h>

#include "bass/bass_testing.h"
#include "escenor_fixture.h"
#include "music.h"
#include "packfile.h"
#include "wav_file.h"

namespace {

const int kRate = 44100;

// Sets an environment variable for one test and puts it back after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had;
};

std::vector<unsigned char> ShowModule()
{
    PackFile reader(nullptr);
    int size = 0;
    unsigned char* data = reader.LoadFile(NIMB_RUN_DIR "/data/music/brunkunch.it", &size);
    std::vector<unsigned char> bytes(data, data + size);
    delete[] data;
    return bytes;
}

double Rms(const int16_t* samples, size_t count)
{
    double sum = 0;
    for (size_t i = 0; i < count; i++)
        sum += (double)samples[i] * samples[i];
    return count ? std::sqrt(sum / (double)count) : 0.0;
}

// Mixes `seconds` of the silent output.
std::vector<int16_t> Mix(double seconds)
{
    std::vector<int16_t> out((size_t)(seconds * kRate) * 2);
    BassTestingMix(out.data(), (int)(out.size() / 2));
    return out;
}

class MusicTest : public ::testing::Test {
protected:
    void TearDown() override { BASS_Free(); }
};

TEST_F(MusicTest, ModulePlaysOnceFromItsStartWithoutDither)
{
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BassTestingHasDevice());
    std::vector<unsigned char> bytes = ShowModule();
    ASSERT_GT(bytes.size(), 1000u);

    // The layer keeps its own copy of the bytes.
    std::vector<unsigned char> copy = bytes;
    HMUSIC music = MusicPlayModule(copy.data(), (int)copy.size());
    ASSERT_NE(music, 0u);
    std::fill(copy.begin(), copy.end(), 0);
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_PLAYING);

    std::vector<int16_t> first = Mix(2.0);
    for (int w = 0; w < 8; w++)
        EXPECT_GT(Rms(&first[(size_t)w * kRate / 2], kRate / 2), 500.0) << "quarter second " << w;

    // About 18 s long, then freed; nothing plays after it.
    double played = 2.0;
    while (BASS_ChannelIsActive(music) == BASS_ACTIVE_PLAYING && played < 30.0) {
        Mix(0.25);
        played += 0.25;
    }
    EXPECT_GE(played, 17.75);
    EXPECT_LE(played, 18.5);
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_STOPPED);
    std::vector<int16_t> after = Mix(0.5);
    EXPECT_EQ(Rms(after.data(), after.size()), 0.0);

    // Loaded again it renders the same samples.
    HMUSIC again = MusicPlayModule(bytes.data(), (int)bytes.size());
    ASSERT_NE(again, 0u);
    EXPECT_NE(again, music);
    EXPECT_EQ(Mix(2.0), first);
}

uint16_t Le16At(const std::vector<unsigned char>& b, size_t at) { return (uint16_t)(b[at] | (b[at + 1] << 8)); }
uint32_t Le32At(const std::vector<unsigned char>& b, size_t at) { return Le16At(b, at) | ((uint32_t)Le16At(b, at + 2) << 16); }

// The show turns from the client scene to the image strips at 5 s: the
// module's first pattern ends there, at 0.125 s a row.
TEST(ShowModule, RowsOfAnEighthSecondAndTheTurnAtFiveSeconds)
{
    std::vector<unsigned char> b = ShowModule();
    ASSERT_GT(b.size(), 0xC0u);
    ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "IMPM");
    EXPECT_EQ(b[0x32], 6);   // speed: ticks a row
    EXPECT_EQ(b[0x33], 120); // tempo: a tick is 2.5 / 120 s
    const size_t orders = Le16At(b, 0x20), instruments = Le16At(b, 0x22), samples = Le16At(b, 0x24);
    ASSERT_GE(orders, 2u);
    const size_t patternOffsets = 0xC0 + orders + 4 * (instruments + samples);
    const unsigned first = b[0xC0];
    ASSERT_LT(patternOffsets + 4 * (first + 1), b.size());
    const uint32_t at = Le32At(b, patternOffsets + 4 * first);
    ASSERT_LT(at + 4, b.size());
    EXPECT_EQ(Le16At(b, at + 2) * 0.125, 5.0);
    EXPECT_GE(samples, 3u); // drums, bass and lead at least
}

// The generator writes the same bytes on every run.
TEST(ShowModule, GeneratorIsDeterministic)
{
    std::string again;
    {
        ScratchFolder folder("make_music_test");
        ASSERT_FALSE(folder.path().empty());
        ASSERT_EQ(std::system("'" NIMB_BINARY_DIR "/tools/make_music' ."), 0);
        again = ScratchFolder::Read("data/music/brunkunch.it");
    }
    std::vector<unsigned char> show = ShowModule();
    EXPECT_EQ(again, std::string(show.begin(), show.end()));
}

TEST_F(MusicTest, BadModuleIsRefused)
{
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    std::vector<unsigned char> junk(4096, 0x5A);
    EXPECT_EQ(BASS_MusicLoad(TRUE, junk.data(), 0, (DWORD)junk.size(), BASS_MUSIC_AUTOFREE, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_MusicLoad(TRUE, nullptr, 0, 10, 0, 0), 0u);
    EXPECT_FALSE(BASS_MusicPlay(12345));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(MusicTest, StopFreesPauseKeeps)
{
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    std::vector<unsigned char> bytes = ShowModule();
    HMUSIC music = MusicPlayModule(bytes.data(), (int)bytes.size());
    MusicPause();
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_PAUSED);
    MusicStart();
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_PLAYING);
    MusicStop();
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_STOPPED);
    // A stopped output plays nothing until it is started again.
    HMUSIC next = BASS_MusicLoad(TRUE, bytes.data(), 0, (DWORD)bytes.size(), 0, 0);
    EXPECT_FALSE(BASS_MusicPlay(next));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_START);
    MusicStart();
    EXPECT_TRUE(BASS_MusicPlay(next));
}

TEST_F(MusicTest, NoSoundDeviceRunsSilentWithOneLine)
{
    ScopedEnv driver("SDL_AUDIODRIVER", "no_such_audio_driver");
    ::testing::internal::CaptureStderr();
    MusicInit(1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(BassTestingHasDevice());
    EXPECT_NE(err.find("No sound device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    std::vector<unsigned char> bytes = ShowModule();
    HMUSIC music = MusicPlayModule(bytes.data(), (int)bytes.size());
    EXPECT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(music), (DWORD)BASS_ACTIVE_PLAYING);
    MusicStop();
}

TEST_F(MusicTest, WavStreamPlaysItsSamplesOnce)
{
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    std::vector<int16_t> pcm;
    for (int i = 0; i < 300; i++) {
        pcm.push_back((int16_t)(i * 10));
        pcm.push_back((int16_t)(-i * 10));
    }
    std::vector<unsigned char> wav = MakeWav16(pcm, 44100);
    HSTREAM stream = MusicPlayStream(wav.data(), (int)wav.size());
    ASSERT_NE(stream, 0u);
    std::vector<int16_t> out(400 * 2);
    BassTestingMix(out.data(), 400);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 600), pcm);
    EXPECT_EQ(out[600], 0);
    EXPECT_EQ(BASS_ChannelIsActive(stream), (DWORD)BASS_ACTIVE_STOPPED);

    // Another rate, or no WAV at all, is refused.
    std::vector<unsigned char> other = MakeWav16(pcm, 22050);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, other.data(), 0, (DWORD)other.size(), 0), 0u);
    std::vector<unsigned char> junk(64, 1);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, junk.data(), 0, (DWORD)junk.size(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    // A stream without the auto-free flag stays until freed.
    HSTREAM kept = BASS_StreamCreateFile(TRUE, wav.data(), 0, (DWORD)wav.size(), 0);
    ASSERT_NE(kept, 0u);
    EXPECT_TRUE(BASS_StreamPlay(kept, FALSE, 0));
    MusicFreeStream(kept);
    EXPECT_FALSE(BASS_StreamFree(kept));
}

std::vector<int16_t> ReadSamples(const std::string& path)
{
    std::string bytes = ScratchFolder::Read(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Index of the first stereo frame that is not silent, or the frame count.
size_t FirstSoundFrame(const std::vector<int16_t>& samples)
{
    size_t i = 0;
    while (i < samples.size() && samples[i] == 0)
        i++;
    return i / 2;
}

// Frames the output had mixed when the loading effect went away, which is
// right before the sequencer loads and plays the module.
uint64_t g_mixedBeforePlay = 0;

class NotingLoader : public FakeEffect {
public:
    NotingLoader() : FakeEffect("Bar") {}
    ~NotingLoader() override { g_mixedBeforePlay = BassTestingFramesMixed(); }
};

// The show's own path: the sequencer opens the output, loads the module
// from data/music and plays it at the end of its loading. The disk driver
// runs faster than real time, so only frame counts are compared, never
// durations.
TEST_F(EscenorTest, ShowMusicIsHeardOnTheDiskDriver)
{
    std::string out = m_dir + "/audio.raw";
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", out.c_str());
    ScopedEnv delay("SDL_DISKAUDIODELAY", "1");
    const uint64_t mixedAtOpen = BassTestingFramesMixed();
    Make([](Escenor& e) { e.SetLoadingEffect(new NotingLoader(), 0, 1.0f); });
    const uint64_t mixedAfterPlay = BassTestingFramesMixed();
    ASSERT_TRUE(BassTestingHasDevice()) << "the disk audio driver did not open";

    // Wait until the file holds two seconds from the first sound on
    // (bounded, so that a silent output fails instead of hanging).
    const size_t wanted = 2 * kRate;
    for (int i = 0; i < 12000; i++) {
        std::vector<int16_t> samples = ReadSamples(out);
        size_t first = FirstSoundFrame(samples);
        if (first < samples.size() / 2 && samples.size() / 2 - first >= wanted)
            break;
        usleep(5000);
    }
    delete m_escenor;
    m_escenor = nullptr;
    BASS_Free();
    const uint64_t mixed = BassTestingFramesMixed() - mixedAtOpen;

    std::vector<int16_t> samples = ReadSamples(out);
    const size_t frames = samples.size() / 2;
    const size_t first = FirstSoundFrame(samples);
    ASSERT_LT(first, frames) << "the output stayed silent";
    ASSERT_GE(frames - first, wanted);

    // The same module rendered alone, in the device's blocks, from its start.
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    std::vector<unsigned char> bytes = ShowModule();
    ASSERT_NE(MusicPlayModule(bytes.data(), (int)bytes.size()), 0u);
    std::vector<int16_t> reference(wanted * 2 + 2048 * 2);
    for (size_t at = 0; at + 1024 <= reference.size() / 2; at += 1024)
        BassTestingMix(&reference[at * 2], 1024);
    const size_t lead = FirstSoundFrame(reference);
    ASSERT_LT(lead, (size_t)kRate / 100) << "the module starts with silence";
    ASSERT_GE(first, lead);
    const size_t start = first - lead; // the module's first frame in the file

    // Nothing plays before the module is played, and it plays from the
    // first block mixed after that. The file also holds the silence the
    // device wrote while paused (before BASS_Init resumed it and after
    // MusicStop), which the mixed count leaves out.
    ASSERT_GE(frames, mixed);
    const uint64_t pausedFrames = frames - mixed;
    EXPECT_GE(start, g_mixedBeforePlay - mixedAtOpen);
    EXPECT_LE(start, mixedAfterPlay - mixedAtOpen + pausedFrames);

    // What was heard is the module from its start, sample for sample.
    for (size_t i = 0; i < wanted * 2; i++) {
        ASSERT_EQ(samples[start * 2 + i], reference[i]) << "sample " << i;
    }
    for (int w = 0; w < 4; w++)
        EXPECT_GT(Rms(&samples[(start + (size_t)w * kRate / 2) * 2], kRate), 500.0) << "half second " << w;
}

} // namespace
