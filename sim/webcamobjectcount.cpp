#include "webcamobjectcount.h"

namespace
{
volatile LONG gnLiveWebcamComObjects = 0;
}

LONG GetLiveWebcamComObjectCount()
{
    return InterlockedCompareExchange(&gnLiveWebcamComObjects, 0, 0);
}

WebcamObjectCount::WebcamObjectCount()
{
    InterlockedIncrement(&gnLiveWebcamComObjects);
}

WebcamObjectCount::~WebcamObjectCount()
{
    InterlockedDecrement(&gnLiveWebcamComObjects);
}
