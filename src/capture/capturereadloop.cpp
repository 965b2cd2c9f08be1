#include "capture/mfcapturebuilder.h"

#include <mferror.h>

#include "diagnostics/debuglog.h"
#include "host/hoststate.h"
#include "pipeline/framecontrolmanager.h"

using Microsoft::WRL::ComPtr;

namespace
{
// A camera answers a read within a frame period; a stalled or unplugged one
// may never do, and a read that only waits for its source may go with the
// reader.
const DWORD kLastReadWaitMs = 1000;
}  // namespace

void CMFCaptureBuilder::resetReadCount()
{
    // A read that an earlier stop gave up on belongs to a reader that is
    // gone; it must not make every later stop wait.
    SurvivingLockGuard guard(m_readsLock);
    m_nReadsPending = 0;
    SetEvent(m_hReadsSettled);
}

void CMFCaptureBuilder::addPendingRead()
{
    SurvivingLockGuard guard(m_readsLock);
    if (m_nReadsPending++ == 0)
        ResetEvent(m_hReadsSettled);
}

void CMFCaptureBuilder::endPendingRead()
{
    SurvivingLockGuard guard(m_readsLock);
    // A callback that no read of ours asked for (one of a reader given up
    // on) leaves the count at 0.
    if (m_nReadsPending > 0)
        --m_nReadsPending;
    if (m_nReadsPending == 0)
        SetEvent(m_hReadsSettled);
}

HRESULT CMFCaptureBuilder::requestNextSample()
{
    // Counted before the call: the callback may run before ReadSample returns.
    addPendingRead();
    HRESULT hr = m_pSourceReader->ReadSample(
        static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, NULL, NULL, NULL, NULL);
    if (FAILED(hr))
        endPendingRead();
    return hr;
}

void CMFCaptureBuilder::postCaptureError(HRESULT hr)
{
    InterlockedExchange(&m_bWebcamFailed, TRUE);
    PostMessageA(m_hNotifyWnd, WM_CAPTURE_FAILED, static_cast<WPARAM>(hr), 0);
}

HRESULT CMFCaptureBuilder::StartCapture()
{
    LogPrint("CMFCaptureBuilder(0x%p)::StartCapture ()\n", this);
    if (m_pMediaSource == NULL)
        return E_FAIL;

    HRESULT hr = S_OK;
    {
        SurvivingLockGuard guard(m_lock);
        if (m_pSourceReader == NULL)
            hr = createSourceReader();
        if (m_pSourceReader != NULL)
        {
            resetReadCount();
            InterlockedExchange(&m_bWebcamFailed, FALSE);
            m_bFirstSamplePending = TRUE;
            SetEvent(m_hReadNextSampleEvent);
            hr = requestNextSample();
        }
        if (FAILED(hr))
            postCaptureError(hr);

        m_bStreaming = TRUE;
        InterlockedExchange(&m_dwLastSampleTick, static_cast<LONG>(GetTickCount()));
        InterlockedExchange(&m_bStreamingNow, TRUE);
        // Safe under the lock: the start first stops a delivery thread left
        // running, and that thread never takes this lock; its stop is
        // bounded (the thread is ended by force at worst).
        hr = m_pFrameControlManager->StartDeliveryThread();
    }
    LogPrint("CMFCaptureBuilder(0x%p)::StartCapture (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

HRESULT CMFCaptureBuilder::StopCapture()
{
    LogPrint("CMFCaptureBuilder(0x%p)::StopCapture ()\n", this);

    // Take the reader away under the lock, but wait for it outside: the
    // callback of the read in flight needs this lock to finish. It finds no
    // reader, asks for nothing more, and its end sets the reads-settled
    // event: the delivery thread stops after the run's last frame is handed
    // over, not during it. The reader may go even while that callback's work
    // item ends: the readers' work queue is held for the process
    // (readerworkqueue.h). A webcam that failed, was unplugged or fell
    // silent will not answer: clients do not wait behind its read, and its
    // reader goes as one that timed out.
    ComPtr<IMFSourceReader> pReader;
    bool bAnswering = false;
    {
        SurvivingLockGuard guard(m_lock);
        pReader.Swap(m_pSourceReader);
        bAnswering =
            !InterlockedCompareExchange(&m_bWebcamFailed, 0, 0) && !IsSilentFor(kLastReadWaitMs);
    }
    if (pReader != NULL &&
        WaitForSingleObject(m_hReadsSettled, bAnswering ? kLastReadWaitMs : 0) != WAIT_OBJECT_0)
        LogPrint("CMFCaptureBuilder(0x%p)::StopCapture (): the last read did not come back\n",
                 this);

    {
        // Safe under the lock: the delivery thread never takes it, and its
        // stop is bounded (the thread is ended by force at worst). A late
        // callback waits here only as long as that stop.
        SurvivingLockGuard guard(m_lock);
        m_pFrameControlManager->StopDeliveryThread();
        m_bStreaming = FALSE;
        InterlockedExchange(&m_bStreamingNow, FALSE);
    }
    pReader.Reset();
    LogPrint("CMFCaptureBuilder(0x%p)::StopCapture (): End\n", this);
    return S_OK;
}

HRESULT CMFCaptureBuilder::checkStreamFlags(DWORD dwStreamFlags)
{
    // The end of the stream answers every later read at once: asking again
    // would spin. An error flag ends the loop as a failed status does.
    if (dwStreamFlags & MF_SOURCE_READERF_ENDOFSTREAM)
        return MF_E_END_OF_STREAM;
    if (dwStreamFlags & MF_SOURCE_READERF_ERROR)
        return E_FAIL;
    if ((dwStreamFlags & (MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED |
                          MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED)) == 0)
        return S_OK;

    // A new type is only harmless while it is still what the pipeline was
    // told; otherwise its frames would go out under the old label.
    ComPtr<IMFMediaType> pCurrent;
    HRESULT hr = m_pSourceReader->GetCurrentMediaType(
        static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &pCurrent);
    if (SUCCEEDED(hr) && !IsCaptureType(pCurrent.Get()))
        hr = MF_E_INVALIDMEDIATYPE;
    LogPrint("CMFCaptureBuilder(0x%p)::media type changed: HRESULT 0x%08X\n", this, hr);
    return hr;
}

STDMETHODIMP CMFCaptureBuilder::OnReadSample(HRESULT hrStatus, DWORD, DWORD dwStreamFlags,
                                             LONGLONG llTimestamp, IMFSample* pSample)
{
    HRESULT hr = hrStatus;
    {
        // DeliverSample runs under the lock: it decodes on this thread and
        // takes only the pipeline's queue lock, next in the lock order.
        SurvivingLockGuard guard(m_lock);
        // After StopCapture the loop has ended already: a last callback only
        // asks the host to stop, whatever its flags or status say. A stopped
        // reader's read failing as its webcam shuts down is no news.
        bool bLoopRuns = m_pSourceReader != NULL;
        if (SUCCEEDED(hr) && bLoopRuns)
            hr = checkStreamFlags(dwStreamFlags);
        if (SUCCEEDED(hr))
        {
            if (pSample != NULL)
            {
                InterlockedExchange(&m_dwLastSampleTick, static_cast<LONG>(GetTickCount()));
                if (m_bFirstSamplePending)
                {
                    m_llBaseTimestamp = llTimestamp;
                    m_bFirstSamplePending = FALSE;
                }
                llTimestamp -= m_llBaseTimestamp;
                hr = pSample->SetSampleTime(llTimestamp);
                if (SUCCEEDED(hr))
                {
                    ComPtr<IMFMediaBuffer> pBuffer;
                    if (SUCCEEDED(pSample->GetBufferByIndex(0, &pBuffer)) && pBuffer != NULL)
                    {
                        DWORD cbLength = 0;
                        pBuffer->GetCurrentLength(&cbLength);
                        LogPrint("  Buffer length %d\n", cbLength);
                    }
                }
            }
            if (SUCCEEDED(hr))
            {
                m_pFrameControlManager->DeliverSample(pSample);

                if (WaitForSingleObject(m_hReadNextSampleEvent, 0) == WAIT_OBJECT_0 &&
                    m_pSourceReader != NULL)
                {
                    hr = requestNextSample();
                }
                else
                {
                    NotifyStopCapture();
                    LogPrint(
                        "CMFCaptureBuilder(0x%p)::Notify to stop capture(%I64d): "
                        "HRESULT 0x%08X\n",
                        this, llTimestamp, hr);
                }
            }
        }
        if (FAILED(hr) && bLoopRuns)
            postCaptureError(hr);
    }
    LogPrint("CMFCaptureBuilder(0x%p)::OnReadSample (%I64d): HRESULT 0x%08X\n", this, llTimestamp,
             hr);
    // The callback's last act: a stop waiting for it may now let the reader go.
    endPendingRead();
    return hr;
}
