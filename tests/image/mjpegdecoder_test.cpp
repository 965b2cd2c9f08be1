#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <wrl/client.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "debugoutputcapture.h"
#include "image/mjpegdecoder.h"
#include "rgbyuy2.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddecoderenumeration.h"
#include "testpictures.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

namespace
{
const DWORD kDecodedBytes = 1280 * 720 * 2;

class MjpegDecoderTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_mediaFoundation.Result()); }

    // A compressed sample of a quadrant picture of this size.
    static ComPtr<IMFSample> QuadrantJpegSample(UINT nWidth, UINT nHeight)
    {
        std::vector<BYTE> bgra = QuadrantPicture(nWidth, nHeight);
        std::vector<BYTE> jpeg;
        EXPECT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), nWidth, nHeight, nWidth * 4, &jpeg));
        ComPtr<IMFSample> pSample;
        EXPECT_EQ(S_OK, CreateSampleFromBytes(jpeg, &pSample));
        return pSample;
    }

    // A compressed sample of a white 64 x 64 picture.
    static ComPtr<IMFSample> WhiteJpegSample()
    {
        std::vector<BYTE> white(64 * 64 * 4, 255);
        std::vector<BYTE> jpeg;
        EXPECT_EQ(S_OK, EncodeBgraToJpeg(white.data(), 64, 64, 64 * 4, &jpeg));
        ComPtr<IMFSample> pSample;
        EXPECT_EQ(S_OK, CreateSampleFromBytes(jpeg, &pSample));
        return pSample;
    }

    // Within JPEG's loss of the colour the picture had there.
    static void ExpectColourAt(const std::vector<BYTE>& yuy2, UINT x, UINT y, RGB_COLOUR colour)
    {
        BYTE expectedY, expectedU, expectedV, actualY, actualU, actualV;
        RgbToYuv(colour.r, colour.g, colour.b, &expectedY, &expectedU, &expectedV);
        Yuy2PixelAt(yuy2, 1280, x, y, &actualY, &actualU, &actualV);
        EXPECT_NEAR(expectedY, actualY, 6) << "at " << x << "," << y;
        EXPECT_NEAR(expectedU, actualU, 6) << "at " << x << "," << y;
        EXPECT_NEAR(expectedV, actualV, 6) << "at " << x << "," << y;
    }

    ScopedMediaFoundation m_mediaFoundation;
};

class ConfiguredDecoderTest : public MjpegDecoderTest
{
protected:
    void SetUp() override
    {
        MjpegDecoderTest::SetUp();
        ASSERT_EQ(S_OK, m_registration.Result());
        ASSERT_EQ(S_OK, m_decoder.FindMjpegDecoder());
        ASSERT_EQ(S_OK, m_decoder.SetDecoderMediaTypes());
    }

    ScopedMjpegDecoder m_registration;
    MjpegDecoder m_decoder;
};
}  // namespace

TEST_F(MjpegDecoderTest, FindsTheDecoderByItsFriendlyName)
{
    ScopedMjpegDecoder registration;
    ASSERT_EQ(S_OK, registration.Result());
    MjpegDecoder decoder;
    EXPECT_FALSE(decoder.HasDecoder());

    EXPECT_EQ(S_OK, decoder.FindMjpegDecoder());
    EXPECT_TRUE(decoder.HasDecoder());
    EXPECT_EQ(1, registration.Faults().CallCount("CreateInstance"));
}

struct MISSING_DECODER_CASE
{
    const char* pszLabel;
    const wchar_t* pwszRegisteredName;  // NULL: nothing registered
    bool bHideSystemTransforms;
};

void PrintTo(const MISSING_DECODER_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszLabel;
}

class MissingDecoderTest : public MjpegDecoderTest,
                           public testing::WithParamInterface<MISSING_DECODER_CASE>
{
};

TEST_P(MissingDecoderTest, LeavesNoDecoderAndReportsCodecNotFound)
{
    ScopedDecoderRegistration registration(GetParam().pwszRegisteredName);
    ASSERT_EQ(S_OK, registration.Result());
    SimulatedDecoderEnumeration::HideSystemTransforms(GetParam().bHideSystemTransforms);

    MjpegDecoder decoder;
    EXPECT_EQ(MF_E_TOPO_CODEC_NOT_FOUND, decoder.FindMjpegDecoder());
    EXPECT_FALSE(decoder.HasDecoder());
    EXPECT_EQ(0, registration.Faults().CallCount("CreateInstance"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, MissingDecoderTest,
    testing::Values(MISSING_DECODER_CASE{"OtherLetterCase", L"mjpeg decoder mft", false},
                    MISSING_DECODER_CASE{"TrailingSpace", L"MJPEG Decoder MFT ", false},
                    MISSING_DECODER_CASE{"Prefix", L"MJPEG Decoder", false},
                    MISSING_DECODER_CASE{"NoneRegistered", NULL, false},
                    MISSING_DECODER_CASE{"EmptyEnumeration", NULL, true}),
    [](const testing::TestParamInfo<MISSING_DECODER_CASE>& info)
    { return std::string(info.param.pszLabel); });

TEST_F(MjpegDecoderTest, AFailingEnumerationGivesEFailWhateverItsCode)
{
    ScopedMjpegDecoder registration;
    SimulatedDecoderEnumeration::FailEnumeration(E_OUTOFMEMORY);

    MjpegDecoder decoder;
    EXPECT_EQ(E_FAIL, decoder.FindMjpegDecoder());
    EXPECT_FALSE(decoder.HasDecoder());
}

TEST_F(MjpegDecoderTest, AFailedActivationEndsTheSearchWithoutDecoder)
{
    ScopedMjpegDecoder refusing;
    ScopedMjpegDecoder second;
    refusing.Faults().Fail("CreateInstance", E_OUTOFMEMORY);

    MjpegDecoder decoder;
    EXPECT_EQ(MF_E_TOPO_CODEC_NOT_FOUND, decoder.FindMjpegDecoder());
    EXPECT_FALSE(decoder.HasDecoder());
    EXPECT_EQ(1, refusing.Faults().CallCount("CreateInstance"));
    EXPECT_EQ(0, second.Faults().CallCount("CreateInstance"));
}

TEST_F(MjpegDecoderTest, AFailedSearchDropsTheDecoderOfAnEarlierOne)
{
    ScopedMjpegDecoder registration;
    MjpegDecoder decoder;
    ASSERT_EQ(S_OK, decoder.FindMjpegDecoder());

    SimulatedDecoderEnumeration::FailEnumeration(E_UNEXPECTED);
    EXPECT_EQ(E_FAIL, decoder.FindMjpegDecoder());
    EXPECT_FALSE(decoder.HasDecoder());
}

TEST_F(MjpegDecoderTest, WithoutDecoderNothingRuns)
{
    MjpegDecoder decoder;
    ComPtr<IMFSample> pCompressed = QuadrantJpegSample(64, 32);
    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(E_FAIL, decoder.SetDecoderMediaTypes());
    EXPECT_EQ(E_FAIL, decoder.DecodeMjpegSample(pCompressed.Get(), &pDecoded));
    EXPECT_EQ(NULL, pDecoded.Get());
}

TEST_F(ConfiguredDecoderTest, SetsMjpgInAndYuy2Out1280x720)
{
    IMFTransform* pTransform = m_decoder.GetDecoder();
    ComPtr<IMFMediaType> pInput;
    ComPtr<IMFMediaType> pOutput;
    ASSERT_EQ(S_OK, pTransform->GetInputCurrentType(0, &pInput));
    ASSERT_EQ(S_OK, pTransform->GetOutputCurrentType(0, &pOutput));

    GUID subtype = GUID_NULL;
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    EXPECT_EQ(S_OK, pInput->GetGUID(MF_MT_SUBTYPE, &subtype));
    EXPECT_TRUE(subtype == MFVideoFormat_MJPG);
    EXPECT_EQ(S_OK, MFGetAttributeSize(pInput.Get(), MF_MT_FRAME_SIZE, &nWidth, &nHeight));
    EXPECT_EQ(1280u, nWidth);
    EXPECT_EQ(720u, nHeight);

    EXPECT_EQ(S_OK, pOutput->GetGUID(MF_MT_SUBTYPE, &subtype));
    EXPECT_TRUE(subtype == MFVideoFormat_YUY2);
    EXPECT_EQ(S_OK, MFGetAttributeSize(pOutput.Get(), MF_MT_FRAME_SIZE, &nWidth, &nHeight));
    EXPECT_EQ(1280u, nWidth);
    EXPECT_EQ(720u, nHeight);
}

TEST_F(MjpegDecoderTest, AFailingTypeListLeavesThatSideUnsetAndIsReported)
{
    ScopedMjpegDecoder registration;
    registration.Faults().Fail("GetOutputAvailableType", E_UNEXPECTED);
    MjpegDecoder decoder;
    ASSERT_EQ(S_OK, decoder.FindMjpegDecoder());

    EXPECT_EQ(E_UNEXPECTED, decoder.SetDecoderMediaTypes());
    ComPtr<IMFMediaType> pType;
    EXPECT_EQ(S_OK, decoder.GetDecoder()->GetInputCurrentType(0, &pType));
    EXPECT_EQ(MF_E_TRANSFORM_TYPE_NOT_SET, decoder.GetDecoder()->GetOutputCurrentType(0, &pType));
}

TEST_F(MjpegDecoderTest, CreateSampleWithBufferRefusesNullAndZero)
{
    ComPtr<IMFSample> pSample;
    EXPECT_EQ(E_FAIL, MjpegDecoder::CreateSampleWithBuffer(NULL, 100));
    EXPECT_EQ(E_FAIL, MjpegDecoder::CreateSampleWithBuffer(&pSample, 0));
    EXPECT_EQ(NULL, pSample.Get());
}

TEST_F(ConfiguredDecoderTest, DecodesAJpegToA1280x720Yuy2Picture)
{
    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(S_OK, m_decoder.DecodeMjpegSample(QuadrantJpegSample(1280, 720).Get(), &pDecoded));
    ASSERT_NE(nullptr, pDecoded.Get());

    std::vector<BYTE> yuy2 = SampleBytes(pDecoded.Get());
    ASSERT_EQ(kDecodedBytes, yuy2.size());
    const UINT kPoints[][2] = {{0, 0}, {320, 180}, {960, 180}, {320, 540}, {960, 540}, {1279, 719}};
    for (const UINT* pPoint : kPoints)
    {
        RGB_COLOUR colour = QuadrantColourAt(1280, 720, pPoint[0], pPoint[1]);
        ExpectColourAt(yuy2, pPoint[0], pPoint[1], colour);
    }
    // One round, nothing else: no draining, no streaming messages.
    EXPECT_EQ(0, m_registration.Faults().CallCount("ProcessMessage"));
}

TEST_F(ConfiguredDecoderTest, EachRoundDecodesItsOwnPicture)
{
    ComPtr<IMFSample> pWhite = WhiteJpegSample();

    ComPtr<IMFSample> pFirst;
    ComPtr<IMFSample> pSecond;
    EXPECT_EQ(S_OK, m_decoder.DecodeMjpegSample(QuadrantJpegSample(1280, 720).Get(), &pFirst));
    EXPECT_EQ(S_OK, m_decoder.DecodeMjpegSample(pWhite.Get(), &pSecond));
    ASSERT_NE(pFirst.Get(), pSecond.Get());
    ExpectColourAt(SampleBytes(pFirst.Get()), 10, 10, kQuadrantColours[0]);
    ExpectColourAt(SampleBytes(pSecond.Get()), 10, 10, RGB_COLOUR{255, 255, 255});
}

// The camera's 640 x 480 MJPG frames go to the same 1280 x 720 decoder; what
// comes out is labelled 1280 x 720 whatever it holds.
TEST_F(ConfiguredDecoderTest, ASmallerPictureStillComesOutAtTheConfiguredSize)
{
    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(S_OK, m_decoder.DecodeMjpegSample(QuadrantJpegSample(640, 480).Get(), &pDecoded));
    ASSERT_NE(nullptr, pDecoded.Get());
    std::vector<BYTE> yuy2 = SampleBytes(pDecoded.Get());
    ASSERT_EQ(kDecodedBytes, yuy2.size());
    ExpectColourAt(yuy2, 100, 100, kQuadrantColours[0]);
    ExpectColourAt(yuy2, 500, 400, kQuadrantColours[3]);
}

TEST_F(ConfiguredDecoderTest, ANullSampleIsRefused)
{
    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(E_POINTER, m_decoder.DecodeMjpegSample(NULL, &pDecoded));
    EXPECT_EQ(E_POINTER, m_decoder.DecodeMjpegSample(QuadrantJpegSample(64, 32).Get(), NULL));
    EXPECT_EQ(0, m_registration.Faults().CallCount("ProcessInput"));
}

struct FAILED_CALL_CASE
{
    const char* pszCall;
    HRESULT hr;
    int nProcessOutputCalls;
};

void PrintTo(const FAILED_CALL_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszCall;
}

class FailedDecodeCallTest : public ConfiguredDecoderTest,
                             public testing::WithParamInterface<FAILED_CALL_CASE>
{
};

// The pipeline then queues an empty 1280 x 720 frame and the placeholder
// keeps one; the delivery thread drops it.
TEST_P(FailedDecodeCallTest, StillHandsOutAnEmptySample)
{
    m_registration.Faults().Fail(GetParam().pszCall, GetParam().hr);

    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(GetParam().hr,
              m_decoder.DecodeMjpegSample(QuadrantJpegSample(1280, 720).Get(), &pDecoded));
    ASSERT_NE(nullptr, pDecoded.Get());
    DWORD cbMax = 0;
    EXPECT_TRUE(SampleBytes(pDecoded.Get(), &cbMax).empty());
    EXPECT_EQ(kDecodedBytes, cbMax);
    EXPECT_EQ(GetParam().nProcessOutputCalls, m_registration.Faults().CallCount("ProcessOutput"));
}

INSTANTIATE_TEST_SUITE_P(Calls, FailedDecodeCallTest,
                         testing::Values(FAILED_CALL_CASE{"ProcessInput", MF_E_NOTACCEPTING, 0},
                                         FAILED_CALL_CASE{"GetOutputStatus", E_UNEXPECTED, 0},
                                         FAILED_CALL_CASE{"ProcessOutput", E_FAIL, 1}),
                         [](const testing::TestParamInfo<FAILED_CALL_CASE>& info)
                         { return std::string(info.param.pszCall); });

// Decoders as the interface allows them: without GetOutputStatus, with a
// stream change on their first output, wanting more than the first input,
// providing their own samples. Every picture still comes out, at most one
// round late, and a round without one is no failure.
struct DECODER_BEHAVIOUR_CASE
{
    const char* pszName;
    bool bWithoutOutputStatus;
    bool bStreamChangeOnFirstOutput;
    bool bNeedMoreInputFirst;
    bool bProvidesSamples;
};

void PrintTo(const DECODER_BEHAVIOUR_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class DecoderBehaviourTest : public ConfiguredDecoderTest,
                             public testing::WithParamInterface<DECODER_BEHAVIOUR_CASE>
{
protected:
    void SetUp() override
    {
        ConfiguredDecoderTest::SetUp();
        const DECODER_BEHAVIOUR_CASE& testCase = GetParam();
        if (testCase.bWithoutOutputStatus)
            m_registration.Faults().Fail("GetOutputStatus", E_NOTIMPL);
        m_registration.Quirks().bStreamChangeOnFirstOutput = testCase.bStreamChangeOnFirstOutput;
        m_registration.Quirks().bNeedMoreInputFirst = testCase.bNeedMoreInputFirst;
        m_registration.Quirks().bProvidesSamples = testCase.bProvidesSamples;
    }
};

TEST_P(DecoderBehaviourTest, EveryPictureComesOutAtMostOneRoundLate)
{
    ComPtr<IMFSample> pWhite = WhiteJpegSample();

    ComPtr<IMFSample> pFirst;
    HRESULT hrFirst = m_decoder.DecodeMjpegSample(QuadrantJpegSample(1280, 720).Get(), &pFirst);
    if (GetParam().bNeedMoreInputFirst)
    {
        EXPECT_EQ(S_FALSE, hrFirst);
        if (pFirst != NULL)
        {
            EXPECT_TRUE(SampleBytes(pFirst.Get()).empty());
        }
    }
    else
    {
        EXPECT_EQ(S_OK, hrFirst);
        ASSERT_NE(nullptr, pFirst.Get());
        std::vector<BYTE> yuy2 = SampleBytes(pFirst.Get());
        ASSERT_EQ(kDecodedBytes, yuy2.size());
        ExpectColourAt(yuy2, 10, 10, kQuadrantColours[0]);
    }

    // The decoder keeps working: the next round decodes its own picture.
    ComPtr<IMFSample> pSecond;
    EXPECT_EQ(S_OK, m_decoder.DecodeMjpegSample(pWhite.Get(), &pSecond));
    ASSERT_NE(nullptr, pSecond.Get());
    std::vector<BYTE> yuy2 = SampleBytes(pSecond.Get());
    ASSERT_EQ(kDecodedBytes, yuy2.size());
    ExpectColourAt(yuy2, 10, 10, RGB_COLOUR{255, 255, 255});

    // The picture is the caller's alone: a reference kept anywhere else
    // would leak one picture a frame.
    pSecond->AddRef();
    EXPECT_EQ(1u, pSecond->Release());
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, DecoderBehaviourTest,
    testing::Values(DECODER_BEHAVIOUR_CASE{"WithoutOutputStatus", true, false, false, false},
                    DECODER_BEHAVIOUR_CASE{"StreamChangeOnFirstOutput", false, true, false, false},
                    DECODER_BEHAVIOUR_CASE{"NeedMoreInputFirstWithoutOutputStatus", true, false,
                                           true, false},
                    DECODER_BEHAVIOUR_CASE{"ProvidesSamples", false, false, false, true},
                    DECODER_BEHAVIOUR_CASE{"AllAtOnce", true, true, true, true}),
    [](const testing::TestParamInfo<DECODER_BEHAVIOUR_CASE>& info)
    { return std::string(info.param.pszName); });

TEST_F(ConfiguredDecoderTest, WithoutStreamInfoNoSampleIsHandedOut)
{
    m_registration.Faults().Fail("GetOutputStreamInfo", E_UNEXPECTED);
    ComPtr<IMFSample> pDecoded;
    EXPECT_EQ(E_UNEXPECTED,
              m_decoder.DecodeMjpegSample(QuadrantJpegSample(64, 32).Get(), &pDecoded));
    EXPECT_EQ(NULL, pDecoded.Get());
    EXPECT_EQ(0, m_registration.Faults().CallCount("ProcessOutput"));
}

TEST_F(MjpegDecoderTest, NoOperationLogsAnything)
{
    ScopedMjpegDecoder registration;
    ComPtr<IMFSample> pCompressed = QuadrantJpegSample(1280, 720);
    DebugOutputCapture capture;
    {
        MjpegDecoder decoder;
        ComPtr<IMFSample> pDecoded;
        decoder.FindMjpegDecoder();
        decoder.SetDecoderMediaTypes();
        decoder.DecodeMjpegSample(pCompressed.Get(), &pDecoded);
        registration.Faults().Fail("ProcessOutput", E_FAIL);
        decoder.DecodeMjpegSample(pCompressed.Get(), &pDecoded);
        decoder.ReleaseDecoder();
        decoder.DecodeMjpegSample(pCompressed.Get(), &pDecoded);
    }
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
}
