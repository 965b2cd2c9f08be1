#include "image/nv12toyuy2kernel.h"

#include <stddef.h>

ImageStatus ConvertNv12ToYuy2Kernel(const uint8_t* pSrc, uint32_t nWidth, uint32_t nHeight,
                                    uint32_t nSrcStride, uint8_t* pDst, uint32_t nDstStride)
{
    if (pSrc == nullptr || pDst == nullptr || nWidth == 0 || nHeight == 0 || nWidth % 2 != 0 ||
        nHeight % 2 != 0)
        return ImageStatus::InvalidArgument;
    if (nSrcStride < nWidth || nDstStride / 2 < nWidth)
        return ImageStatus::InvalidArgument;
    // Luma and chroma together: height * 3 / 2 rows of the source stride.
    const uint64_t cbSrc = static_cast<uint64_t>(nSrcStride) * (nHeight + nHeight / 2);
    const uint64_t cbDst = static_cast<uint64_t>(nDstStride) * nHeight;
    if (cbSrc > static_cast<uint64_t>(PTRDIFF_MAX) || cbDst > static_cast<uint64_t>(PTRDIFF_MAX))
        return ImageStatus::InvalidArgument;

    const uint8_t* pChroma = pSrc + static_cast<size_t>(nSrcStride) * nHeight;
    for (uint32_t y = 0; y < nHeight; ++y)
    {
        const uint8_t* pLuma = pSrc + static_cast<size_t>(y) * nSrcStride;
        const uint8_t* pUv = pChroma + static_cast<size_t>(y / 2) * nSrcStride;
        uint8_t* pOut = pDst + static_cast<size_t>(y) * nDstStride;
        for (uint32_t x = 0; x < nWidth; x += 2)
        {
            pOut[2 * x] = pLuma[x];
            pOut[2 * x + 1] = pUv[x];
            pOut[2 * x + 2] = pLuma[x + 1];
            pOut[2 * x + 3] = pUv[x + 1];
        }
    }
    return ImageStatus::Ok;
}
