#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sendsummary.h"

namespace
{
struct SummaryCase
{
    const char* pszName;
    std::vector<std::pair<DWORD, std::string>> lines;  // writer's process id, text
    std::vector<std::string> expected;
};

class SendSummaryLines : public testing::TestWithParam<SummaryCase>
{
};

const char kOk[] = "DeviceIoControl (IOCTL_AVSHWS_SET_FRAME): OK (";
const char kFailed[] = "DeviceIoControl (IOCTL_AVSHWS_SET_FRAME) Failed (0x8007001F)\n";

std::string Header(int nFormat, int nWidth, int nHeight)
{
    return "Frame header: format=" + std::to_string(nFormat) + ", size: " + std::to_string(nWidth) +
           " x " + std::to_string(nHeight) + "\n";
}

std::string Sent(int nMs)
{
    return kOk + std::to_string(nMs) + " ms)\n";
}
}  // namespace

TEST_P(SendSummaryLines, CountsEachResultForTheHeaderBeforeIt)
{
    SendSummary summary;
    for (const auto& line : GetParam().lines)
        summary.AddLine(line.first, line.second.c_str());
    EXPECT_EQ(GetParam().expected, summary.TakePeriod());
}

INSTANTIATE_TEST_SUITE_P(
    , SendSummaryLines,
    testing::Values(SummaryCase{"Nothing", {{7, "CreateFile Failed (0x80070002)\n"}}, {}},
                    SummaryCase{"SentAndFailedPerFormatAndSize",
                                {{7, Header(2, 1280, 720)},
                                 {7, Sent(1)},
                                 {7, Header(4, 640, 480)},
                                 {7, Sent(4)},
                                 {7, Header(2, 1280, 720)},
                                 {7, Sent(2)},
                                 {7, Header(2, 1280, 720)},
                                 {7, kFailed}},
                                {"YUY2 1280x720: 2 sent, 1 failed, mean 1.5 ms, longest 2 ms",
                                 "NV12 640x480: 1 sent, 0 failed, mean 4.0 ms, longest 4 ms"}},
                    // Two processes' lines interleave; each result belongs to its own
                    // writer's header. A result whose header came before the viewer
                    // started counts nowhere.
                    SummaryCase{"InterleavedWriters",
                                {{9, Sent(30)},
                                 {7, Header(3, 1280, 720)},
                                 {9, Header(2, 640, 360)},
                                 {7, Sent(5)},
                                 {9, kFailed}},
                                {"YUY2 640x360: 0 sent, 1 failed, mean 0.0 ms, longest 0 ms",
                                 "MJPG 1280x720: 1 sent, 0 failed, mean 5.0 ms, longest 5 ms"}},
                    SummaryCase{"AHeaderWithoutAResultYetIsListed",
                                {{7, Header(2, 320, 240)}},
                                {"YUY2 320x240: 0 sent, 0 failed, mean 0.0 ms, longest 0 ms"}}),
    [](const testing::TestParamInfo<SummaryCase>& info)
    { return std::string(info.param.pszName); });

TEST(SendSummary, AFrozenSizeShowsNoneSentInTheNextPeriod)
{
    SendSummary summary;
    summary.AddLine(7, Header(2, 1280, 720).c_str());
    summary.AddLine(7, Sent(3).c_str());
    summary.TakePeriod();
    EXPECT_EQ(
        std::vector<std::string>{"YUY2 1280x720: 0 sent, 0 failed, mean 0.0 ms, longest 0 ms"},
        summary.TakePeriod());
}
