#pragma once

#include <windows.h>

// Start-up and shutdown of the host, shared by WinMain and the simulator so
// that both run the very same wiring.
// The single-instance mutex, per session like the window it guards.
const wchar_t kInstanceMutexName[] = L"Local\\My Testbed instance";

BOOL InitInstance(HINSTANCE hInstance);
void CreateMainWindow();
int ExitInstance();
