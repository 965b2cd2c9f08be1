#include "capture/readerworkqueue.h"

#include "diagnostics/debuglog.h"

namespace
{
// Looked up at run time: the call came with Windows 8, and the program runs
// on Windows 7 too.
typedef HRESULT(WINAPI* LOCK_SHARED_WORK_QUEUE)(PCWSTR wszClass, LONG lBasePriority,
                                                DWORD* pdwTaskId, DWORD* pdwQueue);

HRESULT LockSharedWorkQueue()
{
    HMODULE hMfplat = GetModuleHandleW(L"mfplat.dll");
    FARPROC pfnFound = hMfplat != NULL ? GetProcAddress(hMfplat, "MFLockSharedWorkQueue") : NULL;
    // Through the type that stands for any function, as casts between
    // function types must go.
    LOCK_SHARED_WORK_QUEUE pfnLock =
        reinterpret_cast<LOCK_SHARED_WORK_QUEUE>(reinterpret_cast<void (*)(void)>(pfnFound));
    if (pfnLock == NULL)
        return S_FALSE;
    // The queue of no multimedia class: the one readers take. Never
    // unlocked: an unlock at the end could itself be the last, under a
    // reader still letting go on the queue's thread.
    DWORD dwQueue = 0;
    HRESULT hr = pfnLock(L"", 0, NULL, &dwQueue);
    LogPrint("HoldReaderWorkQueue (): queue 0x%08X, HRESULT 0x%08X\n", dwQueue, hr);
    return hr;
}
}  // namespace

HRESULT HoldReaderWorkQueue()
{
    // A function-local static is initialised once, even with threads racing.
    static const HRESULT s_hr = LockSharedWorkQueue();
    return s_hr;
}
