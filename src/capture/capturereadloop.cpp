#include "capture/mfcapturebuilder.h"

#include "diagnostics/debuglog.h"
#include "host/hoststate.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
const DWORD kDrainTimeoutMs = 2000;
}

HRESULT CMFCaptureBuilder::requestNextSample()
{
    return m_pSourceReader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0,
                                       NULL, NULL, NULL, NULL);
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
        waitForCallbacksToDrain(pReader);
        pReader->Release();
    }

    EnterCriticalSection(&m_cs);
    m_pFrameControlManager->StopDeliveryThread();
    m_bStreaming = FALSE;
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::StopCapture (): End\n", this);
    return S_OK;
}

void CMFCaptureBuilder::waitForCallbacksToDrain(IMFSourceReader* pReader)
{
    // A callback that already entered finds no reader now and requests
    // nothing more. Once it has returned, the reader's thread drops the
    // reference it held for the call; only then is this release the last
    // one. Both waits are bounded: a reader that keeps references of its own
    // is released all the same.
    DWORD dwStart = GetTickCount();
    while (InterlockedCompareExchange(&m_nCallbacksInFlight, 0, 0) != 0 &&
           GetTickCount() - dwStart < kDrainTimeoutMs)
    {
        Sleep(1);
    }
    while (GetTickCount() - dwStart < kDrainTimeoutMs)
    {
        pReader->AddRef();
        if (pReader->Release() <= 1)
            break;
        Sleep(1);
    }
}

STDMETHODIMP CMFCaptureBuilder::OnReadSample(HRESULT hrStatus, DWORD, DWORD, LONGLONG llTimestamp,
                                             IMFSample* pSample)
{
    InterlockedIncrement(&m_nCallbacksInFlight);
    EnterCriticalSection(&m_cs);
    HRESULT hr = hrStatus;
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
