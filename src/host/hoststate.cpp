#include "host/hoststate.h"

HINSTANCE ghInstance = NULL;
HWND ghMainWnd = NULL;
CRITICAL_SECTION gcsDeviceChange;
HDEVNOTIFY ghDevNotify = NULL;

HANDLE ghServerExistEvent = NULL;
HANDLE ghNotifyEvent = NULL;
HANDLE ghReleaseCameraEvent = NULL;

HANDLE ghWorkerThread = NULL;
HANDLE ghWorkerEvent = NULL;

volatile BOOL gbWorkerQuit = FALSE;
volatile BOOL gbStopCapturePending = FALSE;
volatile BOOL gbNotifyEventRegistered = FALSE;
volatile BOOL gbSystemSuspended = FALSE;
volatile BOOL gbCaptureFailed = FALSE;

CMFCaptureBuilder* gpCaptureBuilder = NULL;
NoRealCamFrameManager* gpNoRealCamMgr = NULL;

HANDLE ghHeldMutex = NULL;
UINT_PTR gnDriverTimerId = 0;
DWORD gdwLastArrivalTick = 0;

void NotifyStopCapture()
{
    gbNotifyEventRegistered = FALSE;
    gbStopCapturePending = TRUE;
    SetEvent(ghWorkerEvent);
}
