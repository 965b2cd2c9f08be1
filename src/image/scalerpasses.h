#pragma once

#include <stddef.h>
#include <stdint.h>

// The passes of the built-in scaler (internal to src/image). The portable
// functions are the reference; the SSE2 and AVX2 ones compute the same
// integers. The helpers here are static so that a copy compiled for a wider
// instruction set never serves the portable code.

// Intermediate precision: rows after the vertical pass hold sample * 2^7.
const int kScalerCoefficientBits = 14;  // coefficients sum to 1 << 14
const int kScalerIntermediateBits = 7;
const int kScalerVerticalShift = kScalerCoefficientBits - kScalerIntermediateBits;
const int kScalerHorizontalShift = kScalerCoefficientBits + kScalerIntermediateBits;

// The taps of one output row: nTaps (even) input rows and their weights.
struct ScalerVerticalTaps
{
    const uint8_t* const* ppRows;
    const int16_t* pCoefficients;
    uint32_t nTaps;
};

// A horizontal filter over one row of 16-bit samples. Output i takes nTaps
// inputs from pPositions[i] on, with the weights at pCoefficients[i * nTaps];
// the input rows carry nTaps zeros beyond their samples.
struct ScalerHorizontalFilter
{
    const int32_t* pPositions;
    const int16_t* pCoefficients;
    uint32_t nTaps;           // 2, 4 or a multiple of 8
    uint32_t nOutputs;        // real outputs
    uint32_t nPaddedOutputs;  // a multiple of 8; the rest weigh nothing
    // Enlarging by two: in [nPeriodicBegin, nPeriodicEnd) (multiples of 4,
    // a multiple of 32 apart) output i + 2 takes the weights of output i one
    // input further on, which the SIMD paths compute with contiguous loads.
    uint32_t nPeriodicBegin;
    uint32_t nPeriodicEnd;
};

struct ScalerPasses
{
    // Yuy2: nMacropixels of the taps' rows into the luma, U and V rows.
    void (*pfnVerticalYuy2)(const ScalerVerticalTaps& taps, uint32_t nMacropixels, int16_t* pY,
                            int16_t* pU, int16_t* pV);
    // Packed32: nBytes of the taps' rows into one row of channel samples.
    void (*pfnVerticalPacked)(const ScalerVerticalTaps& taps, uint32_t nBytes, int16_t* pOut);
    // One plane row: nPaddedOutputs bytes.
    void (*pfnHorizontalPlane)(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                               uint8_t* pOut);
    // Four channels a pixel: exactly nOutputs * 4 bytes.
    void (*pfnHorizontalPacked32)(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                                  uint8_t* pOut);
    // Packs nWidth pixels (Y0 U Y1 V): exactly nWidth * 2 bytes.
    void (*pfnInterleaveYuy2)(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV,
                              uint32_t nWidth, uint8_t* pOut);

    // Enlarging Yuy2 by exactly two both ways with the bilinear filter (see
    // ScalerDoubleRowYuy2Range): one input row of nMacropixels into
    // 8 * nMacropixels sums.
    void (*pfnDoubleRowYuy2)(const uint8_t* pRow, uint32_t nMacropixels, int16_t* pSums);
    // The two output rows between the sums of an input row (near) and of its
    // neighbours above and below: nBytes bytes each.
    void (*pfnDoubleBlend)(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                           uint32_t nBytes, uint8_t* pUpper, uint8_t* pLower);
};

extern const ScalerPasses kScalerPassesPortable;
extern const ScalerPasses kScalerPassesSse2;
extern const ScalerPasses kScalerPassesAvx2;

// Rounding of each pass, shared by all paths.
static inline int16_t ScalerRoundVertical(int32_t nSum)
{
    return static_cast<int16_t>((nSum + (1 << (kScalerVerticalShift - 1))) >> kScalerVerticalShift);
}

static inline uint8_t ScalerRoundHorizontal(int32_t nSum)
{
    return static_cast<uint8_t>((nSum + (1 << (kScalerHorizontalShift - 1))) >>
                                kScalerHorizontalShift);
}

// Portable pieces that the SIMD passes use for the tails of their rows:
// macropixels, bytes or pixels [nBegin, nEnd) of a row.
void ScalerVerticalYuy2Range(const ScalerVerticalTaps& taps, uint32_t nBegin, uint32_t nEnd,
                             int16_t* pY, int16_t* pU, int16_t* pV);
void ScalerVerticalPackedRange(const ScalerVerticalTaps& taps, uint32_t nBegin, uint32_t nEnd,
                               int16_t* pOut);
void ScalerInterleaveYuy2Range(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV,
                               uint32_t nBegin, uint32_t nEnd, uint8_t* pOut);

// Enlarging Yuy2 by two with the bilinear filter, pixel centres aligned,
// weighs the nearer input 3/4 and the other 1/4 in each direction for luma
// and every row; co-sited chroma columns take 7/8 and 1/8, then 5/8 and 3/8.
// Every weight is then a multiple of the coefficients' resolution, so the
// general passes compute exact small integers, and these two steps compute
// the very same bytes: each input row becomes, per output byte, eight times
// its horizontal enlargement (macropixels [nBegin, nEnd) here, edges
// extended), and output row bytes are (3 * near + far + 16) >> 5 of those
// sums (bytes [nBegin, nEnd)).
void ScalerDoubleRowYuy2Range(const uint8_t* pRow, uint32_t nMacropixels, uint32_t nBegin,
                              uint32_t nEnd, int16_t* pSums);
void ScalerDoubleBlendRange(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                            uint32_t nBegin, uint32_t nEnd, uint8_t* pUpper, uint8_t* pLower);

// SSE2 pieces that the AVX2 passes share: outputs [nBegin, nEnd) of a plane
// row by gathering (both multiples of 4, nEnd at most nPaddedOutputs), and
// the 32-bit pixel pass.
void ScalerHorizontalGather_SSE2(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                                 uint32_t nBegin, uint32_t nEnd, uint8_t* pOut);
void ScalerHorizontalPacked32_SSE2(const int16_t* pIn, const ScalerHorizontalFilter& filter,
                                   uint8_t* pOut);
void ScalerDoubleRowYuy2_Portable(const uint8_t* pRow, uint32_t nMacropixels, int16_t* pSums);
