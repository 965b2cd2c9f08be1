#include "capture/mfcapturebuilder.h"

#include <mfapi.h>
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
}  // namespace

HRESULT CMFCaptureBuilder::InitWebcamDevice()
{
    EnterCriticalSection(&m_cs);
    UninitWebcamDevice();
    m_camCapabilities.clear();

    HRESULT hr = enumWebcamDevices();
    if (SUCCEEDED(hr))
    {
        char szLink[MAX_PATH] = {};
        for (UINT32 i = 0; i < m_nDeviceCount; ++i)
        {
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
    LeaveCriticalSection(&m_cs);
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
    IMFPresentationDescriptor* pDescriptor = NULL;
    if (SUCCEEDED(pSource->CreatePresentationDescriptor(&pDescriptor)))
    {
        DWORD nStreams = 0;
        pDescriptor->GetStreamDescriptorCount(&nStreams);
        bool bVideoFound = false;
        for (DWORD i = 0; i < nStreams && !bVideoFound; ++i)
        {
            BOOL bSelected = FALSE;
            IMFStreamDescriptor* pStream = NULL;
            IMFMediaTypeHandler* pHandler = NULL;
            GUID majorType = GUID_NULL;
            if (SUCCEEDED(pDescriptor->GetStreamDescriptorByIndex(i, &bSelected, &pStream)) &&
                SUCCEEDED(pStream->GetMediaTypeHandler(&pHandler)) &&
                SUCCEEDED(pHandler->GetMajorType(&majorType)) && majorType == MFMediaType_Video)
            {
                bVideoFound = true;
                eCapability = checkMediaTypeCapability(pHandler);
            }
            if (pHandler != NULL)
                pHandler->Release();
            if (pStream != NULL)
                pStream->Release();
        }
        pDescriptor->Release();
    }
    // Only released: the activation object keeps the source for the real
    // open that may follow.
    pSource->Release();
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

    const CAPTURE_CHOICE& choice = eFound == CAM_YUY2_640x480 ? kYuy2Choice : kMjpgChoice;
    SetWebcamDevice(static_cast<UINT32>(nFound));
    SetWebcamFormat(choice.nWidth, choice.nHeight, kFrameDuration30Fps, choice.nFormatCode);

    if (m_pFrameControlManager == NULL)
        return E_FAIL;
    HRESULT hr = m_pFrameControlManager->SetInputIsYuy2(choice.bInputIsYuy2);
    if (SUCCEEDED(hr))
        hr = m_pFrameControlManager->SetInputSize(choice.nWidth, choice.nHeight);
    return hr;
}

HRESULT CMFCaptureBuilder::SetWebcamFormat(UINT32 nWidth, UINT32 nHeight, LONGLONG llFrameDuration,
                                           int nFormat)
{
    if (m_pMediaSource == NULL)
        return E_FAIL;

    EnterCriticalSection(&m_cs);
    HRESULT hr = S_OK;
    if (m_pSourceReader == NULL)
        hr = createSourceReader();

    GUID wantedSubtype = GUID_NULL;
    if (SUCCEEDED(hr) && !SubtypeOfFormatCode(nFormat, &wantedSubtype))
        hr = E_INVALIDARG;

    IMFMediaType* pMatch = NULL;
    for (DWORD i = 0; SUCCEEDED(hr) && pMatch == NULL; ++i)
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
        if (ReadTypeShape(pNative, &subtype, &nNativeWidth, &nNativeHeight, &ullDuration) &&
            subtype == wantedSubtype && nNativeWidth == nWidth && nNativeHeight == nHeight &&
            ullDuration == static_cast<ULONGLONG>(llFrameDuration))
        {
            LogPrint("CMFCaptureBuilder(0x%p)::found support type(%d) %08x, %dx%d, %d \n", this, i,
                     subtype.Data1, nNativeWidth, nNativeHeight, static_cast<int>(ullDuration));
            pMatch = pNative;
        }
        else
        {
            pNative->Release();
        }
    }

    if (pMatch != NULL)
    {
        hr = m_pSourceReader->SetCurrentMediaType(
            static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), NULL, pMatch);
        pMatch->Release();
    }
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::SetWebcamFormat ( Size %dx%d, FrameDuration %I64d, Format "
             "%d ): HRESULT 0x%08X\n",
             this, nWidth, nHeight, llFrameDuration, nFormat, hr);
    return hr;
}
