#pragma once

// What the processor (and the operating system, for the wider registers)
// offers, read once with CPUID. On other architectures everything is false.
struct CpuFeatures
{
    bool bSse2;
    bool bAvx2;
};

const CpuFeatures& GetCpuFeatures();
