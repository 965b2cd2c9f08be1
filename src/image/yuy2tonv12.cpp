#include "image/yuy2tonv12.h"

#include "diagnostics/debugassert.h"

#include "diagnostics/debuglog.h"
#include "image/yuy2tonv12kernel.h"

namespace
{
void Convert(const wchar_t* pszLogFormat, Yuy2ToNv12Path ePath, const BYTE* pSrc, DWORD dwSrcWidth,
             DWORD dwSrcHeight, DWORD dwSrcStride, BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight,
             DWORD dwDstStride)
{
    LogPrintW(pszLogFormat, dwSrcWidth, dwSrcHeight, dwSrcStride, dwDstWidth, dwDstHeight,
              dwDstStride);
    if (pSrc == NULL || pDst == NULL)
        return;

    DEBUG_ASSERT(dwSrcHeight == dwDstHeight);
    DEBUG_ASSERT(dwSrcWidth == dwDstWidth);
    // The kernel writes nothing when the sizes differ or a stride is unusable.
    ConvertYuy2ToNv12Kernel(ePath, pSrc, dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth,
                            dwDstHeight, dwDstStride);
}
}  // namespace

void ConvertYUY2toNV12_C(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight, DWORD dwSrcStride,
                         BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight, DWORD dwDstStride)
{
    Convert(L"ConvertYUY2toNV12_C (%dx%d (%d) -> %dx%d (%d))\n", Yuy2ToNv12Path::Portable, pSrc,
            dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth, dwDstHeight, dwDstStride);
}

void ConvertYUY2toNV12_SSE2(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight,
                            DWORD dwSrcStride, BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight,
                            DWORD dwDstStride)
{
    Convert(L"ConvertYUY2toNV12_SSE2 (%dx%d (%d) -> %dx%d (%d))\n", Yuy2ToNv12Path::Sse2, pSrc,
            dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth, dwDstHeight, dwDstStride);
}

void ConvertYUY2toNV12_AVX2(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight,
                            DWORD dwSrcStride, BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight,
                            DWORD dwDstStride)
{
    Convert(L"ConvertYUY2toNV12_AVX2 (%dx%d (%d) -> %dx%d (%d))\n", Yuy2ToNv12Path::Avx2, pSrc,
            dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth, dwDstHeight, dwDstStride);
}

void ConvertYUY2toNV12(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight, DWORD dwSrcStride,
                       BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight, DWORD dwDstStride)
{
    switch (GetBestYuy2ToNv12Path())
    {
    case Yuy2ToNv12Path::Avx2:
        ConvertYUY2toNV12_AVX2(pSrc, dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth,
                               dwDstHeight, dwDstStride);
        break;
    case Yuy2ToNv12Path::Sse2:
        ConvertYUY2toNV12_SSE2(pSrc, dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth,
                               dwDstHeight, dwDstStride);
        break;
    case Yuy2ToNv12Path::Portable:
        ConvertYUY2toNV12_C(pSrc, dwSrcWidth, dwSrcHeight, dwSrcStride, pDst, dwDstWidth,
                            dwDstHeight, dwDstStride);
        break;
    }
}
