#pragma once

#include <windows.h>

// Polls a condition until it holds or the time is up; for states that have
// no event to wait on. Returns whether the condition held.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD dwTimeoutMs)
{
    DWORD dwStart = GetTickCount();
    while (!condition())
    {
        if (GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        Sleep(2);
    }
    return true;
}
