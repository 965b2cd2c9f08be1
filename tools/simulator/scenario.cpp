#include "scenario.h"

#include "pipeline/framerecords.h"

#include <mfapi.h>

#include <math.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "driver/driverprotocol.h"

namespace
{
bool ParseFormat(const std::string& name, UINT32* pnFormat)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c)
                   { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
    if (upper == "YUY2")
        *pnFormat = 2;
    else if (upper == "MJPG")
        *pnFormat = 3;
    else if (upper == "NV12")
        *pnFormat = 4;
    else
        return false;
    return true;
}

// The requests a stall can hold, by their names in scenario files.
bool ParseStalledRequest(const std::string& name, DWORD* pdwControlCode)
{
    if (name == "SET_FRAME")
        *pdwControlCode = IOCTL_AVSHWS_SET_FRAME;
    else if (name == "COUNT")
        *pdwControlCode = IOCTL_AVSHWS_GET_FRAME_INFO_COUNT;
    else if (name == "FRAME_INFO")
        *pdwControlCode = IOCTL_AVSHWS_GET_FRAME_INFO;
    else
        return false;
    return true;
}

// The session changes by their names in scenario files: connect and
// disconnect are the console's.
bool ParseSessionChange(const std::string& name, DWORD* pdwCode)
{
    static const struct
    {
        const char* pszName;
        DWORD dwCode;
    } kChanges[] = {
        {"connect", 0x1},     // WTS_CONSOLE_CONNECT
        {"disconnect", 0x2},  // WTS_CONSOLE_DISCONNECT
        {"logon", 0x5},       // WTS_SESSION_LOGON
        {"logoff", 0x6},      // WTS_SESSION_LOGOFF
        {"lock", 0x7},        // WTS_SESSION_LOCK
        {"unlock", 0x8},      // WTS_SESSION_UNLOCK
    };
    for (const auto& change : kChanges)
    {
        if (name == change.pszName)
        {
            *pdwCode = change.dwCode;
            return true;
        }
    }
    return false;
}

// The index of a name in a list of names: the fault kinds, in their order.
template <size_t N>
bool ParseFaultName(const std::string& name, const char* const (&names)[N], int* pnFault)
{
    for (size_t i = 0; i < N; ++i)
    {
        if (name == names[i])
        {
            *pnFault = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

const char* const kWebcamFaultNames[] = {"silent", "busy", "corrupt", "no-huffman", "other-size"};
const char* const kDecoderFaultNames[] = {"lose-type", "nv12-only", "keep-bad-input"};

bool SizeIsSane(UINT32 nWidth, UINT32 nHeight)
{
    return nWidth >= 16 && nHeight >= 16 && nWidth <= 4096 && nHeight <= 4096 && nWidth % 2 == 0 &&
           nHeight % 2 == 0;
}

// A rate as a camera states it: whole numbers as n/1, NTSC rates (29.97,
// 59.94, 23.976, 14.985) as n*1000/1001, anything else to a thousandth.
bool ParseRate(const std::string& word, UINT32* pnNumerator, UINT32* pnDenominator)
{
    char* pEnd = NULL;
    double dFps = strtod(word.c_str(), &pEnd);
    if (word.empty() || *pEnd != '\0' || !(dFps > 0) || dFps > 120)
        return false;
    double dWhole = floor(dFps + 0.5);
    double dNtsc = floor(dFps * 1.001 + 0.5);
    if (fabs(dFps - dWhole) < 1e-9)
    {
        *pnNumerator = static_cast<UINT32>(dWhole);
        *pnDenominator = 1;
    }
    else if (fabs(dFps - dNtsc / 1.001) < 0.0005)
    {
        *pnNumerator = static_cast<UINT32>(dNtsc) * 1000;
        *pnDenominator = 1001;
    }
    else
    {
        *pnNumerator = static_cast<UINT32>(floor(dFps * 1000 + 0.5));
        *pnDenominator = 1000;
    }
    return true;
}

// "MJPG 1280 720 15, YUY2 640 480 30": one or more types, the rate of each
// 30 when left out.
bool ParseWebcamTypes(const std::string& text, std::vector<ScenarioWebcamType>* pTypes)
{
    std::vector<ScenarioWebcamType> types;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ','))
    {
        std::istringstream words(item);
        std::string format;
        std::string rate;
        std::string rest;
        ScenarioWebcamType type = {0, 0, 0, 30, 1};
        if (!(words >> format >> type.nWidth >> type.nHeight) ||
            !ParseFormat(format, &type.nFormat) || type.nFormat == COLOR_FORMAT_NV12 ||
            !SizeIsSane(type.nWidth, type.nHeight))
            return false;
        if ((words >> rate) && !ParseRate(rate, &type.nRateNumerator, &type.nRateDenominator))
            return false;
        if (words >> rest)
            return false;
        types.push_back(type);
    }
    if (types.empty())
        return false;
    pTypes->swap(types);
    return true;
}
}  // namespace

double WebcamTypeFps(const ScenarioWebcamType& type)
{
    return type.nRateDenominator == 0
               ? 0.0
               : static_cast<double>(type.nRateNumerator) / type.nRateDenominator;
}

Scenario MakeDefaultScenario()
{
    Scenario scenario;
    scenario.bWebcam = true;
    scenario.nWebcamFormat = 3;
    scenario.nWebcamWidth = 1280;
    scenario.nWebcamHeight = 720;
    scenario.nWebcamFps = 30;
    scenario.webcamTypes.push_back({3, 1280, 720, 30, 1});
    scenario.dDuration = 13.0;
    scenario.bExplicitDuration = true;
    scenario.dActivationDelay = 0;
    // Three clients over the webcam; the webcam goes at 4.5 s and the
    // placeholder serves them to the end; then a te.exe client alone.
    scenario.clients.push_back({2, 1280, 720, "viewer.exe", 0.5, 9.0});
    scenario.clients.push_back({4, 640, 480, "meeting.exe", 1.0, 9.0});
    scenario.clients.push_back({3, 1280, 720, "recorder.exe", 1.5, 9.0});
    scenario.clients.push_back({3, 1280, 720, "te.exe", 9.5, 12.5});
    scenario.events.push_back({SCENARIO_UNPLUG, 4.5, 0, 0});
    return scenario;
}

bool ParseScenario(const std::string& text, Scenario* pScenario, std::string* pError)
{
    Scenario scenario;
    scenario.bWebcam = false;
    scenario.nWebcamFormat = 3;
    scenario.nWebcamWidth = 1280;
    scenario.nWebcamHeight = 720;
    scenario.nWebcamFps = 30;
    scenario.dDuration = 0;
    scenario.bExplicitDuration = false;
    scenario.dActivationDelay = 0;
    double dLatest = 0;
    double dLatestHold = 0;  // ends of stalls and suspensions

    std::istringstream lines(text);
    std::string line;
    int nLine = 0;
    while (std::getline(lines, line))
    {
        ++nLine;
        size_t nHash = line.find('#');
        if (nHash != std::string::npos)
            line.erase(nHash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue;
        std::string format;
        std::string rest;
        bool bOk = false;
        if (keyword == "webcam")
        {
            std::string types;
            std::getline(words, types);
            std::istringstream first(types);
            std::string firstWord;
            first >> firstWord;
            if (firstWord == "none")
            {
                scenario.bWebcam = false;
                bOk = !(first >> rest);
            }
            else if (ParseWebcamTypes(types, &scenario.webcamTypes))
            {
                const ScenarioWebcamType& type = scenario.webcamTypes.front();
                scenario.nWebcamFormat = type.nFormat;
                scenario.nWebcamWidth = type.nWidth;
                scenario.nWebcamHeight = type.nHeight;
                scenario.nWebcamFps = static_cast<UINT32>(floor(WebcamTypeFps(type) + 0.5));
                scenario.bWebcam = true;
                bOk = true;
            }
            rest.clear();
        }
        else if (keyword == "client")
        {
            ScenarioClient client = {};
            bOk = (words >> format >> client.nWidth >> client.nHeight >> client.processName >>
                   client.dStart >> client.dStop) &&
                  ParseFormat(format, &client.nFormat) &&
                  SizeIsSane(client.nWidth, client.nHeight) && client.dStart >= 0 &&
                  client.dStop > client.dStart;
            if (bOk)
            {
                scenario.clients.push_back(client);
                dLatest = std::max(dLatest, client.dStop);
            }
        }
        else if (keyword == "unplug" || keyword == "plug")
        {
            ScenarioEvent event = {keyword == "unplug" ? SCENARIO_UNPLUG : SCENARIO_PLUG, 0, 0, 0};
            bOk = (words >> event.dAt) && event.dAt >= 0;
            if (bOk)
            {
                scenario.events.push_back(event);
                dLatest = std::max(dLatest, event.dAt);
            }
        }
        else if (keyword == "stall")
        {
            ScenarioEvent event = {SCENARIO_STALL, 0, 0, 0};
            std::string request;
            bOk = (words >> request >> event.dAt >> event.dLength) &&
                  ParseStalledRequest(request, &event.dwControlCode) && event.dAt >= 0 &&
                  event.dLength > 0 && event.dLength <= 60;
            if (bOk)
            {
                scenario.events.push_back(event);
                dLatest = std::max(dLatest, event.dAt);
                dLatestHold = std::max(dLatestHold, event.dAt + event.dLength);
            }
        }
        else if (keyword == "session")
        {
            ScenarioEvent event = {SCENARIO_SESSION, 0, 0, 0};
            std::string change;
            bOk = (words >> change >> event.dAt) &&
                  ParseSessionChange(change, &event.dwControlCode) && event.dAt >= 0;
            if (bOk)
            {
                scenario.events.push_back(event);
                dLatest = std::max(dLatest, event.dAt);
            }
        }
        else if (keyword == "suspend")
        {
            ScenarioEvent event = {SCENARIO_SUSPEND, 0, 0, 0};
            bOk = (words >> event.dAt >> event.dLength) && event.dAt >= 0 && event.dLength > 0 &&
                  event.dLength <= 60;
            if (bOk)
            {
                scenario.events.push_back(event);
                ScenarioEvent resume = {SCENARIO_RESUME, event.dAt + event.dLength, 0, 0};
                scenario.events.push_back(resume);
                dLatest = std::max(dLatest, event.dAt);
                dLatestHold = std::max(dLatestHold, resume.dAt);
            }
        }
        else if (keyword == "slow-activation")
        {
            std::string seconds;
            bOk = static_cast<bool>(words >> seconds);
            char* pEnd = NULL;
            if (bOk && seconds == "hang")
                scenario.dActivationDelay = -1;
            else if (bOk)
            {
                scenario.dActivationDelay = strtod(seconds.c_str(), &pEnd);
                bOk = *pEnd == '\0' && scenario.dActivationDelay >= 0 &&
                      scenario.dActivationDelay <= 60;
            }
        }
        else if (keyword == "webcam-fault" || keyword == "fail" || keyword == "short")
        {
            // A window: the fault from dAt, undone dLength later.
            ScenarioEvent event = {};
            std::string name;
            bOk = (words >> name >> event.dAt >> event.dLength) && event.dAt >= 0 &&
                  event.dLength > 0 && event.dLength <= 60;
            if (keyword == "webcam-fault")
            {
                event.eKind = SCENARIO_WEBCAM_FAULT;
                bOk = bOk && ParseFaultName(name, kWebcamFaultNames, &event.nFault);
            }
            else
            {
                event.eKind = keyword == "fail" ? SCENARIO_FAIL : SCENARIO_SHORT;
                bOk = bOk && ParseStalledRequest(name, &event.dwControlCode) &&
                      (keyword == "fail" || event.dwControlCode != IOCTL_AVSHWS_SET_FRAME);
            }
            if (bOk)
            {
                scenario.events.push_back(event);
                event.bEnd = true;
                event.dAt += event.dLength;
                scenario.events.push_back(event);
                dLatest = std::max(dLatest, event.dAt);
            }
        }
        else if (keyword == "decoder-fault")
        {
            ScenarioEvent event = {};
            event.eKind = SCENARIO_DECODER_FAULT;
            std::string name;
            bOk = (words >> name >> event.dAt) && event.dAt >= 0 &&
                  ParseFaultName(name, kDecoderFaultNames, &event.nFault);
            if (bOk)
            {
                scenario.events.push_back(event);
                dLatest = std::max(dLatest, event.dAt);
            }
        }
        else if (keyword == "duration")
        {
            bOk = (words >> scenario.dDuration) && scenario.dDuration > 0 &&
                  scenario.dDuration <= 3600;
            scenario.bExplicitDuration = bOk;
        }
        if (bOk && (words >> rest))
            bOk = false;
        if (!bOk)
        {
            char szMessage[64];
            snprintf(szMessage, sizeof(szMessage), "line %d: ", nLine);
            *pError = szMessage + line;
            return false;
        }
    }
    if (scenario.clients.empty())
    {
        *pError = "no client";
        return false;
    }
    // An explicit duration ends the run even in the middle of a stall or a
    // suspension, so that the host's exit is tried there too; it still
    // covers every client and every event's start.
    if (!scenario.bExplicitDuration)
        dLatest = std::max(dLatest, dLatestHold);
    if (scenario.dDuration < dLatest)
        scenario.dDuration = dLatest + 0.5;
    *pScenario = scenario;
    return true;
}

std::vector<SimulatedWebcamFormat> WebcamFormatsOf(const Scenario& scenario)
{
    std::vector<SimulatedWebcamFormat> formats;
    for (const ScenarioWebcamType& type : scenario.webcamTypes)
        formats.push_back(MakeWebcamFormat(
            type.nFormat == COLOR_FORMAT_YUY2 ? MFVideoFormat_YUY2 : MFVideoFormat_MJPG,
            type.nWidth, type.nHeight, type.nRateNumerator, type.nRateDenominator));
    return formats;
}

const char* FormatName(UINT32 nFormat)
{
    return ColorFormatName(nFormat);
}

size_t ExpectedPictureBytes(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight)
{
    if (nFormat == COLOR_FORMAT_YUY2)
        return static_cast<size_t>(nWidth) * nHeight * 2;
    if (nFormat == COLOR_FORMAT_NV12)
        return static_cast<size_t>(nWidth) * nHeight * 3 / 2;
    return 0;
}
