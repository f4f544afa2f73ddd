// The built show's picture strips and texts, read on the sequence clock.
#include <gtest/gtest.h>

#include <bass.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "escenor.h"
#include "letrascutres.h"
#include "staticgfx2d.h"

namespace {

int InstanceNumber(const Effect* e) {
    const char* hash = std::strrchr(e->m_name, '#');
    return hash ? std::atoi(hash + 1) : -1;
}

// The distinct effects of class T in the schedule, in creation order.
template <typename T>
std::vector<T*> Instances(Escenor& show) {
    std::vector<T*> found;
    for (ScheduleItem* item : show.m_pendingItems) {
        T* e = dynamic_cast<T*>(item->m_pEffect);
        if (e && std::find(found.begin(), found.end(), e) == found.end()) found.push_back(e);
    }
    std::sort(found.begin(), found.end(),
              [](const T* a, const T* b) { return InstanceNumber(a) < InstanceNumber(b); });
    return found;
}

float FloatAt(Effect* e, const char* name, float t) {
    g_sequenceTime = t;
    return static_cast<PublicParamFloat*>(e->GetParam(name))->GetValue();
}

int IntAt(Effect* e, const char* name, float t) {
    g_sequenceTime = t;
    return static_cast<PublicParamInt*>(e->GetParam(name))->GetValue();
}

std::string TextAt(Effect* e, const char* name, float t) {
    g_sequenceTime = t;
    return static_cast<PublicParamString*>(e->GetParam(name))->GetValue();
}

class ShowTimeline : public ::testing::Test {
protected:
    void SetUp() override {
        g_sequenceTime = 0.0f;
        m_show = new Escenor("fichero_script.qvs");
        m_strips = Instances<CStaticGfx2D>(*m_show);
        m_texts = Instances<CLetrasCutres>(*m_show);
    }
    void TearDown() override {
        delete m_show;
        BASS_Free();
        g_sequenceTime = 0.0f;
    }

    Escenor* m_show = nullptr;
    std::vector<CStaticGfx2D*> m_strips;
    std::vector<CLetrasCutres*> m_texts;
};

struct Slot {
    float start, end, layer;
};

struct StripCase {
    std::vector<std::string> files;
    std::vector<Slot> slots;
};

TEST_F(ShowTimeline, StripsHoldTheirPicturesAndEntries) {
    std::vector<Slot> emblem;
    for (int i = 0; i < 10; ++i) emblem.push_back({5.0f + i, 6.0f + i, 20});
    const std::vector<StripCase> expected = {
        {{"transparent4.png"}, {{0, 2, 3}}},
        {{"titulo.png"}, {{0, 2, 4}}},
        {{"overlay1.png"}, {{1, 3, 2}}},
        {{"banderillas_01.png", "banderillas_02.png", "banderillas_03.png", "banderillas_04.png"}, {{1, 3, 5}}},
        {{"mix3.png"}, {{4, 10, 2}}},
        {{"cosas_party_01.png"}, {{4, 5, 9}}},
        {{"cosas_party_02.png"}, {{5, 6, 9.1f}}},
        {{"party_01_1.png", "party_01_2.png"}, {{5, 6.6f, 10}}},
        {{"party_02_1.png", "party_02_2.png"}, {{5.2f, 6.8f, 10.1f}}},
        {{"party_03_1.png", "party_03_2.png"}, {{6.4f, 7, 10.2f}}},
        {{"minibrunk.png"}, emblem},
        {{"pixelaje02a.png", "pixelaje02b.png", "pixelaje02c.png", "pixelaje02d.png"}, {{7, 8, 12}}},
        {{"pixelaje04a.png", "pixelaje04b.png", "pixelaje04c.png", "pixelaje04d.png"}, {{8, 9, 12.1f}}},
        {{"pixelaje05a.png", "pixelaje05b.png", "pixelaje05c.png"}, {{9, 18, 15}}},
    };
    ASSERT_EQ(m_strips.size(), expected.size());
    int entries = 0;
    for (size_t s = 0; s < expected.size(); ++s) {
        SCOPED_TRACE(m_strips[s]->m_name);
        const StripCase& c = expected[s];
        EXPECT_EQ(IntAt(m_strips[s], "numeroImagenes", 0), (int)c.files.size());
        for (size_t f = 0; f < c.files.size(); ++f) {
            std::string name = "ficheroImagen" + std::to_string(f);
            EXPECT_EQ(TextAt(m_strips[s], name.c_str(), 0), c.files[f]);
        }
        std::vector<Slot> slots;
        for (ScheduleItem* item : m_show->m_pendingItems)
            if (item->m_pEffect == m_strips[s]) slots.push_back({item->m_start, item->m_end, item->m_layer});
        ASSERT_EQ(slots.size(), c.slots.size());
        for (size_t i = 0; i < slots.size(); ++i) {
            EXPECT_FLOAT_EQ(slots[i].start, c.slots[i].start);
            EXPECT_FLOAT_EQ(slots[i].end, c.slots[i].end);
            EXPECT_FLOAT_EQ(slots[i].layer, c.slots[i].layer);
        }
        EXPECT_EQ(m_strips[s]->m_refCount, (int)c.slots.size());
        entries += (int)slots.size();
    }
    EXPECT_EQ(entries, 23);
}

TEST_F(ShowTimeline, BuntingRunsItsFourPicturesTwiceBetweenTwoAndThreeSeconds) {
    ASSERT_GE(m_strips.size(), 4u);
    CStaticGfx2D* bunting = m_strips[3];
    // Before the key: the default 0 holds.
    EXPECT_EQ(WrapImageIndex(IntAt(bunting, "imagenActual", 1.5f), 4), 0);
    std::vector<int> shown;
    for (int i = 0; i < 8; ++i)
        shown.push_back(WrapImageIndex(IntAt(bunting, "imagenActual", 2.0625f + 0.125f * i), 4));
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    // After the key: it rests on 8 mod 4.
    EXPECT_EQ(WrapImageIndex(IntAt(bunting, "imagenActual", 3.5f), 4), 0);
}

TEST_F(ShowTimeline, SineOpacitiesOutsideZeroToOneAreClampedIntoTheTint) {
    ASSERT_GE(m_strips.size(), 10u);
    // Instance 13: 0 + sin(5 (t - 5)) reaches -1 at t = 5 + 3 pi / 10.
    float low = FloatAt(m_strips[7], "alpha", 5.0f + 0.3f * 3.1415927f);
    EXPECT_LT(low, -0.99f);
    EXPECT_EQ(AlphaToQuadColor(low), 0u);
    // Instance 15: 0.5 + sin(5 (t - 6.4)) reaches 1.5 at t = 6.4 + pi / 10.
    float high = FloatAt(m_strips[9], "alpha", 6.4f + 0.1f * 3.1415927f);
    EXPECT_GT(high, 1.49f);
    EXPECT_EQ(AlphaToQuadColor(high), 0xFFFFFFFFu);
}

struct TextRead {
    float time;
    std::string text;
};

TEST_F(ShowTimeline, FirstTextChangesOncePerSecondAndEndsOnTheShadowedKey) {
    ASSERT_EQ(m_texts.size(), 2u);
    CLetrasCutres* text = m_texts[0];
    const std::vector<TextRead> reads = {
        {0.5f, "Probando..."},    {1.5f, "Hola"},      {2.5f, "aprovecho"},     {3.5f, "para"},
        {4.5f, "saludar"},        {5.5f, "a mi mama"}, {6.5f, "y a mi papa."},  {7.5f, "Siempre"},
        {8.5f, "es verano"},      {9.5f, "con el pepino"}, {10.5f, "en la mano"}, {11.5f, "..."},
        {12.5f, "con el pepino"}, {13.01f, "..."},     {13.99f, "..."},         {14.01f, "en la mano."},
        {14.99f, "en la mano."},
    };
    for (const TextRead& r : reads) EXPECT_EQ(TextAt(text, "frase", r.time), r.text) << "at " << r.time;

    ScheduleItem* entry = nullptr;
    for (ScheduleItem* item : m_show->m_pendingItems)
        if (item->m_pEffect == text) entry = item;
    ASSERT_NE(entry, nullptr);
    EXPECT_FLOAT_EQ(entry->m_start, 0.0f);
    EXPECT_FLOAT_EQ(entry->m_end, 15.0f);
    EXPECT_FLOAT_EQ(entry->m_layer, 30.0f);
}

TEST_F(ShowTimeline, FirstTextSwaysAlongXAtAFixedHeight) {
    ASSERT_EQ(m_texts.size(), 2u);
    for (float t : {0.5f, 2.0f, 7.25f, 14.5f}) {
        EXPECT_NEAR(FloatAt(m_texts[0], "posx", t), -0.3 + 0.5 * std::sin(t), 1e-5) << "at " << t;
        EXPECT_FLOAT_EQ(FloatAt(m_texts[0], "posy", t), 0.75f);
        EXPECT_FLOAT_EQ(FloatAt(m_texts[0], "scalex", t), 0.1f);
        EXPECT_FLOAT_EQ(FloatAt(m_texts[0], "scaley", t), 0.1f);
    }
}

struct PlacedText {
    float time;
    std::string text;
    float posx, posy;
};

TEST_F(ShowTimeline, GreetingsStandWhereAndWhenTheyShould) {
    ASSERT_EQ(m_texts.size(), 2u);
    CLetrasCutres* text = m_texts[1];
    std::string threePersons = TextAt(text, "frase", 1.5f);
    EXPECT_FALSE(threePersons.empty());
    EXPECT_EQ(threePersons.find('\n'), std::string::npos);

    std::vector<PlacedText> reads = {
        {2.0f, threePersons, -0.9f, 0.0f},
        {4.0f, "", -0.9f, 0.0f},
        {5.01f, "Aprovechamos para saludar a", -0.9f, -0.5f},
        {6.0f, "Aprovechamos para saludar a", -0.9f, -0.5f},
        {6.59f, "Aprovechamos para saludar a", -0.9f, -0.5f},
    };
    for (const PlacedText& r : reads) {
        EXPECT_EQ(TextAt(text, "frase", r.time), r.text) << "at " << r.time;
        EXPECT_FLOAT_EQ(FloatAt(text, "posx", r.time), r.posx) << "at " << r.time;
        EXPECT_FLOAT_EQ(FloatAt(text, "posy", r.time), r.posy) << "at " << r.time;
    }
    std::vector<std::string> names;
    // Each group name stands 0.4 s from 6.6 s on; read each in its middle.
    for (int i = 0; i < 20; ++i) {
        float t = 6.8f + 0.4f * i;
        std::string name = TextAt(text, "frase", t);
        names.push_back(name);
        EXPECT_FLOAT_EQ(FloatAt(text, "posx", t), -0.2f) << "at " << t;
        EXPECT_FLOAT_EQ(FloatAt(text, "posy", t), -0.5f) << "at " << t;
    }
    EXPECT_EQ(TextAt(text, "frase", 14.99f), names.back());
    for (const std::string& n : names) {
        EXPECT_FALSE(n.empty());
        EXPECT_NE(n, "Aprovechamos para saludar a");
        EXPECT_LE(std::count(n.begin(), n.end(), ' '), 1) << n;  // one or two words
    }
    std::vector<std::string> distinct = names;
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());
}

}  // namespace
