#pragma once

#include <windows.h>

#include <string>
#include <thread>

// The most a simulator run may take, from the host's start to every thread
// joined and the host stopped. The bound is printed at the start; a run that
// overruns it fails at once (exit code 1) rather than hanging.
class RunBound
{
public:
    // dSeconds: the scenario's or soak's own length; the bound adds the time
    // the host is allowed for ending.
    explicit RunBound(double dSeconds);
    ~RunBound();

    double Seconds() const { return m_dBoundS; }
    // The run has ended in time; prints how long it took.
    void Finish();

private:
    RunBound(const RunBound&);
    RunBound& operator=(const RunBound&);

    void Watch();

    double m_dBoundS;
    DWORD m_dwStart;
    HANDLE m_hFinished;
    std::thread m_watcher;
};
