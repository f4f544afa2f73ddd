// Pipeline-state cache files: a header (magic, version, record size, count),
// the records, and a checksum over all that precedes it.
#include "d3d9_pipelines.h"

#include <sys/stat.h>

#include <errno.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d9gl {

namespace {
const char kMagic[8] = {'N', 'I', 'M', 'B', 'P', 'I', 'P', 'E'};
const uint32_t kVersion = 2;

struct Header {
    char magic[8];
    uint32_t version, recordSize, count, layout;
};

uint64_t Fnv(const void* p, size_t n, uint64_t h = 1469598103934665603ull)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

// Where the records' parts lie: a file of another build's layout is foreign.
uint32_t Layout()
{
    const size_t offsets[] = {sizeof(FFVertexKey), sizeof(FFPixelKey), offsetof(FFVertexKey, stage),
                              offsetof(FFPixelKey, stage), sizeof(FFPixelKey::Stage), offsetof(PipelineState, pixel),
                              offsetof(PipelineState, blendFunc), offsetof(PipelineState, shaders), offsetof(PipelineState, target),
                              offsetof(PipelineState, stage), offsetof(PipelineState, attrib)};
    return (uint32_t)Fnv(offsets, sizeof(offsets));
}

void MakeDirs(const std::string& dir)
{
    for (size_t i = 1; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0755);
}
} // namespace

uint32_t ShaderSourceHash(const std::string& source, bool vertex)
{
    const uint64_t h = Fnv(source.data(), source.size(), Fnv(vertex ? "v" : "p", 1));
    const uint32_t folded = (uint32_t)(h ^ (h >> 32));
    return folded ? folded : 1u;
}

bool PipelineState::operator==(const PipelineState& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
bool PipelineState::operator<(const PipelineState& o) const { return std::memcmp(this, &o, sizeof(*this)) < 0; }
size_t PipelineState::Hash() const
{
    // FNV-1a over 64-bit words: the records are large and hashed per draw.
    static_assert(sizeof(PipelineState) % 4 == 0, "records hash in words");
    const uint8_t* p = reinterpret_cast<const uint8_t*>(this);
    uint64_t h = 1469598103934665603ull;
    size_t i = 0;
    for (; i + 8 <= sizeof(*this); i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 1099511628211ull;
        h ^= h >> 29;
    }
    return (size_t)Fnv(p + i, sizeof(*this) - i, h);
}

bool ReadPipelineCache(const std::string& path, PipelineSet& into)
{
    FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    Header h;
    if (bytes.size() < sizeof(h) + 8) return false;
    std::memcpy(&h, bytes.data(), sizeof(h));
    if (std::memcmp(h.magic, kMagic, sizeof(kMagic)) != 0 || h.version != kVersion ||
        h.recordSize != sizeof(PipelineState) || h.layout != Layout())
        return false;
    const size_t body = sizeof(h) + (size_t)h.count * sizeof(PipelineState);
    if (h.count > bytes.size() / sizeof(PipelineState) || bytes.size() != body + 8) return false;
    uint64_t sum;
    std::memcpy(&sum, bytes.data() + body, 8);
    if (sum != Fnv(bytes.data(), body)) return false;
    for (uint32_t i = 0; i < h.count; ++i) {
        PipelineState s;
        std::memcpy(&s, bytes.data() + sizeof(h) + (size_t)i * sizeof(s), sizeof(s));
        into.insert(s);
    }
    return true;
}

bool WritePipelineCache(const std::string& path, const PipelineSet& states)
{
    if (path.empty()) return false;
    std::vector<PipelineState> sorted(states.begin(), states.end());
    std::sort(sorted.begin(), sorted.end());
    Header h;
    std::memset(&h, 0, sizeof(h));
    std::memcpy(h.magic, kMagic, sizeof(kMagic));
    h.version = kVersion;
    h.recordSize = sizeof(PipelineState);
    h.count = (uint32_t)sorted.size();
    h.layout = Layout();
    std::vector<uint8_t> bytes(sizeof(h) + sorted.size() * sizeof(PipelineState));
    std::memcpy(bytes.data(), &h, sizeof(h));
    if (!sorted.empty()) std::memcpy(bytes.data() + sizeof(h), sorted.data(), sorted.size() * sizeof(PipelineState));
    const uint64_t sum = Fnv(bytes.data(), bytes.size());
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fwrite(&sum, 8, 1, f) == 1;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

std::string ShippedPipelineCachePath() { return "data/d3d9-pipelines.bin"; }

std::string UserPipelineCachePath()
{
    const std::string name = std::string("/nimbshow/") + program_invocation_short_name + "-d3d9-pipelines.bin";
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg) return std::string(xdg) + name;
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.cache" + name;
    return std::string();
}

bool PipelineCachesOn()
{
    const char* v = std::getenv("NIMB_D3D9_PIPELINES");
    return !v || std::strcmp(v, "off") != 0;
}

} // namespace d3d9gl
