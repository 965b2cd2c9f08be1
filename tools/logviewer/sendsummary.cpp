#include "sendsummary.h"

#include "pipeline/framerecords.h"

#include <stdio.h>
#include <string.h>

namespace
{
const char kHeaderLine[] = "Frame header: format=";
const char kSentLine[] = "DeviceIoControl (IOCTL_AVSHWS_SET_FRAME): OK (";
const char kFailedLine[] = "DeviceIoControl (IOCTL_AVSHWS_SET_FRAME) Failed";

bool StartsWith(const char* pszText, const char* pszPrefix)
{
    return strncmp(pszText, pszPrefix, strlen(pszPrefix)) == 0;
}

}  // namespace

bool SendSummary::Key::operator<(const Key& other) const
{
    if (nFormat != other.nFormat)
        return nFormat < other.nFormat;
    if (nWidth != other.nWidth)
        return nWidth < other.nWidth;
    return nHeight < other.nHeight;
}

void SendSummary::AddLine(DWORD dwProcessId, const char* pszLine)
{
    if (StartsWith(pszLine, kHeaderLine))
    {
        Key key = {0, 0, 0};
        if (sscanf(pszLine + strlen(kHeaderLine), "%d, size: %d x %d", &key.nFormat, &key.nWidth,
                   &key.nHeight) == 3)
        {
            m_pendingHeader[dwProcessId] = key;
            m_counts[key];  // listed from its first frame on, even before a result
        }
        return;
    }
    bool bSent = StartsWith(pszLine, kSentLine);
    if (!bSent && !StartsWith(pszLine, kFailedLine))
        return;
    std::map<DWORD, Key>::iterator pending = m_pendingHeader.find(dwProcessId);
    // A result without its header (the reader started in between) says
    // nothing about which size it was.
    if (pending == m_pendingHeader.end())
        return;
    Counts& counts = m_counts[pending->second];
    m_pendingHeader.erase(pending);
    unsigned nMs = 0;
    if (bSent && sscanf(pszLine + strlen(kSentLine), "%u ms)", &nMs) == 1)
    {
        ++counts.nSent;
        counts.nTotalMs += nMs;
        if (nMs > counts.nLongestMs)
            counts.nLongestMs = nMs;
    }
    else if (!bSent)
    {
        ++counts.nFailed;
    }
}

std::vector<std::string> SendSummary::TakePeriod()
{
    std::vector<std::string> lines;
    for (std::map<Key, Counts>::iterator it = m_counts.begin(); it != m_counts.end(); ++it)
    {
        const Counts& counts = it->second;
        char szLine[160];
        double dMeanMs = counts.nSent > 0 ? static_cast<double>(counts.nTotalMs) / counts.nSent : 0;
        snprintf(szLine, sizeof(szLine),
                 "%s %dx%d: %u sent, %u failed, mean %.1f ms, longest %u ms",
                 ColorFormatName(static_cast<UINT32>(it->first.nFormat)), it->first.nWidth,
                 it->first.nHeight, counts.nSent, counts.nFailed, dMeanMs, counts.nLongestMs);
        lines.push_back(szLine);
        it->second = Counts();
    }
    return lines;
}
