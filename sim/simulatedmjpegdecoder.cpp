#include "simulatedmjpegdecoder.h"

#include <mfapi.h>
#include <mferror.h>

#include <string.h>

#include <algorithm>

#include "image/yuy2tonv12kernel.h"
#include "jpeghuffmantables.h"
#include "rgbyuy2.h"
#include "simulationcputime.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

namespace
{
// Pictures beyond this many bytes are refused as types, so that every size
// computed from a type fits the 32-bit counts of the interface.
const UINT64 kMaxPictureBytes = 0x40000000;

HRESULT NewVideoType(const GUID& subtype, ComPtr<IMFMediaType>* ppType)
{
    HRESULT hr = MFCreateMediaType(ppType->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    return hr;
}

// The one YUY2 type offered for an input type: its frame size, progressive,
// in whole pictures.
HRESULT NewOutputType(IMFMediaType* pInputType, const GUID& subtype, ComPtr<IMFMediaType>* ppType)
{
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    MFGetAttributeSize(pInputType, MF_MT_FRAME_SIZE, &nWidth, &nHeight);
    const bool bNv12 = subtype == MFVideoFormat_NV12;
    HRESULT hr = NewVideoType(subtype, ppType);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeSize(ppType->Get(), MF_MT_FRAME_SIZE, nWidth, nHeight);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetUINT32(MF_MT_DEFAULT_STRIDE, bNv12 ? nWidth : nWidth * 2);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE);
    if (SUCCEEDED(hr))
        hr = (*ppType)->SetUINT32(MF_MT_SAMPLE_SIZE,
                                  bNv12 ? nWidth * nHeight * 3 / 2 : nWidth * nHeight * 2);
    return hr;
}

HRESULT CopyType(IMFMediaType* pSource, IMFMediaType** ppCopy)
{
    ComPtr<IMFMediaType> pCopy;
    HRESULT hr = MFCreateMediaType(&pCopy);
    if (SUCCEEDED(hr))
        hr = pSource->CopyAllItems(pCopy.Get());
    if (SUCCEEDED(hr))
        *ppCopy = pCopy.Detach();
    return hr;
}

// The first checks of a call that hands out a type of stream 0.
HRESULT CheckTypeRequest(DWORD dwStreamID, IMFMediaType** ppType)
{
    if (dwStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if (ppType == NULL)
        return E_POINTER;
    *ppType = NULL;
    return S_OK;
}

// MF_E_INVALIDMEDIATYPE unless the type is video of this subtype with a
// usable frame size.
HRESULT CheckType(IMFMediaType* pType, const GUID& subtype, bool bEvenWidth, UINT32* pnWidth,
                  UINT32* pnHeight)
{
    GUID majorType = GUID_NULL;
    GUID typeSubtype = GUID_NULL;
    if (FAILED(pType->GetGUID(MF_MT_MAJOR_TYPE, &majorType)) || majorType != MFMediaType_Video ||
        FAILED(pType->GetGUID(MF_MT_SUBTYPE, &typeSubtype)) || typeSubtype != subtype)
        return MF_E_INVALIDMEDIATYPE;
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    if (FAILED(MFGetAttributeSize(pType, MF_MT_FRAME_SIZE, &nWidth, &nHeight)) || nWidth == 0 ||
        nHeight == 0 || (bEvenWidth && (nWidth & 1) != 0) ||
        static_cast<UINT64>(nWidth) * nHeight * 2 > kMaxPictureBytes)
        return MF_E_INVALIDMEDIATYPE;
    *pnWidth = nWidth;
    *pnHeight = nHeight;
    return S_OK;
}

// The simulated webcam's set of pictures; each is decoded once.
const size_t kRememberedPictures = 16;

void FillBlack(BYTE* pYuy2, size_t cbBytes)
{
    for (size_t i = 0; i + 1 < cbBytes; i += 2)
    {
        pYuy2[i] = 16;
        pYuy2[i + 1] = 128;
    }
}
}  // namespace

SimulatedMjpegDecoder::SimulatedMjpegDecoder(const std::shared_ptr<CallFaults>& pFaults,
                                             const std::shared_ptr<SimulatedDecoderQuirks>& pQuirks)
    : m_pFaults(pFaults),
      m_pQuirks(pQuirks),
      m_outputSubtype(MFVideoFormat_YUY2),
      m_nOutputWidth(0),
      m_nOutputHeight(0),
      m_bHolding(false),
      m_bInputSeen(false),
      m_bStreamChanged(false),
      m_bFailNextOutputType(false),
      m_decoded(kRememberedPictures),
      m_bHasTime(false),
      m_hnsTime(0),
      m_bHasDuration(false),
      m_hnsDuration(0)
{
}

SimulatedMjpegDecoder::~SimulatedMjpegDecoder() {}

// Every call first asks the shared faults whether it is to fail.
#define RETURN_IF_TOLD_TO_FAIL(name) \
    do \
    { \
        HRESULT hrTold = m_pFaults->Enter(name); \
        if (FAILED(hrTold)) \
            return hrTold; \
    } while (0)

STDMETHODIMP SimulatedMjpegDecoder::GetStreamLimits(DWORD* pdwInputMinimum, DWORD* pdwInputMaximum,
                                                    DWORD* pdwOutputMinimum,
                                                    DWORD* pdwOutputMaximum)
{
    RETURN_IF_TOLD_TO_FAIL("GetStreamLimits");
    if (pdwInputMinimum == NULL || pdwInputMaximum == NULL || pdwOutputMinimum == NULL ||
        pdwOutputMaximum == NULL)
        return E_POINTER;
    *pdwInputMinimum = *pdwInputMaximum = *pdwOutputMinimum = *pdwOutputMaximum = 1;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::GetStreamCount(DWORD* pcInputStreams, DWORD* pcOutputStreams)
{
    RETURN_IF_TOLD_TO_FAIL("GetStreamCount");
    if (pcInputStreams == NULL || pcOutputStreams == NULL)
        return E_POINTER;
    *pcInputStreams = *pcOutputStreams = 1;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*)
{
    RETURN_IF_TOLD_TO_FAIL("GetStreamIDs");
    return E_NOTIMPL;  // fixed streams numbered from 0
}

STDMETHODIMP SimulatedMjpegDecoder::GetInputStreamInfo(DWORD dwInputStreamID,
                                                       MFT_INPUT_STREAM_INFO* pStreamInfo)
{
    RETURN_IF_TOLD_TO_FAIL("GetInputStreamInfo");
    if (dwInputStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if (pStreamInfo == NULL)
        return E_POINTER;
    memset(pStreamInfo, 0, sizeof(*pStreamInfo));
    pStreamInfo->dwFlags =
        MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::GetOutputStreamInfo(DWORD dwOutputStreamID,
                                                        MFT_OUTPUT_STREAM_INFO* pStreamInfo)
{
    RETURN_IF_TOLD_TO_FAIL("GetOutputStreamInfo");
    if (dwOutputStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if (pStreamInfo == NULL)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pOutputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    memset(pStreamInfo, 0, sizeof(*pStreamInfo));
    pStreamInfo->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES |
                           MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                           MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE;
    pStreamInfo->cbSize = OutputPictureBytes();
    if (m_pQuirks->bProvidesSamples)
    {
        pStreamInfo->dwFlags |= MFT_OUTPUT_STREAM_PROVIDES_SAMPLES;
        pStreamInfo->cbSize = 0;
    }
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::GetAttributes(IMFAttributes**)
{
    RETURN_IF_TOLD_TO_FAIL("GetAttributes");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::GetInputStreamAttributes(DWORD, IMFAttributes**)
{
    RETURN_IF_TOLD_TO_FAIL("GetInputStreamAttributes");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::GetOutputStreamAttributes(DWORD, IMFAttributes**)
{
    RETURN_IF_TOLD_TO_FAIL("GetOutputStreamAttributes");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::DeleteInputStream(DWORD)
{
    RETURN_IF_TOLD_TO_FAIL("DeleteInputStream");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::AddInputStreams(DWORD, DWORD*)
{
    RETURN_IF_TOLD_TO_FAIL("AddInputStreams");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::GetInputAvailableType(DWORD dwInputStreamID, DWORD dwTypeIndex,
                                                          IMFMediaType** ppType)
{
    RETURN_IF_TOLD_TO_FAIL("GetInputAvailableType");
    return GetAvailableType(SIDE_INPUT, dwInputStreamID, dwTypeIndex, ppType);
}

STDMETHODIMP SimulatedMjpegDecoder::GetOutputAvailableType(DWORD dwOutputStreamID,
                                                           DWORD dwTypeIndex, IMFMediaType** ppType)
{
    RETURN_IF_TOLD_TO_FAIL("GetOutputAvailableType");
    return GetAvailableType(SIDE_OUTPUT, dwOutputStreamID, dwTypeIndex, ppType);
}

STDMETHODIMP SimulatedMjpegDecoder::SetInputType(DWORD dwInputStreamID, IMFMediaType* pType,
                                                 DWORD dwFlags)
{
    RETURN_IF_TOLD_TO_FAIL("SetInputType");
    return SetType(SIDE_INPUT, dwInputStreamID, pType, dwFlags);
}

STDMETHODIMP SimulatedMjpegDecoder::SetOutputType(DWORD dwOutputStreamID, IMFMediaType* pType,
                                                  DWORD dwFlags)
{
    RETURN_IF_TOLD_TO_FAIL("SetOutputType");
    return SetType(SIDE_OUTPUT, dwOutputStreamID, pType, dwFlags);
}

STDMETHODIMP SimulatedMjpegDecoder::GetInputCurrentType(DWORD dwInputStreamID,
                                                        IMFMediaType** ppType)
{
    RETURN_IF_TOLD_TO_FAIL("GetInputCurrentType");
    return GetCurrentType(SIDE_INPUT, dwInputStreamID, ppType);
}

STDMETHODIMP SimulatedMjpegDecoder::GetOutputCurrentType(DWORD dwOutputStreamID,
                                                         IMFMediaType** ppType)
{
    RETURN_IF_TOLD_TO_FAIL("GetOutputCurrentType");
    return GetCurrentType(SIDE_OUTPUT, dwOutputStreamID, ppType);
}

STDMETHODIMP SimulatedMjpegDecoder::GetInputStatus(DWORD dwInputStreamID, DWORD* pdwFlags)
{
    RETURN_IF_TOLD_TO_FAIL("GetInputStatus");
    if (dwInputStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if (pdwFlags == NULL)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pInputType == NULL || m_pOutputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    *pdwFlags = m_bHolding ? 0 : MFT_INPUT_STATUS_ACCEPT_DATA;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::GetOutputStatus(DWORD* pdwFlags)
{
    RETURN_IF_TOLD_TO_FAIL("GetOutputStatus");
    if (pdwFlags == NULL)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pInputType == NULL || m_pOutputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    *pdwFlags = m_bHolding ? MFT_OUTPUT_STATUS_SAMPLE_READY : 0;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::SetOutputBounds(LONGLONG, LONGLONG)
{
    RETURN_IF_TOLD_TO_FAIL("SetOutputBounds");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::ProcessEvent(DWORD, IMFMediaEvent*)
{
    RETURN_IF_TOLD_TO_FAIL("ProcessEvent");
    return E_NOTIMPL;
}

STDMETHODIMP SimulatedMjpegDecoder::ProcessMessage(MFT_MESSAGE_TYPE eMessage, ULONG_PTR)
{
    RETURN_IF_TOLD_TO_FAIL("ProcessMessage");
    std::lock_guard<std::mutex> guard(m_lock);
    switch (eMessage)
    {
    case MFT_MESSAGE_COMMAND_FLUSH:
        m_bHolding = false;
        m_picture.clear();
        return S_OK;
    case MFT_MESSAGE_SET_D3D_MANAGER:
        return E_NOTIMPL;  // a software decoder
    default:
        // Draining, streaming and stream notifications change nothing for a
        // decoder that holds at most one picture.
        return S_OK;
    }
}

STDMETHODIMP SimulatedMjpegDecoder::ProcessInput(DWORD dwInputStreamID, IMFSample* pSample,
                                                 DWORD dwFlags)
{
    ScopedSimulationCpu cpu(SIM_CPU_DECODER);
    RETURN_IF_TOLD_TO_FAIL("ProcessInput");
    if (dwInputStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if (pSample == NULL)
        return E_POINTER;
    if (dwFlags != 0)
        return E_INVALIDARG;

    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pInputType == NULL || m_pOutputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (m_bHolding)
        return MF_E_NOTACCEPTING;

    ComPtr<IMFMediaBuffer> pBuffer;
    HRESULT hr = pSample->ConvertToContiguousBuffer(&pBuffer);
    BYTE* pData = NULL;
    DWORD cbData = 0;
    if (SUCCEEDED(hr))
        hr = pBuffer->Lock(&pData, NULL, &cbData);
    if (FAILED(hr))
        return hr;
    m_picture.assign(pData, pData + cbData);
    pBuffer->Unlock();
    if (m_pQuirks->nSpoiledInputs > 0)
    {
        --m_pQuirks->nSpoiledInputs;
        m_picture.resize(m_picture.size() / 2);
    }

    // A decoder that wants more than the first input before a picture (its
    // headers, say) takes it and gives nothing for it.
    const bool bFirstInput = !m_bInputSeen;
    m_bInputSeen = true;
    if (bFirstInput && m_pQuirks->bNeedMoreInputFirst)
    {
        m_picture.clear();
        return S_OK;
    }
    m_bHasTime = SUCCEEDED(pSample->GetSampleTime(&m_hnsTime));
    m_bHasDuration = SUCCEEDED(pSample->GetSampleDuration(&m_hnsDuration));
    m_bHolding = true;
    return S_OK;
}

STDMETHODIMP SimulatedMjpegDecoder::ProcessOutput(DWORD, DWORD cOutputBufferCount,
                                                  MFT_OUTPUT_DATA_BUFFER* pOutputSamples,
                                                  DWORD* pdwStatus)
{
    ScopedSimulationCpu cpu(SIM_CPU_DECODER);
    RETURN_IF_TOLD_TO_FAIL("ProcessOutput");
    if (pOutputSamples == NULL || pdwStatus == NULL)
        return E_POINTER;
    if (cOutputBufferCount != 1)
        return E_INVALIDARG;
    if (pOutputSamples[0].dwStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    *pdwStatus = 0;

    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pInputType == NULL || m_pOutputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!m_bHolding)
        return MF_E_TRANSFORM_NEED_MORE_INPUT;
    const bool bLoseType = m_pQuirks->bLoseOutputType.exchange(false);
    if ((m_pQuirks->bStreamChangeOnFirstOutput && !m_bStreamChanged) || bLoseType)
    {
        // The client must choose an output type anew; the picture waits.
        m_bStreamChanged = true;
        m_bFailNextOutputType = bLoseType;
        m_pOutputType.Reset();
        pOutputSamples[0].dwStatus = MFT_OUTPUT_DATA_BUFFER_FORMAT_CHANGE;
        return MF_E_TRANSFORM_STREAM_CHANGE;
    }

    ComPtr<IMFSample> pSample;
    HRESULT hr = TakeOutputSample(&pOutputSamples[0], &pSample);
    if (FAILED(hr))
        return hr;
    ComPtr<IMFMediaBuffer> pBuffer;
    hr = pSample->GetBufferByIndex(0, &pBuffer);
    DWORD cbMax = 0;
    if (SUCCEEDED(hr))
        hr = pBuffer->GetMaxLength(&cbMax);
    if (FAILED(hr))
        return hr;
    if (cbMax < OutputPictureBytes())
        return MF_E_BUFFERTOOSMALL;

    hr = WritePicture(pBuffer.Get());
    // Whether or not it decoded, the picture has been dealt with, unless
    // this decoder keeps what it cannot decode until it is flushed.
    if (FAILED(hr) && m_pQuirks->bKeepBadInput)
        return hr;
    m_bHolding = false;
    m_picture.clear();
    if (FAILED(hr))
        return hr;

    if (m_bHasTime)
        pSample->SetSampleTime(m_hnsTime);
    if (m_bHasDuration)
        pSample->SetSampleDuration(m_hnsDuration);
    pOutputSamples[0].dwStatus = 0;
    if (m_pQuirks->bProvidesSamples)
        pOutputSamples[0].pSample = pSample.Detach();  // the caller's reference
    return S_OK;
}

HRESULT SimulatedMjpegDecoder::TakeOutputSample(MFT_OUTPUT_DATA_BUFFER* pOutput,
                                                ComPtr<IMFSample>* ppSample)
{
    if (!m_pQuirks->bProvidesSamples)
    {
        if (pOutput->pSample == NULL)
            return E_INVALIDARG;  // the caller provides the samples
        *ppSample = pOutput->pSample;
        return S_OK;
    }
    if (pOutput->pSample != NULL)
        return E_INVALIDARG;  // this stream provides them
    ComPtr<IMFMediaBuffer> pBuffer;
    HRESULT hr = MFCreateMemoryBuffer(OutputPictureBytes(), &pBuffer);
    if (SUCCEEDED(hr))
        hr = MFCreateSample(ppSample->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = (*ppSample)->AddBuffer(pBuffer.Get());
    return hr;
}

HRESULT SimulatedMjpegDecoder::GetAvailableType(StreamSide eSide, DWORD dwStreamID,
                                                DWORD dwTypeIndex, IMFMediaType** ppType)
{
    HRESULT hr = CheckTypeRequest(dwStreamID, ppType);
    if (FAILED(hr))
        return hr;

    std::lock_guard<std::mutex> guard(m_lock);
    // The output type carries the input's frame size.
    if (eSide == SIDE_OUTPUT && m_pInputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (dwTypeIndex > 0)
        return MF_E_NO_MORE_TYPES;

    ComPtr<IMFMediaType> pType;
    hr = eSide == SIDE_OUTPUT
             ? NewOutputType(m_pInputType.Get(),
                             m_pQuirks->bNv12Only ? MFVideoFormat_NV12 : MFVideoFormat_YUY2, &pType)
             : NewVideoType(MFVideoFormat_MJPG, &pType);
    if (SUCCEEDED(hr))
        *ppType = pType.Detach();
    return hr;
}

// Both sides take and drop a type alike; they differ in the subtype, the
// output's even width and its need of an input type, and in what a change
// undoes.
HRESULT SimulatedMjpegDecoder::SetType(StreamSide eSide, DWORD dwStreamID, IMFMediaType* pType,
                                       DWORD dwFlags)
{
    if (dwStreamID != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    if ((dwFlags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) != 0)
        return E_INVALIDARG;
    bool bTestOnly = (dwFlags & MFT_SET_TYPE_TEST_ONLY) != 0;
    bool bOutput = eSide == SIDE_OUTPUT;

    std::lock_guard<std::mutex> guard(m_lock);
    // After a stream change the held picture waits for a new output type.
    if (m_bHolding && !(bOutput && m_pOutputType == NULL))
        return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
    if (pType == NULL)
    {
        // Clearing the input leaves nothing to describe the output either.
        if (!bTestOnly)
        {
            if (!bOutput)
                m_pInputType.Reset();
            m_pOutputType.Reset();
        }
        return S_OK;
    }
    if (bOutput && m_pInputType == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;

    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    const GUID outputSubtype = m_pQuirks->bNv12Only ? MFVideoFormat_NV12 : MFVideoFormat_YUY2;
    HRESULT hr =
        CheckType(pType, bOutput ? outputSubtype : MFVideoFormat_MJPG, bOutput, &nWidth, &nHeight);
    if (bOutput && outputSubtype == MFVideoFormat_NV12 && SUCCEEDED(hr) && (nHeight & 1) != 0)
        hr = MF_E_INVALIDMEDIATYPE;
    if (FAILED(hr) || bTestOnly)
        return hr;
    if (bOutput && m_bFailNextOutputType)
    {
        m_bFailNextOutputType = false;
        return MF_E_INVALIDMEDIATYPE;
    }

    ComPtr<IMFMediaType> pCopy;
    hr = CopyType(pType, &pCopy);
    if (FAILED(hr))
        return hr;
    if (bOutput)
    {
        m_pOutputType = pCopy;
        m_outputSubtype = outputSubtype;
        m_nOutputWidth = nWidth;
        m_nOutputHeight = nHeight;
        return S_OK;
    }
    // An output type of another frame size no longer fits the input.
    UINT32 nOldWidth = 0;
    UINT32 nOldHeight = 0;
    if (m_pInputType != NULL)
        MFGetAttributeSize(m_pInputType.Get(), MF_MT_FRAME_SIZE, &nOldWidth, &nOldHeight);
    if (nOldWidth != nWidth || nOldHeight != nHeight)
        m_pOutputType.Reset();
    m_pInputType = pCopy;
    return S_OK;
}

HRESULT SimulatedMjpegDecoder::GetCurrentType(StreamSide eSide, DWORD dwStreamID,
                                              IMFMediaType** ppType)
{
    HRESULT hr = CheckTypeRequest(dwStreamID, ppType);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> guard(m_lock);
    const ComPtr<IMFMediaType>& pCurrent = eSide == SIDE_OUTPUT ? m_pOutputType : m_pInputType;
    if (pCurrent == NULL)
        return MF_E_TRANSFORM_TYPE_NOT_SET;
    return CopyType(pCurrent.Get(), ppType);
}

// Called with the lock held; the buffer holds at least one output picture.
HRESULT SimulatedMjpegDecoder::WritePicture(IMFMediaBuffer* pBuffer)
{
    const UINT nOutStride = m_nOutputWidth * 2;
    const DWORD cbPicture = nOutStride * m_nOutputHeight;
    const std::vector<BYTE>* pKnown = m_decoded.Find(m_picture, m_nOutputWidth, m_nOutputHeight);

    std::vector<BYTE> bgra;
    UINT nJpegWidth = 0;
    UINT nJpegHeight = 0;
    if (pKnown == NULL)
    {
        // A webcam's frame without Huffman tables uses the standard ones;
        // the system's decoder puts them in, and so does this one.
        const std::vector<BYTE> whole = InsertStandardHuffmanTables(m_picture);
        HRESULT hrDecode =
            DecodeJpegToBgra(whole.data(), whole.size(), &bgra, &nJpegWidth, &nJpegHeight);
        if (FAILED(hrDecode))
            return hrDecode;
    }

    BYTE* pLocked = NULL;
    HRESULT hr = pBuffer->Lock(&pLocked, NULL, NULL);
    if (FAILED(hr))
        return hr;
    // An NV12 decoder makes the YUY2 picture aside and converts it into the
    // (shorter) buffer.
    const bool bNv12 = m_outputSubtype == MFVideoFormat_NV12;
    std::vector<BYTE> yuy2(bNv12 ? cbPicture : 0);
    BYTE* pOut = bNv12 ? yuy2.data() : pLocked;
    if (pKnown != NULL)
    {
        memcpy(pOut, pKnown->data(), cbPicture);
    }
    else
    {
        const UINT nCopyWidth = std::min<UINT>(nJpegWidth, m_nOutputWidth);
        const UINT nCopyHeight = std::min<UINT>(nJpegHeight, m_nOutputHeight);
        // Bytes the conversion writes per row: whole pairs, never past the
        // output's even width.
        const UINT cbCopied = (nCopyWidth + 1) / 2 * 4;
        ConvertBgrToYuy2(bgra.data(), nJpegWidth * 4, 4, nCopyWidth, nCopyHeight, pOut, nOutStride);
        for (UINT y = 0; y < m_nOutputHeight; ++y)
        {
            BYTE* pRow = pOut + static_cast<size_t>(y) * nOutStride;
            if (y < nCopyHeight)
                FillBlack(pRow + cbCopied, nOutStride - cbCopied);
            else
                FillBlack(pRow, nOutStride);
        }
        m_decoded.Add(m_picture, m_nOutputWidth, m_nOutputHeight, pOut, cbPicture);
    }
    if (bNv12)
        ConvertYuy2ToNv12Kernel(Yuy2ToNv12Path::Portable, pOut, m_nOutputWidth, m_nOutputHeight,
                                nOutStride, pLocked, m_nOutputWidth, m_nOutputHeight,
                                m_nOutputWidth);
    hr = pBuffer->SetCurrentLength(OutputPictureBytes());
    pBuffer->Unlock();
    return hr;
}

DWORD SimulatedMjpegDecoder::OutputPictureBytes() const
{
    const DWORD cbYuy2 = m_nOutputWidth * m_nOutputHeight * 2;
    return m_outputSubtype == MFVideoFormat_NV12 ? cbYuy2 / 4 * 3 : cbYuy2;
}
