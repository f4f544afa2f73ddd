// Private to D3DX: the blended-mesh conversions behind ID3DXSkinInfo, and
// skin information read from .x files.
#pragma once

#include "d3dx9skin.h"
#include "xfile_tree.h"

#include <cstdint>
#include <vector>

namespace d3dx {

struct SkinInfluence {
    DWORD bone;
    float weight;
};

// Each vertex's influences, strongest first, weights summing to 1: those of
// vertex v are list[first[v]] .. list[first[v + 1] - 1].
struct SkinVertexInfluences {
    DWORD numBones = 0;
    std::vector<uint32_t> first;
    std::vector<SkinInfluence> list;
};

// indexed: ConvertToIndexedBlendedMesh with paletteSize; else
// ConvertToBlendedMesh (paletteSize ignored). *maxInfluences receives the
// vertex influences (indexed) or the face influences (not indexed).
HRESULT BlendSkinnedMesh(const SkinVertexInfluences& skin, bool indexed, ID3DXMesh* mesh, DWORD options,
                         DWORD paletteSize, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                         ID3DXBuffer** vertexRemap, DWORD* maxInfluences, DWORD* numCombinations,
                         ID3DXBuffer** combinationTable, ID3DXMesh** out);

// The SkinWeights of the Mesh object `meshIndex` as skin information for
// `mesh`, whose vertex v is the object's vertex originalVertex[v]. *out is
// null when the object has no SkinWeights.
HRESULT XFileSkinInfo(const XFileTree& tree, size_t meshIndex, ID3DXMesh* mesh,
                      const std::vector<DWORD>& originalVertex, ID3DXSkinInfo** out);

} // namespace d3dx
