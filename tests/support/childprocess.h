#pragma once

#include <windows.h>

#include <string>

// Runs an executable for as long as the object lives (its standard input is
// a pipe that closes with the object); ends it for good at destruction.
class ScopedChildProcess
{
public:
    explicit ScopedChildProcess(const std::wstring& path, const std::wstring& arguments = L"");
    ~ScopedChildProcess();

    DWORD ProcessId() const { return m_processInfo.dwProcessId; }
    bool IsRunning() const { return m_processInfo.hProcess != NULL; }
    HANDLE Handle() const { return m_processInfo.hProcess; }
    // Ends it at once, for a program that runs until it is stopped.
    void Terminate();

private:
    ScopedChildProcess(const ScopedChildProcess&);
    ScopedChildProcess& operator=(const ScopedChildProcess&);

    PROCESS_INFORMATION m_processInfo;
    HANDLE m_hInputWrite;
};
