#include "host/hostclock.h"

#include <mmsystem.h>

namespace
{
// Read by the window and the worker while a test may set it: one aligned
// pointer, written whole.
HOST_CLOCK_FUNCTION volatile gpfnHostClock = NULL;
}  // namespace

DWORD HostClockNow()
{
    HOST_CLOCK_FUNCTION pfnNow = gpfnHostClock;
    return pfnNow != NULL ? pfnNow() : timeGetTime();
}

void SetHostClock(HOST_CLOCK_FUNCTION pfnNow)
{
    gpfnHostClock = pfnNow;
}
