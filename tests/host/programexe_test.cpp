#include <gtest/gtest.h>

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
    EXPECT_TRUE(WaitUntil(
        [&] { return listener.Count(program.ProcessId(), "CreateFile Failed (0x") >= 2; }, kTimeoutMs));
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
