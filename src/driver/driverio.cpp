#include "driver/driverio.h"

DRIVER_IO_FUNCTIONS gDriverIo = {CreateFileA, DeviceIoControl, CloseHandle, CancelSynchronousIo};

HANDLE OpenDevicePath(LPCSTR pszDevicePath)
{
    return gDriverIo.pfnCreateFileA(pszDevicePath, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
}

HRESULT HResultFromFailedCall()
{
    DWORD dwError = GetLastError();
    return dwError == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(dwError);
}
