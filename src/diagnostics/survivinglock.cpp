#include "diagnostics/survivinglock.h"

SurvivingLock::SurvivingLock() : m_hMutex(CreateMutexW(NULL, FALSE, NULL)) {}

SurvivingLock::~SurvivingLock()
{
    if (m_hMutex != NULL)
        CloseHandle(m_hMutex);
}

void SurvivingLock::Lock()
{
    // WAIT_ABANDONED: the owner was terminated while it held the lock; the
    // lock is ours now, and what it guarded is as that owner left it.
    WaitForSingleObject(m_hMutex, INFINITE);
}

void SurvivingLock::Unlock()
{
    ReleaseMutex(m_hMutex);
}
