#include "music.h"

#include <windows.h>

void MusicInit(int device)
{
    BASS_Init(device, 44100, 0, GetForegroundWindow(), NULL);
}

void MusicStop()
{
    BASS_Stop();
}

HMUSIC MusicPlayModule(void* data, int length)
{
    HMUSIC music = BASS_MusicLoad(TRUE, data, 0, (DWORD)length, BASS_MUSIC_AUTOFREE, 0);
    BASS_MusicPlay(music);
    return music;
}

HSTREAM MusicPlayStream(void* data, int length)
{
    HSTREAM stream = BASS_StreamCreateFile(TRUE, data, 0, (DWORD)length, BASS_STREAM_AUTOFREE);
    BASS_StreamPlay(stream, FALSE, 0);
    return stream;
}

void MusicFreeStream(HSTREAM stream)
{
    BASS_StreamFree(stream);
}

void MusicPause()
{
    BASS_Pause();
}

void MusicStart()
{
    BASS_Start();
}
