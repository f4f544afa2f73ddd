#pragma once

#include <cstddef>

// Appends printf-style text to "debug.txt" in the working folder.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends `length` bytes of already formatted text the same way.
void DebugLogText(const char* text, size_t length);

// Error hooks: every failing call site reports here; they do nothing.
void ReportError(const char* format, ...);
void ReportWarning(const char* format, ...);
