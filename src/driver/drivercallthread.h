#pragma once

#include <windows.h>

// Threads of ours that call the driver, and how to end one that does not end
// when asked. A thread blocked inside a driver call holds none of the
// process's locks (no log line, heap or queue operation is under way), so
// that is the one state in which ending it by force is safe; such a call is
// first cancelled, which makes it fail with ERROR_OPERATION_ABORTED.

// Where a tracked thread's driver calls are marked. It must outlive the
// thread: after a forced end it tells what the thread left open.
struct DRIVER_CALLER
{
    volatile LONG nInDriverCall;  // 1 while one of its calls is inside the driver
    HANDLE hDevice;               // the device of that call; meaningful only while it is 1
};

// Lets the calling thread's driver calls mark *pCaller.
void TrackDriverCalls(DRIVER_CALLER* pCaller);

// gDriverIo.pfnDeviceIoControl without OVERLAPPED, marked for the tracked
// thread. The last error is the call's own.
BOOL CallDriver(HANDLE hDevice, DWORD dwIoControlCode, LPVOID pInBuffer, DWORD cbInBuffer,
                LPVOID pOutBuffer, DWORD cbOutBuffer, LPDWORD pcbReturned);

enum THREAD_END
{
    THREAD_ENDED,        // it ended by itself, perhaps after a cancelled driver call
    THREAD_TERMINATED,   // it had to be terminated
    THREAD_LEFT_BEHIND,  // it is still running, busy outside the driver
};

struct THREAD_END_LIMITS
{
    DWORD dwGraceMs;       // waited before the first cancellation
    DWORD dwParkedMs;      // from the ask: a thread still blocked in the driver is terminated
    DWORD dwLastResortMs;  // from the ask: terminated wherever it is
};

// Waits for hThread, whose end has already been asked for: first for the
// grace period, then cancelling its driver call whenever it is in one (a
// thread may enter the next call before it sees the ask). A thread still
// blocked in the driver after dwParkedMs is terminated; one that is busy
// elsewhere is waited for up to dwLastResortMs, since it may hold a lock,
// and then terminated all the same. dwLastResortMs may be shorter than
// dwParkedMs: a call inside the driver is always given until dwParkedMs.
THREAD_END EndDriverCallingThread(HANDLE hThread, DRIVER_CALLER* pCaller,
                                  const THREAD_END_LIMITS& limits);

// As above, but a thread still busy outside the driver at dwLastResortMs is
// left running: ended there by force it could leave locks of the platform
// (a webcam's activation) held for ever. Such a thread must find, when it
// comes back, that it was given up on, and touch nothing shared.
THREAD_END EndOrLeaveDriverCallingThread(HANDLE hThread, DRIVER_CALLER* pCaller,
                                         const THREAD_END_LIMITS& limits);

// The device a terminated thread was blocked on, which it will never close;
// INVALID_HANDLE_VALUE if it was not in a driver call. Clears the record.
HANDLE TakeDeviceOfEndedCaller(DRIVER_CALLER* pCaller);
