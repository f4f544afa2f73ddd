// Text effect: the current value of `frase`, in white, at a keyed position,
// size and opacity, drawn with its own bitmap font.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "bitmapfont.h"
#include "effect.h"

// The text colour for an opacity: white with alpha = the low byte of
// alpha x 255 truncated toward zero (1.5 gives 0x7E); defined for every
// finite alpha, NaN counts as 0.
DWORD AlphaToTextColor(float alpha);

class CLetrasCutres : public Effect {
public:
    CLetrasCutres();
    ~CLetrasCutres() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;

    BitmapFont* m_pFuente;
};
