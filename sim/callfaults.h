#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

// What a test tells a double to fail, by the name of the call ("ProcessInput",
// "CreateInstance", ...), and how often each call was made. Shared between
// the test and the doubles it controls; safe to use from any thread.
class CallFaults
{
public:
    CallFaults() {}

    // The next nTimes calls (every call when -1) return hr without effect.
    void Fail(const std::string& call, HRESULT hr, int nTimes = -1);
    void Clear();

    // Called by the double at the start of a call: counts it and returns the
    // failure to report, or S_OK to go on.
    HRESULT Enter(const char* pszCall);

    int CallCount(const std::string& call) const;

private:
    CallFaults(const CallFaults&);
    CallFaults& operator=(const CallFaults&);

    mutable std::mutex m_lock;
    std::map<std::string, std::pair<HRESULT, int>> m_failures;  // (code, times left; -1 always)
    std::map<std::string, int> m_callCounts;
};
