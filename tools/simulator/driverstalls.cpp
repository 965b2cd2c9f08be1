#include "driverstalls.h"

#include "simulateddriver.h"

namespace
{
const double kAftermathS = 1.0;
}

void DriverStalls::Start(DWORD dwControlCode, double dAt, double dLength)
{
    m_stalls.push_back(std::make_pair(dAt, dAt + dLength));
    m_pDriver->StallRequest(dwControlCode, static_cast<DWORD>(dLength * 1000.0));
}

bool DriverStalls::Cover(double dNow) const
{
    for (const std::pair<double, double>& stall : m_stalls)
    {
        if (dNow >= stall.first && dNow < stall.second + kAftermathS)
            return true;
    }
    return false;
}
