#include "letrascutres.h"

#include <cmath>

#include "renderer.h"
#include "utils.h"

namespace {
const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;

float FloatParam(Effect* e, const char* name) {
    return ParamOf<PublicParamFloat>(e, name)->GetValue();
}
}  // namespace

DWORD AlphaToTextColor(float alpha) {
    float scaled = alpha * 255.0f;
    if (std::isnan(scaled)) scaled = 0.0f;
    // The low byte of the truncated value, as a two's complement integer
    // would hold it; fmod keeps this exact beyond the range of any integer.
    double truncated = std::trunc(static_cast<double>(scaled));
    double low = std::fmod(truncated, 256.0);
    if (low < 0.0) low += 256.0;
    DWORD a = static_cast<DWORD>(low) & 0xFFu;
    return (a << 24) | 0x00FFFFFFu;
}

CLetrasCutres::CLetrasCutres() : m_pFuente(nullptr) {
    SetName("CLetrasCutres");
    m_params.push_back(new PublicParamInt("numeroImagenes", 1, -2000000000, 2000000000));
    m_params.push_back(new PublicParamString("frase", "", 65536));
    m_params.push_back(new PublicParamFloat("alpha", 1.0f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("posx", 0.0f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("posy", 0.0f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("scalex", 0.12f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("scaley", 0.12f, kFloatMin, kFloatMax));
}

CLetrasCutres::~CLetrasCutres() {
    if (m_initialised && m_pFuente) delete m_pFuente;
    m_pFuente = nullptr;
}

int CLetrasCutres::Init() {
    m_pFuente = new BitmapFont("Arial", 24, FontBold | FontZEnable);
    m_pFuente->InitDeviceObjects(m_pd3dDevice);
    m_pFuente->RestoreDeviceObjects();
    return 0;
}

int CLetrasCutres::Start() { return 0; }

int CLetrasCutres::Render(float) {
    float alpha = FloatParam(this, "alpha");
    float scalex = FloatParam(this, "scalex");
    float scaley = FloatParam(this, "scaley");
    float posx = FloatParam(this, "posx");
    float posy = FloatParam(this, "posy");
    const char* frase = ParamOf<PublicParamString>(this, "frase")->GetValue();
    if (frase) {
        ApplyDefaultStates();
        m_pFuente->DrawTextScaled(posx, posy, 0.0f, scalex, scaley, AlphaToTextColor(alpha), frase,
                                  TextFiltered);
    }
    return 0;
}
