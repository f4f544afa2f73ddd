// C runtime behaviour the system expects from the Windows runtime, where
// glibc differs: the MSVC pseudo-random generator, a millisecond clock and
// paths written with backslashes.
#pragma once

#include <cstdio>

// MSVC rand(): state starts at 1; state = state * 214013 + 2531011;
// returns (state >> 16) & 0x7FFF.
int ms_rand();
void ms_srand(unsigned int seed);
#define MS_RAND_MAX 0x7FFF

// Milliseconds since the process started, as the MSVC clock() counts them.
long ms_clock();
#define MS_CLOCKS_PER_SEC 1000

// fopen for a path that may use '\' as separator and may differ in case from
// the files on disk: '\' becomes '/', and each component that does not exist
// as written is matched case-insensitively.
FILE* ms_fopen(const char* path, const char* mode);

// The path ms_fopen would open (for stat or remove); returns false when the
// result does not fit.
bool ms_resolve_path(const char* path, char* out, size_t outSize);

// Appends `size` bytes to the file (created when missing) with plain system
// calls: open, write until all is written, close; nothing is buffered. A
// path with '\' or of another case is resolved as ms_fopen does. Returns
// false when the file cannot be opened or written.
bool ms_append(const char* path, const void* data, size_t size);
