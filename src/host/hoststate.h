#pragma once

#include <windows.h>

class CMFCaptureBuilder;
class NoRealCamFrameManager;

// Process-wide state of the host. Handles and pointers are written on the main
// thread during start-up and shutdown only; the flags are plain 32-bit values
// that every writer sets before it signals ghWorkerEvent, so the worker reads
// them after it wakes.

extern HINSTANCE ghInstance;
extern HWND ghMainWnd;
extern CRITICAL_SECTION gcsDeviceChange;
extern HDEVNOTIFY ghDevNotify;

extern HANDLE ghServerExistEvent;    // lent to the driver, kept signalled while the session lasts
extern HANDLE ghNotifyEvent;         // signalled by the driver when its requests change
extern HANDLE ghReleaseCameraEvent;  // signalled by the host each time the camera is stopped

extern HANDLE ghWorkerThread;
extern HANDLE ghWorkerEvent;

extern volatile BOOL gbWorkerQuit;
extern volatile BOOL gbStopCapturePending;
extern volatile BOOL gbNotifyEventRegistered;
extern volatile BOOL gbSystemSuspended;
// A read failed: the worker, once it has stopped the camera, keeps the
// placeholder fed instead.
extern volatile BOOL gbCaptureFailed;

extern CMFCaptureBuilder* gpCaptureBuilder;
extern NoRealCamFrameManager* gpNoRealCamMgr;

extern HANDLE ghHeldMutex;
extern UINT_PTR gnDriverTimerId;
extern DWORD gdwLastArrivalTick;

// Asks the worker to stop the real camera and to lend the notify event again.
void NotifyStopCapture();
