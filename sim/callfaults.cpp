#include "callfaults.h"

void CallFaults::Fail(const std::string& call, HRESULT hr, int nTimes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (nTimes == 0)
        m_failures.erase(call);
    else
        m_failures[call] = std::make_pair(hr, nTimes);
}

void CallFaults::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures.clear();
}

HRESULT CallFaults::Enter(const char* pszCall)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string call(pszCall);
    ++m_callCounts[call];
    std::map<std::string, std::pair<HRESULT, int>>::iterator it = m_failures.find(call);
    if (it == m_failures.end())
        return S_OK;
    HRESULT hr = it->second.first;
    if (it->second.second > 0 && --it->second.second == 0)
        m_failures.erase(it);
    return hr;
}

int CallFaults::CallCount(const std::string& call) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::map<std::string, int>::const_iterator it = m_callCounts.find(call);
    return it == m_callCounts.end() ? 0 : it->second;
}
