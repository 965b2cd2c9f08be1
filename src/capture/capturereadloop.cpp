#include "capture/mfcapturebuilder.h"

#include <mferror.h>

#include "diagnostics/debuglog.h"
#include "host/hoststate.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
// A camera answers a read within a frame period; a stalled or unplugged one
// never does, and a read that only waits for its source may go with the
// reader.
const DWORD kPendingReadWaitMs = 1000;
const DWORD kCallbackDrainWaitMs = 2000;

template <typename Condition>
void WaitBriefly(Condition condition, DWORD dwTimeoutMs)
{
    DWORD dwStart = GetTickCount();
    while (!condition() && GetTickCount() - dwStart < dwTimeoutMs)
        Sleep(1);
}
}  // namespace

HRESULT CMFCaptureBuilder::requestNextSample()
{
    HRESULT hr = m_pSourceReader->ReadSample(
        static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, NULL, NULL, NULL, NULL);
    if (SUCCEEDED(hr))
        InterlockedIncrement(&m_nReadsPending);
    return hr;
}

void CMFCaptureBuilder::postCaptureError(HRESULT hr)
{
    PostMessageA(m_hNotifyWnd, WM_CAPTURE_FAILED, static_cast<WPARAM>(hr), 0);
}

HRESULT CMFCaptureBuilder::StartCapture()
{
    LogPrint("CMFCaptureBuilder(0x%p)::StartCapture ()\n", this);
    if (m_pMediaSource == NULL)
        return E_FAIL;

    EnterCriticalSection(&m_cs);
    HRESULT hr = S_OK;
    if (m_pSourceReader == NULL)
        hr = createSourceReader();
    if (m_pSourceReader != NULL)
    {
        m_bFirstSamplePending = TRUE;
        SetEvent(m_hReadNextSampleEvent);
        hr = requestNextSample();
    }
    if (FAILED(hr))
        postCaptureError(hr);

    m_bStreaming = TRUE;
    hr = m_pFrameControlManager->StartDeliveryThread();
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::StartCapture (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

HRESULT CMFCaptureBuilder::StopCapture()
{
    LogPrint("CMFCaptureBuilder(0x%p)::StopCapture ()\n", this);

    // Take the reader away under the lock, but release it outside: releasing
    // waits for the source to stop on the reader's own thread, where a
    // callback may be waiting for this very lock.
    EnterCriticalSection(&m_cs);
    IMFSourceReader* pReader = m_pSourceReader;
    m_pSourceReader = NULL;
    LeaveCriticalSection(&m_cs);
    if (pReader != NULL)
    {
        waitForReaderToSettle(pReader);
        pReader->Release();
    }

    EnterCriticalSection(&m_cs);
    m_pFrameControlManager->StopDeliveryThread();
    m_bStreaming = FALSE;
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::StopCapture (): End\n", this);
    return S_OK;
}

void CMFCaptureBuilder::waitForReaderToSettle(IMFSourceReader* pReader)
{
    // Each read in flight comes back to a callback that finds no reader and
    // requests nothing more. Once that callback has returned, the reader's
    // thread drops the reference it held for the call; only then is this
    // release the last one. Every wait is bounded: a reader that keeps
    // references of its own is released all the same.
    WaitBriefly([&] { return InterlockedCompareExchange(&m_nReadsPending, 0, 0) <= 0; },
                kPendingReadWaitMs);
    WaitBriefly([&] { return InterlockedCompareExchange(&m_nCallbacksInFlight, 0, 0) == 0; },
                kCallbackDrainWaitMs);
    WaitBriefly(
        [&] {
            pReader->AddRef();
            return pReader->Release() <= 1;
        },
        kCallbackDrainWaitMs);
}

HRESULT CMFCaptureBuilder::checkStreamFlags(DWORD dwStreamFlags)
{
    // The end of the stream answers every later read at once: asking again
    // would spin. An error flag ends the loop as a failed status does.
    if (dwStreamFlags & MF_SOURCE_READERF_ENDOFSTREAM)
        return MF_E_END_OF_STREAM;
    if (dwStreamFlags & MF_SOURCE_READERF_ERROR)
        return E_FAIL;
    if ((dwStreamFlags &
         (MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED | MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED)) == 0)
        return S_OK;

    // A new type is only harmless while it is still what the pipeline was
    // told; otherwise its frames would go out under the old label.
    IMFMediaType* pCurrent = NULL;
    HRESULT hr = m_pSourceReader->GetCurrentMediaType(
        static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &pCurrent);
    if (SUCCEEDED(hr) && !IsCaptureType(pCurrent))
        hr = MF_E_INVALIDMEDIATYPE;
    if (pCurrent != NULL)
        pCurrent->Release();
    LogPrint("CMFCaptureBuilder(0x%p)::media type changed: HRESULT 0x%08X\n", this, hr);
    return hr;
}

STDMETHODIMP CMFCaptureBuilder::OnReadSample(HRESULT hrStatus, DWORD, DWORD dwStreamFlags,
                                             LONGLONG llTimestamp, IMFSample* pSample)
{
    InterlockedIncrement(&m_nCallbacksInFlight);
    EnterCriticalSection(&m_cs);
    if (InterlockedDecrement(&m_nReadsPending) < 0)
        InterlockedIncrement(&m_nReadsPending);  // a call made by someone else
    HRESULT hr = hrStatus;
    // After StopCapture the loop has ended already: a last callback only
    // asks the host to stop, whatever its flags say.
    if (SUCCEEDED(hr) && m_pSourceReader != NULL)
        hr = checkStreamFlags(dwStreamFlags);
    if (SUCCEEDED(hr))
    {
        if (pSample != NULL)
        {
            if (m_bFirstSamplePending)
            {
                m_llBaseTimestamp = llTimestamp;
                m_bFirstSamplePending = FALSE;
            }
            llTimestamp -= m_llBaseTimestamp;
            hr = pSample->SetSampleTime(llTimestamp);
            if (SUCCEEDED(hr))
            {
                IMFMediaBuffer* pBuffer = NULL;
                if (SUCCEEDED(pSample->GetBufferByIndex(0, &pBuffer)) && pBuffer != NULL)
                {
                    DWORD cbLength = 0;
                    pBuffer->GetCurrentLength(&cbLength);
                    LogPrint("  Buffer length %d\n", cbLength);
                    pBuffer->Release();
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
                LogPrint("CMFCaptureBuilder(0x%p)::Notify to stop capture(%I64d): HRESULT 0x%08X\n",
                         this, llTimestamp, hr);
            }
        }
    }
    if (FAILED(hr))
        postCaptureError(hr);
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::OnReadSample (%I64d): HRESULT 0x%08X\n", this, llTimestamp,
             hr);
    InterlockedDecrement(&m_nCallbacksInFlight);
    return hr;
}
