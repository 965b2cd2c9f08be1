#include "image/framescaler.h"

#include "diagnostics/debuglog.h"
#include "image/builtinimagescaler.h"
#include "image/cropkernel.h"
#include "image/imagehresult.h"

FrameScaler::FrameScaler() {}

FrameScaler::~FrameScaler() {}

namespace
{
// The pixel formats FrameScaler takes.
struct FormatEntry
{
    UINT32 nFormat;
    UINT32 nBytesPerPixel;
    UINT32 nScalerFormat;
};

const FormatEntry kFormats[] = {
    {FrameScaler::kFormatYuy2, 2, IMAGE_SCALER_FORMAT_YUY2},
    {FrameScaler::kFormat32Bpp, 4, IMAGE_SCALER_FORMAT_32BPP},
};

const FormatEntry* FindFormat(UINT32 nFormat)
{
    for (const FormatEntry& entry : kFormats)
    {
        if (entry.nFormat == nFormat)
            return &entry;
    }
    return NULL;
}
}  // namespace

HRESULT FrameScaler::GetBytesPerPixel(UINT32 nFormat, UINT32* pnBytesPerPixel)
{
    const FormatEntry* pEntry = FindFormat(nFormat);
    if (pEntry == NULL)
        return E_INVALIDARG;
    *pnBytesPerPixel = pEntry->nBytesPerPixel;
    return S_OK;
}

HRESULT FrameScaler::GetScalerFormat(UINT32 nFormat, UINT32* pnScalerFormat)
{
    const FormatEntry* pEntry = FindFormat(nFormat);
    if (pEntry == NULL)
        return E_INVALIDARG;
    *pnScalerFormat = pEntry->nScalerFormat;
    return S_OK;
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
    Microsoft::WRL::ComPtr<IImageScaler> pScaler;
    HRESULT hrCreate =
        CoCreateInstance(CLSID_ImageScaler, NULL, CLSCTX_INPROC_SERVER, IID_IImageScaler,
                         reinterpret_cast<void**>(pScaler.ReleaseAndGetAddressOf()));
    HRESULT hr = hrCreate;
    // No component of the class here, no COM on this thread (the delivery
    // thread never initialises it), or a component that cannot be made: the
    // built-in one serves, once and for all, rather than a creation tried
    // again on every frame.
    const bool bBuiltIn = FAILED(hrCreate);
    if (bBuiltIn)
        hr = BuiltInImageScaler::CreateInstance(&pScaler);
    if (FAILED(hr))
        return hr;
    LogPrint("FrameScaler: %s image scaler (CoCreateInstance 0x%08X)\n",
             bBuiltIn ? "built-in" : "registered", hrCreate);

    hr = pScaler->SetFilter(IMAGE_SCALER_FILTER_AUTOMATIC);  // setting A = 0
    if (SUCCEEDED(hr))
        hr = pScaler->SetAcceleration(IMAGE_SCALER_ACCELERATION_FASTEST);  // setting B = 1
    // Swapped, not attached: mingw's ComPtr::Attach adds a reference of its
    // own, and the scaler would outlive its pipeline.
    if (SUCCEEDED(hr))
        m_pScaler.Swap(pScaler);
    return hr;
}

HRESULT FrameScaler::Scale(UINT32 nInFormat, const BYTE* pSrc, UINT32 nInWidth, UINT32 nInHeight,
                           UINT32 nOutFormat, BYTE* pDst, UINT32 nOutWidth, UINT32 nOutHeight)
{
    if (pSrc == NULL || pDst == NULL)
        return E_INVALIDARG;

    const FormatEntry* pIn = FindFormat(nInFormat);
    const FormatEntry* pOut = FindFormat(nOutFormat);
    if (pIn == NULL || pOut == NULL)
        return E_INVALIDARG;

    // Strides: bytes a pixel times width, refused when they overflow.
    const UINT64 nInStride = static_cast<UINT64>(pIn->nBytesPerPixel) * nInWidth;
    const UINT64 nOutStride = static_cast<UINT64>(pOut->nBytesPerPixel) * nOutWidth;
    if (nInStride > 0xFFFFFFFFull || nOutStride > 0xFFFFFFFFull)
        return E_INVALIDARG;

    HRESULT hr = S_OK;
    if (!m_pScaler)
    {
        hr = CreateScaler();
        if (FAILED(hr))
            return hr;
    }
    if (!m_pScaler)
        return E_UNEXPECTED;

    hr = m_pScaler->Configure(pIn->nScalerFormat, nInWidth, nInHeight,
                              static_cast<UINT32>(nInStride), IMAGE_SCALER_LAYOUT_TOP_DOWN,
                              pOut->nScalerFormat, nOutWidth, nOutHeight,
                              static_cast<UINT32>(nOutStride), IMAGE_SCALER_LAYOUT_TOP_DOWN);
    if (FAILED(hr))
        return hr;
    return m_pScaler->Process(pSrc, pDst);
}
