// Writes .x files in the text format ("xof 0303txt 0032") as D3DX saves
// them: the templates the file uses, then a frame tree whose frames hold
// meshes (normals, texture coordinates, vertex duplication indices,
// materials with texture file names, skin weights), then the animation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry.h"

namespace tools {

struct XMaterial {
    float diffuse[4] = {1, 1, 1, 1}; // r, g, b, a
    float power = 0.0f;
    Vec3 specular{0, 0, 0};
    Vec3 emissive{0, 0, 0};
    std::string texture; // file name below data\textures\, or empty
};

struct XSkinWeights {
    std::string bone; // the frame that drives these vertices
    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    Matrix offset = Identity(); // mesh space to the bone's space
};

struct XMesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals; // one per vertex, or none
    std::vector<Vec2> uvs;     // one per vertex, or none
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<uint32_t> faceMaterials; // one per face
    std::vector<XMaterial> materials;
    // For each vertex the vertex it copies (itself when it is an original),
    // written only when the mesh has skin weights.
    std::vector<uint32_t> duplicates;
    std::vector<XSkinWeights> skin;
};

struct XFrame {
    std::string name;
    Matrix transform = Identity();
    std::vector<XMesh> meshes;
    std::vector<XFrame> children;
};

template <typename T>
struct XKey {
    uint32_t time; // in ticks
    T value;
};

// Keys of one frame. Rotation keys hold the rotation the frame is to have
// (as D3DXMatrixRotationQuaternion builds it); the file stores the conjugate,
// which is what D3DX reads back into that rotation.
struct XAnimation {
    std::string frame;
    std::vector<XKey<Quat>> rotations;
    std::vector<XKey<Vec3>> positions;
};

struct XAnimationSet {
    std::string name;
    std::vector<XAnimation> animations;
};

struct XFile {
    std::vector<XFrame> frames;
    uint32_t ticksPerSecond = 0; // written when there is an animation set
    std::vector<XAnimationSet> animationSets;
};

// The most bones that weigh one vertex and the three vertices of one face.
void SkinInfluenceCounts(const XMesh& mesh, unsigned& perVertex, unsigned& perFace);

std::string WriteXFile(const XFile& file);
bool SaveXFile(const XFile& file, const std::string& path);

} // namespace tools
