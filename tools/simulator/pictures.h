#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A picture of 24-bit BGR rows, nWidth * 3 bytes each, top row first.
struct BgrPicture
{
    UINT32 nWidth;
    UINT32 nHeight;
    std::vector<BYTE> pixels;
};

// A frame the driver received (YUY2, NV12 or MJPG) as BGR. Fails when the
// bytes do not make a picture of that format and size.
HRESULT DecodeDriverPicture(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight,
                            const std::vector<BYTE>& picture, BgrPicture* pBgr);

// Writes a PNG through the Windows Imaging Component; COM must be initialised.
HRESULT WritePng(const std::wstring& path, const BgrPicture& picture);

// Nearest-neighbour copy of src into a box of dst, keeping the aspect ratio.
void DrawScaled(const BgrPicture& src, BgrPicture* pDst, UINT32 x, UINT32 y, UINT32 nBoxWidth,
                UINT32 nBoxHeight);
// Text in a 5 x 7 pixel font, each font pixel nScale pixels wide; letters are
// drawn in capitals, characters without a glyph as a blank.
void DrawText(BgrPicture* pDst, UINT32 x, UINT32 y, const std::string& text, UINT32 nScale, BYTE r,
              BYTE g, BYTE b);
void FillRect(BgrPicture* pDst, UINT32 x, UINT32 y, UINT32 nWidth, UINT32 nHeight, BYTE r, BYTE g,
              BYTE b);
