// Layer-internal: the pipeline states fixed-function draws meet (the key
// pair and the GL state a rasteriser builds its code for), kept in small
// versioned files so that a later device compiles their programs and makes
// their first draws when it is created, not inside a frame.
#pragma once

#include "d3d9_ffp.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace d3d9gl {

// Only fixed-size integers, zeroed before they are filled, so that equality,
// the hash and the file read every byte.
struct PipelineState {
    FFVertexKey vertex;
    FFPixelKey pixel;
    uint8_t points, blend, depthTest, depthMask, stencilTest, cull, colorMask, depthClamp;
    uint32_t blendFunc[4], blendOp[2], depthFunc, cullFace, polygonMode;
    // Hashes of the application's vertex and pixel shader sources (ShaderSourceHash);
    // 0 for a fixed-function half, whose key is then the one above.
    uint32_t shaders[2];
    uint32_t stencil[2][4];  // front and back: function, fail, depth fail, pass
    uint32_t target, depth;  // D3DFORMATs; target 0 is the window's framebuffer, depth 0 none
    struct Stage {
        uint32_t format;     // D3DFORMAT of the texture, 0 without one
        uint8_t pot, mips, pad[2];
        int32_t minFilter, magFilter, wrapS, wrapT;
    } stage[8];
    uint32_t attribCount;
    struct Attrib {
        uint8_t location, size, normalized, pad;
        uint32_t type, offset, stride;
    } attrib[16];

    bool operator==(const PipelineState& o) const;
    bool operator<(const PipelineState& o) const;
    size_t Hash() const;
};

using PipelineSet = std::unordered_set<PipelineState, KeyHash<PipelineState>>;

// A shader source's identity in pipeline states (never 0).
uint32_t ShaderSourceHash(const std::string& source, bool vertex);

inline uint64_t ShaderPairKey(uint32_t vertex, uint32_t pixel) { return (uint64_t)vertex << 32 | pixel; }

// Reads a cache file; false (and nothing added) when it is missing, truncated,
// corrupt or of another version or layout.
bool ReadPipelineCache(const std::string& path, PipelineSet& into);
// Writes the states sorted (so that the same set gives the same bytes),
// through a temporary file renamed over the old one; false on failure.
bool WritePipelineCache(const std::string& path, const PipelineSet& states);

// The cache shipped with the show (in its data folder) and the user's own,
// one per program ($XDG_CACHE_HOME, else ~/.cache; empty when neither is
// known). NIMB_D3D9_PIPELINES=off leaves both unread and unwritten.
std::string ShippedPipelineCachePath();
std::string UserPipelineCachePath();
bool PipelineCachesOn();

} // namespace d3d9gl
