#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>

#include <vector>

#include "scopedmediafoundation.h"
#include "simulatedwebcamframes.h"
#include "testpictures.h"

namespace
{
struct PictureSize
{
    UINT32 nWidth;
    UINT32 nHeight;
};

class WebcamFrameCounter : public ::testing::TestWithParam<PictureSize>
{
};

}  // namespace

TEST_P(WebcamFrameCounter, ReadsBackFromYuy2AndBgrPictures)
{
    const PictureSize size = GetParam();
    const UINT32 cbYuy2Stride = size.nWidth * 2 + 6;  // rows with padding
    const UINT32 cbBgrStride = size.nWidth * 3;
    std::vector<BYTE> yuy2(static_cast<size_t>(cbYuy2Stride) * size.nHeight);
    std::vector<BYTE> bgr(static_cast<size_t>(cbBgrStride) * size.nHeight);

    const UINT32 frames[] = {0, 1, 2, 0x55555, 12345, kWebcamCounterModulus - 1};
    for (UINT32 nFrame : frames)
    {
        ASSERT_TRUE(
            DrawWebcamFrameYuy2(nFrame, size.nWidth, size.nHeight, yuy2.data(), cbYuy2Stride));
        ASSERT_TRUE(
            DrawWebcamFrameBgr24(nFrame, size.nWidth, size.nHeight, bgr.data(), cbBgrStride));
        EXPECT_EQ(static_cast<int>(nFrame),
                  ReadWebcamFrameCounterYuy2(yuy2.data(), size.nWidth, size.nHeight, cbYuy2Stride));
        EXPECT_EQ(static_cast<int>(nFrame),
                  ReadWebcamFrameCounterBgr24(bgr.data(), size.nWidth, size.nHeight, cbBgrStride));
    }
    // The code holds the low bits: the count wraps.
    ASSERT_TRUE(DrawWebcamFrameYuy2(kWebcamCounterModulus + 7, size.nWidth, size.nHeight,
                                    yuy2.data(), cbYuy2Stride));
    EXPECT_EQ(7, ReadWebcamFrameCounterYuy2(yuy2.data(), size.nWidth, size.nHeight, cbYuy2Stride));
}

INSTANTIATE_TEST_SUITE_P(Sizes, WebcamFrameCounter,
                         ::testing::Values(PictureSize{kWebcamMinWidth, kWebcamMinHeight},
                                           PictureSize{50, 9}, PictureSize{176, 144},
                                           PictureSize{640, 480}, PictureSize{1280, 720},
                                           PictureSize{1918, 1081}));

TEST(WebcamFrames, TheCounterSurvivesHalvingThePicture)
{
    const UINT32 nWidth = 640;
    const UINT32 nHeight = 480;
    std::vector<BYTE> yuy2(nWidth * 2 * nHeight);
    ASSERT_TRUE(DrawWebcamFrameYuy2(4711, nWidth, nHeight, yuy2.data(), nWidth * 2));
    // Every second luma sample of every second row: a 320x240 picture.
    EXPECT_EQ(4711, ReadWebcamFrameCounter(yuy2.data(), nWidth / 2, nHeight / 2, 4, nWidth * 4));
}

TEST(WebcamFrames, ConsecutiveFramesMoveAndMatchPixelByPixel)
{
    const UINT32 nWidth = 320;
    const UINT32 nHeight = 240;
    std::vector<BYTE> first(nWidth * 2 * nHeight);
    std::vector<BYTE> second(first.size());
    ASSERT_TRUE(DrawWebcamFrameYuy2(10, nWidth, nHeight, first.data(), nWidth * 2));
    ASSERT_TRUE(DrawWebcamFrameYuy2(11, nWidth, nHeight, second.data(), nWidth * 2));

    // Below the band the bars have moved on.
    size_t nBandBytes = static_cast<size_t>(nHeight / 8) * nWidth * 2;
    EXPECT_FALSE(std::equal(first.begin() + nBandBytes, first.end(), second.begin() + nBandBytes));

    // Each YUY2 pair holds the luma of both pixels and the chroma of the left.
    for (UINT32 y = 0; y < nHeight; y += 37)
    {
        for (UINT32 x = 0; x < nWidth; x += 2)
        {
            BYTE bY0 = 0, bU = 0, bV = 0, bY1 = 0, bU1 = 0, bV1 = 0;
            GetWebcamPixel(11, nWidth, nHeight, x, y, &bY0, &bU, &bV);
            GetWebcamPixel(11, nWidth, nHeight, x + 1, y, &bY1, &bU1, &bV1);
            const BYTE* pPair = &second[(static_cast<size_t>(y) * nWidth + x) * 2];
            ASSERT_EQ(bY0, pPair[0]);
            ASSERT_EQ(bU, pPair[1]);
            ASSERT_EQ(bY1, pPair[2]);
            ASSERT_EQ(bV, pPair[3]);
        }
    }
}

TEST(WebcamFrames, PicturesWithoutACleanBarCodeReadAsMinusOne)
{
    const UINT32 nWidth = 160;
    const UINT32 nHeight = 120;
    std::vector<BYTE> yuy2(nWidth * 2 * nHeight, 128);
    EXPECT_EQ(-1, ReadWebcamFrameCounterYuy2(yuy2.data(), nWidth, nHeight, nWidth * 2));

    // A black marker cell turned white.
    ASSERT_TRUE(DrawWebcamFrameYuy2(99, nWidth, nHeight, yuy2.data(), nWidth * 2));
    UINT32 nCell = nWidth / 24;
    for (UINT32 y = 0; y < nHeight / 8; ++y)
    {
        for (UINT32 x = nCell; x < 2 * nCell; ++x)
            yuy2[(static_cast<size_t>(y) * nWidth + x) * 2] = 235;
    }
    EXPECT_EQ(-1, ReadWebcamFrameCounterYuy2(yuy2.data(), nWidth, nHeight, nWidth * 2));

    EXPECT_EQ(-1, ReadWebcamFrameCounterYuy2(NULL, nWidth, nHeight, nWidth * 2));
    EXPECT_EQ(-1, ReadWebcamFrameCounterYuy2(yuy2.data(), 20, nHeight, nWidth * 2));
}

class WebcamJpeg : public ::testing::Test
{
protected:
    ScopedMediaFoundation m_mediaFoundation;
};

TEST_F(WebcamJpeg, EncodedFramesDecodeToThePatternAndTheirCounter)
{
    const UINT32 nWidth = 320;
    const UINT32 nHeight = 240;
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeWebcamFrameJpeg(321, nWidth, nHeight, &jpeg));
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(0xFF, jpeg[0]);  // SOI
    EXPECT_EQ(0xD8, jpeg[1]);

    UINT32 nDecodedWidth = 0;
    UINT32 nDecodedHeight = 0;
    std::vector<BYTE> decoded;
    ASSERT_EQ(S_OK, DecodeWebcamJpeg(jpeg.data(), static_cast<UINT32>(jpeg.size()), &nDecodedWidth,
                                     &nDecodedHeight, &decoded));
    ASSERT_EQ(nWidth, nDecodedWidth);
    ASSERT_EQ(nHeight, nDecodedHeight);
    EXPECT_EQ(321, ReadWebcamFrameCounterBgr24(decoded.data(), nWidth, nHeight, nWidth * 3));

    std::vector<BYTE> expected(nWidth * 3 * nHeight);
    std::vector<BYTE> neighbour(expected.size());
    ASSERT_TRUE(DrawWebcamFrameBgr24(321, nWidth, nHeight, expected.data(), nWidth * 3));
    ASSERT_TRUE(DrawWebcamFrameBgr24(325, nWidth, nHeight, neighbour.data(), nWidth * 3));
    double fError = MeanAbsoluteDifference(decoded, expected);
    EXPECT_LT(fError, 4.0);
    // The comparison tells frames apart: another frame is much further away.
    EXPECT_GT(MeanAbsoluteDifference(decoded, neighbour), 4 * fError + 4.0);
}

TEST_F(WebcamJpeg, DecodingRefusesWhatIsNotAJpeg)
{
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    std::vector<BYTE> decoded;
    std::vector<BYTE> garbage(1000, 0x5A);
    EXPECT_TRUE(FAILED(DecodeWebcamJpeg(garbage.data(), static_cast<UINT32>(garbage.size()),
                                        &nWidth, &nHeight, &decoded)));

    // A picture in another container.
    static const BYTE kBmp[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   40,
                                0,   0,   0,  1, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24,  0,
                                0,   0,   0,  0, 4, 0, 0, 0, 0, 0, 0,  0, 0, 0,   0,
                                0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 255, 0};
    EXPECT_TRUE(FAILED(DecodeWebcamJpeg(kBmp, sizeof(kBmp), &nWidth, &nHeight, &decoded)));
    EXPECT_EQ(E_INVALIDARG, DecodeWebcamJpeg(kBmp, 0, &nWidth, &nHeight, &decoded));
}
