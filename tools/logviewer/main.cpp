// FrameProviderLog.exe: prints the debugger output of the frame provider's
// processes, so that an administrator needs no other tool to read it.
//
//   FrameProviderLog.exe [--summary] [--output FILE] [--all]
//   FrameProviderLog.exe --close
//
// --summary  every 5 s, one line per format and size the driver received
//            (frames sent, failed sends, mean and longest send time) instead
//            of the lines themselves
// --output   writes to FILE (appending) instead of standard output
// --all      every process's lines, not only FrameProvider.exe's
// --close    asks the running frame provider to end and waits for it (the
//            installer runs this before it removes or replaces the files)
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "debugoutputreader.h"
#include "sendsummary.h"

namespace
{
const DWORD kSummaryPeriodMs = 5000;
const char kProgramName[] = "FrameProvider.exe";
const char kWindowClass[] = "Class of My Testbed";
const char kWindowTitle[] = "My Testbed";
// The program's own end is bounded (its threads are stopped within seconds);
// this leaves room for a loaded machine.
const DWORD kCloseTimeoutMs = 30000;

DebugOutputReader* gpReader = NULL;
volatile LONG gnStop = 0;

BOOL WINAPI OnConsoleControl(DWORD)
{
    InterlockedExchange(&gnStop, 1);
    if (gpReader != NULL)
        gpReader->Interrupt();
    return TRUE;
}

struct Options
{
    Options() : bSummary(false), bAll(false), bClose(false) {}
    bool bSummary;
    bool bAll;
    bool bClose;
    std::string outputPath;
};

bool ReadOptions(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i < argc; ++i)
    {
        if (strcmp(argv[i], "--summary") == 0)
            pOptions->bSummary = true;
        else if (strcmp(argv[i], "--all") == 0)
            pOptions->bAll = true;
        else if (strcmp(argv[i], "--close") == 0)
            pOptions->bClose = true;
        else if (strcmp(argv[i], "--output") == 0 && i + 1 < argc)
            pOptions->outputPath = argv[++i];
        else
            return false;
    }
    return true;
}

// Whether a process is the frame provider, asked once per process; a
// process id that a new process reuses is asked again.
class ProgramProcesses
{
public:
    ~ProgramProcesses()
    {
        for (std::map<DWORD, Entry>::iterator it = m_entries.begin(); it != m_entries.end(); ++it)
        {
            if (it->second.hProcess != NULL)
                CloseHandle(it->second.hProcess);
        }
    }

    bool IsProgram(DWORD dwProcessId)
    {
        std::map<DWORD, Entry>::iterator it = m_entries.find(dwProcessId);
        if (it != m_entries.end() && (it->second.hProcess == NULL ||
                                      WaitForSingleObject(it->second.hProcess, 0) != WAIT_OBJECT_0))
        {
            return it->second.bProgram;
        }
        if (it != m_entries.end() && it->second.hProcess != NULL)
            CloseHandle(it->second.hProcess);
        Entry entry = {
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, dwProcessId),
            false};
        char szPath[MAX_PATH] = {};
        DWORD cchPath = MAX_PATH;
        if (entry.hProcess != NULL &&
            QueryFullProcessImageNameA(entry.hProcess, 0, szPath, &cchPath))
        {
            const char* pszName = strrchr(szPath, '\\');
            pszName = pszName != NULL ? pszName + 1 : szPath;
            entry.bProgram = lstrcmpiA(pszName, kProgramName) == 0;
        }
        m_entries[dwProcessId] = entry;
        return entry.bProgram;
    }

private:
    struct Entry
    {
        HANDLE hProcess;  // held so that the id's reuse can be told
        bool bProgram;
    };
    std::map<DWORD, Entry> m_entries;
};

// Asks every running frame provider to end the way its window expects
// (WM_CLOSE) and waits for the processes: 0 when none runs any more.
int CloseRunningPrograms()
{
    std::vector<HANDLE> processes;
    HWND hWnd = NULL;
    while ((hWnd = FindWindowExA(NULL, hWnd, kWindowClass, kWindowTitle)) != NULL &&
           processes.size() < MAXIMUM_WAIT_OBJECTS)
    {
        DWORD dwProcessId = 0;
        GetWindowThreadProcessId(hWnd, &dwProcessId);
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwProcessId);
        if (hProcess != NULL)
            processes.push_back(hProcess);
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    }
    DWORD dwWait = WAIT_OBJECT_0;
    if (!processes.empty())
    {
        dwWait = WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(),
                                        TRUE, kCloseTimeoutMs);
    }
    bool bEnded = dwWait - WAIT_OBJECT_0 < processes.size() || processes.empty();
    for (size_t i = 0; i < processes.size(); ++i)
        CloseHandle(processes[i]);
    fprintf(stderr, "FrameProviderLog: %u running program(s) asked to close: %s\n",
            static_cast<unsigned>(processes.size()), bEnded ? "ended" : "still running");
    return bEnded ? 0 : 1;
}

void WriteLine(FILE* pOut, const char* pszText)
{
    // The program's lines end in a line break of their own; other writers'
    // need not.
    size_t cchText = strlen(pszText);
    fputs(pszText, pOut);
    if (cchText == 0 || pszText[cchText - 1] != '\n')
        fputc('\n', pOut);
    fflush(pOut);  // a reader of the file sees each line as it comes
}

void WriteSummary(FILE* pOut, SendSummary* pSummary)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char szTime[16];
    snprintf(szTime, sizeof(szTime), "%02u:%02u:%02u", static_cast<unsigned>(now.wHour),
             static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond));
    std::vector<std::string> lines = pSummary->TakePeriod();
    if (lines.empty())
        fprintf(pOut, "%s no frames sent\n", szTime);
    for (size_t i = 0; i < lines.size(); ++i)
        fprintf(pOut, "%s %s\n", szTime, lines[i].c_str());
    fflush(pOut);
}
}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ReadOptions(argc, argv, &options))
    {
        fprintf(stderr,
                "usage: FrameProviderLog.exe [--summary] [--output FILE] [--all]\n"
                "       FrameProviderLog.exe --close\n");
        return 2;
    }
    if (options.bClose)
        return CloseRunningPrograms();

    FILE* pOut = stdout;
    if (!options.outputPath.empty())
    {
        pOut = fopen(options.outputPath.c_str(), "a");
        if (pOut == NULL)
        {
            fprintf(stderr, "FrameProviderLog: cannot open %s\n", options.outputPath.c_str());
            return 1;
        }
    }

    DebugOutputReader reader;
    HRESULT hr = reader.Open();
    if (FAILED(hr))
    {
        fprintf(stderr, "FrameProviderLog: cannot listen to the debug output (0x%08lX)\n",
                static_cast<unsigned long>(hr));
        return 1;
    }
    if (hr == S_FALSE)
        fprintf(stderr,
                "FrameProviderLog: another debug-output viewer seems to run; "
                "each line reaches only one of them\n");
    gpReader = &reader;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    fprintf(stderr, "FrameProviderLog: listening (Ctrl+C ends)\n");

    ProgramProcesses programs;
    SendSummary summary;
    std::vector<char> text(DebugOutputReader::kBufferSize);
    DWORD dwNextSummary = GetTickCount() + kSummaryPeriodMs;
    while (gnStop == 0 && SUCCEEDED(hr))
    {
        DWORD dwTimeoutMs = INFINITE;
        if (options.bSummary)
        {
            LONG nLeft = static_cast<LONG>(dwNextSummary - GetTickCount());
            dwTimeoutMs = nLeft > 0 ? static_cast<DWORD>(nLeft) : 0;
        }
        DWORD dwProcessId = 0;
        hr = reader.ReadLine(dwTimeoutMs, &dwProcessId, text.data());
        if (hr == S_OK && (options.bAll || programs.IsProgram(dwProcessId)))
        {
            if (options.bSummary)
                summary.AddLine(dwProcessId, text.data());
            else
                WriteLine(pOut, text.data());
        }
        if (options.bSummary && static_cast<LONG>(GetTickCount() - dwNextSummary) >= 0)
        {
            WriteSummary(pOut, &summary);
            dwNextSummary += kSummaryPeriodMs;
        }
    }
    gpReader = NULL;
    if (pOut != stdout)
        fclose(pOut);
    return SUCCEEDED(hr) ? 0 : 1;
}
