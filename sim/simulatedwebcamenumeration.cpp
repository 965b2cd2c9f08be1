#include "simulatedwebcamenumeration.h"

#include <mfapi.h>
#include <objbase.h>

#include <algorithm>

#include "capture/capturedeviceenumeration.h"
#include "simulatedwebcam.h"

SimulatedWebcamEnumeration* SimulatedWebcamEnumeration::s_pInstalled = NULL;

SimulatedWebcamEnumeration::SimulatedWebcamEnumeration()
    : m_hrFailure(S_OK), m_nFailuresLeft(0), m_nCalls(0)
{
    s_pInstalled = this;
    gCaptureDeviceEnum.pfnMFEnumDeviceSources = EnumDeviceSourcesHook;
}

SimulatedWebcamEnumeration::~SimulatedWebcamEnumeration()
{
    gCaptureDeviceEnum.pfnMFEnumDeviceSources = MFEnumDeviceSources;
    s_pInstalled = NULL;
}

void SimulatedWebcamEnumeration::Add(const std::shared_ptr<SimulatedWebcam>& webcam)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_webcams.push_back(webcam);
}

void SimulatedWebcamEnumeration::Remove(const std::shared_ptr<SimulatedWebcam>& webcam)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_webcams.erase(std::remove(m_webcams.begin(), m_webcams.end(), webcam), m_webcams.end());
}

void SimulatedWebcamEnumeration::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_webcams.clear();
}

void SimulatedWebcamEnumeration::FailEnumeration(HRESULT hr, int nTimes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hrFailure = hr;
    m_nFailuresLeft = nTimes;
}

int SimulatedWebcamEnumeration::GetCallCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nCalls;
}

HRESULT STDAPICALLTYPE SimulatedWebcamEnumeration::EnumDeviceSourcesHook(
    IMFAttributes* pAttributes, IMFActivate*** pppSourceActivate, UINT32* pcSourceActivate)
{
    return s_pInstalled->Enumerate(pAttributes, pppSourceActivate, pcSourceActivate);
}

HRESULT SimulatedWebcamEnumeration::Enumerate(IMFAttributes* pAttributes,
                                              IMFActivate*** pppSourceActivate,
                                              UINT32* pcSourceActivate)
{
    std::vector<std::shared_ptr<SimulatedWebcam>> listed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_nCalls;
        if (m_nFailuresLeft != 0)
        {
            if (m_nFailuresLeft > 0)
                --m_nFailuresLeft;
            return m_hrFailure;
        }
        listed = m_webcams;
    }
    if (pAttributes == NULL || pppSourceActivate == NULL || pcSourceActivate == NULL)
        return E_INVALIDARG;
    *pppSourceActivate = NULL;
    *pcSourceActivate = 0;

    GUID sourceType = GUID_NULL;
    HRESULT hr = pAttributes->GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType);
    if (FAILED(hr))
        return hr;
    if (sourceType == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID)
        return S_OK;
    if (sourceType != MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)
        return E_INVALIDARG;

    listed.erase(std::remove_if(listed.begin(), listed.end(),
                                [](const std::shared_ptr<SimulatedWebcam>& webcam)
                                { return !webcam->IsPlugged(); }),
                 listed.end());
    if (listed.empty())
        return S_OK;

    IMFActivate** ppActivates =
        static_cast<IMFActivate**>(CoTaskMemAlloc(sizeof(IMFActivate*) * listed.size()));
    if (ppActivates == NULL)
        return E_OUTOFMEMORY;
    UINT32 nCreated = 0;
    while (SUCCEEDED(hr) && nCreated < listed.size())
    {
        hr = listed[nCreated]->CreateActivate(&ppActivates[nCreated]);
        if (SUCCEEDED(hr))
            ++nCreated;
    }
    if (FAILED(hr))
    {
        for (UINT32 i = 0; i < nCreated; ++i)
            ppActivates[i]->Release();
        CoTaskMemFree(ppActivates);
        return hr;
    }
    *pppSourceActivate = ppActivates;
    *pcSourceActivate = nCreated;
    return S_OK;
}
