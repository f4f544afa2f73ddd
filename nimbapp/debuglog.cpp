#include "debuglog.h"

#include <cstdarg>
#include <cstdio>

#include <mscrt.h>

void DebugLog(const char* format, ...)
{
    // Formatted straight into the file: no fixed buffer to overflow.
    FILE* f = ms_fopen("debug.txt", "a");
    if (!f) {
        ReportError("No puedo abrir el archivo %s", "debug.txt");
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fclose(f);
}

void ReportError(const char*, ...)
{
}

void ReportWarning(const char*, ...)
{
}
