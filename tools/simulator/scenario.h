#pragma once

#include <windows.h>

#include "simulatedwebcam.h"

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
    SCENARIO_STALL,    // every request of dwControlCode blocks until dLength has passed
    SCENARIO_SESSION,  // WM_WTSSESSION_CHANGE with the code in dwControlCode
    SCENARIO_SUSPEND,  // PBT_APMSUSPEND; the resume follows as an event of its own
    SCENARIO_RESUME,   // PBT_APMRESUMEAUTOMATIC
    // Faults in a window: each statement gives a start event and, at dAt +
    // dLength, an end event (bEnd).
    SCENARIO_WEBCAM_FAULT,   // nFault: a ScenarioWebcamFault
    SCENARIO_DECODER_FAULT,  // nFault: a ScenarioDecoderFault; no end
    SCENARIO_FAIL,           // every request of dwControlCode fails
    SCENARIO_SHORT,          // requests of dwControlCode answer short
};

enum ScenarioWebcamFault
{
    WEBCAM_FAULT_SILENT,      // no sample, no error
    WEBCAM_FAULT_BUSY,        // held by another application
    WEBCAM_FAULT_CORRUPT,     // truncated JPEGs
    WEBCAM_FAULT_NO_HUFFMAN,  // JPEGs without Huffman tables
    WEBCAM_FAULT_OTHER_SIZE,  // frames of another size
};

enum ScenarioDecoderFault
{
    DECODER_FAULT_LOSE_TYPE,       // a stream change whose next SetOutputType fails once
    DECODER_FAULT_NV12_ONLY,       // from then on NV12 only (its type is lost to take effect)
    DECODER_FAULT_KEEP_BAD_INPUT,  // the next picture is bad and kept until a flush
};

struct ScenarioEvent
{
    ScenarioEventKind eKind;
    double dAt;
    DWORD dwControlCode;  // stalls, fail and short: the request; session changes: the WTS_ code
    double dLength;       // stalls, suspensions and fault windows, seconds
    int nFault = 0;       // webcam and decoder faults
    bool bEnd = false;    // the end of a fault window
};

// The time the host is given to notice a fault, back off and switch: a
// request's expected frames leave out each fault's window and this long
// after it.
const double kFaultSettleSeconds = 3.0;

// One native type of the simulated webcam; the rate is a ratio, as a
// camera's: 29.97 is 30000/1001.
struct ScenarioWebcamType
{
    UINT32 nFormat;  // 2 YUY2 or 3 MJPG
    UINT32 nWidth;
    UINT32 nHeight;
    UINT32 nRateNumerator;
    UINT32 nRateDenominator;
};

struct Scenario
{
    bool bWebcam;
    // The first of the webcam's types, its rate rounded to whole frames.
    UINT32 nWebcamFormat;  // 2 YUY2 or 3 MJPG
    UINT32 nWebcamWidth;
    UINT32 nWebcamHeight;
    UINT32 nWebcamFps;
    // Every type, in the order of the line; the webcam starts at the first.
    std::vector<ScenarioWebcamType> webcamTypes;
    double dDuration;
    bool bExplicitDuration;  // "duration" given: the run ends then, whatever still runs
    // Every activation of the webcam takes this long; negative: it never
    // returns.
    double dActivationDelay;
    std::vector<ScenarioClient> clients;
    std::vector<ScenarioEvent> events;
};

Scenario MakeDefaultScenario();

// Reads the text form documented in the README. On failure pError names the
// line and what is wrong with it.
bool ParseScenario(const std::string& text, Scenario* pScenario, std::string* pError);

// The simulated webcam's native formats for the scenario's types.
std::vector<SimulatedWebcamFormat> WebcamFormatsOf(const Scenario& scenario);

const char* FormatName(UINT32 nFormat);
// Frames a second of a type's rate.
double WebcamTypeFps(const ScenarioWebcamType& type);
// Expected picture size in bytes (0 for MJPG, whose size varies).
size_t ExpectedPictureBytes(UINT32 nFormat, UINT32 nWidth, UINT32 nHeight);
