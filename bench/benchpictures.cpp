#include "benchpictures.h"

#include <math.h>

namespace
{
// Value noise: a hash of the lattice point, smoothly interpolated.
double Lattice(int32_t x, int32_t y, uint32_t nSeed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 nSeed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFF) / 65535.0;
}

double SmoothNoise(double x, double y, uint32_t nSeed)
{
    const double fx = floor(x), fy = floor(y);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = Lattice(ix, iy, nSeed), b = Lattice(ix + 1, iy, nSeed);
    const double c = Lattice(ix, iy + 1, nSeed), d = Lattice(ix + 1, iy + 1, nSeed);
    return (a * (1 - tx) + b * tx) * (1 - ty) + (c * (1 - tx) + d * tx) * ty;
}

// Octaves from 256 pixels down to 2, amplitude halving each time: about the
// spectrum of natural pictures. Result around 0..1.
double FractalNoise(double x, double y, uint32_t nSeed)
{
    double dSum = 0.0, dAmplitude = 0.5, dPeriod = 256.0;
    for (int nOctave = 0; nOctave < 8; ++nOctave)
    {
        dSum += dAmplitude * SmoothNoise(x / dPeriod, y / dPeriod, nSeed + nOctave);
        dAmplitude *= 0.55;
        dPeriod /= 2.0;
    }
    return dSum;
}

uint8_t Clamp(double d, double dLow, double dHigh)
{
    return static_cast<uint8_t>(lround(fmin(fmax(d, dLow), dHigh)));
}

double LumaAt(double x, double y, double w, double h)
{
    double dLuma = 30.0 + 190.0 * FractalNoise(x, y, 1);
    // Hard-edged shapes: a bright and a dark rectangle and a disc.
    if (x > 0.10 * w && x < 0.30 * w && y > 0.15 * h && y < 0.45 * h)
        dLuma += 60.0;
    if (x > 0.55 * w && x < 0.80 * w && y > 0.60 * h && y < 0.85 * h)
        dLuma -= 70.0;
    const double dx = x - 0.70 * w, dy = y - 0.30 * h;
    if (dx * dx + dy * dy < (0.12 * h) * (0.12 * h))
        dLuma = 0.6 * dLuma + 90.0;
    // Thin lines, one and two pixels wide.
    if (static_cast<int>(x) % 97 == 0 || static_cast<int>(y) % 89 < 2)
        dLuma = 235.0;
    // Text-like strokes: a band of short high-contrast dashes.
    if (y > 0.88 * h && y < 0.95 * h && (static_cast<int>(x) / 3) % 5 < 2 &&
        static_cast<int>(y) % 7 < 5)
        dLuma = 20.0;
    // A zone plate in the lower left corner.
    const double zx = x - 0.18 * w, zy = y - 0.72 * h, r2 = zx * zx + zy * zy;
    const double dRadius = 0.17 * h;
    if (r2 < dRadius * dRadius)
        dLuma = 128.0 + 100.0 * cos(3.14159265358979 * r2 / (2.0 * dRadius));
    return dLuma;
}
}  // namespace

std::vector<uint8_t> MakeBenchPictureYuy2(uint32_t nWidth, uint32_t nHeight)
{
    std::vector<uint8_t> picture(static_cast<size_t>(nWidth) * nHeight * 2);
    const double w = nWidth, h = nHeight;
    for (uint32_t y = 0; y < nHeight; ++y)
    {
        for (uint32_t x = 0; x < nWidth; x += 2)
        {
            uint8_t* p = &picture[(static_cast<size_t>(y) * nWidth + x) * 2];
            p[0] = Clamp(LumaAt(x, y, w, h), 16, 235);
            p[2] = Clamp(LumaAt(x + 1, y, w, h), 16, 235);
            double u = 128.0 + 90.0 * (FractalNoise(x * 0.7, y * 0.7, 50) - 0.5);
            double v = 128.0 + 90.0 * (FractalNoise(x * 0.7, y * 0.7, 90) - 0.5);
            if (x > 0.10 * w && x < 0.30 * w && y > 0.15 * h && y < 0.45 * h)
                u += 50.0;
            if (x > 0.55 * w && x < 0.80 * w && y > 0.60 * h && y < 0.85 * h)
                v -= 50.0;
            p[1] = Clamp(u, 16, 240);
            p[3] = Clamp(v, 16, 240);
        }
    }
    return picture;
}
