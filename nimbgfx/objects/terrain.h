// Height-map terrain: one indexed mesh over an N x N grid of height samples,
// with a base texture, a tiled detail texture and DOT3 bump lighting from a
// normal map, and the ground height under any point.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "scene.h"

class Terrain : public SceneObject
{
public:
    // File names are relative to "data\textures\". Which texture layers are
    // used is settled here, from the wishes, the device's capabilities and
    // device validation; failures are reported and construction goes on.
    Terrain(const char* heightMap, const char* baseFile, const char* detailFile, int resolution, int size,
            int altura, bool useDetail, bool useBump);
    ~Terrain() override;
    // Draws the mesh with the recorded set-up; the world transform becomes
    // the identity. Returns 0.
    int Render(Camera* camara, float frameTime) override;

    // Ground height at the world point; 0 outside -512..512 in x or z.
    float GetHeight(float x, float z);

    // A direction packed as a colour: A = 255 h, RGB = 127 v + 128, each
    // truncated toward zero.
    static DWORD DirectionToColor(const D3DXVECTOR3& v, float h);

    // The steps of construction, in their order.
    void LoadHeightMap(const char* file);
    void LoadTextures(const char* baseFile, const char* detailFile);
    void CreateStateBlock();
    void BuildMesh();

    bool m_useBumpMap;
    bool m_useDetail;
    ID3DXMesh* m_pMesh;                  // owned; null when it could not be built
    IDirect3DTexture9* m_pBaseTexture;   // from the texture cache
    IDirect3DTexture9* m_pDetailTexture; // from the texture cache; null when the detail layer is off
    IDirect3DTexture9* m_pNormalMap;     // owned; null without bump
    IDirect3DStateBlock9* m_estado;      // owned
    int m_resolution;                    // N: samples and vertices per side
    int m_size;                          // extent along x and z, world units
    int m_altura;                        // height scale: a sample step is m_altura / 256 units
    BYTE* m_heights;                     // N x N samples, row by row; null for an unusable N

private:
    void ReleaseMesh();

    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;
};
