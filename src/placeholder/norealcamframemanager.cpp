#include "placeholder/norealcamframemanager.h"

#include <mfapi.h>
#include <string.h>

#include "host/hoststate.h"
#include "image/mjpegdecoder.h"
#include "pipeline/framecontrolmanager.h"
#include "placeholderjpeg.h"
#include "resource.h"

NoRealCamFrameManager* gpNoRealCamFrameManager = NULL;
FrameControlManager* gpFrameControlManager = NULL;

namespace
{
const int kPictureResourceId = IDR_PLACEHOLDER_JPEG;
const DWORD kPictureBufferSize = 640 * 480 * 2;
const UINT_PTR kTimerEventId = 1314;
const UINT_PTR kDeferTimerEventId = 1315;
const UINT kTimerPeriodMs = 33;
const UINT32 kPicturesPerSecond = 30;
const int kDecodeAttempts = 3;

bool HoldsPicture(IMFSample* pSample)
{
    DWORD cbTotal = 0;
    return pSample != NULL && SUCCEEDED(pSample->GetTotalLength(&cbTotal)) && cbTotal > 0;
}

static_assert(PLACEHOLDER_JPEG_SIZE <= kPictureBufferSize,
              "the placeholder picture must fit its buffer");

// A window that is gone has no thread to hand to; the timer calls then fail
// on the spot as they would on the window's own thread.
bool IsOnWindowThread()
{
    DWORD dwOwner = ghMainWnd != NULL ? GetWindowThreadProcessId(ghMainWnd, NULL) : 0;
    return dwOwner == 0 || dwOwner == GetCurrentThreadId();
}

}  // namespace

void SetNoRealCamGlobals(NoRealCamFrameManager* pManager, FrameControlManager* pPipeline)
{
    gpNoRealCamFrameManager = pManager;
    gpFrameControlManager = pPipeline;
}

NoRealCamFrameManager::NoRealCamFrameManager()
    : m_nTimerId(0),
      m_nDeferTimerId(0),
      m_pacer(kPicturesPerSecond),
      m_eTimerWanted(TIMER_STOPPED),
      m_dwDeferMs(0),
      m_eRequestedFormat(COLOR_FORMAT_YUY2),
      m_nRequestedWidth(640),
      m_nRequestedHeight(480)
{
    InitializeCriticalSection(&m_csReadSample);
    LoadPicture();

    MjpegDecoder decoder;
    if (SUCCEEDED(decoder.FindMjpegDecoder()))
        decoder.SetDecoderMediaTypes();
    // A decoder may want more than one input before its first picture: the
    // same picture goes in again until one comes out.
    for (int i = 0;
         decoder.HasDecoder() && i < kDecodeAttempts && !HoldsPicture(m_pDecodedSample.Get()); ++i)
    {
        m_pDecodedSample.Reset();
        decoder.DecodeMjpegSample(m_pPictureSample.Get(), &m_pDecodedSample);
    }
    decoder.ReleaseDecoder();
}

NoRealCamFrameManager::~NoRealCamFrameManager()
{
    m_pSourceReader.Reset();
    m_pPictureSample.Reset();
    m_pDecodedSample.Reset();
    DeleteCriticalSection(&m_csReadSample);
    StopTimer();
}

HRESULT NoRealCamFrameManager::LoadPicture()
{
    Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
    HRESULT hr = MFCreateMemoryBuffer(kPictureBufferSize, &pBuffer);
    if (SUCCEEDED(hr))
        hr = MFCreateSample(&m_pPictureSample);

    const BYTE* pPicture = NULL;
    if (SUCCEEDED(hr))
    {
        HRSRC hResource = FindResourceA(ghInstance, MAKEINTRESOURCEA(kPictureResourceId),
                                        MAKEINTRESOURCEA(10));  // RT_RCDATA
        HGLOBAL hLoaded = hResource != NULL ? LoadResource(ghInstance, hResource) : NULL;
        pPicture = hLoaded != NULL ? static_cast<const BYTE*>(LockResource(hLoaded)) : NULL;
        if (pPicture == NULL ||
            SizeofResource(ghInstance, hResource) < static_cast<DWORD>(PLACEHOLDER_JPEG_SIZE))
        {
            hr = E_FAIL;
        }
    }

    BYTE* pData = NULL;
    if (SUCCEEDED(hr))
        hr = pBuffer->Lock(&pData, NULL, NULL);
    if (SUCCEEDED(hr))
    {
        memcpy(pData, pPicture, PLACEHOLDER_JPEG_SIZE);
        pBuffer->SetCurrentLength(PLACEHOLDER_JPEG_SIZE);
        m_pPictureSample->AddBuffer(pBuffer.Get());
        pBuffer->Unlock();
    }
    return hr;
}

STDMETHODIMP NoRealCamFrameManager::QueryInterface(REFIID, void**)
{
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) NoRealCamFrameManager::AddRef()
{
    return static_cast<ULONG>(E_NOTIMPL);
}

STDMETHODIMP_(ULONG) NoRealCamFrameManager::Release()
{
    return static_cast<ULONG>(E_NOTIMPL);
}

STDMETHODIMP NoRealCamFrameManager::OnReadSample(HRESULT, DWORD, DWORD, LONGLONG,
                                                 IMFSample* pSample)
{
    EnterCriticalSection(&m_csReadSample);
    if (pSample != NULL && m_pPictureSample == NULL)
    {
        Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
        if (SUCCEEDED(pSample->ConvertToContiguousBuffer(&pBuffer)) &&
            SUCCEEDED(MFCreateSample(&m_pPictureSample)))
        {
            m_pPictureSample->AddBuffer(pBuffer.Get());
        }
    }
    LeaveCriticalSection(&m_csReadSample);
    return S_OK;
}

STDMETHODIMP NoRealCamFrameManager::OnFlush(DWORD)
{
    return S_OK;
}

STDMETHODIMP NoRealCamFrameManager::OnEvent(DWORD, IMFMediaEvent*)
{
    return S_OK;
}

HRESULT NoRealCamFrameManager::StartTimer()
{
    OutputDebugStringW(L"NoRealCamFrameCtrlMgr start timer");
    return RequestTimer(TIMER_RUN, 0);
}

HRESULT NoRealCamFrameManager::StopTimer()
{
    OutputDebugStringW(L"NoRealCamFrameCtrlMgr kill timer");
    return RequestTimer(TIMER_STOPPED, 0);
}

HRESULT NoRealCamFrameManager::StartTimerUnlessStoppedWithin(DWORD dwDelayMs)
{
    if (InterlockedCompareExchange(&m_eTimerWanted, 0, 0) == TIMER_RUN)
        return S_FALSE;
    return RequestTimer(TIMER_DEFERRED, dwDelayMs);
}

HRESULT NoRealCamFrameManager::RequestTimer(LONG eWanted, DWORD dwDelayMs)
{
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_dwDeferMs),
                        static_cast<LONG>(dwDelayMs));
    InterlockedExchange(&m_eTimerWanted, eWanted);
    if (IsOnWindowThread())
        return ApplyWantedTimer();
    // Posted, never sent: the window's thread may itself be waiting for the
    // caller. The window applies the latest wish, so requests that cross
    // on the way cannot leave the timer in the state asked first.
    if (!PostMessageW(ghMainWnd, WM_PLACEHOLDER_TIMER, 0, 0))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT NoRealCamFrameManager::ApplyWantedTimer()
{
    LONG eWanted = InterlockedCompareExchange(&m_eTimerWanted, 0, 0);
    if (eWanted != TIMER_DEFERRED && m_nDeferTimerId != 0)
    {
        KillTimer(ghMainWnd, m_nDeferTimerId);
        m_nDeferTimerId = 0;
    }
    if (eWanted == TIMER_DEFERRED)
    {
        if (m_nTimerId != 0 || m_nDeferTimerId != 0)
            return S_FALSE;
        m_nDeferTimerId = SetTimer(ghMainWnd, kDeferTimerEventId, m_dwDeferMs, OnDeferTimer);
        return m_nDeferTimerId != 0 ? S_OK : E_FAIL;
    }
    if (eWanted == TIMER_RUN)
    {
        if (m_nTimerId != 0)
            return S_FALSE;
        m_nTimerId = SetTimer(ghMainWnd, kTimerEventId, kTimerPeriodMs, OnTimer);
        m_pacer.Start(GetTickCount());
        return m_nTimerId != 0 ? S_OK : E_FAIL;
    }
    if (m_nTimerId == 0)
        return S_FALSE;
    BOOL bKilled = KillTimer(ghMainWnd, m_nTimerId);
    m_nTimerId = 0;
    return bKilled ? S_OK : E_FAIL;
}

void CALLBACK NoRealCamFrameManager::OnDeferTimer(HWND, UINT, UINT_PTR, DWORD)
{
    NoRealCamFrameManager* pManager = gpNoRealCamFrameManager;
    if (pManager == NULL)
        return;
    // Still wanted after the delay: the placeholder serves from now on.
    InterlockedCompareExchange(&pManager->m_eTimerWanted, TIMER_RUN, TIMER_DEFERRED);
    pManager->ApplyWantedTimer();
}

LRESULT NoRealCamFrameManager::OnPlaceholderTimerMessage(WPARAM)
{
    if (gpNoRealCamFrameManager == NULL)
        return E_UNEXPECTED;
    return gpNoRealCamFrameManager->ApplyWantedTimer();
}

HRESULT NoRealCamFrameManager::SetFormat(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight)
{
    m_eRequestedFormat = static_cast<_COLOR_FORMAT>(nFormat);
    m_nRequestedWidth = nWidth;
    m_nRequestedHeight = nHeight;
    return S_OK;
}

void CALLBACK NoRealCamFrameManager::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    OutputDebugStringW(L"NoRealCamFrameCtrlMgr timer running");
    if (gpNoRealCamFrameManager == NULL || gpFrameControlManager == NULL)
        return;
    for (UINT32 n = gpNoRealCamFrameManager->m_pacer.PicturesForTick(GetTickCount()); n > 0; --n)
        QueuePicture();
}

void NoRealCamFrameManager::QueuePicture()
{
    gpFrameControlManager->InsertFrame(FRAME_UNIT(COLOR_FORMAT_MJPG, MjpegDecoder::kFrameWidth,
                                                  MjpegDecoder::kFrameHeight,
                                                  gpNoRealCamFrameManager->GetPictureSample()));
    gpFrameControlManager->InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, MjpegDecoder::kFrameWidth,
                                                  MjpegDecoder::kFrameHeight,
                                                  gpNoRealCamFrameManager->GetDecodedSample()));
}
