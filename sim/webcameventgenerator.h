#pragma once

#include <windows.h>
#include <mfidl.h>

#include "comobject.h"
#include "webcameventqueue.h"

// IMFMediaEventGenerator for a simulated webcam's source and stream: every
// call goes to the object's own WebcamEventQueue, which the derived class
// creates, feeds and shuts down.
template <typename TInterface>
class WebcamEventGenerator : public ComObject<TInterface>
{
public:
    STDMETHODIMP GetEvent(DWORD dwFlags, IMFMediaEvent** ppEvent) override
    {
        return m_events.GetEvent(dwFlags, ppEvent);
    }

    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* pCallback, IUnknown* punkState) override
    {
        return m_events.BeginGetEvent(pCallback, punkState);
    }

    STDMETHODIMP EndGetEvent(IMFAsyncResult* pResult, IMFMediaEvent** ppEvent) override
    {
        return m_events.EndGetEvent(pResult, ppEvent);
    }

    STDMETHODIMP QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                            const PROPVARIANT* pvValue) override
    {
        return m_events.QueueEventParamVar(met, guidExtendedType, hrStatus, pvValue);
    }

protected:
    WebcamEventQueue m_events;
};
