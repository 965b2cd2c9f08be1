#pragma once

#include <windows.h>

// Processor time that the doubles and the simulator spend, on threads of
// their own or inside calls the product makes on its threads, so that a
// benchmark can tell the product's own share of the process's time. Times
// are GetThreadTimes' 100 ns units: the system charges whole scheduler ticks,
// so one short call is measured coarsely, but the sum over many is fair.
enum SimulationCpuPart
{
    SIM_CPU_WEBCAM,     // the simulated webcam's frame thread
    SIM_CPU_DECODER,    // the test MJPEG decoder's calls
    SIM_CPU_SIMULATOR,  // the simulator's threads and its frame observer
    SIM_CPU_PART_COUNT
};

// Kernel and user time of the calling thread so far.
UINT64 CurrentThreadCpuTime();

void AddSimulationCpuTime(SimulationCpuPart ePart, UINT64 n100ns);
UINT64 GetSimulationCpuTime(SimulationCpuPart ePart);

// Charges the calling thread's processor time from construction to
// destruction to a part.
class ScopedSimulationCpu
{
public:
    explicit ScopedSimulationCpu(SimulationCpuPart ePart)
        : m_ePart(ePart), m_nStart(CurrentThreadCpuTime())
    {
    }
    ~ScopedSimulationCpu() { AddSimulationCpuTime(m_ePart, CurrentThreadCpuTime() - m_nStart); }

private:
    ScopedSimulationCpu(const ScopedSimulationCpu&);
    ScopedSimulationCpu& operator=(const ScopedSimulationCpu&);

    SimulationCpuPart m_ePart;
    UINT64 m_nStart;
};
