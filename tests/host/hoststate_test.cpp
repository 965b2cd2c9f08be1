#include <gtest/gtest.h>

#include <thread>

#include "host/hoststate.h"

namespace
{
class HostStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ghWorkerEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
        gbStopCapturePending = FALSE;
        gbNotifyEventRegistered = TRUE;
    }
    void TearDown() override
    {
        CloseHandle(ghWorkerEvent);
        ghWorkerEvent = NULL;
    }
};
}  // namespace

TEST_F(HostStateTest, NotifyStopCaptureWakesAWaitingWorkerWithTheFlagsSet)
{
    BOOL bSeenPending = FALSE;
    BOOL bSeenRegistered = TRUE;
    std::thread worker(
        [&]
        {
            if (WaitForSingleObject(ghWorkerEvent, 5000) == WAIT_OBJECT_0)
            {
                bSeenPending = gbStopCapturePending;
                bSeenRegistered = gbNotifyEventRegistered;
            }
        });
    NotifyStopCapture();
    worker.join();
    EXPECT_TRUE(bSeenPending);
    EXPECT_FALSE(bSeenRegistered);
}

TEST_F(HostStateTest, TwoStopRequestsBeforeTheWorkerWakesGiveOneWakeUp)
{
    NotifyStopCapture();
    NotifyStopCapture();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ghWorkerEvent, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ghWorkerEvent, 0));
    EXPECT_TRUE(gbStopCapturePending);
}

TEST_F(HostStateTest, AStopRequestWithoutAWorkerEventIsKeptForTheNextWorker)
{
    CloseWorkerEvent();
    // A handle value the closed event may hand on must not be signalled.
    HANDLE hUnrelated = CreateEventW(NULL, FALSE, FALSE, NULL);
    NotifyStopCapture();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hUnrelated, 0));
    CloseHandle(hUnrelated);
    EXPECT_TRUE(gbStopCapturePending);
    EXPECT_TRUE(TakeFlag(&gbStopCapturePending));
    EXPECT_FALSE(gbStopCapturePending);
    EXPECT_FALSE(TakeFlag(&gbStopCapturePending));
    ghWorkerEvent = CreateEventW(NULL, FALSE, FALSE, NULL);  // for TearDown
}
