#pragma once

#include <windows.h>

#include "diagnostics/survivinglock.h"

// The process-wide debug log: one printf-style line per call, written to the
// debugger output. No prefix, timestamp or line end is added.

// The log's own lock: keeps lines of different threads whole and is always
// the innermost lock. Built on SurvivingLock, so it survives a thread
// terminated while it writes a line.
class LogLock : public SurvivingLock
{
public:
    LogLock() {}

private:
    LogLock(const LogLock&);
    LogLock& operator=(const LogLock&);
};

extern LogLock gcsLog;

void LogPrint(const char* format, ...);
void LogPrintW(const wchar_t* format, ...);
