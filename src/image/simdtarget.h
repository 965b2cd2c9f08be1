#pragma once

// VCAM_IMAGE_X86: the build targets an x86 processor (32 or 64 bits), so the
// SSE2 and AVX2 kernels exist; elsewhere their entry points fall back to the
// portable code and the processor check reports neither.
#if defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__)
#define VCAM_IMAGE_X86 1
#endif
