// D3DX9 skin information: bones with names, offset matrices and the vertices
// they influence, and the conversions of a mesh for vertex blending.
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"
#include "d3dx9math.h"
#include "d3dx9mesh.h"

extern const IID IID_ID3DXSkinInfo;

// One subset of a blended mesh: its faces and vertices, the material they
// came from and the bones (or, indexed, the palette) that move them.
// Unused bone slots hold UINT_MAX (0xFFFFFFFF).
struct D3DXBONECOMBINATION {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
    DWORD* BoneId;
};
typedef D3DXBONECOMBINATION* LPD3DXBONECOMBINATION;

struct ID3DXSkinInfo;
typedef ID3DXSkinInfo* LPD3DXSKININFO;

struct ID3DXSkinInfo : public IUnknown {
    // Replaces the bone's influences: numInfluences vertex indices and weights.
    virtual HRESULT SetBoneInfluence(DWORD Bone, DWORD numInfluences, const DWORD* vertices, const FLOAT* weights) = 0;
    virtual HRESULT SetBoneVertexInfluence(DWORD BoneNum, DWORD InfluenceNum, FLOAT weight) = 0;
    virtual DWORD GetNumBoneInfluences(DWORD Bone) = 0;
    virtual HRESULT GetBoneInfluence(DWORD Bone, DWORD* vertices, FLOAT* weights) = 0;
    virtual HRESULT GetBoneVertexInfluence(DWORD BoneNum, DWORD InfluenceNum, FLOAT* pWeight, DWORD* pVertexNum) = 0;
    // The most bones that influence any one vertex.
    virtual HRESULT GetMaxVertexInfluences(DWORD* maxVertexInfluences) = 0;
    virtual DWORD GetNumBones() = 0;
    virtual HRESULT FindBoneVertexInfluenceIndex(DWORD boneNum, DWORD vertexNum, DWORD* pInfluenceIndex) = 0;
    // The most distinct bones that influence the three vertices of one face.
    virtual HRESULT GetMaxFaceInfluences(LPDIRECT3DINDEXBUFFER9 pIB, DWORD NumFaces, DWORD* maxFaceInfluences) = 0;
    // Influences below this weight are left out of the blended meshes.
    virtual HRESULT SetMinBoneInfluence(FLOAT MinInfl) = 0;
    virtual FLOAT GetMinBoneInfluence() = 0;
    virtual HRESULT SetBoneName(DWORD Bone, LPCSTR pName) = 0;
    virtual LPCSTR GetBoneName(DWORD Bone) = 0;
    virtual HRESULT SetBoneOffsetMatrix(DWORD Bone, const D3DXMATRIX* pBoneTransform) = 0;
    virtual LPD3DXMATRIX GetBoneOffsetMatrix(DWORD Bone) = 0;
    virtual HRESULT Clone(LPD3DXSKININFO* ppSkinInfo) = 0;
    // pVertexRemap[i] is the former index of vertex i (as Optimize returns it);
    // a former vertex that appears twice takes its influences to both places.
    virtual HRESULT Remap(DWORD NumVertices, DWORD* pVertexRemap) = 0;
    virtual HRESULT SetFVF(DWORD FVF) = 0;
    virtual HRESULT SetDeclaration(const D3DVERTEXELEMENT9* pDeclaration) = 0;
    virtual DWORD GetFVF() = 0;
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) = 0;
    // Software skinning: every influenced vertex's position (and normal) is the
    // weighted sum of it transformed by its bones' matrices; normals go through
    // pBoneInvTransposeTransforms when given. Other vertices are copied.
    virtual HRESULT UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                      LPCVOID pVerticesSrc, PVOID pVerticesDst) = 0;
    // A mesh for D3DRS_VERTEXBLEND: each combination uses at most
    // *pMaxFaceInfl bones, with that many minus one FLOAT blend weights per vertex.
    virtual HRESULT ConvertToBlendedMesh(LPD3DXMESH pMesh, DWORD Options, const DWORD* pAdjacencyIn,
                                         LPDWORD pAdjacencyOut, DWORD* pFaceRemap, LPD3DXBUFFER* ppVertexRemap,
                                         DWORD* pMaxFaceInfl, DWORD* pNumBoneCombinations,
                                         LPD3DXBUFFER* ppBoneCombinationTable, LPD3DXMESH* ppMesh) = 0;
    // A mesh for matrix-palette skinning: faces grouped into combinations of at
    // most paletteSize bones, shared vertices duplicated per combination,
    // (influences - 1) FLOAT blend weights and the palette slots as UBYTE4
    // BLENDINDICES per vertex. Combination i is attribute id i of the new mesh.
    virtual HRESULT ConvertToIndexedBlendedMesh(LPD3DXMESH pMesh, DWORD Options, DWORD paletteSize,
                                                const DWORD* pAdjacencyIn, LPDWORD pAdjacencyOut, DWORD* pFaceRemap,
                                                LPD3DXBUFFER* ppVertexRemap, DWORD* pMaxVertexInfl,
                                                DWORD* pNumBoneCombinations, LPD3DXBUFFER* ppBoneCombinationTable,
                                                LPD3DXMESH* ppMesh) = 0;
};

HRESULT D3DXCreateSkinInfo(DWORD NumVertices, const D3DVERTEXELEMENT9* pDeclaration, DWORD NumBones,
                           LPD3DXSKININFO* ppSkinInfo);
HRESULT D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO* ppSkinInfo);


// One Mesh data object with its SkinWeights: the mesh as D3DXLoadMeshFromXof
// loads it and skin information whose vertices are the mesh's (a file vertex
// the loader split gives its weights to every copy). A mesh without weights
// gets skin information of no bones.
HRESULT D3DXLoadSkinMeshFromXof(LPD3DXFILEDATA pxofMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                LPD3DXBUFFER* ppEffectInstances, DWORD* pMatOut, LPD3DXSKININFO* ppSkinInfo,
                                LPD3DXMESH* ppMesh);
