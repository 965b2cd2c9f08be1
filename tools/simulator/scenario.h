#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the simulator plays: an optional webcam, the clients of the driver
// with their times, the webcam's unplugging and plugging, and stalls of the
// driver.
struct ScenarioClient
{
    UINT32 nFormat;  // 2 YUY2, 3 MJPG, 4 NV12
    UINT32 nWidth;
    UINT32 nHeight;
    std::string processName;  // "te.exe" starts a te.exe process as the client
    double dStart;            // seconds from the host's start
    double dStop;
};

enum ScenarioEventKind
{
    SCENARIO_UNPLUG,
    SCENARIO_PLUG,
    SCENARIO_STALL,  // every request of dwControlCode blocks until dLength has passed
};

struct ScenarioEvent
{
    ScenarioEventKind eKind;
    double dAt;
    DWORD dwControlCode;  // stalls only
    double dLength;       // stalls only, seconds
};

struct Scenario
{
    bool bWebcam;
    UINT32 nWebcamFormat;  // 2 YUY2 or 3 MJPG
    UINT32 nWebcamWidth;
    UINT32 nWebcamHeight;
    UINT32 nWebcamFps;
    double dDuration;
    std::vector<ScenarioClient> clients;
    std::vector<ScenarioEvent> events;
};

Scenario MakeDefaultScenario();

// Reads the text form documented in the README. On failure pError names the
// line and what is wrong with it.
bool ParseScenario(const std::string& text, Scenario* pScenario, std::string* pError);

const char* FormatName(UINT32 nFormat);
// Expected picture size in bytes (0 for MJPG, whose size varies).
size_t ExpectedPictureBytes(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight);
