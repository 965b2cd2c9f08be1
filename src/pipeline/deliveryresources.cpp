#include "pipeline/deliveryresources.h"

#include <mmsystem.h>
#include <stdlib.h>

#include "driver/driverio.h"

DeliveryResources::DeliveryResources()
    : hDevice(INVALID_HANDLE_VALUE), bBufferLocked(FALSE), pRecord(NULL), bTimerPeriod(FALSE)
{
    for (int i = 0; i < kScratchSlots; ++i)
        ppScratch[i] = NULL;
}

DeliveryResources::~DeliveryResources()
{
    ReleaseAll();
}

void DeliveryResources::ReleaseAll()
{
    if (bTimerPeriod)
    {
        timeEndPeriod(1);
        bTimerPeriod = FALSE;
    }
    if (pRecord != NULL)
    {
        VirtualFree(pRecord, 0, MEM_RELEASE);
        pRecord = NULL;
    }
    for (int i = 0; i < kScratchSlots; ++i)
    {
        free(ppScratch[i]);
        ppScratch[i] = NULL;
    }
    if (pBuffer != NULL)
    {
        if (bBufferLocked)
            pBuffer->Unlock();
        pBuffer.Reset();
    }
    bBufferLocked = FALSE;
    if (hDevice != INVALID_HANDLE_VALUE)
    {
        gDriverIo.pfnCloseHandle(hDevice);
        hDevice = INVALID_HANDLE_VALUE;
    }
    pSample.Reset();
}
