// Captured frames of the show's multiplayer-client scene on the real device:
// terrain under fog, trees and the walking local player.
#include <gtest/gtest.h>

#include <bass.h>
#include <mscrt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <vector>

#include "crowd.h"
#include "escenor.h"
#include "jugador.h"
#include "ostrel.h"
#include "show_device.h"
#include "skinmesh.h"
#include "skinnedmodel.h"
#include "terrain.h"

namespace
{

const DWORD kFog = 0xFF00BFFF;

// Where a world point lands on the screen with the last frame's transforms;
// false behind the eye.
bool ScreenOf(const D3DXVECTOR3& p, float* x, float* y)
{
    D3DXMATRIX view, projection;
    m_pd3dDevice->GetTransform(D3DTS_VIEW, &view);
    m_pd3dDevice->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX vp = view * projection;
    D3DXVECTOR4 c;
    D3DXVec3Transform(&c, &p, &vp);
    if (c.w <= 0.0f)
        return false;
    *x = (c.x / c.w + 1.0f) * 0.5f * kScreenW;
    *y = (1.0f - c.y / c.w) * 0.5f * kScreenH;
    return true;
}

int Distance(const Frame& f, int x, int y, DWORD colour)
{
    return std::abs(f.R(x, y) - (int)((colour >> 16) & 255)) + std::abs(f.G(x, y) - (int)((colour >> 8) & 255)) +
           std::abs(f.B(x, y) - (int)(colour & 255));
}

// Pixels of the rectangle that differ between two frames.
int Changed(const Frame& a, const Frame& b, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, kScreenH); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, kScreenW); ++x)
            n += (a.At(x, y) & 0xFFFFFF) != (b.At(x, y) & 0xFFFFFF);
    return n;
}

class OstrelFrames : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_DEVICE();
        ResetStates();
        g_sequenceTime = 0.0f;
        ms_srand(1);
        m_show = new Escenor("fichero_script.qvs");
        for (ScheduleItem* item : m_show->m_pendingItems)
            if ((m_ostrel = dynamic_cast<COstrel*>(item->m_pEffect)))
            {
                m_entry = item;
                break;
            }
    }
    void TearDown() override
    {
        delete m_show;
        m_show = nullptr;
        BASS_Free();
        g_sequenceTime = 0.0f;
        ms_srand(1);
        if (ShowDevice())
            ResetStates();
    }

    // Frames at `fps` from the entry's start up to t; the last one read back.
    Frame PlayTo(float until, float fps)
    {
        Frame f;
        for (;;)
        {
            const float t = std::min(m_time + 1.0f / fps, until);
            m_time = t;
            f = Draw(t);
            if (t >= until)
                return f;
        }
    }

    Frame Draw(float t)
    {
        g_sequenceTime = t;
        BeginFrame(kFog);
        m_ostrel->DoRender((t - m_entry->m_start) / (m_entry->m_end - m_entry->m_start));
        return EndFrame();
    }

    Escenor* m_show = nullptr;
    COstrel* m_ostrel = nullptr;
    ScheduleItem* m_entry = nullptr;
    float m_time = 0.0f;
};

TEST_F(OstrelFrames, TerrainFogTreesAndTheWalkingPlayerAtOneAndFourSeconds)
{
    ASSERT_NE(m_ostrel, nullptr);
    ASSERT_EQ(m_ostrel->DoInit(), 0);
    ASSERT_NE(m_ostrel->m_pArboles, nullptr);
    ASSERT_NE(m_ostrel->m_pEstado, nullptr);
    Scene* scene = m_ostrel->m_pEscena;
    SkinMesh* player = m_ostrel->m_pJugadorLocal->m_objeto;
    double track = player->m_lods[0]->GetTrackPosition();
    for (float at : {1.0f, 4.0f})
    {
        SCOPED_TRACE(at);
        const Frame f = PlayTo(at, 15);
        ASSERT_EQ(f.width, kScreenW);
        float px, py;
        ASSERT_TRUE(ScreenOf(player->m_position, &px, &py));

        // The same frame again without some of it: the time does not move,
        // so only what was left out changes.
        const std::list<SceneObject*> all = scene->m_objects;
        scene->m_objects.remove_if([](SceneObject* o) { return dynamic_cast<CrowdMesh*>(o) != nullptr; });
        const Frame noTrees = Draw(at);
        scene->m_objects = all;
        scene->m_objects.remove(player);
        const Frame noPlayer = Draw(at);
        scene->m_objects = all;
        m_ostrel->m_pEstado->Apply();
        m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
        m_ostrel->m_pEstado->Capture();
        const Frame noFog = Draw(at);
        m_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
        m_ostrel->m_pEstado->Capture();
        ASSERT_EQ(Changed(f, Draw(at), 0, 0, kScreenW, kScreenH), 0);

        // Terrain: the ground fills the lower half, green over the sky's blue.
        int ground = 0, lower = 0;
        for (int y = kScreenH / 2; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x, ++lower)
                ground += f.G(x, y) > f.B(x, y) && Distance(f, x, y, kFog) > 100;
        EXPECT_GT(ground, lower * 9 / 10);
        EXPECT_EQ(Distance(f, 400, 0, kFog), 0);

        // Trees: far away, along the horizon in the upper half.
        EXPECT_GT(Changed(f, noTrees, 0, 0, kScreenW, kScreenH / 3), 1000);
        EXPECT_EQ(Changed(f, noTrees, 0, kScreenH / 3, kScreenW, kScreenH), 0);

        // Fog: only the far ground changes, and toward the fog's colour.
        const int fogged = Changed(f, noFog, 0, 0, kScreenW, kScreenH);
        EXPECT_GT(fogged, 1000);
        EXPECT_LT(Changed(f, noFog, 0, kScreenH / 2, kScreenW, kScreenH), 20);
        long toward = 0;
        for (int y = 0; y < kScreenH / 2; ++y)
            for (int x = 0; x < kScreenW; ++x)
                toward += Distance(noFog, x, y, kFog) - Distance(f, x, y, kFog);
        EXPECT_GT(toward, 20L * fogged);

        // The player: in the middle of the lower half, five units ahead.
        EXPECT_NEAR(px, kScreenW / 2, 2);
        EXPECT_GT(py, kScreenH / 2);
        EXPECT_GT(Changed(f, noPlayer, (int)px - 90, 0, (int)px + 90, kScreenH), 8000);
        EXPECT_EQ(Changed(f, noPlayer, 0, 0, (int)px - 90, kScreenH), 0);
        EXPECT_EQ(Changed(f, noPlayer, (int)px + 90, 0, kScreenW, kScreenH), 0);
        // Walking: its animation has moved on.
        const double now = player->m_lods[0]->GetTrackPosition();
        EXPECT_NE(now, track);
        track = now;
    }
}

} // namespace
