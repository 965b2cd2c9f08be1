#pragma once

#include <windows.h>

// A recursive lock that outlives an owner ended by force. A critical section
// whose owner was terminated stays owned for ever; this unnamed mutex is
// abandoned instead, and the next thread to lock it owns it. Use it for any
// lock a thread may hold when the process has to terminate that thread.
class SurvivingLock
{
public:
    SurvivingLock();
    ~SurvivingLock();

    void Lock();
    void Unlock();

private:
    SurvivingLock(const SurvivingLock&);
    SurvivingLock& operator=(const SurvivingLock&);

    HANDLE m_hMutex;
};
