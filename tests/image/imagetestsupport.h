#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <vector>

// A byte buffer with guard bytes on both sides and an optional misalignment
// of its first byte, to catch writes past either end.
class GuardedBuffer
{
public:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;

    explicit GuardedBuffer(size_t cbSize, size_t nMisalignment = 0, uint8_t fill = 0);

    uint8_t* Data() { return &m_bytes[kGuard + m_nMisalignment]; }
    const uint8_t* Data() const { return &m_bytes[kGuard + m_nMisalignment]; }
    size_t Size() const { return m_cbSize; }
    uint8_t& operator[](size_t i) { return Data()[i]; }
    uint8_t operator[](size_t i) const { return Data()[i]; }

    bool GuardsIntact() const;
    void FillRandom(std::mt19937& random);

private:
    std::vector<uint8_t> m_bytes;
    size_t m_cbSize;
    size_t m_nMisalignment;
};

enum class ScalerFilter;
enum class ScalerLayout;

// Bytes that differ from their neighbours and do not repeat with a short
// period: byte i is (7i + i / 251) mod 256.
std::vector<uint8_t> NumberedPicture(size_t cbSize);

// What the built-in scaler makes of a packed picture without row padding
// with the settings the product gives it (automatic filter, fastest
// instructions).
std::vector<uint8_t> KernelScale(ScalerLayout eLayout, const std::vector<uint8_t>& src,
                                 uint32_t nInWidth, uint32_t nInHeight, uint32_t nOutWidth,
                                 uint32_t nOutHeight);

// The double-precision scaling that the built-in scaler approximates with
// the given filter, from the weights it publishes: vertical pass, then
// horizontal, per plane (Yuy2) or channel (Packed32). Returns packed pixels
// without row padding.
std::vector<double> ReferenceScaleYuy2(const uint8_t* pSrc, uint32_t nInWidth, uint32_t nInHeight,
                                       uint32_t nOutWidth, uint32_t nOutHeight,
                                       ScalerFilter eFilter);
std::vector<double> ReferenceScalePacked32(const uint8_t* pSrc, uint32_t nInWidth,
                                           uint32_t nInHeight, uint32_t nOutWidth,
                                           uint32_t nOutHeight, ScalerFilter eFilter);
