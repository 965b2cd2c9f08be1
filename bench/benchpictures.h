#pragma once

#include <stdint.h>

#include <vector>

// A deterministic YUY2 test picture with the mix of content a camera sees:
// smooth shading with detail at every scale (1/f noise), hard-edged shapes,
// thin lines, fine text-like strokes and a zone plate whose rings reach the
// highest frequencies. Luma and chroma differ in content.
std::vector<uint8_t> MakeBenchPictureYuy2(uint32_t nWidth, uint32_t nHeight);
