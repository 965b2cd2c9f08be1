#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "debugoutputcapture.h"
#include "image/yuy2tonv12.h"
#include "image/yuy2tonv12kernel.h"

namespace
{
typedef void (*ConvertRoutine)(const BYTE*, DWORD, DWORD, DWORD, BYTE*, DWORD, DWORD, DWORD);

struct Routine
{
    const char* pszName;
    ConvertRoutine pfnConvert;
    Yuy2ToNv12Path ePath;
};

const Routine kRoutines[] = {
    {"ConvertYUY2toNV12_C", ConvertYUY2toNV12_C, Yuy2ToNv12Path::Portable},
    {"ConvertYUY2toNV12_SSE2", ConvertYUY2toNV12_SSE2, Yuy2ToNv12Path::Sse2},
    {"ConvertYUY2toNV12_AVX2", ConvertYUY2toNV12_AVX2, Yuy2ToNv12Path::Avx2},
};

class ConvertYuy2ToNv12 : public testing::TestWithParam<Routine>
{
protected:
    void SetUp() override
    {
        if (!IsYuy2ToNv12PathAvailable(GetParam().ePath))
            GTEST_SKIP() << "processor lacks the instructions of " << GetParam().pszName;
    }
};

INSTANTIATE_TEST_SUITE_P(Routines, ConvertYuy2ToNv12, testing::ValuesIn(kRoutines),
                         [](const testing::TestParamInfo<Routine>& info)
                         { return std::string(info.param.pszName); });

const BYTE kTwoByTwo[] = {10, 100, 20, 200, 30, 101, 40, 201};
}  // namespace

TEST_P(ConvertYuy2ToNv12, WritesItsWideLogLineAndConverts)
{
    DebugOutputCapture capture;
    BYTE dst[6] = {};
    GetParam().pfnConvert(kTwoByTwo, 2, 2, 4, dst, 2, 2, 2);
    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::string(GetParam().pszName) + " (2x2 (4) -> 2x2 (2))\n", lines[0]);
    const BYTE expected[] = {10, 20, 30, 40, 100, 200};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expected[i], dst[i]) << "byte " << i;
}

TEST_P(ConvertYuy2ToNv12, ANullPointerIsLoggedAndWritesNothing)
{
    DebugOutputCapture capture;
    BYTE dst[6] = {1, 2, 3, 4, 5, 6};
    GetParam().pfnConvert(NULL, 2, 2, 4, dst, 2, 2, 2);
    GetParam().pfnConvert(kTwoByTwo, 2, 2, 4, NULL, 2, 2, 2);
    EXPECT_EQ(2u, capture.Lines().size());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(i + 1, dst[i]);
}

// In a release build the assertions are empty; the routine still refuses.
TEST_P(ConvertYuy2ToNv12, DifferingSizesWriteNothing)
{
    DebugOutputCapture capture;
    std::vector<BYTE> src(640 * 480 * 2, 0x80);
    std::vector<BYTE> dst(1280 * 720 * 3 / 2, 0x11);
    GetParam().pfnConvert(src.data(), 640, 480, 1280, dst.data(), 1280, 720, 1280);
    EXPECT_EQ(std::string(GetParam().pszName) + " (640x480 (1280) -> 1280x720 (1280))\n",
              capture.Text());
    for (size_t i = 0; i < dst.size(); ++i)
        ASSERT_EQ(0x11, dst[i]) << "byte " << i;
}

TEST(ConvertYuy2ToNv12Delivery, TheDeliveryEntryRunsTheWidestRoutine)
{
    const char* pszExpected = "ConvertYUY2toNV12_C";
    if (GetBestYuy2ToNv12Path() == Yuy2ToNv12Path::Avx2)
        pszExpected = "ConvertYUY2toNV12_AVX2";
    else if (GetBestYuy2ToNv12Path() == Yuy2ToNv12Path::Sse2)
        pszExpected = "ConvertYUY2toNV12_SSE2";

    std::vector<BYTE> src(1280 * 720 * 2);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<BYTE>(i * 13 + i / 7);
    std::vector<BYTE> viaEntry(1280 * 720 * 3 / 2), viaKernel(viaEntry.size());

    DebugOutputCapture capture;
    ConvertYUY2toNV12(src.data(), 1280, 720, 2560, viaEntry.data(), 1280, 720, 1280);
    EXPECT_EQ(std::string(pszExpected) + " (1280x720 (2560) -> 1280x720 (1280))\n", capture.Text());
    ASSERT_EQ(ImageStatus::Ok,
              ConvertYuy2ToNv12Kernel(GetBestYuy2ToNv12Path(), src.data(), 1280, 720, 2560,
                                      viaKernel.data(), 1280, 720, 1280));
    EXPECT_TRUE(viaEntry == viaKernel);
}

// Eight pixels: the SSE2 block rounds the chroma average half up, the
// portable routine truncates it.
TEST(ConvertYuy2ToNv12Delivery, TheSse2BlockRoundsWhereThePortableRoutineTruncates)
{
    if (!IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Sse2))
        GTEST_SKIP() << "processor lacks SSE2";
    BYTE src[2][16] = {{10, 100, 20, 200}, {30, 101, 40, 201}};
    BYTE portable[24] = {}, sse2[24] = {};
    ConvertYUY2toNV12_C(&src[0][0], 8, 2, 16, portable, 8, 2, 8);
    ConvertYUY2toNV12_SSE2(&src[0][0], 8, 2, 16, sse2, 8, 2, 8);
    EXPECT_EQ(100, portable[16]);
    EXPECT_EQ(200, portable[17]);
    EXPECT_EQ(101, sse2[16]);
    EXPECT_EQ(201, sse2[17]);
}
