#include <gtest/gtest.h>

#include "expectedframes.h"

namespace
{
Scenario WebcamScenario(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight, UINT32 nFps)
{
    Scenario scenario = MakeDefaultScenario();
    scenario.bWebcam = true;
    scenario.nWebcamFormat = nFormat;
    scenario.nWebcamWidth = nWidth;
    scenario.nWebcamHeight = nHeight;
    scenario.nWebcamFps = nFps;
    return scenario;
}

ScenarioClient Client(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight, const char* pszName = "a.exe")
{
    ScenarioClient client = {nFormat, nWidth, nHeight, pszName, 0, 0};
    return client;
}
}  // namespace

TEST(ExpectedFrames, CountAtTheServingSourcesRateAfterTheSettleTime)
{
    ExpectedFrames yuy2Webcam(WebcamScenario(2, 640, 480, 15));
    EXPECT_NEAR(15 * 4.5, yuy2Webcam.Expected(Client(4, 320, 240), 1.0, 6.0), 0.1);
    // A YUY2 webcam serves no MJPG; te.exe gets the placeholder at 30.
    EXPECT_NEAR(0, yuy2Webcam.Expected(Client(3, 1280, 720), 1.0, 6.0), 0.1);
    EXPECT_NEAR(30 * 4.5, yuy2Webcam.Expected(Client(3, 1280, 720, "TE.exe"), 1.0, 6.0), 0.1);

    Scenario none = MakeDefaultScenario();
    none.bWebcam = false;
    ExpectedFrames placeholder(none);
    EXPECT_NEAR(30 * 1.5, placeholder.Expected(Client(2, 640, 480), 0.0, 2.0), 0.1);
    // MJPG is not scaled: only the placeholder's own size gets frames.
    EXPECT_NEAR(0, placeholder.Expected(Client(3, 640, 480), 0.0, 2.0), 0.1);
    EXPECT_NEAR(0, placeholder.Expected(Client(2, 640, 480), 0.0, 0.4), 0.1);
}

TEST(ExpectedFrames, LeaveOutSuspensionsAndTheSettlingAfterUnplugPlugAndResume)
{
    ExpectedFrames expected(WebcamScenario(3, 1280, 720, 20));
    expected.NoteUnplug(2.0);   // placeholder from 2.5
    expected.NotePlug(4.0);     // webcam again from 4.5
    expected.NoteSuspend(6.0);  // nothing from 6.0 to 7.5
    expected.NoteResume(7.0);
    // 0.5-2 webcam (20), 2.5-4 placeholder (30), 4.5-6 webcam, 7.5-9 webcam.
    EXPECT_NEAR(1.5 * 20 + 1.5 * 30 + 1.5 * 20 + 1.5 * 20,
                expected.Expected(Client(2, 640, 480), 0.0, 9.0), 0.2);
    // An MJPG request of another size gets nothing from either source.
    EXPECT_NEAR(0, expected.Expected(Client(3, 640, 360), 0.0, 9.0), 0.1);
}

TEST(ExpectedFrames, LeaveOutDriverStallsAndTheSettlingAfterThem)
{
    ExpectedFrames expected(WebcamScenario(3, 1280, 720, 20));
    expected.NoteStall(2.0, 1.5);  // nothing from 2.0 to 4.0
    // 0.5-2 and 4-6 webcam at 20.
    EXPECT_NEAR(1.5 * 20 + 2.0 * 20, expected.Expected(Client(2, 640, 480), 0.0, 6.0), 0.2);
}

TEST(ExpectedFrames, OnlyRequestsOfTwoSecondsOrMoreAreJudged)
{
    EXPECT_TRUE(ExpectedFrames::ReceivedTooFew(2.0, 89, 100.0));
    EXPECT_FALSE(ExpectedFrames::ReceivedTooFew(2.0, 90, 100.0));
    EXPECT_FALSE(ExpectedFrames::ReceivedTooFew(1.9, 0, 100.0));
    // Nothing expected, nothing judged.
    EXPECT_FALSE(ExpectedFrames::ReceivedTooFew(5.0, 0, 0.0));
    EXPECT_LT(ExpectedFrames::Share(0, 0.0), 0);
    EXPECT_DOUBLE_EQ(0.5, ExpectedFrames::Share(50, 100.0));
}
