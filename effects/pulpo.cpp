#include "pulpo.h"

#include "utils.h"

namespace {
const float kPi20 = 0.15707964f;
} // namespace

CPulpo::CPulpo()
    : m_pEscena(nullptr)
    , m_pCamara(nullptr)
    , m_pObjeto(nullptr)
    , m_dinamicaRotacion(0.0f)
    , m_dinamicaTranslacion(0.0f)
    , m_alphaInc(0.0f)
    , m_escalaInc(0.0f)
{
    SetName("CPulpo");
    AppendTrailParams(this);
}

CPulpo::~CPulpo()
{
    if (m_initialised) {
        delete m_pEscena;
        delete m_pObjeto;
        delete m_pCamara;
    }
}

int CPulpo::Init()
{
    m_pEscena = new Scene();
    m_pObjeto = new TailMesh(static_cast<PublicParamString*>(GetParam("ficheroObjetoBase"))->GetValue());
    const TrailDynamics d = DriveTrailLeader(this, m_pObjeto);
    m_dinamicaTranslacion = d.translacion;
    m_dinamicaRotacion = d.rotacion;
    m_alphaInc = d.alphaInc;
    m_escalaInc = d.escalaInc;
    // Toward the cube's corners: the near four first, then the far four.
    static const struct {
        float x, y, pitch;
    } arms[4] = {{-0.25f, 0.25f, kPi20}, {0.25f, 0.25f, kPi20}, {0.25f, -0.25f, -kPi20}, {-0.25f, -0.25f, -kPi20}};
    for (float z : {-0.25f, 0.25f})
        for (const auto& arm : arms)
            AddTrail(m_pObjeto, 15, arm.x, arm.y, z, arm.pitch, d);
    m_pEscena->Add(m_pObjeto);
    m_pCamara = new Camera();
    return 0;
}

int CPulpo::Start()
{
    return 0;
}

int CPulpo::Render(float)
{
    const TrailDynamics d = DriveTrailLeader(this, m_pObjeto);
    UpdateTrailDynamics(m_pObjeto, d, &m_dinamicaTranslacion, &m_dinamicaRotacion, &m_alphaInc, &m_escalaInc);
    ApplyDefaultStates();
    m_pEscena->Render(m_pCamara, m_delta);
    return 0;
}
