#include "imagetestsupport.h"

#include "image/scalerkernel.h"

GuardedBuffer::GuardedBuffer(size_t cbSize, size_t nMisalignment, uint8_t fill)
    : m_bytes(2 * kGuard + nMisalignment + cbSize, kGuardByte),
      m_cbSize(cbSize),
      m_nMisalignment(nMisalignment)
{
    for (size_t i = 0; i < cbSize; ++i)
        Data()[i] = fill;
}

bool GuardedBuffer::GuardsIntact() const
{
    for (size_t i = 0; i < kGuard + m_nMisalignment; ++i)
    {
        if (m_bytes[i] != kGuardByte)
            return false;
    }
    for (size_t i = kGuard + m_nMisalignment + m_cbSize; i < m_bytes.size(); ++i)
    {
        if (m_bytes[i] != kGuardByte)
            return false;
    }
    return true;
}

void GuardedBuffer::FillRandom(std::mt19937& random)
{
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t i = 0; i < m_cbSize; ++i)
        Data()[i] = static_cast<uint8_t>(byte(random));
}

std::vector<uint8_t> NumberedPicture(size_t cbSize)
{
    std::vector<uint8_t> picture(cbSize);
    for (size_t i = 0; i < cbSize; ++i)
        picture[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return picture;
}

std::vector<uint8_t> KernelScale(ScalerLayout eLayout, const std::vector<uint8_t>& src,
                                 uint32_t nInWidth, uint32_t nInHeight, uint32_t nOutWidth,
                                 uint32_t nOutHeight)
{
    const uint32_t nBytes = eLayout == ScalerLayout::Yuy2 ? 2 : 4;
    ScalerGeometry geometry = {eLayout,   nInWidth,   nInHeight,         nInWidth * nBytes,
                               nOutWidth, nOutHeight, nOutWidth * nBytes};
    ScalerPlan plan;
    std::vector<uint8_t> out(static_cast<size_t>(nOutWidth) * nOutHeight * nBytes);
    if (plan.Configure(geometry, ScalerFilter::Automatic, ScalerAcceleration::Avx2) !=
            ImageStatus::Ok ||
        plan.Process(src.data(), out.data()) != ImageStatus::Ok)
        out.clear();
    return out;
}

namespace
{
struct Plane
{
    uint32_t nWidth;
    uint32_t nHeight;
    std::vector<double> samples;

    double& At(uint32_t x, uint32_t y) { return samples[static_cast<size_t>(y) * nWidth + x]; }
};

// One dimension of the scaler's filter applied in double precision.
std::vector<double> Resample(const std::vector<double>& in, uint32_t nOut, double dScale,
                             double dOffset, ScalerFilter eFilter)
{
    const uint32_t nIn = static_cast<uint32_t>(in.size());
    const ScalerKernelShape shape = ScalerShapeFor(eFilter, dScale);
    std::vector<uint32_t> inputs(ScalerMaxTaps(shape, dScale));
    std::vector<double> weights(inputs.size());
    std::vector<double> out(nOut);
    for (uint32_t i = 0; i < nOut; ++i)
    {
        size_t n = ComputeScalerWeights(nIn, dScale, dOffset, shape, i, inputs.data(),
                                        weights.data(), inputs.size());
        double dSum = 0.0;
        for (size_t k = 0; k < n; ++k)
            dSum += in[inputs[k]] * weights[k];
        out[i] = dSum;
    }
    return out;
}

Plane ScalePlane(const Plane& in, uint32_t nOutWidth, uint32_t nOutHeight, double dScaleX,
                 double dOffsetX, ScalerFilter eFilter)
{
    const double dScaleY = static_cast<double>(in.nHeight) / nOutHeight;
    Plane columns = {in.nWidth, nOutHeight,
                     std::vector<double>(static_cast<size_t>(in.nWidth) * nOutHeight)};
    for (uint32_t x = 0; x < in.nWidth; ++x)
    {
        std::vector<double> column(in.nHeight);
        for (uint32_t y = 0; y < in.nHeight; ++y)
            column[y] = in.samples[static_cast<size_t>(y) * in.nWidth + x];
        std::vector<double> scaled = Resample(column, nOutHeight, dScaleY, 0.0, eFilter);
        for (uint32_t y = 0; y < nOutHeight; ++y)
            columns.At(x, y) = scaled[y];
    }
    Plane out = {nOutWidth, nOutHeight,
                 std::vector<double>(static_cast<size_t>(nOutWidth) * nOutHeight)};
    for (uint32_t y = 0; y < nOutHeight; ++y)
    {
        std::vector<double> row(
            columns.samples.begin() + static_cast<ptrdiff_t>(y) * in.nWidth,
            columns.samples.begin() + static_cast<ptrdiff_t>(y + 1) * in.nWidth);
        std::vector<double> scaled = Resample(row, nOutWidth, dScaleX, dOffsetX, eFilter);
        for (uint32_t x = 0; x < nOutWidth; ++x)
            out.At(x, y) = scaled[x];
    }
    return out;
}
}  // namespace

std::vector<double> ReferenceScaleYuy2(const uint8_t* pSrc, uint32_t nInWidth, uint32_t nInHeight,
                                       uint32_t nOutWidth, uint32_t nOutHeight,
                                       ScalerFilter eFilter)
{
    const uint32_t nInChroma = nInWidth / 2;
    Plane luma = {nInWidth, nInHeight,
                  std::vector<double>(static_cast<size_t>(nInWidth) * nInHeight)};
    Plane u = {nInChroma, nInHeight,
               std::vector<double>(static_cast<size_t>(nInChroma) * nInHeight)};
    Plane v = u;
    for (uint32_t y = 0; y < nInHeight; ++y)
    {
        const uint8_t* pRow = pSrc + static_cast<size_t>(y) * nInWidth * 2;
        for (uint32_t x = 0; x < nInWidth; ++x)
            luma.At(x, y) = pRow[2 * x];
        for (uint32_t j = 0; j < nInChroma; ++j)
        {
            u.At(j, y) = pRow[4 * j + 1];
            v.At(j, y) = pRow[4 * j + 3];
        }
    }

    const double dScaleX = static_cast<double>(nInWidth) / nOutWidth;
    const uint32_t nOutChroma = (nOutWidth + 1) / 2;
    Plane lumaOut = ScalePlane(luma, nOutWidth, nOutHeight, dScaleX, 0.0, eFilter);
    Plane uOut =
        ScalePlane(u, nOutChroma, nOutHeight, dScaleX, ScalerChromaOffset(dScaleX), eFilter);
    Plane vOut =
        ScalePlane(v, nOutChroma, nOutHeight, dScaleX, ScalerChromaOffset(dScaleX), eFilter);

    std::vector<double> out(static_cast<size_t>(nOutWidth) * nOutHeight * 2);
    for (uint32_t y = 0; y < nOutHeight; ++y)
    {
        double* pRow = &out[static_cast<size_t>(y) * nOutWidth * 2];
        for (uint32_t x = 0; x < nOutWidth; ++x)
        {
            pRow[2 * x] = lumaOut.At(x, y);
            pRow[2 * x + 1] = (x % 2 == 0) ? uOut.At(x / 2, y) : vOut.At(x / 2, y);
        }
    }
    return out;
}

std::vector<double> ReferenceScalePacked32(const uint8_t* pSrc, uint32_t nInWidth,
                                           uint32_t nInHeight, uint32_t nOutWidth,
                                           uint32_t nOutHeight, ScalerFilter eFilter)
{
    const double dScaleX = static_cast<double>(nInWidth) / nOutWidth;
    std::vector<double> out(static_cast<size_t>(nOutWidth) * nOutHeight * 4);
    for (int c = 0; c < 4; ++c)
    {
        Plane channel = {nInWidth, nInHeight,
                         std::vector<double>(static_cast<size_t>(nInWidth) * nInHeight)};
        for (uint32_t y = 0; y < nInHeight; ++y)
        {
            for (uint32_t x = 0; x < nInWidth; ++x)
                channel.At(x, y) = pSrc[(static_cast<size_t>(y) * nInWidth + x) * 4 + c];
        }
        Plane scaled = ScalePlane(channel, nOutWidth, nOutHeight, dScaleX, 0.0, eFilter);
        for (uint32_t y = 0; y < nOutHeight; ++y)
        {
            for (uint32_t x = 0; x < nOutWidth; ++x)
                out[(static_cast<size_t>(y) * nOutWidth + x) * 4 + c] = scaled.At(x, y);
        }
    }
    return out;
}
