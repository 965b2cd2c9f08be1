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

// Holds a SurvivingLock from its construction to the end of its scope, so
// that no return path can leave the lock held.
class SurvivingLockGuard
{
public:
    explicit SurvivingLockGuard(SurvivingLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~SurvivingLockGuard() { m_lock.Unlock(); }

private:
    SurvivingLockGuard(const SurvivingLockGuard&);
    SurvivingLockGuard& operator=(const SurvivingLockGuard&);

    SurvivingLock& m_lock;
};
