#include "simulatedwebcamstream.h"

#include <mferror.h>

#include <new>

#include "simulatedwebcamsource.h"

HRESULT SimulatedWebcamStream::Create(SimulatedWebcamSource* pSource,
                                      IMFStreamDescriptor* pDescriptor,
                                      SimulatedWebcamStream** ppStream)
{
    if (pSource == NULL || pDescriptor == NULL || ppStream == NULL)
        return E_POINTER;
    *ppStream = NULL;
    SimulatedWebcamStream* pStream = new (std::nothrow) SimulatedWebcamStream(pSource, pDescriptor);
    if (pStream == NULL)
        return E_OUTOFMEMORY;
    HRESULT hr = pStream->m_events.Create();
    if (FAILED(hr))
    {
        pStream->Release();
        return hr;
    }
    *ppStream = pStream;
    return S_OK;
}

SimulatedWebcamStream::SimulatedWebcamStream(SimulatedWebcamSource* pSource,
                                             IMFStreamDescriptor* pDescriptor)
    : m_pSource(pSource), m_pDescriptor(pDescriptor)
{
    m_pDescriptor->AddRef();
}

SimulatedWebcamStream::~SimulatedWebcamStream()
{
    m_events.Shutdown();
    m_pDescriptor->Release();
}

bool SimulatedWebcamStream::AnswersInterface(REFIID riid) const
{
    return riid == IID_IMFMediaStream || riid == IID_IMFMediaEventGenerator;
}

STDMETHODIMP SimulatedWebcamStream::GetMediaSource(IMFMediaSource** ppMediaSource)
{
    if (ppMediaSource == NULL)
        return E_POINTER;
    *ppMediaSource = NULL;
    std::lock_guard<std::mutex> guard(m_sourceLock);
    if (m_pSource == NULL || m_pSource->IsShutDown() || !m_pSource->TryAddRef())
        return MF_E_SHUTDOWN;
    *ppMediaSource = m_pSource;
    return S_OK;
}

STDMETHODIMP SimulatedWebcamStream::GetStreamDescriptor(IMFStreamDescriptor** ppStreamDescriptor)
{
    if (ppStreamDescriptor == NULL)
        return E_POINTER;
    *ppStreamDescriptor = NULL;
    {
        std::lock_guard<std::mutex> guard(m_sourceLock);
        if (m_pSource == NULL || m_pSource->IsShutDown())
            return MF_E_SHUTDOWN;
    }
    *ppStreamDescriptor = m_pDescriptor;
    m_pDescriptor->AddRef();
    return S_OK;
}

STDMETHODIMP SimulatedWebcamStream::RequestSample(IUnknown* pToken)
{
    // The lock keeps the source from being destroyed while it takes the request.
    std::lock_guard<std::mutex> guard(m_sourceLock);
    if (m_pSource == NULL)
        return MF_E_SHUTDOWN;
    return m_pSource->AcceptSampleRequest(pToken);
}

HRESULT SimulatedWebcamStream::QueueSample(IMFSample* pSample)
{
    return m_events.QueueEventParamUnk(MEMediaSample, GUID_NULL, S_OK, pSample);
}

void SimulatedWebcamStream::ShutdownEvents()
{
    m_events.Shutdown();
}

void SimulatedWebcamStream::DetachSource()
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    m_pSource = NULL;
}
