#include "staticgfx2d.h"

#include <cmath>
#include <cstdio>

#include "config.h"
#include "utils.h"

namespace {
const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;
const int kIntMin = -2000000000;
const int kIntMax = 2000000000;
const int kMaxText = 65536;
}  // namespace

DWORD AlphaToQuadColor(float alpha) { return AlphaToFactor(alpha); }

void AppendQuadParams(Effect* e) {
    static const struct {
        const char* name;
        float value;
    } params[] = {{"alpha", 1.0f}, {"scalex", 1.0f}, {"scaley", 1.0f}, {"posx", 0.0f}, {"posy", 0.0f},
                  {"u0", 0.0f},    {"u1", 1.0f},     {"v0", 0.0f},     {"v1", 1.0f}};
    for (const auto& p : params) e->m_params.push_back(new PublicParamFloat(p.name, p.value, kFloatMin, kFloatMax));
}

void DriveQuad(Effect* e, StaticQuad* quad) {
    auto value = [e](const char* name) { return ParamOf<PublicParamFloat>(e, name)->GetValue(); };
    quad->m_color = AlphaToQuadColor(value("alpha"));
    quad->m_scaleX = value("scalex");
    quad->m_scaleY = value("scaley");
    quad->m_posX = value("posx");
    quad->m_posY = value("posy");
    quad->m_u0 = value("u0");
    quad->m_u1 = value("u1");
    quad->m_v0 = value("v0");
    quad->m_v1 = value("v1");
}

int WrapImageIndex(int index, int count) {
    if (count <= 0) return -1;
    int k = index % count;
    return k < 0 ? k + count : k;
}

CStaticGfx2D::CStaticGfx2D()
    : m_pEscena(nullptr), m_pCamara(nullptr), m_imagenes(nullptr), m_numImagenes(0) {
    SetName("CStaticGfx2D");
    m_params.push_back(new PublicParamInt("numeroImagenes", 1, kIntMin, kIntMax));
    m_params.push_back(new PublicParamInt("imagenActual", 0, kIntMin, kIntMax));
    for (int i = 0; i < kMaxImagenes; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "ficheroImagen%d", i);
        m_params.push_back(new PublicParamString(name, "", kMaxText));
    }
    AppendQuadParams(this);
}

CStaticGfx2D::~CStaticGfx2D() {
    if (m_initialised) {
        delete m_pEscena;
        for (int i = 0; i < m_numImagenes; ++i) delete m_imagenes[i];
        delete[] m_imagenes;
        delete m_pCamara;
    }
}

int CStaticGfx2D::Init() {
    m_pEscena = new Scene();
    int count = ParamOf<PublicParamInt>(this, "numeroImagenes")->GetValue();
    // Only ten file parameters exist; a count outside [0, 10] is held to it.
    if (count < 0) count = 0;
    if (count > kMaxImagenes) count = kMaxImagenes;
    m_numImagenes = count;
    m_imagenes = new StaticQuad*[m_numImagenes > 0 ? m_numImagenes : 1];
    char nombre_fichero[4096];
    for (int i = 0; i < m_numImagenes; ++i) {
        std::snprintf(nombre_fichero, sizeof(nombre_fichero), "ficheroImagen%d", i);
        const char* file = ParamOf<PublicParamString>(this, nombre_fichero)->GetValue();
        m_imagenes[i] = new StaticQuad(file, g_pConfig->m_resx, g_pConfig->m_resy, true);
        m_pEscena->Add(m_imagenes[i]);
    }
    m_pCamara = new Camera();
    return 0;
}

int CStaticGfx2D::Start() { return 0; }

int CStaticGfx2D::Render(float) {
    for (int i = 0; i < m_numImagenes; ++i) m_imagenes[i]->m_color = 0;
    int k = ParamOf<PublicParamInt>(this, "imagenActual")->GetValue();
    int shown = WrapImageIndex(k, m_numImagenes);
    if (shown >= 0) DriveQuad(this, m_imagenes[shown]);
    ApplyDefaultStates();
    m_pEscena->Render(m_pCamara, m_delta);
    return 0;
}
