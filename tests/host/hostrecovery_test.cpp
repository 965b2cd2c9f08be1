// The host keeps serving when the world is not ideal: a client that stops
// right before another starts, a failed driver request, a stop request that
// arrives while the worker is being replaced.
#include "hosttest.h"

namespace
{
void ResetReadNextSample()
{
    HANDLE hEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, "ReadNextSampleEvent");
    ASSERT_NE(nullptr, hEvent);
    ResetEvent(hEvent);
    CloseHandle(hEvent);
}
}  // namespace

TEST_F(HostTest, AClientStartingRightAfterAnotherStoppedIsServed)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    int nFirst = m_driver.AddClient(COLOR_FORMAT_NV12, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));

    // The read loop notices the stop only with its next sample; the second
    // client's request is read before that, while the camera still streams.
    webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    int nQueries = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
    m_driver.RemoveClient(nFirst);
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) > nQueries; },
        kTimeoutMs));
    nQueries = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
    m_driver.AddClient(COLOR_FORMAT_YUY2, 1280, 720, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) > nQueries; },
        kTimeoutMs));
    webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);

    // The camera stops for the first client and opens again for the second.
    ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("::StopCapture (): End\n"); }, kTimeoutMs));
    EXPECT_TRUE(WaitUntil(
        [&]
        {
            if (!WaitForMoreFrames(1))
                return false;
            ReceivedFrame frame = LastFrame();
            return frame.nFormat == COLOR_FORMAT_YUY2 && frame.nWidth == 1280;
        },
        kTimeoutMs));
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_EQ(2u, m_log.Count("::StartCapture ()\n"));
}

TEST_F(HostTest, OneFailedFrameHandOverDoesNotFreezeTheVideo)
{
    StreamFromWebcam();

    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE, 1);
    ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("::StopCapture (): End\n"); }, kTimeoutMs));
    // The client still streams: the camera serves it again.
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_TRUE(FromWebcam(LastFrame()));
}

TEST_F(HostTest, AFailedCountRequestLeavesTheCameraAndTheTableAsTheyWere)
{
    StreamFromWebcam();

    int nQueries = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
    m_driver.FailRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, ERROR_GEN_FAILURE, 1);
    SetEvent(m_driver.GetLentEvent(SimulatedDriver::LENT_NOTIFY));
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) > nQueries; },
        kTimeoutMs));
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_TRUE(FromWebcam(LastFrame()));
    EXPECT_TRUE(m_log.Contains(
        "DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) Failed (0x8007001F)\n"));
    EXPECT_EQ(0u, m_log.Count("::StopCapture ()\n"));
}

TEST_F(HostTest, AStopRequestedWhileTheWorkerIsReplacedIsServed)
{
    StreamFromWebcam();

    // Lending the notify event again is the gap between the old worker and
    // the new one; a slow driver widens it.
    m_driver.DelayRequest(IOCTL_AVSHWS_NOTIFY_EVENT, 1500);
    PostMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestsStarted(IOCTL_AVSHWS_NOTIFY_EVENT) == 2; }, kTimeoutMs));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    size_t nStops = m_log.Count("Notify to stop capture");
    ResetReadNextSample();
    ASSERT_TRUE(
        WaitUntil([&] { return m_log.Count("Notify to stop capture") > nStops; }, kTimeoutMs));
    m_driver.DelayRequest(IOCTL_AVSHWS_NOTIFY_EVENT, 0);

    // The new worker stops the camera and, the client still asking, opens it
    // again.
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_TRUE(FromWebcam(LastFrame()));
}

TEST_F(HostTest, AFailedReadWhileNoWorkerRunsDoesNotStopTheNextSession)
{
    auto webcam = StreamFromWebcamHoldingTheGlobalMutex();

    // Lost with the mutex held: the worker stops the camera and ends; the
    // failed read is reported after that, to no worker.
    webcam->Unplug();
    SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, webcam->MakeInterfaceBroadcast());
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT) == 1; },
                          kTimeoutMs));
    EXPECT_TRUE(ReleaseCameraSignalled());
    SendMessageA(m_host.Window(), WM_CAPTURE_FAILED,
                 static_cast<WPARAM>(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED), 0);

    // Back: the next worker serves the waiting client from the webcam, and
    // keeps doing so.
    webcam->Plug();
    SendDeviceChange(DBT_DEVICEARRIVAL, webcam->MakeInterfaceBroadcast());
    ASSERT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, kTimeoutMs));
    size_t nStops = m_log.Count("::StopCapture ()\n");
    EXPECT_TRUE(WaitForMoreFrames(30));
    EXPECT_TRUE(FromWebcam(LastFrame()));
    EXPECT_EQ(nStops, m_log.Count("::StopCapture ()\n"));
    // The stale stop reached the driver as nothing: the camera was released
    // once, and the notify event lent once by each worker.
    EXPECT_FALSE(ReleaseCameraSignalled(0));
    EXPECT_EQ(2, m_driver.GetLendCount(SimulatedDriver::LENT_NOTIFY));
}

TEST_F(HostTest, StopRequestsSessionChangesAndArrivalsCloseTogetherLeaveOneWorkerAndNoHandle)
{
    auto webcam = StreamFromWebcam();
    std::vector<BYTE> broadcast = webcam->MakeInterfaceBroadcast();
    DWORD dwHandles = CountProcessHandles();

    for (int i = 0; i < 5; ++i)
    {
        ResetReadNextSample();
        PostMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0);
        PostMessageA(m_host.Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                     reinterpret_cast<LPARAM>(broadcast.data()));
        ResetReadNextSample();
        ASSERT_TRUE(WaitForMoreFrames(1));
    }
    // Every worker but the last has ended; the camera serves again.
    SendMessageA(m_host.Window(), WM_NULL, 0, 0);
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_EQ(m_log.Count("CreateWorkerThread (), Thread is created"),
              m_log.Count("WorkerThreadEntry (), Quit\n") + 1);
    EXPECT_LT(CountProcessHandles(), dwHandles + 16);
}

TEST_F(HostTest, AWorkerReplacedWhileTheDriverAnswersLeavesTheWindowFreeAndTheNextOneServes)
{
    // No webcam yet: the placeholder serves the first client.
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));
    ASSERT_FALSE(FromWebcam(LastFrame()));

    // A webcam arrives while the worker waits for the count of a second
    // client; it comes back from the driver to clients that need the camera,
    // so it would stop the placeholder's timer, which the window thread owns.
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    m_driver.StallRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 600);
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    DWORD dwStart = GetTickCount();
    SendDeviceChange(DBT_DEVICEARRIVAL, webcam->MakeInterfaceBroadcast());
    // The window thread waits for the old worker, which must not wait for
    // the window thread in turn (the hand-over's own limit is 5 s).
    EXPECT_LT(GetTickCount() - dwStart, 3000u);
    ASSERT_TRUE(WaitUntil([&] { return FromWebcam(LastFrame()); }, kTimeoutMs));
}
