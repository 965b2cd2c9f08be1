// The soak: clients, webcam losses, suspensions, driver stalls and failed
// requests at random; fails on leaks, a stuck host and requests short of
// frames.
#include "simulation.h"
#include "windowprobe.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "driver/driverprotocol.h"
#include "pipeline/framerecords.h"
#include "processhandles.h"
#include "runbound.h"

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
        levels.cbPrivate =
            counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
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
// Session changes and slow webcam activations, each after this share of the
// actions; a slow activation lasts this long (every opening in the next
// few seconds takes it).
const int kSoakSessionPercent = 4;
const int kSoakSlowActivationPercent = 3;
const double kSoakSlowActivationMinS = 0.5;
const double kSoakSlowActivationMaxS = 3.0;
const double kSoakSlowActivationSpanS = 5.0;
// The six session changes, as WM_WTSSESSION_CHANGE codes: console connect
// and disconnect, remote connect, logon, logoff, lock and unlock.
const WPARAM kSoakSessionChanges[] = {0x1, 0x2, 0x3, 0x5, 0x6, 0x7, 0x8};
const int kSoakFaultPercent = 5;

const ScenarioClient kSoakForms[] = {
    {COLOR_FORMAT_YUY2, 640, 480, "soak.exe", 0, 0},
    {COLOR_FORMAT_NV12, 320, 240, "soak.exe", 0, 0},
    {COLOR_FORMAT_MJPG, 1280, 720, "soak.exe", 0, 0},
    {COLOR_FORMAT_YUY2, 1280, 720, "soak.exe", 0, 0},
    {COLOR_FORMAT_NV12, 640, 360, "soak.exe", 0, 0},
};

// The leak check: the levels at the end against those after warm-up.
void CheckLevels(const ProcessLevels& warm, const ProcessLevels& end,
                 std::vector<std::string>* pFailures)
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
        pFailures->push_back("handle count grew beyond the margin");
    if (end.cbPrivate > warm.cbPrivate + kPrivateMargin)
        pFailures->push_back("private bytes grew beyond the margin");
}
}  // namespace

size_t Simulation::TotalFrames()
{
    std::lock_guard<std::mutex> lock(m_lock);
    size_t nFrames = 0;
    for (const Request& request : m_requests)
        nFrames += request.nFrames;
    return nFrames;
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
                        bSuspended ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC, 0, SMTO_NORMAL, 10000,
                        &dwResult);
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
            bInUse = bInUse || (c.nFormat == form.nFormat && c.nWidth == form.nWidth &&
                                c.nHeight == form.nHeight);
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
    request.bSawSuspension = IsServingHeldAt(dAt);
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
    // Judged as a new request is: one that starts while the host cannot
    // serve (a stall, slow openings) is exempt from the "no frame" rule.
    request.bSawSuspension = IsServingHeldAt(dAt);
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

void Simulation::JudgeSoakRequests(std::vector<std::string>* pFailures)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t i = 0; i < m_requests.size(); ++i)
    {
        const Request& request = m_requests[i];
        if (request.bWarmUp)
            continue;
        double dExpected = ExpectedFor(request);
        bool bShort =
            ExpectedFrames::ReceivedTooFew(RanFor(request), request.nSettledFrames, dExpected);
        bool bNone = !request.bSawSuspension &&
                     request.client.dStop - request.client.dStart > 1.0 && request.nFrames == 0;
        char szProblem[200];
        if (bShort)
        {
            snprintf(szProblem, sizeof(szProblem),
                     "request %u (%s, %.1f to %.1f s) got %u of %.0f expected frames",
                     static_cast<unsigned>(i + 1), RequestLabel(request.client).c_str(),
                     request.dStartedAt, request.dStoppedAt,
                     static_cast<unsigned>(request.nSettledFrames), dExpected);
            pFailures->push_back(szProblem);
        }
        else if (bNone)
        {
            snprintf(szProblem, sizeof(szProblem), "request %u (%s, %.1f to %.1f s) got no frame",
                     static_cast<unsigned>(i + 1), RequestLabel(request.client).c_str(),
                     request.client.dStart, request.client.dStop);
            pFailures->push_back(szProblem);
        }
    }
}

const char* Simulation::DrawWorldChange(int nDraw, double dActivationDelay,
                                        double* pdSlowActivationUntil, int* pnSessionChanges,
                                        int* pnSlowActivations)
{
    if (nDraw < kSoakSessionPercent)
    {
        WPARAM wCode = kSoakSessionChanges[(*pnSessionChanges)++ % ARRAYSIZE(kSoakSessionChanges)];
        PostMessageA(m_host.Window(), WM_WTSSESSION_CHANGE, wCode, 0);
        return "session change";
    }
    if (nDraw < kSoakSessionPercent + kSoakSlowActivationPercent && m_webcam &&
        *pdSlowActivationUntil < 0)
    {
        m_webcam->SetActivationDelay(static_cast<DWORD>(dActivationDelay * 1000));
        *pdSlowActivationUntil = Now() + kSoakSlowActivationSpanS;
        // An opening probes the webcam and then opens it, two activations:
        // clients that come meanwhile wait for both, as for a stalled driver.
        double dQuiet = kSoakSlowActivationSpanS + 2 * dActivationDelay;
        m_expected.NoteStall(Now(), dQuiet);
        HoldServingFor(dQuiet);
        std::lock_guard<std::mutex> lock(m_lock);
        for (Request& request : m_requests)
        {
            if (request.bStarted && !request.bStopped)
                request.bSawSuspension = true;
        }
        ++*pnSlowActivations;
        return "slow activation";
    }
    return NULL;
}

bool Simulation::Soak(double dSeconds, unsigned nSeed)
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
    // Session changes and slow webcam activations, from a generator of
    // their own as well.
    std::mt19937 worldRandom(nSeed * 104729u + 3);
    std::uniform_int_distribution<int> worldChance(0, 99);
    std::uniform_real_distribution<double> activationDelay(kSoakSlowActivationMinS,
                                                           kSoakSlowActivationMaxS);
    int nSessionChanges = 0;
    int nSlowActivations = 0;
    double dSlowActivationUntil = -1;
    WindowProbe probe;
    probe.Start(m_host.Window());
    // So do the faults of the webcam, the decoder and the driver.
    std::mt19937 faultRandom(nSeed * 7919u + 1u);
    std::vector<ScenarioEvent> faultEnds;
    bool bOpeningStorm = false;
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
    auto watchWorker = [&](double dAt)
    {
        if (nQueriesAtChange < 0 && dSuspendedUntil < 0)
        {
            nQueriesAtChange = m_driver.GetRequestCount(IOCTL_AVSHWS_GET_FRAME_INFO_COUNT);
            dChangeAt = dAt;
        }
    };

    // VCAM_SOAK_TRACE=1 lists every action on standard error.
    const bool bTrace = getenv("VCAM_SOAK_TRACE") != NULL;
    auto trace = [&](const char* pszAction, size_t nRequest)
    {
        if (bTrace)
            fprintf(stderr, "\n%7.2f s %s #%u\n", Now(), pszAction,
                    static_cast<unsigned>(nRequest + 1));
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
                // The refusal stops the camera, which starts again after a
                // backed-off delay: the time to notice and come back.
                m_expected.NoteStall(Now(), kFaultSettleSeconds);
                HoldServingFor(kFaultSettleSeconds);
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
            const char* pszWorld =
                DrawWorldChange(worldChance(worldRandom), activationDelay(worldRandom),
                                &dSlowActivationUntil, &nSessionChanges, &nSlowActivations);
            if (pszWorld != NULL)
                trace(pszWorld, 0);
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
            if (bWarm && dSuspendedUntil < 0)
                DrawSoakFault(&faultRandom, &faultEnds);
            dNextAction = Now() + pause(random);
        }
        EndSoakFaults(Now(), &faultEnds);
        if (!bOpeningStorm && !NoteOpenings(Now()))
        {
            bOpeningStorm = true;
            failures.push_back("the webcam was opened more than 6 times in 10 s");
        }
        if (dNow >= dNextWatch)
        {
            dNextWatch = dNow + 1.0;
            if (dSlowActivationUntil >= 0 && dNow >= dSlowActivationUntil)
            {
                m_webcam->SetActivationDelay(0);
                dSlowActivationUntil = -1;
            }
            if (probe.LongestAnswerMs() > WindowProbe::kAnswerBoundMs)
            {
                char szFailure[96];
                snprintf(szFailure, sizeof(szFailure), "the window took %u ms to answer at %.1f s",
                         static_cast<unsigned>(probe.LongestAnswerMs()), probe.LongestAnswerAt());
                failures.push_back(szFailure);
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
                snprintf(szFailure, sizeof(szFailure), "no frame for %.0f s at %.1f s",
                         kStallLimitS, dNow);
                failures.push_back(szFailure);
                break;
            }
            char szLine[160];
            snprintf(
                szLine, sizeof(szLine),
                "\r%6.1f s | requests %u | frames %u | unplugs %d | suspensions %d | stalls %d  ",
                dNow, static_cast<unsigned>(m_requests.size()), static_cast<unsigned>(nFrames),
                nUnplugs, nSuspensions, nStalls);
            fputs(szLine, stdout);
            fflush(stdout);
        }
        Sleep(20);
    }
    fputs("\n", stdout);
    probe.Stop();
    if (probe.LongestAnswerMs() > WindowProbe::kAnswerBoundMs && failures.empty())
        failures.push_back("the window answered too slowly");

    EndSoakFaults(-1, &faultEnds);
    if (dSuspendedUntil >= 0)
        SetSuspended(false);
    if (m_webcam)
        m_webcam->SetActivationDelay(0);
    RemoveAllRequests();
    if (!bPlugged)
        ChangeWebcam(true);
    Sleep(2000);
    ProcessLevels end = MeasureProcess();

    JudgeSoakRequests(&failures);
    if (bWarm)
        CheckLevels(warm, end, &failures);
    else
        failures.push_back("the soak ended before its warm-up");
    bool bStopped = StopAll(&watcher);
    if (!bStopped)
        failures.push_back("the host did not stop");
    bound.Finish();
    printf(
        "Soak, seed %u: %u requests, %u frames, %d unplugs, %d suspensions, %d stalls, %d failed "
        "driver requests\n",
        nSeed, static_cast<unsigned>(m_requests.size()), static_cast<unsigned>(TotalFrames()),
        nUnplugs, nSuspensions, nStalls, nFailedRequests);
    printf("Session changes %d, slow activations %d\n", nSessionChanges, nSlowActivations);
    probe.Report();
    if (m_webcam)
        printf("Webcam opened %d times\n", m_openings.Count());
    for (const std::string& failure : failures)
        printf("FAILED: %s\n", failure.c_str());
    if (failures.empty())
        printf("Soak passed\n");
    return failures.empty();
}

void Simulation::DrawSoakFault(std::mt19937* pRandom, std::vector<ScenarioEvent>* pEnds)
{
    // About one action in twenty also starts a fault, of any kind but one of
    // each kind at a time; windows are short, like the stalls, so that the
    // watchdogs' five seconds judge the host, not the fault.
    std::uniform_int_distribution<int> chance(0, 99);
    std::uniform_int_distribution<int> kind(0, 10);
    std::uniform_real_distribution<double> length(0.3, kSoakStallMaxS);
    if (chance(*pRandom) >= kSoakFaultPercent)
        return;
    ScenarioEvent event = {};
    event.dAt = Now();
    event.dLength = length(*pRandom);
    const int nKind = kind(*pRandom);
    if (nKind < 5)
    {
        event.eKind = SCENARIO_WEBCAM_FAULT;
        event.nFault = nKind;
    }
    else if (nKind < 8)
    {
        event.eKind = SCENARIO_DECODER_FAULT;
        event.nFault = nKind - 5;
    }
    else
    {
        event.eKind = nKind == 10 ? SCENARIO_SHORT : SCENARIO_FAIL;
        event.dwControlCode =
            nKind == 8 ? IOCTL_AVSHWS_SET_FRAME : IOCTL_AVSHWS_GET_FRAME_INFO_COUNT;
    }
    for (const ScenarioEvent& running : *pEnds)
    {
        if (running.eKind == event.eKind && running.nFault == event.nFault &&
            running.dwControlCode == event.dwControlCode)
            return;
    }
    ApplyEvent(event);
    HoldServingFor(event.dLength + kFaultSettleSeconds);
    if (event.eKind != SCENARIO_DECODER_FAULT)
    {
        event.bEnd = true;
        event.dAt += event.dLength;
        pEnds->push_back(event);
    }
    std::lock_guard<std::mutex> lock(m_lock);
    for (Request& request : m_requests)
    {
        if (request.bStarted && !request.bStopped)
            request.bSawSuspension = true;
    }
}

void Simulation::HoldServingFor(double dSeconds)
{
    m_dServingHeldUntil = std::max(m_dServingHeldUntil, Now() + dSeconds);
}

bool Simulation::IsServingHeldAt(double dAt) const
{
    return m_stalls.Cover(dAt) || dAt < m_dServingHeldUntil;
}

void Simulation::EndSoakFaults(double dNow, std::vector<ScenarioEvent>* pEnds)
{
    // A negative time ends them all.
    for (size_t i = 0; i < pEnds->size();)
    {
        if (dNow < 0 || (*pEnds)[i].dAt <= dNow)
        {
            ApplyEvent((*pEnds)[i]);
            pEnds->erase(pEnds->begin() + i);
        }
        else
        {
            ++i;
        }
    }
}
