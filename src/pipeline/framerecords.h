#pragma once

#include <windows.h>
#include <mfobjects.h>
#include <wrl/client.h>

// Colour-format numbers shared with the driver.
enum _COLOR_FORMAT : UINT32
{
    COLOR_FORMAT_YUY2 = 2,
    COLOR_FORMAT_MJPG = 3,
    COLOR_FORMAT_NV12 = 4,
};

inline bool IsHandledColorFormat(UINT32 nFormat)
{
    return nFormat == COLOR_FORMAT_YUY2 || nFormat == COLOR_FORMAT_MJPG ||
           nFormat == COLOR_FORMAT_NV12;
}

// The format's usual name, "?" for a number the system does not handle.
inline const char* ColorFormatName(UINT32 nFormat)
{
    switch (nFormat)
    {
    case COLOR_FORMAT_YUY2:
        return "YUY2";
    case COLOR_FORMAT_MJPG:
        return "MJPG";
    case COLOR_FORMAT_NV12:
        return "NV12";
    default:
        return "?";
    }
}

// One picture waiting in the pipeline's queue. The numbers describe the
// picture as produced; the sample holds its bytes in its first buffer.
class FRAME_UNIT
{
public:
    FRAME_UNIT(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight, IMFSample* pSample)
        : format(eFormat), width(nWidth), height(nHeight), sample(pSample)
    {
    }

    _COLOR_FORMAT format;
    UINT32 width;
    UINT32 height;
    Microsoft::WRL::ComPtr<IMFSample> sample;
};

// One frame size that the driver's clients want.
struct FORMAT_RESOLUTION_UNIT
{
    UINT32 width;
    UINT32 height;
};

// Bytes of a W x H YUY2 picture; FALSE when the count overflows 32 bits.
BOOL GetYuy2FrameSize(UINT32 nWidth, UINT32 nHeight, UINT32* pcbSize);

// Bytes of a W x H NV12 picture (W x H x 1.5, truncated); FALSE when the
// count overflows 32 bits.
BOOL GetNv12FrameSize(UINT32 nWidth, UINT32 nHeight, UINT32* pcbSize);
