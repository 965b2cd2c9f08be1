#pragma once

#include <stddef.h>
#include <stdint.h>

#include "image/imagestatus.h"

// The built-in image scaler, as plain C++ on caller-owned bytes.
//
// Pixel layouts:
// - Yuy2: packed Y0 U Y1 V. Filtered as what it is: a luma plane of width
//   samples and two chroma planes of width / 2 samples a row, each on its
//   own grid, never across the byte interleave. Chroma is taken as co-sited
//   with the even luma samples (the usual 4:2:2 siting). The input width
//   must be even; an odd output width ends with a half macropixel (Y, U).
// - Packed32: four bytes a pixel, each byte (channel) filtered on its own.
//
// Filters, chosen per direction: bilinear when enlarging (or at 1:1, which
// then copies exactly); when shrinking, a triangle (tent) filter widened with
// the factor, whose response at the output's Nyquist frequency is one half
// (-6 dB, as for a Lanczos filter), so a 4:1 reduction keeps aliasing low and
// a 1.5:1 one stays sharp. Area averaging is available as a mode. Pixel
// centres are aligned; the edges are extended.
//
// Arithmetic: 14-bit coefficients whose sum is exactly 1. The vertical pass
// runs first and keeps 7 fractional bits in 16-bit intermediates; the
// horizontal pass rounds to nearest. A flat picture therefore stays exactly
// flat. The SSE2 and AVX2 paths compute the very same integers as the
// portable one.
enum class ScalerLayout
{
    Yuy2,
    Packed32,
};

enum class ScalerFilter
{
    Automatic,  // bilinear when enlarging, the widened triangle when shrinking
    Bilinear,   // bilinear in both directions (aliases when shrinking)
    Area,       // area averaging in both directions
};

// The widest instruction set a plan may use; it uses the widest of these
// that the processor has.
enum class ScalerAcceleration
{
    Portable,
    Sse2,
    Avx2,
};

// Paths that skip the general passes where they give the very same bytes:
// the copy at 1:1 and the enlarging of Yuy2 by exactly two. Tests turn them
// off to compare.
enum class ScalerShortcuts
{
    Allowed,
    None,
};

struct ScalerGeometry
{
    ScalerLayout eLayout;
    uint32_t nInWidth;
    uint32_t nInHeight;
    uint32_t nInStride;  // bytes from one input row to the next
    uint32_t nOutWidth;
    uint32_t nOutHeight;
    uint32_t nOutStride;
};

// Largest width or height the scaler accepts.
const uint32_t kScalerMaxDimension = 65535;

class ScalerPlan
{
public:
    ScalerPlan();
    ~ScalerPlan();

    // Precomputes the coefficient tables and allocates every buffer that
    // Process needs; configuring again with the same arguments keeps them.
    // InvalidArgument: a size of zero or above kScalerMaxDimension, an odd
    // Yuy2 input width, a stride shorter than a row, a picture beyond the
    // address space. OutOfMemory. After a failure the plan is unconfigured.
    ImageStatus Configure(const ScalerGeometry& geometry, ScalerFilter eFilter,
                          ScalerAcceleration eLimit,
                          ScalerShortcuts eShortcuts = ScalerShortcuts::Allowed);

    // Back to unconfigured, with every buffer freed.
    void Reset();

    // Exchanges the two plans' configurations and buffers.
    void Swap(ScalerPlan& other);

    bool IsConfigured() const { return m_bConfigured; }
    // The instruction set Process runs with.
    ScalerAcceleration UsedAcceleration() const { return m_eUsed; }

    // Writes every output row's pixel bytes (row padding is left alone) from
    // the configured input. Allocates nothing. InvalidArgument for a null
    // pointer, NotConfigured before a successful Configure.
    ImageStatus Process(const uint8_t* pSrc, uint8_t* pDst);

private:
    ScalerPlan(const ScalerPlan&);
    ScalerPlan& operator=(const ScalerPlan&);

    void ProcessDouble(const uint8_t* pSrc, uint8_t* pDst);

    struct Impl;
    Impl* m_pImpl;
    bool m_bConfigured;
    ScalerAcceleration m_eUsed;
};

// The widest acceleration at most eLimit that this processor runs.
ScalerAcceleration ScalerAvailableAcceleration(ScalerAcceleration eLimit);

// The filter kernel of one dimension: a triangle of the given half-width
// (in input samples; 1 is bilinear) or a box of the scale's width.
struct ScalerKernelShape
{
    bool bBox;
    double dHalfWidth;
};

// Half-width, per unit of shrink factor, of the anti-aliasing triangle:
// its response sinc^2(f * w) is one half at the output's Nyquist frequency.
const double kScalerAntiAliasWidth = 0.8859;

// The kernel that eFilter uses for a dimension scaled by dScale (input /
// output).
ScalerKernelShape ScalerShapeFor(ScalerFilter eFilter, double dScale);

// One filter of the plan in double precision, for tests and references:
// the input samples and weights of output sample nIndex of a dimension of
// nIn samples (> 0) scaled by dScale. dOffset shifts the sampled interval
// (0 for luma and rows; see ScalerChromaOffset for co-sited chroma). Writes
// at most nMaxTaps entries (ScalerMaxTaps is enough) and returns how many
// there are.
size_t ComputeScalerWeights(uint32_t nIn, double dScale, double dOffset, ScalerKernelShape shape,
                            uint32_t nIndex, uint32_t* pInputs, double* pWeights, size_t nMaxTaps);

// How many inputs one output of the shape can take at most.
size_t ScalerMaxTaps(ScalerKernelShape shape, double dScale);

// The offset, in chroma samples, of co-sited 4:2:2 chroma for a luma scale
// factor (input width / output width).
double ScalerChromaOffset(double dLumaScale);
