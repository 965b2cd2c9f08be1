#include "image/mjpegdecoder.h"

#include <mfapi.h>
#include <mferror.h>

#include <wchar.h>

#include <vector>

#include "diagnostics/activatearray.h"
#include "diagnostics/debuglog.h"
#include "image/decoderenumeration.h"

using Microsoft::WRL::ComPtr;

namespace
{
const wchar_t kMjpegDecoderName[] = L"MJPEG Decoder MFT";

// A type that holds only the video major type and the subtype.
HRESULT CreateVideoTemplate(const GUID& subtype, ComPtr<IMFMediaType>* ppTemplate)
{
    HRESULT hr = MFCreateMediaType(ppTemplate->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = (*ppTemplate)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = (*ppTemplate)->SetGUID(MF_MT_SUBTYPE, subtype);
    return hr;
}
}  // namespace

MjpegDecoder::MjpegDecoder()
    : m_nInputWidth(kFrameWidth),
      m_nInputHeight(kFrameHeight),
      m_outputSubtype(GUID_NULL),
      m_nOutputWidth(0),
      m_nOutputHeight(0)
{
}

void MjpegDecoder::SetInputFrameSize(UINT32 nWidth, UINT32 nHeight)
{
    m_nInputWidth = nWidth;
    m_nInputHeight = nHeight;
}

HRESULT MjpegDecoder::Flush()
{
    if (m_pDecoder == NULL)
        return E_FAIL;
    return m_pDecoder->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
}

MjpegDecoder::~MjpegDecoder() {}

HRESULT MjpegDecoder::FindMjpegDecoder()
{
    // The result always describes this search, never an earlier one.
    m_pDecoder.Reset();

    IMFActivate** ppActivate = NULL;
    UINT32 cActivate = 0;
    HRESULT hr = gDecoderEnum.pfnMFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, 0, NULL, NULL, &ppActivate,
                                           &cActivate);
    if (FAILED(hr))
    {
        CoTaskMemFree(ppActivate);
        return E_FAIL;
    }
    std::vector<ComPtr<IMFActivate>> activates = AdoptActivateArray(ppActivate, cActivate);
    if (activates.empty())
        hr = MF_E_TOPO_CODEC_NOT_FOUND;

    for (size_t i = 0; i < activates.size(); ++i)
    {
        if (activates[i] == NULL)
            continue;
        wchar_t* pwszName = NULL;
        UINT32 cchName = 0;
        if (FAILED(
                activates[i]->GetAllocatedString(MFT_FRIENDLY_NAME_Attribute, &pwszName, &cchName)))
            continue;
        BOOL bMatch = wcscmp(pwszName, kMjpegDecoderName) == 0;
        CoTaskMemFree(pwszName);
        if (bMatch)
        {
            hr = activates[i]->ActivateObject(
                IID_IMFTransform, reinterpret_cast<void**>(m_pDecoder.ReleaseAndGetAddressOf()));
            break;
        }
    }

    if (m_pDecoder == NULL)
        hr = MF_E_TOPO_CODEC_NOT_FOUND;

    return hr;
}

HRESULT MjpegDecoder::SetDecoderMediaTypes()
{
    if (m_pDecoder == NULL)
        return E_FAIL;

    ComPtr<IMFMediaType> pInputTemplate;
    HRESULT hr = CreateVideoTemplate(MFVideoFormat_MJPG, &pInputTemplate);
    if (FAILED(hr))
        return hr;

    // Both sides are walked even when the input side failed; the first
    // failure is the result.
    HRESULT hrInput = SetMatchingTypes(TRUE, pInputTemplate.Get());
    HRESULT hrOutput = SetOutputType();
    return FAILED(hrInput) ? hrInput : hrOutput;
}

HRESULT MjpegDecoder::SetOutputType()
{
    if (m_pDecoder == NULL)
        return E_FAIL;
    m_outputSubtype = GUID_NULL;
    m_nOutputWidth = 0;
    m_nOutputHeight = 0;

    // YUY2 is the pipeline's own form; NV12 only from a decoder without it.
    const GUID* subtypes[] = {&MFVideoFormat_YUY2, &MFVideoFormat_NV12};
    HRESULT hr = MF_E_INVALIDMEDIATYPE;
    for (const GUID* pSubtype : subtypes)
    {
        ComPtr<IMFMediaType> pOutputTemplate;
        hr = CreateVideoTemplate(*pSubtype, &pOutputTemplate);
        if (SUCCEEDED(hr))
            hr = SetMatchingTypes(FALSE, pOutputTemplate.Get());
        if (hr != MF_E_INVALIDMEDIATYPE)
            break;
    }

    // What the decoder now puts out, as it says.
    ComPtr<IMFMediaType> pCurrent;
    if (SUCCEEDED(hr))
        hr = m_pDecoder->GetOutputCurrentType(0, &pCurrent);
    if (SUCCEEDED(hr))
        hr = pCurrent->GetGUID(MF_MT_SUBTYPE, &m_outputSubtype);
    if (SUCCEEDED(hr))
        hr =
            MFGetAttributeSize(pCurrent.Get(), MF_MT_FRAME_SIZE, &m_nOutputWidth, &m_nOutputHeight);
    if (FAILED(hr))
    {
        m_outputSubtype = GUID_NULL;
        m_nOutputWidth = 0;
        m_nOutputHeight = 0;
    }
    return hr;
}

HRESULT MjpegDecoder::RestoreOutputType(HRESULT hrReason)
{
    HRESULT hr = SetOutputType();
    LogPrint("MjpegDecoder: output type set again after 0x%08X: 0x%08X, %s %d x %d\n", hrReason, hr,
             m_outputSubtype == MFVideoFormat_NV12 ? "NV12" : "YUY2", m_nOutputWidth,
             m_nOutputHeight);
    return hr;
}

// Sets every available type of one side that equals the template, in the
// decoder's order; the last one set stays. The result is that of the last
// set, or, when nothing matched, the failure that ended the walk
// (MF_E_INVALIDMEDIATYPE when the list simply ran out).
HRESULT MjpegDecoder::SetMatchingTypes(BOOL bInput, IMFMediaType* pTemplate)
{
    HRESULT hrResult = MF_E_INVALIDMEDIATYPE;
    BOOL bMatched = FALSE;
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        ComPtr<IMFMediaType> pType;
        HRESULT hr = bInput ? m_pDecoder->GetInputAvailableType(0, dwIndex, &pType)
                            : m_pDecoder->GetOutputAvailableType(0, dwIndex, &pType);
        if (FAILED(hr) || pType == NULL)
        {
            if (!bMatched && FAILED(hr) && hr != MF_E_NO_MORE_TYPES)
                hrResult = hr;
            break;
        }

        DWORD dwFlags = 0;
        if (pType->IsEqual(pTemplate, &dwFlags) != S_OK)
            continue;

        // The input is the camera's size; the output keeps the size the
        // decoder gives it (the JPEG's), and gets the input's only when the
        // decoder names none.
        UINT32 nWidth = 0;
        UINT32 nHeight = 0;
        if (bInput ||
            FAILED(MFGetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, &nWidth, &nHeight)) ||
            nWidth == 0 || nHeight == 0)
            MFSetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, m_nInputWidth, m_nInputHeight);
        hrResult = bInput ? m_pDecoder->SetInputType(0, pType.Get(), 0)
                          : m_pDecoder->SetOutputType(0, pType.Get(), 0);
        bMatched = TRUE;
    }
    return hrResult;
}

HRESULT MjpegDecoder::SetDecoderFrameSize(IMFMediaType* pType)
{
    if (pType == NULL)
        return E_POINTER;
    MFSetAttributeSize(pType, MF_MT_FRAME_SIZE, kFrameWidth, kFrameHeight);
    return S_OK;
}

HRESULT MjpegDecoder::CreateSampleWithBuffer(IMFSample** ppSample, DWORD cbSize)
{
    if (ppSample == NULL || cbSize == 0)
        return E_FAIL;
    *ppSample = NULL;

    ComPtr<IMFSample> pSample;
    ComPtr<IMFMediaBuffer> pBuffer;
    HRESULT hr = MFCreateSample(&pSample);
    if (SUCCEEDED(hr))
        hr = MFCreateMemoryBuffer(cbSize, &pBuffer);
    if (SUCCEEDED(hr))
        hr = pSample->AddBuffer(pBuffer.Get());
    if (SUCCEEDED(hr))
        *ppSample = pSample.Detach();
    return hr;
}

HRESULT MjpegDecoder::DecodeMjpegSample(IMFSample* pCompressed, IMFSample** ppDecoded)
{
    if (m_pDecoder == NULL)
        return E_FAIL;
    if (pCompressed == NULL || ppDecoded == NULL)
        return E_POINTER;
    *ppDecoded = NULL;

    // A refused input does not end the round: a picture the decoder already
    // holds may still come out. A decoder that lost its output type (a
    // stream change whose new type could not be set) refuses everything
    // until it has one again.
    HRESULT hrInput = m_pDecoder->ProcessInput(0, pCompressed, 0);
    if (hrInput == MF_E_TRANSFORM_TYPE_NOT_SET && SUCCEEDED(RestoreOutputType(hrInput)))
        hrInput = m_pDecoder->ProcessInput(0, pCompressed, 0);

    ComPtr<IMFSample> pOutput;
    HRESULT hr = RunOutputRound(&pOutput);
    if (hr == MF_E_TRANSFORM_STREAM_CHANGE || hr == MF_E_TRANSFORM_TYPE_NOT_SET)
    {
        // The decoder dropped its output type: set it again (at the size the
        // decoder now gives), then once more for the picture that waits.
        hr = RestoreOutputType(hr);
        if (SUCCEEDED(hr))
        {
            pOutput.Reset();
            hr = RunOutputRound(&pOutput);
        }
    }
    // Waiting for more input is no failure: no picture this round.
    if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT)
        hr = S_FALSE;
    // Nothing came out because the input was refused: say so.
    if (hr == S_FALSE && FAILED(hrInput))
        hr = hrInput;

    *ppDecoded = pOutput.Detach();
    return hr;
}

DWORD MjpegDecoder::OutputPictureBytes() const
{
    const UINT64 cbPicture = m_nOutputWidth != 0 && m_nOutputHeight != 0
                                 ? static_cast<UINT64>(m_nOutputWidth) * m_nOutputHeight * 2
                                 : static_cast<UINT64>(kFrameWidth) * kFrameHeight * 2;
    return cbPicture <= 0xFFFFFFFFull ? static_cast<DWORD>(cbPicture) : 0;
}

HRESULT MjpegDecoder::RunOutputRound(ComPtr<IMFSample>* ppOutput)
{
    MFT_OUTPUT_STREAM_INFO streamInfo = {};
    HRESULT hr = m_pDecoder->GetOutputStreamInfo(0, &streamInfo);
    // A stream that provides its own samples gets none; one that reports no
    // size gets room for the configured picture.
    const bool bProvidesSamples =
        SUCCEEDED(hr) && (streamInfo.dwFlags & MFT_OUTPUT_STREAM_PROVIDES_SAMPLES) != 0;
    if (SUCCEEDED(hr) && !bProvidesSamples)
        hr = CreateSampleWithBuffer(ppOutput->ReleaseAndGetAddressOf(), streamInfo.cbSize != 0
                                                                            ? streamInfo.cbSize
                                                                            : OutputPictureBytes());
    if (FAILED(hr))
        return hr;

    // GetOutputStatus is optional: without it, ProcessOutput itself says
    // whether a picture is ready.
    DWORD dwOutputStatus = 0;
    hr = m_pDecoder->GetOutputStatus(&dwOutputStatus);
    if (hr != E_NOTIMPL)
    {
        if (FAILED(hr))
            return hr;
        if (dwOutputStatus != MFT_OUTPUT_STATUS_SAMPLE_READY)
            return S_FALSE;
    }

    MFT_OUTPUT_DATA_BUFFER outputBuffer = {};
    outputBuffer.dwStreamID = 0;
    outputBuffer.pSample = bProvidesSamples ? NULL : ppOutput->Get();
    outputBuffer.dwStatus = 0;
    outputBuffer.pEvents = NULL;
    DWORD dwProcessStatus = 0;
    hr = m_pDecoder->ProcessOutput(0, 1, &outputBuffer, &dwProcessStatus);
    // Both references the decoder handed out are ours. Adopted, not
    // attached: mingw's ComPtr::Attach adds a reference of its own.
    ComPtr<IMFCollection> pEvents;
    *pEvents.GetAddressOf() = outputBuffer.pEvents;
    if (bProvidesSamples && outputBuffer.pSample != NULL)
        *ppOutput->ReleaseAndGetAddressOf() = outputBuffer.pSample;
    return hr;
}
