// Screen sprites: textured rectangles in screen pixels, drawn as scene
// objects (pre-transformed vertices; the camera and world play no part).
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "scene.h"

struct QuadVertex {
    float x, y, z, rhw;  // pixels, z 0, rhw 1
    float u, v;
};

const DWORD D3DFVF_QUADVERTEX = D3DFVF_XYZRHW | D3DFVF_TEX1;

// Composed here and copied whole into a quad's buffer.
extern QuadVertex g_quadVertices[4];

// A picture from the texture cache placed and sized in fractions of the
// screen, with a texture rectangle and an alpha tint.
class StaticQuad : public SceneObject {
public:
    StaticQuad(const char* file, int screenWidth, int screenHeight, bool alpha);
    ~StaticQuad() override;
    int Render(Camera* camara, float frameTime) override;

    void LockRect(void** ppBits, int* pitch);
    void UnlockRect();

    // 0 hides the quad; 0xFFFFFFFF takes alpha from the texture alone; any
    // other value's alpha byte scales the texture's alpha.
    DWORD m_color;
    float m_scaleX, m_scaleY;  // size, fractions of the screen
    float m_posX, m_posY;      // left and top edge, fractions of the screen
    float m_u0, m_u1, m_v0, m_v1;
    IDirect3DVertexBuffer9* vertexBuffer;
    // Null when the picture could not be loaded: the quad then draws nothing.
    IDirect3DTexture9* m_pTexture;
    bool m_alpha;
    float m_screenWidth, m_screenHeight;

private:
    void FillBuffer();
};

// A square texture of its own, filled by the caller between LockRect and
// UnlockRect, drawn over a fixed pixel size at the screen's top-left corner.
// Blended or not, it sits in the scene's opaque pass.
class DynamicQuad : public SceneObject
{
public:
    // Evicts the managed resources, then prefers a dynamic default-pool
    // texture and falls back to a managed one.
    DynamicQuad(int textureSize, int width, int height, bool alpha);
    ~DynamicQuad() override;
    // Draws with fog off, then turns fog on whatever it was before.
    int Render(Camera* camara, float frameTime) override;

    // Locks level 0 whole, discarding its contents, or without flags when
    // that fails; null outputs when the texture cannot be locked.
    void LockRect(void** ppBits, int* pitch);
    void UnlockRect();

    IDirect3DVertexBuffer9* vertexBuffer;
    // Null when no texture could be made: the quad then draws nothing.
    IDirect3DTexture9* m_pTexture;
    int m_textureSize;
    bool m_alpha;
};
