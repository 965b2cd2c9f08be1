#include "capture/capturedeviceenumeration.h"

CAPTURE_DEVICE_ENUM_FUNCTIONS gCaptureDeviceEnum = {MFEnumDeviceSources};
