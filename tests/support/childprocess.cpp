#include "childprocess.h"

#include <vector>

ScopedChildProcess::ScopedChildProcess(const std::wstring& path, const std::wstring& arguments)
    : m_processInfo(), m_hInputWrite(NULL)
{
    SECURITY_ATTRIBUTES security = {sizeof(security), NULL, TRUE};
    HANDLE hInputRead = NULL;
    if (!CreatePipe(&hInputRead, &m_hInputWrite, &security, 0))
        return;
    SetHandleInformation(m_hInputWrite, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hInputRead;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring line = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(L'\0');
    if (!CreateProcessW(path.c_str(), commandLine.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                        &m_processInfo))
    {
        m_processInfo = PROCESS_INFORMATION();
    }
    CloseHandle(hInputRead);
}

void ScopedChildProcess::Terminate()
{
    if (m_processInfo.hProcess != NULL)
    {
        TerminateProcess(m_processInfo.hProcess, 0);
        WaitForSingleObject(m_processInfo.hProcess, 5000);
    }
}

ScopedChildProcess::~ScopedChildProcess()
{
    if (m_hInputWrite != NULL)
        CloseHandle(m_hInputWrite);
    if (m_processInfo.hProcess != NULL)
    {
        if (WaitForSingleObject(m_processInfo.hProcess, 5000) == WAIT_TIMEOUT)
            TerminateProcess(m_processInfo.hProcess, 0);
        CloseHandle(m_processInfo.hProcess);
        CloseHandle(m_processInfo.hThread);
    }
}
