// Music functions over BASS.
#pragma once

#include <bass.h>

// Opens the sound output at 44100 Hz on the foreground window.
void MusicInit(int device);
// Stops all output.
void MusicStop();
// Loads a tracker module from memory and plays it once; the handle.
HMUSIC MusicPlayModule(void* data, int length);
// Creates a stream from memory and plays it; the handle.
HSTREAM MusicPlayStream(void* data, int length);
void MusicFreeStream(HSTREAM stream);
void MusicPause();
void MusicStart();

class Music {
public:
    Music() {}
    ~Music() {}
};
