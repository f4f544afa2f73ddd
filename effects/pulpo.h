// The eight-armed trail: a mesh leading eight tails of 15 copies whose
// offsets point toward the corners of a cube around it.
#pragma once

#include "estela.h"

class CPulpo : public CEstela {
public:
    CPulpo();
    int Init() override;
};
