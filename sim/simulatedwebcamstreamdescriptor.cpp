#include "simulatedwebcamstreamdescriptor.h"

#include <new>

#include "simulatedwebcam.h"

// The platform's type handler, whose SetCurrentMediaType first asks the
// webcam whether it is to fail.
class SimulatedWebcamTypeHandler : public ComObject<IMFMediaTypeHandler>
{
public:
    SimulatedWebcamTypeHandler(const std::shared_ptr<SimulatedWebcam>& webcam,
                               IMFMediaTypeHandler* pPlatform)
        : m_webcam(webcam), m_pPlatform(pPlatform)
    {
        m_pPlatform->AddRef();
    }

    STDMETHODIMP IsMediaTypeSupported(IMFMediaType* pMediaType, IMFMediaType** ppMediaType) override
    {
        return m_pPlatform->IsMediaTypeSupported(pMediaType, ppMediaType);
    }
    STDMETHODIMP GetMediaTypeCount(DWORD* pdwTypeCount) override
    {
        return m_pPlatform->GetMediaTypeCount(pdwTypeCount);
    }
    STDMETHODIMP GetMediaTypeByIndex(DWORD dwIndex, IMFMediaType** ppType) override
    {
        return m_pPlatform->GetMediaTypeByIndex(dwIndex, ppType);
    }
    STDMETHODIMP SetCurrentMediaType(IMFMediaType* pMediaType) override
    {
        HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE);
        return FAILED(hr) ? hr : m_pPlatform->SetCurrentMediaType(pMediaType);
    }
    STDMETHODIMP GetCurrentMediaType(IMFMediaType** ppMediaType) override
    {
        return m_pPlatform->GetCurrentMediaType(ppMediaType);
    }
    STDMETHODIMP GetMajorType(GUID* pguidMajorType) override
    {
        return m_pPlatform->GetMajorType(pguidMajorType);
    }

protected:
    bool AnswersInterface(REFIID riid) const override { return riid == IID_IMFMediaTypeHandler; }

private:
    ~SimulatedWebcamTypeHandler() override { m_pPlatform->Release(); }

    const std::shared_ptr<SimulatedWebcam> m_webcam;
    IMFMediaTypeHandler* const m_pPlatform;
};

HRESULT SimulatedWebcamStreamDescriptor::Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                                                IMFStreamDescriptor* pPlatform,
                                                IMFStreamDescriptor** ppDescriptor)
{
    if (pPlatform == NULL || ppDescriptor == NULL)
        return E_POINTER;
    *ppDescriptor = new (std::nothrow) SimulatedWebcamStreamDescriptor(webcam, pPlatform);
    return *ppDescriptor != NULL ? S_OK : E_OUTOFMEMORY;
}

SimulatedWebcamStreamDescriptor::SimulatedWebcamStreamDescriptor(
    const std::shared_ptr<SimulatedWebcam>& webcam, IMFStreamDescriptor* pPlatform)
    : ForwardedAttributes<IMFStreamDescriptor>(pPlatform), m_webcam(webcam), m_pPlatform(pPlatform)
{
    m_pPlatform->AddRef();
}

SimulatedWebcamStreamDescriptor::~SimulatedWebcamStreamDescriptor()
{
    m_pPlatform->Release();
}

bool SimulatedWebcamStreamDescriptor::AnswersInterface(REFIID riid) const
{
    return riid == IID_IMFStreamDescriptor || riid == IID_IMFAttributes;
}

STDMETHODIMP SimulatedWebcamStreamDescriptor::GetStreamIdentifier(DWORD* pdwStreamIdentifier)
{
    return m_pPlatform->GetStreamIdentifier(pdwStreamIdentifier);
}

STDMETHODIMP SimulatedWebcamStreamDescriptor::GetMediaTypeHandler(
    IMFMediaTypeHandler** ppMediaTypeHandler)
{
    if (ppMediaTypeHandler == NULL)
        return E_POINTER;
    *ppMediaTypeHandler = NULL;
    IMFMediaTypeHandler* pPlatformHandler = NULL;
    HRESULT hr = m_pPlatform->GetMediaTypeHandler(&pPlatformHandler);
    if (FAILED(hr))
        return hr;
    *ppMediaTypeHandler = new (std::nothrow) SimulatedWebcamTypeHandler(m_webcam, pPlatformHandler);
    pPlatformHandler->Release();
    return *ppMediaTypeHandler != NULL ? S_OK : E_OUTOFMEMORY;
}
