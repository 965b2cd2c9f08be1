#include "image/cpufeatures.h"
#include "image/simdtarget.h"

#include <stdint.h>

#if defined(VCAM_IMAGE_X86)
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace
{
#if defined(VCAM_IMAGE_X86)
void ReadCpuid(uint32_t nLeaf, uint32_t nSubLeaf, uint32_t aRegs[4])
{
#if defined(_MSC_VER)
    int aInfo[4];
    __cpuidex(aInfo, static_cast<int>(nLeaf), static_cast<int>(nSubLeaf));
    for (int i = 0; i < 4; ++i)
        aRegs[i] = static_cast<uint32_t>(aInfo[i]);
#else
    __cpuid_count(nLeaf, nSubLeaf, aRegs[0], aRegs[1], aRegs[2], aRegs[3]);
#endif
}

// The register-state components the operating system saves (XCR0).
uint64_t ReadXcr0()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    uint32_t nLow = 0, nHigh = 0;
    __asm__ volatile("xgetbv" : "=a"(nLow), "=d"(nHigh) : "c"(0));
    return (static_cast<uint64_t>(nHigh) << 32) | nLow;
#endif
}

CpuFeatures DetectCpuFeatures()
{
    CpuFeatures features = {false, false};
    uint32_t aRegs[4];  // eax, ebx, ecx, edx
    ReadCpuid(0, 0, aRegs);
    uint32_t nMaxLeaf = aRegs[0];
    if (nMaxLeaf < 1)
        return features;

    ReadCpuid(1, 0, aRegs);
    features.bSse2 = (aRegs[3] & (1u << 26)) != 0;
    bool bOsSavesYmm = false;
    const uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;
    if ((aRegs[2] & (kOsxsave | kAvx)) == (kOsxsave | kAvx))
        bOsSavesYmm = (ReadXcr0() & 0x6) == 0x6;  // XMM and YMM state

    if (nMaxLeaf >= 7 && bOsSavesYmm)
    {
        ReadCpuid(7, 0, aRegs);
        features.bAvx2 = (aRegs[1] & (1u << 5)) != 0;
    }
    return features;
}
#else
CpuFeatures DetectCpuFeatures()
{
    CpuFeatures features = {false, false};
    return features;
}
#endif
}  // namespace

const CpuFeatures& GetCpuFeatures()
{
    static const CpuFeatures features = DetectCpuFeatures();
    return features;
}
