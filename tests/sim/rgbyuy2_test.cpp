#include <gtest/gtest.h>

#include <vector>

#include "rgbyuy2.h"

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
