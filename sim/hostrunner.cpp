#include "hostrunner.h"

#include "host/hoststartup.h"
#include "host/hoststate.h"

HostRunner::HostRunner()
    : m_hStarted(CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_hStopped(CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_bInitResult(FALSE),
      m_hWnd(NULL),
      m_dwThreadId(0)
{
}

HostRunner::~HostRunner()
{
    if (m_thread.joinable())
    {
        Stop();
        if (m_thread.joinable())
            m_thread.detach();
    }
    CloseHandle(m_hStarted);
    CloseHandle(m_hStopped);
}

bool HostRunner::Start()
{
    ResetEvent(m_hStarted);
    ResetEvent(m_hStopped);
    m_thread = std::thread(&HostRunner::Run, this);
    WaitForSingleObject(m_hStarted, INFINITE);
    if (!m_bInitResult)
    {
        m_thread.join();
        return false;
    }
    return true;
}

bool HostRunner::Stop(DWORD dwTimeoutMs)
{
    if (!m_thread.joinable())
        return true;
    PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(m_hStopped, dwTimeoutMs) != WAIT_OBJECT_0)
        return false;
    m_thread.join();
    return true;
}

void HostRunner::Run()
{
    // A process starts its host state fresh; so must every host run here.
    gbStopCapturePending = FALSE;
    gbNotifyEventRegistered = FALSE;
    gbSystemSuspended = FALSE;
    TakeWorkerNotices();
    gnDriverTimerId = 0;
    gdwLastArrivalTick = 0;
    ghHeldMutex = NULL;

    m_dwThreadId = GetCurrentThreadId();
    m_bInitResult = InitInstance(GetModuleHandleW(NULL));
    m_hWnd = ghMainWnd;
    SetEvent(m_hStarted);
    if (!m_bInitResult)
        return;

    MSG msg = {};
    while (GetMessageA(&msg, NULL, 0, 0))
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ExitInstance();
    ghMainWnd = NULL;
    SetEvent(m_hStopped);
}
