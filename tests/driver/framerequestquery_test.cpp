#include <gtest/gtest.h>

#include "childprocess.h"
#include "debugoutputcapture.h"
#include "driver/driverprotocol.h"
#include "driver/framerequestquery.h"
#include "host/hostpipeline.h"
#include "host/hoststate.h"
#include "mfsamples.h"
#include "scopedmediafoundation.h"
#include "pipeline/framecontrolmanager.h"
#include "simulateddriver.h"
#include "testdriverpath.h"
#include "testfiles.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#sim_query#0000#{query}";

class FrameRequestQueryTest : public ::testing::Test
{
protected:
    FrameRequestQueryTest() : m_driver(kDevicePath) {}

    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        UseDriverPathForTest(kDevicePath);
        m_driver.Install();
        gbSystemSuspended = FALSE;
        CreateStandalonePipeline();
        m_pPipeline = GetHostPipeline();
        ASSERT_NE(nullptr, m_pPipeline);
    }

    void TearDown() override
    {
        DestroyStandalonePipeline();
        m_driver.Uninstall();
        ForgetDriverPathForTest();
    }

    HRESULT Query()
    {
        m_bNeedStartCapture = 7;
        m_bNeedEnterSpecialMode = 7;
        return QueryFrameInfo(&m_bNeedStartCapture, &m_bNeedEnterSpecialMode);
    }

    ScopedMediaFoundation m_mf;
    SimulatedDriver m_driver;
    FrameControlManager* m_pPipeline = NULL;
    BOOLEAN m_bNeedStartCapture = 0;
    BOOLEAN m_bNeedEnterSpecialMode = 0;
};
}  // namespace

TEST_F(FrameRequestQueryTest, RequestsFillTheTableAndAskForTheCamera)
{
    DebugOutputCapture capture;
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    m_driver.AddClient(COLOR_FORMAT_NV12, 1280, 720, GetCurrentProcessId());
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());

    EXPECT_EQ(S_OK, Query());
    EXPECT_TRUE(m_bNeedStartCapture);
    EXPECT_FALSE(m_bNeedEnterSpecialMode);
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_TRUE(capture.Contains("Get Frame Info Count = 3\n"));
    EXPECT_TRUE(capture.Contains(
        "    Size 1280x720\n    Frameduration 333333\n    Format 4, stride 1280\n"));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
}

TEST_F(FrameRequestQueryTest, NoRequestLeftStopsTheReadLoopAndEmptiesTheTable)
{
    HANDLE hReadNextSample = OpenEventA(EVENT_ALL_ACCESS, FALSE, "ReadNextSampleEvent");
    ASSERT_NE(nullptr, hReadNextSample);
    SetEvent(hReadNextSample);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);

    EXPECT_EQ(E_FAIL, Query());
    EXPECT_FALSE(m_bNeedStartCapture);
    EXPECT_FALSE(m_bNeedEnterSpecialMode);
    EXPECT_EQ(0u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_MJPG));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hReadNextSample, 0));
    CloseHandle(hReadNextSample);
}

// A client left out of the table would get nothing until the driver next
// signals: a failed or short record fails the whole read, which is retried.
struct BrokenRecord
{
    const char* pszName;
    bool bShort;
    const char* pszLogLine;
};

class FrameRequestQueryBrokenRecordTest : public FrameRequestQueryTest,
                                          public ::testing::WithParamInterface<BrokenRecord>
{
};

TEST_P(FrameRequestQueryBrokenRecordTest, LeavesTheTableAsItWas)
{
    DebugOutputCapture capture;
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, 0);
    ASSERT_EQ(S_OK, Query());
    m_driver.AddClient(COLOR_FORMAT_NV12, 320, 240, 0);
    m_driver.AddClient(COLOR_FORMAT_MJPG, 1280, 720, 0);
    if (GetParam().bShort)
        m_driver.AnswerShort(IOCTL_AVSHWS_GET_FRAME_INFO, 1);
    else
        m_driver.FailRequest(IOCTL_AVSHWS_GET_FRAME_INFO, ERROR_GEN_FAILURE, 1);

    FRAME_REQUEST_READ eRead = REQUESTS_READ;
    EXPECT_TRUE(FAILED(QueryFrameInfo(&m_bNeedStartCapture, &m_bNeedEnterSpecialMode, &eRead)));
    EXPECT_EQ(REQUESTS_FAILED, eRead);
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(0u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_TRUE(capture.Contains(GetParam().pszLogLine));

    // Tried again, every client is there.
    EXPECT_EQ(S_OK, Query());
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_MJPG));
}

INSTANTIATE_TEST_SUITE_P(
    Records, FrameRequestQueryBrokenRecordTest,
    ::testing::Values(
        BrokenRecord{"Failed", false,
                     "DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO) Failed (0x8007001F)\n"},
        BrokenRecord{"Short", true,
                     "DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO): 20 bytes returned of 40\n"}),
    [](const ::testing::TestParamInfo<BrokenRecord>& info)
    { return std::string(info.param.pszName); });

TEST_F(FrameRequestQueryTest, WhileSuspendedTheDriverIsNotAsked)
{
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, 0);
    gbSystemSuspended = TRUE;
    EXPECT_EQ(E_FAIL, Query());
    EXPECT_FALSE(m_bNeedEnterSpecialMode);
    EXPECT_EQ(0, m_driver.GetOpenCount());
    gbSystemSuspended = FALSE;
}

TEST_F(FrameRequestQueryTest, AnAbsurdRequestCountIsCapped)
{
    DebugOutputCapture capture;
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, 0);
    m_driver.OverrideRequestCount(0xFFFFFFFFu);
    // The record past the one real client fails: the read fails at once,
    // leaving the table as it was.
    EXPECT_TRUE(FAILED(Query()));
    EXPECT_EQ(2, m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO));
    EXPECT_TRUE(capture.Contains("beyond belief"));
    EXPECT_EQ(0u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_YUY2));
}

TEST_F(FrameRequestQueryTest, AClientNamedTeExeInAnyCaseEntersSpecialMode)
{
    for (const wchar_t* pwszName : {L"te.exe", L"upper\\TE.EXE"})
    {
        ScopedChildProcess client(ExecutableFolder() + pwszName);
        ASSERT_TRUE(client.IsRunning()) << pwszName;
        DebugOutputCapture capture;
        m_driver.RemoveAllClients();
        m_driver.AddClient(COLOR_FORMAT_YUY2, 320, 240, GetCurrentProcessId());
        m_driver.AddClient(COLOR_FORMAT_NV12, 640, 480, client.ProcessId());

        EXPECT_EQ(S_OK, Query());
        EXPECT_TRUE(m_bNeedEnterSpecialMode);
        EXPECT_TRUE(capture.Contains("te.exe use Driver"));
        EXPECT_TRUE(capture.Contains("[GetProcessNameByID] find match"));
    }
}

TEST_F(FrameRequestQueryTest, AnUnknownProcessIsNotTeExe)
{
    m_driver.AddClient(COLOR_FORMAT_YUY2, 320, 240, 0x7FFFFFF0);
    EXPECT_EQ(S_OK, Query());
    EXPECT_FALSE(m_bNeedEnterSpecialMode);
}

TEST(ProcessName, IsFoundForARunningProcessOnly)
{
    char szName[MAX_PATH] = {};
    EXPECT_EQ(S_OK, GetProcessNameByID(GetCurrentProcessId(), szName));
    EXPECT_STREQ("driver_tests.exe", szName);

    char szNone[MAX_PATH] = {};
    EXPECT_EQ(S_OK, GetProcessNameByID(0x7FFFFFF0, szNone));
    EXPECT_STREQ("", szNone);
    EXPECT_EQ(E_INVALIDARG, GetProcessNameByID(0, szNone));
    EXPECT_EQ(E_INVALIDARG, GetProcessNameByID(GetCurrentProcessId(), NULL));
}

TEST(ProcessName, OnlyTheWholeNameTeExeCounts)
{
    EXPECT_TRUE(IsAPNameTeEXE("te.exe"));
    EXPECT_TRUE(IsAPNameTeEXE("TE.EXE"));
    EXPECT_TRUE(IsAPNameTeEXE("Te.Exe"));
    EXPECT_FALSE(IsAPNameTeEXE("C:\\tools\\te.exe"));
    EXPECT_FALSE(IsAPNameTeEXE("cute.exe"));
    EXPECT_FALSE(IsAPNameTeEXE("te.exe "));
    EXPECT_FALSE(IsAPNameTeEXE(""));
}

TEST_F(FrameRequestQueryTest, AFailedCountRequestLeavesTheReadLoopAndTheTableAsTheyWere)
{
    DebugOutputCapture capture;
    HANDLE hReadNextSample = OpenEventA(EVENT_ALL_ACCESS, FALSE, "ReadNextSampleEvent");
    ASSERT_NE(nullptr, hReadNextSample);
    SetEvent(hReadNextSample);
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, 0);
    ASSERT_EQ(S_OK, Query());
    m_driver.FailRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, ERROR_GEN_FAILURE, 1);

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), Query());
    EXPECT_EQ(1u, m_pPipeline->GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hReadNextSample, 0));
    EXPECT_TRUE(capture.Contains(
        "DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) Failed (0x8007001F)\n"));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
    CloseHandle(hReadNextSample);
}
