#include <gtest/gtest.h>

#include <algorithm>

#include "placeholder/picturepacer.h"

namespace
{
// Ticks every dwTickMs for 10 s, from a start near the counter's wrap, and
// the pictures they may queue in all.
struct PacedRun
{
    DWORD dwTickMs;
    UINT32 nLeastPictures;
    UINT32 nMostPictures;
};

class PicturePacing : public ::testing::TestWithParam<PacedRun>
{
};
}  // namespace

TEST_P(PicturePacing, KeepsThirtyASecondWhateverTheTicks)
{
    const PacedRun& run = GetParam();
    PicturePacer pacer(30);
    const DWORD dwStart = 0xFFFFF000u;  // the tick counter wraps within the run
    pacer.Start(dwStart);
    UINT32 nPictures = 0;
    UINT32 nMostInATick = 0;
    for (DWORD dwElapsed = 0; dwElapsed < 10000; dwElapsed += run.dwTickMs)
    {
        UINT32 n = pacer.PicturesForTick(dwStart + dwElapsed);
        nPictures += n;
        nMostInATick = std::max(nMostInATick, n);
    }
    EXPECT_GE(nPictures, run.nLeastPictures);
    EXPECT_LE(nPictures, run.nMostPictures);
    EXPECT_LE(nMostInATick, 2u) << "a late tick queues at most the one picture it owes";
}

INSTANTIATE_TEST_SUITE_P(TicksOfAWindowTimer, PicturePacing,
                         ::testing::Values(
                             // On time, or a little fast: one picture a tick.
                             PacedRun{33, 300, 304}, PacedRun{30, 334, 334},
                             // Late by a millisecond or a few, as a window timer runs: the owed
                             // pictures make thirty a second again.
                             PacedRun{34, 299, 301}, PacedRun{36, 299, 301}, PacedRun{45, 299, 301},
                             // A timer at a third of the rate: one picture owed a tick at most,
                             // never a burst.
                             PacedRun{100, 150, 150}));

TEST(PicturePacer, APauseIsNotMadeUpInABurst)
{
    PicturePacer pacer(30);
    pacer.Start(1000);
    EXPECT_EQ(1u, pacer.PicturesForTick(1000));
    // The window thread was busy for a second: thirty pictures are owed.
    EXPECT_EQ(1u, pacer.PicturesForTick(2000));
    EXPECT_EQ(1u, pacer.PicturesForTick(2033));
    // A restart forgets the old schedule.
    pacer.Start(5000);
    EXPECT_EQ(1u, pacer.PicturesForTick(5000));
    EXPECT_EQ(1u, pacer.PicturesForTick(5033));
}
