// Cost of the sequencer's frame with show-sized effects (parameters looked
// up by name and keyed every frame), and of mixing the show's module.
//   build/bench/bench_sequencer [run folder]
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <bass.h>

#include "bass/bass_testing.h"
#include "escenor.h"
#include "escenor_testing.h"
#include "packfile.h"
#include "timer.h"
#include "windows/win_internal.h"

namespace {

const char* kNames[] = {"posx", "posy", "scalex", "scaley", "alpha", "u1", "v1", "u2", "v2", "imagenActual"};

// Reads ten parameters per frame, as the image strips do.
class Reader : public Effect {
public:
    Reader()
    {
        SetName("Reader");
        for (int i = 0; i < 9; i++)
            m_params.push_back(new PublicParamFloat(kNames[i], 0, -1e30f, 1e30f));
        m_params.push_back(new PublicParamInt(kNames[9], 0, -2000000000, 2000000000));
    }
    int Init() override { return 0; }
    int Start() override { return 0; }
    int Render(float) override
    {
        for (int i = 0; i < 9; i++)
            m_sum += static_cast<PublicParamFloat*>(GetParam(kNames[i]))->GetValue();
        m_sum += static_cast<PublicParamInt*>(GetParam(kNames[9]))->GetValue();
        return 0;
    }
    double m_sum = 0;
};

void Build(Escenor* e)
{
    // 30 entries over 18 s, each effect with constant, linear and sine keys.
    for (int i = 0; i < 30; i++) {
        Reader* r = new Reader;
        for (int k = 0; k < 9; k++) {
            PublicParamFloat* p = static_cast<PublicParamFloat*>(r->GetParam(kNames[k]));
            p->AddConstantKey(0, 0, 0.5f);
            for (int j = 0; j < 4; j++)
                p->AddLinearKey((float)(j * 4), (float)(j * 4 + 4), 0, 1);
        }
        static_cast<PublicParamFloat*>(r->GetParam("alpha"))->AddSineKey(0, 18, 0.5f, 0.5f, 5);
        static_cast<PublicParamInt*>(r->GetParam("imagenActual"))->AddLinearKey(0, 18, 0, 20);
        e->AddEffect(r, 0, 18, (float)(i % 7));
    }
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = 18 * 1000; // 1000 frames per second of show
    PlatformScriptClocks(true, 1000000);
    PlatformSetCounter(0);
    Timer(TimerCommand::Start);
    SetShowBuilderForTesting(Build);
    Escenor* escenor = new Escenor("fichero_script.qvs");
    escenor->m_startTime = 0.0f;
    auto start = std::chrono::steady_clock::now();
    for (int f = 1; f <= frames; f++) {
        PlatformSetCounter((LONGLONG)f * 1000);
        escenor->RenderFrame();
    }
    double frameTime = Seconds(start) / frames;
    delete escenor;
    BASS_Free();
    std::printf("sequencer frame, 30 entries x 10 keyed parameters: %.2f us\n", frameTime * 1e6);

    std::string module = std::string(argc > 1 ? argv[1] : "build/run") + "/data/music/brunkunch.it";
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    PackFile reader(nullptr);
    int size = 0;
    unsigned char* bytes = reader.LoadFile(module.c_str(), &size);
    HMUSIC music = BASS_MusicLoad(TRUE, bytes, 0, (DWORD)size, BASS_MUSIC_AUTOFREE, 0);
    BASS_MusicPlay(music);
    delete[] bytes;
    std::vector<int16_t> block(1024 * 2);
    start = std::chrono::steady_clock::now();
    int blocks = 0;
    while (BASS_ChannelIsActive(music) == BASS_ACTIVE_PLAYING) {
        BassTestingMix(block.data(), 1024);
        blocks++;
    }
    double mixTime = Seconds(start);
    double audio = blocks * 1024.0 / 44100.0;
    std::printf("module mix: %.1f s of audio in %.3f s (%.0fx real time)\n", audio, mixTime, audio / mixTime);
    BASS_Free();
    return 0;
}
