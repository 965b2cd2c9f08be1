#pragma once

#include <windows.h>
#include <wrl/client.h>

#include "driver/drivercallthread.h"

class CMFCaptureBuilder;

enum WORKER_GIVEN_UP
{
    WORKER_NOT_GIVEN_UP = 0,
    WORKER_REPLACED = 1,    // its successor owns the builder's state now
    WORKER_HOST_ENDED = 2,  // nobody else will: it shuts the builder's webcam down on return
    WORKER_ENDING = 3,      // it claimed its own end first: it tells the driver it quits
};

// One worker thread, as its owner (the window thread, then the worker that
// replaces it) and the thread itself share it; the last of the two to let
// go frees it.
struct WORKER
{
    volatile LONG nRefs;
    HANDLE hThread;
    HANDLE hWakeEvent;       // ghWorkerEvent while this is the current worker
    volatile LONG bQuit;     // end at the top of the next pass
    volatile LONG eGivenUp;  // WORKER_GIVEN_UP: left running, on return it touches nothing shared
    DRIVER_CALLER caller;    // where its driver calls are marked
    WORKER* pPredecessor;    // ended by this worker before it serves
    HANDLE volatile hMutexToClose;  // a Global mutex given up on a loss
    // Its own reference: a worker left running keeps the builder alive.
    Microsoft::WRL::ComPtr<CMFCaptureBuilder> pBuilder;
};

bool IsQuitAsked(WORKER* pWorker);
bool IsGivenUp(WORKER* pWorker);
// Claims the worker's own end against a thread that would give it up at the
// same moment; false when it was given up first, and must then say nothing.
bool ClaimOwnEnd(WORKER* pWorker);

// The reconcile loop: runs until the worker is asked to end, then tells the
// driver that it quits. Returns early, telling nothing, if given up.
void RunWorkerLoop(WORKER* pWorker);
