// Kernel and multimedia timer calls over the Linux clocks.
#include "windows.h"
#include "win_internal.h"

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
const LONGLONG kCounterFrequency = 10000000; // 100 ns ticks

bool g_scripted = false;
bool g_scriptHasCounter = true;
LONGLONG g_scriptFrequency = kCounterFrequency;
LONGLONG g_scriptCounter = 0;
DWORD g_scriptMilliseconds = 0;

thread_local DWORD g_lastError = 0;

// Monotonic time since boot.
void bootTime(timespec& ts)
{
    clock_gettime(CLOCK_MONOTONIC, &ts);
}
}

void PlatformScriptClocks(bool hasCounter, LONGLONG frequency)
{
    g_scripted = true;
    g_scriptHasCounter = hasCounter;
    g_scriptFrequency = frequency > 0 ? frequency : kCounterFrequency;
    g_scriptCounter = 0;
    g_scriptMilliseconds = 0;
}

void PlatformSetCounter(LONGLONG ticks)
{
    g_scriptCounter = ticks;
}

void PlatformSetTimeGetTime(DWORD milliseconds)
{
    g_scriptMilliseconds = milliseconds;
}

void PlatformRealClocks()
{
    g_scripted = false;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (!frequency)
        return FALSE;
    if (g_scripted) {
        frequency->QuadPart = g_scriptHasCounter ? g_scriptFrequency : 0;
        return g_scriptHasCounter ? TRUE : FALSE;
    }
    frequency->QuadPart = kCounterFrequency;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (!count)
        return FALSE;
    if (g_scripted) {
        count->QuadPart = g_scriptHasCounter ? g_scriptCounter : 0;
        return g_scriptHasCounter ? TRUE : FALSE;
    }
    timespec ts;
    bootTime(ts);
    count->QuadPart = (LONGLONG)ts.tv_sec * kCounterFrequency + ts.tv_nsec / 100;
    return TRUE;
}

DWORD timeGetTime()
{
    if (g_scripted)
        return g_scriptMilliseconds;
    timespec ts;
    bootTime(ts);
    uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
    return (DWORD)ms;
}

UINT timeBeginPeriod(UINT period)
{
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

UINT timeEndPeriod(UINT period)
{
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

DWORD GetTickCount()
{
    return timeGetTime();
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec req;
    req.tv_sec = milliseconds / 1000;
    req.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

DWORD GetLastError()
{
    return g_lastError;
}

void SetLastError(DWORD error)
{
    g_lastError = error;
}

HMODULE GetModuleHandleA(LPCSTR moduleName)
{
    if (!moduleName)
        return (HMODULE)(uintptr_t)0x00400000; // the program's own image
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    if (!fileName || size == 0)
        return 0;
    if (module && module != GetModuleHandleA(NULL)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        fileName[0] = '\0';
        return 0;
    }
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n < 0)
        n = 0;
    buf[n] = '\0';
    DWORD len = (DWORD)n;
    if (len >= size)
        len = size - 1; // cut, terminated, as Windows does
    std::memcpy(fileName, buf, len);
    fileName[len] = '\0';
    return len;
}

void OutputDebugStringA(LPCSTR)
{
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    return IDOK;
}
