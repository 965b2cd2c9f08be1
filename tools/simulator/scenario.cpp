#include "scenario.h"

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
                   [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
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

bool SizeIsSane(UINT32 nWidth, UINT32 nHeight)
{
    return nWidth >= 16 && nHeight >= 16 && nWidth <= 4096 && nHeight <= 4096 && nWidth % 2 == 0 &&
           nHeight % 2 == 0;
}
}  // namespace

Scenario MakeDefaultScenario()
{
    Scenario scenario;
    scenario.bWebcam = true;
    scenario.nWebcamFormat = 3;
    scenario.nWebcamWidth = 1280;
    scenario.nWebcamHeight = 720;
    scenario.nWebcamFps = 30;
    scenario.dDuration = 13.0;
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
    double dLatest = 0;

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
            std::string first;
            words >> first;
            if (first == "none")
            {
                scenario.bWebcam = false;
                bOk = true;
            }
            else if (ParseFormat(first, &scenario.nWebcamFormat) && scenario.nWebcamFormat != 4 &&
                     (words >> scenario.nWebcamWidth >> scenario.nWebcamHeight) &&
                     SizeIsSane(scenario.nWebcamWidth, scenario.nWebcamHeight))
            {
                if (!(words >> scenario.nWebcamFps))
                    scenario.nWebcamFps = 30;
                scenario.bWebcam = scenario.nWebcamFps > 0 && scenario.nWebcamFps <= 120;
                bOk = scenario.bWebcam;
            }
        }
        else if (keyword == "client")
        {
            ScenarioClient client = {};
            bOk = (words >> format >> client.nWidth >> client.nHeight >> client.processName >>
                   client.dStart >> client.dStop) &&
                  ParseFormat(format, &client.nFormat) && SizeIsSane(client.nWidth, client.nHeight) &&
                  client.dStart >= 0 && client.dStop > client.dStart;
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
                dLatest = std::max(dLatest, event.dAt + event.dLength);
            }
        }
        else if (keyword == "duration")
        {
            bOk = (words >> scenario.dDuration) && scenario.dDuration > 0 &&
                  scenario.dDuration <= 3600;
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
    if (scenario.dDuration < dLatest)
        scenario.dDuration = dLatest + 0.5;
    *pScenario = scenario;
    return true;
}

const char* FormatName(UINT32 nFormat)
{
    switch (nFormat)
    {
    case 2:
        return "YUY2";
    case 3:
        return "MJPG";
    case 4:
        return "NV12";
    default:
        return "?";
    }
}

size_t ExpectedPictureBytes(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight)
{
    if (nFormat == 2)
        return static_cast<size_t>(nWidth) * nHeight * 2;
    if (nFormat == 4)
        return static_cast<size_t>(nWidth) * nHeight * 3 / 2;
    return 0;
}
