#pragma once

#include <windows.h>
#include <mfobjects.h>
#include <wrl/client.h>

// What the delivery thread holds while one frame is on its way to the driver.
// It lives in the pipeline rather than on the thread's stack, so that a
// thread ended by force inside a driver call leaves nothing behind: the
// stopper releases what the thread could not.
class DeliveryResources
{
public:
    static const int kScratchSlots = 2;

    DeliveryResources();
    ~DeliveryResources();

    // Releases everything held, in the order a finished frame lets go of it:
    // the send's timer period and record, the work areas, the buffer (unlocked
    // if locked), the device, the sample.
    void ReleaseAll();

    HANDLE hDevice;  // the device opened for the frame, or INVALID_HANDLE_VALUE
    Microsoft::WRL::ComPtr<IMFSample> pSample;
    Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
    BOOL bBufferLocked;
    BYTE* ppScratch[kScratchSlots];  // work areas from malloc, or NULL
    void* pRecord;                   // the frame record of the send in progress (VirtualAlloc)
    BOOL bTimerPeriod;               // timeBeginPeriod(1) taken for the send in progress

private:
    DeliveryResources(const DeliveryResources&);
    DeliveryResources& operator=(const DeliveryResources&);
};
