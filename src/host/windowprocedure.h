#pragma once

#include <windows.h>

// Private messages that other processes post to the hidden window.
#define WM_HOLD_GLOBAL_MUTEX (WM_USER + 101)
#define WM_START_DRIVER_TIMER (WM_USER + 102)

// Arrivals closer together than this are one arrival.
const DWORD kDeviceArrivalDebounceMs = 2000;

LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
void OnDeviceChange(WPARAM wParam, LPARAM lParam);
BOOL IsGlobalMutexBlocked();
// WM_HOLD_GLOBAL_MUTEX: takes a handle to the Global mutex into ghHeldMutex,
// closing one held before.
void HoldGlobalMutex();
// Shutdown: closes the handle through which the checks kept the mutex.
void ReleaseGlobalMutexKeeper();
void CALLBACK DriverTimerProc(HWND hWnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
