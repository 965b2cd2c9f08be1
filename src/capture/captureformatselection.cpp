#include "capture/mfcapturebuilder.h"

#include <mfapi.h>
#include <mferror.h>
#include <string.h>

#include "diagnostics/debuglog.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
const LONGLONG kFrameDuration30Fps = 333333;

struct CAPTURE_CHOICE
{
    UINT32 nWidth;
    UINT32 nHeight;
    int nFormatCode;
    BOOL bInputIsYuy2;
};

const CAPTURE_CHOICE kMjpgChoice = {1280, 720, 3, FALSE};
const CAPTURE_CHOICE kYuy2Choice = {640, 480, 0, TRUE};

// A video type holding exactly major type, subtype and frame size.
HRESULT CreateProbeType(const GUID& subtype, UINT32 nWidth, UINT32 nHeight, IMFMediaType** ppType)
{
    IMFMediaType* pType = NULL;
    HRESULT hr = MFCreateMediaType(&pType);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeSize(pType, MF_MT_FRAME_SIZE, nWidth, nHeight);
    if (SUCCEEDED(hr))
        *ppType = pType;
    else if (pType != NULL)
        pType->Release();
    return hr;
}

bool SubtypeOfFormatCode(int nFormatCode, GUID* pSubtype)
{
    switch (nFormatCode)
    {
    case 0:
        *pSubtype = MFVideoFormat_YUY2;
        return true;
    case 2:
        *pSubtype = MFVideoFormat_RGB32;
        return true;
    case 3:
        *pSubtype = MFVideoFormat_MJPG;
        return true;
    default:
        return false;
    }
}

// Subtype, size and frame duration of a native type; false when any of
// them cannot be read.
bool ReadTypeShape(IMFMediaType* pType, GUID* pSubtype, UINT32* pnWidth, UINT32* pnHeight,
                   ULONGLONG* pullDuration)
{
    UINT32 nNumerator = 0;
    UINT32 nDenominator = 0;
    if (FAILED(pType->GetGUID(MF_MT_SUBTYPE, pSubtype)) ||
        FAILED(MFGetAttributeSize(pType, MF_MT_FRAME_SIZE, pnWidth, pnHeight)) ||
        FAILED(MFGetAttributeRatio(pType, MF_MT_FRAME_RATE, &nNumerator, &nDenominator)) ||
        nNumerator == 0)
    {
        return false;
    }
    *pullDuration = static_cast<ULONGLONG>(nDenominator) * 10000000ull / nNumerator;
    return true;
}
// The type handler of the media source's first video stream; the selected
// flag of the streams is ignored. MF_E_INVALIDSTREAMNUMBER without one.
HRESULT GetVideoTypeHandler(IMFMediaSource* pSource, IMFMediaTypeHandler** ppHandler)
{
    *ppHandler = NULL;
    IMFPresentationDescriptor* pDescriptor = NULL;
    HRESULT hr = pSource->CreatePresentationDescriptor(&pDescriptor);
    DWORD nStreams = 0;
    if (SUCCEEDED(hr))
        hr = pDescriptor->GetStreamDescriptorCount(&nStreams);
    for (DWORD i = 0; SUCCEEDED(hr) && i < nStreams && *ppHandler == NULL; ++i)
    {
        BOOL bSelected = FALSE;
        IMFStreamDescriptor* pStream = NULL;
        IMFMediaTypeHandler* pHandler = NULL;
        GUID majorType = GUID_NULL;
        if (SUCCEEDED(pDescriptor->GetStreamDescriptorByIndex(i, &bSelected, &pStream)) &&
            SUCCEEDED(pStream->GetMediaTypeHandler(&pHandler)) &&
            SUCCEEDED(pHandler->GetMajorType(&majorType)) && majorType == MFMediaType_Video)
        {
            *ppHandler = pHandler;
            pHandler = NULL;
        }
        if (pHandler != NULL)
            pHandler->Release();
        if (pStream != NULL)
            pStream->Release();
    }
    if (SUCCEEDED(hr) && *ppHandler == NULL)
        hr = MF_E_INVALIDSTREAMNUMBER;
    if (pDescriptor != NULL)
        pDescriptor->Release();
    return hr;
}

// Makes the type current on the media source's first video stream itself.
// A reader that is asked for a native type hands it to the source, but not
// every reader does (Wine's keeps the source at whatever type it was left
// at): only the source's own handler says what it will deliver.
HRESULT SetSourceCurrentType(IMFMediaSource* pSource, IMFMediaType* pType)
{
    IMFMediaTypeHandler* pHandler = NULL;
    HRESULT hr = GetVideoTypeHandler(pSource, &pHandler);
    if (SUCCEEDED(hr))
    {
        hr = pHandler->SetCurrentMediaType(pType);
        pHandler->Release();
    }
    return hr;
}
}  // namespace

HRESULT CMFCaptureBuilder::InitWebcamDevice()
{
    m_lock.Lock();
    UninitWebcamDevice();
    m_camCapabilities.clear();

    HRESULT hr = enumWebcamDevices();
    if (SUCCEEDED(hr))
    {
        for (UINT32 i = 0; i < m_nDeviceCount; ++i)
        {
            // Fresh for every device: a link that does not fit leaves it
            // empty, never holding the previous device's link.
            char szLink[MAX_PATH] = {};
            UINT32 cchLink = sizeof(szLink);
            getWebcamSymbolicLink(i, szLink, &cchLink);
            LogPrint("Webcam Symbolic: %s\n", szLink);
            eCamCapability eCapability = CAM_NONE;
            if (strstr(szLink, "pid") != NULL && strstr(szLink, "vid") != NULL)
                eCapability = checkCamCapability(i);
            m_camCapabilities.push_back(eCapability);
        }
        hr = selectWebcam();
    }
    m_lock.Unlock();
    LogPrint("CMFCaptureBuilder(0x%p)::InitWebcamDevice (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

eCamCapability CMFCaptureBuilder::checkCamCapability(UINT32 nIndex)
{
    IMFMediaSource* pSource = NULL;
    if (FAILED(m_ppDevices[nIndex]->ActivateObject(IID_IMFMediaSource,
                                                   reinterpret_cast<void**>(&pSource))))
    {
        return CAM_NONE;
    }

    eCamCapability eCapability = CAM_NONE;
    IMFMediaTypeHandler* pHandler = NULL;
    if (SUCCEEDED(GetVideoTypeHandler(pSource, &pHandler)))
    {
        eCapability = checkMediaTypeCapability(pHandler);
        pHandler->Release();
    }
    // The activation object keeps the source it made alive until it is shut
    // down: a webcam not chosen would keep its device open for as long as
    // the list lives. The one chosen is activated anew when it is opened.
    pSource->Release();
    m_ppDevices[nIndex]->ShutdownObject();
    return eCapability;
}

eCamCapability CMFCaptureBuilder::checkMediaTypeCapability(IMFMediaTypeHandler* pHandler)
{
    DWORD nTypes = 0;
    if (FAILED(pHandler->GetMediaTypeCount(&nTypes)))
        nTypes = 0;

    IMFMediaType* pMjpgProbe = NULL;
    IMFMediaType* pYuy2Probe = NULL;
    CreateProbeType(MFVideoFormat_MJPG, kMjpgChoice.nWidth, kMjpgChoice.nHeight, &pMjpgProbe);
    CreateProbeType(MFVideoFormat_YUY2, kYuy2Choice.nWidth, kYuy2Choice.nHeight, &pYuy2Probe);

    bool bMjpg = false;
    bool bYuy2 = false;
    for (DWORD i = 0; i < nTypes; ++i)
    {
        IMFMediaType* pNative = NULL;
        if (FAILED(pHandler->GetMediaTypeByIndex(i, &pNative)))
            continue;
        DWORD dwFlags = 0;
        if (pMjpgProbe != NULL && pNative->IsEqual(pMjpgProbe, &dwFlags) == S_OK)
            bMjpg = true;
        if (pYuy2Probe != NULL && pNative->IsEqual(pYuy2Probe, &dwFlags) == S_OK)
            bYuy2 = true;
        pNative->Release();
    }
    if (pMjpgProbe != NULL)
        pMjpgProbe->Release();
    if (pYuy2Probe != NULL)
        pYuy2Probe->Release();

    if (bMjpg && bYuy2)
        return CAM_MJPG_AND_YUY2;
    if (bMjpg)
        return CAM_MJPG_1280x720;
    return bYuy2 ? CAM_YUY2_640x480 : CAM_NONE;
}

HRESULT CMFCaptureBuilder::selectWebcam()
{
    if (m_camCapabilities.empty())
        return S_OK;

    const eCamCapability preference[] = {CAM_MJPG_AND_YUY2, CAM_MJPG_1280x720, CAM_YUY2_640x480};
    size_t nFound = m_camCapabilities.size();
    eCamCapability eFound = CAM_NONE;
    for (eCamCapability eWanted : preference)
    {
        for (size_t i = 0; i < m_camCapabilities.size() && nFound == m_camCapabilities.size(); ++i)
        {
            if (m_camCapabilities[i] == eWanted)
            {
                nFound = i;
                eFound = eWanted;
            }
        }
    }
    if (eFound == CAM_NONE)
        return E_FAIL;

    // The pipeline is only ever told what the reader delivers: a webcam that
    // cannot be opened, or whose format cannot be set, is a failure, and the
    // host serves the placeholder instead.
    m_captureSubtype = GUID_NULL;
    HRESULT hr = SetWebcamDevice(static_cast<UINT32>(nFound));
    const CAPTURE_CHOICE* pChoice = eFound == CAM_YUY2_640x480 ? &kYuy2Choice : &kMjpgChoice;
    if (SUCCEEDED(hr))
    {
        hr = SetWebcamFormat(pChoice->nWidth, pChoice->nHeight, kFrameDuration30Fps,
                             pChoice->nFormatCode);
        if (FAILED(hr) && eFound == CAM_MJPG_AND_YUY2)
        {
            pChoice = &kYuy2Choice;
            hr = SetWebcamFormat(pChoice->nWidth, pChoice->nHeight, kFrameDuration30Fps,
                                 pChoice->nFormatCode);
        }
    }
    if (FAILED(hr))
        return hr;

    if (m_pFrameControlManager == NULL)
        return E_FAIL;
    hr = m_pFrameControlManager->SetInputIsYuy2(pChoice->bInputIsYuy2);
    if (SUCCEEDED(hr))
        hr = m_pFrameControlManager->SetInputSize(pChoice->nWidth, pChoice->nHeight);
    if (SUCCEEDED(hr))
    {
        SubtypeOfFormatCode(pChoice->nFormatCode, &m_captureSubtype);
        m_nCaptureWidth = pChoice->nWidth;
        m_nCaptureHeight = pChoice->nHeight;
    }
    return hr;
}

BOOL CMFCaptureBuilder::IsCaptureType(IMFMediaType* pType) const
{
    GUID subtype = GUID_NULL;
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    return pType != NULL && m_captureSubtype != GUID_NULL &&
           SUCCEEDED(pType->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == m_captureSubtype &&
           SUCCEEDED(MFGetAttributeSize(pType, MF_MT_FRAME_SIZE, &nWidth, &nHeight)) &&
           nWidth == m_nCaptureWidth && nHeight == m_nCaptureHeight;
}

HRESULT CMFCaptureBuilder::SetWebcamFormat(UINT32 nWidth, UINT32 nHeight, LONGLONG llFrameDuration,
                                           int nFormat)
{
    if (m_pMediaSource == NULL)
        return E_FAIL;

    m_lock.Lock();
    HRESULT hr = S_OK;
    if (m_pSourceReader == NULL)
        hr = createSourceReader();

    GUID wantedSubtype = GUID_NULL;
    if (SUCCEEDED(hr) && !SubtypeOfFormatCode(nFormat, &wantedSubtype))
        hr = E_INVALIDARG;

    // The first type of the exact duration wins. Without one, webcams that
    // run the format at 30000/1001 or only at 15 frames a second are still
    // served: the type of that subtype and size whose rate lies nearest the
    // wanted one (the first of equals).
    const double dWantedRate = llFrameDuration > 0 ? 10000000.0 / llFrameDuration : 0.0;
    IMFMediaType* pMatch = NULL;
    DWORD nMatchIndex = 0;
    ULONGLONG ullMatchDuration = 0;
    double dMatchDistance = 0.0;
    bool bExact = false;
    for (DWORD i = 0; SUCCEEDED(hr) && !bExact; ++i)
    {
        IMFMediaType* pNative = NULL;
        hr = m_pSourceReader->GetNativeMediaType(
            static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), i, &pNative);
        if (FAILED(hr))
            break;

        GUID subtype = GUID_NULL;
        UINT32 nNativeWidth = 0;
        UINT32 nNativeHeight = 0;
        ULONGLONG ullDuration = 0;
        bool bCandidate = ReadTypeShape(pNative, &subtype, &nNativeWidth, &nNativeHeight,
                                        &ullDuration) &&
                          subtype == wantedSubtype && nNativeWidth == nWidth &&
                          nNativeHeight == nHeight && ullDuration > 0;
        double dDistance = 0.0;
        if (bCandidate)
        {
            bExact = ullDuration == static_cast<ULONGLONG>(llFrameDuration);
            dDistance = bExact ? 0.0 : 10000000.0 / ullDuration - dWantedRate;
            if (dDistance < 0)
                dDistance = -dDistance;
        }
        if (bCandidate && (pMatch == NULL || bExact || dDistance < dMatchDistance))
        {
            if (pMatch != NULL)
                pMatch->Release();
            pMatch = pNative;
            nMatchIndex = i;
            ullMatchDuration = ullDuration;
            dMatchDistance = dDistance;
        }
        else
        {
            pNative->Release();
        }
    }

    if (pMatch != NULL)
    {
        LogPrint("CMFCaptureBuilder(0x%p)::found support type(%d) %08x, %dx%d, %d \n", this,
                 nMatchIndex, wantedSubtype.Data1, nWidth, nHeight,
                 static_cast<int>(ullMatchDuration));
        hr = SetSourceCurrentType(m_pMediaSource, pMatch);
        if (SUCCEEDED(hr))
            hr = m_pSourceReader->SetCurrentMediaType(
                static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), NULL, pMatch);
        pMatch->Release();

        // Trust what the reader says it now delivers, not what was asked.
        IMFMediaType* pCurrent = NULL;
        if (SUCCEEDED(hr))
            hr = m_pSourceReader->GetCurrentMediaType(
                static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &pCurrent);
        GUID currentSubtype = GUID_NULL;
        UINT32 nCurrentWidth = 0;
        UINT32 nCurrentHeight = 0;
        if (SUCCEEDED(hr) &&
            (FAILED(pCurrent->GetGUID(MF_MT_SUBTYPE, &currentSubtype)) ||
             FAILED(MFGetAttributeSize(pCurrent, MF_MT_FRAME_SIZE, &nCurrentWidth, &nCurrentHeight)) ||
             currentSubtype != wantedSubtype || nCurrentWidth != nWidth || nCurrentHeight != nHeight))
        {
            hr = MF_E_INVALIDMEDIATYPE;
        }
        if (pCurrent != NULL)
            pCurrent->Release();
    }
    m_lock.Unlock();
    LogPrint("CMFCaptureBuilder(0x%p)::SetWebcamFormat ( Size %dx%d, FrameDuration %I64d, Format "
             "%d ): HRESULT 0x%08X\n",
             this, nWidth, nHeight, llFrameDuration, nFormat, hr);
    return hr;
}
