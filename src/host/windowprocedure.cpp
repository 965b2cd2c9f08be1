#include "host/windowprocedure.h"

#include <dbt.h>
#include <wtsapi32.h>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercontrol.h"
#include "driver/driverdiscovery.h"
#include "driver/driverio.h"
#include "host/hostclock.h"
#include "host/hoststate.h"
#include "host/workerthread.h"
#include "placeholder/norealcamframemanager.h"

namespace
{
const UINT_PTR kDriverTimerEventId = 1911;
const UINT kDriverTimerPeriodMs = 33;
// The first handle IsGlobalMutexBlocked obtained: it keeps the mutex in
// existence for the rest of the process; later checks close theirs.
HANDLE ghGlobalMutexKeeper = NULL;

void StartDriverTimer()
{
    gnDriverTimerId = SetTimer(NULL, kDriverTimerEventId, kDriverTimerPeriodMs, DriverTimerProc);
}

void OnWebcamLost()
{
    if (gnDriverTimerId == 0)
        StartDriverTimer();
    if (ghHeldMutex == NULL)
        return;

    // The worker stops the camera, tells the driver, ends, and only then
    // gives the mutex up; the window goes on answering meanwhile.
    gbStopCapturePending = TRUE;
    HANDLE hMutex = ghHeldMutex;
    ghHeldMutex = NULL;
    EndWorkerAfterStop(hMutex);
}

void OnDeviceArrival(DWORD dwNow)
{
    if (dwNow - gdwLastArrivalTick < kDeviceArrivalDebounceMs)
    {
        gdwLastArrivalTick = dwNow;
        return;
    }
    gdwLastArrivalTick = dwNow;
    if (ghHeldMutex == NULL && !IsGlobalMutexBlocked())
    {
        PostWorkerNotice(WORKER_NOTICE_WEBCAMS_CHANGED);
        // Clients that kept streaming through a loss are on the placeholder,
        // and the driver signals only when its clients change: the new
        // worker reads the requests as it starts, so a webcam plugged back
        // in serves them again.
        CreateWorkerThread();
    }
    RegisterServerExistEvent();
    RegisterReleaseCameraEvent();
}

void OnSessionChange(WPARAM wParam)
{
    // Listing the webcams may take seconds: the worker does it.
    if (gpCaptureBuilder != NULL)
        PostWorkerNotice(WORKER_NOTICE_WEBCAMS_CHANGED);
    if ((wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT ||
         wParam == WTS_SESSION_LOGON) &&
        !IsGlobalMutexBlocked())
    {
        RegisterServerExistEvent();
        RegisterReleaseCameraEvent();
        CreateWorkerThread();
    }
}
}  // namespace

LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_QUERYENDSESSION:
        // Exactly these values: other combinations leave the event alone.
        if (static_cast<DWORD>(lParam) == ENDSESSION_CLOSEAPP ||
            static_cast<DWORD>(lParam) == ENDSESSION_CRITICAL ||
            static_cast<DWORD>(lParam) == ENDSESSION_LOGOFF)
        {
            ResetEvent(ghServerExistEvent);
        }
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    case WM_ENDSESSION:
        // Another program cancelled the end of the session: the provider
        // goes on, and the driver must see it does.
        if (!wParam)
            SetEvent(ghServerExistEvent);
        // The session ends, or an installer's restart manager asks the
        // program to close: it ends the way WM_CLOSE ends it, telling the
        // driver and letting the webcam go, instead of being ended unawares.
        else
            DestroyWindow(hWnd);
        return 0;
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam, lParam);
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam, lParam);
        return TRUE;
    case WM_WTSSESSION_CHANGE:
        OnSessionChange(wParam);
        return 1;
    case WM_HOLD_GLOBAL_MUTEX:
        HoldGlobalMutex();
        return 1;
    case WM_START_DRIVER_TIMER:
        StartDriverTimer();
        return 1;
    case WM_CAPTURE_FAILED:
        // The read loop has ended for good, and a camera left "streaming"
        // would never be opened again: the worker releases it and, while
        // clients still ask, has the placeholder serve them until the
        // webcams change.
        PostWorkerNotice(WORKER_NOTICE_CAPTURE_FAILED);
        NotifyStopCapture();
        return 1;
    case WM_PLACEHOLDER_TIMER:
        return NoRealCamFrameManager::OnPlaceholderTimerMessage(wParam);
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM)
{
    LogPrintW(L"WM_POWERBROADCAST reason is 0x%08x", static_cast<UINT>(wParam));
    if (wParam == PBT_APMSUSPEND)
    {
        gbSystemSuspended = TRUE;
        if (gpCaptureBuilder != NULL)
            gpCaptureBuilder->SetReadNextSampleEvent(FALSE);
    }
    else if (wParam == PBT_APMRESUMEAUTOMATIC)
    {
        gbSystemSuspended = FALSE;
        SetEvent(ghNotifyEvent);
    }
    return 0;
}

void OnDeviceChange(WPARAM wParam, LPARAM lParam)
{
    EnterCriticalSection(&gcsDeviceChange);
    DEV_BROADCAST_HDR* pHeader = reinterpret_cast<DEV_BROADCAST_HDR*>(lParam);
    if (pHeader != NULL && pHeader->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
        gpCaptureBuilder != NULL)
    {
        DWORD dwNow = HostClockNow();
        if (wParam == DBT_DEVICEQUERYREMOVE || wParam == DBT_DEVICEREMOVECOMPLETE)
        {
            BOOL bDeviceLost = FALSE;
            if (SUCCEEDED(gpCaptureBuilder->CheckDeviceLost(pHeader, &bDeviceLost)) && bDeviceLost)
                OnWebcamLost();
        }
        else if (wParam == DBT_DEVICEARRIVAL)
        {
            OnDeviceArrival(dwNow);
        }
    }
    LeaveCriticalSection(&gcsDeviceChange);
}

BOOL IsGlobalMutexBlocked()
{
    // Never owned; the first handle is kept, so from the first check on the
    // mutex exists for as long as this process runs.
    HANDLE hMutex = CreateMutexW(NULL, FALSE, gwszGlobalMutexName);
    if (hMutex == NULL)
        return TRUE;
    if (ghGlobalMutexKeeper == NULL)
        ghGlobalMutexKeeper = hMutex;
    else
        CloseHandle(hMutex);
    return FALSE;
}

void HoldGlobalMutex()
{
    HANDLE hMutex = CreateMutexW(NULL, FALSE, gwszGlobalMutexName);
    if (ghHeldMutex != NULL)
        CloseHandle(ghHeldMutex);
    ghHeldMutex = hMutex;
}

void ReleaseGlobalMutexKeeper()
{
    if (ghGlobalMutexKeeper != NULL)
        CloseHandle(ghGlobalMutexKeeper);
    ghGlobalMutexKeeper = NULL;
}

void CALLBACK DriverTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HANDLE hDevice = OpenFoundDriverDevice();
    if (hDevice != INVALID_HANDLE_VALUE)
    {
        LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(hDevice));
        gDriverIo.pfnCloseHandle(hDevice);
    }
}
