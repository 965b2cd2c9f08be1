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

    EnterCriticalSection(&m_cs);
    *pbLost = FALSE;
    if (pHeader != NULL && pHeader->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
        m_szSymbolicLink[0] != '\0' &&
        isSameWebcam(reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(pHeader)->dbcc_name))
    {
        m_szSymbolicLink[0] = '\0';
        *pbLost = TRUE;
    }
    BOOL bLost = *pbLost;
    LeaveCriticalSection(&m_cs);
    LogPrint("CMFCaptureBuilder(0x%p)::CheckDeviceLost (): BOOL %d\n", this, bLost);
    return S_OK;
}

BOOL CMFCaptureBuilder::isSameWebcam(const char* pszDeviceName)
{
    std::string inUse = ToUpperAscii(m_szSymbolicLink);
    std::string lost = ToUpperAscii(pszDeviceName);

    size_t nLostVid = lost.find("VID");
    size_t nLostPid = lost.find("PID");
    if (nLostVid == std::string::npos || nLostPid == std::string::npos)
        return TRUE;

    size_t nInUseVid = inUse.find("VID");
    size_t nInUsePid = inUse.find("PID");
    if (nInUseVid == std::string::npos || nInUsePid == std::string::npos)
        return FALSE;
    return TokenAt(inUse, nInUseVid) == TokenAt(lost, nLostVid) &&
           TokenAt(inUse, nInUsePid) == TokenAt(lost, nLostPid);
}
