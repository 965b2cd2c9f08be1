#pragma once

#include <windows.h>

// The driver's device path, found once by the driver's friendly name and
// never changed afterwards; the Global mutex name from the settings file.
// The path is written under the discovery lock before the flag is
// published; readers check the flag and take no lock.
extern volatile BOOL gbDevicePathFound;
extern char gszDevicePath[MAX_PATH];
extern wchar_t gwszGlobalMutexName[MAX_PATH];

// Looks the driver up among the video input devices by friendly name
// (byte-exact, case-sensitive) and copies its device path.
HRESULT FindDriverDevicePath(const char* pszDriverName, char* pszDevicePath, DWORD* pdwSize);

// Discovers the path if it is not known yet, then opens the device.
HANDLE OpenDriverDevice();

// Opens the already discovered path; INVALID_HANDLE_VALUE when none is known.
// Used where discovery must not run (frame query, driver timer, delivery).
HANDLE OpenFoundDriverDevice();

BOOL IsDevicePathFound();

void BuildGlobalMutexName();
