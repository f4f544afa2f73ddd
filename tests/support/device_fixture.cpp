#include "device_fixture.h"

#include "d3d9/gl_api.h"

#include <cstdio>
#include <cstdlib>

namespace d3d9test {

// llvmpipe rasterises on the test's own thread. Its worker threads belong to
// the driver's screen, which lives until the process ends, and they made
// LeakSanitizer's exit-time scan crash now and then. Set before any test can
// bring the video layer up.
const int kNoRasterizerThreads = setenv("LP_NUM_THREADS", "0", 0);

void DeviceTest::SetUp()
{
    m_hwnd = TestWindow(kWidth, kHeight);
    ASSERT_NE(m_hwnd, nullptr);
    m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(m_d3d, nullptr);
}

void DeviceTest::MakeDevice(D3DFORMAT depth)
{
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.hDeviceWindow = m_hwnd;
    pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    pp.AutoDepthStencilFormat = depth;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    HRESULT hr = m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_dev);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(m_dev, nullptr);
}

void DeviceTest::TearDown()
{
    if (m_dev) {
        // Whatever the test did, the device made no invalid GL call.
        m_dev->TestCooperativeLevel();
        IDirect3DSurface9* bb = nullptr;
        m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
        if (bb) {
            D3DLOCKED_RECT lr;
            // Reading back checks for GL errors, and makes the device's context current.
            EXPECT_EQ(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY), S_OK);
            bb->UnlockRect();
            bb->Release();
        }
        EXPECT_EQ(d3d9gl::gl.glGetError(), 0u);
        EXPECT_EQ(m_dev->Release(), 0u);
    }
    if (m_d3d) {
        EXPECT_EQ(m_d3d->Release(), 0u);
    }
    if (m_hwnd) DestroyWindow(m_hwnd);
}

std::vector<DWORD> DeviceTest::Frame()
{
    std::vector<DWORD> out;
    IDirect3DSurface9* bb = nullptr;
    if (FAILED(m_dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb))) return out;
    D3DLOCKED_RECT lr;
    if (SUCCEEDED(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
        out.resize(kWidth * kHeight);
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(&out[y * kWidth], (const uint8_t*)lr.pBits + y * lr.Pitch, kWidth * 4);
        bb->UnlockRect();
    }
    bb->Release();
    return out;
}

DWORD DeviceTest::Pixel(int x, int y)
{
    std::vector<DWORD> f = Frame();
    if (f.empty()) return 0xDEADBEEF;
    return f[y * kWidth + x];
}

void DeviceTest::Quad(float x0, float y0, float x1, float y1, DWORD color, float z, float u0, float v0, float u1,
                      float v1)
{
    RhwVertex v[4] = {
        {x0, y0, z, 1.0f, color, u0, v0},
        {x1, y0, z, 1.0f, color, u1, v0},
        {x0, y1, z, 1.0f, color, u0, v1},
        {x1, y1, z, 1.0f, color, u1, v1},
    };
    m_dev->SetFVF(kRhwFvf);
    EXPECT_EQ(m_dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex)), S_OK);
}

IDirect3DTexture9* DeviceTest::SolidTexture(DWORD argb, D3DFORMAT format, UINT size)
{
    IDirect3DTexture9* t = nullptr;
    if (FAILED(m_dev->CreateTexture(size, size, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr))) return nullptr;
    D3DLOCKED_RECT lr;
    t->LockRect(0, &lr, nullptr, 0);
    for (UINT y = 0; y < size; ++y) {
        uint8_t* row = (uint8_t*)lr.pBits + y * lr.Pitch;
        for (UINT x = 0; x < size; ++x) {
            if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
                ((DWORD*)row)[x] = argb;
            }
        }
    }
    t->UnlockRect(0);
    return t;
}

std::vector<DWORD> ShaderTokens(DWORD version, const char* glsl)
{
    std::vector<DWORD> t;
    t.push_back(version);
    const size_t len = std::strlen(glsl) + 1;
    const size_t words = (len + 3) / 4;
    t.push_back(0xFFFEu | (DWORD)((words + 1) << 16));
    t.push_back(D3DSHADER_GLSL_TAG);
    const size_t at = t.size();
    t.resize(at + words, 0);
    std::memcpy(&t[at], glsl, len);
    t.push_back(0x0000FFFFu);
    return t;
}

::testing::AssertionResult Near(DWORD actual, DWORD expected, int tol, bool alpha)
{
    Rgba a = Split(actual), e = Split(expected);
    bool ok = std::abs(a.r - e.r) <= tol && std::abs(a.g - e.g) <= tol && std::abs(a.b - e.b) <= tol &&
              (!alpha || std::abs(a.a - e.a) <= tol);
    if (ok) return ::testing::AssertionSuccess();
    char buf[128];
    std::snprintf(buf, sizeof(buf), "got 0x%08X, expected 0x%08X (tolerance %d)", (unsigned)actual,
                  (unsigned)expected, tol);
    return ::testing::AssertionFailure() << buf;
}

} // namespace d3d9test

#include <cmath>

namespace d3d9test {
D3DMATRIX Identity()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Translation(float x, float y, float z)
{
    D3DMATRIX m = Identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

D3DMATRIX Scaling(float x, float y, float z)
{
    D3DMATRIX m = Identity();
    m._11 = x;
    m._22 = y;
    m._33 = z;
    return m;
}

D3DMATRIX PerspectiveFovLH(float fovy, float aspect, float zn, float zf)
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof(m));
    float ys = 1.0f / std::tan(fovy / 2);
    m._11 = ys / aspect;
    m._22 = ys;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

D3DMATRIX OrthoLH(float w, float h, float zn, float zf)
{
    D3DMATRIX m = Identity();
    m._11 = 2.0f / w;
    m._22 = 2.0f / h;
    m._33 = 1.0f / (zf - zn);
    m._43 = zn / (zn - zf);
    return m;
}
} // namespace d3d9test
