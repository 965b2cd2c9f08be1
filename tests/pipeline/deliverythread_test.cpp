#include <gtest/gtest.h>

#include <thread>

#include "debugoutputcapture.h"
#include "driver/driverprotocol.h"
#include "host/hoststate.h"
#include "mfsamples.h"
#include "scopedmediafoundation.h"
#include "pipeline/framecontrolmanager.h"
#include "simulateddriver.h"
#include "testdriverpath.h"
#include "waituntil.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#sim_delivery#0000#{delivery}";
const DWORD kTimeoutMs = 5000;

typedef SimulatedDriver::ReceivedFrame ReceivedFrame;

class DeliveryThreadTest : public ::testing::Test
{
protected:
    DeliveryThreadTest()
        : m_driver(kDevicePath),
          m_hReadNextSample(CreateEventW(NULL, TRUE, TRUE, NULL)),
          m_manager(m_hReadNextSample)
    {
    }

    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        UseDriverPathForTest(kDevicePath);
        m_driver.Install();
        gbStopCapturePending = FALSE;
    }

    void TearDown() override
    {
        m_manager.StopDeliveryThread();
        m_driver.Uninstall();
    }

    ~DeliveryThreadTest() override { CloseHandle(m_hReadNextSample); }

    void Insert(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight,
                const std::vector<BYTE>& bytes)
    {
        m_manager.InsertFrame(
            FRAME_UNIT(eFormat, nWidth, nHeight, CreateSampleWithBytes(bytes).Get()));
    }

    // Waits until the delivery thread has taken every queued frame and
    // finished with it (the device it opened per frame is closed again).
    bool WaitUntilDelivered(int nOpens)
    {
        return WaitUntil(
            [&]
            {
                return m_manager.IsFrameQueueEmpty() && m_driver.GetOpenCount() >= nOpens &&
                       m_driver.GetOpenHandleCount() == 0;
            },
            kTimeoutMs);
    }

    // Starts the delivery thread, queues one frame and returns what the
    // driver has received once the thread is done with it.
    std::vector<ReceivedFrame> DeliverOneFrame(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight,
                                               const std::vector<BYTE>& bytes)
    {
        EXPECT_EQ(S_OK, m_manager.StartDeliveryThread());
        Insert(eFormat, nWidth, nHeight, bytes);
        EXPECT_TRUE(WaitUntilDelivered(1));
        return m_driver.GetFrames();
    }

    bool ReadNextSampleIsSet()
    {
        return WaitForSingleObject(m_hReadNextSample, 0) == WAIT_OBJECT_0;
    }

    ScopedMediaFoundation m_mf;
    SimulatedDriver m_driver;
    HANDLE m_hReadNextSample;
    FrameControlManager m_manager;
};

bool IsFlat(const std::vector<BYTE>& picture, size_t cbPlane, BYTE value)
{
    for (size_t i = 0; i < cbPlane; ++i)
    {
        if (picture[i] != value)
            return false;
    }
    return true;
}
}  // namespace

TEST_F(DeliveryThreadTest, AFrameOfTheRequestedSizeIsSentUnchanged)
{
    std::vector<BYTE> picture = FlatYuy2(640, 480, 81, 90, 240);
    picture[12345] = 7;  // anything a resize would smooth away
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    std::vector<ReceivedFrame> frames = DeliverOneFrame(COLOR_FORMAT_YUY2, 640, 480, picture);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[0].nFormat);
    EXPECT_EQ(640u, frames[0].nWidth);
    EXPECT_TRUE(frames[0].picture == picture);
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, AFrameOfAnotherSizeIsResizedForEachYuy2AndNv12Entry)
{
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 320, 240);
    m_manager.AddOutputFormat(COLOR_FORMAT_MJPG, 640, 480);
    std::vector<ReceivedFrame> frames =
        DeliverOneFrame(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(640, 480, 81, 90, 240));
    ASSERT_EQ(3u, frames.size());
    // Own format first, then NV12 in table order.
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[0].nFormat);
    EXPECT_EQ(1280u, frames[0].nWidth);
    EXPECT_EQ(1280u * 720 * 2, frames[0].picture.size());
    EXPECT_TRUE(frames[0].picture == FlatYuy2(1280, 720, 81, 90, 240));

    EXPECT_EQ(COLOR_FORMAT_NV12, frames[1].nFormat);
    EXPECT_EQ(640u, frames[1].nWidth);
    EXPECT_EQ(640u * 480 * 3 / 2, frames[1].picture.size());
    EXPECT_TRUE(IsFlat(frames[1].picture, 640 * 480, 81));
    EXPECT_EQ(90, frames[1].picture[640 * 480]);
    EXPECT_EQ(240, frames[1].picture[640 * 480 + 1]);

    EXPECT_EQ(COLOR_FORMAT_NV12, frames[2].nFormat);
    EXPECT_EQ(320u * 240 * 3 / 2, frames[2].picture.size());
    EXPECT_EQ(0, m_driver.GetMalformedFrameCount());
}

TEST_F(DeliveryThreadTest, AnMjpgFrameIsSentOnlyToTheMjpgEntryOfItsOwnSize)
{
    std::vector<BYTE> jpeg(34000, 0x5A);
    m_manager.AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    m_manager.AddOutputFormat(COLOR_FORMAT_MJPG, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 1280, 720);
    std::vector<ReceivedFrame> frames = DeliverOneFrame(COLOR_FORMAT_MJPG, 1280, 720, jpeg);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_MJPG, frames[0].nFormat);
    EXPECT_EQ(1280u, frames[0].nWidth);
    EXPECT_TRUE(frames[0].picture == jpeg);
}

TEST_F(DeliveryThreadTest, AFailedSendEndsItsFormatButNv12IsStillServed)
{
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 320, 240);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 320, 240);
    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE, 1);
    std::vector<ReceivedFrame> frames =
        DeliverOneFrame(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(640, 480, 16, 128, 128));
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_NV12, frames[0].nFormat);
    EXPECT_EQ(2, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    // The last send succeeded, so the camera may go on reading.
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, ExtremeAspectRatiosAreServedBesideTheOtherRequests)
{
    // A 640 x 480 webcam, a client of 16 x 4096 and one of 320 x 240: the
    // tall one's crop would be less than a macropixel wide.
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 16, 4096);
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 320, 240);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 4096, 16);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    const int kFrames = 5;
    for (int i = 0; i < kFrames; ++i)
        Insert(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(640, 480, 81, 90, 240));

    ASSERT_TRUE(m_driver.WaitForFrameCount(3 * kFrames, kTimeoutMs));
    ASSERT_TRUE(WaitUntilDelivered(1));
    std::vector<ReceivedFrame> frames = m_driver.GetFrames();
    ASSERT_EQ(3u * kFrames, frames.size());
    for (int i = 0; i < kFrames; ++i)
    {
        EXPECT_EQ(16u, frames[3 * i].nWidth);
        EXPECT_TRUE(frames[3 * i].picture == FlatYuy2(16, 4096, 81, 90, 240));
        EXPECT_EQ(320u, frames[3 * i + 1].nWidth);
        EXPECT_EQ(COLOR_FORMAT_NV12, frames[3 * i + 2].nFormat);
        EXPECT_EQ(4096u * 16 * 3 / 2, frames[3 * i + 2].picture.size());
    }
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, AnEntryThatCannotBeMadeIsSkippedAndTheReadLoopGoesOn)
{
    // A picture of half a macropixel's width cannot be scaled as it is; the
    // entries that need a crop of it can.
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 6, 4);
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 8, 8);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 8, 8);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 6, 4);
    std::vector<ReceivedFrame> frames =
        DeliverOneFrame(COLOR_FORMAT_YUY2, 3, 2, FlatYuy2(4, 2, 81, 90, 240));
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[0].nFormat);
    EXPECT_EQ(8u, frames[0].nWidth);
    EXPECT_EQ(COLOR_FORMAT_NV12, frames[1].nFormat);
    EXPECT_EQ(8u, frames[1].nWidth);
    EXPECT_EQ(2u, capture.Count("Skip entry "));
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, AnEntrySkippedAfterARefusalLeavesTheRefusalToStopTheReadLoop)
{
    // The YUY2 send is refused; the NV12 entry needs the 3 x 2 picture
    // scaled as it is, which cannot be done, so nothing answers after the
    // refusal.
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 8, 8);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 6, 4);
    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE, 1);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 3, 2, FlatYuy2(4, 2, 81, 90, 240));

    ASSERT_TRUE(WaitUntil([&] { return !ReadNextSampleIsSet(); }, kTimeoutMs));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_EQ(1u, capture.Count("Skip entry 6 x 4 in format 4"));
}

TEST_F(DeliveryThreadTest, AYuy2BufferLongerThanItsPictureIsReadAsThePicture)
{
    std::vector<BYTE> picture = FlatYuy2(64, 48, 81, 90, 240);
    std::vector<BYTE> longer = picture;
    longer.resize(picture.size() + 64 * 2, 0xA5);  // a row of something else
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 64, 48);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 64, 48);
    std::vector<ReceivedFrame> frames = DeliverOneFrame(COLOR_FORMAT_YUY2, 64, 48, longer);
    ASSERT_EQ(2u, frames.size());
    EXPECT_TRUE(frames[0].picture == picture);
    EXPECT_EQ(64u * 48 * 3 / 2, frames[1].picture.size());
    EXPECT_EQ(0, m_driver.GetMalformedFrameCount());
}

TEST_F(DeliveryThreadTest, AFrameWhoseSendsAllFailStopsTheReadLoop)
{
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 320, 240);
    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(640, 480, 16, 128, 128));

    // The line follows the reset.
    ASSERT_TRUE(WaitUntil([&] { return !ReadNextSampleIsSet(); }, kTimeoutMs));
    EXPECT_TRUE(WaitUntil(
        [&] { return capture.Contains("Reset ReadNextSampleEvent to stop read sample\n"); },
        kTimeoutMs));
}

TEST_F(DeliveryThreadTest, OnlyTheFirstUndeliverableFrameAfterTheStartStopsTheReadLoop)
{
    DebugOutputCapture capture;
    m_driver.SetAbsent(true);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return !ReadNextSampleIsSet(); }, kTimeoutMs));
    EXPECT_TRUE(capture.Contains("CreateFile Failed (0x80070002)\n"));

    // One good frame sets the status; a later undeliverable one leaves it.
    SetEvent(m_hReadNextSample);
    m_driver.SetAbsent(false);
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntilDelivered(1));
    m_driver.SetAbsent(true);
    capture.Clear();
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return capture.Contains("CreateFile Failed"); }, kTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return m_manager.IsFrameQueueEmpty(); }, kTimeoutMs));
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, AStopRequestedByTheHostStopsTheReadLoopAfterTheFrame)
{
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    gbStopCapturePending = TRUE;
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return !ReadNextSampleIsSet(); }, kTimeoutMs));
    EXPECT_EQ(1u, m_driver.GetFrameCount());
    gbStopCapturePending = FALSE;
}

TEST_F(DeliveryThreadTest, FramesThatCannotBeReadAreDroppedWithoutSending)
{
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    m_manager.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 640, 480, NULL));
    Insert(COLOR_FORMAT_YUY2, 640, 480, std::vector<BYTE>());
    // Shorter than its stated size: must not be read past its end.
    Insert(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(320, 240, 1, 2, 3));

    ASSERT_TRUE(WaitUntilDelivered(3));
    EXPECT_EQ(0, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_TRUE(capture.Contains("Drop YUY2 frame 640 x 480: 153600 bytes in the buffer\n"));
}

TEST_F(DeliveryThreadTest, WithAnEmptyTableFramesAreTakenAndNothingIsSent)
{
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    for (int i = 0; i < 3; ++i)
        Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntilDelivered(3));
    EXPECT_EQ(3, m_driver.GetOpenCount());
    EXPECT_EQ(0, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, StoppingANeverStartedPipelineLeavesItsQueue)
{
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    m_manager.StopDeliveryThread();
    EXPECT_FALSE(m_manager.IsFrameQueueEmpty());

    // The next thread delivers what waited.
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    EXPECT_TRUE(m_driver.WaitForFrameCount(1, kTimeoutMs));
}

TEST_F(DeliveryThreadTest, StartingAgainStopsTheRunningThreadAndEmptiesTheQueue)
{
    DebugOutputCapture capture;
    m_driver.SetAbsent(true);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    EXPECT_EQ(1u, capture.Count("Delivering thread end\n"));
    EXPECT_TRUE(
        WaitUntil([&] { return capture.Count("Delivering thread start\n") == 2; }, kTimeoutMs));
}

TEST_F(DeliveryThreadTest, AStopRightAfterTheStartIsNotLost)
{
    DebugOutputCapture capture;
    for (int i = 0; i < 20; ++i)
    {
        ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
        m_manager.StopDeliveryThread();
    }
    EXPECT_EQ(0u, capture.Count("TIMEOUT!"));
    EXPECT_EQ(20u, capture.Count("Delivering thread end\n"));
}

TEST_F(DeliveryThreadTest, AThreadWhoseQuitEventCannotBeMadeIsNotStarted)
{
    DebugOutputCapture capture;
    // An object of another type holding the event's name makes it fail.
    HANDLE hNameTaken = CreateMutexA(NULL, FALSE, "QuitDeliveryThreadEvent");
    ASSERT_NE(nullptr, hNameTaken);
    EXPECT_TRUE(FAILED(m_manager.StartDeliveryThread()));
    CloseHandle(hNameTaken);

    // Once the name is free a start works, and it was the only one.
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    ASSERT_TRUE(m_driver.WaitForFrameCount(1, kTimeoutMs));
    EXPECT_EQ(1u, capture.Count("Delivering thread start\n"));
}

TEST_F(DeliveryThreadTest, AStalledSendLeavesTheTableFreeForOthers)
{
    // The capture callback asks the table while it holds the capture
    // builder's lock; a send that hangs must not make it wait.
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    HANDLE hAnswered = CreateEventW(NULL, TRUE, FALSE, NULL);
    size_t nCount = 0;
    std::thread asker(
        [&]
        {
            nCount = m_manager.GetOutputFormatCount(COLOR_FORMAT_YUY2);
            m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 2, 2);
            SetEvent(hAnswered);
        });
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hAnswered, kTimeoutMs));
    m_driver.ReleaseStalls();
    asker.join();
    CloseHandle(hAnswered);
    EXPECT_EQ(1u, nCount);
    // The frame is served as the table stood when it was taken.
    ASSERT_TRUE(WaitUntilDelivered(1));
    EXPECT_EQ(1u, m_driver.GetFrameCount());
}

TEST_F(DeliveryThreadTest, AStopCancelsAStalledSendAndTheThreadEndsByItself)
{
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 2, 2);
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    m_manager.StopDeliveryThread();
    EXPECT_EQ(1, m_driver.GetCancelledCount());
    EXPECT_FALSE(capture.Contains("TIMEOUT!"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_SET_FRAME) Failed (0x800703E3)\n"));
    EXPECT_TRUE(capture.Contains("Delivering thread end\n"));
    // The NV12 entry was not begun after the stop, and the device is closed.
    EXPECT_EQ(1, m_driver.GetRequestsStarted(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
    // A send cut short by the stop is no failure of the driver.
    EXPECT_TRUE(ReadNextSampleIsSet());
}

TEST_F(DeliveryThreadTest, AStopDuringAFrameEndsItAfterTheEntryInHand)
{
    // The quit request arrives while the first entry is being sent, as a
    // stop does while a frame is resized for several entries.
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    m_manager.AddOutputFormat(COLOR_FORMAT_NV12, 1280, 720);
    HANDLE hQuit = OpenEventA(EVENT_MODIFY_STATE, FALSE, "QuitDeliveryThreadEvent");
    m_driver.SetFrameObserver([&](const SimulatedDriver::FrameView&) { SetEvent(hQuit); });
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    if (hQuit == NULL)
        hQuit = OpenEventA(EVENT_MODIFY_STATE, FALSE, "QuitDeliveryThreadEvent");
    ASSERT_NE(nullptr, hQuit);
    DebugOutputCapture capture;
    Insert(COLOR_FORMAT_YUY2, 640, 480, FlatYuy2(640, 480, 81, 90, 240));

    ASSERT_TRUE(WaitUntil([&] { return capture.Contains("Delivering thread end\n"); }, kTimeoutMs));
    EXPECT_EQ(1u, m_driver.GetFrameCount());
    EXPECT_EQ(1, m_driver.GetRequestsStarted(IOCTL_AVSHWS_SET_FRAME));
    m_driver.SetFrameObserver(nullptr);
    CloseHandle(hQuit);
}

TEST_F(DeliveryThreadTest, AThreadThatIgnoresCancellationIsTerminatedAndItsHoldingsReturned)
{
    DebugOutputCapture capture;
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    // A delay, unlike a stall, does not give way to cancellation.
    m_driver.DelayRequest(IOCTL_AVSHWS_SET_FRAME, 4000);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Microsoft::WRL::ComPtr<IMFSample> pSample = CreateSampleWithBytes(FlatYuy2(2, 2, 1, 2, 3));
    m_manager.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 2, 2, pSample.Get()));
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetRequestsStarted(IOCTL_AVSHWS_SET_FRAME) == 1; },
                          kTimeoutMs));

    m_manager.StopDeliveryThread();
    EXPECT_TRUE(capture.Contains("TIMEOUT! Force terminate the deliver thread\n"));
    // The device it had opened and the sample it held were given back.
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
    pSample->AddRef();
    EXPECT_EQ(1u, pSample->Release());

    // The table lock and the log are usable again.
    m_driver.DelayRequest(IOCTL_AVSHWS_SET_FRAME, 0);
    EXPECT_EQ(S_OK, m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 4, 2));
    EXPECT_EQ(2u, m_manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    EXPECT_TRUE(m_driver.WaitForFrameCount(2, kTimeoutMs));
}

TEST_F(DeliveryThreadTest, StoppingARunningThreadEmptiesTheQueueSoARestartSendsNothingStale)
{
    m_manager.AddOutputFormat(COLOR_FORMAT_YUY2, 2, 2);
    // A slow driver keeps the frames queued behind the one being sent.
    m_driver.DelayRequest(IOCTL_AVSHWS_SET_FRAME, 300);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    for (int i = 0; i < 4; ++i)
        Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 1, 2, 3));
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetRequestsStarted(IOCTL_AVSHWS_SET_FRAME) == 1; },
                          kTimeoutMs));
    m_manager.StopDeliveryThread();
    EXPECT_TRUE(m_manager.IsFrameQueueEmpty());

    m_driver.DelayRequest(IOCTL_AVSHWS_SET_FRAME, 0);
    ASSERT_EQ(S_OK, m_manager.StartDeliveryThread());
    Insert(COLOR_FORMAT_YUY2, 2, 2, FlatYuy2(2, 2, 7, 2, 3));
    ASSERT_TRUE(m_driver.WaitForFrameCount(2, kTimeoutMs));
    EXPECT_EQ(7, m_driver.GetFrames().back().picture[0]);
    EXPECT_EQ(2u, m_driver.GetFrameCount());
}
