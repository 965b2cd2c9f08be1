#pragma once

#include <windows.h>

#include <deque>

#include "diagnostics/survivinglock.h"
#include "pipeline/framerecords.h"

// A first-in, first-out queue of pictures on their way to the delivery
// thread. It holds at most kMaxQueuedFrames pictures: inserting into a full
// queue drops (and releases) the oldest, logged once per burst. Its event is
// set while pictures wait and reset once the queue is empty, so that the
// consumer can sleep on it.
class FrameQueue
{
public:
    static const size_t kMaxQueuedFrames = 8;

    // pszInsertedEventName names the manual-reset event, or NULL for an
    // unnamed one.
    explicit FrameQueue(LPCSTR pszInsertedEventName);
    ~FrameQueue();

    // NULL when the event could not be created; the queue works without it.
    HANDLE GetInsertedEvent() const { return m_hInsertedEvent; }

    HRESULT InsertFrame(const FRAME_UNIT& frame);
    // The oldest picture; a frame without a sample when the queue is empty.
    FRAME_UNIT GetFrame();
    bool IsEmpty();
    size_t GetDepth();
    void Clear();

private:
    FrameQueue(const FrameQueue&);
    FrameQueue& operator=(const FrameQueue&);

    // Called with m_lock held.
    void EndDropBurst();

    std::deque<FRAME_UNIT> m_frames;  // guarded by m_lock
    size_t m_nDroppedInBurst;         // guarded by m_lock
    HANDLE m_hInsertedEvent;          // set and reset under m_lock
    // Taken by the delivery thread, which may be ended by force. Samples
    // dropped or cleared are released under it: their release waits for no
    // other thread of this process.
    SurvivingLock m_lock;
};
