#pragma once

#include <windows.h>

#include <thread>

// Runs the real host (InitInstance, the message loop, ExitInstance) on a
// thread of its own, as WinMain runs it on the main thread, so that a test
// or the simulator can drive it from outside.
class HostRunner
{
public:
    HostRunner();
    ~HostRunner();

    // Returns once start-up has finished; false if InitInstance refused.
    bool Start();
    // Posts WM_CLOSE to the host's window and waits until ExitInstance has
    // returned; true when it did within the time.
    bool Stop(DWORD dwTimeoutMs = 30000);

    HWND Window() const { return m_hWnd; }
    DWORD ThreadId() const { return m_dwThreadId; }

private:
    HostRunner(const HostRunner&);
    HostRunner& operator=(const HostRunner&);

    void Run();

    std::thread m_thread;
    HANDLE m_hStarted;
    HANDLE m_hStopped;
    BOOL m_bInitResult;
    HWND m_hWnd;
    DWORD m_dwThreadId;
};
