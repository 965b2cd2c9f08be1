#include "capture/mfcapturebuilder.h"

#include <mfapi.h>
#include <mferror.h>
#include <string.h>

#include <utility>
#include <vector>

#include "diagnostics/debuglog.h"
#include "pipeline/framecontrolmanager.h"

using Microsoft::WRL::ComPtr;

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
HRESULT CreateProbeType(const GUID& subtype, UINT32 nWidth, UINT32 nHeight,
                        ComPtr<IMFMediaType>* ppType)
{
    ComPtr<IMFMediaType> pType;
    HRESULT hr = MFCreateMediaType(&pType);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, nWidth, nHeight);
    if (SUCCEEDED(hr))
        ppType->Swap(pType);
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

// Subtype, size and frame rate of a native type; false when any of them
// cannot be read or the rate is no rate.
bool ReadTypeShape(IMFMediaType* pType, GUID* pSubtype, UINT32* pnWidth, UINT32* pnHeight,
                   UINT32* pnNumerator, UINT32* pnDenominator)
{
    if (FAILED(pType->GetGUID(MF_MT_SUBTYPE, pSubtype)) ||
        FAILED(MFGetAttributeSize(pType, MF_MT_FRAME_SIZE, pnWidth, pnHeight)) ||
        FAILED(MFGetAttributeRatio(pType, MF_MT_FRAME_RATE, pnNumerator, pnDenominator)) ||
        *pnNumerator == 0 || *pnDenominator == 0)
    {
        return false;
    }
    return true;
}

// A frame rate as a ratio, compared exactly.
struct FRAME_RATE
{
    UINT32 nNumerator;
    UINT32 nDenominator;
};

// a < b, cross-multiplied in 64 bits.
bool IsSlower(const FRAME_RATE& a, const FRAME_RATE& b)
{
    return static_cast<ULONGLONG>(a.nNumerator) * b.nDenominator <
           static_cast<ULONGLONG>(b.nNumerator) * a.nDenominator;
}

const FRAME_RATE kWantedRate = {30, 1};
// Slower than this, a type is used only when the other capture format
// offers nothing faster.
const FRAME_RATE kSlowRate = {15, 1};

// Whether a candidate's rate is better than the best so far: the lowest rate
// at or above 30 frames a second, else the highest below (measured in frames
// a second, 60 and 15 would be equally near, and 15 is no choice beside 60).
bool IsBetterRate(const FRAME_RATE& candidate, const FRAME_RATE& best)
{
    const bool bCandidateFast = !IsSlower(candidate, kWantedRate);
    const bool bBestFast = !IsSlower(best, kWantedRate);
    if (bCandidateFast != bBestFast)
        return bCandidateFast;
    return bCandidateFast ? IsSlower(candidate, best) : IsSlower(best, candidate);
}

// The reader's native type of this subtype and size at the best rate (the
// first of equals), or the failure that ended the scan (normally
// MF_E_NO_MORE_TYPES) when there is none.
HRESULT FindCaptureType(IMFSourceReader* pReader, const GUID& wantedSubtype, UINT32 nWidth,
                        UINT32 nHeight, ComPtr<IMFMediaType>* ppType, DWORD* pnIndex,
                        FRAME_RATE* pRate)
{
    ppType->Reset();
    HRESULT hr = S_OK;
    for (DWORD i = 0; SUCCEEDED(hr); ++i)
    {
        ComPtr<IMFMediaType> pNative;
        hr = pReader->GetNativeMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), i,
                                         &pNative);
        if (FAILED(hr))
            break;

        GUID subtype = GUID_NULL;
        UINT32 nNativeWidth = 0;
        UINT32 nNativeHeight = 0;
        FRAME_RATE rate = {0, 0};
        bool bCandidate = ReadTypeShape(pNative.Get(), &subtype, &nNativeWidth, &nNativeHeight,
                                        &rate.nNumerator, &rate.nDenominator) &&
                          subtype == wantedSubtype && nNativeWidth == nWidth &&
                          nNativeHeight == nHeight;
        if (bCandidate && (*ppType == NULL || IsBetterRate(rate, *pRate)))
        {
            // The best so far is kept; the one it replaces goes with pNative.
            ppType->Swap(pNative);
            *pnIndex = i;
            *pRate = rate;
        }
    }
    return *ppType != NULL ? S_OK : hr;
}

// The type handler of the media source's first video stream; the selected
// flag of the streams is ignored. MF_E_INVALIDSTREAMNUMBER without one.
HRESULT GetVideoTypeHandler(IMFMediaSource* pSource, IMFMediaTypeHandler** ppHandler)
{
    *ppHandler = NULL;
    ComPtr<IMFPresentationDescriptor> pDescriptor;
    HRESULT hr = pSource->CreatePresentationDescriptor(&pDescriptor);
    DWORD nStreams = 0;
    if (SUCCEEDED(hr))
        hr = pDescriptor->GetStreamDescriptorCount(&nStreams);
    for (DWORD i = 0; SUCCEEDED(hr) && i < nStreams && *ppHandler == NULL; ++i)
    {
        BOOL bSelected = FALSE;
        ComPtr<IMFStreamDescriptor> pStream;
        ComPtr<IMFMediaTypeHandler> pHandler;
        GUID majorType = GUID_NULL;
        if (SUCCEEDED(pDescriptor->GetStreamDescriptorByIndex(i, &bSelected, &pStream)) &&
            SUCCEEDED(pStream->GetMediaTypeHandler(&pHandler)) &&
            SUCCEEDED(pHandler->GetMajorType(&majorType)) && majorType == MFMediaType_Video)
        {
            *ppHandler = pHandler.Detach();
        }
    }
    if (SUCCEEDED(hr) && *ppHandler == NULL)
        hr = MF_E_INVALIDSTREAMNUMBER;
    return hr;
}

// Makes the type current on the media source's first video stream itself.
// A reader that is asked for a native type hands it to the source, but not
// every reader does (Wine's keeps the source at whatever type it was left
// at): only the source's own handler says what it will deliver.
HRESULT SetSourceCurrentType(IMFMediaSource* pSource, IMFMediaType* pType)
{
    ComPtr<IMFMediaTypeHandler> pHandler;
    HRESULT hr = GetVideoTypeHandler(pSource, &pHandler);
    if (SUCCEEDED(hr))
        hr = pHandler->SetCurrentMediaType(pType);
    return hr;
}
// Sets the reader of the webcam just opened to its capture format.
HRESULT SetCaptureFormat(CMFCaptureBuilder* pBuilder, IMFSourceReader* pReader,
                         eCamCapability eCapability, const CAPTURE_CHOICE** ppChoice)
{
    // MJPG first, YUY2 when the webcam has nothing else; a webcam with both
    // falls back to YUY2 when MJPG cannot be set.
    const CAPTURE_CHOICE* choices[2] = {&kMjpgChoice, &kYuy2Choice};
    size_t nChoices = 2;
    if (eCapability == CAM_MJPG_1280x720)
    {
        nChoices = 1;
    }
    else if (eCapability == CAM_YUY2_640x480)
    {
        choices[0] = &kYuy2Choice;
        nChoices = 1;
    }

    // A format under 15 frames a second is used only when the other offers
    // nothing faster: a 5 fps MJPG type loses to YUY2 at 30.
    if (nChoices == 2 && pReader != NULL)
    {
        FRAME_RATE rates[2] = {};
        bool bFound[2] = {};
        for (size_t i = 0; i < 2; ++i)
        {
            GUID subtype = GUID_NULL;
            ComPtr<IMFMediaType> pType;
            DWORD nIndex = 0;
            SubtypeOfFormatCode(choices[i]->nFormatCode, &subtype);
            bFound[i] = SUCCEEDED(FindCaptureType(pReader, subtype, choices[i]->nWidth,
                                                  choices[i]->nHeight, &pType, &nIndex, &rates[i]));
        }
        if (bFound[0] && bFound[1] && IsSlower(rates[0], kSlowRate) && IsSlower(rates[0], rates[1]))
        {
            LogPrint(
                "CMFCaptureBuilder(0x%p)::selectWebcam (): MJPG at %d/%d frames a second "
                "gives way to YUY2 at %d/%d\n",
                pBuilder, rates[0].nNumerator, rates[0].nDenominator, rates[1].nNumerator,
                rates[1].nDenominator);
            std::swap(choices[0], choices[1]);
        }
    }

    HRESULT hr = E_FAIL;
    for (size_t i = 0; i < nChoices; ++i)
    {
        hr = pBuilder->SetWebcamFormat(choices[i]->nWidth, choices[i]->nHeight, kFrameDuration30Fps,
                                       choices[i]->nFormatCode);
        if (SUCCEEDED(hr))
        {
            *ppChoice = choices[i];
            break;
        }
    }
    return hr;
}

}  // namespace

HRESULT CMFCaptureBuilder::InitWebcamDevice()
{
    HRESULT hr = S_OK;
    {
        // Held through every probe's activation, which may never return:
        // the worker is then ended by force, and this lock survives it.
        SurvivingLockGuard guard(m_lock);
        UninitWebcamDevice();
        m_camCapabilities.clear();

        hr = enumWebcamDevices();
        if (SUCCEEDED(hr))
        {
            for (UINT32 i = 0; i < deviceCount(); ++i)
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
    }
    LogPrint("CMFCaptureBuilder(0x%p)::InitWebcamDevice (): HRESULT 0x%08X\n", this, hr);
    return hr;
}

eCamCapability CMFCaptureBuilder::checkCamCapability(UINT32 nIndex)
{
    ComPtr<IMFMediaSource> pSource;
    if (FAILED(m_devices[nIndex]->ActivateObject(
            IID_IMFMediaSource, reinterpret_cast<void**>(pSource.ReleaseAndGetAddressOf()))))
    {
        return CAM_NONE;
    }

    eCamCapability eCapability = CAM_NONE;
    {
        ComPtr<IMFMediaTypeHandler> pHandler;
        if (SUCCEEDED(GetVideoTypeHandler(pSource.Get(), &pHandler)))
            eCapability = checkMediaTypeCapability(pHandler.Get());
    }
    // The activation object keeps the source it made alive until it is shut
    // down: a webcam not chosen would keep its device open for as long as
    // the list lives. The one chosen is activated anew when it is opened.
    pSource.Reset();
    m_devices[nIndex]->ShutdownObject();
    return eCapability;
}

eCamCapability CMFCaptureBuilder::checkMediaTypeCapability(IMFMediaTypeHandler* pHandler)
{
    DWORD nTypes = 0;
    if (FAILED(pHandler->GetMediaTypeCount(&nTypes)))
        nTypes = 0;

    bool bMjpg = false;
    bool bYuy2 = false;
    {
        ComPtr<IMFMediaType> pMjpgProbe;
        ComPtr<IMFMediaType> pYuy2Probe;
        CreateProbeType(MFVideoFormat_MJPG, kMjpgChoice.nWidth, kMjpgChoice.nHeight, &pMjpgProbe);
        CreateProbeType(MFVideoFormat_YUY2, kYuy2Choice.nWidth, kYuy2Choice.nHeight, &pYuy2Probe);

        for (DWORD i = 0; i < nTypes; ++i)
        {
            ComPtr<IMFMediaType> pNative;
            if (FAILED(pHandler->GetMediaTypeByIndex(i, &pNative)))
                continue;
            DWORD dwFlags = 0;
            if (pMjpgProbe != NULL && pNative->IsEqual(pMjpgProbe.Get(), &dwFlags) == S_OK)
                bMjpg = true;
            if (pYuy2Probe != NULL && pNative->IsEqual(pYuy2Probe.Get(), &dwFlags) == S_OK)
                bYuy2 = true;
        }
    }

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

    // The selection order: every webcam with both formats, then those with
    // MJPG only, then those with YUY2 only, each group by index. The first
    // is chosen; one that cannot be opened (held by another application) or
    // set to its format gives way to the next.
    const eCamCapability preference[] = {CAM_MJPG_AND_YUY2, CAM_MJPG_1280x720, CAM_YUY2_640x480};
    std::vector<size_t> candidates;
    for (eCamCapability eWanted : preference)
    {
        for (size_t i = 0; i < m_camCapabilities.size(); ++i)
        {
            if (m_camCapabilities[i] == eWanted)
                candidates.push_back(i);
        }
    }
    if (candidates.empty())
        return E_FAIL;

    // The pipeline is only ever told what the reader delivers: when no
    // candidate can be opened with its format, the host serves the
    // placeholder instead.
    m_captureSubtype = GUID_NULL;
    HRESULT hr = E_FAIL;
    const CAPTURE_CHOICE* pChoice = NULL;
    for (size_t n = 0; n < candidates.size(); ++n)
    {
        const UINT32 nIndex = static_cast<UINT32>(candidates[n]);
        hr = SetWebcamDevice(nIndex);
        if (SUCCEEDED(hr))
            hr = SetCaptureFormat(this, m_pSourceReader.Get(), m_camCapabilities[nIndex], &pChoice);
        if (SUCCEEDED(hr))
            break;
        releaseMediaSource();
        if (n + 1 < candidates.size())
            LogPrint(
                "CMFCaptureBuilder(0x%p)::selectWebcam (): webcam %d cannot be used "
                "(0x%08X); trying webcam %d\n",
                this, nIndex, hr, static_cast<int>(candidates[n + 1]));
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

    HRESULT hr = S_OK;
    {
        SurvivingLockGuard guard(m_lock);
        if (m_pSourceReader == NULL)
            hr = createSourceReader();

        GUID wantedSubtype = GUID_NULL;
        if (SUCCEEDED(hr) && !SubtypeOfFormatCode(nFormat, &wantedSubtype))
            hr = E_INVALIDARG;

        // The requested duration names the rate wanted, 30 frames a second;
        // the rate rule (IsBetterRate) also serves webcams that run the format
        // at 30000/1001, at 60 or only at 15 frames a second.
        ComPtr<IMFMediaType> pMatch;
        DWORD nMatchIndex = 0;
        FRAME_RATE matchRate = {0, 0};
        if (SUCCEEDED(hr))
            hr = FindCaptureType(m_pSourceReader.Get(), wantedSubtype, nWidth, nHeight, &pMatch,
                                 &nMatchIndex, &matchRate);
        const ULONGLONG ullMatchDuration = pMatch != NULL
                                               ? static_cast<ULONGLONG>(matchRate.nDenominator) *
                                                     10000000ull / matchRate.nNumerator
                                               : 0;

        if (pMatch != NULL)
        {
            LogPrint("CMFCaptureBuilder(0x%p)::found support type(%d) %08x, %dx%d, %d \n", this,
                     nMatchIndex, wantedSubtype.Data1, nWidth, nHeight,
                     static_cast<int>(ullMatchDuration));
            hr = SetSourceCurrentType(m_pMediaSource.Get(), pMatch.Get());
            if (SUCCEEDED(hr))
                hr = m_pSourceReader->SetCurrentMediaType(
                    static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), NULL, pMatch.Get());
            pMatch.Reset();

            // Trust what the reader says it now delivers, not what was asked.
            ComPtr<IMFMediaType> pCurrent;
            if (SUCCEEDED(hr))
                hr = m_pSourceReader->GetCurrentMediaType(
                    static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &pCurrent);
            GUID currentSubtype = GUID_NULL;
            UINT32 nCurrentWidth = 0;
            UINT32 nCurrentHeight = 0;
            if (SUCCEEDED(hr) && (FAILED(pCurrent->GetGUID(MF_MT_SUBTYPE, &currentSubtype)) ||
                                  FAILED(MFGetAttributeSize(pCurrent.Get(), MF_MT_FRAME_SIZE,
                                                            &nCurrentWidth, &nCurrentHeight)) ||
                                  currentSubtype != wantedSubtype || nCurrentWidth != nWidth ||
                                  nCurrentHeight != nHeight))
            {
                hr = MF_E_INVALIDMEDIATYPE;
            }
        }
    }
    LogPrint(
        "CMFCaptureBuilder(0x%p)::SetWebcamFormat ( Size %dx%d, FrameDuration %I64d, Format "
        "%d ): HRESULT 0x%08X\n",
        this, nWidth, nHeight, llFrameDuration, nFormat, hr);
    return hr;
}
