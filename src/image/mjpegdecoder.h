#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

// One owner's MJPEG decoder: the system's "MJPEG Decoder MFT", configured for
// MJPG in (1280 x 720 unless told the camera's size) and YUY2 out (NV12 when
// the decoder offers no YUY2) at the size the decoder gives, and one
// input/output round per compressed picture. The frame pipeline and the
// placeholder source each own one. Only the steps that mend a lost output
// type log, one line each.
class MjpegDecoder
{
public:
    static constexpr UINT32 kFrameWidth = 1280;
    static constexpr UINT32 kFrameHeight = 720;

    MjpegDecoder();
    ~MjpegDecoder();

    // S_OK and a decoder; or E_FAIL when the enumeration fails, or
    // MF_E_TOPO_CODEC_NOT_FOUND, and no decoder.
    HRESULT FindMjpegDecoder();

    // Input MJPG at the input frame size; output as SetOutputType. E_FAIL
    // without a decoder.
    HRESULT SetDecoderMediaTypes();

    // The size of the compressed pictures, for the input type; 1280 x 720
    // until told. Takes effect at the next SetDecoderMediaTypes.
    void SetInputFrameSize(UINT32 nWidth, UINT32 nHeight);

    // The output type: YUY2 when the decoder offers it, else NV12, at the
    // frame size the decoder's type gives (the input's when it gives none):
    // a decoder's output is the JPEG's own size, never forced.
    HRESULT SetOutputType();

    // Drops whatever input the decoder holds (MFT_MESSAGE_COMMAND_FLUSH).
    HRESULT Flush();

    // The output type last set: MFVideoFormat_YUY2 or MFVideoFormat_NV12
    // (GUID_NULL before one was set), and its frame size.
    const GUID& GetOutputSubtype() const { return m_outputSubtype; }
    UINT32 GetOutputWidth() const { return m_nOutputWidth; }
    UINT32 GetOutputHeight() const { return m_nOutputHeight; }

    // Writes MF_MT_FRAME_SIZE = 1280 x 720 into the type.
    static HRESULT SetDecoderFrameSize(IMFMediaType* pType);

    // A new sample holding one new memory buffer of cbSize bytes at most.
    static HRESULT CreateSampleWithBuffer(IMFSample** ppSample, DWORD cbSize);

    // One round: the compressed sample in, one output sample out. Whenever
    // an output sample could be made it is handed out through ppDecoded,
    // even when the decoder produced nothing (its buffer is then empty); a
    // decoder that provides its own samples hands out one only with a
    // picture. S_FALSE: the decoder wants more input before a picture. A
    // decoder without GetOutputStatus is asked by ProcessOutput itself; after
    // a stream change, or whenever the decoder reports its output type
    // missing, the output type is set again and the call retried once.
    HRESULT DecodeMjpegSample(IMFSample* pCompressed, IMFSample** ppDecoded);

    BOOL HasDecoder() const { return m_pDecoder != NULL; }
    IMFTransform* GetDecoder() const { return m_pDecoder.Get(); }  // borrowed
    void ReleaseDecoder() { m_pDecoder.Reset(); }

private:
    MjpegDecoder(const MjpegDecoder&);
    MjpegDecoder& operator=(const MjpegDecoder&);

    HRESULT SetMatchingTypes(BOOL bInput, IMFMediaType* pTemplate);
    // SetOutputType after the decoder answered hrReason; one log line.
    HRESULT RestoreOutputType(HRESULT hrReason);
    // GetOutputStreamInfo, GetOutputStatus and ProcessOutput once.
    HRESULT RunOutputRound(Microsoft::WRL::ComPtr<IMFSample>* ppOutput);
    // Room for one output picture when the decoder names no size: YUY2 at
    // the output size, or at 1280 x 720 before one is known.
    DWORD OutputPictureBytes() const;

    Microsoft::WRL::ComPtr<IMFTransform> m_pDecoder;
    UINT32 m_nInputWidth;
    UINT32 m_nInputHeight;
    GUID m_outputSubtype;
    UINT32 m_nOutputWidth;
    UINT32 m_nOutputHeight;
};
