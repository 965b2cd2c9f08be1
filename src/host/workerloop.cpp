#include <windows.h>

#include <algorithm>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercontrol.h"
#include "driver/framerequestquery.h"
#include "host/hostclock.h"
#include "host/hostpipeline.h"
#include "host/hoststate.h"
#include "host/retrybackoff.h"
#include "host/servingplan.h"
#include "host/workercontext.h"
#include "host/workerthread.h"
#include "pipeline/framecontrolmanager.h"
#include "placeholder/norealcamframemanager.h"

namespace
{
// A read of the requests that failed on the way to the driver is tried
// again, sooner at first: the driver will not signal the change it could
// not report.
const DWORD kReadRetryFirstMs = 100;
const DWORD kReadRetryMaxMs = 5000;
// A webcam that takes longer than this to open has its clients served the
// placeholder meanwhile.
const DWORD kPlaceholderWhileOpeningMs = 500;

// A webcam that failed, fell silent or had its frames refused is tried
// again after this, doubling up to the ceiling; the delay starts over after
// a spell of good streaming.
const DWORD kWebcamRetryFirstMs = 500;
const DWORD kWebcamRetryMaxMs = 30000;
const DWORD kGoodStreamingMs = 10000;
// A streaming webcam that sends nothing for this long has failed, whatever
// it reports.
const DWORD kSilentWebcamMs = 2000;
const DWORD kWatchdogPeriodMs = 250;

enum WEBCAM_WAIT
{
    WEBCAM_READY,          // it may be opened whenever clients ask
    WEBCAM_AFTER_FAILURE,  // it failed to open or to read: the placeholder serves meanwhile
    WEBCAM_AFTER_REFUSAL,  // the driver refused its frames: nothing serves meanwhile
};

// What the worker knows between passes; nobody else reads or writes it.
struct WORKER_STATE
{
    WORKER_STATE()
        : bMustRead(true),
          bFrameRefused(false),
          eWebcamWait(WEBCAM_READY),
          dwStreamingSince(0),
          readRetry(kReadRetryFirstMs, kReadRetryMaxMs),
          webcamRetry(kWebcamRetryFirstMs, kWebcamRetryMaxMs)
    {
    }

    // The requests must be read: at the start (the driver's clients may
    // have changed while no worker listened), on the driver's signal, after
    // every stop it serves, and until a failed read succeeds.
    bool bMustRead;
    // The driver refused a frame since the camera last started.
    bool bFrameRefused;
    WEBCAM_WAIT eWebcamWait;
    DWORD dwStreamingSince;
    RetryBackoff readRetry;
    RetryBackoff webcamRetry;
};

// Waiting for its retry; once the retry is taken the webcam is opened when
// clients next ask for it.
bool IsWebcamWaiting(const WORKER_STATE& state)
{
    return state.eWebcamWait != WEBCAM_READY && state.webcamRetry.IsPending();
}

// The webcam is tried again later, the placeholder serving meanwhile or not.
void PutWebcamOff(WORKER_STATE* pState, WEBCAM_WAIT eWait, const char* pszWhy)
{
    DWORD dwNow = HostClockNow();
    if (pState->dwStreamingSince != 0 && dwNow - pState->dwStreamingSince >= kGoodStreamingMs)
        pState->webcamRetry.Reset();
    pState->dwStreamingSince = 0;
    pState->eWebcamWait = eWait;
    DWORD dwDelayMs = pState->webcamRetry.Fail(dwNow);
    LogPrint("WorkerThreadEntry (), %s: the webcam is tried again in %u ms\n", pszWhy, dwDelayMs);
}

void StartPlaceholderFrames()
{
    if (gpNoRealCamMgr != NULL)
        gpNoRealCamMgr->StartTimer();
    FrameControlManager* pPipeline = GetHostPipeline();
    if (pPipeline != NULL)
        pPipeline->KeepDeliveryThreadRunning();
}

void StopPlaceholderFrames()
{
    if (gpNoRealCamMgr != NULL)
        gpNoRealCamMgr->StopTimer();
}

// A stop asked of a camera that is not streaming (the last read of one
// already stopped on a loss) is nobody's: stopping again would tell the
// driver twice that the camera is free.
void ServeStop(WORKER* pWorker)
{
    if (gpCaptureBuilder == NULL || !gpCaptureBuilder->IsStreaming())
    {
        LogPrint("WorkerThreadEntry (), no camera streams; nothing to stop\n");
        return;
    }
    StopCaptureAndReleaseCamera();
    // A stop may wait seconds for a stalled delivery; a successor may have
    // taken over meanwhile.
    if (IsGivenUp(pWorker))
        return;
    RegisterNotifyEvent();
    gpCaptureBuilder->UninitWebcamDevice();
}

void ServeNotices(WORKER* pWorker, WORKER_STATE* pState)
{
    bool bStop = TakeFlag(&gbStopCapturePending) != FALSE;
    LONG nNotices = TakeWorkerNotices();
    if (nNotices & WORKER_NOTICE_FRAME_REFUSED)
        pState->bFrameRefused = true;
    bool bFailed = (nNotices & WORKER_NOTICE_CAPTURE_FAILED) != 0;
    if (!bFailed && gpCaptureBuilder != NULL && gpCaptureBuilder->IsSilentFor(kSilentWebcamMs))
    {
        LogPrint("WorkerThreadEntry (), no sample for %u ms\n", kSilentWebcamMs);
        bFailed = true;
    }
    if (bFailed || bStop)
    {
        bool bWasStreaming = gpCaptureBuilder != NULL && gpCaptureBuilder->IsStreaming();
        // The stop may wait a second for a read the lost webcam never
        // answers; the placeholder already serves meanwhile, through the
        // delivery thread that still runs.
        if (bFailed && bWasStreaming && gpNoRealCamMgr != NULL)
            gpNoRealCamMgr->StartTimer();
        ServeStop(pWorker);
        pState->bMustRead = true;
        if (bFailed)
            PutWebcamOff(pState, WEBCAM_AFTER_FAILURE, "the webcam failed");
        // The stop ended the delivery thread the placeholder needs; the
        // read that follows stops the placeholder if no client is left.
        if (bFailed && bWasStreaming && !IsGivenUp(pWorker))
            StartPlaceholderFrames();
        else if (bWasStreaming && pState->bFrameRefused)
            PutWebcamOff(pState, WEBCAM_AFTER_REFUSAL, "the driver refused a frame");
        pState->bFrameRefused = false;
        pState->dwStreamingSince = 0;
    }
    if ((nNotices & WORKER_NOTICE_WEBCAMS_CHANGED) && !IsGivenUp(pWorker))
    {
        if (gpCaptureBuilder != NULL)
            gpCaptureBuilder->enumWebcamDevices();
        // A webcam that failed may be back, or another one there.
        pState->eWebcamWait = WEBCAM_READY;
        pState->webcamRetry.Reset();
        pState->bMustRead = true;
    }
}

void StartWebcam(WORKER* pWorker, WORKER_STATE* pState)
{
    // Clients are not left without pictures while a slow webcam opens; a
    // placeholder already serving goes on until the webcam does.
    if (gpNoRealCamMgr != NULL)
        gpNoRealCamMgr->StartTimerUnlessStoppedWithin(kPlaceholderWhileOpeningMs);
    FrameControlManager* pPipeline = GetHostPipeline();
    if (pPipeline != NULL)
        pPipeline->KeepDeliveryThreadRunning();

    HRESULT hr = gpCaptureBuilder->InitWebcamDevice();
    // Opening a webcam may take seconds; the host may have moved on.
    if (IsGivenUp(pWorker))
        return;
    if (FAILED(hr))
    {
        PutWebcamOff(pState, WEBCAM_AFTER_FAILURE, "the webcam could not be opened");
        StartPlaceholderFrames();
        gpCaptureBuilder->UninitWebcamDevice();
        return;
    }
    gpCaptureBuilder->StartCapture();
    pState->eWebcamWait = WEBCAM_READY;
    pState->bFrameRefused = false;
    pState->dwStreamingSince = HostClockNow();
    StopPlaceholderFrames();
}

void ReadAndServe(WORKER* pWorker, WORKER_STATE* pState)
{
    BOOLEAN bNeedStartCapture = FALSE;
    BOOLEAN bNeedEnterSpecialMode = FALSE;
    FRAME_REQUEST_READ eRead = REQUESTS_FAILED;
    HRESULT hr = QueryFrameInfo(&bNeedStartCapture, &bNeedEnterSpecialMode, &eRead);
    if (IsGivenUp(pWorker))
        return;

    SERVING_FACTS facts = {};
    facts.eRead = eRead;
    facts.bTeExeAsks = bNeedEnterSpecialMode != FALSE;
    facts.bWebcamStreaming = gpCaptureBuilder != NULL && gpCaptureBuilder->IsStreaming();
    facts.bWebcamCanServe = bNeedStartCapture != FALSE || facts.bWebcamStreaming;
    facts.bWebcamUsable = gpCaptureBuilder != NULL && !IsWebcamWaiting(*pState);
    facts.bPlaceholderWhileWebcamWaits =
        gpCaptureBuilder == NULL || pState->eWebcamWait != WEBCAM_AFTER_REFUSAL;
    SERVING_PLAN plan = PlanServing(facts);

    if (plan.bRetryRead)
    {
        DWORD dwDelayMs = pState->readRetry.Fail(HostClockNow());
        LogPrint("WorkerThreadEntry (), reading the requests again in %u ms (0x%08X)\n", dwDelayMs,
                 hr);
        return;
    }
    pState->readRetry.Reset();
    pState->bMustRead = false;
    if (plan.bLeaveAsIs)
        return;
    if (plan.bNoClient)
    {
        if (gpCaptureBuilder != NULL)
            gpCaptureBuilder->ForgetWebcamInUse();
        // The next client tries the webcam afresh.
        pState->eWebcamWait = WEBCAM_READY;
        pState->webcamRetry.Reset();
    }
    if (plan.bStartWebcam)
    {
        // A worker asked to end leaves the opening to the next one, which
        // reads the requests as it starts.
        if (!IsQuitAsked(pWorker))
            StartWebcam(pWorker, pState);
        return;
    }
    if (plan.bPlaceholder)
        StartPlaceholderFrames();
    else
        StopPlaceholderFrames();
}

DWORD WaitForNews(WORKER* pWorker, WORKER_STATE* pState)
{
    DWORD dwNow = HostClockNow();
    DWORD dwWaitMs = INFINITE;
    if (pState->bMustRead)
        dwWaitMs = pState->readRetry.IsPending() ? pState->readRetry.WaitMs(dwNow) : 0;
    // A webcam waiting to be tried again is, when its time comes, by a read
    // of the requests: clients may have gone meanwhile.
    if (IsWebcamWaiting(*pState))
        dwWaitMs = std::min(dwWaitMs, pState->webcamRetry.WaitMs(dwNow));
    // The watchdog of a streaming webcam.
    if (gpCaptureBuilder != NULL && pState->dwStreamingSince != 0)
        dwWaitMs = std::min(dwWaitMs, kWatchdogPeriodMs);
    HANDLE phnEventArray[2] = {ghNotifyEvent, pWorker->hWakeEvent};
    LogPrint("WorkerThreadEntry (), waiting...\n");
    return WaitForMultipleObjectsEx(2, phnEventArray, FALSE, dwWaitMs, FALSE);
}
}  // namespace

void RunWorkerLoop(WORKER* pWorker)
{
    WORKER_STATE state;
    for (;;)
    {
        // A pending stop is served even by a worker that is to end: a lost
        // webcam must not stay open, nor the driver wait to hear it is free.
        ServeNotices(pWorker, &state);
        if (IsGivenUp(pWorker))
            return;
        if (IsQuitAsked(pWorker))
            break;
        if (state.bMustRead &&
            (!state.readRetry.IsPending() || state.readRetry.IsDue(HostClockNow())))
        {
            ReadAndServe(pWorker, &state);
            if (IsGivenUp(pWorker))
                return;
        }

        DWORD dwWait = WaitForNews(pWorker, &state);
        if (state.eWebcamWait != WEBCAM_READY && state.webcamRetry.TakeDue(HostClockNow()))
        {
            // Due: the pass reads the requests and opens the webcam if
            // clients still ask.
            state.bMustRead = true;
        }
        if (dwWait == WAIT_OBJECT_0)
        {
            LogPrint("WorkerThreadEntry (), ghNotifyEvent is signled\n");
            ResetEvent(ghNotifyEvent);
            state.bMustRead = true;
            state.readRetry.Reset();
        }
        else if (dwWait == WAIT_OBJECT_0 + 1)
        {
            LogPrint("WorkerThreadEntry (), ghWorkerEvent is signled\n");
        }
        else if (dwWait != WAIT_TIMEOUT)
        {
            // Never spin on a wait that cannot succeed.
            LogPrint("WorkerThreadEntry (), wait failed (0x%08X)\n",
                     HRESULT_FROM_WIN32(GetLastError()));
            break;
        }
    }
    if (!ClaimOwnEnd(pWorker))
        return;
    NotifyServerQuit();
    LogPrint("WorkerThreadEntry (), Quit\n");
}
