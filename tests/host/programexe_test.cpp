#include <gtest/gtest.h>

#include <string>

#include "childprocess.h"
#include "debugwindowlistener.h"
#include "testfiles.h"
#include "waituntil.h"

namespace
{
const DWORD kTimeoutMs = 20000;
const char kWindowClass[] = "Class of My Testbed";
const char kWindowTitle[] = "My Testbed";

std::wstring ProgramPath()
{
    return ExecutableFolder() + L"FrameProvider.exe";
}

HWND WaitForHostWindow()
{
    HWND hWnd = NULL;
    WaitUntil([&] { return (hWnd = FindWindowA(kWindowClass, kWindowTitle)) != NULL; }, kTimeoutMs);
    return hWnd;
}

DWORD WaitForExitCode(const ScopedChildProcess& process)
{
    if (WaitForSingleObject(process.Handle(), kTimeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD dwExitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.Handle(), &dwExitCode);
    return dwExitCode;
}

bool IsDebugOutputBufferMade()
{
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "DBWIN_BUFFER");
    if (hMapping == NULL)
        return false;
    CloseHandle(hMapping);
    return true;
}

BOOL CALLBACK CountHostWindow(HWND hWnd, LPARAM lParam)
{
    char szClass[64] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (strcmp(szClass, kWindowClass) == 0)
        ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

int CountHostWindows()
{
    int nCount = 0;
    EnumWindows(CountHostWindow, reinterpret_cast<LPARAM>(&nCount));
    return nCount;
}
}  // namespace

TEST(ProgramExe, StartsHiddenWithoutADriverAndEndsWithCodeZeroWhenClosed)
{
    DebugWindowListener listener;
    ASSERT_TRUE(listener.IsListening());
    ScopedChildProcess program(ProgramPath());
    ASSERT_TRUE(program.IsRunning());

    HWND hWnd = WaitForHostWindow();
    ASSERT_NE(nullptr, hWnd);
    EXPECT_FALSE(IsWindowVisible(hWnd));
    // Both event hand-overs of the start-up fail at the open.
    EXPECT_TRUE(
        WaitUntil([&] { return listener.Count(program.ProcessId(), "CreateFile Failed (0x") >= 2; },
                  kTimeoutMs));
    EXPECT_EQ(1u, listener.Count(program.ProcessId(), "Create Application Windows...\n"));

    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExitCode(program));
    EXPECT_EQ(nullptr, FindWindowA(kWindowClass, kWindowTitle));
}

TEST(ProgramExe, ASecondInstanceLeavesTheFirstAloneAndEndsWithCodeZero)
{
    ScopedChildProcess first(ProgramPath());
    HWND hWnd = WaitForHostWindow();
    ASSERT_NE(nullptr, hWnd);

    ScopedChildProcess second(ProgramPath());
    ASSERT_TRUE(second.IsRunning());
    EXPECT_EQ(0u, WaitForExitCode(second));
    EXPECT_EQ(hWnd, FindWindowA(kWindowClass, kWindowTitle));
    EXPECT_EQ(1, CountHostWindows());

    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExitCode(first));
}

TEST(ProgramExe, AnEndingSessionClosesItAsWmCloseDoes)
{
    // What a restart manager (an installer replacing the files) or the end
    // of the session sends: the program agrees, then shuts down in order
    // (down to the capture builder's release) instead of being ended
    // unawares.
    DebugWindowListener listener;
    ASSERT_TRUE(listener.IsListening());
    ScopedChildProcess program(ProgramPath());
    HWND hWnd = WaitForHostWindow();
    ASSERT_NE(nullptr, hWnd);

    DWORD_PTR dwAnswer = 0;
    ASSERT_NE(0, SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                                     SMTO_ABORTIFHUNG, kTimeoutMs, &dwAnswer));
    EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), dwAnswer);
    PostMessageA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_EQ(0u, WaitForExitCode(program));
    EXPECT_TRUE(WaitUntil(
        [&] { return listener.Count(program.ProcessId(), "::~CMFCaptureBuilder ()\n") == 1; },
        kTimeoutMs));
}

TEST(ProgramExe, TheLogViewerPrintsTheProgramsLinesAndClosesIt)
{
    // The viewer listens in place of the test (one listener at a time), into
    // a file the test reads (a text file: its lines end in CR LF).
    std::wstring outputPath = ExecutableFolder() + L"viewer-output.txt";
    DeleteFileW(outputPath.c_str());
    ScopedChildProcess viewer(ExecutableFolder() + L"FrameProviderLog.exe",
                              L"--output \"" + outputPath + L"\"");
    ASSERT_TRUE(viewer.IsRunning());
    // It listens once it has made the shared buffer, its last step.
    ASSERT_TRUE(WaitUntil([] { return IsDebugOutputBufferMade(); }, kTimeoutMs));
    auto output = [&] { return ReadTextFile(outputPath); };

    ScopedChildProcess program(ProgramPath());
    ASSERT_NE(nullptr, WaitForHostWindow());
    EXPECT_TRUE(WaitUntil(
        [&] { return output().find("Create Application Windows...") != std::string::npos; },
        kTimeoutMs))
        << output();

    // --close, as the installer runs it, ends the program in order.
    ScopedChildProcess closer(ExecutableFolder() + L"FrameProviderLog.exe", L"--close");
    EXPECT_EQ(0u, WaitForExitCode(closer));
    EXPECT_EQ(0u, WaitForExitCode(program));
    EXPECT_TRUE(WaitUntil(
        [&] { return output().find("::~CMFCaptureBuilder ()") != std::string::npos; }, kTimeoutMs))
        << output();
    viewer.Terminate();
    DeleteFileW(outputPath.c_str());
}
