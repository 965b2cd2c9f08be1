#include "simulatedwebcamframes.h"

#include <wincodec.h>

#include <string.h>

#include "wicjpeg.h"

namespace
{
const UINT32 kCellCount = 24;
const BYTE kBandWhite = 235;
const BYTE kBandBlack = 16;
// A cell counts as white or black only when its average is this clearly on
// one side; anything in between is not a bar code.
const UINT32 kWhiteAbove = 170;
const UINT32 kBlackBelow = 80;
// Pictures beyond this are refused rather than multiplied into a size.
const UINT32 kMaxSide = 16384;

struct YUV
{
    BYTE y;
    BYTE u;
    BYTE v;
};

// The classic 75 % colour bars.
const YUV kBars[8] = {
    {180, 128, 128},  // white
    {162, 44, 142},   // yellow
    {131, 156, 44},   // cyan
    {112, 72, 58},    // green
    {84, 184, 198},   // magenta
    {65, 100, 212},   // red
    {35, 212, 114},   // blue
    {16, 128, 128},   // black
};

UINT32 BandHeight(UINT32 nHeight)
{
    UINT32 nBand = nHeight / 8;
    return nBand == 0 ? 1 : nBand;
}

bool CellIsWhite(UINT32 nFrame, UINT32 nCell)
{
    if (nCell == 0 || nCell == kCellCount - 1)
        return true;
    if (nCell == 1 || nCell == kCellCount - 2)
        return false;
    UINT32 nBit = kWebcamCounterBits - 1 - (nCell - 2);
    return ((nFrame >> nBit) & 1) != 0;
}

bool SizeIsDrawable(UINT32 nWidth, UINT32 nHeight)
{
    return nWidth >= kWebcamMinWidth && nHeight >= kWebcamMinHeight && nWidth <= kMaxSide &&
           nHeight <= kMaxSide;
}

BYTE Clamp(int n)
{
    return static_cast<BYTE>(n < 0 ? 0 : (n > 255 ? 255 : n));
}

// Studio-range BT.601 to full-range RGB, in 8-bit fixed point.
void YuvToBgr(BYTE y, BYTE u, BYTE v, BYTE* pBgr)
{
    int c = 298 * (static_cast<int>(y) - 16);
    int d = static_cast<int>(u) - 128;
    int e = static_cast<int>(v) - 128;
    pBgr[0] = Clamp((c + 516 * d + 128) >> 8);
    pBgr[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
    pBgr[2] = Clamp((c + 409 * e + 128) >> 8);
}
}  // namespace

void GetWebcamPixel(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, UINT32 x, UINT32 y, BYTE* pY,
                    BYTE* pU, BYTE* pV)
{
    if (nWidth == 0 || nHeight == 0)
    {
        *pY = kBandBlack;
        *pU = *pV = 128;
        return;
    }
    if (y < BandHeight(nHeight))
    {
        UINT32 nCell = static_cast<UINT32>(static_cast<UINT64>(x) * kCellCount / nWidth);
        *pY = CellIsWhite(nFrame, nCell) ? kBandWhite : kBandBlack;
        *pU = *pV = 128;
        return;
    }
    UINT32 nStep = nWidth / 64 == 0 ? 1 : nWidth / 64;
    UINT64 nShift = (static_cast<UINT64>(nFrame) * nStep) % nWidth;
    UINT64 nBar = ((x + nShift) % nWidth) * 8 / nWidth;
    const YUV& bar = kBars[nBar];
    *pY = bar.y;
    *pU = bar.u;
    *pV = bar.v;
}

bool DrawWebcamFrameYuy2(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, BYTE* pDst, UINT32 cbStride)
{
    if (pDst == NULL || !SizeIsDrawable(nWidth, nHeight) || nWidth % 2 != 0 ||
        cbStride < nWidth * 2)
    {
        return false;
    }
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        BYTE* pRow = pDst + static_cast<size_t>(y) * cbStride;
        for (UINT32 x = 0; x < nWidth; x += 2)
        {
            BYTE bU = 0;
            BYTE bV = 0;
            BYTE bUnused = 0;
            GetWebcamPixel(nFrame, nWidth, nHeight, x, y, &pRow[x * 2], &bU, &bV);
            GetWebcamPixel(nFrame, nWidth, nHeight, x + 1, y, &pRow[x * 2 + 2], &bUnused, &bUnused);
            pRow[x * 2 + 1] = bU;
            pRow[x * 2 + 3] = bV;
        }
    }
    return true;
}

bool DrawWebcamFrameBgr24(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, BYTE* pDst, UINT32 cbStride)
{
    if (pDst == NULL || !SizeIsDrawable(nWidth, nHeight) || cbStride < nWidth * 3)
        return false;
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        BYTE* pRow = pDst + static_cast<size_t>(y) * cbStride;
        for (UINT32 x = 0; x < nWidth; ++x)
        {
            BYTE bY = 0;
            BYTE bU = 0;
            BYTE bV = 0;
            GetWebcamPixel(nFrame, nWidth, nHeight, x, y, &bY, &bU, &bV);
            YuvToBgr(bY, bU, bV, &pRow[x * 3]);
        }
    }
    return true;
}

int ReadWebcamFrameCounter(const BYTE* pFirst, UINT32 nWidth, UINT32 nHeight, UINT32 cbPixelStep,
                           UINT32 cbStride)
{
    if (pFirst == NULL || nWidth < kCellCount || nHeight == 0 || nWidth > kMaxSide ||
        nHeight > kMaxSide || cbPixelStep == 0)
    {
        return -1;
    }
    // Average the middle of each cell over the middle rows of the band, away
    // from the edges that compression and scaling blur.
    UINT32 nBand = BandHeight(nHeight);
    UINT32 nFirstRow = nBand / 4;
    UINT32 nEndRow = nBand - nBand / 4;
    int nValue = 0;
    for (UINT32 nCell = 0; nCell < kCellCount; ++nCell)
    {
        // Pixel x belongs to cell x * 24 / width (rounded down), so a cell
        // starts at the first x with x * 24 >= cell * width.
        UINT32 nLeft = static_cast<UINT32>((static_cast<UINT64>(nCell) * nWidth + kCellCount - 1) /
                                           kCellCount);
        UINT32 nRight = static_cast<UINT32>(
            (static_cast<UINT64>(nCell + 1) * nWidth + kCellCount - 1) / kCellCount);
        UINT32 nQuarter = (nRight - nLeft) / 4;
        UINT32 nFirstColumn = nLeft + nQuarter;
        UINT32 nEndColumn = nRight - nQuarter;
        UINT64 nSum = 0;
        UINT32 nCount = 0;
        for (UINT32 y = nFirstRow; y < nEndRow; ++y)
        {
            const BYTE* pRow = pFirst + static_cast<size_t>(y) * cbStride;
            for (UINT32 x = nFirstColumn; x < nEndColumn; ++x)
            {
                nSum += pRow[static_cast<size_t>(x) * cbPixelStep];
                ++nCount;
            }
        }
        if (nCount == 0)
            return -1;
        UINT64 nAverage = nSum / nCount;
        bool bWhite = nAverage > kWhiteAbove;
        if (!bWhite && nAverage >= kBlackBelow)
            return -1;

        if (nCell < 2 || nCell >= kCellCount - 2)
        {
            if (bWhite != CellIsWhite(0, nCell))
                return -1;
        }
        else
        {
            nValue = (nValue << 1) | (bWhite ? 1 : 0);
        }
    }
    return nValue;
}

int ReadWebcamFrameCounterYuy2(const BYTE* pPicture, UINT32 nWidth, UINT32 nHeight, UINT32 cbStride)
{
    return ReadWebcamFrameCounter(pPicture, nWidth, nHeight, 2, cbStride);
}

int ReadWebcamFrameCounterBgr24(const BYTE* pPicture, UINT32 nWidth, UINT32 nHeight,
                                UINT32 cbStride)
{
    if (pPicture == NULL)
        return -1;
    return ReadWebcamFrameCounter(pPicture + 1, nWidth, nHeight, 3, cbStride);
}

HRESULT EncodeWebcamJpeg(const BYTE* pBgr, UINT32 nWidth, UINT32 nHeight, UINT32 cbStride,
                         float fQuality, std::vector<BYTE>* pJpeg)
{
    if (pBgr == NULL || pJpeg == NULL)
        return E_POINTER;
    if (nWidth > kMaxSide || nHeight > kMaxSide)
        return E_INVALIDARG;
    return EncodeBgrToJpeg(pBgr, nWidth, nHeight, cbStride, pJpeg, fQuality);
}

HRESULT DecodeWebcamJpeg(const BYTE* pJpeg, UINT32 cbJpeg, UINT32* pnWidth, UINT32* pnHeight,
                         std::vector<BYTE>* pBgr)
{
    if (pJpeg == NULL || pnWidth == NULL || pnHeight == NULL || pBgr == NULL)
        return E_POINTER;
    std::vector<BYTE> bgra;
    UINT nWidth = 0;
    UINT nHeight = 0;
    HRESULT hr = DecodeJpegToBgra(pJpeg, cbJpeg, &bgra, &nWidth, &nHeight);
    if (FAILED(hr))
        return hr;
    if (nWidth > kMaxSide || nHeight > kMaxSide)
        return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;

    const size_t cPixels = static_cast<size_t>(nWidth) * nHeight;
    pBgr->resize(cPixels * 3);
    for (size_t i = 0; i < cPixels; ++i)
        memcpy(&(*pBgr)[i * 3], &bgra[i * 4], 3);
    *pnWidth = nWidth;
    *pnHeight = nHeight;
    return S_OK;
}

HRESULT EncodeWebcamFrameJpeg(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight,
                              std::vector<BYTE>* pJpeg)
{
    if (pJpeg == NULL)
        return E_POINTER;
    if (!SizeIsDrawable(nWidth, nHeight))
        return E_INVALIDARG;
    UINT32 cbStride = nWidth * 3;
    std::vector<BYTE> picture(static_cast<size_t>(cbStride) * nHeight);
    DrawWebcamFrameBgr24(nFrame, nWidth, nHeight, picture.data(), cbStride);
    return EncodeWebcamJpeg(picture.data(), nWidth, nHeight, cbStride, 0.9f, pJpeg);
}
