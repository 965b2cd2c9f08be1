#include <gtest/gtest.h>

#include "debugoutputcapture.h"
#include "driver/driverio.h"
#include "driver/driverprotocol.h"
#include "pipeline/driverframebuffer.h"
#include "pipeline/framecontrolmanager.h"
#include "simulateddriver.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#sim_vcam#0000#{handover}";

class FrameHandOverTest : public ::testing::Test
{
protected:
    FrameHandOverTest() : m_driver(kDevicePath), m_manager(NULL) {}

    void SetUp() override
    {
        m_driver.Install();
        m_hDevice = OpenDevicePath(kDevicePath);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_hDevice);
    }
    void TearDown() override
    {
        gDriverIo.pfnCloseHandle(m_hDevice);
        m_driver.Uninstall();
    }

    static std::vector<BYTE> Pattern(size_t cb)
    {
        std::vector<BYTE> bytes(cb);
        for (size_t i = 0; i < cb; ++i)
            bytes[i] = static_cast<BYTE>((i * 31) ^ (i >> 9));
        return bytes;
    }

    SimulatedDriver m_driver;
    FrameControlManager m_manager;
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
};
}  // namespace

TEST_F(FrameHandOverTest, AVgaYuy2PictureReachesTheDriverUnchangedBehindItsHeader)
{
    DebugOutputCapture capture;
    std::vector<BYTE> picture = Pattern(640 * 480 * 2);
    EXPECT_EQ(S_OK, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_YUY2, 640, 480, picture.data(),
                                        static_cast<UINT32>(picture.size())));

    std::vector<SimulatedDriver::ReceivedFrame> frames = m_driver.GetFrames();
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(640u, frames[0].nWidth);
    EXPECT_EQ(480u, frames[0].nHeight);
    EXPECT_EQ(COLOR_FORMAT_YUY2, frames[0].nFormat);
    EXPECT_EQ(614400u, frames[0].picture.size());
    EXPECT_TRUE(frames[0].picture == picture);
    EXPECT_TRUE(frames[0].bRecordPageAligned);
    EXPECT_TRUE(capture.Contains("Frame header: format=2, size: 640 x 480\n"));
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_SET_FRAME): OK ("));
}

TEST_F(FrameHandOverTest, TheRecordIsFreedAfterTheRequest)
{
    const void* pRecord = NULL;
    m_driver.SetFrameObserver([&pRecord](const SimulatedDriver::FrameView& frame)
                              { pRecord = frame.pRecord; });
    m_driver.SetFrameRetention(0);
    std::vector<BYTE> picture = Pattern(1280 * 720 * 3 / 2);
    ASSERT_EQ(S_OK, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_NV12, 1280, 720, picture.data(),
                                        static_cast<UINT32>(picture.size())));
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_NE(0u, VirtualQuery(pRecord, &info, sizeof(info)));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), info.State);
}

TEST_F(FrameHandOverTest, TheDriverDoubleCopiesOnlyTheFramesItKeeps)
{
    // Kept: none. The observer reads the sender's record itself, not a copy.
    std::vector<BYTE> first = Pattern(640 * 480 * 2);
    const BYTE* pSeen = NULL;
    const void* pRecord = NULL;
    bool bSameBytes = false;
    m_driver.SetFrameObserver(
        [&](const SimulatedDriver::FrameView& frame)
        {
            pSeen = frame.pPicture;
            pRecord = frame.pRecord;
            bSameBytes = frame.cbPicture == first.size() &&
                         memcmp(frame.pPicture, first.data(), first.size()) == 0;
        });
    m_driver.SetFrameRetention(0);
    ASSERT_EQ(S_OK, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_YUY2, 640, 480, first.data(),
                                        static_cast<UINT32>(first.size())));
    EXPECT_TRUE(bSameBytes);
    EXPECT_EQ(static_cast<const BYTE*>(pRecord) + sizeof(FRAME_HEADER), pSeen);
    EXPECT_TRUE(m_driver.GetFrames().empty());
    EXPECT_EQ(1u, m_driver.GetFrameCount());

    // Kept: the last two, oldest first, each with its own picture, as the
    // oldest's storage is reused for the newest.
    m_driver.SetFrameObserver(nullptr);
    m_driver.SetFrameRetention(2);
    std::vector<std::vector<BYTE>> pictures;
    for (int i = 0; i < 3; ++i)
    {
        pictures.push_back(Pattern(320 * 240 * 3 / 2));
        pictures.back()[0] = static_cast<BYTE>(i);
        ASSERT_EQ(S_OK, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_NV12, 320, 240,
                                            pictures.back().data(),
                                            static_cast<UINT32>(pictures.back().size())));
    }
    std::vector<SimulatedDriver::ReceivedFrame> frames = m_driver.GetFrames();
    ASSERT_EQ(2u, frames.size());
    EXPECT_TRUE(frames[0].picture == pictures[1]);
    EXPECT_TRUE(frames[1].picture == pictures[2]);
    EXPECT_EQ(320u, frames[1].nWidth);
    EXPECT_EQ(4u, m_driver.GetFrameCount());
}

TEST_F(FrameHandOverTest, AFailingDriverCallIsLoggedReturnedAndStillFreesTheRecord)
{
    DebugOutputCapture capture;
    m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE);
    std::vector<BYTE> jpeg = Pattern(4096);

    HRESULT hr = m_manager.SendFrame(m_hDevice, COLOR_FORMAT_MJPG, 1280, 720, jpeg.data(),
                                     static_cast<UINT32>(jpeg.size()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), hr);
    EXPECT_TRUE(capture.Contains("DeviceIoControl (IOCTL_AVSHWS_SET_FRAME) Failed (0x8007001F)\n"));
    EXPECT_EQ(0u, m_driver.GetFrameCount());

    // Repeated failures must not leak: the address space stays as it was.
    MEMORYSTATUSEX before;
    before.dwLength = sizeof(before);
    GlobalMemoryStatusEx(&before);
    std::vector<BYTE> big = Pattern(8 * 1024 * 1024);
    for (int i = 0; i < 40; ++i)
        m_manager.SendFrame(m_hDevice, COLOR_FORMAT_MJPG, 1, 1, big.data(),
                            static_cast<UINT32>(big.size()));
    MEMORYSTATUSEX after;
    after.dwLength = sizeof(after);
    GlobalMemoryStatusEx(&after);
    EXPECT_LT(before.ullAvailVirtual - after.ullAvailVirtual, 64ull * 1024 * 1024);
}

TEST_F(FrameHandOverTest, BadArgumentsAreRefusedWithoutAnyLogOrRequest)
{
    DebugOutputCapture capture;
    BYTE byte = 0;
    EXPECT_EQ(E_FAIL, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_MJPG, 1, 1, &byte, 0));
    EXPECT_EQ(E_FAIL, m_manager.SendFrame(m_hDevice, COLOR_FORMAT_MJPG, 1, 1, NULL, 1));
    EXPECT_EQ(E_FAIL, m_manager.SendFrame(INVALID_HANDLE_VALUE, COLOR_FORMAT_MJPG, 1, 1, &byte, 1));
    EXPECT_EQ(0, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_EQ("", capture.Text());
}

TEST_F(FrameHandOverTest, APictureWhoseRecordLengthWouldOverflowIsRefused)
{
    DebugOutputCapture capture;
    BYTE byte = 0;
    // The size is refused before anything is read from the data.
    EXPECT_EQ(E_INVALIDARG,
              m_manager.SendFrame(m_hDevice, COLOR_FORMAT_MJPG, 1, 1, &byte, 0xFFFFFFF8u));
    EXPECT_EQ(0, m_driver.GetRequestCount(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_EQ("", capture.Text());
}

TEST(DriverFrameBuffer, CommitsWholePagesForHeaderAndPicture)
{
    DriverFrameBuffer buffer(614400);
    EXPECT_EQ(614412u, buffer.GetTotalSize());
    EXPECT_EQ(nullptr, buffer.GetHeader());
    EXPECT_EQ(nullptr, buffer.GetPicture());
    ASSERT_EQ(S_OK, buffer.Allocate());
    BYTE* pFirst = reinterpret_cast<BYTE*>(buffer.GetHeader());
    EXPECT_EQ(S_OK, buffer.Allocate());  // a second call keeps the block
    EXPECT_EQ(pFirst, reinterpret_cast<BYTE*>(buffer.GetHeader()));
    EXPECT_EQ(pFirst + 12, buffer.GetPicture());
    EXPECT_EQ(0u, reinterpret_cast<UINT_PTR>(pFirst) % 4096);
    pFirst[614411] = 0xAB;  // the last byte of the record is writable
}

TEST(DriverFrameBuffer, AnEmptyPictureHasNoPicturePointer)
{
    DriverFrameBuffer buffer(0);
    ASSERT_EQ(S_OK, buffer.Allocate());
    EXPECT_NE(nullptr, buffer.GetHeader());
    EXPECT_EQ(nullptr, buffer.GetPicture());
}
