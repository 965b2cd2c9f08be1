#pragma once

#include <windows.h>
#include <wrl/client.h>

#include "image/imagescaler.h"

// The frame pipeline's scaler: cuts regions out of packed pictures and has
// the image-scaling component scale them. Owns the component, created by the
// first Scale and released with the FrameScaler. No lock: one thread uses it.
class FrameScaler
{
public:
    // Pixel formats FrameScaler takes (the pipeline's colour-format numbers).
    static const UINT32 kFormatYuy2 = 2;   // two bytes a pixel
    static const UINT32 kFormat32Bpp = 1;  // four bytes a pixel

    FrameScaler();
    ~FrameScaler();

    // Copies the nCropWidth x nCropHeight region at (nLeft, nTop) of a packed
    // picture (no row padding) into a packed picture of the region's size:
    // one block copy for a full-width region, row by row otherwise.
    // E_INVALIDARG, nothing copied: null pointer, a region reaching past the
    // source, unknown format, sizes beyond the address space.
    HRESULT Crop(UINT32 nFormat, const BYTE* pSrc, UINT32 nSrcWidth, UINT32 nSrcHeight,
                 UINT32 nLeft, UINT32 nTop, BYTE* pDst, UINT32 nCropWidth, UINT32 nCropHeight);

    // Scales a packed picture into a packed picture of the output size with
    // the component, configured anew for every call. E_INVALIDARG: null
    // pointer, unknown format, a row longer than 32 bits of bytes; the
    // built-in component's failing creation; Configure's or Process's.
    HRESULT Scale(UINT32 nInFormat, const BYTE* pSrc, UINT32 nInWidth, UINT32 nInHeight,
                  UINT32 nOutFormat, BYTE* pDst, UINT32 nOutWidth, UINT32 nOutHeight);

    // Bytes a pixel of a format: 2 -> 2, 1 -> 4; otherwise E_INVALIDARG.
    static HRESULT GetBytesPerPixel(UINT32 nFormat, UINT32* pnBytesPerPixel);
    // The component's format code of a format: 2 -> 1 (YUY2), 1 -> 2 (32 bits
    // a pixel); otherwise E_INVALIDARG.
    static HRESULT GetScalerFormat(UINT32 nFormat, UINT32* pnScalerFormat);

private:
    FrameScaler(const FrameScaler&);
    FrameScaler& operator=(const FrameScaler&);

    // The registered component of CLSID_ImageScaler if it can be made on
    // this thread, else the built-in one; then the two one-time settings.
    HRESULT CreateScaler();

    Microsoft::WRL::ComPtr<IImageScaler> m_pScaler;
};
