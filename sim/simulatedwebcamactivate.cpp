#include "simulatedwebcamactivate.h"

#include <mfapi.h>
#include <mferror.h>

#include "simulatedwebcam.h"
#include "simulatedwebcamsource.h"

HRESULT SimulatedWebcamActivate::Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                                        SimulatedWebcamActivate** ppActivate)
{
    if (ppActivate == NULL)
        return E_POINTER;
    *ppActivate = NULL;

    const SimulatedWebcamSpec& webcamSpec = webcam->GetSpec();
    IMFAttributes* pAttributes = NULL;
    HRESULT hr = MFCreateAttributes(&pAttributes, 3);
    if (SUCCEEDED(hr))
        hr = pAttributes->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME,
                                    webcamSpec.friendlyName.c_str());
    if (SUCCEEDED(hr))
        hr = pAttributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    if (SUCCEEDED(hr))
        hr = pAttributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK,
                                    webcamSpec.symbolicLink.c_str());
    if (SUCCEEDED(hr))
    {
        *ppActivate = new (std::nothrow) SimulatedWebcamActivate(webcam, pAttributes);
        if (*ppActivate == NULL)
            hr = E_OUTOFMEMORY;
    }
    if (pAttributes != NULL)
        pAttributes->Release();
    return hr;
}

SimulatedWebcamActivate::SimulatedWebcamActivate(const std::shared_ptr<SimulatedWebcam>& webcam,
                                                 IMFAttributes* pAttributes)
    : ForwardedAttributes<IMFActivate>(pAttributes), m_webcam(webcam), m_pSource(NULL)
{
}

SimulatedWebcamActivate::~SimulatedWebcamActivate()
{
    if (m_pSource != NULL)
        m_pSource->Release();
}

bool SimulatedWebcamActivate::AnswersInterface(REFIID riid) const
{
    return riid == IID_IMFActivate || riid == IID_IMFAttributes;
}

STDMETHODIMP SimulatedWebcamActivate::ActivateObject(REFIID riid, void** ppv)
{
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    m_webcam->WaitOutActivationDelay();
    HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_ACTIVATE);
    if (FAILED(hr))
        return hr;

    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_webcam->IsPlugged())
        return MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
    if (m_pSource == NULL)
        hr = SimulatedWebcamSource::Create(m_webcam, &m_pSource);
    if (SUCCEEDED(hr))
        hr = m_pSource->QueryInterface(riid, ppv);
    return hr;
}

SimulatedWebcamSource* SimulatedWebcamActivate::TakeSource()
{
    std::lock_guard<std::mutex> guard(m_lock);
    SimulatedWebcamSource* pSource = m_pSource;
    m_pSource = NULL;
    return pSource;
}

STDMETHODIMP SimulatedWebcamActivate::ShutdownObject()
{
    SimulatedWebcamSource* pSource = TakeSource();
    if (pSource != NULL)
    {
        pSource->Shutdown();
        pSource->Release();
    }
    return S_OK;
}

STDMETHODIMP SimulatedWebcamActivate::DetachObject()
{
    SimulatedWebcamSource* pSource = TakeSource();
    if (pSource != NULL)
        pSource->Release();
    return S_OK;
}
