#include <gtest/gtest.h>

#include <windows.h>

#include "driver/drivercallthread.h"
#include "driver/driverio.h"

namespace
{
// A driver call that blocks until cancelled, or for ever when the driver
// ignores cancellation; and a thread that is busy elsewhere.
HANDLE ghCallCancelled = NULL;
HANDLE ghInside = NULL;
HANDLE ghRelease = NULL;
volatile LONG gnCancellations = 0;
bool gbHonoursCancellation = true;

BOOL WINAPI BlockingControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    SetEvent(ghInside);
    // A driver that ignores cancellation waits for the test's release only.
    HANDLE handles[2] = {ghRelease, ghCallCancelled};
    DWORD dwWait = WaitForMultipleObjects(gbHonoursCancellation ? 2 : 1, handles, FALSE, INFINITE);
    SetLastError(dwWait == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS);
    return FALSE;
}

BOOL WINAPI CountingCancel(HANDLE)
{
    InterlockedIncrement(&gnCancellations);
    SetEvent(ghCallCancelled);
    return TRUE;
}

enum Doing
{
    CALLING_A_DRIVER_THAT_CANCELS,
    CALLING_A_DRIVER_THAT_HANGS,
    BUSY_OUTSIDE_THE_DRIVER,
};

struct Case
{
    const char* pszName;
    Doing eDoing;
    bool bLeaveBusy;  // EndOrLeaveDriverCallingThread rather than EndDriverCallingThread
    THREAD_END eExpected;
    bool bCancelled;
};

DRIVER_CALLER gCaller = {};
Doing geDoing = BUSY_OUTSIDE_THE_DRIVER;

DWORD WINAPI Work(LPVOID)
{
    TrackDriverCalls(&gCaller);
    if (geDoing == BUSY_OUTSIDE_THE_DRIVER)
    {
        SetEvent(ghInside);
        WaitForSingleObject(ghRelease, INFINITE);
        return 0;
    }
    DWORD dwReturned = 0;
    CallDriver(INVALID_HANDLE_VALUE, 0, NULL, 0, NULL, 0, &dwReturned);
    return 0;
}

class DriverCallThreadTest : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        m_saved = gDriverIo;
        gDriverIo.pfnDeviceIoControl = BlockingControl;
        gDriverIo.pfnCancelSynchronousIo = CountingCancel;
        ghCallCancelled = CreateEventW(NULL, FALSE, FALSE, NULL);
        ghInside = CreateEventW(NULL, TRUE, FALSE, NULL);
        ghRelease = CreateEventW(NULL, TRUE, FALSE, NULL);
        gnCancellations = 0;
        TakeDeviceOfEndedCaller(&gCaller);  // clears what an earlier case's thread left marked
    }
    void TearDown() override
    {
        gDriverIo = m_saved;
        CloseHandle(ghCallCancelled);
        CloseHandle(ghInside);
        CloseHandle(ghRelease);
    }
    DRIVER_IO_FUNCTIONS m_saved;
};
}  // namespace

// Only a call inside the driver is cancelled: a cancellation meeting the
// thread elsewhere could abort I/O of its own. Only a thread blocked in the
// driver is terminated; one busy elsewhere may be left running.
TEST_P(DriverCallThreadTest, EndsTheThreadAsItsWorkAllows)
{
    const Case& c = GetParam();
    geDoing = c.eDoing;
    gbHonoursCancellation = c.eDoing == CALLING_A_DRIVER_THAT_CANCELS;
    HANDLE hThread = CreateThread(NULL, 0, Work, NULL, 0, NULL);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ghInside, 5000));

    const THREAD_END_LIMITS kLimits = {100, 400, 300};
    THREAD_END eEnd = c.bLeaveBusy ? EndOrLeaveDriverCallingThread(hThread, &gCaller, kLimits)
                                   : EndDriverCallingThread(hThread, &gCaller, kLimits);
    EXPECT_EQ(c.eExpected, eEnd);
    EXPECT_EQ(c.bCancelled, gnCancellations > 0) << gnCancellations << " cancellations";
    SetEvent(ghRelease);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hThread, 5000));
    CloseHandle(hThread);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, DriverCallThreadTest,
    ::testing::Values(Case{"InACancelledCallEndsByItself", CALLING_A_DRIVER_THAT_CANCELS, true,
                           THREAD_ENDED, true},
                      Case{"InAHungCallIsTerminatedEvenWhenBusyOnesAreLeft",
                           CALLING_A_DRIVER_THAT_HANGS, true, THREAD_TERMINATED, true},
                      Case{"BusyElsewhereIsLeftRunningUncancelled", BUSY_OUTSIDE_THE_DRIVER, true,
                           THREAD_LEFT_BEHIND, false},
                      Case{"BusyElsewhereIsTerminatedUncancelledWhenNotToBeLeft",
                           BUSY_OUTSIDE_THE_DRIVER, false, THREAD_TERMINATED, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.pszName); });
