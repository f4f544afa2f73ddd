// The loading screen: a background picture over the whole screen and a bar
// whose opacity, size, position and texture window follow the parameters.
// It draws and presents whole frames by itself while the show loads.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "camera.h"
#include "effect.h"
#include "quads.h"
#include "scene.h"

// Set once the loading screen has written its log line; never cleared.
extern int g_initBarraLogged;

class InitBarra : public Effect {
public:
    InitBarra();
    ~InitBarra() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    Scene* m_pEscena;
    Camera* m_pCamara;
    StaticQuad* m_pImagen;  // background, z 2
    StaticQuad* m_pBarra;   // bar, z 3
    IDirect3DStateBlock9* m_pEstado;
};
