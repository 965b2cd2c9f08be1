#pragma once

#include <windows.h>

// The milliseconds the host measures its own delays by (the arrival
// debounce, the worker's retry and backoff delays and its span of good
// streaming): the system's, unless a test has put a clock of its own in
// their place, so that its cases step time instead of waiting for it.
typedef DWORD (*HOST_CLOCK_FUNCTION)();

DWORD HostClockNow();
// NULL puts the system's clock back.
void SetHostClock(HOST_CLOCK_FUNCTION pfnNow);
