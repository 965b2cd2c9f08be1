// The SSE2 passes of the built-in scaler. Compiled with SSE2 enabled; chosen
// only after the processor check. Every pass computes exactly the integers
// of its portable twin in scalerkernel.cpp.
#include "image/scalerpasses.h"
#include "image/simdtarget.h"

#if defined(VCAM_IMAGE_X86)
#include <emmintrin.h>
#include <string.h>

namespace
{
// Two neighbouring 16-bit samples as the low 32 bits of a vector.
inline __m128i LoadPair(const int16_t* p)
{
    int32_t nPair;
    memcpy(&nPair, p, sizeof(nPair));
    return _mm_cvtsi32_si128(nPair);
}

inline __m128i LoadPairs(const int16_t* p0, const int16_t* p1, const int16_t* p2, const int16_t* p3)
{
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(LoadPair(p0), LoadPair(p1)),
                              _mm_unpacklo_epi32(LoadPair(p2), LoadPair(p3)));
}

// The weights of taps 2p and 2p + 1 in both halves of every 32-bit lane.
inline __m128i BroadcastPair(const int16_t* pCoefficients)
{
    int32_t nPair;
    memcpy(&nPair, pCoefficients, sizeof(nPair));
    return _mm_set1_epi32(nPair);
}

inline __m128i RoundHorizontal(__m128i sum)
{
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kScalerHorizontalShift - 1))),
                          kScalerHorizontalShift);
}

inline __m128i EvenLanes(__m128i a, __m128i b)
{
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

inline __m128i OddLanes(__m128i a, __m128i b)
{
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

// The weighted sums of 16 bytes of the taps' rows from byte offset nOffset,
// rounded: four vectors of four 32-bit sums, bytes 0-3, 4-7, 8-11, 12-15.
// (Four named sums, not an array, so that the compiler keeps them in
// registers.)
struct VerticalSums
{
    __m128i s0, s1, s2, s3;
};

inline VerticalSums VerticalSums16(const ScalerVerticalTaps& taps, size_t nOffset)
{
    const __m128i zero = _mm_setzero_si128();
    // The sums start at the rounding constant, so only the shift is left.
    const __m128i half = _mm_set1_epi32(1 << (kScalerVerticalShift - 1));
    __m128i s0 = half, s1 = half, s2 = half, s3 = half;
    const uint8_t* const* ppRows = taps.ppRows;
    for (uint32_t k = 0; k < taps.nTaps; k += 2)
    {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ppRows[k] + nOffset));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ppRows[k + 1] + nOffset));
        __m128i weights = BroadcastPair(taps.pCoefficients + k);
        __m128i low = _mm_unpacklo_epi8(a, b);  // a0 b0 a1 b1 ...
        __m128i high = _mm_unpackhi_epi8(a, b);
        s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weights));
        s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weights));
        s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weights));
        s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weights));
    }
    VerticalSums sums = {
        _mm_srai_epi32(s0, kScalerVerticalShift), _mm_srai_epi32(s1, kScalerVerticalShift),
        _mm_srai_epi32(s2, kScalerVerticalShift), _mm_srai_epi32(s3, kScalerVerticalShift)};
    return sums;
}

void VerticalYuy2_SSE2(const ScalerVerticalTaps& taps, uint32_t nMacropixels, int16_t* pY,
                       int16_t* pU, int16_t* pV)
{
    uint32_t m = 0;
    for (; m + 4 <= nMacropixels; m += 4)
    {
        // Sums of Y0 U0 Y1 V0 | Y2 U1 Y3 V1 | Y4 U2 Y5 V2 | Y6 U3 Y7 V3.
        const VerticalSums sums = VerticalSums16(taps, 4 * static_cast<size_t>(m));
        __m128i luma = _mm_packs_epi32(EvenLanes(sums.s0, sums.s1), EvenLanes(sums.s2, sums.s3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pY + 2 * m), luma);
        __m128i chroma01 = OddLanes(sums.s0, sums.s1);  // U0 V0 U1 V1
        __m128i chroma23 = OddLanes(sums.s2, sums.s3);
        __m128i uv = _mm_packs_epi32(EvenLanes(chroma01, chroma23), OddLanes(chroma01, chroma23));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pU + m), uv);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pV + m), _mm_srli_si128(uv, 8));
    }
    ScalerVerticalYuy2Range(taps, m, nMacropixels, pY, pU, pV);
}

void VerticalPacked_SSE2(const ScalerVerticalTaps& taps, uint32_t nBytes, int16_t* pOut)
{
    uint32_t x = 0;
    for (; x + 16 <= nBytes; x += 16)
    {
        const VerticalSums sums = VerticalSums16(taps, x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + x), _mm_packs_epi32(sums.s0, sums.s1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + x + 8),
                         _mm_packs_epi32(sums.s2, sums.s3));
    }
    ScalerVerticalPackedRange(taps, x, nBytes, pOut);
}

// Four outputs of a two-tap filter: one 32-bit load per output.
inline __m128i Gather2(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t i)
{
    const int32_t* pPositions = filter.pPositions + i;
    __m128i samples = LoadPairs(pIn + pPositions[0], pIn + pPositions[1], pIn + pPositions[2],
                                pIn + pPositions[3]);
    __m128i weights =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(filter.pCoefficients + 2 * i));
    return _mm_madd_epi16(samples, weights);
}

// Four outputs of a four-tap filter: one 64-bit load per output, the two
// halves of each output's sum added across lanes.
inline __m128i Gather4(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t i)
{
    const int32_t* pPositions = filter.pPositions + i;
    const __m128i* pWeights = reinterpret_cast<const __m128i*>(filter.pCoefficients + 4 * i);
    __m128i samples01 =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pIn + pPositions[0])),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pIn + pPositions[1])));
    __m128i samples23 =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pIn + pPositions[2])),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pIn + pPositions[3])));
    __m128i halves01 = _mm_madd_epi16(samples01, _mm_loadu_si128(pWeights));
    __m128i halves23 = _mm_madd_epi16(samples23, _mm_loadu_si128(pWeights + 1));
    return _mm_add_epi32(EvenLanes(halves01, halves23), OddLanes(halves01, halves23));
}

// One output's weighted sum over nTaps (a multiple of 8) inputs, as four
// partial sums.
inline __m128i PartialSums8(const int16_t* pSamples, const int16_t* pWeights, uint32_t nTaps)
{
    __m128i sum = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(pWeights)));
    for (uint32_t k = 8; k < nTaps; k += 8)
    {
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples + k)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pWeights + k))));
    }
    return sum;
}

// Four outputs of a filter of a multiple of eight taps: 128-bit loads, the
// four partial sums of each output added across lanes.
inline __m128i Gather8(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t i)
{
    const uint32_t nTaps = filter.nTaps;
    const int32_t* pPositions = filter.pPositions + i;
    const int16_t* pWeights = filter.pCoefficients + static_cast<size_t>(i) * nTaps;
    __m128i sums0 = PartialSums8(pIn + pPositions[0], pWeights, nTaps);
    __m128i sums1 = PartialSums8(pIn + pPositions[1], pWeights + nTaps, nTaps);
    __m128i sums2 = PartialSums8(pIn + pPositions[2], pWeights + 2 * nTaps, nTaps);
    __m128i sums3 = PartialSums8(pIn + pPositions[3], pWeights + 3 * nTaps, nTaps);
    __m128i sums01 =
        _mm_add_epi32(_mm_unpacklo_epi32(sums0, sums1), _mm_unpackhi_epi32(sums0, sums1));
    __m128i sums23 =
        _mm_add_epi32(_mm_unpacklo_epi32(sums2, sums3), _mm_unpackhi_epi32(sums2, sums3));
    return _mm_add_epi32(_mm_unpacklo_epi64(sums01, sums23), _mm_unpackhi_epi64(sums01, sums23));
}

template <__m128i (*Gather)(const int16_t*, const ScalerHorizontalFilter&, uint32_t)>
void GatherRange(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint32_t nBegin,
                 uint32_t nEnd, uint8_t* pOut)
{
    uint32_t i = nBegin;
    for (; i + 8 <= nEnd; i += 8)
    {
        __m128i words = _mm_packs_epi32(RoundHorizontal(Gather(pIn, filter, i)),
                                        RoundHorizontal(Gather(pIn, filter, i + 4)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut + i), _mm_packus_epi16(words, words));
    }
    if (i < nEnd)
    {
        __m128i words =
            _mm_packs_epi32(RoundHorizontal(Gather(pIn, filter, i)), _mm_setzero_si128());
        int32_t nBytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        memcpy(pOut + i, &nBytes, sizeof(nBytes));
    }
}

// Enlarging by two: per phase, eight outputs from contiguous loads.
inline __m128i PeriodicPhase(const int16_t* pSamples, __m128i weights)
{
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples + 1));
    return _mm_packs_epi32(RoundHorizontal(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights)),
                           RoundHorizontal(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights)));
}

void PeriodicRange(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint8_t* pOut)
{
    const uint32_t nBegin = filter.nPeriodicBegin;
    const int16_t* pEven = pIn + filter.pPositions[nBegin];
    const int16_t* pOdd = pIn + filter.pPositions[nBegin + 1];
    const __m128i evenWeights = BroadcastPair(filter.pCoefficients + 2 * nBegin);
    const __m128i oddWeights = BroadcastPair(filter.pCoefficients + 2 * nBegin + 2);
    const uint32_t nSteps = (filter.nPeriodicEnd - nBegin) / 2;
    for (uint32_t m = 0; m < nSteps; m += 8)
    {
        __m128i even = PeriodicPhase(pEven + m, evenWeights);
        __m128i odd = PeriodicPhase(pOdd + m, oddWeights);
        __m128i bytes =
            _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + nBegin + 2 * m), bytes);
    }
}

void HorizontalPlane_SSE2(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint8_t* pOut)
{
    ScalerHorizontalGather_SSE2(pIn, filter, 0, filter.nPeriodicBegin, pOut);
    if (filter.nPeriodicEnd > filter.nPeriodicBegin)
        PeriodicRange(pIn, filter, pOut);
    ScalerHorizontalGather_SSE2(pIn, filter, filter.nPeriodicEnd, filter.nPaddedOutputs, pOut);
}

void InterleaveYuy2_SSE2(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV, uint32_t nWidth,
                         uint8_t* pOut)
{
    uint32_t x = 0;
    for (; x + 16 <= nWidth; x += 16)
    {
        __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pY + x));
        __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pU + x / 2));
        __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pV + x / 2));
        __m128i uv = _mm_unpacklo_epi8(u, v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + 2 * x), _mm_unpacklo_epi8(luma, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + 2 * x + 16),
                         _mm_unpackhi_epi8(luma, uv));
    }
    ScalerInterleaveYuy2Range(pY, pU, pV, x, nWidth, pOut);
}

// Sixteen bytes of each of the two output rows a step.
void DoubleBlend_SSE2(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                      uint32_t nBytes, uint8_t* pUpper, uint8_t* pLower)
{
    const __m128i rounding = _mm_set1_epi16(16);
    uint32_t b = 0;
    for (; b + 16 <= nBytes; b += 16)
    {
        __m128i near0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pNear + b));
        __m128i near1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pNear + b + 8));
        near0 = _mm_add_epi16(_mm_add_epi16(near0, _mm_add_epi16(near0, near0)), rounding);
        near1 = _mm_add_epi16(_mm_add_epi16(near1, _mm_add_epi16(near1, near1)), rounding);
        __m128i upper0 =
            _mm_add_epi16(near0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(pAbove + b)));
        __m128i upper1 =
            _mm_add_epi16(near1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(pAbove + b + 8)));
        __m128i lower0 =
            _mm_add_epi16(near0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(pBelow + b)));
        __m128i lower1 =
            _mm_add_epi16(near1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(pBelow + b + 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pUpper + b),
                         _mm_packus_epi16(_mm_srli_epi16(upper0, 5), _mm_srli_epi16(upper1, 5)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pLower + b),
                         _mm_packus_epi16(_mm_srli_epi16(lower0, 5), _mm_srli_epi16(lower1, 5)));
    }
    ScalerDoubleBlendRange(pNear, pAbove, pBelow, b, nBytes, pUpper, pLower);
}
}  // namespace

void ScalerHorizontalGather_SSE2(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                                 uint32_t nBegin, uint32_t nEnd, uint8_t* pOut)
{
    if (filter.nTaps == 2)
        GatherRange<Gather2>(pIn, filter, nBegin, nEnd, pOut);
    else if (filter.nTaps == 4)
        GatherRange<Gather4>(pIn, filter, nBegin, nEnd, pOut);
    else
        GatherRange<Gather8>(pIn, filter, nBegin, nEnd, pOut);
}

// One pixel a step: each tap pair of the four channels in one multiply-add.
void ScalerHorizontalPacked32_SSE2(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                                   uint8_t* pOut)
{
    const uint32_t nTaps = filter.nTaps;
    for (uint32_t i = 0; i < filter.nOutputs; ++i)
    {
        const int16_t* pPixel = pIn + 4 * static_cast<size_t>(filter.pPositions[i]);
        const int16_t* pWeights = filter.pCoefficients + static_cast<size_t>(i) * nTaps;
        __m128i sum = _mm_setzero_si128();
        for (uint32_t k = 0; k < nTaps; k += 2)
        {
            __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pPixel + 4 * k));
            __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pPixel + 4 * k + 4));
            sum = _mm_add_epi32(
                sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), BroadcastPair(pWeights + k)));
        }
        __m128i words = _mm_packs_epi32(RoundHorizontal(sum), sum);
        int32_t nPixel = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        memcpy(pOut + 4 * static_cast<size_t>(i), &nPixel, sizeof(nPixel));
    }
}

// SSE2 has no byte shuffle for the sums of the doubled rows: they stay
// portable there.
const ScalerPasses kScalerPassesSse2 = {
    VerticalYuy2_SSE2,    VerticalPacked_SSE2,
    HorizontalPlane_SSE2, ScalerHorizontalPacked32_SSE2,
    InterleaveYuy2_SSE2,  ScalerDoubleRowYuy2_Portable,
    DoubleBlend_SSE2,
};
#else
// Not an x86 processor: the plan never selects these.
const ScalerPasses kScalerPassesSse2 = {};
#endif
