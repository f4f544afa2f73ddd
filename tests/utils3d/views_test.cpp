// View parameters and the cube-map face views.
#include <gtest/gtest.h>

#include <cmath>

#include "utils.h"

namespace {

::testing::AssertionResult NearVec(const D3DXVECTOR3& got, float x, float y, float z, float eps = 1e-5f)
{
    if (std::fabs(got.x - x) <= eps && std::fabs(got.y - y) <= eps && std::fabs(got.z - z) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ") is not (" << x
                                         << ", " << y << ", " << z << ")";
}

D3DXVECTOR3 Point(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

D3DXVECTOR3 Direction(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

TEST(ViewParams, DefaultsLookDownZWithAQuarterTurnFieldOfView)
{
    ViewParams vp;
    EXPECT_TRUE(NearVec(vp.m_eye, 0, 0, 0));
    EXPECT_TRUE(NearVec(vp.m_lookAt, 0, 0, 1));
    EXPECT_TRUE(NearVec(vp.m_up, 0, 1, 0));
    EXPECT_TRUE(NearVec(vp.m_viewDir, 0, 0, 1));
    EXPECT_TRUE(NearVec(vp.m_side, -1, 0, 0));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(vp.m_view.m[i / 4][i % 4], identity.m[i / 4][i % 4], 1e-6f) << i;
        EXPECT_NEAR(vp.m_billboard.m[i / 4][i % 4], identity.m[i / 4][i % 4], 1e-6f) << i;
    }
    EXPECT_FLOAT_EQ(vp.m_fov, D3DX_PI / 4);
    EXPECT_EQ(vp.m_aspect, 1.0f);
    EXPECT_EQ(vp.m_near, 1.0f);
    EXPECT_EQ(vp.m_far, 1000.0f);
    const float h = 1.0f / std::tan(D3DX_PI / 8);
    const float q = 1000.0f / 999.0f;
    const float expected[4][4] = {{h, 0, 0, 0}, {0, h, 0, 0}, {0, 0, q, 1}, {0, 0, -q, 0}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(vp.m_projection.m[r][c], expected[r][c], 1e-5f) << r << "," << c;
    EXPECT_NEAR(vp.m_projection._11, 2.4142135f, 1e-5f);
    EXPECT_NEAR(vp.m_projection._33, 1.001001f, 1e-6f);
}

TEST(ViewParams, ProjectionMapsTheNearAndFarPlanesToDepthZeroAndOne)
{
    ViewParams vp;
    vp.SetProjection(D3DX_PI / 2, 2.0f, 0.5f, 100.0f);
    EXPECT_NEAR(vp.m_projection._11, 0.5f, 1e-6f); // h / aspect
    EXPECT_NEAR(vp.m_projection._22, 1.0f, 1e-6f);
    EXPECT_NEAR(Point(D3DXVECTOR3(0, 0, 0.5f), vp.m_projection).z, 0.0f, 1e-6f);
    EXPECT_NEAR(Point(D3DXVECTOR3(0, 0, 100.0f), vp.m_projection).z, 1.0f, 1e-6f);
    // The edge of the field of view lands on the edge of the screen.
    EXPECT_NEAR(Point(D3DXVECTOR3(0, 10, 10), vp.m_projection).y, 1.0f, 1e-5f);
    EXPECT_NEAR(Point(D3DXVECTOR3(20, 0, 10), vp.m_projection).x, 1.0f, 1e-5f);
}

TEST(ViewParams, ViewAndBillboardOfATurnedEye)
{
    ViewParams vp;
    vp.SetView(D3DXVECTOR3(5, 0, 0), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 2, 0));
    EXPECT_TRUE(NearVec(vp.m_viewDir, -1, 0, 0));
    // The side is not normalised: it keeps the up vector's length.
    EXPECT_TRUE(NearVec(vp.m_side, 0, 0, -2));
    EXPECT_TRUE(NearVec(Point(D3DXVECTOR3(0, 0, 0), vp.m_view), 0, 0, 5));
    EXPECT_TRUE(NearVec(Point(D3DXVECTOR3(5, 1, 0), vp.m_view), 0, 1, 0));
    // The billboard turns view space back into world directions, and moves nothing.
    EXPECT_EQ(vp.m_billboard._41, 0.0f);
    EXPECT_EQ(vp.m_billboard._42, 0.0f);
    EXPECT_EQ(vp.m_billboard._43, 0.0f);
    EXPECT_TRUE(NearVec(Direction(D3DXVECTOR3(0, 0, 1), vp.m_billboard), -1, 0, 0));
    EXPECT_TRUE(NearVec(Point(D3DXVECTOR3(1, 0, 0), vp.m_billboard), 0, 0, 1));
}

TEST(CubeFaceView, EachFaceLooksAlongItsAxisWithItsUpVector)
{
    struct Face {
        D3DXVECTOR3 direction, up;
    } faces[6] = {
        {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
        {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
    };
    for (int i = 0; i < 6; ++i) {
        D3DXMATRIX view = CubeFaceView(i);
        EXPECT_TRUE(NearVec(Direction(faces[i].direction, view), 0, 0, 1)) << "face " << i;
        EXPECT_TRUE(NearVec(Direction(faces[i].up, view), 0, 1, 0)) << "face " << i;
        EXPECT_TRUE(NearVec(Point(D3DXVECTOR3(0, 0, 0), view), 0, 0, 0)) << "face " << i;
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (int face : {-1, 6, 1000}) {
        D3DXMATRIX view = CubeFaceView(face);
        EXPECT_EQ(std::memcmp(&view, &identity, sizeof view), 0) << face;
    }
}

} // namespace
