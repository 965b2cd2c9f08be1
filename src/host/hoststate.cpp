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
    gWorkerEventLock.Lock();
    if (ghWorkerEvent != NULL)
        SetEvent(ghWorkerEvent);
    gWorkerEventLock.Unlock();
}

void PublishWorkerEvent(HANDLE hEvent)
{
    gWorkerEventLock.Lock();
    ghWorkerEvent = hEvent;
    gWorkerEventLock.Unlock();
}

void CloseWorkerEvent()
{
    gWorkerEventLock.Lock();
    if (ghWorkerEvent != NULL)
        CloseHandle(ghWorkerEvent);
    ghWorkerEvent = NULL;
    gWorkerEventLock.Unlock();
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
