#include <gtest/gtest.h>

#include <vector>

#include "pipeline/framecontrolmanager.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "testpictures.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

namespace
{
// The pipeline's intake with the test decoder registered and no delivery
// thread: what DeliverSample queues stays in the queue to be read back.
class SampleIntakeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        ASSERT_EQ(S_OK, m_decoder.Result());
        m_hReadNextSample = CreateEventW(NULL, TRUE, TRUE, NULL);
        m_pPipeline = new FrameControlManager(m_hReadNextSample);
    }

    void TearDown() override
    {
        delete m_pPipeline;
        CloseHandle(m_hReadNextSample);
    }

    static ComPtr<IMFSample> JpegSample(UINT nWidth, UINT nHeight)
    {
        std::vector<BYTE> bgra(static_cast<size_t>(nWidth) * nHeight * 4, 200);
        std::vector<BYTE> jpeg;
        EXPECT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), nWidth, nHeight, nWidth * 4, &jpeg));
        ComPtr<IMFSample> pSample;
        EXPECT_EQ(S_OK, CreateSampleFromBytes(jpeg, &pSample));
        return pSample;
    }

    std::vector<FRAME_UNIT> TakeQueued()
    {
        std::vector<FRAME_UNIT> frames;
        while (!m_pPipeline->IsFrameQueueEmpty())
            frames.push_back(m_pPipeline->GetFrame());
        return frames;
    }

    void ConfigureInput(BOOL bYuy2, UINT32 nWidth, UINT32 nHeight)
    {
        ASSERT_EQ(S_OK, m_pPipeline->SetInputIsYuy2(bYuy2));
        ASSERT_EQ(S_OK, m_pPipeline->SetInputSize(nWidth, nHeight));
    }

    ScopedMediaFoundation m_mf;
    ScopedMjpegDecoder m_decoder;
    HANDLE m_hReadNextSample = NULL;
    FrameControlManager* m_pPipeline = NULL;
};
}  // namespace

TEST_F(SampleIntakeTest, ANullSampleIsRefusedAndNothingQueued)
{
    ConfigureInput(FALSE, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    EXPECT_EQ(E_POINTER, m_pPipeline->DeliverSample(NULL));
    EXPECT_TRUE(m_pPipeline->IsFrameQueueEmpty());
    EXPECT_EQ(0, m_decoder.Faults().CallCount("ProcessInput"));
}

TEST_F(SampleIntakeTest, AYuy2WebcamIsNeverDecoded)
{
    ConfigureInput(TRUE, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_MJPG, 640, 480);
    ComPtr<IMFSample> pSample;
    ASSERT_EQ(S_OK, CreateSampleFromBytes(std::vector<BYTE>(640 * 480 * 2, 16), &pSample));
    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(pSample.Get()));

    std::vector<FRAME_UNIT> frames = TakeQueued();
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[0].format);
    EXPECT_EQ(640u, frames[0].width);
    EXPECT_EQ(pSample.Get(), frames[0].sample.Get());
    EXPECT_EQ(0, m_decoder.Faults().CallCount("ProcessInput"));
}

TEST_F(SampleIntakeTest, MjpgForMjpgClientsOnlyIsNotDecoded)
{
    ConfigureInput(FALSE, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(JpegSample(1280, 720).Get()));
    std::vector<FRAME_UNIT> frames = TakeQueued();
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_MJPG, frames[0].format);
    EXPECT_EQ(0, m_decoder.Faults().CallCount("ProcessInput"));
}

TEST_F(SampleIntakeTest, MjpgForUncompressedClientsIsDecodedOnceAfterItIsQueued)
{
    ConfigureInput(FALSE, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_NV12, 320, 240);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_MJPG, 640, 480);
    ComPtr<IMFSample> pSample = JpegSample(640, 480);
    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(pSample.Get()));

    std::vector<FRAME_UNIT> frames = TakeQueued();
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(COLOR_FORMAT_MJPG, frames[0].format);
    EXPECT_EQ(640u, frames[0].width);
    EXPECT_EQ(480u, frames[0].height);
    EXPECT_EQ(pSample.Get(), frames[0].sample.Get());
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[1].format);
    EXPECT_EQ(1280u, frames[1].width);
    EXPECT_EQ(720u, frames[1].height);
    EXPECT_EQ(1280u * 720 * 2, SampleBytes(frames[1].sample.Get()).size());
    EXPECT_EQ(1, m_decoder.Faults().CallCount("ProcessInput"));
}

TEST_F(SampleIntakeTest, ADecoderThatProvidesSamplesAndWantsMoreInputServesTheNextFrame)
{
    m_decoder.Quirks().bProvidesSamples = true;
    m_decoder.Quirks().bNeedMoreInputFirst = true;
    m_decoder.Faults().Fail("GetOutputStatus", E_NOTIMPL);
    // The decoder was made with the pipeline; its quirks are read per call.
    ConfigureInput(FALSE, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);

    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(JpegSample(1280, 720).Get()));
    std::vector<FRAME_UNIT> first = TakeQueued();
    ASSERT_EQ(1u, first.size());  // nothing decoded yet, nothing empty queued
    EXPECT_EQ(COLOR_FORMAT_MJPG, first[0].format);

    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(JpegSample(1280, 720).Get()));
    std::vector<FRAME_UNIT> second = TakeQueued();
    ASSERT_EQ(2u, second.size());
    EXPECT_EQ(COLOR_FORMAT_YUY2, second[1].format);
    EXPECT_EQ(1280u * 720 * 2, SampleBytes(second[1].sample.Get()).size());
}
