#include "debugwindowlistener.h"

DebugWindowListener::DebugWindowListener() : m_bQuit(false)
{
    if (SUCCEEDED(m_reader.Open()))
        m_thread = std::thread(&DebugWindowListener::Listen, this);
}

DebugWindowListener::~DebugWindowListener()
{
    m_bQuit = true;
    if (m_thread.joinable())
    {
        m_reader.Interrupt();
        m_thread.join();
    }
}

void DebugWindowListener::Listen()
{
    std::vector<char> text(DebugOutputReader::kBufferSize);
    while (!m_bQuit)
    {
        DWORD dwProcessId = 0;
        if (m_reader.ReadLine(200, &dwProcessId, text.data()) != S_OK)
            continue;
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(std::make_pair(dwProcessId, std::string(text.data())));
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
