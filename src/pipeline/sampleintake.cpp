#include <mfapi.h>

#include "diagnostics/debuglog.h"
#include "image/jpegframesize.h"
#include "image/nv12toyuy2kernel.h"
#include "pipeline/framecontrolmanager.h"

using Microsoft::WRL::ComPtr;

namespace
{
// Failed decodes in a row before the decoder is flushed; one more failure
// after the flush and it is created again.
const UINT32 kFailedDecodesBeforeFlush = 3;

// The size the JPEG header of a sample's first buffer gives; false when it
// cannot be read.
bool ReadSampleJpegSize(IMFSample* pSample, UINT32* pnWidth, UINT32* pnHeight)
{
    ComPtr<IMFMediaBuffer> pBuffer;
    BYTE* pData = NULL;
    DWORD cbData = 0;
    if (FAILED(pSample->GetBufferByIndex(0, &pBuffer)) ||
        FAILED(pBuffer->Lock(&pData, NULL, &cbData)))
        return false;
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    bool bRead = ReadJpegFrameSize(pData, cbData, &nWidth, &nHeight);
    pBuffer->Unlock();
    *pnWidth = nWidth;
    *pnHeight = nHeight;
    return bRead;
}

// A new sample holding the NV12 picture of a decoder's output as YUY2.
HRESULT Nv12SampleToYuy2(IMFSample* pNv12, UINT32 nWidth, UINT32 nHeight, ComPtr<IMFSample>* ppYuy2)
{
    UINT32 cbYuy2 = 0;
    UINT32 cbNv12 = 0;
    if (!GetYuy2FrameSize(nWidth, nHeight, &cbYuy2) || !GetNv12FrameSize(nWidth, nHeight, &cbNv12))
        return E_INVALIDARG;
    ComPtr<IMFMediaBuffer> pIn;
    BYTE* pInData = NULL;
    DWORD cbIn = 0;
    HRESULT hr = pNv12->GetBufferByIndex(0, &pIn);
    if (SUCCEEDED(hr))
        hr = pIn->Lock(&pInData, NULL, &cbIn);
    if (FAILED(hr))
        return hr;
    ComPtr<IMFMediaBuffer> pOut;
    BYTE* pOutData = NULL;
    if (cbIn < cbNv12)
        hr = E_INVALIDARG;  // a short picture is no picture of that size
    if (SUCCEEDED(hr))
        hr = MjpegDecoder::CreateSampleWithBuffer(ppYuy2->ReleaseAndGetAddressOf(), cbYuy2);
    if (SUCCEEDED(hr))
        hr = (*ppYuy2)->GetBufferByIndex(0, &pOut);
    if (SUCCEEDED(hr))
        hr = pOut->Lock(&pOutData, NULL, NULL);
    if (SUCCEEDED(hr))
    {
        if (ConvertNv12ToYuy2Kernel(pInData, nWidth, nHeight, nWidth, pOutData, nWidth * 2) !=
            ImageStatus::Ok)
            hr = E_INVALIDARG;
        pOut->Unlock();
    }
    if (SUCCEEDED(hr))
        hr = pOut->SetCurrentLength(cbYuy2);
    pIn->Unlock();
    return hr;
}
}  // namespace

HRESULT FrameControlManager::DeliverSample(IMFSample* pSample)
{
    if (pSample == NULL)
        return E_POINTER;

    // Every reader of the picture takes the sample's first buffer: a sample
    // of several is made one (the platform replaces its buffer list).
    DWORD nBuffers = 0;
    if (SUCCEEDED(pSample->GetBufferCount(&nBuffers)) && nBuffers > 1)
    {
        ComPtr<IMFMediaBuffer> pContiguous;
        HRESULT hrJoin = pSample->ConvertToContiguousBuffer(&pContiguous);
        if (FAILED(hrJoin))
        {
            LogPrint(
                "DeliverSample: a sample of %d buffers could not be joined (0x%08X); "
                "dropped\n",
                nBuffers, hrJoin);
            return hrJoin;
        }
    }

    // An MJPG picture of another size than negotiated is never sent under
    // the negotiated label.
    UINT32 nJpegWidth = 0;
    UINT32 nJpegHeight = 0;
    if (!m_bInputIsYuy2 && ReadSampleJpegSize(pSample, &nJpegWidth, &nJpegHeight) &&
        (nJpegWidth != m_nInputWidth || nJpegHeight != m_nInputHeight))
    {
        if (m_nOtherSizeDrops++ == 0)
            LogPrint("DeliverSample: MJPG frame of %d x %d, not the negotiated %d x %d; dropped\n",
                     nJpegWidth, nJpegHeight, m_nInputWidth, m_nInputHeight);
        return S_OK;
    }
    if (m_nOtherSizeDrops != 0)
    {
        LogPrint("DeliverSample: %d MJPG frames of another size dropped\n", m_nOtherSizeDrops);
        m_nOtherSizeDrops = 0;
    }

    _COLOR_FORMAT eFormat = m_bInputIsYuy2 ? COLOR_FORMAT_YUY2 : COLOR_FORMAT_MJPG;
    HRESULT hr = InsertFrame(FRAME_UNIT(eFormat, m_nInputWidth, m_nInputHeight, pSample));
    if (m_bInputIsYuy2)
        return hr;

    // One decode serves every YUY2 and NV12 request.
    if (GetOutputFormatCount(COLOR_FORMAT_YUY2) > 0 || GetOutputFormatCount(COLOR_FORMAT_NV12) > 0)
        DecodeIntoQueue(pSample);
    return hr;
}

void FrameControlManager::DecodeIntoQueue(IMFSample* pSample)
{
    ComPtr<IMFSample> pDecoded;
    HRESULT hrDecode = m_decoder.DecodeMjpegSample(pSample, &pDecoded);
    NoteDecodeResult(hrDecode);
    if (hrDecode != S_OK || pDecoded == NULL)
        return;  // nothing came out: no empty frame to queue

    // The picture is labelled with the size the decoder put out, the JPEG's
    // own, so the delivery scales it from what it is.
    const UINT32 nWidth = m_decoder.GetOutputWidth();
    const UINT32 nHeight = m_decoder.GetOutputHeight();
    if (m_decoder.GetOutputSubtype() == MFVideoFormat_NV12)
    {
        ComPtr<IMFSample> pYuy2;
        HRESULT hr = Nv12SampleToYuy2(pDecoded.Get(), nWidth, nHeight, &pYuy2);
        if (FAILED(hr))
        {
            LogPrint("DeliverSample: decoded NV12 %d x %d not converted (0x%08X)\n", nWidth,
                     nHeight, hr);
            return;
        }
        pDecoded = pYuy2;
    }
    InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, nWidth, nHeight, pDecoded.Get()));
}

void FrameControlManager::NoteDecodeResult(HRESULT hrDecode)
{
    if (SUCCEEDED(hrDecode))
    {
        m_nFailedDecodes = 0;
        return;
    }
    ++m_nFailedDecodes;
    if (m_nFailedDecodes == kFailedDecodesBeforeFlush)
    {
        // A decoder may keep an input it cannot decode and refuse all others
        // until it is flushed.
        HRESULT hrFlush = m_decoder.Flush();
        LogPrint("DeliverSample: %d failed decodes in a row (0x%08X); decoder flushed: 0x%08X\n",
                 m_nFailedDecodes, hrDecode, hrFlush);
    }
    else if (m_nFailedDecodes > kFailedDecodesBeforeFlush)
    {
        HRESULT hrCreate = m_decoder.FindMjpegDecoder();
        if (SUCCEEDED(hrCreate))
            hrCreate = m_decoder.SetDecoderMediaTypes();
        LogPrint(
            "DeliverSample: decoding still fails after the flush (0x%08X); decoder created "
            "again: 0x%08X\n",
            hrDecode, hrCreate);
        m_nFailedDecodes = 0;
    }
}
