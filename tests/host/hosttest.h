#pragma once

// The whole host over the simulated driver (listed under its default name),
// simulated webcams and the test MJPEG decoder; shared by the host's
// integration tests.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <mfapi.h>
#include <mferror.h>
#include <mmsystem.h>
#include <wtsapi32.h>

#include <atomic>

#include "capture/mfcapturebuilder.h"
#include "childprocess.h"
#include "debugoutputcapture.h"
#include "driver/driverprotocol.h"
#include "driver/driverdiscovery.h"
#include "host/hostclock.h"
#include "host/hoststartup.h"
#include "host/hoststate.h"
#include "host/windowprocedure.h"
#include "hostrunner.h"
#include "pipeline/framerecords.h"
#include "processhandles.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"
#include "simulatedwebcamframes.h"
#include "testfiles.h"
#include "videoinputdeviceregistry.h"
#include "waituntil.h"

const char kDevicePath[] = "\\\\?\\root#image#0000#{sim-host}";
const DWORD kTimeoutMs = 15000;

typedef SimulatedDriver::ReceivedFrame ReceivedFrame;

// Each test starts the host itself (StartHost) and stops it in TearDown.
class HostTest : public ::testing::Test
{
protected:
    HostTest()
        : m_device(L"sim-host", L"Quorvane Pellion", L"\\\\?\\root#image#0000#{sim-host}"),
          m_driver(kDevicePath)
    {
    }

    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        ASSERT_EQ(S_OK, m_decoder.Result());
        DeleteFileW(ScopedSettingsFile::Path().c_str());
        m_driver.SetFrameRetention(64);
        m_driver.Install();
    }

    void TearDown() override
    {
        EXPECT_TRUE(m_host.Stop());
        SetHostClock(NULL);
        m_driver.Uninstall();
        if (HasFailure())
            m_log.PrintTail(3000);
    }

    std::shared_ptr<SimulatedWebcam> PlugWebcam(const GUID& subtype, UINT32 nWidth, UINT32 nHeight)
    {
        SimulatedWebcamSpec webcamSpec =
            MakeWebcamSpec(L"Host Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
                           {MakeWebcamFormat(subtype, nWidth, nHeight, 30)});
        std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(webcamSpec);
        m_enumeration.Add(webcam);
        return webcam;
    }

    void StartHost()
    {
        ASSERT_TRUE(m_host.Start());
        // The worker lends the notify event as it starts.
        ASSERT_TRUE(WaitUntil(
            [&] { return m_driver.GetLendCount(SimulatedDriver::LENT_NOTIFY) == 1; }, kTimeoutMs));
    }

    // A YUY2 640 x 480 webcam serving one client of that form.
    std::shared_ptr<SimulatedWebcam> StreamFromWebcam() { return StartStreaming(false); }
    // The same, with the host holding the Global mutex before the client
    // comes, as when the driver asked it to serve.
    std::shared_ptr<SimulatedWebcam> StreamFromWebcamHoldingTheGlobalMutex()
    {
        return StartStreaming(true);
    }

    // The host's clock, stepped by the test from the moment of the first
    // step on: the host sees the time pass at once.
    void StepHostClock(DWORD dwMs)
    {
        if (!m_bHostClockStepped)
        {
            SteppedClock() = timeGetTime();
            SetHostClock(&ReadSteppedClock);
            m_bHostClockStepped = true;
        }
        SteppedClock() += dwMs;
    }

    // Waits until the driver has received this many more frames in all.
    bool WaitForMoreFrames(size_t nMore)
    {
        return m_driver.WaitForFrameCount(m_driver.GetFrameCount() + nMore, kTimeoutMs);
    }

    ReceivedFrame LastFrame()
    {
        std::vector<ReceivedFrame> frames = m_driver.GetFrames();
        return frames.empty() ? ReceivedFrame() : frames.back();
    }

    bool ReleaseCameraSignalled(DWORD dwTimeoutMs = kTimeoutMs)
    {
        HANDLE hEvent = m_driver.GetLentEvent(SimulatedDriver::LENT_RELEASE_CAMERA);
        return hEvent != NULL && WaitForSingleObject(hEvent, dwTimeoutMs) == WAIT_OBJECT_0;
    }

    void SendDeviceChange(WPARAM wParam, const std::vector<BYTE>& broadcast)
    {
        SendMessageA(m_host.Window(), WM_DEVICECHANGE, wParam,
                     reinterpret_cast<LPARAM>(broadcast.data()));
    }

    // How long the window took to answer a message; dwTimeoutMs + 1 when it
    // did not answer within dwTimeoutMs.
    DWORD AnswerMs(UINT uMsg, WPARAM wParam, LPARAM lParam, DWORD dwTimeoutMs = kTimeoutMs)
    {
        DWORD_PTR dwResult = 0;
        DWORD dwStart = GetTickCount();
        if (!SendMessageTimeoutA(m_host.Window(), uMsg, wParam, lParam, SMTO_NORMAL, dwTimeoutMs,
                                 &dwResult))
            return dwTimeoutMs + 1;
        return GetTickCount() - dwStart;
    }

    static bool FromWebcam(const ReceivedFrame& frame)
    {
        return frame.nFormat == COLOR_FORMAT_YUY2 &&
               ReadWebcamFrameCounterYuy2(frame.picture.data(), frame.nWidth, frame.nHeight,
                                          frame.nWidth * 2) >= 0;
    }

    ScopedMediaFoundation m_mf;
    ScopedMjpegDecoder m_decoder;

private:
    std::shared_ptr<SimulatedWebcam> StartStreaming(bool bHoldMutex)
    {
        std::shared_ptr<SimulatedWebcam> webcam = PlugWebcam(MFVideoFormat_YUY2, 640, 480);
        StartHost();
        if (bHoldMutex)
            SendMessageA(m_host.Window(), WM_HOLD_GLOBAL_MUTEX, 0, 0);
        m_driver.AddClient(COLOR_FORMAT_YUY2, 640, 480, GetCurrentProcessId());
        EXPECT_TRUE(WaitForMoreFrames(3));
        return webcam;
    }

    static std::atomic<DWORD>& SteppedClock()
    {
        static std::atomic<DWORD> dwNow(0);
        return dwNow;
    }
    static DWORD ReadSteppedClock() { return SteppedClock().load(); }

    bool m_bHostClockStepped = false;

protected:
    ScopedVideoInputDevice m_device;
    SimulatedDriver m_driver;
    SimulatedWebcamEnumeration m_enumeration;
    DebugOutputCapture m_log;
    HostRunner m_host;
};
