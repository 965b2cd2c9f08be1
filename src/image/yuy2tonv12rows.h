#pragma once

#include <stdint.h>

// Row-pair functions of the YUY2 to NV12 kernel (internal to src/image).
// Each converts nMacropixels macropixels of an upper and a lower source row
// into two luma rows and one chroma row, reading and writing exactly those
// bytes.
typedef void (*Yuy2ToNv12RowPairFunction)(const uint8_t* pUpper, const uint8_t* pLower,
                                          uint8_t* pLumaUpper, uint8_t* pLumaLower,
                                          uint8_t* pChroma, uint32_t nMacropixels);

void Yuy2ToNv12RowPair_C(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                         uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels);
void Yuy2ToNv12RowPair_SSE2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels);
void Yuy2ToNv12RowPair_AVX2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels);

// The portable step, shared by every path for its remainder: luma copied,
// chroma averaged with truncation. Static, so that no translation unit
// compiled for a wider instruction set lends its copy to the others.
static inline void ConvertYuy2ToNv12Macropixels(const uint8_t* pUpper, const uint8_t* pLower,
                                                uint8_t* pLumaUpper, uint8_t* pLumaLower,
                                                uint8_t* pChroma, uint32_t nMacropixels)
{
    for (uint32_t j = 0; j < nMacropixels; ++j)
    {
        const uint8_t* a = pUpper + 4 * j;
        const uint8_t* b = pLower + 4 * j;
        pLumaUpper[2 * j] = a[0];
        pLumaUpper[2 * j + 1] = a[2];
        pLumaLower[2 * j] = b[0];
        pLumaLower[2 * j + 1] = b[2];
        pChroma[2 * j] = static_cast<uint8_t>((static_cast<unsigned>(a[1]) + b[1]) >> 1);
        pChroma[2 * j + 1] = static_cast<uint8_t>((static_cast<unsigned>(a[3]) + b[3]) >> 1);
    }
}
