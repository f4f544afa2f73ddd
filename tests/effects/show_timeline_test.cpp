// The built show's picture strips and texts, read on the sequence clock.
#include <gtest/gtest.h>

#include <bass.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cubosinercia.h"
#include "escenor.h"
#include "initbarra.h"
#include "letrascutres.h"
#include "objetoestela.h"
#include "ostrel.h"
#include "pulpo.h"
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

// ---- every key and entry of the loading bar, the strips and the texts

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", (double)(float)v);
    return buf;
}

// One key as "<param> <kind>" -> "[start, end] values".
struct KeyRow {
    std::string group;  // parameter and kind
    float start;
    std::string text;
};

KeyRow Const(const char* param, float start, float end, float v) {
    return {std::string(param) + " const", start, "[" + Num(start) + ", " + Num(end) + "] " + Num(v)};
}
KeyRow Text(const char* param, float start, float end, const char* v) {
    return {std::string(param) + " const", start, "[" + Num(start) + ", " + Num(end) + "] \"" + v + "\""};
}
KeyRow Linear(const char* param, float start, float end, float from, float to) {
    return {std::string(param) + " linear", start,
            "[" + Num(start) + ", " + Num(end) + "] " + Num(from) + " to " + Num(to)};
}
KeyRow Sine(const char* param, float start, float end, float base, float amplitude, float frequency) {
    return {std::string(param) + " sine", start,
            "[" + Num(start) + ", " + Num(end) + "] " + Num(base) + ", " + Num(amplitude) + ", " + Num(frequency)};
}
KeyRow Entry(float start, float end, float layer) {
    return {"entry", start, "[" + Num(start) + ", " + Num(end) + "] layer " + Num(layer)};
}

using KeyTable = std::map<std::string, std::vector<std::string>>;

// The rows as the parameters hold them: each list sorted by start, rows of
// equal start in the order they were added.
KeyTable Expected(std::vector<KeyRow> rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const KeyRow& a, const KeyRow& b) {
        return a.group < b.group || (a.group == b.group && a.start < b.start);
    });
    KeyTable table;
    for (const KeyRow& r : rows) table[r.group].push_back(r.text);
    return table;
}

template <typename Param>
void AddNumberKeys(KeyTable& table, Param* p) {
    const std::string name = p->GetName();
    for (auto* k : p->m_constantKeys) table[name + " const"].push_back(Const("", k->m_start, k->m_end, k->m_value).text);
    for (auto* k : p->m_linearKeys)
        table[name + " linear"].push_back(Linear("", k->m_start, k->m_end, k->m_from, k->m_to).text);
    for (auto* k : p->m_sineKeys)
        table[name + " sine"].push_back(
            Sine("", k->m_start, k->m_end, k->m_base, k->m_amplitude, k->m_frequency).text);
}

KeyTable Actual(Escenor& show, Effect* e) {
    KeyTable table;
    for (PublicParam* p : e->m_params) {
        if (auto* f = dynamic_cast<PublicParamFloat*>(p)) AddNumberKeys(table, f);
        if (auto* i = dynamic_cast<PublicParamInt*>(p)) AddNumberKeys(table, i);
        if (auto* t = dynamic_cast<PublicParamString*>(p)) {
            for (auto* k : t->m_constantKeys)
                table[std::string(t->GetName()) + " const"].push_back(
                    Text("", k->m_start, k->m_end, k->m_value).text);
            EXPECT_TRUE(t->m_linearKeys.empty()) << t->GetName();
        }
    }
    for (ScheduleItem* item : show.m_pendingItems)
        if (item->m_pEffect == e) table["entry"].push_back(Entry(item->m_start, item->m_end, item->m_layer).text);
    return table;
}

// A strip's count and file keys, then its further keys and entries.
std::vector<KeyRow> Strip(std::vector<const char*> files, std::vector<KeyRow> further) {
    std::vector<KeyRow> rows = {Const("numeroImagenes", 0, 0, (float)files.size())};
    for (size_t i = 0; i < files.size(); ++i)
        rows.push_back(Text(("ficheroImagen" + std::to_string(i)).c_str(), 0, 0, files[i]));
    rows.insert(rows.end(), further.begin(), further.end());
    return rows;
}

TEST_F(ShowTimeline, LoadingBarStripsAndTextsCarryExactlyTheirKeysAndEntries) {
    ASSERT_EQ(m_strips.size(), 14u);
    ASSERT_EQ(m_texts.size(), 2u);
    ASSERT_NE(dynamic_cast<InitBarra*>(m_show->m_pLoadingEffect), nullptr);

    EXPECT_EQ(Actual(*m_show, m_show->m_pLoadingEffect),
              Expected({Text("ficheroImagen", 0, 0, "initimg.png"), Text("ficheroBarra", 0, 0, "initbar.png"),
                        Linear("alpha", 0, 1, 0, 1), Linear("scalex", 0, 1, 0, 0.6f), Linear("u1", 0, 1, 0, 1),
                        Const("scaley", 0, 1, 0.2f), Const("posx", 0, 1, 0.2f), Const("posy", 0, 1, 0.6f)}));

    auto place = [](float sx, float sy, float px, float py) {
        return std::vector<KeyRow>{Const("scalex", 0, 0, sx), Const("scaley", 0, 0, sy), Const("posx", 0, 0, px),
                                   Const("posy", 0, 0, py)};
    };
    auto join = [](std::vector<KeyRow> a, const std::vector<KeyRow>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::vector<KeyRow> emblem;
    for (int i = 0; i <= 9; ++i) {
        float a = 5.0f + i, b = 6.0f + i;
        std::vector<KeyRow> second = {Linear("scalex", a, b, 0.1f, 4), Linear("scaley", a, b, 0.1f, 4),
                                      Linear("posx", a, b, 0.5f, -1.5f), Linear("posy", a, b, 0.5f, -1.5f),
                                      Linear("alpha", a, b, 0.5f, 0), Entry(a, b, 20)};
        emblem = join(emblem, second);
    }
    const std::vector<std::vector<KeyRow>> strips = {
        Strip({"transparent4.png"},
              {Const("u1", 0, 0, 0.99f), Linear("posx", 0, 1, -1, 0), Linear("alpha", 1, 2, 1, 0), Entry(0, 2, 3)}),
        Strip({"titulo.png"}, {Linear("alpha", 0, 1, 0, 1), Entry(0, 2, 4)}),
        Strip({"overlay1.png"}, {Linear("alpha", 1, 2, 0, 1), Linear("alpha", 2, 3, 1, 0),
                                 Linear("scalex", 1, 2, 0, 1), Entry(1, 3, 2)}),
        Strip({"banderillas_01.png", "banderillas_02.png", "banderillas_03.png", "banderillas_04.png"},
              join(place(0.3f, 0.3f, 0.65f, 0.6f), {Linear("imagenActual", 2, 3, 0, 8), Entry(1, 3, 5)})),
        Strip({"mix3.png"}, {Linear("alpha", 4, 5, 0, 1), Entry(4, 10, 2)}),
        Strip({"cosas_party_01.png"},
              {Const("alpha", 0, 0, 0.8f), Const("scalex", 0, 0, 0.3f), Const("scaley", 0, 0, 0.3f),
               Linear("posx", 4, 5, 4, -4), Const("posy", 0, 0, 0.6f), Linear("imagenActual", 4, 5, 1, 20),
               Entry(4, 5, 9)}),
        Strip({"cosas_party_02.png"},
              {Const("alpha", 0, 0, 0.8f), Const("scalex", 0, 0, 0.3f), Const("scaley", 0, 0, 0.3f),
               Linear("posx", 5, 6, -4, 4), Const("posy", 0, 0, 0.1f), Linear("imagenActual", 5, 6, 1, 20),
               Entry(5, 6, 9.1f)}),
        Strip({"party_01_1.png", "party_01_2.png"},
              join(join({Sine("alpha", 5, 6.6f, 0, 1, 5)}, place(0.3f, 0.3f, 0.05f, 0.6f)),
                   {Linear("imagenActual", 5, 6.6f, 0, 20), Entry(5, 6.6f, 10)})),
        Strip({"party_02_1.png", "party_02_2.png"},
              join(join({Sine("alpha", 5.2f, 6.8f, 0.25f, 1, 5)}, place(0.3f, 0.3f, 0.35f, 0.35f)),
                   {Linear("imagenActual", 5.2f, 6.8f, 0, 20), Entry(5.2f, 6.8f, 10.1f)})),
        Strip({"party_03_1.png", "party_03_2.png"},
              join(join({Sine("alpha", 6.4f, 7, 0.5f, 1, 5)}, place(0.3f, 0.3f, 0.65f, 0.6f)),
                   {Linear("imagenActual", 6.4f, 7, 1, 20), Entry(6.4f, 7, 10.2f)})),
        Strip({"minibrunk.png"}, emblem),
        Strip({"pixelaje02a.png", "pixelaje02b.png", "pixelaje02c.png", "pixelaje02d.png"},
              {Const("posx", 0, 0, 0.1f), Const("posy", 0, 0, 0.1f), Const("scalex", 0, 0, 0.4f),
               Const("scaley", 0, 0, 0.4f), Linear("imagenActual", 7, 8, 0, 8), Entry(7, 8, 12)}),
        Strip({"pixelaje04a.png", "pixelaje04b.png", "pixelaje04c.png", "pixelaje04d.png"},
              {Linear("imagenActual", 8, 9, 0, 4), Const("posx", 0, 0, 0.6f), Const("posy", 0, 0, 0.55f),
               Const("scalex", 0, 0, 0.4f), Const("scaley", 0, 0, 0.4f), Entry(8, 9, 12.1f)}),
        Strip({"pixelaje05a.png", "pixelaje05b.png", "pixelaje05c.png"},
              {Linear("imagenActual", 9, 18, 0, 18), Linear("alpha", 15, 18, 1, 0), Entry(9, 18, 15)}),
    };
    for (size_t i = 0; i < strips.size(); ++i) {
        SCOPED_TRACE(m_strips[i]->m_name);
        EXPECT_EQ(Actual(*m_show, m_strips[i]), Expected(strips[i]));
    }

    const char* words[] = {"Probando...", "Hola",          "aprovecho",  "para", "saludar",
                           "a mi mama",   "y a mi papa.",  "Siempre",    "es verano",
                           "con el pepino", "en la mano", "...",        "con el pepino"};
    std::vector<KeyRow> first = {Sine("posx", 0, 15, -0.3f, 0.5f, 1), Const("posy", 0, 0, 0.75f),
                                 Const("scalex", 0, 0, 0.1f), Const("scaley", 0, 0, 0.1f)};
    for (int i = 0; i < 13; ++i) first.push_back(Text("frase", (float)i, (float)(i + 1), words[i]));
    first.push_back(Text("frase", 13, 14, "..."));
    first.push_back(Text("frase", 13, 14, "en la mano."));
    first.push_back(Entry(0, 15, 30));
    EXPECT_EQ(Actual(*m_show, m_texts[0]), Expected(first));

    // The greeting texts are the show's own; their times and places are fixed.
    CLetrasCutres* second = m_texts[1];
    auto* frase = static_cast<PublicParamString*>(second->GetParam("frase"));
    ASSERT_EQ(frase->m_constantKeys.size(), 23u);
    std::vector<std::string> greetings;
    for (auto* k : frase->m_constantKeys) greetings.push_back(k->m_value);
    std::vector<KeyRow> rows = {Const("posx", 1, 6.6f, -0.9f), Const("posx", 6.6f, 15, -0.2f),
                                Const("scalex", 0, 0, 0.1f), Const("scaley", 0, 0, 0.1f),
                                Text("frase", 1, 3, greetings[0].c_str()), Text("frase", 3, 5, ""),
                                Text("frase", 5, 6, "Aprovechamos para saludar a")};
    const float bounds[21] = {6.6f, 7.0f,  7.4f,  7.8f,  8.2f,  8.6f,  9.0f,  9.4f,  9.8f,  10.2f, 10.6f,
                              11.0f, 11.4f, 11.8f, 12.2f, 12.6f, 13.0f, 13.4f, 13.8f, 14.2f, 14.6f};
    for (int i = 0; i < 20; ++i) rows.push_back(Text("frase", bounds[i], bounds[i + 1], greetings[3 + i].c_str()));
    for (int i = 0; i < 20; ++i) rows.push_back(Const("posy", 5 + 0.5f * i, 5.5f + 0.5f * i, -0.5f));
    rows.push_back(Entry(1, 15, 30));
    EXPECT_EQ(Actual(*m_show, second), Expected(rows));
}

// The client scene comes first after the loading bar; only its turn acts
// before its entry ends at 5 s.
TEST_F(ShowTimeline, ClientSceneCarriesExactlyItsKeysAndEntry) {
    std::vector<COstrel*> scenes = Instances<COstrel>(*m_show);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(InstanceNumber(scenes[0]), InstanceNumber(m_show->m_pLoadingEffect) + 1);
    EXPECT_EQ(m_show->m_pendingItems.front()->m_pEffect, scenes[0]);
    const std::vector<KeyRow> rows = {Linear("velry", 0, 4, 0, -0.3f),      Linear("velry", 4, 6, -0.3f, 0),
                                      Linear("velry", 6, 10, 0, 0.3f),      Linear("velry", 10, 12.5f, 0.07f, 0.3f),
                                      Linear("velry", 12.5f, 15, 0.3f, 0), Linear("velz", 10, 30, 0, -1.5f),
                                      Linear("velx", 10, 30, 0, -2),        Entry(0, 5, 1)};
    EXPECT_EQ(Actual(*m_show, scenes[0]), Expected(rows));
    for (const auto& r : {std::pair<float, float>{0, 0}, {2, -0.15f}, {4, -0.3f}, {5, -0.15f}})
        EXPECT_NEAR(FloatAt(scenes[0], "velry", r.first), r.second, 1e-6) << r.first;
    for (float t : {0.0f, 2.5f, 5.0f}) {
        EXPECT_EQ(FloatAt(scenes[0], "velx", t), 0.0f) << t;
        EXPECT_EQ(FloatAt(scenes[0], "velz", t), 0.0f) << t;
    }
}

TEST_F(ShowTimeline, TrailsCarryExactlyTheirKeysAndEntries) {
    std::vector<CObjetoEstela*> estelas = Instances<CObjetoEstela>(*m_show);
    std::vector<CPulpo*> pulpos = Instances<CPulpo>(*m_show);
    ASSERT_EQ(estelas.size(), 1u);
    ASSERT_EQ(pulpos.size(), 1u);
    const float pi = 3.1415927f, halfPi = 1.5707964f;

    std::vector<KeyRow> estela = {Text("ficheroObjetoBase", 0, 0, "arrow.x"),
                                  Linear("dinamicaTranslacion", 2, 4, 1, 0.7f),
                                  Const("dinamicaRotacion", 0, 0, 1),
                                  Const("alphaBase", 0, 10, 0.8f),
                                  Linear("alphaInc", 2, 4, 1, 0.9f),
                                  Linear("escalaInc", 2, 4, 1, 0.95f),
                                  Const("roty", 2, 2.5f, halfPi),
                                  Const("rotx", 2, 2.5f, -halfPi),
                                  Linear("posx", 2, 2.5f, -1.95f, 1.95f),
                                  Const("posy", 2, 2.5f, 1.2f),
                                  Const("rotx", 2.5f, 3, 0),
                                  Const("posx", 2.5f, 3, 1.95f),
                                  Linear("posy", 2.5f, 3, 1.2f, -1.2f),
                                  Const("rotx", 3, 3.5f, halfPi),
                                  Linear("posx", 3, 3.5f, 1.95f, -1.95f),
                                  Const("posy", 3, 3.5f, -1.2f),
                                  Const("rotx", 3.5f, 4, pi),
                                  Const("posx", 3.5f, 4, -1.95f),
                                  Linear("posy", 3.5f, 4, -1.2f, 1.2f),
                                  Entry(2, 4, 7)};
    EXPECT_EQ(Actual(*m_show, estelas[0]), Expected(estela));

    std::vector<KeyRow> pulpo = {Text("ficheroObjetoBase", 0, 0, "arrow.x"),
                                 Linear("dinamicaTranslacion", 0, 18, 1, 0.7f),
                                 Const("dinamicaRotacion", 0, 0, 1),
                                 Linear("rotx", 5, 18, -pi, pi),
                                 Linear("roty", 5, 18, 0, pi),
                                 Const("rotz", 0, 0, halfPi),
                                 Linear("rotz", 5, 18, halfPi, -halfPi),
                                 Linear("alphaBase", 5, 18, 0, 1),
                                 Linear("alphaInc", 5, 18, 1, 0.8f),
                                 Linear("escalaInc", 5, 18, 1, 1)};
    for (int i = 0; i <= 19; ++i) {
        pulpo.push_back(Linear("posx", 20.0f * (i - 1), 20.0f * i - 10, -3, 3));
        pulpo.push_back(Linear("posx", 20.0f * i - 10, 20.0f * i, 3, -3));
    }
    pulpo.push_back(Linear("alphaBase", 15, 18, 1, 0));
    pulpo.push_back(Entry(5, 18, 8));
    EXPECT_EQ(Actual(*m_show, pulpos[0]), Expected(pulpo));

    // The swing of posx: -3 at 0 s, 3 at 10 s, back to -3 at 20 s.
    for (const auto& r : {std::pair<float, float>{5, 0}, {10, 3}, {15, 0}, {17.5f, -1.5f}})
        EXPECT_NEAR(FloatAt(pulpos[0], "posx", r.first), r.second, 1e-5) << r.first;
    // alphaBase rises over the whole entry: the [5, 18] key stays active, so
    // the later [15, 18] one never takes over.
    for (float t : {6.0f, 12.0f, 16.0f, 17.9f})
        EXPECT_NEAR(FloatAt(pulpos[0], "alphaBase", t), (t - 5) / 13, 1e-5) << t;
}

// The scheduled instances by instance number; the loading bar comes first.
TEST_F(ShowTimeline, InstancesAreCreatedInTheOrderOfTheTable) {
    std::vector<Effect*> effects;
    for (ScheduleItem* item : m_show->m_pendingItems)
        if (std::find(effects.begin(), effects.end(), item->m_pEffect) == effects.end())
            effects.push_back(item->m_pEffect);
    std::sort(effects.begin(), effects.end(),
              [](const Effect* a, const Effect* b) { return InstanceNumber(a) < InstanceNumber(b); });
    std::vector<std::string> classes;
    for (Effect* e : effects) {
        std::string name = e->m_name;
        classes.push_back(name.substr(0, name.find(" #")));
    }
    const std::string strip = "CStaticGfx2D";
    const std::vector<std::string> expected = {
        "Ostrel", strip, strip, strip, strip, "CObjetoEstela", "CubosInercia", strip, strip, strip, "CPulpo",
        strip, strip, strip, strip, strip, strip, strip, "CBlob2DCompuesto", "CLetrasCutres", "CLetrasCutres"};
    EXPECT_EQ(classes, expected);
    EXPECT_LT(InstanceNumber(m_show->m_pLoadingEffect), InstanceNumber(effects.front()));
}

TEST_F(ShowTimeline, CubesHaveOneEntryFromThreeToFiveSecondsAndNoKeys) {
    std::vector<CubosInercia*> cubes = Instances<CubosInercia>(*m_show);
    ASSERT_EQ(cubes.size(), 1u);
    EXPECT_TRUE(cubes[0]->m_params.empty());
    EXPECT_EQ(cubes[0]->m_refCount, 1);
    EXPECT_EQ(Actual(*m_show, cubes[0]), Expected({Entry(3, 5, 6)}));
}

// ---- the whole show in numbers

// The effects the show made: the loading bar, then each scheduled one once.
std::vector<Effect*> AllInstances(Escenor& show) {
    std::vector<Effect*> effects = {show.m_pLoadingEffect};
    for (ScheduleItem* item : show.m_pendingItems)
        if (std::find(effects.begin(), effects.end(), item->m_pEffect) == effects.end())
            effects.push_back(item->m_pEffect);
    return effects;
}

template <typename Param>
void CountNumberKeys(std::map<std::string, size_t>& counts, const std::string& kind, Param* p) {
    counts[kind + " constant"] += p->m_constantKeys.size();
    counts[kind + " linear"] += p->m_linearKeys.size();
    counts[kind + " sine"] += p->m_sineKeys.size();
}

TEST_F(ShowTimeline, ShowCountsItsInstancesEntriesAndKeysOfEachKind) {
    std::vector<Effect*> effects = AllInstances(*m_show);
    ASSERT_EQ(effects.size(), 22u);
    EXPECT_EQ(m_show->m_pendingItems.size(), 30u);
    // Numbered one after another, the loading bar first.
    const int first = InstanceNumber(m_show->m_pLoadingEffect);
    std::vector<int> numbers;
    for (Effect* e : effects) numbers.push_back(InstanceNumber(e) - first + 1);
    std::sort(numbers.begin(), numbers.end());
    for (int i = 0; i < 22; ++i) EXPECT_EQ(numbers[i], i + 1);

    std::map<std::string, size_t> counts;
    for (Effect* e : effects)
        for (PublicParam* p : e->m_params) {
            if (auto* f = dynamic_cast<PublicParamFloat*>(p)) CountNumberKeys(counts, "float", f);
            if (auto* i = dynamic_cast<PublicParamInt*>(p)) CountNumberKeys(counts, "integer", i);
            if (auto* t = dynamic_cast<PublicParamString*>(p)) {
                counts["text constant"] += t->m_constantKeys.size();
                counts["text linear"] += t->m_linearKeys.size();
            }
        }
    const std::map<std::string, size_t> expected = {
        {"text constant", 71},  {"text linear", 0},    {"float constant", 81},   {"float linear", 127},
        {"float sine", 4},      {"integer constant", 14}, {"integer linear", 9}, {"integer sine", 0}};
    EXPECT_EQ(counts, expected);
    size_t total = 0;
    for (const auto& c : counts) total += c.second;
    EXPECT_EQ(total, 306u);
}

// The pending list: sorted by start, equal starts in the order they were
// scheduled, so the texts' entries come among the strips of their start.
TEST_F(ShowTimeline, PendingEntriesAreSortedByStartInScheduleOrder) {
    const int first = InstanceNumber(m_show->m_pLoadingEffect);
    struct Pending {
        int instance;
        float start;
    };
    const std::vector<Pending> expected = {
        {2, 0},  {3, 0},  {4, 0},    {21, 0}, {5, 1},  {6, 1},  {22, 1},  {7, 2},   {8, 3},   {9, 4},
        {10, 4}, {11, 5}, {12, 5},   {13, 5}, {16, 5}, {14, 5.2f}, {16, 6}, {15, 6.4f}, {16, 7}, {17, 7},
        {16, 8}, {18, 8}, {16, 9},   {19, 9}, {16, 10}, {16, 11}, {20, 11}, {16, 12}, {16, 13}, {16, 14}};
    ASSERT_EQ(m_show->m_pendingItems.size(), expected.size());
    size_t i = 0;
    for (ScheduleItem* item : m_show->m_pendingItems) {
        EXPECT_EQ(InstanceNumber(item->m_pEffect) - first + 1, expected[i].instance) << "position " << i;
        EXPECT_FLOAT_EQ(item->m_start, expected[i].start) << "position " << i;
        ++i;
    }
}

// ---- the parameters each class creates, in order, with defaults and bounds

struct ParamRow {
    const char* name;
    char kind;  // 'f', 'i' or 's'
    float value;
};

void ExpectParams(Effect& e, const std::vector<ParamRow>& rows) {
    SCOPED_TRACE(e.m_name);
    ASSERT_EQ(e.m_params.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ParamRow& r = rows[i];
        PublicParam* p = e.m_params[i];
        EXPECT_STREQ(p->GetName(), r.name) << i;
        if (r.kind == 'f') {
            auto* f = dynamic_cast<PublicParamFloat*>(p);
            ASSERT_NE(f, nullptr) << r.name;
            EXPECT_EQ(f->m_value, r.value) << r.name;
            EXPECT_EQ(f->m_min, -1e30f) << r.name;
            EXPECT_EQ(f->m_max, 1e30f) << r.name;
        } else if (r.kind == 'i') {
            auto* n = dynamic_cast<PublicParamInt*>(p);
            ASSERT_NE(n, nullptr) << r.name;
            EXPECT_EQ(n->m_value, (int)r.value) << r.name;
            EXPECT_EQ(n->m_min, -2000000000) << r.name;
            EXPECT_EQ(n->m_max, 2000000000) << r.name;
        } else {
            auto* t = dynamic_cast<PublicParamString*>(p);
            ASSERT_NE(t, nullptr) << r.name;
            EXPECT_STREQ(t->m_value, "") << r.name;
            EXPECT_EQ(t->m_maxLength, 65536) << r.name;
        }
    }
}

TEST(Show2dParams, EachClassCreatesItsParametersInOrderWithTheirDefaults) {
    const std::vector<ParamRow> quad = {{"alpha", 'f', 1}, {"scalex", 'f', 1}, {"scaley", 'f', 1},
                                        {"posx", 'f', 0},  {"posy", 'f', 0},   {"u0", 'f', 0},
                                        {"u1", 'f', 1},    {"v0", 'f', 0},     {"v1", 'f', 1}};
    std::vector<ParamRow> strip = {{"numeroImagenes", 'i', 1}, {"imagenActual", 'i', 0}};
    static const char* files[10] = {"ficheroImagen0", "ficheroImagen1", "ficheroImagen2", "ficheroImagen3",
                                    "ficheroImagen4", "ficheroImagen5", "ficheroImagen6", "ficheroImagen7",
                                    "ficheroImagen8", "ficheroImagen9"};
    for (const char* f : files) strip.push_back({f, 's', 0});
    strip.insert(strip.end(), quad.begin(), quad.end());
    std::vector<ParamRow> bar = {{"ficheroImagen", 's', 0}, {"ficheroBarra", 's', 0}};
    bar.insert(bar.end(), quad.begin(), quad.end());
    const std::vector<ParamRow> text = {{"numeroImagenes", 'i', 1}, {"frase", 's', 0},     {"alpha", 'f', 1},
                                        {"posx", 'f', 0},           {"posy", 'f', 0},      {"scalex", 'f', 0.12f},
                                        {"scaley", 'f', 0.12f}};
    CStaticGfx2D s;
    InitBarra b;
    CLetrasCutres t;
    ExpectParams(s, strip);
    ExpectParams(b, bar);
    ExpectParams(t, text);
    EXPECT_EQ(s.m_numImagenes, 0);
}

}  // namespace
