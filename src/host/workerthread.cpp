#include "host/workerthread.h"

#include <errno.h>
#include <objbase.h>
#include <process.h>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercontrol.h"
#include "driver/driverio.h"
#include "host/hoststate.h"
#include "host/workercontext.h"

namespace
{
// A worker is given a second to end; then its driver call, whenever it is
// in one, is cancelled, and it is terminated if still blocked there after
// two (it holds no lock there). One busy elsewhere after the first second
// (a webcam's activation, which may never return) is left running: neither
// its successor nor the exit waits for it any longer.
const THREAD_END_LIMITS kWorkerStopLimits = {1000, 2000, 1000};

// Stands in hMutexToClose once the worker has passed the point where it
// closes a handed-over mutex: the hand-over then closes it itself.
HANDLE const kMutexTooLate = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2));

// The current worker; written on the main thread only.
WORKER* gpWorker = NULL;

void ReleaseWorker(WORKER* pWorker)
{
    if (InterlockedDecrement(&pWorker->nRefs) != 0)
        return;
    if (pWorker->hThread != NULL)
        CloseHandle(pWorker->hThread);
    if (pWorker->hWakeEvent != NULL)
        CloseHandle(pWorker->hWakeEvent);
    pWorker->pBuilder.Reset();
    delete pWorker;
}

void CloseHandedOverMutex(WORKER* pWorker)
{
    HANDLE hMutex = InterlockedExchangePointer(&pWorker->hMutexToClose, kMutexTooLate);
    if (hMutex != NULL && hMutex != kMutexTooLate)
        CloseHandle(hMutex);
}

void AskToEnd(WORKER* pWorker)
{
    InterlockedExchange(&pWorker->bQuit, TRUE);
    SetEvent(pWorker->hWakeEvent);
}

// Waits for an asked worker within the limits. One left running is told it
// was given up on, and the driver hears from here that it quit.
THREAD_END EndWorker(WORKER* pWorker, WORKER_GIVEN_UP eIfLeft)
{
    THREAD_END eEnd =
        EndOrLeaveDriverCallingThread(pWorker->hThread, &pWorker->caller, kWorkerStopLimits);
    if (eEnd == THREAD_TERMINATED)
    {
        LogPrint("ReleaseWorkerThread (), Force terminate worker thread\n");
        // The device it opened for the request it was blocked in.
        HANDLE hDevice = TakeDeviceOfEndedCaller(&pWorker->caller);
        if (hDevice != INVALID_HANDLE_VALUE)
            gDriverIo.pfnCloseHandle(hDevice);
        // It will never close a mutex handed to it.
        CloseHandedOverMutex(pWorker);
        // Its own reference to the builder can go only now.
        ReleaseWorker(pWorker);
    }
    else if (eEnd == THREAD_LEFT_BEHIND)
    {
        if (InterlockedCompareExchange(&pWorker->eGivenUp, eIfLeft, WORKER_NOT_GIVEN_UP) !=
            WORKER_NOT_GIVEN_UP)
        {
            // It reached its own end in the same moment: it says it quits.
            WaitForSingleObject(pWorker->hThread, kWorkerStopLimits.dwGraceMs);
            return THREAD_ENDED;
        }
        LogPrint(
            "ReleaseWorkerThread (), the worker is busy outside the driver and is left "
            "running\n");
        CloseHandedOverMutex(pWorker);
    }
    // The driver hears that the worker quit, as it would have from the
    // worker itself; a successor tells it before it lends the notify event
    // anew. The exit does not ask a driver that just hung a request.
    if (eEnd == THREAD_LEFT_BEHIND || (eEnd == THREAD_TERMINATED && eIfLeft == WORKER_REPLACED))
        NotifyServerQuit();
    return eEnd;
}

void EndPredecessor(WORKER* pWorker)
{
    WORKER* pPredecessor = pWorker->pPredecessor;
    pWorker->pPredecessor = NULL;
    if (pPredecessor == NULL)
        return;
    EndWorker(pPredecessor, WORKER_REPLACED);
    ReleaseWorker(pPredecessor);
}

// Takes the current worker away from the process-wide state, so that no
// signal reaches it any more; the caller owns the returned reference.
WORKER* DetachCurrentWorker()
{
    WORKER* pWorker = gpWorker;
    gpWorker = NULL;
    ghWorkerThread = NULL;
    PublishWorkerEvent(NULL);
    return pWorker;
}
}  // namespace

bool IsQuitAsked(WORKER* pWorker)
{
    return InterlockedCompareExchange(&pWorker->bQuit, 0, 0) != 0;
}

bool IsGivenUp(WORKER* pWorker)
{
    LONG eGivenUp = InterlockedCompareExchange(&pWorker->eGivenUp, 0, 0);
    return eGivenUp == WORKER_REPLACED || eGivenUp == WORKER_HOST_ENDED;
}

bool ClaimOwnEnd(WORKER* pWorker)
{
    return InterlockedCompareExchange(&pWorker->eGivenUp, WORKER_ENDING, WORKER_NOT_GIVEN_UP) ==
           WORKER_NOT_GIVEN_UP;
}

void StopCaptureAndReleaseCamera()
{
    if (gpCaptureBuilder == NULL)
        return;
    gpCaptureBuilder->StopCapture();
    SetEvent(ghReleaseCameraEvent);
}

void CreateWorkerThread()
{
    WORKER* pPredecessor = DetachCurrentWorker();
    if (pPredecessor != NULL)
    {
        LogPrint("ReleaseWorkerThread ()\n");
        AskToEnd(pPredecessor);
    }

    LogPrint("CreateWorkerThread ()\n");
    WORKER* pWorker = new WORKER();
    pWorker->nRefs = 2;  // the thread's and the owner's
    pWorker->pPredecessor = pPredecessor;
    pWorker->pBuilder = gpCaptureBuilder;  // adds the worker's reference
    pWorker->hWakeEvent = CreateEventExA(NULL, NULL, 0, EVENT_ALL_ACCESS);
    if (pWorker->hWakeEvent == NULL)
    {
        // A worker without its event could never be woken or stopped.
        LogPrint("CreateWorkerThread (), CreateEventEx failed (0x%08X)\n", HResultFromFailedCall());
        pWorker->nRefs = 1;
        ReleaseWorker(pWorker);
        gpWorker = pPredecessor;  // still asked to end; the next worker or the exit ends it
        return;
    }

    unsigned nThreadID = 0;
    pWorker->hThread = reinterpret_cast<HANDLE>(
        _beginthreadex(NULL, 0, WorkerThreadEntry, pWorker, CREATE_SUSPENDED, &nThreadID));
    if (pWorker->hThread == NULL)
    {
        LogPrint("CreateWorkerThread (), the thread could not be created (errno %d)\n", errno);
        pWorker->nRefs = 1;
        pWorker->pPredecessor = NULL;
        ReleaseWorker(pWorker);
        gpWorker = pPredecessor;
        return;
    }
    gpWorker = pWorker;
    ghWorkerThread = pWorker->hThread;
    PublishWorkerEvent(pWorker->hWakeEvent);
    ResumeThread(pWorker->hThread);
    LogPrint("CreateWorkerThread (), Thread is created with id %d\n", nThreadID);
}

BOOL ReleaseWorkerThread()
{
    WORKER* pWorker = DetachCurrentWorker();
    if (pWorker == NULL)
        return TRUE;

    LogPrint("ReleaseWorkerThread ()\n");
    AskToEnd(pWorker);
    BOOL bEnded = EndWorker(pWorker, WORKER_HOST_ENDED) != THREAD_LEFT_BEHIND;
    ReleaseWorker(pWorker);
    LogPrint("ReleaseWorkerThread (), out\n");
    return bEnded;
}

void EndWorkerAfterStop(HANDLE hMutex)
{
    WORKER* pWorker = gpWorker;
    if (pWorker != NULL)
    {
        HANDLE hBefore = InterlockedCompareExchangePointer(&pWorker->hMutexToClose, hMutex, NULL);
        if (hBefore == NULL)
            hMutex = NULL;  // the worker closes it
        AskToEnd(pWorker);
    }
    if (hMutex != NULL)
        CloseHandle(hMutex);
}

unsigned __stdcall WorkerThreadEntry(void* pArgument)
{
    WORKER* pWorker = static_cast<WORKER*>(pArgument);
    TrackDriverCalls(&pWorker->caller);
    CoInitialize(NULL);
    EndPredecessor(pWorker);

    // The notify event is lent anew by every worker, after the one before
    // has told the driver that it quit.
    if (!IsGivenUp(pWorker))
    {
        gbNotifyEventRegistered = FALSE;
        if (SUCCEEDED(RegisterNotifyEvent()))
            RunWorkerLoop(pWorker);
        else
            LogPrint("WorkerThreadEntry (), the notify event could not be lent; no worker runs\n");
    }
    if (!IsGivenUp(pWorker))
        CloseHandedOverMutex(pWorker);
    else if (InterlockedCompareExchange(&pWorker->eGivenUp, 0, 0) == WORKER_HOST_ENDED &&
             pWorker->pBuilder != NULL)
    {
        // What the exit left to it: a webcam it opened would keep the builder
        // (its reader's callback) alive for ever.
        pWorker->pBuilder->StopCapture();
        pWorker->pBuilder->ReleaseWebcamDevice();
    }
    CoUninitialize();
    ReleaseWorker(pWorker);
    return 0;
}
