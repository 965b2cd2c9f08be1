#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace
{
// Lets the process's other threads that are already ending (the thread
// pools Media Foundation closes at its shutdown) finish before the process
// exits: 32-bit Wine crashes now and then (SIGSEGV in its signal handling)
// when it ends the process around a thread still inside a server call.
// Threads that stay (an idle pool) only cost the wait's bound.
void LetEndingThreadsFinish(DWORD dwBoundMs)
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return;
    std::vector<HANDLE> threads;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Thread32First(hSnapshot, &entry); bMore;
         bMore = Thread32Next(hSnapshot, &entry))
    {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() ||
            entry.th32ThreadID == GetCurrentThreadId())
            continue;
        HANDLE hThread = OpenThread(SYNCHRONIZE, FALSE, entry.th32ThreadID);
        if (hThread != NULL)
            threads.push_back(hThread);
    }
    CloseHandle(hSnapshot);
    DWORD dwStart = GetTickCount();
    for (HANDLE hThread : threads)
    {
        DWORD dwSpent = GetTickCount() - dwStart;
        WaitForSingleObject(hThread, dwSpent < dwBoundMs ? dwBoundMs - dwSpent : 0);
        CloseHandle(hThread);
    }
}
}  // namespace

int main(int argc, char** argv)
{
    // CTest reads the output through a pipe, where the C runtime would hold
    // it back in full buffers: a test that hangs until its time-out would
    // then show nothing of where it stopped.
    setvbuf(stdout, NULL, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    int nResult = RUN_ALL_TESTS();
    LetEndingThreadsFinish(200);
    return nResult;
}
