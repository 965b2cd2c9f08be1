// The simulator's run: the real host over the simulated driver, an optional
// simulated webcam and the test MJPEG decoder, playing a scenario of driver
// clients (simulation.cpp) or random ones for a soak (soak.cpp).
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "childprocess.h"
#include "driverstalls.h"
#include "scenariofaults.h"
#include "expectedframes.h"
#include "framecontent.h"
#include "hostrunner.h"
#include "scenario.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"
#include "videoinputdeviceregistry.h"

struct Request
{
    ScenarioClient client;
    int nDriverClientId;
    bool bStarted;
    bool bStopped;
    std::unique_ptr<ScopedChildProcess> pProcess;
    std::vector<double> latenciesMs;
    bool bSawSuspension;  // saw a suspension, a driver stall or slow openings: exempt from the
                          // no-frame check
    bool bWarmUp;         // the soak's decoder warm-up: not judged
    double dStartedAt;    // when the driver got the client; the stop, -1 while it runs
    double dStoppedAt;
    double dFirstArrival;
    double dLastArrival;
    size_t nFrames;
    size_t nSettledFrames;  // after the settle time of its start: the share's count
    size_t nWrongSize;
    FrameContentCounts content;
    UINT64 nBytes;
    std::vector<BYTE> first;
    std::vector<BYTE> last;
};

// Seconds since the simulation's set-up.
double Now();
std::wstring Widen(const std::string& text);
std::string RequestLabel(const ScenarioClient& client);

class Simulation
{
public:
    explicit Simulation(const Scenario& scenario);

    bool Run(const std::wstring& outputFolder);
    // Clients, webcam losses and suspensions at random for dSeconds; checks
    // for leaks, a stuck host and requests without frames.
    bool Soak(double dSeconds, unsigned nSeed);

private:
    void OnFrame(const SimulatedDriver::FrameView& frame);
    void WatchSamples();
    // Notes the webcam's samples for the latency; none without a webcam.
    std::thread StartSampleWatcher();
    void StartRequest(Request* pRequest);
    void StopRequest(Request* pRequest);
    void ApplyEvent(const ScenarioEvent& event);
    void PrintProgress(double dElapsed);
    bool SetUp();
    bool StopAll(std::thread* pWatcher);

    bool Report(const std::wstring& outputFolder);

    // Frames the request should have had for the time it ran, and that time.
    double ExpectedFor(const Request& request);
    static double RanFor(const Request& request);
    // A driver stall, which the frames expected of the requests allow for.
    void StartStall(DWORD dwControlCode, double dAt, double dLength);
    // Notes the webcam's stream starts so far; false, with a FAILED line,
    // once they came more than WebcamOpenings::kMaxOpenings in a window.
    bool NoteOpenings(double dNow);
    // The soak's faults, drawn at random: one may start now; the ones that
    // run end when their time comes.
    void DrawSoakFault(std::mt19937* pRandom, std::vector<ScenarioEvent>* pEnds);
    void EndSoakFaults(double dNow, std::vector<ScenarioEvent>* pEnds);

    // The soak (soak.cpp). Its clients: a form no running request has, a
    // new request of it, a running request switched to it in one change of
    // the driver's.
    const ScenarioClient& PickFreeForm(const std::vector<size_t>& active, std::mt19937* pRandom);
    void AddSoakRequest(const ScenarioClient& form, double dAt);
    void SwitchSoakRequest(size_t nIndex, const ScenarioClient& form, double dAt);
    // Runs one YUY2 request until the test decoder has seen every picture
    // the webcam repeats, so that the memory baseline includes its cache.
    void WarmDecoder();
    // Each request of the soak against the frames expected of it.
    void JudgeSoakRequests(std::vector<std::string>* pFailures);

    size_t TotalFrames();
    // The soak's events: the webcam plugged or not, the system suspended or
    // resumed, every client gone.
    void ChangeWebcam(bool bPlug);
    void SetSuspended(bool bSuspended);
    void RemoveAllRequests();
    // A session change or a spell of slow webcam activations, by the draw;
    // what it did, for the trace, or NULL.
    const char* DrawWorldChange(int nDraw, double dActivationDelay, double* pdSlowActivationUntil,
                                int* pnSessionChanges, int* pnSlowActivations);

    Scenario m_scenario;
    ScopedMediaFoundation m_mf;
    ScopedMjpegDecoder m_decoder;
    ScopedVideoInputDevice m_device;
    SimulatedDriver m_driver;
    ExpectedFrames m_expected;  // the simulation thread's alone
    SimulatedWebcamEnumeration m_enumeration;
    std::shared_ptr<SimulatedWebcam> m_webcam;
    FrameContentChecker m_checker;

    DriverStalls m_stalls;
    // Until when the soak's faults and slow webcam openings may keep a new
    // client from its first frame: requests that start before it are
    // treated as those that meet a stall.
    double m_dServingHeldUntil = -1;
    void HoldServingFor(double dSeconds);
    // Within a driver stall or a span held by HoldServingFor.
    bool IsServingHeldAt(double dAt) const;
    ScenarioFaults m_faults;
    WebcamOpenings m_openings;  // the simulation thread's alone
    std::mutex m_lock;
    std::deque<Request> m_requests;  // grows at the back only; the frame observer reads it
    size_t m_nUnmatched;
    std::atomic<double> m_dLastSample;
    std::atomic<bool> m_bWatching;
    // The pictures for the PNG files; the soak writes none, and its hundreds
    // of requests would hold them in the very memory it watches.
    bool m_bKeepPictures;
    // Last, so that it stops before the doubles it runs over go.
    HostRunner m_host;
};
