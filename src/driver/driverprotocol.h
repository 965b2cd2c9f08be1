#pragma once

#include <windows.h>
#include <winioctl.h>

#include <stddef.h>

// Device I/O control protocol of the virtual-camera driver.

#define FILE_DEVICE_AVSHWS 0xE832u

#define IOCTL_AVSHWS_GET_FRAME_INFO \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x800, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_SET_FRAME \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x801, METHOD_IN_DIRECT, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_NOTIFY_EVENT \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x802, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_SERVER_QUIT \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x803, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_SERVER_EXIST \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x804, METHOD_IN_DIRECT, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_GET_FRAME_INFO_COUNT \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x805, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define IOCTL_AVSHWS_RELEASE_CAMERA_EVENT \
    CTL_CODE(FILE_DEVICE_AVSHWS, 0x806, METHOD_IN_DIRECT, FILE_READ_ACCESS | FILE_WRITE_ACCESS)

// One frame request of the driver's clients, as IOCTL_AVSHWS_GET_FRAME_INFO
// returns it.
struct FrameInfo
{
    UINT32 nIndex;  // input: which record
    UINT32 nWidth;
    UINT32 nHeight;
    INT32 nStride;      // logged only
    DWORD dwProcessId;  // the requesting client
    UINT32 reserved1;
    INT64 llFrameDuration;  // logged only
    UINT32 nFormat;         // _COLOR_FORMAT
    UINT32 reserved2;
};

static_assert(sizeof(FrameInfo) == 40, "FrameInfo is the driver's 40-byte record");
static_assert(offsetof(FrameInfo, nIndex) == 0, "FrameInfo layout");
static_assert(offsetof(FrameInfo, nWidth) == 4, "FrameInfo layout");
static_assert(offsetof(FrameInfo, nHeight) == 8, "FrameInfo layout");
static_assert(offsetof(FrameInfo, nStride) == 12, "FrameInfo layout");
static_assert(offsetof(FrameInfo, dwProcessId) == 16, "FrameInfo layout");
static_assert(offsetof(FrameInfo, llFrameDuration) == 24, "FrameInfo layout");
static_assert(offsetof(FrameInfo, nFormat) == 32, "FrameInfo layout");

// Header of the IOCTL_AVSHWS_SET_FRAME record; the picture follows it.
struct FRAME_HEADER
{
    UINT32 nWidth;
    UINT32 nHeight;
    UINT32 nFormat;
};

static_assert(sizeof(FRAME_HEADER) == 12, "FRAME_HEADER is 12 bytes");
static_assert(offsetof(FRAME_HEADER, nWidth) == 0, "FRAME_HEADER layout");
static_assert(offsetof(FRAME_HEADER, nHeight) == 4, "FRAME_HEADER layout");
static_assert(offsetof(FRAME_HEADER, nFormat) == 8, "FRAME_HEADER layout");

// Event handles travel as 4-byte values (the product is a 32-bit process;
// 64-bit Windows keeps handle values within 32 bits for the same reason).
static const DWORD kDriverHandleValueSize = 4;
