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
extern HANDLE ghWorkerEvent;  // written, signalled and closed under the worker-event lock

// Set by NotifyStopCapture and the device-loss path; reset only by the worker
// (TakeFlag), which also takes a request made while no worker ran when it
// starts.
extern volatile BOOL gbStopCapturePending;
extern volatile BOOL gbNotifyEventRegistered;
extern volatile BOOL gbSystemSuspended;

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

// What other threads tell the worker, which alone decides what serves. A
// notice waits for the next worker when none runs.
enum WORKER_NOTICE
{
    // Reading from the webcam failed: the camera is stopped, and clients
    // that still ask get the placeholder until the webcam is tried again.
    WORKER_NOTICE_CAPTURE_FAILED = 0x1,
    // A session changed or a capture device arrived: the webcams are listed
    // again, and one that had failed is tried again.
    WORKER_NOTICE_WEBCAMS_CHANGED = 0x2,
    // The driver refused a frame, and the read loop is stopping: the camera
    // is started again after a backed-off delay, the placeholder not serving
    // meanwhile (the driver refuses frames, not the webcam).
    WORKER_NOTICE_FRAME_REFUSED = 0x4,
};

void PostWorkerNotice(LONG nNotice);
// The notices posted since the last call, as WORKER_NOTICE bits.
LONG TakeWorkerNotices();
