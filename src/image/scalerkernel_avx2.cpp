// The AVX2 passes of the built-in scaler: the vertical pass, the enlarging-
// by-two horizontal run and the packing, 32 bytes a step. The gathering
// horizontal passes are the SSE2 ones (wider registers do not make gathers
// cheaper). Compiled with AVX2 enabled; chosen only after the processor
// check. Every pass computes exactly the integers of its portable twin.
#include "image/scalerpasses.h"
#include "image/simdtarget.h"

#if defined(VCAM_IMAGE_X86)
#include <immintrin.h>
#include <string.h>

namespace
{
inline __m256i BroadcastPair(const int16_t* pCoefficients)
{
    int32_t nPair;
    memcpy(&nPair, pCoefficients, sizeof(nPair));
    return _mm256_set1_epi32(nPair);
}

inline __m256i RoundHorizontal(__m256i sum)
{
    return _mm256_srai_epi32(
        _mm256_add_epi32(sum, _mm256_set1_epi32(1 << (kScalerHorizontalShift - 1))),
        kScalerHorizontalShift);
}

// Within each 128-bit lane: the even (odd) 32-bit lanes of a, then of b.
inline __m256i EvenLanes(__m256i a, __m256i b)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

inline __m256i OddLanes(__m256i a, __m256i b)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

// The weighted sums of 32 bytes of the taps' rows from byte offset nOffset,
// rounded: s0 holds bytes 0-3 and 16-19, s1 4-7 and 20-23, s2 8-11 and
// 24-27, s3 12-15 and 28-31. (Four named sums, not an array, so that the
// compiler keeps them in registers.)
struct VerticalSums
{
    __m256i s0, s1, s2, s3;
};

inline VerticalSums VerticalSums32(const ScalerVerticalTaps& taps, size_t nOffset)
{
    const __m256i zero = _mm256_setzero_si256();
    // The sums start at the rounding constant, so only the shift is left.
    const __m256i half = _mm256_set1_epi32(1 << (kScalerVerticalShift - 1));
    __m256i s0 = half, s1 = half, s2 = half, s3 = half;
    const uint8_t* const* ppRows = taps.ppRows;
    for (uint32_t k = 0; k < taps.nTaps; k += 2)
    {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ppRows[k] + nOffset));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ppRows[k + 1] + nOffset));
        __m256i weights = BroadcastPair(taps.pCoefficients + k);
        __m256i low = _mm256_unpacklo_epi8(a, b);  // a0 b0 a1 b1 ...
        __m256i high = _mm256_unpackhi_epi8(a, b);
        s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi8(low, zero), weights));
        s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi8(low, zero), weights));
        s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi8(high, zero), weights));
        s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi8(high, zero), weights));
    }
    VerticalSums sums = {
        _mm256_srai_epi32(s0, kScalerVerticalShift), _mm256_srai_epi32(s1, kScalerVerticalShift),
        _mm256_srai_epi32(s2, kScalerVerticalShift), _mm256_srai_epi32(s3, kScalerVerticalShift)};
    return sums;
}

void VerticalYuy2_AVX2(const ScalerVerticalTaps& taps, uint32_t nMacropixels, int16_t* pY,
                       int16_t* pU, int16_t* pV)
{
    uint32_t m = 0;
    for (; m + 8 <= nMacropixels; m += 8)
    {
        const VerticalSums sums = VerticalSums32(taps, 4 * static_cast<size_t>(m));
        // Per lane the even lanes of sums 0 and 1 are Y0-Y3, of 2 and 3
        // Y4-Y7; the packing keeps that order lane by lane.
        __m256i luma = _mm256_packs_epi32(EvenLanes(sums.s0, sums.s1), EvenLanes(sums.s2, sums.s3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pY + 2 * m), luma);
        __m256i chroma01 = OddLanes(sums.s0, sums.s1);  // U0 V0 U1 V1 | U4 V4 U5 V5
        __m256i chroma23 = OddLanes(sums.s2, sums.s3);
        __m256i uv =
            _mm256_packs_epi32(EvenLanes(chroma01, chroma23), OddLanes(chroma01, chroma23));
        uv = _mm256_permute4x64_epi64(uv, 0xD8);  // U0-U7, V0-V7
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pU + m), _mm256_castsi256_si128(uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pV + m), _mm256_extracti128_si256(uv, 1));
    }
    ScalerVerticalYuy2Range(taps, m, nMacropixels, pY, pU, pV);
}

void VerticalPacked_AVX2(const ScalerVerticalTaps& taps, uint32_t nBytes, int16_t* pOut)
{
    uint32_t x = 0;
    for (; x + 32 <= nBytes; x += 32)
    {
        const VerticalSums sums = VerticalSums32(taps, x);
        __m256i bytes0to7 = _mm256_packs_epi32(sums.s0, sums.s1);   // 0-7 | 16-23
        __m256i bytes8to15 = _mm256_packs_epi32(sums.s2, sums.s3);  // 8-15 | 24-31
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + x),
                            _mm256_permute2x128_si256(bytes0to7, bytes8to15, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + x + 16),
                            _mm256_permute2x128_si256(bytes0to7, bytes8to15, 0x31));
    }
    ScalerVerticalPackedRange(taps, x, nBytes, pOut);
}

// Enlarging by two: per phase, sixteen outputs from contiguous loads.
inline __m256i PeriodicPhase(const int16_t* pSamples, __m256i weights)
{
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSamples));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSamples + 1));
    return _mm256_packs_epi32(
        RoundHorizontal(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights)),
        RoundHorizontal(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights)));
}

// Two outputs of a four-tap filter in one 128-bit vector.
inline __m128i LoadTwoQuads(const int16_t* pIn, const int32_t* pPositions)
{
    __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pIn + pPositions[0]));
    return _mm_castpd_si128(
        _mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(pIn + pPositions[1])));
}

inline __m256i LoadTwoPairs(const __m128i* pLow, const __m128i* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(pLow)),
                                   _mm_loadu_si128(pHigh), 1);
}

// Eight outputs of a four-tap filter, unrounded: outputs 0, 1 | 4, 5 and
// 2, 3 | 6, 7 each take a multiply-add, and one horizontal add per lane
// puts the eight sums in order.
inline __m256i Gather4x8(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t i)
{
    const int32_t* pPositions = filter.pPositions + i;
    const __m128i* pWeights =
        reinterpret_cast<const __m128i*>(filter.pCoefficients + 4 * static_cast<size_t>(i));
    __m256i samples0145 =
        _mm256_inserti128_si256(_mm256_castsi128_si256(LoadTwoQuads(pIn, pPositions)),
                                LoadTwoQuads(pIn, pPositions + 4), 1);
    __m256i samples2367 =
        _mm256_inserti128_si256(_mm256_castsi128_si256(LoadTwoQuads(pIn, pPositions + 2)),
                                LoadTwoQuads(pIn, pPositions + 6), 1);
    __m256i halves0145 = _mm256_madd_epi16(samples0145, LoadTwoPairs(pWeights, pWeights + 2));
    __m256i halves2367 = _mm256_madd_epi16(samples2367, LoadTwoPairs(pWeights + 1, pWeights + 3));
    return _mm256_hadd_epi32(halves0145, halves2367);
}

// Outputs [nBegin, nEnd) of a four-tap plane row, sixteen a step; the rest
// is the SSE2 code's.
uint32_t Gather4Range(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t nBegin,
                      uint32_t nEnd, uint8_t* pOut)
{
    uint32_t i = nBegin;
    for (; i + 16 <= nEnd; i += 16)
    {
        __m256i words = _mm256_packs_epi32(RoundHorizontal(Gather4x8(pIn, filter, i)),
                                           RoundHorizontal(Gather4x8(pIn, filter, i + 8)));
        // The packing works lane by lane: 0-3 8-11 | 4-7 12-15.
        words = _mm256_permute4x64_epi64(words, 0xD8);
        __m256i bytes = _mm256_packus_epi16(words, words);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08)));
    }
    return i;
}

void HorizontalPlane_AVX2(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint8_t* pOut)
{
    if (filter.nTaps == 4)
    {
        const uint32_t nDone = Gather4Range(pIn, filter, 0, filter.nPaddedOutputs, pOut);
        ScalerHorizontalGather_SSE2(pIn, filter, nDone, filter.nPaddedOutputs, pOut);
        return;
    }
    ScalerHorizontalGather_SSE2(pIn, filter, 0, filter.nPeriodicBegin, pOut);
    const uint32_t nBegin = filter.nPeriodicBegin;
    if (filter.nPeriodicEnd > nBegin)
    {
        const int16_t* pEven = pIn + filter.pPositions[nBegin];
        const int16_t* pOdd = pIn + filter.pPositions[nBegin + 1];
        const __m256i evenWeights = BroadcastPair(filter.pCoefficients + 2 * nBegin);
        const __m256i oddWeights = BroadcastPair(filter.pCoefficients + 2 * nBegin + 2);
        const uint32_t nSteps = (filter.nPeriodicEnd - nBegin) / 2;
        for (uint32_t m = 0; m < nSteps; m += 16)
        {
            __m256i even = PeriodicPhase(pEven + m, evenWeights);
            __m256i odd = PeriodicPhase(pOdd + m, oddWeights);
            __m256i bytes = _mm256_packus_epi16(_mm256_unpacklo_epi16(even, odd),
                                                _mm256_unpackhi_epi16(even, odd));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + nBegin + 2 * m), bytes);
        }
    }
    ScalerHorizontalGather_SSE2(pIn, filter, filter.nPeriodicEnd, filter.nPaddedOutputs, pOut);
}

void InterleaveYuy2_AVX2(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV, uint32_t nWidth,
                         uint8_t* pOut)
{
    uint32_t x = 0;
    for (; x + 32 <= nWidth; x += 32)
    {
        __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pU + x / 2));
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pV + x / 2));
        __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(u, v), _mm_unpacklo_epi8(u, v));
        __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pY + x));
        __m256i low = _mm256_unpacklo_epi8(luma, uv);   // pixels 0-7 | 16-23
        __m256i high = _mm256_unpackhi_epi8(luma, uv);  // pixels 8-15 | 24-31
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + 2 * x),
                            _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + 2 * x + 32),
                            _mm256_permute2x128_si256(low, high, 0x31));
    }
    ScalerInterleaveYuy2Range(pY, pU, pV, x, nWidth, pOut);
}

// Four macropixels a step, two in each 128-bit lane from a 16-byte window
// that starts one macropixel before them: each output sum is A * wA + B * wB
// of two input bytes, gathered into byte pairs and weighed by one
// multiply-add. The first and the last macropixel, whose neighbours are
// extended, and the tail are the portable code's.
void DoubleRowYuy2_AVX2(const uint8_t* pRow, uint32_t nMacropixels, int16_t* pSums)
{
    // Window byte 4 is the first macropixel's Y0; the pairs (A, B) of its
    // eight outputs Y0 U Y1 V Y0' U' Y1' V' (see ScalerDoubleRowYuy2Range).
    const __m256i firstPairs =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(4, 2, 5, 1, 4, 6, 7, 3, 6, 4, 5, 9, 6, 8, 7, 11));
    const __m256i secondPairs = _mm256_add_epi8(firstPairs, _mm256_set1_epi8(4));
    const __m256i weights =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(6, 2, 7, 1, 6, 2, 7, 1, 6, 2, 5, 3, 6, 2, 5, 3));
    uint32_t m = 1;
    for (; m + 5 <= nMacropixels; m += 4)
    {
        const uint8_t* pWindow = pRow + 4 * static_cast<size_t>(m) - 4;
        __m256i window = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pWindow))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pWindow + 8)), 1);
        // Macropixels m | m + 2, then m + 1 | m + 3.
        __m256i first = _mm256_maddubs_epi16(_mm256_shuffle_epi8(window, firstPairs), weights);
        __m256i second = _mm256_maddubs_epi16(_mm256_shuffle_epi8(window, secondPairs), weights);
        int16_t* pOut = pSums + 8 * static_cast<size_t>(m);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut),
                            _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + 16),
                            _mm256_permute2x128_si256(first, second, 0x31));
    }
    ScalerDoubleRowYuy2Range(pRow, nMacropixels, 0, 1, pSums);
    ScalerDoubleRowYuy2Range(pRow, nMacropixels, m, nMacropixels, pSums);
}

// Thirty-two bytes of each of the two output rows a step.
void DoubleBlend_AVX2(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                      uint32_t nBytes, uint8_t* pUpper, uint8_t* pLower)
{
    const __m256i rounding = _mm256_set1_epi16(16);
    uint32_t b = 0;
    for (; b + 32 <= nBytes; b += 32)
    {
        __m256i near0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pNear + b));
        __m256i near1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pNear + b + 16));
        near0 = _mm256_add_epi16(_mm256_add_epi16(near0, _mm256_add_epi16(near0, near0)), rounding);
        near1 = _mm256_add_epi16(_mm256_add_epi16(near1, _mm256_add_epi16(near1, near1)), rounding);
        __m256i upper0 = _mm256_add_epi16(
            near0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pAbove + b)));
        __m256i upper1 = _mm256_add_epi16(
            near1, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pAbove + b + 16)));
        __m256i lower0 = _mm256_add_epi16(
            near0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pBelow + b)));
        __m256i lower1 = _mm256_add_epi16(
            near1, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pBelow + b + 16)));
        // The packing works lane by lane; the permutation restores the order.
        __m256i upper =
            _mm256_packus_epi16(_mm256_srli_epi16(upper0, 5), _mm256_srli_epi16(upper1, 5));
        __m256i lower =
            _mm256_packus_epi16(_mm256_srli_epi16(lower0, 5), _mm256_srli_epi16(lower1, 5));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pUpper + b),
                            _mm256_permute4x64_epi64(upper, 0xD8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pLower + b),
                            _mm256_permute4x64_epi64(lower, 0xD8));
    }
    ScalerDoubleBlendRange(pNear, pAbove, pBelow, b, nBytes, pUpper, pLower);
}
}  // namespace

const ScalerPasses kScalerPassesAvx2 = {
    VerticalYuy2_AVX2,   VerticalPacked_AVX2, HorizontalPlane_AVX2, ScalerHorizontalPacked32_SSE2,
    InterleaveYuy2_AVX2, DoubleRowYuy2_AVX2,  DoubleBlend_AVX2,
};
#else
// Not an x86 processor: the plan never selects these.
const ScalerPasses kScalerPassesAvx2 = {};
#endif
