// The one show: its effects, their keys and the schedule.
#include "escenor.h"

#include <cstdio>
#include <initializer_list>

#include "blob2dcompuesto.h"
#include "cubosinercia.h"
#include "initbarra.h"
#include "letrascutres.h"
#include "ostrel.h"
#include "objetoestela.h"
#include "pulpo.h"
#include "staticgfx2d.h"

namespace {

PublicParamFloat* F(Effect* e, const char* name)
{
    return ParamOf<PublicParamFloat>(e, name);
}
PublicParamInt* I(Effect* e, const char* name)
{
    return ParamOf<PublicParamInt>(e, name);
}
PublicParamString* S(Effect* e, const char* name)
{
    return ParamOf<PublicParamString>(e, name);
}

// A picture strip whose count and file names hold for the whole run.
CStaticGfx2D* NewStrip(std::initializer_list<const char*> files) {
    CStaticGfx2D* e = new CStaticGfx2D();
    I(e, "numeroImagenes")->AddConstantKey(0, 0, static_cast<int>(files.size()));
    int i = 0;
    for (const char* file : files) {
        char name[32];
        std::snprintf(name, sizeof(name), "ficheroImagen%d", i++);
        S(e, name)->AddConstantKey(0, 0, file);
    }
    return e;
}

// Size and place held for the whole run.
void Place(Effect* e, float scalex, float scaley, float posx, float posy) {
    F(e, "scalex")->AddConstantKey(0, 0, scalex);
    F(e, "scaley")->AddConstantKey(0, 0, scaley);
    F(e, "posx")->AddConstantKey(0, 0, posx);
    F(e, "posy")->AddConstantKey(0, 0, posy);
}

// A strip of two pictures that flashes in with a sine while it steps.
void KeyFlash(Effect* e, float start, float end, float base, float posx, float posy, int fromImage) {
    F(e, "alpha")->AddSineKey(start, end, base, 1, 5);
    Place(e, 0.3f, 0.3f, posx, posy);
    I(e, "imagenActual")->AddLinearKey(start, end, fromImage, 20);
}

// A party thing flying across the screen at height posy.
void KeyFlyBy(Effect* e, float start, float end, float fromX, float toX, float posy) {
    F(e, "alpha")->AddConstantKey(0, 0, 0.8f);
    F(e, "scalex")->AddConstantKey(0, 0, 0.3f);
    F(e, "scaley")->AddConstantKey(0, 0, 0.3f);
    F(e, "posx")->AddLinearKey(start, end, fromX, toX);
    F(e, "posy")->AddConstantKey(0, 0, posy);
    I(e, "imagenActual")->AddLinearKey(start, end, 1, 20);
}

const float kPi = 3.1415927f;
const float kHalfPi = 1.5707964f;

const char* const kThreePersons = "Hola Ramira, Teo y Lupe";

// Invented names, greeted one after another from 6.6 s on.
const char* const kGreetedGroups[20] = {
    "Tortuga Binaria", "Pixel Rancio",   "Los Bucles",   "Croqueta Vectorial", "Faro Lento",
    "Nube Cuadrada",   "Bytes Tibios",   "Tinta Verde",  "Gamma Norte",        "Rayo Tardio",
    "Coral Binario",   "Vector Dulce",   "Pila Baja",    "Zorzal Digital",     "Los Texeles",
    "Escoba Cuantica", "Patata Fractal", "Chispa Lunar", "Marmota Azul",       "Punto Final",
};
const float kGreetingBounds[21] = {6.6f,  7.0f,  7.4f,  7.8f,  8.2f,  8.6f,  9.0f,
                                   9.4f,  9.8f,  10.2f, 10.6f, 11.0f, 11.4f, 11.8f,
                                   12.2f, 12.6f, 13.0f, 13.4f, 13.8f, 14.2f, 14.6f};

}  // namespace

void Escenor::BuildShow()
{
    // Instances are created in this order (their numbers follow it), each
    // keyed right after its creation and scheduled right after its keys.

    // 1: the loading bar. While loading, sequence time is the progress.
    InitBarra* barra = new InitBarra();
    S(barra, "ficheroImagen")->AddConstantKey(0, 0, "initimg.png");
    S(barra, "ficheroBarra")->AddConstantKey(0, 0, "initbar.png");
    F(barra, "alpha")->AddLinearKey(0, 1, 0, 1);
    F(barra, "scalex")->AddLinearKey(0, 1, 0, 0.6f);
    F(barra, "u1")->AddLinearKey(0, 1, 0, 1);
    F(barra, "scaley")->AddConstantKey(0, 1, 0.2f);
    F(barra, "posx")->AddConstantKey(0, 1, 0.2f);
    F(barra, "posy")->AddConstantKey(0, 1, 0.6f);
    SetLoadingEffect(barra, 0, 1.0f);

    // 2: the client scene (entry 1): the local player turns in place.
    Effect* ostrel = new COstrel();
    F(ostrel, "velry")->AddLinearKey(0, 4, 0, -0.3f);
    F(ostrel, "velry")->AddLinearKey(4, 6, -0.3f, 0);
    F(ostrel, "velry")->AddLinearKey(6, 10, 0, 0.3f);
    F(ostrel, "velry")->AddLinearKey(10, 12.5f, 0.07f, 0.3f);
    F(ostrel, "velry")->AddLinearKey(12.5f, 15, 0.3f, 0);
    F(ostrel, "velz")->AddLinearKey(10, 30, 0, -1.5f);
    F(ostrel, "velx")->AddLinearKey(10, 30, 0, -2);
    AddEffect(ostrel, 0, 5, 1);

    // 3: opening sweep (entry 2).
    Effect* e = NewStrip({"transparent4.png"});
    F(e, "u1")->AddConstantKey(0, 0, 0.99f);
    F(e, "posx")->AddLinearKey(0, 1, -1, 0);
    F(e, "alpha")->AddLinearKey(1, 2, 1, 0);
    AddEffect(e, 0, 2, 3);

    // 4: title (entry 3).
    e = NewStrip({"titulo.png"});
    F(e, "alpha")->AddLinearKey(0, 1, 0, 1);
    AddEffect(e, 0, 2, 4);

    // 5: overlay (entry 4).
    e = NewStrip({"overlay1.png"});
    F(e, "alpha")->AddLinearKey(1, 2, 0, 1);
    F(e, "alpha")->AddLinearKey(2, 3, 1, 0);
    F(e, "scalex")->AddLinearKey(1, 2, 0, 1);
    AddEffect(e, 1, 3, 2);

    // 6: bunting flip-book (entry 5).
    e = NewStrip({"banderillas_01.png", "banderillas_02.png", "banderillas_03.png", "banderillas_04.png"});
    Place(e, 0.3f, 0.3f, 0.65f, 0.6f);
    I(e, "imagenActual")->AddLinearKey(2, 3, 0, 8);
    AddEffect(e, 1, 3, 5);

    // 7: the arrow with a wake, once around a rectangle (entry 6).
    CObjetoEstela* estela = new CObjetoEstela();
    S(estela, "ficheroObjetoBase")->AddConstantKey(0, 0, "arrow.x");
    F(estela, "dinamicaTranslacion")->AddLinearKey(2, 4, 1, 0.7f);
    F(estela, "dinamicaRotacion")->AddConstantKey(0, 0, 1);
    F(estela, "alphaBase")->AddConstantKey(0, 10, 0.8f);
    F(estela, "alphaInc")->AddLinearKey(2, 4, 1, 0.9f);
    F(estela, "escalaInc")->AddLinearKey(2, 4, 1, 0.95f);
    F(estela, "roty")->AddConstantKey(2, 2.5f, kHalfPi);
    {
        // Half-width 1.95, half-height 1.2; each leg 0.5 s.
        const float w = 1.95f, h = 1.2f;
        F(estela, "rotx")->AddConstantKey(2, 2.5f, -kHalfPi);
        F(estela, "posx")->AddLinearKey(2, 2.5f, -w, w);
        F(estela, "posy")->AddConstantKey(2, 2.5f, h);
        F(estela, "rotx")->AddConstantKey(2.5f, 3, 0);
        F(estela, "posx")->AddConstantKey(2.5f, 3, w);
        F(estela, "posy")->AddLinearKey(2.5f, 3, h, -h);
        F(estela, "rotx")->AddConstantKey(3, 3.5f, kHalfPi);
        F(estela, "posx")->AddLinearKey(3, 3.5f, w, -w);
        F(estela, "posy")->AddConstantKey(3, 3.5f, -h);
        F(estela, "rotx")->AddConstantKey(3.5f, 4, kPi);
        F(estela, "posx")->AddConstantKey(3.5f, 4, -w);
        F(estela, "posy")->AddLinearKey(3.5f, 4, -h, h);
    }
    AddEffect(estela, 2, 4, 7);

    // 8: the swaying cubes, no keys (entry 7).
    AddEffect(new CubosInercia(), 3, 5, 6);

    // 9: background of the middle part (entry 8).
    e = NewStrip({"mix3.png"});
    F(e, "alpha")->AddLinearKey(4, 5, 0, 1);
    AddEffect(e, 4, 10, 2);

    // 10, 11: party things flying by (entries 9, 10).
    e = NewStrip({"cosas_party_01.png"});
    KeyFlyBy(e, 4, 5, 4, -4, 0.6f);
    AddEffect(e, 4, 5, 9);
    e = NewStrip({"cosas_party_02.png"});
    KeyFlyBy(e, 5, 6, -4, 4, 0.1f);
    AddEffect(e, 5, 6, 9.1f);

    // 12: the octopus of trails (entry 11).
    CPulpo* pulpo = new CPulpo();
    S(pulpo, "ficheroObjetoBase")->AddConstantKey(0, 0, "arrow.x");
    F(pulpo, "dinamicaTranslacion")->AddLinearKey(0, 18, 1, 0.7f);
    F(pulpo, "dinamicaRotacion")->AddConstantKey(0, 0, 1);
    F(pulpo, "rotx")->AddLinearKey(5, 18, -kPi, kPi);
    F(pulpo, "roty")->AddLinearKey(5, 18, 0, kPi);
    F(pulpo, "rotz")->AddConstantKey(0, 0, kHalfPi);
    F(pulpo, "rotz")->AddLinearKey(5, 18, kHalfPi, -kHalfPi);
    F(pulpo, "alphaBase")->AddLinearKey(5, 18, 0, 1);
    F(pulpo, "alphaInc")->AddLinearKey(5, 18, 1, 0.8f);
    F(pulpo, "escalaInc")->AddLinearKey(5, 18, 1, 1);
    // Swings between -3 and 3 with a period of 20 s.
    for (int i = 0; i <= 19; ++i) {
        F(pulpo, "posx")->AddLinearKey(20.0f * (i - 1), 20.0f * i - 10, -3, 3);
        F(pulpo, "posx")->AddLinearKey(20.0f * i - 10, 20.0f * i, 3, -3);
    }
    F(pulpo, "alphaBase")->AddLinearKey(15, 18, 1, 0);
    AddEffect(pulpo, 5, 18, 8);


    // 13 to 15: two-picture flashes (entries 12 to 14).
    e = NewStrip({"party_01_1.png", "party_01_2.png"});
    KeyFlash(e, 5, 6.6f, 0, 0.05f, 0.6f, 0);
    AddEffect(e, 5, 6.6f, 10);
    e = NewStrip({"party_02_1.png", "party_02_2.png"});
    KeyFlash(e, 5.2f, 6.8f, 0.25f, 0.35f, 0.35f, 0);
    AddEffect(e, 5.2f, 6.8f, 10.1f);
    e = NewStrip({"party_03_1.png", "party_03_2.png"});
    KeyFlash(e, 6.4f, 7, 0.5f, 0.65f, 0.6f, 1);
    AddEffect(e, 6.4f, 7, 10.2f);

    // 16: the emblem that zooms out of the centre once a second, one
    // instance held by ten entries (15 to 24).
    e = NewStrip({"minibrunk.png"});
    for (int i = 0; i <= 9; ++i) {
        const float start = 5.0f + i, end = 6.0f + i;
        F(e, "scalex")->AddLinearKey(start, end, 0.1f, 4);
        F(e, "scaley")->AddLinearKey(start, end, 0.1f, 4);
        F(e, "posx")->AddLinearKey(start, end, 0.5f, -1.5f);
        F(e, "posy")->AddLinearKey(start, end, 0.5f, -1.5f);
        F(e, "alpha")->AddLinearKey(start, end, 0.5f, 0);
        AddEffect(e, start, end, 20);
    }

    // 17: pixel creature (entry 25).
    e = NewStrip({"pixelaje02a.png", "pixelaje02b.png", "pixelaje02c.png", "pixelaje02d.png"});
    F(e, "posx")->AddConstantKey(0, 0, 0.1f);
    F(e, "posy")->AddConstantKey(0, 0, 0.1f);
    F(e, "scalex")->AddConstantKey(0, 0, 0.4f);
    F(e, "scaley")->AddConstantKey(0, 0, 0.4f);
    I(e, "imagenActual")->AddLinearKey(7, 8, 0, 8);
    AddEffect(e, 7, 8, 12);

    // 18: pixel heart (entry 26).
    e = NewStrip({"pixelaje04a.png", "pixelaje04b.png", "pixelaje04c.png", "pixelaje04d.png"});
    I(e, "imagenActual")->AddLinearKey(8, 9, 0, 4);
    F(e, "posx")->AddConstantKey(0, 0, 0.6f);
    F(e, "posy")->AddConstantKey(0, 0, 0.55f);
    F(e, "scalex")->AddConstantKey(0, 0, 0.4f);
    F(e, "scaley")->AddConstantKey(0, 0, 0.4f);
    AddEffect(e, 8, 9, 12.1f);

    // 19: pixel frame over the second half (entry 27).
    e = NewStrip({"pixelaje05a.png", "pixelaje05b.png", "pixelaje05c.png"});
    I(e, "imagenActual")->AddLinearKey(9, 18, 0, 18);
    F(e, "alpha")->AddLinearKey(15, 18, 1, 0);
    AddEffect(e, 9, 18, 15);

    // 20: blob grid (entry 28).
    CBlob2DCompuesto* blob = new CBlob2DCompuesto(32, 32);
    S(blob, "ficheroObjeto")->AddConstantKey(0, 0, "arrow.x");
    F(blob, "alpha")->AddConstantKey(0, 10, 0.3f);
    F(blob, "factor")->AddLinearKey(0, 18, 0, 40);
    F(blob, "posx")->AddConstantKey(0, 0, -3.2f);
    F(blob, "posy")->AddConstantKey(0, 0, 2.4f);
    F(blob, "separacionx")->AddConstantKey(0, 0, 0.21f);
    F(blob, "separaciony")->AddConstantKey(0, 0, 0.155f);
    F(blob, "alpha")->AddLinearKey(15, 18, 1, 0);
    AddEffect(blob, 11, 18, 7);

    // 21: the first text (entry 29).
    m_pText1 = new CLetrasCutres();
    F(m_pText1, "posx")->AddSineKey(0, 15, -0.3f, 0.5f, 1);
    F(m_pText1, "posy")->AddConstantKey(0, 0, 0.75f);
    F(m_pText1, "scalex")->AddConstantKey(0, 0, 0.1f);
    F(m_pText1, "scaley")->AddConstantKey(0, 0, 0.1f);
    {
        PublicParamString* frase = S(m_pText1, "frase");
        frase->AddConstantKey(0, 1, "Probando...");
        frase->AddConstantKey(1, 2, "Hola");
        frase->AddConstantKey(2, 3, "aprovecho");
        frase->AddConstantKey(3, 4, "para");
        frase->AddConstantKey(4, 5, "saludar");
        frase->AddConstantKey(5, 6, "a mi mama");
        frase->AddConstantKey(6, 7, "y a mi papa.");
        frase->AddConstantKey(7, 8, "Siempre");
        frase->AddConstantKey(8, 9, "es verano");
        frase->AddConstantKey(9, 10, "con el pepino");
        frase->AddConstantKey(10, 11, "en la mano");
        frase->AddConstantKey(11, 12, "...");
        frase->AddConstantKey(12, 13, "con el pepino");
        frase->AddConstantKey(13, 14, "...");
        frase->AddConstantKey(13, 14, "en la mano.");
    }
    AddEffect(m_pText1, 0, 15, 30);

    // 22: the second text, the greetings (entry 30).
    m_pText2 = new CLetrasCutres();
    F(m_pText2, "posx")->AddConstantKey(1, 6.6f, -0.9f);
    F(m_pText2, "posx")->AddConstantKey(6.6f, 15, -0.2f);
    F(m_pText2, "scalex")->AddConstantKey(0, 0, 0.1f);
    F(m_pText2, "scaley")->AddConstantKey(0, 0, 0.1f);
    {
        PublicParamString* frase = S(m_pText2, "frase");
        frase->AddConstantKey(1, 3, kThreePersons);
        frase->AddConstantKey(3, 5, "");
        frase->AddConstantKey(5, 6, "Aprovechamos para saludar a");
        for (int i = 0; i < 20; ++i)
            frase->AddConstantKey(kGreetingBounds[i], kGreetingBounds[i + 1], kGreetedGroups[i]);
    }
    for (int i = 0; i < 20; ++i)
        F(m_pText2, "posy")->AddConstantKey(5 + 0.5f * i, 5.5f + 0.5f * i, -0.5f);
    AddEffect(m_pText2, 1, 15, 30);
}
