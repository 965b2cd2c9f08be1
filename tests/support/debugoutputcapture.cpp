#include "debugoutputcapture.h"

#include <stdio.h>

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C ((DWORD)0x4001000AL)
#endif

namespace
{
// Handlers hold it shared while they use the capture, so that a capture is
// never destroyed under a line that another thread is still appending.
SRWLOCK g_activeLock = SRWLOCK_INIT;
DebugOutputCapture* g_pActive = nullptr;

std::string ToUtf8(const wchar_t* pwsz, size_t cch)
{
    if (cch == 0)
        return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), NULL, 0, NULL, NULL);
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), &text[0], cb, NULL, NULL);
    return text;
}
}  // namespace

DebugOutputCapture::DebugOutputCapture()
{
    AcquireSRWLockExclusive(&g_activeLock);
    g_pActive = this;
    ReleaseSRWLockExclusive(&g_activeLock);
    m_hHandler = AddVectoredExceptionHandler(1, OnException);
}

DebugOutputCapture::~DebugOutputCapture()
{
    RemoveVectoredExceptionHandler(m_hHandler);
    // Waits for the lines in flight on other threads (a thread that is still
    // logging, such as one the test has yet to stop).
    AcquireSRWLockExclusive(&g_activeLock);
    g_pActive = nullptr;
    ReleaseSRWLockExclusive(&g_activeLock);
}

LONG CALLBACK DebugOutputCapture::OnException(EXCEPTION_POINTERS* pInfo)
{
    const EXCEPTION_RECORD* pRecord = pInfo->ExceptionRecord;
    if ((pRecord->ExceptionCode != DBG_PRINTEXCEPTION_C &&
         pRecord->ExceptionCode != DBG_PRINTEXCEPTION_WIDE_C) ||
        pRecord->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    AcquireSRWLockShared(&g_activeLock);
    LONG nResult = g_pActive != nullptr ? g_pActive->Take(pRecord) : EXCEPTION_CONTINUE_SEARCH;
    ReleaseSRWLockShared(&g_activeLock);
    return nResult;
}

LONG DebugOutputCapture::Take(const EXCEPTION_RECORD* pRecord)
{
    // Like a debugger, the capture must leave the thread's last error alone:
    // callers log a line and then read the error of the call before it.
    struct LastErrorKeeper
    {
        DWORD dwError = GetLastError();
        ~LastErrorKeeper() { SetLastError(dwError); }
    } keeper;

    // Parameters: length in characters including the terminator, then the
    // string. Handling the wide form keeps the system from raising the
    // narrow form of the same line afterwards.
    size_t cch = static_cast<size_t>(pRecord->ExceptionInformation[0]);
    if (pRecord->ExceptionCode == DBG_PRINTEXCEPTION_C)
    {
        const char* psz = reinterpret_cast<const char*>(pRecord->ExceptionInformation[1]);
        Append(std::string(psz, cch > 0 ? strnlen(psz, cch) : 0));
    }
    else
    {
        const wchar_t* pwsz = reinterpret_cast<const wchar_t*>(pRecord->ExceptionInformation[1]);
        Append(ToUtf8(pwsz, cch > 0 ? wcsnlen(pwsz, cch) : 0));
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

void DebugOutputCapture::Append(std::string line)
{
    // VCAM_ECHO_LOG=1 also shows the captured lines, for a failing test.
    static const bool bEcho = GetEnvironmentVariableA("VCAM_ECHO_LOG", NULL, 0) > 0;
    if (bEcho)
    {
        fputs(line.c_str(), stderr);
        fflush(stderr);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.push_back(std::move(line));
}

std::vector<std::string> DebugOutputCapture::Lines() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lines;
}

std::string DebugOutputCapture::Text() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string text;
    for (const std::string& line : m_lines)
        text += line;
    return text;
}

size_t DebugOutputCapture::Count(const std::string& needle) const
{
    std::string text = Text();
    size_t nCount = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + needle.size()))
    {
        ++nCount;
    }
    return nCount;
}

void DebugOutputCapture::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.clear();
}

void DebugOutputCapture::PrintTail(size_t nLines) const
{
    std::vector<std::string> lines = Lines();
    size_t nFirst = lines.size() > nLines ? lines.size() - nLines : 0;
    fputs("--- debug output ---\n", stderr);
    for (size_t i = nFirst; i < lines.size(); ++i)
        fputs(lines[i].c_str(), stderr);
    fputs("\n--- end of debug output ---\n", stderr);
}
