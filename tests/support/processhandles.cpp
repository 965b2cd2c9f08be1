#include "processhandles.h"

namespace
{
// Far beyond what the host and its doubles open; probing is quick.
const ULONG_PTR kHighestProbedHandle = 0x40000;
}  // namespace

DWORD CountProcessHandles()
{
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return dwCount;
    for (ULONG_PTR nValue = 4; nValue <= kHighestProbedHandle; nValue += 4)
    {
        DWORD dwFlags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(nValue), &dwFlags))
            ++dwCount;
    }
    return dwCount;
}
