#include "pipeline/framerecords.h"

BOOL GetYuy2FrameSize(UINT32 nWidth, UINT32 nHeight, UINT32* pcbSize)
{
    UINT64 cbSize = static_cast<UINT64>(nWidth) * nHeight * 2;
    if (cbSize > 0xFFFFFFFFull)
        return FALSE;
    *pcbSize = static_cast<UINT32>(cbSize);
    return TRUE;
}

BOOL GetNv12FrameSize(UINT32 nWidth, UINT32 nHeight, UINT32* pcbSize)
{
    UINT64 nPixels = static_cast<UINT64>(nWidth) * nHeight;
    if (nPixels > 0xFFFFFFFFull)
        return FALSE;
    // The driver's size rule: the 32-bit pixel count as double, times 1.5,
    // truncated toward zero.
    double dSize = static_cast<double>(static_cast<UINT32>(nPixels)) * 1.5;
    if (dSize > 4294967295.0)
        return FALSE;
    *pcbSize = static_cast<UINT32>(dSize);
    return TRUE;
}
