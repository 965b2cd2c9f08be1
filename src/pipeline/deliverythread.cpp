#include <stdlib.h>

#include "diagnostics/debuglog.h"
#include "driver/drivercallthread.h"
#include "driver/driverdiscovery.h"
#include "driver/driverio.h"
#include "host/hoststate.h"
#include "image/yuy2tonv12.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
const DWORD kQueueRecheckMs = 30;

// A frame is done well within a second; a thread that is not done by then is
// most likely blocked in the driver, whose call is then cancelled. Only a
// thread that still does not end is terminated.
const THREAD_END_LIMITS kDeliveryStopLimits = {1000, 1400, 5000};

// Working memory for one entry's picture, freed when the entry is done. It
// is noted in a slot of the pipeline's delivery resources meanwhile, so
// that it is freed even if the thread is ended before that.
class ScratchBuffer
{
public:
    ScratchBuffer(UINT32 cbSize, BYTE** ppSlot) : m_ppSlot(ppSlot)
    {
        *m_ppSlot = static_cast<BYTE*>(malloc(cbSize));
    }
    ~ScratchBuffer()
    {
        free(*m_ppSlot);
        *m_ppSlot = NULL;
    }
    BYTE* Get() const { return *m_ppSlot; }

private:
    ScratchBuffer(const ScratchBuffer&);
    ScratchBuffer& operator=(const ScratchBuffer&);
    BYTE** m_ppSlot;
};
}  // namespace

HRESULT FrameControlManager::StartDeliveryThread()
{
    StopDeliveryThread();

    if (m_hQuitEvent != NULL)
        CloseHandle(m_hQuitEvent);
    m_hQuitEvent = CreateEventExA(NULL, "QuitDeliveryThreadEvent", CREATE_EVENT_MANUAL_RESET,
                                  EVENT_ALL_ACCESS);
    // Without its events a thread could be neither stopped nor put to sleep
    // on an empty queue: its waits would fail at once, and it would spin.
    if (m_hQuitEvent == NULL || m_frameQueue.GetInsertedEvent() == NULL)
    {
        HRESULT hr = m_hQuitEvent == NULL ? HResultFromFailedCall() : E_HANDLE;
        LogPrint("StartDeliveryThread (), its events could not be created (0x%08X)\n", hr);
        return hr;
    }
    // Reset here rather than in the new thread, so that a stop requested
    // before the thread first runs is not lost.
    ResetEvent(m_hQuitEvent);

    m_hDeliveryThread = CreateThread(NULL, 0, DeliveringThread, this, 0, NULL);
    if (m_hDeliveryThread == NULL)
    {
        HRESULT hr = HResultFromFailedCall();
        LogPrint("StartDeliveryThread (), the thread could not be created (0x%08X)\n", hr);
        return hr;
    }
    return S_OK;
}

HRESULT FrameControlManager::KeepDeliveryThreadRunning()
{
    if (m_hDeliveryThread != NULL && WaitForSingleObject(m_hDeliveryThread, 0) == WAIT_TIMEOUT)
        return S_FALSE;
    return StartDeliveryThread();
}

void FrameControlManager::StopDeliveryThread()
{
    if (m_hDeliveryThread == NULL || m_hDeliveryThread == INVALID_HANDLE_VALUE)
        return;

    SetEvent(m_hQuitEvent);
    if (EndDriverCallingThread(m_hDeliveryThread, &m_driverCaller, kDeliveryStopLimits) ==
        THREAD_TERMINATED)
    {
        LogPrint("TIMEOUT! Force terminate the deliver thread\n");
        // What the thread held for its frame: the device, the sample and its
        // locked buffer, the work areas, the record and the timer period.
        m_heldForDelivery.ReleaseAll();
        TakeDeviceOfEndedCaller(&m_driverCaller);  // closed above, with the rest
    }
    CloseHandle(m_hDeliveryThread);
    m_hDeliveryThread = NULL;
    ClearFrameQueue();
}

bool FrameControlManager::IsQuitRequested() const
{
    // Asked between frames and between the entries of one frame, so that a
    // stop waits for one entry's work at most.
    return WaitForSingleObject(m_hQuitEvent, 0) == WAIT_OBJECT_0;
}

DWORD WINAPI FrameControlManager::DeliveringThread(LPVOID pContext)
{
    static_cast<FrameControlManager*>(pContext)->DeliverFrames();
    return 0;
}

void FrameControlManager::DeliverFrames()
{
    TrackDriverCalls(&m_driverCaller);
    LogPrint("Delivering thread start\n");
    // One answer for the thread's whole life, as if refused at the start: a
    // frame that could not even be opened for right after the start stops
    // the camera's read loop.
    DRIVER_ANSWER eAnswer = DRIVER_REFUSED;
    DeliveryResources& held = m_heldForDelivery;

    while (!IsQuitRequested())
    {
        if (IsFrameQueueEmpty())
        {
            LogPrint("Waiting for next sample...\n");
            WaitForSingleObject(m_frameQueue.GetInsertedEvent(), kQueueRecheckMs);
            LogPrint("Waiting for next sample...end\n");
            continue;
        }

        held.hDevice = OpenFoundDriverDevice();
        if (held.hDevice == INVALID_HANDLE_VALUE)
        {
            HRESULT hrOpen = HResultFromFailedCall();
            GetFrame();
            LogPrint("CreateFile Failed (0x%08X)\n", hrOpen);
        }
        else
        {
            LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(held.hDevice));
            FRAME_UNIT GotFrame = GetFrame();
            held.pSample.Swap(GotFrame.sample);
            if (held.pSample != NULL && SUCCEEDED(held.pSample->GetBufferByIndex(0, &held.pBuffer)))
            {
                DWORD cbCurrent = 0;
                BYTE* pData = NULL;
                held.pBuffer->GetCurrentLength(&cbCurrent);
                held.bBufferLocked = SUCCEEDED(held.pBuffer->Lock(&pData, NULL, NULL));
                if (held.bBufferLocked && pData != NULL && cbCurrent > 0)
                    eAnswer = DeliverFrame(held.hDevice, GotFrame, pData, cbCurrent, eAnswer);
            }
        }
        held.ReleaseAll();

        // Only the driver's refusal stops the camera on the pipeline's own
        // account; the host may ask for a stop too. A frame cut short by the
        // stop says nothing about the driver.
        const bool bRefused = eAnswer == DRIVER_REFUSED;
        if ((bRefused || gbStopCapturePending) && !IsQuitRequested())
        {
            // The worker restarts the camera only after a while, so that a
            // refusing driver meets no storm.
            if (bRefused)
                PostWorkerNotice(WORKER_NOTICE_FRAME_REFUSED);
            ResetEvent(m_hReadNextSampleEvent);
            LogPrint("Reset ReadNextSampleEvent to stop read sample\n");
        }
    }
    LogPrint("Delivering thread end\n");
}

FrameControlManager::DRIVER_ANSWER FrameControlManager::DeliverFrame(HANDLE hDevice,
                                                                     const FRAME_UNIT& frame,
                                                                     const BYTE* pData,
                                                                     UINT32 cbData,
                                                                     DRIVER_ANSWER eLastAnswer)
{
    if (frame.format == COLOR_FORMAT_YUY2)
    {
        // Never read past the buffer: a picture shorter than its stated size
        // (a decoder's output for a smaller picture, an empty decode) is not
        // a YUY2 frame of that size.
        UINT32 cbExpected = 0;
        if (!GetYuy2FrameSize(frame.width, frame.height, &cbExpected) || cbData < cbExpected)
        {
            LogPrint("Drop YUY2 frame %d x %d: %d bytes in the buffer\n", frame.width, frame.height,
                     cbData);
            return eLastAnswer;
        }
        // A longer buffer holds the picture and something else after it
        // (padding, a driver's trailer): the picture is its first bytes.
        cbData = cbExpected;
    }

    // Serve the frame from a copy of the table: the table lock is then never
    // held across a driver call, so the capture callback, which asks the
    // table under the capture builder's lock, never waits for the driver.
    m_servedFormats = m_outputFormats.CopyEntries();

    // A frame that reaches the driver starts with no refusal of its own.
    DRIVER_ANSWER eAnswer = DeliverToOwnFormat(hDevice, frame, pData, cbData);
    if (frame.format == COLOR_FORMAT_YUY2)
        eAnswer = DeliverToNv12(hDevice, frame, pData, eAnswer);
    return eAnswer;
}

FrameControlManager::DRIVER_ANSWER FrameControlManager::AnswerAfterEntry(
    DRIVER_ANSWER eLastAnswer, HRESULT hrEntry, BOOL bRefusedByDriver, _COLOR_FORMAT eFormat,
    UINT32 nWidth, UINT32 nHeight)
{
    if (bRefusedByDriver)
        return DRIVER_REFUSED;
    if (FAILED(hrEntry))
    {
        // The entry's own trouble says nothing of the driver or the camera:
        // the other entries are served and the read loop goes on.
        LogPrint("Skip entry %d x %d in format %d for this frame (0x%08X)\n", nWidth, nHeight,
                 eFormat, hrEntry);
        return eLastAnswer;
    }
    return DRIVER_ACCEPTED;
}

FrameControlManager::DRIVER_ANSWER FrameControlManager::DeliverToOwnFormat(HANDLE hDevice,
                                                                           const FRAME_UNIT& frame,
                                                                           const BYTE* pData,
                                                                           UINT32 cbData)
{
    DRIVER_ANSWER eAnswer = DRIVER_ACCEPTED;
    auto range = m_servedFormats.equal_range(frame.format);
    for (auto it = range.first;
         it != range.second && eAnswer == DRIVER_ACCEPTED && !IsQuitRequested(); ++it)
    {
        const FORMAT_RESOLUTION_UNIT& target_resolution = it->second;
        HRESULT hrEntry = S_OK;
        BOOL bRefused = FALSE;
        if (target_resolution.width == frame.width && target_resolution.height == frame.height)
        {
            hrEntry = SendFrame(hDevice, frame.format, frame.width, frame.height, pData, cbData,
                                &bRefused);
        }
        else if (frame.format == COLOR_FORMAT_YUY2)
        {
            UINT32 cbResized = 0;
            GetYuy2FrameSize(target_resolution.width, target_resolution.height, &cbResized);
            ScratchBuffer resized(cbResized, &m_heldForDelivery.ppScratch[0]);
            if (resized.Get() == NULL)
                hrEntry = E_OUTOFMEMORY;
            if (SUCCEEDED(hrEntry))
                hrEntry = ResizeFrame(pData, frame.width, frame.height, resized.Get(),
                                      target_resolution.width, target_resolution.height);
            if (SUCCEEDED(hrEntry))
                hrEntry = SendFrame(hDevice, COLOR_FORMAT_YUY2, target_resolution.width,
                                    target_resolution.height, resized.Get(), cbResized, &bRefused);
        }
        // An MJPG frame of another size serves nothing.
        eAnswer = AnswerAfterEntry(eAnswer, hrEntry, bRefused, frame.format,
                                   target_resolution.width, target_resolution.height);
    }
    return eAnswer;
}

FrameControlManager::DRIVER_ANSWER FrameControlManager::DeliverToNv12(HANDLE hDevice,
                                                                      const FRAME_UNIT& frame,
                                                                      const BYTE* pData,
                                                                      DRIVER_ANSWER eLastAnswer)
{
    DRIVER_ANSWER eAnswer = eLastAnswer;
    auto range = m_servedFormats.equal_range(COLOR_FORMAT_NV12);
    for (auto it = range.first; it != range.second && !IsQuitRequested(); ++it)
    {
        const FORMAT_RESOLUTION_UNIT& NV12_resolution = it->second;
        UINT32 nWidth = NV12_resolution.width;
        UINT32 nHeight = NV12_resolution.height;
        UINT32 cbWork = 0;
        UINT32 cbNv12 = 0;
        GetYuy2FrameSize(nWidth, nHeight, &cbWork);
        GetNv12FrameSize(nWidth, nHeight, &cbNv12);

        ScratchBuffer work(cbWork, &m_heldForDelivery.ppScratch[0]);
        ScratchBuffer nv12(cbNv12, &m_heldForDelivery.ppScratch[1]);
        HRESULT hrEntry = work.Get() != NULL && nv12.Get() != NULL ? S_OK : E_OUTOFMEMORY;
        BOOL bRefused = FALSE;
        if (SUCCEEDED(hrEntry))
            hrEntry = ResizeFrame(pData, frame.width, frame.height, work.Get(), nWidth, nHeight);
        if (SUCCEEDED(hrEntry))
        {
            ConvertYUY2toNV12(work.Get(), nWidth, nHeight, nWidth * 2, nv12.Get(), nWidth, nHeight,
                              nWidth);
            hrEntry = SendFrame(hDevice, COLOR_FORMAT_NV12, nWidth, nHeight, nv12.Get(), cbNv12,
                                &bRefused);
        }
        eAnswer = AnswerAfterEntry(eAnswer, hrEntry, bRefused, COLOR_FORMAT_NV12, nWidth, nHeight);
    }
    return eAnswer;
}
