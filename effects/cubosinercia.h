// Swaying cubes: two mirrored series of twelve translucent textured cubes
// that sway sideways and turn with the wall clock (timeGetTime), seen
// through a look-at camera of their own.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include "effect.h"

struct CubeVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD color;
    float u, v;
};

const DWORD D3DFVF_CUBEVERTEX = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
const UINT kCubeVertices = 36;  // two triangles per face

struct PointSpriteVertex {
    float x, y, z;
    float size;
    DWORD color;
};

const DWORD D3DFVF_POINTSPRITEVERTEX = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
const UINT kPointSprites = 5;

// A cube of 36 vertices around the origin, moved by its world matrix: it
// swings by sin(seconds) x speed x 0.03, moving by half the swing toward the
// centre line and turning about y by all of it (mirrored for x > 0).
class CCube {
public:
    CCube();
    virtual ~CCube();

    // Fills the vertex buffer; a failed create or lock leaves it unfilled.
    int Create(IDirect3DDevice9* device, float x, float y, float z, float halfSize, DWORD color);
    // Animates, then draws blended unless the colour is 0xFFFFFFFF; after a
    // blended draw, blending goes off and depth testing on.
    void Render(IDirect3DDevice9* device);
    // World := scaling by 2, turn about y by m_angle, move to m_pos.
    void UpdateWorld(IDirect3DDevice9* device);
    // Sets m_pos and m_angle from the clock; a speed of 0 stands still.
    void Animate();
    // Takes the picture from the texture cache; a failed load leaves none.
    void LoadTexture(IDirect3DDevice9* device, const char* file);
    void SetSpeed(float speed) { m_speed = speed; }

    float m_angle;
    float m_speed;
    float m_baseZ, m_baseY, m_baseX;
    DWORD m_color;
    IDirect3DVertexBuffer9* m_pVB;
    IDirect3DTexture9* m_pTexture;
    D3DXVECTOR3 m_pos;

private:
    CCube(const CCube&) = delete;
    CCube& operator=(const CCube&) = delete;
};

// A look-at camera with a fixed 45 degree projection whose aspect comes
// from the size it was given, not from the real viewport.
class CCubeCamera {
public:
    CCubeCamera();
    virtual ~CCubeCamera();

    // Sets the size and looks at the origin.
    void SetViewport(float width, float height);
    void SetTarget(float x, float y, float z);
    // Sets the eye and the point the orbit's radius is taken from.
    void SetEye(float x, float y, float z);
    // The orbit takes 10000 + period milliseconds.
    void SetOrbitPeriod(float period) { m_orbitPeriod = period; }
    void UpdateMatrices(IDirect3DDevice9* device);
    void Apply(IDirect3DDevice9* device) { UpdateMatrices(device); }
    // Circles the eye about the y axis with the clock.
    void Orbit();

    D3DXVECTOR3 m_lookAt;
    D3DXVECTOR3 m_eye;
    D3DXVECTOR3 m_eyeStart;
    float m_width, m_height;
    float m_orbitPeriod;
};

// Three additive point sprites of the five points below, turned about z a
// little more on every draw.
class CPointSprites {
public:
    CPointSprites();
    virtual ~CPointSprites();

    int Create(IDirect3DDevice9* device, float x, float y, float z, float size);
    void Render(IDirect3DDevice9* device);
    // World := move to m_pos, then turn about z by m_angle, then scale by m_size.
    void UpdateWorld(IDirect3DDevice9* device);
    void Animate();
    void LoadTexture(IDirect3DDevice9* device, const char* file);

    float m_angle;
    float m_baseZ, m_baseY, m_baseX;
    float m_size;
    IDirect3DVertexBuffer9* m_pVB;
    IDirect3DTexture9* m_pTexture;
    D3DXVECTOR3 m_pos;

private:
    CPointSprites(const CPointSprites&) = delete;
    CPointSprites& operator=(const CPointSprites&) = delete;
};

// The cube corners, normals and texture coordinates for a half-size and a
// colour, six vertices per face, clockwise seen from outside.
void FillCubeVertices(CubeVertex (&vertices)[kCubeVertices], float halfSize, DWORD color);

extern const PointSpriteVertex aPoints[kPointSprites];

class CubosInercia : public Effect {
public:
    CubosInercia();
    ~CubosInercia() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    CCube m_cubosIzquierda[12];  // the series at x = -0.01
    CCube m_cubosCentro[12];     // never created or drawn
    CCube m_cubosDerecha[12];    // the series at x = +0.01
    CPointSprites m_puntos;      // never created or drawn
    CCubeCamera m_camara;
    // Every state as Init set it; null when the device refused it.
    IDirect3DStateBlock9* m_pEstado;
};
