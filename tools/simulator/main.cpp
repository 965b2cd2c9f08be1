// The simulator: the real host over the simulated driver, an optional
// simulated webcam and the test MJPEG decoder, playing a scenario of driver
// clients; it writes what the driver received as PNG files and a contact
// sheet and prints a summary per request.
#include <windows.h>
#include <dbt.h>
#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <psapi.h>

#include <algorithm>
#include <deque>
#include <random>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "childprocess.h"
#include "driver/driverprotocol.h"
#include "expectedframes.h"
#include "framecontent.h"
#include "hostrunner.h"
#include "driverstalls.h"
#include "pictures.h"
#include "runbound.h"
#include "processhandles.h"
#include "scenario.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"
#include "simulationcputime.h"
#include "videoinputdeviceregistry.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#image#0000#{sim-main}";
const wchar_t kDevicePathW[] = L"\\\\?\\root#image#0000#{sim-main}";
// A frame counts for the latency only when a webcam sample came less than
// this many frame periods before it; older means the placeholder made it.
const double kLatencyWindowPeriods = 2.0;
// How long the host's window may take to answer outside a driver stall.
const DWORD kAnswerLimitMs = 2000;

struct Request
{
    ScenarioClient client;
    int nDriverClientId;
    bool bStarted;
    bool bStopped;
    std::unique_ptr<ScopedChildProcess> pProcess;
    std::vector<double> latenciesMs;
    bool bSawSuspension;  // saw a suspension or a driver stall: exempt from the soak's frame check
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

LARGE_INTEGER gStart;
LARGE_INTEGER gFrequency;

double Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - gStart.QuadPart) / gFrequency.QuadPart;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring ExecutableFolder()
{
    wchar_t wszPath[MAX_PATH] = {};
    GetModuleFileNameW(NULL, wszPath, MAX_PATH);
    std::wstring path = wszPath;
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string RequestLabel(const ScenarioClient& client)
{
    char szLabel[160];
    snprintf(szLabel, sizeof(szLabel), "%s %ux%u %s", FormatName(client.nFormat), client.nWidth,
             client.nHeight, client.processName.c_str());
    return szLabel;
}

std::string FileStem(size_t nIndex, const ScenarioClient& client)
{
    char szStem[160];
    snprintf(szStem, sizeof(szStem), "%02u-%s-%ux%u-%s", static_cast<unsigned>(nIndex + 1),
             FormatName(client.nFormat), client.nWidth, client.nHeight,
             client.processName.c_str());
    std::string stem = szStem;
    for (char& c : stem)
    {
        if (c == '\\' || c == '/' || c == ':' || c == ' ')
            c = '_';
    }
    return stem;
}

double Percentile(std::vector<double> values, double dFraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t nIndex = static_cast<size_t>(dFraction * (values.size() - 1) + 0.5);
    return values[std::min(nIndex, values.size() - 1)];
}

class Simulation
{
public:
    explicit Simulation(const Scenario& scenario)
        : m_scenario(scenario),
          m_device(L"sim-main", L"Quorvane Pellion", kDevicePathW),
          m_driver(kDevicePath),
          m_expected(scenario),
          m_stalls(&m_driver),
          m_nUnmatched(0),
          m_dLastSample(-1),
          m_bWatching(false),
          m_bKeepPictures(true)
    {
        for (const ScenarioClient& client : scenario.clients)
        {
            Request request = {};
            request.client = client;
            request.nDriverClientId = -1;
            m_requests.push_back(std::move(request));
        }
    }

    bool Run(const std::wstring& outputFolder);
    // Clients, webcam losses and suspensions at random for dSeconds; checks
    // for leaks, a stuck host and requests without frames.
    bool Soak(double dSeconds, unsigned nSeed, bool bShortRequestsFail);

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
    bool HostAnswers(DWORD dwTimeoutMs = 5000);

    size_t TotalFrames();
    bool Report(const std::wstring& outputFolder);

    // Frames the request should have had for the time it ran, and that time.
    double ExpectedFor(const Request& request);
    static double RanFor(const Request& request);

    // The soak's clients: a form no running request has, a new request of
    // it, a running request switched to it in one change of the driver's.
    const ScenarioClient& PickFreeForm(const std::vector<size_t>& active, std::mt19937* pRandom);
    void AddSoakRequest(const ScenarioClient& form, double dAt);
    void SwitchSoakRequest(size_t nIndex, const ScenarioClient& form, double dAt);
    // Runs one YUY2 request until the test decoder has seen every picture
    // the webcam repeats, so that the memory baseline includes its cache.
    void WarmDecoder();

    void ChangeWebcam(bool bPlug);
    // A driver stall, which the frames expected of the requests allow for.
    void StartStall(DWORD dwControlCode, double dAt, double dLength);
    void SetSuspended(bool bSuspended);
    void RemoveAllRequests();

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

void Simulation::OnFrame(const SimulatedDriver::FrameView& frame)
{
    // Runs on the product's delivery thread, but is the simulator's work.
    ScopedSimulationCpu cpu(SIM_CPU_SIMULATOR);
    double dNow = Now();
    double dSample = m_dLastSample.load();
    const FrameContent eContent =
        m_checker.Classify(frame.nFormat, frame.nWidth, frame.nHeight, frame.pPicture, frame.cbPicture);
    std::lock_guard<std::mutex> lock(m_lock);
    // Frames carry no client: a frame belongs to the running request of its
    // format and size.
    Request* pMatch = NULL;
    for (Request& request : m_requests)
    {
        if (request.bStarted && request.client.nFormat == frame.nFormat &&
            request.client.nWidth == frame.nWidth && request.client.nHeight == frame.nHeight)
        {
            pMatch = &request;
            if (!request.bStopped)
                break;
        }
    }
    if (pMatch == NULL)
    {
        ++m_nUnmatched;
        return;
    }
    size_t nExpected = ExpectedPictureBytes(frame.nFormat, frame.nWidth, frame.nHeight);
    if (nExpected != 0 && frame.cbPicture != nExpected)
        ++pMatch->nWrongSize;
    pMatch->content.Add(eContent);
    if (pMatch->nFrames == 0)
    {
        pMatch->dFirstArrival = dNow;
        if (m_bKeepPictures)
            pMatch->first.assign(frame.pPicture, frame.pPicture + frame.cbPicture);
    }
    pMatch->dLastArrival = dNow;
    if (m_bKeepPictures)
        pMatch->last.assign(frame.pPicture, frame.pPicture + frame.cbPicture);
    ++pMatch->nFrames;
    if (dNow - pMatch->dStartedAt >= ExpectedFrames::kSettleSeconds)
        ++pMatch->nSettledFrames;
    pMatch->nBytes += frame.cbPicture;
    if (dSample >= 0 && dNow - dSample < kLatencyWindowPeriods / m_scenario.nWebcamFps)
        pMatch->latenciesMs.push_back((dNow - dSample) * 1000.0);
}

// Notes the time of every sample the webcam sends: the capture time a
// received frame is measured from.
std::thread Simulation::StartSampleWatcher()
{
    if (!m_webcam)
        return std::thread();
    m_bWatching.store(true);
    return std::thread(&Simulation::WatchSamples, this);
}

void Simulation::WatchSamples()
{
    ScopedSimulationCpu cpu(SIM_CPU_SIMULATOR);
    while (m_bWatching.load())
    {
        UINT64 nSamples = m_webcam->GetSampleCount();
        if (m_webcam->WaitForSampleCount(nSamples + 1, 50))
            m_dLastSample.store(Now());
    }
}

void Simulation::StartRequest(Request* pRequest)
{
    DWORD dwProcessId = GetCurrentProcessId();
    if (_stricmp(pRequest->client.processName.c_str(), "te.exe") == 0)
    {
        pRequest->pProcess.reset(new ScopedChildProcess(ExecutableFolder() + L"te.exe"));
        if (pRequest->pProcess->IsRunning())
            dwProcessId = pRequest->pProcess->ProcessId();
        else
            fprintf(stderr, "\nte.exe did not start; the request comes from the simulator\n");
    }
    std::lock_guard<std::mutex> lock(m_lock);
    pRequest->nDriverClientId = m_driver.AddClient(pRequest->client.nFormat, pRequest->client.nWidth,
                                                   pRequest->client.nHeight, dwProcessId);
    pRequest->bStarted = true;
    pRequest->dStartedAt = Now();
    pRequest->dStoppedAt = -1;
}

void Simulation::StopRequest(Request* pRequest)
{
    m_driver.RemoveClient(pRequest->nDriverClientId);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        pRequest->bStopped = true;
        pRequest->dStoppedAt = Now();
    }
    pRequest->pProcess.reset();
}

void Simulation::ApplyEvent(const ScenarioEvent& event)
{
    if (event.eKind == SCENARIO_STALL)
    {
        StartStall(event.dwControlCode, Now(), event.dLength);
        return;
    }
    if (!m_webcam)
        return;
    std::vector<BYTE> broadcast = m_webcam->MakeInterfaceBroadcast();
    DWORD_PTR dwResult = 0;
    if (event.eKind == SCENARIO_UNPLUG)
    {
        m_expected.NoteUnplug(Now());
        m_webcam->Unplug();
        SendMessageTimeoutA(m_host.Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                            reinterpret_cast<LPARAM>(broadcast.data()), SMTO_NORMAL, 10000,
                            &dwResult);
        // The failed read the read loop reports for a lost device: Wine's
        // source reader does not pass the stream's error on, so the
        // simulator posts what the read loop would.
        PostMessageA(m_host.Window(), WM_APP + 1,
                     static_cast<WPARAM>(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED), 0);
    }
    else
    {
        m_expected.NotePlug(Now());
        m_webcam->Plug();
        SendMessageTimeoutA(m_host.Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                            reinterpret_cast<LPARAM>(broadcast.data()), SMTO_NORMAL, 10000,
                            &dwResult);
    }
}

void Simulation::PrintProgress(double dElapsed)
{
    std::string line;
    char szPart[64];
    snprintf(szPart, sizeof(szPart), "\r%6.1f s ", dElapsed);
    line = szPart;
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t i = 0; i < m_requests.size(); ++i)
    {
        const Request& request = m_requests[i];
        const char* pszState = !request.bStarted ? "-" : request.bStopped ? "done" : "on";
        snprintf(szPart, sizeof(szPart), "| #%u %s %u ", static_cast<unsigned>(i + 1), pszState,
                 static_cast<unsigned>(request.nFrames));
        line += szPart;
    }
    fputs(line.c_str(), stdout);
    fflush(stdout);
}

bool Simulation::SetUp()
{
    HRESULT hrChecker = m_checker.Initialize();
    if (FAILED(m_mf.Result()) || FAILED(m_decoder.Result()) || !m_device.IsRegistered() ||
        FAILED(hrChecker))
    {
        fprintf(stderr, "The simulated devices could not be set up (0x%08lX, 0x%08lX, 0x%08lX)\n",
                static_cast<unsigned long>(m_mf.Result()),
                static_cast<unsigned long>(m_decoder.Result()),
                static_cast<unsigned long>(hrChecker));
        return false;
    }
    // The observer sees every frame; the driver need keep none.
    m_driver.SetFrameRetention(0);
    m_driver.SetFrameObserver([this](const SimulatedDriver::FrameView& frame) { OnFrame(frame); });
    m_driver.Install();
    if (m_scenario.bWebcam)
    {
        m_webcam = SimulatedWebcam::Create(MakeWebcamSpec(
            L"Simulated Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
            WebcamFormatsOf(m_scenario)));
        m_enumeration.Add(m_webcam);
    }

    QueryPerformanceFrequency(&gFrequency);
    QueryPerformanceCounter(&gStart);
    if (!m_host.Start())
    {
        fprintf(stderr, "The host did not start\n");
        m_driver.Uninstall();
        return false;
    }
    return true;
}

// Ends the clients and the host; true when the host stopped in time.
bool Simulation::StopAll(std::thread* pWatcher)
{
    for (Request& request : m_requests)
    {
        if (request.bStarted && !request.bStopped)
            StopRequest(&request);
    }
    bool bStopped = m_host.Stop();
    if (pWatcher->joinable())
    {
        m_bWatching.store(false);
        pWatcher->join();
    }
    m_driver.SetFrameObserver(nullptr);
    m_driver.Uninstall();
    if (!bStopped)
        fprintf(stderr, "The host did not stop in time\n");
    return bStopped;
}

bool Simulation::Run(const std::wstring& outputFolder)
{
    RunBound bound(m_scenario.dDuration);
    if (!SetUp())
        return false;
    std::thread watcher = StartSampleWatcher();
    bool bAnswered = true;
    double dNextWatch = 1.0;

    std::vector<bool> eventDone(m_scenario.events.size(), false);
    double dNextProgress = 0;
    for (;;)
    {
        double dElapsed = Now();
        for (size_t i = 0; i < m_scenario.events.size(); ++i)
        {
            if (!eventDone[i] && dElapsed >= m_scenario.events[i].dAt)
            {
                eventDone[i] = true;
                ApplyEvent(m_scenario.events[i]);
            }
        }
        for (Request& request : m_requests)
        {
            if (!request.bStarted && dElapsed >= request.client.dStart)
                StartRequest(&request);
            if (request.bStarted && !request.bStopped && dElapsed >= request.client.dStop)
                StopRequest(&request);
        }
        if (dElapsed >= dNextProgress)
        {
            PrintProgress(dElapsed);
            dNextProgress = dElapsed + 0.25;
        }
        if (dElapsed >= dNextWatch)
        {
            dNextWatch = dElapsed + 1.0;
            if (!m_stalls.Cover(dElapsed) && !HostAnswers(kAnswerLimitMs))
            {
                printf("\nFAILED: the host did not answer within %.0f s at %.1f s\n",
                       kAnswerLimitMs / 1000.0, dElapsed);
                bAnswered = false;
            }
        }
        if (dElapsed >= m_scenario.dDuration)
            break;
        Sleep(10);
    }
    PrintProgress(Now());
    fputs("\n", stdout);

    bool bStopped = StopAll(&watcher);
    bound.Finish();
    return Report(outputFolder) && bStopped && bAnswered;
}

bool Simulation::Report(const std::wstring& outputFolder)
{
    bool bAllGood = true;
    CreateDirectoryW(outputFolder.c_str(), NULL);

    const UINT32 kThumbWidth = 320;
    const UINT32 kThumbHeight = 180;
    const UINT32 kGap = 8;
    const UINT32 kTileWidth = kThumbWidth * 2 + kGap * 3;
    const UINT32 kTileHeight = kThumbHeight + kGap * 4 + 14 * 2;
    const UINT32 nColumns = 2;
    const UINT32 nRows = static_cast<UINT32>((m_requests.size() + nColumns - 1) / nColumns);
    BgrPicture sheet;
    sheet.nWidth = kTileWidth * nColumns;
    sheet.nHeight = kTileHeight * nRows;
    sheet.pixels.assign(static_cast<size_t>(sheet.nWidth) * sheet.nHeight * 3, 40);

    printf("\n%-3s %-36s %7s %8s %6s %7s %7s %7s %9s %9s %9s %10s  %s\n", "#", "request",
           "frames", "expected", "share", "webcam", "placeh", "fps", "lat mean", "lat p50", "lat p99",
           "bytes/fr", "check");
    for (size_t i = 0; i < m_requests.size(); ++i)
    {
        const Request& request = m_requests[i];
        const ScenarioClient& client = request.client;
        std::string problem;
        BgrPicture pictures[2] = {};
        bool bHave[2] = {false, false};
        if (request.nFrames == 0)
            problem = "no frames";
        else if (request.nWrongSize != 0)
            problem = "wrong size";
        else if (request.content.nMismatched != 0)
            problem = "content";
        double dExpected = ExpectedFor(request);
        if (problem.empty() &&
            ExpectedFrames::ReceivedTooFew(RanFor(request), request.nSettledFrames, dExpected))
            problem = "too few frames";
        double dShare = ExpectedFrames::Share(request.nSettledFrames, dExpected);
        char szShare[16] = "-";
        if (dShare >= 0)
            snprintf(szShare, sizeof(szShare), "%.0f %%", dShare * 100);
        const std::vector<BYTE>* pSources[2] = {&request.first, &request.last};
        const char* pszWhich[2] = {"first", "last"};
        for (int n = 0; n < 2 && request.nFrames != 0; ++n)
        {
            HRESULT hr = DecodeDriverPicture(client.nFormat, client.nWidth, client.nHeight,
                                             *pSources[n], &pictures[n]);
            if (FAILED(hr))
            {
                if (problem.empty())
                    problem = "bad picture";
                continue;
            }
            bHave[n] = true;
            std::wstring path = outputFolder + L"\\" + Widen(FileStem(i, client)) + L"-" +
                                Widen(pszWhich[n]) + L".png";
            hr = WritePng(path, pictures[n]);
            if (FAILED(hr))
                fprintf(stderr, "Could not write %ls (0x%08lX)\n", path.c_str(),
                        static_cast<unsigned long>(hr));
        }

        double dFps = 0;
        if (request.nFrames > 1 && request.dLastArrival > request.dFirstArrival)
            dFps = (request.nFrames - 1) / (request.dLastArrival - request.dFirstArrival);
        double dMean = 0;
        for (double d : request.latenciesMs)
            dMean += d;
        char szMean[32] = "-";
        char szP50[32] = "-";
        char szP99[32] = "-";
        if (!request.latenciesMs.empty())
        {
            snprintf(szMean, sizeof(szMean), "%.1f ms", dMean / request.latenciesMs.size());
            snprintf(szP50, sizeof(szP50), "%.1f ms", Percentile(request.latenciesMs, 0.5));
            snprintf(szP99, sizeof(szP99), "%.1f ms", Percentile(request.latenciesMs, 0.99));
        }
        printf("%-3u %-36s %7u %8.0f %6s %7u %7u %7.1f %9s %9s %9s %10.0f  %s\n",
               static_cast<unsigned>(i + 1), RequestLabel(client).c_str(),
               static_cast<unsigned>(request.nFrames), dExpected, szShare,
               static_cast<unsigned>(request.content.nWebcam),
               static_cast<unsigned>(request.content.nPlaceholder), dFps, szMean,
               szP50, szP99, request.nFrames ? static_cast<double>(request.nBytes) / request.nFrames : 0.0,
               problem.empty() ? "ok" : problem.c_str());
        if (!problem.empty())
            bAllGood = false;

        UINT32 x = static_cast<UINT32>(i % nColumns) * kTileWidth;
        UINT32 y = static_cast<UINT32>(i / nColumns) * kTileHeight;
        FillRect(&sheet, x + 2, y + 2, kTileWidth - 4, kTileHeight - 4, 64, 64, 64);
        for (int n = 0; n < 2; ++n)
        {
            UINT32 xThumb = x + kGap + n * (kThumbWidth + kGap);
            FillRect(&sheet, xThumb, y + kGap, kThumbWidth, kThumbHeight, 0, 0, 0);
            if (bHave[n])
                DrawScaled(pictures[n], &sheet, xThumb, y + kGap, kThumbWidth, kThumbHeight);
        }
        char szLine[200];
        snprintf(szLine, sizeof(szLine), "%u %s", static_cast<unsigned>(i + 1),
                 RequestLabel(client).c_str());
        DrawText(&sheet, x + kGap, y + kThumbHeight + kGap * 2, szLine, 2, 255, 255, 255);
        snprintf(szLine, sizeof(szLine), "FIRST | LAST   %u FRAMES %s",
                 static_cast<unsigned>(request.nFrames), problem.empty() ? "" : problem.c_str());
        DrawText(&sheet, x + kGap, y + kThumbHeight + kGap * 3 + 14, szLine, 2,
                 problem.empty() ? 180 : 255, problem.empty() ? 220 : 90,
                 problem.empty() ? 180 : 90);
    }
    std::wstring sheetPath = outputFolder + L"\\contact-sheet.png";
    HRESULT hr = WritePng(sheetPath, sheet);
    if (FAILED(hr))
    {
        fprintf(stderr, "Could not write %ls (0x%08lX)\n", sheetPath.c_str(),
                static_cast<unsigned long>(hr));
        bAllGood = false;
    }
    FILETIME created, exited, kernel, user;
    size_t nTotalFrames = 0;
    for (const Request& request : m_requests)
        nTotalFrames += request.nFrames;
    if (nTotalFrames != 0 && GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
    {
        ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
        ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
        double dCpuMs = (k.QuadPart + u.QuadPart) / 10000.0;
        printf("Process CPU time: %.0f ms in all, %.2f ms per delivered frame (%u frames; the "
               "simulated webcam and decoder included)\n",
               dCpuMs, dCpuMs / nTotalFrames, static_cast<unsigned>(nTotalFrames));
        // This thread (set-up, scenario, pictures) is the simulator's too.
        const double dWebcamMs = GetSimulationCpuTime(SIM_CPU_WEBCAM) / 10000.0;
        const double dDecoderMs = GetSimulationCpuTime(SIM_CPU_DECODER) / 10000.0;
        const double dSimulatorMs =
            (GetSimulationCpuTime(SIM_CPU_SIMULATOR) + CurrentThreadCpuTime()) / 10000.0;
        const double dProductMs = dCpuMs - dWebcamMs - dDecoderMs - dSimulatorMs;
        printf("Product alone: %.2f ms per delivered frame (%.0f ms: the process less the "
               "simulated webcam's thread %.0f ms, the test decoder's calls %.0f ms and the "
               "simulator's threads and frame observer %.0f ms)\n",
               dProductMs / nTotalFrames, dProductMs, dWebcamMs, dDecoderMs, dSimulatorMs);
    }
    printf("Latency: from the webcam's newest sample before the frame reached the driver "
           "(placeholder frames have none).\n");
    if (m_nUnmatched != 0)
        printf("%u frames matched no request.\n", static_cast<unsigned>(m_nUnmatched));
    printf("Pictures and contact-sheet.png in %ls\n", outputFolder.c_str());
    return bAllGood;
}

}  // namespace

namespace
{
struct ProcessLevels
{
    DWORD dwHandles;
    SIZE_T cbPrivate;
};

ProcessLevels MeasureProcess()
{
    ProcessLevels levels = {};
    levels.dwHandles = CountProcessHandles();
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)))
        // Wine leaves PrivateUsage 0; the commit charge is the same figure.
        levels.cbPrivate = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return levels;
}

// What the process may have grown by between the level after warm-up and
// the end: caches of the platform's media objects and the heap's slack.
const DWORD kHandleMargin = 64;
const SIZE_T kPrivateMargin = 48 * 1024 * 1024;
// How long frames may stop while a request runs and the system is awake.
const double kStallLimitS = 5.0;
// The soak's driver stalls: at most this long, each, after this share of
// the actions (in percent).
const double kSoakStallMaxS = 2.0;
const int kSoakStallPercent = 5;

const ScenarioClient kSoakForms[] = {
    {2, 640, 480, "soak.exe", 0, 0},  {4, 320, 240, "soak.exe", 0, 0},
    {3, 1280, 720, "soak.exe", 0, 0}, {2, 1280, 720, "soak.exe", 0, 0},
    {4, 640, 360, "soak.exe", 0, 0},
};
}  // namespace

bool Simulation::HostAnswers(DWORD dwTimeoutMs)
{
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutA(m_host.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, dwTimeoutMs,
                               &dwResult) != 0;
}

size_t Simulation::TotalFrames()
{
    std::lock_guard<std::mutex> lock(m_lock);
    size_t nFrames = 0;
    for (const Request& request : m_requests)
        nFrames += request.nFrames;
    return nFrames;
}

const ScenarioClient& Simulation::PickFreeForm(const std::vector<size_t>& active,
                                               std::mt19937* pRandom)
{
    std::vector<const ScenarioClient*> freeForms;
    for (const ScenarioClient& form : kSoakForms)
    {
        bool bInUse = false;
        for (size_t i : active)
        {
            const ScenarioClient& c = m_requests[i].client;
            bInUse = bInUse ||
                     (c.nFormat == form.nFormat && c.nWidth == form.nWidth && c.nHeight == form.nHeight);
        }
        if (!bInUse)
            freeForms.push_back(&form);
    }
    return *freeForms[(*pRandom)() % freeForms.size()];
}

void Simulation::AddSoakRequest(const ScenarioClient& form, double dAt)
{
    Request request = {};
    request.client = form;
    request.client.dStart = dAt;
    request.client.dStop = 1e9;
    request.nDriverClientId = -1;
    request.bSawSuspension = m_stalls.Cover(dAt);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.push_back(std::move(request));
    }
    StartRequest(&m_requests.back());
}

void Simulation::SwitchSoakRequest(size_t nIndex, const ScenarioClient& form, double dAt)
{
    Request request = {};
    request.client = form;
    request.client.dStart = dAt;
    request.client.dStop = 1e9;
    std::lock_guard<std::mutex> lock(m_lock);
    Request& old = m_requests[nIndex];
    request.nDriverClientId = old.nDriverClientId;
    request.bStarted = true;
    request.dStartedAt = Now();
    request.dStoppedAt = -1;
    old.client.dStop = dAt;
    old.bStopped = true;
    old.dStoppedAt = request.dStartedAt;
    m_requests.push_back(std::move(request));
    m_driver.ChangeClient(old.nDriverClientId, form.nFormat, form.nWidth, form.nHeight);
}

void Simulation::WarmDecoder()
{
    const size_t kPictures = 32;  // twice the sixteen the webcam repeats
    AddSoakRequest(kSoakForms[0], Now());
    Request* pRequest = &m_requests.back();
    pRequest->bWarmUp = true;
    for (double dUntil = Now() + 10; Now() < dUntil;)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (pRequest->nFrames >= kPictures)
                break;
        }
        Sleep(20);
    }
    pRequest->client.dStop = Now();
    StopRequest(pRequest);
}

double Simulation::RanFor(const Request& request)
{
    if (!request.bStarted)
        return 0;
    return (request.dStoppedAt >= 0 ? request.dStoppedAt : Now()) - request.dStartedAt;
}

double Simulation::ExpectedFor(const Request& request)
{
    if (!request.bStarted)
        return 0;
    return m_expected.Expected(request.client, request.dStartedAt,
                               request.dStoppedAt >= 0 ? request.dStoppedAt : Now());
}

void Simulation::StartStall(DWORD dwControlCode, double dAt, double dLength)
{
    m_stalls.Start(dwControlCode, dAt, dLength);
    m_expected.NoteStall(dAt, dLength);
}

void Simulation::ChangeWebcam(bool bPlug)
{
    ScenarioEvent event = {bPlug ? SCENARIO_PLUG : SCENARIO_UNPLUG, 0, 0, 0};
    ApplyEvent(event);
}

void Simulation::SetSuspended(bool bSuspended)
{
    DWORD_PTR dwResult = 0;
    if (bSuspended)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (Request& request : m_requests)
        {
            if (request.bStarted && !request.bStopped)
                request.bSawSuspension = true;
        }
    }
    if (bSuspended)
        m_expected.NoteSuspend(Now());
    else
        m_expected.NoteResume(Now());
    SendMessageTimeoutA(m_host.Window(), WM_POWERBROADCAST,
                        bSuspended ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC, 0, SMTO_NORMAL,
                        10000, &dwResult);
}

void Simulation::RemoveAllRequests()
{
    for (Request& request : m_requests)
    {
        if (request.bStarted && !request.bStopped)
        {
            request.client.dStop = Now();
            StopRequest(&request);
        }
    }
}

bool Simulation::Soak(double dSeconds, unsigned nSeed, bool bShortRequestsFail)
{
    m_bKeepPictures = false;
    RunBound bound(dSeconds);
    if (!SetUp())
        return false;
    std::thread watcher = StartSampleWatcher();
    // First the test decoder sees every picture the webcam repeats: it
    // decodes each once, slowly, and copies it after that. Its cache is then
    // part of the memory baseline, and no request's share pays for it.
    WarmDecoder();
    std::mt19937 random(nSeed);
    std::uniform_real_distribution<double> pause(0.3, 1.2);
    std::uniform_int_distribution<int> action(0, 99);
    // Stall lengths come from a generator of their own, so that adding
    // stalls leaves a seed's other actions as they were.
    std::mt19937 stallRandom(nSeed);
    std::uniform_real_distribution<double> stallLength(0.2, kSoakStallMaxS);
    std::uniform_int_distribution<int> stallChance(0, 99);
    const double dWarmUp = std::min(10.0, dSeconds / 4);
    bool bWarm = false;
    ProcessLevels warm = {};
    std::vector<std::string> failures;
    bool bPlugged = true;
    size_t nLastFrames = 0;
    double dLastProgress = 0;
    double dNextAction = 0;
    double dNextWatch = 0;
    double dSuspendedUntil = -1;
    int nUnplugs = 0;
    int nSuspensions = 0;
    int nStalls = 0;
    int nFailedRequests = 0;
    // The worker's watchdog: after a client change, the driver must see the
    // host count the requests again. -1 while no change waits for it.
    int nQueriesAtChange = -1;
    double dChangeAt = 0;
    auto watchWorker = [&](double dAt) {
        if (nQueriesAtChange < 0 && dSuspendedUntil < 0)
        {
            nQueriesAtChange = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
            dChangeAt = dAt;
        }
    };

    // VCAM_SOAK_TRACE=1 lists every action on standard error.
    const bool bTrace = getenv("VCAM_SOAK_TRACE") != NULL;
    auto trace = [&](const char* pszAction, size_t nRequest) {
        if (bTrace)
            fprintf(stderr, "\n%7.2f s %s #%u\n", Now(), pszAction, static_cast<unsigned>(nRequest + 1));
    };
    for (;;)
    {
        double dNow = Now();
        if (dNow >= dSeconds)
            break;
        if (!bWarm && dNow >= dWarmUp && dSuspendedUntil < 0)
        {
            // The level after warm-up, taken quiet: no clients, webcam in.
            RemoveAllRequests();
            if (!bPlugged)
            {
                ChangeWebcam(true);
                bPlugged = true;
            }
            Sleep(2000);
            warm = MeasureProcess();
            bWarm = true;
            dLastProgress = Now();
            nLastFrames = TotalFrames();
            continue;
        }
        if (dSuspendedUntil >= 0 && dNow >= dSuspendedUntil)
        {
            SetSuspended(false);
            dSuspendedUntil = -1;
            dLastProgress = dNow;
        }
        if (dNow >= dNextAction && dSuspendedUntil < 0)
        {
            int nAction = action(random);
            std::vector<size_t> active;
            for (size_t i = 0; i < m_requests.size(); ++i)
            {
                if (m_requests[i].bStarted && !m_requests[i].bStopped)
                    active.push_back(i);
            }
            if (nAction < 35 && active.size() < 3)
            {
                watchWorker(dNow);
                AddSoakRequest(PickFreeForm(active, &random), dNow);
                trace("start", m_requests.size() - 1);
                dLastProgress = dNow;
            }
            else if (nAction < 60 && !active.empty())
            {
                size_t nIndex = active[random() % active.size()];
                m_requests[nIndex].client.dStop = dNow;
                watchWorker(dNow);
                StopRequest(&m_requests[nIndex]);
                trace("stop", nIndex);
            }
            else if (nAction < 68 && !active.empty())
            {
                // One client leaves and another comes within a few
                // milliseconds: the new one must not find the camera on its
                // way out.
                size_t nIndex = active[random() % active.size()];
                active.erase(std::find(active.begin(), active.end(), nIndex));
                m_requests[nIndex].client.dStop = dNow;
                watchWorker(dNow);
                StopRequest(&m_requests[nIndex]);
                Sleep(3);
                AddSoakRequest(PickFreeForm(active, &random), Now());
                trace("stop and start at once", nIndex);
            }
            else if (nAction < 75 && !active.empty())
            {
                // One client switches to another format and size.
                size_t nIndex = active[random() % active.size()];
                active.erase(std::find(active.begin(), active.end(), nIndex));
                watchWorker(dNow);
                SwitchSoakRequest(nIndex, PickFreeForm(active, &random), dNow);
                trace("switch", nIndex);
            }
            else if (nAction < 93 && nAction >= 87)
            {
                SetSuspended(true);
                ++nSuspensions;
                dSuspendedUntil = dNow + 0.5 + pause(random);
                trace("suspend", 0);
            }
            else if (nAction >= 93 && nAction < 96)
            {
                // The next count request fails; the host must keep what it
                // serves and read again.
                m_driver.FailRequest(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, ERROR_GEN_FAILURE, 1);
                ++nFailedRequests;
                trace("fail the next count request", 0);
            }
            else if (nAction >= 96 && nAction < 99)
            {
                m_driver.FailRequest(IOCTL_AVSHWS_SET_FRAME, ERROR_GEN_FAILURE, 1);
                ++nFailedRequests;
                trace("fail the next frame", 0);
            }
            else if (nAction >= 75 && nAction < 87)
            {
                bPlugged = !bPlugged;
                nUnplugs += bPlugged ? 0 : 1;
                ChangeWebcam(bPlugged);
                trace(bPlugged ? "plug" : "unplug", 0);
                dLastProgress = dNow;
            }
            int nStallDraw = stallChance(stallRandom);
            if (nStallDraw < kSoakStallPercent)
            {
                // Besides the action: the driver hangs for a while, in frame
                // requests or in the request count the worker reads.
                StartStall(nStallDraw % 2 == 0 ? IOCTL_AVSHWS_SET_FRAME
                                               : IOCTL_AVSHWS_GET_FRAME_INFO_COUNT,
                           Now(), stallLength(stallRandom));
                ++nStalls;
                trace("stall", 0);
                std::lock_guard<std::mutex> lock(m_lock);
                for (Request& request : m_requests)
                {
                    if (request.bStarted && !request.bStopped)
                        request.bSawSuspension = true;
                }
            }
            dNextAction = Now() + pause(random);
        }
        if (dNow >= dNextWatch)
        {
            dNextWatch = dNow + 1.0;
            if (!HostAnswers())
            {
                failures.push_back("the host window did not answer within 5 s");
                break;
            }
            size_t nFrames = TotalFrames();
            bool bAnyActive = false;
            for (const Request& request : m_requests)
                bAnyActive = bAnyActive || (request.bStarted && !request.bStopped);
            if (nQueriesAtChange >= 0)
            {
                // Asleep, the host reads nothing; resume makes it read anyway.
                if (dSuspendedUntil >= 0 ||
                    m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) > nQueriesAtChange)
                {
                    nQueriesAtChange = -1;
                }
                else if (dNow - dChangeAt > kStallLimitS)
                {
                    char szFailure[128];
                    snprintf(szFailure, sizeof(szFailure),
                             "the worker did not read the requests within %.0f s of the change at "
                             "%.1f s",
                             kStallLimitS, dChangeAt);
                    failures.push_back(szFailure);
                    break;
                }
            }
            if (nFrames != nLastFrames || !bAnyActive || dSuspendedUntil >= 0)
            {
                nLastFrames = nFrames;
                dLastProgress = dNow;
            }
            else if (dNow - dLastProgress > kStallLimitS)
            {
                char szFailure[96];
                snprintf(szFailure, sizeof(szFailure), "no frame for %.0f s at %.1f s", kStallLimitS,
                         dNow);
                failures.push_back(szFailure);
                break;
            }
            char szLine[160];
            snprintf(szLine, sizeof(szLine),
                     "\r%6.1f s | requests %u | frames %u | unplugs %d | suspensions %d | stalls %d  ",
                     dNow, static_cast<unsigned>(m_requests.size()), static_cast<unsigned>(nFrames),
                     nUnplugs, nSuspensions, nStalls);
            fputs(szLine, stdout);
            fflush(stdout);
        }
        Sleep(20);
    }
    fputs("\n", stdout);

    if (dSuspendedUntil >= 0)
        SetSuspended(false);
    RemoveAllRequests();
    if (!bPlugged)
        ChangeWebcam(true);
    Sleep(2000);
    ProcessLevels end = MeasureProcess();

    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (size_t i = 0; i < m_requests.size(); ++i)
        {
            const Request& request = m_requests[i];
            if (request.bWarmUp)
                continue;
            double dExpected = ExpectedFor(request);
            bool bShort = ExpectedFrames::ReceivedTooFew(RanFor(request), request.nSettledFrames, dExpected);
            bool bNone = !request.bSawSuspension && request.client.dStop - request.client.dStart > 1.0 &&
                         request.nFrames == 0;
            char szProblem[200];
            if (bShort && (bShortRequestsFail || !bNone))
            {
                snprintf(szProblem, sizeof(szProblem),
                         "request %u (%s, %.1f to %.1f s) got %u of %.0f expected frames",
                         static_cast<unsigned>(i + 1), RequestLabel(request.client).c_str(),
                         request.dStartedAt, request.dStoppedAt,
                         static_cast<unsigned>(request.nSettledFrames), dExpected);
                if (bShortRequestsFail)
                    failures.push_back(szProblem);
                else
                    printf("SHORT: %s\n", szProblem);
            }
            if (bNone && !(bShort && bShortRequestsFail))
            {
                snprintf(szProblem, sizeof(szProblem), "request %u (%s, %.1f to %.1f s) got no frame",
                         static_cast<unsigned>(i + 1), RequestLabel(request.client).c_str(),
                         request.client.dStart, request.client.dStop);
                failures.push_back(szProblem);
            }
        }
    }
    if (bWarm)
    {
        printf("Handles: %lu after warm-up, %lu at the end (margin %lu)\n",
               static_cast<unsigned long>(warm.dwHandles), static_cast<unsigned long>(end.dwHandles),
               static_cast<unsigned long>(kHandleMargin));
        printf("Private bytes: %.1f MB after warm-up, %.1f MB at the end (margin %.0f MB)\n",
               warm.cbPrivate / 1048576.0, end.cbPrivate / 1048576.0, kPrivateMargin / 1048576.0);
        if (warm.dwHandles == 0)
            printf("The system reports no handle count; handles not checked\n");
        if (warm.cbPrivate == 0)
            printf("The system reports no private bytes; memory not checked\n");
        if (end.dwHandles > warm.dwHandles + kHandleMargin)
            failures.push_back("handle count grew beyond the margin");
        if (end.cbPrivate > warm.cbPrivate + kPrivateMargin)
            failures.push_back("private bytes grew beyond the margin");
    }
    else
    {
        failures.push_back("the soak ended before its warm-up");
    }
    bool bStopped = StopAll(&watcher);
    if (!bStopped)
        failures.push_back("the host did not stop");
    bound.Finish();
    printf("Soak, seed %u: %u requests, %u frames, %d unplugs, %d suspensions, %d stalls, %d failed "
           "driver requests\n",
           nSeed, static_cast<unsigned>(m_requests.size()), static_cast<unsigned>(TotalFrames()),
           nUnplugs, nSuspensions, nStalls, nFailedRequests);
    for (const std::string& failure : failures)
        printf("FAILED: %s\n", failure.c_str());
    if (failures.empty())
        printf("Soak passed\n");
    return failures.empty();
}

namespace
{
void PrintUsage()
{
    fputs("simulator [--scenario FILE] [--output FOLDER] [--soak SECONDS [--seed N] [--short-requests-pass]]\n"
          "  Runs the host over the simulated driver and webcam; without a scenario file it\n"
          "  plays the built-in one. The default output folder is build\\simulator-output.\n"
          "  --soak runs clients, webcam losses and suspensions at random instead.\n"
          "  --short-requests-pass lists a soak's requests under 90 % of their expected\n"
          "  frames as SHORT lines instead of failing on them; none at all still fails.\n",
          stderr);
}
}  // namespace

int main(int argc, char** argv)
{
    std::wstring outputFolder = L"build\\simulator-output";
    Scenario scenario = MakeDefaultScenario();
    double dSoakSeconds = 0;
    unsigned nSeed = 1;
    bool bShortRequestsFail = true;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg == "--scenario" && i + 1 < argc)
        {
            std::ifstream file(argv[++i]);
            std::stringstream text;
            text << file.rdbuf();
            std::string error;
            if (!file || !ParseScenario(text.str(), &scenario, &error))
            {
                fprintf(stderr, "Scenario %s: %s\n", argv[i], file ? error.c_str() : "cannot read");
                return 2;
            }
        }
        else if (arg == "--soak" && i + 1 < argc)
        {
            dSoakSeconds = atof(argv[++i]);
            if (dSoakSeconds < 8)
            {
                fprintf(stderr, "--soak needs at least 8 seconds\n");
                return 2;
            }
        }
        else if (arg == "--seed" && i + 1 < argc)
        {
            nSeed = static_cast<unsigned>(strtoul(argv[++i], NULL, 10));
        }
        else if (arg == "--short-requests-pass")
        {
            bShortRequestsFail = false;
        }
        else if (arg == "--output" && i + 1 < argc)
        {
            outputFolder = Widen(argv[++i]);
        }
        else
        {
            PrintUsage();
            return 2;
        }
    }
    if (dSoakSeconds > 0)
    {
        // The soak makes its own clients and events over the default webcam.
        scenario = MakeDefaultScenario();
        scenario.clients.clear();
        scenario.events.clear();
    }
    bool bOk = false;
    {
        Simulation simulation(scenario);
        bOk = dSoakSeconds > 0 ? simulation.Soak(dSoakSeconds, nSeed, bShortRequestsFail)
                               : simulation.Run(outputFolder);
    }
    return bOk ? 0 : 1;
}
