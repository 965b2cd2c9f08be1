#include "pipeline/framecontrolmanager.h"

HRESULT FrameControlManager::InsertFrame(const FRAME_UNIT& frame)
{
    EnterCriticalSection(&m_csFrameQueue);
    m_frameQueue.push_back(frame);
    SetEvent(m_hFrameInsertedEvent);
    LeaveCriticalSection(&m_csFrameQueue);
    return S_OK;
}

FRAME_UNIT FrameControlManager::GetFrame()
{
    // Callers check IsFrameQueueEmpty first; an empty queue still yields a
    // frame without a sample, which delivery drops.
    FRAME_UNIT frame(COLOR_FORMAT_YUY2, 0, 0, NULL);
    EnterCriticalSection(&m_csFrameQueue);
    if (!m_frameQueue.empty())
    {
        frame = m_frameQueue.front();
        m_frameQueue.pop_front();
    }
    if (m_frameQueue.empty())
        ResetEvent(m_hFrameInsertedEvent);
    LeaveCriticalSection(&m_csFrameQueue);
    return frame;
}

bool FrameControlManager::IsFrameQueueEmpty()
{
    EnterCriticalSection(&m_csFrameQueue);
    bool bEmpty = m_frameQueue.empty();
    LeaveCriticalSection(&m_csFrameQueue);
    return bEmpty;
}

void FrameControlManager::ClearFrameQueue()
{
    EnterCriticalSection(&m_csFrameQueue);
    while (!m_frameQueue.empty())
        m_frameQueue.pop_front();
    ResetEvent(m_hFrameInsertedEvent);
    LeaveCriticalSection(&m_csFrameQueue);
}
