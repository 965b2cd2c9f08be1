#include "image/cropkernel.h"

#include <stddef.h>
#include <string.h>

bool ComputeCentredCrop(uint32_t nSrcWidth, uint32_t nSrcHeight, uint32_t nDstWidth,
                        uint32_t nDstHeight, CropRegion* pRegion)
{
    pRegion->nLeft = 0;
    pRegion->nTop = 0;
    pRegion->nWidth = nSrcWidth;
    pRegion->nHeight = nSrcHeight;
    if (nSrcWidth == 0 || nSrcHeight == 0 || nDstWidth == 0 || nDstHeight == 0)
        return false;

    // Both products are exact in 64 bits; comparing them is the sign of d.
    const uint64_t nDstBySrcHeight = static_cast<uint64_t>(nDstWidth) * nSrcHeight;
    const uint64_t nSrcByDstHeight = static_cast<uint64_t>(nSrcWidth) * nDstHeight;
    if (nDstBySrcHeight > nSrcByDstHeight)
    {
        // Relatively wider destination: cut rows. The quotient is below
        // nSrcHeight because nSrcWidth * nDstHeight < nDstWidth * nSrcHeight.
        pRegion->nHeight = static_cast<uint32_t>(nSrcByDstHeight / nDstWidth);
        // An extreme ratio leaves no row: keep the smallest whole region.
        if (pRegion->nHeight == 0)
            pRegion->nHeight = 1;
        pRegion->nTop = (nSrcHeight - pRegion->nHeight) / 2;
        return true;
    }
    if (nDstBySrcHeight < nSrcByDstHeight)
    {
        // Relatively narrower destination: cut columns, keeping whole
        // macropixels.
        pRegion->nWidth = static_cast<uint32_t>(nDstBySrcHeight / nDstHeight) & ~1u;
        // An extreme ratio leaves no macropixel: keep the smallest whole one
        // (the source is at least that wide, or it would not be cut).
        if (pRegion->nWidth == 0)
            pRegion->nWidth = nSrcWidth < 2 ? nSrcWidth : 2;
        pRegion->nLeft = ((nSrcWidth - pRegion->nWidth) / 2) & ~1u;
        return true;
    }
    return false;
}

ImageStatus CopyRegion(const uint8_t* pSrc, uint32_t nSrcWidth, uint32_t nSrcHeight,
                       uint32_t nBytesPerPixel, uint32_t nLeft, uint32_t nTop, uint8_t* pDst,
                       uint32_t nWidth, uint32_t nHeight)
{
    if (pSrc == nullptr || pDst == nullptr || nBytesPerPixel == 0)
        return ImageStatus::InvalidArgument;
    if (static_cast<uint64_t>(nLeft) + nWidth > nSrcWidth ||
        static_cast<uint64_t>(nTop) + nHeight > nSrcHeight)
        return ImageStatus::InvalidArgument;

    // The whole source must be addressable; the region lies inside it.
    const uint64_t cbSrcRow64 = static_cast<uint64_t>(nSrcWidth) * nBytesPerPixel;
    if (cbSrcRow64 * nSrcHeight > static_cast<uint64_t>(PTRDIFF_MAX))
        return ImageStatus::InvalidArgument;

    const size_t cbSrcRow = static_cast<size_t>(cbSrcRow64);
    const size_t cbDstRow = static_cast<size_t>(nWidth) * nBytesPerPixel;
    const uint8_t* pFrom =
        pSrc + static_cast<size_t>(nTop) * cbSrcRow + static_cast<size_t>(nLeft) * nBytesPerPixel;
    if (cbDstRow == cbSrcRow)
    {
        memcpy(pDst, pFrom, cbDstRow * nHeight);
        return ImageStatus::Ok;
    }
    for (uint32_t y = 0; y < nHeight; ++y)
    {
        memcpy(pDst, pFrom, cbDstRow);
        pFrom += cbSrcRow;
        pDst += cbDstRow;
    }
    return ImageStatus::Ok;
}
