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
