// Builds the show's meshes from lofted tubes: rings of vertices along a
// path, closed by flat or domed caps, with texture coordinates in a region
// of a texture atlas and up to two bone influences per ring. Faces come out
// clockwise seen from outside (front faces under counter-clockwise culling),
// and smooth normals are shared across texture seams.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "geometry.h"
#include "xwriter.h"

namespace tools {

// Up to two bones: `a` with weight 1 - w, `b` with weight w.
struct Influence {
    int a = -1;
    int b = -1;
    float w = 0.0f;
};

inline Influence Bone(int a)
{
    return {a, -1, 0.0f};
}

inline Influence Blend(int a, int b, float w)
{
    return {a, b, w};
}

// One ring: the points c + cos(t) * axis1 + sin(t) * axis2, t going once
// around. `v` is the ring's texture row inside the part's region (0 top,
// 1 bottom).
struct Ring {
    Vec3 center;
    Vec3 axis1;
    Vec3 axis2;
    float v;
    Influence influence;
    // Radius factor for every second vertex (1 = round), for jagged rims.
    float jag = 1.0f;
    // A crease: the faces before and after the ring do not share normals.
    bool hard = false;
};

struct UvRect {
    float u0, v0, u1, v1;
};

struct Cap {
    bool present = false;
    float dome = 0.0f; // how far the centre stands out along the path
    Vec2 uv{-1, -1};   // texture coordinate of the centre; default: the ring's row, mid column
    bool hard = false; // a crease between the cap and the tube
    Vec3 direction{0, 0, 0}; // where the dome points; default: on along the path
};

class MeshBuilder {
public:
    // `duplicateOf`: the vertex this one copies (same point, other texture
    // coordinate or normal); `smoothWith`: the vertex whose normal it shares.
    uint32_t AddVertex(Vec3 p, Vec2 uv, Influence inf, int duplicateOf = -1, int smoothWith = -1);
    void Tube(const std::vector<Ring>& rings, int sides, UvRect region, uint32_t material, Cap start, Cap end);
    // A flat convex plate of the given thickness: `outline` in its plane,
    // `normal` across it; `rim`: faces along its edges too.
    void Plate(const std::vector<Vec3>& outline, Vec3 normal, float thickness, UvRect region, uint32_t material,
               Influence inf, bool rim = true);

    // Gives the vertices from `first` on new influences.
    void Reweigh(size_t first, const std::function<Influence(Vec3, Influence)>& fn);

    size_t VertexCount() const { return m_pos.size(); }
    size_t FaceCount() const { return m_faces.size(); }

    // The mesh with smooth normals; skin weights and duplication indices when
    // `bones` is not empty (one name and one bind-pose offset per bone).
    XMesh Build(const std::string& name, const std::vector<XMaterial>& materials,
                const std::vector<std::string>& bones = {}, const std::vector<Matrix>& offsets = {}) const;

private:
    std::vector<Vec3> m_pos;
    std::vector<Vec2> m_uv;
    std::vector<Influence> m_inf;
    std::vector<uint32_t> m_dup;
    std::vector<uint32_t> m_group; // vertices of one group share their normal
    std::vector<std::array<uint32_t, 3>> m_faces;
    std::vector<uint32_t> m_faceMaterial;

    // Turns the faces from `first` on the other way round when `outward` < 0.
    void Orient(size_t first, float outward);
};

// Signed volume of a closed mesh; positive when its faces turn outward.
float SignedVolume(const XMesh& mesh);
void Bounds(const XMesh& mesh, Vec3& lo, Vec3& hi);

} // namespace tools
