#pragma once

#include <stddef.h>
#include <stdint.h>

// The picture size a JPEG's header gives (its first start-of-frame marker),
// read without decoding. False when the bytes are not a JPEG or end before
// that marker is whole.
bool ReadJpegFrameSize(const uint8_t* pData, size_t cbData, uint32_t* pnWidth, uint32_t* pnHeight);
