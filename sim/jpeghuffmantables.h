#pragma once

#include <windows.h>

#include <vector>

// Many USB webcams send MJPG frames without Huffman tables (DHT segments):
// the format assumes the standard tables of the JPEG standard's annex K, and
// the system's decoder inserts them. The webcam double strips them; the
// test decoder puts the standard ones back before it decodes.

// Whether the JPEG defines a Huffman table before its first scan.
bool JpegHasHuffmanTables(const std::vector<BYTE>& jpeg);

// The JPEG without its DHT segments (as it was when it has none, or is no
// JPEG the walk understands).
std::vector<BYTE> StripJpegHuffmanTables(const std::vector<BYTE>& jpeg);

// The JPEG with the standard tables inserted before its first scan, when it
// has no tables of its own; as it was otherwise.
std::vector<BYTE> InsertStandardHuffmanTables(const std::vector<BYTE>& jpeg);
