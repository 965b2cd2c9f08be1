#include "host/hoststate.h"

#include "diagnostics/survivinglock.h"

HINSTANCE ghInstance = NULL;
HWND ghMainWnd = NULL;
CRITICAL_SECTION gcsDeviceChange;
HDEVNOTIFY ghDevNotify = NULL;

HANDLE ghServerExistEvent = NULL;
HANDLE ghNotifyEvent = NULL;
HANDLE ghReleaseCameraEvent = NULL;

HANDLE ghWorkerThread = NULL;
HANDLE ghWorkerEvent = NULL;

volatile BOOL gbStopCapturePending = FALSE;
volatile BOOL gbNotifyEventRegistered = FALSE;
volatile BOOL gbSystemSuspended = FALSE;

CMFCaptureBuilder* gpCaptureBuilder = NULL;
NoRealCamFrameManager* gpNoRealCamMgr = NULL;

HANDLE ghHeldMutex = NULL;
UINT_PTR gnDriverTimerId = 0;
DWORD gdwLastArrivalTick = 0;

namespace
{
// Guards ghWorkerEvent between the threads that signal it and the main
// thread, which replaces it; held only around SetEvent and the swap. The
// signalling threads may be ended by force.
SurvivingLock gWorkerEventLock;

volatile LONG gnWorkerNotices = 0;
}  // namespace

void NotifyStopCapture()
{
    gbNotifyEventRegistered = FALSE;
    gbStopCapturePending = TRUE;
    SignalWorker();
}

void SignalWorker()
{
    SurvivingLockGuard guard(gWorkerEventLock);
    if (ghWorkerEvent != NULL)
        SetEvent(ghWorkerEvent);
}

void PublishWorkerEvent(HANDLE hEvent)
{
    SurvivingLockGuard guard(gWorkerEventLock);
    ghWorkerEvent = hEvent;
}

void CloseWorkerEvent()
{
    SurvivingLockGuard guard(gWorkerEventLock);
    if (ghWorkerEvent != NULL)
        CloseHandle(ghWorkerEvent);
    ghWorkerEvent = NULL;
}

BOOL TakeFlag(volatile BOOL* pbFlag)
{
    return InterlockedExchange(reinterpret_cast<volatile LONG*>(pbFlag), FALSE) != FALSE;
}

void PostWorkerNotice(LONG nNotice)
{
    InterlockedOr(&gnWorkerNotices, nNotice);
    SignalWorker();
}

LONG TakeWorkerNotices()
{
    return InterlockedExchange(&gnWorkerNotices, 0);
}
