#pragma once

#include <stdint.h>

#include "image/imagestatus.h"

// NV12 to packed YUY2 of the same size, as plain C++ on caller-owned bytes:
// what a decoder that offers NV12 only gives is turned into the pipeline's
// own YUY2. Source: luma rows at pSrc + r * nSrcStride, then height / 2
// chroma rows (U V pairs) with the same stride from pSrc + height *
// nSrcStride. Each chroma row serves both rows of its pair; an odd last row
// takes the chroma of the pair above. Width and height must be even.
//
// InvalidArgument, nothing written, for a null pointer, an odd or zero
// size, a stride shorter than a row, or a block beyond the address space.
ImageStatus ConvertNv12ToYuy2Kernel(const uint8_t* pSrc, uint32_t nWidth, uint32_t nHeight,
                                    uint32_t nSrcStride, uint8_t* pDst, uint32_t nDstStride);
