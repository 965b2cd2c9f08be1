#include "image/jpegframesize.h"

namespace
{
// Start-of-frame markers: 0xC0 to 0xCF except DHT (0xC4), JPG (0xC8) and
// DAC (0xCC).
bool IsStartOfFrame(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}
}  // namespace

bool ReadJpegFrameSize(const uint8_t* pData, size_t cbData, uint32_t* pnWidth, uint32_t* pnHeight)
{
    if (pData == nullptr || cbData < 4 || pData[0] != 0xFF || pData[1] != 0xD8)
        return false;
    size_t nPos = 2;
    while (nPos + 4 <= cbData)
    {
        if (pData[nPos] != 0xFF)
            return false;
        const uint8_t marker = pData[nPos + 1];
        if (marker == 0xFF)
        {
            ++nPos;  // fill byte
            continue;
        }
        // Markers without a length: TEM and the restart markers.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
        {
            nPos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            return false;  // the picture's end or data before any frame header
        const size_t cbSegment = (static_cast<size_t>(pData[nPos + 2]) << 8) | pData[nPos + 3];
        if (cbSegment < 2)
            return false;
        if (IsStartOfFrame(marker))
        {
            // Length (2), precision (1), height (2), width (2).
            if (cbSegment < 7 || nPos + 2 + 7 > cbData)
                return false;
            const uint8_t* pFrame = pData + nPos + 4;
            *pnHeight = (static_cast<uint32_t>(pFrame[1]) << 8) | pFrame[2];
            *pnWidth = (static_cast<uint32_t>(pFrame[3]) << 8) | pFrame[4];
            return true;
        }
        nPos += 2 + cbSegment;
    }
    return false;
}
