#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "image/cropkernel.h"
#include "imagetestsupport.h"

namespace
{
struct CropCase
{
    uint32_t nSrcWidth, nSrcHeight, nDstWidth, nDstHeight;
    bool bCrop;
    CropRegion expected;
};

class CentredCrop : public testing::TestWithParam<CropCase>
{
};

const CropCase kCropCases[] = {
    // Narrower destination: cut columns.
    {1280, 720, 640, 480, true, {160, 0, 960, 720}},
    // Wider destination: cut rows; top is not made even.
    {640, 480, 1280, 720, true, {0, 60, 640, 360}},
    {640, 481, 1280, 720, true, {0, 60, 640, 360}},
    {640, 483, 1280, 720, true, {0, 61, 640, 360}},
    // The same aspect ratio: no crop.
    {640, 480, 320, 240, false, {0, 0, 640, 480}},
    {1280, 720, 1280, 720, false, {0, 0, 1280, 720}},
    // An odd crop width (1001) is lowered to 1000; left 140.
    {1280, 720, 1001, 720, true, {140, 0, 1000, 720}},
    // An odd left offset (1) is lowered to 0.
    {1280, 720, 1278, 720, true, {0, 0, 1278, 720}},
    {1280, 720, 320, 180, false, {0, 0, 1280, 720}},
    // Sizes whose cross products overflow 32 bits are compared exactly.
    {65536, 65536, 65536, 32768, true, {0, 16384, 65536, 32768}},
    {4000000000u, 2, 3000000000u, 2, true, {500000000, 0, 3000000000u, 2}},
    // A region that would come out empty is widened to the smallest whole
    // one: one macropixel wide, or one row high.
    {640, 480, 16, 4096, true, {318, 0, 2, 480}},
    {640, 480, 8192, 2, true, {0, 239, 640, 1}},
    {1, 480, 2, 8192, true, {0, 0, 1, 480}},
    // Any zero size: nothing to crop.
    {0, 480, 640, 480, false, {0, 0, 0, 480}},
    {640, 480, 0, 480, false, {0, 0, 640, 480}},
    {640, 480, 640, 0, false, {0, 0, 640, 480}},
};

INSTANTIATE_TEST_SUITE_P(Sizes, CentredCrop, testing::ValuesIn(kCropCases));

}  // namespace

TEST_P(CentredCrop, KeepsTheLargestCentredRegionOfTheDestinationRatio)
{
    const CropCase& c = GetParam();
    CropRegion region = {};
    EXPECT_EQ(c.bCrop,
              ComputeCentredCrop(c.nSrcWidth, c.nSrcHeight, c.nDstWidth, c.nDstHeight, &region));
    EXPECT_EQ(c.expected.nLeft, region.nLeft);
    EXPECT_EQ(c.expected.nTop, region.nTop);
    EXPECT_EQ(c.expected.nWidth, region.nWidth);
    EXPECT_EQ(c.expected.nHeight, region.nHeight);
}

TEST(CopyRegion, ANarrowerRegionIsCopiedRowByRow)
{
    const uint32_t nWidth = 24, nHeight = 10;
    std::vector<uint8_t> src = NumberedPicture(nWidth * nHeight * 2);
    GuardedBuffer dst(10 * 2 * 6, 1);
    ASSERT_EQ(ImageStatus::Ok, CopyRegion(src.data(), nWidth, nHeight, 2, 6, 3, dst.Data(), 10, 6));
    for (uint32_t y = 0; y < 6; ++y)
    {
        for (uint32_t b = 0; b < 20; ++b)
            ASSERT_EQ(src[(y + 3) * nWidth * 2 + 12 + b], dst[y * 20 + b]);
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST(CopyRegion, AFullWidthRegionIsOneBlock)
{
    const uint32_t nWidth = 16, nHeight = 9;
    std::vector<uint8_t> src = NumberedPicture(nWidth * nHeight * 4);
    GuardedBuffer dst(nWidth * 4 * 5, 3);
    ASSERT_EQ(ImageStatus::Ok,
              CopyRegion(src.data(), nWidth, nHeight, 4, 0, 2, dst.Data(), nWidth, 5));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(src[2 * nWidth * 4 + i], dst[i]);
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST(CopyRegion, RegionsReachingPastTheSourceAreRefusedUncopied)
{
    std::vector<uint8_t> src = NumberedPicture(16 * 8 * 2);
    GuardedBuffer dst(16 * 8 * 2, 0, 0x77);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 16, 8, 2, 2, 0, dst.Data(), 15, 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 16, 8, 2, 0, 1, dst.Data(), 16, 8));
    // Sums that would wrap around 32 bits are refused as well.
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 16, 8, 2, 0xFFFFFFF0u, 0, dst.Data(), 0x20, 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 16, 8, 2, 0, 0xFFFFFFFFu, dst.Data(), 16, 2));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(0x77, dst[i]);
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST(CopyRegion, NullPointersAndZeroPixelSizesAreRefused)
{
    std::vector<uint8_t> src = NumberedPicture(4 * 4 * 2);
    std::vector<uint8_t> dst(32);
    EXPECT_EQ(ImageStatus::InvalidArgument, CopyRegion(nullptr, 4, 4, 2, 0, 0, dst.data(), 4, 4));
    EXPECT_EQ(ImageStatus::InvalidArgument, CopyRegion(src.data(), 4, 4, 2, 0, 0, nullptr, 4, 4));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 4, 4, 0, 0, 0, dst.data(), 4, 4));
}

TEST(CopyRegion, SourcesBeyondTheAddressSpaceAreRefused)
{
    std::vector<uint8_t> src(16);
    std::vector<uint8_t> dst(16);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              CopyRegion(src.data(), 0xFFFFFFFFu, 0xFFFFFFFFu, 4, 0, 0, dst.data(), 2, 2));
}

// The crop of a resize, end to end: the centre of 1280 x 720 for 640 x 480.
TEST(CopyRegion, TheCentredCropOfAWideFrameHoldsItsMiddleColumns)
{
    std::vector<uint8_t> src = NumberedPicture(1280 * 720 * 2);
    CropRegion region;
    ASSERT_TRUE(ComputeCentredCrop(1280, 720, 640, 480, &region));
    std::vector<uint8_t> dst(static_cast<size_t>(region.nWidth) * region.nHeight * 2);
    ASSERT_EQ(ImageStatus::Ok, CopyRegion(src.data(), 1280, 720, 2, region.nLeft, region.nTop,
                                          dst.data(), region.nWidth, region.nHeight));
    EXPECT_EQ(src[160 * 2], dst[0]);
    EXPECT_EQ(src[719 * 2560 + 1119 * 2 + 1], dst.back());
}
