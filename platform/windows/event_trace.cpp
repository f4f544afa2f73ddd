#include "event_trace.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {
// The trace file, opened at the first event; null when tracing is off.
FILE* traceFile()
{
    static FILE* file = [] {
        const char* name = std::getenv("NIMB_EVENT_TRACE");
        return name && *name ? std::fopen(name, "a") : nullptr;
    }();
    return file;
}
}

void PlatformTraceEvent(const char* event, const char* detail)
{
    FILE* f = traceFile();
    if (!f)
        return;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::fprintf(f, "%lld.%09ld %s%s%s\n", (long long)ts.tv_sec, ts.tv_nsec, event, detail ? " " : "",
                 detail ? detail : "");
    std::fflush(f);
}
