// Small helpers shared by the engine: materials, lights, default states, a
// diagnostic dump of the device's render states, and general 3D utilities
// (arc-ball, view parameters, cube-map views, device cursors, format names).
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

// Last snapshot of render states 0..255 taken by DumpRenderStates.
extern DWORD g_renderStates[256];
extern bool g_renderStatesTaken;

// Zeroes the material, then diffuse = ambient = (r, g, b, a).
void InitMaterial(D3DMATERIAL9& mtrl, float r, float g, float b, float a);

// Zeroes the light; white diffuse (alpha 0), position (x, y, z), direction
// (x, y, z) normalised, range 1000.
void InitLight(D3DLIGHT9& light, D3DLIGHTTYPE ltType, float x, float y, float z);

// Logs a line of dashes, then every render state that changed since the
// previous call.
void DumpRenderStates();

// Puts every device state back as the renderer recorded it at start-up.
void ApplyDefaultStates();

// An opacity as a colour with the same byte in all four channels: the
// opacity held to [0, 1] (NaN as 0), times 255, truncated.
DWORD AlphaToFactor(float alpha);

// The bits of a float as a DWORD, for float-valued render states.
DWORD FloatToDword(float f);

// Releases a reference-counted object, if there is one, and clears the pointer.
template <class T>
void SafeRelease(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// ---- Arc-ball, view parameters and further 3D utilities ----------------------

// A mouse-driven arc-ball: left-button drags turn it, right-button drags
// move it in the view plane and middle-button drags move it in depth.
class ArcBall
{
public:
    // The window size and radius stay unset (0) until SetArea; an arc-ball
    // without an area neither turns nor moves.
    ArcBall();
    void Reset();
    void SetArea(int width, int height, float radius);
    void SetMoveScale(float scale) { m_moveScale = scale; }
    // The point of the ball under a window pixel; outside the ball, the
    // nearest point of its rim.
    D3DXVECTOR3 ScreenToSphere(int x, int y);
    // True for the messages it handles (left button down and up, right and
    // middle button down, mouse moves).
    BOOL OnMouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int m_windowWidth, m_windowHeight;
    float m_ballRadius;        // fraction of the half window
    float m_moveScale;
    D3DXQUATERNION m_startOrientation;
    D3DXQUATERNION m_orientation;
    D3DXMATRIX m_orientationMatrix;
    D3DXMATRIX m_dragMatrix;      // the turn since the drag began
    D3DXMATRIX m_moveMatrix;      // accumulated translation
    D3DXMATRIX m_moveStepMatrix;  // translation of the last move
    BOOL m_dragging;
    BOOL m_mirrored;              // negate both sphere coordinates
};

// Shared by every arc-ball: the cursor at the last right or middle press or
// translation move, and the ball point where the left button went down.
extern int g_arcBallLastX, g_arcBallLastY;
extern D3DXVECTOR3 g_arcBallDragStart;

// The turn that takes `from` to `to` (any lengths). Opposite directions
// give a half turn about an axis perpendicular to both.
D3DXQUATERNION* RotationBetweenVectors(D3DXQUATERNION* out, const D3DXVECTOR3* from, const D3DXVECTOR3* to);
// (a x b, a . b): twice the angle between the unit vectors a and b.
D3DXQUATERNION* RotationBetweenUnitVectors(D3DXQUATERNION* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);

// A view and a projection with the matrices made from them.
class ViewParams
{
public:
    // Eye at the origin looking down +z with +y up; a quarter-turn field of
    // view, aspect 1, near 1, far 1000.
    ViewParams();
    void SetView(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up);
    void SetProjection(float fov, float aspect, float nearPlane, float farPlane);

    D3DXVECTOR3 m_eye, m_lookAt, m_up;
    D3DXVECTOR3 m_viewDir;  // unit, eye to look-at point
    D3DXVECTOR3 m_side;     // m_viewDir x m_up, not normalised
    D3DXMATRIX m_view;
    D3DXMATRIX m_billboard; // the view's inverse without its translation
    float m_fov, m_aspect, m_near, m_far;
    D3DXMATRIX m_projection;
};

// The turn of a trackball of radius `radius` under the cursor, which lies
// in the window's client area mapped to -1..1; identity at the centre.
D3DXQUATERNION TrackballRotation(HWND window, float radius);

// The view from the origin through face 0..5 (+x, -x, +y, -y, +z, -z) of a
// cube map; any other number gives the identity.
D3DXMATRIX CubeFaceView(int face);

// Makes the device cursor from an icon or cursor; `watermark` marks its top
// left corner. S_OK, or the code of the step that failed.
HRESULT CursorFromIcon(IDirect3DDevice9* device, HICON icon, bool watermark);

// Loads a picture file (name as given, outside the texture cache) into a
// managed texture of the given format with a full mip chain.
HRESULT CreateTextureWithFormat(IDirect3DDevice9* device, const char* file, IDirect3DTexture9** texture,
                                D3DFORMAT format);

// "D3DFMT_A8R8G8B8", or "A8R8G8B8" without the prefix; "Unknown format"
// for a value that is no format.
const char* FormatName(D3DFORMAT format, bool withPrefix);
