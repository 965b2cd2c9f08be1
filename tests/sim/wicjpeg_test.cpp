#include <gtest/gtest.h>

#include <vector>

#include "rgbyuy2.h"
#include "testpictures.h"
#include "wicjpeg.h"

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
