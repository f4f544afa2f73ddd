#include "meshkit.h"

#include <algorithm>
#include <map>

namespace tools {

uint32_t MeshBuilder::AddVertex(Vec3 p, Vec2 uv, Influence inf, int duplicateOf, int smoothWith)
{
    uint32_t index = (uint32_t)m_pos.size();
    m_pos.push_back(p);
    m_uv.push_back(uv);
    m_inf.push_back(inf);
    m_dup.push_back(duplicateOf >= 0 ? m_dup[duplicateOf] : index);
    m_group.push_back(smoothWith >= 0 ? m_group[smoothWith] : index);
    return index;
}

void MeshBuilder::Orient(size_t first, float outward)
{
    if (outward >= 0.0f)
        return;
    for (size_t f = first; f < m_faces.size(); ++f)
        std::swap(m_faces[f][1], m_faces[f][2]);
}

void MeshBuilder::Tube(const std::vector<Ring>& rings, int sides, UvRect region, uint32_t material, Cap start,
                       Cap end)
{
    if (rings.size() < 1 || sides < 3)
        return;
    const float kTwoPi = 6.28318531f;
    size_t firstFace = m_faces.size();
    std::vector<std::vector<uint32_t>> in(rings.size()), out(rings.size());
    auto emitRow = [&](const Ring& r, const std::vector<uint32_t>* copyOf) {
        std::vector<uint32_t> row;
        float v = region.v0 + r.v * (region.v1 - region.v0);
        for (int j = 0; j <= sides; ++j) {
            float u = region.u0 + (float)j / sides * (region.u1 - region.u0);
            if (copyOf) {
                uint32_t o = (*copyOf)[j];
                row.push_back(AddVertex(m_pos[o], Vec2{u, v}, r.influence, (int)o));
                continue;
            }
            if (j == sides) {
                row.push_back(AddVertex(m_pos[row[0]], Vec2{u, v}, r.influence, (int)row[0], (int)row[0]));
                continue;
            }
            float t = kTwoPi * j / sides;
            float k = (j % 2) ? r.jag : 1.0f;
            Vec3 p = r.center + r.axis1 * (std::cos(t) * k) + r.axis2 * (std::sin(t) * k);
            row.push_back(AddVertex(p, Vec2{u, v}, r.influence));
        }
        // A copy keeps the points but starts a smoothing group of its own,
        // with the seam vertex in it.
        if (copyOf)
            m_group[row[sides]] = m_group[row[0]];
        return row;
    };
    for (size_t i = 0; i < rings.size(); ++i) {
        in[i] = emitRow(rings[i], nullptr);
        out[i] = rings[i].hard ? emitRow(rings[i], &in[i]) : in[i];
    }
    float outward = 0.0f;
    for (size_t i = 0; i + 1 < rings.size(); ++i) {
        Vec3 mid = (rings[i].center + rings[i + 1].center) * 0.5f;
        for (int j = 0; j < sides; ++j) {
            uint32_t a = out[i][j], b = out[i][j + 1], c = in[i + 1][j + 1], d = in[i + 1][j];
            for (auto f : {std::array<uint32_t, 3>{a, b, c}, std::array<uint32_t, 3>{a, c, d}}) {
                Vec3 n = Cross(m_pos[f[1]] - m_pos[f[0]], m_pos[f[2]] - m_pos[f[0]]);
                Vec3 centroid = (m_pos[f[0]] + m_pos[f[1]] + m_pos[f[2]]) * (1.0f / 3.0f);
                outward += Dot(n, centroid - mid);
                m_faces.push_back(f);
                m_faceMaterial.push_back(material);
            }
        }
    }
    auto cap = [&](const Cap& c, const Ring& r, const std::vector<uint32_t>& rowIn, Vec3 along, bool atEnd) {
        if (!c.present)
            return;
        std::vector<uint32_t> row = rowIn;
        if (c.hard) {
            std::vector<uint32_t> copy;
            for (int j = 0; j <= sides; ++j)
                copy.push_back(AddVertex(m_pos[row[j]], m_uv[row[j]], m_inf[row[j]], (int)row[j]));
            m_group[copy[sides]] = m_group[copy[0]];
            row = copy;
        }
        Vec2 uv = c.uv.u >= 0.0f ? c.uv
                                 : Vec2{(region.u0 + region.u1) * 0.5f, region.v0 + r.v * (region.v1 - region.v0)};
        Vec3 dir = Length(c.direction) > 0.0f ? c.direction : along;
        uint32_t centre = AddVertex(r.center + Normalize(dir) * c.dome, uv, r.influence);
        for (int j = 0; j < sides; ++j) {
            std::array<uint32_t, 3> f = atEnd ? std::array<uint32_t, 3>{centre, row[j], row[j + 1]}
                                              : std::array<uint32_t, 3>{centre, row[j + 1], row[j]};
            m_faces.push_back(f);
            m_faceMaterial.push_back(material);
        }
    };
    Vec3 firstDir = rings.size() > 1 ? rings[0].center - rings[1].center : Cross(rings[0].axis2, rings[0].axis1);
    Vec3 lastDir = rings.size() > 1 ? rings.back().center - rings[rings.size() - 2].center
                                    : Cross(rings[0].axis1, rings[0].axis2);
    cap(start, rings.front(), in.front(), firstDir, false);
    cap(end, rings.back(), out.back(), lastDir, true);
    if (start.present || end.present) {
        // Closed, or nearly so: orient by the volume it encloses around the
        // middle of its path.
        Vec3 o{0, 0, 0};
        for (const Ring& r : rings)
            o = o + r.center * (1.0f / rings.size());
        outward = 0.0f;
        for (size_t f = firstFace; f < m_faces.size(); ++f) {
            Vec3 a = m_pos[m_faces[f][0]] - o, b = m_pos[m_faces[f][1]] - o, c = m_pos[m_faces[f][2]] - o;
            outward += Dot(a, Cross(b - a, c - a));
        }
    }
    Orient(firstFace, outward);
}

void MeshBuilder::Plate(const std::vector<Vec3>& outline, Vec3 normal, float thickness, UvRect region,
                        uint32_t material, Influence inf, bool rim)
{
    size_t n = outline.size();
    if (n < 3)
        return;
    Vec3 nn = Normalize(normal);
    Vec3 e1 = Normalize(outline[1] - outline[0]);
    Vec3 e2 = Cross(nn, e1);
    float lo1 = 1e30f, hi1 = -1e30f, lo2 = 1e30f, hi2 = -1e30f;
    for (const Vec3& p : outline) {
        lo1 = std::min(lo1, Dot(p, e1)), hi1 = std::max(hi1, Dot(p, e1));
        lo2 = std::min(lo2, Dot(p, e2)), hi2 = std::max(hi2, Dot(p, e2));
    }
    size_t firstFace = m_faces.size();
    std::vector<uint32_t> front, back;
    for (const Vec3& p : outline) {
        Vec2 uv{region.u0 + (Dot(p, e1) - lo1) / (hi1 - lo1) * (region.u1 - region.u0),
                region.v0 + (Dot(p, e2) - lo2) / (hi2 - lo2) * (region.v1 - region.v0)};
        front.push_back(AddVertex(p + nn * (thickness * 0.5f), uv, inf));
    }
    for (size_t k = 0; k < n; ++k)
        back.push_back(AddVertex(outline[k] - nn * (thickness * 0.5f), m_uv[front[k]], inf));
    for (size_t k = 1; k + 1 < n; ++k) {
        m_faces.push_back({front[0], front[k], front[k + 1]});
        m_faces.push_back({back[0], back[k + 1], back[k]});
    }
    for (size_t k = 0; rim && k < n; ++k) {
        size_t m = (k + 1) % n;
        m_faces.push_back({front[k], back[k], back[m]});
        m_faces.push_back({front[k], back[m], front[m]});
    }
    m_faceMaterial.resize(m_faces.size(), material);
    XMesh part;
    part.positions = m_pos;
    part.faces.assign(m_faces.begin() + firstFace, m_faces.end());
    Orient(firstFace, SignedVolume(part));
}

void MeshBuilder::Reweigh(size_t first, const std::function<Influence(Vec3, Influence)>& fn)
{
    for (size_t i = first; i < m_pos.size(); ++i)
        m_inf[i] = fn(m_pos[i], m_inf[i]);
}

XMesh MeshBuilder::Build(const std::string& name, const std::vector<XMaterial>& materials,
                         const std::vector<std::string>& bones, const std::vector<Matrix>& offsets) const
{
    XMesh mesh;
    mesh.name = name;
    mesh.positions = m_pos;
    mesh.uvs = m_uv;
    mesh.faces = m_faces;
    mesh.faceMaterials = m_faceMaterial;
    mesh.materials = materials;

    std::vector<Vec3> sum(m_pos.size(), Vec3{0, 0, 0});
    for (const auto& f : m_faces) {
        Vec3 n = Cross(m_pos[f[1]] - m_pos[f[0]], m_pos[f[2]] - m_pos[f[0]]);
        for (uint32_t v : f)
            sum[m_group[v]] = sum[m_group[v]] + n;
    }
    mesh.normals.resize(m_pos.size());
    for (size_t i = 0; i < m_pos.size(); ++i)
        mesh.normals[i] = Normalize(sum[m_group[i]]);

    if (!bones.empty()) {
        mesh.duplicates = m_dup;
        mesh.skin.resize(bones.size());
        for (size_t b = 0; b < bones.size(); ++b) {
            mesh.skin[b].bone = bones[b];
            mesh.skin[b].offset = b < offsets.size() ? offsets[b] : Identity();
        }
        for (uint32_t i = 0; i < m_inf.size(); ++i) {
            const Influence& inf = m_inf[i];
            float wa = inf.b >= 0 ? 1.0f - inf.w : 1.0f;
            if (inf.a >= 0 && wa > 0.0f) {
                mesh.skin[inf.a].vertices.push_back(i);
                mesh.skin[inf.a].weights.push_back(wa);
            }
            if (inf.b >= 0 && inf.w > 0.0f) {
                mesh.skin[inf.b].vertices.push_back(i);
                mesh.skin[inf.b].weights.push_back(inf.w);
            }
        }
    }
    return mesh;
}

float SignedVolume(const XMesh& mesh)
{
    double v = 0.0;
    for (const auto& f : mesh.faces) {
        Vec3 a = mesh.positions[f[0]], b = mesh.positions[f[1]], c = mesh.positions[f[2]];
        v += Dot(a, Cross(b - a, c - a));
    }
    return (float)(v / 6.0);
}

void Bounds(const XMesh& mesh, Vec3& lo, Vec3& hi)
{
    lo = Vec3{1e30f, 1e30f, 1e30f};
    hi = Vec3{-1e30f, -1e30f, -1e30f};
    for (const Vec3& p : mesh.positions) {
        lo = Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
}

} // namespace tools
