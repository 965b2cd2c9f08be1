#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <vector>

// A stand-in for the virtual-camera kernel driver. Installed, it takes the
// place of CreateFileA / DeviceIoControl / CloseHandle in gDriverIo and
// answers the driver's seven requests for the device path it was given: it
// keeps its own duplicate of every lent event, reports its clients' frame
// requests, signals the lent notify event when they change, and records every
// frame record it receives. It can be told to fail a request or to be absent.
class SimulatedDriver
{
public:
    enum LentEvent
    {
        LENT_SERVER_EXIST,
        LENT_RELEASE_CAMERA,
        LENT_NOTIFY,
        LENT_EVENT_COUNT
    };

    struct ClientRequest
    {
        UINT32 nFormat;
        UINT32 nWidth;
        UINT32 nHeight;
        DWORD dwProcessId;
    };

    struct ReceivedFrame
    {
        UINT32 nFormat;
        UINT32 nWidth;
        UINT32 nHeight;
        std::vector<BYTE> picture;
        bool bRecordPageAligned;
        const void* pRecord;  // where the record lay during the request
    };

    // A frame as the observer sees it: the picture is the sender's record
    // itself, valid only during the call, so watching costs no copy.
    struct FrameView
    {
        UINT32 nFormat;
        UINT32 nWidth;
        UINT32 nHeight;
        const BYTE* pPicture;
        size_t cbPicture;
        bool bRecordPageAligned;
        const void* pRecord;
    };

    explicit SimulatedDriver(const char* pszDevicePath);
    ~SimulatedDriver();

    // Routes gDriverIo to this driver; one driver at a time.
    void Install();
    void Uninstall();

    // Clients. Each change signals the lent notify event, as the driver does.
    int AddClient(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight, DWORD dwProcessId);
    void RemoveClient(int nClientId);
    // A client switching to another format and size: one change, one signal.
    void ChangeClient(int nClientId, UINT32 nFormat, UINT32 nWidth, UINT32 nHeight);
    void RemoveAllClients();
    // Reports this count instead of the number of clients, as a faulty
    // driver might; records beyond the real clients then fail.
    void OverrideRequestCount(UINT32 nCount);

    // Failures. FailOpen(ERROR_SUCCESS) fails without a recorded error.
    void FailRequest(DWORD dwControlCode, DWORD dwError, int nTimes = -1);
    void FailOpen(DWORD dwError);
    // The next nTimes answers of this code (-1: every one) succeed but
    // return half the bytes they should, as a driver of another build may.
    void AnswerShort(DWORD dwControlCode, int nTimes = -1);
    void SetAbsent(bool bAbsent);
    void ClearFailures();
    // Ends the failures of one request code only.
    void StopFailingRequest(DWORD dwControlCode);
    // While on, a count (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) or record
    // (IOCTL_AVSHWS_GET_FRAME_INFO) request succeeds with half the bytes
    // returned, as a faulty driver might answer.
    void SetShortAnswers(DWORD dwControlCode, bool bShort);
    // Makes every request of this code take at least dwDelayMs, as a busy or
    // hung driver does; such a request ignores cancellation.
    void DelayRequest(DWORD dwControlCode, DWORD dwDelayMs);
    // For the next dwStallMs (INFINITE: until ReleaseStalls) every request
    // of this code blocks until the stall ends, as a hung driver does; then
    // requests run as before. Unlike a delay, a stalled request can be
    // cancelled (CancelSynchronousIo on its thread) and then fails with
    // ERROR_OPERATION_ABORTED.
    void StallRequest(DWORD dwControlCode, DWORD dwStallMs = INFINITE);
    // Ends every stall: the blocked requests go on, new ones run at once.
    void ReleaseStalls();
    // Requests blocked in a stall right now.
    int GetStalledCount();
    int GetCancelledCount();

    // Observation.
    HANDLE GetLentEvent(LentEvent eEvent);  // the driver's own duplicate, or NULL
    int GetLendCount(LentEvent eEvent);
    int GetRequestCount(DWORD dwControlCode);
    // Requests that have entered the driver, finished or not.
    int GetRequestsStarted(DWORD dwControlCode);
    int GetOpenCount();
    int GetOpenHandleCount();
    int GetMalformedFrameCount();
    size_t GetFrameCount();
    std::vector<ReceivedFrame> GetFrames();
    void ClearFrames();
    // Keeps at most this many received frames (the counters go on); a
    // frame that is not kept is never copied.
    void SetFrameRetention(size_t nFrames);
    // Called for every accepted frame, on the sending thread, while the
    // sender waits in its request.
    void SetFrameObserver(std::function<void(const FrameView&)> observer);
    // Waits until at least nFrames frames were accepted in all.
    bool WaitForFrameCount(size_t nFrames, DWORD dwTimeoutMs);

private:
    SimulatedDriver(const SimulatedDriver&);
    SimulatedDriver& operator=(const SimulatedDriver&);

    static HANDLE WINAPI CreateFileHook(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                        HANDLE);
    static BOOL WINAPI DeviceIoControlHook(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                           LPOVERLAPPED);
    static BOOL WINAPI CloseHandleHook(HANDLE);
    static BOOL WINAPI CancelSynchronousIoHook(HANDLE);

    HANDLE Open(LPCSTR pszPath);
    BOOL Control(HANDLE hDevice, DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut,
                 LPDWORD pcbReturned);
    BOOL Close(HANDLE hDevice);
    BOOL CancelThreadIo(HANDLE hThread);
    // Blocks the calling thread as a stall of dwStallMs says; false when
    // the request was cancelled.
    bool WaitOutStall(DWORD dwStallMs);

    DWORD TakeInjectedFailure(DWORD dwCode);  // ERROR_SUCCESS when none
    bool TakeShortAnswer(DWORD dwCode);
    DWORD LendEvent(LentEvent eEvent, const void* pIn, DWORD cbIn);
    DWORD GetFrameInfo(void* pIn, DWORD cbIn, void* pOut, DWORD cbOut, DWORD* pcbReturned);
    DWORD AcceptFrame(void* pIn, DWORD cbIn, void* pOut, DWORD cbOut, FrameView* pFrame);
    void KeepFrame(const FrameView& frame);
    void SignalNotifyLocked();

    static SimulatedDriver* s_pInstalled;

    std::mutex m_lock;
    char m_szDevicePath[1024];
    bool m_bInstalled;

    HANDLE m_hLent[LENT_EVENT_COUNT];
    int m_nLendCount[LENT_EVENT_COUNT];

    std::map<int, ClientRequest> m_clients;
    int m_nNextClientId;
    bool m_bCountOverridden;
    UINT32 m_nOverriddenCount;

    std::map<DWORD, std::pair<DWORD, int>> m_failures;  // code -> (error, times left; -1 always)
    std::map<DWORD, int> m_shortAnswers;                // code -> times left; -1 always
    bool m_bOpenFails;
    DWORD m_dwOpenError;

    std::set<HANDLE> m_openHandles;
    int m_nOpenCount;
    std::map<DWORD, int> m_requestCounts;
    std::map<DWORD, int> m_requestsStarted;
    std::map<DWORD, DWORD> m_delays;
    std::map<DWORD, std::pair<DWORD, DWORD>> m_stalls;  // code -> (length in ms, end tick)
    HANDLE m_hStallsReleased;                           // manual reset
    std::map<DWORD, HANDLE> m_stalledThreads;           // thread id -> its cancel event
    int m_nCancelled;

    std::vector<ReceivedFrame> m_frames;
    size_t m_nFrameRetention;
    size_t m_nFramesAccepted;
    int m_nMalformedFrames;
    std::condition_variable m_frameAccepted;
    std::function<void(const FrameView&)> m_observer;
};
