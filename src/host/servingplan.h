#pragma once

#include "driver/framerequestquery.h"

// What the worker knows after reading the driver's requests.
struct SERVING_FACTS
{
    FRAME_REQUEST_READ eRead;
    bool bTeExeAsks;        // a client named "te.exe" is among them
    bool bWebcamCanServe;   // the table holds an entry a webcam picture can serve
    bool bWebcamStreaming;  // the camera's read loop runs
    bool bWebcamUsable;  // a capture builder exists and the webcam is not waiting to be tried again
    // While the webcam is not usable the placeholder serves, unless the
    // driver refused the webcam's frames (it would refuse the placeholder's).
    bool bPlaceholderWhileWebcamWaits;
};

// What the worker does about it. The placeholder's timer and the camera are
// the two sources; one serves at a time, but a "te.exe" client gets the
// placeholder beside a camera that already streams for others.
struct SERVING_PLAN
{
    bool bRetryRead;    // the read failed: nothing changes, the read is tried again
    bool bLeaveAsIs;    // nothing changes (the read failed, or the system sleeps)
    bool bPlaceholder;  // the placeholder's timer must run (unless bLeaveAsIs)
    bool bStartWebcam;  // the webcam must be opened and started
    bool bNoClient;     // no client streams: the webcam in use is no one's any more
};

SERVING_PLAN PlanServing(const SERVING_FACTS& facts);
