#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <memory>
#include <mutex>
#include <vector>

#include "callfaults.h"
#include "comobject.h"
#include "decodedpicturecache.h"
#include "simulateddecoderquirks.h"

// A test MJPEG decoder transform: one input stream of MJPG, one output stream
// of YUY2, decoding through the Windows Imaging Component. It keeps the
// contract of a synchronous decoder:
// - available types by index, MF_E_NO_MORE_TYPES past the end; output types
//   only once an input type is set, with the input's frame size;
// - set types must carry a frame size (the output's width even); the output
//   type's frame size is the size of every picture produced, and
//   GetOutputStreamInfo reports width x height x 2 bytes for it;
// - one compressed picture is held at a time: ProcessInput refuses another
//   with MF_E_NOTACCEPTING, GetOutputStatus reports
//   MFT_OUTPUT_STATUS_SAMPLE_READY while one is held, ProcessOutput without
//   one answers MF_E_TRANSFORM_NEED_MORE_INPUT;
// - ProcessOutput writes into the caller's sample (it provides none): a
//   buffer smaller than a picture gets MF_E_BUFFERTOOSMALL and the picture
//   stays held; otherwise the whole picture is written and the buffer's
//   current length set to it. A JPEG of another size than the output type's
//   is decoded and placed at the top left: what lies outside the output is
//   cut off, what the JPEG does not cover is black. A picture that does not
//   decode is dropped and its imaging-component code returned.
// Every IMFTransform call first consults the shared CallFaults under its own
// name, so a test can make any of them fail; the shared quirks make it behave
// as real decoders may (see simulateddecoderquirks.h).
class SimulatedMjpegDecoder : public ComObject<IMFTransform>
{
public:
    SimulatedMjpegDecoder(const std::shared_ptr<CallFaults>& pFaults,
                          const std::shared_ptr<SimulatedDecoderQuirks>& pQuirks);

    STDMETHODIMP GetStreamLimits(DWORD* pdwInputMinimum, DWORD* pdwInputMaximum,
                                 DWORD* pdwOutputMinimum, DWORD* pdwOutputMaximum) override;
    STDMETHODIMP GetStreamCount(DWORD* pcInputStreams, DWORD* pcOutputStreams) override;
    STDMETHODIMP GetStreamIDs(DWORD dwInputIDArraySize, DWORD* pdwInputIDs,
                              DWORD dwOutputIDArraySize, DWORD* pdwOutputIDs) override;
    STDMETHODIMP GetInputStreamInfo(DWORD dwInputStreamID,
                                    MFT_INPUT_STREAM_INFO* pStreamInfo) override;
    STDMETHODIMP GetOutputStreamInfo(DWORD dwOutputStreamID,
                                     MFT_OUTPUT_STREAM_INFO* pStreamInfo) override;
    STDMETHODIMP GetAttributes(IMFAttributes** ppAttributes) override;
    STDMETHODIMP GetInputStreamAttributes(DWORD dwInputStreamID,
                                          IMFAttributes** ppAttributes) override;
    STDMETHODIMP GetOutputStreamAttributes(DWORD dwOutputStreamID,
                                           IMFAttributes** ppAttributes) override;
    STDMETHODIMP DeleteInputStream(DWORD dwStreamID) override;
    STDMETHODIMP AddInputStreams(DWORD cStreams, DWORD* adwStreamIDs) override;
    STDMETHODIMP GetInputAvailableType(DWORD dwInputStreamID, DWORD dwTypeIndex,
                                       IMFMediaType** ppType) override;
    STDMETHODIMP GetOutputAvailableType(DWORD dwOutputStreamID, DWORD dwTypeIndex,
                                        IMFMediaType** ppType) override;
    STDMETHODIMP SetInputType(DWORD dwInputStreamID, IMFMediaType* pType, DWORD dwFlags) override;
    STDMETHODIMP SetOutputType(DWORD dwOutputStreamID, IMFMediaType* pType, DWORD dwFlags) override;
    STDMETHODIMP GetInputCurrentType(DWORD dwInputStreamID, IMFMediaType** ppType) override;
    STDMETHODIMP GetOutputCurrentType(DWORD dwOutputStreamID, IMFMediaType** ppType) override;
    STDMETHODIMP GetInputStatus(DWORD dwInputStreamID, DWORD* pdwFlags) override;
    STDMETHODIMP GetOutputStatus(DWORD* pdwFlags) override;
    STDMETHODIMP SetOutputBounds(LONGLONG hnsLowerBound, LONGLONG hnsUpperBound) override;
    STDMETHODIMP ProcessEvent(DWORD dwInputStreamID, IMFMediaEvent* pEvent) override;
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE eMessage, ULONG_PTR ulParam) override;
    STDMETHODIMP ProcessInput(DWORD dwInputStreamID, IMFSample* pSample, DWORD dwFlags) override;
    STDMETHODIMP ProcessOutput(DWORD dwFlags, DWORD cOutputBufferCount,
                               MFT_OUTPUT_DATA_BUFFER* pOutputSamples, DWORD* pdwStatus) override;

private:
    enum StreamSide
    {
        SIDE_INPUT,
        SIDE_OUTPUT,
    };

    ~SimulatedMjpegDecoder() override;

    // The work of the input and output calls on types, once the faults are
    // asked.
    HRESULT GetAvailableType(StreamSide eSide, DWORD dwStreamID, DWORD dwTypeIndex,
                             IMFMediaType** ppType);
    HRESULT SetType(StreamSide eSide, DWORD dwStreamID, IMFMediaType* pType, DWORD dwFlags);
    HRESULT GetCurrentType(StreamSide eSide, DWORD dwStreamID, IMFMediaType** ppType);
    HRESULT WritePicture(IMFMediaBuffer* pBuffer);
    // With the lock held: bytes of one output picture in the output type.
    DWORD OutputPictureBytes() const;
    // With the lock held: the sample ProcessOutput writes into, the
    // caller's or, for a stream that provides samples, a new one.
    HRESULT TakeOutputSample(MFT_OUTPUT_DATA_BUFFER* pOutput,
                             Microsoft::WRL::ComPtr<IMFSample>* ppSample);

    std::shared_ptr<CallFaults> m_pFaults;
    std::shared_ptr<SimulatedDecoderQuirks> m_pQuirks;

    std::mutex m_lock;
    Microsoft::WRL::ComPtr<IMFMediaType> m_pInputType;
    Microsoft::WRL::ComPtr<IMFMediaType> m_pOutputType;
    GUID m_outputSubtype;  // YUY2, or NV12 for a decoder told to offer NV12 only
    UINT32 m_nOutputWidth;
    UINT32 m_nOutputHeight;

    bool m_bHolding;  // a compressed picture waits for ProcessOutput
    bool m_bInputSeen;
    bool m_bStreamChanged;
    bool m_bFailNextOutputType;  // after a lost output type
    std::vector<BYTE> m_picture;
    DecodedPictureCache m_decoded;
    bool m_bHasTime;
    LONGLONG m_hnsTime;
    bool m_bHasDuration;
    LONGLONG m_hnsDuration;
};
