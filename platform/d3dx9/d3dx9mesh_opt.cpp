// Reordering meshes (Optimize), cleaning them and simplifying them.
#include "d3dx9mesh_internal.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace {

const DWORD kNone = 0xFFFFFFFF;

bool indicesInRange(const d3dx::MeshData& m)
{
    const DWORD nv = m.NumVertices();
    for (DWORD i : m.indices)
        if (i >= nv)
            return false;
    return true;
}

std::vector<DWORD> inputAdjacency(const d3dx::MeshData& m, const DWORD* adjacency)
{
    if (adjacency)
        return std::vector<DWORD>(adjacency, adjacency + m.indices.size());
    return d3dx::AdjacencyFromPointReps(m.indices, d3dx::PointReps(m, 0.0f));
}

// Copies the vertices `remap` names (new index -> old) into a mesh of the same layout.
void takeVertices(const d3dx::MeshData& in, const std::vector<DWORD>& remap, d3dx::MeshData& out)
{
    out.decl = in.decl;
    out.stride = in.stride;
    out.options = in.options;
    out.vertices.resize(remap.size() * (size_t)in.stride);
    for (size_t i = 0; i < remap.size(); ++i)
        std::memcpy(out.vertices.data() + i * in.stride, in.vertices.data() + (size_t)remap[i] * in.stride, in.stride);
}

} // namespace

namespace d3dx {

HRESULT OptimizeMeshData(const MeshData& in, DWORD flags, const DWORD* adjacencyIn, OptimizedMesh* out,
                         bool copyVertices)
{
    const DWORD nf = in.NumFaces(), nv = in.NumVertices();
    if (!indicesInRange(in))
        return D3DXERR_INVALIDMESH;
    const bool reorder = (flags & (D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER)) != 0;
    const bool sort = reorder || (flags & D3DXMESHOPT_ATTRSORT);
    std::vector<DWORD> order(nf);
    for (DWORD f = 0; f < nf; ++f)
        order[f] = f;
    if (sort)
        std::stable_sort(order.begin(), order.end(),
                         [&](DWORD a, DWORD b) { return in.attributes[a] < in.attributes[b]; });
    // Groups of faces with one attribute id, as [start, end) in `order`.
    std::vector<std::pair<DWORD, DWORD>> groups;
    for (DWORD s = 0; s < nf;) {
        DWORD e = s + 1;
        while (sort && e < nf && in.attributes[order[e]] == in.attributes[order[s]])
            ++e;
        if (!sort)
            e = nf;
        groups.push_back({s, e});
        s = e;
    }
    if (reorder) {
        for (const auto& g : groups) {
            const size_t count = g.second - g.first;
            // The group's corners in its order: the mesh's own when its faces
            // are already in order.
            bool inOrder = true;
            for (size_t i = 0; i < count && inOrder; ++i)
                inOrder = order[g.first + i] == g.first + i;
            std::vector<unsigned> copied, dst(count * 3);
            if (!inOrder) {
                copied.resize(count * 3);
                for (size_t i = 0; i < count; ++i) {
                    const DWORD f = order[g.first + i];
                    for (int k = 0; k < 3; ++k)
                        copied[i * 3 + k] = in.indices[f * 3 + k];
                }
            }
            static_assert(sizeof(unsigned) == sizeof(DWORD), "indices read as the optimiser's");
            const unsigned* src = inOrder ? in.indices.data() + (size_t)g.first * 3 : copied.data();
            meshopt_optimizeVertexCache(dst.data(), src, count * 3, nv);
            // The optimiser keeps each triangle's corners in order; find which
            // face each one was: the first one not yet taken with those corners,
            // among the faces by their first corner.
            std::vector<DWORD> start((size_t)nv + 1, 0);
            for (size_t i = 0; i < count; ++i)
                ++start[src[i * 3] + 1];
            for (DWORD v = 0; v < nv; ++v)
                start[v + 1] += start[v];
            std::vector<DWORD> byFirst(count), fill(start.begin(), start.end() - 1);
            for (size_t i = 0; i < count; ++i)
                byFirst[fill[src[i * 3]]++] = (DWORD)i;
            std::vector<uint8_t> taken(count, 0);
            std::vector<DWORD> placed(count);
            for (size_t i = 0; i < count; ++i) {
                const unsigned* t = &dst[i * 3];
                DWORD found = kNone;
                for (DWORD j = start[t[0]]; j < start[t[0] + 1]; ++j) {
                    const DWORD c = byFirst[j];
                    if (!taken[c] && src[c * 3 + 1] == t[1] && src[c * 3 + 2] == t[2]) {
                        found = c;
                        break;
                    }
                }
                if (found == kNone)
                    return E_FAIL;
                taken[found] = 1;
                placed[i] = order[g.first + found];
            }
            std::copy(placed.begin(), placed.end(), order.begin() + g.first);
        }
    }
    // Vertices in the order the faces first use them; with sorting, a vertex
    // that several subsets share is copied so that each subset's vertices are
    // one range.
    std::vector<DWORD> indices((size_t)nf * 3);
    std::vector<DWORD>& remap = out->vertexRemap;
    remap.clear();
    const bool moveVertices = !(flags & D3DXMESHOPT_IGNOREVERTS) &&
                              (sort || (flags & D3DXMESHOPT_COMPACT));
    const bool split = sort && !(flags & D3DXMESHOPT_DONOTSPLIT) && moveVertices;
    if (moveVertices) {
        std::vector<DWORD> newOf(nv, kNone), groupOf(nv, kNone);
        for (DWORD gi = 0; gi < groups.size(); ++gi) {
            for (DWORD p = groups[gi].first; p < groups[gi].second; ++p) {
                const DWORD f = order[p];
                for (int k = 0; k < 3; ++k) {
                    const DWORD v = in.indices[f * 3 + k];
                    if (newOf[v] == kNone || (split && groupOf[v] != gi)) {
                        newOf[v] = (DWORD)remap.size();
                        groupOf[v] = gi;
                        remap.push_back(v);
                    }
                    indices[(size_t)p * 3 + k] = newOf[v];
                }
            }
        }
        if (!(flags & D3DXMESHOPT_COMPACT))
            for (DWORD v = 0; v < nv; ++v)
                if (newOf[v] == kNone)
                    remap.push_back(v);
    } else {
        for (DWORD v = 0; v < nv; ++v)
            remap.push_back(v);
        for (DWORD p = 0; p < nf; ++p)
            for (int k = 0; k < 3; ++k)
                indices[(size_t)p * 3 + k] = in.indices[order[p] * 3 + k];
    }
    MeshData& m = out->mesh;
    if (copyVertices) {
        takeVertices(in, remap, m);
    } else {
        m.decl = in.decl;
        m.stride = in.stride;
        m.options = in.options;
    }
    m.indices = std::move(indices);
    m.attributes.resize(nf);
    for (DWORD p = 0; p < nf; ++p)
        m.attributes[p] = in.attributes[order[p]];
    m.table.clear();
    if (sort) {
        for (const auto& g : groups) {
            if (g.first == g.second)
                continue;
            DWORD lo = kNone, hi = 0;
            for (size_t i = (size_t)g.first * 3; i < (size_t)g.second * 3; ++i) {
                lo = std::min(lo, m.indices[i]);
                hi = std::max(hi, m.indices[i]);
            }
            m.table.push_back({m.attributes[g.first], g.first, g.second - g.first, lo, hi - lo + 1});
        }
    } else {
        m.table = in.table;
    }
    out->faceRemap = order;
    std::vector<DWORD> newFace(nf);
    for (DWORD p = 0; p < nf; ++p)
        newFace[order[p]] = p;
    std::vector<DWORD> computed;
    if (!adjacencyIn)
        computed = inputAdjacency(in, nullptr);
    const DWORD* adj = adjacencyIn ? adjacencyIn : computed.data();
    out->adjacency.assign((size_t)nf * 3, kNone);
    for (DWORD p = 0; p < nf; ++p)
        for (int k = 0; k < 3; ++k) {
            const DWORD g = adj[(size_t)order[p] * 3 + k];
            out->adjacency[(size_t)p * 3 + k] = g < nf ? newFace[g] : kNone;
        }
    return D3D_OK;
}

} // namespace d3dx

HRESULT D3DXCleanMesh(D3DXCLEANTYPE type, LPD3DXMESH meshIn, const DWORD* adjacencyIn, LPD3DXMESH* meshOut,
                      DWORD* adjacencyOut, LPD3DXBUFFER* errors)
{
    if (errors)
        *errors = nullptr;
    if (!meshIn || !meshOut)
        return D3DERR_INVALIDCALL;
    *meshOut = nullptr;
    d3dx::MeshData m;
    HRESULT hr = d3dx::ReadMesh(meshIn, &m);
    if (FAILED(hr))
        return hr;
    if (!indicesInRange(m))
        return D3DXERR_INVALIDMESH;
    const DWORD nf = m.NumFaces();
    std::vector<DWORD> adj = inputAdjacency(m, adjacencyIn);
    const std::vector<DWORD> reps = d3dx::PointRepsFromAdjacency(m.indices, m.NumVertices(), adj.data());
    std::vector<DWORD> copies; // old vertex of each vertex added
    auto addCopy = [&](DWORD v) {
        copies.push_back(v);
        return m.NumVertices() + (DWORD)copies.size() - 1;
    };
    if (type & D3DXCLEAN_BACKFACING) {
        // Faces on the same three points wound the other way get vertices of their own.
        std::map<std::array<DWORD, 3>, std::vector<DWORD>> byPoints;
        for (DWORD f = 0; f < nf; ++f) {
            std::array<DWORD, 3> key = {reps[m.indices[f * 3]], reps[m.indices[f * 3 + 1]], reps[m.indices[f * 3 + 2]]};
            std::sort(key.begin(), key.end());
            byPoints[key].push_back(f);
        }
        for (auto& entry : byPoints) {
            const std::vector<DWORD>& faces = entry.second;
            for (size_t i = 1; i < faces.size(); ++i) {
                const DWORD f = faces[0], g = faces[i];
                const DWORD* a = &m.indices[f * 3];
                bool opposite = false;
                for (int r = 0; r < 3 && !opposite; ++r)
                    opposite = reps[m.indices[g * 3 + r]] == reps[a[0]] &&
                               reps[m.indices[g * 3 + (r + 1) % 3]] == reps[a[2]];
                if (!opposite)
                    continue;
                for (int k = 0; k < 3; ++k) {
                    m.indices[g * 3 + k] = addCopy(m.indices[g * 3 + k]);
                    if (adj[g * 3 + k] == f)
                        adj[g * 3 + k] = kNone;
                    if (adj[f * 3 + k] == g)
                        adj[f * 3 + k] = kNone;
                }
            }
        }
    }
    if (type & D3DXCLEAN_BOWTIES) {
        // A vertex whose faces form separate fans gets one copy per extra fan.
        const DWORD nv = m.NumVertices() + (DWORD)copies.size();
        std::vector<std::vector<std::pair<DWORD, int>>> corners(nv);
        for (DWORD f = 0; f < nf; ++f)
            for (int k = 0; k < 3; ++k)
                corners[m.indices[f * 3 + k]].push_back({f, k});
        for (DWORD v = 0; v < nv; ++v) {
            auto& list = corners[v];
            if (list.size() < 2)
                continue;
            std::vector<int> fan(list.size(), -1);
            int fans = 0;
            for (size_t s = 0; s < list.size(); ++s) {
                if (fan[s] >= 0)
                    continue;
                std::vector<size_t> stack{s};
                fan[s] = fans;
                while (!stack.empty()) {
                    const auto [f, k] = list[stack.back()];
                    stack.pop_back();
                    // The two edges of f that touch this corner.
                    for (DWORD g : {adj[f * 3 + k], adj[f * 3 + (k + 2) % 3]}) {
                        for (size_t t = 0; t < list.size(); ++t)
                            if (fan[t] < 0 && list[t].first == g) {
                                fan[t] = fans;
                                stack.push_back(t);
                            }
                    }
                }
                ++fans;
            }
            std::vector<DWORD> fanVertex(fans, v);
            for (int i = 1; i < fans; ++i)
                fanVertex[i] = addCopy(v < m.NumVertices() ? v : copies[v - m.NumVertices()]);
            for (size_t s = 0; s < list.size(); ++s)
                m.indices[list[s].first * 3 + list[s].second] = fanVertex[fan[s]];
        }
    }
    if (!copies.empty()) {
        const size_t old = m.vertices.size();
        m.vertices.resize(old + copies.size() * m.stride);
        for (size_t i = 0; i < copies.size(); ++i)
            std::memcpy(m.vertices.data() + old + i * m.stride, m.vertices.data() + (size_t)copies[i] * m.stride,
                        m.stride);
        m.table.clear();
    }
    IDirect3DDevice9* device = nullptr;
    meshIn->GetDevice(&device);
    hr = d3dx::WriteMesh(m, meshIn->GetOptions(), device, meshOut);
    device->Release();
    if (SUCCEEDED(hr) && adjacencyOut)
        std::copy(adj.begin(), adj.end(), adjacencyOut);
    return hr;
}

HRESULT D3DXSimplifyMesh(LPD3DXMESH mesh, const DWORD* adjacency, const D3DXATTRIBUTEWEIGHTS*,
                         const FLOAT* vertexWeights, DWORD minValue, DWORD options, LPD3DXMESH* out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!mesh || !(options & (D3DXMESHSIMP_VERTEX | D3DXMESHSIMP_FACE)) || minValue == 0)
        return D3DERR_INVALIDCALL;
    d3dx::MeshData m;
    HRESULT hr = d3dx::ReadMesh(mesh, &m);
    if (FAILED(hr))
        return hr;
    if (!indicesInRange(m))
        return D3DXERR_INVALIDMESH;
    (void)adjacency; // the borders come from the faces themselves
    const DWORD nf = m.NumFaces(), nv = m.NumVertices();
    const double have = (options & D3DXMESHSIMP_FACE) ? nf : nv;
    const double keep = std::min(1.0, minValue / have);
    std::vector<float> pos((size_t)nv * 3);
    for (DWORD v = 0; v < nv; ++v) {
        const D3DXVECTOR3 p = m.Position(v);
        pos[v * 3] = p.x;
        pos[v * 3 + 1] = p.y;
        pos[v * 3 + 2] = p.z;
    }
    // Faces around a vertex weighted above 1 stay as they are; the edge of
    // their fan becomes a border the simplifier keeps.
    std::vector<bool> held(nf, false);
    if (vertexWeights)
        for (DWORD f = 0; f < nf; ++f)
            for (int k = 0; k < 3; ++k)
                if (vertexWeights[m.indices[f * 3 + k]] > 1.0f)
                    held[f] = true;
    // Each subset on its own, with its borders locked.
    std::map<DWORD, std::vector<unsigned>> subsets;
    std::vector<DWORD> faces, attributes;
    for (DWORD f = 0; f < nf; ++f) {
        if (held[f]) {
            faces.insert(faces.end(), &m.indices[f * 3], &m.indices[f * 3] + 3);
            attributes.push_back(m.attributes[f]);
            continue;
        }
        std::vector<unsigned>& s = subsets[m.attributes[f]];
        s.insert(s.end(), &m.indices[f * 3], &m.indices[f * 3] + 3);
    }
    for (auto& [attribute, src] : subsets) {
        const size_t target = std::max<size_t>(3, (size_t)(src.size() / 3 * keep) * 3);
        std::vector<unsigned> dst(src.size());
        const size_t n = keep >= 1.0 ? src.size()
                                     : meshopt_simplify(dst.data(), src.data(), src.size(), pos.data(), nv, 12, target,
                                                        1.0f, meshopt_SimplifyLockBorder, nullptr);
        const std::vector<unsigned>& result = keep >= 1.0 ? src : dst;
        faces.insert(faces.end(), result.begin(), result.begin() + (ptrdiff_t)n);
        attributes.insert(attributes.end(), n / 3, attribute);
    }
    if (faces.empty())
        return D3DXERR_INVALIDMESH;
    // Only the vertices still used, in their old order.
    std::vector<DWORD> newOf(nv, kNone), remap;
    for (DWORD v : faces)
        newOf[v] = 0;
    for (DWORD v = 0; v < nv; ++v)
        if (newOf[v] != kNone) {
            newOf[v] = (DWORD)remap.size();
            remap.push_back(v);
        }
    d3dx::MeshData s;
    takeVertices(m, remap, s);
    s.indices.resize(faces.size());
    for (size_t i = 0; i < faces.size(); ++i)
        s.indices[i] = newOf[faces[i]];
    s.attributes = std::move(attributes);
    IDirect3DDevice9* device = nullptr;
    mesh->GetDevice(&device);
    hr = d3dx::WriteMesh(s, mesh->GetOptions(), device, out);
    device->Release();
    return hr;
}
