#include "debugoutputreader.h"

#include <string.h>

namespace
{
// A failed call that left no error code is still a failure.
HRESULT LastErrorResult()
{
    DWORD dwError = GetLastError();
    return dwError != 0 ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
}
}  // namespace

DebugOutputReader::DebugOutputReader()
    : m_hBufferReady(NULL),
      m_hDataReady(NULL),
      m_hInterrupt(NULL),
      m_hMapping(NULL),
      m_pBuffer(NULL)
{
}

DebugOutputReader::~DebugOutputReader()
{
    Close();
}

HRESULT DebugOutputReader::Open()
{
    if (m_pBuffer != NULL)
        return S_OK;
    HRESULT hr = S_OK;
    // "Buffer ready" starts set: the first writer may go ahead at once.
    m_hBufferReady = CreateEventA(NULL, FALSE, TRUE, "DBWIN_BUFFER_READY");
    if (m_hBufferReady == NULL)
        hr = LastErrorResult();
    // Writers only open the event; one that exists already is most likely
    // another reader's, which will take some of the lines.
    BOOL bShared = m_hBufferReady != NULL && GetLastError() == ERROR_ALREADY_EXISTS;
    if (SUCCEEDED(hr))
    {
        m_hDataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
        m_hInterrupt = CreateEventA(NULL, FALSE, FALSE, NULL);
        if (m_hDataReady == NULL || m_hInterrupt == NULL)
            hr = LastErrorResult();
    }
    if (SUCCEEDED(hr))
    {
        m_hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kBufferSize,
                                        "DBWIN_BUFFER");
        if (m_hMapping == NULL)
            hr = LastErrorResult();
    }
    if (SUCCEEDED(hr))
    {
        m_pBuffer = static_cast<const BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 0));
        if (m_pBuffer == NULL)
            hr = LastErrorResult();
    }
    if (FAILED(hr))
        Close();
    else if (bShared)
        hr = S_FALSE;
    return hr;
}

HRESULT DebugOutputReader::ReadLine(DWORD dwTimeoutMs, DWORD* pdwProcessId, char* pszText)
{
    if (pdwProcessId == NULL || pszText == NULL)
        return E_POINTER;
    if (m_pBuffer == NULL)
        return E_UNEXPECTED;
    HANDLE handles[2] = {m_hDataReady, m_hInterrupt};
    DWORD dwWait = WaitForMultipleObjects(2, handles, FALSE, dwTimeoutMs);
    if (dwWait == WAIT_OBJECT_0 + 1 || dwWait == WAIT_TIMEOUT)
        return S_FALSE;
    if (dwWait != WAIT_OBJECT_0)
        return LastErrorResult();

    memcpy(pdwProcessId, m_pBuffer, sizeof(DWORD));
    // The writer's text need not end inside the buffer.
    const char* pszSource = reinterpret_cast<const char*>(m_pBuffer + sizeof(DWORD));
    size_t cchText = strnlen(pszSource, kBufferSize - sizeof(DWORD) - 1);
    memcpy(pszText, pszSource, cchText);
    pszText[cchText] = '\0';
    // The copy is taken: the next writer may fill the buffer.
    SetEvent(m_hBufferReady);
    return S_OK;
}

void DebugOutputReader::Interrupt()
{
    if (m_hInterrupt != NULL)
        SetEvent(m_hInterrupt);
}

void DebugOutputReader::Close()
{
    if (m_pBuffer != NULL)
        UnmapViewOfFile(m_pBuffer);
    m_pBuffer = NULL;
    HANDLE* handles[] = {&m_hMapping, &m_hInterrupt, &m_hDataReady, &m_hBufferReady};
    for (HANDLE* ph : handles)
    {
        if (*ph != NULL)
            CloseHandle(*ph);
        *ph = NULL;
    }
}
