#pragma once

#include <windows.h>

// The worker thread answers the driver and alone decides what serves it:
// the webcam, the placeholder or nothing. Other threads tell it what
// happened (the driver's notify event, NotifyStopCapture, PostWorkerNotice)
// and never wait for it for more than a moment.

// Starts a new worker in place of the running one, without waiting for it:
// the new worker ends the old one (which tells the driver that it quits),
// lends the notify event anew and reads the requests.
void CreateWorkerThread();
// Ends the running worker and waits for it, within bounds: a worker blocked
// in the driver is cancelled and, if need be, terminated there; one busy
// elsewhere is left running. Returns FALSE when it was left running, so
// that the caller keeps its hands off what that worker may still hold.
BOOL ReleaseWorkerThread();
// Asks the running worker to end after it has served a pending stop; it
// closes hMutex once it has. Without a running worker the mutex is closed
// at once. Does not wait.
void EndWorkerAfterStop(HANDLE hMutex);
void StopCaptureAndReleaseCamera();

unsigned __stdcall WorkerThreadEntry(void* pArgument);
