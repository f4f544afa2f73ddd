// D3DX9 meshes: ID3DXMesh with its vertex, index and attribute buffers,
// cloning, optimising, adjacency, normals and tangents, bounds, cleaning and
// simplification, and loading meshes from .x files. Buffers are made through
// the public IDirect3DDevice9 interface only, so any device implementing it
// works.
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"
#include "d3dx9math.h"
#include "d3dx9xof.h"

// Mesh creation options.
#define D3DXMESH_32BIT 0x001
#define D3DXMESH_DONOTCLIP 0x002
#define D3DXMESH_POINTS 0x004
#define D3DXMESH_RTPATCHES 0x008
#define D3DXMESH_NPATCHES 0x4000
#define D3DXMESH_VB_SYSTEMMEM 0x010
#define D3DXMESH_VB_MANAGED 0x020
#define D3DXMESH_VB_WRITEONLY 0x040
#define D3DXMESH_VB_DYNAMIC 0x080
#define D3DXMESH_VB_SOFTWAREPROCESSING 0x8000
#define D3DXMESH_IB_SYSTEMMEM 0x100
#define D3DXMESH_IB_MANAGED 0x200
#define D3DXMESH_IB_WRITEONLY 0x400
#define D3DXMESH_IB_DYNAMIC 0x800
#define D3DXMESH_IB_SOFTWAREPROCESSING 0x10000
#define D3DXMESH_VB_SHARE 0x1000
#define D3DXMESH_USEHWONLY 0x2000
#define D3DXMESH_SYSTEMMEM 0x110
#define D3DXMESH_MANAGED 0x220
#define D3DXMESH_WRITEONLY 0x440
#define D3DXMESH_DYNAMIC 0x880
#define D3DXMESH_SOFTWAREPROCESSING 0x18000

// Optimize and OptimizeInplace flags.
#define D3DXMESHOPT_DEVICEINDEPENDENT 0x00400000
#define D3DXMESHOPT_COMPACT 0x01000000
#define D3DXMESHOPT_ATTRSORT 0x02000000
#define D3DXMESHOPT_VERTEXCACHE 0x04000000
#define D3DXMESHOPT_STRIPREORDER 0x08000000
#define D3DXMESHOPT_IGNOREVERTS 0x10000000
#define D3DXMESHOPT_DONOTSPLIT 0x20000000

// D3DXSimplifyMesh: whether MinValue counts vertices or faces.
#define D3DXMESHSIMP_VERTEX 0x1
#define D3DXMESHSIMP_FACE 0x2

// D3DXComputeTangent's Wrap and D3DXComputeTangentFrameEx's options.
#define D3DXTANGENT_WRAP_U 0x01
#define D3DXTANGENT_WRAP_V 0x02
#define D3DXTANGENT_WRAP_UV 0x03
#define D3DXTANGENT_DONT_NORMALIZE_PARTIALS 0x04
#define D3DXTANGENT_DONT_ORTHOGONALIZE 0x08
#define D3DXTANGENT_ORTHOGONALIZE_FROM_V 0x010
#define D3DXTANGENT_ORTHOGONALIZE_FROM_U 0x020
#define D3DXTANGENT_WEIGHT_BY_AREA 0x040
#define D3DXTANGENT_WEIGHT_EQUAL 0x080
#define D3DXTANGENT_WIND_CW 0x0100
#define D3DXTANGENT_CALCULATE_NORMALS 0x0200
#define D3DXTANGENT_GENERATE_IN_PLACE 0x0400

// A vertex declaration with its end marker fits in this many elements.
#define MAX_FVF_DECL_SIZE (MAXD3DDECLLENGTH + 1)

// Attribute id of a face that is unused.
#define D3DX_UNUSED32 0xFFFFFFFF

typedef enum _D3DXMESHTYPE {
    D3DXMESHTYPE_MESH = 0x001,
    D3DXMESHTYPE_PMESH = 0x002,
    D3DXMESHTYPE_PATCHMESH = 0x003,
    D3DXMESHTYPE_FORCE_DWORD = 0x7fffffff
} D3DXMESHTYPE;

typedef enum _D3DXCLEANTYPE {
    D3DXCLEAN_BACKFACING = 0x00000001,
    D3DXCLEAN_BOWTIES = 0x00000002,
    D3DXCLEAN_SKINNING = D3DXCLEAN_BACKFACING,
    D3DXCLEAN_OPTIMIZATION = D3DXCLEAN_BACKFACING,
    D3DXCLEAN_SIMPLIFICATION = D3DXCLEAN_BACKFACING | D3DXCLEAN_BOWTIES
} D3DXCLEANTYPE;

// One subset of a mesh: a run of faces with one attribute id and the
// vertices they use.
typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE, *LPD3DXATTRIBUTERANGE;

// A material loaded with a mesh; the texture file name may be null.
typedef struct _D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
} D3DXMATERIAL, *LPD3DXMATERIAL;

typedef enum _D3DXEFFECTDEFAULTTYPE {
    D3DXEDT_STRING = 0x1,
    D3DXEDT_FLOATS = 0x2,
    D3DXEDT_DWORD = 0x3,
    D3DXEDT_FORCEDWORD = 0x7fffffff
} D3DXEFFECTDEFAULTTYPE;

typedef struct _D3DXEFFECTDEFAULT {
    LPSTR pParamName;
    D3DXEFFECTDEFAULTTYPE Type;
    DWORD NumBytes;
    LPVOID pValue;
} D3DXEFFECTDEFAULT, *LPD3DXEFFECTDEFAULT;

typedef struct _D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    LPD3DXEFFECTDEFAULT pDefaults;
} D3DXEFFECTINSTANCE, *LPD3DXEFFECTINSTANCE;

// How much each vertex component counts when D3DXSimplifyMesh measures the
// error of a collapse.
typedef struct _D3DXATTRIBUTEWEIGHTS {
    FLOAT Position;
    FLOAT Boundary;
    FLOAT Normal;
    FLOAT Diffuse;
    FLOAT Specular;
    FLOAT Texcoord[8];
    FLOAT Tangent;
    FLOAT Binormal;
} D3DXATTRIBUTEWEIGHTS, *LPD3DXATTRIBUTEWEIGHTS;

struct ID3DXBaseMesh;
struct ID3DXMesh;
typedef ID3DXBaseMesh* LPD3DXBASEMESH;
typedef ID3DXMesh* LPD3DXMESH;

extern const IID IID_ID3DXBaseMesh;
extern const IID IID_ID3DXMesh;

struct ID3DXBaseMesh : public IUnknown {
    // Draws the faces of one attribute id: through the attribute table when
    // the mesh has one, else by scanning the attribute buffer for runs.
    virtual HRESULT DrawSubset(DWORD AttribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    // 0 when the declaration has no flexible-vertex-format code.
    virtual DWORD GetFVF() = 0;
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) = 0;
    virtual DWORD GetNumBytesPerVertex() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) = 0;
    // Copies the mesh into a new one of another layout: components the source
    // lacks are opaque white for colours and zero for everything else.
    virtual HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) = 0;
    virtual HRESULT CloneMesh(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                              LPD3DXMESH* ppCloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) = 0;
    virtual HRESULT GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) = 0;
    virtual HRESULT LockVertexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    // pAttribTable null: *pAttribTableSize gets the number of entries.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) = 0;
    virtual HRESULT ConvertPointRepsToAdjacency(const DWORD* pPRep, DWORD* pAdjacency) = 0;
    virtual HRESULT ConvertAdjacencyToPointReps(const DWORD* pAdjacency, DWORD* pPRep) = 0;
    // Three entries per face: the face across each edge (corner k to corner
    // k+1), 0xFFFFFFFF where there is none. Vertices whose positions differ by
    // no more than Epsilon in each coordinate count as one point.
    virtual HRESULT GenerateAdjacency(FLOAT Epsilon, DWORD* pAdjacency) = 0;
    // Relabels the vertex layout; the new declaration must have the same size.
    virtual HRESULT UpdateSemantics(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) = 0;
};

struct ID3DXMesh : public ID3DXBaseMesh {
    virtual HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    virtual HRESULT Optimize(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                             LPD3DXBUFFER* ppVertexRemap, LPD3DXMESH* ppOptMesh) = 0;
    virtual HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                                    LPD3DXBUFFER* ppVertexRemap) = 0;
    virtual HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* pAttribTable, DWORD cAttribTableSize) = 0;
};

// ---- Creation ------------------------------------------------------------------
HRESULT D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, const D3DVERTEXELEMENT9* pDeclaration,
                       LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh);
HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice,
                          LPD3DXMESH* ppMesh);

// ---- Loading from .x -----------------------------------------------------------
// Every mesh of the file, each moved by the transforms of the frames around it,
// becomes one mesh. Materials come back as an array of D3DXMATERIAL (texture
// names inside the same buffer) with Ambient zero; a file without materials
// gives one default material. Skin data is ignored.
HRESULT D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXBUFFER* ppAdjacency,
                           LPD3DXBUFFER* ppMaterials, LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                           LPD3DXMESH* ppMesh);
HRESULT D3DXLoadMeshFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                  LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                  LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials, LPD3DXMESH* ppMesh);
// One Mesh data object of an open .x file.
HRESULT D3DXLoadMeshFromXof(LPD3DXFILEDATA pxofMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                            LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials, LPD3DXBUFFER* ppEffectInstances,
                            DWORD* pNumMaterials, LPD3DXMESH* ppMesh);
#define D3DXLoadMeshFromX D3DXLoadMeshFromXA

// ---- Vertex formats ------------------------------------------------------------
UINT D3DXGetFVFVertexSize(DWORD FVF);
HRESULT D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE]);
HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* pDeclarator, DWORD* pFVF);
UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* pDecl, DWORD Stream);
// Number of elements before the end marker.
UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* pDecl);

// ---- Computations ----------------------------------------------------------------
// Fills the mesh's normals from its faces, each face weighted by its angle at
// the vertex. With adjacency, vertices at one point share one normal.
HRESULT D3DXComputeNormals(LPD3DXBASEMESH pMesh, const DWORD* pAdjacency);
// Fills the TANGENT element TangentIndex and the BINORMAL element BinormIndex
// (D3DX_DEFAULT: none) from the texture coordinates of stage TexStage.
HRESULT D3DXComputeTangent(LPD3DXMESH Mesh, DWORD TexStage, DWORD TangentIndex, DWORD BinormIndex, DWORD Wrap,
                           const DWORD* pAdjacency);
// Centre: the mean of the positions; radius: the largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                  D3DXVECTOR3* pCenter, FLOAT* pRadius);
HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                               D3DXVECTOR3* pMin, D3DXVECTOR3* pMax);

// ---- Cleaning and simplification --------------------------------------------------
// BACKFACING: faces lying back to back on the same points get vertices of their
// own; BOWTIES: a vertex shared by fans that no edge joins is split per fan.
HRESULT D3DXCleanMesh(D3DXCLEANTYPE CleanType, LPD3DXMESH pMeshIn, const DWORD* pAdjacencyIn, LPD3DXMESH* ppMeshOut,
                      DWORD* pAdjacencyOut, LPD3DXBUFFER* ppErrorsAndWarnings);
// Reduces the mesh to about MinValue faces (D3DXMESHSIMP_FACE) or vertices
// (D3DXMESHSIMP_VERTEX). Open borders and the borders between subsets stay
// where they are, so neighbouring pieces keep their shared edges; a vertex
// whose weight is above 1 keeps its place and its fan.
HRESULT D3DXSimplifyMesh(LPD3DXMESH pMesh, const DWORD* pAdjacency,
                         const D3DXATTRIBUTEWEIGHTS* pVertexAttributeWeights, const FLOAT* pVertexWeights,
                         DWORD MinValue, DWORD Options, LPD3DXMESH* ppMesh);
