#include <windows.h>
#include <mmsystem.h>
#include <stdlib.h>

#include "diagnostics/debuglog.h"
#include "image/cropkernel.h"
#include "pipeline/framecontrolmanager.h"

HRESULT FrameControlManager::ResizeFrame(const BYTE* pSrc, UINT32 nSrcWidth, UINT32 nSrcHeight,
                                         BYTE* pDst, UINT32 nDstWidth, UINT32 nDstHeight)
{
    LogPrint("ResizeFrame: (%d x %d) => (%d x %d)\n", nSrcWidth, nSrcHeight, nDstWidth, nDstHeight);
    if (!m_pFrameScaler)
        return E_UNEXPECTED;

    timeBeginPeriod(1);
    DWORD dwStart = timeGetTime();

    HRESULT hr = S_OK;
    const BYTE* pSource = pSrc;
    UINT32 nWidth = nSrcWidth, nHeight = nSrcHeight;
    BYTE* pCrop = NULL;
    CropRegion region;
    if (ComputeCentredCrop(nSrcWidth, nSrcHeight, nDstWidth, nDstHeight, &region))
    {
        UINT32 cbCrop = 0;
        // An empty region (extreme ratios) has nothing to scale; a size that
        // overflows is refused rather than wrapped into a short buffer.
        if (region.nWidth == 0 || region.nHeight == 0 ||
            !GetYuy2FrameSize(region.nWidth, region.nHeight, &cbCrop))
            hr = E_INVALIDARG;
        if (SUCCEEDED(hr))
        {
            pCrop = static_cast<BYTE*>(malloc(cbCrop));
            hr = pCrop != NULL ? S_OK : E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr))
        {
            hr = m_pFrameScaler->Crop(COLOR_FORMAT_YUY2, pSrc, nSrcWidth, nSrcHeight, region.nLeft,
                                      region.nTop, pCrop, region.nWidth, region.nHeight);
        }
        if (SUCCEEDED(hr))
        {
            pSource = pCrop;
            nWidth = region.nWidth;
            nHeight = region.nHeight;
        }
    }
    // A picture already of the destination size is scaled 1:1 all the same.
    if (SUCCEEDED(hr))
    {
        hr = m_pFrameScaler->Scale(COLOR_FORMAT_YUY2, pSource, nWidth, nHeight, COLOR_FORMAT_YUY2,
                                   pDst, nDstWidth, nDstHeight);
    }
    free(pCrop);

    DWORD dwElapsed = timeGetTime() - dwStart;
    timeEndPeriod(1);
    LogPrint("ResizeFrame end: hr = 0x%08x (%d ms)\n", hr, dwElapsed);
    return hr;
}
