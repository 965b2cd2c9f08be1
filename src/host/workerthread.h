#pragma once

#include <windows.h>

// The worker thread answers the driver: on the notify event it reads the
// frame requests and starts the camera or the placeholder; on the worker
// event it stops the camera when asked to.
void CreateWorkerThread();
void ReleaseWorkerThread();
void StopCaptureAndReleaseCamera();

unsigned __stdcall WorkerThreadEntry(void* pArgument);
