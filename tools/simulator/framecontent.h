#pragma once

#include <windows.h>

#include <vector>

// The check reads an MJPG frame's size and crops a picture as the host does.
#include "image/cropkernel.h"
#include "image/jpegframesize.h"

// What a frame the driver received shows, told from its bytes alone.
enum FrameContent
{
    FRAME_CONTENT_WEBCAM,       // the simulated webcam's bar-coded picture
    FRAME_CONTENT_PLACEHOLDER,  // the placeholder picture
    FRAME_CONTENT_MISMATCH,     // anything else: not what the label says
};

// How many frames of one request showed what.
struct FrameContentCounts
{
    size_t nWebcam;
    size_t nPlaceholder;
    size_t nMismatched;

    void Add(FrameContent eContent)
    {
        if (eContent == FRAME_CONTENT_WEBCAM)
            ++nWebcam;
        else if (eContent == FRAME_CONTENT_PLACEHOLDER)
            ++nPlaceholder;
        else
            ++nMismatched;
    }
};

// Checks every frame against its label (format, width, height): a YUY2 or
// NV12 frame of the label's size must show the webcam's bar code (or, when
// the host cropped the bar code away, its colour bars) or the
// placeholder picture (cropped and scaled as the host does); an MJPG frame
// must be a JPEG of the label's size, and is the placeholder when it is the
// placeholder's bytes. MJPG frames are not decoded, so that checking every
// frame costs little next to the host's own work.
class FrameContentChecker
{
public:
    FrameContentChecker();

    // Reads the placeholder JPEG from this program's resources and decodes
    // it once.
    HRESULT Initialize();

    FrameContent Classify(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight, const BYTE* pPicture,
                          size_t cbPicture) const;
    FrameContent Classify(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight,
                          const std::vector<BYTE>& picture) const
    {
        return Classify(nFormat, nWidth, nHeight, picture.data(), picture.size());
    }

private:
    bool LooksLikePlaceholder(const BYTE* pLuma, UINT32 cbLumaStep, UINT32 nWidth,
                              UINT32 nHeight) const;

    std::vector<BYTE> m_placeholderJpeg;
    std::vector<BYTE> m_placeholderLuma;  // 1280 x 720, one byte a pixel
    UINT32 m_nPlaceholderWidth;
    UINT32 m_nPlaceholderHeight;
};

// Whether a picture shows the webcam's drifting colour bars as the host
// serves them from one of its two capture sizes (1280 x 720, 640 x 480),
// cropped to the picture's aspect ratio and scaled (luma every cbLumaStep
// bytes, rows of nWidth samples).
bool ShowsWebcamBars(const BYTE* pLuma, UINT32 cbLumaStep, UINT32 nWidth, UINT32 nHeight);
