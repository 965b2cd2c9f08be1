#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "image/scalerplancache.h"
#include "imagetestsupport.h"

namespace
{
ScalerGeometry Yuy2Geometry(uint32_t nInWidth, uint32_t nInHeight, uint32_t nOutWidth,
                            uint32_t nOutHeight)
{
    ScalerGeometry geometry = {ScalerLayout::Yuy2, nInWidth,   nInHeight,    nInWidth * 2,
                               nOutWidth,          nOutHeight, nOutWidth * 2};
    return geometry;
}

// What a plan of its own makes of the picture.
std::vector<uint8_t> FreshPlanOutput(const ScalerGeometry& geometry,
                                     const std::vector<uint8_t>& src)
{
    ScalerPlan plan;
    EXPECT_EQ(ImageStatus::Ok,
              plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
    std::vector<uint8_t> out(static_cast<size_t>(geometry.nOutStride) * geometry.nOutHeight);
    EXPECT_EQ(ImageStatus::Ok, plan.Process(src.data(), out.data()));
    return out;
}
}  // namespace

// The pipeline configures before every frame; requests of three sizes in
// turn build three plans once, and each frame gets its own size's output.
TEST(ScalerPlanCache, SizesInTurnBuildEachPlanOnceAndScaleAsAFreshPlan)
{
    const ScalerGeometry kGeometries[] = {
        Yuy2Geometry(96, 54, 64, 48), Yuy2Geometry(96, 54, 32, 18), Yuy2Geometry(96, 54, 192, 108)};
    const std::vector<uint8_t> src = NumberedPicture(96 * 54 * 2);
    std::vector<std::vector<uint8_t>> expected;
    for (const ScalerGeometry& geometry : kGeometries)
        expected.push_back(FreshPlanOutput(geometry, src));

    ScalerPlanCache cache;
    for (int nFrame = 0; nFrame < 5; ++nFrame)
    {
        for (size_t i = 0; i < 3; ++i)
        {
            const ScalerGeometry& geometry = kGeometries[i];
            ASSERT_EQ(ImageStatus::Ok,
                      cache.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2));
            std::vector<uint8_t> out(expected[i].size(), 0xEE);
            ASSERT_EQ(ImageStatus::Ok, cache.Process(src.data(), out.data()));
            ASSERT_TRUE(out == expected[i]) << "frame " << nFrame << " size " << i;
        }
    }
    EXPECT_EQ(3u, cache.Builds());
    EXPECT_EQ(3u, cache.KeptPlans());

    // Another filter or instruction limit is another plan.
    ASSERT_EQ(ImageStatus::Ok,
              cache.Configure(kGeometries[0], ScalerFilter::Area, ScalerAcceleration::Avx2));
    ASSERT_EQ(ImageStatus::Ok, cache.Configure(kGeometries[0], ScalerFilter::Automatic,
                                               ScalerAcceleration::Portable));
    EXPECT_EQ(5u, cache.Builds());
}

TEST(ScalerPlanCache, TheLeastRecentlyUsedPlanMakesRoom)
{
    ScalerPlanCache cache;
    const uint32_t nPlans = static_cast<uint32_t>(ScalerPlanCache::kCapacity);
    for (uint32_t i = 0; i < nPlans; ++i)
        ASSERT_EQ(ImageStatus::Ok,
                  cache.Configure(Yuy2Geometry(16, 8, 4 + 2 * i, 4), ScalerFilter::Automatic,
                                  ScalerAcceleration::Avx2));
    // The first is used again, so the second is the oldest.
    ASSERT_EQ(ImageStatus::Ok, cache.Configure(Yuy2Geometry(16, 8, 4, 4), ScalerFilter::Automatic,
                                               ScalerAcceleration::Avx2));
    EXPECT_EQ(nPlans, cache.Builds());
    ASSERT_EQ(ImageStatus::Ok, cache.Configure(Yuy2Geometry(16, 8, 40, 4), ScalerFilter::Automatic,
                                               ScalerAcceleration::Avx2));
    EXPECT_EQ(nPlans + 1, cache.Builds());
    EXPECT_EQ(ScalerPlanCache::kCapacity, cache.KeptPlans());

    ASSERT_EQ(ImageStatus::Ok, cache.Configure(Yuy2Geometry(16, 8, 4, 4), ScalerFilter::Automatic,
                                               ScalerAcceleration::Avx2));
    EXPECT_EQ(nPlans + 1, cache.Builds());  // kept
    ASSERT_EQ(ImageStatus::Ok, cache.Configure(Yuy2Geometry(16, 8, 6, 4), ScalerFilter::Automatic,
                                               ScalerAcceleration::Avx2));
    EXPECT_EQ(nPlans + 2, cache.Builds());  // the one that made room
}

// A refused geometry leaves no current plan, evicts nothing, and the kept
// plans serve again without a rebuild.
TEST(ScalerPlanCache, ARefusedGeometryLeavesNoCurrentPlanAndKeepsTheOthers)
{
    ScalerPlanCache cache;
    std::vector<uint8_t> src(64, 1), dst(64);
    EXPECT_EQ(ImageStatus::NotConfigured, cache.Process(src.data(), dst.data()));
    const uint32_t nPlans = static_cast<uint32_t>(ScalerPlanCache::kCapacity);
    for (uint32_t i = 0; i < nPlans; ++i)
        ASSERT_EQ(ImageStatus::Ok,
                  cache.Configure(Yuy2Geometry(4, 4, 2 + 2 * i, 2), ScalerFilter::Automatic,
                                  ScalerAcceleration::Avx2));
    EXPECT_EQ(ImageStatus::InvalidArgument,
              cache.Configure(Yuy2Geometry(3, 4, 2, 2), ScalerFilter::Automatic,
                              ScalerAcceleration::Avx2));
    EXPECT_EQ(nullptr, cache.Current());
    EXPECT_EQ(ImageStatus::NotConfigured, cache.Process(src.data(), dst.data()));
    EXPECT_EQ(ImageStatus::InvalidArgument, cache.Process(nullptr, dst.data()));
    EXPECT_EQ(ScalerPlanCache::kCapacity, cache.KeptPlans());

    const uint64_t nBuilds = cache.Builds();
    for (uint32_t i = 0; i < nPlans; ++i)
        ASSERT_EQ(ImageStatus::Ok,
                  cache.Configure(Yuy2Geometry(4, 4, 2 + 2 * i, 2), ScalerFilter::Automatic,
                                  ScalerAcceleration::Avx2));
    EXPECT_EQ(nBuilds, cache.Builds());
    EXPECT_EQ(ImageStatus::Ok, cache.Process(src.data(), dst.data()));
    cache.ForgetCurrent();
    EXPECT_EQ(ImageStatus::NotConfigured, cache.Process(src.data(), dst.data()));
}
