#include "expectedframes.h"
#include "pipeline/framerecords.h"

#include <string.h>

const double ExpectedFrames::kSettleSeconds = 0.5;
const double ExpectedFrames::kPlaceholderFps = 30.0;
const double ExpectedFrames::kMinCheckedSeconds = 2.0;
const double ExpectedFrames::kMinShare = 0.9;

namespace
{
const double kStepSeconds = 0.001;
const UINT32 kPlaceholderWidth = 1280;
const UINT32 kPlaceholderHeight = 720;
}  // namespace

ExpectedFrames::ExpectedFrames(const Scenario& scenario) : m_scenario(scenario), m_dSuspendedAt(-1)
{
    WebcamChange start = {0.0, scenario.bWebcam};
    m_webcam.push_back(start);
}

void ExpectedFrames::NoteUnplug(double dAt)
{
    WebcamChange change = {dAt, false};
    m_webcam.push_back(change);
    Quiet settle = {dAt, dAt + kSettleSeconds};
    m_quiet.push_back(settle);
}

void ExpectedFrames::NotePlug(double dAt)
{
    WebcamChange change = {dAt, m_scenario.bWebcam};
    m_webcam.push_back(change);
    Quiet settle = {dAt, dAt + kSettleSeconds};
    m_quiet.push_back(settle);
}

void ExpectedFrames::NoteSuspend(double dAt)
{
    m_dSuspendedAt = dAt;
}

void ExpectedFrames::NoteResume(double dAt)
{
    if (m_dSuspendedAt >= 0)
    {
        Quiet suspended = {m_dSuspendedAt, dAt + kSettleSeconds};
        m_quiet.push_back(suspended);
    }
    m_dSuspendedAt = -1;
}

void ExpectedFrames::NoteStall(double dAt, double dLength)
{
    Quiet stalled = {dAt, dAt + dLength + kSettleSeconds};
    m_quiet.push_back(stalled);
}

void ExpectedFrames::NoteFault(double dAt, double dQuietSeconds)
{
    Quiet faulty = {dAt, dAt + dQuietSeconds};
    m_quiet.push_back(faulty);
}

double ExpectedFrames::RateAt(const ScenarioClient& client, double dAt) const
{
    bool bPlugged = false;
    for (const WebcamChange& change : m_webcam)
    {
        if (change.dAt <= dAt)
            bPlugged = change.bPlugged;
    }
    bool bTeExe = _stricmp(client.processName.c_str(), "te.exe") == 0;
    if (bPlugged && !bTeExe)
    {
        // MJPG is passed through unscaled: only a webcam of that format and
        // size serves it. YUY2 and NV12 are made from any webcam picture.
        if (client.nFormat == COLOR_FORMAT_MJPG)
            return m_scenario.nWebcamFormat == COLOR_FORMAT_MJPG &&
                           client.nWidth == m_scenario.nWebcamWidth &&
                           client.nHeight == m_scenario.nWebcamHeight
                       ? m_scenario.nWebcamFps
                       : 0.0;
        return m_scenario.nWebcamFps;
    }
    // The placeholder: a 1280 x 720 MJPG picture and its YUY2 form.
    if (client.nFormat == COLOR_FORMAT_MJPG)
        return client.nWidth == kPlaceholderWidth && client.nHeight == kPlaceholderHeight
                   ? kPlaceholderFps
                   : 0.0;
    return kPlaceholderFps;
}

bool ExpectedFrames::IsQuiet(double dAt) const
{
    if (m_dSuspendedAt >= 0 && dAt >= m_dSuspendedAt)
        return true;
    for (const Quiet& quiet : m_quiet)
    {
        if (dAt >= quiet.dFrom && dAt < quiet.dTo)
            return true;
    }
    return false;
}

double ExpectedFrames::Expected(const ScenarioClient& client, double dStart, double dStop) const
{
    double dFrames = 0;
    for (double dAt = dStart + kSettleSeconds; dAt < dStop; dAt += kStepSeconds)
    {
        if (!IsQuiet(dAt))
            dFrames += RateAt(client, dAt) * kStepSeconds;
    }
    return dFrames;
}

double ExpectedFrames::Share(size_t nReceived, double dExpected)
{
    return dExpected >= 1.0 ? nReceived / dExpected : -1.0;
}

bool ExpectedFrames::ReceivedTooFew(double dRanSeconds, size_t nReceived, double dExpected)
{
    double dShare = Share(nReceived, dExpected);
    // Exactly the minimum share passes, whatever the rounding.
    return dRanSeconds >= kMinCheckedSeconds && dShare >= 0 && dShare < kMinShare - 1e-9;
}
