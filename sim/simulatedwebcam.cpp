#include "simulatedwebcam.h"

#include <dbt.h>
#include <mferror.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>

#include "simulatedwebcamactivate.h"
#include "simulatedwebcamsource.h"

namespace
{
// The device interface class of cameras, as it ends a webcam's symbolic link.
const GUID kVideoCameraInterfaceClass = {
    0xe5323777, 0xf976, 0x4f5b, {0x9b, 0x55, 0xb9, 0x46, 0x99, 0xc4, 0x6e, 0x44}};
}  // namespace

SimulatedWebcamFormat MakeWebcamFormat(const GUID& subtype, UINT32 nWidth, UINT32 nHeight,
                                       UINT32 nRateNumerator, UINT32 nRateDenominator)
{
    SimulatedWebcamFormat format = {subtype, nWidth, nHeight, nRateNumerator, nRateDenominator};
    return format;
}

std::wstring MakeWebcamSymbolicLink(USHORT nVendorId, USHORT nProductId, const wchar_t* pszInstance)
{
    wchar_t wszLink[260] = {};
    swprintf(wszLink, 260,
             L"\\\\?\\usb#vid_%04x&pid_%04x&mi_00#%ls#{e5323777-f976-4f5b-9b55-b94699c46e44}"
             L"\\global",
             nVendorId, nProductId, pszInstance != NULL ? pszInstance : L"6&2b7a0b4&0&0000");
    return wszLink;
}

SimulatedWebcamSpec MakeWebcamSpec(const std::wstring& friendlyName,
                                   const std::wstring& symbolicLink,
                                   const std::vector<SimulatedWebcamFormat>& formats)
{
    SimulatedWebcamSpec webcamSpec;
    webcamSpec.friendlyName = friendlyName;
    webcamSpec.symbolicLink = symbolicLink;
    webcamSpec.formats = formats;
    webcamSpec.bPaced = true;
    webcamSpec.nMjpgPictureCount = 16;
    webcamSpec.nInitialFormat = 0;
    return webcamSpec;
}

std::shared_ptr<SimulatedWebcam> SimulatedWebcam::Create(const SimulatedWebcamSpec& webcamSpec)
{
    return std::shared_ptr<SimulatedWebcam>(new SimulatedWebcam(webcamSpec));
}

SimulatedWebcam::SimulatedWebcam(const SimulatedWebcamSpec& webcamSpec)
    : m_spec(webcamSpec),
      m_bPlugged(true),
      m_eDelivery(WEBCAM_DELIVER_SAMPLES),
      m_hrDeliveryError(E_FAIL),
      m_nCurrentFormat(webcamSpec.nInitialFormat),
      m_nStartedSources(0),
      m_nShutdowns(0),
      m_nSamples(0),
      m_nErrorEvents(0),
      m_dwActivationDelayMs(0),
      m_nActivationDelayChanges(0),
      m_nWaitingActivations(0),
      m_eFrameFault(WEBCAM_FRAMES_WHOLE),
      m_bBusy(false)
{
    for (int i = 0; i < WEBCAM_CALL_COUNT; ++i)
    {
        m_failures[i].hr = S_OK;
        m_failures[i].nTimesLeft = 0;
        m_failures[i].nPassesLeft = 0;
        m_nCalls[i] = 0;
    }
}

SimulatedWebcam::~SimulatedWebcam() {}

HRESULT SimulatedWebcam::CreateActivate(IMFActivate** ppActivate)
{
    if (ppActivate == NULL)
        return E_POINTER;
    *ppActivate = NULL;
    SimulatedWebcamActivate* pActivate = NULL;
    HRESULT hr = SimulatedWebcamActivate::Create(shared_from_this(), &pActivate);
    if (SUCCEEDED(hr))
        *ppActivate = pActivate;
    return hr;
}

void SimulatedWebcam::FailCall(SimulatedWebcamCall eCall, HRESULT hr, int nTimes, int nAfter)
{
    if (eCall < 0 || eCall >= WEBCAM_CALL_COUNT)
        return;
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_failures[eCall].hr = hr;
    m_failures[eCall].nTimesLeft = nTimes;
    m_failures[eCall].nPassesLeft = nAfter;
}

void SimulatedWebcam::SetActivationDelay(DWORD dwDelayMs)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_dwActivationDelayMs = dwDelayMs;
    ++m_nActivationDelayChanges;
    m_activationDelayChanged.notify_all();
}

int SimulatedWebcam::GetWaitingActivationCount()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nWaitingActivations;
}

void SimulatedWebcam::WaitOutActivationDelay()
{
    std::unique_lock<std::mutex> guard(m_statsLock);
    if (m_dwActivationDelayMs == 0)
        return;
    UINT64 nChanges = m_nActivationDelayChanges;
    auto changed = [&] { return m_nActivationDelayChanges != nChanges; };
    ++m_nWaitingActivations;
    if (m_dwActivationDelayMs == INFINITE)
        m_activationDelayChanged.wait(guard, changed);
    else
        m_activationDelayChanged.wait_for(guard, std::chrono::milliseconds(m_dwActivationDelayMs),
                                          changed);
    --m_nWaitingActivations;
}

void SimulatedWebcam::ClearFailures()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    for (int i = 0; i < WEBCAM_CALL_COUNT; ++i)
    {
        m_failures[i].hr = S_OK;
        m_failures[i].nTimesLeft = 0;
        m_failures[i].nPassesLeft = 0;
    }
}

void SimulatedWebcam::SetDelivery(SimulatedWebcamDelivery eDelivery, HRESULT hrError)
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    m_eDelivery = eDelivery;
    m_hrDeliveryError = hrError;
    for (SimulatedWebcamSource* pSource : m_sources)
        pSource->OnDeliveryChanged(eDelivery, hrError);
}

void SimulatedWebcam::ChangeFormat(size_t nFormat)
{
    if (nFormat >= m_spec.formats.size())
        return;
    std::lock_guard<std::mutex> guard(m_controlLock);
    m_nCurrentFormat = nFormat;
    for (SimulatedWebcamSource* pSource : m_sources)
        pSource->OnFormatChanged(m_spec.formats[nFormat]);
}

size_t SimulatedWebcam::GetCurrentFormat()
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    return m_nCurrentFormat;
}

void SimulatedWebcam::Unplug(SimulatedWebcamLoss eLoss)
{
    // A source that shuts down may lose its last reference on the way (a
    // reader waiting on its events goes), so it is told without the lock.
    std::vector<SimulatedWebcamSource*> sources;
    {
        std::lock_guard<std::mutex> guard(m_controlLock);
        m_bPlugged = false;
        for (SimulatedWebcamSource* pSource : m_sources)
        {
            if (pSource->TryAddRef())
                sources.push_back(pSource);
        }
    }
    for (SimulatedWebcamSource* pSource : sources)
    {
        pSource->OnDeviceLost(eLoss);
        pSource->Release();
    }
}

void SimulatedWebcam::Plug()
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    m_bPlugged = true;
}

bool SimulatedWebcam::IsPlugged()
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    return m_bPlugged;
}

std::vector<BYTE> SimulatedWebcam::MakeInterfaceBroadcast() const
{
    int cbName =
        WideCharToMultiByte(CP_ACP, 0, m_spec.symbolicLink.c_str(), -1, NULL, 0, NULL, NULL);
    if (cbName <= 0)
        cbName = 1;
    size_t cbBroadcast = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + cbName;
    std::vector<BYTE> broadcast(cbBroadcast, 0);
    DEV_BROADCAST_DEVICEINTERFACE_A* pBroadcast =
        reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(broadcast.data());
    pBroadcast->dbcc_size = static_cast<DWORD>(cbBroadcast);
    pBroadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    pBroadcast->dbcc_classguid = kVideoCameraInterfaceClass;
    WideCharToMultiByte(CP_ACP, 0, m_spec.symbolicLink.c_str(), -1, pBroadcast->dbcc_name, cbName,
                        NULL, NULL);
    return broadcast;
}

int SimulatedWebcam::GetCallCount(SimulatedWebcamCall eCall)
{
    if (eCall < 0 || eCall >= WEBCAM_CALL_COUNT)
        return 0;
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nCalls[eCall];
}

int SimulatedWebcam::GetLiveSourceCount()
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    return static_cast<int>(m_sources.size());
}

int SimulatedWebcam::GetStartedSourceCount()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nStartedSources;
}

int SimulatedWebcam::GetShutdownCount()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nShutdowns;
}

UINT64 SimulatedWebcam::GetSampleCount()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nSamples;
}

int SimulatedWebcam::GetErrorEventCount()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_nErrorEvents;
}

bool SimulatedWebcam::WaitForSampleCount(UINT64 nSamples, DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_statsLock);
    return m_sampleSent.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                                 [&] { return m_nSamples >= nSamples; });
}

void SimulatedWebcam::SetFrameFault(SimulatedWebcamFrameFault eFault)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_eFrameFault = eFault;
}

SimulatedWebcamFrameFault SimulatedWebcam::GetFrameFault()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_eFrameFault;
}

void SimulatedWebcam::SetBusy(bool bBusy)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_bBusy = bBusy;
}

HRESULT SimulatedWebcam::TakeFailure(SimulatedWebcamCall eCall)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_nCalls[eCall];
    if (m_bBusy && (eCall == WEBCAM_CALL_ACTIVATE || eCall == WEBCAM_CALL_START))
        return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    Failure& failure = m_failures[eCall];
    if (failure.nTimesLeft == 0)
        return S_OK;
    if (failure.nPassesLeft > 0)
    {
        --failure.nPassesLeft;
        return S_OK;
    }
    if (failure.nTimesLeft > 0)
        --failure.nTimesLeft;
    return failure.hr;
}

bool SimulatedWebcam::AddSource(SimulatedWebcamSource* pSource)
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    if (!m_bPlugged)
        return false;
    m_sources.push_back(pSource);
    pSource->OnDeliveryChanged(m_eDelivery, m_hrDeliveryError);
    return true;
}

void SimulatedWebcam::RemoveSource(SimulatedWebcamSource* pSource)
{
    std::lock_guard<std::mutex> guard(m_controlLock);
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), pSource), m_sources.end());
}

void SimulatedWebcam::CountStarted(int nDelta)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_nStartedSources += nDelta;
}

void SimulatedWebcam::CountShutdown()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_nShutdowns;
}

void SimulatedWebcam::CountSample()
{
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        ++m_nSamples;
    }
    m_sampleSent.notify_all();
}

void SimulatedWebcam::CountErrorEvent()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_nErrorEvents;
}
