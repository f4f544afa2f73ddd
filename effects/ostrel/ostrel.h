// The multiplayer-client scene: a terrain under linear fog with trees, three
// skinned players, a camera chasing the local one, name tags, chat bubbles
// and a five-line chat log. The local player is steered by the keyed
// velocities velx, velz and velry.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <list>
#include <vector>

#include "effect.h"

class BitmapFont;
class Camera;
class CJugador;
class Crowd;
class Scene;
class Terrain;

// Lines of the chat log.
const int kLineasChat = 5;
// Bytes of a chat line, terminator included.
const int kTextoChat = 128;

// One tree of the layout: place, turn and size.
struct ArbolColocado
{
    float x, y, z;
    float yaw;
    float escala;
};

// The tree layout over the terrain: one tree per point of a 24-unit grid
// whose ground lies below 10, jittered by up to 12 units and standing 5 above
// the ground, each drawing four values of the runtime's rand() in turn.
std::vector<ArbolColocado> ColocarArboles(Terrain* terreno);

class COstrel : public Effect
{
public:
    COstrel();
    ~COstrel() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    // Makes a player with these arguments and appends it to the list.
    void AgregarJugador(int id, float x, float z, float yaw, const char* nombre, unsigned char modelo,
                        unsigned char textura);
    // Takes the first player whose mesh has the id out of the scene and the
    // list, and frees it.
    void QuitarJugador(int id);
    // The first player whose mesh has the id, or null.
    CJugador* BuscarJugador(int id);
    // The mesh id of the first player of that name (ASCII case ignored), or -1.
    int BuscarIdJugador(const char* nombre);
    // One update of every player, in list order.
    void ActualizarJugadores();
    // The text becomes line 0 in the buffer of the oldest line; the others
    // move up one line.
    void AgregarMensajeChat(const char* texto, DWORD color);
    // Bubbles and name tags, facing the camera.
    void DibujarNombres(Camera* camara);
    // The chat log, line 0 lowest.
    void DibujarChat(float delta);

    char m_lineasChat[kLineasChat][kTextoChat];
    char* m_pLineasChat[kLineasChat];
    DWORD m_coloresChat[kLineasChat];
    Scene* m_pEscena;
    Camera* m_pCamara;
    Terrain* m_pTerreno;
    BitmapFont* m_pFuente;
    CJugador* m_pJugadorLocal;
    std::list<CJugador*> m_jugadores;
    IDirect3DStateBlock9* m_pEstado;
    // The trees' crowd (null without trees); its instances are the trees.
    Crowd* m_pArboles;
};

// The last scene effect constructed; the players reach its scene, terrain
// and font through it.
extern COstrel* g_pOstrel;
