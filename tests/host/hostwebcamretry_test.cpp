// A webcam that fails, falls silent or whose frames the driver refuses is
// tried again, backed off: its clients keep getting pictures (the
// placeholder's, unless the driver is the one refusing), and the webcam
// comes back without a storm of restarts.
#include "hosttest.h"

TEST_F(HostTest, ADriverRefusingFramesForAWhileMeetsNoStormOfRestarts)
{
    StreamFromWebcam();
    size_t nStarts = m_log.Count("::StartCapture ()\n");
    // The driver refuses until the host has backed off three times.
    const char* const kThirdBackoff =
        "the driver refused a frame: the webcam is tried again in 2000 ms";
    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE);
    bool bBackedOff = WaitUntil([&] { return m_log.Contains(kThirdBackoff); }, kTimeoutMs);
    m_driver.StopFailingRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_TRUE(bBackedOff) << "the host never backed off to 2 s";
    DWORD dwEnd = GetTickCount();

    EXPECT_TRUE(WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, 2500))
        << "no webcam picture within 2.5 s of the refusal's end";
    RecordProperty("PicturesAgainAfterMs", static_cast<int>(GetTickCount() - dwEnd));
    // 0.5, 1 and 2 s between restarts: three or four in all.
    EXPECT_GE(nStarts + 5, m_log.Count("::StartCapture ()\n"));
    EXPECT_TRUE(m_log.Contains("the driver refused a frame: the webcam is tried again in 500 ms"));
    EXPECT_TRUE(m_log.Contains("the driver refused a frame: the webcam is tried again in 1000 ms"));
}

TEST_F(HostTest, ASilentWebcamGivesWayToThePlaceholderUntilItTalksAgain)
{
    auto webcam = StreamFromWebcam();
    webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    DWORD dwSilentAt = GetTickCount();
    ASSERT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && !FromWebcam(LastFrame()); }, kTimeoutMs));
    RecordProperty("PlaceholderAfterSilenceMs", static_cast<int>(GetTickCount() - dwSilentAt));
    EXPECT_GT(3500u, GetTickCount() - dwSilentAt);

    webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    EXPECT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, kTimeoutMs));
}

TEST_F(HostTest, AWebcamHeldByAnotherApplicationServesOnceItIsLetGo)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    webcam->SetBusy(true);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && !FromWebcam(LastFrame()); }, kTimeoutMs));

    webcam->SetBusy(false);
    EXPECT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, kTimeoutMs))
        << "the webcam was not tried again";
}
