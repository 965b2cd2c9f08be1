#pragma once

#include <windows.h>

// Every live COM object of the simulated webcam is counted process-wide, so a
// test can tell that the code under test released everything it was given.
LONG GetLiveWebcamComObjectCount();

// A webcam double derives from this first, ahead of its ComObject, so that it
// is counted from before its first member is made until after its last one
// is gone.
class WebcamObjectCount
{
protected:
    WebcamObjectCount();
    ~WebcamObjectCount();

private:
    WebcamObjectCount(const WebcamObjectCount&);
    WebcamObjectCount& operator=(const WebcamObjectCount&);
};
