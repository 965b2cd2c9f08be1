#include "host/workerthread.h"

#include <objbase.h>
#include <process.h>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercallthread.h"
#include "driver/drivercontrol.h"
#include "driver/framerequestquery.h"
#include "host/hostpipeline.h"
#include "host/hoststate.h"
#include "pipeline/framecontrolmanager.h"
#include "placeholder/norealcamframemanager.h"

namespace
{
// The worker is given a second to end; then its driver call, if it is
// blocked in one, is cancelled. It is terminated only while blocked in the
// driver (where it holds no lock), or after the full ten seconds.
const THREAD_END_LIMITS kWorkerStopLimits = {1000, 2000, 10000};

// 1 while the worker is inside a driver call.
volatile LONG gnWorkerInDriverCall = 0;

void StartPlaceholderFrames()
{
    if (gpNoRealCamMgr != NULL)
        gpNoRealCamMgr->StartTimer();
    FrameControlManager* pPipeline = GetHostPipeline();
    if (pPipeline != NULL)
        pPipeline->StartDeliveryThread();
}

void OnNotifyEvent()
{
    LogPrint("WorkerThreadEntry (), ghNotifyEvent is signled\n");
    ResetEvent(ghNotifyEvent);

    BOOLEAN bNeedStartCapture = FALSE;
    BOOLEAN bNeedEnterSpecialMode = FALSE;
    if (FAILED(QueryFrameInfo(&bNeedStartCapture, &bNeedEnterSpecialMode)))
        return;

    if (bNeedEnterSpecialMode)
    {
        StartPlaceholderFrames();
    }
    else if (bNeedStartCapture)
    {
        if (gpCaptureBuilder == NULL)
        {
            // No capture builder, no camera: the placeholder serves.
            StartPlaceholderFrames();
            return;
        }
        if (gpNoRealCamMgr != NULL)
            gpNoRealCamMgr->StopTimer();
        if (FAILED(gpCaptureBuilder->InitWebcamDevice()))
        {
            StartPlaceholderFrames();
            gpCaptureBuilder->UninitWebcamDevice();
        }
        else
        {
            gpCaptureBuilder->StartCapture();
        }
    }
}

void OnWorkerEvent()
{
    LogPrint("WorkerThreadEntry (), ghWorkerEvent is signled\n");
    if (!gbStopCapturePending)
        return;
    StopCaptureAndReleaseCamera();
    gbStopCapturePending = FALSE;
    RegisterNotifyEvent();
    if (gpCaptureBuilder != NULL)
        gpCaptureBuilder->UninitWebcamDevice();
    // Stopping the camera stopped the delivery thread the placeholder needs.
    if (gbCaptureFailed)
    {
        gbCaptureFailed = FALSE;
        StartPlaceholderFrames();
    }
}
}  // namespace

void StopCaptureAndReleaseCamera()
{
    if (gpCaptureBuilder == NULL)
        return;
    gpCaptureBuilder->StopCapture();
    SetEvent(ghReleaseCameraEvent);
}

void CreateWorkerThread()
{
    ReleaseWorkerThread();

    gbNotifyEventRegistered = FALSE;
    if (FAILED(RegisterNotifyEvent()))
        return;

    LogPrint("CreateWorkerThread ()\n");
    gbWorkerQuit = FALSE;
    ghWorkerEvent = CreateEventExA(NULL, NULL, 0, EVENT_ALL_ACCESS);

    unsigned nThreadID = 0;
    ghWorkerThread = reinterpret_cast<HANDLE>(
        _beginthreadex(NULL, 0, WorkerThreadEntry, NULL, 0, &nThreadID));
    LogPrint("CreateWorkerThread (), Thread is created with id %d\n", nThreadID);
}

void ReleaseWorkerThread()
{
    if (ghWorkerThread == NULL)
        return;

    LogPrint("ReleaseWorkerThread ()\n");
    gbWorkerQuit = TRUE;
    SetEvent(ghWorkerEvent);
    if (EndDriverCallingThread(ghWorkerThread, &gnWorkerInDriverCall, kWorkerStopLimits) ==
        THREAD_TERMINATED)
    {
        LogPrint("ReleaseWorkerThread (), Force terminate worker thread\n");
        InterlockedExchange(&gnWorkerInDriverCall, 0);
    }
    CloseHandle(ghWorkerThread);
    CloseHandle(ghWorkerEvent);
    ghWorkerThread = NULL;
    ghWorkerEvent = NULL;
    LogPrint("ReleaseWorkerThread (), out\n");
}

unsigned __stdcall WorkerThreadEntry(void*)
{
    TrackDriverCalls(&gnWorkerInDriverCall);
    CoInitialize(NULL);
    HANDLE phnEventArray[2] = {ghNotifyEvent, ghWorkerEvent};
    while (!gbWorkerQuit)
    {
        LogPrint("WorkerThreadEntry (), waiting...\n");
        DWORD dwWait = WaitForMultipleObjectsEx(2, phnEventArray, FALSE, INFINITE, FALSE);
        if (dwWait == WAIT_OBJECT_0)
            OnNotifyEvent();
        else if (dwWait == WAIT_OBJECT_0 + 1)
            OnWorkerEvent();
    }
    NotifyServerQuit();
    LogPrint("WorkerThreadEntry (), Quit\n");
    CoUninitialize();
    return 0;
}
