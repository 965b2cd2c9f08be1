#pragma once

// Outcome of a pure image kernel. The kernels know nothing of Windows; the
// Windows-facing code turns these into HRESULTs.
enum class ImageStatus
{
    Ok,
    InvalidArgument,  // null pointer, zero or inconsistent size, overflowing size
    OutOfMemory,
    NotConfigured,  // a scaler plan was used before it was configured
};
