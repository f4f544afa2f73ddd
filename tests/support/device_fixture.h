// A window and a real device on it, with pixel read-back.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include "test_window.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace d3d9test {

struct RhwVertex {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
const DWORD kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Rgba {
    int r, g, b, a;
};

inline Rgba Split(DWORD c)
{
    return {(int)((c >> 16) & 255), (int)((c >> 8) & 255), (int)(c & 255), (int)(c >> 24)};
}

inline DWORD Bits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

class DeviceTest : public ::testing::Test {
protected:
    static const int kWidth = 64, kHeight = 64;
    void SetUp() override;
    void TearDown() override;
    // Creates the device with the given depth format (D3DFMT_UNKNOWN: none).
    void MakeDevice(D3DFORMAT depth = D3DFMT_D24S8);
    // Back-buffer pixel as ARGB.
    DWORD Pixel(int x, int y);
    std::vector<DWORD> Frame();
    // Draws a pre-transformed quad from (x0, y0) to (x1, y1) in screen units.
    void Quad(float x0, float y0, float x1, float y1, DWORD color, float z = 0.5f, float u0 = 0, float v0 = 0,
              float u1 = 1, float v1 = 1);
    IDirect3DTexture9* SolidTexture(DWORD argb, D3DFORMAT format = D3DFMT_A8R8G8B8, UINT size = 4);

    HWND m_hwnd = nullptr;
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_dev = nullptr;
};

// A shader's token stream carrying its GLSL.
std::vector<DWORD> ShaderTokens(DWORD version, const char* glsl);

// Expects a colour within a tolerance per channel.
::testing::AssertionResult Near(DWORD actual, DWORD expected, int tolerance = 3, bool alpha = false);

} // namespace d3d9test

namespace d3d9test {
D3DMATRIX Identity();
D3DMATRIX Translation(float x, float y, float z);
D3DMATRIX Scaling(float x, float y, float z);
// Left-handed perspective projection, as D3DXMatrixPerspectiveFovLH.
D3DMATRIX PerspectiveFovLH(float fovy, float aspect, float zn, float zf);
// Left-handed orthographic projection of width x height, depth zn..zf.
D3DMATRIX OrthoLH(float w, float h, float zn, float zf);

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD color;
};
const DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
} // namespace d3d9test
