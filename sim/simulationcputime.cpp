#include "simulationcputime.h"

namespace
{
volatile LONG64 g_aPartTimes[SIM_CPU_PART_COUNT];
}

UINT64 CurrentThreadCpuTime()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return k.QuadPart + u.QuadPart;
}

void AddSimulationCpuTime(SimulationCpuPart ePart, UINT64 n100ns)
{
    InterlockedExchangeAdd64(&g_aPartTimes[ePart], static_cast<LONG64>(n100ns));
}

UINT64 GetSimulationCpuTime(SimulationCpuPart ePart)
{
    return static_cast<UINT64>(InterlockedCompareExchange64(&g_aPartTimes[ePart], 0, 0));
}
