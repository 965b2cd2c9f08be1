#include <gtest/gtest.h>

#include "driver/driverio.h"
#include "driver/driverprotocol.h"
#include "pipeline/framerecords.h"

TEST(DriverProtocol, ControlCodesAreTheDriversOwn)
{
    EXPECT_EQ(0xE832E000u, static_cast<DWORD>(IOCTL_AVSHWS_GET_FRAME_INFO));
    EXPECT_EQ(0xE832E005u, static_cast<DWORD>(IOCTL_AVSHWS_SET_FRAME));
    EXPECT_EQ(0xE832E008u, static_cast<DWORD>(IOCTL_AVSHWS_NOTIFY_EVENT));
    EXPECT_EQ(0xE832E00Cu, static_cast<DWORD>(IOCTL_AVSHWS_SERVER_QUIT));
    EXPECT_EQ(0xE832E011u, static_cast<DWORD>(IOCTL_AVSHWS_SERVER_EXIST));
    EXPECT_EQ(0xE832E014u, static_cast<DWORD>(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT));
    EXPECT_EQ(0xE832E019u, static_cast<DWORD>(IOCTL_AVSHWS_RELEASE_CAMERA_EVENT));
}

TEST(DriverProtocol, ControlCodesDecodeToDeviceFunctionMethodAndAccess)
{
    struct Expected
    {
        DWORD dwCode;
        DWORD dwFunction;
        DWORD dwMethod;
    } expected[] = {
        {IOCTL_AVSHWS_GET_FRAME_INFO, 0x800, METHOD_BUFFERED},
        {IOCTL_AVSHWS_SET_FRAME, 0x801, METHOD_IN_DIRECT},
        {IOCTL_AVSHWS_NOTIFY_EVENT, 0x802, METHOD_BUFFERED},
        {IOCTL_AVSHWS_SERVER_QUIT, 0x803, METHOD_BUFFERED},
        {IOCTL_AVSHWS_SERVER_EXIST, 0x804, METHOD_IN_DIRECT},
        {IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, 0x805, METHOD_BUFFERED},
        {IOCTL_AVSHWS_RELEASE_CAMERA_EVENT, 0x806, METHOD_IN_DIRECT},
    };
    for (const Expected& e : expected)
    {
        EXPECT_EQ(0xE832u, DEVICE_TYPE_FROM_CTL_CODE(e.dwCode)) << std::hex << e.dwCode;
        EXPECT_EQ(e.dwFunction, (e.dwCode >> 2) & 0xFFF) << std::hex << e.dwCode;
        EXPECT_EQ(e.dwMethod, METHOD_FROM_CTL_CODE(e.dwCode)) << std::hex << e.dwCode;
        EXPECT_EQ(static_cast<DWORD>(FILE_READ_ACCESS | FILE_WRITE_ACCESS), (e.dwCode >> 14) & 3);
    }
}

TEST(DriverProtocol, FrameInfoFieldsSitAtTheDriversOffsets)
{
    BYTE record[40] = {};
    record[0] = 3;  // nIndex
    record[4] = 0x80;
    record[5] = 0x02;  // nWidth 640
    record[8] = 0xE0;
    record[9] = 0x01;  // nHeight 480
    record[12] = 0x00;
    record[13] = 0x05;  // nStride 1280
    record[16] = 0x39;
    record[17] = 0x30;  // dwProcessId 12345
    record[24] = 0x15;
    record[25] = 0x16;
    record[26] = 0x05;  // llFrameDuration 333333
    record[32] = 4;     // nFormat NV12

    FrameInfo info;
    memcpy(&info, record, sizeof(info));
    EXPECT_EQ(3u, info.nIndex);
    EXPECT_EQ(640u, info.nWidth);
    EXPECT_EQ(480u, info.nHeight);
    EXPECT_EQ(1280, info.nStride);
    EXPECT_EQ(12345u, info.dwProcessId);
    EXPECT_EQ(333333, info.llFrameDuration);
    EXPECT_EQ(COLOR_FORMAT_NV12, info.nFormat);
}

TEST(DriverProtocol, Win32ErrorsMapToHResults)
{
    EXPECT_EQ(S_OK, HRESULT_FROM_WIN32(0));
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(static_cast<HRESULT>(0x80070005), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    // Only the low 16 bits of a positive code survive.
    EXPECT_EQ(static_cast<HRESULT>(0x80071234), HRESULT_FROM_WIN32(0x00051234));
    // Negative values are HRESULTs already and stay as they are.
    EXPECT_EQ(E_FAIL, HRESULT_FROM_WIN32(static_cast<unsigned long>(E_FAIL)));
}

TEST(DriverProtocol, AFailureWithoutSystemErrorIsStillAFailure)
{
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, HResultFromFailedCall());
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), HResultFromFailedCall());
}
