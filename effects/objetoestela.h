// An object with a wake: a mesh leading one tail of 5 copies.
#pragma once

#include "estela.h"

class CObjetoEstela : public CEstela {
public:
    CObjetoEstela();
    int Init() override;
};
