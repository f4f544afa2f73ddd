// Mesh internals shared by the D3DX mesh, skin and hierarchy files: vertex
// element conversion, whole-mesh reads and writes through the buffers, and
// turning .x Mesh objects into meshes.
#pragma once

#include "d3dx9mesh.h"
#include "xfile_tree.h"

#include <string>
#include <vector>

namespace d3dx {

// Bytes of one element of a declaration type (0 for UNUSED or unknown).
UINT DeclTypeSize(BYTE type);
// One element as four floats; missing components are (0, 0, 0, 1). D3DCOLOR
// reads as (r, g, b, a) in 0..1, UBYTE4 as 0..255.
void ReadElement(const BYTE* src, BYTE type, float out[4]);
void WriteElement(BYTE* dst, BYTE type, const float in[4]);
// The first element of a usage and index in stream 0, or null.
const D3DVERTEXELEMENT9* FindElement(const D3DVERTEXELEMENT9* decl, BYTE usage, BYTE usageIndex);

// A mesh's contents in system memory.
struct MeshData {
    std::vector<D3DVERTEXELEMENT9> decl; // with its end marker
    DWORD stride = 0;
    DWORD options = 0;
    std::vector<BYTE> vertices;
    std::vector<DWORD> indices; // three per face
    std::vector<DWORD> attributes;
    std::vector<D3DXATTRIBUTERANGE> table;

    DWORD NumVertices() const { return stride ? (DWORD)(vertices.size() / stride) : 0; }
    DWORD NumFaces() const { return (DWORD)attributes.size(); }
    D3DXVECTOR3 Position(DWORD v) const;
};

// Reads the vertex, index and attribute buffers and the attribute table.
HRESULT ReadMesh(ID3DXMesh* mesh, MeshData* out);
HRESULT ReadIndices(ID3DXMesh* mesh, std::vector<DWORD>* out);
HRESULT ReadPositions(ID3DXMesh* mesh, std::vector<D3DXVECTOR3>* out);
// Makes a mesh of the data's declaration with `options` (D3DXMESH_32BIT is
// added when the vertices need it) and fills it.
HRESULT WriteMesh(const MeshData& data, DWORD options, IDirect3DDevice9* device, ID3DXMesh** out);

// Optimize's work on a mesh's contents.
struct OptimizedMesh {
    MeshData mesh;
    std::vector<DWORD> faceRemap;   // per new face, the old one
    std::vector<DWORD> vertexRemap; // per new vertex, the old one
    std::vector<DWORD> adjacency;
};
// Without `copyVertices` the result's vertices stay empty: its vertex i is
// the input's vertex vertexRemap[i].
HRESULT OptimizeMeshData(const MeshData& in, DWORD flags, const DWORD* adjacencyIn, OptimizedMesh* out,
                         bool copyVertices = true);

// Point representatives and adjacency (three entries per face, 0xFFFFFFFF for none).
std::vector<DWORD> PointReps(const MeshData& m, float epsilon);
std::vector<DWORD> PointReps(const std::vector<D3DXVECTOR3>& positions, float epsilon);
std::vector<DWORD> AdjacencyFromPointReps(const std::vector<DWORD>& indices, const std::vector<DWORD>& reps);
// The same into `adjacency`, three entries a face.
void AdjacencyFromPointReps(const std::vector<DWORD>& indices, const std::vector<DWORD>& reps, DWORD* adjacency);
std::vector<DWORD> PointRepsFromAdjacency(const std::vector<DWORD>& indices, DWORD numVertices,
                                          const DWORD* adjacency);

// A material of a loaded mesh.
struct XMaterial {
    D3DMATERIAL9 material{};
    bool hasTexture = false;
    std::string texture;
};

// One .x Mesh object as a mesh.
struct XLoadedMesh {
    ID3DXMesh* mesh = nullptr;         // a reference the caller releases
    std::vector<XMaterial> materials;  // one per attribute id, at least one
    std::vector<DWORD> adjacency;      // three per face
    std::vector<DWORD> originalVertex; // per mesh vertex: its index among the object's vertices
    bool hadMaterials = false;         // false when the default material stands in
};

// Turns the Mesh object `index` of `tree` into a mesh, moved by `transform`
// when it is not null. Vertices keep their order; a vertex whose faces give it
// different normals is duplicated at the end.
HRESULT LoadXMesh(const XFileTree& tree, size_t index, DWORD options, IDirect3DDevice9* device,
                  const D3DXMATRIX* transform, XLoadedMesh* out);

// D3DXMATERIAL array with the texture names stored after it.
HRESULT MaterialsBuffer(const std::vector<XMaterial>& materials, ID3DXBuffer** out);
// One D3DXEFFECTINSTANCE without an effect per material, with the material's
// defaults ("Texture0@Name", "Diffuse", "Power", "Specular", "Emissive"),
// everything they point at stored after them.
HRESULT EffectInstancesBuffer(const std::vector<XMaterial>& materials, ID3DXBuffer** out);
// A buffer holding a copy of the DWORDs.
HRESULT DwordBuffer(const std::vector<DWORD>& values, ID3DXBuffer** out);

} // namespace d3dx
