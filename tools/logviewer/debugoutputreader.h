#pragma once

#include <windows.h>

// Reads the debugger output of the processes of this session the way a
// debug-output viewer does (the DBWIN_BUFFER protocol): each writer waits
// for "buffer ready", fills the shared buffer with its process id and text
// and signals "data ready". Only one reader can listen at a time.
class DebugOutputReader
{
public:
    // The buffer's size, process id included; a line is at most this less 4.
    static const DWORD kBufferSize = 4096;

    DebugOutputReader();
    ~DebugOutputReader();

    // Takes the buffer and its two events; S_FALSE when another reader
    // seems to listen already (the two then share the lines).
    HRESULT Open();
    bool IsOpen() const { return m_pBuffer != NULL; }
    // Waits for the next line: S_OK with the writer's id and the text
    // (NUL-terminated, cut to the buffer), S_FALSE when the time ran out.
    // pszText holds at least kBufferSize characters.
    HRESULT ReadLine(DWORD dwTimeoutMs, DWORD* pdwProcessId, char* pszText);
    // Makes a ReadLine waiting on another thread return (S_FALSE) at once.
    void Interrupt();

private:
    DebugOutputReader(const DebugOutputReader&);
    DebugOutputReader& operator=(const DebugOutputReader&);

    void Close();

    HANDLE m_hBufferReady;
    HANDLE m_hDataReady;
    HANDLE m_hInterrupt;
    HANDLE m_hMapping;
    const BYTE* m_pBuffer;
};
