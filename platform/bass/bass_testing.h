// Layer-internal hooks for the audio layer's tests.
#pragma once

#include <cstdint>

// Whether BASS_Init opened a sound device (false: silent).
bool BassTestingHasDevice();
// Frames mixed so far, by the device or by BassTestingMix.
uint64_t BassTestingFramesMixed();
// Mixes the next `frames` stereo frames of every playing channel into `out`
// (2 * frames values), as the device would; for a silent output.
void BassTestingMix(int16_t* out, int frames);
