#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "callfaults.h"
#include "rgbyuy2.h"
#include "scopedmediafoundation.h"
#include "simulatedmjpegdecoder.h"
#include "testpictures.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

namespace
{
class SimulatedMjpegDecoderTest : public testing::Test
{
protected:
    SimulatedMjpegDecoderTest()
        : m_pFaults(std::make_shared<CallFaults>()),
          m_pQuirks(std::make_shared<SimulatedDecoderQuirks>())
    {
        *m_pDecoder.ReleaseAndGetAddressOf() = new SimulatedMjpegDecoder(m_pFaults, m_pQuirks);
    }

    void SetUp() override { ASSERT_EQ(S_OK, m_mediaFoundation.Result()); }

    // Sets MJPG in and YUY2 out of these sizes, the way a caller would.
    void Configure(UINT32 nInputWidth, UINT32 nInputHeight, UINT32 nOutputWidth,
                   UINT32 nOutputHeight)
    {
        ComPtr<IMFMediaType> pType;
        ASSERT_EQ(S_OK, m_pDecoder->GetInputAvailableType(0, 0, &pType));
        ASSERT_EQ(S_OK,
                  MFSetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, nInputWidth, nInputHeight));
        ASSERT_EQ(S_OK, m_pDecoder->SetInputType(0, pType.Get(), 0));
        ASSERT_EQ(S_OK, m_pDecoder->GetOutputAvailableType(0, 0, &pType));
        ASSERT_EQ(S_OK,
                  MFSetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, nOutputWidth, nOutputHeight));
        ASSERT_EQ(S_OK, m_pDecoder->SetOutputType(0, pType.Get(), 0));
    }

    static ComPtr<IMFSample> JpegSample(UINT nWidth, UINT nHeight)
    {
        return JpegSampleOf(QuadrantPicture(nWidth, nHeight), nWidth, nHeight);
    }

    static ComPtr<IMFSample> JpegSampleOf(const std::vector<BYTE>& bgra, UINT nWidth, UINT nHeight)
    {
        std::vector<BYTE> jpeg;
        EXPECT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), nWidth, nHeight, nWidth * 4, &jpeg));
        ComPtr<IMFSample> pSample;
        EXPECT_EQ(S_OK, CreateSampleFromBytes(jpeg, &pSample));
        return pSample;
    }

    static ComPtr<IMFSample> EmptySample(DWORD cbMax)
    {
        ComPtr<IMFSample> pSample;
        ComPtr<IMFMediaBuffer> pBuffer;
        EXPECT_EQ(S_OK, MFCreateSample(&pSample));
        EXPECT_EQ(S_OK, MFCreateMemoryBuffer(cbMax, &pBuffer));
        EXPECT_EQ(S_OK, pSample->AddBuffer(pBuffer.Get()));
        return pSample;
    }

    HRESULT ProcessOutput(IMFSample* pSample)
    {
        MFT_OUTPUT_DATA_BUFFER output = {};
        output.pSample = pSample;
        DWORD dwStatus = 0;
        return m_pDecoder->ProcessOutput(0, 1, &output, &dwStatus);
    }

    DWORD OutputStatus()
    {
        DWORD dwFlags = 0xFFFFFFFF;
        EXPECT_EQ(S_OK, m_pDecoder->GetOutputStatus(&dwFlags));
        return dwFlags;
    }

    static void ExpectYuv(const std::vector<BYTE>& yuy2, UINT nWidth, UINT x, UINT y,
                          RGB_COLOUR colour, int nTolerance)
    {
        BYTE expectedY, expectedU, expectedV, actualY, actualU, actualV;
        RgbToYuv(colour.r, colour.g, colour.b, &expectedY, &expectedU, &expectedV);
        Yuy2PixelAt(yuy2, nWidth, x, y, &actualY, &actualU, &actualV);
        EXPECT_NEAR(expectedY, actualY, nTolerance) << "at " << x << "," << y;
        EXPECT_NEAR(expectedU, actualU, nTolerance) << "at " << x << "," << y;
        EXPECT_NEAR(expectedV, actualV, nTolerance) << "at " << x << "," << y;
    }

    ScopedMediaFoundation m_mediaFoundation;
    std::shared_ptr<CallFaults> m_pFaults;
    std::shared_ptr<SimulatedDecoderQuirks> m_pQuirks;
    ComPtr<IMFTransform> m_pDecoder;
};
}  // namespace

TEST_F(SimulatedMjpegDecoderTest, HoldsOnePictureAtATime)
{
    Configure(64, 32, 64, 32);
    EXPECT_EQ(0u, OutputStatus());
    EXPECT_EQ(MF_E_TRANSFORM_NEED_MORE_INPUT, ProcessOutput(EmptySample(64 * 32 * 2).Get()));

    ComPtr<IMFSample> pCompressed = JpegSample(64, 32);
    EXPECT_EQ(S_OK, m_pDecoder->ProcessInput(0, pCompressed.Get(), 0));
    EXPECT_EQ(static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY), OutputStatus());
    EXPECT_EQ(MF_E_NOTACCEPTING, m_pDecoder->ProcessInput(0, pCompressed.Get(), 0));

    EXPECT_EQ(S_OK, ProcessOutput(EmptySample(64 * 32 * 2).Get()));
    EXPECT_EQ(0u, OutputStatus());
    EXPECT_EQ(S_OK, m_pDecoder->ProcessInput(0, pCompressed.Get(), 0));
}

TEST_F(SimulatedMjpegDecoderTest, ASmallBufferIsRefusedAndThePictureKept)
{
    Configure(64, 32, 64, 32);
    ASSERT_EQ(S_OK, m_pDecoder->ProcessInput(0, JpegSample(64, 32).Get(), 0));

    ComPtr<IMFSample> pSmall = EmptySample(64 * 32 * 2 - 1);
    EXPECT_EQ(MF_E_BUFFERTOOSMALL, ProcessOutput(pSmall.Get()));
    EXPECT_TRUE(SampleBytes(pSmall.Get()).empty());
    EXPECT_EQ(static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY), OutputStatus());

    ComPtr<IMFSample> pLarge = EmptySample(64 * 32 * 2 + 100);
    EXPECT_EQ(S_OK, ProcessOutput(pLarge.Get()));
    EXPECT_EQ(64u * 32u * 2u, SampleBytes(pLarge.Get()).size());
}

// A picture larger than the output is cut to it, a smaller one padded with
// black; the output is always the output type's size.
TEST_F(SimulatedMjpegDecoderTest, WritesWhatFitsOfAPictureOfAnotherSize)
{
    Configure(1280, 720, 640, 480);
    MFT_OUTPUT_STREAM_INFO info = {};
    ASSERT_EQ(S_OK, m_pDecoder->GetOutputStreamInfo(0, &info));
    EXPECT_EQ(640u * 480u * 2u, info.cbSize);
    ASSERT_EQ(S_OK, m_pDecoder->ProcessInput(0, JpegSample(1280, 720).Get(), 0));
    ComPtr<IMFSample> pCut = EmptySample(640 * 480 * 2);
    ASSERT_EQ(S_OK, ProcessOutput(pCut.Get()));
    std::vector<BYTE> cut = SampleBytes(pCut.Get());
    ASSERT_EQ(640u * 480u * 2u, cut.size());
    ExpectYuv(cut, 640, 10, 10, kQuadrantColours[0], 6);
    // The right half is cut off: the right edge still shows the left quadrants.
    ExpectYuv(cut, 640, 630, 350, kQuadrantColours[0], 6);
    ExpectYuv(cut, 640, 630, 470, kQuadrantColours[2], 6);

    ASSERT_EQ(S_OK, m_pDecoder->ProcessInput(0, JpegSample(101, 61).Get(), 0));
    ComPtr<IMFSample> pPadded = EmptySample(640 * 480 * 2);
    ASSERT_EQ(S_OK, ProcessOutput(pPadded.Get()));
    std::vector<BYTE> padded = SampleBytes(pPadded.Get());
    ASSERT_EQ(640u * 480u * 2u, padded.size());
    ExpectYuv(padded, 640, 90, 50, kQuadrantColours[3], 6);
    ExpectYuv(padded, 640, 102, 10, RGB_COLOUR{0, 0, 0}, 0);
    ExpectYuv(padded, 640, 10, 61, RGB_COLOUR{0, 0, 0}, 0);
    ExpectYuv(padded, 640, 639, 479, RGB_COLOUR{0, 0, 0}, 0);
}

TEST_F(SimulatedMjpegDecoderTest, APictureThatDoesNotDecodeIsDropped)
{
    Configure(64, 32, 64, 32);
    ComPtr<IMFSample> pGarbage;
    ASSERT_EQ(S_OK, CreateSampleFromBytes(std::vector<BYTE>(500, 0x5A), &pGarbage));
    ASSERT_EQ(S_OK, m_pDecoder->ProcessInput(0, pGarbage.Get(), 0));

    ComPtr<IMFSample> pOutput = EmptySample(64 * 32 * 2);
    EXPECT_TRUE(FAILED(ProcessOutput(pOutput.Get())));
    EXPECT_TRUE(SampleBytes(pOutput.Get()).empty());
    EXPECT_EQ(0u, OutputStatus());
}

TEST_F(SimulatedMjpegDecoderTest, APictureMetAgainComesOutAsItDidTheFirstTime)
{
    // The webcam double sends the same few pictures over and over; whatever
    // the decoder remembers of them must never stand in for another picture
    // or another output size.
    auto decode = [&](IMFSample* pCompressed, UINT nWidth, UINT nHeight)
    {
        EXPECT_EQ(S_OK, m_pDecoder->ProcessInput(0, pCompressed, 0));
        ComPtr<IMFSample> pOutput = EmptySample(nWidth * nHeight * 2);
        EXPECT_EQ(S_OK, ProcessOutput(pOutput.Get()));
        return SampleBytes(pOutput.Get());
    };
    std::vector<BYTE> blue(64 * 32 * 4);
    for (size_t i = 0; i < blue.size(); i += 4)
    {
        blue[i] = 200;
        blue[i + 3] = 255;
    }
    ComPtr<IMFSample> pQuadrants = JpegSample(64, 32);
    ComPtr<IMFSample> pBlue = JpegSampleOf(blue, 64, 32);

    Configure(64, 32, 64, 32);
    std::vector<BYTE> first = decode(pQuadrants.Get(), 64, 32);
    ASSERT_EQ(64u * 32u * 2u, first.size());
    EXPECT_EQ(first, decode(pQuadrants.Get(), 64, 32));
    std::vector<BYTE> other = decode(pBlue.Get(), 64, 32);
    ExpectYuv(other, 64, 10, 10, RGB_COLOUR{0, 0, 200}, 6);
    EXPECT_EQ(first, decode(pQuadrants.Get(), 64, 32));

    Configure(64, 32, 32, 16);
    std::vector<BYTE> cut = decode(pQuadrants.Get(), 32, 16);
    ASSERT_EQ(32u * 16u * 2u, cut.size());
    ExpectYuv(cut, 32, 5, 5, kQuadrantColours[0], 6);
    ExpectYuv(cut, 32, 31, 15, kQuadrantColours[0], 6);
}
