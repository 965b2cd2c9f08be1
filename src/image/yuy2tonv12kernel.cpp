#include "image/yuy2tonv12kernel.h"

#include <stddef.h>

#include "image/cpufeatures.h"
#include "image/yuy2tonv12rows.h"

void Yuy2ToNv12RowPair_C(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                         uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels)
{
    ConvertYuy2ToNv12Macropixels(pUpper, pLower, pLumaUpper, pLumaLower, pChroma, nMacropixels);
}

bool IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path ePath)
{
    switch (ePath)
    {
    case Yuy2ToNv12Path::Portable:
        return true;
    case Yuy2ToNv12Path::Sse2:
        return GetCpuFeatures().bSse2;
    case Yuy2ToNv12Path::Avx2:
        return GetCpuFeatures().bSse2 && GetCpuFeatures().bAvx2;
    }
    return false;
}

Yuy2ToNv12Path GetBestYuy2ToNv12Path()
{
    if (IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Avx2))
        return Yuy2ToNv12Path::Avx2;
    if (IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Sse2))
        return Yuy2ToNv12Path::Sse2;
    return Yuy2ToNv12Path::Portable;
}

namespace
{
Yuy2ToNv12RowPairFunction SelectRowPairFunction(Yuy2ToNv12Path ePath)
{
    if (ePath == Yuy2ToNv12Path::Avx2 && IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Avx2))
        return Yuy2ToNv12RowPair_AVX2;
    if (ePath != Yuy2ToNv12Path::Portable && IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path::Sse2))
        return Yuy2ToNv12RowPair_SSE2;
    return Yuy2ToNv12RowPair_C;
}

bool SumIsAtMost(const uint64_t* pTerms, size_t nTerms, uint64_t nLimit)
{
    uint64_t nSum = 0;
    for (size_t i = 0; i < nTerms; ++i)
    {
        if (pTerms[i] > nLimit - nSum)
            return false;
        nSum += pTerms[i];
    }
    return true;
}
}  // namespace

ImageStatus ConvertYuy2ToNv12Kernel(Yuy2ToNv12Path ePath, const uint8_t* pSrc, uint32_t nSrcWidth,
                                    uint32_t nSrcHeight, uint32_t nSrcStride, uint8_t* pDst,
                                    uint32_t nDstWidth, uint32_t nDstHeight, uint32_t nDstStride)
{
    if (pSrc == nullptr || pDst == nullptr)
        return ImageStatus::InvalidArgument;
    if (nSrcWidth != nDstWidth || nSrcHeight != nDstHeight)
        return ImageStatus::InvalidArgument;

    const uint32_t nMacropixels = nSrcWidth / 2;
    const uint32_t nRowPairs = nSrcHeight / 2;
    const uint64_t cbSrcRow = 4ull * nMacropixels;
    const uint64_t cbLumaRow = 2ull * nMacropixels;
    if (nSrcStride < cbSrcRow || nDstStride < cbLumaRow)
        return ImageStatus::InvalidArgument;
    if (nMacropixels == 0 || nRowPairs == 0)
        return ImageStatus::Ok;

    // One past the last byte touched on either side must be addressable.
    // Every product of two 32-bit numbers fits in 64 bits; the sums are
    // checked term by term so that they cannot wrap.
    const uint64_t kMaxOffset = static_cast<uint64_t>(PTRDIFF_MAX);
    const uint64_t aSrcTerms[] = {(2ull * nRowPairs - 1) * nSrcStride, cbSrcRow};
    const uint64_t aDstTerms[] = {static_cast<uint64_t>(nDstHeight) * nDstStride,
                                  (nRowPairs - 1ull) * nDstStride, cbLumaRow};
    if (!SumIsAtMost(aSrcTerms, 2, kMaxOffset) || !SumIsAtMost(aDstTerms, 3, kMaxOffset))
        return ImageStatus::InvalidArgument;

    Yuy2ToNv12RowPairFunction pfnRowPair = SelectRowPairFunction(ePath);
    const size_t cbSrcStride = nSrcStride;
    const size_t cbDstStride = nDstStride;
    uint8_t* pChroma = pDst + static_cast<size_t>(nDstHeight) * cbDstStride;
    for (size_t i = 0; i < nRowPairs; ++i)
    {
        const uint8_t* pUpper = pSrc + 2 * i * cbSrcStride;
        uint8_t* pLumaUpper = pDst + 2 * i * cbDstStride;
        pfnRowPair(pUpper, pUpper + cbSrcStride, pLumaUpper, pLumaUpper + cbDstStride,
                   pChroma + i * cbDstStride, nMacropixels);
    }
    return ImageStatus::Ok;
}
