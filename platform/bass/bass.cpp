// Music and streams mixed into one SDL2 audio device at the output rate,
// 16-bit stereo. Modules are rendered by libopenmpt without dithering.
#include "bass.h"

#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <mscrt.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bass_testing.h"
#include "event_trace.h"

namespace {

struct Channel {
    DWORD handle;
    bool isMusic;
    bool autoFree;
    bool playing;
    openmpt_module* module;      // music
    std::vector<int16_t> pcm;    // stream: interleaved stereo at the output rate
    size_t position;             // stream: next frame
};

struct Output {
    bool initialised = false;
    bool exitHook = false;
    SDL_AudioDeviceID device = 0; // 0: silent
    bool paused = false;          // BASS_Pause or BASS_Stop
    int rate = 44100;
    DWORD nextHandle = 1;
    std::vector<Channel*> channels;
    std::vector<int16_t> scratch;
    std::vector<int32_t> mix;
    uint64_t framesMixed = 0;
};

Output g_out;
std::string g_noDeviceReason;
thread_local int g_error = BASS_OK;

bool Fail(int code)
{
    g_error = code;
    return false;
}

bool Ok()
{
    g_error = BASS_OK;
    return true;
}

// Serialises the API against the audio thread.
struct Lock {
    Lock() { if (g_out.device) SDL_LockAudioDevice(g_out.device); }
    ~Lock() { if (g_out.device) SDL_UnlockAudioDevice(g_out.device); }
};

void DestroyChannel(Channel* c)
{
    if (c->module)
        openmpt_module_destroy(c->module);
    delete c;
}

Channel* Find(DWORD handle)
{
    for (Channel* c : g_out.channels)
        if (c->handle == handle)
            return c;
    return nullptr;
}

void Remove(Channel* c)
{
    for (size_t i = 0; i < g_out.channels.size(); i++) {
        if (g_out.channels[i] == c) {
            g_out.channels.erase(g_out.channels.begin() + (long)i);
            break;
        }
    }
    DestroyChannel(c);
}

// A channel that ended: auto-free channels go away, others stay stopped.
void Ended(Channel* c)
{
    c->playing = false;
    if (c->autoFree)
        Remove(c);
}

void Mix(int16_t* out, int frames)
{
    g_out.mix.assign((size_t)frames * 2, 0);
    g_out.scratch.resize((size_t)frames * 2);
    std::vector<Channel*> ended;
    for (Channel* c : g_out.channels) {
        if (!c->playing)
            continue;
        size_t got = 0;
        if (c->isMusic) {
            got = openmpt_module_read_interleaved_stereo(c->module, g_out.rate, (size_t)frames,
                                                         g_out.scratch.data());
        } else {
            size_t left = c->pcm.size() / 2 - c->position;
            got = left < (size_t)frames ? left : (size_t)frames;
            if (got > 0)
                std::memcpy(g_out.scratch.data(), c->pcm.data() + c->position * 2, got * 2 * sizeof(int16_t));
            c->position += got;
        }
        for (size_t i = 0; i < got * 2; i++)
            g_out.mix[i] += g_out.scratch[i];
        if (got < (size_t)frames)
            ended.push_back(c);
    }
    for (Channel* c : ended)
        Ended(c);
    for (size_t i = 0; i < (size_t)frames * 2; i++) {
        int32_t v = g_out.mix[i];
        out[i] = (int16_t)(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
    }
    g_out.framesMixed += (uint64_t)frames;
}

// Keeps the sound libraries' own complaints (ALSA on a machine without a
// card) off the standard error stream while the device is opened: one line
// of ours tells what happened.
class QuietStderr {
public:
    QuietStderr()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        int null = open("/dev/null", O_WRONLY);
        if (m_saved >= 0 && null >= 0)
            dup2(null, 2);
        if (null >= 0)
            close(null);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        if (m_saved >= 0) {
            dup2(m_saved, 2);
            close(m_saved);
        }
    }

private:
    int m_saved;
};

void QuietLog(const char*, void*)
{
}

void SDLCALL AudioCallback(void*, Uint8* stream, int bytes)
{
    Mix(reinterpret_cast<int16_t*>(stream), bytes / 4);
}

void CloseAll()
{
    if (g_out.device) {
        SDL_CloseAudioDevice(g_out.device);
        g_out.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    for (Channel* c : g_out.channels)
        DestroyChannel(c);
    g_out.channels.clear();
    g_out.initialised = false;
    g_out.paused = false;
}

void AtExit()
{
    CloseAll();
}

// Reads a whole file, or copies the given bytes.
bool GetBytes(BOOL mem, const void* file, DWORD offset, DWORD length, std::vector<uint8_t>& bytes)
{
    if (!file)
        return Fail(BASS_ERROR_ILLPARAM);
    if (mem) {
        if (length == 0)
            return Fail(BASS_ERROR_ILLPARAM);
        const uint8_t* p = static_cast<const uint8_t*>(file) + offset;
        bytes.assign(p, p + length);
        return true;
    }
    FILE* f = ms_fopen(static_cast<const char*>(file), "rb");
    if (!f)
        return Fail(BASS_ERROR_FILEOPEN);
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    if (size < 0 || (unsigned long)size < offset) {
        std::fclose(f);
        return Fail(BASS_ERROR_FILEOPEN);
    }
    size_t n = (size_t)size - offset;
    if (length && length < n)
        n = length;
    bytes.resize(n);
    std::fseek(f, (long)offset, SEEK_SET);
    bool ok = std::fread(bytes.data(), 1, n, f) == n;
    std::fclose(f);
    if (!ok || n == 0)
        return Fail(BASS_ERROR_FILEOPEN);
    return true;
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }
uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

// RIFF WAVE, PCM 8 or 16 bit, mono or stereo, at the output rate.
bool DecodeWav(const std::vector<uint8_t>& b, std::vector<int16_t>& pcm)
{
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    int channels = 0, bits = 0;
    uint32_t rate = 0;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        uint32_t size = Le32(&b[pos + 4]);
        size_t body = pos + 8;
        if (size > b.size() - body)
            size = (uint32_t)(b.size() - body);
        if (std::memcmp(&b[pos], "fmt ", 4) == 0 && size >= 16) {
            if (Le16(&b[body]) != 1)
                return false;
            channels = Le16(&b[body + 2]);
            rate = Le32(&b[body + 4]);
            bits = Le16(&b[body + 14]);
            haveFormat = true;
        } else if (std::memcmp(&b[pos], "data", 4) == 0 && haveFormat) {
            if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate != (uint32_t)g_out.rate)
                return false;
            size_t frameBytes = (size_t)channels * (bits / 8);
            size_t frames = size / frameBytes;
            pcm.resize(frames * 2);
            for (size_t i = 0; i < frames; i++) {
                for (int ch = 0; ch < 2; ch++) {
                    int src = channels == 2 ? ch : 0;
                    const uint8_t* s = &b[body + i * frameBytes + (size_t)src * (bits / 8)];
                    pcm[i * 2 + ch] = bits == 16 ? (int16_t)Le16(s) : (int16_t)((s[0] - 128) * 256);
                }
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

DWORD AddChannel(Channel* c)
{
    Lock lock;
    c->handle = g_out.nextHandle++;
    g_out.channels.push_back(c);
    return c->handle;
}

BOOL Play(DWORD handle, bool isMusic, bool restart)
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT);
    if (g_out.paused)
        return Fail(BASS_ERROR_START);
    Lock lock;
    Channel* c = Find(handle);
    if (!c || c->isMusic != isMusic)
        return Fail(BASS_ERROR_HANDLE);
    if (restart) {
        if (c->module)
            openmpt_module_set_position_seconds(c->module, 0.0);
        c->position = 0;
    }
    c->playing = true;
    return Ok();
}

BOOL Free(DWORD handle, bool isMusic)
{
    Lock lock;
    Channel* c = Find(handle);
    if (!c || c->isMusic != isMusic)
        return Fail(BASS_ERROR_HANDLE);
    Remove(c);
    return Ok();
}

} // namespace

BOOL BASS_Init(int device, DWORD freq, DWORD, HWND, const GUID*)
{
    if (g_out.initialised)
        return Fail(BASS_ERROR_ALREADY);
    if (device < -1)
        return Fail(BASS_ERROR_DEVICE);
    g_out.rate = freq ? (int)freq : 44100;
    g_out.device = 0;
    if (device != 0) {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            g_noDeviceReason = SDL_GetError();
        } else {
            SDL_AudioSpec want;
            SDL_zero(want);
            want.freq = g_out.rate;
            want.format = AUDIO_S16SYS;
            want.channels = 2;
            want.samples = 1024;
            want.callback = AudioCallback;
            SDL_AudioSpec have;
            g_out.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            if (!g_out.device) {
                g_noDeviceReason = SDL_GetError();
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
            }
        }
    }
    if (device != 0 && !g_out.device)
        std::fprintf(stderr, "No sound device (%s): the music is not heard.\n", g_noDeviceReason.c_str());
    g_out.initialised = true;
    g_out.paused = false;
    if (!g_out.exitHook) {
        g_out.exitHook = true;
        std::atexit(AtExit);
    }
    if (g_out.device)
        SDL_PauseAudioDevice(g_out.device, 0);
    return Ok();
}

BOOL BASS_Free()
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT);
    CloseAll();
    return Ok();
}

int BASS_ErrorGetCode()
{
    return g_error;
}

BOOL BASS_Stop()
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT);
    {
        Lock lock;
        std::vector<Channel*> playing;
        for (Channel* c : g_out.channels)
            if (c->playing)
                playing.push_back(c);
        for (Channel* c : playing)
            Ended(c);
        g_out.paused = true;
    }
    if (g_out.device)
        SDL_PauseAudioDevice(g_out.device, 1);
    return Ok();
}

BOOL BASS_Pause()
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT);
    {
        Lock lock;
        g_out.paused = true;
    }
    if (g_out.device)
        SDL_PauseAudioDevice(g_out.device, 1);
    return Ok();
}

BOOL BASS_Start()
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT);
    {
        Lock lock;
        g_out.paused = false;
    }
    if (g_out.device)
        SDL_PauseAudioDevice(g_out.device, 0);
    return Ok();
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags, DWORD)
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT), 0;
    std::vector<uint8_t> bytes;
    if (!GetBytes(mem, file, offset, length, bytes))
        return 0;
    openmpt_module_initial_ctl ctls[] = {{"play.at_end", "stop"}, {nullptr, nullptr}};
    int error = 0;
    openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), QuietLog, nullptr,
                                                                nullptr, nullptr, &error, nullptr, ctls);
    if (!module)
        return Fail(BASS_ERROR_FILEFORM), 0;
    openmpt_module_set_repeat_count(module, 0);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    Channel* c = new Channel{0, true, (flags & BASS_MUSIC_AUTOFREE) != 0, false, module, {}, 0};
    DWORD handle = AddChannel(c);
    Ok();
    return handle;
}

BOOL BASS_MusicPlay(HMUSIC handle)
{
    const BOOL played = Play(handle, true, true);
    if (played)
        PlatformTraceEvent("music");
    return played;
}

void BASS_MusicFree(HMUSIC handle)
{
    Free(handle, true);
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags)
{
    if (!g_out.initialised)
        return Fail(BASS_ERROR_INIT), 0;
    std::vector<uint8_t> bytes;
    if (!GetBytes(mem, file, offset, length, bytes))
        return 0;
    Channel* c = new Channel{0, false, (flags & BASS_STREAM_AUTOFREE) != 0, false, nullptr, {}, 0};
    if (!DecodeWav(bytes, c->pcm)) {
        delete c;
        return Fail(BASS_ERROR_FILEFORM), 0;
    }
    DWORD handle = AddChannel(c);
    Ok();
    return handle;
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD)
{
    return Play(handle, false, flush != FALSE);
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    return Free(handle, false);
}

DWORD BASS_ChannelIsActive(DWORD handle)
{
    Lock lock;
    Channel* c = Find(handle);
    if (!c || !c->playing)
        return BASS_ACTIVE_STOPPED;
    return g_out.paused ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_PLAYING;
}

bool BassTestingHasDevice()
{
    return g_out.device != 0;
}

uint64_t BassTestingFramesMixed()
{
    Lock lock;
    return g_out.framesMixed;
}

void BassTestingMix(int16_t* out, int frames)
{
    Lock lock;
    Mix(out, frames);
}
