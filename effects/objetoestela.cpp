#include "objetoestela.h"

CObjetoEstela::CObjetoEstela() : CEstela("CObjetoEstela")
{
}

int CObjetoEstela::Init()
{
    const TrailDynamics d = InitLeader();
    AddTrail(5, 0.5f, 0.5f, 0.0f, 0.0f, d);
    FinishInit();
    return 0;
}
