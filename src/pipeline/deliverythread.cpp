#include <stdlib.h>

#include "diagnostics/debuglog.h"
#include "driver/driverdiscovery.h"
#include "driver/driverio.h"
#include "host/hoststate.h"
#include "image/yuy2tonv12.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
const DWORD kQueueRecheckMs = 30;
const DWORD kStopWaitMs = 1000;

// Working memory for one entry's picture; freed when the entry is done.
class ScratchBuffer
{
public:
    explicit ScratchBuffer(UINT32 cbSize) : m_pBytes(static_cast<BYTE*>(malloc(cbSize))) {}
    ~ScratchBuffer() { free(m_pBytes); }
    BYTE* Get() const { return m_pBytes; }

private:
    ScratchBuffer(const ScratchBuffer&);
    ScratchBuffer& operator=(const ScratchBuffer&);
    BYTE* m_pBytes;
};
}  // namespace

HRESULT FrameControlManager::StartDeliveryThread()
{
    StopDeliveryThread();

    if (m_hQuitEvent != NULL)
        CloseHandle(m_hQuitEvent);
    m_hQuitEvent = CreateEventExA(NULL, "QuitDeliveryThreadEvent", CREATE_EVENT_MANUAL_RESET,
                                  EVENT_ALL_ACCESS);
    // Reset here rather than in the new thread, so that a stop requested
    // before the thread first runs is not lost.
    if (m_hQuitEvent != NULL)
        ResetEvent(m_hQuitEvent);

    m_hDeliveryThread = CreateThread(NULL, 0, DeliveringThread, this, 0, NULL);
    return m_hDeliveryThread != NULL ? S_OK : E_FAIL;
}

void FrameControlManager::StopDeliveryThread()
{
    if (m_hDeliveryThread == NULL || m_hDeliveryThread == INVALID_HANDLE_VALUE)
        return;

    SetEvent(m_hQuitEvent);
    if (WaitForSingleObject(m_hDeliveryThread, kStopWaitMs) == WAIT_TIMEOUT)
    {
        LogPrint("TIMEOUT! Force terminate the deliver thread\n");
        TerminateThread(m_hDeliveryThread, 0);
        WaitForSingleObject(m_hDeliveryThread, kStopWaitMs);
    }
    CloseHandle(m_hDeliveryThread);
    m_hDeliveryThread = NULL;
    ClearFrameQueue();
}

DWORD WINAPI FrameControlManager::DeliveringThread(LPVOID pContext)
{
    static_cast<FrameControlManager*>(pContext)->DeliverFrames();
    return 0;
}

void FrameControlManager::DeliverFrames()
{
    LogPrint("Delivering thread start\n");
    // One status for the thread's whole life: a frame that could not even be
    // opened for right after the start stops the camera's read loop.
    HRESULT hrStatus = E_FAIL;

    while (WaitForSingleObject(m_hQuitEvent, 0) != WAIT_OBJECT_0)
    {
        if (IsFrameQueueEmpty())
        {
            LogPrint("Waiting for next sample...\n");
            WaitForSingleObject(m_hFrameInsertedEvent, kQueueRecheckMs);
            LogPrint("Waiting for next sample...end\n");
            continue;
        }

        HANDLE hDevice = OpenFoundDriverDevice();
        if (hDevice == INVALID_HANDLE_VALUE)
        {
            HRESULT hrOpen = HResultFromFailedCall();
            GetFrame();
            LogPrint("CreateFile Failed (0x%08X)\n", hrOpen);
        }
        else
        {
            LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(hDevice));
            FRAME_UNIT GotFrame = GetFrame();
            Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
            if (GotFrame.sample != NULL &&
                SUCCEEDED(GotFrame.sample->GetBufferByIndex(0, &pBuffer)))
            {
                DWORD cbCurrent = 0;
                BYTE* pData = NULL;
                pBuffer->GetCurrentLength(&cbCurrent);
                if (SUCCEEDED(pBuffer->Lock(&pData, NULL, NULL)) && pData != NULL && cbCurrent > 0)
                    hrStatus = DeliverFrame(hDevice, GotFrame, pData, cbCurrent, hrStatus);
                pBuffer->Unlock();
            }
            gDriverIo.pfnCloseHandle(hDevice);
        }

        if (FAILED(hrStatus) || gbStopCapturePending)
        {
            ResetEvent(m_hReadNextSampleEvent);
            LogPrint("Reset ReadNextSampleEvent to stop read sample\n");
        }
    }
    LogPrint("Delivering thread end\n");
}

HRESULT FrameControlManager::DeliverFrame(HANDLE hDevice, const FRAME_UNIT& frame,
                                          const BYTE* pData, UINT32 cbData, HRESULT hrStatus)
{
    if (frame.format == COLOR_FORMAT_YUY2)
    {
        // Never read past the buffer: a picture shorter than its stated size
        // (a decoder's output for a smaller picture, an empty decode) is not
        // a YUY2 frame of that size.
        UINT32 cbExpected = 0;
        if (!GetYuy2FrameSize(frame.width, frame.height, &cbExpected) || cbData < cbExpected)
        {
            LogPrint("Drop YUY2 frame %d x %d: %d bytes in the buffer\n", frame.width,
                     frame.height, cbData);
            return hrStatus;
        }
    }

    LockOutputFormats();
    hrStatus = DeliverToOwnFormat(hDevice, frame, pData, cbData, S_OK);
    if (frame.format == COLOR_FORMAT_YUY2)
        hrStatus = DeliverToNv12(hDevice, frame, pData, hrStatus);
    UnlockOutputFormats();
    return hrStatus;
}

HRESULT FrameControlManager::DeliverToOwnFormat(HANDLE hDevice, const FRAME_UNIT& frame,
                                                const BYTE* pData, UINT32 cbData,
                                                HRESULT hrStatus)
{
    auto range = m_outputFormats.equal_range(frame.format);
    for (auto it = range.first; it != range.second && SUCCEEDED(hrStatus); ++it)
    {
        const FORMAT_RESOLUTION_UNIT& target_resolution = it->second;
        hrStatus = S_OK;
        if (target_resolution.width == frame.width && target_resolution.height == frame.height)
        {
            hrStatus = SendFrame(hDevice, frame.format, frame.width, frame.height, pData, cbData);
        }
        else if (frame.format == COLOR_FORMAT_YUY2)
        {
            UINT32 cbResized = 0;
            GetYuy2FrameSize(target_resolution.width, target_resolution.height, &cbResized);
            ScratchBuffer resized(cbResized);
            if (resized.Get() == NULL)
                hrStatus = E_OUTOFMEMORY;
            if (SUCCEEDED(hrStatus))
                hrStatus = ResizeFrame(pData, frame.width, frame.height, resized.Get(),
                                       target_resolution.width, target_resolution.height);
            if (SUCCEEDED(hrStatus))
                hrStatus = SendFrame(hDevice, COLOR_FORMAT_YUY2, target_resolution.width,
                                     target_resolution.height, resized.Get(), cbResized);
        }
        // An MJPG frame of another size serves nothing.
    }
    return hrStatus;
}

HRESULT FrameControlManager::DeliverToNv12(HANDLE hDevice, const FRAME_UNIT& frame,
                                           const BYTE* pData, HRESULT hrStatus)
{
    auto range = m_outputFormats.equal_range(COLOR_FORMAT_NV12);
    for (auto it = range.first; it != range.second; ++it)
    {
        const FORMAT_RESOLUTION_UNIT& NV12_resolution = it->second;
        UINT32 nWidth = NV12_resolution.width;
        UINT32 nHeight = NV12_resolution.height;
        UINT32 cbWork = 0;
        UINT32 cbNv12 = 0;
        GetYuy2FrameSize(nWidth, nHeight, &cbWork);
        GetNv12FrameSize(nWidth, nHeight, &cbNv12);

        ScratchBuffer work(cbWork);
        ScratchBuffer nv12(cbNv12);
        if (work.Get() == NULL || nv12.Get() == NULL)
        {
            hrStatus = E_OUTOFMEMORY;
            continue;
        }
        hrStatus = ResizeFrame(pData, frame.width, frame.height, work.Get(), nWidth, nHeight);
        if (SUCCEEDED(hrStatus))
        {
            ConvertYUY2toNV12(work.Get(), nWidth, nHeight, nWidth * 2, nv12.Get(), nWidth, nHeight,
                              nWidth);
            hrStatus = SendFrame(hDevice, COLOR_FORMAT_NV12, nWidth, nHeight, nv12.Get(), cbNv12);
        }
    }
    return hrStatus;
}
