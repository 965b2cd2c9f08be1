#pragma once

#include <windows.h>

// When to try again something that keeps failing: the first delay, then
// twice the last one up to a ceiling, back to the first after a success.
// Times are milliseconds of one 32-bit tick counter that the caller passes
// in, so that a test steps time instead of waiting for it.
class RetryBackoff
{
public:
    RetryBackoff(DWORD dwFirstDelayMs, DWORD dwMaxDelayMs);

    // A try failed at dwNow: the next one is due one delay later. Returns
    // that delay.
    DWORD Fail(DWORD dwNow);
    // A try succeeded: nothing is due, and the next failure waits the first
    // delay again.
    void Reset();

    bool IsPending() const { return m_bPending; }
    bool IsDue(DWORD dwNow) const;
    // A try that is due is taken: nothing is pending any more, and the next
    // failure waits the next delay of the series.
    bool TakeDue(DWORD dwNow);
    // How long a wait at dwNow may last: INFINITE with nothing pending.
    DWORD WaitMs(DWORD dwNow) const;

private:
    DWORD m_dwFirstDelayMs;
    DWORD m_dwMaxDelayMs;
    DWORD m_dwNextDelayMs;
    DWORD m_dwDueAt;
    bool m_bPending;
};
