#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

#include "debugoutputcapture.h"
#include "driver/drivercontrol.h"
#include "driver/driverdiscovery.h"
#include "driver/driverprotocol.h"
#include "host/hoststate.h"
#include "pipeline/framerecords.h"
#include "simulateddriver.h"
#include "testfiles.h"
#include "videoinputdeviceregistry.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#sim_control#0000#{control}";

std::string DriverName()
{
    return "Control Test Camera " + std::to_string(GetCurrentProcessId());
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

class DriverControlTest : public ::testing::Test
{
protected:
    DriverControlTest()
        : m_settings("[Lumetra]\r\nDriverName=" + DriverName() + "\r\n"), m_driver(kDevicePath)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED)));
        ghServerExistEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
        ghNotifyEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        ghReleaseCameraEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
        gbNotifyEventRegistered = FALSE;
        m_driver.Install();
    }

    void TearDown() override
    {
        m_driver.Uninstall();
        CloseHandle(ghServerExistEvent);
        CloseHandle(ghNotifyEvent);
        CloseHandle(ghReleaseCameraEvent);
        CoUninitialize();
    }

    // Makes sure discovery has found the simulated driver in this process.
    void Discover()
    {
        ScopedVideoInputDevice device(L"control", Wide(DriverName()), Wide(kDevicePath));
        ASSERT_EQ(S_OK, NotifyServerQuit());
        ASSERT_TRUE(IsDevicePathFound());
    }

    ScopedSettingsFile m_settings;
    SimulatedDriver m_driver;
};
}  // namespace

// Runs first in this executable: the path, once found, stays for the process.
TEST_F(DriverControlTest, DiscoveryIsRetriedAtEachRequestUntilItSucceedsOnce)
{
    DebugOutputCapture capture;
    // The driver is not listed yet: the open fails without a system error,
    // which must still be reported as a failure.
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RegisterServerExistEvent());
    EXPECT_TRUE(capture.Contains("CreateFile Failed (0x80004005)\n"));
    EXPECT_EQ(0, m_driver.GetOpenCount());

    {
        ScopedVideoInputDevice device(L"control", Wide(DriverName()), Wide(kDevicePath));
        EXPECT_EQ(S_OK, RegisterServerExistEvent());
    }
    EXPECT_TRUE(capture.Contains("Device path is found!\n"));
    EXPECT_STREQ(kDevicePath, gszDevicePath);
    EXPECT_EQ(1, m_driver.GetLendCount(SimulatedDriver::LENT_SERVER_EXIST));

    // Gone from the device list and renamed in the settings: the known path
    // is still used.
    ScopedSettingsFile renamed("[Lumetra]\r\nDriverName=Something Else\r\n");
    EXPECT_EQ(S_OK, RegisterReleaseCameraEvent());
    EXPECT_STREQ(kDevicePath, gszDevicePath);
    EXPECT_EQ(1, m_driver.GetLendCount(SimulatedDriver::LENT_RELEASE_CAMERA));
}

TEST_F(DriverControlTest, EveryRequestOpensLogsAndClosesTheDevice)
{
    Discover();
    DebugOutputCapture capture;
    EXPECT_EQ(S_OK, RegisterServerExistEvent());
    EXPECT_EQ(S_OK, RegisterReleaseCameraEvent());
    EXPECT_EQ(S_OK, RegisterNotifyEvent());
    EXPECT_EQ(S_OK, NotifyServerQuit());

    EXPECT_EQ(4u, capture.Count("CreateFile OK: 0x"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_SERVER_EXIST): OK\n"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_RELEASE_CAMERA_EVENT): OK\n"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_NOTIFY_EVENT): OK\n"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_SERVER_QUIT): OK\n"));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
}

TEST_F(DriverControlTest, TheDriverHoldsReferencesOfItsOwnToTheLentEvents)
{
    Discover();
    ASSERT_EQ(S_OK, RegisterServerExistEvent());
    ASSERT_EQ(S_OK, RegisterReleaseCameraEvent());
    ASSERT_EQ(S_OK, RegisterNotifyEvent());

    HANDLE hDriverServerExist = m_driver.GetLentEvent(SimulatedDriver::LENT_SERVER_EXIST);
    ASSERT_NE(nullptr, hDriverServerExist);
    EXPECT_NE(ghServerExistEvent, hDriverServerExist);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hDriverServerExist, 0));
    ResetEvent(ghServerExistEvent);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hDriverServerExist, 0));

    // A new client makes the driver signal the host's notify event.
    m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ghNotifyEvent, 0));

    SetEvent(ghReleaseCameraEvent);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
              WaitForSingleObject(m_driver.GetLentEvent(SimulatedDriver::LENT_RELEASE_CAMERA), 0));
}

TEST_F(DriverControlTest, TheNotifyEventIsLentOnceUntilTheFlagIsCleared)
{
    Discover();
    EXPECT_EQ(S_OK, RegisterNotifyEvent());
    EXPECT_TRUE(gbNotifyEventRegistered);
    EXPECT_EQ(S_FALSE, RegisterNotifyEvent());
    EXPECT_EQ(1, m_driver.GetRequestCount(IOCTL_AVSHWS_NOTIFY_EVENT));

    NotifyStopCapture();  // clears the flag, as the capture side does
    EXPECT_EQ(S_OK, RegisterNotifyEvent());
    EXPECT_EQ(2, m_driver.GetLendCount(SimulatedDriver::LENT_NOTIFY));
}

TEST_F(DriverControlTest, AFailedRequestIsLoggedAndReturned)
{
    Discover();
    DebugOutputCapture capture;
    m_driver.FailRequest(IOCTL_AVSHWS_NOTIFY_EVENT, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<HRESULT>(0x80070005), RegisterNotifyEvent());
    EXPECT_FALSE(gbNotifyEventRegistered);
    EXPECT_TRUE(
        capture.Contains("DeviceIoControl (IOCTL_AVSHWS_NOTIFY_EVENT) Failed (0x80070005)\n"));
    EXPECT_EQ(0, m_driver.GetOpenHandleCount());
}

TEST_F(DriverControlTest, AnAbsentDriverFailsEveryRequestAtTheOpen)
{
    Discover();
    DebugOutputCapture capture;
    m_driver.SetAbsent(true);
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), RegisterServerExistEvent());
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), NotifyServerQuit());
    EXPECT_EQ(2u, capture.Count("CreateFile Failed (0x80070002)\n"));
    EXPECT_EQ(0u, capture.Count("DeviceIoControl"));

    m_driver.FailOpen(ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RegisterReleaseCameraEvent());
}
