#include "host/retrybackoff.h"

RetryBackoff::RetryBackoff(DWORD dwFirstDelayMs, DWORD dwMaxDelayMs)
    : m_dwFirstDelayMs(dwFirstDelayMs),
      m_dwMaxDelayMs(dwMaxDelayMs),
      m_dwNextDelayMs(dwFirstDelayMs),
      m_dwDueAt(0),
      m_bPending(false)
{
}

DWORD RetryBackoff::Fail(DWORD dwNow)
{
    DWORD dwDelayMs = m_dwNextDelayMs;
    m_dwDueAt = dwNow + dwDelayMs;
    m_bPending = true;
    m_dwNextDelayMs = dwDelayMs >= m_dwMaxDelayMs / 2 ? m_dwMaxDelayMs : dwDelayMs * 2;
    return dwDelayMs;
}

void RetryBackoff::Reset()
{
    m_bPending = false;
    m_dwNextDelayMs = m_dwFirstDelayMs;
}

bool RetryBackoff::IsDue(DWORD dwNow) const
{
    // Signed difference: the tick counter wraps every 49.7 days.
    return m_bPending && static_cast<LONG>(dwNow - m_dwDueAt) >= 0;
}

bool RetryBackoff::TakeDue(DWORD dwNow)
{
    if (!IsDue(dwNow))
        return false;
    m_bPending = false;
    return true;
}

DWORD RetryBackoff::WaitMs(DWORD dwNow) const
{
    if (!m_bPending)
        return INFINITE;
    return IsDue(dwNow) ? 0 : m_dwDueAt - dwNow;
}
