#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "debugoutputcapture.h"
#include "image/cropkernel.h"
#include "image/scalerkernel.h"
#include "imagetestsupport.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
struct ResizeCase
{
    UINT32 nSrcWidth, nSrcHeight, nDstWidth, nDstHeight;
    CropRegion crop;  // the whole source when nothing is cut
};

// The sizes of the resize edge cases: columns cut, rows cut, no cut, odd
// widths lowered, odd left offsets lowered, and 1:1.
const ResizeCase kCases[] = {
    {1280, 720, 640, 480, {160, 0, 960, 720}},   {640, 480, 1280, 720, {0, 60, 640, 360}},
    {640, 480, 320, 240, {0, 0, 640, 480}},      {1280, 720, 1280, 720, {0, 0, 1280, 720}},
    {1280, 720, 1001, 720, {140, 0, 1000, 720}}, {1280, 720, 1278, 720, {0, 0, 1278, 720}},
    {1280, 720, 320, 180, {0, 0, 1280, 720}},
};

std::vector<BYTE> CameraPicture(UINT32 nWidth, UINT32 nHeight)
{
    std::vector<BYTE> picture(static_cast<size_t>(nWidth) * nHeight * 2);
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        for (UINT32 x = 0; x < nWidth; ++x)
        {
            BYTE* p = &picture[(static_cast<size_t>(y) * nWidth + x) * 2];
            p[0] = static_cast<BYTE>((x * 3 + y * 5) ^ (x / 7));
            p[1] = static_cast<BYTE>(x % 2 == 0 ? 64 + y % 128 : 192 - x % 128);
        }
    }
    return picture;
}

// The crop region cut out and scaled with the built-in scaler's kernel.
std::vector<BYTE> ExpectedResize(const std::vector<BYTE>& src, const ResizeCase& c)
{
    std::vector<BYTE> crop(static_cast<size_t>(c.crop.nWidth) * c.crop.nHeight * 2);
    EXPECT_EQ(ImageStatus::Ok, CopyRegion(src.data(), c.nSrcWidth, c.nSrcHeight, 2, c.crop.nLeft,
                                          c.crop.nTop, crop.data(), c.crop.nWidth, c.crop.nHeight));
    return KernelScale(ScalerLayout::Yuy2, crop, c.crop.nWidth, c.crop.nHeight, c.nDstWidth,
                       c.nDstHeight);
}

bool EndsWithEndLine(const std::vector<std::string>& lines, const std::string& hr)
{
    return !lines.empty() &&
           std::regex_match(lines.back(),
                            std::regex("ResizeFrame end: hr = " + hr + " \\([0-9]+ ms\\)\n"));
}

class ResizeFrame : public testing::TestWithParam<ResizeCase>
{
};

INSTANTIATE_TEST_SUITE_P(Sizes, ResizeFrame, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ResizeCase>& info)
                         {
                             const ResizeCase& c = info.param;
                             return std::to_string(c.nSrcWidth) + "x" +
                                    std::to_string(c.nSrcHeight) + "To" +
                                    std::to_string(c.nDstWidth) + "x" +
                                    std::to_string(c.nDstHeight);
                         });
}  // namespace

TEST_P(ResizeFrame, ScalesTheCentredCropAndLogsStartAndEnd)
{
    const ResizeCase& c = GetParam();
    std::vector<BYTE> src = CameraPicture(c.nSrcWidth, c.nSrcHeight);
    std::vector<BYTE> dst(static_cast<size_t>(c.nDstWidth) * c.nDstHeight * 2 + 64, 0xE7);
    FrameControlManager pipeline(NULL);

    DebugOutputCapture capture;
    ASSERT_EQ(S_OK, pipeline.ResizeFrame(src.data(), c.nSrcWidth, c.nSrcHeight, dst.data(),
                                         c.nDstWidth, c.nDstHeight));
    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("ResizeFrame: (" + std::to_string(c.nSrcWidth) + " x " +
                  std::to_string(c.nSrcHeight) + ") => (" + std::to_string(c.nDstWidth) + " x " +
                  std::to_string(c.nDstHeight) + ")\n",
              lines[0]);
    EXPECT_EQ("FrameScaler: built-in image scaler (CoCreateInstance 0x800401F0)\n", lines[1]);
    EXPECT_TRUE(EndsWithEndLine(lines, "0x00000000")) << lines.back();

    std::vector<BYTE> expected = ExpectedResize(src, c);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dst.begin()));
    for (size_t i = expected.size(); i < dst.size(); ++i)
        ASSERT_EQ(0xE7, dst[i]) << "byte " << i << " past the destination";
}

TEST(ResizeFrameOneToOne, AFrameOfTheDestinationSizeComesBackUnchanged)
{
    std::vector<BYTE> src = CameraPicture(640, 480);
    std::vector<BYTE> dst(src.size());
    FrameControlManager pipeline(NULL);
    ASSERT_EQ(S_OK, pipeline.ResizeFrame(src.data(), 640, 480, dst.data(), 640, 480));
    EXPECT_TRUE(src == dst);
}

TEST(ResizeFrameFailures, UnusableSizesAreRefusedWithBothLines)
{
    std::vector<BYTE> src = CameraPicture(64, 48);
    std::vector<BYTE> dst(64 * 48 * 2, 0x3C);
    FrameControlManager pipeline(NULL);
    const UINT32 kRefused[][4] = {
        {64, 48, 0, 48},  // empty destination
        {64, 48, 64, 0},
        {0, 48, 32, 24},                 // empty source
        {3, 2, 6, 4},                    // half a macropixel in the source
        {65536, 65536, 65536, 32768},    // a crop whose byte count overflows 32 bits
        {100000, 100000, 50000, 50000},  // beyond the scaler's sizes
    };
    for (const auto& r : kRefused)
    {
        DebugOutputCapture capture;
        EXPECT_EQ(static_cast<HRESULT>(0x80070057),
                  pipeline.ResizeFrame(src.data(), r[0], r[1], dst.data(), r[2], r[3]));
        std::vector<std::string> lines = capture.Lines();
        EXPECT_EQ(0u, lines.empty() ? 1u : lines[0].find("ResizeFrame: ("));
        EXPECT_TRUE(EndsWithEndLine(lines, "0x80070057"))
            << r[0] << "x" << r[1] << " -> " << r[2] << "x" << r[3];
    }
    for (BYTE b : dst)
        ASSERT_EQ(0x3C, b);
}

// The delivery thread does not initialise COM; the pipeline is built on
// another thread. The first resize makes the component there.
TEST(ResizeFrameThreads, TheDeliveryThreadResizesWithoutCom)
{
    FrameControlManager pipeline(NULL);
    std::vector<BYTE> src = CameraPicture(1280, 720);
    std::vector<BYTE> dst(640 * 480 * 2);
    HRESULT hr[2] = {E_FAIL, E_FAIL};
    DebugOutputCapture capture;
    std::thread delivery(
        [&]
        {
            hr[0] = pipeline.ResizeFrame(src.data(), 1280, 720, dst.data(), 640, 480);
            hr[1] = pipeline.ResizeFrame(src.data(), 1280, 720, dst.data(), 640, 480);
        });
    delivery.join();
    EXPECT_EQ(S_OK, hr[0]);
    EXPECT_EQ(S_OK, hr[1]);
    EXPECT_EQ(1u,
              capture.Count("FrameScaler: built-in image scaler (CoCreateInstance 0x800401F0)\n"));
    EXPECT_EQ(2u, capture.Count("ResizeFrame end: hr = 0x00000000 ("));
    EXPECT_TRUE(dst == ExpectedResize(src, kCases[0]));
}
