#include "ostrel.h"

#include <mscrt.h>

#include <cstdio>
#include <cstring>

#include "bitmapfont.h"
#include "camera.h"
#include "config.h"
#include "crowd.h"
#include "escenor.h"
#include "jugador.h"
#include "renderer.h"
#include "scene.h"
#include "skinmesh.h"
#include "terrain.h"
#include "timer.h"
#include "utils.h"

COstrel* g_pOstrel = nullptr;

namespace
{

const float kFloatMin = -1e30f;
const float kFloatMax = 1e30f;

const int kIdJugadorLocal = 0xFFFF;
const float kPi = 3.14159274f;

// Trees stand on a 24-unit grid over the 1024-unit terrain, where the
// ground lies below this height.
const int kPasoArboles = 24;
const int kExtension = 1024;
const float kAlturaMaximaArbol = 10.0f;

const float kAlturaNombre = 2.6f;
const float kEscalaNombre = 0.35f;
const float kYLineasChat[kLineasChat] = {0.94f, 0.89f, 0.84f, 0.79f, 0.74f};

float Velocidad(Effect* e, const char* name)
{
    return ParamOf<PublicParamFloat>(e, name)->GetValue();
}

// ASCII letters compared without case.
bool MismoNombre(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
        if (ca >= 'A' && ca <= 'Z')
            ca = (unsigned char)(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = (unsigned char)(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

} // namespace

std::vector<ArbolColocado> ColocarArboles(Terrain* terreno)
{
    const double kPiDoble = 3.141592653589793;
    const int mitad = kExtension / 2;
    std::vector<ArbolColocado> arboles;
    for (int gx = 0; gx < kExtension; gx += kPasoArboles)
        for (int gz = 0; gz < kExtension; gz += kPasoArboles)
        {
            const float h = terreno->GetHeight((float)(gx - mitad), (float)(gz - mitad));
            if (!(h < kAlturaMaximaArbol))
                continue;
            const int r1 = ms_rand();
            const int r2 = ms_rand();
            const int r3 = ms_rand();
            const int r4 = ms_rand();
            ArbolColocado a;
            a.x = (float)(gx - mitad + r1 % kPasoArboles - kPasoArboles / 2);
            a.z = (float)(gz - mitad + r2 % kPasoArboles - kPasoArboles / 2);
            a.y = terreno->GetHeight(a.x, a.z) + 5.0f;
            a.yaw = (float)((double)r3 / 32767.0 * 2.0 * kPiDoble - kPiDoble);
            a.escala = (float)r4 / 32767.0f * 0.02f + 0.1f - 0.01f;
            arboles.push_back(a);
        }
    return arboles;
}

COstrel::COstrel()
    : m_pEscena(nullptr), m_pCamara(nullptr), m_pTerreno(nullptr), m_pFuente(nullptr), m_pJugadorLocal(nullptr),
      m_pEstado(nullptr), m_pArboles(nullptr)
{
    SetName("Ostrel");
    g_pOstrel = this;
    std::memset(m_lineasChat, 0, sizeof m_lineasChat);
    for (int i = 0; i < kLineasChat; ++i)
    {
        m_pLineasChat[i] = m_lineasChat[i];
        m_coloresChat[i] = 0;
    }
    m_params.push_back(new PublicParamFloat("velx", 0.0f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("velz", 0.0f, kFloatMin, kFloatMax));
    m_params.push_back(new PublicParamFloat("velry", 0.0f, kFloatMin, kFloatMax));
}

COstrel::~COstrel()
{
    if (m_initialised)
    {
        // The players take their meshes out of the scene, so they go first;
        // the trees borrow the crowd's mesh, so they go before the crowd.
        for (CJugador* jugador : m_jugadores)
            delete jugador;
        m_jugadores.clear();
        m_pJugadorLocal = nullptr;
        if (m_pArboles)
        {
            for (CrowdMesh* arbol : m_pArboles->m_instances)
                delete arbol;
            m_pArboles->m_instances.clear();
            delete m_pArboles;
            m_pArboles = nullptr;
        }
        delete m_pTerreno;
        m_pTerreno = nullptr;
        delete m_pCamara;
        m_pCamara = nullptr;
        delete m_pFuente;
        m_pFuente = nullptr;
        SafeRelease(m_pEstado);
        delete m_pEscena;
        m_pEscena = nullptr;
    }
    // Players reach the scene through g_pOstrel: no pointer to a gone effect.
    if (g_pOstrel == this)
        g_pOstrel = nullptr;
}

int COstrel::Init()
{
    ApplyDefaultStates();
    m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_pd3dDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF00BFFF);
    m_pd3dDevice->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    m_pd3dDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    m_pd3dDevice->SetRenderState(D3DRS_RANGEFOGENABLE, FALSE);
    m_pd3dDevice->SetRenderState(D3DRS_FOGSTART, FloatToDword(300.0f));
    m_pd3dDevice->SetRenderState(D3DRS_FOGEND, FloatToDword(500.0f));
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DLIGHT9 light;
    InitLight(light, D3DLIGHT_DIRECTIONAL, -1.0f, -1.0f, 1.0f);
    m_pd3dDevice->SetLight(0, &light);
    m_pd3dDevice->LightEnable(0, TRUE);
    m_pd3dDevice->CreateStateBlock(D3DSBT_ALL, &m_pEstado);

    m_pEscena = new Scene();
    m_pFuente = new BitmapFont("Arial", 24, FontBold | FontZEnable);
    m_pFuente->InitDeviceObjects(m_pd3dDevice);
    m_pFuente->RestoreDeviceObjects();

    m_pTerreno = new Terrain("TerrainHeight.png", "TerrainBase.dds", "TerrainDetail.dds", g_pConfig->m_resolucionTerreno,
                             kExtension, 64, g_pConfig->m_useDetailTextures, g_pConfig->m_useBumpMap);
    m_pEscena->Add(m_pTerreno);

    if (g_pConfig->m_arboles)
    {
        m_pArboles = new Crowd(true);
        m_pArboles->Load("tree1.x");
        m_pEscena->Add(m_pArboles);
        for (const ArbolColocado& a : ColocarArboles(m_pTerreno))
        {
            CrowdMesh* arbol = m_pArboles->AddInstance();
            arbol->m_position = D3DXVECTOR3(a.x, a.y, a.z);
            arbol->m_yaw = a.yaw;
            arbol->m_scale = a.escala;
            arbol->m_twoSided = true;
            m_pEscena->Add(arbol);
        }
    }

    m_pJugadorLocal = new CJugador(kIdJugadorLocal, 100.0f, 0.0f, 0.0f, "", (unsigned char)g_pConfig->m_modelo,
                                   (unsigned char)g_pConfig->m_textura);
    char falta[4096];
    if (FaltaFicheroJugador(falta, sizeof falta, (unsigned char)g_pConfig->m_modelo,
                            (unsigned char)g_pConfig->m_textura))
        std::fprintf(stderr, "config.xml: modelo %d and textura %d name the model file \"%s\", which is not in "
                             "data\\models; the player goes without it.\n",
                     g_pConfig->m_modelo, g_pConfig->m_textura, falta);
    m_jugadores.push_back(m_pJugadorLocal);
    AgregarJugador(1, -10.0f, -15.0f, kPi, "Nombre 1", 0, 1);
    AgregarJugador(2, -15.0f, -10.0f, kPi, "Nombre 2", 0, 2);

    m_pCamara = new Camera();
    m_pCamara->Follow(m_pJugadorLocal->m_objeto);
    return 0;
}

int COstrel::Start()
{
    return 0;
}

int COstrel::Render(float)
{
    const float velx = Velocidad(this, "velx");
    const float velz = Velocidad(this, "velz");
    const float velry = Velocidad(this, "velry");
    if (m_pJugadorLocal)
    {
        m_pJugadorLocal->m_velx = velx;
        m_pJugadorLocal->m_velz = velz;
        m_pJugadorLocal->m_velry = velry;
    }
    ActualizarJugadores();
    if (m_pEstado)
        m_pEstado->Apply();
    m_pEscena->Render(m_pCamara, m_delta);
    DibujarNombres(m_pCamara);
    DibujarChat(m_delta);
    return 0;
}

void COstrel::AgregarJugador(int id, float x, float z, float yaw, const char* nombre, unsigned char modelo,
                             unsigned char textura)
{
    m_jugadores.push_back(new CJugador(id, x, z, yaw, nombre, modelo, textura));
}

void COstrel::QuitarJugador(int id)
{
    // The record found is the one removed: another mesh with the same id
    // stays in the scene.
    CJugador* jugador = BuscarJugador(id);
    if (!jugador)
        return;
    m_jugadores.remove(jugador);
    if (m_pCamara && m_pCamara->m_pTarget == jugador->m_objeto)
        m_pCamara->StopFollowing();
    if (jugador == m_pJugadorLocal)
        m_pJugadorLocal = nullptr;
    delete jugador;
}

CJugador* COstrel::BuscarJugador(int id)
{
    for (CJugador* jugador : m_jugadores)
        if (jugador->m_objeto->m_id == id)
            return jugador;
    return nullptr;
}

int COstrel::BuscarIdJugador(const char* nombre)
{
    if (!nombre)
        return -1;
    for (CJugador* jugador : m_jugadores)
        if (MismoNombre(jugador->m_nombre, nombre))
            return jugador->m_objeto->m_id;
    return -1;
}

void COstrel::ActualizarJugadores()
{
    for (CJugador* jugador : m_jugadores)
        jugador->Actualizar();
}

void COstrel::AgregarMensajeChat(const char* texto, DWORD color)
{
    char* libre = m_pLineasChat[kLineasChat - 1];
    for (int i = kLineasChat - 1; i > 0; --i)
    {
        m_pLineasChat[i] = m_pLineasChat[i - 1];
        m_coloresChat[i] = m_coloresChat[i - 1];
    }
    m_pLineasChat[0] = libre;
    CopiarTexto(libre, kTextoChat, texto);
    m_coloresChat[0] = color;
}

void COstrel::DibujarNombres(Camera* camara)
{
    const float now = Timer(TimerCommand::AppTime);
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DXMATRIX invMat;
    D3DXMatrixInverse(&invMat, nullptr, camara->GetView());
    if (m_pJugadorLocal)
        m_pJugadorLocal->DibujarMensaje(now, &invMat);
    for (CJugador* jugador : m_jugadores)
    {
        SkinMesh* mesh = jugador->m_objeto;
        if (!mesh->m_visible)
            continue;
        const float lift = jugador->DibujarMensaje(now, &invMat);
        const D3DXVECTOR3& p = mesh->m_position;
        m_pFuente->Render3DTextAt(jugador->m_nombre, p.x, m_pTerreno->GetHeight(p.x, p.z) + kAlturaNombre + lift, p.z,
                                  kEscalaNombre, &invMat);
    }
    m_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
}

void COstrel::DibujarChat(float)
{
    for (int i = 0; i < kLineasChat; ++i)
        m_pFuente->DrawTextScaled(-0.7f, kYLineasChat[i], 0.0f, 0.025f, 0.025f, m_coloresChat[i], m_pLineasChat[i],
                                  TextFiltered);
}
