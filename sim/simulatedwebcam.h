#pragma once

#include <windows.h>
#include <mfidl.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SimulatedWebcamActivate;
class SimulatedWebcamSource;

// One native capture format of a simulated webcam.
struct SimulatedWebcamFormat
{
    GUID subtype;  // MFVideoFormat_YUY2 or MFVideoFormat_MJPG
    UINT32 nWidth;
    UINT32 nHeight;
    UINT32 nRateNumerator;  // MF_MT_FRAME_RATE, frames per second as a ratio
    UINT32 nRateDenominator;
};

SimulatedWebcamFormat MakeWebcamFormat(const GUID& subtype, UINT32 nWidth, UINT32 nHeight,
                                       UINT32 nRateNumerator, UINT32 nRateDenominator = 1);

struct SimulatedWebcamSpec
{
    std::wstring friendlyName;
    std::wstring symbolicLink;
    // Native formats in the order the device lists them.
    std::vector<SimulatedWebcamFormat> formats;
    // The index in formats of the current type of a new media source: a
    // camera's current type is whatever it was left at, often none that a
    // reader will ask for.
    size_t nInitialFormat;
    // true: one frame per frame period, as a camera; false: every request is
    // answered at once (fast tests).
    bool bPaced;
    // MJPG frames are encoded once per media source and size, this many
    // distinct pictures; the bar code of an MJPG frame is its number modulo it.
    UINT32 nMjpgPictureCount;
};

// A USB-style symbolic link with the given vendor and product identifiers,
// e.g. "\\?\usb#vid_046d&pid_0825&mi_00#6&2b7a0b4&0&0000#{e5323777-...}\global".
std::wstring MakeWebcamSymbolicLink(USHORT nVendorId, USHORT nProductId,
                                    const wchar_t* pszInstance);

// Paced, 16 MJPG pictures.
SimulatedWebcamSpec MakeWebcamSpec(const std::wstring& friendlyName,
                                   const std::wstring& symbolicLink,
                                   const std::vector<SimulatedWebcamFormat>& formats);

// The calls of the simulated webcam that can be told to fail.
enum SimulatedWebcamCall
{
    WEBCAM_CALL_ACTIVATE,                        // IMFActivate::ActivateObject
    WEBCAM_CALL_CREATE_PRESENTATION_DESCRIPTOR,  // IMFMediaSource::CreatePresentationDescriptor
    WEBCAM_CALL_START,                           // IMFMediaSource::Start
    WEBCAM_CALL_STOP,                            // IMFMediaSource::Stop
    WEBCAM_CALL_REQUEST_SAMPLE,                  // IMFMediaStream::RequestSample
    WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE,          // IMFMediaTypeHandler::SetCurrentMediaType
    WEBCAM_CALL_COUNT
};

// What a started stream does with the sample requests it accepts.
enum SimulatedWebcamDelivery
{
    WEBCAM_DELIVER_SAMPLES,  // one MEMediaSample per request
    WEBCAM_DELIVER_NOTHING,  // requests are kept, no sample comes (served when switched back)
    WEBCAM_DELIVER_ERRORS,   // one MEError per request, with the given status
    // Each request is first answered by an MEStreamTick (a gap in the
    // stream); the request itself is kept, as with WEBCAM_DELIVER_NOTHING.
    WEBCAM_DELIVER_GAPS,
    // The stream ends: the next request (or one pending) is answered by
    // MEEndOfStream, the source sends MEEndOfPresentation, and later requests
    // fail with MF_E_END_OF_STREAM until the source is started again.
    WEBCAM_DELIVER_END_OF_STREAM,
};

// Frames of another shape than a well-behaved webcam's, as real ones send.
enum SimulatedWebcamFrameFault
{
    WEBCAM_FRAMES_WHOLE,
    WEBCAM_FRAMES_TRUNCATED,   // MJPG: each JPEG cut to half its length
    WEBCAM_FRAMES_NO_HUFFMAN,  // MJPG: JPEGs without their Huffman tables
    // MJPG: JPEGs of half the width and height; YUY2: the picture followed
    // by a row's worth of other bytes.
    WEBCAM_FRAMES_OTHER_SIZE,
    WEBCAM_FRAMES_TWO_BUFFERS,  // each sample's bytes split over two buffers
};

// How the media sources of an unplugged webcam learn of it.
enum SimulatedWebcamLoss
{
    // The stream (the source, if not started) sends MEError with
    // MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED; requests and Start then fail
    // with it. Stop and Shutdown still work.
    WEBCAM_LOSS_ERROR_EVENT,
    // A started source stops on its own: MESourceStopped and MEStreamStopped,
    // then Start and requests fail as above.
    WEBCAM_LOSS_STOPPED_EVENTS,
    // The source shuts itself down: its event queues end and every call
    // returns MF_E_SHUTDOWN.
    WEBCAM_LOSS_SHUTDOWN,
};

// A webcam made of real Media Foundation objects: activation objects with a
// real attribute store, a live media source with one video stream whose
// presentation descriptor, stream descriptor, media types, events and samples
// are the platform's own, driven by the protocol that the source reader uses.
// Tests hold it through a shared pointer; the COM objects it hands out keep it
// alive as long as they live. All methods are thread-safe.
class SimulatedWebcam : public std::enable_shared_from_this<SimulatedWebcam>
{
public:
    static std::shared_ptr<SimulatedWebcam> Create(const SimulatedWebcamSpec& webcamSpec);
    ~SimulatedWebcam();

    const SimulatedWebcamSpec& GetSpec() const { return m_spec; }

    // A new activation object, as each enumeration of the devices yields one.
    HRESULT CreateActivate(IMFActivate** ppActivate);

    // After the next nAfter calls, the nTimes calls that follow (-1: all)
    // return hr; the call is still counted. nAfter tells apart calls made
    // for different ends (a probe's activation and the opening one).
    void FailCall(SimulatedWebcamCall eCall, HRESULT hr, int nTimes = -1, int nAfter = 0);
    void ClearFailures();
    // Every activation from now on takes this long, as a camera that powers
    // up slowly does; INFINITE: it does not return until the delay is set
    // again, which also ends activations already waiting.
    void SetActivationDelay(DWORD dwDelayMs);
    int GetWaitingActivationCount();
    // Applies at once to every started stream, and to later ones.
    void SetDelivery(SimulatedWebcamDelivery eDelivery, HRESULT hrError = E_FAIL);
    // The shape of the frames made from now on.
    void SetFrameFault(SimulatedWebcamFrameFault eFault);
    SimulatedWebcamFrameFault GetFrameFault();
    // Held by another application: while busy, activation and Start fail
    // with HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) (the calls are still
    // counted).
    void SetBusy(bool bBusy);

    // The media type changes in mid-stream, as a camera's may: every started
    // source makes formats[nFormat] its current type and sends
    // MEStreamFormatChanged with it; the frames that follow have the new
    // format. Later sources start with it as well.
    void ChangeFormat(size_t nFormat);
    size_t GetCurrentFormat();

    // Unplugging takes the webcam out of every enumeration, makes activation
    // fail with MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED and tells its live
    // sources as eLoss says. Plugging it back in lets new sources work; sources
    // that learnt of the loss stay lost, as a real device's do.
    void Unplug(SimulatedWebcamLoss eLoss = WEBCAM_LOSS_ERROR_EVENT);
    void Plug();
    bool IsPlugged();

    // The broadcast the system sends for the device's interface (a
    // DEV_BROADCAST_DEVICEINTERFACE_A whose name is the symbolic link), for
    // WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE.
    std::vector<BYTE> MakeInterfaceBroadcast() const;

    // Observation.
    int GetCallCount(SimulatedWebcamCall eCall);  // failed calls included
    int GetLiveSourceCount();                     // media sources not yet destroyed
    int GetStartedSourceCount();
    int GetShutdownCount();    // IMFMediaSource::Shutdown calls
    UINT64 GetSampleCount();   // MEMediaSample events sent
    int GetErrorEventCount();  // MEError events sent
    bool WaitForSampleCount(UINT64 nSamples, DWORD dwTimeoutMs);

private:
    friend class SimulatedWebcamActivate;
    friend class SimulatedWebcamSource;
    friend class SimulatedWebcamTypeHandler;

    explicit SimulatedWebcam(const SimulatedWebcamSpec& webcamSpec);
    SimulatedWebcam(const SimulatedWebcam&);
    SimulatedWebcam& operator=(const SimulatedWebcam&);

    // For the webcam's own objects. TakeFailure counts the call and answers
    // S_OK or the injected failure; it takes only a leaf lock.
    HRESULT TakeFailure(SimulatedWebcamCall eCall);
    void WaitOutActivationDelay();
    // Registers a new source and tells it the present delivery; false when
    // the webcam is unplugged.
    bool AddSource(SimulatedWebcamSource* pSource);
    void RemoveSource(SimulatedWebcamSource* pSource);
    void CountStarted(int nDelta);
    void CountShutdown();
    void CountSample();
    void CountErrorEvent();

    struct Failure
    {
        HRESULT hr;
        int nTimesLeft;   // -1: always
        int nPassesLeft;  // calls still to succeed first
    };

    const SimulatedWebcamSpec m_spec;

    // Guards the plugged state, the delivery and the list of sources; taken
    // before a source's own lock, never after it.
    std::mutex m_controlLock;
    bool m_bPlugged;
    SimulatedWebcamDelivery m_eDelivery;
    HRESULT m_hrDeliveryError;
    std::vector<SimulatedWebcamSource*> m_sources;
    size_t m_nCurrentFormat;

    // Leaf lock: failures and counters.
    std::mutex m_statsLock;
    std::condition_variable m_sampleSent;
    Failure m_failures[WEBCAM_CALL_COUNT];
    int m_nCalls[WEBCAM_CALL_COUNT];
    int m_nStartedSources;
    int m_nShutdowns;
    UINT64 m_nSamples;
    int m_nErrorEvents;
    DWORD m_dwActivationDelayMs;
    UINT64 m_nActivationDelayChanges;  // wakes activations waiting out an older delay
    int m_nWaitingActivations;
    std::condition_variable m_activationDelayChanged;
    SimulatedWebcamFrameFault m_eFrameFault;
    bool m_bBusy;
};
