#include "simulateddriver.h"

#include <string.h>

#include <algorithm>
#include <chrono>

#include "driver/driverio.h"
#include "driver/driverprotocol.h"
#include "pipeline/framerecords.h"

SimulatedDriver* SimulatedDriver::s_pInstalled = NULL;

namespace
{
const DRIVER_IO_FUNCTIONS kSystemDriverIo = {CreateFileA, DeviceIoControl, CloseHandle,
                                             CancelSynchronousIo};

SimulatedDriver::LentEvent LentEventOf(DWORD dwCode)
{
    switch (dwCode)
    {
    case IOCTL_AVSHWS_SERVER_EXIST:
        return SimulatedDriver::LENT_SERVER_EXIST;
    case IOCTL_AVSHWS_RELEASE_CAMERA_EVENT:
        return SimulatedDriver::LENT_RELEASE_CAMERA;
    default:
        return SimulatedDriver::LENT_NOTIFY;
    }
}

UINT32 StrideOf(const SimulatedDriver::ClientRequest& request)
{
    switch (request.nFormat)
    {
    case COLOR_FORMAT_YUY2:
        return request.nWidth * 2;
    case COLOR_FORMAT_NV12:
        return request.nWidth;
    default:
        return 0;
    }
}

// The picture size a well-formed record of this header must carry; 0 when any
// size is acceptable (MJPG).
bool PictureSizeMatches(const FRAME_HEADER& header, UINT32 cbPicture)
{
    UINT32 cbExpected = 0;
    switch (header.nFormat)
    {
    case COLOR_FORMAT_YUY2:
        return GetYuy2FrameSize(header.nWidth, header.nHeight, &cbExpected) &&
               cbExpected == cbPicture;
    case COLOR_FORMAT_NV12:
        return GetNv12FrameSize(header.nWidth, header.nHeight, &cbExpected) &&
               cbExpected == cbPicture;
    case COLOR_FORMAT_MJPG:
        return cbPicture > 0;
    default:
        return false;
    }
}
}  // namespace

SimulatedDriver::SimulatedDriver(const char* pszDevicePath)
    : m_bInstalled(false),
      m_nNextClientId(1),
      m_bCountOverridden(false),
      m_nOverriddenCount(0),
      m_bOpenFails(false),
      m_dwOpenError(ERROR_SUCCESS),
      m_nOpenCount(0),
      m_hStallsReleased(CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_nCancelled(0),
      m_nFrameRetention(static_cast<size_t>(-1)),
      m_nFramesAccepted(0),
      m_nMalformedFrames(0)
{
    strncpy_s(m_szDevicePath, sizeof(m_szDevicePath), pszDevicePath, _TRUNCATE);
    for (int i = 0; i < LENT_EVENT_COUNT; ++i)
    {
        m_hLent[i] = NULL;
        m_nLendCount[i] = 0;
    }
}

SimulatedDriver::~SimulatedDriver()
{
    Uninstall();
    for (int i = 0; i < LENT_EVENT_COUNT; ++i)
    {
        if (m_hLent[i] != NULL)
            CloseHandle(m_hLent[i]);
    }
    for (HANDLE h : m_openHandles)
        CloseHandle(h);
    CloseHandle(m_hStallsReleased);
}

void SimulatedDriver::Install()
{
    s_pInstalled = this;
    m_bInstalled = true;
    gDriverIo.pfnCreateFileA = CreateFileHook;
    gDriverIo.pfnDeviceIoControl = DeviceIoControlHook;
    gDriverIo.pfnCloseHandle = CloseHandleHook;
    gDriverIo.pfnCancelSynchronousIo = CancelSynchronousIoHook;
}

void SimulatedDriver::Uninstall()
{
    if (!m_bInstalled)
        return;
    gDriverIo = kSystemDriverIo;
    s_pInstalled = NULL;
    m_bInstalled = false;
}

HANDLE WINAPI SimulatedDriver::CreateFileHook(LPCSTR pszPath, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                                              DWORD, DWORD, HANDLE)
{
    return s_pInstalled->Open(pszPath);
}

BOOL WINAPI SimulatedDriver::DeviceIoControlHook(HANDLE hDevice, DWORD dwCode, LPVOID pIn,
                                                 DWORD cbIn, LPVOID pOut, DWORD cbOut,
                                                 LPDWORD pcbReturned, LPOVERLAPPED)
{
    return s_pInstalled->Control(hDevice, dwCode, pIn, cbIn, pOut, cbOut, pcbReturned);
}

BOOL WINAPI SimulatedDriver::CloseHandleHook(HANDLE hDevice)
{
    return s_pInstalled->Close(hDevice);
}

BOOL WINAPI SimulatedDriver::CancelSynchronousIoHook(HANDLE hThread)
{
    return s_pInstalled->CancelThreadIo(hThread);
}

BOOL SimulatedDriver::CancelThreadIo(HANDLE hThread)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_stalledThreads.find(GetThreadId(hThread));
    if (it == m_stalledThreads.end())
    {
        // As the system answers for a thread with no synchronous I/O.
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    SetEvent(it->second);
    return TRUE;
}

bool SimulatedDriver::WaitOutStall(DWORD dwStallMs)
{
    HANDLE hCancel = CreateEventW(NULL, TRUE, FALSE, NULL);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stalledThreads[GetCurrentThreadId()] = hCancel;
    }
    // Outside the lock: a thread stuck here (or terminated here) must not
    // block the driver for anyone else.
    HANDLE waits[2] = {hCancel, m_hStallsReleased};
    bool bCancelled = WaitForMultipleObjects(2, waits, FALSE, dwStallMs) == WAIT_OBJECT_0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stalledThreads.erase(GetCurrentThreadId());
        if (bCancelled)
            ++m_nCancelled;
    }
    CloseHandle(hCancel);
    return !bCancelled;
}

HANDLE SimulatedDriver::Open(LPCSTR pszPath)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bOpenFails)
    {
        SetLastError(m_dwOpenError);
        return INVALID_HANDLE_VALUE;
    }
    if (pszPath == NULL || _stricmp(pszPath, m_szDevicePath) != 0)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A real kernel object gives every open a distinct, valid handle value.
    HANDLE hDevice = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (hDevice == NULL)
        return INVALID_HANDLE_VALUE;
    m_openHandles.insert(hDevice);
    ++m_nOpenCount;
    return hDevice;
}

BOOL SimulatedDriver::Close(HANDLE hDevice)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_openHandles.erase(hDevice) == 0)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hDevice);
}

BOOL SimulatedDriver::Control(HANDLE hDevice, DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut,
                              DWORD cbOut, LPDWORD pcbReturned)
{
    std::function<void(const FrameView&)> observer;
    FrameView accepted = {};
    DWORD dwError = ERROR_SUCCESS;
    DWORD dwDelayMs = 0;
    DWORD dwStallMs = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_requestsStarted[dwCode];
        auto it = m_delays.find(dwCode);
        if (it != m_delays.end())
            dwDelayMs = it->second;
        auto stall = m_stalls.find(dwCode);
        if (stall != m_stalls.end())
        {
            // Blocked until the stall's end; a stall whose end has come is over.
            DWORD dwNow = GetTickCount();
            if (stall->second.first == INFINITE)
                dwStallMs = INFINITE;
            else if (static_cast<LONG>(stall->second.second - dwNow) > 0)
                dwStallMs = stall->second.second - dwNow;
            else
                m_stalls.erase(stall);
        }
    }
    // Outside the lock: a thread stuck here (or terminated here) must not
    // block the driver for anyone else.
    if (dwDelayMs != 0)
        Sleep(dwDelayMs);
    if (dwStallMs != 0 && !WaitOutStall(dwStallMs))
    {
        if (pcbReturned != NULL)
            *pcbReturned = 0;
        SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (pcbReturned != NULL)
            *pcbReturned = 0;
        ++m_requestCounts[dwCode];

        if (m_openHandles.count(hDevice) == 0)
            dwError = ERROR_INVALID_HANDLE;
        else
            dwError = TakeInjectedFailure(dwCode);

        if (dwError == ERROR_SUCCESS)
        {
            switch (dwCode)
            {
            case IOCTL_AVSHWS_SERVER_EXIST:
            case IOCTL_AVSHWS_RELEASE_CAMERA_EVENT:
            case IOCTL_AVSHWS_NOTIFY_EVENT:
                dwError = LendEvent(LentEventOf(dwCode), pIn, cbIn);
                break;
            case IOCTL_AVSHWS_GET_FRAME_INFO_COUNT:
                if (pOut == NULL || cbOut < sizeof(UINT32))
                {
                    dwError = ERROR_INSUFFICIENT_BUFFER;
                }
                else
                {
                    *static_cast<UINT32*>(pOut) = m_bCountOverridden
                                                      ? m_nOverriddenCount
                                                      : static_cast<UINT32>(m_clients.size());
                    if (pcbReturned != NULL)
                        *pcbReturned = sizeof(UINT32);
                }
                break;
            case IOCTL_AVSHWS_GET_FRAME_INFO:
                dwError = GetFrameInfo(pIn, cbIn, pOut, cbOut, pcbReturned);
                break;
            case IOCTL_AVSHWS_SET_FRAME:
                dwError = AcceptFrame(pIn, cbIn, pOut, cbOut, &accepted);
                if (dwError == ERROR_SUCCESS)
                    observer = m_observer;
                break;
            case IOCTL_AVSHWS_SERVER_QUIT:
                break;
            default:
                dwError = ERROR_INVALID_FUNCTION;
                break;
            }
        }
    }
    if (dwError != ERROR_SUCCESS)
    {
        SetLastError(dwError);
        return FALSE;
    }
    if (pcbReturned != NULL && TakeShortAnswer(dwCode))
        *pcbReturned /= 2;
    if (observer)
        observer(accepted);
    m_frameAccepted.notify_all();
    return TRUE;
}

bool SimulatedDriver::TakeShortAnswer(DWORD dwCode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_shortAnswers.find(dwCode);
    if (it == m_shortAnswers.end())
        return false;
    if (it->second > 0 && --it->second == 0)
        m_shortAnswers.erase(it);
    return true;
}

void SimulatedDriver::AnswerShort(DWORD dwControlCode, int nTimes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (nTimes == 0)
        m_shortAnswers.erase(dwControlCode);
    else
        m_shortAnswers[dwControlCode] = nTimes;
}

void SimulatedDriver::StopFailingRequest(DWORD dwControlCode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures.erase(dwControlCode);
}

void SimulatedDriver::SetShortAnswers(DWORD dwControlCode, bool bShort)
{
    AnswerShort(dwControlCode, bShort ? -1 : 0);
}

DWORD SimulatedDriver::TakeInjectedFailure(DWORD dwCode)
{
    auto it = m_failures.find(dwCode);
    if (it == m_failures.end())
        return ERROR_SUCCESS;
    DWORD dwError = it->second.first;
    if (it->second.second > 0 && --it->second.second == 0)
        m_failures.erase(it);
    return dwError;
}

DWORD SimulatedDriver::LendEvent(LentEvent eEvent, const void* pIn, DWORD cbIn)
{
    if (pIn == NULL || cbIn < kDriverHandleValueSize)
        return ERROR_INVALID_PARAMETER;
    LONG lHandleValue = 0;
    memcpy(&lHandleValue, pIn, sizeof(lHandleValue));

    // The driver turns the sender's handle value into a reference of its own.
    HANDLE hDuplicate = NULL;
    if (!DuplicateHandle(GetCurrentProcess(), LongToHandle(lHandleValue), GetCurrentProcess(),
                         &hDuplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
    {
        return ERROR_INVALID_HANDLE;
    }
    if (m_hLent[eEvent] != NULL)
        CloseHandle(m_hLent[eEvent]);
    m_hLent[eEvent] = hDuplicate;
    ++m_nLendCount[eEvent];
    return ERROR_SUCCESS;
}

DWORD SimulatedDriver::GetFrameInfo(void* pIn, DWORD cbIn, void* pOut, DWORD cbOut,
                                    DWORD* pcbReturned)
{
    if (pIn == NULL || pOut == NULL || cbIn < sizeof(FrameInfo) || cbOut < sizeof(FrameInfo))
        return ERROR_INSUFFICIENT_BUFFER;
    FrameInfo info;
    memcpy(&info, pIn, sizeof(info));
    if (info.nIndex >= m_clients.size())
        return ERROR_INVALID_PARAMETER;

    auto it = m_clients.begin();
    std::advance(it, info.nIndex);
    const ClientRequest& request = it->second;
    info.nWidth = request.nWidth;
    info.nHeight = request.nHeight;
    info.nStride = static_cast<INT32>(StrideOf(request));
    info.dwProcessId = request.dwProcessId;
    info.llFrameDuration = 333333;
    info.nFormat = request.nFormat;
    memcpy(pOut, &info, sizeof(info));
    if (pcbReturned != NULL)
        *pcbReturned = sizeof(info);
    return ERROR_SUCCESS;
}

DWORD SimulatedDriver::AcceptFrame(void* pIn, DWORD cbIn, void* pOut, DWORD cbOut,
                                   FrameView* pFrame)
{
    FRAME_HEADER header = {};
    bool bWellFormed = pIn != NULL && pIn == pOut && cbIn == cbOut && cbIn > sizeof(FRAME_HEADER);
    if (bWellFormed)
    {
        memcpy(&header, pIn, sizeof(header));
        bWellFormed = PictureSizeMatches(header, cbIn - sizeof(FRAME_HEADER));
    }
    if (!bWellFormed)
    {
        ++m_nMalformedFrames;
        return ERROR_INVALID_PARAMETER;
    }

    FrameView& frame = *pFrame;
    frame.nFormat = header.nFormat;
    frame.nWidth = header.nWidth;
    frame.nHeight = header.nHeight;
    frame.pPicture = static_cast<const BYTE*>(pIn) + sizeof(FRAME_HEADER);
    frame.cbPicture = cbIn - sizeof(FRAME_HEADER);
    SYSTEM_INFO systemInfo;
    GetSystemInfo(&systemInfo);
    frame.bRecordPageAligned = reinterpret_cast<UINT_PTR>(pIn) % systemInfo.dwPageSize == 0;
    frame.pRecord = pIn;

    ++m_nFramesAccepted;
    KeepFrame(frame);
    return ERROR_SUCCESS;
}

void SimulatedDriver::KeepFrame(const FrameView& frame)
{
    if (m_nFrameRetention == 0)
        return;
    // When full, the oldest frame's storage takes the new picture: no fresh
    // memory per frame once the window is warm.
    if (m_frames.size() >= m_nFrameRetention)
        std::rotate(m_frames.begin(), m_frames.begin() + 1, m_frames.end());
    else
        m_frames.push_back(ReceivedFrame());
    ReceivedFrame& kept = m_frames.back();
    kept.nFormat = frame.nFormat;
    kept.nWidth = frame.nWidth;
    kept.nHeight = frame.nHeight;
    kept.picture.assign(frame.pPicture, frame.pPicture + frame.cbPicture);
    kept.bRecordPageAligned = frame.bRecordPageAligned;
    kept.pRecord = frame.pRecord;
}

void SimulatedDriver::SignalNotifyLocked()
{
    if (m_hLent[LENT_NOTIFY] != NULL)
        SetEvent(m_hLent[LENT_NOTIFY]);
}

int SimulatedDriver::AddClient(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight, DWORD dwProcessId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int nClientId = m_nNextClientId++;
    ClientRequest request = {nFormat, nWidth, nHeight, dwProcessId};
    m_clients[nClientId] = request;
    SignalNotifyLocked();
    return nClientId;
}

void SimulatedDriver::RemoveClient(int nClientId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_clients.erase(nClientId) != 0)
        SignalNotifyLocked();
}

void SimulatedDriver::ChangeClient(int nClientId, UINT32 nFormat, UINT32 nWidth, UINT32 nHeight)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_clients.find(nClientId);
    if (it == m_clients.end())
        return;
    it->second.nFormat = nFormat;
    it->second.nWidth = nWidth;
    it->second.nHeight = nHeight;
    SignalNotifyLocked();
}

void SimulatedDriver::RemoveAllClients()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_clients.clear();
    SignalNotifyLocked();
}

void SimulatedDriver::OverrideRequestCount(UINT32 nCount)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bCountOverridden = true;
    m_nOverriddenCount = nCount;
}

void SimulatedDriver::FailRequest(DWORD dwControlCode, DWORD dwError, int nTimes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures[dwControlCode] = std::make_pair(dwError, nTimes);
}

void SimulatedDriver::FailOpen(DWORD dwError)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bOpenFails = true;
    m_dwOpenError = dwError;
}

void SimulatedDriver::SetAbsent(bool bAbsent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bOpenFails = bAbsent;
    m_dwOpenError = ERROR_FILE_NOT_FOUND;
}

void SimulatedDriver::ClearFailures()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures.clear();
    m_shortAnswers.clear();
    m_bOpenFails = false;
}

void SimulatedDriver::DelayRequest(DWORD dwControlCode, DWORD dwDelayMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_delays[dwControlCode] = dwDelayMs;
}

void SimulatedDriver::StallRequest(DWORD dwControlCode, DWORD dwStallMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stalls.empty())
        ResetEvent(m_hStallsReleased);
    m_stalls[dwControlCode] = std::make_pair(dwStallMs, GetTickCount() + dwStallMs);
}

void SimulatedDriver::ReleaseStalls()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stalls.clear();
    SetEvent(m_hStallsReleased);
}

int SimulatedDriver::GetStalledCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_stalledThreads.size());
}

int SimulatedDriver::GetCancelledCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nCancelled;
}

int SimulatedDriver::GetRequestsStarted(DWORD dwControlCode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_requestsStarted.find(dwControlCode);
    return it == m_requestsStarted.end() ? 0 : it->second;
}

HANDLE SimulatedDriver::GetLentEvent(LentEvent eEvent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hLent[eEvent];
}

int SimulatedDriver::GetLendCount(LentEvent eEvent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nLendCount[eEvent];
}

int SimulatedDriver::GetRequestCount(DWORD dwControlCode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_requestCounts.find(dwControlCode);
    return it == m_requestCounts.end() ? 0 : it->second;
}

int SimulatedDriver::GetOpenCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nOpenCount;
}

int SimulatedDriver::GetOpenHandleCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_openHandles.size());
}

int SimulatedDriver::GetMalformedFrameCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nMalformedFrames;
}

size_t SimulatedDriver::GetFrameCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nFramesAccepted;
}

std::vector<SimulatedDriver::ReceivedFrame> SimulatedDriver::GetFrames()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

void SimulatedDriver::ClearFrames()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_frames.clear();
}

void SimulatedDriver::SetFrameRetention(size_t nFrames)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nFrameRetention = nFrames;
    while (m_frames.size() > m_nFrameRetention)
        m_frames.erase(m_frames.begin());
}

void SimulatedDriver::SetFrameObserver(std::function<void(const FrameView&)> observer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_observer = observer;
}

bool SimulatedDriver::WaitForFrameCount(size_t nFrames, DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_frameAccepted.wait_for(guard, std::chrono::milliseconds(dwTimeoutMs),
                                    [&] { return m_nFramesAccepted >= nFrames; });
}
