#include "pipeline/framequeue.h"

#include "diagnostics/debuglog.h"

const size_t FrameQueue::kMaxQueuedFrames;

FrameQueue::FrameQueue(LPCSTR pszInsertedEventName)
    : m_nDroppedInBurst(0),
      m_hInsertedEvent(
          CreateEventExA(NULL, pszInsertedEventName, CREATE_EVENT_MANUAL_RESET, EVENT_ALL_ACCESS))
{
}

FrameQueue::~FrameQueue()
{
    if (m_hInsertedEvent != NULL)
        CloseHandle(m_hInsertedEvent);
}

HRESULT FrameQueue::InsertFrame(const FRAME_UNIT& frame)
{
    SurvivingLockGuard guard(m_lock);
    // When delivery is slower than production (a slow machine, a slow
    // driver, or no delivery thread at all) the oldest pictures go: latency
    // and memory stay bounded, and the newest picture is always sent next.
    while (m_frames.size() >= kMaxQueuedFrames)
    {
        m_frames.pop_front();
        if (m_nDroppedInBurst++ == 0)
            LogPrint(
                "FrameControlManager::InsertFrame (): queue full, "
                "dropping the oldest frames\n");
    }
    m_frames.push_back(frame);
    SetEvent(m_hInsertedEvent);
    return S_OK;
}

FRAME_UNIT FrameQueue::GetFrame()
{
    // Callers check IsEmpty first; an empty queue still yields a frame
    // without a sample, which delivery drops.
    FRAME_UNIT frame(COLOR_FORMAT_YUY2, 0, 0, NULL);
    SurvivingLockGuard guard(m_lock);
    if (!m_frames.empty())
    {
        frame = m_frames.front();
        m_frames.pop_front();
    }
    if (m_frames.empty())
        EndDropBurst();
    if (m_frames.empty())
        ResetEvent(m_hInsertedEvent);
    return frame;
}

bool FrameQueue::IsEmpty()
{
    return GetDepth() == 0;
}

size_t FrameQueue::GetDepth()
{
    SurvivingLockGuard guard(m_lock);
    return m_frames.size();
}

void FrameQueue::Clear()
{
    SurvivingLockGuard guard(m_lock);
    while (!m_frames.empty())
        m_frames.pop_front();
    EndDropBurst();
    ResetEvent(m_hInsertedEvent);
}

void FrameQueue::EndDropBurst()
{
    // A burst ends when the consumer has caught up.
    if (m_nDroppedInBurst != 0)
        LogPrint("FrameControlManager: %u frames dropped while the queue was full\n",
                 static_cast<unsigned>(m_nDroppedInBurst));
    m_nDroppedInBurst = 0;
}
