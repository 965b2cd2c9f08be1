#include <gtest/gtest.h>

#include <mferror.h>

#include <string>
#include <thread>
#include <vector>

#include "capturetestsupport.h"
#include "driver/driverprotocol.h"
#include "host/hoststate.h"
#include "mfsamples.h"
#include "simulatedwebcamframes.h"
#include "waituntil.h"

namespace
{
const DWORD kTimeoutMs = 10000;

class CaptureReadLoop : public CaptureBuilderTest
{
protected:
    void OpenYuy2Webcam(bool bPaced = false)
    {
        m_webcam = AddWebcam({Yuy2Vga()}, 0x0825, bPaced);
        CreateBuilder();
        ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    }

    size_t Callbacks() { return m_log.Count("::OnReadSample ("); }

    size_t CallbacksAfterStopNotice()
    {
        std::vector<std::string> lines = m_log.Lines();
        size_t nCount = 0;
        bool bNoticed = false;
        for (const std::string& line : lines)
        {
            if (bNoticed && line.find("::OnReadSample (") != std::string::npos)
                ++nCount;
            bNoticed = bNoticed || line.find("::Notify to stop capture(") != std::string::npos;
        }
        return nCount;
    }

    // The rest of one round as the worker runs it for a client, on an open
    // webcam: stream a few samples, stop, close.
    void StreamAFewSamplesAndClose()
    {
        size_t nBefore = Callbacks();
        ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
        ASSERT_TRUE(WaitUntil([&] { return Callbacks() >= nBefore + 3; }, kTimeoutMs));
        EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
        gbStopCapturePending = FALSE;
        m_pBuilder->UninitWebcamDevice();
    }

    std::shared_ptr<SimulatedWebcam> m_webcam;
};

// Runs StopCapture on a thread of its own; false when it did not return in
// time (the test then cannot go on: the builder is stuck).
bool StopCaptureWithin(CMFCaptureBuilder* pBuilder, DWORD dwTimeoutMs, DWORD* pdwElapsedMs)
{
    HANDLE hStopped = CreateEventW(NULL, TRUE, FALSE, NULL);
    DWORD dwStart = GetTickCount();
    std::thread stopper(
        [&]
        {
            pBuilder->StopCapture();
            SetEvent(hStopped);
        });
    bool bStopped = WaitForSingleObject(hStopped, dwTimeoutMs) == WAIT_OBJECT_0;
    *pdwElapsedMs = GetTickCount() - dwStart;
    if (!bStopped)
    {
        stopper.detach();
        return false;
    }
    stopper.join();
    CloseHandle(hStopped);
    return true;
}
}  // namespace

TEST_F(CaptureReadLoop, SamplesAreStampedFromTheFirstOneOfEachStart)
{
    OpenYuy2Webcam(true);
    for (int nRun = 1; nRun <= 2; ++nRun)
    {
        size_t nBefore = Callbacks();
        ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
        EXPECT_TRUE(m_pBuilder->IsStreaming());
        ASSERT_TRUE(WaitUntil([&] { return Callbacks() >= nBefore + 3; }, kTimeoutMs));
        EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
        EXPECT_FALSE(m_pBuilder->IsStreaming());
        gbStopCapturePending = FALSE;  // asked by the callback that met the stop
        EXPECT_EQ(static_cast<size_t>(nRun),
                  m_log.Count("::OnReadSample (0): HRESULT 0x00000000\n"))
            << "run " << nRun;
    }
    // Paced at 30 frames a second: the second sample lies one period later.
    EXPECT_TRUE(m_log.Contains("::OnReadSample (333333): HRESULT 0x00000000\n"));
    EXPECT_TRUE(m_log.Contains("  Buffer length 614400\n"));
    // A restart reads the same media source through a new reader.
    EXPECT_EQ(1, m_webcam->GetLiveSourceCount());
    EXPECT_EQ(S_OK, TakeCaptureFailure());
}

TEST_F(CaptureReadLoop, CapturedSamplesReachTheDriverThroughThePipeline)
{
    OpenYuy2Webcam();
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(m_driver.WaitForFrameCount(5, kTimeoutMs));
    m_pBuilder->StopCapture();

    std::vector<SimulatedDriver::ReceivedFrame> frames = m_driver.GetFrames();
    ASSERT_GE(frames.size(), 5u);
    int nPrevious = -1;
    for (const SimulatedDriver::ReceivedFrame& frame : frames)
    {
        int nCounter = ReadWebcamFrameCounterYuy2(frame.picture.data(), 640, 480, 1280);
        EXPECT_GT(nCounter, nPrevious);
        nPrevious = nCounter;
    }
}

TEST_F(CaptureReadLoop, AResetEventEndsTheLoopWithOneStopNotice)
{
    OpenYuy2Webcam();
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(WaitUntil([&] { return Callbacks() >= 5; }, kTimeoutMs));

    m_pBuilder->SetReadNextSampleEvent(FALSE);
    ASSERT_TRUE(WaitUntil([&] { return m_log.Contains("::Notify to stop capture("); }, kTimeoutMs));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ghWorkerEvent, kTimeoutMs));
    EXPECT_TRUE(gbStopCapturePending);
    // The callback that met the reset writes its own line after the notice,
    // so only a second line after the notice means the loop read on; that
    // is watched for briefly.
    ASSERT_TRUE(WaitUntil([&] { return CallbacksAfterStopNotice() >= 1; }, kTimeoutMs));
    EXPECT_FALSE(WaitUntil([&] { return CallbacksAfterStopNotice() > 1; }, 300))
        << "a read followed the stop notice";
    EXPECT_EQ(1u, m_log.Count("::Notify to stop capture("));
    gbStopCapturePending = FALSE;
}

TEST_F(CaptureReadLoop, AFailedReadIsReportedToTheWindowAndEndsTheLoop)
{
    OpenYuy2Webcam();
    Microsoft::WRL::ComPtr<IMFSample> pSample = CreateSampleWithBytes(std::vector<BYTE>(16));
    size_t nDelivered = m_log.Count("Buffer length");
    EXPECT_EQ(
        MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
        m_pBuilder->OnReadSample(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, 0, 0, 42, pSample.Get()));
    EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, TakeCaptureFailure());
    EXPECT_TRUE(m_log.Contains("::OnReadSample (42): HRESULT 0xC00D3EA2\n"));
    EXPECT_EQ(nDelivered, m_log.Count("Buffer length"));
    EXPECT_FALSE(m_log.Contains("Notify to stop capture"));
}

TEST_F(CaptureReadLoop, AGapInTheStreamKeepsReading)
{
    // The webcam answers the first read with a stream tick and no sample;
    // the loop must ask again, and that read is the one served once
    // pictures flow.
    OpenYuy2Webcam();
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_webcam->SetDelivery(WEBCAM_DELIVER_GAPS);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(WaitUntil([&] { return Callbacks() >= 1; }, kTimeoutMs));
    EXPECT_EQ(0u, m_log.Count("Buffer length"));
    EXPECT_EQ(0u, m_driver.GetFrames().size());

    m_webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    EXPECT_TRUE(m_driver.WaitForFrameCount(3, kTimeoutMs));
    EXPECT_FALSE(m_log.Contains("Notify to stop capture"));
    EXPECT_EQ(S_OK, TakeCaptureFailure());
}

TEST_F(CaptureReadLoop, TheEndOfTheStreamEndsTheLoopAsAFailedRead)
{
    // After the end, every read is answered at once: reading on would spin.
    OpenYuy2Webcam();
    m_webcam->SetDelivery(WEBCAM_DELIVER_END_OF_STREAM);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    HRESULT hrFailure = S_OK;
    EXPECT_TRUE(WaitUntil([&] { return (hrFailure = TakeCaptureFailure()) != S_OK; }, kTimeoutMs));
    EXPECT_EQ(MF_E_END_OF_STREAM, hrFailure);
    // The callback posts the failure before it writes its own line.
    EXPECT_TRUE(WaitUntil(
        [&] { return m_log.Contains("::OnReadSample (0): HRESULT 0xC00D3E84\n"); }, kTimeoutMs));
    EXPECT_EQ(1u, Callbacks());
    EXPECT_FALSE(m_log.Contains("Notify to stop capture"));
}

TEST_F(CaptureReadLoop, AMediaTypeChangeEndsTheLoopUnlessTheTypeStillFits)
{
    m_webcam = AddWebcam({Yuy2Vga(), MakeWebcamFormat(MFVideoFormat_YUY2, 320, 240, 30)});
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    Microsoft::WRL::ComPtr<IMFSample> pSample = CreateSampleWithBytes(std::vector<BYTE>(16));

    // Still YUY2 640 x 480: the sample is handed on.
    EXPECT_EQ(S_OK, m_pBuilder->OnReadSample(S_OK, 0, MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED, 0,
                                             pSample.Get()));
    EXPECT_EQ(1u, m_log.Count("Buffer length"));
    gbStopCapturePending = FALSE;

    // The reader now delivers 320 x 240, which the pipeline was not told.
    ASSERT_EQ(S_OK, m_pBuilder->SetWebcamFormat(320, 240, 333333, 0));
    EXPECT_EQ(MF_E_INVALIDMEDIATYPE,
              m_pBuilder->OnReadSample(S_OK, 0,
                                       MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED |
                                           MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED,
                                       7, pSample.Get()));
    EXPECT_EQ(MF_E_INVALIDMEDIATYPE, TakeCaptureFailure());
    EXPECT_EQ(1u, m_log.Count("Buffer length"));
    EXPECT_EQ(1u, m_log.Count("Notify to stop capture"));

    // An error flag ends it as well.
    EXPECT_EQ(E_FAIL, m_pBuilder->OnReadSample(S_OK, 0, MF_SOURCE_READERF_ERROR, 8, NULL));
    EXPECT_EQ(E_FAIL, TakeCaptureFailure());
}

TEST_F(CaptureReadLoop, ACallbackAfterTheStopAsksTheHostToStop)
{
    OpenYuy2Webcam();
    m_pBuilder->StopCapture();
    EXPECT_EQ(S_OK, m_pBuilder->OnReadSample(S_OK, 0, 0, 0, NULL));
    EXPECT_TRUE(m_log.Contains("::Notify to stop capture(0): HRESULT 0x00000000\n"));
    // Not even the end of the stream is a failure then: the loop has ended.
    EXPECT_EQ(S_OK, m_pBuilder->OnReadSample(S_OK, 0, MF_SOURCE_READERF_ENDOFSTREAM, 0, NULL));
    m_pBuilder->OnReadSample(MF_E_SHUTDOWN, 0, 0, 0, NULL);
    EXPECT_EQ(S_OK, TakeCaptureFailure());
    gbStopCapturePending = FALSE;
}

TEST_F(CaptureReadLoop, StoppingTwiceOrWithoutStartIsHarmless)
{
    OpenYuy2Webcam();
    EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
    EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
    EXPECT_EQ(3u, m_log.Count("::StopCapture (): End\n"));
}

TEST_F(CaptureReadLoop, StopCaptureNeverDeadlocksAgainstCallbacksInFlight)
{
    // Unpaced, the reader calls back thousands of times a second, so every
    // stop meets a callback that is running or waiting for the lock.
    OpenYuy2Webcam();
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
        ASSERT_TRUE(
            WaitUntil([&] { return Callbacks() >= static_cast<size_t>(i * 20 + 20); }, kTimeoutMs));
        DWORD dwElapsedMs = 0;
        if (!StopCaptureWithin(m_pBuilder, kTimeoutMs, &dwElapsedMs))
        {
            ADD_FAILURE() << "StopCapture hung in round " << i;
            ExitProcess(3);
        }
        // The callback that met the stop asked the host to stop; no worker
        // here answers that.
        gbStopCapturePending = FALSE;
    }
    EXPECT_EQ(S_OK, TakeCaptureFailure());
}

TEST_F(CaptureReadLoop, EveryOpeningOfTheWebcamIsLetGoOfEntirely)
{
    // As the worker does for each client that comes and goes.
    OpenYuy2Webcam();
    for (int i = 0; i < 3; ++i)
    {
        if (i > 0)
        {
            ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
        }
        StreamAFewSamplesAndClose();
        EXPECT_TRUE(WaitUntil([&] { return m_webcam->GetLiveSourceCount() == 0; }, kTimeoutMs))
            << "opening " << i << ": " << m_webcam->GetLiveSourceCount() << " media sources live";
    }
}

TEST_F(CaptureReadLoop, QueriesInterfacesTheComWay)
{
    OpenYuy2Webcam();
    m_pBuilder->AddRef();
    ULONG nBase = m_pBuilder->Release();  // the reader holds one as well
    IMFSourceReaderCallback* pCallback = NULL;
    ASSERT_EQ(S_OK, m_pBuilder->QueryInterface(IID_IMFSourceReaderCallback,
                                               reinterpret_cast<void**>(&pCallback)));
    IUnknown* pUnknown = NULL;
    ASSERT_EQ(S_OK, m_pBuilder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(static_cast<IUnknown*>(pCallback), pUnknown);
    IMFMediaSource* pSource = NULL;
    EXPECT_EQ(E_NOINTERFACE,
              m_pBuilder->QueryInterface(IID_IMFMediaSource, reinterpret_cast<void**>(&pSource)));
    EXPECT_EQ(nullptr, pSource);
    EXPECT_EQ(nBase + 1, pUnknown->Release());
    EXPECT_EQ(nBase, pCallback->Release());
    EXPECT_EQ(E_POINTER, CMFCaptureBuilder::CreateInstance(m_hWnd, NULL));
}

TEST_F(CaptureReadLoop, AStalledDriverHoldsUpNeitherTheCallbackNorTheStop)
{
    // An MJPG webcam serving YUY2 and MJPG: every callback asks the table
    // whether to decode, while the delivery thread is stuck in a send.
    m_webcam = AddWebcam({Mjpg720()}, 0x0825, true);
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 360);
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(m_driver.WaitForFrameCount(2, kTimeoutMs));

    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));
    size_t nCallbacks = Callbacks();
    EXPECT_TRUE(WaitUntil([&] { return Callbacks() >= nCallbacks + 5; }, kTimeoutMs))
        << "the capture callback waited for the driver";

    // No stop was asked: once the driver answers, frames flow again.
    size_t nFrames = m_driver.GetFrameCount();
    m_driver.ReleaseStalls();
    EXPECT_TRUE(m_driver.WaitForFrameCount(nFrames + 5, kTimeoutMs));

    // A stop during a stall cancels the send and ends the delivery thread.
    m_driver.StallRequest(IOCTL_AVSHWS_SET_FRAME);
    ASSERT_TRUE(WaitUntil([&] { return m_driver.GetStalledCount() == 1; }, kTimeoutMs));
    DWORD dwElapsedMs = 0;
    if (!StopCaptureWithin(m_pBuilder, kTimeoutMs, &dwElapsedMs))
    {
        ADD_FAILURE() << "StopCapture hung behind the stalled driver";
        ExitProcess(3);
    }
    RecordProperty("StopCaptureDuringStallMs", static_cast<int>(dwElapsedMs));
    EXPECT_EQ(1, m_driver.GetCancelledCount());
    EXPECT_FALSE(m_log.Contains("TIMEOUT!"));
    gbStopCapturePending = FALSE;
    m_driver.ReleaseStalls();
}

TEST_F(CaptureReadLoop, AStopThatGaveUpOnAReadDoesNotBurdenTheNextStops)
{
    // A webcam that keeps the first read and never answers it.
    m_webcam = AddWebcam({Yuy2Vga()}, 0x0825, true);
    m_webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(WaitUntil([&] { return m_webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE) >= 1; },
                          kTimeoutMs));
    EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
    EXPECT_EQ(1u, m_log.Count("::StopCapture (): the last read did not come back\n"));
    m_pBuilder->UninitWebcamDevice();

    // The webcam answers again; stops after answered reads wait for nothing.
    m_webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    for (int nRun = 0; nRun < 2; ++nRun)
    {
        ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
        StreamAFewSamplesAndClose();
    }
    EXPECT_EQ(1u, m_log.Count("::StopCapture (): the last read did not come back\n"));
}
