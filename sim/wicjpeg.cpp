#include "wicjpeg.h"

#include <objbase.h>
#include <ocidl.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <string.h>

#include "rgbyuy2.h"

using Microsoft::WRL::ComPtr;

namespace
{
// COM for the duration of one call, unless the thread already has it (in
// either apartment).
class ScopedComInit
{
public:
    ScopedComInit() : m_bInitialized(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))) {}
    ~ScopedComInit()
    {
        if (m_bInitialized)
            CoUninitialize();
    }

private:
    ScopedComInit(const ScopedComInit&);
    ScopedComInit& operator=(const ScopedComInit&);

    bool m_bInitialized;
};

HRESULT CreateFactory(ComPtr<IWICImagingFactory>* ppFactory)
{
    return CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER,
                            IID_IWICImagingFactory,
                            reinterpret_cast<void**>(ppFactory->ReleaseAndGetAddressOf()));
}

HRESULT SetQuality(IPropertyBag2* pOptions, float fQuality)
{
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT varValue;
    VariantInit(&varValue);
    varValue.vt = VT_R4;
    varValue.fltVal = fQuality;
    return pOptions->Write(1, &option, &varValue);
}

HRESULT ReadStream(IStream* pStream, std::vector<BYTE>* pBytes)
{
    LARGE_INTEGER liZero = {};
    ULARGE_INTEGER uliSize = {};
    HRESULT hr = pStream->Seek(liZero, STREAM_SEEK_END, &uliSize);
    if (SUCCEEDED(hr) && uliSize.QuadPart > 0x7FFFFFFF)
        hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = pStream->Seek(liZero, STREAM_SEEK_SET, NULL);
    if (SUCCEEDED(hr))
    {
        pBytes->resize(static_cast<size_t>(uliSize.QuadPart));
        ULONG cbRead = 0;
        hr = pBytes->empty()
                 ? S_OK
                 : pStream->Read(pBytes->data(), static_cast<ULONG>(pBytes->size()), &cbRead);
        if (SUCCEEDED(hr) && cbRead != pBytes->size())
            hr = E_FAIL;
    }
    return hr;
}

// Encodes rows of 24bpp BGR.
HRESULT EncodeBgr(const BYTE* pBgr, UINT nWidth, UINT nHeight, UINT nStride,
                  std::vector<BYTE>* pJpeg, float fQuality)
{
    ScopedComInit com;
    ComPtr<IWICImagingFactory> pFactory;
    ComPtr<IStream> pStream;
    ComPtr<IWICBitmapEncoder> pEncoder;
    ComPtr<IWICBitmapFrameEncode> pFrame;
    ComPtr<IPropertyBag2> pOptions;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;

    HRESULT hr = CreateFactory(&pFactory);
    if (SUCCEEDED(hr))
        hr = CreateStreamOnHGlobal(NULL, TRUE, &pStream);
    if (SUCCEEDED(hr))
        hr = pFactory->CreateEncoder(GUID_ContainerFormatJpeg, NULL, &pEncoder);
    if (SUCCEEDED(hr))
        hr = pEncoder->Initialize(pStream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = pEncoder->CreateNewFrame(&pFrame, &pOptions);
    if (SUCCEEDED(hr) && pOptions != NULL)
        hr = SetQuality(pOptions.Get(), fQuality);
    if (SUCCEEDED(hr))
        hr = pFrame->Initialize(pOptions.Get());
    if (SUCCEEDED(hr))
        hr = pFrame->SetSize(nWidth, nHeight);
    if (SUCCEEDED(hr))
        hr = pFrame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR)
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr))
        hr = pFrame->WritePixels(nHeight, nStride, nStride * nHeight, const_cast<BYTE*>(pBgr));
    if (SUCCEEDED(hr))
        hr = pFrame->Commit();
    if (SUCCEEDED(hr))
        hr = pEncoder->Commit();
    if (SUCCEEDED(hr))
        hr = ReadStream(pStream.Get(), pJpeg);
    return hr;
}

// The arguments every encoder takes: the picture and the output, and a size
// whose rows fit the stride and whose bytes fit the encoder's 32-bit count.
HRESULT CheckPicture(const BYTE* pPicture, const std::vector<BYTE>* pJpeg, UINT nWidth,
                     UINT nHeight, UINT nStride, UINT nBytesPerPixel)
{
    if (pPicture == NULL || pJpeg == NULL)
        return E_POINTER;
    if (nWidth == 0 || nHeight == 0)
        return E_INVALIDARG;
    UINT64 cbRow = static_cast<UINT64>(nWidth) * nBytesPerPixel;
    if (nStride < cbRow || static_cast<UINT64>(nStride) * nHeight > 0x7FFFFFFF)
        return E_INVALIDARG;
    return S_OK;
}
}  // namespace

HRESULT EncodeBgrToJpeg(const BYTE* pBgr, UINT nWidth, UINT nHeight, UINT nStride,
                        std::vector<BYTE>* pJpeg, float fQuality)
{
    HRESULT hr = CheckPicture(pBgr, pJpeg, nWidth, nHeight, nStride, 3);
    if (SUCCEEDED(hr))
        hr = EncodeBgr(pBgr, nWidth, nHeight, nStride, pJpeg, fQuality);
    return hr;
}

HRESULT EncodeBgraToJpeg(const BYTE* pBgra, UINT nWidth, UINT nHeight, UINT nStride,
                         std::vector<BYTE>* pJpeg, float fQuality)
{
    HRESULT hr = CheckPicture(pBgra, pJpeg, nWidth, nHeight, nStride, 4);
    if (FAILED(hr))
        return hr;

    UINT nBgrStride = (nWidth * 3 + 3) & ~3u;
    std::vector<BYTE> bgr(static_cast<size_t>(nBgrStride) * nHeight);
    for (UINT y = 0; y < nHeight; ++y)
    {
        const BYTE* pIn = pBgra + static_cast<size_t>(y) * nStride;
        BYTE* pOut = bgr.data() + static_cast<size_t>(y) * nBgrStride;
        for (UINT x = 0; x < nWidth; ++x, pIn += 4, pOut += 3)
            memcpy(pOut, pIn, 3);
    }
    return EncodeBgr(bgr.data(), nWidth, nHeight, nBgrStride, pJpeg, fQuality);
}

HRESULT EncodeYuy2ToJpeg(const BYTE* pYuy2, UINT nWidth, UINT nHeight, UINT nStride,
                         std::vector<BYTE>* pJpeg, float fQuality)
{
    HRESULT hr = CheckPicture(pYuy2, pJpeg, nWidth + (nWidth & 1), nHeight, nStride, 2);
    if (FAILED(hr))
        return hr;

    UINT nBgrStride = (nWidth * 3 + 3) & ~3u;
    std::vector<BYTE> bgr(static_cast<size_t>(nBgrStride) * nHeight);
    ConvertYuy2ToBgr(pYuy2, nStride, nWidth, nHeight, bgr.data(), nBgrStride, 3);
    return EncodeBgr(bgr.data(), nWidth, nHeight, nBgrStride, pJpeg, fQuality);
}

HRESULT DecodeJpegToBgra(const BYTE* pJpeg, size_t cbJpeg, std::vector<BYTE>* pBgra, UINT* pnWidth,
                         UINT* pnHeight)
{
    if (pJpeg == NULL || pBgra == NULL || pnWidth == NULL || pnHeight == NULL)
        return E_POINTER;
    if (cbJpeg == 0 || cbJpeg > 0x7FFFFFFF)
        return E_INVALIDARG;

    ScopedComInit com;
    ComPtr<IWICImagingFactory> pFactory;
    ComPtr<IWICStream> pStream;
    ComPtr<IWICBitmapDecoder> pDecoder;
    ComPtr<IWICBitmapFrameDecode> pFrame;
    ComPtr<IWICFormatConverter> pConverter;
    UINT nWidth = 0;
    UINT nHeight = 0;

    HRESULT hr = CreateFactory(&pFactory);
    if (SUCCEEDED(hr))
        hr = pFactory->CreateStream(&pStream);
    if (SUCCEEDED(hr))
        hr = pStream->InitializeFromMemory(const_cast<BYTE*>(pJpeg), static_cast<DWORD>(cbJpeg));
    if (SUCCEEDED(hr))
        hr = pFactory->CreateDecoder(GUID_ContainerFormatJpeg, NULL, &pDecoder);
    if (SUCCEEDED(hr))
        hr = pDecoder->Initialize(pStream.Get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr))
        hr = pDecoder->GetFrame(0, &pFrame);
    if (SUCCEEDED(hr))
        hr = pFrame->GetSize(&nWidth, &nHeight);
    if (SUCCEEDED(hr) &&
        (nWidth == 0 || nHeight == 0 || static_cast<UINT64>(nWidth) * 4 * nHeight > 0x7FFFFFFF))
        hr = WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
    if (SUCCEEDED(hr))
        hr = pFactory->CreateFormatConverter(&pConverter);
    if (SUCCEEDED(hr))
        hr = pConverter->Initialize(pFrame.Get(), GUID_WICPixelFormat32bppBGRA,
                                    WICBitmapDitherTypeNone, NULL, 0.0, WICBitmapPaletteTypeCustom);
    if (SUCCEEDED(hr))
    {
        pBgra->resize(static_cast<size_t>(nWidth) * 4 * nHeight);
        hr = pConverter->CopyPixels(NULL, nWidth * 4, static_cast<UINT>(pBgra->size()),
                                    pBgra->data());
    }
    if (SUCCEEDED(hr))
    {
        *pnWidth = nWidth;
        *pnHeight = nHeight;
    }
    return hr;
}
