#include "hosttest.h"

TEST_F(HostTest, OneClientIsServedFromTheWebcamAndTheCameraIsReleasedAfterIt)
{
    PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    EXPECT_EQ(1, m_driver.GetLendCount(SimulatedDriver::LENT_SERVER_EXIST));
    EXPECT_EQ(1, m_driver.GetLendCount(SimulatedDriver::LENT_RELEASE_CAMERA));

    int nClient = m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(5));
    ReceivedFrame frame = LastFrame();
    EXPECT_EQ(COLOR_FORMAT_NV12, frame.nFormat);
    EXPECT_EQ(320u, frame.nWidth);
    EXPECT_EQ(320u * 240 * 3 / 2, frame.picture.size());

    m_driver.RemoveClient(nClient);
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_TRUE(WaitUntil([&] { return m_driver.GetLendCount(SimulatedDriver::LENT_NOTIFY) == 2; },
                          kTimeoutMs));
    EXPECT_TRUE(m_log.Contains("Notify to stop capture"));

    ASSERT_TRUE(m_host.Stop());
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    EXPECT_TRUE(m_log.Contains("WorkerThreadEntry (), Quit\n"));
}

TEST_F(HostTest, ASecondRequestWhileStreamingOnlyRebuildsTheTable)
{
    PlugWebcam(MFVideoFormat_MJPG, 1280, 720);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_MJPG, 1280, 720, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));
    EXPECT_EQ(COLOR_FORMAT_MJPG, LastFrame().nFormat);

    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    // Frames of both requests keep coming: judge the YUY2 one that was seen.
    ReceivedFrame yuy2;
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            yuy2 = LastFrame();
            return yuy2.nFormat == COLOR_FORMAT_YUY2;
        },
        kTimeoutMs));
    EXPECT_EQ(640u * 480 * 2, yuy2.picture.size());
    EXPECT_EQ(1u, m_log.Count("::StartCapture ()\n"));
}

TEST_F(HostTest, WithoutAWebcamThePlaceholderIsServed)
{
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(5));
    EXPECT_EQ(COLOR_FORMAT_YUY2, LastFrame().nFormat);
    EXPECT_EQ(640u * 480 * 2, LastFrame().picture.size());
    EXPECT_TRUE(m_log.Contains("NoRealCamFrameCtrlMgr timer running"));
}

TEST_F(HostTest, ClientsJoiningThePlaceholderLeaveItsDeliveryRunning)
{
    StartHost();
    const DWORD dwPid = GetCurrentProcessId();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, dwPid);
    ASSERT_TRUE(WaitForMoreFrames(3));
    const size_t nStarts = m_log.Count("Delivering thread start\n");

    const struct
    {
        _COLOR_FORMAT eFormat;
        UINT32 nWidth;
        UINT32 nHeight;
    } joining[] = {{COLOR_FORMAT_NV12, 320, 240}, {COLOR_FORMAT_MJPG, 1280, 720}};
    for (const auto& client : joining)
    {
        m_driver.AddClient(client.eFormat, client.nWidth, client.nHeight, dwPid);
        EXPECT_TRUE(WaitUntil(
            [&]
            {
                ReceivedFrame frame = LastFrame();
                return frame.nFormat == static_cast<UINT32>(client.eFormat) &&
                       frame.nWidth == client.nWidth;
            },
            kTimeoutMs))
            << "no frame for the client of format " << client.eFormat;
    }
    // A new thread would have dropped the pictures queued for the first
    // client and the one on its way.
    EXPECT_EQ(nStarts, m_log.Count("Delivering thread start\n"));
}

TEST_F(HostTest, AClientNamedTeExeGetsThePlaceholderEvenWithAWebcam)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    ScopedChildProcess te(ExecutableFolder() + L"te.exe");
    ASSERT_TRUE(te.IsRunning());
    m_driver.AddClient(COLOR_FORMAT_MJPG, 1280, 720, te.ProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));
    EXPECT_EQ(COLOR_FORMAT_MJPG, LastFrame().nFormat);
    EXPECT_TRUE(m_log.Contains("te.exe use Driver"));
    EXPECT_EQ(0, webcam->GetCallCount(WEBCAM_CALL_ACTIVATE));
}

TEST_F(HostTest, AReadFailureSwitchesToThePlaceholder)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    m_driver.AddClient(COLOR_FORMAT_YUY2, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE) > 0; },
                          kTimeoutMs));
    EXPECT_EQ(0u, m_driver.GetFrameCount());

    PostMessageA(m_host.Window(), WM_CAPTURE_FAILED, static_cast<WPARAM>(E_FAIL), 0);
    // The dead camera is released, and the placeholder goes on after that.
    EXPECT_TRUE(ReleaseCameraSignalled());
    ASSERT_TRUE(WaitForMoreFrames(3));
    EXPECT_EQ(320u, LastFrame().nWidth);
    webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
}

// The host serves the placeholder, never frames labelled with a format the
// webcam is not delivering: a type that cannot be set, a stream that ends.
TEST_F(HostTest, AWebcamThatCannotServeItsTypeLeavesThePlaceholderServing)
{
    auto webcam = PlugWebcam(MFVideoFormat_MJPG, 1280, 720);
    webcam->FailCall(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE, E_ACCESSDENIED);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));
    ReceivedFrame frame = LastFrame();
    ASSERT_EQ(640u * 480 * 2, frame.picture.size());
    EXPECT_GT(0, ReadWebcamFrameCounterYuy2(frame.picture.data(), 640, 480, 1280));
    EXPECT_TRUE(m_log.Contains("NoRealCamFrameCtrlMgr timer running"));
    EXPECT_EQ(0, webcam->GetCallCount(WEBCAM_CALL_START));
}

TEST_F(HostTest, TheEndOfTheWebcamsStreamSwitchesToThePlaceholder)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    webcam->SetDelivery(WEBCAM_DELIVER_END_OF_STREAM);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 320, 240, GetCurrentProcessId());
    EXPECT_TRUE(ReleaseCameraSignalled());
    ASSERT_TRUE(WaitForMoreFrames(3));
    EXPECT_TRUE(m_log.Contains("NoRealCamFrameCtrlMgr timer running"));
    EXPECT_EQ(1u, m_log.Count("::OnReadSample ("));
    webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
}

TEST_F(HostTest, SuspendStopsTheCameraAndResumeRestartsIt)
{
    PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));

    SendMessageA(m_host.Window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_TRUE(m_log.Contains("WM_POWERBROADCAST reason is 0x00000004"));
    // While suspended a change of requests is not even read.
    size_t nCountQueries = m_log.Count("Get Frame Info Count");
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    // The fault would show as a count query soon after the driver's signal.
    EXPECT_FALSE(
        WaitUntil([&] { return m_log.Count("Get Frame Info Count") != nCountQueries; }, 300));

    size_t nFrames = m_driver.GetFrameCount();
    SendMessageA(m_host.Window(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(m_driver.WaitForFrameCount(nFrames + 3, kTimeoutMs));
    EXPECT_EQ(2u, m_log.Count("::StartCapture ()\n"));
}

TEST_F(HostTest, ArrivalsCloserThanTwoSecondsAreOne)
{
    StartHost();
    std::vector<BYTE> broadcast(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
    DEV_BROADCAST_DEVICEINTERFACE_A* pHeader =
        reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(broadcast.data());
    pHeader->dbcc_size = static_cast<DWORD>(broadcast.size());
    pHeader->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;

    size_t nBase = m_log.Count("CreateWorkerThread ()\n");
    SendDeviceChange(DBT_DEVICEARRIVAL, broadcast);
    EXPECT_EQ(nBase + 1, m_log.Count("CreateWorkerThread ()\n"));
    // Each arrival within the span of the last one extends it.
    StepHostClock(1500);
    SendDeviceChange(DBT_DEVICEARRIVAL, broadcast);
    StepHostClock(1500);
    SendDeviceChange(DBT_DEVICEARRIVAL, broadcast);
    EXPECT_EQ(nBase + 1, m_log.Count("CreateWorkerThread ()\n"));
    StepHostClock(kDeviceArrivalDebounceMs);
    SendDeviceChange(DBT_DEVICEARRIVAL, broadcast);
    EXPECT_EQ(nBase + 2, m_log.Count("CreateWorkerThread ()\n"));
    // Every handled arrival lends the events again.
    EXPECT_EQ(3, m_driver.GetLendCount(SimulatedDriver::LENT_SERVER_EXIST));
}

TEST_F(HostTest, LosingTheWebcamWithoutTheMutexStartsOnlyTheDriverTimer)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));

    int nOpens = m_driver.GetOpenCount();
    webcam->Unplug();
    SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, webcam->MakeInterfaceBroadcast());
    EXPECT_TRUE(m_log.Contains("::CheckDeviceLost (): BOOL 1\n"));
    // The timer opens the device every 33 ms by itself; the worker runs on.
    EXPECT_TRUE(WaitUntil([&] { return m_driver.GetOpenCount() > nOpens + 10; }, kTimeoutMs));
    EXPECT_EQ(0, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
}

TEST_F(HostTest, LosingTheWebcamWhileTheMutexIsHeldEndsTheWorker)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    StartHost();
    SendMessageA(m_host.Window(), WM_HOLD_GLOBAL_MUTEX, 0, 0);
    // Marked, so that a later handle that merely takes its value is told apart.
    HANDLE hHeldMutex = ghHeldMutex;
    ASSERT_TRUE(SetHandleInformation(hHeldMutex, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(3));

    webcam->Unplug();
    SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, webcam->MakeInterfaceBroadcast());
    // Stop and quit together: the camera is released, then the worker ends.
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_TRUE(WaitUntil([&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT) == 1; },
                          kTimeoutMs));
    // The worker says so after its last request.
    EXPECT_TRUE(
        WaitUntil([&] { return m_log.Contains("WorkerThreadEntry (), Quit\n"); }, kTimeoutMs));
    // The mutex let go of is closed, not forgotten.
    DWORD dwFlags = 0;
    EXPECT_FALSE(GetHandleInformation(hHeldMutex, &dwFlags) && (dwFlags & HANDLE_FLAG_INHERIT));
}

TEST_F(HostTest, ANewSessionRestartsTheWorkerAfterItsQuitNotice)
{
    StartHost();
    SendMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0);
    EXPECT_EQ(2, m_driver.GetLendCount(SimulatedDriver::LENT_SERVER_EXIST));
    // The new worker lends the notify event only after the old one quit.
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetLendCount(SimulatedDriver::LENT_NOTIFY) == 2; },
                          kTimeoutMs));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));

    // A lock only refreshes the webcam list.
    SendMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
}

TEST_F(HostTest, OnlyOneInstanceStarts)
{
    StartHost();
    HostRunner second;
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(m_host.Window(), FindWindowA("Class of My Testbed", "My Testbed"));
}

TEST_F(HostTest, EndingTheSessionWithdrawsTheServerFromTheDriver)
{
    StartHost();
    HANDLE hServerExist = m_driver.GetLentEvent(SimulatedDriver::LENT_SERVER_EXIST);
    SendMessageA(m_host.Window(), WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hServerExist, 0));
    SendMessageA(m_host.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP | ENDSESSION_LOGOFF);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hServerExist, 0));
    SendMessageA(m_host.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hServerExist, 0));
}

TEST_F(HostTest, ACopyThatHasNoWindowYetStillKeepsASecondFromStarting)
{
    // Another copy has taken the instance mutex but not yet made its window.
    HANDLE hOtherCopy = CreateMutexW(NULL, FALSE, kInstanceMutexName);
    ASSERT_NE(nullptr, hOtherCopy);
    HostRunner second;
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(nullptr, FindWindowA("Class of My Testbed", "My Testbed"));
    CloseHandle(hOtherCopy);

    StartHost();
}

TEST_F(HostTest, ASessionEndThatIsCancelledTellsTheDriverTheServerRunsOn)
{
    StartHost();
    HANDLE hServerExist = m_driver.GetLentEvent(SimulatedDriver::LENT_SERVER_EXIST);
    SendMessageA(m_host.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hServerExist, 0));
    SendMessageA(m_host.Window(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hServerExist, 0));
}

TEST_F(HostTest, MutexRequestsAndChecksLeaveNoHandleBehind)
{
    StartHost();
    SendMessageA(m_host.Window(), WM_HOLD_GLOBAL_MUTEX, 0, 0);
    SendMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0);
    DWORD dwBefore = CountProcessHandles();
    ASSERT_NE(0u, dwBefore);
    const int kRounds = 20;
    for (int i = 0; i < kRounds; ++i)
    {
        // Each logon checks the Global mutex and replaces the worker.
        SendMessageA(m_host.Window(), WM_HOLD_GLOBAL_MUTEX, 0, 0);
        SendMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0);
    }
    EXPECT_LT(CountProcessHandles(), dwBefore + kRounds / 2);
}

namespace
{
// The most that closing the host may take, even with the driver stalled.
const DWORD kExitBoundMs = 5000;

bool WindowAnswers(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, DWORD dwTimeoutMs)
{
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_NORMAL, dwTimeoutMs, &dwResult) !=
           0;
}
}  // namespace

TEST_F(HostTest, AStalledFrameRequestHoldsUpNeitherAClientChangeNorASuspendNorTheExit)
{
    PlugWebcam(MFVideoFormat_MJPG, 1280, 720);
    StartHost();
    int nYuy2Client = m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    m_driver.AddClient(COLOR_FORMAT_MJPG, 1280, 720, GetCurrentProcessId());
    ASSERT_TRUE(WaitForMoreFrames(4));

    // A stall that ends by itself: the window answers meanwhile, and frames
    // flow again after it since no stop was asked.
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME, 3000);
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));
    EXPECT_TRUE(WindowAnswers(m_host.Window(), WM_NULL, 0, 0, 2000));
    EXPECT_TRUE(WaitForMoreFrames(3));
    EXPECT_EQ(0, m_driver.GetCancelledCount());

    // A stall that does not end: a client leaves, the system suspends (the
    // camera is stopped) and the host is closed, all while it lasts.
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));
    int nCounts = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
    m_driver.RemoveClient(nYuy2Client);
    EXPECT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) > nCounts; },
        kTimeoutMs));
    EXPECT_TRUE(WindowAnswers(m_host.Window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0, kTimeoutMs));
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_GE(m_driver.GetCancelledCount(), 1);

    // Resumed, the camera starts again and its first send hangs as well;
    // then the host is closed.
    EXPECT_TRUE(
        WindowAnswers(m_host.Window(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0, kTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));
    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(m_host.Stop(kExitBoundMs)) << "the host did not end behind a stalled driver";
    RecordProperty("ExitDuringFrameStallMs", static_cast<int>(GetTickCount() - dwStart));
    EXPECT_FALSE(m_log.Contains("TIMEOUT!"));
    EXPECT_FALSE(m_log.Contains("Force terminate worker thread"));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    m_driver.ReleaseStalls();
}

TEST_F(HostTest, AStalledCountRequestIsCancelledWhenTheHostCloses)
{
    StartHost();
    m_driver.StallRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(m_host.Stop(kExitBoundMs)) << "the worker did not end behind a stalled driver";
    RecordProperty("ExitDuringCountStallMs", static_cast<int>(GetTickCount() - dwStart));
    EXPECT_EQ(1, m_driver.GetCancelledCount());
    EXPECT_FALSE(m_log.Contains("Force terminate worker thread"));
    // The worker still told the driver that it ends.
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    m_driver.ReleaseStalls();
}

TEST_F(HostTest, AWorkerEndedInACountRequestThatIgnoresCancellationLeavesNoDeviceOpen)
{
    StartHost();
    // A driver that does not honour cancellation: the call only ends when
    // the thread does.
    m_driver.DelayRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 4000);
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestsStarted(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) == 1; },
        kTimeoutMs));

    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(m_host.Stop(kExitBoundMs)) << "the worker did not end behind a hung driver";
    RecordProperty("ExitDuringUncancellableCountMs", static_cast<int>(GetTickCount() - dwStart));
    EXPECT_TRUE(m_log.Contains("Force terminate worker thread"));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount()) << "the terminated worker's device stayed open";
}

TEST_F(HostTest, ADeviceLossDuringAStallIsAnsweredOnTheWindowThread)
{
    auto webcam = StreamFromWebcamHoldingTheGlobalMutex();
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    // With the Global mutex held, the loss stops the camera and ends the
    // worker on the window thread itself.
    webcam->Unplug();
    std::vector<BYTE> broadcast = webcam->MakeInterfaceBroadcast();
    EXPECT_TRUE(WindowAnswers(m_host.Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                              reinterpret_cast<LPARAM>(broadcast.data()), kTimeoutMs));
    EXPECT_TRUE(ReleaseCameraSignalled());
    EXPECT_TRUE(WaitUntil([&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT) == 1; },
                          kTimeoutMs));
    EXPECT_TRUE(m_host.Stop(kExitBoundMs));
    m_driver.ReleaseStalls();
}
