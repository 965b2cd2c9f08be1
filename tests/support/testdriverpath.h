#pragma once

#include "driver/driverdiscovery.h"

#include <string.h>

// Publishes a device path as if discovery had found it, for tests that
// exercise the paths which never discover (delivery, frame query, timer).
inline void UseDriverPathForTest(const char* pszPath)
{
    strncpy_s(gszDevicePath, sizeof(gszDevicePath), pszPath, _TRUNCATE);
    gbDevicePathFound = TRUE;
}

// Forgets a path published above, so that later tests of the process find
// the driver as a fresh process does.
inline void ForgetDriverPathForTest()
{
    gbDevicePathFound = FALSE;
    gszDevicePath[0] = '\0';
}
