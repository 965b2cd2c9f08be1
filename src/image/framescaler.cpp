#include "image/framescaler.h"

#include "diagnostics/debuglog.h"
#include "image/builtinimagescaler.h"
#include "image/cropkernel.h"
#include "image/imagehresult.h"

FrameScaler::FrameScaler()
{
}

FrameScaler::~FrameScaler()
{
}

HRESULT FrameScaler::GetBytesPerPixel(UINT32 nFormat, UINT32* pnBytesPerPixel)
{
    switch (nFormat)
    {
    case kFormatYuy2:
        *pnBytesPerPixel = 2;
        return S_OK;
    case kFormat32Bpp:
        *pnBytesPerPixel = 4;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT FrameScaler::GetScalerFormat(UINT32 nFormat, UINT32* pnScalerFormat)
{
    switch (nFormat)
    {
    case kFormatYuy2:
        *pnScalerFormat = IMAGE_SCALER_FORMAT_YUY2;
        return S_OK;
    case kFormat32Bpp:
        *pnScalerFormat = IMAGE_SCALER_FORMAT_32BPP;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT FrameScaler::Crop(UINT32 nFormat, const BYTE* pSrc, UINT32 nSrcWidth, UINT32 nSrcHeight,
                          UINT32 nLeft, UINT32 nTop, BYTE* pDst, UINT32 nCropWidth,
                          UINT32 nCropHeight)
{
    UINT32 nBytesPerPixel = 0;
    HRESULT hr = GetBytesPerPixel(nFormat, &nBytesPerPixel);
    if (SUCCEEDED(hr))
    {
        // Null pointers and regions reaching past the source are refused
        // before anything is copied.
        hr = HResultFromImageStatus(CopyRegion(pSrc, nSrcWidth, nSrcHeight, nBytesPerPixel, nLeft,
                                               nTop, pDst, nCropWidth, nCropHeight));
    }
    return hr;
}

HRESULT FrameScaler::CreateScaler()
{
    IImageScaler* pScaler = NULL;
    HRESULT hrCreate = CoCreateInstance(CLSID_ImageScaler, NULL, CLSCTX_INPROC_SERVER,
                                        IID_IImageScaler, reinterpret_cast<void**>(&pScaler));
    HRESULT hr = hrCreate;
    // No component of the class here, or no COM on this thread (the
    // delivery thread never initialises it): the built-in one serves.
    const bool bBuiltIn = hrCreate == REGDB_E_CLASSNOTREG || hrCreate == CO_E_NOTINITIALIZED;
    if (bBuiltIn)
        hr = BuiltInImageScaler::CreateInstance(&pScaler);
    if (FAILED(hr))
        return hr;
    LogPrint("FrameScaler: %s image scaler (CoCreateInstance 0x%08X)\n",
             bBuiltIn ? "built-in" : "registered", hrCreate);

    hr = pScaler->SetFilter(IMAGE_SCALER_FILTER_AUTOMATIC);  // setting A = 0
    if (SUCCEEDED(hr))
        hr = pScaler->SetAcceleration(IMAGE_SCALER_ACCELERATION_FASTEST);  // setting B = 1
    if (SUCCEEDED(hr))
        m_pScaler.Attach(pScaler);
    else
        pScaler->Release();
    return hr;
}

HRESULT FrameScaler::Scale(UINT32 nInFormat, const BYTE* pSrc, UINT32 nInWidth, UINT32 nInHeight,
                           UINT32 nOutFormat, BYTE* pDst, UINT32 nOutWidth, UINT32 nOutHeight)
{
    if (pSrc == NULL || pDst == NULL)
        return E_INVALIDARG;

    UINT32 nInCode = 0, nOutCode = 0, nInBytes = 0, nOutBytes = 0;
    HRESULT hr = GetScalerFormat(nInFormat, &nInCode);
    if (SUCCEEDED(hr))
        hr = GetScalerFormat(nOutFormat, &nOutCode);
    if (SUCCEEDED(hr))
        hr = GetBytesPerPixel(nInFormat, &nInBytes);
    if (SUCCEEDED(hr))
        hr = GetBytesPerPixel(nOutFormat, &nOutBytes);
    if (FAILED(hr))
        return hr;

    // Strides: bytes a pixel times width, refused when they overflow.
    const UINT64 nInStride = static_cast<UINT64>(nInBytes) * nInWidth;
    const UINT64 nOutStride = static_cast<UINT64>(nOutBytes) * nOutWidth;
    if (nInStride > 0xFFFFFFFFull || nOutStride > 0xFFFFFFFFull)
        return E_INVALIDARG;

    if (!m_pScaler)
    {
        hr = CreateScaler();
        if (FAILED(hr))
            return hr;
    }
    if (!m_pScaler)
        return E_UNEXPECTED;

    hr = m_pScaler->Configure(nInCode, nInWidth, nInHeight, static_cast<UINT32>(nInStride),
                              IMAGE_SCALER_LAYOUT_TOP_DOWN, nOutCode, nOutWidth, nOutHeight,
                              static_cast<UINT32>(nOutStride), IMAGE_SCALER_LAYOUT_TOP_DOWN);
    if (FAILED(hr))
        return hr;
    return m_pScaler->Process(pSrc, pDst);
}
