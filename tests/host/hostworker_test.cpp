// The worker alone decides what serves, and nobody waits for it: clients are
// served whatever happens to the worker in the middle of a read, and the
// window answers while the webcam is slow to open or never opens.
#include "hosttest.h"

namespace
{
const DWORD kWindowAnswerBoundMs = 1000;
const DWORD kExitBoundMs = 5000;

enum ReadTrouble
{
    READ_STALLED,  // the count request blocks, and can be cancelled
    READ_HUNG,     // the count request ignores cancellation: its thread is terminated
};

const char* ReadTroubleName(const ::testing::TestParamInfo<ReadTrouble>& info)
{
    return info.param == READ_STALLED ? "Stalled" : "Hung";
}

class HostWorkerReplacedTest : public HostTest, public ::testing::WithParamInterface<ReadTrouble>
{
};
}  // namespace

// The driver signals only when its clients change: a worker replaced in the
// middle of reading them must not take the news with it.
TEST_P(HostWorkerReplacedTest, InTheMiddleOfAReadLeavesTheNewClientServed)
{
    StartHost();
    // The worker reads the requests as it starts; the read that matters is
    // the one the client causes.
    ASSERT_TRUE(
        WaitUntil([&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) == 1; },
                  kTimeoutMs));
    if (GetParam() == READ_STALLED)
        m_driver.StallRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 1500);
    else
        m_driver.DelayRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 4000);
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil(
        [&] { return m_driver.GetRequestsStarted(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) == 2; },
        kTimeoutMs));
    m_driver.DelayRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 0);

    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0));
    DWORD dwStart = GetTickCount();
    ASSERT_TRUE(m_driver.WaitForFrameCount(1, 5000)) << "the client was lost with the worker";
    RecordProperty("FirstFrameAfterReplacementMs", static_cast<int>(GetTickCount() - dwStart));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    m_driver.ReleaseStalls();
}

INSTANTIATE_TEST_SUITE_P(Reads, HostWorkerReplacedTest, ::testing::Values(READ_STALLED, READ_HUNG),
                         ReadTroubleName);

namespace
{
struct FailedRead
{
    const char* pszName;
    DWORD dwControlCode;  // 0: the device's open, failing without an error code
    bool bShort;          // answered short rather than failed
};

class HostFailedReadTest : public HostTest, public ::testing::WithParamInterface<FailedRead>
{
};
}  // namespace

// No driver signal follows a read that failed on the way: the worker tries
// again by itself, until it succeeds.
TEST_P(HostFailedReadTest, IsTriedAgainUntilTheClientIsServed)
{
    StartHost();
    if (GetParam().dwControlCode == 0)
        m_driver.FailOpen(ERROR_SUCCESS);
    else if (GetParam().bShort)
        m_driver.AnswerShort(GetParam().dwControlCode, 3);
    else
        m_driver.FailRequest(GetParam().dwControlCode, ERROR_GEN_FAILURE, 3);
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    if (GetParam().dwControlCode == 0)
    {
        // A failure without a code is still a failure, not "no client".
        ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("CreateFile Failed (0x80004005)\n"); },
                              kTimeoutMs));
        m_driver.ClearFailures();
    }
    EXPECT_TRUE(WaitForMoreFrames(3)) << "the failed read was not tried again";
    EXPECT_EQ(static_cast<UINT32>(COLOR_FORMAT_NV12), LastFrame().nFormat);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HostFailedReadTest,
    ::testing::Values(FailedRead{"FailedCount", IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, false},
                      FailedRead{"FailedRecord", IOCTL_AVSHWS_GET_FRAME_INFO, false},
                      FailedRead{"ShortCount", IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, true},
                      FailedRead{"OpenWithoutAnErrorCode", 0, false}),
    [](const ::testing::TestParamInfo<FailedRead>& info)
    { return std::string(info.param.pszName); });

TEST_F(HostTest, TheWindowAnswersWithinASecondWhileAWebcamOpensSlowly)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    webcam->SetActivationDelay(3000);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return webcam->GetWaitingActivationCount() == 1; }, kTimeoutMs));

    std::shared_ptr<SimulatedWebcam> other = SimulatedWebcam::Create(
        MakeWebcamSpec(L"Other Webcam", MakeWebcamSymbolicLink(0x1234, 0x5678, NULL),
                       {MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30)}));
    std::vector<BYTE> otherDevice = other->MakeInterfaceBroadcast();
    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0));
    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0));
    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                             reinterpret_cast<LPARAM>(otherDevice.data())));
    std::vector<BYTE> arrival = webcam->MakeInterfaceBroadcast();
    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                             reinterpret_cast<LPARAM>(arrival.data())));

    // Slow, not broken: the webcam serves in the end.
    webcam->SetActivationDelay(0);
    EXPECT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, kTimeoutMs));
}

TEST_F(HostTest, ClosingTheHostWhileAWebcamNeverOpensEndsItInBoundedTime)
{
    auto webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
    webcam->SetActivationDelay(INFINITE);
    StartHost();
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return webcam->GetWaitingActivationCount() == 1; }, kTimeoutMs));

    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(m_host.Stop(kExitBoundMs)) << "the host waited for the activation";
    RecordProperty("ExitDuringHungActivationMs", static_cast<int>(GetTickCount() - dwStart));
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT));
    EXPECT_FALSE(m_log.Contains("Force terminate worker thread"));

    // The worker left behind comes back, touches nothing and lets the
    // builder go.
    webcam->SetActivationDelay(0);
    EXPECT_TRUE(WaitUntil([&] { return m_log.Contains("::~CMFCaptureBuilder ()"); }, kTimeoutMs));
    EXPECT_EQ(0, webcam->GetStartedSourceCount());
}

namespace
{
// A webcam's loss reaches the host as a removal broadcast and as a failed
// read, in either order.
class HostWebcamBackTest : public HostTest, public ::testing::WithParamInterface<bool>
{
};
}  // namespace

TEST_P(HostWebcamBackTest, AWebcamPluggedBackInReplacesThePlaceholder)
{
    const bool bRemovalFirst = GetParam();
    auto webcam = StreamFromWebcam();
    ASSERT_TRUE(FromWebcam(LastFrame()));

    webcam->Unplug();
    if (bRemovalFirst)
        SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, webcam->MakeInterfaceBroadcast());
    PostMessageA(m_host.Window(), WM_CAPTURE_FAILED,
                 static_cast<WPARAM>(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED), 0);
    ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("::StopCapture (): End\n"); }, kTimeoutMs));
    if (!bRemovalFirst)
        SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, webcam->MakeInterfaceBroadcast());
    ASSERT_TRUE(WaitForMoreFrames(3));
    ASSERT_FALSE(FromWebcam(LastFrame()));
    // Either way it is the webcam in use that was lost: the driver timer runs.
    EXPECT_NE(0u, gnDriverTimerId);

    // Back: the client that kept streaming gets the webcam again without
    // having to start anew.
    webcam->Plug();
    SendDeviceChange(DBT_DEVICEARRIVAL, webcam->MakeInterfaceBroadcast());
    EXPECT_TRUE(
        WaitUntil([&] { return WaitForMoreFrames(1) && FromWebcam(LastFrame()); }, kTimeoutMs));
    EXPECT_EQ(2u, m_log.Count("::StartCapture ()\n"));
}

INSTANTIATE_TEST_SUITE_P(Losses, HostWebcamBackTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return std::string(info.param ? "RemovalFirst" : "FailedReadFirst"); });

TEST_F(HostTest, OnceATeExeClientLeavesOnlyTheWebcamServes)
{
    StreamFromWebcam();
    ScopedChildProcess te(ExecutableFolder() + L"te.exe");
    ASSERT_TRUE(te.IsRunning());
    int nTeClient = m_driver.AddClient(COLOR_FORMAT_MJPG, 1280, 720, te.ProcessId());
    ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("NoRealCamFrameCtrlMgr timer running"); },
                          kTimeoutMs));

    m_driver.RemoveClient(nTeClient);
    ASSERT_TRUE(
        WaitUntil([&] { return m_log.Contains("NoRealCamFrameCtrlMgr kill timer"); }, kTimeoutMs));
    // One tick may still be on its way; after it, every picture is the webcam's.
    ASSERT_TRUE(WaitForMoreFrames(3));
    m_driver.ClearFrames();
    ASSERT_TRUE(m_driver.WaitForFrameCount(30, kTimeoutMs));
    for (const ReceivedFrame& frame : m_driver.GetFrames())
        ASSERT_TRUE(FromWebcam(frame)) << "a placeholder picture among the webcam's";
}

TEST_F(HostTest, ALossWhileTheWorkerWaitsForTheDriverStopsTheCameraBeforeItEnds)
{
    auto webcam = StreamFromWebcamHoldingTheGlobalMutex();
    m_driver.StallRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 1500);
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, GetCurrentProcessId());
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));

    webcam->Unplug();
    std::vector<BYTE> removal = webcam->MakeInterfaceBroadcast();
    EXPECT_GT(kWindowAnswerBoundMs, AnswerMs(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                             reinterpret_cast<LPARAM>(removal.data())));
    // The stop asked with the end is served first: the camera is released
    // and closed before the worker says it quits.
    EXPECT_TRUE(ReleaseCameraSignalled());
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetRequestCount(IOCTL_AVSHWS_SERVER_QUIT) == 1; },
                          kTimeoutMs));
    EXPECT_EQ(0, webcam->GetLiveSourceCount());
}
