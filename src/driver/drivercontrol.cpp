#include "driver/drivercontrol.h"

#include "diagnostics/debuglog.h"
#include "driver/driverdiscovery.h"
#include "driver/drivercallthread.h"
#include "driver/driverio.h"
#include "driver/driverprotocol.h"
#include "host/hoststate.h"

namespace
{
// Opens the driver, sends one request whose only input is phEvent's 4-byte
// handle value (or nothing), logs it by name and closes the device.
HRESULT SendRequest(DWORD dwControlCode, const char* pszRequestName, HANDLE* phEvent)
{
    HANDLE hDevice = OpenDriverDevice();
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        HRESULT hr = HResultFromFailedCall();
        LogPrint("CreateFile Failed (0x%08X)\n", hr);
        return hr;
    }
    LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(hDevice));

    HRESULT hr = S_OK;
    DWORD dwBufferSizeReturned = 0;
    if (CallDriver(hDevice, dwControlCode, phEvent, phEvent != NULL ? kDriverHandleValueSize : 0,
                   NULL, 0, &dwBufferSizeReturned))
    {
        LogPrint("DeviceIoControl (%s): OK\n", pszRequestName);
    }
    else
    {
        hr = HResultFromFailedCall();
        LogPrint("DeviceIoControl (%s) Failed (0x%08X)\n", pszRequestName, hr);
    }
    gDriverIo.pfnCloseHandle(hDevice);
    return hr;
}
}  // namespace

HRESULT RegisterServerExistEvent()
{
    return SendRequest(IOCTL_AVSHWS_SERVER_EXIST, "IOCTL_AVSHWS_SERVER_EXIST", &ghServerExistEvent);
}

HRESULT RegisterReleaseCameraEvent()
{
    return SendRequest(IOCTL_AVSHWS_RELEASE_CAMERA_EVENT, "IOCTL_AVSHWS_RELEASE_CAMERA_EVENT",
                       &ghReleaseCameraEvent);
}

HRESULT RegisterNotifyEvent()
{
    if (gbNotifyEventRegistered)
        return S_FALSE;

    HRESULT hr =
        SendRequest(IOCTL_AVSHWS_NOTIFY_EVENT, "IOCTL_AVSHWS_NOTIFY_EVENT", &ghNotifyEvent);
    if (hr == S_OK)
        gbNotifyEventRegistered = TRUE;
    return hr;
}

HRESULT NotifyServerQuit()
{
    return SendRequest(IOCTL_AVSHWS_SERVER_QUIT, "IOCTL_AVSHWS_SERVER_QUIT", NULL);
}
