#pragma once

#include <windows.h>

// YUY2 to NV12 conversion for the delivery thread. All routines take the
// same eight arguments: source, its width, height and stride in bytes;
// destination (an NV12 block: luma rows, then the interleaved U V rows with
// the same stride), its width, height and stride. They do not scale: on
// differing sizes (a debug assertion in debug builds), a null pointer or an
// unusable stride nothing is written. Each writes one line to the wide debug
// log first, naming itself. See image/yuy2tonv12kernel.h for the rounding of
// each routine and for odd widths and heights.

// The portable reference: chroma averages truncate.
void ConvertYUY2toNV12_C(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight, DWORD dwSrcStride,
                         BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight, DWORD dwDstStride);

// Eight pixels a block with SSE2; chroma rounds half up inside the blocks.
void ConvertYUY2toNV12_SSE2(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight,
                            DWORD dwSrcStride, BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight,
                            DWORD dwDstStride);

// Sixteen pixels a step with AVX2; the same bytes as ConvertYUY2toNV12_SSE2.
// On a processor without AVX2 it runs the SSE2 routine's code.
void ConvertYUY2toNV12_AVX2(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight,
                            DWORD dwSrcStride, BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight,
                            DWORD dwDstStride);

// The delivery path's entry: calls the widest of the routines above that the
// processor runs (checked once per process).
void ConvertYUY2toNV12(const BYTE* pSrc, DWORD dwSrcWidth, DWORD dwSrcHeight, DWORD dwSrcStride,
                       BYTE* pDst, DWORD dwDstWidth, DWORD dwDstHeight, DWORD dwDstStride);
