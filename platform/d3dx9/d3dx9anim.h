// D3DX9 animation: keyframed animation sets, the animation controller that
// mixes them into registered outputs (frame matrices), and frame hierarchies
// loaded from .x files.
#pragma once

#include <d3d9.h>

#include "d3dx9core.h"
#include "d3dx9math.h"
#include "d3dx9mesh.h"
#include "d3dx9skin.h"

extern const IID IID_ID3DXAnimationSet;
extern const IID IID_ID3DXKeyframedAnimationSet;
extern const IID IID_ID3DXAnimationController;

enum D3DXPLAYBACK_TYPE {
    D3DXPLAY_LOOP = 0,
    D3DXPLAY_ONCE = 1,
    D3DXPLAY_PINGPONG = 2,
    D3DXPLAY_FORCE_DWORD = 0x7fffffff
};
typedef D3DXPLAYBACK_TYPE* LPD3DXPLAYBACK_TYPE;

enum D3DXPRIORITY_TYPE {
    D3DXPRIORITY_LOW = 0,
    D3DXPRIORITY_HIGH = 1,
    D3DXPRIORITY_FORCE_DWORD = 0x7fffffff
};
typedef D3DXPRIORITY_TYPE* LPD3DXPRIORITY_TYPE;

// GetCallback search flags.
enum D3DXCALLBACK_SEARCH_FLAGS {
    D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION = 0x01,
    D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION = 0x02,
    D3DXCALLBACK_SEARCH_FORCE_DWORD = 0x7fffffff
};

// Key times are in ticks of the set (see GetSourceTicksPerSecond).
struct D3DXKEY_VECTOR3 {
    FLOAT Time;
    D3DXVECTOR3 Value;
};
typedef D3DXKEY_VECTOR3* LPD3DXKEY_VECTOR3;

struct D3DXKEY_QUATERNION {
    FLOAT Time;
    D3DXQUATERNION Value;
};
typedef D3DXKEY_QUATERNION* LPD3DXKEY_QUATERNION;

struct D3DXKEY_CALLBACK {
    FLOAT Time;
    LPVOID pCallbackData;
};
typedef D3DXKEY_CALLBACK* LPD3DXKEY_CALLBACK;

struct D3DXTRACK_DESC {
    D3DXPRIORITY_TYPE Priority;
    FLOAT Weight;
    FLOAT Speed;
    DOUBLE Position;
    BOOL Enable;
};
typedef D3DXTRACK_DESC* LPD3DXTRACK_DESC;

// ---- ID3DXAnimationSet -------------------------------------------------------
struct ID3DXAnimationSet : public IUnknown {
    virtual LPCSTR GetName() = 0;
    // Length of one pass through the keys, in seconds.
    virtual DOUBLE GetPeriod() = 0;
    // A track-local time (seconds) folded into [0, period] by the playback type.
    virtual DOUBLE GetPeriodicPosition(DOUBLE Position) = 0;
    virtual UINT GetNumAnimations() = 0;
    virtual HRESULT GetAnimationNameByIndex(UINT Index, LPCSTR* ppName) = 0;
    virtual HRESULT GetAnimationIndexByName(LPCSTR pName, UINT* pIndex) = 0;
    // Scale, rotation and translation of one animation at a periodic position (seconds).
    virtual HRESULT GetSRT(DOUBLE PeriodicPosition, UINT Animation, D3DXVECTOR3* pScale, D3DXQUATERNION* pRotation,
                           D3DXVECTOR3* pTranslation) = 0;
    // The first callback key at or after (or, with BEHIND, at or before) a track-local position.
    virtual HRESULT GetCallback(DOUBLE Position, DWORD Flags, DOUBLE* pCallbackPosition, LPVOID* ppCallbackData) = 0;
};
typedef ID3DXAnimationSet* LPD3DXANIMATIONSET;

// ---- ID3DXKeyframedAnimationSet ------------------------------------------------
// Keys are interpolated linearly (scale, translation) and spherically (rotation);
// the rotation matrix of a key q is D3DXMatrixRotationQuaternion(q).
struct ID3DXKeyframedAnimationSet : public ID3DXAnimationSet {
    virtual D3DXPLAYBACK_TYPE GetPlaybackType() = 0;
    virtual DOUBLE GetSourceTicksPerSecond() = 0;

    virtual UINT GetNumScaleKeys(UINT Animation) = 0;
    virtual HRESULT GetScaleKeys(UINT Animation, LPD3DXKEY_VECTOR3 pScaleKeys) = 0;
    virtual HRESULT GetScaleKey(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pScaleKey) = 0;
    virtual HRESULT SetScaleKey(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pScaleKey) = 0;

    virtual UINT GetNumRotationKeys(UINT Animation) = 0;
    virtual HRESULT GetRotationKeys(UINT Animation, LPD3DXKEY_QUATERNION pRotationKeys) = 0;
    virtual HRESULT GetRotationKey(UINT Animation, UINT Key, LPD3DXKEY_QUATERNION pRotationKey) = 0;
    virtual HRESULT SetRotationKey(UINT Animation, UINT Key, LPD3DXKEY_QUATERNION pRotationKey) = 0;

    virtual UINT GetNumTranslationKeys(UINT Animation) = 0;
    virtual HRESULT GetTranslationKeys(UINT Animation, LPD3DXKEY_VECTOR3 pTranslationKeys) = 0;
    virtual HRESULT GetTranslationKey(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pTranslationKey) = 0;
    virtual HRESULT SetTranslationKey(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pTranslationKey) = 0;

    virtual UINT GetNumCallbackKeys() = 0;
    virtual HRESULT GetCallbackKeys(LPD3DXKEY_CALLBACK pCallbackKeys) = 0;
    virtual HRESULT GetCallbackKey(UINT Key, LPD3DXKEY_CALLBACK pCallbackKey) = 0;
    virtual HRESULT SetCallbackKey(UINT Key, LPD3DXKEY_CALLBACK pCallbackKey) = 0;

    virtual HRESULT UnregisterScaleKey(UINT Animation, UINT Key) = 0;
    virtual HRESULT UnregisterRotationKey(UINT Animation, UINT Key) = 0;
    virtual HRESULT UnregisterTranslationKey(UINT Animation, UINT Key) = 0;

    // Adds one named animation (the name of the output it drives). Keys are
    // copied and sorted by time; pAnimationIndex may be null.
    virtual HRESULT RegisterAnimationSRTKeys(LPCSTR pName, UINT NumScaleKeys, UINT NumRotationKeys,
                                             UINT NumTranslationKeys, const D3DXKEY_VECTOR3* pScaleKeys,
                                             const D3DXKEY_QUATERNION* pRotationKeys,
                                             const D3DXKEY_VECTOR3* pTranslationKeys, DWORD* pAnimationIndex) = 0;
    virtual HRESULT UnregisterAnimation(UINT Index) = 0;
};
typedef ID3DXKeyframedAnimationSet* LPD3DXKEYFRAMEDANIMATIONSET;

// ---- ID3DXAnimationCallbackHandler ---------------------------------------------
// Called by AdvanceTime for every callback key a track passes.
struct ID3DXAnimationCallbackHandler {
    virtual HRESULT HandleCallback(UINT Track, LPVOID pCallbackData) = 0;

protected:
    ~ID3DXAnimationCallbackHandler() = default;
};
typedef ID3DXAnimationCallbackHandler* LPD3DXANIMATIONCALLBACKHANDLER;

// ---- ID3DXAnimationController --------------------------------------------------
// Tracks start with no set, weight 1, speed 1, position 0, low priority and
// enabled. AdvanceTime moves every enabled track by TimeDelta x its speed and
// writes the mixed scale, rotation and translation of every output that an
// enabled track's set animates; outputs nothing animates keep their values.
struct ID3DXAnimationController : public IUnknown {
    virtual UINT GetMaxNumAnimationOutputs() = 0;
    virtual UINT GetMaxNumAnimationSets() = 0;
    virtual UINT GetMaxNumTracks() = 0;
    virtual UINT GetMaxNumEvents() = 0;

    virtual HRESULT RegisterAnimationOutput(LPCSTR pName, D3DXMATRIX* pMatrix, D3DXVECTOR3* pScale,
                                            D3DXQUATERNION* pRotation, D3DXVECTOR3* pTranslation) = 0;

    virtual HRESULT RegisterAnimationSet(LPD3DXANIMATIONSET pAnimSet) = 0;
    virtual HRESULT UnregisterAnimationSet(LPD3DXANIMATIONSET pAnimSet) = 0;
    virtual UINT GetNumAnimationSets() = 0;
    virtual HRESULT GetAnimationSet(UINT Index, LPD3DXANIMATIONSET* ppAnimationSet) = 0;
    virtual HRESULT GetAnimationSetByName(LPCSTR szName, LPD3DXANIMATIONSET* ppAnimationSet) = 0;

    virtual HRESULT AdvanceTime(DOUBLE TimeDelta, LPD3DXANIMATIONCALLBACKHANDLER pCallbackHandler) = 0;
    virtual HRESULT ResetTime() = 0;
    virtual DOUBLE GetTime() = 0;

    virtual HRESULT SetTrackAnimationSet(UINT Track, LPD3DXANIMATIONSET pAnimSet) = 0;
    virtual HRESULT GetTrackAnimationSet(UINT Track, LPD3DXANIMATIONSET* ppAnimSet) = 0;
    virtual HRESULT SetTrackPriority(UINT Track, D3DXPRIORITY_TYPE Priority) = 0;
    virtual HRESULT SetTrackSpeed(UINT Track, FLOAT Speed) = 0;
    virtual HRESULT SetTrackWeight(UINT Track, FLOAT Weight) = 0;
    virtual HRESULT SetTrackPosition(UINT Track, DOUBLE Position) = 0;
    virtual HRESULT SetTrackEnable(UINT Track, BOOL Enable) = 0;
    virtual HRESULT SetTrackDesc(UINT Track, LPD3DXTRACK_DESC pDesc) = 0;
    virtual HRESULT GetTrackDesc(UINT Track, LPD3DXTRACK_DESC pDesc) = 0;

    // Weight of the high-priority mix against the low-priority one (0 to 1).
    virtual HRESULT SetPriorityBlend(FLOAT BlendWeight) = 0;
    virtual FLOAT GetPriorityBlend() = 0;

    virtual HRESULT CloneAnimationController(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                             UINT MaxNumEvents, ID3DXAnimationController** ppAnimController) = 0;
};
typedef ID3DXAnimationController* LPD3DXANIMATIONCONTROLLER;

HRESULT D3DXCreateKeyframedAnimationSet(LPCSTR pName, DOUBLE TicksPerSecond, D3DXPLAYBACK_TYPE Playback,
                                        UINT NumAnimations, UINT NumCallbackKeys,
                                        const D3DXKEY_CALLBACK* pCallbackKeys,
                                        LPD3DXKEYFRAMEDANIMATIONSET* ppAnimationSet);

HRESULT D3DXCreateAnimationController(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                      UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER* ppAnimController);

// ---- Frame hierarchies -----------------------------------------------------------
struct ID3DXPMesh;
struct ID3DXPatchMesh;

struct D3DXMESHDATA {
    D3DXMESHTYPE Type;
    union {
        LPD3DXMESH pMesh;
        ID3DXPMesh* pPMesh;
        ID3DXPatchMesh* pPatchMesh;
    };
};
typedef D3DXMESHDATA* LPD3DXMESHDATA;

struct D3DXMESHCONTAINER {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    LPD3DXMATERIAL pMaterials;
    LPD3DXEFFECTINSTANCE pEffects;
    DWORD NumMaterials;
    DWORD* pAdjacency;
    LPD3DXSKININFO pSkinInfo;
    D3DXMESHCONTAINER* pNextMeshContainer;
};
typedef D3DXMESHCONTAINER* LPD3DXMESHCONTAINER;

struct D3DXFRAME {
    LPSTR Name;
    D3DXMATRIX TransformationMatrix;
    LPD3DXMESHCONTAINER pMeshContainer;
    D3DXFRAME* pFrameSibling;
    D3DXFRAME* pFrameFirstChild;
};
typedef D3DXFRAME* LPD3DXFRAME;

// The application's allocator of frames and mesh containers: the loader calls
// the Create operations, D3DXFrameDestroy the Destroy ones.
struct ID3DXAllocateHierarchy {
    virtual HRESULT CreateFrame(LPCSTR Name, LPD3DXFRAME* ppNewFrame) = 0;
    // The container keeps (AddRef) what it needs of the mesh and the skin
    // information; the arrays are the loader's and must be copied.
    virtual HRESULT CreateMeshContainer(LPCSTR Name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                        const D3DXEFFECTINSTANCE* pEffectInstances, DWORD NumMaterials,
                                        const DWORD* pAdjacency, LPD3DXSKININFO pSkinInfo,
                                        LPD3DXMESHCONTAINER* ppNewMeshContainer) = 0;
    virtual HRESULT DestroyFrame(LPD3DXFRAME pFrameToFree) = 0;
    virtual HRESULT DestroyMeshContainer(LPD3DXMESHCONTAINER pMeshContainerToFree) = 0;

protected:
    ~ID3DXAllocateHierarchy() = default;
};
typedef ID3DXAllocateHierarchy* LPD3DXALLOCATEHIERARCHY;

// Application data objects inside a hierarchy file.
struct ID3DXLoadUserData {
    virtual HRESULT LoadTopLevelData(LPD3DXFILEDATA pXofChildData) = 0;
    virtual HRESULT LoadFrameChildData(LPD3DXFRAME pFrame, LPD3DXFILEDATA pXofChildData) = 0;
    virtual HRESULT LoadMeshChildData(LPD3DXMESHCONTAINER pMeshContainer, LPD3DXFILEDATA pXofChildData) = 0;

protected:
    ~ID3DXLoadUserData() = default;
};
typedef ID3DXLoadUserData* LPD3DXLOADUSERDATA;

// Loads a .x file's frames (FrameTransformMatrix their matrices, Mesh objects
// their containers, with materials, adjacency and skin information) through
// the allocator, and its animation sets onto a controller whose outputs are
// the named frames' matrices (track 0 plays the first set; null when the
// file has no animation). One top-level frame is the root; several, or
// meshes outside any frame, hang under an unnamed root. On failure whatever
// was built is destroyed again.
HRESULT D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                    LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                    LPD3DXFRAME* ppFrameHierarchy, LPD3DXANIMATIONCONTROLLER* ppAnimController);
HRESULT D3DXLoadMeshHierarchyFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD MeshOptions,
                                           LPDIRECT3DDEVICE9 pDevice, LPD3DXALLOCATEHIERARCHY pAlloc,
                                           LPD3DXLOADUSERDATA pUserDataLoader, LPD3DXFRAME* ppFrameHierarchy,
                                           LPD3DXANIMATIONCONTROLLER* ppAnimController);
#define D3DXLoadMeshHierarchyFromX D3DXLoadMeshHierarchyFromXA

// Hands every mesh container and frame below (and beside) the root to the
// allocator's Destroy operations.
HRESULT D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc);
// The first frame of that name, depth first (a null name finds an unnamed frame).
LPD3DXFRAME D3DXFrameFind(const D3DXFRAME* pFrameRoot, LPCSTR Name);
HRESULT D3DXFrameAppendChild(LPD3DXFRAME pFrameParent, const D3DXFRAME* pFrameChild);
UINT D3DXFrameNumNamedMatrices(const D3DXFRAME* pFrameRoot);
// Registers every named frame's TransformationMatrix as an animation output.
HRESULT D3DXFrameRegisterNamedMatrices(LPD3DXFRAME pFrameRoot, LPD3DXANIMATIONCONTROLLER pAnimController);
// The sphere around every mesh position of the hierarchy, each moved by its
// frames' matrices: centre the mean of the positions, radius the farthest.
HRESULT D3DXFrameCalculateBoundingSphere(const D3DXFRAME* pFrameRoot, LPD3DXVECTOR3 pObjectCenter,
                                         FLOAT* pObjectRadius);
