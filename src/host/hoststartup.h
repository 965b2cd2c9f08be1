#pragma once

#include <windows.h>

// Start-up and shutdown of the host, shared by WinMain and the simulator so
// that both run the very same wiring.
BOOL InitInstance(HINSTANCE hInstance);
void CreateMainWindow();
int ExitInstance();
