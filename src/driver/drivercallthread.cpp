#include "driver/drivercallthread.h"

#include "driver/driverio.h"

namespace
{
const DWORD kCancelRepeatMs = 50;
const DWORD kTerminatedWaitMs = 1000;

// Per thread: where its driver calls are marked. A TLS slot rather than a
// thread_local, which may allocate on first use.
const DWORD gdwDriverCallSlot = TlsAlloc();

bool IsInDriverCall(volatile LONG* pnInDriverCall)
{
    return pnInDriverCall != NULL && InterlockedCompareExchange(pnInDriverCall, 0, 0) != 0;
}

// Terminates hThread only while it is blocked in the driver. Suspended
// first, so that it cannot leave the call between the check and the end.
bool TerminateIfParkedInDriver(HANDLE hThread, volatile LONG* pnInDriverCall)
{
    if (SuspendThread(hThread) == static_cast<DWORD>(-1))
        return false;
    if (!IsInDriverCall(pnInDriverCall))
    {
        ResumeThread(hThread);
        return false;
    }
    TerminateThread(hThread, 0);
    WaitForSingleObject(hThread, kTerminatedWaitMs);
    return true;
}
}  // namespace

void TrackDriverCalls(volatile LONG* pnInDriverCall)
{
    if (gdwDriverCallSlot != TLS_OUT_OF_INDEXES)
        TlsSetValue(gdwDriverCallSlot, const_cast<LONG*>(pnInDriverCall));
}

BOOL CallDriver(HANDLE hDevice, DWORD dwIoControlCode, LPVOID pInBuffer, DWORD cbInBuffer,
                LPVOID pOutBuffer, DWORD cbOutBuffer, LPDWORD pcbReturned)
{
    volatile LONG* pnInDriverCall =
        gdwDriverCallSlot != TLS_OUT_OF_INDEXES
            ? static_cast<volatile LONG*>(TlsGetValue(gdwDriverCallSlot))
            : NULL;
    if (pnInDriverCall != NULL)
        InterlockedExchange(pnInDriverCall, 1);
    BOOL bDone = gDriverIo.pfnDeviceIoControl(hDevice, dwIoControlCode, pInBuffer, cbInBuffer,
                                              pOutBuffer, cbOutBuffer, pcbReturned, NULL);
    DWORD dwError = GetLastError();
    if (pnInDriverCall != NULL)
        InterlockedExchange(pnInDriverCall, 0);
    SetLastError(dwError);
    return bDone;
}

THREAD_END EndDriverCallingThread(HANDLE hThread, volatile LONG* pnInDriverCall,
                                  const THREAD_END_LIMITS& limits)
{
    DWORD dwStart = GetTickCount();
    if (WaitForSingleObject(hThread, limits.dwGraceMs) == WAIT_OBJECT_0)
        return THREAD_ENDED;
    for (;;)
    {
        gDriverIo.pfnCancelSynchronousIo(hThread);
        if (WaitForSingleObject(hThread, kCancelRepeatMs) == WAIT_OBJECT_0)
            return THREAD_ENDED;
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= limits.dwLastResortMs)
            break;
        if (dwElapsed >= limits.dwParkedMs && TerminateIfParkedInDriver(hThread, pnInDriverCall))
            return THREAD_TERMINATED;
    }
    TerminateThread(hThread, 0);
    WaitForSingleObject(hThread, kTerminatedWaitMs);
    return THREAD_TERMINATED;
}
