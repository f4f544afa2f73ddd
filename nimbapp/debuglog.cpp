#include "debuglog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <mscrt.h>

void DebugLog(const char* format, ...)
{
    // Formatted once, then appended with one open, write and close, so that
    // the log holds every completed call even after a crash.
    char local[4096];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(local, sizeof(local), format, args);
    va_end(args);
    char* text = local;
    if (length >= (int)sizeof(local)) {
        // Longer texts are written whole.
        text = static_cast<char*>(std::malloc((size_t)length + 1));
        if (text)
            std::vsnprintf(text, (size_t)length + 1, format, again);
    }
    va_end(again);
    if (length < 0 || !text)
        return;
    DebugLogText(text, (size_t)length);
    if (text != local)
        std::free(text);
}

void DebugLogText(const char* text, size_t length)
{
    if (!ms_append("debug.txt", text, length))
        ReportError("No puedo abrir el archivo %s", "debug.txt");
}

namespace {

// The report as one line on standard error: its own line breaks become
// spaces, trailing ones go, and one line break ends it; one write, so that
// reports never interleave.
void ReportLine(const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    char local[1024];
    const int length = std::vsnprintf(local, sizeof(local), format, args);
    char* text = local;
    if (length >= (int)sizeof(local)) {
        text = static_cast<char*>(std::malloc((size_t)length + 2));
        if (text)
            std::vsnprintf(text, (size_t)length + 1, format, again);
    }
    va_end(again);
    if (length < 0 || !text)
        return;
    size_t n = (size_t)length;
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
        --n;
    for (size_t i = 0; i < n; ++i)
        if (text[i] == '\n' || text[i] == '\r')
            text[i] = ' ';
    text[n] = '\n';
    std::fwrite(text, 1, n + 1, stderr);
    std::fflush(stderr);
    if (text != local)
        std::free(text);
}

} // namespace

void ReportError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ReportLine(format, args);
    va_end(args);
}

void ReportWarning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ReportLine(format, args);
    va_end(args);
}
