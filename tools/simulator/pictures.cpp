#include "pictures.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>

#include "rgbyuy2.h"
#include "wicjpeg.h"
#include "pipeline/framerecords.h"

using Microsoft::WRL::ComPtr;

namespace
{
// Seven rows of five bits, the leftmost pixel in bit 4.
struct Glyph
{
    char c;
    BYTE rows[7];
};

const Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
    {'|', {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
};

const Glyph* FindGlyph(char c)
{
    char upper = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const Glyph& glyph : kFont)
    {
        if (glyph.c == upper)
            return &glyph;
    }
    return NULL;
}

void PutPixel(BgrPicture* pDst, UINT32 x, UINT32 y, BYTE r, BYTE g, BYTE b)
{
    if (x >= pDst->nWidth || y >= pDst->nHeight)
        return;
    BYTE* p = &pDst->pixels[(static_cast<size_t>(y) * pDst->nWidth + x) * 3];
    p[0] = b;
    p[1] = g;
    p[2] = r;
}
}  // namespace

HRESULT DecodeDriverPicture(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight,
                            const std::vector<BYTE>& picture, BgrPicture* pBgr)
{
    const size_t nPixels = static_cast<size_t>(nWidth) * nHeight;
    pBgr->nWidth = nWidth;
    pBgr->nHeight = nHeight;
    if (nFormat == COLOR_FORMAT_YUY2)
    {
        if (picture.size() != nPixels * 2)
            return E_INVALIDARG;
        pBgr->pixels.resize(nPixels * 3);
        ConvertYuy2ToBgr(picture.data(), nWidth * 2, nWidth, nHeight, pBgr->pixels.data(),
                         nWidth * 3, 3);
        return S_OK;
    }
    if (nFormat == COLOR_FORMAT_NV12)
    {
        if (picture.size() != nPixels * 3 / 2)
            return E_INVALIDARG;
        pBgr->pixels.resize(nPixels * 3);
        const BYTE* pY = picture.data();
        const BYTE* pUv = pY + nPixels;
        for (UINT32 y = 0; y < nHeight; ++y)
        {
            for (UINT32 x = 0; x < nWidth; ++x)
            {
                const BYTE* pChroma = pUv + static_cast<size_t>(y / 2) * nWidth + (x & ~1u);
                BYTE* p = &pBgr->pixels[(static_cast<size_t>(y) * nWidth + x) * 3];
                YuvToRgb(pY[static_cast<size_t>(y) * nWidth + x], pChroma[0], pChroma[1], &p[2],
                         &p[1], &p[0]);
            }
        }
        return S_OK;
    }
    if (nFormat == COLOR_FORMAT_MJPG)
    {
        std::vector<BYTE> bgra;
        UINT nDecodedWidth = 0;
        UINT nDecodedHeight = 0;
        HRESULT hr = DecodeJpegToBgra(picture.data(), picture.size(), &bgra, &nDecodedWidth,
                                      &nDecodedHeight);
        if (SUCCEEDED(hr) && (nDecodedWidth != nWidth || nDecodedHeight != nHeight))
            hr = E_INVALIDARG;
        if (SUCCEEDED(hr))
        {
            pBgr->pixels.resize(nPixels * 3);
            for (size_t i = 0; i < nPixels; ++i)
            {
                pBgr->pixels[i * 3] = bgra[i * 4];
                pBgr->pixels[i * 3 + 1] = bgra[i * 4 + 1];
                pBgr->pixels[i * 3 + 2] = bgra[i * 4 + 2];
            }
        }
        return hr;
    }
    return E_INVALIDARG;
}

HRESULT WritePng(const std::wstring& path, const BgrPicture& picture)
{
    ComPtr<IWICImagingFactory> pFactory;
    ComPtr<IWICStream> pStream;
    ComPtr<IWICBitmapEncoder> pEncoder;
    ComPtr<IWICBitmapFrameEncode> pFrame;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&pFactory));
    if (SUCCEEDED(hr))
        hr = pFactory->CreateStream(&pStream);
    if (SUCCEEDED(hr))
        hr = pStream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = pFactory->CreateEncoder(GUID_ContainerFormatPng, NULL, &pEncoder);
    if (SUCCEEDED(hr))
        hr = pEncoder->Initialize(pStream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = pEncoder->CreateNewFrame(&pFrame, NULL);
    if (SUCCEEDED(hr))
        hr = pFrame->Initialize(NULL);
    if (SUCCEEDED(hr))
        hr = pFrame->SetSize(picture.nWidth, picture.nHeight);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = pFrame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR)
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr))
        hr = pFrame->WritePixels(picture.nHeight, picture.nWidth * 3,
                                 static_cast<UINT>(picture.pixels.size()),
                                 const_cast<BYTE*>(picture.pixels.data()));
    if (SUCCEEDED(hr))
        hr = pFrame->Commit();
    if (SUCCEEDED(hr))
        hr = pEncoder->Commit();
    return hr;
}

void DrawScaled(const BgrPicture& src, BgrPicture* pDst, UINT32 x, UINT32 y, UINT32 nBoxWidth,
                UINT32 nBoxHeight)
{
    if (src.nWidth == 0 || src.nHeight == 0)
        return;
    // The largest size of the source's shape that fits, centred.
    UINT32 nWidth = nBoxWidth;
    UINT32 nHeight = static_cast<UINT32>(static_cast<UINT64>(nBoxWidth) * src.nHeight / src.nWidth);
    if (nHeight > nBoxHeight)
    {
        nHeight = nBoxHeight;
        nWidth = static_cast<UINT32>(static_cast<UINT64>(nBoxHeight) * src.nWidth / src.nHeight);
    }
    UINT32 x0 = x + (nBoxWidth - nWidth) / 2;
    UINT32 y0 = y + (nBoxHeight - nHeight) / 2;
    for (UINT32 j = 0; j < nHeight; ++j)
    {
        UINT32 sy = static_cast<UINT32>(static_cast<UINT64>(j) * src.nHeight / nHeight);
        for (UINT32 i = 0; i < nWidth; ++i)
        {
            UINT32 sx = static_cast<UINT32>(static_cast<UINT64>(i) * src.nWidth / nWidth);
            const BYTE* p = &src.pixels[(static_cast<size_t>(sy) * src.nWidth + sx) * 3];
            PutPixel(pDst, x0 + i, y0 + j, p[2], p[1], p[0]);
        }
    }
}

void DrawText(BgrPicture* pDst, UINT32 x, UINT32 y, const std::string& text, UINT32 nScale, BYTE r,
              BYTE g, BYTE b)
{
    for (size_t n = 0; n < text.size(); ++n)
    {
        const Glyph* pGlyph = FindGlyph(text[n]);
        UINT32 x0 = x + static_cast<UINT32>(n) * 6 * nScale;
        if (pGlyph == NULL)
            continue;
        for (UINT32 row = 0; row < 7; ++row)
        {
            for (UINT32 col = 0; col < 5; ++col)
            {
                if ((pGlyph->rows[row] & (0x10 >> col)) == 0)
                    continue;
                FillRect(pDst, x0 + col * nScale, y + row * nScale, nScale, nScale, r, g, b);
            }
        }
    }
}

void FillRect(BgrPicture* pDst, UINT32 x, UINT32 y, UINT32 nWidth, UINT32 nHeight, BYTE r, BYTE g,
              BYTE b)
{
    for (UINT32 j = 0; j < nHeight; ++j)
    {
        for (UINT32 i = 0; i < nWidth; ++i)
            PutPixel(pDst, x + i, y + j, r, g, b);
    }
}
