#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "debugoutputcapture.h"
#include "diagnostics/debuglog.h"

TEST(DebugLog, WritesExactlyTheFormattedTextWithoutPrefixOrLineEnd)
{
    DebugOutputCapture capture;
    LogPrint("CMFCaptureBuilder(0x%p)::StartCapture (): HRESULT 0x%08X\n",
             reinterpret_cast<void*>(0x1234), 0x80004005u);
    LogPrint("    DevicePath: %s", "\\\\?\\root#x");
    LogPrint("%I64d|%d\n", -5000000000LL, 7);

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("::StartCapture (): HRESULT 0x80004005\n"));
    EXPECT_EQ("    DevicePath: \\\\?\\root#x", lines[1]);
    EXPECT_EQ("-5000000000|7\n", lines[2]);
}

TEST(DebugLog, ALineWithoutLineEndRunsOnIntoTheNext)
{
    DebugOutputCapture capture;
    LogPrint("first ");
    LogPrint("second\n");
    EXPECT_EQ("first second\n", capture.Text());
}

TEST(DebugLog, LongLinesAreWrittenWhole)
{
    DebugOutputCapture capture;
    std::string longText(5000, 'x');
    longText[4999] = 'z';
    LogPrint("<%s>\n", longText.c_str());
    ASSERT_EQ(1u, capture.Lines().size());
    EXPECT_EQ("<" + longText + ">\n", capture.Lines()[0]);
}

TEST(DebugLog, WideLinesAreFormattedWithWideArguments)
{
    DebugOutputCapture capture;
    LogPrintW(L"WM_POWERBROADCAST reason is 0x%08x", 0x12u);
    LogPrintW(L"[%s] %d\n", L"te.exe use Driver", 3);
    std::wstring longText(5000, L'w');
    LogPrintW(L"%s", longText.c_str());

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("WM_POWERBROADCAST reason is 0x00000012", lines[0]);
    EXPECT_EQ("[te.exe use Driver] 3\n", lines[1]);
    EXPECT_EQ(std::string(5000, 'w'), lines[2]);
}

TEST(DebugLog, LinesOfConcurrentThreadsStayWhole)
{
    DebugOutputCapture capture;
    const int kLinesPerThread = 300;
    std::string a(200, 'a');
    std::string b(200, 'b');
    auto writer = [kLinesPerThread](const std::string& text, bool bWide)
    {
        std::wstring wide(text.begin(), text.end());
        for (int i = 0; i < kLinesPerThread; ++i)
        {
            if (bWide)
                LogPrintW(L"%s%d\n", wide.c_str(), i % 10);
            else
                LogPrint("%s%d\n", text.c_str(), i % 10);
        }
    };
    std::thread first(writer, a, false);
    std::thread second(writer, b, true);
    first.join();
    second.join();

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u * kLinesPerThread, lines.size());
    for (const std::string& line : lines)
    {
        ASSERT_EQ(202u, line.size());
        std::string body = line.substr(0, 200);
        EXPECT_TRUE(body == a || body == b) << line;
        EXPECT_EQ('\n', line[201]);
    }
}

TEST(DebugLog, AThreadTerminatedWhileHoldingTheLogLockDoesNotSilenceTheLog)
{
    DebugOutputCapture capture;
    HANDLE hLocked = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE hNever = CreateEventW(NULL, TRUE, FALSE, NULL);
    struct Holder
    {
        HANDLE hLocked;
        HANDLE hNever;
        static DWORD WINAPI Run(LPVOID pContext)
        {
            Holder* pHolder = static_cast<Holder*>(pContext);
            gcsLog.Lock();
            SetEvent(pHolder->hLocked);
            WaitForSingleObject(pHolder->hNever, INFINITE);
            return 0;
        }
    } holder = {hLocked, hNever};
    HANDLE hThread = CreateThread(NULL, 0, Holder::Run, &holder, 0, NULL);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hLocked, 5000));
    TerminateThread(hThread, 0);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hThread, 5000));

    // Written on a thread of its own, so that a log that hangs fails the test
    // instead of hanging it.
    HANDLE hWritten = CreateEventW(NULL, TRUE, FALSE, NULL);
    std::thread writer(
        [&]
        {
            LogPrint("after the terminated thread\n");
            SetEvent(hWritten);
        });
    bool bWritten = WaitForSingleObject(hWritten, 10000) == WAIT_OBJECT_0;
    if (!bWritten)
    {
        ADD_FAILURE() << "the log stayed locked by a terminated thread";
        writer.detach();
        ExitProcess(3);
    }
    writer.join();
    EXPECT_TRUE(capture.Contains("after the terminated thread\n"));
    // The lock is free again for everyone.
    LogPrint("and the next\n");
    EXPECT_TRUE(capture.Contains("and the next\n"));
    CloseHandle(hThread);
    CloseHandle(hWritten);
    CloseHandle(hNever);
    CloseHandle(hLocked);
}

// The tests' capture of the log ends while threads they have yet to stop go
// on logging; a line in flight must not outlive the capture it goes to.
TEST(DebugLogCapture, EndingWhileAnotherThreadLogsLosesNothingAfterwards)
{
    std::atomic<bool> bStop(false);
    std::thread logger(
        [&]
        {
            while (!bStop)
                LogPrint("from the other thread %d\n", 42);
        });
    for (int i = 0; i < 2000; ++i)
    {
        DebugOutputCapture capture;
        LogPrint("round %d\n", i);
        ASSERT_TRUE(capture.Contains("round " + std::to_string(i) + "\n"));
    }
    bStop = true;
    logger.join();
}
