// The eight-armed trail: a mesh leading eight tails of 15 copies whose
// offsets point toward the corners of a cube around it. Parameters and frame
// as CObjetoEstela's (objetoestela.h).
#pragma once

#include "objetoestela.h"

class CPulpo : public Effect {
public:
    CPulpo();
    // Deletes the scene, the leading mesh with its tails and the camera.
    ~CPulpo() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    Scene* m_pEscena;
    Camera* m_pCamara;
    TailMesh* m_pObjeto;
    // The dynamics as last handed to the tails.
    float m_dinamicaRotacion;
    float m_dinamicaTranslacion;
    float m_alphaInc;
    float m_escalaInc;
};
