#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "image/nv12toyuy2kernel.h"
#include "image/yuy2tonv12kernel.h"

namespace
{
struct Nv12Size
{
    uint32_t nWidth, nHeight, nSrcPadding, nDstPadding;
};

class Nv12ToYuy2Kernel : public testing::TestWithParam<Nv12Size>
{
};

INSTANTIATE_TEST_SUITE_P(Sizes, Nv12ToYuy2Kernel,
                         testing::Values(Nv12Size{2, 2, 0, 0}, Nv12Size{640, 480, 0, 0},
                                         Nv12Size{34, 18, 6, 10}, Nv12Size{1280, 720, 64, 0}));
}  // namespace

// A YUY2 picture whose two rows of a pair carry the same chroma survives the
// trip to NV12 and back unchanged; nothing is written past a row or the end.
TEST_P(Nv12ToYuy2Kernel, UndoesTheConversionToNv12ByteForByte)
{
    const Nv12Size size = GetParam();
    const uint32_t nYuy2Stride = size.nWidth * 2;
    std::mt19937 random(size.nWidth * 131 + size.nHeight);
    std::vector<uint8_t> yuy2(static_cast<size_t>(nYuy2Stride) * size.nHeight);
    for (uint32_t y = 0; y < size.nHeight; ++y)
    {
        for (uint32_t x = 0; x < nYuy2Stride; ++x)
        {
            const bool bChroma = x % 2 == 1;
            // Chroma of an odd row repeats the row above.
            yuy2[y * nYuy2Stride + x] = bChroma && y % 2 == 1 ? yuy2[(y - 1) * nYuy2Stride + x]
                                                              : static_cast<uint8_t>(random());
        }
    }

    const uint32_t nNv12Stride = size.nWidth + size.nSrcPadding;
    std::vector<uint8_t> nv12(static_cast<size_t>(nNv12Stride) * size.nHeight * 3 / 2, 0);
    ASSERT_EQ(
        ImageStatus::Ok,
        ConvertYuy2ToNv12Kernel(Yuy2ToNv12Path::Portable, yuy2.data(), size.nWidth, size.nHeight,
                                nYuy2Stride, nv12.data(), size.nWidth, size.nHeight, nNv12Stride));

    const uint32_t nOutStride = nYuy2Stride + size.nDstPadding;
    std::vector<uint8_t> out(static_cast<size_t>(nOutStride) * size.nHeight + 16, 0xE7);
    ASSERT_EQ(ImageStatus::Ok, ConvertNv12ToYuy2Kernel(nv12.data(), size.nWidth, size.nHeight,
                                                       nNv12Stride, out.data(), nOutStride));
    for (uint32_t y = 0; y < size.nHeight; ++y)
    {
        for (uint32_t x = 0; x < nOutStride; ++x)
        {
            const uint8_t expected = x < nYuy2Stride ? yuy2[y * nYuy2Stride + x] : 0xE7;
            ASSERT_EQ(expected, out[y * nOutStride + x]) << "row " << y << " byte " << x;
        }
    }
    for (size_t i = static_cast<size_t>(nOutStride) * size.nHeight; i < out.size(); ++i)
        ASSERT_EQ(0xE7, out[i]) << "byte " << i << " past the picture";
}

TEST(Nv12ToYuy2KernelRefusals, UnusableArgumentsWriteNothing)
{
    std::vector<uint8_t> src(64 * 64 * 2, 1);
    std::vector<uint8_t> dst(64 * 64 * 2, 0xE7);
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(nullptr, 4, 4, 4, dst.data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 4, 4, 4, nullptr, 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 3, 4, 4, dst.data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 4, 3, 4, dst.data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 0, 4, 4, dst.data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 4, 4, 3, dst.data(), 8));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              ConvertNv12ToYuy2Kernel(src.data(), 4, 4, 4, dst.data(), 7));
    for (uint8_t b : dst)
        ASSERT_EQ(0xE7, b);
}
