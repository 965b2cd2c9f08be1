#pragma once

#include <windows.h>

// The process-wide debug log: one printf-style line per call, written to the
// debugger output. No prefix, timestamp or line end is added.

class LogLock
{
public:
    LogLock();
    ~LogLock();

    void Lock();
    void Unlock();

private:
    LogLock(const LogLock&);
    LogLock& operator=(const LogLock&);

    // A mutex rather than a critical section: a thread terminated while it
    // writes a line abandons it, and the next line still comes out.
    HANDLE m_hMutex;
};

// Keeps lines of different threads whole; always the innermost lock.
extern LogLock gcsLog;

void LogPrint(const char* format, ...);
void LogPrintW(const wchar_t* format, ...);
