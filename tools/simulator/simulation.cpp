// Plays a scenario and reports what the driver received: PNG files, a
// contact sheet and a summary per request.
#include "simulation.h"
#include "windowprobe.h"

#include <dbt.h>
#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>

#include "capture/mfcapturebuilder.h"
#include "driver/driverprotocol.h"
#include "pictures.h"
#include "runbound.h"
#include "simulationcputime.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#image#0000#{sim-main}";
const wchar_t kDevicePathW[] = L"\\\\?\\root#image#0000#{sim-main}";
// A frame counts for the latency only when a webcam sample came less than
// this many frame periods before it; older means the placeholder made it.
const double kLatencyWindowPeriods = 2.0;
// How long the host's window may take to answer outside a driver stall.

LARGE_INTEGER gStart;
LARGE_INTEGER gFrequency;

std::wstring ExecutableFolder()
{
    wchar_t wszPath[MAX_PATH] = {};
    GetModuleFileNameW(NULL, wszPath, MAX_PATH);
    std::wstring path = wszPath;
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string FileStem(size_t nIndex, const ScenarioClient& client)
{
    char szStem[160];
    snprintf(szStem, sizeof(szStem), "%02u-%s-%ux%u-%s", static_cast<unsigned>(nIndex + 1),
             FormatName(client.nFormat), client.nWidth, client.nHeight, client.processName.c_str());
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
}  // namespace

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

std::string RequestLabel(const ScenarioClient& client)
{
    char szLabel[160];
    snprintf(szLabel, sizeof(szLabel), "%s %ux%u %s", FormatName(client.nFormat), client.nWidth,
             client.nHeight, client.processName.c_str());
    return szLabel;
}

Simulation::Simulation(const Scenario& scenario)
    : m_scenario(scenario),
      m_device(L"sim-main", L"Quorvane Pellion", kDevicePathW),
      m_driver(kDevicePath),
      m_expected(scenario),
      m_stalls(&m_driver),
      m_faults(&m_driver, &m_decoder),
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

void Simulation::OnFrame(const SimulatedDriver::FrameView& frame)
{
    // Runs on the product's delivery thread, but is the simulator's work.
    ScopedSimulationCpu cpu(SIM_CPU_SIMULATOR);
    double dNow = Now();
    double dSample = m_dLastSample.load();
    const FrameContent eContent = m_checker.Classify(frame.nFormat, frame.nWidth, frame.nHeight,
                                                     frame.pPicture, frame.cbPicture);
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
    pRequest->nDriverClientId = m_driver.AddClient(
        pRequest->client.nFormat, pRequest->client.nWidth, pRequest->client.nHeight, dwProcessId);
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
    switch (event.eKind)
    {
    case SCENARIO_STALL:
        StartStall(event.dwControlCode, Now(), event.dLength);
        return;
    case SCENARIO_SESSION:
        // Posted: the window's answer is the probe's to measure.
        PostMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, event.dwControlCode, 0);
        return;
    case SCENARIO_SUSPEND:
    case SCENARIO_RESUME:
        SetSuspended(event.eKind == SCENARIO_SUSPEND);
        return;
    default:
        break;
    }
    if (ScenarioFaults::IsFault(event))
    {
        if (!event.bEnd)
            m_expected.NoteFault(Now(), ScenarioFaults::QuietSeconds(event));
        m_faults.Apply(event, m_webcam.get());
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
        PostMessageA(m_host.Window(), WM_CAPTURE_FAILED,
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
        m_webcam = SimulatedWebcam::Create(
            MakeWebcamSpec(L"Simulated Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
                           WebcamFormatsOf(m_scenario)));
        m_enumeration.Add(m_webcam);
        if (m_scenario.dActivationDelay != 0)
            m_webcam->SetActivationDelay(
                m_scenario.dActivationDelay < 0
                    ? INFINITE
                    : static_cast<DWORD>(m_scenario.dActivationDelay * 1000 + 0.5));
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
    // A worker left in an activation that never returns comes back now and
    // lets go of what it holds.
    if (m_webcam)
        m_webcam->SetActivationDelay(0);
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
    WindowProbe probe;
    probe.Start(m_host.Window());

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
        NoteOpenings(dElapsed);
        if (dElapsed >= m_scenario.dDuration)
            break;
        Sleep(10);
    }
    PrintProgress(Now());
    fputs("\n", stdout);

    probe.Stop();
    bool bStopped = StopAll(&watcher);
    bound.Finish();
    const bool bCalmOpenings = NoteOpenings(Now());
    bool bReported = Report(outputFolder);
    return probe.Report() && bReported && bStopped && bCalmOpenings;
}

bool Simulation::NoteOpenings(double dNow)
{
    if (!m_webcam)
        return true;
    const int nBefore = m_openings.Count();
    const bool bStormBefore = m_openings.FirstStormAt() >= 0;
    m_openings.Note(m_webcam->GetCallCount(WEBCAM_CALL_START), dNow);
    const double dStormAt = m_openings.FirstStormAt();
    if (dStormAt >= 0 && !bStormBefore && m_openings.Count() != nBefore)
        printf("\nFAILED: the webcam was opened more than %d times in %.0f s from %.1f s\n",
               WebcamOpenings::kMaxOpenings, WebcamOpenings::kWindowSeconds, dStormAt);
    return dStormAt < 0;
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

    printf("\n%-3s %-36s %7s %8s %6s %7s %7s %7s %9s %9s %9s %10s  %s\n", "#", "request", "frames",
           "expected", "share", "webcam", "placeh", "fps", "lat mean", "lat p50", "lat p99",
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
               static_cast<unsigned>(request.content.nPlaceholder), dFps, szMean, szP50, szP99,
               request.nFrames ? static_cast<double>(request.nBytes) / request.nFrames : 0.0,
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
    if (m_webcam)
        printf("Webcam opened %d times\n", m_openings.Count());
    FILETIME created, exited, kernel, user;
    size_t nTotalFrames = 0;
    for (const Request& request : m_requests)
        nTotalFrames += request.nFrames;
    if (nTotalFrames != 0 &&
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
    {
        ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
        ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
        double dCpuMs = (k.QuadPart + u.QuadPart) / 10000.0;
        printf(
            "Process CPU time: %.0f ms in all, %.2f ms per delivered frame (%u frames; the "
            "simulated webcam and decoder included)\n",
            dCpuMs, dCpuMs / nTotalFrames, static_cast<unsigned>(nTotalFrames));
        // This thread (set-up, scenario, pictures) is the simulator's too.
        const double dWebcamMs = GetSimulationCpuTime(SIM_CPU_WEBCAM) / 10000.0;
        const double dDecoderMs = GetSimulationCpuTime(SIM_CPU_DECODER) / 10000.0;
        const double dSimulatorMs =
            (GetSimulationCpuTime(SIM_CPU_SIMULATOR) + CurrentThreadCpuTime()) / 10000.0;
        const double dProductMs = dCpuMs - dWebcamMs - dDecoderMs - dSimulatorMs;
        printf(
            "Product alone: %.2f ms per delivered frame (%.0f ms: the process less the "
            "simulated webcam's thread %.0f ms, the test decoder's calls %.0f ms and the "
            "simulator's threads and frame observer %.0f ms)\n",
            dProductMs / nTotalFrames, dProductMs, dWebcamMs, dDecoderMs, dSimulatorMs);
    }
    printf(
        "Latency: from the webcam's newest sample before the frame reached the driver "
        "(placeholder frames have none).\n");
    if (m_nUnmatched != 0)
        printf("%u frames matched no request.\n", static_cast<unsigned>(m_nUnmatched));
    printf("Pictures and contact-sheet.png in %ls\n", outputFolder.c_str());
    return bAllGood;
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
