#include <gtest/gtest.h>

#include <thread>

#include "debugoutputcapture.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
std::vector<std::pair<UINT32, UINT32>> Sizes(FrameControlManager& manager, _COLOR_FORMAT eFormat)
{
    std::vector<std::pair<UINT32, UINT32>> sizes;
    for (const FORMAT_RESOLUTION_UNIT& entry : manager.GetOutputFormats(eFormat))
        sizes.push_back(std::make_pair(entry.width, entry.height));
    return sizes;
}

typedef std::vector<std::pair<UINT32, UINT32>> SizeList;
}  // namespace

TEST(OutputFormatTable, KeepsOneEntryPerFormatAndSize)
{
    FrameControlManager manager(NULL);
    EXPECT_EQ(S_OK, manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480));
    EXPECT_EQ(S_OK, manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480));
    EXPECT_EQ(S_OK, manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480));
    EXPECT_EQ(S_OK, manager.AddOutputFormat(COLOR_FORMAT_YUY2, 480, 640));
    EXPECT_EQ(2u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_MJPG));
}

TEST(OutputFormatTable, EntriesOfAFormatKeepTheirOrderOfArrival)
{
    FrameControlManager manager(NULL);
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 1280, 720);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 320, 240);
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 160, 120);
    EXPECT_EQ((SizeList{{1280, 720}, {640, 480}, {160, 120}}), Sizes(manager, COLOR_FORMAT_NV12));
    EXPECT_EQ((SizeList{{320, 240}}), Sizes(manager, COLOR_FORMAT_YUY2));
}

TEST(OutputFormatTable, FormatsOtherThanYuy2MjpgAndNv12AreRefused)
{
    FrameControlManager manager(NULL);
    for (UINT32 nFormat : {0u, 1u, 5u, 0xFFFFFFFFu})
        EXPECT_EQ(S_OK, manager.AddOutputFormat(static_cast<_COLOR_FORMAT>(nFormat), 640, 480));
    for (UINT32 nFormat : {0u, 1u, 2u, 3u, 4u, 5u})
        EXPECT_EQ(0u, manager.GetOutputFormatCount(static_cast<_COLOR_FORMAT>(nFormat)));
}

TEST(OutputFormatTable, ClearEmptiesEveryFormat)
{
    FrameControlManager manager(NULL);
    EXPECT_EQ(S_OK, manager.ClearOutputFormats());
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    manager.AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    EXPECT_EQ(S_OK, manager.ClearOutputFormats());
    for (_COLOR_FORMAT eFormat : {COLOR_FORMAT_YUY2, COLOR_FORMAT_MJPG, COLOR_FORMAT_NV12})
        EXPECT_EQ(0u, manager.GetOutputFormatCount(eFormat));
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
}

TEST(OutputFormatTable, ConcurrentWritersNeverBreakTheInvariants)
{
    FrameControlManager manager(NULL);
    auto writer = [&manager](UINT32 nBase) {
        for (UINT32 i = 0; i < 500; ++i)
        {
            if (i % 50 == 0)
                manager.ClearOutputFormats();
            manager.AddOutputFormat(COLOR_FORMAT_YUY2, nBase + (i % 7) * 2, 480);
        }
    };
    std::thread first(writer, 100);
    std::thread second(writer, 100);
    first.join();
    second.join();
    SizeList sizes = Sizes(manager, COLOR_FORMAT_YUY2);
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes.end(), std::adjacent_find(sizes.begin(), sizes.end()));
    EXPECT_LE(sizes.size(), 7u);
}

TEST(OutputFormatTable, SizesNoPictureCanHaveAreNeverServed)
{
    FrameControlManager manager(NULL);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 0, 480);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 641, 480);      // half a macropixel
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 640, 481);      // half a chroma row
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 65536, 65536);  // bytes beyond 32 bits
    manager.AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 0);
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_MJPG));

    // A compressed picture may have any size.
    manager.AddOutputFormat(COLOR_FORMAT_MJPG, 641, 481);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 481);
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_MJPG));
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
}

TEST(OutputFormatTable, RequestsBeyondWhatIsServedAreRefusedWithALineNamingEach)
{
    DebugOutputCapture capture;
    FrameControlManager manager(NULL);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 8194, 2);      // a side over 8192
    manager.AddOutputFormat(COLOR_FORMAT_MJPG, 16, 8200);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 8192, 4096);   // a record 12 bytes over 64 MB
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 8192, 8192);   // 96 MB
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_MJPG));
    EXPECT_EQ(0u, manager.GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(4u, capture.Count("beyond what is served"));
    EXPECT_TRUE(capture.Contains("AddOutputFormat: 8194 x 2 in format 2 is beyond"));
    EXPECT_TRUE(capture.Contains("AddOutputFormat: 8192 x 8192 in format 4 is beyond"));

    // Just within: the sides at the limit, the record just under 64 MB.
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 8192, 4094);
    manager.AddOutputFormat(COLOR_FORMAT_NV12, 8192, 5460);
    manager.AddOutputFormat(COLOR_FORMAT_MJPG, 8192, 8192);
    manager.AddOutputFormat(COLOR_FORMAT_YUY2, 16, 4096);
    EXPECT_EQ(2u, manager.GetOutputFormatCount(COLOR_FORMAT_YUY2));
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_NV12));
    EXPECT_EQ(1u, manager.GetOutputFormatCount(COLOR_FORMAT_MJPG));
    EXPECT_EQ(4u, capture.Count("beyond what is served"));
}
