#include "windowprobe.h"

#include <stdio.h>

#include "simulation.h"

namespace
{
const DWORD kProbePeriodMs = 100;
// Beyond this a window counts as not answering at all.
const DWORD kGiveUpMs = 10000;
}  // namespace

WindowProbe::WindowProbe()
    : m_hWnd(NULL),
      m_hStop(CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_dwLongestMs(0),
      m_dLongestAt(0)
{
}

WindowProbe::~WindowProbe()
{
    Stop();
    CloseHandle(m_hStop);
}

void WindowProbe::Start(HWND hWnd)
{
    m_hWnd = hWnd;
    ResetEvent(m_hStop);
    m_thread = std::thread(&WindowProbe::Probe, this);
}

void WindowProbe::Stop()
{
    if (!m_thread.joinable())
        return;
    SetEvent(m_hStop);
    m_thread.join();
}

void WindowProbe::Probe()
{
    while (WaitForSingleObject(m_hStop, kProbePeriodMs) == WAIT_TIMEOUT)
    {
        double dAt = Now();
        DWORD dwStart = GetTickCount();
        DWORD_PTR dwResult = 0;
        DWORD dwMs = SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &dwResult)
                         ? GetTickCount() - dwStart
                         : kGiveUpMs;
        if (dwMs > m_dwLongestMs.load())
        {
            m_dwLongestMs.store(dwMs);
            m_dLongestAt.store(dAt);
        }
    }
}

bool WindowProbe::Report() const
{
    DWORD dwLongest = LongestAnswerMs();
    printf("Window: longest answer %u ms\n", static_cast<unsigned>(dwLongest));
    if (dwLongest <= kAnswerBoundMs)
        return true;
    printf("FAILED: the window took %u ms to answer at %.1f s (bound %u ms)\n",
           static_cast<unsigned>(dwLongest), LongestAnswerAt(),
           static_cast<unsigned>(kAnswerBoundMs));
    return false;
}
