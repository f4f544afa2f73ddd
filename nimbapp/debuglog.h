#pragma once

#include <cstddef>

// Appends printf-style text to "debug.txt" in the working folder.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends `length` bytes of already formatted text the same way.
void DebugLogText(const char* text, size_t length);

// Error hooks: every failing call site reports here; printf-style text, one
// line on standard error. The caller goes on.
void ReportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ReportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
