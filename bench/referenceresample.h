#pragma once

#include <stdint.h>

#include <vector>

// Double-precision references for the quality columns of the benchmark.

struct LumaPlane
{
    uint32_t nWidth;
    uint32_t nHeight;
    std::vector<double> samples;
};

// The luma of nWidth x nHeight YUY2 pixels at pSrc (row stride in bytes).
LumaPlane ExtractLuma(const uint8_t* pSrc, uint32_t nWidth, uint32_t nHeight, uint32_t nStride);

// Separable Lanczos resample (three lobes, widened by the factor when
// shrinking) with pixel centres aligned and the edges extended: a sharp,
// anti-aliased resample that none of the measured scalers uses.
LumaPlane ResampleLumaLanczos3(const LumaPlane& in, uint32_t nOutWidth, uint32_t nOutHeight);

// PSNR in dB of a picture's luma (every nStep-th byte from nFirst, rows of
// nStride bytes) against the reference.
double LumaPsnr(const uint8_t* pPicture, uint32_t nStride, uint32_t nFirst, uint32_t nStep,
                const LumaPlane& reference);
