#include "pipeline/framecontrolmanager.h"

#include <new>

FrameControlManager::FrameControlManager(HANDLE hReadNextSampleEvent)
    : m_hReadNextSampleEvent(hReadNextSampleEvent), m_pFrameScaler(new (std::nothrow) FrameScaler())
{
    InitializeCriticalSection(&m_csOutputFormats);
}

FrameControlManager::~FrameControlManager()
{
    DeleteCriticalSection(&m_csOutputFormats);
}
