#include "capture/mfcapturebuilder.h"

#include <mfapi.h>
#include <shlwapi.h>

#include <new>

#include "capture/capturedeviceenumeration.h"
#include "capture/readerworkqueue.h"
#include "diagnostics/activatearray.h"
#include "diagnostics/debuglog.h"
#include "pipeline/framecontrolmanager.h"

using Microsoft::WRL::ComPtr;

HRESULT CMFCaptureBuilder::CreateInstance(HWND hNotifyWnd, CMFCaptureBuilder** ppBuilder)
{
    if (ppBuilder == NULL)
        return E_POINTER;
    CMFCaptureBuilder* pBuilder = new (std::nothrow) CMFCaptureBuilder(hNotifyWnd);
    if (pBuilder == NULL)
        return E_OUTOFMEMORY;
    *ppBuilder = pBuilder;
    return S_OK;
}

CMFCaptureBuilder::CMFCaptureBuilder(HWND hNotifyWnd)
    : m_nRefCount(1),
      m_hNotifyWnd(hNotifyWnd),
      m_pFrameControlManager(NULL),
      m_bStreaming(FALSE),
      m_bStreamingNow(FALSE),
      m_dwLastSampleTick(0),
      m_bWebcamFailed(FALSE),
      m_bFirstSamplePending(FALSE),
      m_llBaseTimestamp(0),
      m_hReadNextSampleEvent(NULL),
      m_nReadsPending(0),
      m_hReadsSettled(CreateEventW(NULL, TRUE, TRUE, NULL)),
      m_captureSubtype(GUID_NULL),
      m_nCaptureWidth(0),
      m_nCaptureHeight(0)
{
    LogPrint("CMFCaptureBuilder(0x%p)::CMFCaptureBuilder ()\n", this);
    MFStartup(MF_VERSION, MFSTARTUP_FULL);
    m_szSymbolicLink[0] = '\0';
    m_szLinkInUse[0] = '\0';
    m_hReadNextSampleEvent = CreateEventA(NULL, TRUE, FALSE, "ReadNextSampleEvent");
    m_pFrameControlManager = new FrameControlManager(m_hReadNextSampleEvent);
    enumWebcamDevices();
}

CMFCaptureBuilder::~CMFCaptureBuilder()
{
    releaseMediaSource();
    releaseWebcamList();
    if (m_hReadsSettled != NULL)
        CloseHandle(m_hReadsSettled);
    if (m_hReadNextSampleEvent != NULL)
        CloseHandle(m_hReadNextSampleEvent);
    delete m_pFrameControlManager;
    MFShutdown();
    LogPrint("CMFCaptureBuilder(0x%p)::~CMFCaptureBuilder ()\n", this);
}

STDMETHODIMP CMFCaptureBuilder::QueryInterface(REFIID riid, void** ppv)
{
    static const QITAB qit[] = {
        {&IID_IMFSourceReaderCallback, OFFSETOFCLASS(IMFSourceReaderCallback, CMFCaptureBuilder)},
        {NULL, 0},
    };
    return QISearch(this, qit, riid, ppv);
}

STDMETHODIMP_(ULONG) CMFCaptureBuilder::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nRefCount));
}

STDMETHODIMP_(ULONG) CMFCaptureBuilder::Release()
{
    LONG nCount = InterlockedDecrement(&m_nRefCount);
    if (nCount == 0)
        delete this;
    return static_cast<ULONG>(nCount);
}

STDMETHODIMP CMFCaptureBuilder::OnFlush(DWORD)
{
    return S_OK;
}

STDMETHODIMP CMFCaptureBuilder::OnEvent(DWORD, IMFMediaEvent*)
{
    return S_OK;
}

HRESULT CMFCaptureBuilder::enumWebcamDevices()
{
    HRESULT hr = S_OK;
    UINT32 nCount = 0;
    {
        SurvivingLockGuard guard(m_lock);
        releaseWebcamList();

        ComPtr<IMFAttributes> pAttributes;
        hr = MFCreateAttributes(&pAttributes, 1);
        if (SUCCEEDED(hr))
            hr = pAttributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
        IMFActivate** ppDevices = NULL;
        UINT32 nDevices = 0;
        if (SUCCEEDED(hr))
            hr =
                gCaptureDeviceEnum.pfnMFEnumDeviceSources(pAttributes.Get(), &ppDevices, &nDevices);
        m_devices = AdoptActivateArray(ppDevices, nDevices);
        if (SUCCEEDED(hr) && m_devices.empty())
            hr = E_FAIL;
        nCount = deviceCount();
    }
    LogPrint("CMFCaptureBuilder(0x%p)::enumWebcamDevices (): HRESULT 0x%08X, Found %d devices\n",
             this, hr, nCount);
    return hr;
}

HRESULT CMFCaptureBuilder::getWebcamSymbolicLink(UINT32 nIndex, char* pszLink, UINT32* pcchLink)
{
    SurvivingLockGuard guard(m_lock);
    HRESULT hr = S_OK;
    if (nIndex >= deviceCount())
        hr = E_INVALIDARG;

    WCHAR* pwszLink = NULL;
    UINT32 cchLink = 0;
    if (SUCCEEDED(hr))
        hr = m_devices[nIndex]->GetAllocatedString(
            MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &pwszLink, &cchLink);
    if (SUCCEEDED(hr) && pszLink != NULL)
    {
        // The terminator needs room too: a buffer of exactly the link's
        // length would be overrun by one byte.
        if (*pcchLink < cchLink + 1)
            hr = E_INVALIDARG;
        else if (WideCharToMultiByte(CP_ACP, 0, pwszLink, -1, pszLink, static_cast<int>(*pcchLink),
                                     NULL, NULL) == 0)
            hr = HRESULT_FROM_WIN32(GetLastError());
    }
    if (pcchLink != NULL)
        *pcchLink = SUCCEEDED(hr) || pwszLink != NULL ? cchLink : 0;
    CoTaskMemFree(pwszLink);
    return hr;
}

HRESULT CMFCaptureBuilder::SetWebcamDevice(UINT32 nIndex)
{
    LogPrint("CMFCaptureBuilder(0x%p)::SetWebcamDevice (%d)\n", this, nIndex);
    HRESULT hr = E_INVALIDARG;
    if (nIndex < deviceCount())
        hr = createWebcamDevice(m_devices[nIndex].Get());
    LogPrint("CMFCaptureBuilder(0x%p)::SetWebcamDevice (%d): HRESULT 0x%08X\n", this, nIndex, hr);
    return hr;
}

HRESULT CMFCaptureBuilder::createWebcamDevice(IMFActivate* pActivate)
{
    HRESULT hr = pActivate != NULL ? S_OK : E_POINTER;
    {
        // Held through the activation, which may never return: the worker
        // is then ended by force, and this lock survives it. No callback
        // can be waiting for it here, since the old reader goes first.
        SurvivingLockGuard guard(m_lock);
        WCHAR* pwszLink = NULL;
        UINT32 cchLink = 0;
        if (SUCCEEDED(hr))
        {
            releaseMediaSource();
            hr = pActivate->ActivateObject(
                IID_IMFMediaSource,
                reinterpret_cast<void**>(m_pMediaSource.ReleaseAndGetAddressOf()));
        }
        if (SUCCEEDED(hr))
            hr = pActivate->GetAllocatedString(
                MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &pwszLink, &cchLink);
        if (SUCCEEDED(hr))
        {
            // A link longer than the field keeps its beginning, where a USB
            // link holds its vendor and product ids; the field never
            // overflows.
            std::string link(WideCharToMultiByte(CP_ACP, 0, pwszLink, -1, NULL, 0, NULL, NULL),
                             '\0');
            WideCharToMultiByte(CP_ACP, 0, pwszLink, -1, &link[0], static_cast<int>(link.size()),
                                NULL, NULL);
            strncpy_s(m_szSymbolicLink, sizeof(m_szSymbolicLink), link.c_str(), _TRUNCATE);
            hr = createSourceReader();
        }
        if (SUCCEEDED(hr))
        {
            SurvivingLockGuard linkGuard(m_linkLock);
            strcpy_s(m_szLinkInUse, sizeof(m_szLinkInUse), m_szSymbolicLink);
        }
        CoTaskMemFree(pwszLink);
    }
    LogPrint("CMFCaptureBuilder(0x%p)::createWebcamDevice (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

HRESULT CMFCaptureBuilder::createSourceReader()
{
    if (m_pMediaSource == NULL)
        return E_FAIL;

    HRESULT hr = S_OK;
    {
        SurvivingLockGuard guard(m_lock);
        releaseSourceReader();

        ComPtr<IMFAttributes> pAttributes;
        hr = MFCreateAttributes(&pAttributes, 3);
        if (SUCCEEDED(hr))
            hr = pAttributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, TRUE);
        if (SUCCEEDED(hr))
            hr = pAttributes->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
        if (SUCCEEDED(hr))
            hr = pAttributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK,
                                         static_cast<IMFSourceReaderCallback*>(this));
        // Whether or not the lock is had, the reader is made: without it a
        // release is only as safe as the stop's timing.
        HoldReaderWorkQueue();
        if (SUCCEEDED(hr))
            hr = MFCreateSourceReaderFromMediaSource(m_pMediaSource.Get(), pAttributes.Get(),
                                                     &m_pSourceReader);
        if (SUCCEEDED(hr))
            hr = m_pSourceReader->SetStreamSelection(
                static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), TRUE);
    }
    LogPrint("CMFCaptureBuilder(0x%p)::createSourceReader (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

void CMFCaptureBuilder::releaseSourceReader()
{
    // Released under the lock: the host stops the capture before it closes
    // or reopens the webcam, and StopCapture takes a reading reader away, so
    // a reader still here has no callback waiting for this lock.
    SurvivingLockGuard guard(m_lock);
    m_pSourceReader.Reset();
}

void CMFCaptureBuilder::releaseMediaSource()
{
    SurvivingLockGuard guard(m_lock);
    releaseSourceReader();
    if (m_pMediaSource != NULL)
    {
        m_pMediaSource->Shutdown();
        m_pMediaSource.Reset();
    }
}

void CMFCaptureBuilder::releaseWebcamList()
{
    SurvivingLockGuard guard(m_lock);
    // In the enumeration's order, as the list was always let go.
    for (ComPtr<IMFActivate>& device : m_devices)
        device.Reset();
    m_devices.clear();
}

void CMFCaptureBuilder::UninitWebcamDevice()
{
    {
        SurvivingLockGuard guard(m_lock);
        releaseMediaSource();
        releaseWebcamList();
    }
    LogPrint("CMFCaptureBuilder(0x%p)::UninitWebcamDevice ()\n", this);
}

HRESULT CMFCaptureBuilder::ReleaseWebcamDevice()
{
    releaseMediaSource();
    return S_OK;
}

BOOL CMFCaptureBuilder::IsStreaming()
{
    LogPrint("CMFCaptureBuilder(0x%p)::IsStreaming\n", this);
    BOOL bStreaming = FALSE;
    {
        SurvivingLockGuard guard(m_lock);
        bStreaming = m_bStreaming;
    }
    LogPrint("CMFCaptureBuilder(0x%p)::IsStreaming: %d\n", this, bStreaming);
    return bStreaming;
}

BOOL CMFCaptureBuilder::IsSilentFor(DWORD dwMs)
{
    if (!InterlockedCompareExchange(&m_bStreamingNow, 0, 0))
        return FALSE;
    DWORD dwLast = static_cast<DWORD>(InterlockedCompareExchange(&m_dwLastSampleTick, 0, 0));
    return GetTickCount() - dwLast > dwMs;
}

HRESULT CMFCaptureBuilder::SetReadNextSampleEvent(BOOL bSet)
{
    if (bSet)
        SetEvent(m_hReadNextSampleEvent);
    else
        ResetEvent(m_hReadNextSampleEvent);
    return S_OK;
}

HRESULT CMFCaptureBuilder::ClearOutputFormats()
{
    return m_pFrameControlManager->ClearOutputFormats();
}

HRESULT CMFCaptureBuilder::AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
{
    return m_pFrameControlManager->AddOutputFormat(eFormat, nWidth, nHeight);
}
