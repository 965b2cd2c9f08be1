#pragma once

#include <windows.h>
#include <mfidl.h>

#include <mutex>

#include "webcameventgenerator.h"
#include "webcamobjectcount.h"

class SimulatedWebcamSource;

// The one video stream of a simulated webcam's media source. Its events go
// through a queue made by MFCreateEventQueue; sample requests go to the
// source, which owns the stream. The stream only points back at its source,
// so a source that is released without being shut down is still destroyed,
// and a stream that outlives its source answers MF_E_SHUTDOWN.
class SimulatedWebcamStream : private WebcamObjectCount, public WebcamEventGenerator<IMFMediaStream>
{
public:
    static HRESULT Create(SimulatedWebcamSource* pSource, IMFStreamDescriptor* pDescriptor,
                          SimulatedWebcamStream** ppStream);

    // IMFMediaStream
    STDMETHODIMP GetMediaSource(IMFMediaSource** ppMediaSource) override;
    STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor** ppStreamDescriptor) override;
    STDMETHODIMP RequestSample(IUnknown* pToken) override;

    // For the source.
    HRESULT QueueSample(IMFSample* pSample);
    void ShutdownEvents();  // without locks held: see WebcamEventQueue
    void DetachSource();    // the source is going away

protected:
    bool AnswersInterface(REFIID riid) const override;

private:
    SimulatedWebcamStream(SimulatedWebcamSource* pSource, IMFStreamDescriptor* pDescriptor);
    ~SimulatedWebcamStream() override;

    std::mutex m_sourceLock;           // taken before the source's own lock
    SimulatedWebcamSource* m_pSource;  // no reference: the source owns the stream
    IMFStreamDescriptor* const m_pDescriptor;
};
