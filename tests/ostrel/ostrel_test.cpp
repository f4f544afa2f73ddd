// The multiplayer-client scene and its players on the recording fake, with
// the show's terrain, tree and player files and a fake sequence clock.
#include <gtest/gtest.h>

#include <mscrt.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "camera.h"
#include "config.h"
#include "crowd.h"
#include "escenor.h"
#include "fake_engine.h"
#include "jugador.h"
#include "ostrel.h"
#include "renderer.h"
#include "skinmesh.h"
#include "skinnedmodel.h"
#include "terrain.h"
#include "timer.h"

namespace
{

const int kLocal = 0xFFFF;

PublicParamFloat* F(Effect* e, const char* name)
{
    return static_cast<PublicParamFloat*>(e->GetParam(name));
}

class OstrelTest : public FakeEngineTest
{
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        // The show's own files, beside the test's.
        std::error_code ec;
        for (const char* folder : {"data/models", "data/textures"})
            for (const auto& e : std::filesystem::directory_iterator(std::string(NIMB_RUN_DIR "/") + folder, ec))
                std::filesystem::create_symlink(e.path(), folder / e.path().filename(), ec);
        std::filesystem::create_directory_symlink(NIMB_RUN_DIR "/data/shaders", "data/shaders", ec);
        g_sequenceTime = 0.0f;
        ms_srand(1);
    }

    void TearDown() override
    {
        delete m_ostrel;
        m_ostrel = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
        g_sequenceTime = 0.0f;
        ms_srand(1);
        FakeEngineTest::TearDown();
    }

    // The settings, as config.xml gives them, over arboles off.
    void Settings(const std::string& extra = "")
    {
        const bool trees = extra.find("<arboles>") != std::string::npos;
        std::ofstream("config.xml") << "<?xml version=\"1.0\" ?>\n<main>\n"
                                    << (trees ? "" : "  <arboles>false</arboles>\n") << extra << "</main>\n";
        g_pConfig = new Config();
    }

    // The effect made and initialised with those settings.
    COstrel* Made(const std::string& extra = "")
    {
        Settings(extra);
        m_ostrel = new COstrel();
        EXPECT_EQ(m_ostrel->DoInit(), 0);
        return m_ostrel;
    }

    // One frame of the effect at sequence time t, at normalised time t / 5.
    void Frame(float t)
    {
        g_sequenceTime = t;
        dev->BeginScene();
        m_ostrel->DoRender(t / 5.0f);
        dev->EndScene();
    }

    std::vector<CJugador*> Players() { return {m_ostrel->m_jugadores.begin(), m_ostrel->m_jugadores.end()}; }

    COstrel* m_ostrel = nullptr;
};

// ---- chat and names, which need no device

TEST(OstrelChat, SixMessagesLeaveTheNewestFiveNewestLowest)
{
    COstrel ostrel;
    char* buffers[kLineasChat];
    for (int i = 0; i < kLineasChat; ++i)
    {
        EXPECT_STREQ(ostrel.m_pLineasChat[i], "");
        EXPECT_EQ(ostrel.m_pLineasChat[i], ostrel.m_lineasChat[i]);
        EXPECT_EQ(ostrel.m_coloresChat[i], 0u);
        buffers[i] = ostrel.m_pLineasChat[i];
    }
    const char* texts[6] = {"uno", "dos", "tres", "cuatro", "cinco", "seis"};
    for (int i = 0; i < 6; ++i)
        ostrel.AgregarMensajeChat(texts[i], 0xFF000000u + i);
    const char* expected[kLineasChat] = {"seis", "cinco", "cuatro", "tres", "dos"};
    for (int i = 0; i < kLineasChat; ++i)
    {
        EXPECT_STREQ(ostrel.m_pLineasChat[i], expected[i]) << i;
        EXPECT_EQ(ostrel.m_coloresChat[i], 0xFF000005u - i) << i;
    }
    // The lines moved by pointer: "seis" went into the buffer that held
    // "uno", the first text, which was the oldest line.
    EXPECT_EQ(ostrel.m_pLineasChat[0], buffers[4]);
    EXPECT_EQ(ostrel.m_pLineasChat[1], buffers[0]);
}

TEST(OstrelChat, LongTextsAreCutToTheLineAndTerminated)
{
    COstrel ostrel;
    const std::string longText(300, 'x');
    ostrel.AgregarMensajeChat(longText.c_str(), 0xFFFFFFFFu);
    EXPECT_EQ(std::strlen(ostrel.m_pLineasChat[0]), size_t(kTextoChat - 1));
    // The neighbouring buffers are untouched.
    for (int i = 1; i < kLineasChat; ++i)
        EXPECT_STREQ(ostrel.m_pLineasChat[i], "");
    ostrel.AgregarMensajeChat(nullptr, 0);
    EXPECT_STREQ(ostrel.m_pLineasChat[0], "");

    char field[kTextoJugador];
    std::memset(field, '#', sizeof field);
    CopiarTexto(field, sizeof field, longText.c_str());
    EXPECT_EQ(std::strlen(field), size_t(kTextoJugador - 1));
    CopiarTexto(field, sizeof field, "corto");
    EXPECT_STREQ(field, "corto");
}

TEST(OstrelParams, VelocitiesInOrderWithTheirBounds)
{
    COstrel ostrel;
    EXPECT_EQ(g_pOstrel, &ostrel);
    EXPECT_NE(std::strstr(ostrel.m_name, "Ostrel #"), nullptr);
    const char* names[3] = {"velx", "velz", "velry"};
    ASSERT_EQ(ostrel.m_params.size(), 3u);
    for (int i = 0; i < 3; ++i)
    {
        auto* p = dynamic_cast<PublicParamFloat*>(ostrel.m_params[i]);
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->GetName(), names[i]);
        EXPECT_EQ(p->m_value, 0.0f);
        EXPECT_EQ(p->m_min, -1e30f);
        EXPECT_EQ(p->m_max, 1e30f);
    }
}

TEST(OstrelPlayers, FileNamesWriteTheVariantInThreeDigits)
{
    const struct
    {
        unsigned textura;
        int lod;
        const char* name;
    } cases[] = {{0, 1, "tiny-tex000-lod1.x"}, {1, 2, "tiny-tex001-lod2.x"}, {7, 1, "tiny-tex007-lod1.x"},
                 {255, 1, "tiny-tex255-lod1.x"}, {0, 0, "tiny-tex000-lod0.x"}};
    for (const auto& c : cases)
    {
        char name[4096];
        NombreFicheroJugador(name, sizeof name, g_modelos[0], c.textura, c.lod);
        EXPECT_STREQ(name, c.name);
    }
}

// ---- the tree layout

// A height map of one grey level: (level - 128) / 4 units everywhere.
void WriteFlatMap(const char* name, int level)
{
    // 2 x 2, 24 bits, rows padded to 8 bytes.
    std::string bmp = "BM";
    auto put = [&](uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.push_back((char)((x >> (8 * i)) & 255));
    };
    put(54 + 16, 4), put(0, 4), put(54, 4), put(40, 4), put(2, 4), put(2, 4), put(1, 2), put(24, 2);
    put(0, 4), put(16, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (int row = 0; row < 2; ++row)
    {
        for (int x = 0; x < 6; ++x)
            bmp.push_back((char)level);
        bmp.append(2, '\0');
    }
    std::ofstream(std::string("data/textures/") + name, std::ios::binary) << bmp;
}

TEST_F(OstrelTest, TreesGrowOnlyBelowTenAndEdgeTreesStandAtFive)
{
    Settings();
    // Level 167 puts the ground at 9.75, level 168 at exactly 10.
    WriteFlatMap("flat167.bmp", 167);
    WriteFlatMap("flat168.bmp", 168);
    Terrain low("flat167.bmp", "TerrainBase.dds", "TerrainDetail.dds", 128, 1024, 64, false, false);
    Terrain level("flat168.bmp", "TerrainBase.dds", "TerrainDetail.dds", 128, 1024, 64, false, false);
    ASSERT_FLOAT_EQ(low.GetHeight(0, 0), 9.75f);
    ASSERT_FLOAT_EQ(level.GetHeight(0, 0), 10.0f);

    EXPECT_TRUE(ColocarArboles(&level).empty());
    EXPECT_EQ(ms_rand(), 41) << "no rand() is drawn where no tree grows";

    ms_srand(1);
    std::vector<ArbolColocado> trees = ColocarArboles(&low);
    ASSERT_EQ(trees.size(), 43u * 43u);
    int outside = 0;
    for (const ArbolColocado& a : trees)
    {
        const bool out = a.x < -512 || a.z < -512;
        outside += out;
        EXPECT_FLOAT_EQ(a.y, out ? 5.0f : 14.75f) << a.x << " " << a.z;
        EXPECT_GE(a.yaw, -3.1415927f);
        EXPECT_LE(a.yaw, 3.1415927f);
        EXPECT_GE(a.escala, 0.09f - 1e-6f);
        EXPECT_LE(a.escala, 0.11f + 1e-6f);
    }
    EXPECT_GT(outside, 0);
    // The first tree takes rand()'s first four values: 41, 18467, 6334, 26500.
    EXPECT_FLOAT_EQ(trees[0].x, -512 + 41 % 24 - 12);
    EXPECT_FLOAT_EQ(trees[0].z, -512 + 18467 % 24 - 12);
    EXPECT_FLOAT_EQ(trees[0].yaw, (float)(6334 / 32767.0 * 2 * 3.141592653589793 - 3.141592653589793));
    EXPECT_FLOAT_EQ(trees[0].escala, 26500 / 32767.0f * 0.02f + 0.1f - 0.01f);
    // The grid runs along z first.
    EXPECT_NEAR(trees[1].x, -512, 12);
    EXPECT_NEAR(trees[1].z, -512 + 24, 12);
    EXPECT_NEAR(trees[43].x, -512 + 24, 12);
}

TEST_F(OstrelTest, TheShowsTreeLayoutIsTheSameOnEveryRun)
{
    Settings();
    Terrain terrain("TerrainHeight.png", "TerrainBase.dds", "TerrainDetail.dds", 128, 1024, 64, false, false);
    std::vector<ArbolColocado> trees = ColocarArboles(&terrain);

    // Every grid point below 10 has its tree, in grid order, none elsewhere.
    size_t planted = 0;
    for (int gx = 0; gx < 1024; gx += 24)
        for (int gz = 0; gz < 1024; gz += 24)
        {
            if (!(terrain.GetHeight((float)(gx - 512), (float)(gz - 512)) < 10.0f))
                continue;
            ASSERT_LT(planted, trees.size());
            const ArbolColocado& a = trees[planted++];
            EXPECT_GE(a.x, gx - 512 - 12);
            EXPECT_LE(a.x, gx - 512 + 11);
            EXPECT_GE(a.z, gz - 512 - 12);
            EXPECT_LE(a.z, gz - 512 + 11);
            EXPECT_FLOAT_EQ(a.y, terrain.GetHeight(a.x, a.z) + 5.0f);
        }
    EXPECT_EQ(planted, trees.size());

    // The first trees stand along the terrain's low edge, some of them
    // jittered past it onto the height 0 of the outside.
    const struct
    {
        float x, y, z;
    } first[] = {
        {-507, 5, -513}, {-507, 5.75f, -496}, {-514, 5, -468}, {-523, 5, -449}, {-505, 5.75f, -414}, {-509, 5.75f, -392},
    };
    EXPECT_EQ(trees.size(), 235u);
    for (size_t i = 0; i < sizeof first / sizeof first[0] && i < trees.size(); ++i)
    {
        EXPECT_FLOAT_EQ(trees[i].x, first[i].x) << i;
        EXPECT_FLOAT_EQ(trees[i].y, first[i].y) << i;
        EXPECT_FLOAT_EQ(trees[i].z, first[i].z) << i;
    }

    // A second run from the process's first rand() value plants the same.
    ms_srand(1);
    std::vector<ArbolColocado> again = ColocarArboles(&terrain);
    ASSERT_EQ(again.size(), trees.size());
    for (size_t i = 0; i < trees.size(); ++i)
        EXPECT_EQ(std::memcmp(&again[i], &trees[i], sizeof(ArbolColocado)), 0) << i;
}

// ---- the scene

TEST_F(OstrelTest, InitListsTerrainTreesAndPlayersInOrder)
{
    Made("  <arboles>true</arboles>\n");
    std::vector<SceneObject*> objects(m_ostrel->m_pEscena->m_objects.begin(), m_ostrel->m_pEscena->m_objects.end());
    ASSERT_NE(m_ostrel->m_pArboles, nullptr);
    const size_t trees = m_ostrel->m_pArboles->m_instances.size();
    ASSERT_GT(trees, 0u);
    ASSERT_EQ(objects.size(), 1 + 1 + trees + 3);
    EXPECT_EQ(objects[0], m_ostrel->m_pTerreno);
    EXPECT_EQ(objects[1], m_ostrel->m_pArboles);
    size_t i = 2;
    for (CrowdMesh* tree : m_ostrel->m_pArboles->m_instances)
    {
        EXPECT_EQ(objects[i++], tree);
        EXPECT_TRUE(tree->m_twoSided);
    }
    std::vector<CJugador*> players = Players();
    ASSERT_EQ(players.size(), 3u);
    for (CJugador* p : players)
        EXPECT_EQ(objects[i++], p->m_objeto);
}

TEST_F(OstrelTest, PlayersStandWhereInitPutsThem)
{
    Made();
    ASSERT_EQ(m_ostrel->m_pEscena->m_objects.size(), 4u);
    std::vector<CJugador*> players = Players();
    ASSERT_EQ(players.size(), 3u);
    EXPECT_EQ(players[0], m_ostrel->m_pJugadorLocal);
    const struct
    {
        int id;
        float x, z, yaw;
        const char* name;
    } expected[] = {{kLocal, 100, 0, 0, ""}, {1, -10, -15, 3.14159274f, "Nombre 1"}, {2, -15, -10, 3.14159274f, "Nombre 2"}};
    for (int i = 0; i < 3; ++i)
    {
        SkinMesh* mesh = players[i]->m_objeto;
        EXPECT_EQ(mesh->m_id, expected[i].id);
        EXPECT_FLOAT_EQ(mesh->m_position.x, expected[i].x);
        EXPECT_FLOAT_EQ(mesh->m_position.z, expected[i].z);
        EXPECT_FLOAT_EQ(mesh->m_position.y, m_ostrel->m_pTerreno->GetHeight(expected[i].x, expected[i].z) + 1.35f);
        EXPECT_FLOAT_EQ(mesh->m_yaw, expected[i].yaw);
        EXPECT_FLOAT_EQ(mesh->m_scale, 0.005f);
        EXPECT_EQ(mesh->m_movimiento, 0.0f);
        EXPECT_EQ(mesh->m_numlods, 2);
        EXPECT_STREQ(players[i]->m_nombre, expected[i].name);
        EXPECT_FLOAT_EQ(players[i]->m_tiempoMensaje, -10000.0f);
    }
    EXPECT_EQ(m_ostrel->m_pCamara->m_pTarget, players[0]->m_objeto);
    EXPECT_EQ(m_ostrel->BuscarIdJugador("nombre 2"), 2);
    EXPECT_EQ(m_ostrel->BuscarIdJugador("NOMBRE 1"), 1);
    EXPECT_EQ(m_ostrel->BuscarIdJugador("Nombre 3"), -1);
    EXPECT_EQ(m_ostrel->BuscarIdJugador(""), kLocal);
    EXPECT_EQ(m_ostrel->BuscarJugador(kLocal), m_ostrel->m_pJugadorLocal);
    EXPECT_EQ(m_ostrel->BuscarJugador(2), players[2]);
    EXPECT_EQ(m_ostrel->BuscarJugador(7), nullptr);
}

TEST_F(OstrelTest, EachPlayerLoadsItsLevelsOfDetail)
{
    const struct
    {
        const char* settings;
        std::vector<std::string> files;
    } cases[] = {
        {"",
         {"tiny-tex000-lod1.x", "tiny-tex000-lod2.x", "tiny-tex001-lod1.x", "tiny-tex001-lod2.x",
          "tiny-tex002-lod1.x", "tiny-tex002-lod2.x"}},
        {"  <modelosAltaResolucion>true</modelosAltaResolucion>\n  <textura>2</textura>\n",
         {"tiny-tex000-lod0.x", "tiny-tex000-lod1.x", "tiny-tex000-lod2.x", "tiny-tex000-lod0.x",
          "tiny-tex000-lod1.x", "tiny-tex000-lod2.x", "tiny-tex000-lod0.x", "tiny-tex000-lod1.x",
          "tiny-tex000-lod2.x"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.settings);
        std::remove("debug.txt");
        Made(c.settings);
        std::vector<std::string> loaded;
        std::ifstream log("debug.txt");
        for (std::string line; std::getline(log, line);)
        {
            const std::string prefix = "Cargando SkinMesh \"data\\models\\";
            if (line.compare(0, prefix.size(), prefix) == 0)
                loaded.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
        EXPECT_EQ(loaded, c.files);
        for (CJugador* p : Players())
            for (int lod = 0; lod < p->m_objeto->m_numlods; ++lod)
                EXPECT_TRUE(p->m_objeto->m_lods[lod]->IsLoaded()) << lod;
        delete m_ostrel;
        m_ostrel = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
    }
}

TEST_F(OstrelTest, AnUnknownModelFallsBackToModelZeroWithOneWarning)
{
    // The configuration takes any value below 128, negatives included.
    for (int modelo : {3, -1})
    {
        SCOPED_TRACE(modelo);
        testing::internal::CaptureStderr();
        Made("  <modelo>" + std::to_string(modelo) + "</modelo>\n");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("player model " + std::to_string(modelo) + ";"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        for (int lod = 0; lod < 2; ++lod)
            EXPECT_TRUE(m_ostrel->m_pJugadorLocal->m_objeto->m_lods[lod]->IsLoaded());
        Frame(0.5f);
        delete m_ostrel;
        m_ostrel = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
    }
}

TEST_F(OstrelTest, SettingsThatNameMissingModelFilesSaySoInOneLine)
{
    const struct
    {
        const char* settings;
        std::string said;  // the settings' line, after the files' own reports
    } cases[] = {
        {"", ""},
        {"  <textura>3</textura>\n",
         "Fichero \"tiny-tex003-lod1.x\" no encontrado\nFichero \"tiny-tex003-lod2.x\" no encontrado\n"
         "config.xml: modelo 0 and textura 3 name the model file \"tiny-tex003-lod1.x\", which is not in "
         "data\\models; the player goes without it.\n"},
        {"  <modelo>5</modelo>\n  <textura>9</textura>\n",
         "Fichero \"tiny-tex009-lod1.x\" no encontrado\nFichero \"tiny-tex009-lod2.x\" no encontrado\n"
         "config.xml: modelo 5 and textura 9 name the model file \"tiny-tex009-lod1.x\", which is not in "
         "data\\models; the player goes without it.\n"},
        {"  <modelosAltaResolucion>true</modelosAltaResolucion>\n  <textura>9</textura>\n", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.settings);
        testing::internal::CaptureStderr();
        Made(c.settings);
        std::string err = testing::internal::GetCapturedStderr();
        // An unknown model has its own line first.
        if (err.compare(0, 11, "config.xml:") == 0 && err.find("player model") < err.find('\n'))
            err.erase(0, err.find('\n') + 1);
        EXPECT_EQ(err, c.said);
        delete m_ostrel;
        m_ostrel = nullptr;
        delete g_pConfig;
        g_pConfig = nullptr;
    }
}

TEST_F(OstrelTest, AMissingTextureVariantLeavesItsLevelsUnloaded)
{
    Made("  <textura>7</textura>\n");
    SkinMesh* mesh = m_ostrel->m_pJugadorLocal->m_objeto;
    for (int lod = 0; lod < 2; ++lod)
        EXPECT_FALSE(mesh->m_lods[lod]->IsLoaded());
    // The named players have their own variants.
    EXPECT_TRUE(Players()[1]->m_objeto->m_lods[0]->IsLoaded());
    Frame(0.5f);
    Frame(1.0f);
    EXPECT_FLOAT_EQ(mesh->m_position.x, 100.0f);
}

TEST_F(OstrelTest, TheShowsKeysTurnTheLocalPlayerInPlaceAndTheCameraChasesIt)
{
    Made();
    F(m_ostrel, "velry")->AddLinearKey(0, 4, 0, -0.3f);
    F(m_ostrel, "velry")->AddLinearKey(4, 6, -0.3f, 0);
    F(m_ostrel, "velz")->AddLinearKey(10, 30, 0, -1.5f);
    F(m_ostrel, "velx")->AddLinearKey(10, 30, 0, -2);
    SkinMesh* mesh = m_ostrel->m_pJugadorLocal->m_objeto;
    const float y = mesh->m_position.y;
    // At 60 frames a second the yaw follows the integral of velry: -0.6 by
    // 4 s, -0.825 by 5 s.
    // Each update turns by the rate read in its own frame.
    double integral = 0;
    float previous = 0;
    for (int frame = 1; frame <= 300; ++frame)
    {
        const float t = frame / 60.0f;
        Frame(t);
        integral += (t - previous) * m_ostrel->m_pJugadorLocal->m_velry;
        previous = t;
        EXPECT_FLOAT_EQ(mesh->m_position.x, 100.0f);
        EXPECT_FLOAT_EQ(mesh->m_position.z, 0.0f);
        EXPECT_FLOAT_EQ(mesh->m_position.y, y);
        if (frame == 240)
        {
            EXPECT_NEAR(mesh->m_yaw, -0.6f, 0.01f);
        }
    }
    EXPECT_NEAR(mesh->m_yaw, integral, 1e-4);
    EXPECT_NEAR(mesh->m_yaw, -0.825f, 0.01f);
    EXPECT_NEAR(m_ostrel->m_pJugadorLocal->m_velry, -0.15f, 1e-5);
    // Turning alone animates at 0.8 |velry|, negated while the yaw lies
    // within a quarter turn of the heading atan2(0, 0) = 0.
    EXPECT_NEAR(mesh->m_movimiento, -0.12f, 1e-5);

    // The camera stands 5 behind and 1 above the player, looking along its
    // heading: from (0, 0, -1) at the start toward +x as it turns.
    D3DXMATRIX eye;
    D3DXMatrixInverse(&eye, nullptr, m_ostrel->m_pCamara->GetView());
    const D3DXVECTOR3 forward(eye._31, eye._32, eye._33);
    EXPECT_NEAR(std::atan2(forward.x, -forward.z), 0.825f, 0.01f);
}

TEST_F(OstrelTest, PlayersMoveByTheirVelocitiesOnTheSequenceClock)
{
    Made();
    CJugador* p = Players()[1];
    SkinMesh* mesh = p->m_objeto;
    const struct
    {
        float velx, velz, velry, yaw, movimiento;
    } cases[] = {
        {1, 0, 0, 0, 0.8f},           {1, 0, 0, 1.0f, -0.8f},     {1, 0, 0, 3.0f, -0.8f},
        {0, 0, -0.3f, 0, -0.24f},     {0, 0, -0.3f, -0.5f, -0.24f}, {0, 0, -0.3f, -1.0f, 0.24f},
        {0, 1, 0, 0, -0.8f},          {0, -1, 0, 0, 0.8f},        {0, 0, 0, 0, 0.0f},
    };
    float t = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.velx << " " << c.velz << " " << c.velry << " " << c.yaw);
        mesh->m_position = D3DXVECTOR3(-10, 0, -15);
        mesh->m_yaw = c.yaw;
        p->m_velx = c.velx;
        p->m_velz = c.velz;
        p->m_velry = c.velry;
        g_sequenceTime = t;
        p->Actualizar();
        g_sequenceTime = t += 2.0f;
        p->Actualizar();
        EXPECT_FLOAT_EQ(mesh->m_position.x, -10 + 2 * c.velx);
        EXPECT_FLOAT_EQ(mesh->m_position.z, -15 + 2 * c.velz);
        EXPECT_FLOAT_EQ(mesh->m_position.y,
                        m_ostrel->m_pTerreno->GetHeight(mesh->m_position.x, mesh->m_position.z) + 1.35f);
        EXPECT_FLOAT_EQ(mesh->m_yaw, c.yaw + 2 * c.velry);
        EXPECT_NEAR(mesh->m_movimiento, c.movimiento, 1e-6);
        EXPECT_FLOAT_EQ(p->m_ultimaActualizacion, t);
    }
}

TEST_F(OstrelTest, BubblesLastSevenSecondsAndBreakLongMessages)
{
    Made();
    CJugador* p = Players()[1];
    D3DXMATRIX billboard;
    D3DXMatrixIdentity(&billboard);
    const std::string forty(40, 'a');
    const std::string withBlank = std::string(30, 'b') + " " + std::string(20, 'c');
    const std::string noBlank(60, 'd');
    const std::string blankTooEarly = std::string(5, 'e') + " " + std::string(50, 'f');
    const struct
    {
        std::string text;
        float age, lift;
    } cases[] = {
        {forty, 1, 0.3f},   {withBlank, 1, 0.6f},      {noBlank, 1, 0.3f}, {blankTooEarly, 1, 0.3f},
        {"hola", 6.99f, 0.3f}, {"hola", 7.0f, 0.0f}, {"hola", 100, 0.0f}, {"", 1, 0.3f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text + " " + std::to_string(c.age));
        CopiarTexto(p->m_mensaje, sizeof p->m_mensaje, c.text.c_str());
        p->m_tiempoMensaje = 50.0f;
        dev->BeginScene();
        EXPECT_FLOAT_EQ(p->DibujarMensaje(50.0f + c.age, &billboard), c.lift);
        dev->EndScene();
        if (c.lift > 0)
        {
            // Raised 2.6 + lift above the ground, at the player.
            const float ground = m_ostrel->m_pTerreno->GetHeight(-10, -15);
            EXPECT_FLOAT_EQ(billboard._41, -10.0f);
            EXPECT_FLOAT_EQ(billboard._42, ground + 2.6f + c.lift - 0.3f);
            EXPECT_FLOAT_EQ(billboard._43, -15.0f);
        }
    }
    // No message ever set: nothing drawn at any time of the show.
    dev->BeginScene();
    EXPECT_FLOAT_EQ(Players()[2]->DibujarMensaje(Timer(TimerCommand::AppTime), &billboard), 0.0f);
    dev->EndScene();
}

TEST_F(OstrelTest, TheShowDrawsNoNameTagAndNoChatText)
{
    Made();
    for (int frame = 1; frame <= 10; ++frame)
    {
        const float t = frame * 0.5f;
        g_sequenceTime = t;
        dev->BeginScene();
        m_ostrel->DoRender(t / 5.0f);
        // What the tags and the chat log draw comes after the scene.
        fake.ClearLog();
        m_ostrel->DibujarNombres(m_ostrel->m_pCamara);
        m_ostrel->DibujarChat(0);
        dev->EndScene();
        EXPECT_EQ(fake.Draws().size(), 0u) << t;
        // The named players stand outside the view.
        EXPECT_FALSE(Players()[1]->m_objeto->m_visible) << t;
        EXPECT_FALSE(Players()[2]->m_objeto->m_visible) << t;
        EXPECT_TRUE(Players()[0]->m_objeto->m_visible) << t;
    }
}

TEST_F(OstrelTest, ARemovedPlayerTakesOnlyItsOwnMeshOutOfTheScene)
{
    Made();
    // Id 0 is also the terrain's.
    m_ostrel->AgregarJugador(0, 5, 5, 0, "Cero", 0, 0);
    ASSERT_EQ(m_ostrel->m_pEscena->m_objects.size(), 5u);
    m_ostrel->QuitarJugador(0);
    ASSERT_EQ(m_ostrel->m_pEscena->m_objects.size(), 4u);
    EXPECT_EQ(m_ostrel->m_pEscena->m_objects.front(), m_ostrel->m_pTerreno);
    EXPECT_EQ(m_ostrel->BuscarIdJugador("Cero"), -1);
    EXPECT_EQ(m_ostrel->m_jugadores.size(), 3u);
    m_ostrel->QuitarJugador(12345);
    EXPECT_EQ(m_ostrel->m_jugadores.size(), 3u);

    // The local player, which the camera chases: the scene goes on drawing.
    m_ostrel->QuitarJugador(kLocal);
    EXPECT_EQ(m_ostrel->m_pJugadorLocal, nullptr);
    EXPECT_EQ(m_ostrel->m_pCamara->m_pTarget, nullptr);
    EXPECT_EQ(m_ostrel->m_pEscena->m_objects.size(), 3u);
    Frame(1.0f);
    Frame(2.0f);
}

TEST_F(OstrelTest, TheDestructorFreesEverythingTheSceneHolds)
{
    Made("  <arboles>true</arboles>\n");
    Frame(0.5f);
    Frame(1.0f);
    // The fixture checks on tear-down that every device object and texture
    // went back; deleting here lets a leak show as this test's.
    delete m_ostrel;
    m_ostrel = nullptr;
    EXPECT_EQ(g_pOstrel, nullptr);
}

} // namespace
