#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "debugoutputcapture.h"
#include "host/hoststate.h"
#include "image/mjpegdecoder.h"
#include "mfsamples.h"
#include "pipeline/framecontrolmanager.h"
#include "placeholder/norealcamframemanager.h"
#include "placeholderjpeg.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "waituntil.h"

namespace
{
const DWORD kTimeoutMs = 5000;

LRESULT CALLBACK TestWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_PLACEHOLDER_TIMER)
        return NoRealCamFrameManager::OnPlaceholderTimerMessage(wParam);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// The placeholder source over a pipeline, with a window of this thread as
// the host's main window.
class PlaceholderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.lpszClassName = L"placeholder test window";
        RegisterClassW(&windowClass);
        ghMainWnd = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    NULL, NULL, NULL);
        ASSERT_NE(nullptr, ghMainWnd);
        m_hReadNextSample = CreateEventW(NULL, TRUE, TRUE, NULL);
        m_pPipeline = new FrameControlManager(m_hReadNextSample);
    }

    void TearDown() override
    {
        delete m_pManager;
        SetNoRealCamGlobals(NULL, NULL);
        delete m_pPipeline;
        CloseHandle(m_hReadNextSample);
        DestroyWindow(ghMainWnd);
        ghMainWnd = NULL;
    }

    void CreateManager()
    {
        m_pManager = new NoRealCamFrameManager();
        SetNoRealCamGlobals(m_pManager, m_pPipeline);
    }

    // Dispatches this thread's messages until the pipeline holds n frames.
    bool PumpUntilQueued(size_t nFrames)
    {
        size_t nQueued = 0;
        return WaitUntil(
            [&]
            {
                MSG msg;
                while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                    DispatchMessageW(&msg);
                while (!m_pPipeline->IsFrameQueueEmpty() && nQueued < nFrames)
                {
                    m_frames.push_back(m_pPipeline->GetFrame());
                    ++nQueued;
                }
                return nQueued >= nFrames;
            },
            kTimeoutMs);
    }

    ScopedMediaFoundation m_mf;
    HANDLE m_hReadNextSample = NULL;
    FrameControlManager* m_pPipeline = NULL;
    NoRealCamFrameManager* m_pManager = NULL;
    std::vector<FRAME_UNIT> m_frames;
};
}  // namespace

TEST_F(PlaceholderTest, HoldsThePictureAndItsDecodedForm)
{
    ScopedMjpegDecoder decoder;
    ASSERT_EQ(S_OK, decoder.Result());
    CreateManager();
    std::vector<BYTE> jpeg = ReadSampleBytes(m_pManager->GetPictureSample());
    ASSERT_EQ(static_cast<size_t>(PLACEHOLDER_JPEG_SIZE), jpeg.size());
    EXPECT_EQ(0xFF, jpeg[0]);
    EXPECT_EQ(0xD8, jpeg[1]);
    EXPECT_EQ(1280u * 720 * 2, ReadSampleBytes(m_pManager->GetDecodedSample()).size());
}

TEST_F(PlaceholderTest, ADecoderThatWantsMoreInputStillGivesThePicture)
{
    // Its first round gives nothing; the one decoded picture must not stay
    // empty.
    ScopedMjpegDecoder decoder;
    ASSERT_EQ(S_OK, decoder.Result());
    decoder.Quirks().bNeedMoreInputFirst = true;
    decoder.Faults().Fail("GetOutputStatus", E_NOTIMPL);
    CreateManager();
    EXPECT_EQ(1280u * 720 * 2, ReadSampleBytes(m_pManager->GetDecodedSample()).size());
    EXPECT_EQ(2, decoder.Faults().CallCount("ProcessInput"));
}

TEST_F(PlaceholderTest, EveryTickQueuesTheMjpgThenTheYuy2Picture)
{
    ScopedMjpegDecoder decoder;
    CreateManager();
    m_pManager->SetFormat(COLOR_FORMAT_NV12, 320, 240);  // changes nothing produced
    ASSERT_EQ(S_OK, m_pManager->StartTimer());
    ASSERT_TRUE(PumpUntilQueued(6));
    EXPECT_EQ(S_OK, m_pManager->StopTimer());

    for (size_t i = 0; i < m_frames.size(); ++i)
    {
        const FRAME_UNIT& frame = m_frames[i];
        EXPECT_EQ(i % 2 == 0 ? COLOR_FORMAT_MJPG : COLOR_FORMAT_YUY2, frame.format) << i;
        EXPECT_EQ(1280u, frame.width);
        EXPECT_EQ(720u, frame.height);
        // The same two samples every tick: nothing is copied or decoded again.
        EXPECT_EQ(i % 2 == 0 ? m_pManager->GetPictureSample() : m_pManager->GetDecodedSample(),
                  frame.sample.Get());
    }
}

TEST_F(PlaceholderTest, TimersStartAndStopOnceAndLogEveryCall)
{
    CreateManager();
    DebugOutputCapture capture;
    EXPECT_EQ(S_FALSE, m_pManager->StopTimer());
    EXPECT_EQ(S_OK, m_pManager->StartTimer());
    EXPECT_EQ(S_FALSE, m_pManager->StartTimer());
    EXPECT_EQ(S_OK, m_pManager->StopTimer());
    EXPECT_EQ(S_FALSE, m_pManager->StopTimer());
    EXPECT_EQ(2u, capture.Count("NoRealCamFrameCtrlMgr start timer"));
    EXPECT_EQ(3u, capture.Count("NoRealCamFrameCtrlMgr kill timer"));
}

TEST_F(PlaceholderTest, ATimerStartedFromAnotherThreadRunsOnTheWindowsThread)
{
    ScopedMjpegDecoder decoder;
    CreateManager();
    HRESULT hrStart = E_UNEXPECTED;
    HANDLE hDone = CreateEventW(NULL, TRUE, FALSE, NULL);
    std::thread worker(
        [&]
        {
            hrStart = m_pManager->StartTimer();
            SetEvent(hDone);
        });
    // The window's thread must pump for the request to arrive.
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            return WaitForSingleObject(hDone, 0) == WAIT_OBJECT_0;
        },
        kTimeoutMs));
    worker.join();
    CloseHandle(hDone);
    EXPECT_EQ(S_OK, hrStart);
    EXPECT_TRUE(PumpUntilQueued(2));

    HRESULT hrStop = E_UNEXPECTED;
    std::thread stopper([&] { hrStop = m_pManager->StopTimer(); });
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            return hrStop != E_UNEXPECTED;
        },
        kTimeoutMs));
    stopper.join();
    EXPECT_EQ(S_OK, hrStop);
}

TEST_F(PlaceholderTest, WithoutADecoderOnlyTheMjpgPictureHasASample)
{
    ScopedDecoderRegistration none(NULL);
    CreateManager();
    EXPECT_EQ(nullptr, m_pManager->GetDecodedSample());
    ASSERT_EQ(S_OK, m_pManager->StartTimer());
    ASSERT_TRUE(PumpUntilQueued(2));
    m_pManager->StopTimer();
    EXPECT_NE(nullptr, m_frames[0].sample.Get());
    EXPECT_EQ(nullptr, m_frames[1].sample.Get());
}

TEST_F(PlaceholderTest, TheDestructorStopsARunningTimer)
{
    CreateManager();
    ASSERT_EQ(S_OK, m_pManager->StartTimer());
    DebugOutputCapture capture;
    delete m_pManager;
    m_pManager = NULL;
    EXPECT_TRUE(capture.Contains("NoRealCamFrameCtrlMgr kill timer"));
    // No tick arrives afterwards: a timer message within 100 ms would show
    // the timer still running.
    SetNoRealCamGlobals(NULL, m_pPipeline);
    MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_TIMER);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, ghMainWnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

TEST_F(PlaceholderTest, TheTimerRunsAtThirtyTicksASecond)
{
    CreateManager();
    ASSERT_EQ(S_OK, m_pManager->StartTimer());
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ticksMs;
    DWORD dwStart = GetTickCount();
    while (ticksMs.size() < 40 && GetTickCount() - dwStart < 10000)
    {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        {
            DispatchMessageW(&msg);
            if (msg.message == WM_TIMER && !m_pPipeline->IsFrameQueueEmpty())
            {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                ticksMs.push_back(now.QuadPart * 1000.0 / frequency.QuadPart);
                m_pPipeline->ClearFrameQueue();
            }
        }
    }
    EXPECT_EQ(S_OK, m_pManager->StopTimer());
    ASSERT_GE(ticksMs.size(), 10u);

    // A late tick is skipped, never bunched with the next, so the shortest
    // gap shows the period: about 33 ms. A slower timer (50 ms, 20 frames a
    // second) never comes near.
    double dShortestMs = 1e9;
    for (size_t i = 1; i < ticksMs.size(); ++i)
        dShortestMs = std::min(dShortestMs, ticksMs[i] - ticksMs[i - 1]);
    EXPECT_LT(dShortestMs, 42.0);
}
