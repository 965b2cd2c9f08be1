#include "referenceresample.h"

#include <math.h>

namespace
{
const double kPi = 3.14159265358979323846;

double Sinc(double x)
{
    return x == 0.0 ? 1.0 : sin(kPi * x) / (kPi * x);
}

// The weights of output i of a dimension nIn -> nOut.
void Weights(uint32_t nIn, uint32_t nOut, uint32_t i, std::vector<uint32_t>* pInputs,
             std::vector<double>* pWeights)
{
    const double dScale = static_cast<double>(nIn) / nOut;
    pInputs->clear();
    pWeights->clear();
    const double dCentre = (i + 0.5) * dScale - 0.5;
    const double dStretch = dScale > 1.0 ? dScale : 1.0;
    const double dSupport = 3.0 * dStretch;
    double dTotal = 0.0;
    for (double j = ceil(dCentre - dSupport); j <= floor(dCentre + dSupport); j += 1.0)
    {
        const double t = (j - dCentre) / dStretch;
        if (fabs(t) >= 3.0)
            continue;
        const double w = Sinc(t) * Sinc(t / 3.0);
        const double jClamped = j < 0 ? 0 : (j > nIn - 1.0 ? nIn - 1.0 : j);
        pInputs->push_back(static_cast<uint32_t>(jClamped));
        pWeights->push_back(w);
        dTotal += w;
    }
    for (double& w : *pWeights)
        w /= dTotal;
}
}  // namespace

LumaPlane ExtractLuma(const uint8_t* pSrc, uint32_t nWidth, uint32_t nHeight, uint32_t nStride)
{
    LumaPlane plane = {nWidth, nHeight, std::vector<double>(static_cast<size_t>(nWidth) * nHeight)};
    for (uint32_t y = 0; y < nHeight; ++y)
    {
        for (uint32_t x = 0; x < nWidth; ++x)
            plane.samples[static_cast<size_t>(y) * nWidth + x] =
                pSrc[static_cast<size_t>(y) * nStride + 2 * x];
    }
    return plane;
}

LumaPlane ResampleLumaLanczos3(const LumaPlane& in, uint32_t nOutWidth, uint32_t nOutHeight)
{
    std::vector<uint32_t> inputs;
    std::vector<double> weights;
    // Rows first, then columns.
    LumaPlane rows = {nOutWidth, in.nHeight,
                      std::vector<double>(static_cast<size_t>(nOutWidth) * in.nHeight)};
    for (uint32_t x = 0; x < nOutWidth; ++x)
    {
        Weights(in.nWidth, nOutWidth, x, &inputs, &weights);
        for (uint32_t y = 0; y < in.nHeight; ++y)
        {
            double dSum = 0.0;
            for (size_t k = 0; k < inputs.size(); ++k)
                dSum += weights[k] * in.samples[static_cast<size_t>(y) * in.nWidth + inputs[k]];
            rows.samples[static_cast<size_t>(y) * nOutWidth + x] = dSum;
        }
    }
    LumaPlane out = {nOutWidth, nOutHeight,
                     std::vector<double>(static_cast<size_t>(nOutWidth) * nOutHeight)};
    for (uint32_t y = 0; y < nOutHeight; ++y)
    {
        Weights(in.nHeight, nOutHeight, y, &inputs, &weights);
        for (uint32_t x = 0; x < nOutWidth; ++x)
        {
            double dSum = 0.0;
            for (size_t k = 0; k < inputs.size(); ++k)
                dSum += weights[k] * rows.samples[static_cast<size_t>(inputs[k]) * nOutWidth + x];
            out.samples[static_cast<size_t>(y) * nOutWidth + x] = dSum;
        }
    }
    return out;
}

double LumaPsnr(const uint8_t* pPicture, uint32_t nStride, uint32_t nFirst, uint32_t nStep,
                const LumaPlane& reference)
{
    double dSquares = 0.0;
    for (uint32_t y = 0; y < reference.nHeight; ++y)
    {
        for (uint32_t x = 0; x < reference.nWidth; ++x)
        {
            double d = pPicture[static_cast<size_t>(y) * nStride + nFirst +
                                static_cast<size_t>(x) * nStep] -
                       reference.samples[static_cast<size_t>(y) * reference.nWidth + x];
            dSquares += d * d;
        }
    }
    const double dMse = dSquares / (static_cast<double>(reference.nWidth) * reference.nHeight);
    return dMse > 0.0 ? 10.0 * log10(255.0 * 255.0 / dMse) : 99.0;
}
