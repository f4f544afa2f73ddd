// The blended-mesh conversions: faces grouped into bone combinations, vertices
// duplicated per combination, blend weights (and palette indices) written
// after the position.
#include "d3dx9skin_internal.h"

#include "d3dx9mesh_internal.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <tuple>
#include <vector>

namespace d3dx {

namespace {

constexpr DWORD kUnused = 0xFFFFFFFF;
// Four blend indices fit a UBYTE4, and the fixed-function pipeline blends at
// most four matrices per vertex.
constexpr DWORD kMaxVertexInfluences = 4;
// A UBYTE4 index reaches 256 palette entries; a longer palette table is
// allowed but only that many entries are used.
constexpr DWORD kMaxUsablePalette = 256;
constexpr DWORD kMaxPaletteTable = 1u << 16;
// Mesh creation flags (the optimisation flags live above them).
constexpr DWORD kCreationFlags = 0x0003FFFF;

struct Copy {
    UINT from, to, size;
};

// Where each part of a blended vertex goes.
struct Layout {
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    UINT stride = 0;
    UINT numWeights = 0;
    UINT weights = 0;
    UINT indices = 0;
    bool indexed = false;
    std::vector<Copy> copies; // position first
};

// Position, then (influences - 1) blend weights, then (indexed) the UBYTE4
// indices, then every other element of the source in its order. Blend
// weights and indices the source already had are replaced.
HRESULT makeLayout(ID3DXMesh* mesh, bool indexed, DWORD influences, Layout* out)
{
    D3DVERTEXELEMENT9 in[MAX_FVF_DECL_SIZE];
    HRESULT hr = mesh->GetDeclaration(in);
    if (FAILED(hr))
        return hr;
    UINT n = D3DXGetDeclLength(in);
    int position = -1;
    for (UINT i = 0; i < n; ++i) {
        if (in[i].Stream == 0 && in[i].Usage == D3DDECLUSAGE_POSITION && in[i].UsageIndex == 0 &&
            in[i].Type == D3DDECLTYPE_FLOAT3) {
            position = (int)i;
            break;
        }
    }
    if (position < 0)
        return D3DERR_INVALIDCALL;
    UINT count = 0;
    UINT offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE usageIndex, BYTE method) {
        D3DVERTEXELEMENT9 e = {0, (WORD)offset, type, method, usage, usageIndex};
        out->decl[count++] = e;
        offset += DeclTypeSize(e.Type);
        return e.Offset;
    };
    out->copies.push_back(Copy{in[position].Offset, add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 0), 12});
    out->numWeights = influences - 1;
    if (out->numWeights)
        out->weights = add((BYTE)(D3DDECLTYPE_FLOAT1 + out->numWeights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0, 0);
    out->indexed = indexed;
    if (indexed)
        out->indices = add(D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0, 0);
    for (UINT i = 0; i < n; ++i) {
        const D3DVERTEXELEMENT9& e = in[i];
        if ((int)i == position || e.Stream != 0)
            continue;
        if ((e.Usage == D3DDECLUSAGE_BLENDWEIGHT || e.Usage == D3DDECLUSAGE_BLENDINDICES) && e.UsageIndex == 0)
            continue;
        if (count + 1 >= MAX_FVF_DECL_SIZE)
            return D3DERR_INVALIDCALL;
        UINT size = DeclTypeSize(e.Type);
        out->copies.push_back(Copy{e.Offset, add(e.Type, e.Usage, e.UsageIndex, e.Method), size});
    }
    out->decl[count] = D3DDECL_END();
    out->stride = offset;
    return S_OK;
}

struct Combination {
    DWORD attribute = 0;
    std::vector<DWORD> bones; // ascending: slot i holds bones[i]
    std::vector<DWORD> faces; // source faces, in output order
    DWORD firstVertex = 0;
    DWORD numVertices = 0;
};

// The face's bones, ascending and distinct.
void faceBones(const SkinVertexInfluences& skin, const DWORD* corners, DWORD perVertex, std::vector<DWORD>* out)
{
    out->clear();
    for (int k = 0; k < 3; ++k) {
        DWORD v = corners[k];
        DWORD n = std::min(perVertex, skin.first[v + 1] - skin.first[v]);
        for (DWORD i = 0; i < n; ++i)
            out->push_back(skin.list[skin.first[v] + i].bone);
    }
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
}

class Converter {
public:
    Converter(const SkinVertexInfluences& skin, bool indexed) : skin_(skin), indexed_(indexed) {}

    HRESULT run(ID3DXMesh* mesh, DWORD options, DWORD paletteSize, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                DWORD* faceRemap, ID3DXBuffer** vertexRemap, DWORD* maxInfluences, DWORD* numCombinations,
                ID3DXBuffer** table, ID3DXMesh** out)
    {
        numFaces_ = mesh->GetNumFaces();
        numVertices_ = mesh->GetNumVertices();
        HRESULT hr = readMesh(mesh);
        if (FAILED(hr))
            return hr;

        // Influences per vertex, and the bones of each face.
        perVertex_ = 1;
        for (DWORD v = 0; v < numVertices_; ++v)
            perVertex_ = std::max(perVertex_, std::min(kMaxVertexInfluences, skin_.first[v + 1] - skin_.first[v]));
        DWORD faceMost = 1;
        std::vector<DWORD> bones;
        for (DWORD f = 0; f < numFaces_; ++f) {
            faceBones(skin_, &src_.indices[f * 3], perVertex_, &bones);
            faceMost = std::max<DWORD>(faceMost, (DWORD)bones.size());
        }
        DWORD palette;
        DWORD influences;
        if (indexed_) {
            if (paletteSize == 0 || paletteSize > kMaxPaletteTable)
                return D3DERR_INVALIDCALL;
            palette = std::min(paletteSize, kMaxUsablePalette);
            if (faceMost > palette)
                return D3DERR_INVALIDCALL;
            tableSlots_ = paletteSize;
            influences = perVertex_;
        } else {
            if (faceMost > kMaxVertexInfluences)
                return D3DXERR_TOOMANYINFLUENCES;
            palette = faceMost;
            tableSlots_ = faceMost;
            influences = faceMost;
        }

        hr = makeLayout(mesh, indexed_, influences, &layout_);
        if (FAILED(hr))
            return hr;
        try {
            group(palette);
            placeVertices(options);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }

        ID3DXMesh* blended = nullptr;
        hr = build(mesh, options, &blended);
        ID3DXBuffer* tableBuffer = nullptr;
        if (SUCCEEDED(hr))
            hr = makeTable(&tableBuffer);
        ID3DXBuffer* remapBuffer = nullptr;
        if (SUCCEEDED(hr) && vertexRemap)
            hr = makeRemap(&remapBuffer);
        if (SUCCEEDED(hr) && adjacencyOut)
            hr = writeAdjacency(mesh, adjacencyIn, adjacencyOut);
        if (FAILED(hr)) {
            if (blended)
                blended->Release();
            if (tableBuffer)
                tableBuffer->Release();
            if (remapBuffer)
                remapBuffer->Release();
            return hr;
        }
        if (faceRemap)
            for (DWORD f = 0; f < numFaces_; ++f)
                faceRemap[f] = outFaces_[f];
        if (vertexRemap)
            *vertexRemap = remapBuffer;
        if (maxInfluences)
            *maxInfluences = influences;
        if (numCombinations)
            *numCombinations = (DWORD)combinations_.size();
        if (table)
            *table = tableBuffer;
        else
            tableBuffer->Release();
        *out = blended;
        return S_OK;
    }

private:
    HRESULT readMesh(ID3DXMesh* mesh)
    {
        HRESULT hr;
        try {
            hr = ReadMesh(mesh, &src_);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (FAILED(hr))
            return hr;
        for (DWORD index : src_.indices)
            if (index >= numVertices_)
                return D3DERR_INVALIDCALL;
        return S_OK;
    }

    // Faces of one attribute go, in order, into the first combination they
    // fit; a new combination opens when the palette is full.
    void group(DWORD palette)
    {
        std::vector<DWORD> order(numFaces_);
        for (DWORD f = 0; f < numFaces_; ++f)
            order[f] = f;
        std::stable_sort(order.begin(), order.end(),
                         [this](DWORD a, DWORD b) { return src_.attributes[a] < src_.attributes[b]; });
        std::vector<char> inCombination(skin_.numBones, 0);
        std::vector<DWORD> bones, pending, later;
        size_t at = 0;
        while (at < order.size()) {
            DWORD attribute = src_.attributes[order[at]];
            pending.clear();
            while (at < order.size() && src_.attributes[order[at]] == attribute)
                pending.push_back(order[at++]);
            while (!pending.empty()) {
                Combination c;
                c.attribute = attribute;
                later.clear();
                for (DWORD f : pending) {
                    faceBones(skin_, &src_.indices[f * 3], perVertex_, &bones);
                    size_t added = 0;
                    for (DWORD b : bones)
                        added += !inCombination[b];
                    if (c.bones.size() + added > palette) {
                        later.push_back(f);
                        continue;
                    }
                    for (DWORD b : bones) {
                        if (!inCombination[b]) {
                            inCombination[b] = 1;
                            c.bones.push_back(b);
                        }
                    }
                    c.faces.push_back(f);
                }
                for (DWORD b : c.bones)
                    inCombination[b] = 0;
                std::sort(c.bones.begin(), c.bones.end());
                combinations_.push_back(std::move(c));
                pending.swap(later);
            }
        }
    }

    // Each combination gets its own run of vertices, in source order; a
    // vertex used by several combinations is copied into each.
    void placeVertices(DWORD options)
    {
        std::vector<DWORD> newIndex(numVertices_, kUnused);
        outIndices_.resize((size_t)numFaces_ * 3);
        outFaces_.reserve(numFaces_);
        for (Combination& c : combinations_) {
            std::vector<DWORD> used;
            for (DWORD f : c.faces)
                for (int k = 0; k < 3; ++k)
                    used.push_back(src_.indices[f * 3 + k]);
            std::sort(used.begin(), used.end());
            used.erase(std::unique(used.begin(), used.end()), used.end());
            c.firstVertex = (DWORD)vertexSource_.size();
            c.numVertices = (DWORD)used.size();
            for (DWORD v : used) {
                newIndex[v] = (DWORD)vertexSource_.size();
                vertexSource_.push_back(v);
                vertexCombination_.push_back((DWORD)(&c - combinations_.data()));
            }
            if (options & D3DXMESHOPT_VERTEXCACHE)
                reorderForCache(c, newIndex);
            for (DWORD f : c.faces) {
                size_t out = outFaces_.size();
                for (int k = 0; k < 3; ++k)
                    outIndices_[out * 3 + k] = newIndex[src_.indices[f * 3 + k]];
                outFaces_.push_back(f);
            }
        }
    }

    // Orders the combination's faces for the post-transform vertex cache.
    void reorderForCache(Combination& c, const std::vector<DWORD>& newIndex)
    {
        std::vector<unsigned int> local(c.faces.size() * 3), sorted(c.faces.size() * 3);
        std::multimap<std::tuple<unsigned, unsigned, unsigned>, DWORD> byCorners;
        for (size_t i = 0; i < c.faces.size(); ++i) {
            DWORD f = c.faces[i];
            for (int k = 0; k < 3; ++k)
                local[i * 3 + k] = newIndex[src_.indices[f * 3 + k]] - c.firstVertex;
            byCorners.emplace(std::make_tuple(local[i * 3], local[i * 3 + 1], local[i * 3 + 2]), f);
        }
        meshopt_optimizeVertexCache(sorted.data(), local.data(), local.size(), c.numVertices);
        std::vector<DWORD> faces(c.faces.size());
        for (size_t i = 0; i < faces.size(); ++i) {
            auto it = byCorners.find(std::make_tuple(sorted[i * 3], sorted[i * 3 + 1], sorted[i * 3 + 2]));
            if (it == byCorners.end())
                return; // the optimiser turned a triangle: keep the source order
            faces[i] = it->second;
            byCorners.erase(it);
        }
        c.faces.swap(faces);
    }

    HRESULT build(ID3DXMesh* mesh, DWORD options, ID3DXMesh** out)
    {
        DWORD flags = options & kCreationFlags;
        if (!(flags & ~D3DXMESH_32BIT))
            flags |= src_.options & kCreationFlags;
        flags |= src_.options & D3DXMESH_32BIT;
        MeshData blended;
        try {
            blended.decl.assign(layout_.decl, layout_.decl + D3DXGetDeclLength(layout_.decl) + 1);
            blended.stride = layout_.stride;
            blended.vertices.resize(vertexSource_.size() * layout_.stride);
            BYTE* dst = blended.vertices.data();
            for (size_t i = 0; i < vertexSource_.size(); ++i, dst += layout_.stride)
                writeVertex(vertexSource_[i], combinations_[vertexCombination_[i]], dst);
            blended.indices = outIndices_;
            blended.attributes.reserve(numFaces_);
            DWORD face = 0;
            for (size_t g = 0; g < combinations_.size(); ++g) {
                const Combination& c = combinations_[g];
                blended.table.push_back(
                    D3DXATTRIBUTERANGE{(DWORD)g, face, (DWORD)c.faces.size(), c.firstVertex, c.numVertices});
                blended.attributes.insert(blended.attributes.end(), c.faces.size(), (DWORD)g);
                face += (DWORD)c.faces.size();
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        IDirect3DDevice9* device = nullptr;
        HRESULT hr = mesh->GetDevice(&device);
        if (FAILED(hr))
            return hr;
        hr = WriteMesh(blended, flags, device, out);
        device->Release();
        return hr;
    }

    // The vertex's elements, its weights for the combination's bones and,
    // indexed, the palette slots of its bones.
    void writeVertex(DWORD source, const Combination& c, BYTE* dst) const
    {
        const BYTE* src = src_.vertices.data() + (size_t)source * src_.stride;
        for (const Copy& copy : layout_.copies)
            std::memcpy(dst + copy.to, src + copy.from, copy.size);
        float weights[kMaxVertexInfluences] = {};
        BYTE slots[4] = {};
        const SkinInfluence* infl = skin_.list.data() + skin_.first[source];
        DWORD n = std::min(perVertex_, skin_.first[source + 1] - skin_.first[source]);
        float sum = 0.0f;
        for (DWORD i = 0; i < n; ++i)
            sum += infl[i].weight;
        auto slotOf = [&c](DWORD bone) {
            return (DWORD)(std::lower_bound(c.bones.begin(), c.bones.end(), bone) - c.bones.begin());
        };
        if (layout_.indexed) {
            for (DWORD i = 0; i < n; ++i) {
                weights[i] = infl[i].weight / sum;
                slots[i] = (BYTE)slotOf(infl[i].bone);
            }
            // Unused slots point at the vertex's first bone with weight 0.
            for (DWORD i = n; i < 4; ++i)
                slots[i] = slots[0];
            std::memcpy(dst + layout_.indices, slots, 4);
        } else {
            for (DWORD i = 0; i < n; ++i)
                weights[slotOf(infl[i].bone)] = infl[i].weight / sum;
        }
        if (layout_.numWeights)
            std::memcpy(dst + layout_.weights, weights, layout_.numWeights * sizeof(float));
    }

    // One buffer: the combinations, then each one's bone ids.
    HRESULT makeTable(ID3DXBuffer** out)
    {
        size_t n = combinations_.size();
        size_t bytes = n * sizeof(D3DXBONECOMBINATION) + n * tableSlots_ * sizeof(DWORD);
        if (bytes > 0xFFFFFFFFu)
            return E_OUTOFMEMORY;
        HRESULT hr = D3DXCreateBuffer((DWORD)bytes, out);
        if (FAILED(hr))
            return hr;
        auto* table = static_cast<D3DXBONECOMBINATION*>((*out)->GetBufferPointer());
        DWORD* ids = reinterpret_cast<DWORD*>(table + n);
        DWORD face = 0;
        for (size_t g = 0; g < n; ++g) {
            const Combination& c = combinations_[g];
            table[g] = D3DXBONECOMBINATION{c.attribute, face, (DWORD)c.faces.size(), c.firstVertex, c.numVertices,
                                           ids + g * tableSlots_};
            for (DWORD s = 0; s < tableSlots_; ++s)
                table[g].BoneId[s] = s < c.bones.size() ? c.bones[s] : kUnused;
            face += (DWORD)c.faces.size();
        }
        return S_OK;
    }

    HRESULT makeRemap(ID3DXBuffer** out)
    {
        HRESULT hr = D3DXCreateBuffer((DWORD)(vertexSource_.size() * sizeof(DWORD)), out);
        if (FAILED(hr))
            return hr;
        if (!vertexSource_.empty())
            std::memcpy((*out)->GetBufferPointer(), vertexSource_.data(), vertexSource_.size() * sizeof(DWORD));
        return S_OK;
    }

    // The source adjacency with faces renumbered; corners keep their order.
    HRESULT writeAdjacency(ID3DXMesh* mesh, const DWORD* adjacencyIn, DWORD* out)
    {
        std::vector<DWORD> generated, newFace;
        try {
            newFace.resize(numFaces_);
            if (!adjacencyIn)
                generated.resize((size_t)numFaces_ * 3);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (!adjacencyIn) {
            HRESULT hr = mesh->GenerateAdjacency(0.0f, generated.data());
            if (FAILED(hr))
                return hr;
            adjacencyIn = generated.data();
        }
        for (DWORD f = 0; f < numFaces_; ++f)
            newFace[outFaces_[f]] = f;
        for (DWORD f = 0; f < numFaces_; ++f) {
            for (int k = 0; k < 3; ++k) {
                DWORD a = adjacencyIn[outFaces_[f] * 3 + k];
                out[f * 3 + k] = a < numFaces_ ? newFace[a] : kUnused;
            }
        }
        return S_OK;
    }

    const SkinVertexInfluences& skin_;
    bool indexed_;
    DWORD numFaces_ = 0;
    DWORD numVertices_ = 0;
    DWORD perVertex_ = 1;
    DWORD tableSlots_ = 0;
    Layout layout_;
    MeshData src_;
    std::vector<Combination> combinations_;
    std::vector<DWORD> vertexSource_;      // output vertex -> source vertex
    std::vector<DWORD> vertexCombination_; // output vertex -> its combination
    std::vector<DWORD> outIndices_;
    std::vector<DWORD> outFaces_; // output face -> source face
};

} // namespace

HRESULT BlendSkinnedMesh(const SkinVertexInfluences& skin, bool indexed, ID3DXMesh* mesh, DWORD options,
                         DWORD paletteSize, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                         ID3DXBuffer** vertexRemap, DWORD* maxInfluences, DWORD* numCombinations,
                         ID3DXBuffer** combinationTable, ID3DXMesh** out)
{
    Converter c(skin, indexed);
    return c.run(mesh, options, paletteSize, adjacencyIn, adjacencyOut, faceRemap, vertexRemap, maxInfluences,
                 numCombinations, combinationTable, out);
}

} // namespace d3dx
