#include "pipeline/framecontrolmanager.h"

FrameControlManager::FrameControlManager(HANDLE hReadNextSampleEvent)
    : m_hReadNextSampleEvent(hReadNextSampleEvent)
{
    InitializeCriticalSection(&m_csOutputFormats);
}

FrameControlManager::~FrameControlManager()
{
    DeleteCriticalSection(&m_csOutputFormats);
}
