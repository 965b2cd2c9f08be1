#include "host/workerthread.h"

#include <errno.h>
#include <objbase.h>
#include <process.h>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercallthread.h"
#include "driver/drivercontrol.h"
#include "driver/driverio.h"
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

// The worker's driver calls.
DRIVER_CALLER gWorkerCaller = {};

const DWORD kQueryRetryMs = 100;
const int kQueryRetries = 8;

void StartPlaceholderFrames()
{
    if (gpNoRealCamMgr != NULL)
        gpNoRealCamMgr->StartTimer();
    FrameControlManager* pPipeline = GetHostPipeline();
    if (pPipeline != NULL)
        pPipeline->StartDeliveryThread();
}

// Reads the driver's requests and starts the source they need. After a
// failed read (bCameraFailed) clients that still ask get the placeholder; the
// camera is tried again at the next change of requests or the webcam's
// return.
HRESULT ReadRequestsAndServe(bool bCameraFailed)
{
    BOOLEAN bNeedStartCapture = FALSE;
    BOOLEAN bNeedEnterSpecialMode = FALSE;
    HRESULT hr = QueryFrameInfo(&bNeedStartCapture, &bNeedEnterSpecialMode);
    if (FAILED(hr))
        return hr;
    if (gbWorkerQuit)
    {
        // Replaced while the driver answered: the window thread now waits for
        // this worker to end and could not start or stop the placeholder
        // timer for it. The next worker serves the requests, at once.
        SetEvent(ghNotifyEvent);
        return hr;
    }

    if (bNeedEnterSpecialMode)
    {
        StartPlaceholderFrames();
    }
    else if (bNeedStartCapture)
    {
        if (gpCaptureBuilder == NULL || bCameraFailed)
        {
            // No camera that can serve: the placeholder does.
            StartPlaceholderFrames();
            return hr;
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
    return hr;
}

HRESULT OnNotifyEvent()
{
    LogPrint("WorkerThreadEntry (), ghNotifyEvent is signled\n");
    ResetEvent(ghNotifyEvent);
    return ReadRequestsAndServe(false);
}

// Serves a pending stop request. The driver signals only when its clients
// change, and a client may have started while the camera was still running
// for one that left (or a failed hand-over stopped it under live clients): so
// once the camera is stopped the requests are read again, and clients that
// still ask are served at once.
HRESULT ServeStopRequest()
{
    if (!TakeFlag(&gbStopCapturePending))
        return S_OK;
    StopCaptureAndReleaseCamera();
    RegisterNotifyEvent();
    if (gpCaptureBuilder != NULL)
        gpCaptureBuilder->UninitWebcamDevice();

    bool bCameraFailed = TakeFlag(&gbCaptureFailed) != FALSE;
    if (gbWorkerQuit)
    {
        // Stopping the camera stopped the delivery thread the placeholder
        // needs.
        if (bCameraFailed)
            StartPlaceholderFrames();
        // No time to read the requests: the next worker does, at once.
        SetEvent(ghNotifyEvent);
        return S_OK;
    }
    return ReadRequestsAndServe(bCameraFailed);
}

HRESULT OnWorkerEvent()
{
    LogPrint("WorkerThreadEntry (), ghWorkerEvent is signled\n");
    return ServeStopRequest();
}

// A request query that failed on the way to the driver (not "no client", not
// "suspended") is tried again a little later, a few times: the driver will
// not signal the change it could not report.
bool QueryFailedOnTheWay(HRESULT hr)
{
    return FAILED(hr) && hr != E_FAIL;
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
    HANDLE hWorkerEvent = CreateEventExA(NULL, NULL, 0, EVENT_ALL_ACCESS);
    if (hWorkerEvent == NULL)
    {
        // A worker without its event could never be woken or stopped.
        LogPrint("CreateWorkerThread (), CreateEventEx failed (0x%08X)\n", HResultFromFailedCall());
        return;
    }
    PublishWorkerEvent(hWorkerEvent);

    unsigned nThreadID = 0;
    ghWorkerThread = reinterpret_cast<HANDLE>(
        _beginthreadex(NULL, 0, WorkerThreadEntry, NULL, 0, &nThreadID));
    if (ghWorkerThread == NULL)
    {
        LogPrint("CreateWorkerThread (), the thread could not be created (errno %d)\n", errno);
        CloseWorkerEvent();
        return;
    }
    LogPrint("CreateWorkerThread (), Thread is created with id %d\n", nThreadID);
}

void ReleaseWorkerThread()
{
    if (ghWorkerThread == NULL)
        return;

    LogPrint("ReleaseWorkerThread ()\n");
    gbWorkerQuit = TRUE;
    SignalWorker();
    if (EndDriverCallingThread(ghWorkerThread, &gWorkerCaller, kWorkerStopLimits) ==
        THREAD_TERMINATED)
    {
        LogPrint("ReleaseWorkerThread (), Force terminate worker thread\n");
        // The device it opened for the request it was blocked in.
        HANDLE hDevice = TakeDeviceOfEndedCaller(&gWorkerCaller);
        if (hDevice != INVALID_HANDLE_VALUE)
            gDriverIo.pfnCloseHandle(hDevice);
    }
    CloseHandle(ghWorkerThread);
    ghWorkerThread = NULL;
    CloseWorkerEvent();
    LogPrint("ReleaseWorkerThread (), out\n");
}

unsigned __stdcall WorkerThreadEntry(void*)
{
    TrackDriverCalls(&gWorkerCaller);
    CoInitialize(NULL);
    HANDLE phnEventArray[2] = {ghNotifyEvent, ghWorkerEvent};
    // A stop requested while no worker ran (or while this one was being
    // started) has woken nobody.
    HRESULT hrQuery = ServeStopRequest();
    int nRetries = 0;
    while (!gbWorkerQuit)
    {
        DWORD dwWaitMs = QueryFailedOnTheWay(hrQuery) && nRetries < kQueryRetries ? kQueryRetryMs
                                                                                  : INFINITE;
        LogPrint("WorkerThreadEntry (), waiting...\n");
        DWORD dwWait = WaitForMultipleObjectsEx(2, phnEventArray, FALSE, dwWaitMs, FALSE);
        if (dwWait == WAIT_OBJECT_0)
        {
            nRetries = 0;
            hrQuery = OnNotifyEvent();
        }
        else if (dwWait == WAIT_OBJECT_0 + 1)
        {
            hrQuery = OnWorkerEvent();
        }
        else if (dwWait == WAIT_TIMEOUT)
        {
            ++nRetries;
            LogPrint("WorkerThreadEntry (), reading the requests again (0x%08X)\n", hrQuery);
            hrQuery = ReadRequestsAndServe(false);
        }
        else
        {
            // Never spin on a wait that cannot succeed.
            LogPrint("WorkerThreadEntry (), wait failed (0x%08X)\n", HResultFromFailedCall());
            break;
        }
    }
    NotifyServerQuit();
    LogPrint("WorkerThreadEntry (), Quit\n");
    CoUninitialize();
    return 0;
}
