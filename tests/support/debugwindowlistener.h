#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "debugoutputreader.h"

// Listens to the debugger output of other processes the way a debug-output
// viewer does (the DBWIN_BUFFER protocol), for as long as it lives.
class DebugWindowListener
{
public:
    DebugWindowListener();
    ~DebugWindowListener();

    bool IsListening() const { return m_reader.IsOpen(); }
    // Everything the process wrote, concatenated.
    std::string TextOf(DWORD dwProcessId);
    size_t Count(DWORD dwProcessId, const std::string& needle);

private:
    DebugWindowListener(const DebugWindowListener&);
    DebugWindowListener& operator=(const DebugWindowListener&);

    void Listen();

    DebugOutputReader m_reader;
    volatile bool m_bQuit;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::pair<DWORD, std::string>> m_lines;
};
