// One animated, skinned .x model: its frame hierarchy, mesh containers and
// animation controller, every skinned mesh converted for indexed vertex
// blending with at most 26 bone matrices per draw, drawn through a shader
// effect. HierarchyAllocator makes and frees the frames and containers for
// the hierarchy loader.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

// Most bone matrices one draw call takes.
const DWORD kMaxPaletteSize = 26;

struct SkinFrame : public D3DXFRAME {
    // TransformationMatrix x the parent's m_combined (x the world at the root).
    alignas(16) D3DXMATRIX m_combined;
};

struct SkinMeshContainer : public D3DXMESHCONTAINER {
    // One per material, from the texture cache; null for none or a failed load.
    IDirect3DTexture9** m_materialTextures;
    // The mesh as loaded, with normals: the source of the blended mesh.
    ID3DXMesh* m_pSourceMesh;
    DWORD m_numBoneCombinations;
    DWORD m_maxInfluences;
    ID3DXBuffer* m_pBoneCombinations;  // D3DXBONECOMBINATION table
    D3DXMATRIX** m_boneLinks;          // per bone: the m_combined of its frame
    D3DXMATRIX* m_boneOffsets;         // per bone, 16-byte aligned
    DWORD m_paletteSize;               // min(26, bones)
    bool m_softwareSkinning;
};

class SkinnedModel {
public:
    SkinnedModel();
    ~SkinnedModel();

    // Loads the hierarchy and animation, links the bones, writes the bounding
    // sphere and compiles the effect. 0 on success, else the first failing
    // call's result; what was built stays for Destroy.
    HRESULT Load(const char* file, const char* effectFile, const D3DCAPS9* caps, IDirect3DDevice9* device,
                 D3DXVECTOR3* sphereCenter, float* sphereRadius);
    // True once a Load has succeeded (until Destroy): only then the model is
    // updated and drawn. The effect is made last, so it marks a whole load.
    bool IsLoaded() const { return m_pFrameRoot && m_pEffect; }

    HRESULT OnResetDevice(IDirect3DDevice9* device);
    HRESULT OnLostDevice();
    // OnLostDevice, then Destroy.
    void Release(const D3DCAPS9* caps);
    // Frees the hierarchy, the controller and the effect.
    void Destroy(const D3DCAPS9* caps);

    // Sets track 0's speed, advances the animation by `elapsed` seconds and
    // recomputes every frame's m_combined under `world`.
    HRESULT Update(const D3DXMATRIX* world, float elapsed, float speed);
    // Track 0's position in seconds (0 without an animation).
    double GetTrackPosition();
    void SetTrackPosition(double position);

    HRESULT Render(const D3DCAPS9* caps, IDirect3DDevice9* device, const D3DXMATRIX* view,
                   const D3DXMATRIX* projection, D3DXVECTOR4 lightDir);

    // Prepares a container with skin information for indexed blending and
    // grows the palette to its bone count.
    HRESULT BuildSkinnedMesh(SkinMeshContainer* container, const D3DCAPS9* caps, IDirect3DDevice9* device);

    SkinFrame* m_pFrameRoot;
    ID3DXAnimationController* m_pAnimController;
    D3DXMATRIX* m_pBoneMatrices;  // the palette, 16-byte aligned
    DWORD m_numBoneMatrices;
    ID3DXEffect* m_pEffect;

private:
    void DrawFrameTree(SkinFrame* frame, IDirect3DDevice9* device, const D3DXMATRIX* view);
    void DrawContainer(SkinMeshContainer* container, SkinFrame* frame, IDirect3DDevice9* device,
                       const D3DXMATRIX* view);
    void UpdateFrameTransforms(SkinFrame* frame, const D3DXMATRIX* parent);
    HRESULT LinkBoneMatrices(SkinFrame* frame);
    HRESULT LinkContainerBones(SkinMeshContainer* container);

    SkinnedModel(const SkinnedModel&) = delete;
    SkinnedModel& operator=(const SkinnedModel&) = delete;
};

class HierarchyAllocator : public ID3DXAllocateHierarchy {
public:
    HierarchyAllocator(SkinnedModel* model, D3DCAPS9 caps);

    HRESULT CreateFrame(LPCSTR name, LPD3DXFRAME* ppNewFrame) override;
    HRESULT CreateMeshContainer(LPCSTR name, const D3DXMESHDATA* pMeshData, const D3DXMATERIAL* pMaterials,
                                const D3DXEFFECTINSTANCE* pEffectInstances, DWORD numMaterials,
                                const DWORD* pAdjacency, LPD3DXSKININFO pSkinInfo,
                                LPD3DXMESHCONTAINER* ppNewMeshContainer) override;
    HRESULT DestroyFrame(LPD3DXFRAME pFrameToFree) override;
    // Also frees a container that was only partly built.
    HRESULT DestroyMeshContainer(LPD3DXMESHCONTAINER pMeshContainerToFree) override;

    SkinnedModel* m_pModel;
    D3DCAPS9 m_caps;
};

// A heap copy of the name with its terminator (null for a null name);
// E_OUTOFMEMORY when it cannot be allocated.
HRESULT DuplicateName(const char* name, char** ppOut);
