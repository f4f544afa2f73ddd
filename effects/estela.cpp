#include "estela.h"

#include "utils.h"

namespace {
const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;
const int kMaxText = 65536;
} // namespace

CEstela::CEstela(const char* className)
    : m_pEscena(nullptr), m_pCamara(nullptr), m_pObjeto(nullptr), m_dinamicaRotacion(0.0f), m_dinamicaTranslacion(0.0f),
      m_alphaInc(0.0f), m_escalaInc(0.0f)
{
    SetName(className);
    static const struct {
        const char* name;
        float value;
    } floats[] = {{"posx", 0.0f},
                  {"posy", 0.0f},
                  {"posz", 0.0f},
                  {"rotx", 0.0f},
                  {"roty", 0.0f},
                  {"rotz", 0.0f},
                  {"dinamicaTranslacion", 1.0f},
                  {"dinamicaRotacion", 1.0f},
                  {"alphaBase", 1.0f},
                  {"alphaInc", 1.0f},
                  {"escalaBase", 1.0f},
                  {"escalaInc", 1.0f}};
    m_params.push_back(new PublicParamString("ficheroObjetoBase", "", kMaxText));
    for (const auto& p : floats)
        m_params.push_back(new PublicParamFloat(p.name, p.value, kFloatMin, kFloatMax));
}

CEstela::~CEstela()
{
    if (m_initialised) {
        delete m_pEscena;
        delete m_pObjeto;
        delete m_pCamara;
    }
}

TrailDynamics CEstela::InitLeader()
{
    m_pEscena = new Scene();
    m_pObjeto = new TailMesh(ParamOf<PublicParamString>(this, "ficheroObjetoBase")->GetValue());
    const TrailDynamics d = DriveLeader();
    Record(d);
    return d;
}

void CEstela::AddTrail(int count, float x, float y, float z, float pitch, const TrailDynamics& d)
{
    m_pObjeto->AddTail(count, d.translacion, x, d.translacion, y, d.translacion, z, d.rotacion, pitch, d.rotacion, 0.0f,
                       d.rotacion, 0.0f, d.escalaInc, d.alphaInc);
}

void CEstela::FinishInit()
{
    m_pEscena->Add(m_pObjeto);
    m_pCamara = new Camera();
}

int CEstela::Start()
{
    return 0;
}

int CEstela::Render(float)
{
    const TrailDynamics d = DriveLeader();
    // != is true for a NaN on either side.
    if (d.translacion != m_dinamicaTranslacion || d.rotacion != m_dinamicaRotacion || d.alphaInc != m_alphaInc ||
        d.escalaInc != m_escalaInc) {
        m_pObjeto->SetDynamics(d.translacion, d.rotacion, d.escalaInc, d.alphaInc);
        Record(d);
    }
    ApplyDefaultStates();
    m_pEscena->Render(m_pCamara, m_delta);
    return 0;
}

TrailDynamics CEstela::DriveLeader()
{
    auto value = [this](const char* name) { return ParamOf<PublicParamFloat>(this, name)->GetValue(); };
    m_pObjeto->m_position.x = value("posx");
    m_pObjeto->m_position.y = value("posy");
    m_pObjeto->m_position.z = value("posz");
    m_pObjeto->m_pitch = value("rotx");
    m_pObjeto->m_yaw = value("roty");
    m_pObjeto->m_roll = value("rotz");
    TrailDynamics d;
    d.translacion = value("dinamicaTranslacion");
    d.rotacion = value("dinamicaRotacion");
    m_pObjeto->m_alpha = value("alphaBase");
    d.alphaInc = value("alphaInc");
    m_pObjeto->m_scale = value("escalaBase");
    d.escalaInc = value("escalaInc");
    return d;
}

void CEstela::Record(const TrailDynamics& d)
{
    m_dinamicaTranslacion = d.translacion;
    m_dinamicaRotacion = d.rotacion;
    m_alphaInc = d.alphaInc;
    m_escalaInc = d.escalaInc;
}
