// Layer-internal: an opt-in log of timed events for tests that watch the
// whole program. When the environment names a file in NIMB_EVENT_TRACE,
// each event appends one line "<seconds> <event>[ <detail>]" to it, the
// seconds read from the clock QueryPerformanceCounter reads; otherwise
// nothing is written. The system never includes this header.
#pragma once

// Appends one event line when tracing is on.
void PlatformTraceEvent(const char* event, const char* detail = nullptr);
