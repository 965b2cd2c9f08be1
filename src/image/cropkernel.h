#pragma once

#include <stdint.h>

#include "image/imagestatus.h"

// The region of a picture that a resize keeps, in pixels.
struct CropRegion
{
    uint32_t nLeft;
    uint32_t nTop;
    uint32_t nWidth;
    uint32_t nHeight;
};

// The largest centred region of a nSrcWidth x nSrcHeight picture that has
// the aspect ratio of nDstWidth x nDstHeight, for packed YUY2 (so the
// region's width and left edge are even when columns are cut).
//
// The ratios are compared by cross-multiplying exactly in 64 bits:
// d = nDstWidth * nSrcHeight - nSrcWidth * nDstHeight.
// - d > 0: full width; height = nSrcWidth * nDstHeight / nDstWidth and
//   top = (nSrcHeight - height) / 2, both truncated (top may be odd).
// - d < 0: full height; width = nSrcHeight * nDstWidth / nDstHeight and
//   left = (nSrcWidth - width) / 2, each truncated and then lowered to even.
// - A region that comes out empty is widened to the smallest whole one: 1
//   row high, or 2 pixels (one macropixel) wide.
// - d = 0, or any size zero: no crop.
// Returns whether a crop is needed; the region is filled either way (the
// whole picture when not).
bool ComputeCentredCrop(uint32_t nSrcWidth, uint32_t nSrcHeight, uint32_t nDstWidth,
                        uint32_t nDstHeight, CropRegion* pRegion);

// Copies the nWidth x nHeight region at (nLeft, nTop) of a packed picture
// (row bytes = width * nBytesPerPixel, no padding) into a packed picture of
// the region's size: one block copy when the rows are contiguous (the full
// width), row by row otherwise. InvalidArgument, with nothing copied, for a
// null pointer, a zero pixel size or a region reaching past the source
// (compared without wrapping), or byte counts beyond the address space.
ImageStatus CopyRegion(const uint8_t* pSrc, uint32_t nSrcWidth, uint32_t nSrcHeight,
                       uint32_t nBytesPerPixel, uint32_t nLeft, uint32_t nTop, uint8_t* pDst,
                       uint32_t nWidth, uint32_t nHeight);
