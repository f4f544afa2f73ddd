// Trail effects: a mesh followed by tails of lagging copies, posed by the
// parameters. CObjetoEstela leads one tail of 5 copies (an object with a
// wake); CPulpo (pulpo.h) leads eight tails of 15. Both share the parameters
// and the frame below.
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

// ficheroObjetoBase, posx, posy, posz, rotx, roty, rotz, dinamicaTranslacion,
// dinamicaRotacion, alphaBase, alphaInc, escalaBase, escalaInc, appended in
// that order.
void AppendTrailParams(Effect* e);
// Writes the leading mesh's pose, opacity and scale from the parameters and
// returns the dynamics, reading the parameters in the order above.
TrailDynamics DriveTrailLeader(Effect* e, TailMesh* leader);
// Appends a tail of `count` copies at the given offsets (yaw and roll 0),
// following with the dynamics.
void AddTrail(TailMesh* leader, int count, float x, float y, float z, float pitch, const TrailDynamics& d);
// Hands the dynamics to every copy when any of the four differs from those
// last handed (a NaN counts as a difference), and records them.
void UpdateTrailDynamics(TailMesh* leader, const TrailDynamics& now, float* translacion, float* rotacion,
                         float* alphaInc, float* escalaInc);

class CObjetoEstela : public Effect {
public:
    CObjetoEstela();
    // Deletes the scene, the leading mesh with its tails and the camera.
    ~CObjetoEstela() override;
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
