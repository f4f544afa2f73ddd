#include "objetoestela.h"

#include "utils.h"

namespace {
const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;
const int kMaxText = 65536;

float Value(Effect* e, const char* name)
{
    return static_cast<PublicParamFloat*>(e->GetParam(name))->GetValue();
}
} // namespace

void AppendTrailParams(Effect* e)
{
    static const struct {
        const char* name;
        float value;
    } params[] = {{"posx", 0.0f}, {"posy", 0.0f}, {"posz", 0.0f}, {"rotx", 0.0f}, {"roty", 0.0f},
                  {"rotz", 0.0f}, {"dinamicaTranslacion", 1.0f}, {"dinamicaRotacion", 1.0f}, {"alphaBase", 1.0f},
                  {"alphaInc", 1.0f}, {"escalaBase", 1.0f}, {"escalaInc", 1.0f}};
    e->m_params.push_back(new PublicParamString("ficheroObjetoBase", "", kMaxText));
    for (const auto& p : params)
        e->m_params.push_back(new PublicParamFloat(p.name, p.value, kFloatMin, kFloatMax));
}

TrailDynamics DriveTrailLeader(Effect* e, TailMesh* leader)
{
    leader->m_position.x = Value(e, "posx");
    leader->m_position.y = Value(e, "posy");
    leader->m_position.z = Value(e, "posz");
    leader->m_pitch = Value(e, "rotx");
    leader->m_yaw = Value(e, "roty");
    leader->m_roll = Value(e, "rotz");
    TrailDynamics d;
    d.translacion = Value(e, "dinamicaTranslacion");
    d.rotacion = Value(e, "dinamicaRotacion");
    leader->m_alpha = Value(e, "alphaBase");
    d.alphaInc = Value(e, "alphaInc");
    leader->m_scale = Value(e, "escalaBase");
    d.escalaInc = Value(e, "escalaInc");
    return d;
}

void AddTrail(TailMesh* leader, int count, float x, float y, float z, float pitch, const TrailDynamics& d)
{
    leader->AddTail(count, d.translacion, x, d.translacion, y, d.translacion, z, d.rotacion, pitch, d.rotacion, 0.0f,
                    d.rotacion, 0.0f, d.escalaInc, d.alphaInc);
}

void UpdateTrailDynamics(TailMesh* leader, const TrailDynamics& now, float* translacion, float* rotacion,
                         float* alphaInc, float* escalaInc)
{
    // != is true for a NaN on either side.
    if (now.translacion != *translacion || now.rotacion != *rotacion || now.alphaInc != *alphaInc ||
        now.escalaInc != *escalaInc) {
        leader->SetDynamics(now.translacion, now.rotacion, now.escalaInc, now.alphaInc);
        *translacion = now.translacion;
        *rotacion = now.rotacion;
        *alphaInc = now.alphaInc;
        *escalaInc = now.escalaInc;
    }
}

CObjetoEstela::CObjetoEstela()
    : m_pEscena(nullptr)
    , m_pCamara(nullptr)
    , m_pObjeto(nullptr)
    , m_dinamicaRotacion(0.0f)
    , m_dinamicaTranslacion(0.0f)
    , m_alphaInc(0.0f)
    , m_escalaInc(0.0f)
{
    SetName("CObjetoEstela");
    AppendTrailParams(this);
}

CObjetoEstela::~CObjetoEstela()
{
    if (m_initialised) {
        delete m_pEscena;
        delete m_pObjeto;
        delete m_pCamara;
    }
}

int CObjetoEstela::Init()
{
    m_pEscena = new Scene();
    m_pObjeto = new TailMesh(static_cast<PublicParamString*>(GetParam("ficheroObjetoBase"))->GetValue());
    const TrailDynamics d = DriveTrailLeader(this, m_pObjeto);
    m_dinamicaTranslacion = d.translacion;
    m_dinamicaRotacion = d.rotacion;
    m_alphaInc = d.alphaInc;
    m_escalaInc = d.escalaInc;
    AddTrail(m_pObjeto, 5, 0.5f, 0.5f, 0.0f, 0.0f, d);
    m_pEscena->Add(m_pObjeto);
    m_pCamara = new Camera();
    return 0;
}

int CObjetoEstela::Start()
{
    return 0;
}

int CObjetoEstela::Render(float)
{
    const TrailDynamics d = DriveTrailLeader(this, m_pObjeto);
    UpdateTrailDynamics(m_pObjeto, d, &m_dinamicaTranslacion, &m_dinamicaRotacion, &m_alphaInc, &m_escalaInc);
    ApplyDefaultStates();
    m_pEscena->Render(m_pCamara, m_delta);
    return 0;
}
