#pragma once

#include <windows.h>
#include <mfidl.h>

#include <condition_variable>
#include <mutex>

// The event queue of a simulated webcam's source or stream: one made by
// MFCreateEventQueue, with a shutdown that frees whoever still listens.
//
// Wine's queue neither answers nor releases a pending BeginGetEvent caller
// when it shuts down, and that caller's async result holds the queue: a source
// reader listening to a stream it holds would never be freed. So when a
// listener is pending at Shutdown, the queue first sends it MEError with
// MF_E_SHUTDOWN and shuts down once the listener has fetched that event;
// every other call answers MF_E_SHUTDOWN from Shutdown on.
//
// Wine's source reader also lets go of its source late: released before it
// ever started the source, it does not wait for the MESourceStopped that its
// Stop call brings, and stays subscribed until that event is dispatched. A
// reader created at once over the same source would fail with
// MF_E_MULTIPLE_SUBSCRIBERS. So BeginGetEvent, finding a listener that has an
// event waiting for it, waits (at most 2 s) for it to take the event and
// leave before it refuses the new one.
class WebcamEventQueue
{
public:
    WebcamEventQueue();
    ~WebcamEventQueue();

    HRESULT Create();

    HRESULT GetEvent(DWORD dwFlags, IMFMediaEvent** ppEvent);
    HRESULT BeginGetEvent(IMFAsyncCallback* pCallback, IUnknown* punkState);
    HRESULT EndGetEvent(IMFAsyncResult* pResult, IMFMediaEvent** ppEvent);
    HRESULT QueueEventParamVar(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                               const PROPVARIANT* pvValue);
    HRESULT QueueEventParamUnk(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                               IUnknown* pUnk);
    // Call without holding locks: a listener's last reference may go here.
    void Shutdown();

private:
    WebcamEventQueue(const WebcamEventQueue&);
    WebcamEventQueue& operator=(const WebcamEventQueue&);

    // Takes the platform queue out; the caller shuts it down and releases it
    // with no lock held.
    IMFMediaEventQueue* TakeQueueLocked();
    static void EndQueue(IMFMediaEventQueue* pQueue);

    // Platform queue calls that never call back are made under the lock, so a
    // listener cannot slip in between a Shutdown and its check for listeners.
    std::mutex m_lock;
    std::condition_variable m_listenerChanged;
    IMFMediaEventQueue* m_pQueue;
    bool m_bShutDown;
    bool m_bListenerPending;
    UINT32 m_nEventsWaiting;  // queued and not yet fetched
};
