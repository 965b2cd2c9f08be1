#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "image/jpegframesize.h"

namespace
{
typedef std::vector<uint8_t> Bytes;

Bytes Segment(uint8_t marker, const Bytes& body)
{
    Bytes segment = {0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8),
                     static_cast<uint8_t>(body.size() + 2)};
    segment.insert(segment.end(), body.begin(), body.end());
    return segment;
}

// A frame header of the given marker: precision 8, height, width, one
// component.
Bytes FrameHeader(uint8_t marker, uint16_t nWidth, uint16_t nHeight)
{
    return Segment(
        marker, {8, static_cast<uint8_t>(nHeight >> 8), static_cast<uint8_t>(nHeight),
                 static_cast<uint8_t>(nWidth >> 8), static_cast<uint8_t>(nWidth), 1, 1, 0x11, 0});
}

Bytes Jpeg(const std::vector<Bytes>& segments)
{
    Bytes jpeg = {0xFF, 0xD8};
    for (const Bytes& segment : segments)
        jpeg.insert(jpeg.end(), segment.begin(), segment.end());
    return jpeg;
}

Bytes Cut(const Bytes& bytes, size_t cbKept)
{
    return Bytes(bytes.begin(), bytes.begin() + cbKept);
}

struct HeaderCase
{
    const char* pszName;
    Bytes jpeg;
    bool bFound;
    uint32_t nWidth, nHeight;
};

void PrintTo(const HeaderCase& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class JpegFrameSize : public testing::TestWithParam<HeaderCase>
{
};

const Bytes kApp0 = Segment(0xE0, Bytes(14, 0x4A));
const Bytes kQuantTable = Segment(0xDB, Bytes(65, 1));
const Bytes kHuffmanTable = Segment(0xC4, Bytes(29, 2));
const Bytes kScan = {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0};

INSTANTIATE_TEST_SUITE_P(
    Headers, JpegFrameSize,
    testing::Values(
        HeaderCase{"baseline", Jpeg({kApp0, kQuantTable, FrameHeader(0xC0, 1280, 720), kScan}),
                   true, 1280, 720},
        // A webcam's frame without Huffman tables: the frame header still says its size.
        HeaderCase{"no Huffman tables", Jpeg({kQuantTable, FrameHeader(0xC0, 640, 480), kScan}),
                   true, 640, 480},
        HeaderCase{"tables after the frame header",
                   Jpeg({FrameHeader(0xC0, 320, 240), kHuffmanTable, kScan}), true, 320, 240},
        HeaderCase{"progressive", Jpeg({kHuffmanTable, FrameHeader(0xC2, 4096, 2160)}), true, 4096,
                   2160},
        HeaderCase{"fill bytes", Jpeg({Bytes{0xFF, 0xFF}, FrameHeader(0xC1, 2, 1)}), true, 2, 1},
        // A Huffman table (0xC4) is no frame header, though numbered like one.
        HeaderCase{"only a Huffman table", Jpeg({kHuffmanTable, kScan}), false, 0, 0},
        HeaderCase{"cut inside the frame header",
                   Cut(Jpeg({kApp0, FrameHeader(0xC0, 1280, 720)}), 2 + 18 + 6), false, 0, 0},
        HeaderCase{"cut before it", Jpeg({kApp0}), false, 0, 0},
        HeaderCase{"no start of image", Bytes{0x00, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, false,
                   0, 0},
        HeaderCase{"garbage between segments", Jpeg({kApp0, Bytes{0x12}, FrameHeader(0xC0, 8, 8)}),
                   false, 0, 0},
        HeaderCase{"empty", Bytes(), false, 0, 0}));
}  // namespace

TEST_P(JpegFrameSize, IsReadFromTheFirstFrameHeader)
{
    const HeaderCase& testCase = GetParam();
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    EXPECT_EQ(testCase.bFound,
              ReadJpegFrameSize(testCase.jpeg.data(), testCase.jpeg.size(), &nWidth, &nHeight));
    if (testCase.bFound)
    {
        EXPECT_EQ(testCase.nWidth, nWidth);
        EXPECT_EQ(testCase.nHeight, nHeight);
    }
}
