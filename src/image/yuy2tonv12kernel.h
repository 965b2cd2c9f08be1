#pragma once

#include <stdint.h>

#include "image/imagestatus.h"

// YUY2 to NV12 without scaling, as plain C++ on caller-owned bytes.
//
// Source: packed YUY2 rows of width / 2 macropixels (Y0 U Y1 V), row r at
// pSrc + r * nSrcStride. Destination: an NV12 block, luma rows at
// pDst + r * nDstStride, then height / 2 chroma rows (U V pairs) with the same
// stride starting at pDst + height * nDstStride.
//
// Rows are taken in pairs (an odd last row is neither read nor written);
// the two luma rows are copied and the chroma of the pair is averaged. Only
// whole macropixels are touched: with an odd width the last pixel column of
// both pictures is neither read nor written. Padding is never touched.
//
// The paths give identical luma. In chroma the portable path truncates the
// average; the SSE2 and AVX2 paths round half up in blocks of four
// macropixels and truncate in the last (width / 2) % 4 macropixels of a row,
// so they equal each other exactly and the portable path within one.
enum class Yuy2ToNv12Path
{
    Portable,
    Sse2,
    Avx2,  // 16 pixels a step, then the SSE2 blocks and remainder
};

// Nothing is written and InvalidArgument returned when a pointer is null,
// the sizes differ, a stride is shorter than the bytes of a row's whole
// macropixels, or the block would not fit in the address space. A path the
// processor lacks falls back to the next narrower one.
ImageStatus ConvertYuy2ToNv12Kernel(Yuy2ToNv12Path ePath, const uint8_t* pSrc, uint32_t nSrcWidth,
                                    uint32_t nSrcHeight, uint32_t nSrcStride, uint8_t* pDst,
                                    uint32_t nDstWidth, uint32_t nDstHeight, uint32_t nDstStride);

// The widest path this processor runs.
Yuy2ToNv12Path GetBestYuy2ToNv12Path();

// Whether the path runs as itself on this processor (Portable always does).
bool IsYuy2ToNv12PathAvailable(Yuy2ToNv12Path ePath);
