#include "pipeline/framecontrolmanager.h"

HRESULT FrameControlManager::AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
{
    EnterCriticalSection(&m_csOutputFormats);
    if (IsHandledColorFormat(eFormat) && !HasOutputFormat(eFormat, nWidth, nHeight))
    {
        FORMAT_RESOLUTION_UNIT resolution = {nWidth, nHeight};
        // A multimap inserts after the existing entries of the same key.
        m_outputFormats.insert(OutputFormatTable::value_type(eFormat, resolution));
    }
    LeaveCriticalSection(&m_csOutputFormats);
    return S_OK;
}

HRESULT FrameControlManager::ClearOutputFormats()
{
    EnterCriticalSection(&m_csOutputFormats);
    m_outputFormats.clear();
    LeaveCriticalSection(&m_csOutputFormats);
    return S_OK;
}

size_t FrameControlManager::GetOutputFormatCount(_COLOR_FORMAT eFormat)
{
    EnterCriticalSection(&m_csOutputFormats);
    size_t nCount = m_outputFormats.count(eFormat);
    LeaveCriticalSection(&m_csOutputFormats);
    return nCount;
}

std::vector<FORMAT_RESOLUTION_UNIT> FrameControlManager::GetOutputFormats(_COLOR_FORMAT eFormat)
{
    std::vector<FORMAT_RESOLUTION_UNIT> entries;
    EnterCriticalSection(&m_csOutputFormats);
    auto range = m_outputFormats.equal_range(eFormat);
    for (auto it = range.first; it != range.second; ++it)
        entries.push_back(it->second);
    LeaveCriticalSection(&m_csOutputFormats);
    return entries;
}

bool FrameControlManager::HasOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth,
                                          UINT32 nHeight) const
{
    auto range = m_outputFormats.equal_range(eFormat);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second.width == nWidth && it->second.height == nHeight)
            return true;
    }
    return false;
}
