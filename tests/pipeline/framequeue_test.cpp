#include <gtest/gtest.h>

#include "debugoutputcapture.h"
#include "mfsamples.h"
#include "pipeline/framequeue.h"
#include "scopedmediafoundation.h"

using Microsoft::WRL::ComPtr;

namespace
{
// A queue alone, with an unnamed event: no pipeline, no decoder.
class FrameQueueTest : public ::testing::Test
{
protected:
    FrameQueueTest() : m_queue(NULL) {}

    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        ASSERT_NE(nullptr, m_queue.GetInsertedEvent());
    }

    // A 2 x 2 YUY2 picture whose first byte tells it apart.
    void Insert(BYTE nMark)
    {
        ComPtr<IMFSample> pSample = CreateSampleWithBytes(FlatYuy2(2, 2, nMark, 2, 3));
        m_queue.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 2, 2, pSample.Get()));
    }

    static BYTE MarkOf(const FRAME_UNIT& frame) { return ReadSampleBytes(frame.sample.Get())[0]; }

    bool InsertedEventIsSet()
    {
        return WaitForSingleObject(m_queue.GetInsertedEvent(), 0) == WAIT_OBJECT_0;
    }

    ScopedMediaFoundation m_mf;
    FrameQueue m_queue;
};
}  // namespace

TEST_F(FrameQueueTest, FramesComeOutInTheirOrderAndTheEventTellsWhetherAnyWait)
{
    EXPECT_TRUE(m_queue.IsEmpty());
    EXPECT_FALSE(InsertedEventIsSet());
    Insert(1);
    Insert(2);
    EXPECT_EQ(2u, m_queue.GetDepth());
    EXPECT_TRUE(InsertedEventIsSet());

    EXPECT_EQ(1, MarkOf(m_queue.GetFrame()));
    EXPECT_TRUE(InsertedEventIsSet());  // one still waits
    EXPECT_EQ(2, MarkOf(m_queue.GetFrame()));
    EXPECT_TRUE(m_queue.IsEmpty());
    EXPECT_FALSE(InsertedEventIsSet());

    // An empty queue yields a frame without a sample, which delivery drops.
    FRAME_UNIT none = m_queue.GetFrame();
    EXPECT_EQ(nullptr, none.sample.Get());
    EXPECT_FALSE(InsertedEventIsSet());
}

TEST_F(FrameQueueTest, ClearingReleasesEveryFrameAndResetsTheEvent)
{
    ComPtr<IMFSample> pSample = CreateSampleWithBytes(FlatYuy2(2, 2, 9, 9, 9));
    m_queue.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 2, 2, pSample.Get()));
    Insert(1);
    m_queue.Clear();
    EXPECT_TRUE(m_queue.IsEmpty());
    EXPECT_FALSE(InsertedEventIsSet());
    pSample->AddRef();
    EXPECT_EQ(1u, pSample->Release());  // only this test holds it now
}

TEST_F(FrameQueueTest, AQueueNobodyDrainsKeepsOnlyTheNewestFramesAndReleasesTheOthers)
{
    DebugOutputCapture capture;
    // Frames queued with no consumer, as a placeholder timer does when no
    // delivery thread runs: the queue keeps its bound and lets go of the
    // samples it drops.
    ComPtr<IMFSample> pOldest = CreateSampleWithBytes(FlatYuy2(2, 2, 9, 9, 9));
    m_queue.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 2, 2, pOldest.Get()));
    const size_t nInserted = FrameQueue::kMaxQueuedFrames * 4;
    for (size_t i = 1; i < nInserted; ++i)
        Insert(static_cast<BYTE>(i));
    EXPECT_EQ(FrameQueue::kMaxQueuedFrames, m_queue.GetDepth());
    pOldest->AddRef();
    EXPECT_EQ(1u, pOldest->Release());  // only this test holds it now
    EXPECT_EQ(1u, capture.Count("FrameControlManager::InsertFrame (): queue full, "
                                "dropping the oldest frames\n"));

    // What comes out next are the newest pictures, in order; the burst's
    // count is logged once the queue has drained, and only then.
    for (size_t i = nInserted - FrameQueue::kMaxQueuedFrames; i < nInserted; ++i)
    {
        EXPECT_FALSE(capture.Contains("frames dropped while the queue was full"));
        EXPECT_EQ(i, MarkOf(m_queue.GetFrame()));
    }
    EXPECT_EQ(1u, capture.Count("FrameControlManager: 24 frames dropped while the queue was "
                                "full\n"));
}

TEST_F(FrameQueueTest, ClearingEndsABurstSoTheNextOverflowIsLoggedAgain)
{
    DebugOutputCapture capture;
    for (size_t i = 0; i <= FrameQueue::kMaxQueuedFrames; ++i)
        Insert(static_cast<BYTE>(i));
    m_queue.Clear();
    EXPECT_EQ(1u, capture.Count("FrameControlManager: 1 frames dropped while the queue was full"));
    for (size_t i = 0; i <= FrameQueue::kMaxQueuedFrames; ++i)
        Insert(static_cast<BYTE>(i));
    EXPECT_EQ(2u, capture.Count("queue full, dropping the oldest frames"));
}
