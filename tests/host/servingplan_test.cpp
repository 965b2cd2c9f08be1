#include <gtest/gtest.h>

#include "host/retrybackoff.h"
#include "host/servingplan.h"

namespace
{
struct ServingCase
{
    const char* pszName;
    SERVING_FACTS facts;
    // Expected plan: R retry, A leave as is, P placeholder, W start webcam, N no client.
    const char* pszPlan;
};

std::string Letters(const SERVING_PLAN& plan)
{
    std::string letters;
    if (plan.bRetryRead)
        letters += 'R';
    if (plan.bLeaveAsIs)
        letters += 'A';
    if (plan.bPlaceholder)
        letters += 'P';
    if (plan.bStartWebcam)
        letters += 'W';
    if (plan.bNoClient)
        letters += 'N';
    return letters;
}

class ServingPlanTest : public ::testing::TestWithParam<ServingCase>
{
};

// read, teExe, canServe, streaming, usable, placeholder while the webcam waits
const ServingCase kCases[] = {
    {"AFailedReadChangesNothingAndIsRetried",
     {REQUESTS_FAILED, false, true, false, true, true},
     "RA"},
    {"ASleepingSystemChangesNothing", {REQUESTS_SUSPENDED, false, true, false, true, true}, "A"},
    {"NoClientStopsThePlaceholderAndFreesTheWebcam",
     {REQUESTS_NONE, false, false, true, true, true},
     "N"},
    {"AClientStartsAUsableWebcam", {REQUESTS_READ, false, true, false, true, true}, "W"},
    {"AFailedWebcamLeavesThePlaceholderServing",
     {REQUESTS_READ, false, true, false, false, true},
     "P"},
    {"RefusedFramesLeaveNothingServingUntilTheRetry",
     {REQUESTS_READ, false, true, false, false, false},
     ""},
    {"AStreamingWebcamServesAlone", {REQUESTS_READ, false, true, true, true, true}, ""},
    {"ATeExeClientGetsThePlaceholderBesideTheWebcam",
     {REQUESTS_READ, true, true, true, true, true},
     "P"},
    {"ATeExeClientAloneLeavesTheWebcamClosed", {REQUESTS_READ, true, true, false, true, true}, "P"},
    {"NothingServableStartsNothing", {REQUESTS_READ, false, false, false, true, true}, ""},
};

TEST_P(ServingPlanTest, DecidesOneSourceFromTheFacts)
{
    EXPECT_EQ(GetParam().pszPlan, Letters(PlanServing(GetParam().facts)));
}

INSTANTIATE_TEST_SUITE_P(Facts, ServingPlanTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ServingCase>& info)
                         { return std::string(info.param.pszName); });

TEST(RetryBackoff, DoublesToItsCeilingAndStartsOverAfterASuccess)
{
    RetryBackoff backoff(100, 500);
    EXPECT_EQ(INFINITE, backoff.WaitMs(0));
    // Near the tick counter's wrap, so that the arithmetic must be modular.
    DWORD dwNow = 0xFFFFFF00u;
    const DWORD kExpected[] = {100, 200, 400, 500, 500};
    for (DWORD dwDelay : kExpected)
    {
        EXPECT_EQ(dwDelay, backoff.Fail(dwNow));
        EXPECT_FALSE(backoff.IsDue(dwNow + dwDelay - 1));
        EXPECT_EQ(1u, backoff.WaitMs(dwNow + dwDelay - 1));
        EXPECT_TRUE(backoff.IsDue(dwNow + dwDelay));
        EXPECT_EQ(0u, backoff.WaitMs(dwNow + dwDelay + 7));
        dwNow += dwDelay;
    }
    // A due try taken keeps the series: the next failure waits the ceiling.
    EXPECT_FALSE(backoff.TakeDue(dwNow - 1));
    EXPECT_TRUE(backoff.TakeDue(dwNow));
    EXPECT_FALSE(backoff.IsPending());
    EXPECT_EQ(INFINITE, backoff.WaitMs(dwNow));
    EXPECT_EQ(500u, backoff.Fail(dwNow));
    backoff.Reset();
    EXPECT_FALSE(backoff.IsPending());
    EXPECT_EQ(100u, backoff.Fail(dwNow));
}
}  // namespace
