#pragma once

#include <vector>

#include "scenario.h"

// How many frames a request should have received for the time it ran: at
// the rate of the source that serves it (the webcam's frame rate, or 30 a
// second for the placeholder), after a settle time at its start, and not
// while the system was suspended, the driver stalled, or settling after an
// unplug, a plug, a resume or a stall.
class ExpectedFrames
{
public:
    static const double kSettleSeconds;  // after a start, unplug, plug, resume
    static const double kPlaceholderFps;
    static const double kMinCheckedSeconds;  // shorter requests are not judged
    static const double kMinShare;

    explicit ExpectedFrames(const Scenario& scenario);

    // What happened to the system, in time order.
    void NoteUnplug(double dAt);
    void NotePlug(double dAt);
    void NoteSuspend(double dAt);
    void NoteResume(double dAt);
    // A driver stall: frames stop for its length, and settle after it.
    void NoteStall(double dAt, double dLength);
    // A fault of the webcam, the decoder or the driver: no frames are
    // expected from dAt for dQuietSeconds (its window and the time to
    // notice, back off and switch).
    void NoteFault(double dAt, double dQuietSeconds);

    // Frames expected for this request between dStart and dStop.
    double Expected(const ScenarioClient& client, double dStart, double dStop) const;
    // The share received, or a negative value when nothing is expected.
    static double Share(size_t nReceived, double dExpected);
    // A request that ran long enough and received too small a share.
    static bool ReceivedTooFew(double dRanSeconds, size_t nReceived, double dExpected);

private:
    struct Quiet
    {
        double dFrom;
        double dTo;
    };
    struct WebcamChange
    {
        double dAt;
        bool bPlugged;
    };

    // Frames a second of the source serving this client at this time.
    double RateAt(const ScenarioClient& client, double dAt) const;
    bool IsQuiet(double dAt) const;

    Scenario m_scenario;
    std::vector<WebcamChange> m_webcam;
    std::vector<Quiet> m_quiet;  // suspended, stalled or settling
    double m_dSuspendedAt;
};
