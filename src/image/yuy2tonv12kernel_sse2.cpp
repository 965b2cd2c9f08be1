// Compiled with SSE2 enabled; called only after the processor check.
#include "image/yuy2tonv12rows.h"
#include "image/simdtarget.h"

#if defined(VCAM_IMAGE_X86)
#include <emmintrin.h>

// Four macropixels (16 source bytes, eight pixels) a block: the luma is the
// even bytes, the chroma the odd bytes averaged over the two rows with the
// rounding 16-bit average. The last (n % 4) macropixels go the portable way.
void Yuy2ToNv12RowPair_SSE2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i maskY = _mm_set1_epi16(0x00FF);
    // One block: 16 bytes of each row in, 8 luma bytes per row and 8
    // chroma bytes out.
    auto convertBlock = [&](size_t nOffset)
    {
        __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pUpper + 2 * nOffset));
        __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pLower + 2 * nOffset));

        __m128i lumaUpper = _mm_packus_epi16(_mm_and_si128(upper, maskY), zero);
        __m128i lumaLower = _mm_packus_epi16(_mm_and_si128(lower, maskY), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pLumaUpper + nOffset), lumaUpper);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pLumaLower + nOffset), lumaLower);

        __m128i chromaUpper = _mm_and_si128(_mm_srli_si128(upper, 1), maskY);
        __m128i chromaLower = _mm_and_si128(_mm_srli_si128(lower, 1), maskY);
        __m128i chroma = _mm_packus_epi16(_mm_avg_epu16(chromaUpper, chromaLower), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pChroma + nOffset), chroma);
    };

    // Two blocks a loop turn, then an odd last block.
    const uint32_t nBlocks = nMacropixels / 4;
    size_t nOffset = 0;  // of the luma and chroma bytes; the source's is twice that
    for (uint32_t k = 0; k + 2 <= nBlocks; k += 2, nOffset += 16)
    {
        convertBlock(nOffset);
        convertBlock(nOffset + 8);
    }
    if (nBlocks % 2 != 0)
    {
        convertBlock(nOffset);
        nOffset += 8;
    }
    pUpper += 2 * nOffset;
    pLower += 2 * nOffset;
    pLumaUpper += nOffset;
    pLumaLower += nOffset;
    pChroma += nOffset;
    ConvertYuy2ToNv12Macropixels(pUpper, pLower, pLumaUpper, pLumaLower, pChroma, nMacropixels % 4);
}
#else
void Yuy2ToNv12RowPair_SSE2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels)
{
    ConvertYuy2ToNv12Macropixels(pUpper, pLower, pLumaUpper, pLumaLower, pChroma, nMacropixels);
}
#endif
