#pragma once

#include <windows.h>

#include <utility>
#include <vector>

class SimulatedDriver;

// The driver stalls the simulator asks for, and whether one of them may be
// holding the host at a given time.
class DriverStalls
{
public:
    explicit DriverStalls(SimulatedDriver* pDriver) : m_pDriver(pDriver) {}

    // From dAt (seconds, the simulator's clock, now), every request of
    // dwControlCode blocks until dLength seconds have passed.
    void Start(DWORD dwControlCode, double dAt, double dLength);
    // True during a stall and for a second after it, while its consequences
    // (a cancelled request, a restarted camera) pass.
    bool Cover(double dNow) const;

private:
    SimulatedDriver* m_pDriver;
    std::vector<std::pair<double, double>> m_stalls;  // (start, end)
};
