#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// Captures the process's debugger output (OutputDebugStringA/W) while it
// lives, by catching the exceptions that those calls raise. Wide lines are
// stored in their UTF-8 form.
class DebugOutputCapture
{
public:
    DebugOutputCapture();
    ~DebugOutputCapture();

    std::vector<std::string> Lines() const;         // one entry per debug-output call
    std::string Text() const;                       // every call, concatenated
    size_t Count(const std::string& needle) const;  // occurrences in Text()
    bool Contains(const std::string& needle) const { return Count(needle) > 0; }
    void Clear();
    // Writes the last lines to standard error, to explain a failure.
    void PrintTail(size_t nLines) const;

private:
    DebugOutputCapture(const DebugOutputCapture&);
    DebugOutputCapture& operator=(const DebugOutputCapture&);

    static LONG CALLBACK OnException(EXCEPTION_POINTERS* pInfo);
    // Appends the line of a debug-output exception (narrow or wide); the
    // caller holds the capture.
    LONG Take(const EXCEPTION_RECORD* pRecord);
    void Append(std::string line);

    PVOID m_hHandler;
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};
