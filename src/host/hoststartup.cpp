#include "host/hoststartup.h"

#include <dbt.h>
#include <objbase.h>
#include <wtsapi32.h>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/drivercontrol.h"
#include "driver/driverdiscovery.h"
#include "host/hostpipeline.h"
#include "host/hoststate.h"
#include "host/windowprocedure.h"
#include "host/workerthread.h"
#include "placeholder/norealcamframemanager.h"
#include "resource.h"

namespace
{
const char kWindowClass[] = "Class of My Testbed";
const char kWindowTitle[] = "My Testbed";
const int kIconResourceId = IDI_FRAMEPROVIDER;

// KSCATEGORY_CAPTURE: capture-device interfaces arrive and leave under it.
const GUID kCaptureDeviceCategory = {
    0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

// Held from start-up to the end of shutdown.
HANDLE ghInstanceMutex = NULL;

void CloseIfSet(HANDLE& hHandle)
{
    if (hHandle != NULL)
    {
        CloseHandle(hHandle);
        hHandle = NULL;
    }
}
}  // namespace

BOOL InitInstance(HINSTANCE hInstance)
{
    ghInstance = hInstance;

    // Taken before anything else: two copies started together would both
    // pass the window test, which is kept because other programs rely on it.
    HANDLE hInstanceMutex = CreateMutexW(NULL, FALSE, kInstanceMutexName);
    DWORD dwMutexError = GetLastError();
    BOOL bOtherCopy = hInstanceMutex != NULL ? dwMutexError == ERROR_ALREADY_EXISTS
                                             : dwMutexError == ERROR_ACCESS_DENIED;
    HWND hRunning = FindWindowA(kWindowClass, kWindowTitle);
    if (hRunning != NULL)
    {
        if (IsIconic(hRunning))
            ShowWindow(hRunning, SW_RESTORE);
        SetForegroundWindow(hRunning);
    }
    if (bOtherCopy || hRunning != NULL)
    {
        CloseIfSet(hInstanceMutex);
        return FALSE;
    }
    ghInstanceMutex = hInstanceMutex;

    CoInitialize(NULL);
    InitializeCriticalSection(&gcsDeviceChange);
    CreateMainWindow();
    WTSRegisterSessionNotification(ghMainWnd, NOTIFY_FOR_THIS_SESSION);

    DEV_BROADCAST_DEVICEINTERFACE_A NotificationFilter;
    ZeroMemory(&NotificationFilter, sizeof(NotificationFilter));
    NotificationFilter.dbcc_size = sizeof(NotificationFilter);
    NotificationFilter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    NotificationFilter.dbcc_classguid = kCaptureDeviceCategory;
    ghDevNotify =
        RegisterDeviceNotificationA(ghMainWnd, &NotificationFilter, DEVICE_NOTIFY_WINDOW_HANDLE);

    gbSystemSuspended = FALSE;
    ghServerExistEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
    ghNotifyEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    ghReleaseCameraEvent = CreateEventA(NULL, FALSE, FALSE, NULL);

    if (FAILED(CMFCaptureBuilder::CreateInstance(ghMainWnd, &gpCaptureBuilder)))
    {
        // Without a capture builder no camera can serve, but the placeholder
        // still can, through a pipeline of the host's own.
        gpCaptureBuilder = NULL;
        CreateStandalonePipeline();
    }

    RegisterServerExistEvent();
    RegisterReleaseCameraEvent();
    BuildGlobalMutexName();

    gpNoRealCamMgr = new NoRealCamFrameManager();
    SetNoRealCamGlobals(gpNoRealCamMgr, GetHostPipeline());

    if (!IsGlobalMutexBlocked())
        CreateWorkerThread();
    return TRUE;
}

void CreateMainWindow()
{
    LogPrint("Create Application Windows...\n");

    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = ghInstance;
    windowClass.hIcon = LoadIconA(ghInstance, MAKEINTRESOURCEA(kIconResourceId));
    windowClass.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);

    ghMainWnd =
        CreateWindowExA(WS_EX_STATICEDGE, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW,
                        CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, NULL, NULL, ghInstance, NULL);
    if (ghMainWnd == NULL)
    {
        MessageBoxA(NULL, "Can not create main window!", NULL, MB_ICONERROR);
        exit(0);
    }
    ShowWindow(ghMainWnd, SW_HIDE);
}

int ExitInstance()
{
    if (ReleaseWorkerThread())
    {
        StopCaptureAndReleaseCamera();
        if (gpCaptureBuilder != NULL)
            gpCaptureBuilder->ReleaseWebcamDevice();
    }
    else
    {
        // A worker still opening a webcam (or stopping one) holds the
        // builder and may be inside it: it keeps its own reference and lets
        // go when it comes back; the process ends around it.
        LogPrint("ExitInstance (), the worker still runs; the camera is left to it\n");
        SetEvent(ghReleaseCameraEvent);
    }
    if (gpCaptureBuilder != NULL)
    {
        gpCaptureBuilder->Release();
        gpCaptureBuilder = NULL;
    }
    CloseIfSet(ghHeldMutex);
    ReleaseGlobalMutexKeeper();
    CloseIfSet(ghReleaseCameraEvent);
    CloseIfSet(ghServerExistEvent);
    if (ghDevNotify != NULL)
    {
        UnregisterDeviceNotification(ghDevNotify);
        ghDevNotify = NULL;
    }
    CloseIfSet(ghNotifyEvent);
    delete gpNoRealCamMgr;
    gpNoRealCamMgr = NULL;
    SetNoRealCamGlobals(NULL, NULL);
    DestroyStandalonePipeline();
    DeleteCriticalSection(&gcsDeviceChange);
    CoUninitialize();
    CloseIfSet(ghInstanceMutex);
    return 1;
}
