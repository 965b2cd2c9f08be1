#include "debugwindowlistener.h"

namespace
{
const DWORD kBufferSize = 4096;
}

DebugWindowListener::DebugWindowListener()
    : m_hBufferReady(CreateEventA(NULL, FALSE, TRUE, "DBWIN_BUFFER_READY")),
      m_hDataReady(CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY")),
      m_hMapping(CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kBufferSize,
                                    "DBWIN_BUFFER")),
      m_pBuffer(NULL),
      m_bQuit(false)
{
    if (m_hBufferReady != NULL && m_hDataReady != NULL && m_hMapping != NULL)
    {
        m_pBuffer = static_cast<const BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 0));
        if (m_pBuffer != NULL)
            m_thread = std::thread(&DebugWindowListener::Listen, this);
    }
}

DebugWindowListener::~DebugWindowListener()
{
    m_bQuit = true;
    if (m_thread.joinable())
    {
        SetEvent(m_hDataReady);
        m_thread.join();
    }
    if (m_pBuffer != NULL)
        UnmapViewOfFile(m_pBuffer);
    for (HANDLE h : {m_hMapping, m_hDataReady, m_hBufferReady})
    {
        if (h != NULL)
            CloseHandle(h);
    }
}

void DebugWindowListener::Listen()
{
    while (!m_bQuit)
    {
        if (WaitForSingleObject(m_hDataReady, 200) != WAIT_OBJECT_0 || m_bQuit)
            continue;
        DWORD dwProcessId = 0;
        memcpy(&dwProcessId, m_pBuffer, sizeof(dwProcessId));
        const char* pszText = reinterpret_cast<const char*>(m_pBuffer + sizeof(DWORD));
        std::string text(pszText, strnlen(pszText, kBufferSize - sizeof(DWORD)));
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.push_back(std::make_pair(dwProcessId, text));
        }
        SetEvent(m_hBufferReady);
    }
}

std::string DebugWindowListener::TextOf(DWORD dwProcessId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string text;
    for (const auto& line : m_lines)
    {
        if (line.first == dwProcessId)
            text += line.second;
    }
    return text;
}

size_t DebugWindowListener::Count(DWORD dwProcessId, const std::string& needle)
{
    std::string text = TextOf(dwProcessId);
    size_t nCount = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + needle.size()))
    {
        ++nCount;
    }
    return nCount;
}
