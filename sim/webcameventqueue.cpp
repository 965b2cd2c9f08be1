#include "webcameventqueue.h"

#include <mfapi.h>
#include <mferror.h>

#include <chrono>

WebcamEventQueue::WebcamEventQueue()
    : m_pQueue(NULL), m_bShutDown(false), m_bListenerPending(false), m_nEventsWaiting(0)
{
}

WebcamEventQueue::~WebcamEventQueue()
{
    IMFMediaEventQueue* pQueue = NULL;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bShutDown = true;
        pQueue = TakeQueueLocked();
    }
    EndQueue(pQueue);
}

HRESULT WebcamEventQueue::Create()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pQueue != NULL || m_bShutDown)
        return E_UNEXPECTED;
    return MFCreateEventQueue(&m_pQueue);
}

IMFMediaEventQueue* WebcamEventQueue::TakeQueueLocked()
{
    IMFMediaEventQueue* pQueue = m_pQueue;
    m_pQueue = NULL;
    m_bListenerPending = false;
    m_nEventsWaiting = 0;
    m_listenerChanged.notify_all();
    return pQueue;
}

void WebcamEventQueue::EndQueue(IMFMediaEventQueue* pQueue)
{
    if (pQueue != NULL)
    {
        pQueue->Shutdown();
        pQueue->Release();
    }
}

HRESULT WebcamEventQueue::GetEvent(DWORD dwFlags, IMFMediaEvent** ppEvent)
{
    IMFMediaEventQueue* pQueue = NULL;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bShutDown || m_pQueue == NULL)
            return MF_E_SHUTDOWN;
        pQueue = m_pQueue;
        pQueue->AddRef();
    }
    // It may block until an event comes: not under the lock.
    HRESULT hr = pQueue->GetEvent(dwFlags, ppEvent);
    pQueue->Release();
    if (SUCCEEDED(hr))
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_nEventsWaiting > 0)
            --m_nEventsWaiting;
    }
    return hr;
}

HRESULT WebcamEventQueue::BeginGetEvent(IMFAsyncCallback* pCallback, IUnknown* punkState)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_bShutDown || m_pQueue == NULL)
        return MF_E_SHUTDOWN;
    HRESULT hr = m_pQueue->BeginGetEvent(pCallback, punkState);
    if (hr == MF_E_MULTIPLE_SUBSCRIBERS && m_bListenerPending && m_nEventsWaiting > 0)
    {
        // The listener has an event on its way and may be leaving with it.
        m_listenerChanged.wait_for(lock, std::chrono::milliseconds(2000),
                                   [this] { return !m_bListenerPending || m_pQueue == NULL; });
        if (m_pQueue == NULL)
            return MF_E_SHUTDOWN;
        hr = m_pQueue->BeginGetEvent(pCallback, punkState);
    }
    if (SUCCEEDED(hr))
        m_bListenerPending = true;
    return hr;
}

HRESULT WebcamEventQueue::EndGetEvent(IMFAsyncResult* pResult, IMFMediaEvent** ppEvent)
{
    IMFMediaEventQueue* pEnded = NULL;
    HRESULT hr = S_OK;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_pQueue == NULL)
            return MF_E_SHUTDOWN;
        hr = m_pQueue->EndGetEvent(pResult, ppEvent);
        m_bListenerPending = false;
        if (SUCCEEDED(hr) && m_nEventsWaiting > 0)
            --m_nEventsWaiting;
        m_listenerChanged.notify_all();
        // The listener has its last event: the shutdown can finish.
        if (m_bShutDown)
            pEnded = TakeQueueLocked();
    }
    EndQueue(pEnded);
    return hr;
}

HRESULT WebcamEventQueue::QueueEventParamVar(MediaEventType met, REFGUID guidExtendedType,
                                             HRESULT hrStatus, const PROPVARIANT* pvValue)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bShutDown || m_pQueue == NULL)
        return MF_E_SHUTDOWN;
    HRESULT hr = m_pQueue->QueueEventParamVar(met, guidExtendedType, hrStatus, pvValue);
    if (SUCCEEDED(hr))
        ++m_nEventsWaiting;
    return hr;
}

HRESULT WebcamEventQueue::QueueEventParamUnk(MediaEventType met, REFGUID guidExtendedType,
                                             HRESULT hrStatus, IUnknown* pUnk)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bShutDown || m_pQueue == NULL)
        return MF_E_SHUTDOWN;
    HRESULT hr = m_pQueue->QueueEventParamUnk(met, guidExtendedType, hrStatus, pUnk);
    if (SUCCEEDED(hr))
        ++m_nEventsWaiting;
    return hr;
}

void WebcamEventQueue::Shutdown()
{
    IMFMediaEventQueue* pQueue = NULL;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bShutDown)
            return;
        m_bShutDown = true;
        if (m_bListenerPending && m_pQueue != NULL)
        {
            PROPVARIANT varEmpty;
            PropVariantInit(&varEmpty);
            if (SUCCEEDED(
                    m_pQueue->QueueEventParamVar(MEError, GUID_NULL, MF_E_SHUTDOWN, &varEmpty)))
            {
                return;  // finished by the listener's EndGetEvent
            }
        }
        pQueue = TakeQueueLocked();
    }
    EndQueue(pQueue);
}
