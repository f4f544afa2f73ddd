#pragma once

// Appends printf-style text to "debug.txt" in the working folder.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Error hooks: every failing call site reports here; they do nothing.
void ReportError(const char* format, ...);
void ReportWarning(const char* format, ...);
