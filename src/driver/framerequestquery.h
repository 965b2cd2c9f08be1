#pragma once

#include <windows.h>

// Reads the driver's current frame requests into the pipeline's table and
// tells the worker whether the camera must start and whether a client named
// "te.exe" asked (it is fed the placeholder picture).
HRESULT QueryFrameInfo(BOOLEAN* pbNeedStartCapture, BOOLEAN* pbNeedEnterSpecialMode);

// The executable name of a running process (narrow, MAX_PATH characters).
HRESULT GetProcessNameByID(DWORD dwProcessId, char* pszName);

BOOL IsAPNameTeEXE(const char* pszName);

// A driver reporting more requests than this is not believed beyond it.
const UINT32 kMaxFrameRequestsPerQuery = 256;
