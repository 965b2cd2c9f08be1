#include "driver/drivercallthread.h"

#include "driver/driverio.h"

namespace
{
const DWORD kCancelRepeatMs = 50;
const DWORD kTerminatedWaitMs = 1000;

// Per thread: where its driver calls are marked. A TLS slot rather than a
// thread_local, which may allocate on first use.
const DWORD gdwDriverCallSlot = TlsAlloc();

bool IsInDriverCall(DRIVER_CALLER* pCaller)
{
    return pCaller != NULL && InterlockedCompareExchange(&pCaller->nInDriverCall, 0, 0) != 0;
}

// Terminates hThread only while it is blocked in the driver. Suspended
// first, so that it cannot leave the call between the check and the end.
bool TerminateIfParkedInDriver(HANDLE hThread, DRIVER_CALLER* pCaller)
{
    if (SuspendThread(hThread) == static_cast<DWORD>(-1))
        return false;
    if (!IsInDriverCall(pCaller))
    {
        ResumeThread(hThread);
        return false;
    }
    TerminateThread(hThread, 0);
    WaitForSingleObject(hThread, kTerminatedWaitMs);
    return true;
}
}  // namespace

void TrackDriverCalls(DRIVER_CALLER* pCaller)
{
    if (gdwDriverCallSlot != TLS_OUT_OF_INDEXES)
        TlsSetValue(gdwDriverCallSlot, pCaller);
}

BOOL CallDriver(HANDLE hDevice, DWORD dwIoControlCode, LPVOID pInBuffer, DWORD cbInBuffer,
                LPVOID pOutBuffer, DWORD cbOutBuffer, LPDWORD pcbReturned)
{
    DRIVER_CALLER* pCaller = gdwDriverCallSlot != TLS_OUT_OF_INDEXES
                                 ? static_cast<DRIVER_CALLER*>(TlsGetValue(gdwDriverCallSlot))
                                 : NULL;
    if (pCaller != NULL)
    {
        pCaller->hDevice = hDevice;
        InterlockedExchange(&pCaller->nInDriverCall, 1);
    }
    BOOL bDone = gDriverIo.pfnDeviceIoControl(hDevice, dwIoControlCode, pInBuffer, cbInBuffer,
                                              pOutBuffer, cbOutBuffer, pcbReturned, NULL);
    DWORD dwError = GetLastError();
    if (pCaller != NULL)
        InterlockedExchange(&pCaller->nInDriverCall, 0);
    SetLastError(dwError);
    return bDone;
}

namespace
{
// Cancels only a call that is inside the driver: a cancellation that met
// the thread elsewhere could abort its own I/O (a webcam being opened).
THREAD_END WaitWhileCancelling(HANDLE hThread, DRIVER_CALLER* pCaller,
                               const THREAD_END_LIMITS& limits, bool bTerminateBusyThread)
{
    DWORD dwStart = GetTickCount();
    if (WaitForSingleObject(hThread, limits.dwGraceMs) == WAIT_OBJECT_0)
        return THREAD_ENDED;
    for (;;)
    {
        if (IsInDriverCall(pCaller))
            gDriverIo.pfnCancelSynchronousIo(hThread);
        if (WaitForSingleObject(hThread, kCancelRepeatMs) == WAIT_OBJECT_0)
            return THREAD_ENDED;
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= limits.dwParkedMs && TerminateIfParkedInDriver(hThread, pCaller))
            return THREAD_TERMINATED;
        if (dwElapsed >= limits.dwLastResortMs && !IsInDriverCall(pCaller))
            break;
    }
    if (!bTerminateBusyThread)
        return THREAD_LEFT_BEHIND;
    TerminateThread(hThread, 0);
    WaitForSingleObject(hThread, kTerminatedWaitMs);
    return THREAD_TERMINATED;
}
}  // namespace

THREAD_END EndDriverCallingThread(HANDLE hThread, DRIVER_CALLER* pCaller,
                                  const THREAD_END_LIMITS& limits)
{
    return WaitWhileCancelling(hThread, pCaller, limits, true);
}

THREAD_END EndOrLeaveDriverCallingThread(HANDLE hThread, DRIVER_CALLER* pCaller,
                                         const THREAD_END_LIMITS& limits)
{
    return WaitWhileCancelling(hThread, pCaller, limits, false);
}

HANDLE TakeDeviceOfEndedCaller(DRIVER_CALLER* pCaller)
{
    HANDLE hDevice = IsInDriverCall(pCaller) ? pCaller->hDevice : INVALID_HANDLE_VALUE;
    InterlockedExchange(&pCaller->nInDriverCall, 0);
    pCaller->hDevice = INVALID_HANDLE_VALUE;
    return hDevice;
}
