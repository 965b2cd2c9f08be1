#include "capture/mfcapturebuilder.h"

#include <string>

#include "diagnostics/debuglog.h"

namespace
{
const size_t kIdTokenLength = 8;  // "VID_" or "PID_" and four hex digits

std::string ToUpperAscii(const char* psz)
{
    std::string text(psz);
    for (char& c : text)
    {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// A device interface's link names the device instance, then, from "#{", the
// interface class. The removal may be broadcast for another interface class
// of the same device, so only the instance part tells devices apart.
std::string InstancePart(const std::string& link)
{
    return link.substr(0, link.find("#{"));
}

// The id token at pos, cut short where the string ends: a short token never
// reads past the string and only equals an equally short one.
std::string TokenAt(const std::string& text, size_t pos)
{
    return text.substr(pos, kIdTokenLength);
}
}  // namespace

HRESULT CMFCaptureBuilder::CheckDeviceLost(DEV_BROADCAST_HDR* pHeader, BOOL* pbLost)
{
    if (pbLost == NULL)
        return E_POINTER;

    BOOL bLost = FALSE;
    {
        SurvivingLockGuard guard(m_linkLock);
        *pbLost = FALSE;
        if (pHeader != NULL && pHeader->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
            m_szLinkInUse[0] != '\0' &&
            isSameWebcam(m_szLinkInUse,
                         reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(pHeader)->dbcc_name))
        {
            m_szLinkInUse[0] = '\0';
            *pbLost = TRUE;
            InterlockedExchange(&m_bWebcamFailed, TRUE);
        }
        bLost = *pbLost;
    }
    LogPrint("CMFCaptureBuilder(0x%p)::CheckDeviceLost (): BOOL %d\n", this, bLost);
    return S_OK;
}

void CMFCaptureBuilder::ForgetWebcamInUse()
{
    SurvivingLockGuard guard(m_linkLock);
    m_szLinkInUse[0] = '\0';
}

BOOL CMFCaptureBuilder::isSameWebcam(const char* pszInUse, const char* pszDeviceName)
{
    std::string inUse = ToUpperAscii(pszInUse);
    std::string lost = ToUpperAscii(pszDeviceName);

    // Different vendor or product ids: certainly another device.
    size_t nLostVid = lost.find("VID");
    size_t nLostPid = lost.find("PID");
    size_t nInUseVid = inUse.find("VID");
    size_t nInUsePid = inUse.find("PID");
    bool bLostHasIds = nLostVid != std::string::npos && nLostPid != std::string::npos;
    bool bInUseHasIds = nInUseVid != std::string::npos && nInUsePid != std::string::npos;
    if (bLostHasIds != bInUseHasIds)
        return FALSE;
    if (bLostHasIds && (TokenAt(inUse, nInUseVid) != TokenAt(lost, nLostVid) ||
                        TokenAt(inUse, nInUsePid) != TokenAt(lost, nLostPid)))
        return FALSE;

    // Two webcams of one model, and devices without ids (a camera that is
    // not USB, the virtual camera's own device), differ in their instance.
    // A link that filled its field was cut short and is compared as far as
    // it goes.
    std::string inUseInstance = InstancePart(inUse);
    std::string lostInstance = InstancePart(lost);
    if (inUse.size() >= MAX_PATH - 1)
        return lostInstance.compare(0, inUseInstance.size(), inUseInstance) == 0;
    return inUseInstance == lostInstance;
}
