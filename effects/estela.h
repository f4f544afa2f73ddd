// Trail effects: a mesh from a file leading tails of lagging copies in a
// scene of its own, posed every frame by the parameters. CEstela holds what
// both share; CObjetoEstela and CPulpo attach their own tails.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "camera.h"
#include "effect.h"
#include "scene.h"
#include "tailmesh.h"

// The four values that rule the copies: how fast they follow in position and
// in rotation, and the factors of opacity and scale from copy to copy.
struct TrailDynamics {
    float translacion, rotacion, alphaInc, escalaInc;
};

class CEstela : public Effect {
public:
    // Deletes the scene, the leading mesh with its tails and the camera.
    ~CEstela() override;
    int Start() override;
    // Poses the leading mesh, hands the dynamics to the tails when one of
    // them changed, and draws the scene with the entry's time step.
    int Render(float t) override;

    Scene* m_pEscena;
    Camera* m_pCamara;
    TailMesh* m_pObjeto;
    // The dynamics as last handed to the tails.
    float m_dinamicaRotacion;
    float m_dinamicaTranslacion;
    float m_alphaInc;
    float m_escalaInc;

protected:
    // Names the effect and creates its parameters: ficheroObjetoBase, posx,
    // posy, posz, rotx, roty, rotz, dinamicaTranslacion, dinamicaRotacion,
    // alphaBase, alphaInc, escalaBase, escalaInc.
    explicit CEstela(const char* className);
    // Init up to the tails: the scene, the leading mesh from
    // ficheroObjetoBase, its pose, and the dynamics, recorded and returned.
    TrailDynamics InitLeader();
    // A tail of `count` copies at the given offsets (yaw and roll 0).
    void AddTrail(int count, float x, float y, float z, float pitch, const TrailDynamics& d);
    // Init after the tails: the leading mesh into the scene, the camera.
    void FinishInit();

private:
    // Writes the leading mesh's pose, opacity and scale from the parameters
    // and returns the dynamics, reading the parameters in their order.
    TrailDynamics DriveLeader();
    void Record(const TrailDynamics& d);
};
