// Windows user interface, kernel and GDI calls over SDL2 and Linux.
#pragma once

#include "wintypes.h"
