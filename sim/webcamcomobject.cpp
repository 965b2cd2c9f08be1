#include "webcamcomobject.h"

namespace
{
volatile LONG gnLiveWebcamComObjects = 0;
}

LONG GetLiveWebcamComObjectCount()
{
    return InterlockedCompareExchange(&gnLiveWebcamComObjects, 0, 0);
}

namespace webcamcom
{
void CountObjectCreated()
{
    InterlockedIncrement(&gnLiveWebcamComObjects);
}

void CountObjectDestroyed()
{
    InterlockedDecrement(&gnLiveWebcamComObjects);
}
}  // namespace webcamcom
