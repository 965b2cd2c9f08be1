#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

// Asks the host's window every 100 ms, from a thread of its own, and keeps
// the longest time it took to answer: a window that waits for a webcam, a
// worker or the driver shows here, whatever the simulation is doing.
class WindowProbe
{
public:
    static const DWORD kAnswerBoundMs = 1000;

    WindowProbe();
    ~WindowProbe();

    void Start(HWND hWnd);
    void Stop();
    DWORD LongestAnswerMs() const { return m_dwLongestMs.load(); }
    // When the longest answer began, in the simulation's seconds.
    double LongestAnswerAt() const { return m_dLongestAt.load(); }
    // Prints "Window: longest answer N ms"; false when it passed the bound.
    bool Report() const;

private:
    void Probe();

    HWND m_hWnd;
    HANDLE m_hStop;
    std::thread m_thread;
    std::atomic<DWORD> m_dwLongestMs;
    std::atomic<double> m_dLongestAt;
};
