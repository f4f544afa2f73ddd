// BASS audio library calls over libopenmpt and an SDL2 audio device.
#pragma once

#include <windows.h>

typedef uint64_t QWORD;
typedef DWORD HMUSIC;
typedef DWORD HSTREAM;
typedef DWORD HCHANNEL;

// Flags.
#define BASS_MUSIC_AUTOFREE 0x40000
#define BASS_STREAM_AUTOFREE 0x40000

// Channel states (BASS_ChannelIsActive).
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_PAUSED 3

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_UNKNOWN -1

// Device -1 or a positive number: the default output; 0: no sound. The
// output runs at `freq` Hz stereo. Without a sound device the library
// works the same, silently.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);
// Closes the output and frees every music and stream.
BOOL BASS_Free();
int BASS_ErrorGetCode();

// Stops the output and every channel (freeing the auto-free ones).
BOOL BASS_Stop();
// Pauses the output; channels keep their position.
BOOL BASS_Pause();
// Starts the output again after BASS_Stop or BASS_Pause.
BOOL BASS_Start();

// A tracker module (MOD, S3M, XM, IT...) from memory (`mem` TRUE: `file`
// points to `length` bytes, which are copied) or from a file path. `freq` 0
// uses the output rate.
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags, DWORD freq);
// Plays the module from its start, once.
BOOL BASS_MusicPlay(HMUSIC handle);
void BASS_MusicFree(HMUSIC handle);

// A PCM WAV stream from memory or from a file.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);

// BASS_ACTIVE_STOPPED (also for an unknown or freed handle), _PLAYING or _PAUSED.
DWORD BASS_ChannelIsActive(DWORD handle);
