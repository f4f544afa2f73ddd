// Height-map terrain cut into square slices of 8 x 8 vertices, each
// simplified on its own and drawn only when its bounding sphere meets the
// camera's frustum. Texture layers and set-up as the one-mesh terrain.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <vector>

#include "scene.h"

class SlicedTerrain : public SceneObject
{
public:
    // The arguments of the one-mesh terrain, with the same meaning.
    SlicedTerrain(const char* heightMap, const char* baseFile, const char* detailFile, int resolution, int size,
                  int altura, bool useDetail, bool useBump);
    ~SlicedTerrain() override;
    // Draws the slices whose spheres meet the camera's frustum. Returns 0.
    int Render(Camera* camara, float frameTime) override;

    // Ground height at the world point: between about 0 and m_altura; 0
    // outside -512..512 in x or z.
    float GetHeight(float x, float z);

    static DWORD DirectionToColor(const D3DXVECTOR3& v, float h);

    // The steps of construction, in their order.
    void LoadHeightMap(const char* file);
    void LoadTextures(const char* baseFile, const char* detailFile);
    void CreateStateBlock();
    void BuildSlices();

    bool m_useBumpMap;
    bool m_useDetail;
    int m_numSlices;                     // slices per side
    ID3DXMesh** m_pSlices;               // slice (i, j) at i * m_numSlices + j; null where none could be built
    D3DXVECTOR3* m_sliceCenters;         // world units
    float* m_sliceRadii;
    IDirect3DTexture9* m_pBaseTexture;   // from the texture cache
    IDirect3DTexture9* m_pDetailTexture; // from the texture cache; null when the detail layer is off
    IDirect3DTexture9* m_pNormalMap;     // owned; null without bump
    IDirect3DStateBlock9* m_estado;      // owned
    int m_resolution;                    // N: samples per side
    int m_size;                          // extent along x and z, world units
    int m_altura;                        // height scale
    BYTE* m_heights;                     // N x N samples, row by row; null for an unusable N

private:
    // Slice (i, j): its grid mesh, simplified, cleaned, optimised and given
    // normals; null when the grid mesh cannot be made.
    ID3DXMesh* BuildSlice(int i, int j, std::vector<DWORD>& adjacency, std::vector<DWORD>& adjacencyOut);
    void ReleaseSlices();

    SlicedTerrain(const SlicedTerrain&) = delete;
    SlicedTerrain& operator=(const SlicedTerrain&) = delete;
};
