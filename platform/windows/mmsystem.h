// Multimedia timer.
#pragma once

#include "wintypes.h"

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

// Milliseconds since boot, wrapping at 2^32.
DWORD timeGetTime();
UINT timeBeginPeriod(UINT period);
UINT timeEndPeriod(UINT period);
