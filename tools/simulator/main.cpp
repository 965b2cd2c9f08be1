// The simulator: the real host over the simulated driver, an optional
// simulated webcam and the test MJPEG decoder, playing a scenario of driver
// clients; it writes what the driver received as PNG files and a contact
// sheet and prints a summary per request.
#include <windows.h>
#include <dbt.h>
#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "childprocess.h"
#include "hostrunner.h"
#include "pictures.h"
#include "scenario.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"
#include "videoinputdeviceregistry.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#image#0000#{sim-main}";
const wchar_t kDevicePathW[] = L"\\\\?\\root#image#0000#{sim-main}";
// A frame counts for the latency only when a webcam sample came less than
// this many frame periods before it; older means the placeholder made it.
const double kLatencyWindowPeriods = 2.0;

struct Request
{
    ScenarioClient client;
    int nDriverClientId;
    bool bStarted;
    bool bStopped;
    std::unique_ptr<ScopedChildProcess> pProcess;
    std::vector<double> latenciesMs;
    double dFirstArrival;
    double dLastArrival;
    size_t nFrames;
    size_t nWrongSize;
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
          m_nUnmatched(0),
          m_dLastSample(-1),
          m_bWatching(false)
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

private:
    void OnFrame(const SimulatedDriver::ReceivedFrame& frame);
    void WatchSamples();
    void StartRequest(Request* pRequest);
    void StopRequest(Request* pRequest);
    void ApplyEvent(const ScenarioEvent& event);
    void PrintProgress(double dElapsed);
    bool Report(const std::wstring& outputFolder);

    Scenario m_scenario;
    ScopedMediaFoundation m_mf;
    ScopedMjpegDecoder m_decoder;
    ScopedVideoInputDevice m_device;
    SimulatedDriver m_driver;
    SimulatedWebcamEnumeration m_enumeration;
    std::shared_ptr<SimulatedWebcam> m_webcam;

    std::mutex m_lock;
    std::vector<Request> m_requests;
    size_t m_nUnmatched;
    std::atomic<double> m_dLastSample;
    std::atomic<bool> m_bWatching;
    // Last, so that it stops before the doubles it runs over go.
    HostRunner m_host;
};

void Simulation::OnFrame(const SimulatedDriver::ReceivedFrame& frame)
{
    double dNow = Now();
    double dSample = m_dLastSample.load();
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
    if (nExpected != 0 && frame.picture.size() != nExpected)
        ++pMatch->nWrongSize;
    if (pMatch->nFrames == 0)
    {
        pMatch->dFirstArrival = dNow;
        pMatch->first = frame.picture;
    }
    pMatch->dLastArrival = dNow;
    pMatch->last = frame.picture;
    ++pMatch->nFrames;
    pMatch->nBytes += frame.picture.size();
    if (dSample >= 0 && dNow - dSample < kLatencyWindowPeriods / m_scenario.nWebcamFps)
        pMatch->latenciesMs.push_back((dNow - dSample) * 1000.0);
}

// Notes the time of every sample the webcam sends: the capture time a
// received frame is measured from.
void Simulation::WatchSamples()
{
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
}

void Simulation::StopRequest(Request* pRequest)
{
    m_driver.RemoveClient(pRequest->nDriverClientId);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        pRequest->bStopped = true;
    }
    pRequest->pProcess.reset();
}

void Simulation::ApplyEvent(const ScenarioEvent& event)
{
    if (!m_webcam)
        return;
    std::vector<BYTE> broadcast = m_webcam->MakeInterfaceBroadcast();
    DWORD_PTR dwResult = 0;
    if (event.eKind == SCENARIO_UNPLUG)
    {
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

bool Simulation::Run(const std::wstring& outputFolder)
{
    if (FAILED(m_mf.Result()) || FAILED(m_decoder.Result()) || !m_device.IsRegistered())
    {
        fprintf(stderr, "The simulated devices could not be set up (0x%08lX, 0x%08lX)\n",
                static_cast<unsigned long>(m_mf.Result()),
                static_cast<unsigned long>(m_decoder.Result()));
        return false;
    }
    m_driver.SetFrameRetention(1);
    m_driver.SetFrameObserver([this](const SimulatedDriver::ReceivedFrame& frame) { OnFrame(frame); });
    m_driver.Install();
    if (m_scenario.bWebcam)
    {
        const GUID& subtype = m_scenario.nWebcamFormat == 2 ? MFVideoFormat_YUY2 : MFVideoFormat_MJPG;
        m_webcam = SimulatedWebcam::Create(MakeWebcamSpec(
            L"Simulated Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
            {MakeWebcamFormat(subtype, m_scenario.nWebcamWidth, m_scenario.nWebcamHeight,
                              m_scenario.nWebcamFps)}));
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
    std::thread watcher;
    if (m_webcam)
    {
        m_bWatching.store(true);
        watcher = std::thread(&Simulation::WatchSamples, this);
    }

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
        if (dElapsed >= m_scenario.dDuration)
            break;
        Sleep(10);
    }
    PrintProgress(Now());
    fputs("\n", stdout);

    for (Request& request : m_requests)
    {
        if (request.bStarted && !request.bStopped)
            StopRequest(&request);
    }
    bool bStopped = m_host.Stop();
    if (watcher.joinable())
    {
        m_bWatching.store(false);
        watcher.join();
    }
    m_driver.SetFrameObserver(nullptr);
    m_driver.Uninstall();
    if (!bStopped)
        fprintf(stderr, "The host did not stop in time\n");
    return Report(outputFolder) && bStopped;
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

    printf("\n%-3s %-36s %7s %7s %9s %9s %10s  %s\n", "#", "request", "frames", "fps",
           "lat mean", "lat p99", "bytes/fr", "check");
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
        char szP99[32] = "-";
        if (!request.latenciesMs.empty())
        {
            snprintf(szMean, sizeof(szMean), "%.1f ms", dMean / request.latenciesMs.size());
            snprintf(szP99, sizeof(szP99), "%.1f ms", Percentile(request.latenciesMs, 0.99));
        }
        printf("%-3u %-36s %7u %7.1f %9s %9s %10.0f  %s\n", static_cast<unsigned>(i + 1),
               RequestLabel(client).c_str(), static_cast<unsigned>(request.nFrames), dFps, szMean,
               szP99, request.nFrames ? static_cast<double>(request.nBytes) / request.nFrames : 0.0,
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
    printf("Latency: from the webcam's newest sample before the frame reached the driver "
           "(placeholder frames have none).\n");
    if (m_nUnmatched != 0)
        printf("%u frames matched no request.\n", static_cast<unsigned>(m_nUnmatched));
    printf("Pictures and contact-sheet.png in %ls\n", outputFolder.c_str());
    return bAllGood;
}

void PrintUsage()
{
    fputs("simulator [--scenario FILE] [--output FOLDER]\n"
          "  Runs the host over the simulated driver and webcam; without a scenario file it\n"
          "  plays the built-in one. The default output folder is build\\simulator-output.\n",
          stderr);
}
}  // namespace

int main(int argc, char** argv)
{
    std::wstring outputFolder = L"build\\simulator-output";
    Scenario scenario = MakeDefaultScenario();
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
    bool bOk = false;
    {
        Simulation simulation(scenario);
        bOk = simulation.Run(outputFolder);
    }
    return bOk ? 0 : 1;
}
