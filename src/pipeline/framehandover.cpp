#include <windows.h>
#include <mmsystem.h>
#include <string.h>

#include "diagnostics/debuglog.h"
#include "driver/drivercallthread.h"
#include "driver/driverio.h"
#include "pipeline/driverframebuffer.h"
#include "pipeline/framecontrolmanager.h"

HRESULT FrameControlManager::SendFrame(HANDLE hDevice, _COLOR_FORMAT eFormat, UINT32 nWidth,
                                       UINT32 nHeight, const BYTE* pData, UINT32 cbData,
                                       BOOL* pbRefusedByDriver)
{
    if (pbRefusedByDriver != NULL)
        *pbRefusedByDriver = FALSE;
    if (hDevice == INVALID_HANDLE_VALUE || pData == NULL || cbData == 0)
        return E_FAIL;

    DriverFrameBuffer frameBuffer(cbData);
    HRESULT hr = frameBuffer.Allocate();
    if (FAILED(hr))
        return hr;

    FRAME_HEADER* pHeader = frameBuffer.GetHeader();
    pHeader->nWidth = nWidth;
    pHeader->nHeight = nHeight;
    pHeader->nFormat = eFormat;
    LogPrint("Frame header: format=%d, size: %d x %d\n", eFormat, nWidth, nHeight);

    memcpy(frameBuffer.GetPicture(), pData, cbData);

    // The record and the timer period are noted for the time of the call:
    // should the thread be ended inside it, the stopper gives both back.
    m_heldForDelivery.pRecord = pHeader;
    timeBeginPeriod(1);
    m_heldForDelivery.bTimerPeriod = TRUE;
    DWORD dwStart = timeGetTime();
    DWORD dwBytesReturned = 0;
    BOOL bSent = CallDriver(hDevice, IOCTL_AVSHWS_SET_FRAME, pHeader, frameBuffer.GetTotalSize(),
                            pHeader, frameBuffer.GetTotalSize(), &dwBytesReturned);
    // Read the error before anything else can overwrite it.
    hr = bSent ? S_OK : HResultFromFailedCall();
    DWORD dwElapsed = timeGetTime() - dwStart;
    m_heldForDelivery.bTimerPeriod = FALSE;
    timeEndPeriod(1);
    m_heldForDelivery.pRecord = NULL;

    if (pbRefusedByDriver != NULL)
        *pbRefusedByDriver = !bSent;
    if (SUCCEEDED(hr))
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_SET_FRAME): OK (%d ms)\n", dwElapsed);
    else
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_SET_FRAME) Failed (0x%08X)\n", hr);
    return hr;
}
