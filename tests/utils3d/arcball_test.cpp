// The arc-ball, rotations between vectors and the trackball rotation.
#include <gtest/gtest.h>

#include <cmath>

#include "utils.h"
#include "windows/win_internal.h"

namespace {

const float kEps = 1e-5f;

::testing::AssertionResult NearVec(const D3DXVECTOR3& got, float x, float y, float z, float eps = kEps)
{
    if (std::fabs(got.x - x) <= eps && std::fabs(got.y - y) <= eps && std::fabs(got.z - z) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ") is not (" << x
                                         << ", " << y << ", " << z << ")";
}

::testing::AssertionResult NearQuat(const D3DXQUATERNION& got, const D3DXQUATERNION& want, float eps = kEps)
{
    if (std::fabs(got.x - want.x) <= eps && std::fabs(got.y - want.y) <= eps && std::fabs(got.z - want.z) <= eps &&
        std::fabs(got.w - want.w) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ", " << got.w
                                         << ") is not (" << want.x << ", " << want.y << ", " << want.z << ", "
                                         << want.w << ")";
}

float Length(const D3DXQUATERNION& q)
{
    return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
}

D3DXVECTOR3 Turn(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

D3DXQUATERNION AboutAxis(float x, float y, float z, float degrees)
{
    D3DXVECTOR3 axis(x, y, z);
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, degrees * D3DX_PI / 180.0f);
    return q;
}

struct SphereCase {
    const char* name;
    int width, height;
    float radius;
    bool mirrored;
    int x, y;
    float sx, sy, sz;
};

void PrintTo(const SphereCase& c, std::ostream* os) { *os << c.name; }

class ScreenToSphere : public ::testing::TestWithParam<SphereCase> {};

TEST_P(ScreenToSphere, GivesThePointOfTheBallUnderThePixel)
{
    const SphereCase& c = GetParam();
    ArcBall ball;
    ball.SetArea(c.width, c.height, c.radius);
    ball.m_mirrored = c.mirrored;
    EXPECT_TRUE(NearVec(ball.ScreenToSphere(c.x, c.y), c.sx, c.sy, c.sz));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScreenToSphere,
    ::testing::Values(SphereCase{"Centre", 640, 480, 1, false, 320, 240, 0, 0, 1},
                      SphereCase{"LeftEdgeIsTheRim", 640, 480, 1, false, 0, 240, 1, 0, 0},
                      SphereCase{"HalfWayLeft", 640, 480, 1, false, 160, 240, 0.5f, 0, 0.8660254f},
                      SphereCase{"BelowCentre", 640, 480, 1, false, 320, 360, 0, 0.5f, 0.8660254f},
                      SphereCase{"CornerClampsToTheRim", 640, 480, 1, false, 0, 0, 0.7071068f, -0.7071068f, 0},
                      SphereCase{"SmallerBall", 640, 480, 0.5f, false, 240, 240, 0.5f, 0, 0.8660254f},
                      // 641 / 2 is 320: the halving inside truncates.
                      SphereCase{"OddWidthHalvesAsAnInteger", 641, 480, 1, false, 320, 240, 0, 0, 1},
                      SphereCase{"Mirrored", 640, 480, 1, true, 160, 360, -0.5f, -0.5f, 0.7071068f},
                      SphereCase{"NoAreaIsTheFront", 0, 0, 0, false, 10, 10, 0, 0, 1}),
    [](const ::testing::TestParamInfo<SphereCase>& info) { return std::string(info.param.name); });

TEST(ArcBall, ResetAndConstructionGiveNoTurnNoMoveAndUnitScale)
{
    ArcBall ball;
    ball.m_moveScale = 3;
    ball.m_mirrored = TRUE;
    ball.m_dragging = TRUE;
    ball.m_orientation = AboutAxis(0, 1, 0, 40);
    ball.Reset();
    EXPECT_TRUE(NearQuat(ball.m_orientation, D3DXQUATERNION(0, 0, 0, 1)));
    EXPECT_TRUE(NearQuat(ball.m_startOrientation, D3DXQUATERNION(0, 0, 0, 1)));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (const D3DXMATRIX* m : {&ball.m_orientationMatrix, &ball.m_dragMatrix, &ball.m_moveMatrix,
                                &ball.m_moveStepMatrix})
        EXPECT_EQ(std::memcmp(m, &identity, sizeof identity), 0);
    EXPECT_FALSE(ball.m_dragging);
    EXPECT_FALSE(ball.m_mirrored);
    EXPECT_EQ(ball.m_moveScale, 1.0f);
}

TEST(ArcBall, LeftDragTurnsTheBallFromThePressedPointToTheCursor)
{
    ArcBall ball;
    ball.SetArea(640, 480, 1);
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240)));
    EXPECT_TRUE(ball.m_dragging);
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(160, 240)));
    // From the front (0, 0, 1) to (0.5, 0, 0.866): 30 degrees about +y.
    EXPECT_TRUE(NearQuat(ball.m_orientation, AboutAxis(0, 1, 0, 30)));
    EXPECT_TRUE(NearVec(Turn(D3DXVECTOR3(0, 0, 1), ball.m_orientationMatrix), 0.5f, 0, 0.8660254f));
    EXPECT_TRUE(NearVec(Turn(D3DXVECTOR3(0, 0, 1), ball.m_dragMatrix), 0.5f, 0, 0.8660254f));
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_LBUTTONUP, 0, MAKELPARAM(160, 240)));
    EXPECT_FALSE(ball.m_dragging);

    // A second drag turns on from there: first the old turn, then the new one.
    ball.OnMouseMessage(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(320, 360));
    D3DXQUATERNION expected;
    D3DXQUATERNION first = AboutAxis(0, 1, 0, 30), second = AboutAxis(-1, 0, 0, 30);
    D3DXQuaternionMultiply(&expected, &first, &second);
    EXPECT_TRUE(NearQuat(ball.m_orientation, expected));
    EXPECT_TRUE(NearQuat(ball.m_startOrientation, first));
    EXPECT_TRUE(NearVec(Turn(D3DXVECTOR3(0, 0, 1), ball.m_dragMatrix), 0, 0.5f, 0.8660254f));
}

TEST(ArcBall, MoveWithTheLeftButtonButNoPressStartsDraggingWithoutANewStart)
{
    ArcBall ball;
    ball.SetArea(640, 480, 1);
    ball.m_dragMatrix._41 = 9; // not the identity
    const D3DXVECTOR3 start = g_arcBallDragStart;
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 100)));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(std::memcmp(&ball.m_dragMatrix, &identity, sizeof identity), 0);
    EXPECT_TRUE(ball.m_dragging);
    EXPECT_TRUE(NearQuat(ball.m_orientation, D3DXQUATERNION(0, 0, 0, 1)));
    EXPECT_EQ(g_arcBallDragStart, start);
}

TEST(ArcBall, RightAndMiddleDragsMoveInThePlaneAndInDepth)
{
    ArcBall ball;
    ball.SetArea(640, 480, 1);
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100)));
    EXPECT_EQ(g_arcBallLastX, 100);
    EXPECT_EQ(g_arcBallLastY, 100);
    // dx = (100 - 132) / 640 = -0.05, dy = (100 - 52) / 480 = 0.1: step (0.1, 0.2, 0).
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(132, 52));
    EXPECT_TRUE(NearVec(D3DXVECTOR3(ball.m_moveStepMatrix._41, ball.m_moveStepMatrix._42,
                                    ball.m_moveStepMatrix._43), 0.1f, 0.2f, 0));
    EXPECT_EQ(g_arcBallLastX, 132);
    EXPECT_EQ(g_arcBallLastY, 52);
    // Middle only, scale 2: dy = (0 - -48) * 2 / 480 = 0.2: step (0, 0, 1).
    ball.SetMoveScale(2);
    ball.OnMouseMessage(nullptr, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(0, 0));
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(5, -48));
    EXPECT_TRUE(NearVec(D3DXVECTOR3(ball.m_moveMatrix._41, ball.m_moveMatrix._42, ball.m_moveMatrix._43), 0.1f,
                        0.2f, 1.0f));
    // Both buttons: the right one decides.
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_RBUTTON | MK_MBUTTON, MAKELPARAM(5, -48));
    EXPECT_TRUE(NearVec(D3DXVECTOR3(ball.m_moveStepMatrix._41, ball.m_moveStepMatrix._42,
                                    ball.m_moveStepMatrix._43), 0, 0, 0));
}

TEST(ArcBall, OtherMessagesAreNotHandled)
{
    ArcBall ball;
    ball.SetArea(640, 480, 1);
    for (UINT m : {WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_MBUTTONUP, WM_MOUSEWHEEL, WM_KEYDOWN})
        EXPECT_FALSE(ball.OnMouseMessage(nullptr, m, 0, 0)) << m;
    // A plain move is handled but changes nothing.
    EXPECT_TRUE(ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10)));
    EXPECT_FALSE(ball.m_dragging);
}

TEST(ArcBall, DragAcrossTheWholeBallKeepsAnOrientation)
{
    // From one side of the rim to the other: the halfway vector vanishes.
    ArcBall ball;
    ball.SetArea(640, 480, 1);
    ball.OnMouseMessage(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 240));
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(640, 240));
    const D3DXQUATERNION& q = ball.m_orientation;
    EXPECT_NEAR(Length(q), 1.0f, kEps);
    EXPECT_TRUE(NearVec(Turn(D3DXVECTOR3(1, 0, 0), ball.m_orientationMatrix), -1, 0, 0));
    // And the ball still turns afterwards.
    ball.OnMouseMessage(nullptr, WM_LBUTTONUP, 0, 0);
    ball.OnMouseMessage(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
    ball.OnMouseMessage(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(160, 240));
    EXPECT_NEAR(Length(ball.m_orientation), 1.0f, kEps);
    EXPECT_TRUE(NearVec(Turn(D3DXVECTOR3(0, 0, 1), ball.m_dragMatrix), 0.5f, 0, 0.8660254f));
}

TEST(Rotations, BetweenVectorsTurnsTheFirstOntoTheSecond)
{
    struct Case {
        D3DXVECTOR3 from, to;
    } cases[] = {
        {{0, 0, 1}, {0, 0, 1}},  {{0, 0, 3}, {2, 0, 0}}, {{1, 2, 3}, {-3, 1, 0.5f}},
        {{1, 0, 0}, {-1, 0, 0}}, {{0, 2, 0}, {0, -5, 0}}, {{1, 1, 0}, {-1, -1, 0}},
    };
    for (const Case& c : cases) {
        D3DXQUATERNION q;
        EXPECT_EQ(RotationBetweenVectors(&q, &c.from, &c.to), &q);
        EXPECT_NEAR(Length(q), 1.0f, kEps);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXVECTOR3 a, b;
        D3DXVec3Normalize(&a, &c.from);
        D3DXVec3Normalize(&b, &c.to);
        EXPECT_TRUE(NearVec(Turn(a, m), b.x, b.y, b.z, 1e-4f));
    }
    D3DXQUATERNION same;
    D3DXVECTOR3 v(0, 3, 4);
    RotationBetweenVectors(&same, &v, &v);
    EXPECT_TRUE(NearQuat(same, D3DXQUATERNION(0, 0, 0, 1)));
}

TEST(Rotations, BetweenUnitVectorsIsTheCrossAndDotProducts)
{
    D3DXVECTOR3 a(1, 0, 0), b(0, 1, 0);
    D3DXQUATERNION q;
    RotationBetweenUnitVectors(&q, &a, &b);
    EXPECT_TRUE(NearQuat(q, D3DXQUATERNION(0, 0, 1, 0)));
    D3DXVECTOR3 c(0.6f, 0.8f, 0);
    RotationBetweenUnitVectors(&q, &a, &c);
    EXPECT_TRUE(NearQuat(q, D3DXQUATERNION(0, 0, 0.8f, 0.6f)));
}

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcA(h, m, w, l);
}

class Trackball : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = PlainProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "TrackballTest";
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        RECT r = {0, 0, 200, 100};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        m_hwnd = CreateWindowExA(0, "TrackballTest", "Trackball", WS_OVERLAPPEDWINDOW, 20, 10, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!m_hwnd)
            GTEST_SKIP() << "no window";
    }
    void TearDown() override
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
        PlatformResetMessageQueue();
    }
    // Puts the cursor at a client point.
    void At(int x, int y)
    {
        POINT p = {x, y};
        ClientToScreen(m_hwnd, &p);
        SetCursorPos(p.x, p.y);
    }
    HWND m_hwnd = nullptr;
};

TEST_F(Trackball, TurnsByTheCursorsPlaceInTheClientArea)
{
    At(100, 50);
    EXPECT_TRUE(NearQuat(TrackballRotation(m_hwnd, 1.0f), D3DXQUATERNION(0, 0, 0, 1)));
    // (0.5, 0) lies on the ball: 30 degrees about -y.
    At(150, 50);
    EXPECT_TRUE(NearQuat(TrackballRotation(m_hwnd, 1.0f), AboutAxis(0, -1, 0, 30)));
    // (1, 0) lies beyond r / sqrt 2: z = r^2 / 2d = 0.5; t = |(-1, 0, 0.5)| / 2.
    At(200, 50);
    const float angle = 2.0f * std::asin(std::sqrt(1.25f) / 2.0f) * 180.0f / D3DX_PI;
    EXPECT_TRUE(NearQuat(TrackballRotation(m_hwnd, 1.0f), AboutAxis(0, -1, 0, angle)));
    // Below the centre: the turn is about x.
    At(100, 75);
    EXPECT_TRUE(NearQuat(TrackballRotation(m_hwnd, 1.0f), AboutAxis(1, 0, 0, 30)));
}

TEST_F(Trackball, WithoutAWindowThereIsNoTurn)
{
    At(150, 50);
    EXPECT_TRUE(NearQuat(TrackballRotation(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), 1.0f),
                         D3DXQUATERNION(0, 0, 0, 1)));
}

} // namespace
