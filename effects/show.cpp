// The one show: its effects, their keys and the schedule.
#include "escenor.h"

void Escenor::BuildShow()
{
    // Instances are created in this order (their numbers follow it), each
    // keyed right after its creation and scheduled right after its keys:
    //  1 the loading bar (SetLoadingEffect, not scheduled)
    //  2 the client scene
    //  3-6 image strips
    //  7 trail
    //  8 cubes
    //  9-19 image strips
    //  20 blob grid
    //  21, 22 texts (through m_pText1 and m_pText2)
}
