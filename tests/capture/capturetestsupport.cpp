#include <gtest/gtest.h>

#include "capturetestsupport.h"

#include "host/hoststate.h"
#include "testdriverpath.h"
#include "waituntil.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#sim_capture#0000#{capture}";
}

SimulatedWebcamFormat Mjpg720(UINT32 nFps)
{
    return MakeWebcamFormat(MFVideoFormat_MJPG, 1280, 720, nFps);
}

SimulatedWebcamFormat Yuy2Vga(UINT32 nFps)
{
    return MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, nFps);
}

CaptureBuilderTest::CaptureBuilderTest() : m_driver(kDevicePath), m_hWnd(NULL), m_pBuilder(NULL) {}

CaptureBuilderTest::~CaptureBuilderTest() {}

void CaptureBuilderTest::SetUp()
{
    ASSERT_EQ(S_OK, m_mf.Result());
    UseDriverPathForTest(kDevicePath);
    m_driver.Install();
    ghWorkerEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
    gbStopCapturePending = FALSE;
    m_hWnd = CreateWindowExW(0, L"STATIC", L"capture test", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL,
                             NULL);
    ASSERT_NE(nullptr, m_hWnd);
}

void CaptureBuilderTest::TearDown()
{
    if (m_pBuilder != NULL)
    {
        m_pBuilder->StopCapture();
        m_pBuilder->ReleaseWebcamDevice();
        m_pBuilder->Release();
        m_pBuilder = NULL;
        // A reader that never started lets go of its callback a little
        // later, on its own; the builder must be gone then.
        EXPECT_TRUE(WaitUntil([&] { return m_log.Contains("::~CMFCaptureBuilder ()\n"); }, 5000));
    }
    DestroyWindow(m_hWnd);
    CloseHandle(ghWorkerEvent);
    ghWorkerEvent = NULL;
    m_driver.Uninstall();
}

void CaptureBuilderTest::CreateBuilder()
{
    ASSERT_EQ(S_OK, CMFCaptureBuilder::CreateInstance(m_hWnd, &m_pBuilder));
}

std::shared_ptr<SimulatedWebcam> CaptureBuilderTest::AddWebcamWithLink(
    const std::wstring& link, const std::vector<SimulatedWebcamFormat>& formats, bool bPaced)
{
    SimulatedWebcamSpec webcamSpec = MakeWebcamSpec(L"Sim Webcam", link, formats);
    webcamSpec.bPaced = bPaced;
    std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(webcamSpec);
    m_enumeration.Add(webcam);
    return webcam;
}

std::shared_ptr<SimulatedWebcam> CaptureBuilderTest::AddWebcam(
    const std::vector<SimulatedWebcamFormat>& formats, USHORT nProductId, bool bPaced)
{
    return AddWebcamWithLink(MakeWebcamSymbolicLink(0x046d, nProductId, NULL), formats, bPaced);
}

HRESULT CaptureBuilderTest::TakeCaptureFailure()
{
    MSG msg;
    if (PeekMessageW(&msg, m_hWnd, WM_CAPTURE_FAILED, WM_CAPTURE_FAILED, PM_REMOVE))
        return static_cast<HRESULT>(msg.wParam);
    return S_OK;
}
