#pragma once

#include <windows.h>
#include <mfidl.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "simulatedwebcam.h"
#include "webcameventgenerator.h"
#include "webcamobjectcount.h"

class SimulatedWebcamStream;

// The live media source of a simulated webcam, with one video stream.
//
// The protocol, as the platform's capture sources follow it:
// - CreatePresentationDescriptor hands out a copy whose stream descriptor (and
//   so its media type handler and current type) is shared with the source;
//   the native types are those of the webcam description, in its order.
// - Start from the stopped state sends MENewStream (never MEUpdatedStream:
//   a second source reader over the same source learns of the stream only
//   from MENewStream), MESourceStarted and MEStreamStarted; Start while
//   started sends MEUpdatedStream instead of MENewStream.
// - RequestSample is answered by one MEMediaSample on the stream, carrying
//   the token, the sample time and duration; frames come at the frame rate of
//   the current type (when paced) and frames that nobody asked for are
//   dropped, as a camera drops them.
// - Stop sends MESourceStopped, and MEStreamStopped when the stream was
//   started, and drops the pending requests. Both matter: a source reader
//   being released stops the source and waits for both.
// - The stream's types sit behind SimulatedWebcamStreamDescriptor, so that
//   setting the current type can fail; a format change in mid-stream sends
//   MEStreamFormatChanged; an ended stream sends MEEndOfStream.
// - Shutdown ends the event queues; every later call returns MF_E_SHUTDOWN.
// Samples are fresh MFCreateSample objects with one memory buffer: YUY2
// frames are drawn per request, MJPG frames come from JPEG pictures encoded
// once per source and frame size (see simulatedwebcamframes.h).
class SimulatedWebcamSource : private WebcamObjectCount, public WebcamEventGenerator<IMFMediaSource>
{
public:
    static HRESULT Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                          SimulatedWebcamSource** ppSource);

    // IMFMediaSource
    STDMETHODIMP GetCharacteristics(DWORD* pdwCharacteristics) override;
    STDMETHODIMP CreatePresentationDescriptor(
        IMFPresentationDescriptor** ppPresentationDescriptor) override;
    STDMETHODIMP Start(IMFPresentationDescriptor* pPresentationDescriptor,
                       const GUID* pguidTimeFormat, const PROPVARIANT* pvarStartPosition) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Shutdown() override;

    // For the stream.
    HRESULT AcceptSampleRequest(IUnknown* pToken);
    bool IsShutDown();

    // For the webcam, with its control lock held.
    void OnDeliveryChanged(SimulatedWebcamDelivery eDelivery, HRESULT hrError);
    void OnDeviceLost(SimulatedWebcamLoss eLoss);
    void OnFormatChanged(const SimulatedWebcamFormat& format);

protected:
    bool AnswersInterface(REFIID riid) const override;

private:
    enum State
    {
        STATE_STOPPED,
        STATE_STARTED,
        STATE_SHUT_DOWN,
    };

    // What the current media type says at Start.
    struct FrameFormat
    {
        bool bMjpg;
        UINT32 nWidth;
        UINT32 nHeight;
        LONGLONG llDuration;  // 100-ns units
    };

    explicit SimulatedWebcamSource(const std::shared_ptr<SimulatedWebcam>& webcam);
    ~SimulatedWebcamSource() override;

    HRESULT Initialize();
    HRESULT ReadCurrentFormat(FrameFormat* pFormat);

    // Under m_lock.
    void DropRequestsLocked();
    bool ReadyToServeLocked() const;
    void EndStreamingLocked();  // leaves the started state, for the counters
    // Ends streaming and queues MESourceStopped, and MEStreamStopped for a
    // started stream.
    void StopLocked();
    void QueueStreamEventLocked(MediaEventType met, HRESULT hrStatus, const PROPVARIANT* pvValue);
    // MEEndOfStream and MEEndOfPresentation, once a run, dropping the
    // requests.
    void EndStreamLocked();

    // Ends the worker and the event queues; the first call wins.
    void ShutdownInternals();

    void WorkerLoop();
    HRESULT EnsureJpegPictures(UINT32 nWidth, UINT32 nHeight);  // worker thread only
    static HRESULT AddBufferWithBytes(IMFSample* pSample, const BYTE* pBytes, size_t cbBytes);
    HRESULT MakeSample(const FrameFormat& format, UINT32 nFrame, IMFSample** ppSample);

    const std::shared_ptr<SimulatedWebcam> m_webcam;
    IMFPresentationDescriptor* m_pDescriptor;
    IMFStreamDescriptor* m_pStreamDescriptor;
    SimulatedWebcamStream* m_pStream;

    std::mutex m_lock;
    std::condition_variable m_wake;
    State m_eState;
    bool m_bStreamStarted;  // selected at the last Start and not stopped since
    bool m_bLost;
    bool m_bQuit;
    bool m_bInternalsShutDown;
    SimulatedWebcamDelivery m_eDelivery;
    HRESULT m_hrDeliveryError;
    std::deque<IUnknown*> m_requests;  // tokens, one reference each (may be null)

    // Timing of the current run: frame ticks count from the start.
    UINT64 m_nRun;  // changes on every start, stop and loss
    FrameFormat m_format;
    std::chrono::steady_clock::time_point m_tStart;
    LONGLONG m_llStartTime;
    LONGLONG m_llNextTime;  // stamps never go back, also when unpaced runs outpace the clock
    UINT64 m_nNextTick;
    UINT32 m_nRunFirstFrame;  // frame number of tick 0
    UINT32 m_nNextFrame;      // frame numbers go on across runs
    bool m_bDiscontinuity;
    bool m_bEnded;  // MEEndOfStream sent in this run

    std::thread m_worker;

    // Worker thread only.
    std::vector<std::vector<BYTE>> m_jpegs;
    UINT32 m_nJpegWidth;
    UINT32 m_nJpegHeight;
};
