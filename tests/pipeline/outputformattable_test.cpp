#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "debugoutputcapture.h"
#include "pipeline/outputformattable.h"

namespace
{
typedef std::vector<std::pair<UINT32, UINT32>> SizeList;

SizeList Sizes(OutputFormatTable& table, _COLOR_FORMAT eFormat)
{
    SizeList sizes;
    for (const FORMAT_RESOLUTION_UNIT& entry : table.GetOutputFormats(eFormat))
        sizes.push_back(std::make_pair(entry.width, entry.height));
    return sizes;
}

// One request and what the table makes of it: kept, or refused with a line
// that names it.
struct RequestCase
{
    _COLOR_FORMAT eFormat;
    UINT32 nWidth;
    UINT32 nHeight;
    const char* pszRefusal;  // NULL when the request is kept
};

void PrintTo(const RequestCase& request, std::ostream* pOut)
{
    *pOut << ColorFormatName(request.eFormat) << " " << request.nWidth << " x " << request.nHeight;
}

class OutputFormatRequest : public ::testing::TestWithParam<RequestCase>
{
};
}  // namespace

TEST(OutputFormatTable, KeepsOneEntryPerFormatAndSize)
{
    OutputFormatTable table;
    EXPECT_EQ(S_OK, table.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480));
    EXPECT_EQ(S_OK, table.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480));
    EXPECT_EQ(S_OK, table.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480));
    EXPECT_EQ(S_OK, table.AddOutputFormat(COLOR_FORMAT_YUY2, 480, 640));
    EXPECT_EQ(2u, table.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(1u, table.GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(0u, table.GetOutputFormatCount(COLOR_FORMAT_MJPG));
}

TEST(OutputFormatTable, EntriesOfAFormatKeepTheirOrderOfArrival)
{
    OutputFormatTable table;
    table.AddOutputFormat(COLOR_FORMAT_NV12, 1280, 720);
    table.AddOutputFormat(COLOR_FORMAT_YUY2, 320, 240);
    table.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    table.AddOutputFormat(COLOR_FORMAT_NV12, 160, 120);
    EXPECT_EQ((SizeList{{1280, 720}, {640, 480}, {160, 120}}), Sizes(table, COLOR_FORMAT_NV12));
    EXPECT_EQ((SizeList{{320, 240}}), Sizes(table, COLOR_FORMAT_YUY2));

    // The delivery thread's copy has the same order.
    OutputFormatTable::Entries entries = table.CopyEntries();
    auto range = entries.equal_range(COLOR_FORMAT_NV12);
    SizeList copied;
    for (auto it = range.first; it != range.second; ++it)
        copied.push_back(std::make_pair(it->second.width, it->second.height));
    EXPECT_EQ(Sizes(table, COLOR_FORMAT_NV12), copied);
    EXPECT_EQ(4u, entries.size());
}

TEST(OutputFormatTable, FormatsOtherThanYuy2MjpgAndNv12AreRefused)
{
    OutputFormatTable table;
    for (UINT32 nFormat : {0u, 1u, 5u, 0xFFFFFFFFu})
        EXPECT_EQ(S_OK, table.AddOutputFormat(static_cast<_COLOR_FORMAT>(nFormat), 640, 480));
    for (UINT32 nFormat : {0u, 1u, 2u, 3u, 4u, 5u})
        EXPECT_EQ(0u, table.GetOutputFormatCount(static_cast<_COLOR_FORMAT>(nFormat)));
}

TEST(OutputFormatTable, ClearEmptiesEveryFormat)
{
    OutputFormatTable table;
    EXPECT_EQ(S_OK, table.ClearOutputFormats());
    table.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    table.AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    table.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    EXPECT_EQ(S_OK, table.ClearOutputFormats());
    for (_COLOR_FORMAT eFormat : {COLOR_FORMAT_YUY2, COLOR_FORMAT_MJPG, COLOR_FORMAT_NV12})
        EXPECT_EQ(0u, table.GetOutputFormatCount(eFormat));
    EXPECT_TRUE(table.CopyEntries().empty());
    table.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    EXPECT_EQ(1u, table.GetOutputFormatCount(COLOR_FORMAT_YUY2));
}

TEST(OutputFormatTable, ConcurrentWritersNeverBreakTheInvariants)
{
    OutputFormatTable table;
    auto writer = [&table](UINT32 nBase)
    {
        for (UINT32 i = 0; i < 500; ++i)
        {
            if (i % 50 == 0)
                table.ClearOutputFormats();
            table.AddOutputFormat(COLOR_FORMAT_YUY2, nBase + (i % 7) * 2, 480);
        }
    };
    std::thread first(writer, 100);
    std::thread second(writer, 100);
    first.join();
    second.join();
    SizeList sizes = Sizes(table, COLOR_FORMAT_YUY2);
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes.end(), std::adjacent_find(sizes.begin(), sizes.end()));
    EXPECT_LE(sizes.size(), 7u);
}

TEST_P(OutputFormatRequest, IsKeptOrRefusedWithALineNamingIt)
{
    const RequestCase& request = GetParam();
    DebugOutputCapture capture;
    OutputFormatTable table;
    EXPECT_EQ(S_OK, table.AddOutputFormat(request.eFormat, request.nWidth, request.nHeight));
    const bool bKept = request.pszRefusal == NULL;
    EXPECT_EQ(bKept ? 1u : 0u, table.GetOutputFormatCount(request.eFormat));
    EXPECT_EQ(bKept ? 0u : 1u, capture.Count("; not served\n"));
    if (!bKept)
    {
        EXPECT_TRUE(capture.Contains(request.pszRefusal)) << capture.Text();
    }
}

// Sizes that no picture of the format can have are never served; a
// compressed picture may have any size.
INSTANTIATE_TEST_SUITE_P(
    SizesNoPictureCanHave, OutputFormatRequest,
    ::testing::Values(
        RequestCase{COLOR_FORMAT_YUY2, 0, 480, "no picture can be 0 x 480 in format 2"},
        // half a macropixel
        RequestCase{COLOR_FORMAT_YUY2, 641, 480, "no picture can be 641 x 480 in format 2"},
        // half a chroma row
        RequestCase{COLOR_FORMAT_NV12, 640, 481, "no picture can be 640 x 481 in format 4"},
        // bytes beyond 32 bits
        RequestCase{COLOR_FORMAT_NV12, 65536, 65536, "no picture can be 65536 x 65536 in format 4"},
        RequestCase{COLOR_FORMAT_MJPG, 1280, 0, "no picture can be 1280 x 0 in format 3"},
        RequestCase{COLOR_FORMAT_MJPG, 641, 481, NULL},
        RequestCase{COLOR_FORMAT_YUY2, 640, 481, NULL}));

// Beyond a side of 8192 or a record of 64 MB a request is refused; just
// within, it is kept.
INSTANTIATE_TEST_SUITE_P(
    BeyondWhatIsServed, OutputFormatRequest,
    ::testing::Values(
        RequestCase{COLOR_FORMAT_YUY2, 8194, 2, "AddOutputFormat: 8194 x 2 in format 2 is beyond"},
        RequestCase{COLOR_FORMAT_MJPG, 16, 8200, "16 x 8200 in format 3 is beyond what is served"},
        // a record 12 bytes over 64 MB
        RequestCase{COLOR_FORMAT_YUY2, 8192, 4096, "8192 x 4096 in format 2 is beyond"},
        // 96 MB
        RequestCase{COLOR_FORMAT_NV12, 8192, 8192,
                    "AddOutputFormat: 8192 x 8192 in format 4 is beyond"},
        RequestCase{COLOR_FORMAT_YUY2, 8192, 4094, NULL},
        RequestCase{COLOR_FORMAT_NV12, 8192, 5460, NULL},
        RequestCase{COLOR_FORMAT_MJPG, 8192, 8192, NULL},
        RequestCase{COLOR_FORMAT_YUY2, 16, 4096, NULL}));
