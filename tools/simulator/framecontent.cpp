#include "framecontent.h"

#include <algorithm>

#include <stdlib.h>
#include <string.h>

#include "resource.h"
#include "rgbyuy2.h"
#include "scenario.h"
#include "simulatedwebcamframes.h"
#include "pipeline/framerecords.h"

namespace
{
// Points compared with the placeholder, across and down.
const UINT32 kGridColumns = 16;
const UINT32 kGridRows = 9;
// Mean luma difference that scaling and JPEG leave at most.
const UINT32 kPlaceholderTolerance = 24;
}  // namespace

FrameContentChecker::FrameContentChecker() : m_nPlaceholderWidth(0), m_nPlaceholderHeight(0) {}

HRESULT FrameContentChecker::Initialize()
{
    HMODULE hModule = GetModuleHandleW(NULL);
    HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(IDR_PLACEHOLDER_JPEG),
                                    MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL hLoaded = hResource != NULL ? LoadResource(hModule, hResource) : NULL;
    const BYTE* pJpeg = hLoaded != NULL ? static_cast<const BYTE*>(LockResource(hLoaded)) : NULL;
    if (pJpeg == NULL)
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    m_placeholderJpeg.assign(pJpeg, pJpeg + SizeofResource(hModule, hResource));

    std::vector<BYTE> bgr;
    HRESULT hr =
        DecodeWebcamJpeg(m_placeholderJpeg.data(), static_cast<UINT32>(m_placeholderJpeg.size()),
                         &m_nPlaceholderWidth, &m_nPlaceholderHeight, &bgr);
    if (FAILED(hr))
        return hr;
    m_placeholderLuma.resize(static_cast<size_t>(m_nPlaceholderWidth) * m_nPlaceholderHeight);
    for (size_t i = 0; i < m_placeholderLuma.size(); ++i)
    {
        BYTE u = 0;
        BYTE v = 0;
        RgbToYuv(bgr[i * 3 + 2], bgr[i * 3 + 1], bgr[i * 3], &m_placeholderLuma[i], &u, &v);
    }
    return S_OK;
}

FrameContent FrameContentChecker::Classify(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight,
                                           const BYTE* pPicture, size_t cbPicture) const
{
    if (pPicture == NULL)
        return FRAME_CONTENT_MISMATCH;
    if (nFormat == COLOR_FORMAT_MJPG)
    {
        UINT32 nJpegWidth = 0;
        UINT32 nJpegHeight = 0;
        if (!ReadJpegFrameSize(pPicture, cbPicture, &nJpegWidth, &nJpegHeight) ||
            nJpegWidth != nWidth || nJpegHeight != nHeight)
            return FRAME_CONTENT_MISMATCH;
        bool bPlaceholder = cbPicture == m_placeholderJpeg.size() &&
                            memcmp(pPicture, m_placeholderJpeg.data(), cbPicture) == 0;
        return bPlaceholder ? FRAME_CONTENT_PLACEHOLDER : FRAME_CONTENT_WEBCAM;
    }

    size_t cbExpected = ExpectedPictureBytes(nFormat, nWidth, nHeight);
    if (cbExpected == 0 || cbPicture != cbExpected)
        return FRAME_CONTENT_MISMATCH;
    // YUY2: luma every second byte; NV12: the luma plane first. A picture
    // too small for the bar code may still show the bars.
    const UINT32 cbStep = nFormat == COLOR_FORMAT_YUY2 ? 2 : 1;
    if (nWidth >= kWebcamMinWidth && nHeight >= kWebcamMinHeight &&
        ReadWebcamFrameCounter(pPicture, nWidth, nHeight, cbStep, nWidth * cbStep) >= 0)
        return FRAME_CONTENT_WEBCAM;
    if (LooksLikePlaceholder(pPicture, cbStep, nWidth, nHeight))
        return FRAME_CONTENT_PLACEHOLDER;
    // A frame of another aspect ratio than the webcam's shows its centre:
    // the band's outer cells, and with them the number, are cut off (or the
    // whole band, cutting rows); the drifting colour bars remain.
    return ShowsWebcamBars(pPicture, cbStep, nWidth, nHeight) ? FRAME_CONTENT_WEBCAM
                                                              : FRAME_CONTENT_MISMATCH;
}

bool ShowsWebcamBars(const BYTE* pLuma, UINT32 cbLumaStep, UINT32 nWidth, UINT32 nHeight)
{
    // The host captures 1280 x 720 (decoded MJPG) or 640 x 480 (YUY2).
    const UINT32 kSources[][2] = {{1280, 720}, {640, 480}};
    const UINT32 kPoints = 64;
    const UINT32 kPhases = 64;  // the bars drift a sixty-fourth a frame
    const UINT32 yFrame = nHeight * 5 / 8;
    for (const UINT32* pSource : kSources)
    {
        CropRegion crop = {};
        ComputeCentredCrop(pSource[0], pSource[1], nWidth, nHeight, &crop);
        UINT32 ySource =
            crop.nTop + static_cast<UINT32>(static_cast<UINT64>(yFrame) * crop.nHeight / nHeight);
        for (UINT32 nPhase = 0; nPhase < kPhases; ++nPhase)
        {
            UINT32 nClose = 0;
            for (UINT32 i = 0; i < kPoints; ++i)
            {
                UINT32 x = (2 * i + 1) * nWidth / (2 * kPoints);
                UINT32 xSource =
                    crop.nLeft + static_cast<UINT32>(static_cast<UINT64>(x) * crop.nWidth / nWidth);
                // An enlarged point lies between its source pixel and their
                // neighbours: a region of a few columns, all of them on a
                // bar's edge, blends every point.
                int nLow = 255;
                int nHigh = 0;
                for (UINT32 xNear = std::max(xSource, crop.nLeft + 1) - 1;
                     xNear <= std::min(xSource + 1, crop.nLeft + crop.nWidth - 1); ++xNear)
                {
                    BYTE y = 0;
                    BYTE u = 0;
                    BYTE v = 0;
                    GetWebcamPixel(nPhase, pSource[0], pSource[1], xNear, ySource, &y, &u, &v);
                    nLow = std::min(nLow, static_cast<int>(y));
                    nHigh = std::max(nHigh, static_cast<int>(y));
                }
                int nFrame = pLuma[(static_cast<size_t>(yFrame) * nWidth + x) * cbLumaStep];
                const int nTolerance = static_cast<int>(kPlaceholderTolerance);
                if (nFrame >= nLow - nTolerance && nFrame <= nHigh + nTolerance)
                    ++nClose;
            }
            // Points next to a bar's edge may blur.
            if (nClose >= kPoints * 7 / 8)
                return true;
        }
    }
    return false;
}

bool FrameContentChecker::LooksLikePlaceholder(const BYTE* pLuma, UINT32 cbLumaStep, UINT32 nWidth,
                                               UINT32 nHeight) const
{
    if (m_placeholderLuma.empty())
        return false;
    // The host cuts the placeholder's centred region of the frame's aspect
    // ratio, then scales it.
    CropRegion crop = {};
    ComputeCentredCrop(m_nPlaceholderWidth, m_nPlaceholderHeight, nWidth, nHeight, &crop);

    UINT64 nDifference = 0;
    for (UINT32 row = 0; row < kGridRows; ++row)
    {
        for (UINT32 column = 0; column < kGridColumns; ++column)
        {
            UINT32 x = (2 * column + 1) * nWidth / (2 * kGridColumns);
            UINT32 y = (2 * row + 1) * nHeight / (2 * kGridRows);
            UINT32 xSrc =
                crop.nLeft + static_cast<UINT32>(static_cast<UINT64>(x) * crop.nWidth / nWidth);
            UINT32 ySrc =
                crop.nTop + static_cast<UINT32>(static_cast<UINT64>(y) * crop.nHeight / nHeight);
            int nFrame = pLuma[(static_cast<size_t>(y) * nWidth + x) * cbLumaStep];
            int nPlaceholder =
                m_placeholderLuma[static_cast<size_t>(ySrc) * m_nPlaceholderWidth + xSrc];
            nDifference += static_cast<UINT64>(abs(nFrame - nPlaceholder));
        }
    }
    return nDifference <= static_cast<UINT64>(kPlaceholderTolerance) * kGridColumns * kGridRows;
}
