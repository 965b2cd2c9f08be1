#pragma once

#include <windows.h>

// The number of handles this process holds. Where the system reports no
// count (Wine), every handle value up to a generous bound is probed with
// GetHandleInformation: handle values are multiples of 4.
DWORD CountProcessHandles();
