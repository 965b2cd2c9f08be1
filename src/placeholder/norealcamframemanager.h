#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include "pipeline/framerecords.h"
#include "placeholder/picturepacer.h"

class FrameControlManager;

// Posted to the main window when StartTimer or StopTimer is called on
// another thread: window timers belong to the thread that owns the window,
// which then brings the timer to the state last asked for.
#define WM_PLACEHOLDER_TIMER (WM_APP + 2)

// The placeholder source: the picture stored in the program's resources,
// decoded once, queued into the pipeline as MJPG and as YUY2 on every tick of
// a 33 ms timer on the main window while no real webcam can serve.
class NoRealCamFrameManager : public IMFSourceReaderCallback
{
public:
    NoRealCamFrameManager();
    virtual ~NoRealCamFrameManager();

    // Not reference counted: the host owns the object and deletes it.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex, DWORD dwStreamFlags,
                              LONGLONG llTimestamp, IMFSample* pSample) override;
    STDMETHODIMP OnFlush(DWORD dwStreamIndex) override;
    STDMETHODIMP OnEvent(DWORD dwStreamIndex, IMFMediaEvent* pEvent) override;

    HRESULT StartTimer();
    HRESULT StopTimer();
    // Starts the timer after dwDelayMs unless it is stopped (or started)
    // before: clients get the placeholder only while the webcam is slow to
    // open, not in the moment that an opening usually takes.
    HRESULT StartTimerUnlessStoppedWithin(DWORD dwDelayMs);
    HRESULT SetFormat(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight);

    // Runs a timer request that another thread posted to the main window.
    static LRESULT OnPlaceholderTimerMessage(WPARAM wParam);

    IMFSample* GetPictureSample() const { return m_pPictureSample.Get(); }
    IMFSample* GetDecodedSample() const { return m_pDecodedSample.Get(); }

private:
    NoRealCamFrameManager(const NoRealCamFrameManager&);
    NoRealCamFrameManager& operator=(const NoRealCamFrameManager&);

    static void CALLBACK OnTimer(HWND hWnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
    HRESULT LoadPicture();
    enum TIMER_WANTED
    {
        TIMER_STOPPED,
        TIMER_RUN,
        TIMER_DEFERRED,
    };
    HRESULT RequestTimer(LONG eWanted, DWORD dwDelayMs);
    static void CALLBACK OnDeferTimer(HWND hWnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
    // On the window's thread: starts or kills the timer as last asked.
    HRESULT ApplyWantedTimer();
    // Queues the picture once, compressed and decoded.
    static void QueuePicture();

    CRITICAL_SECTION m_csReadSample;
    Microsoft::WRL::ComPtr<IMFSourceReader> m_pSourceReader;
    Microsoft::WRL::ComPtr<IMFSample> m_pPictureSample;
    Microsoft::WRL::ComPtr<IMFSample> m_pDecodedSample;
    UINT_PTR m_nTimerId;           // the window thread's only
    UINT_PTR m_nDeferTimerId;      // the window thread's only
    PicturePacer m_pacer;          // the window thread's only
    volatile LONG m_eTimerWanted;  // TIMER_WANTED last asked for, from any thread
    volatile DWORD m_dwDeferMs;
    _COLOR_FORMAT m_eRequestedFormat;
    UINT32 m_nRequestedWidth;
    UINT32 m_nRequestedHeight;
};

extern NoRealCamFrameManager* gpNoRealCamFrameManager;
extern FrameControlManager* gpFrameControlManager;

void SetNoRealCamGlobals(NoRealCamFrameManager* pManager, FrameControlManager* pPipeline);
