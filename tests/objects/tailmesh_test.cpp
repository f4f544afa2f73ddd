// TailMesh on the recording fake: copies easing after their predecessors,
// the attachment at the offsets, opacity and scale factors, the leader mark.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "camera.h"
#include "fake_engine.h"
#include "renderer.h"
#include "tailmesh.h"

namespace {

class TailMeshTest : public FakeEngineTest {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        WriteFile("data/models/square.x", XSquareText());
    }

    // One frame as the scene draws the leader: its world matrix, then its
    // Render with the step.
    void Frame(TailMesh& leader, float dt)
    {
        leader.UpdateWorld();
        dev->SetTransform(D3DTS_WORLD, leader.GetWorld());
        dev->BeginScene();
        leader.Render(&m_camera, dt);
        dev->EndScene();
    }

    // A tail of `count` copies with one position rate and one rotation rate.
    static void AddUniformTail(TailMesh& leader, int count, float positionRate, float rotationRate, float ox, float oy,
                               float oz, float pitch, float yaw, float roll, float scaleFactor, float alphaFactor)
    {
        leader.AddTail(count, positionRate, ox, positionRate, oy, positionRate, oz, rotationRate, pitch, rotationRate,
                       yaw, rotationRate, roll, scaleFactor, alphaFactor);
    }

    Camera m_camera;
};

TEST_F(TailMeshTest, TheLeaderCarriesTheMarkIsNeverCulledAndTracksItsOwnPose)
{
    TailMesh leader("square.x");
    DWORD bits;
    std::memcpy(&bits, &leader.m_rates[0], 4);
    EXPECT_EQ(bits, 0x4B7FEEFFu);
    EXPECT_FALSE(leader.m_hasSphere);
    EXPECT_FALSE(leader.m_hasBox);
    for (float v : leader.m_smoothedPose)
        EXPECT_EQ(v, 0.0f);

    leader.m_position = D3DXVECTOR3(1, 2, 3);
    leader.m_pitch = 0.1f;
    leader.m_yaw = 0.2f;
    leader.m_roll = 0.3f;
    Frame(leader, 0.0f);
    const float pose[6] = {1, 2, 3, 0.1f, 0.2f, 0.3f};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(leader.m_smoothedPose[c], pose[c]) << c;

    // Far outside the view, in a scene: still drawn.
    leader.m_position.x = 1000.0f;
    Scene scene;
    scene.Add(&leader);
    fake.ClearLog();
    dev->BeginScene();
    scene.Render(&m_camera, 0.0f);
    dev->EndScene();
    EXPECT_EQ(fake.Draws().size(), 1u);
    scene.m_objects.clear();
}

TEST_F(TailMeshTest, TailsAreDrawnInOrderAfterTheLeaderAndShareItsMesh)
{
    TailMesh leader("square.x");
    AddUniformTail(leader, 2, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1);
    AddUniformTail(leader, 0, 1, 1, 0, 1, 0, 0, 0, 0, 1, 1);
    AddUniformTail(leader, 3, 1, 1, 0, -1, 0, 0, 0, 0, 1, 1);
    ASSERT_EQ(leader.m_tails.size(), 3u);
    EXPECT_EQ(leader.m_tails[0].size(), 2u);
    EXPECT_TRUE(leader.m_tails[1].empty());
    EXPECT_EQ(leader.m_tails[2].size(), 3u);
    for (const auto& tail : leader.m_tails)
        for (TailMesh* copy : tail) {
            EXPECT_EQ(copy->GetMesh(), leader.GetMesh());
            EXPECT_TRUE(copy->m_tails.empty());
            EXPECT_NE(copy->m_rates[0], kTailLeaderMark);
        }

    fake.ClearLog();
    Frame(leader, 0.1f);
    // The leader, then the first tail's two copies, then the third's three,
    // each under its own world matrix.
    ASSERT_EQ(fake.Draws().size(), 6u);
    std::vector<float> drawnY;
    for (const FakeDraw& d : fake.Draws())
        drawnY.push_back(d.world.m[3][1]);
    EXPECT_EQ(drawnY, (std::vector<float>{0, 0, 0, -1, -2, -3}));
}

TEST_F(TailMeshTest, PositionRateOnePutsEachCopyAtTheOffsetsInItsPredecessorsFrame)
{
    TailMesh leader("square.x");
    leader.m_position = D3DXVECTOR3(1, 2, 3);
    leader.m_yaw = 1.5707964f; // +x turns to -z
    AddUniformTail(leader, 2, 1, 1, 0.5f, 0, 0, 0, 0, 0, 1, 1);
    Frame(leader, 1.0f);
    const TailMesh* first = leader.m_tails[0][0];
    const TailMesh* second = leader.m_tails[0][1];
    EXPECT_NEAR(first->m_position.x, 1.0f, 1e-5);
    EXPECT_NEAR(first->m_position.y, 2.0f, 1e-5);
    EXPECT_NEAR(first->m_position.z, 2.5f, 1e-5);
    EXPECT_NEAR(first->m_yaw, 1.5707964f, 1e-6);
    EXPECT_NEAR(second->m_position.z, 2.0f, 1e-5);
    EXPECT_NEAR(second->m_position.x, 1.0f, 1e-5);
}

TEST_F(TailMeshTest, RatesZeroLeaveACopyWhereItStartedHoweverTheLeaderMoves)
{
    TailMesh leader("square.x");
    leader.m_position = D3DXVECTOR3(2, 0, 0);
    AddUniformTail(leader, 2, 0, 0, 0.5f, 0.25f, 0, 0.1f, 0, 0, 1, 1);
    for (int i = 0; i < 5; ++i) {
        leader.m_position.x = 10.0f * i;
        leader.m_yaw = 0.3f * i;
        Frame(leader, 0.5f);
    }
    // The first copy eases from the leader's pose at the time of AddTail,
    // the second from the first copy's starting pose (the offsets).
    const TailMesh* first = leader.m_tails[0][0];
    const TailMesh* second = leader.m_tails[0][1];
    EXPECT_FLOAT_EQ(first->m_position.x, 2.5f);
    EXPECT_FLOAT_EQ(first->m_position.y, 0.25f);
    EXPECT_FLOAT_EQ(first->m_pitch, 0.1f);
    EXPECT_FLOAT_EQ(first->m_yaw, 0.0f);
    EXPECT_FLOAT_EQ(second->m_position.x, 1.0f);
    EXPECT_FLOAT_EQ(second->m_position.y, 0.5f);
    EXPECT_FLOAT_EQ(second->m_pitch, 0.2f);
}

TEST_F(TailMeshTest, ACopyEasesTowardItsPredecessorByStepTimesRate)
{
    TailMesh leader("square.x");
    AddUniformTail(leader, 2, 0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 1, 1);
    leader.m_position.x = 1.0f;
    leader.m_roll = 1.0f;
    std::vector<float> firstX, secondX;
    const float dt = 0.2f;
    for (int k = 1; k <= 6; ++k) {
        Frame(leader, dt);
        const TailMesh* first = leader.m_tails[0][0];
        // Eased: 1 - (1 - dt rate)^k; the position then blends half way to
        // the attachment point, the leader's own position.
        const float eased = 1.0f - std::pow(1.0f - dt * 0.5f, (float)k);
        EXPECT_NEAR(first->m_smoothedPose[0], eased, 1e-5) << k;
        EXPECT_NEAR(first->m_position.x, 0.5f * eased + 0.5f * 1.0f, 1e-5) << k;
        EXPECT_NEAR(first->m_roll, eased, 1e-5) << k;
        firstX.push_back(first->m_smoothedPose[0]);
        secondX.push_back(leader.m_tails[0][1]->m_smoothedPose[0]);
    }
    // The second copy follows the first, damped once more.
    for (size_t k = 0; k < firstX.size(); ++k) {
        EXPECT_GT(secondX[k], 0.0f) << k;
        EXPECT_LT(secondX[k], firstX[k]) << k;
    }

    // A step of 0 moves no eased pose.
    const float before = leader.m_tails[0][1]->m_smoothedPose[0];
    Frame(leader, 0.0f);
    EXPECT_EQ(leader.m_tails[0][1]->m_smoothedPose[0], before);
}

TEST_F(TailMeshTest, OpacityAndScaleAreThePredecessorsTimesTheFactorsEveryFrame)
{
    TailMesh leader("square.x");
    AddUniformTail(leader, 5, 1, 1, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0.9f);
    for (float alpha : {0.8f, 0.4f}) {
        leader.m_alpha = alpha;
        leader.m_scale = 2.0f;
        fake.ClearLog();
        Frame(leader, 0.0f); // a step of 0 still recomputes both
        for (int n = 1; n <= 5; ++n) {
            const TailMesh* copy = leader.m_tails[0][n - 1];
            EXPECT_NEAR(copy->m_alpha, alpha * std::pow(0.9f, (float)n), 1e-6) << n;
            EXPECT_NEAR(copy->m_scale, 2.0f * std::pow(0.5f, (float)n), 1e-6) << n;
        }
        // Every copy is drawn blended: its opacity is below 1.
        ASSERT_EQ(fake.Draws().size(), 6u);
        for (size_t i = 1; i < 6; ++i) {
            EXPECT_EQ(fake.Draws()[i].renderStates[D3DRS_ALPHABLENDENABLE], (DWORD)TRUE) << i;
            EXPECT_EQ(fake.Draws()[i].renderStates[D3DRS_ZENABLE], (DWORD)D3DZB_FALSE) << i;
        }
    }
}

TEST_F(TailMeshTest, SetDynamicsGivesEveryCopyTheNewRatesAndFactors)
{
    TailMesh leader("square.x");
    AddUniformTail(leader, 2, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1);
    AddUniformTail(leader, 3, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1);
    leader.SetDynamics(0.25f, 0.75f, 0.5f, 0.6f);
    for (const auto& tail : leader.m_tails)
        for (TailMesh* copy : tail) {
            EXPECT_EQ((std::vector<float>(copy->m_rates, copy->m_rates + 6)),
                      (std::vector<float>{0.25f, 0.25f, 0.25f, 0.75f, 0.75f, 0.75f}));
            EXPECT_EQ(copy->m_scaleFactor, 0.5f);
            EXPECT_EQ(copy->m_alphaFactor, 0.6f);
        }
    EXPECT_EQ(leader.m_rates[0], kTailLeaderMark);
}

TEST_F(TailMeshTest, DeletingTheLeaderReleasesItsCopiesAndTheSharedMeshOnce)
{
    const size_t deviceOnly = fake.LiveObjects();
    TailMesh* leader = new TailMesh("square.x");
    AddUniformTail(*leader, 15, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1);
    Frame(*leader, 0.1f);
    delete leader;
    // The device holds the last drawn buffers until they are unbound.
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    EXPECT_EQ(fake.LiveObjects(), deviceOnly);
}

TEST_F(TailMeshTest, ALeaderWhoseFileIsMissingBuildsAndDrawsItsTailsInvisibly)
{
    TailMesh leader("missing.x");
    AddUniformTail(leader, 3, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1);
    fake.ClearLog();
    Frame(leader, 0.1f);
    EXPECT_TRUE(fake.Draws().empty());
    EXPECT_EQ(fake.Count("SetTransform", [](const FakeCall& c) { return c.Arg("State") == D3DTS_WORLD; }), 4u);
}

} // namespace
