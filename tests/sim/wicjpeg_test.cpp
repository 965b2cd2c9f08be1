#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>

#include <vector>

#include "rgbyuy2.h"
#include "testpictures.h"
#include "wicjpeg.h"

namespace
{
struct COLOUR_CASE
{
    BYTE r, g, b;
};

// BT.601, limited range, computed in floating point.
void ReferenceYuv(const COLOUR_CASE& c, double* pY, double* pU, double* pV)
{
    *pY = 16.0 + (65.481 * c.r + 128.553 * c.g + 24.966 * c.b) / 255.0;
    *pU = 128.0 + (-37.797 * c.r - 74.203 * c.g + 112.0 * c.b) / 255.0;
    *pV = 128.0 + (112.0 * c.r - 93.786 * c.g - 18.214 * c.b) / 255.0;
}

class ColourTest : public testing::TestWithParam<COLOUR_CASE>
{
};
}  // namespace

TEST_P(ColourTest, RgbToYuvFollowsBt601LimitedRange)
{
    double y, u, v;
    ReferenceYuv(GetParam(), &y, &u, &v);
    BYTE actualY, actualU, actualV;
    RgbToYuv(GetParam().r, GetParam().g, GetParam().b, &actualY, &actualU, &actualV);
    EXPECT_NEAR(y, actualY, 1.0);
    EXPECT_NEAR(u, actualU, 1.0);
    EXPECT_NEAR(v, actualV, 1.0);
}

TEST_P(ColourTest, YuvToRgbReturnsTheColour)
{
    BYTE y, u, v, r, g, b;
    RgbToYuv(GetParam().r, GetParam().g, GetParam().b, &y, &u, &v);
    YuvToRgb(y, u, v, &r, &g, &b);
    EXPECT_NEAR(GetParam().r, r, 3);
    EXPECT_NEAR(GetParam().g, g, 3);
    EXPECT_NEAR(GetParam().b, b, 3);
}

INSTANTIATE_TEST_SUITE_P(Colours, ColourTest,
                         testing::Values(COLOUR_CASE{0, 0, 0}, COLOUR_CASE{255, 255, 255},
                                         COLOUR_CASE{255, 0, 0}, COLOUR_CASE{0, 255, 0},
                                         COLOUR_CASE{0, 0, 255}, COLOUR_CASE{128, 64, 200},
                                         COLOUR_CASE{17, 230, 99}));

TEST(Yuy2Conversion, AnOddWidthPairsTheLastPixelWithItselfAndWritesNoFurther)
{
    // Three BGR pixels: red, green, blue; a guard pair after the two output pairs.
    const BYTE bgr[] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
    BYTE yuy2[12];
    for (BYTE& b : yuy2)
        b = 0xEE;
    ConvertBgrToYuy2(bgr, sizeof(bgr), 3, 3, 1, yuy2, 8);

    BYTE y, u, v;
    RgbToYuv(0, 0, 255, &y, &u, &v);
    EXPECT_EQ(y, yuy2[4]);
    EXPECT_EQ(y, yuy2[6]);
    EXPECT_EQ(u, yuy2[5]);
    EXPECT_EQ(v, yuy2[7]);
    for (int i = 8; i < 12; ++i)
        EXPECT_EQ(0xEE, yuy2[i]);
}

TEST(WicJpeg, ABgraPictureComesBackWithinJpegLoss)
{
    const UINT kWidth = 96;
    const UINT kHeight = 64;
    std::vector<BYTE> bgra = QuadrantPicture(kWidth, kHeight);
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), kWidth, kHeight, kWidth * 4, &jpeg));
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(0xFF, jpeg[0]);
    EXPECT_EQ(0xD8, jpeg[1]);

    std::vector<BYTE> decoded;
    UINT nWidth = 0;
    UINT nHeight = 0;
    ASSERT_EQ(S_OK, DecodeJpegToBgra(jpeg.data(), jpeg.size(), &decoded, &nWidth, &nHeight));
    ASSERT_EQ(kWidth, nWidth);
    ASSERT_EQ(kHeight, nHeight);
    for (UINT y = 4; y < kHeight; y += 16)
    {
        for (UINT x = 4; x < kWidth; x += 16)
        {
            size_t i = (static_cast<size_t>(y) * kWidth + x) * 4;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(bgra[i + c], decoded[i + c], 10) << x << "," << y << " channel " << c;
        }
    }
}

TEST(WicJpeg, AYuy2PictureComesBackWithinJpegLoss)
{
    const UINT kWidth = 64;
    const UINT kHeight = 48;
    std::vector<BYTE> yuy2(kWidth * kHeight * 2);
    for (UINT y = 0; y < kHeight; ++y)
    {
        for (UINT x = 0; x < kWidth; x += 2)
        {
            BYTE* p = &yuy2[(y * kWidth + x) * 2];
            // A vertical ramp of luma, two chroma halves, all inside the RGB
            // gamut so that nothing clips on the way.
            p[0] = p[2] = static_cast<BYTE>(90 + y);
            p[1] = x < kWidth / 2 ? 108 : 148;
            p[3] = 128;
        }
    }
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeYuy2ToJpeg(yuy2.data(), kWidth, kHeight, kWidth * 2, &jpeg, 0.95f));

    std::vector<BYTE> bgra;
    UINT nWidth = 0;
    UINT nHeight = 0;
    ASSERT_EQ(S_OK, DecodeJpegToBgra(jpeg.data(), jpeg.size(), &bgra, &nWidth, &nHeight));
    ASSERT_EQ(kWidth, nWidth);
    std::vector<BYTE> back(kWidth * kHeight * 2);
    ConvertBgrToYuy2(bgra.data(), kWidth * 4, 4, kWidth, kHeight, back.data(), kWidth * 2);
    const UINT kPoints[][2] = {{8, 4}, {56, 4}, {8, 40}, {56, 40}};
    for (const UINT* pPoint : kPoints)
    {
        BYTE y0, u0, v0, y1, u1, v1;
        Yuy2PixelAt(yuy2, kWidth, pPoint[0], pPoint[1], &y0, &u0, &v0);
        Yuy2PixelAt(back, kWidth, pPoint[0], pPoint[1], &y1, &u1, &v1);
        EXPECT_NEAR(y0, y1, 6) << pPoint[0] << "," << pPoint[1];
        EXPECT_NEAR(u0, u1, 6) << pPoint[0] << "," << pPoint[1];
        EXPECT_NEAR(v0, v1, 6) << pPoint[0] << "," << pPoint[1];
    }
}

TEST(WicJpeg, AnythingButAJpegIsRefused)
{
    const BYTE png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0};
    std::vector<BYTE> bgra;
    UINT nWidth = 0;
    UINT nHeight = 0;
    EXPECT_TRUE(FAILED(DecodeJpegToBgra(png, sizeof(png), &bgra, &nWidth, &nHeight)));
    EXPECT_EQ(E_INVALIDARG, DecodeJpegToBgra(png, 0, &bgra, &nWidth, &nHeight));
}
