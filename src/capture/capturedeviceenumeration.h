#pragma once

#include <windows.h>
#include <mfidl.h>

// The one call through which the product lists the machine's video capture
// devices. It defaults to the system's own function; only tests and the
// simulator replace it, before any thread enumerates webcams.
struct CAPTURE_DEVICE_ENUM_FUNCTIONS
{
    HRESULT(STDAPICALLTYPE* pfnMFEnumDeviceSources)
    (IMFAttributes* pAttributes, IMFActivate*** pppSourceActivate, UINT32* pcSourceActivate);
};

extern CAPTURE_DEVICE_ENUM_FUNCTIONS gCaptureDeviceEnum;
