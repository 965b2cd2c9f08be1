#include "rgbyuy2.h"

namespace
{
BYTE Clamp(int n)
{
    return static_cast<BYTE>(n < 0 ? 0 : (n > 255 ? 255 : n));
}
}  // namespace

// The offsets keep every intermediate value non-negative before the shift.
void RgbToYuv(BYTE r, BYTE g, BYTE b, BYTE* pY, BYTE* pU, BYTE* pV)
{
    *pY = static_cast<BYTE>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    *pU = static_cast<BYTE>((-38 * r - 74 * g + 112 * b + 128 + (128 << 8)) >> 8);
    *pV = static_cast<BYTE>((112 * r - 94 * g - 18 * b + 128 + (128 << 8)) >> 8);
}

void YuvToRgb(BYTE y, BYTE u, BYTE v, BYTE* pR, BYTE* pG, BYTE* pB)
{
    int c = 298 * (y - 16);
    int d = u - 128;
    int e = v - 128;
    *pR = Clamp((c + 409 * e + 128) / 256);
    *pG = Clamp((c - 100 * d - 208 * e + 128) / 256);
    *pB = Clamp((c + 516 * d + 128) / 256);
}

void ConvertBgrToYuy2(const BYTE* pSrc, UINT nSrcStride, UINT nBytesPerPixel, UINT nWidth,
                      UINT nHeight, BYTE* pDst, UINT nDstStride)
{
    for (UINT y = 0; y < nHeight; ++y)
    {
        const BYTE* pRow = pSrc + static_cast<size_t>(y) * nSrcStride;
        BYTE* pOut = pDst + static_cast<size_t>(y) * nDstStride;
        for (UINT x = 0; x < nWidth; x += 2)
        {
            const BYTE* p0 = pRow + static_cast<size_t>(x) * nBytesPerPixel;
            const BYTE* p1 = (x + 1 < nWidth) ? p0 + nBytesPerPixel : p0;
            BYTE y0, y1, u0, u1, v0, v1;
            RgbToYuv(p0[2], p0[1], p0[0], &y0, &u0, &v0);
            RgbToYuv(p1[2], p1[1], p1[0], &y1, &u1, &v1);
            pOut[0] = y0;
            pOut[1] = static_cast<BYTE>((u0 + u1 + 1) / 2);
            pOut[2] = y1;
            pOut[3] = static_cast<BYTE>((v0 + v1 + 1) / 2);
            pOut += 4;
        }
    }
}

void ConvertYuy2ToBgr(const BYTE* pSrc, UINT nSrcStride, UINT nWidth, UINT nHeight, BYTE* pDst,
                      UINT nDstStride, UINT nBytesPerPixel)
{
    for (UINT y = 0; y < nHeight; ++y)
    {
        const BYTE* pIn = pSrc + static_cast<size_t>(y) * nSrcStride;
        BYTE* pRow = pDst + static_cast<size_t>(y) * nDstStride;
        for (UINT x = 0; x < nWidth; x += 2)
        {
            BYTE* p0 = pRow + static_cast<size_t>(x) * nBytesPerPixel;
            YuvToRgb(pIn[0], pIn[1], pIn[3], &p0[2], &p0[1], &p0[0]);
            if (x + 1 < nWidth)
            {
                BYTE* p1 = p0 + nBytesPerPixel;
                YuvToRgb(pIn[2], pIn[1], pIn[3], &p1[2], &p1[1], &p1[0]);
                if (nBytesPerPixel == 4)
                    p1[3] = 255;
            }
            if (nBytesPerPixel == 4)
                p0[3] = 255;
            pIn += 4;
        }
    }
}
