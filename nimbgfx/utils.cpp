#include "utils.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <d3dx9.h>

#include "debuglog.h"
#include "renderer.h"

DWORD g_renderStates[256];
bool g_renderStatesTaken = false;

void InitMaterial(D3DMATERIAL9& mtrl, float r, float g, float b, float a)
{
    std::memset(&mtrl, 0, sizeof(mtrl));
    mtrl.Diffuse.r = mtrl.Ambient.r = r;
    mtrl.Diffuse.g = mtrl.Ambient.g = g;
    mtrl.Diffuse.b = mtrl.Ambient.b = b;
    mtrl.Diffuse.a = mtrl.Ambient.a = a;
}

void InitLight(D3DLIGHT9& light, D3DLIGHTTYPE ltType, float x, float y, float z)
{
    std::memset(&light, 0, sizeof(light));
    light.Type = ltType;
    light.Diffuse.r = 1.0f;
    light.Diffuse.g = 1.0f;
    light.Diffuse.b = 1.0f;
    light.Diffuse.a = 0.0f;
    D3DXVECTOR3 pos(x, y, z);
    light.Position = pos;
    D3DXVECTOR3 dir;
    D3DXVec3Normalize(&dir, &pos);
    light.Direction = dir;
    light.Range = 1000.0f;
}

void DumpRenderStates()
{
    // The dashes and every changed state go to the log in one append.
    static const char kDashes[] = "----------------------------------------------------\n";
    char text[sizeof(kDashes) + 256 * 64];
    std::memcpy(text, kDashes, sizeof(kDashes));
    size_t length = sizeof(kDashes) - 1;
    if (m_pd3dDevice != NULL) {
        for (DWORD n = 0; n < 256; n++) {
            // Numbers that are not render states fail to read; keep the stored
            // value for them so they never count as changed.
            DWORD value = g_renderStatesTaken ? g_renderStates[n] : 0;
            m_pd3dDevice->GetRenderState((D3DRENDERSTATETYPE)n, &value);
            if (!g_renderStatesTaken) {
                g_renderStates[n] = value;
            } else if (value != g_renderStates[n]) {
                const int line = std::snprintf(text + length, sizeof(text) - length,
                                               "Valor %d difiere: antes: 0x%X ahora: 0x%X\n", (int)n,
                                               (unsigned)g_renderStates[n], (unsigned)value);
                if (line > 0 && (size_t)line < sizeof(text) - length)
                    length += (size_t)line;
                g_renderStates[n] = value;
            }
        }
    }
    g_renderStatesTaken = true;
    DebugLogText(text, length);
}

void ApplyDefaultStates()
{
    if (g_pDefaultStateBlock != NULL)
        g_pDefaultStateBlock->Apply();
}

DWORD AlphaToFactor(float alpha)
{
    if (!(alpha > 0.0f))
        alpha = 0.0f; // also NaN
    if (alpha > 1.0f)
        alpha = 1.0f;
    return static_cast<DWORD>(alpha * 255.0f) * 0x01010101u;
}

DWORD FloatToDword(float f)
{
    DWORD d;
    std::memcpy(&d, &f, sizeof(d));
    return d;
}

// ---- Arc-ball ----------------------------------------------------------------------

int g_arcBallLastX = 0;
int g_arcBallLastY = 0;
D3DXVECTOR3 g_arcBallDragStart(0.0f, 0.0f, 0.0f);

ArcBall::ArcBall() : m_windowWidth(0), m_windowHeight(0), m_ballRadius(0.0f)
{
    Reset();
}

void ArcBall::Reset()
{
    D3DXQuaternionIdentity(&m_startOrientation);
    D3DXQuaternionIdentity(&m_orientation);
    D3DXMatrixIdentity(&m_orientationMatrix);
    D3DXMatrixIdentity(&m_dragMatrix);
    D3DXMatrixIdentity(&m_moveMatrix);
    D3DXMatrixIdentity(&m_moveStepMatrix);
    m_dragging = FALSE;
    m_moveScale = 1.0f;
    m_mirrored = FALSE;
}

void ArcBall::SetArea(int width, int height, float radius)
{
    m_windowWidth = width;
    m_windowHeight = height;
    m_ballRadius = radius;
}

D3DXVECTOR3 ArcBall::ScreenToSphere(int x, int y)
{
    const float halfWidth = (float)m_windowWidth * m_ballRadius / 2;
    const float halfHeight = (float)m_windowHeight * m_ballRadius / 2;
    // Without an area every pixel is the ball's front.
    if (!(halfWidth > 0.0f) || !(halfHeight > 0.0f))
        return D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    float sx = -(float)(x - m_windowWidth / 2) / halfWidth;
    float sy = (float)(y - m_windowHeight / 2) / halfHeight;
    if (m_mirrored)
    {
        sx = -sx;
        sy = -sy;
    }
    const float m = sx * sx + sy * sy;
    if (m > 1.0f)
    {
        const float s = 1.0f / sqrtf(m);
        return D3DXVECTOR3(sx * s, sy * s, 0.0f);
    }
    return D3DXVECTOR3(sx, sy, sqrtf(1.0f - m));
}

BOOL ArcBall::OnMouseMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int x = (SHORT)LOWORD(lParam);
    const int y = (SHORT)HIWORD(lParam);
    switch (message)
    {
    case WM_LBUTTONDOWN:
        m_dragging = TRUE;
        g_arcBallDragStart = ScreenToSphere(x, y);
        m_startOrientation = m_orientation;
        return TRUE;
    case WM_LBUTTONUP:
        m_dragging = FALSE;
        return TRUE;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        g_arcBallLastX = x;
        g_arcBallLastY = y;
        return TRUE;
    case WM_MOUSEMOVE:
        if (wParam & MK_LBUTTON)
        {
            if (m_dragging)
            {
                D3DXVECTOR3 now = ScreenToSphere(x, y);
                D3DXQUATERNION turn;
                RotationBetweenVectors(&turn, &g_arcBallDragStart, &now);
                D3DXQuaternionMultiply(&m_orientation, &m_startOrientation, &turn);
                D3DXMatrixRotationQuaternion(&m_dragMatrix, &turn);
            }
            else
            {
                D3DXMatrixIdentity(&m_dragMatrix);
            }
            D3DXMatrixRotationQuaternion(&m_orientationMatrix, &m_orientation);
            m_dragging = TRUE;
        }
        else if (wParam & (MK_RBUTTON | MK_MBUTTON))
        {
            // Without an area there is no scale to move by.
            if (m_windowWidth > 0 && m_windowHeight > 0)
            {
                const float dx = (float)(g_arcBallLastX - x) * m_moveScale / (float)m_windowWidth;
                const float dy = (float)(g_arcBallLastY - y) * m_moveScale / (float)m_windowHeight;
                if (wParam & MK_RBUTTON)
                    D3DXMatrixTranslation(&m_moveStepMatrix, -2.0f * dx, 2.0f * dy, 0.0f);
                else
                    D3DXMatrixTranslation(&m_moveStepMatrix, 0.0f, 0.0f, 5.0f * dy);
                D3DXMatrixMultiply(&m_moveMatrix, &m_moveMatrix, &m_moveStepMatrix);
            }
            g_arcBallLastX = x;
            g_arcBallLastY = y;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

D3DXQUATERNION* RotationBetweenVectors(D3DXQUATERNION* out, const D3DXVECTOR3* from, const D3DXVECTOR3* to)
{
    D3DXVECTOR3 a, b;
    D3DXVec3Normalize(&a, from);
    D3DXVec3Normalize(&b, to);
    D3DXVECTOR3 sum = a + b;
    if (D3DXVec3LengthSq(&sum) < 1e-12f)
    {
        // Opposite directions: the halfway vector vanishes. Turn half way
        // round an axis perpendicular to a, the one farthest from a's
        // largest component.
        D3DXVECTOR3 other = fabsf(a.x) < 0.5f ? D3DXVECTOR3(1, 0, 0) : D3DXVECTOR3(0, 1, 0);
        D3DXVECTOR3 axis;
        D3DXVec3Cross(&axis, &a, &other);
        D3DXVec3Normalize(&axis, &axis);
        *out = D3DXQUATERNION(axis.x, axis.y, axis.z, 0.0f);
        return out;
    }
    D3DXVECTOR3 half;
    D3DXVec3Normalize(&half, &sum);
    return RotationBetweenUnitVectors(out, &a, &half);
}

D3DXQUATERNION* RotationBetweenUnitVectors(D3DXQUATERNION* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    D3DXVECTOR3 axis;
    D3DXVec3Cross(&axis, a, b);
    out->x = axis.x;
    out->y = axis.y;
    out->z = axis.z;
    out->w = D3DXVec3Dot(a, b);
    return out;
}

// ---- View parameters -------------------------------------------------------------------

ViewParams::ViewParams()
{
    SetView(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 1, 0));
    SetProjection(D3DX_PI / 4, 1.0f, 1.0f, 1000.0f);
}

void ViewParams::SetView(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up)
{
    m_eye = eye;
    m_lookAt = lookAt;
    m_up = up;
    D3DXVECTOR3 dir = lookAt - eye;
    D3DXVec3Normalize(&m_viewDir, &dir);
    D3DXVec3Cross(&m_side, &m_viewDir, &m_up);
    D3DXMatrixLookAtLH(&m_view, &m_eye, &m_lookAt, &m_up);
    D3DXMatrixInverse(&m_billboard, nullptr, &m_view);
    m_billboard._41 = 0.0f;
    m_billboard._42 = 0.0f;
    m_billboard._43 = 0.0f;
}

void ViewParams::SetProjection(float fov, float aspect, float nearPlane, float farPlane)
{
    m_fov = fov;
    m_aspect = aspect;
    m_near = nearPlane;
    m_far = farPlane;
    const float h = cosf(fov / 2) / sinf(fov / 2);
    const float w = h / aspect;
    const float q = farPlane / (farPlane - nearPlane);
    std::memset(&m_projection, 0, sizeof(m_projection));
    m_projection._11 = w;
    m_projection._22 = h;
    m_projection._33 = q;
    m_projection._34 = 1.0f;
    m_projection._43 = -q * nearPlane;
}

// ---- Trackball, cube faces ----------------------------------------------------------------

D3DXQUATERNION TrackballRotation(HWND window, float radius)
{
    D3DXQUATERNION identity(0.0f, 0.0f, 0.0f, 1.0f);
    POINT cursor;
    RECT client;
    if (!GetCursorPos(&cursor) || !ScreenToClient(window, &cursor) || !GetClientRect(window, &client) ||
        client.right <= 0 || client.bottom <= 0)
        return identity;
    const float sx = 2.0f * (float)cursor.x / (float)client.right - 1.0f;
    const float sy = 2.0f * (float)cursor.y / (float)client.bottom - 1.0f;
    if (sx == 0.0f && sy == 0.0f)
        return identity;
    const float d = sqrtf(sx * sx + sy * sy);
    const float z = radius * 0.7071067811865476f > d ? sqrtf(radius * radius - d * d) : radius * radius / (2.0f * d);
    D3DXVECTOR3 p1(sx, sy, z);
    D3DXVECTOR3 p2(0.0f, 0.0f, radius);
    D3DXVECTOR3 axis;
    D3DXVec3Cross(&axis, &p1, &p2);
    D3DXVECTOR3 gap = p2 - p1;
    float t = D3DXVec3Length(&gap) / (2.0f * radius);
    if (t > 1.0f)
        t = 1.0f;
    if (t < -1.0f)
        t = -1.0f;
    D3DXQUATERNION turn;
    D3DXQuaternionRotationAxis(&turn, &axis, 2.0f * asinf(t));
    return turn;
}

D3DXMATRIX CubeFaceView(int face)
{
    static const float kFaces[6][6] = {
        {1, 0, 0, 0, 1, 0},  {-1, 0, 0, 0, 1, 0}, {0, 1, 0, 0, 0, -1},
        {0, -1, 0, 0, 0, 1}, {0, 0, 1, 0, 1, 0},  {0, 0, -1, 0, 1, 0},
    };
    D3DXMATRIX view;
    D3DXMatrixIdentity(&view);
    if (face < 0 || face > 5)
        return view;
    const D3DXVECTOR3 eye(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 at(kFaces[face][0], kFaces[face][1], kFaces[face][2]);
    const D3DXVECTOR3 up(kFaces[face][3], kFaces[face][4], kFaces[face][5]);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    return view;
}

// ---- Cursor from an icon ------------------------------------------------------------------

namespace
{
// The mark in the top left corner of a watermarked cursor: bit (15 - x) of row y.
const WORD kWatermark[5] = {0xCCC0, 0xA2A0, 0xA4A0, 0xA2A0, 0xCCC0};
}

HRESULT CursorFromIcon(IDirect3DDevice9* device, HICON icon, bool watermark)
{
    HRESULT result = E_FAIL;
    ICONINFO info;
    std::memset(&info, 0, sizeof(info));
    BITMAP mask;
    if (!device || !GetIconInfo(icon, &info))
        return E_FAIL;
    IDirect3DSurface9* surface = nullptr;
    HDC screen = nullptr;
    HDC memory = nullptr;
    DWORD* maskPixels = nullptr;
    DWORD* colorPixels = nullptr;
    do
    {
        if (!info.hbmMask || GetObject(info.hbmMask, sizeof(mask), &mask) == 0)
            break;
        const int width = mask.bmWidth;
        const int maskHeight = mask.bmHeight;
        // A monochrome cursor's mask holds the AND half above the XOR half.
        const int height = info.hbmColor ? maskHeight : maskHeight / 2;
        if (width <= 0 || height <= 0)
            break;
        result = device->CreateOffscreenPlainSurface((UINT)width, (UINT)height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                     &surface, nullptr);
        if (FAILED(result))
            break;
        result = E_FAIL;

        screen = GetDC(nullptr);
        memory = screen ? CreateCompatibleDC(screen) : nullptr;
        if (!memory)
            break;
        BITMAPINFO bmi;
        std::memset(&bmi, 0, sizeof(bmi));
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = width;
        bmi.bmiHeader.biHeight = maskHeight; // bottom-up rows
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        maskPixels = new DWORD[(size_t)width * maskHeight];
        GetDIBits(memory, info.hbmMask, 0, (UINT)maskHeight, maskPixels, &bmi, DIB_RGB_COLORS);
        if (info.hbmColor)
        {
            colorPixels = new DWORD[(size_t)width * height];
            bmi.bmiHeader.biHeight = height;
            GetDIBits(memory, info.hbmColor, 0, (UINT)height, colorPixels, &bmi, DIB_RGB_COLORS);
        }

        D3DLOCKED_RECT locked;
        result = surface->LockRect(&locked, nullptr, 0);
        if (FAILED(result))
            break;
        for (int y = 0; y < height; ++y)
        {
            DWORD* row = (DWORD*)((BYTE*)locked.pBits + (size_t)y * locked.Pitch);
            for (int x = 0; x < width; ++x)
            {
                DWORD color, andMask;
                if (colorPixels)
                {
                    color = colorPixels[(size_t)(height - 1 - y) * width + x];
                    andMask = maskPixels[(size_t)(height - 1 - y) * width + x];
                }
                else
                {
                    color = maskPixels[(size_t)(height - 1 - y) * width + x];
                    andMask = maskPixels[(size_t)(maskHeight - 1 - y) * width + x];
                }
                DWORD pixel = andMask == 0 ? (color | 0xFF000000) : 0;
                if (watermark && y < 5 && x < 12 && (kWatermark[y] & (1u << (15 - x))))
                    pixel |= 0xFF808080;
                row[x] = pixel;
            }
        }
        surface->UnlockRect();
        result = device->SetCursorProperties((UINT)info.xHotspot, (UINT)info.yHotspot, surface);
        if (SUCCEEDED(result))
            result = S_OK;
    } while (false);

    if (info.hbmMask)
        DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    if (screen)
        ReleaseDC(nullptr, screen);
    if (memory)
        DeleteDC(memory);
    delete[] maskPixels;
    delete[] colorPixels;
    if (surface)
        surface->Release();
    return result;
}

// ---- Textures and formats ----------------------------------------------------------------

HRESULT CreateTextureWithFormat(IDirect3DDevice9* device, const char* file, IDirect3DTexture9** texture,
                                D3DFORMAT format)
{
    const DWORD filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR;
    return D3DXCreateTextureFromFileEx(device, file, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, format,
                                       D3DPOOL_MANAGED, filter, filter, 0, nullptr, nullptr, texture);
}

namespace
{
struct NamedFormat
{
    D3DFORMAT format;
    const char* name;
};

#define NIMB_FORMAT(f) {f, #f}
const NamedFormat kFormatNames[] = {
    NIMB_FORMAT(D3DFMT_UNKNOWN),       NIMB_FORMAT(D3DFMT_R8G8B8),        NIMB_FORMAT(D3DFMT_A8R8G8B8),
    NIMB_FORMAT(D3DFMT_X8R8G8B8),      NIMB_FORMAT(D3DFMT_R5G6B5),        NIMB_FORMAT(D3DFMT_X1R5G5B5),
    NIMB_FORMAT(D3DFMT_A1R5G5B5),      NIMB_FORMAT(D3DFMT_A4R4G4B4),      NIMB_FORMAT(D3DFMT_R3G3B2),
    NIMB_FORMAT(D3DFMT_A8),            NIMB_FORMAT(D3DFMT_A8R3G3B2),      NIMB_FORMAT(D3DFMT_X4R4G4B4),
    NIMB_FORMAT(D3DFMT_A2B10G10R10),   NIMB_FORMAT(D3DFMT_A8B8G8R8),      NIMB_FORMAT(D3DFMT_X8B8G8R8),
    NIMB_FORMAT(D3DFMT_G16R16),        NIMB_FORMAT(D3DFMT_A2R10G10B10),   NIMB_FORMAT(D3DFMT_A16B16G16R16),
    NIMB_FORMAT(D3DFMT_A8P8),          NIMB_FORMAT(D3DFMT_P8),            NIMB_FORMAT(D3DFMT_L8),
    NIMB_FORMAT(D3DFMT_A8L8),          NIMB_FORMAT(D3DFMT_A4L4),          NIMB_FORMAT(D3DFMT_V8U8),
    NIMB_FORMAT(D3DFMT_L6V5U5),        NIMB_FORMAT(D3DFMT_X8L8V8U8),      NIMB_FORMAT(D3DFMT_Q8W8V8U8),
    NIMB_FORMAT(D3DFMT_V16U16),        NIMB_FORMAT(D3DFMT_A2W10V10U10),   NIMB_FORMAT(D3DFMT_D16_LOCKABLE),
    NIMB_FORMAT(D3DFMT_D32),           NIMB_FORMAT(D3DFMT_D15S1),         NIMB_FORMAT(D3DFMT_D24S8),
    NIMB_FORMAT(D3DFMT_D24X8),         NIMB_FORMAT(D3DFMT_D24X4S4),       NIMB_FORMAT(D3DFMT_D16),
    NIMB_FORMAT(D3DFMT_L16),           NIMB_FORMAT(D3DFMT_VERTEXDATA),    NIMB_FORMAT(D3DFMT_INDEX16),
    NIMB_FORMAT(D3DFMT_INDEX32),       NIMB_FORMAT(D3DFMT_Q16W16V16U16),  NIMB_FORMAT(D3DFMT_R16F),
    NIMB_FORMAT(D3DFMT_G16R16F),       NIMB_FORMAT(D3DFMT_A16B16G16R16F), NIMB_FORMAT(D3DFMT_R32F),
    NIMB_FORMAT(D3DFMT_G32R32F),       NIMB_FORMAT(D3DFMT_A32B32G32R32F), NIMB_FORMAT(D3DFMT_CxV8U8),
    NIMB_FORMAT(D3DFMT_MULTI2_ARGB8),  NIMB_FORMAT(D3DFMT_DXT1),          NIMB_FORMAT(D3DFMT_DXT2),
    NIMB_FORMAT(D3DFMT_YUY2),          NIMB_FORMAT(D3DFMT_DXT3),          NIMB_FORMAT(D3DFMT_DXT4),
    NIMB_FORMAT(D3DFMT_DXT5),          NIMB_FORMAT(D3DFMT_UYVY),
};
#undef NIMB_FORMAT
} // namespace

const char* FormatName(D3DFORMAT format, bool withPrefix)
{
    for (const NamedFormat& f : kFormatNames)
        if (f.format == format)
            return withPrefix ? f.name : f.name + 7;
    return "Unknown format";
}
