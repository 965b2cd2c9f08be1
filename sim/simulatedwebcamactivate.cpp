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
    : m_webcam(webcam), m_pAttributes(pAttributes), m_pSource(NULL)
{
    m_pAttributes->AddRef();
}

SimulatedWebcamActivate::~SimulatedWebcamActivate()
{
    if (m_pSource != NULL)
        m_pSource->Release();
    m_pAttributes->Release();
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

// The attribute store answers for itself, with the platform's own codes.
STDMETHODIMP SimulatedWebcamActivate::GetItem(REFGUID guidKey, PROPVARIANT* pValue)
{
    return m_pAttributes->GetItem(guidKey, pValue);
}

STDMETHODIMP SimulatedWebcamActivate::GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType)
{
    return m_pAttributes->GetItemType(guidKey, pType);
}

STDMETHODIMP SimulatedWebcamActivate::CompareItem(REFGUID guidKey, REFPROPVARIANT Value,
                                                  BOOL* pbResult)
{
    return m_pAttributes->CompareItem(guidKey, Value, pbResult);
}

STDMETHODIMP SimulatedWebcamActivate::Compare(IMFAttributes* pTheirs,
                                              MF_ATTRIBUTES_MATCH_TYPE MatchType, BOOL* pbResult)
{
    return m_pAttributes->Compare(pTheirs, MatchType, pbResult);
}

STDMETHODIMP SimulatedWebcamActivate::GetUINT32(REFGUID guidKey, UINT32* punValue)
{
    return m_pAttributes->GetUINT32(guidKey, punValue);
}

STDMETHODIMP SimulatedWebcamActivate::GetUINT64(REFGUID guidKey, UINT64* punValue)
{
    return m_pAttributes->GetUINT64(guidKey, punValue);
}

STDMETHODIMP SimulatedWebcamActivate::GetDouble(REFGUID guidKey, double* pfValue)
{
    return m_pAttributes->GetDouble(guidKey, pfValue);
}

STDMETHODIMP SimulatedWebcamActivate::GetGUID(REFGUID guidKey, GUID* pguidValue)
{
    return m_pAttributes->GetGUID(guidKey, pguidValue);
}

STDMETHODIMP SimulatedWebcamActivate::GetStringLength(REFGUID guidKey, UINT32* pcchLength)
{
    return m_pAttributes->GetStringLength(guidKey, pcchLength);
}

STDMETHODIMP SimulatedWebcamActivate::GetString(REFGUID guidKey, LPWSTR pwszValue,
                                                UINT32 cchBufSize, UINT32* pcchLength)
{
    return m_pAttributes->GetString(guidKey, pwszValue, cchBufSize, pcchLength);
}

STDMETHODIMP SimulatedWebcamActivate::GetAllocatedString(REFGUID guidKey, LPWSTR* ppwszValue,
                                                         UINT32* pcchLength)
{
    return m_pAttributes->GetAllocatedString(guidKey, ppwszValue, pcchLength);
}

STDMETHODIMP SimulatedWebcamActivate::GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize)
{
    return m_pAttributes->GetBlobSize(guidKey, pcbBlobSize);
}

STDMETHODIMP SimulatedWebcamActivate::GetBlob(REFGUID guidKey, UINT8* pBuf, UINT32 cbBufSize,
                                              UINT32* pcbBlobSize)
{
    return m_pAttributes->GetBlob(guidKey, pBuf, cbBufSize, pcbBlobSize);
}

STDMETHODIMP SimulatedWebcamActivate::GetAllocatedBlob(REFGUID guidKey, UINT8** ppBuf,
                                                       UINT32* pcbSize)
{
    return m_pAttributes->GetAllocatedBlob(guidKey, ppBuf, pcbSize);
}

STDMETHODIMP SimulatedWebcamActivate::GetUnknown(REFGUID guidKey, REFIID riid, LPVOID* ppv)
{
    return m_pAttributes->GetUnknown(guidKey, riid, ppv);
}

STDMETHODIMP SimulatedWebcamActivate::SetItem(REFGUID guidKey, REFPROPVARIANT Value)
{
    return m_pAttributes->SetItem(guidKey, Value);
}

STDMETHODIMP SimulatedWebcamActivate::DeleteItem(REFGUID guidKey)
{
    return m_pAttributes->DeleteItem(guidKey);
}

STDMETHODIMP SimulatedWebcamActivate::DeleteAllItems()
{
    return m_pAttributes->DeleteAllItems();
}

STDMETHODIMP SimulatedWebcamActivate::SetUINT32(REFGUID guidKey, UINT32 unValue)
{
    return m_pAttributes->SetUINT32(guidKey, unValue);
}

STDMETHODIMP SimulatedWebcamActivate::SetUINT64(REFGUID guidKey, UINT64 unValue)
{
    return m_pAttributes->SetUINT64(guidKey, unValue);
}

STDMETHODIMP SimulatedWebcamActivate::SetDouble(REFGUID guidKey, double fValue)
{
    return m_pAttributes->SetDouble(guidKey, fValue);
}

STDMETHODIMP SimulatedWebcamActivate::SetGUID(REFGUID guidKey, REFGUID guidValue)
{
    return m_pAttributes->SetGUID(guidKey, guidValue);
}

STDMETHODIMP SimulatedWebcamActivate::SetString(REFGUID guidKey, LPCWSTR wszValue)
{
    return m_pAttributes->SetString(guidKey, wszValue);
}

STDMETHODIMP SimulatedWebcamActivate::SetBlob(REFGUID guidKey, const UINT8* pBuf,
                                              UINT32 cbBufSize)
{
    return m_pAttributes->SetBlob(guidKey, pBuf, cbBufSize);
}

STDMETHODIMP SimulatedWebcamActivate::SetUnknown(REFGUID guidKey, IUnknown* pUnknown)
{
    return m_pAttributes->SetUnknown(guidKey, pUnknown);
}

STDMETHODIMP SimulatedWebcamActivate::LockStore()
{
    return m_pAttributes->LockStore();
}

STDMETHODIMP SimulatedWebcamActivate::UnlockStore()
{
    return m_pAttributes->UnlockStore();
}

STDMETHODIMP SimulatedWebcamActivate::GetCount(UINT32* pcItems)
{
    return m_pAttributes->GetCount(pcItems);
}

STDMETHODIMP SimulatedWebcamActivate::GetItemByIndex(UINT32 unIndex, GUID* pguidKey,
                                                     PROPVARIANT* pValue)
{
    return m_pAttributes->GetItemByIndex(unIndex, pguidKey, pValue);
}

STDMETHODIMP SimulatedWebcamActivate::CopyAllItems(IMFAttributes* pDest)
{
    return m_pAttributes->CopyAllItems(pDest);
}
