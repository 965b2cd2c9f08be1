#include "diagnostics/mfdumputil.h"

#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>
#include <wrl/client.h>

#include "diagnostics/debugassert.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "diagnostics/ansistring.h"
#include "diagnostics/debuglog.h"
#include "diagnostics/mfguidnames.h"

using Microsoft::WRL::ComPtr;

namespace
{
// Marks text that had to be cut to fit its buffer.
const char kCutMark[] = "...";
const size_t kCutMarkCch = sizeof(kCutMark) - 1;

const char kGuidNullText[] = "{00000000-0000-0000-0000-000000000000}";

// Formats into a fixed buffer, never past its end. Text that does not fit
// is cut and its last characters replaced by the cut mark, so that a reader
// of the log can tell. S_FALSE when cut.
HRESULT FormatText(char* pszText, size_t cchText, const char* pszFormat, ...)
{
    if (pszText == NULL || cchText == 0)
        return E_INVALIDARG;

    va_list args;
    va_start(args, pszFormat);
    int nWritten = _vsnprintf_s(pszText, cchText, _TRUNCATE, pszFormat, args);
    va_end(args);
    if (nWritten >= 0)
        return S_OK;

    size_t cchKept = strlen(pszText);
    if (cchKept >= kCutMarkCch)
        memcpy(pszText + cchKept - kCutMarkCch, kCutMark, kCutMarkCch);
    return S_FALSE;
}

void BuildPrefix(const char* pszLabel, char* pszPrefix, size_t cchPrefix)
{
    if (pszLabel != NULL && pszLabel[0] != '\0')
        FormatText(pszPrefix, cchPrefix, "[%s] ", pszLabel);
    else
        pszPrefix[0] = '\0';
}

const char* FindGuidName(REFGUID guid)
{
    for (size_t i = 0; i < gnGuidNameTableRows; ++i)
    {
        if (IsEqualGUID(*gGuidNameTable[i].pGuid, guid))
            return gGuidNameTable[i].pszName;
    }
    return NULL;
}

bool IsRatioKey(const GUID* pguidKey)
{
    return pguidKey != NULL && (IsEqualGUID(*pguidKey, MF_MT_FRAME_RATE) ||
                                IsEqualGUID(*pguidKey, MF_MT_PIXEL_ASPECT_RATIO) ||
                                IsEqualGUID(*pguidKey, MF_MT_FRAME_SIZE));
}

bool IsKey(const GUID* pguidKey, REFGUID guid)
{
    return pguidKey != NULL && IsEqualGUID(*pguidKey, guid);
}

// Every byte as two lower-case hex digits, separated by single spaces. Only
// as many bytes are spelled out as can show in the value buffer (and one
// more, so the value is seen to be cut); the hex text has a buffer of its
// own size, however many bytes the array holds.
HRESULT FormatByteArray(const CAUB& caub, char* pszText, size_t cchText)
{
    size_t cBytes = caub.cElems;
    size_t cShown = cchText / 3 + 1;
    if (cBytes > cShown)
        cBytes = cShown;
    if (cBytes > 0 && caub.pElems == NULL)
        cBytes = 0;

    size_t cchHex = 3 * cBytes + 1;
    char* pszHex = static_cast<char*>(malloc(cchHex));
    if (pszHex == NULL)
        return FormatText(pszText, cchText, "[CAUB] %s\n", kCutMark);

    pszHex[0] = '\0';
    static const char kDigits[] = "0123456789abcdef";
    char* pch = pszHex;
    for (size_t i = 0; i < cBytes; ++i)
    {
        if (i > 0)
            *pch++ = ' ';
        *pch++ = kDigits[caub.pElems[i] >> 4];
        *pch++ = kDigits[caub.pElems[i] & 0x0F];
    }
    *pch = '\0';

    HRESULT hr = FormatText(pszText, cchText, "[CAUB] %s\n", pszHex);
    free(pszHex);
    return hr;
}

HRESULT FormatByteVector(const GUID* pguidKey, const PROPVARIANT* pAttrValue, char* pszText,
                         size_t cchText)
{
    if (IsKey(pguidKey, sdkguid::MF_PD_LAST_MODIFIED_TIME))
    {
        DEBUG_ASSERT(pAttrValue->caub.cElems >= sizeof(FILETIME));
        // A shorter array is no time stamp; it is shown as its bytes.
        if (pAttrValue->caub.cElems >= sizeof(FILETIME) && pAttrValue->caub.pElems != NULL)
        {
            FILETIME ft;
            memcpy(&ft, pAttrValue->caub.pElems, sizeof(ft));
            SYSTEMTIME stUtc;
            SYSTEMTIME stLocal;
            pszText[0] = '\0';
            if (FileTimeToSystemTime(&ft, &stUtc) &&
                SystemTimeToTzSpecificLocalTime(NULL, &stUtc, &stLocal))
            {
                return FormatText(pszText, cchText, "[CAUB-TIME] %d/%d/%d %d:%d:%d", stLocal.wMonth,
                                  stLocal.wDay, stLocal.wYear, stLocal.wHour, stLocal.wMinute,
                                  stLocal.wSecond);
            }
            return S_OK;
        }
    }
    else if (IsKey(pguidKey, MF_MT_GEOMETRIC_APERTURE))
    {
        DEBUG_ASSERT(pAttrValue->caub.cElems >= sizeof(MFVideoArea));
        if (pAttrValue->caub.cElems >= sizeof(MFVideoArea) && pAttrValue->caub.pElems != NULL)
        {
            MFVideoArea area;
            memcpy(&area, pAttrValue->caub.pElems, sizeof(area));
            return FormatText(pszText, cchText, "[CAUB-APERTURE] offset (%d.%d, %d.%d), area %dx%d",
                              area.OffsetX.value, area.OffsetX.fract, area.OffsetY.value,
                              area.OffsetY.fract, static_cast<int>(area.Area.cx),
                              static_cast<int>(area.Area.cy));
        }
    }
    return FormatByteArray(pAttrValue->caub, pszText, cchText);
}

struct EVENT_TYPE_NAME
{
    MediaEventType met;
    const char* pszName;
};

#define VCAM_EVENT_NAME(name) \
    { \
        name, #name \
    }
const EVENT_TYPE_NAME kEventTypeNames[] = {
    VCAM_EVENT_NAME(MEUnknown),
    VCAM_EVENT_NAME(MEError),
    VCAM_EVENT_NAME(MEExtendedType),
    VCAM_EVENT_NAME(MENonFatalError),
    VCAM_EVENT_NAME(MESessionUnknown),
    VCAM_EVENT_NAME(MESessionTopologySet),
    VCAM_EVENT_NAME(MESessionTopologiesCleared),
    VCAM_EVENT_NAME(MESessionStarted),
    VCAM_EVENT_NAME(MESessionPaused),
    VCAM_EVENT_NAME(MESessionStopped),
    VCAM_EVENT_NAME(MESessionClosed),
    VCAM_EVENT_NAME(MESessionEnded),
    VCAM_EVENT_NAME(MESessionRateChanged),
    VCAM_EVENT_NAME(MESessionScrubSampleComplete),
    VCAM_EVENT_NAME(MESessionCapabilitiesChanged),
    VCAM_EVENT_NAME(MESessionTopologyStatus),
    VCAM_EVENT_NAME(MESessionNotifyPresentationTime),
    VCAM_EVENT_NAME(MENewPresentation),
    VCAM_EVENT_NAME(MELicenseAcquisitionStart),
    VCAM_EVENT_NAME(MELicenseAcquisitionCompleted),
    VCAM_EVENT_NAME(MEIndividualizationStart),
    VCAM_EVENT_NAME(MEIndividualizationCompleted),
    VCAM_EVENT_NAME(MEEnablerProgress),
    VCAM_EVENT_NAME(MEEnablerCompleted),
    VCAM_EVENT_NAME(MEPolicyError),
    VCAM_EVENT_NAME(MEPolicyReport),
    VCAM_EVENT_NAME(MEBufferingStarted),
    VCAM_EVENT_NAME(MEBufferingStopped),
    VCAM_EVENT_NAME(MEConnectStart),
    VCAM_EVENT_NAME(MEConnectEnd),
    VCAM_EVENT_NAME(MEReconnectStart),
    VCAM_EVENT_NAME(MEReconnectEnd),
    VCAM_EVENT_NAME(MERendererEvent),
    VCAM_EVENT_NAME(MESessionStreamSinkFormatChanged),
    VCAM_EVENT_NAME(MESourceUnknown),
    VCAM_EVENT_NAME(MESourceStarted),
    VCAM_EVENT_NAME(MEStreamStarted),
    VCAM_EVENT_NAME(MESourceSeeked),
    VCAM_EVENT_NAME(MEStreamSeeked),
    VCAM_EVENT_NAME(MENewStream),
    VCAM_EVENT_NAME(MEUpdatedStream),
    VCAM_EVENT_NAME(MESourceStopped),
    VCAM_EVENT_NAME(MEStreamStopped),
    VCAM_EVENT_NAME(MESourcePaused),
    VCAM_EVENT_NAME(MEStreamPaused),
    VCAM_EVENT_NAME(MEEndOfPresentation),
    VCAM_EVENT_NAME(MEEndOfStream),
    VCAM_EVENT_NAME(MEMediaSample),
    VCAM_EVENT_NAME(MEStreamTick),
    VCAM_EVENT_NAME(MEStreamThinMode),
    VCAM_EVENT_NAME(MEStreamFormatChanged),
    VCAM_EVENT_NAME(MESourceRateChanged),
    VCAM_EVENT_NAME(MEEndOfPresentationSegment),
    VCAM_EVENT_NAME(MESourceCharacteristicsChanged),
    VCAM_EVENT_NAME(MESourceRateChangeRequested),
    VCAM_EVENT_NAME(MESourceMetadataChanged),
    VCAM_EVENT_NAME(MESequencerSourceTopologyUpdated),
    VCAM_EVENT_NAME(MESinkUnknown),
    VCAM_EVENT_NAME(MEStreamSinkStarted),
    VCAM_EVENT_NAME(MEStreamSinkStopped),
    VCAM_EVENT_NAME(MEStreamSinkPaused),
    VCAM_EVENT_NAME(MEStreamSinkRateChanged),
    VCAM_EVENT_NAME(MEStreamSinkRequestSample),
    VCAM_EVENT_NAME(MEStreamSinkMarker),
    VCAM_EVENT_NAME(MEStreamSinkPrerolled),
    VCAM_EVENT_NAME(MEStreamSinkScrubSampleComplete),
    VCAM_EVENT_NAME(MEStreamSinkFormatChanged),
    VCAM_EVENT_NAME(MEStreamSinkDeviceChanged),
    VCAM_EVENT_NAME(MEQualityNotify),
    VCAM_EVENT_NAME(MESinkInvalidated),
    VCAM_EVENT_NAME(MEAudioSessionNameChanged),
    VCAM_EVENT_NAME(MEAudioSessionVolumeChanged),
    VCAM_EVENT_NAME(MEAudioSessionDeviceRemoved),
    VCAM_EVENT_NAME(MEAudioSessionServerShutdown),
    VCAM_EVENT_NAME(MEAudioSessionGroupingParamChanged),
    VCAM_EVENT_NAME(MEAudioSessionIconChanged),
    VCAM_EVENT_NAME(MEAudioSessionFormatChanged),
    VCAM_EVENT_NAME(MEAudioSessionDisconnected),
    VCAM_EVENT_NAME(MEAudioSessionExclusiveModeOverride),
    VCAM_EVENT_NAME(METrustUnknown),
    VCAM_EVENT_NAME(MEPolicyChanged),
    VCAM_EVENT_NAME(MEContentProtectionMessage),
    VCAM_EVENT_NAME(MEPolicySet),
    VCAM_EVENT_NAME(MEWMDRMLicenseBackupCompleted),
    VCAM_EVENT_NAME(MEWMDRMLicenseBackupProgress),
    VCAM_EVENT_NAME(MEWMDRMLicenseRestoreCompleted),
    VCAM_EVENT_NAME(MEWMDRMLicenseRestoreProgress),
    VCAM_EVENT_NAME(MEWMDRMLicenseAcquisitionCompleted),
    VCAM_EVENT_NAME(MEWMDRMIndividualizationCompleted),
    VCAM_EVENT_NAME(MEWMDRMIndividualizationProgress),
    VCAM_EVENT_NAME(MEWMDRMProximityCompleted),
    VCAM_EVENT_NAME(MEWMDRMLicenseStoreCleaned),
    VCAM_EVENT_NAME(MEWMDRMRevocationDownloadCompleted),
    VCAM_EVENT_NAME(METransformUnknown),
    VCAM_EVENT_NAME(METransformNeedInput),
    VCAM_EVENT_NAME(METransformHaveOutput),
    VCAM_EVENT_NAME(METransformDrainComplete),
    VCAM_EVENT_NAME(METransformMarker),
    VCAM_EVENT_NAME(MEReservedMax),
};
#undef VCAM_EVENT_NAME

const char* FindEventTypeName(MediaEventType met)
{
    for (size_t i = 0; i < sizeof(kEventTypeNames) / sizeof(kEventTypeNames[0]); ++i)
    {
        if (kEventTypeNames[i].met == met)
            return kEventTypeNames[i].pszName;
    }
    return NULL;
}

const char* NodeTypeText(HRESULT hrType, MF_TOPOLOGY_TYPE nodeType)
{
    if (SUCCEEDED(hrType))
    {
        switch (nodeType)
        {
        case MF_TOPOLOGY_OUTPUT_NODE:
            return "Output node";
        case MF_TOPOLOGY_SOURCESTREAM_NODE:
            return "SourceStream node";
        case MF_TOPOLOGY_TRANSFORM_NODE:
            return "Transform node";
        case MF_TOPOLOGY_TEE_NODE:
            return "Tee node";
        default:
            break;
        }
    }
    return "Unknown";
}

// Lists the types one stream of a transform offers; bInput picks the side.
void DumpAvailableTypes(IMFTransform* pTransform, DWORD dwStreamId, BOOL bInput,
                        const char* pszPrefix, const char* pszLabel)
{
    HRESULT hr = S_OK;
    for (DWORD dwTypeIndex = 0; SUCCEEDED(hr); ++dwTypeIndex)
    {
        ComPtr<IMFMediaType> pType;
        if (bInput)
            hr = pTransform->GetInputAvailableType(dwStreamId, dwTypeIndex, &pType);
        else
            hr = pTransform->GetOutputAvailableType(dwStreamId, dwTypeIndex, &pType);
        if (SUCCEEDED(hr))
        {
            LogPrint("%s==== Available type %d:\n", pszPrefix, static_cast<int>(dwTypeIndex));
            DumpMFAttributes(pType.Get(), pszLabel);
        }
    }
    if (hr != MF_E_NO_MORE_TYPES)
        LogPrint("%s==== Faile to query available type: 0x%08X\n", pszPrefix,
                 static_cast<unsigned int>(hr));
}
}  // namespace

HRESULT GetGuidName(REFGUID guid, char* pszName, size_t cchName)
{
    if (pszName == NULL || cchName == 0)
        return E_INVALIDARG;

    if (!IsEqualGUID(guid, GUID_NULL))
    {
        const char* pszKnown = FindGuidName(guid);
        if (pszKnown != NULL)
            return FormatText(pszName, cchName, "%s", pszKnown);
    }

    wchar_t wszGuid[64];
    if (StringFromGUID2(guid, wszGuid, static_cast<int>(sizeof(wszGuid) / sizeof(wszGuid[0]))) == 0)
        return FormatText(pszName, cchName, "%s", kGuidNullText);
    char szGuid[64];
    if (WideCharToMultiByte(CP_ACP, 0, wszGuid, -1, szGuid, sizeof(szGuid), NULL, NULL) == 0)
        return FormatText(pszName, cchName, "%s", kGuidNullText);
    return FormatText(pszName, cchName, "%s", szGuid);
}

HRESULT GetGuidNameFromString(const wchar_t* pwszGuid, char* pszName, size_t cchName)
{
    if (pszName == NULL || cchName == 0)
        return E_INVALIDARG;
    if (pwszGuid == NULL)
    {
        pszName[0] = '\0';
        return E_POINTER;
    }

    CLSID clsid;
    if (SUCCEEDED(CLSIDFromString(pwszGuid, &clsid)) && !IsEqualGUID(clsid, GUID_NULL))
    {
        const char* pszKnown = FindGuidName(clsid);
        if (pszKnown != NULL)
            return FormatText(pszName, cchName, "%s", pszKnown);
    }

    char* pszText = NewAnsiString(pwszGuid);
    if (pszText == NULL)
    {
        pszName[0] = '\0';
        return E_OUTOFMEMORY;
    }
    HRESULT hr = FormatText(pszName, cchName, "%s", pszText);
    free(pszText);
    return hr;
}

HRESULT FormatAttributeValue(const GUID* pguidKey, const PROPVARIANT* pValue, char* pszText,
                             size_t cchText)
{
    if (pszText == NULL || cchText == 0)
        return E_INVALIDARG;
    pszText[0] = '\0';
    if (pValue == NULL)
        return E_POINTER;

    switch (pValue->vt)
    {
    case VT_I1:
        return FormatText(pszText, cchText, "[CHAR] %d", static_cast<int>(pValue->cVal));
    case VT_UI1:
        return FormatText(pszText, cchText, "[UCHAR] %d", static_cast<int>(pValue->bVal));
    case VT_I2:
        return FormatText(pszText, cchText, "[SHORT] %d", static_cast<int>(pValue->iVal));
    case VT_UI2:
        return FormatText(pszText, cchText, "[USHORT] %d", static_cast<int>(pValue->uiVal));
    case VT_I4:
        return FormatText(pszText, cchText, "[LONG] %d", static_cast<int>(pValue->lVal));
    case VT_UI4:
        if (IsKey(pguidKey, MF_TOPONODE_ERRORCODE))
            return FormatText(pszText, cchText, "[ULONG-ERRORCODE] 0x%08X",
                              static_cast<unsigned int>(pValue->ulVal));
        return FormatText(pszText, cchText, "[ULONG] %u", static_cast<unsigned int>(pValue->ulVal));
    case VT_UI8:
        if (IsRatioKey(pguidKey))
            return FormatText(pszText, cchText, "[RATIO] %d, %d",
                              static_cast<int>(pValue->uhVal.HighPart),
                              static_cast<int>(pValue->uhVal.LowPart));
        return FormatText(pszText, cchText, "[ULARGE_INTEGER] %I64u",
                          static_cast<unsigned long long>(pValue->uhVal.QuadPart));
    case VT_INT:
        return FormatText(pszText, cchText, "[INT] %d", pValue->intVal);
    case VT_UINT:
        return FormatText(pszText, cchText, "[UINT] %d", static_cast<int>(pValue->uintVal));
    case VT_R4:
        return FormatText(pszText, cchText, "[FLOAT] %f", static_cast<double>(pValue->fltVal));
    case VT_R8:
        return FormatText(pszText, cchText, "[DOUBLE] %f", pValue->dblVal);
    case VT_BOOL:
        return FormatText(pszText, cchText, "[VARIANT_BOOL] %s",
                          pValue->boolVal == VARIANT_TRUE ? "TRUE" : "FALSE");
    case VT_LPSTR:
        return FormatText(pszText, cchText, "[LPSTR] %s",
                          pValue->pszVal != NULL ? pValue->pszVal : "(null)");
    case VT_LPWSTR:
    {
        if (pValue->pwszVal == NULL)
            return FormatText(pszText, cchText, "[LPWSTR] %s", "(null)");
        char* pszAnsi = NewAnsiString(pValue->pwszVal);
        if (pszAnsi == NULL)
            return FormatText(pszText, cchText, "[LPWSTR] %s", kCutMark);
        HRESULT hr = FormatText(pszText, cchText, "[LPWSTR] %s", pszAnsi);
        free(pszAnsi);
        return hr;
    }
    case VT_UNKNOWN:
        if (pValue->punkVal == NULL)
            return FormatText(pszText, cchText, "[IUnknown] NULL IUnknown");
        return FormatText(pszText, cchText, "[IUnknown] %p", static_cast<void*>(pValue->punkVal));
    case VT_CLSID:
    {
        if (pValue->puuid == NULL)
            return FormatText(pszText, cchText, "[CLSID] %s", kGuidNullText);
        char szName[kMFDumpTextCch];
        GetGuidName(*pValue->puuid, szName, sizeof(szName));
        return FormatText(pszText, cchText, "[CLSID] %s", szName);
    }
    case VT_VECTOR | VT_UI1:
        return FormatByteVector(pguidKey, pValue, pszText, cchText);
    default:
        return FormatText(pszText, cchText, "[UNKNOWN TYPE] %d\n", static_cast<int>(pValue->vt));
    }
}

void DumpAttributeItem(const GUID* pguidKey, const PROPVARIANT* pValue, const char* pszLabel)
{
    if (pValue == NULL)
        return;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    char szKey[kMFDumpTextCch];
    szKey[0] = '\0';
    if (pguidKey != NULL)
        GetGuidName(*pguidKey, szKey, sizeof(szKey));
    char szValue[kMFDumpTextCch];
    FormatAttributeValue(pguidKey, pValue, szValue, sizeof(szValue));
    LogPrint("%s%s: %s\n", szPrefix, szKey, szValue);
}

HRESULT DumpMFAttributes(IUnknown* pObject, const char* pszLabel)
{
    if (pObject == NULL)
        return S_OK;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    LogPrint("%sDumpMFAttributes [%p]:\n", szPrefix, static_cast<void*>(pObject));

    ComPtr<IMFAttributes> pAttributes;
    HRESULT hr = pObject->QueryInterface(
        IID_IMFAttributes, reinterpret_cast<void**>(pAttributes.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
    {
        LogPrint("%s  Failed to query IMFAttributes interface: 0x%08X\n", szPrefix,
                 static_cast<unsigned int>(hr));
        return S_OK;
    }

    UINT32 cItems = 0;
    if (SUCCEEDED(pAttributes->GetCount(&cItems)))
    {
        for (UINT32 i = 0; i < cItems; ++i)
        {
            GUID guidKey = GUID_NULL;
            PROPVARIANT varValue;
            PropVariantInit(&varValue);
            if (SUCCEEDED(pAttributes->GetItemByIndex(i, &guidKey, &varValue)))
                DumpAttributeItem(&guidKey, &varValue, pszLabel);
            PropVariantClear(&varValue);
        }
    }
    return S_OK;
}

HRESULT DumpMFMediaEvent(IMFMediaEvent* pEvent, const char* pszLabel)
{
    if (pEvent == NULL)
        return S_OK;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    LogPrint("%sDumpMFMediaEvent [%p]:\n", szPrefix, static_cast<void*>(pEvent));

    MediaEventType met = MEUnknown;
    if (SUCCEEDED(pEvent->GetType(&met)))
    {
        const char* pszType = FindEventTypeName(met);
        if (pszType != NULL)
            LogPrint("%s== Type: %s\n", szPrefix, pszType);
        else
            LogPrint("%s== Type: unknwon %d\n", szPrefix, static_cast<int>(met));
    }

    GUID guidExtendedType = GUID_NULL;
    if (SUCCEEDED(pEvent->GetExtendedType(&guidExtendedType)))
    {
        char szName[kMFDumpTextCch];
        GetGuidName(guidExtendedType, szName, sizeof(szName));
        LogPrint("%s== ExtendedType: %s\n", szPrefix, szName);
    }

    PROPVARIANT varValue;
    PropVariantInit(&varValue);
    if (SUCCEEDED(pEvent->GetValue(&varValue)))
    {
        LogPrint("%s== Value:\n", szPrefix);
        DumpAttributeItem(NULL, &varValue, pszLabel);
    }
    PropVariantClear(&varValue);

    HRESULT hrStatus = S_OK;
    if (SUCCEEDED(pEvent->GetStatus(&hrStatus)))
        LogPrint("%s== Status: 0x%08X\n", szPrefix, static_cast<unsigned int>(hrStatus));

    DumpMFAttributes(pEvent, pszLabel);
    return S_OK;
}

HRESULT DumpMFMediaType(IMFMediaType* pType, const char* pszLabel)
{
    if (pType == NULL)
        return S_OK;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    LogPrint("%sDumpMFMediaType [%p]:\n", szPrefix, static_cast<void*>(pType));

    GUID guidMajorType = GUID_NULL;
    if (SUCCEEDED(pType->GetMajorType(&guidMajorType)))
    {
        BOOL bCompressed = FALSE;
        if (FAILED(pType->IsCompressedFormat(&bCompressed)))
            bCompressed = FALSE;
        char szName[kMFDumpTextCch];
        GetGuidName(guidMajorType, szName, sizeof(szName));
        LogPrint("%s== MajorType %s, IsCompressedFormat %d\n", szPrefix, szName,
                 static_cast<int>(bCompressed));
    }

    DumpMFAttributes(pType, pszLabel);
    return S_OK;
}

HRESULT DumpMFTCapability(IMFTransform* pTransform, const char* pszLabel)
{
    if (pTransform == NULL)
        return S_OK;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    LogPrint("%sDumpMFTCapability [%p]:\n", szPrefix, static_cast<void*>(pTransform));

    DWORD cInputs = 0;
    DWORD cOutputs = 0;
    if (FAILED(pTransform->GetStreamCount(&cInputs, &cOutputs)))
    {
        cInputs = 0;
        cOutputs = 0;
    }

    // The index serves as the stream id.
    for (DWORD i = 0; i < cInputs; ++i)
    {
        LogPrint("%s== Input %d:\n", szPrefix, static_cast<int>(i));
        DumpAvailableTypes(pTransform, i, TRUE, szPrefix, pszLabel);
    }
    for (DWORD i = 0; i < cOutputs; ++i)
    {
        LogPrint("%s== Output %d:\n", szPrefix, static_cast<int>(i));
        DumpAvailableTypes(pTransform, i, FALSE, szPrefix, pszLabel);
    }
    return S_OK;
}

void DumpTopologyNode(const char* pszLabel, IMFTopologyNode* pNode)
{
    if (pNode == NULL)
        return;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));

    TOPOID idNode = 0;
    pNode->GetTopoNodeID(&idNode);
    LogPrint("%sID %I64d:\n", szPrefix, static_cast<long long>(idNode));

    // No line end: the attribute dump's header runs on after the type.
    MF_TOPOLOGY_TYPE nodeType = MF_TOPOLOGY_MAX;
    HRESULT hrType = pNode->GetNodeType(&nodeType);
    LogPrint("%s  Node type: %s", szPrefix, NodeTypeText(hrType, nodeType));

    DumpMFAttributes(pNode, pszLabel);

    DWORD cInputs = 0;
    if (SUCCEEDED(pNode->GetInputCount(&cInputs)))
    {
        for (DWORD i = 0; i < cInputs; ++i)
        {
            ComPtr<IMFTopologyNode> pUpstream;
            DWORD dwUpstreamOutput = 0;
            if (SUCCEEDED(pNode->GetInput(i, &pUpstream, &dwUpstreamOutput)) && pUpstream != NULL)
            {
                TOPOID idUpstream = 0;
                pUpstream->GetTopoNodeID(&idUpstream);
                LogPrint("%s  Input %d, connect to Node %I64d, output %d\n", szPrefix,
                         static_cast<int>(i), static_cast<long long>(idUpstream),
                         static_cast<int>(dwUpstreamOutput));
            }
        }
    }

    DWORD cOutputs = 0;
    if (SUCCEEDED(pNode->GetOutputCount(&cOutputs)))
    {
        for (DWORD j = 0; j < cOutputs; ++j)
        {
            ComPtr<IMFTopologyNode> pDownstream;
            DWORD dwDownstreamInput = 0;
            if (SUCCEEDED(pNode->GetOutput(j, &pDownstream, &dwDownstreamInput)) &&
                pDownstream != NULL)
            {
                TOPOID idDownstream = 0;
                pDownstream->GetTopoNodeID(&idDownstream);
                LogPrint("%s  Output %d, connect to Node %I64d, output %d\n", szPrefix,
                         static_cast<int>(j), static_cast<long long>(idDownstream),
                         static_cast<int>(dwDownstreamInput));
            }
        }
    }
}

HRESULT DumpTopology(IMFTopology* pTopology, const char* pszLabel)
{
    if (pTopology == NULL)
        return S_OK;

    char szPrefix[kMFDumpTextCch];
    BuildPrefix(pszLabel, szPrefix, sizeof(szPrefix));
    LogPrint("%sDumpTopology [%p]:\n", szPrefix, static_cast<void*>(pTopology));

    WORD cNodes = 0;
    if (FAILED(pTopology->GetNodeCount(&cNodes)))
        cNodes = 0;
    for (WORD i = 0; i < cNodes; ++i)
    {
        ComPtr<IMFTopologyNode> pNode;
        if (SUCCEEDED(pTopology->GetNode(i, &pNode)))
        {
            char szNodeLabel[kMFDumpTextCch];
            FormatText(szNodeLabel, sizeof(szNodeLabel), "%s[Node %d]", szPrefix,
                       static_cast<int>(i));
            DumpTopologyNode(szNodeLabel, pNode.Get());
        }
    }
    return S_OK;
}
