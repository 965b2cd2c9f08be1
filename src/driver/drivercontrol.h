#pragma once

#include <windows.h>

// Requests that lend the host's events to the driver and announce its end.
// Each opens the device (discovering it when needed), sends, and closes.
HRESULT RegisterServerExistEvent();
HRESULT RegisterReleaseCameraEvent();
// S_FALSE without any I/O while the notify event is already lent.
HRESULT RegisterNotifyEvent();
HRESULT NotifyServerQuit();
