// Counts the blocks operator new has handed out that operator delete has
// not taken back, so that a test can tell an object freed all it owned, in
// any build. This program replaces the global operator new and delete for it.
#pragma once

#include <cstddef>

size_t LiveBlocks();
