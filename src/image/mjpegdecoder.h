#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

// One owner's MJPEG decoder: the system's "MJPEG Decoder MFT", configured for
// 1280 x 720 MJPG in and YUY2 out, and one input/output round per compressed
// picture. The frame pipeline and the placeholder source each own one.
// Nothing here logs.
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

    // Input MJPG and output YUY2, both 1280 x 720. E_FAIL without a decoder.
    HRESULT SetDecoderMediaTypes();

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
    // a stream change the output type is set again and the round retried
    // once.
    HRESULT DecodeMjpegSample(IMFSample* pCompressed, IMFSample** ppDecoded);

    BOOL HasDecoder() const { return m_pDecoder != NULL; }
    IMFTransform* GetDecoder() const { return m_pDecoder.Get(); }  // borrowed
    void ReleaseDecoder() { m_pDecoder.Reset(); }

private:
    MjpegDecoder(const MjpegDecoder&);
    MjpegDecoder& operator=(const MjpegDecoder&);

    HRESULT SetMatchingTypes(BOOL bInput, IMFMediaType* pTemplate);
    HRESULT SetOutputType();
    // GetOutputStreamInfo, GetOutputStatus and ProcessOutput once.
    HRESULT RunOutputRound(Microsoft::WRL::ComPtr<IMFSample>* ppOutput);

    Microsoft::WRL::ComPtr<IMFTransform> m_pDecoder;
};
