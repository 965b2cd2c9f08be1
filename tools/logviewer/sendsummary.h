#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Counts the frames the frame provider handed to the driver, per format and
// size, from its own lines: "Frame header: format=F, size: W x H" names the
// frame that the next "DeviceIoControl (IOCTL_AVSHWS_SET_FRAME)" line of the
// same process reports as sent (with its time) or failed.
class SendSummary
{
public:
    void AddLine(DWORD dwProcessId, const char* pszLine);
    // One line per format and size seen so far ("YUY2 1280x720: 148 sent,
    // 0 failed, mean 1.6 ms, longest 4 ms"), then the counts start again, so
    // that a size whose frames stopped shows 0 sent.
    std::vector<std::string> TakePeriod();

private:
    struct Key
    {
        int nFormat;
        int nWidth;
        int nHeight;
        bool operator<(const Key& other) const;
    };
    struct Counts
    {
        Counts() : nSent(0), nFailed(0), nTotalMs(0), nLongestMs(0) {}
        unsigned nSent;
        unsigned nFailed;
        unsigned long long nTotalMs;
        unsigned nLongestMs;
    };

    std::map<DWORD, Key> m_pendingHeader;  // per process, the frame being sent
    std::map<Key, Counts> m_counts;
};
