#include <gtest/gtest.h>

#include <mfapi.h>
#include <wtsapi32.h>

#include "driver/driverprotocol.h"
#include "pipeline/framerecords.h"
#include "scenario.h"
#include "scenariofaults.h"

TEST(SimulatorScenario, ReadsEveryKindOfLineAndIgnoresComments)
{
    const char* pszText =
        "# a webcam that goes and comes back\n"
        "webcam YUY2 640 480 15\n"
        "\n"
        "client nv12 320 240 app.exe 0.5 4   # lower case formats too\n"
        "client MJPG 1280 720 te.exe 1 2.5\n"
        "unplug 2\n"
        "plug 3.5\n"
        "stall SET_FRAME 2.5 1.5\n"
        "stall COUNT 4 0.5\n"
        "session lock 1.5\n"
        "suspend 5 2\n"
        "slow-activation 2.5\n"
        "duration 6\n";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(pszText, &scenario, &error)) << error;
    EXPECT_TRUE(scenario.bWebcam);
    EXPECT_EQ(2u, scenario.nWebcamFormat);
    EXPECT_EQ(640u, scenario.nWebcamWidth);
    EXPECT_EQ(480u, scenario.nWebcamHeight);
    EXPECT_EQ(15u, scenario.nWebcamFps);
    EXPECT_DOUBLE_EQ(6.0, scenario.dDuration);
    ASSERT_EQ(2u, scenario.clients.size());
    EXPECT_EQ(COLOR_FORMAT_NV12, scenario.clients[0].nFormat);
    EXPECT_EQ(320u, scenario.clients[0].nWidth);
    EXPECT_EQ("app.exe", scenario.clients[0].processName);
    EXPECT_DOUBLE_EQ(4.0, scenario.clients[0].dStop);
    EXPECT_EQ(COLOR_FORMAT_MJPG, scenario.clients[1].nFormat);
    EXPECT_EQ("te.exe", scenario.clients[1].processName);
    EXPECT_EQ(SCENARIO_UNPLUG, scenario.events[0].eKind);
    EXPECT_DOUBLE_EQ(2.0, scenario.events[0].dAt);
    EXPECT_EQ(SCENARIO_PLUG, scenario.events[1].eKind);
    EXPECT_EQ(SCENARIO_STALL, scenario.events[2].eKind);
    EXPECT_EQ(static_cast<DWORD>(IOCTL_AVSHWS_SET_FRAME), scenario.events[2].dwControlCode);
    EXPECT_DOUBLE_EQ(2.5, scenario.events[2].dAt);
    EXPECT_DOUBLE_EQ(1.5, scenario.events[2].dLength);
    EXPECT_EQ(static_cast<DWORD>(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT),
              scenario.events[3].dwControlCode);
    ASSERT_EQ(7u, scenario.events.size());
    EXPECT_EQ(SCENARIO_SESSION, scenario.events[4].eKind);
    EXPECT_EQ(static_cast<DWORD>(WTS_SESSION_LOCK), scenario.events[4].dwControlCode);
    // A suspension is followed by its own resume, even past an explicit
    // duration, which ends the run in the middle of it.
    EXPECT_EQ(SCENARIO_SUSPEND, scenario.events[5].eKind);
    EXPECT_EQ(SCENARIO_RESUME, scenario.events[6].eKind);
    EXPECT_DOUBLE_EQ(7.0, scenario.events[6].dAt);
    EXPECT_DOUBLE_EQ(2.5, scenario.dActivationDelay);
    ASSERT_TRUE(
        ParseScenario("client YUY2 640 480 a.exe 0 1\nslow-activation hang\n", &scenario, &error));
    EXPECT_GT(0.0, scenario.dActivationDelay);

    // A stall's end counts for the duration.
    ASSERT_TRUE(
        ParseScenario("client YUY2 640 480 a.exe 0 1\nstall SET_FRAME 2 3\n", &scenario, &error));
    EXPECT_GE(scenario.dDuration, 5.0);
}

TEST(SimulatorScenario, AWebcamHasFractionalRatesAndAListOfTypes)
{
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario("webcam MJPG 1280 720 29.97\nclient YUY2 640 480 a.exe 0 1\n",
                              &scenario, &error))
        << error;
    ASSERT_EQ(1u, scenario.webcamTypes.size());
    EXPECT_EQ(30000u, scenario.webcamTypes[0].nRateNumerator);
    EXPECT_EQ(1001u, scenario.webcamTypes[0].nRateDenominator);
    EXPECT_EQ(30u, scenario.nWebcamFps);

    ASSERT_TRUE(
        ParseScenario("webcam MJPG 1280 720 15, yuy2 640 480, MJPG 640 480 12.5\n"
                      "client YUY2 640 480 a.exe 0 1\n",
                      &scenario, &error))
        << error;
    ASSERT_EQ(3u, scenario.webcamTypes.size());
    EXPECT_EQ(COLOR_FORMAT_MJPG, scenario.webcamTypes[0].nFormat);
    EXPECT_EQ(15u, scenario.webcamTypes[0].nRateNumerator);
    EXPECT_EQ(1u, scenario.webcamTypes[0].nRateDenominator);
    EXPECT_EQ(COLOR_FORMAT_YUY2, scenario.webcamTypes[1].nFormat);
    EXPECT_EQ(640u, scenario.webcamTypes[1].nWidth);
    EXPECT_EQ(30u, scenario.webcamTypes[1].nRateNumerator);  // 30 when left out
    EXPECT_EQ(12500u, scenario.webcamTypes[2].nRateNumerator);
    EXPECT_EQ(1000u, scenario.webcamTypes[2].nRateDenominator);
    // The first type is the webcam's current one.
    EXPECT_EQ(3u, scenario.nWebcamFormat);
    EXPECT_EQ(1280u, scenario.nWebcamWidth);
    EXPECT_EQ(15u, scenario.nWebcamFps);
    std::vector<SimulatedWebcamFormat> formats = WebcamFormatsOf(scenario);
    ASSERT_EQ(3u, formats.size());
    EXPECT_TRUE(formats[1].subtype == MFVideoFormat_YUY2);
    EXPECT_EQ(1000u, formats[2].nRateDenominator);

    const char* pszBad[] = {
        "webcam MJPG 1280 720 0\n",                  // no rate
        "webcam MJPG 1280 720 121\n",                // too fast
        "webcam MJPG 1280 720 29.97x\n",             // not a number
        "webcam MJPG 1280 720 30,, YUY2 640 480\n",  // an empty type
        "webcam MJPG 1280 720 30, NV12 640 480\n",   // no NV12 webcam
        "webcam MJPG 1280 720 30 40\n",              // two rates
    };
    for (const char* pszLine : pszBad)
    {
        std::string text = std::string(pszLine) + "client YUY2 640 480 a.exe 0 1\n";
        EXPECT_FALSE(ParseScenario(text, &scenario, &error)) << pszLine;
        EXPECT_EQ(0u, error.find("line 1: ")) << error;
    }
}

TEST(SimulatorScenario, WithoutAWebcamLineThereIsNoneAndTheDurationCoversTheLastClient)
{
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario("client YUY2 640 480 a.exe 1 7\nduration 2\n", &scenario, &error));
    EXPECT_FALSE(scenario.bWebcam);
    EXPECT_GE(scenario.dDuration, 7.0);

    ASSERT_TRUE(ParseScenario("webcam MJPG 1280 720\nwebcam none\nclient YUY2 64 48 a.exe 0 1\n",
                              &scenario, &error));
    EXPECT_FALSE(scenario.bWebcam);
}

TEST(SimulatorScenario, RefusesMalformedLinesNamingTheLine)
{
    const char* pszBad[] = {
        "client YUY2 640 480 a.exe 0 1\nclient RGB 640 480 a.exe 0 1\n",  // unknown format
        "client YUY2 641 480 a.exe 0 1\n",                                // odd width
        "client YUY2 640 480 a.exe 3 2\n",                                // stops before it starts
        "client YUY2 640 480 a.exe 0\n",                                  // no stop time
        "client YUY2 640 480 a.exe 0 1 extra\n",                          // trailing word
        "webcam NV12 640 480\nclient YUY2 640 480 a.exe 0 1\n",           // no NV12 webcam
        "client YUY2 640 480 a.exe 0 1\nhibernate 3\n",                   // unknown keyword
        "client YUY2 640 480 a.exe 0 1\nsuspend 3\n",                     // no length
        "client YUY2 640 480 a.exe 0 1\nsession sleep 3\n",               // unknown change
        "client YUY2 640 480 a.exe 0 1\nslow-activation soon\n",          // not a number
        "unplug -1\nclient YUY2 640 480 a.exe 0 1\n",                     // negative time
        "webcam YUY2 640 480\n",                                          // no client
        "client YUY2 640 480 a.exe 0 1\nstall QUIT 1 1\n",                // unknown request
        "client YUY2 640 480 a.exe 0 1\nstall SET_FRAME 1\n",             // no length
        "client YUY2 640 480 a.exe 0 1\nstall SET_FRAME 1 0\n",           // empty stall
        "client YUY2 640 480 a.exe 0 1\nwebcam-fault loud 1 1\n",         // unknown fault
        "client YUY2 640 480 a.exe 0 1\nwebcam-fault busy 1\n",           // no length
        "client YUY2 640 480 a.exe 0 1\ndecoder-fault lose-type 1 2\n",   // a length
        "client YUY2 640 480 a.exe 0 1\nshort SET_FRAME 1 1\n",           // frames are not counted
        "client YUY2 640 480 a.exe 0 1\nfail QUIT 1 1\n",                 // unknown request
    };
    for (const char* pszText : pszBad)
    {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(pszText, &scenario, &error)) << pszText;
        EXPECT_FALSE(error.empty()) << pszText;
    }
    Scenario scenario;
    std::string error;
    ParseScenario("client YUY2 640 480 a.exe 0 1\n# fine\nclient NV12 2 2 b.exe 0 1\n", &scenario,
                  &error);
    EXPECT_EQ(0u, error.find("line 3:")) << error;
}

TEST(SimulatorScenario, ExpectedSizesOfTheUncompressedFormats)
{
    EXPECT_EQ(1280u * 720 * 2, ExpectedPictureBytes(2, 1280, 720));
    EXPECT_EQ(640u * 480 * 3 / 2, ExpectedPictureBytes(4, 640, 480));
    EXPECT_EQ(0u, ExpectedPictureBytes(3, 640, 480));
}

TEST(SimulatorScenario, FaultStatementsStartAndEndTheirWindows)
{
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(
        ParseScenario("client YUY2 640 480 a.exe 0 1\n"
                      "webcam-fault other-size 2 1.5\n"
                      "decoder-fault keep-bad-input 4\n"
                      "fail COUNT 5 2\n"
                      "short FRAME_INFO 6 1\n",
                      &scenario, &error))
        << error;
    ASSERT_EQ(7u, scenario.events.size());
    EXPECT_EQ(SCENARIO_WEBCAM_FAULT, scenario.events[0].eKind);
    EXPECT_EQ(WEBCAM_FAULT_OTHER_SIZE, scenario.events[0].nFault);
    EXPECT_FALSE(scenario.events[0].bEnd);
    EXPECT_TRUE(scenario.events[1].bEnd);
    EXPECT_DOUBLE_EQ(3.5, scenario.events[1].dAt);
    EXPECT_EQ(SCENARIO_DECODER_FAULT, scenario.events[2].eKind);
    EXPECT_EQ(DECODER_FAULT_KEEP_BAD_INPUT, scenario.events[2].nFault);
    EXPECT_EQ(SCENARIO_FAIL, scenario.events[3].eKind);
    EXPECT_EQ(static_cast<DWORD>(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT),
              scenario.events[3].dwControlCode);
    EXPECT_DOUBLE_EQ(7.0, scenario.events[4].dAt);
    EXPECT_EQ(SCENARIO_SHORT, scenario.events[5].eKind);
    EXPECT_EQ(static_cast<DWORD>(IOCTL_AVSHWS_GET_FRAME_INFO), scenario.events[5].dwControlCode);
    // The run lasts until the last window has ended.
    EXPECT_DOUBLE_EQ(7.5, scenario.dDuration);
}

TEST(SimulatorScenario, WebcamOpeningsAreAStormOnlyWhenMoreThanSixFallInTenSeconds)
{
    WebcamOpenings calm;
    for (int i = 1; i <= 12; ++i)
        calm.Note(i, i * 1.7);  // seven in 10.2 s at the closest
    EXPECT_EQ(12, calm.Count());
    EXPECT_LT(calm.FirstStormAt(), 0);

    WebcamOpenings storm;
    storm.Note(1, 0.5);
    storm.Note(3, 20.0);
    storm.Note(8, 25.0);  // seven between 20 and 25 s
    EXPECT_DOUBLE_EQ(20.0, storm.FirstStormAt());
}
