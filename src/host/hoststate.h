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
// Set by NotifyStopCapture and the device-loss path; reset only by the worker
// (TakeStopCaptureRequest), which also takes a request made while no worker
// ran when it starts.
extern volatile BOOL gbStopCapturePending;
extern volatile BOOL gbNotifyEventRegistered;
extern volatile BOOL gbSystemSuspended;
// A read failed: the worker, once it has stopped the camera, feeds the
// clients that still ask with the placeholder. Set by the main thread
// together with a stop request; reset by the worker when it serves that stop.
extern volatile BOOL gbCaptureFailed;

extern CMFCaptureBuilder* gpCaptureBuilder;
extern NoRealCamFrameManager* gpNoRealCamMgr;

extern HANDLE ghHeldMutex;
extern UINT_PTR gnDriverTimerId;
extern DWORD gdwLastArrivalTick;

// Asks the worker to stop the real camera and to lend the notify event again.
void NotifyStopCapture();

// Wakes the worker, if one has an event. ghWorkerEvent is published and
// closed only through the two calls below, so no thread signals a closed (and
// perhaps recycled) handle; a signal that finds none is carried by the flags,
// which a new worker reads when it starts.
void SignalWorker();
void PublishWorkerEvent(HANDLE hEvent);
void CloseWorkerEvent();

// Reads and resets a flag in one step: one owner, one reset point.
BOOL TakeFlag(volatile BOOL* pbFlag);
