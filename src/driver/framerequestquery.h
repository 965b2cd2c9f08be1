#pragma once

#include <windows.h>

// What one reading of the driver's requests found.
enum FRAME_REQUEST_READ
{
    REQUESTS_READ,       // the table holds every request the driver gave
    REQUESTS_NONE,       // no client streams: the table is empty, the read loop told to stop
    REQUESTS_SUSPENDED,  // the system sleeps: the driver was not asked
    REQUESTS_FAILED,     // the driver could not be asked, or answered short: nothing changed
};

// Reads the driver's current frame requests into the pipeline's table and
// tells the worker whether the camera must start (a client asks for
// something the table can serve and the camera is not streaming) and
// whether a client named "te.exe" asked (it is fed the placeholder picture).
// Fails for every outcome but REQUESTS_READ; a failed read leaves the table
// and the read loop as they were.
HRESULT QueryFrameInfo(BOOLEAN* pbNeedStartCapture, BOOLEAN* pbNeedEnterSpecialMode,
                       FRAME_REQUEST_READ* peRead = NULL);

// The executable name of a running process (narrow, MAX_PATH characters).
HRESULT GetProcessNameByID(DWORD dwProcessId, char* pszName);

BOOL IsAPNameTeEXE(const char* pszName);

// A driver reporting more requests than this is not believed beyond it.
const UINT32 kMaxFrameRequestsPerQuery = 256;
