// Screen image effects: a strip of up to ten pictures of which one is shown
// per frame, and the loading screen with its growing bar.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "camera.h"
#include "effect.h"
#include "quads.h"
#include "scene.h"

// Most pictures one strip can hold (ficheroImagen0 .. ficheroImagen9).
const int kMaxImagenes = 10;

// The tint a quad gets for an opacity: the opacity, clamped to [0, 1], as a
// byte in each of the colour's four bytes.
DWORD AlphaToQuadColor(float alpha);

// The quad parameters both screen image effects share: alpha, scalex,
// scaley, posx, posy, u0, u1, v0, v1, appended in that order.
void AppendQuadParams(Effect* e);
// Sets the quad's tint, size, place and texture window from those
// parameters, read in that order.
void DriveQuad(Effect* e, StaticQuad* quad);

// The picture shown for an index: the index wrapped into [0, count).
int WrapImageIndex(int index, int count);

class CStaticGfx2D : public Effect {
public:
    CStaticGfx2D();
    ~CStaticGfx2D() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    Scene* m_pEscena;
    Camera* m_pCamara;
    StaticQuad** m_imagenes;
    int m_numImagenes;
};
