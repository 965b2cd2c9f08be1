#include <gtest/gtest.h>

#include <vector>

#include <mfapi.h>

#include "debugoutputcapture.h"
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

    // A new pipeline, whose decoder sees the quirks set so far from its
    // configuration on.
    void RecreatePipeline()
    {
        delete m_pPipeline;
        m_pPipeline = new FrameControlManager(m_hReadNextSample);
    }

    // Delivers the samples in turn; the decoded frames queued meanwhile.
    std::vector<FRAME_UNIT> DeliverAndTakeDecoded(const std::vector<ComPtr<IMFSample>>& samples)
    {
        std::vector<FRAME_UNIT> decoded;
        for (const ComPtr<IMFSample>& pSample : samples)
        {
            EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(pSample.Get()));
            for (const FRAME_UNIT& frame : TakeQueued())
            {
                if (frame.format == COLOR_FORMAT_YUY2)
                    decoded.push_back(frame);
            }
        }
        return decoded;
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
    // At the JPEG's own size, never forced to 1280 x 720: the delivery
    // scales it from what it is.
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[1].format);
    EXPECT_EQ(640u, frames[1].width);
    EXPECT_EQ(480u, frames[1].height);
    EXPECT_EQ(640u * 480 * 2, SampleBytes(frames[1].sample.Get()).size());
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

TEST_F(SampleIntakeTest, ADecoderThatLostItsOutputTypeIsGivenItAgain)
{
    // A stream change whose next SetOutputType fails once: the type must be
    // set again, or no picture is ever decoded after it.
    DebugOutputCapture capture;
    ConfigureInput(FALSE, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    m_decoder.Quirks().bLoseOutputType = true;
    std::vector<ComPtr<IMFSample>> samples(10, JpegSample(1280, 720));
    std::vector<FRAME_UNIT> decoded = DeliverAndTakeDecoded(samples);

    EXPECT_GE(decoded.size(), 8u);
    for (const FRAME_UNIT& frame : decoded)
        EXPECT_EQ(1280u * 720 * 2, SampleBytes(frame.sample.Get()).size());
    EXPECT_GE(m_decoder.Faults().CallCount("SetOutputType"), 3);
    EXPECT_TRUE(capture.Contains("MjpegDecoder: output type set again after 0xC00D6D61"));
}

TEST_F(SampleIntakeTest, ANv12OnlyDecoderIsUsedThroughNv12AndQueuedAsYuy2)
{
    m_decoder.Quirks().bNv12Only = true;
    RecreatePipeline();
    ConfigureInput(FALSE, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 320, 240);
    std::vector<FRAME_UNIT> decoded = DeliverAndTakeDecoded({JpegSample(640, 480)});

    ASSERT_EQ(1u, decoded.size());
    EXPECT_EQ(640u, decoded[0].width);
    EXPECT_EQ(480u, decoded[0].height);
    // The flat grey picture, in YUY2: every luma alike, chroma neutral.
    std::vector<BYTE> yuy2 = SampleBytes(decoded[0].sample.Get());
    ASSERT_EQ(640u * 480 * 2, yuy2.size());
    for (size_t i = 0; i < yuy2.size(); i += 2)
    {
        ASSERT_EQ(yuy2[0], yuy2[i]) << "luma " << i / 2;
        ASSERT_NEAR(128, yuy2[i + 1], 2) << "chroma " << i / 2;
    }
}

TEST_F(SampleIntakeTest, ADecoderThatKeepsABadInputIsFlushedAndDecodesAgain)
{
    // The decoder keeps a picture it cannot decode and refuses every later
    // one (MF_E_NOTACCEPTING) until it is flushed.
    DebugOutputCapture capture;
    m_decoder.Quirks().bKeepBadInput = true;
    ConfigureInput(FALSE, 640, 480);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    std::vector<BYTE> cut = SampleBytes(JpegSample(640, 480).Get());
    cut.resize(cut.size() / 2);
    ComPtr<IMFSample> pCut;
    ASSERT_EQ(S_OK, CreateSampleFromBytes(cut, &pCut));

    std::vector<ComPtr<IMFSample>> samples = {pCut};
    for (int i = 0; i < 6; ++i)
        samples.push_back(JpegSample(640, 480));
    std::vector<FRAME_UNIT> decoded = DeliverAndTakeDecoded(samples);
    EXPECT_GE(decoded.size(), 2u);
    EXPECT_TRUE(capture.Contains("failed decodes in a row"));
    EXPECT_TRUE(capture.Contains("decoder flushed: 0x00000000"));
}

TEST_F(SampleIntakeTest, MjpgFramesOfAnotherSizeAreDroppedAndCountedOncePerBurst)
{
    DebugOutputCapture capture;
    ConfigureInput(FALSE, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    ComPtr<IMFSample> pSmall = JpegSample(640, 480);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(pSmall.Get()));
    EXPECT_TRUE(TakeQueued().empty());
    EXPECT_EQ(0, m_decoder.Faults().CallCount("ProcessInput"));
    EXPECT_EQ(1u, capture.Count("not the negotiated 1280 x 720; dropped"));

    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(JpegSample(1280, 720).Get()));
    EXPECT_EQ(2u, TakeQueued().size());
    EXPECT_TRUE(capture.Contains("DeliverSample: 3 MJPG frames of another size dropped\n"));
}

TEST_F(SampleIntakeTest, ASampleOfSeveralBuffersIsQueuedAsOne)
{
    ConfigureInput(TRUE, 4, 2);
    m_pPipeline->AddOutputFormat(COLOR_FORMAT_YUY2, 4, 2);
    ComPtr<IMFSample> pSample;
    ASSERT_EQ(S_OK, CreateSampleFromBytes({1, 2, 3, 4, 5, 6, 7}, &pSample));
    ComPtr<IMFSample> pTail;
    ASSERT_EQ(S_OK, CreateSampleFromBytes({8, 9, 10, 11, 12, 13, 14, 15, 16}, &pTail));
    ComPtr<IMFMediaBuffer> pTailBuffer;
    ASSERT_EQ(S_OK, pTail->GetBufferByIndex(0, &pTailBuffer));
    ASSERT_EQ(S_OK, pSample->AddBuffer(pTailBuffer.Get()));

    EXPECT_EQ(S_OK, m_pPipeline->DeliverSample(pSample.Get()));
    std::vector<FRAME_UNIT> frames = TakeQueued();
    ASSERT_EQ(1u, frames.size());
    DWORD nBuffers = 0;
    EXPECT_EQ(S_OK, frames[0].sample->GetBufferCount(&nBuffers));
    EXPECT_EQ(1u, nBuffers);
    std::vector<BYTE> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_TRUE(SampleBytes(frames[0].sample.Get()) == expected);
}
