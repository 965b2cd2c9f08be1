#pragma once

#include <windows.h>

// The four calls through which the product reaches the virtual-camera
// driver. They default to the system's own functions; only tests and the
// simulator replace them, before any thread talks to the driver.
struct DRIVER_IO_FUNCTIONS
{
    HANDLE(WINAPI* pfnCreateFileA)
    (LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
    BOOL(WINAPI* pfnDeviceIoControl)
    (HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
    BOOL(WINAPI* pfnCloseHandle)(HANDLE hObject);
    // Makes a driver call that the given thread is blocked in fail with
    // ERROR_OPERATION_ABORTED.
    BOOL(WINAPI* pfnCancelSynchronousIo)(HANDLE hThread);
};

extern DRIVER_IO_FUNCTIONS gDriverIo;

// Opens a device path the way every driver request does.
HANDLE OpenDevicePath(LPCSTR pszDevicePath);

// The HRESULT of the call that just failed. A failure that left no system
// error behind still yields a failure (E_FAIL), never S_OK.
HRESULT HResultFromFailedCall();
