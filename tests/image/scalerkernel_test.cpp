#include <gtest/gtest.h>

#include <math.h>
#include <stdint.h>

#include <random>
#include <vector>

#include "image/cpufeatures.h"
#include "image/scalerkernel.h"
#include "imagetestsupport.h"

namespace
{
const ScalerFilter kAllFilters[] = {ScalerFilter::Automatic, ScalerFilter::Bilinear,
                                    ScalerFilter::Area};

struct Size
{
    uint32_t nWidth, nHeight;
};

// Sizes in and out: enlarging, shrinking a little and a lot, odd output
// widths, single rows and columns.
const Size kScaleCases[][2] = {
    {{8, 6}, {8, 6}},     {{16, 8}, {24, 12}},    {{24, 12}, {16, 8}},  {{40, 20}, {10, 5}},
    {{64, 36}, {16, 9}},  {{30, 17}, {61, 33}},   {{2, 1}, {7, 5}},     {{6, 4}, {1, 1}},
    {{96, 54}, {17, 13}}, {{10, 10}, {33, 3}},    {{48, 36}, {64, 36}}, {{128, 72}, {31, 19}},
    {{18, 2}, {3, 40}},   {{320, 180}, {80, 45}},
};

ScalerGeometry Geometry(ScalerLayout eLayout, Size in, Size out, uint32_t nInPadding = 0,
                        uint32_t nOutPadding = 0)
{
    const uint32_t nBytes = eLayout == ScalerLayout::Yuy2 ? 2 : 4;
    ScalerGeometry geometry = {eLayout,
                               in.nWidth,
                               in.nHeight,
                               in.nWidth * nBytes + nInPadding,
                               out.nWidth,
                               out.nHeight,
                               out.nWidth * nBytes + nOutPadding};
    return geometry;
}

std::vector<uint8_t> Scale(const ScalerGeometry& geometry, const uint8_t* pSrc,
                           ScalerFilter eFilter, ScalerAcceleration eAcceleration)
{
    ScalerPlan plan;
    EXPECT_EQ(ImageStatus::Ok, plan.Configure(geometry, eFilter, eAcceleration));
    EXPECT_EQ(eAcceleration, plan.UsedAcceleration());
    std::vector<uint8_t> out(static_cast<size_t>(geometry.nOutStride) * geometry.nOutHeight);
    EXPECT_EQ(ImageStatus::Ok, plan.Process(pSrc, out.data()));
    return out;
}

// Every row the same pixels; an odd width ends with a half macropixel (Y, U).
std::vector<uint8_t> FlatYuy2(Size size, uint8_t y, uint8_t u, uint8_t v)
{
    std::vector<uint8_t> picture(static_cast<size_t>(size.nWidth) * size.nHeight * 2);
    for (size_t i = 0; i < picture.size() / 2; ++i)
    {
        picture[2 * i] = y;
        picture[2 * i + 1] = (i % size.nWidth) % 2 == 0 ? u : v;
    }
    return picture;
}

const ScalerAcceleration kAllAccelerations[] = {ScalerAcceleration::Portable,
                                                ScalerAcceleration::Sse2, ScalerAcceleration::Avx2};

std::string AccelerationName(ScalerAcceleration eAcceleration)
{
    switch (eAcceleration)
    {
    case ScalerAcceleration::Portable:
        return "Portable";
    case ScalerAcceleration::Sse2:
        return "Sse2";
    case ScalerAcceleration::Avx2:
        return "Avx2";
    }
    return "?";
}

bool Available(ScalerAcceleration eAcceleration)
{
    return ScalerAvailableAcceleration(eAcceleration) == eAcceleration;
}

class ScalerPaths : public testing::TestWithParam<ScalerAcceleration>
{
protected:
    void SetUp() override
    {
        if (!Available(GetParam()))
            GTEST_SKIP() << "processor lacks " << AccelerationName(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(AllPaths, ScalerPaths, testing::ValuesIn(kAllAccelerations),
                         [](const testing::TestParamInfo<ScalerAcceleration>& info)
                         { return AccelerationName(info.param); });
}  // namespace

TEST_P(ScalerPaths, AFlatColourStaysExactlyFlatAtEverySize)
{
    for (const auto& c : kScaleCases)
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            std::vector<uint8_t> src = FlatYuy2(c[0], 201, 37, 250);
            ScalerGeometry geometry = Geometry(ScalerLayout::Yuy2, c[0], c[1]);
            std::vector<uint8_t> out = Scale(geometry, src.data(), eFilter, GetParam());
            for (uint32_t x = 0; x < out.size() / 2; ++x)
            {
                const uint32_t nColumn = x % c[1].nWidth;
                ASSERT_EQ(201, out[2 * x]) << c[0].nWidth << "x" << c[0].nHeight << " -> "
                                           << c[1].nWidth << "x" << c[1].nHeight;
                ASSERT_EQ(nColumn % 2 == 0 ? 37 : 250, out[2 * x + 1]);
            }

            std::vector<uint8_t> pixels(static_cast<size_t>(c[0].nWidth) * c[0].nHeight * 4);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<uint8_t>(i % 4 == 0 ? 255 : (i % 4) * 40);
            std::vector<uint8_t> outPixels = Scale(Geometry(ScalerLayout::Packed32, c[0], c[1]),
                                                   pixels.data(), eFilter, GetParam());
            for (size_t i = 0; i < outPixels.size(); ++i)
                ASSERT_EQ(i % 4 == 0 ? 255 : (i % 4) * 40, outPixels[i]) << "byte " << i;
        }
    }
}

TEST_P(ScalerPaths, OneToOneIsAnExactCopy)
{
    std::mt19937 random(11);
    for (Size size : {Size{2, 1}, Size{8, 8}, Size{34, 7}, Size{640, 4}})
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            for (ScalerLayout eLayout : {ScalerLayout::Yuy2, ScalerLayout::Packed32})
            {
                ScalerGeometry geometry = Geometry(eLayout, size, size);
                GuardedBuffer src(static_cast<size_t>(geometry.nInStride) * size.nHeight);
                src.FillRandom(random);
                std::vector<uint8_t> out = Scale(geometry, src.Data(), eFilter, GetParam());
                for (size_t i = 0; i < out.size(); ++i)
                    ASSERT_EQ(src[i], out[i]) << "byte " << i;
            }
        }
    }
}

TEST_P(ScalerPaths, AHorizontalLumaRampStaysMonotonic)
{
    const Size in = {200, 4};
    std::vector<uint8_t> src(in.nWidth * in.nHeight * 2, 128);
    for (uint32_t y = 0; y < in.nHeight; ++y)
    {
        for (uint32_t x = 0; x < in.nWidth; ++x)
            src[(y * in.nWidth + x) * 2] = static_cast<uint8_t>(x * 255 / (in.nWidth - 1));
    }
    for (Size out : {Size{640, 3}, Size{333, 5}, Size{199, 4}, Size{50, 4}, Size{13, 1}})
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            std::vector<uint8_t> scaled =
                Scale(Geometry(ScalerLayout::Yuy2, in, out), src.data(), eFilter, GetParam());
            for (uint32_t y = 0; y < out.nHeight; ++y)
            {
                const uint8_t* pRow = &scaled[y * out.nWidth * 2];
                for (uint32_t x = 1; x < out.nWidth; ++x)
                    ASSERT_LE(pRow[2 * (x - 1)], pRow[2 * x])
                        << "width " << out.nWidth << " x " << x;
                EXPECT_LT(pRow[0], 20);
                EXPECT_GT(pRow[2 * (out.nWidth - 1)], 235);
            }
        }
    }
}

// Left half one colour, right half another, with U and V swapped between
// them: chroma is filtered in its own plane, never across the interleave, so
// every U and V stays between its two sides' values and equals them away
// from the edge between the halves.
TEST_P(ScalerPaths, ChromaOfATwoColourSplitStaysOnItsSide)
{
    const Size in = {64, 8};
    std::vector<uint8_t> src(in.nWidth * in.nHeight * 2);
    for (uint32_t y = 0; y < in.nHeight; ++y)
    {
        for (uint32_t j = 0; j < in.nWidth / 2; ++j)
        {
            uint8_t* p = &src[(y * in.nWidth + 2 * j) * 2];
            const bool bLeft = j < in.nWidth / 4;
            p[0] = p[2] = 128;
            p[1] = bLeft ? 20 : 230;
            p[3] = bLeft ? 230 : 20;
        }
    }
    for (Size out : {Size{128, 8}, Size{100, 8}, Size{32, 4}, Size{16, 2}, Size{22, 8}})
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            std::vector<uint8_t> scaled =
                Scale(Geometry(ScalerLayout::Yuy2, in, out), src.data(), eFilter, GetParam());
            const double dScale = static_cast<double>(in.nWidth) / out.nWidth;
            for (uint32_t y = 0; y < out.nHeight; ++y)
            {
                for (uint32_t x = 0; x < out.nWidth; ++x)
                {
                    const uint8_t nChroma = scaled[(y * out.nWidth + x) * 2 + 1];
                    const bool bU = x % 2 == 0;
                    ASSERT_GE(nChroma, 20);
                    ASSERT_LE(nChroma, 230);
                    // Input luma position of the chroma sample of this pixel.
                    const double dCentre = (2 * (x / 2) + 0.5) * dScale;
                    if (dCentre < in.nWidth / 2 - 2 * dScale - 2)
                    {
                        ASSERT_EQ(bU ? 20 : 230, nChroma) << "out " << out.nWidth << " x " << x;
                    }
                    if (dCentre > in.nWidth / 2 + 2 * dScale + 2)
                    {
                        ASSERT_EQ(bU ? 230 : 20, nChroma) << "out " << out.nWidth << " x " << x;
                    }
                }
            }
        }
    }
}

// A checkerboard shrunk by four averages to grey, where sampling between
// the squares would give a pattern. At the edges, extended by repetition,
// the balance of the two colours shifts a little.
TEST_P(ScalerPaths, ShrinkingByFourAveragesInsteadOfAliasing)
{
    const Size in = {1280, 720}, out = {320, 180};
    std::vector<uint8_t> src(static_cast<size_t>(in.nWidth) * in.nHeight * 2);
    for (size_t i = 0; i < src.size(); i += 2)
    {
        const size_t x = (i / 2) % in.nWidth, y = (i / 2) / in.nWidth;
        src[i] = ((x + y) % 2 == 0) ? 255 : 0;
        src[i + 1] = 128;
    }
    for (ScalerFilter eFilter : {ScalerFilter::Automatic, ScalerFilter::Area})
    {
        std::vector<uint8_t> scaled =
            Scale(Geometry(ScalerLayout::Yuy2, in, out), src.data(), eFilter, GetParam());
        for (uint32_t y = 0; y < out.nHeight; ++y)
        {
            for (uint32_t x = 0; x < out.nWidth; ++x)
            {
                const uint8_t nLuma = scaled[(y * out.nWidth + x) * 2];
                const bool bEdge = x == 0 || y == 0 || x + 1 == out.nWidth || y + 1 == out.nHeight;
                ASSERT_GE(nLuma, bEdge ? 120 : 127) << "x " << x << " y " << y;
                ASSERT_LE(nLuma, bEdge ? 135 : 128) << "x " << x << " y " << y;
            }
        }
    }
}

TEST_P(ScalerPaths, OutputRowPaddingAndBytesBeyondAreLeftAlone)
{
    std::mt19937 random(3);
    for (const auto& c : kScaleCases)
    {
        for (ScalerLayout eLayout : {ScalerLayout::Yuy2, ScalerLayout::Packed32})
        {
            ScalerGeometry geometry = Geometry(eLayout, c[0], c[1], 6, 10);
            GuardedBuffer src(static_cast<size_t>(geometry.nInStride) * c[0].nHeight, 3);
            src.FillRandom(random);
            GuardedBuffer dst(static_cast<size_t>(geometry.nOutStride) * c[1].nHeight, 5, 0xC3);
            ScalerPlan plan;
            ASSERT_EQ(ImageStatus::Ok,
                      plan.Configure(geometry, ScalerFilter::Automatic, GetParam()));
            ASSERT_EQ(ImageStatus::Ok, plan.Process(src.Data(), dst.Data()));
            const uint32_t cbRow = geometry.nOutStride - 10;
            for (uint32_t y = 0; y < c[1].nHeight; ++y)
            {
                for (uint32_t b = cbRow; b < geometry.nOutStride; ++b)
                    ASSERT_EQ(0xC3, dst[y * geometry.nOutStride + b]);
            }
            ASSERT_TRUE(dst.GuardsIntact());
        }
    }
}

// The odd last pixel of a row is a half macropixel: its luma and the U of
// its pair, both written; nothing after it.
TEST_P(ScalerPaths, AnOddOutputWidthEndsWithLumaAndU)
{
    std::vector<uint8_t> src = FlatYuy2({16, 4}, 90, 60, 200);
    GuardedBuffer dst(7 * 2 * 3, 0, 0);
    ScalerPlan plan;
    ScalerGeometry geometry = {ScalerLayout::Yuy2, 16, 4, 32, 7, 3, 14};
    ASSERT_EQ(ImageStatus::Ok, plan.Configure(geometry, ScalerFilter::Automatic, GetParam()));
    ASSERT_EQ(ImageStatus::Ok, plan.Process(src.data(), dst.Data()));
    for (uint32_t y = 0; y < 3; ++y)
    {
        EXPECT_EQ(90, dst[y * 14 + 12]);
        EXPECT_EQ(60, dst[y * 14 + 13]);
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

// Each channel of a 32-bit pixel is filtered on its own.
TEST_P(ScalerPaths, ChannelsOfPackedPixelsDoNotMix)
{
    std::mt19937 random(9);
    const Size in = {37, 21};
    std::vector<uint8_t> src(static_cast<size_t>(in.nWidth) * in.nHeight * 4);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = (i % 4 == 2) ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(0);
    for (Size out : {Size{80, 50}, Size{9, 5}, Size{37, 21}})
    {
        std::vector<uint8_t> scaled = Scale(Geometry(ScalerLayout::Packed32, in, out), src.data(),
                                            ScalerFilter::Automatic, GetParam());
        for (size_t i = 0; i < scaled.size(); ++i)
        {
            if (i % 4 != 2)
            {
                ASSERT_EQ(0, scaled[i]) << "byte " << i;
            }
        }
    }
}

TEST_P(ScalerPaths, ResultsAreWithinOneOfTheDoublePrecisionFilter)
{
    std::mt19937 random(17);
    for (const auto& c : kScaleCases)
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            ScalerGeometry geometry = Geometry(ScalerLayout::Yuy2, c[0], c[1]);
            GuardedBuffer src(static_cast<size_t>(geometry.nInStride) * c[0].nHeight);
            src.FillRandom(random);
            std::vector<uint8_t> out = Scale(geometry, src.Data(), eFilter, GetParam());
            std::vector<double> reference = ReferenceScaleYuy2(
                src.Data(), c[0].nWidth, c[0].nHeight, c[1].nWidth, c[1].nHeight, eFilter);
            ASSERT_EQ(reference.size(), out.size());
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_LT(fabs(out[i] - reference[i]), 1.0) << "byte " << i;

            ScalerGeometry pixels = Geometry(ScalerLayout::Packed32, c[0], c[1]);
            GuardedBuffer srcPixels(static_cast<size_t>(pixels.nInStride) * c[0].nHeight);
            srcPixels.FillRandom(random);
            std::vector<uint8_t> outPixels = Scale(pixels, srcPixels.Data(), eFilter, GetParam());
            std::vector<double> referencePixels = ReferenceScalePacked32(
                srcPixels.Data(), c[0].nWidth, c[0].nHeight, c[1].nWidth, c[1].nHeight, eFilter);
            for (size_t i = 0; i < outPixels.size(); ++i)
                ASSERT_LT(fabs(outPixels[i] - referencePixels[i]), 1.0) << "byte " << i;
        }
    }
}

// The SSE2 and AVX2 paths compute the portable path's integers: byte for
// byte equal on random pictures of many sizes, strides and misalignments,
// enlargements by two (their contiguous run) among them.
TEST(ScalerKernel, TheSimdPathsEqualThePortablePath)
{
    std::mt19937 random(23);
    std::uniform_int_distribution<uint32_t> size(1, 90), padding(0, 9), offset(0, 15);
    for (int nCase = 0; nCase < 240; ++nCase)
    {
        const ScalerLayout eLayout = nCase % 3 == 0 ? ScalerLayout::Packed32 : ScalerLayout::Yuy2;
        Size in = {size(random), size(random)};
        if (eLayout == ScalerLayout::Yuy2)
            in.nWidth = (in.nWidth + 1) & ~1u;
        Size out = {size(random), size(random)};
        if (nCase % 4 == 1)
            out = {2 * in.nWidth + 64 * (nCase % 3), 2 * in.nHeight};
        const ScalerGeometry geometry =
            Geometry(eLayout, in, out, padding(random), padding(random));
        const ScalerFilter eFilter = kAllFilters[(nCase / 4) % 3];

        GuardedBuffer src(static_cast<size_t>(geometry.nInStride) * in.nHeight, offset(random));
        src.FillRandom(random);
        const size_t cbDst = static_cast<size_t>(geometry.nOutStride) * out.nHeight;
        GuardedBuffer reference(cbDst, offset(random), 0x42);
        ScalerPlan referencePlan;
        ASSERT_EQ(ImageStatus::Ok,
                  referencePlan.Configure(geometry, eFilter, ScalerAcceleration::Portable));
        ASSERT_EQ(ImageStatus::Ok, referencePlan.Process(src.Data(), reference.Data()));
        for (ScalerAcceleration eAcceleration :
             {ScalerAcceleration::Sse2, ScalerAcceleration::Avx2})
        {
            if (!Available(eAcceleration))
                continue;
            GuardedBuffer simd(cbDst, offset(random), 0x42);
            ScalerPlan plan;
            ASSERT_EQ(ImageStatus::Ok, plan.Configure(geometry, eFilter, eAcceleration));
            ASSERT_EQ(eAcceleration, plan.UsedAcceleration());
            ASSERT_EQ(ImageStatus::Ok, plan.Process(src.Data(), simd.Data()));
            for (size_t i = 0; i < cbDst; ++i)
            {
                ASSERT_EQ(reference[i], simd[i])
                    << AccelerationName(eAcceleration) << " case " << nCase << " byte " << i;
            }
            ASSERT_TRUE(simd.GuardsIntact()) << "case " << nCase;
        }
        ASSERT_TRUE(reference.GuardsIntact()) << "case " << nCase;
    }
}

// The copy at 1:1 and the enlarging of Yuy2 by exactly two skip the general
// passes; on every path they must give the general portable passes' bytes,
// including at the extended edges of rows only a macropixel or a few wide,
// with padded strides and misaligned pointers.
TEST(ScalerKernel, TheShortcutsGiveTheGeneralPassesBytes)
{
    std::mt19937 random(29);
    std::uniform_int_distribution<uint32_t> padding(0, 9), offset(0, 15);
    const Size kSizes[] = {{2, 1},  {2, 3},  {4, 2},  {6, 5},  {10, 4},  {12, 7},
                           {22, 3}, {24, 9}, {34, 6}, {64, 2}, {98, 11}, {320, 4}};
    for (const Size& in : kSizes)
    {
        for (ScalerFilter eFilter : kAllFilters)
        {
            for (bool bDouble : {true, false})
            {
                const Size out = bDouble ? Size{2 * in.nWidth, 2 * in.nHeight} : in;
                const ScalerGeometry geometry =
                    Geometry(ScalerLayout::Yuy2, in, out, padding(random), padding(random));
                GuardedBuffer src(static_cast<size_t>(geometry.nInStride) * in.nHeight,
                                  offset(random));
                src.FillRandom(random);
                const size_t cbDst = static_cast<size_t>(geometry.nOutStride) * out.nHeight;
                GuardedBuffer general(cbDst, offset(random), 0x5A);
                ScalerPlan generalPlan;
                ASSERT_EQ(ImageStatus::Ok,
                          generalPlan.Configure(geometry, eFilter, ScalerAcceleration::Portable,
                                                ScalerShortcuts::None));
                ASSERT_EQ(ImageStatus::Ok, generalPlan.Process(src.Data(), general.Data()));
                for (ScalerAcceleration eAcceleration : kAllAccelerations)
                {
                    if (!Available(eAcceleration))
                        continue;
                    GuardedBuffer shortcut(cbDst, offset(random), 0x5A);
                    ScalerPlan plan;
                    ASSERT_EQ(ImageStatus::Ok, plan.Configure(geometry, eFilter, eAcceleration));
                    ASSERT_EQ(ImageStatus::Ok, plan.Process(src.Data(), shortcut.Data()));
                    for (size_t i = 0; i < cbDst; ++i)
                    {
                        ASSERT_EQ(general[i], shortcut[i])
                            << AccelerationName(eAcceleration) << " " << in.nWidth << "x"
                            << in.nHeight << (bDouble ? " doubled" : " 1:1") << " byte " << i;
                    }
                    ASSERT_TRUE(shortcut.GuardsIntact());
                }
            }
        }
    }
}

// Shrinking 65534 columns to three: tens of thousands of taps a sample,
// each weight far below the coefficients' resolution, still sum to exactly
// one; a flat picture stays flat and a ramp keeps its order.
TEST(ScalerKernel, AnExtremeShrinkKeepsItsWeightsSane)
{
    const uint32_t nWidth = 65534;
    std::vector<uint8_t> flat = FlatYuy2({nWidth, 2}, 77, 99, 121);
    std::vector<uint8_t> ramp(flat.size(), 128);
    for (uint32_t y = 0; y < 2; ++y)
    {
        for (uint32_t x = 0; x < nWidth; ++x)
            ramp[(static_cast<size_t>(y) * nWidth + x) * 2] =
                static_cast<uint8_t>(x * 255ull / nWidth);
    }
    for (ScalerAcceleration eAcceleration : kAllAccelerations)
    {
        if (!Available(eAcceleration))
            continue;
        const ScalerGeometry geometry = Geometry(ScalerLayout::Yuy2, {nWidth, 2}, {3, 1});
        EXPECT_EQ(FlatYuy2({3, 1}, 77, 99, 121),
                  Scale(geometry, flat.data(), ScalerFilter::Automatic, eAcceleration));
        std::vector<uint8_t> out =
            Scale(geometry, ramp.data(), ScalerFilter::Automatic, eAcceleration);
        EXPECT_LT(out[0], out[2]);
        EXPECT_LT(out[2], out[4]);
    }
}

TEST(ScalerKernel, ConfigureRefusesUnusableGeometries)
{
    struct Refused
    {
        ScalerGeometry geometry;
    } const kRefused[] = {
        {{ScalerLayout::Yuy2, 0, 4, 0, 4, 4, 8}},
        {{ScalerLayout::Yuy2, 4, 0, 8, 4, 4, 8}},
        {{ScalerLayout::Yuy2, 4, 4, 8, 0, 4, 8}},
        {{ScalerLayout::Yuy2, 4, 4, 8, 4, 0, 8}},
        {{ScalerLayout::Yuy2, 5, 4, 10, 4, 4, 8}},  // odd YUY2 input width
        {{ScalerLayout::Yuy2, 4, 4, 7, 4, 4, 8}},   // input stride too short
        {{ScalerLayout::Yuy2, 4, 4, 8, 4, 4, 7}},   // output stride too short
        {{ScalerLayout::Packed32, 4, 4, 15, 4, 4, 16}},
        {{ScalerLayout::Yuy2, 65536, 4, 131072, 4, 4, 8}},  // above the largest size
        {{ScalerLayout::Yuy2, 4, 4, 8, 4, 65536, 8}},
        {{static_cast<ScalerLayout>(7), 4, 4, 16, 4, 4, 16}},
    };
    for (const Refused& r : kRefused)
    {
        ScalerPlan plan;
        EXPECT_EQ(ImageStatus::InvalidArgument,
                  plan.Configure(r.geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
        EXPECT_FALSE(plan.IsConfigured());
    }
    ScalerPlan plan;
    ScalerGeometry good = {ScalerLayout::Yuy2, 4, 4, 8, 4, 4, 8};
    EXPECT_EQ(ImageStatus::InvalidArgument,
              plan.Configure(good, static_cast<ScalerFilter>(9), ScalerAcceleration::Avx2));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              plan.Configure(good, ScalerFilter::Automatic, static_cast<ScalerAcceleration>(9)));
}

TEST(ScalerKernel, ProcessNeedsAConfigurationAndPointers)
{
    std::vector<uint8_t> src(64, 1), dst(64, 2);
    ScalerPlan plan;
    EXPECT_EQ(ImageStatus::NotConfigured, plan.Process(src.data(), dst.data()));
    ScalerGeometry geometry = {ScalerLayout::Yuy2, 4, 4, 8, 4, 4, 8};
    ASSERT_EQ(ImageStatus::Ok,
              plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
    EXPECT_EQ(ImageStatus::InvalidArgument, plan.Process(nullptr, dst.data()));
    EXPECT_EQ(ImageStatus::InvalidArgument, plan.Process(src.data(), nullptr));

    // A failed configuration leaves the plan unconfigured.
    geometry.nInWidth = 3;
    EXPECT_EQ(ImageStatus::InvalidArgument,
              plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
    EXPECT_FALSE(plan.IsConfigured());
    EXPECT_EQ(ImageStatus::NotConfigured, plan.Process(src.data(), dst.data()));
}

TEST(ScalerKernel, OnePlanServesSizesInTurn)
{
    ScalerPlan plan;
    for (int nRound = 0; nRound < 3; ++nRound)
    {
        for (Size out : {Size{6, 2}, Size{2, 6}, Size{4, 4}})
        {
            std::vector<uint8_t> src = FlatYuy2({4, 4}, 10, 20, 30);
            ScalerGeometry geometry = Geometry(ScalerLayout::Yuy2, {4, 4}, out);
            ASSERT_EQ(ImageStatus::Ok,
                      plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
            ASSERT_EQ(ImageStatus::Ok,
                      plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
            std::vector<uint8_t> dst(out.nWidth * out.nHeight * 2);
            ASSERT_EQ(ImageStatus::Ok, plan.Process(src.data(), dst.data()));
            EXPECT_EQ(FlatYuy2(out, 10, 20, 30), dst);
        }
    }
}

namespace
{
const ScalerKernelShape kBox = {true, 0.0};
const ScalerKernelShape kBilinear = {false, 1.0};
}  // namespace

TEST(ScalerWeights, AreaAveragingByFourTakesFourEqualSamples)
{
    uint32_t inputs[8];
    double weights[8];
    ASSERT_EQ(4u, ComputeScalerWeights(1280, 4.0, 0.0, kBox, 10, inputs, weights, 8));
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_EQ(40u + k, inputs[k]);
        EXPECT_DOUBLE_EQ(0.25, weights[k]);
    }
}

TEST(ScalerWeights, AreaAveragingByOneAndAHalfSplitsTheMiddleSample)
{
    uint32_t inputs[8];
    double weights[8];
    ASSERT_EQ(2u, ComputeScalerWeights(960, 1.5, 0.0, kBox, 0, inputs, weights, 8));
    EXPECT_DOUBLE_EQ(2.0 / 3.0, weights[0]);
    EXPECT_DOUBLE_EQ(1.0 / 3.0, weights[1]);
    ASSERT_EQ(2u, ComputeScalerWeights(960, 1.5, 0.0, kBox, 1, inputs, weights, 8));
    EXPECT_EQ(1u, inputs[0]);
    EXPECT_DOUBLE_EQ(1.0 / 3.0, weights[0]);
    EXPECT_DOUBLE_EQ(2.0 / 3.0, weights[1]);
}

TEST(ScalerWeights, BilinearDoublingAlignsPixelCentresAndExtendsEdges)
{
    uint32_t inputs[4];
    double weights[4];
    // Output 0 sits at input -0.25: the edge sample alone.
    ASSERT_EQ(1u, ComputeScalerWeights(100, 0.5, 0.0, kBilinear, 0, inputs, weights, 4));
    EXPECT_EQ(0u, inputs[0]);
    EXPECT_DOUBLE_EQ(1.0, weights[0]);
    // Output 3 sits at input 1.25.
    ASSERT_EQ(2u, ComputeScalerWeights(100, 0.5, 0.0, kBilinear, 3, inputs, weights, 4));
    EXPECT_EQ(1u, inputs[0]);
    EXPECT_DOUBLE_EQ(0.75, weights[0]);
    EXPECT_DOUBLE_EQ(0.25, weights[1]);
}

// Shrinking by four: the triangle reaches 3.54 inputs either side of the
// centre, 1.5 + 4i, and weighs them by distance.
TEST(ScalerWeights, TheAntiAliasingTriangleWidensWithTheFactor)
{
    const ScalerKernelShape shape = ScalerShapeFor(ScalerFilter::Automatic, 4.0);
    EXPECT_FALSE(shape.bBox);
    EXPECT_NEAR(3.5436, shape.dHalfWidth, 1e-9);
    std::vector<uint32_t> inputs(ScalerMaxTaps(shape, 4.0));
    std::vector<double> weights(inputs.size());
    ASSERT_EQ(8u, ComputeScalerWeights(1280, 4.0, 0.0, shape, 10, inputs.data(), weights.data(),
                                       inputs.size()));
    double dTotal = 0.0;
    for (size_t k = 0; k < 8; ++k)
    {
        EXPECT_EQ(38u + k, inputs[k]);
        EXPECT_NEAR(weights[7 - k], weights[k], 1e-12);
        dTotal += weights[k];
    }
    EXPECT_NEAR(1.0, dTotal, 1e-12);
    EXPECT_NEAR((1.0 - 0.5 / 3.5436) / (2 * (4.0 - 8.0 / 3.5436)), weights[3], 1e-12);
}

TEST(ScalerWeights, CoSitedChromaShiftsWithTheScale)
{
    EXPECT_DOUBLE_EQ(0.0, ScalerChromaOffset(1.0));
    EXPECT_DOUBLE_EQ(-0.25, ScalerChromaOffset(2.0));
    EXPECT_DOUBLE_EQ(0.125, ScalerChromaOffset(0.5));
    // Halving: output chroma 0 sits on input luma 0.5, input chroma 0.25.
    uint32_t inputs[4];
    double weights[4];
    ASSERT_EQ(2u, ComputeScalerWeights(50, 2.0, ScalerChromaOffset(2.0), kBilinear, 0, inputs,
                                       weights, 4));
    EXPECT_DOUBLE_EQ(0.75, weights[0]);
    EXPECT_DOUBLE_EQ(0.25, weights[1]);
}

TEST(ScalerWeights, EachFilterPicksItsKernel)
{
    // Automatic: bilinear up to 1:1 and just beyond, then the triangle.
    EXPECT_DOUBLE_EQ(1.0, ScalerShapeFor(ScalerFilter::Automatic, 0.5).dHalfWidth);
    EXPECT_DOUBLE_EQ(1.0, ScalerShapeFor(ScalerFilter::Automatic, 1.1).dHalfWidth);
    EXPECT_DOUBLE_EQ(1.5 * kScalerAntiAliasWidth,
                     ScalerShapeFor(ScalerFilter::Automatic, 1.5).dHalfWidth);
    EXPECT_FALSE(ScalerShapeFor(ScalerFilter::Automatic, 4.0).bBox);
    EXPECT_TRUE(ScalerShapeFor(ScalerFilter::Area, 0.5).bBox);
    EXPECT_DOUBLE_EQ(1.0, ScalerShapeFor(ScalerFilter::Bilinear, 4.0).dHalfWidth);
    EXPECT_FALSE(ScalerShapeFor(ScalerFilter::Bilinear, 4.0).bBox);
}
