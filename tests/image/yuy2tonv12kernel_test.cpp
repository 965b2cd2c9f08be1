#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "image/yuy2tonv12kernel.h"
#include "imagetestsupport.h"

namespace
{
const Yuy2ToNv12Path kAllPaths[] = {Yuy2ToNv12Path::Portable, Yuy2ToNv12Path::Sse2,
                                    Yuy2ToNv12Path::Avx2};

std::string PathName(Yuy2ToNv12Path ePath)
{
    switch (ePath)
    {
    case Yuy2ToNv12Path::Portable:
        return "Portable";
    case Yuy2ToNv12Path::Sse2:
        return "Sse2";
    case Yuy2ToNv12Path::Avx2:
        return "Avx2";
    }
    return "?";
}

// How many macropixels at the start of a row the path averages with
// rounding; the rest truncate.
uint32_t RoundedMacropixels(Yuy2ToNv12Path ePath, uint32_t nWidth)
{
    return ePath == Yuy2ToNv12Path::Portable ? 0 : (nWidth / 2) / 4 * 4;
}

ImageStatus Convert(Yuy2ToNv12Path ePath, const uint8_t* pSrc, uint32_t nWidth, uint32_t nHeight,
                    uint32_t nSrcStride, uint8_t* pDst, uint32_t nDstStride)
{
    return ConvertYuy2ToNv12Kernel(ePath, pSrc, nWidth, nHeight, nSrcStride, pDst, nWidth, nHeight,
                                   nDstStride);
}

class Yuy2ToNv12KernelPaths : public testing::TestWithParam<Yuy2ToNv12Path>
{
protected:
    void SetUp() override
    {
        if (!IsYuy2ToNv12PathAvailable(GetParam()))
            GTEST_SKIP() << "processor lacks " << PathName(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(AllPaths, Yuy2ToNv12KernelPaths, testing::ValuesIn(kAllPaths),
                         [](const testing::TestParamInfo<Yuy2ToNv12Path>& info)
                         { return PathName(info.param); });
}  // namespace

TEST_P(Yuy2ToNv12KernelPaths, TwoByTwoCopiesLumaAndTruncatesChroma)
{
    const uint8_t src[] = {10, 100, 20, 200, 30, 101, 40, 201};
    GuardedBuffer dst(6);
    ASSERT_EQ(ImageStatus::Ok, Convert(GetParam(), src, 2, 2, 4, dst.Data(), 2));
    const uint8_t expected[] = {10, 20, 30, 40, 100, 200};
    for (size_t i = 0; i < sizeof(expected); ++i)
        EXPECT_EQ(expected[i], dst[i]) << "byte " << i;
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST_P(Yuy2ToNv12KernelPaths, EightByTwoRoundsHalfUpOnlyInSimdBlocks)
{
    uint8_t src[2][16] = {};
    const uint8_t upper[] = {10, 100, 20, 200};
    const uint8_t lower[] = {30, 101, 40, 201};
    for (int b = 0; b < 4; ++b)
    {
        src[0][b] = upper[b];
        src[1][b] = lower[b];
    }
    GuardedBuffer dst(8 * 3);
    ASSERT_EQ(ImageStatus::Ok, Convert(GetParam(), &src[0][0], 8, 2, 16, dst.Data(), 8));
    const bool bRounds = GetParam() != Yuy2ToNv12Path::Portable;
    EXPECT_EQ(bRounds ? 101 : 100, dst[16]);
    EXPECT_EQ(bRounds ? 201 : 200, dst[17]);
    EXPECT_EQ(10, dst[0]);
    EXPECT_EQ(20, dst[1]);
    EXPECT_EQ(30, dst[8]);
    EXPECT_EQ(40, dst[9]);
    EXPECT_TRUE(dst.GuardsIntact());
}

// Widths 8 (one SSE2 block), 14 (a block and three macropixels), 16 (one
// AVX2 step), 30 (a step, a block and three) and every width around them:
// rounding happens in whole blocks of four macropixels and nowhere else.
TEST_P(Yuy2ToNv12KernelPaths, ChromaRoundsInWholeBlocksAndTruncatesTheRemainder)
{
    for (uint32_t nWidth = 2; nWidth <= 70; nWidth += 2)
    {
        const uint32_t nMacropixels = nWidth / 2;
        std::vector<uint8_t> src(nWidth * 2 * 2);
        for (uint32_t j = 0; j < nMacropixels; ++j)
        {
            uint8_t* a = &src[4 * j];
            uint8_t* b = &src[nWidth * 2 + 4 * j];
            a[0] = static_cast<uint8_t>(j);
            a[2] = static_cast<uint8_t>(j + 1);
            b[0] = static_cast<uint8_t>(j + 2);
            b[2] = static_cast<uint8_t>(j + 3);
            a[1] = static_cast<uint8_t>(50 + j);  // odd sums: x.5 averages
            b[1] = static_cast<uint8_t>(51 + j);
            a[3] = static_cast<uint8_t>(150 + j);
            b[3] = static_cast<uint8_t>(151 + j);
        }
        GuardedBuffer dst(nWidth * 3);
        ASSERT_EQ(ImageStatus::Ok,
                  Convert(GetParam(), src.data(), nWidth, 2, nWidth * 2, dst.Data(), nWidth));
        const uint32_t nRounded = RoundedMacropixels(GetParam(), nWidth);
        for (uint32_t j = 0; j < nMacropixels; ++j)
        {
            const uint32_t nUp = j < nRounded ? 1 : 0;
            ASSERT_EQ(50 + j + nUp, dst[2 * nWidth + 2 * j]) << "width " << nWidth << " j " << j;
            ASSERT_EQ(150 + j + nUp, dst[2 * nWidth + 2 * j + 1]) << "width " << nWidth;
            ASSERT_EQ(j, dst[2 * j]);
            ASSERT_EQ(j + 1, dst[2 * j + 1]);
            ASSERT_EQ(j + 2, dst[nWidth + 2 * j]);
            ASSERT_EQ(j + 3, dst[nWidth + 2 * j + 1]);
        }
        ASSERT_TRUE(dst.GuardsIntact()) << "width " << nWidth;
    }
}

TEST_P(Yuy2ToNv12KernelPaths, OddHeightLeavesTheLastRowUnreadAndUnwritten)
{
    const uint32_t nWidth = 16, nHeight = 5;
    std::mt19937 random(5);
    // Only the four rows that are read exist; the sanitizer reports a read
    // of the fifth.
    std::vector<uint8_t> src(nWidth * 2 * 4);
    for (uint8_t& b : src)
        b = static_cast<uint8_t>(random());
    const uint8_t kUntouched = 0x3C;
    GuardedBuffer dst(nWidth * nHeight + nWidth * (nHeight / 2), 0, kUntouched);
    ASSERT_EQ(ImageStatus::Ok,
              Convert(GetParam(), src.data(), nWidth, nHeight, nWidth * 2, dst.Data(), nWidth));
    for (uint32_t x = 0; x < nWidth; ++x)
    {
        EXPECT_EQ(kUntouched, dst[4 * nWidth + x]) << "last luma row, x " << x;
        EXPECT_EQ(src[3 * nWidth * 2 + 2 * x], dst[3 * nWidth + x]);
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST_P(Yuy2ToNv12KernelPaths, RowPaddingOfBothPicturesIsLeftAlone)
{
    const uint32_t nWidth = 38, nHeight = 6, nSrcStride = nWidth * 2 + 9, nDstStride = nWidth + 7;
    std::mt19937 random(7);
    GuardedBuffer src(nSrcStride * nHeight);
    src.FillRandom(random);
    const uint8_t kPadding = 0xEE;
    GuardedBuffer dst(nDstStride * nHeight * 3 / 2, 0, kPadding);
    ASSERT_EQ(ImageStatus::Ok,
              Convert(GetParam(), src.Data(), nWidth, nHeight, nSrcStride, dst.Data(), nDstStride));
    for (uint32_t r = 0; r < nHeight + nHeight / 2; ++r)
    {
        for (uint32_t x = nWidth; x < nDstStride; ++x)
            ASSERT_EQ(kPadding, dst[r * nDstStride + x]) << "row " << r << " x " << x;
    }
    for (uint32_t y = 0; y < nHeight; ++y)
    {
        for (uint32_t x = 0; x < nWidth; ++x)
            ASSERT_EQ(src[y * nSrcStride + 2 * x], dst[y * nDstStride + x]);
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST_P(Yuy2ToNv12KernelPaths, DifferingSizesWriteNothing)
{
    std::vector<uint8_t> src(640 * 480 * 2, 0x80);
    GuardedBuffer dst(1280 * 720 * 3 / 2, 0, 0x11);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertYuy2ToNv12Kernel(GetParam(), src.data(), 640, 480, 1280, dst.Data(), 1280, 720,
                                      1280));
    EXPECT_EQ(
        ImageStatus::InvalidArgument,
        ConvertYuy2ToNv12Kernel(GetParam(), src.data(), 640, 480, 1280, dst.Data(), 640, 240, 640));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(0x11, dst[i]) << "byte " << i;
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST_P(Yuy2ToNv12KernelPaths, NullPointersWriteNothing)
{
    std::vector<uint8_t> src(8 * 2 * 2, 0x80);
    GuardedBuffer dst(8 * 3, 0, 0x11);
    EXPECT_EQ(ImageStatus::InvalidArgument, Convert(GetParam(), nullptr, 8, 2, 16, dst.Data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument, Convert(GetParam(), src.data(), 8, 2, 16, nullptr, 8));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(0x11, dst[i]);
}

TEST_P(Yuy2ToNv12KernelPaths, StridesShorterThanARowWriteNothing)
{
    std::vector<uint8_t> src(16 * 2 * 4, 0x80);
    GuardedBuffer dst(16 * 4 * 2, 0, 0x11);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              Convert(GetParam(), src.data(), 16, 4, 31, dst.Data(), 16));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              Convert(GetParam(), src.data(), 16, 4, 32, dst.Data(), 15));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(0x11, dst[i]);
}

TEST_P(Yuy2ToNv12KernelPaths, BlocksBeyondTheAddressSpaceAreRefusedUntouched)
{
    std::vector<uint8_t> src(16, 0x80);
    GuardedBuffer dst(16, 0, 0x11);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              Convert(GetParam(), src.data(), 2, 0xFFFFFFFEu, 0xFFFFFFFFu, dst.Data(), 2));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              Convert(GetParam(), src.data(), 2, 0xFFFFFFFEu, 4, dst.Data(), 0xFFFFFFFFu));
    for (size_t i = 0; i < dst.Size(); ++i)
        ASSERT_EQ(0x11, dst[i]);
    EXPECT_TRUE(dst.GuardsIntact());
}

// An odd width has (width - 1) / 2 whole macropixels; the half macropixel at
// the end of each row is neither read nor written.
TEST_P(Yuy2ToNv12KernelPaths, OddWidthsTouchOnlyWholeMacropixels)
{
    for (uint32_t nWidth : {1u, 3u, 7u, 9u, 17u, 33u})
    {
        const uint32_t nMacropixels = nWidth / 2, nHeight = 4;
        const uint32_t nSrcStride = 4 * nMacropixels;  // the half macropixel is not there
        std::vector<uint8_t> src(nSrcStride * nHeight + (nSrcStride == 0 ? 1 : 0));
        std::mt19937 random(nWidth);
        for (uint8_t& b : src)
            b = static_cast<uint8_t>(random());
        const uint8_t kUntouched = 0x5A;
        GuardedBuffer dst(nWidth * nHeight * 3 / 2, 0, kUntouched);
        ASSERT_EQ(ImageStatus::Ok,
                  Convert(GetParam(), src.data(), nWidth, nHeight, nSrcStride, dst.Data(), nWidth));
        for (uint32_t r = 0; r < nHeight; ++r)
        {
            EXPECT_EQ(kUntouched, dst[r * nWidth + nWidth - 1]) << "width " << nWidth;
            for (uint32_t x = 0; x + 1 < nWidth; ++x)
                EXPECT_EQ(src[r * nSrcStride + 2 * x], dst[r * nWidth + x]);
        }
        for (uint32_t r = 0; r < nHeight / 2; ++r)
            EXPECT_EQ(kUntouched, dst[(nHeight + r) * nWidth + nWidth - 1]);
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

// Random pictures of many sizes, strides and misalignments: every SIMD path
// gives the portable luma exactly and its chroma within one, the SIMD paths
// agree exactly, and nothing outside the pixels is written.
TEST(Yuy2ToNv12Kernel, SimdPathsMatchThePortablePathOnRandomPictures)
{
    std::mt19937 random(20240601);
    std::uniform_int_distribution<uint32_t> width(1, 150), height(1, 9), padding(0, 20),
        offset(0, 31);
    for (int nCase = 0; nCase < 300; ++nCase)
    {
        const uint32_t nWidth = width(random), nHeight = height(random);
        const uint32_t nSrcStride = 4 * (nWidth / 2) + padding(random);
        const uint32_t nDstStride = nWidth + padding(random);
        const size_t cbDst = static_cast<size_t>(nDstStride) * nHeight * 3 / 2 + nDstStride;
        GuardedBuffer src(static_cast<size_t>(nSrcStride) * nHeight + 1, offset(random));
        src.FillRandom(random);
        const uint8_t kFill = static_cast<uint8_t>(random());
        GuardedBuffer reference(cbDst, offset(random), kFill);
        ASSERT_EQ(ImageStatus::Ok, Convert(Yuy2ToNv12Path::Portable, src.Data(), nWidth, nHeight,
                                           nSrcStride, reference.Data(), nDstStride));
        GuardedBuffer sse2(cbDst, offset(random), kFill);
        GuardedBuffer avx2(cbDst, offset(random), kFill);
        ASSERT_EQ(ImageStatus::Ok, Convert(Yuy2ToNv12Path::Sse2, src.Data(), nWidth, nHeight,
                                           nSrcStride, sse2.Data(), nDstStride));
        ASSERT_EQ(ImageStatus::Ok, Convert(Yuy2ToNv12Path::Avx2, src.Data(), nWidth, nHeight,
                                           nSrcStride, avx2.Data(), nDstStride));

        const size_t cbLuma = static_cast<size_t>(nDstStride) * nHeight;
        const size_t cbRowWritten = 2 * (nWidth / 2);
        auto written = [&](size_t i)
        {
            const size_t nRow = i / nDstStride, x = i % nDstStride;
            const bool bLumaRow = nRow < 2 * (nHeight / 2);
            const bool bChromaRow = nRow >= nHeight && nRow < nHeight + nHeight / 2;
            return x < cbRowWritten && (bLumaRow || bChromaRow);
        };
        for (size_t i = 0; i < cbDst; ++i)
        {
            if (!written(i))
            {
                ASSERT_EQ(kFill, reference[i]) << "case " << nCase << " unwritten byte " << i;
            }
            const int nDifference = static_cast<int>(sse2[i]) - reference[i];
            if (i < cbLuma)
            {
                ASSERT_EQ(0, nDifference) << "case " << nCase << " luma byte " << i;
            }
            else
            {
                ASSERT_TRUE(nDifference == 0 || nDifference == 1)
                    << "case " << nCase << " chroma byte " << i;
            }
            ASSERT_EQ(sse2[i], avx2[i]) << "case " << nCase << " byte " << i;
        }
        ASSERT_TRUE(reference.GuardsIntact() && sse2.GuardsIntact() && avx2.GuardsIntact());
    }
}

TEST(Yuy2ToNv12Kernel, TheBestPathIsTheWidestAvailable)
{
    Yuy2ToNv12Path eBest = GetBestYuy2ToNv12Path();
    EXPECT_TRUE(IsYuy2ToNv12PathAvailable(eBest));
    EXPECT_TRUE(IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Portable));
    if (IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Avx2))
    {
        EXPECT_EQ(Yuy2ToNv12Path::Avx2, eBest);
    }
    else if (IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Sse2))
    {
        EXPECT_EQ(Yuy2ToNv12Path::Sse2, eBest);
    }
}
