#pragma once

#include <memory>
#include <vector>

#include "scenario.h"

class ScopedDecoderRegistration;
class SimulatedDriver;
class SimulatedWebcam;

// Plays the fault statements of a scenario (and the soak's drawn faults) on
// the doubles: the webcam's, the decoder's and the driver's.
class ScenarioFaults
{
public:
    ScenarioFaults(SimulatedDriver* pDriver, ScopedDecoderRegistration* pDecoder)
        : m_pDriver(pDriver), m_pDecoder(pDecoder)
    {
    }

    // A fault event's start, or its end (event.bEnd). pWebcam may be null.
    void Apply(const ScenarioEvent& event, SimulatedWebcam* pWebcam);

    static bool IsFault(const ScenarioEvent& event);
    // How long the fault may keep a request from its frames, from its start:
    // its window and the time to notice it, back off and switch.
    static double QuietSeconds(const ScenarioEvent& event);

private:
    SimulatedDriver* m_pDriver;
    ScopedDecoderRegistration* m_pDecoder;
};

// When the host started the webcam's stream (each IMFMediaSource::Start),
// to tell a restart storm: more than kMaxOpenings in any kWindowSeconds.
class WebcamOpenings
{
public:
    static const int kMaxOpenings = 6;
    static const double kWindowSeconds;

    // Notes the starts counted so far by the webcam, at the time dNow.
    void Note(int nStarts, double dNow);
    int Count() const { return m_nSeen; }
    // The start of the first window that saw too many, or a negative value.
    double FirstStormAt() const;

private:
    int m_nSeen = 0;
    std::vector<double> m_times;
};
