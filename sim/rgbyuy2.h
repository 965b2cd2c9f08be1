#pragma once

#include <windows.h>

// BT.601 limited-range colour conversion between 8-bit RGB and YUY2, the way
// the system's MJPEG decoder and webcams label their pictures.

void RgbToYuv(BYTE r, BYTE g, BYTE b, BYTE* pY, BYTE* pU, BYTE* pV);
void YuvToRgb(BYTE y, BYTE u, BYTE v, BYTE* pR, BYTE* pG, BYTE* pB);

// Rows of BGR pixels (nBytesPerPixel 3 for BGR, 4 for BGRA) to YUY2: each
// pair shares the average of its two pixels' chroma; an odd last pixel is
// paired with itself. Writes ceil(nWidth / 2) * 4 bytes per row.
void ConvertBgrToYuy2(const BYTE* pSrc, UINT nSrcStride, UINT nBytesPerPixel, UINT nWidth,
                      UINT nHeight, BYTE* pDst, UINT nDstStride);

// Rows of YUY2 to BGR (nBytesPerPixel 3) or BGRA (4, alpha 255). With an odd
// width the second pixel of the last pair is not written.
void ConvertYuy2ToBgr(const BYTE* pSrc, UINT nSrcStride, UINT nWidth, UINT nHeight, BYTE* pDst,
                      UINT nDstStride, UINT nBytesPerPixel);
