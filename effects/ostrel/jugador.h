// One player of the multiplayer-client scene: a skinned mesh standing on the
// effect's terrain, moved and turned by its velocities on the sequence clock,
// with a name tag and a chat bubble drawn above it.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

class Scene;
class SkinMesh;

// Mesh base names by model number.
extern const char* const g_modelos[];
const int kNumModelos = 1;

// Longest name or message a player holds, terminator included.
const int kTextoJugador = 128;

// How long a chat message stays above its player, in seconds.
const float kDuracionMensaje = 7.0f;

class CJugador
{
public:
    // Makes the mesh with its levels of detail, stands it on the ground of
    // the effect's terrain and lists it in the effect's scene (g_pOstrel).
    CJugador(int id, float x, float z, float yaw, const char* nombre, unsigned char modelo, unsigned char textura);
    // Takes the mesh out of the scene it was listed in and deletes it.
    ~CJugador();

    // Moves and turns the mesh by the sequence time since the previous call,
    // stands it on the ground and sets its animation speed.
    void Actualizar();
    // Draws the chat bubble while the message is fresh; returns how far the
    // name tag must be raised (0, 0.3 for one line, 0.6 for two).
    float DibujarMensaje(float now, D3DXMATRIX* billboard);

    SkinMesh* m_objeto;
    float m_velx;
    float m_velz;
    float m_velry;
    float m_ultimaActualizacion;
    char m_mensaje[kTextoJugador];
    float m_tiempoMensaje;
    char m_nombre[kTextoJugador];
    // The scene the mesh is listed in.
    Scene* m_pEscena;

private:
    CJugador(const CJugador&) = delete;
    CJugador& operator=(const CJugador&) = delete;
};

// Copies text into a buffer of `size` bytes, cut to fit and always
// terminated; null copies as the empty text.
void CopiarTexto(char* destino, size_t size, const char* texto);

// The mesh file of a model, texture variant and level of detail:
// "<base>-tex%03d-lod%d.x".
void NombreFicheroJugador(char* fichero, size_t size, const char* modelo, unsigned textura, int lod);

// Levels of detail a player loads: 3 with high-resolution models, else 2.
int NivelesJugador();

// The file level `nivel` of a player of this model and texture variant
// loads (an unknown model is model 0).
void FicheroNivelJugador(char* fichero, size_t size, unsigned char modelo, unsigned char textura, int nivel);

// True, with its name in `fichero`, when a file such a player would load is
// not in "data\models\".
bool FaltaFicheroJugador(char* fichero, size_t size, unsigned char modelo, unsigned char textura);
