#include "device_fixture.h"

namespace d3d9test {
namespace {

class Smoke : public DeviceTest {};

TEST_F(Smoke, ClearAndQuad)
{
    MakeDevice();
    ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0), S_OK);
    EXPECT_TRUE(Near(Pixel(5, 5), 0xFF102030, 0));
    m_dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    m_dev->BeginScene();
    Quad(10, 10, 20, 20, 0xFFFF0000);
    m_dev->EndScene();
    EXPECT_TRUE(Near(Pixel(10, 10), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(19, 19), 0xFFFF0000, 0));
    EXPECT_TRUE(Near(Pixel(9, 10), 0xFF102030, 0));
    EXPECT_TRUE(Near(Pixel(20, 20), 0xFF102030, 0));
}

} // namespace
} // namespace d3d9test
