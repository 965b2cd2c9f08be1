#include "runbound.h"

#include <cstdio>

namespace
{
// What the host may take to end after the run's last statement: the
// worker's and the delivery thread's stops with a stalled driver, with room
// for a loaded machine.
const double kEndAllowanceS = 30.0;
}  // namespace

RunBound::RunBound(double dSeconds)
    : m_dBoundS(dSeconds + kEndAllowanceS),
      m_dwStart(GetTickCount()),
      m_hFinished(CreateEventW(NULL, TRUE, FALSE, NULL))
{
    printf("Run bound: %.1f s\n", m_dBoundS);
    fflush(stdout);
    m_watcher = std::thread(&RunBound::Watch, this);
}

RunBound::~RunBound()
{
    SetEvent(m_hFinished);
    if (m_watcher.joinable())
        m_watcher.join();
    CloseHandle(m_hFinished);
}

void RunBound::Finish()
{
    SetEvent(m_hFinished);
    if (m_watcher.joinable())
        m_watcher.join();
    printf("Run ended after %.1f s (bound %.1f s)\n", (GetTickCount() - m_dwStart) / 1000.0,
           m_dBoundS);
}

void RunBound::Watch()
{
    DWORD dwBoundMs = static_cast<DWORD>(m_dBoundS * 1000.0);
    if (WaitForSingleObject(m_hFinished, dwBoundMs) == WAIT_OBJECT_0)
        return;
    // Something the run waits for does not end: report and leave, since
    // joining the stuck threads would hang as well.
    printf("\nFAILED: the run did not end within its bound of %.1f s\n", m_dBoundS);
    fflush(stdout);
    ExitProcess(1);
}
