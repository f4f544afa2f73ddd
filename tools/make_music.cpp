// Composes the show's music and writes it as an Impulse Tracker module:
// <run folder>/data/music/brunkunch.it. Samples are synthesised here; the
// output is the same on every run.
//
// Speed 6 at tempo 120 makes a row 0.125 s. The song is 144 rows (18 s):
// a 40-row intro (pads, half-time kick, a snare roll) turns at 5 s into the
// full groove (four-on-the-floor, octave bass, lead), and ends on a hit.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const int kRate = 44100;
const int kChannels = 8;

// ---- Little-endian writer ---------------------------------------------------

struct Writer {
    std::vector<uint8_t> bytes;
    void u8(unsigned v) { bytes.push_back((uint8_t)v); }
    void u16(unsigned v)
    {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void text(const char* s, size_t width)
    {
        size_t n = std::strlen(s);
        for (size_t i = 0; i < width; i++)
            u8(i < n ? (uint8_t)s[i] : 0);
    }
    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; i++)
            bytes[at + i] = (uint8_t)(v >> (8 * i));
    }
};

// ---- Samples ------------------------------------------------------------------

struct Sample {
    const char* name;
    std::vector<int16_t> data;
    uint32_t c5speed = kRate;
    bool loop = false;
    int volume = 64;
    // Auto-vibrato.
    int vibSpeed = 0, vibDepth = 0, vibRate = 0;
};

// Deterministic noise in [-1, 1].
struct Noise {
    uint32_t state = 0x1234567u;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (double)(state >> 8) / (double)(1u << 23) - 1.0;
    }
};

int16_t ToPcm(double v)
{
    if (v > 1.0)
        v = 1.0;
    if (v < -1.0)
        v = -1.0;
    return (int16_t)std::lround(v * 32000.0);
}

Sample Kick()
{
    Sample s;
    s.name = "kick";
    int n = kRate * 3 / 10;
    double phase = 0;
    for (int i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double freq = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2 * kPi * freq / kRate;
        double env = std::exp(-t * 9.0);
        double click = i < 60 ? (1.0 - i / 60.0) * 0.4 : 0.0;
        s.data.push_back(ToPcm(0.95 * env * std::sin(phase) + click));
    }
    return s;
}

Sample Snare()
{
    Sample s;
    s.name = "snare";
    Noise noise;
    int n = kRate / 4;
    double lp = 0, prev = 0;
    for (int i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double white = noise.next();
        lp += 0.45 * (white - lp);
        double hp = lp - prev * 0.6;
        prev = lp;
        double tone = std::sin(2 * kPi * 185.0 * t) * std::exp(-t * 25.0);
        double body = hp * std::exp(-t * 16.0);
        s.data.push_back(ToPcm(0.55 * tone + 0.75 * body));
    }
    return s;
}

Sample Hat(const char* name, double decay, double level)
{
    Sample s;
    s.name = name;
    Noise noise;
    noise.state = 0xBEEF01u;
    int n = (int)(kRate * 6.0 / decay);
    double prev = 0;
    for (int i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double white = noise.next();
        double hp = white - prev; // bright
        prev = white;
        s.data.push_back(ToPcm(level * hp * std::exp(-t * decay)));
    }
    return s;
}

// A looped, band-limited periodic wave. One cycle is kCycle samples and the
// C-5 rate is chosen so that a cycle plays at middle C.
const int kCycle = 168;

Sample Periodic(const char* name, double (*harmonic)(int k), int maxHarmonic, double level)
{
    Sample s;
    s.name = name;
    s.loop = true;
    s.c5speed = (uint32_t)std::lround(kCycle * 261.6255653);
    std::vector<double> cycle(kCycle, 0.0);
    double peak = 0;
    for (int i = 0; i < kCycle; i++) {
        double x = 2 * kPi * i / kCycle;
        for (int k = 1; k <= maxHarmonic; k++)
            cycle[i] += harmonic(k) * std::sin(k * x);
        peak = std::fmax(peak, std::fabs(cycle[i]));
    }
    for (int rep = 0; rep < 32; rep++)
        for (int i = 0; i < kCycle; i++)
            s.data.push_back(ToPcm(level * cycle[i] / peak));
    return s;
}

double BassHarmonic(int k) { return k == 1 ? 1.6 : (k <= 10 ? 1.0 / k : 0.0); }
double PulseHarmonic(int k)
{
    // 30% pulse.
    return std::sin(kPi * k * 0.3) / k;
}
double PadHarmonic(int k) { return 1.0 / std::pow((double)k, 1.6); }

// ---- Patterns -----------------------------------------------------------------

const int kNoteCut = 254;
const int kCmdBreak = 3; // C: pattern break

struct Cell {
    int note = -1; // 0..119, or kNoteCut
    int sample = 0;
    int volume = -1; // 0..64
    int command = 0;
    int param = 0;
};

struct Pattern {
    int rows;
    std::vector<Cell> cells;
    explicit Pattern(int r) : rows(r), cells((size_t)r * kChannels) {}
    Cell& at(int row, int ch) { return cells[(size_t)row * kChannels + ch]; }
    void note(int row, int ch, int n, int smp, int vol = -1)
    {
        Cell& c = at(row, ch);
        c.note = n;
        c.sample = smp;
        c.volume = vol;
    }
    void cut(int row, int ch) { at(row, ch).note = kNoteCut; }
};

// "A-3" -> note number (C-0 is 0).
int N(const char* s)
{
    static const int semis[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    int semi = semis[s[0] - 'A'];
    if (s[1] == '#')
        semi++;
    return (s[2] - '0') * 12 + semi;
}

enum { SKick = 1, SSnare, SHat, SOpenHat, SCrash, SBass, SLead, SPad };
enum { CKick, CSnare, CHat, CBass, CLead, CPad1, CPad2, CPad3 };

struct Chord {
    const char* root; // bass root, octave 2
    const char* tones[3];
};

const Chord kAm = {"A-2", {"A-4", "C-5", "E-5"}};
const Chord kF = {"F-2", {"F-4", "A-4", "C-5"}};
const Chord kC = {"C-3", {"G-4", "C-5", "E-5"}};
const Chord kG = {"G-2", {"G-4", "B-4", "D-5"}};

void Pads(Pattern& p, int row, const Chord& c, int vol)
{
    p.note(row, CPad1, N(c.tones[0]), SPad, vol);
    p.note(row, CPad2, N(c.tones[1]), SPad, vol);
    p.note(row, CPad3, N(c.tones[2]), SPad, vol);
}

// One bar (16 rows) of the full groove from `row`.
void GrooveBar(Pattern& p, int row, const Chord& c, bool fill)
{
    for (int i = 0; i < 16; i += 4)
        p.note(row + i, CKick, 60, SKick, 64);
    p.note(row + 4, CSnare, 60, SSnare, 56);
    p.note(row + 12, CSnare, 60, SSnare, 56);
    if (fill) {
        p.note(row + 14, CSnare, 60, SSnare, 36);
        p.note(row + 15, CSnare, 60, SSnare, 44);
    }
    for (int i = 0; i < 16; i += 2) {
        bool off = (i % 4) == 2;
        p.note(row + i, CHat, 60, off ? SOpenHat : SHat, off ? 34 : 26);
    }
    int root = N(c.root);
    for (int i = 0; i < 16; i += 2)
        p.note(row + i, CBass, (i % 4) == 2 ? root + 12 : root, SBass, (i % 4) == 2 ? 40 : 52);
    Pads(p, row, c, 14);
}

struct LeadNote {
    int row;
    const char* note; // nullptr: cut
};

void Lead(Pattern& p, int row, const std::vector<LeadNote>& notes, int vol)
{
    for (const LeadNote& n : notes) {
        if (n.note)
            p.note(row + n.row, CLead, N(n.note), SLead, vol);
        else
            p.cut(row + n.row, CLead);
    }
}

const std::vector<LeadNote> kLeadAm = {{0, "E-5"}, {3, "A-5"}, {6, "G-5"}, {8, "E-5"}, {12, "D-5"}, {14, "C-5"}};
const std::vector<LeadNote> kLeadF = {{0, "C-5"}, {3, "A-4"}, {6, "C-5"}, {8, "F-5"}, {12, "E-5"}, {14, "C-5"}};
const std::vector<LeadNote> kLeadC = {{0, "E-5"}, {3, "G-5"}, {6, "C-6"}, {8, "B-5"}, {10, "G-5"}, {12, "E-5"},
                                      {15, nullptr}};
const std::vector<LeadNote> kLeadG = {{0, "D-5"}, {2, "E-5"}, {4, "D-5"}, {6, "B-4"}, {8, "G-4"}, {11, nullptr},
                                      {12, "B-4"}, {14, "D-5"}};
const std::vector<LeadNote> kLeadAm2 = {{0, "A-5"}, {2, "G-5"}, {3, "A-5"}, {6, "C-6"}, {8, "B-5"}, {10, "A-5"},
                                        {12, "G-5"}, {14, "E-5"}};
const std::vector<LeadNote> kLeadF2 = {{0, "F-5"}, {3, "E-5"}, {6, "C-5"}, {8, "A-4"}, {11, "C-5"}, {12, "E-5"},
                                       {14, "G-5"}};

std::vector<Pattern> Compose()
{
    std::vector<Pattern> patterns;

    // 0: intro, 40 rows (0 to 5 s).
    Pattern intro(40);
    Pads(intro, 0, kAm, 30);
    Pads(intro, 16, kF, 30);
    Pads(intro, 32, kG, 34);
    intro.note(0, CBass, N(kAm.root), SBass, 32);
    intro.note(16, CBass, N(kF.root), SBass, 32);
    intro.note(32, CBass, N(kG.root), SBass, 38);
    for (int r = 0; r <= 32; r += 8)
        intro.note(r, CKick, 60, SKick, 60);
    for (int r = 16; r < 32; r += 4)
        intro.note(r + 2, CHat, 60, SHat, 22);
    // Snare roll into the change.
    const int roll[] = {32, 34, 36, 37, 38, 39};
    for (int i = 0; i < 6; i++)
        intro.note(roll[i], CSnare, 60, SSnare, 28 + i * 6);
    // A lead pick-up.
    Lead(intro, 32, {{4, "E-5"}, {6, "G-5"}}, 36);
    patterns.push_back(intro);

    // 1: Am, F with the crash on the change (5 s).
    Pattern a(32);
    GrooveBar(a, 0, kAm, false);
    GrooveBar(a, 16, kF, true);
    a.note(0, CSnare, 60, SCrash, 60);
    Lead(a, 0, kLeadAm, 44);
    Lead(a, 16, kLeadF, 44);
    patterns.push_back(a);

    // 2: C, G.
    Pattern b(32);
    GrooveBar(b, 0, kC, false);
    GrooveBar(b, 16, kG, true);
    Lead(b, 0, kLeadC, 44);
    Lead(b, 16, kLeadG, 44);
    patterns.push_back(b);

    // 3: Am, F, the lead an octave brighter.
    Pattern a2(32);
    GrooveBar(a2, 0, kAm, false);
    GrooveBar(a2, 16, kF, true);
    a2.note(0, CSnare, 60, SCrash, 52);
    Lead(a2, 0, kLeadAm2, 46);
    Lead(a2, 16, kLeadF2, 46);
    patterns.push_back(a2);

    // 4: the final hit, 8 rows (17 to 18 s).
    Pattern end(32);
    end.note(0, CKick, 60, SKick, 64);
    end.note(0, CSnare, 60, SCrash, 64);
    end.note(0, CBass, N(kAm.root), SBass, 56);
    end.note(0, CLead, N("A-5"), SLead, 44);
    Pads(end, 0, kAm, 30);
    end.note(4, CHat, 60, SOpenHat, 20);
    Cell& brk = end.at(7, CKick);
    brk.command = kCmdBreak;
    brk.param = 0;
    patterns.push_back(end);

    return patterns;
}

// Packed IT pattern data: every cell written with an explicit mask.
std::vector<uint8_t> Pack(Pattern& p)
{
    std::vector<uint8_t> out;
    for (int r = 0; r < p.rows; r++) {
        for (int ch = 0; ch < kChannels; ch++) {
            const Cell& c = p.at(r, ch);
            uint8_t mask = 0;
            if (c.note >= 0)
                mask |= 1;
            if (c.sample > 0)
                mask |= 2;
            if (c.volume >= 0)
                mask |= 4;
            if (c.command > 0)
                mask |= 8;
            if (!mask)
                continue;
            out.push_back((uint8_t)((ch + 1) | 0x80));
            out.push_back(mask);
            if (mask & 1)
                out.push_back((uint8_t)c.note);
            if (mask & 2)
                out.push_back((uint8_t)c.sample);
            if (mask & 4)
                out.push_back((uint8_t)c.volume);
            if (mask & 8) {
                out.push_back((uint8_t)c.command);
                out.push_back((uint8_t)c.param);
            }
        }
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> BuildModule()
{
    std::vector<Sample> samples;
    samples.push_back(Kick());
    samples.push_back(Snare());
    samples.push_back(Hat("hihat", 80.0, 0.45));
    samples.push_back(Hat("openhat", 18.0, 0.35));
    samples.push_back(Hat("crash", 3.2, 0.5));
    samples.push_back(Periodic("bass", BassHarmonic, 10, 0.8));
    Sample lead = Periodic("lead", PulseHarmonic, 24, 0.6);
    lead.vibSpeed = 10;
    lead.vibDepth = 6;
    lead.vibRate = 60;
    samples.push_back(lead);
    samples.push_back(Periodic("pad", PadHarmonic, 16, 0.5));

    std::vector<Pattern> patterns = Compose();
    const uint8_t orders[] = {0, 1, 2, 3, 4, 255};
    const unsigned ordNum = sizeof orders;

    Writer w;
    w.text("IMPM", 4);
    w.text("brunkunch", 26);
    w.u8(4);
    w.u8(16); // row highlights
    w.u16(ordNum);
    w.u16(0); // instruments: sample mode
    w.u16((unsigned)samples.size());
    w.u16((unsigned)patterns.size());
    w.u16(0x0214); // created with
    w.u16(0x0214); // compatible with
    w.u16(0x01 | 0x08); // stereo, linear slides
    w.u16(0);           // special
    w.u8(128);          // global volume
    w.u8(64);           // mix volume
    w.u8(6);            // speed
    w.u8(120);          // tempo
    w.u8(128);          // panning separation
    w.u8(0);            // pitch wheel depth
    w.u16(0);           // message length
    w.u32(0);           // message offset
    w.u32(0);           // reserved
    const uint8_t pan[kChannels] = {32, 30, 42, 32, 28, 18, 32, 46};
    const uint8_t vol[kChannels] = {64, 58, 44, 60, 56, 48, 48, 48};
    for (int ch = 0; ch < 64; ch++)
        w.u8(ch < kChannels ? pan[ch] : 32 | 128);
    for (int ch = 0; ch < 64; ch++)
        w.u8(ch < kChannels ? vol[ch] : 64);
    for (uint8_t o : orders)
        w.u8(o);
    size_t sampleOffsets = w.bytes.size();
    for (size_t i = 0; i < samples.size(); i++)
        w.u32(0);
    size_t patternOffsets = w.bytes.size();
    for (size_t i = 0; i < patterns.size(); i++)
        w.u32(0);

    std::vector<size_t> dataPointerAt;
    for (size_t i = 0; i < samples.size(); i++) {
        const Sample& s = samples[i];
        w.put32(sampleOffsets + 4 * i, (uint32_t)w.bytes.size());
        w.text("IMPS", 4);
        w.text(s.name, 12);
        w.u8(0);
        w.u8(64);                            // global volume
        w.u8(0x01 | 0x02 | (s.loop ? 0x10 : 0)); // data, 16-bit, loop
        w.u8(s.volume);
        w.text(s.name, 26);
        w.u8(0x01); // signed
        w.u8(0);    // no default pan
        w.u32((uint32_t)s.data.size());
        w.u32(0);
        w.u32(s.loop ? (uint32_t)s.data.size() : 0);
        w.u32(s.c5speed);
        w.u32(0);
        w.u32(0);
        dataPointerAt.push_back(w.bytes.size());
        w.u32(0);
        w.u8(s.vibSpeed);
        w.u8(s.vibDepth);
        w.u8(s.vibRate);
        w.u8(0); // sine
    }

    for (size_t i = 0; i < patterns.size(); i++) {
        std::vector<uint8_t> packed = Pack(patterns[i]);
        w.put32(patternOffsets + 4 * i, (uint32_t)w.bytes.size());
        w.u16((unsigned)packed.size());
        w.u16((unsigned)patterns[i].rows);
        w.u32(0);
        w.bytes.insert(w.bytes.end(), packed.begin(), packed.end());
    }

    for (size_t i = 0; i < samples.size(); i++) {
        w.put32(dataPointerAt[i], (uint32_t)w.bytes.size());
        for (int16_t v : samples[i].data)
            w.u16((uint16_t)v);
    }
    return w.bytes;
}

bool MakeDir(const std::string& path)
{
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_music <run folder>\n");
        return 2;
    }
    std::string data = std::string(argv[1]) + "/data";
    std::string dir = data + "/music";
    if (!MakeDir(argv[1]) || !MakeDir(data) || !MakeDir(dir)) {
        std::fprintf(stderr, "make_music: cannot create %s\n", dir.c_str());
        return 1;
    }
    std::vector<uint8_t> module = BuildModule();
    std::string path = dir + "/brunkunch.it";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(module.data(), 1, module.size(), f) != module.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_music: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
