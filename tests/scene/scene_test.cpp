// Camera frustum and chase view, scene culling and pass order, on the real
// device.
#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "camera.h"
#include "scene.h"
#include "show_device.h"

namespace {

struct Drawn {
    int id;
    DWORD zWrite, alphaTest, alphaRef, alphaFunc;
};

std::vector<Drawn> g_drawn;
std::vector<int> g_deleted;

// Records each draw with the states the scene set around it.
class Probe : public SceneObject {
public:
    Probe(int id, bool transparent) {
        m_id = id;
        m_transparent = transparent;
    }
    ~Probe() override { g_deleted.push_back(m_id); }
    int Render(Camera*, float) override {
        Drawn d = {m_id, 0, 0, 0, 0};
        m_pd3dDevice->GetRenderState(D3DRS_ZWRITEENABLE, &d.zWrite);
        m_pd3dDevice->GetRenderState(D3DRS_ALPHATESTENABLE, &d.alphaTest);
        m_pd3dDevice->GetRenderState(D3DRS_ALPHAREF, &d.alphaRef);
        m_pd3dDevice->GetRenderState(D3DRS_ALPHAFUNC, &d.alphaFunc);
        g_drawn.push_back(d);
        return 0;
    }
};

std::vector<int> DrawnIds() {
    std::vector<int> ids;
    for (const Drawn& d : g_drawn) ids.push_back(d.id);
    return ids;
}

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    D3DXVECTOR3 d = a - b;
    return D3DXVec3Length(&d);
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DEVICE();
        ResetStates();
        g_drawn.clear();
        g_deleted.clear();
    }
    void TearDown() override {
        if (ShowDevice()) ResetStates();
    }
};

TEST_F(SceneTest, DefaultCameraLooksAlongZWithAFrustumSphereHoldingEveryCorner) {
    Camera camera;
    camera.Apply();
    D3DXMATRIX view, projection;
    m_pd3dDevice->GetTransform(D3DTS_VIEW, &view);
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX expected;
    D3DXVECTOR3 eye(0, 0, -4), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            EXPECT_FLOAT_EQ(view.m[r][c], expected.m[r][c]);
            EXPECT_FLOAT_EQ(camera.GetView()->m[r][c], expected.m[r][c]);
        }
    // Field of view pi/3 and aspect 4/3, whatever the window.
    EXPECT_NEAR(projection._22, 1.0f / std::tan(1.0471976f / 2), 1e-5);
    EXPECT_NEAR(projection._11, projection._22 / 1.3333334f, 1e-5);

    for (int i = 0; i < 4; ++i) EXPECT_NEAR(camera.m_frustumCorners[i].z, -3.0f, 1e-3) << i;
    for (int i = 4; i < 8; ++i) EXPECT_NEAR(camera.m_frustumCorners[i].z, 508.0f, 0.05) << i;
    EXPECT_NEAR(camera.m_frustumCenter.x, 0.0f, 1e-3);
    EXPECT_NEAR(camera.m_frustumCenter.y, 0.0f, 1e-3);
    float farthest = 0;
    for (const D3DXVECTOR3& c : camera.m_frustumCorners) {
        float d = Distance(c, camera.m_frustumCenter);
        EXPECT_LE(d, camera.m_frustumRadius * 1.000001f);
        farthest = std::max(farthest, d);
    }
    EXPECT_FLOAT_EQ(camera.m_frustumRadius, farthest);

    // A point inside has a non-negative distance to every plane.
    D3DXVECTOR3 inside(10, -20, 100);
    for (const D3DXPLANE& p : camera.m_frustumPlanes) EXPECT_GT(D3DXPlaneDotCoord(&p, &inside), 0.0f);
}

TEST_F(SceneTest, FollowSitsBehindAndAboveTheTargetAndKeepsThePosition) {
    Probe target(1, false);
    target.m_pitch = 0.3f;
    Camera camera;
    camera.Follow(&target);
    D3DXMATRIX world;
    D3DXMatrixInverse(&world, nullptr, camera.GetView());
    EXPECT_NEAR(world._41, 0.0f, 1e-5);
    EXPECT_NEAR(world._42, 1.0f, 1e-5);
    EXPECT_NEAR(world._43, 5.0f, 1e-5);
    // The camera's forward axis (third row) points along -z.
    EXPECT_NEAR(world._33, -1.0f, 1e-5);
    EXPECT_FLOAT_EQ(camera.m_position.z, -4.0f);
    EXPECT_EQ(camera.m_pTarget, &target);
}

struct CullCase {
    const char* name;
    // corner >= 0: the frustum centre moved toward that corner by the
    // fraction; -2: outside the left plane by that distance, at depth 250;
    // -1: the position as given.
    int corner;
    float towardCorner;
    D3DXVECTOR3 position;
    float radius, scale;
    bool visible;
};

void PrintTo(const CullCase& c, std::ostream* os) { *os << c.name; }

class Culling : public SceneTest, public ::testing::WithParamInterface<CullCase> {};

TEST_P(Culling, KeepsWhatTheViewHoldsAndDropsTheRest) {
    const CullCase& c = GetParam();
    Camera camera;
    camera.Apply();
    Probe object(7, false);
    object.m_hasSphere = true;
    object.m_sphereRadius = c.radius;
    object.m_scale = c.scale;
    if (c.corner >= 0)
        object.m_position = camera.m_frustumCenter +
                            (camera.m_frustumCorners[c.corner] - camera.m_frustumCenter) * c.towardCorner;
    else if (c.corner == -2) {
        const D3DXPLANE& left = camera.m_frustumPlanes[2];
        D3DXVECTOR3 onAxis(0, 0, 250), normal(left.a, left.b, left.c);
        object.m_position = onAxis - normal * (D3DXPlaneDotCoord(&left, &onAxis) + c.towardCorner);
    } else
        object.m_position = c.position;

    Scene scene;
    scene.Add(&object);
    scene.Render(&camera, 0.0f);
    EXPECT_EQ(object.m_visible, c.visible);
    EXPECT_EQ(g_drawn.size(), c.visible ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Show2d, Culling,
    ::testing::Values(CullCase{"InsideNearTheFarTopRightCorner", 7, 0.97f, {}, 1.0f, 1.0f, true},
                      CullCase{"InsideNearTheFarBottomLeftCorner", 4, 0.97f, {}, 1.0f, 1.0f, true},
                      CullCase{"BeyondTheFarCorner", 7, 1.2f, {}, 1.0f, 1.0f, false},
                      CullCase{"BehindTheEye", -1, 0, {0, 0, -20}, 1.0f, 1.0f, false},
                      CullCase{"FarLeftOfTheView", -1, 0, {-2000, 0, 100}, 1.0f, 1.0f, false},
                      CullCase{"StraddlingTheLeftPlaneScaled", -2, 1.5f, {}, 1.0f, 2.0f, true},
                      CullCase{"OutsideTheLeftPlaneUnscaled", -2, 1.5f, {}, 1.0f, 1.0f, false}),
    [](const ::testing::TestParamInfo<CullCase>& info) { return std::string(info.param.name); });

TEST_F(SceneTest, ObjectWithoutSphereBehindTheCameraIsDrawnWithNegativeDepth) {
    Camera camera;
    Probe object(3, false);
    object.m_position = D3DXVECTOR3(0, 0, -100);
    Scene scene;
    scene.Add(&object);
    scene.Render(&camera, 0.0f);
    EXPECT_TRUE(object.m_visible);
    EXPECT_NEAR(object.m_viewDepth, -96.0f, 1e-3);
    EXPECT_EQ(DrawnIds(), std::vector<int>{3});
}

// Objects built one after another at falling addresses: the passes still
// follow creation order, opaque first, transparent last to first.
TEST_F(SceneTest, DrawsOpaqueFirstThenTransparentInReverseCreationOrder) {
    alignas(Probe) static unsigned char storage[4][sizeof(Probe)];
    Probe* objects[4];
    const bool transparent[4] = {true, false, true, false};
    for (int i = 0; i < 4; ++i) objects[i] = new (storage[3 - i]) Probe(i + 1, transparent[i]);
    ASSERT_GT(objects[0], objects[3]);

    Camera camera;
    Scene scene;
    for (int i : {2, 0, 3, 1}) scene.Add(objects[i]);
    const bool greaterEqual = (g_d3dCaps.AlphaCmpCaps & D3DPCMPCAPS_GREATEREQUAL) != 0;
    scene.Render(&camera, 0.0f);

    EXPECT_EQ(DrawnIds(), (std::vector<int>{2, 4, 3, 1}));
    for (const Drawn& d : g_drawn) {
        SCOPED_TRACE(d.id);
        bool isTransparent = transparent[d.id - 1];
        EXPECT_EQ(d.zWrite, isTransparent ? FALSE : TRUE);
        if (isTransparent && greaterEqual) {
            EXPECT_EQ(d.alphaTest, (DWORD)TRUE);
            EXPECT_EQ(d.alphaRef, 1u);
            EXPECT_EQ(d.alphaFunc, (DWORD)D3DCMP_GREATEREQUAL);
        } else {
            EXPECT_EQ(d.alphaTest, (DWORD)FALSE);
        }
    }
    DWORD zWrite = 0, alphaTest = 1;
    m_pd3dDevice->GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);
    m_pd3dDevice->GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
    EXPECT_EQ(zWrite, (DWORD)TRUE);
    EXPECT_EQ(alphaTest, (DWORD)FALSE);
    for (Probe* p : objects) p->~Probe();
}

TEST_F(SceneTest, WithoutTheAlphaComparisonTheTransparentPassHasNoAlphaTest) {
    D3DCAPS9 saved = g_d3dCaps;
    g_d3dCaps.AlphaCmpCaps &= ~D3DPCMPCAPS_GREATEREQUAL;
    Probe glass(1, true);
    Camera camera;
    Scene scene;
    scene.Add(&glass);
    scene.Render(&camera, 0.0f);
    g_d3dCaps = saved;
    ASSERT_EQ(g_drawn.size(), 1u);
    EXPECT_EQ(g_drawn[0].zWrite, (DWORD)FALSE);
    EXPECT_EQ(g_drawn[0].alphaTest, (DWORD)FALSE);
    DWORD zWrite = 0;
    m_pd3dDevice->GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);
    EXPECT_EQ(zWrite, (DWORD)TRUE);
}

TEST_F(SceneTest, RemoveDeletesOnlyTheFirstMatchAndTheSceneOwnsNothingElse) {
    Probe* first = new Probe(5, false);
    Probe* second = new Probe(5, false);
    Probe* other = new Probe(6, false);
    {
        Scene scene;
        scene.Add(first);
        scene.Add(second);
        scene.Add(first);  // twice: both entries go with it
        scene.Add(other);
        EXPECT_EQ(scene.Find(5), first);
        EXPECT_EQ(scene.Find(9), nullptr);
        scene.Remove(9);
        EXPECT_TRUE(g_deleted.empty());
        scene.Remove(5);
        EXPECT_EQ(g_deleted, std::vector<int>{5});
        EXPECT_EQ(scene.m_objects.size(), 2u);
        EXPECT_EQ(scene.Find(5), second);
    }
    EXPECT_EQ(g_deleted.size(), 1u);  // the scene's end deletes nothing
    delete second;
    delete other;
}

}  // namespace
