#pragma once

#include <windows.h>

#include "diagnostics/survivinglock.h"

// The process-wide debug log: one printf-style line per call, written to the
// debugger output. No prefix, timestamp or line end is added.

// Keeps lines of different threads whole; always the innermost lock. It
// survives a thread terminated while it writes a line.
extern SurvivingLock gcsLog;

void LogPrint(const char* format, ...);
void LogPrintW(const wchar_t* format, ...);
