#include "utils.h"

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
    DebugLog("----------------------------------------------------\n");
    if (m_pd3dDevice == NULL) {
        g_renderStatesTaken = true;
        return;
    }
    for (DWORD n = 0; n < 256; n++) {
        // Numbers that are not render states fail to read; keep the stored
        // value for them so they never count as changed.
        DWORD value = g_renderStatesTaken ? g_renderStates[n] : 0;
        m_pd3dDevice->GetRenderState((D3DRENDERSTATETYPE)n, &value);
        if (!g_renderStatesTaken) {
            g_renderStates[n] = value;
        } else if (value != g_renderStates[n]) {
            DebugLog("Valor %d difiere: antes: 0x%X ahora: 0x%X\n", (int)n,
                     (unsigned)g_renderStates[n], (unsigned)value);
            g_renderStates[n] = value;
        }
    }
    g_renderStatesTaken = true;
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
