#include "image/scalerkernel.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "image/cpufeatures.h"
#include "image/scalerpasses.h"

// ---------------------------------------------------------------------------
// Portable passes

void ScalerVerticalYuy2Range(const ScalerVerticalTaps& taps, uint32_t nBegin, uint32_t nEnd,
                             int16_t* pY, int16_t* pU, int16_t* pV)
{
    for (uint32_t m = nBegin; m < nEnd; ++m)
    {
        int32_t aSum[4] = {0, 0, 0, 0};
        for (uint32_t k = 0; k < taps.nTaps; ++k)
        {
            const uint8_t* pMacropixel = taps.ppRows[k] + 4 * static_cast<size_t>(m);
            const int32_t nCoefficient = taps.pCoefficients[k];
            for (int b = 0; b < 4; ++b)
                aSum[b] += pMacropixel[b] * nCoefficient;
        }
        pY[2 * m] = ScalerRoundVertical(aSum[0]);
        pU[m] = ScalerRoundVertical(aSum[1]);
        pY[2 * m + 1] = ScalerRoundVertical(aSum[2]);
        pV[m] = ScalerRoundVertical(aSum[3]);
    }
}

void ScalerVerticalPackedRange(const ScalerVerticalTaps& taps, uint32_t nBegin, uint32_t nEnd,
                               int16_t* pOut)
{
    for (uint32_t x = nBegin; x < nEnd; ++x)
    {
        int32_t nSum = 0;
        for (uint32_t k = 0; k < taps.nTaps; ++k)
            nSum += taps.ppRows[k][x] * static_cast<int32_t>(taps.pCoefficients[k]);
        pOut[x] = ScalerRoundVertical(nSum);
    }
}

void ScalerInterleaveYuy2Range(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV,
                               uint32_t nBegin, uint32_t nEnd, uint8_t* pOut)
{
    for (uint32_t x = nBegin; x < nEnd; ++x)
    {
        pOut[2 * static_cast<size_t>(x)] = pY[x];
        pOut[2 * static_cast<size_t>(x) + 1] = (x % 2 == 0) ? pU[x / 2] : pV[x / 2];
    }
}

void ScalerDoubleRowYuy2Range(const uint8_t* pRow, uint32_t nMacropixels, uint32_t nBegin,
                              uint32_t nEnd, int16_t* pSums)
{
    const int64_t nLastChroma = static_cast<int64_t>(nMacropixels) - 1;
    for (int64_t m = nBegin; m < nEnd; ++m)
    {
        // The bytes of this macropixel and its neighbours, the edge ones
        // extended.
        const uint8_t* p = pRow + 4 * m;
        const uint8_t* pLeft = m > 0 ? p - 4 : p;
        const uint8_t* pRight = m < nLastChroma ? p + 4 : p;
        const int nY0 = p[0], nY1 = p[2];
        const int nLeftY = m > 0 ? pLeft[2] : nY0, nRightY = m < nLastChroma ? pRight[0] : nY1;
        int16_t* pOut = pSums + 8 * m;
        pOut[0] = static_cast<int16_t>(6 * nY0 + 2 * nLeftY);
        pOut[1] = static_cast<int16_t>(7 * p[1] + pLeft[1]);
        pOut[2] = static_cast<int16_t>(6 * nY0 + 2 * nY1);
        pOut[3] = static_cast<int16_t>(7 * p[3] + pLeft[3]);
        pOut[4] = static_cast<int16_t>(6 * nY1 + 2 * nY0);
        pOut[5] = static_cast<int16_t>(5 * p[1] + 3 * pRight[1]);
        pOut[6] = static_cast<int16_t>(6 * nY1 + 2 * nRightY);
        pOut[7] = static_cast<int16_t>(5 * p[3] + 3 * pRight[3]);
    }
}

void ScalerDoubleBlendRange(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                            uint32_t nBegin, uint32_t nEnd, uint8_t* pUpper, uint8_t* pLower)
{
    for (uint32_t b = nBegin; b < nEnd; ++b)
    {
        const int nNear = 3 * pNear[b] + 16;
        pUpper[b] = static_cast<uint8_t>((nNear + pAbove[b]) >> 5);
        pLower[b] = static_cast<uint8_t>((nNear + pBelow[b]) >> 5);
    }
}

void ScalerDoubleRowYuy2_Portable(const uint8_t* pRow, uint32_t nMacropixels, int16_t* pSums)
{
    ScalerDoubleRowYuy2Range(pRow, nMacropixels, 0, nMacropixels, pSums);
}

namespace
{
void DoubleBlend_C(const int16_t* pNear, const int16_t* pAbove, const int16_t* pBelow,
                   uint32_t nBytes, uint8_t* pUpper, uint8_t* pLower)
{
    ScalerDoubleBlendRange(pNear, pAbove, pBelow, 0, nBytes, pUpper, pLower);
}

void VerticalYuy2_C(const ScalerVerticalTaps& taps, uint32_t nMacropixels, int16_t* pY, int16_t* pU,
                    int16_t* pV)
{
    ScalerVerticalYuy2Range(taps, 0, nMacropixels, pY, pU, pV);
}

void VerticalPacked_C(const ScalerVerticalTaps& taps, uint32_t nBytes, int16_t* pOut)
{
    ScalerVerticalPackedRange(taps, 0, nBytes, pOut);
}

void HorizontalPlane_C(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint8_t* pOut)
{
    const uint32_t nTaps = filter.nTaps;
    for (uint32_t i = 0; i < filter.nPaddedOutputs; ++i)
    {
        const int16_t* pFirst = pIn + filter.pPositions[i];
        const int16_t* pWeights = filter.pCoefficients + static_cast<size_t>(i) * nTaps;
        int32_t nSum = 0;
        for (uint32_t k = 0; k < nTaps; ++k)
            nSum += pFirst[k] * static_cast<int32_t>(pWeights[k]);
        pOut[i] = ScalerRoundHorizontal(nSum);
    }
}

void HorizontalPacked32_C(const int16_t* pIn, const ScalerHorizontalFilter& filter, uint8_t* pOut)
{
    const uint32_t nTaps = filter.nTaps;
    for (uint32_t i = 0; i < filter.nOutputs; ++i)
    {
        const int16_t* pFirst = pIn + 4 * static_cast<size_t>(filter.pPositions[i]);
        const int16_t* pWeights = filter.pCoefficients + static_cast<size_t>(i) * nTaps;
        for (int c = 0; c < 4; ++c)
        {
            int32_t nSum = 0;
            for (uint32_t k = 0; k < nTaps; ++k)
                nSum += pFirst[4 * k + c] * static_cast<int32_t>(pWeights[k]);
            pOut[4 * static_cast<size_t>(i) + c] = ScalerRoundHorizontal(nSum);
        }
    }
}

void InterleaveYuy2_C(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV, uint32_t nWidth,
                      uint8_t* pOut)
{
    ScalerInterleaveYuy2Range(pY, pU, pV, 0, nWidth, pOut);
}
}  // namespace

const ScalerPasses kScalerPassesPortable = {
    VerticalYuy2_C,       VerticalPacked_C, HorizontalPlane_C,
    HorizontalPacked32_C, InterleaveYuy2_C, ScalerDoubleRowYuy2_Portable,
    DoubleBlend_C,
};

// ---------------------------------------------------------------------------
// Filter weights in double precision

double ScalerChromaOffset(double dLumaScale)
{
    // Output chroma sample j sits on output luma sample 2j and spans two
    // output luma samples; in input chroma samples that span starts at
    // j * scale + (1 - scale) / 4.
    return (1.0 - dLumaScale) / 4.0;
}

ScalerKernelShape ScalerShapeFor(ScalerFilter eFilter, double dScale)
{
    ScalerKernelShape shape = {false, 1.0};
    switch (eFilter)
    {
    case ScalerFilter::Bilinear:
        break;
    case ScalerFilter::Area:
        shape.bBox = true;
        break;
    case ScalerFilter::Automatic:
        // Never narrower than bilinear, which it meets just above 1:1.
        shape.dHalfWidth = fmax(1.0, kScalerAntiAliasWidth * dScale);
        break;
    }
    return shape;
}

size_t ScalerMaxTaps(ScalerKernelShape shape, double dScale)
{
    return shape.bBox ? static_cast<size_t>(ceil(dScale)) + 2
                      : 2 * static_cast<size_t>(ceil(shape.dHalfWidth)) + 2;
}

size_t ComputeScalerWeights(uint32_t nIn, double dScale, double dOffset, ScalerKernelShape shape,
                            uint32_t nIndex, uint32_t* pInputs, double* pWeights, size_t nMaxTaps)
{
    size_t nCount = 0;
    const double dLast = static_cast<double>(nIn) - 1.0;
    // Adds a weight to an input index, extending the edges; indices arrive in
    // ascending order, so a clamped index meets its predecessor.
    auto add = [&](double dInput, double dWeight)
    {
        if (dWeight <= 1e-12)
            return;
        uint32_t nInput =
            dInput <= 0.0 ? 0u : (dInput >= dLast ? nIn - 1 : static_cast<uint32_t>(dInput));
        if (nCount > 0 && pInputs[nCount - 1] == nInput)
        {
            pWeights[nCount - 1] += dWeight;
            return;
        }
        if (nCount < nMaxTaps)
        {
            pInputs[nCount] = nInput;
            pWeights[nCount] = dWeight;
            ++nCount;
        }
    };

    // The output sample covers [dStart, dStart + dScale) of the input, where
    // input sample j covers [j, j + 1).
    const double dStart = nIndex * dScale + dOffset;
    if (shape.bBox)
    {
        const double dEnd = dStart + dScale;
        for (double j = floor(dStart); j < dEnd; j += 1.0)
            add(j, (fmin(dEnd, j + 1.0) - fmax(dStart, j)) / dScale);
    }
    else
    {
        const double dCentre = dStart + dScale / 2.0 - 0.5;
        const double w = shape.dHalfWidth;
        for (double j = ceil(dCentre - w); j <= floor(dCentre + w); j += 1.0)
            add(j, 1.0 - fabs(j - dCentre) / w);
    }

    double dTotal = 0.0;
    for (size_t k = 0; k < nCount; ++k)
        dTotal += pWeights[k];
    for (size_t k = 0; k < nCount; ++k)
        pWeights[k] /= dTotal;
    return nCount;
}

// ---------------------------------------------------------------------------
// The plan

namespace
{
// A zero-filled heap array that reports failure instead of throwing.
template <typename T>
class Buffer
{
public:
    Buffer() : m_p(nullptr) {}
    ~Buffer() { free(m_p); }

    bool Allocate(uint64_t nCount)
    {
        free(m_p);
        m_p = nullptr;
        if (nCount == 0)
            nCount = 1;
        if (nCount > SIZE_MAX / sizeof(T))
            return false;
        m_p = static_cast<T*>(calloc(static_cast<size_t>(nCount), sizeof(T)));
        return m_p != nullptr;
    }

    T* Get() const { return m_p; }
    T& operator[](size_t i) const { return m_p[i]; }

private:
    Buffer(const Buffer&);
    Buffer& operator=(const Buffer&);

    T* m_p;
};

// Quantises the weights of one output to integers that sum to exactly
// 1 << kScalerCoefficientBits: each rounded down, then the units still
// missing go one each to the weights with the largest remainders (ties to
// the earlier input). Every result lies between 0 and one, however many taps
// there are. pOrder is scratch of nCount entries.
void QuantiseWeights(const double* pWeights, size_t nCount, int32_t* pQuantised, uint32_t* pOrder)
{
    const int32_t kOne = 1 << kScalerCoefficientBits;
    int32_t nTotal = 0;
    for (size_t k = 0; k < nCount; ++k)
    {
        pQuantised[k] = static_cast<int32_t>(floor(pWeights[k] * kOne));
        nTotal += pQuantised[k];
        pOrder[k] = static_cast<uint32_t>(k);
    }
    auto remainder = [&](uint32_t k) { return pWeights[k] * kOne - pQuantised[k]; };
    std::sort(pOrder, pOrder + nCount,
              [&](uint32_t a, uint32_t b)
              {
                  const double dA = remainder(a), dB = remainder(b);
                  return dA > dB || (dA == dB && a < b);
              });
    for (int32_t nMissing = kOne - nTotal, i = 0; i < nMissing; ++i)
        ++pQuantised[pOrder[static_cast<size_t>(i) % nCount]];
}

// Tap counts the vertical pass takes (pairs).
uint32_t VerticalTapCount(uint32_t nSpan)
{
    return (nSpan + 1) & ~1u;
}

// Tap counts the horizontal gathers take: 2, 4, or a multiple of 8.
uint32_t HorizontalTapCount(uint32_t nSpan)
{
    if (nSpan <= 2)
        return 2;
    if (nSpan <= 4)
        return 4;
    return (nSpan + 7) & ~7u;
}

// The weights of every output of one dimension, spread over Taps() inputs
// from First(i) on, output after output.
class DimensionFilter
{
public:
    DimensionFilter() : m_nTaps(0) {}

    ImageStatus Build(uint32_t nIn, uint32_t nOut, double dScale, double dOffset,
                      ScalerKernelShape shape, uint32_t (*pfnTapCount)(uint32_t))
    {
        const size_t nBound = ScalerMaxTaps(shape, dScale);
        if (!m_inputs.Allocate(nBound) || !m_weights.Allocate(nBound) ||
            !m_quantised.Allocate(nBound) || !m_order.Allocate(nBound) || !m_first.Allocate(nOut))
            return ImageStatus::OutOfMemory;

        // First pass: the widest span of inputs decides the tap count.
        uint32_t nSpan = 1;
        for (uint32_t i = 0; i < nOut; ++i)
        {
            size_t n = ComputeScalerWeights(nIn, dScale, dOffset, shape, i, m_inputs.Get(),
                                            m_weights.Get(), nBound);
            m_first[i] = m_inputs[0];
            uint32_t nThis = m_inputs[n - 1] - m_inputs[0] + 1;
            if (nThis > nSpan)
                nSpan = nThis;
        }
        m_nTaps = pfnTapCount(nSpan);
        if (!m_coefficients.Allocate(static_cast<uint64_t>(nOut) * m_nTaps))
            return ImageStatus::OutOfMemory;

        for (uint32_t i = 0; i < nOut; ++i)
        {
            size_t n = ComputeScalerWeights(nIn, dScale, dOffset, shape, i, m_inputs.Get(),
                                            m_weights.Get(), nBound);
            QuantiseWeights(m_weights.Get(), n, m_quantised.Get(), m_order.Get());
            for (size_t k = 0; k < n; ++k)
            {
                size_t nTap = m_inputs[k] - m_first[i];
                m_coefficients[static_cast<size_t>(i) * m_nTaps + nTap] =
                    static_cast<int16_t>(m_quantised[k]);
            }
        }
        return ImageStatus::Ok;
    }

    uint32_t Taps() const { return m_nTaps; }
    uint32_t First(uint32_t i) const { return m_first[i]; }
    const int16_t* Coefficients(uint32_t i) const
    {
        return &m_coefficients[static_cast<size_t>(i) * m_nTaps];
    }

private:
    uint32_t m_nTaps;
    Buffer<uint32_t> m_inputs;
    Buffer<double> m_weights;
    Buffer<int32_t> m_quantised;
    Buffer<uint32_t> m_order;
    Buffer<uint32_t> m_first;
    Buffer<int16_t> m_coefficients;
};

// A horizontal filter in the layout of the passes.
class HorizontalTable
{
public:
    ImageStatus Build(uint32_t nIn, uint32_t nOut, double dScale, double dOffset,
                      ScalerKernelShape shape)
    {
        DimensionFilter dimension;
        ImageStatus status = dimension.Build(nIn, nOut, dScale, dOffset, shape, HorizontalTapCount);
        if (status != ImageStatus::Ok)
            return status;

        const uint32_t nTaps = dimension.Taps();
        m_filter.nTaps = nTaps;
        m_filter.nOutputs = nOut;
        m_filter.nPaddedOutputs = (nOut + 7) & ~7u;
        if (!m_positions.Allocate(m_filter.nPaddedOutputs) ||
            !m_coefficients.Allocate(static_cast<uint64_t>(m_filter.nPaddedOutputs) * nTaps))
            return ImageStatus::OutOfMemory;
        for (uint32_t i = 0; i < nOut; ++i)
        {
            m_positions[i] = static_cast<int32_t>(dimension.First(i));
            memcpy(&m_coefficients[static_cast<size_t>(i) * nTaps], dimension.Coefficients(i),
                   nTaps * sizeof(int16_t));
        }
        m_filter.pPositions = m_positions.Get();
        m_filter.pCoefficients = m_coefficients.Get();
        FindPeriodicRun();
        return ImageStatus::Ok;
    }

    const ScalerHorizontalFilter& Filter() const { return m_filter; }
    uint32_t Taps() const { return m_filter.nTaps; }

private:
    // The longest run of two-tap outputs where output i + 2 repeats output i
    // one input further on (enlarging by two, away from the edges).
    void FindPeriodicRun()
    {
        m_filter.nPeriodicBegin = m_filter.nPeriodicEnd = 0;
        if (m_filter.nTaps != 2 || m_filter.nOutputs < 2)
            return;
        uint32_t nBestBegin = 0, nBestEnd = 0, nRunBegin = 0;
        for (uint32_t i = 0; i + 2 <= m_filter.nOutputs; ++i)
        {
            const bool bRepeats = i + 2 < m_filter.nOutputs &&
                                  m_positions[i + 2] == m_positions[i] + 1 &&
                                  m_coefficients[2 * i] == m_coefficients[2 * i + 4] &&
                                  m_coefficients[2 * i + 1] == m_coefficients[2 * i + 5];
            if (!bRepeats)
            {
                // Outputs [nRunBegin, i + 2) follow the pattern.
                if (i + 2 - nRunBegin > nBestEnd - nBestBegin)
                {
                    nBestBegin = nRunBegin;
                    nBestEnd = i + 2;
                }
                nRunBegin = i + 1;
            }
        }
        const uint32_t nBegin = (nBestBegin + 3) & ~3u;
        if (nBestEnd > nBegin)
        {
            m_filter.nPeriodicBegin = nBegin;
            m_filter.nPeriodicEnd = nBegin + (nBestEnd - nBegin) / 32 * 32;
        }
    }

    ScalerHorizontalFilter m_filter = {};
    Buffer<int32_t> m_positions;
    Buffer<int16_t> m_coefficients;
};

// The vertical filter: for each output row its input rows and weights.
class VerticalTable
{
public:
    ImageStatus Build(uint32_t nIn, uint32_t nOut, double dScale, ScalerKernelShape shape)
    {
        DimensionFilter dimension;
        ImageStatus status = dimension.Build(nIn, nOut, dScale, 0.0, shape, VerticalTapCount);
        if (status != ImageStatus::Ok)
            return status;

        m_nTaps = dimension.Taps();
        const uint64_t nEntries = static_cast<uint64_t>(nOut) * m_nTaps;
        if (!m_rows.Allocate(nEntries) || !m_coefficients.Allocate(nEntries) ||
            !m_rowPointers.Allocate(m_nTaps))
            return ImageStatus::OutOfMemory;
        for (uint32_t y = 0; y < nOut; ++y)
        {
            for (uint32_t k = 0; k < m_nTaps; ++k)
            {
                // Taps beyond the last input row weigh nothing; they read
                // the last row so that every pointer stays in the picture.
                uint32_t nRow = dimension.First(y) + k;
                m_rows[static_cast<size_t>(y) * m_nTaps + k] = nRow < nIn ? nRow : nIn - 1;
            }
            memcpy(&m_coefficients[static_cast<size_t>(y) * m_nTaps], dimension.Coefficients(y),
                   m_nTaps * sizeof(int16_t));
        }
        return ImageStatus::Ok;
    }

    ScalerVerticalTaps Taps(uint32_t y, const uint8_t* pSrc, size_t cbStride) const
    {
        const uint32_t* pRows = &m_rows[static_cast<size_t>(y) * m_nTaps];
        for (uint32_t k = 0; k < m_nTaps; ++k)
            m_rowPointers[k] = pSrc + pRows[k] * cbStride;
        ScalerVerticalTaps taps = {m_rowPointers.Get(),
                                   &m_coefficients[static_cast<size_t>(y) * m_nTaps], m_nTaps};
        return taps;
    }

private:
    uint32_t m_nTaps = 0;
    Buffer<uint32_t> m_rows;
    Buffer<int16_t> m_coefficients;
    Buffer<const uint8_t*> m_rowPointers;
};

bool SameGeometry(const ScalerGeometry& a, const ScalerGeometry& b)
{
    return a.eLayout == b.eLayout && a.nInWidth == b.nInWidth && a.nInHeight == b.nInHeight &&
           a.nInStride == b.nInStride && a.nOutWidth == b.nOutWidth &&
           a.nOutHeight == b.nOutHeight && a.nOutStride == b.nOutStride;
}

bool ValidSize(uint32_t n)
{
    return n >= 1 && n <= kScalerMaxDimension;
}

// Whether a picture of these rows lies in the address space.
bool ValidRows(uint32_t nHeight, uint32_t nStride, uint64_t cbRow)
{
    if (nStride < cbRow)
        return false;
    return (static_cast<uint64_t>(nHeight) - 1) * nStride + cbRow <=
           static_cast<uint64_t>(PTRDIFF_MAX);
}

const ScalerPasses& PassesFor(ScalerAcceleration eAcceleration)
{
    switch (eAcceleration)
    {
    case ScalerAcceleration::Avx2:
        return kScalerPassesAvx2;
    case ScalerAcceleration::Sse2:
        return kScalerPassesSse2;
    case ScalerAcceleration::Portable:
        break;
    }
    return kScalerPassesPortable;
}
}  // namespace

ScalerAcceleration ScalerAvailableAcceleration(ScalerAcceleration eLimit)
{
    const CpuFeatures& cpu = GetCpuFeatures();
    if (eLimit == ScalerAcceleration::Avx2 && cpu.bSse2 && cpu.bAvx2)
        return ScalerAcceleration::Avx2;
    if (eLimit != ScalerAcceleration::Portable && cpu.bSse2)
        return ScalerAcceleration::Sse2;
    return ScalerAcceleration::Portable;
}

struct ScalerPlan::Impl
{
    ScalerGeometry geometry;
    ScalerFilter eFilter;
    ScalerAcceleration eLimit;
    ScalerShortcuts eShortcuts;
    const ScalerPasses* pPasses;
    bool bDouble;  // Yuy2 enlarged by exactly two with the bilinear filter

    Buffer<int16_t> doubleSums[3];  // the sums of three input rows in turn

    VerticalTable vertical;
    HorizontalTable luma;    // Yuy2: the luma plane; Packed32: the pixels
    HorizontalTable chroma;  // Yuy2 only: each chroma plane

    Buffer<int16_t> lumaIn;  // rows after the vertical pass
    Buffer<int16_t> uIn;
    Buffer<int16_t> vIn;
    Buffer<uint8_t> lumaOut;  // Yuy2 planes after the horizontal pass
    Buffer<uint8_t> uOut;
    Buffer<uint8_t> vOut;

    // 1:1: every filter then weighs one input sample by exactly one, so the
    // rows are copied and no tables are built.
    bool IsCopy() const
    {
        return eShortcuts == ScalerShortcuts::Allowed && geometry.nInWidth == geometry.nOutWidth &&
               geometry.nInHeight == geometry.nOutHeight;
    }

    bool IsDouble() const
    {
        const ScalerGeometry& g = geometry;
        const ScalerKernelShape shape = ScalerShapeFor(eFilter, 0.5);
        return eShortcuts == ScalerShortcuts::Allowed && g.eLayout == ScalerLayout::Yuy2 &&
               g.nOutWidth == 2 * static_cast<uint64_t>(g.nInWidth) &&
               g.nOutHeight == 2 * static_cast<uint64_t>(g.nInHeight) && !shape.bBox &&
               shape.dHalfWidth == 1.0;
    }

    ImageStatus Build()
    {
        const ScalerGeometry& g = geometry;
        if (IsCopy())
            return ImageStatus::Ok;
        bDouble = IsDouble();
        if (bDouble)
        {
            for (Buffer<int16_t>& sums : doubleSums)
            {
                if (!sums.Allocate(4 * static_cast<uint64_t>(g.nInWidth) + 32))
                    return ImageStatus::OutOfMemory;
            }
            return ImageStatus::Ok;
        }
        const double dScaleX = static_cast<double>(g.nInWidth) / g.nOutWidth;
        const double dScaleY = static_cast<double>(g.nInHeight) / g.nOutHeight;
        const ScalerKernelShape shapeX = ScalerShapeFor(eFilter, dScaleX);

        ImageStatus status =
            vertical.Build(g.nInHeight, g.nOutHeight, dScaleY, ScalerShapeFor(eFilter, dScaleY));
        if (status == ImageStatus::Ok)
            status = luma.Build(g.nInWidth, g.nOutWidth, dScaleX, 0.0, shapeX);
        if (status != ImageStatus::Ok)
            return status;

        // Each row carries the zeros that the last filter taps may read.
        if (g.eLayout == ScalerLayout::Packed32)
        {
            if (!lumaIn.Allocate(4 * (static_cast<uint64_t>(g.nInWidth) + luma.Taps()) + 16))
                return ImageStatus::OutOfMemory;
            return ImageStatus::Ok;
        }

        const uint32_t nInChroma = g.nInWidth / 2;
        const uint32_t nOutChroma = (g.nOutWidth + 1) / 2;
        status = chroma.Build(nInChroma, nOutChroma, dScaleX, ScalerChromaOffset(dScaleX), shapeX);
        if (status != ImageStatus::Ok)
            return status;
        if (!lumaIn.Allocate(static_cast<uint64_t>(g.nInWidth) + luma.Taps() + 16) ||
            !uIn.Allocate(static_cast<uint64_t>(nInChroma) + chroma.Taps() + 16) ||
            !vIn.Allocate(static_cast<uint64_t>(nInChroma) + chroma.Taps() + 16) ||
            !lumaOut.Allocate(luma.Filter().nPaddedOutputs + 32) ||
            !uOut.Allocate(chroma.Filter().nPaddedOutputs + 32) ||
            !vOut.Allocate(chroma.Filter().nPaddedOutputs + 32))
            return ImageStatus::OutOfMemory;
        return ImageStatus::Ok;
    }
};

ScalerPlan::ScalerPlan()
    : m_pImpl(nullptr), m_bConfigured(false), m_eUsed(ScalerAcceleration::Portable)
{
}

ScalerPlan::~ScalerPlan()
{
    delete m_pImpl;
}

void ScalerPlan::Reset()
{
    delete m_pImpl;
    m_pImpl = nullptr;
    m_bConfigured = false;
    m_eUsed = ScalerAcceleration::Portable;
}

void ScalerPlan::Swap(ScalerPlan& other)
{
    std::swap(m_pImpl, other.m_pImpl);
    std::swap(m_bConfigured, other.m_bConfigured);
    std::swap(m_eUsed, other.m_eUsed);
}

ImageStatus ScalerPlan::Configure(const ScalerGeometry& geometry, ScalerFilter eFilter,
                                  ScalerAcceleration eLimit, ScalerShortcuts eShortcuts)
{
    if (m_bConfigured && SameGeometry(geometry, m_pImpl->geometry) && eFilter == m_pImpl->eFilter &&
        eLimit == m_pImpl->eLimit && eShortcuts == m_pImpl->eShortcuts)
        return ImageStatus::Ok;

    Reset();

    const bool bYuy2 = geometry.eLayout == ScalerLayout::Yuy2;
    if (!bYuy2 && geometry.eLayout != ScalerLayout::Packed32)
        return ImageStatus::InvalidArgument;
    if (!ValidSize(geometry.nInWidth) || !ValidSize(geometry.nInHeight) ||
        !ValidSize(geometry.nOutWidth) || !ValidSize(geometry.nOutHeight))
        return ImageStatus::InvalidArgument;
    if (bYuy2 && geometry.nInWidth % 2 != 0)
        return ImageStatus::InvalidArgument;
    const uint64_t nBytesPerPixel = bYuy2 ? 2 : 4;
    if (!ValidRows(geometry.nInHeight, geometry.nInStride, geometry.nInWidth * nBytesPerPixel) ||
        !ValidRows(geometry.nOutHeight, geometry.nOutStride, geometry.nOutWidth * nBytesPerPixel))
        return ImageStatus::InvalidArgument;
    if (eFilter != ScalerFilter::Automatic && eFilter != ScalerFilter::Bilinear &&
        eFilter != ScalerFilter::Area)
        return ImageStatus::InvalidArgument;
    if (eLimit != ScalerAcceleration::Portable && eLimit != ScalerAcceleration::Sse2 &&
        eLimit != ScalerAcceleration::Avx2)
        return ImageStatus::InvalidArgument;

    Impl* pImpl = new (std::nothrow) Impl();
    if (pImpl == nullptr)
        return ImageStatus::OutOfMemory;
    pImpl->geometry = geometry;
    pImpl->eFilter = eFilter;
    pImpl->eLimit = eLimit;
    pImpl->eShortcuts = eShortcuts;
    pImpl->bDouble = false;
    const ScalerAcceleration eUsed = ScalerAvailableAcceleration(eLimit);
    pImpl->pPasses = &PassesFor(eUsed);
    ImageStatus status = pImpl->Build();
    if (status != ImageStatus::Ok)
    {
        delete pImpl;
        return status;
    }
    m_pImpl = pImpl;
    m_bConfigured = true;
    m_eUsed = eUsed;
    return ImageStatus::Ok;
}

ImageStatus ScalerPlan::Process(const uint8_t* pSrc, uint8_t* pDst)
{
    if (pSrc == nullptr || pDst == nullptr)
        return ImageStatus::InvalidArgument;
    if (!m_bConfigured)
        return ImageStatus::NotConfigured;

    Impl& plan = *m_pImpl;
    const ScalerGeometry& g = plan.geometry;
    if (plan.IsCopy())
    {
        const size_t cbRow =
            static_cast<size_t>(g.nInWidth) * (g.eLayout == ScalerLayout::Yuy2 ? 2 : 4);
        if (g.nInStride == cbRow && g.nOutStride == cbRow)
        {
            memcpy(pDst, pSrc, cbRow * g.nOutHeight);  // no padding: one block
            return ImageStatus::Ok;
        }
        for (uint32_t y = 0; y < g.nOutHeight; ++y)
            memcpy(pDst + static_cast<size_t>(y) * g.nOutStride,
                   pSrc + static_cast<size_t>(y) * g.nInStride, cbRow);
        return ImageStatus::Ok;
    }
    const ScalerPasses& passes = *plan.pPasses;
    if (plan.bDouble)
    {
        ProcessDouble(pSrc, pDst);
        return ImageStatus::Ok;
    }
    for (uint32_t y = 0; y < g.nOutHeight; ++y)
    {
        ScalerVerticalTaps taps = plan.vertical.Taps(y, pSrc, g.nInStride);
        uint8_t* pRow = pDst + static_cast<size_t>(y) * g.nOutStride;
        if (g.eLayout == ScalerLayout::Yuy2)
        {
            passes.pfnVerticalYuy2(taps, g.nInWidth / 2, plan.lumaIn.Get(), plan.uIn.Get(),
                                   plan.vIn.Get());
            passes.pfnHorizontalPlane(plan.lumaIn.Get(), plan.luma.Filter(), plan.lumaOut.Get());
            passes.pfnHorizontalPlane(plan.uIn.Get(), plan.chroma.Filter(), plan.uOut.Get());
            passes.pfnHorizontalPlane(plan.vIn.Get(), plan.chroma.Filter(), plan.vOut.Get());
            passes.pfnInterleaveYuy2(plan.lumaOut.Get(), plan.uOut.Get(), plan.vOut.Get(),
                                     g.nOutWidth, pRow);
        }
        else
        {
            passes.pfnVerticalPacked(taps, 4 * g.nInWidth, plan.lumaIn.Get());
            passes.pfnHorizontalPacked32(plan.lumaIn.Get(), plan.luma.Filter(), pRow);
        }
    }
    return ImageStatus::Ok;
}

// Input row k gives output rows 2k and 2k + 1, between row k's sums and
// those of rows k - 1 and k + 1 (the edge rows extended), kept in turn.
void ScalerPlan::ProcessDouble(const uint8_t* pSrc, uint8_t* pDst)
{
    Impl& plan = *m_pImpl;
    const ScalerGeometry& g = plan.geometry;
    const ScalerPasses& passes = *plan.pPasses;
    const uint32_t nMacropixels = g.nInWidth / 2;
    const uint32_t nBytes = 2 * g.nOutWidth;
    auto sums = [&](uint32_t nRow) { return plan.doubleSums[nRow % 3].Get(); };
    passes.pfnDoubleRowYuy2(pSrc, nMacropixels, sums(0));
    for (uint32_t k = 0; k < g.nInHeight; ++k)
    {
        const uint32_t nBelow = k + 1 < g.nInHeight ? k + 1 : k;
        if (nBelow != k)
            passes.pfnDoubleRowYuy2(pSrc + static_cast<size_t>(nBelow) * g.nInStride, nMacropixels,
                                    sums(nBelow));
        uint8_t* pUpper = pDst + 2 * static_cast<size_t>(k) * g.nOutStride;
        passes.pfnDoubleBlend(sums(k), sums(k > 0 ? k - 1 : 0), sums(nBelow), nBytes, pUpper,
                              pUpper + g.nOutStride);
    }
}
