#include "jugador.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <mscrt.h>

#include "bitmapfont.h"
#include "config.h"
#include "escenor.h"
#include "ostrel.h"
#include "scene.h"
#include "skinmesh.h"
#include "terrain.h"

const char* const g_modelos[kNumModelos] = {"tiny"};

namespace
{

const size_t kFicheroSize = 4096;
const float kAlturaSobreSuelo = 1.35f;
const float kEscalaJugador = 0.005f;
const float kAlturaBocadillo = 2.6f;
const size_t kLineaLarga = 40;

} // namespace

void CopiarTexto(char* destino, size_t size, const char* texto)
{
    if (size == 0)
        return;
    if (texto == nullptr)
        texto = "";
    size_t n = std::strlen(texto);
    if (n > size - 1)
        n = size - 1;
    std::memcpy(destino, texto, n);
    destino[n] = '\0';
}

void NombreFicheroJugador(char* fichero, size_t size, const char* modelo, unsigned textura, int lod)
{
    std::snprintf(fichero, size, "%s-tex%03u-lod%d.x", modelo, textura, lod);
}

int NivelesJugador()
{
    return g_pConfig->m_modelosAltaResolucion ? 3 : 2;
}

void FicheroNivelJugador(char* fichero, size_t size, unsigned char modelo, unsigned char textura, int nivel)
{
    const char* base = g_modelos[modelo < kNumModelos ? modelo : 0];
    // High-resolution models add level 0's file and take texture variant 0.
    if (g_pConfig->m_modelosAltaResolucion)
        NombreFicheroJugador(fichero, size, base, 0, nivel);
    else
        NombreFicheroJugador(fichero, size, base, textura, nivel + 1);
}

bool FaltaFicheroJugador(char* fichero, size_t size, unsigned char modelo, unsigned char textura)
{
    for (int nivel = 0; nivel < NivelesJugador(); ++nivel)
    {
        FicheroNivelJugador(fichero, size, modelo, textura, nivel);
        char ruta[kFicheroSize];
        std::snprintf(ruta, sizeof ruta, "data\\models\\%s", fichero);
        FILE* f = ms_fopen(ruta, "rb");
        if (f == nullptr)
            return true;
        std::fclose(f);
    }
    return false;
}

CJugador::CJugador(int id, float x, float z, float yaw, const char* nombre, unsigned char modelo,
                   unsigned char textura)
    : m_objeto(nullptr), m_velx(0.0f), m_velz(0.0f), m_velry(0.0f), m_ultimaActualizacion(0.0f),
      m_tiempoMensaje(0.0f), m_pEscena(g_pOstrel->m_pEscena)
{
    // Only model 0 exists; the configuration takes any small number.
    if (modelo >= kNumModelos)
    {
        std::fprintf(stderr, "config.xml: there is no player model %d; model 0 (\"%s\") is used.\n", (int)(signed char)modelo,
                     g_modelos[0]);
        modelo = 0;
    }

    char fichero[kFicheroSize];
    m_objeto = new SkinMesh(NivelesJugador());
    for (int lod = 0; lod < NivelesJugador(); ++lod)
    {
        FicheroNivelJugador(fichero, sizeof fichero, modelo, textura, lod);
        m_objeto->LoadLod(lod, fichero);
    }

    Terrain* terreno = g_pOstrel->m_pTerreno;
    m_objeto->m_scale = kEscalaJugador;
    m_objeto->m_id = id;
    m_objeto->m_position.x = x;
    m_objeto->m_position.z = z;
    m_objeto->m_position.y = (terreno ? terreno->GetHeight(x, z) : 0.0f) + kAlturaSobreSuelo;
    m_objeto->m_yaw = yaw;
    if (m_pEscena)
        m_pEscena->Add(m_objeto);
    m_objeto->m_movimiento = 0.0f;

    m_ultimaActualizacion = g_sequenceTime;
    m_mensaje[0] = '\0';
    m_tiempoMensaje = g_sequenceTime - 10000.0f;
    CopiarTexto(m_nombre, sizeof m_nombre, nombre);
}

CJugador::~CJugador()
{
    // By pointer: the terrain and the trees share id 0 with whatever player
    // may be given it.
    if (m_pEscena)
        m_pEscena->m_objects.remove(m_objeto);
    delete m_objeto;
    m_objeto = nullptr;
}

void CJugador::Actualizar()
{
    const float now = g_sequenceTime;
    const float dt = now - m_ultimaActualizacion;
    D3DXVECTOR3& p = m_objeto->m_position;
    p.x += dt * m_velx;
    p.z += dt * m_velz;
    Terrain* terreno = g_pOstrel->m_pTerreno;
    p.y = (terreno ? terreno->GetHeight(p.x, p.z) : 0.0f) + kAlturaSobreSuelo;
    m_objeto->m_yaw += dt * m_velry;
    m_ultimaActualizacion = now;

    m_objeto->m_movimiento = 0.8f * std::sqrt(m_velx * m_velx + m_velz * m_velz + m_velry * m_velry);
    assert(!std::isnan(m_objeto->m_movimiento) && "!_isnan(m_objeto->m_movimiento)");
    // Negative while the heading lies within a quarter turn of the yaw.
    if (std::fabs(std::atan2(m_velx, m_velz) - m_objeto->m_yaw) < 1.5707963267948966)
        m_objeto->m_movimiento = -m_objeto->m_movimiento;
}

float CJugador::DibujarMensaje(float now, D3DXMATRIX* billboard)
{
    if (!(now - m_tiempoMensaje < kDuracionMensaje))
        return 0.0f;

    const char* texto = m_mensaje;
    float lift = 0.0f;
    char masTexto[kFicheroSize];
    const size_t len = std::strlen(m_mensaje);
    if (len > kLineaLarga)
    {
        // Two lines: the first blank past the middle (less three) breaks it.
        const long corte = (long)(len / 2) - 3;
        bool partido = false;
        size_t i = 0;
        for (; i < len && i < sizeof masTexto - 1; ++i)
        {
            char c = m_mensaje[i];
            if (!partido && c == ' ' && (long)i > corte)
            {
                c = '\n';
                partido = true;
                lift = 0.3f;
            }
            masTexto[i] = c;
        }
        masTexto[i] = '\0';
        texto = masTexto;
    }

    BitmapFont* fuente = g_pOstrel->m_pFuente;
    Terrain* terreno = g_pOstrel->m_pTerreno;
    const D3DXVECTOR3& p = m_objeto->m_position;
    if (fuente)
        fuente->Render3DTextAt(texto, p.x, (terreno ? terreno->GetHeight(p.x, p.z) : 0.0f) + kAlturaBocadillo + lift,
                               p.z, 0.5f, billboard);
    return lift + 0.3f;
}
