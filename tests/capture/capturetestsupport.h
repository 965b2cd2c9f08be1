#pragma once

#include <windows.h>
#include <mfapi.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/mfcapturebuilder.h"
#include "debugoutputcapture.h"
#include "scopedmediafoundation.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"

// A capture builder over simulated webcams, with a message-only window for
// its failure messages and a simulated driver that takes whatever the
// pipeline delivers.
class CaptureBuilderTest : public ::testing::Test
{
protected:
    CaptureBuilderTest();
    ~CaptureBuilderTest() override;

    void SetUp() override;
    void TearDown() override;

    // Creates the builder; it enumerates the webcams added so far.
    void CreateBuilder();

    std::shared_ptr<SimulatedWebcam> AddWebcam(const std::vector<SimulatedWebcamFormat>& formats,
                                               USHORT nProductId = 0x0825, bool bPaced = false);
    std::shared_ptr<SimulatedWebcam> AddWebcamWithLink(
        const std::wstring& link, const std::vector<SimulatedWebcamFormat>& formats,
        bool bPaced = false);

    // The HRESULT of the next WM_CAPTURE_FAILED waiting for the window, or S_OK.
    HRESULT TakeCaptureFailure();

    ScopedMediaFoundation m_mf;
    SimulatedDriver m_driver;
    SimulatedWebcamEnumeration m_enumeration;
    DebugOutputCapture m_log;
    HWND m_hWnd;
    CMFCaptureBuilder* m_pBuilder;
};

SimulatedWebcamFormat Mjpg720(UINT32 nFps = 30);
SimulatedWebcamFormat Yuy2Vga(UINT32 nFps = 30);
