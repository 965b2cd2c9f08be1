#pragma once

#include <windows.h>
#include <dbt.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "diagnostics/survivinglock.h"
#include "pipeline/framerecords.h"

class FrameControlManager;

// Posted to the host's window when reading from the webcam fails; wParam is
// the failing HRESULT.
#define WM_CAPTURE_FAILED (WM_APP + 1)

// What a webcam offers of the two capture formats the system uses.
enum eCamCapability
{
    CAM_NONE = 0,
    CAM_MJPG_1280x720 = 1,
    CAM_YUY2_640x480 = 2,
    CAM_MJPG_AND_YUY2 = 3,
};

// Everything that touches the real webcam: the device list, the open media
// source, the asynchronous source reader whose callback hands every sample to
// the frame pipeline, the choice of webcam and format, and webcam loss.
class CMFCaptureBuilder : public IMFSourceReaderCallback
{
public:
    static HRESULT CreateInstance(HWND hNotifyWnd, CMFCaptureBuilder** ppBuilder);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMFSourceReaderCallback
    STDMETHODIMP OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex, DWORD dwStreamFlags,
                              LONGLONG llTimestamp, IMFSample* pSample) override;
    STDMETHODIMP OnFlush(DWORD dwStreamIndex) override;
    STDMETHODIMP OnEvent(DWORD dwStreamIndex, IMFMediaEvent* pEvent) override;

    FrameControlManager* GetFrameControlManager() const { return m_pFrameControlManager; }

    HRESULT InitWebcamDevice();
    void UninitWebcamDevice();
    HRESULT enumWebcamDevices();
    HRESULT SetWebcamDevice(UINT32 nIndex);
    HRESULT SetWebcamFormat(UINT32 nWidth, UINT32 nHeight, LONGLONG llFrameDuration, int nFormat);
    HRESULT StartCapture();
    HRESULT StopCapture();
    BOOL IsStreaming();
    // Streaming, and no sample has come for dwMs (counted from the start for
    // the first): a webcam fallen silent, which reports no error. Lock-free.
    BOOL IsSilentFor(DWORD dwMs);
    // Safe on the window thread at any time: it reads only the link in use,
    // never waiting for an activation, an opening or a stop.
    HRESULT CheckDeviceLost(DEV_BROADCAST_HDR* pHeader, BOOL* pbLost);
    // No client asks any more: the webcam last opened is nobody's, and its
    // removal no loss.
    void ForgetWebcamInUse();
    HRESULT SetReadNextSampleEvent(BOOL bSet);
    HRESULT ReleaseWebcamDevice();

    // Forwarders to the pipeline's requested-output table.
    HRESULT ClearOutputFormats();
    HRESULT AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight);

protected:
    virtual ~CMFCaptureBuilder();

private:
    explicit CMFCaptureBuilder(HWND hNotifyWnd);
    CMFCaptureBuilder(const CMFCaptureBuilder&);
    CMFCaptureBuilder& operator=(const CMFCaptureBuilder&);

    void releaseSourceReader();
    void releaseMediaSource();
    void releaseWebcamList();
    HRESULT getWebcamSymbolicLink(UINT32 nIndex, char* pszLink, UINT32* pcchLink);
    HRESULT createWebcamDevice(IMFActivate* pActivate);
    HRESULT createSourceReader();
    HRESULT requestNextSample();
    void postCaptureError(HRESULT hr);

    eCamCapability checkCamCapability(UINT32 nIndex);
    eCamCapability checkMediaTypeCapability(IMFMediaTypeHandler* pHandler);
    HRESULT selectWebcam();
    static BOOL isSameWebcam(const char* pszInUse, const char* pszDeviceName);
    // The reader's type is the one the pipeline was told: subtype and size.
    BOOL IsCaptureType(IMFMediaType* pType) const;
    // What a callback's stream flags mean for the read loop: S_OK to go on,
    // else the failure that ends it. Only while a reader exists.
    HRESULT checkStreamFlags(DWORD dwStreamFlags);

    // Reads asked of the reader whose callbacks have not returned yet; when
    // the count falls to 0 the reads-settled event is set.
    void resetReadCount();
    void addPendingRead();
    void endPendingRead();

    volatile LONG m_nRefCount;
    HWND m_hNotifyWnd;
    // Held by the worker through webcam activation, which may never return;
    // the worker is then terminated, and the lock must survive it.
    SurvivingLock m_lock;
    FrameControlManager* m_pFrameControlManager;  // set at construction only
    // m_lock; one activation object per video capture device, in the
    // enumeration's order.
    std::vector<Microsoft::WRL::ComPtr<IMFActivate>> m_devices;
    UINT32 deviceCount() const { return static_cast<UINT32>(m_devices.size()); }
    // m_lock; StartCapture, SetWebcamFormat and createSourceReader look at it
    // before they take the lock only to fail early without a webcam.
    Microsoft::WRL::ComPtr<IMFMediaSource> m_pMediaSource;
    char m_szSymbolicLink[MAX_PATH];                          // m_lock
    Microsoft::WRL::ComPtr<IMFSourceReader> m_pSourceReader;  // m_lock
    BOOL m_bStreaming;                                        // m_lock
    volatile LONG m_bStreamingNow;     // m_bStreaming, for IsSilentFor without the lock
    volatile LONG m_dwLastSampleTick;  // the start, then every sample
    volatile LONG m_bWebcamFailed;     // a read failed or the webcam was unplugged since the start
    BOOL m_bFirstSamplePending;        // m_lock
    LONGLONG m_llBaseTimestamp;        // m_lock
    HANDLE m_hReadNextSampleEvent;     // set at construction only
    std::vector<eCamCapability> m_camCapabilities;  // m_lock

    // The link of the webcam the clients were last served from. Kept
    // through a failed read (the clients still wait for that webcam) and
    // forgotten when it is lost or no client asks any more.
    SurvivingLock m_linkLock;      // guards m_szLinkInUse only; held for nothing else
    char m_szLinkInUse[MAX_PATH];  // m_linkLock

    SurvivingLock m_readsLock;  // the count and its event only; held for nothing else
    LONG m_nReadsPending;       // m_readsLock; ReadSample calls awaiting their callbacks' end
    HANDLE m_hReadsSettled;     // signalled under m_readsLock; set while no read is pending

    // The capture type the pipeline was told; GUID_NULL before a selection
    // succeeded. All three under m_lock.
    GUID m_captureSubtype;
    UINT32 m_nCaptureWidth;
    UINT32 m_nCaptureHeight;
};
