#include "pipeline/framecontrolmanager.h"

#include "diagnostics/debuglog.h"

const size_t FrameControlManager::kMaxQueuedFrames;

HRESULT FrameControlManager::InsertFrame(const FRAME_UNIT& frame)
{
    m_frameQueueLock.Lock();
    // When delivery is slower than production (a slow machine, a slow
    // driver, or no delivery thread at all) the oldest pictures go: latency
    // and memory stay bounded, and the newest picture is always sent next.
    while (m_frameQueue.size() >= kMaxQueuedFrames)
    {
        m_frameQueue.pop_front();
        if (m_nDroppedInBurst++ == 0)
            LogPrint("FrameControlManager::InsertFrame (): queue full, dropping the oldest frames\n");
    }
    m_frameQueue.push_back(frame);
    SetEvent(m_hFrameInsertedEvent);
    m_frameQueueLock.Unlock();
    return S_OK;
}

FRAME_UNIT FrameControlManager::GetFrame()
{
    // Callers check IsFrameQueueEmpty first; an empty queue still yields a
    // frame without a sample, which delivery drops.
    FRAME_UNIT frame(COLOR_FORMAT_YUY2, 0, 0, NULL);
    m_frameQueueLock.Lock();
    if (!m_frameQueue.empty())
    {
        frame = m_frameQueue.front();
        m_frameQueue.pop_front();
    }
    if (m_frameQueue.empty())
        EndDropBurst();
    if (m_frameQueue.empty())
        ResetEvent(m_hFrameInsertedEvent);
    m_frameQueueLock.Unlock();
    return frame;
}

bool FrameControlManager::IsFrameQueueEmpty()
{
    return GetFrameQueueDepth() == 0;
}

void FrameControlManager::ClearFrameQueue()
{
    m_frameQueueLock.Lock();
    while (!m_frameQueue.empty())
        m_frameQueue.pop_front();
    EndDropBurst();
    ResetEvent(m_hFrameInsertedEvent);
    m_frameQueueLock.Unlock();
}

size_t FrameControlManager::GetFrameQueueDepth()
{
    m_frameQueueLock.Lock();
    size_t nDepth = m_frameQueue.size();
    m_frameQueueLock.Unlock();
    return nDepth;
}

void FrameControlManager::EndDropBurst()
{
    // A burst ends when the consumer has caught up.
    if (m_nDroppedInBurst != 0)
        LogPrint("FrameControlManager: %u frames dropped while the queue was full\n",
                 static_cast<unsigned>(m_nDroppedInBurst));
    m_nDroppedInBurst = 0;
}
