// Compiled with AVX2 enabled (GCC and Clang: -mavx2; MSVC needs no switch for
// the intrinsics); called only after the processor check.
#include "image/yuy2tonv12rows.h"
#include "image/simdtarget.h"

#if defined(VCAM_IMAGE_X86)
#include <immintrin.h>

// Eight macropixels (32 source bytes, 16 pixels) a step. The chroma is the
// rounding byte average of the two rows, which equals the SSE2 blocks' 16-bit
// rounding average, so the leftover is handed to the SSE2 row function and
// the result equals the SSE2 path exactly.
void Yuy2ToNv12RowPair_AVX2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels)
{
    const __m256i maskY = _mm256_set1_epi16(0x00FF);
    const uint32_t nSteps = nMacropixels / 8;
    for (uint32_t k = 0; k < nSteps; ++k)
    {
        __m256i upper = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pUpper));
        __m256i lower = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pLower));

        // Per 128-bit lane: 8 upper luma bytes, 8 lower luma bytes; the
        // permutation gathers the 16 upper bytes low and the 16 lower high.
        __m256i luma =
            _mm256_packus_epi16(_mm256_and_si256(upper, maskY), _mm256_and_si256(lower, maskY));
        luma = _mm256_permute4x64_epi64(luma, 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pLumaUpper), _mm256_castsi256_si128(luma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pLumaLower), _mm256_extracti128_si256(luma, 1));

        __m256i chroma = _mm256_srli_epi16(_mm256_avg_epu8(upper, lower), 8);
        chroma = _mm256_packus_epi16(chroma, chroma);
        chroma = _mm256_permute4x64_epi64(chroma, 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pChroma), _mm256_castsi256_si128(chroma));

        pUpper += 32;
        pLower += 32;
        pLumaUpper += 16;
        pLumaLower += 16;
        pChroma += 16;
    }
    Yuy2ToNv12RowPair_SSE2(pUpper, pLower, pLumaUpper, pLumaLower, pChroma, nMacropixels % 8);
}
#else
void Yuy2ToNv12RowPair_AVX2(const uint8_t* pUpper, const uint8_t* pLower, uint8_t* pLumaUpper,
                            uint8_t* pLumaLower, uint8_t* pChroma, uint32_t nMacropixels)
{
    ConvertYuy2ToNv12Macropixels(pUpper, pLower, pLumaUpper, pLumaLower, pChroma, nMacropixels);
}
#endif
