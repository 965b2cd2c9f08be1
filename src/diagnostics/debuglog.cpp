#include "diagnostics/debuglog.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

LogLock gcsLog;

void LogPrint(const char* format, ...)
{
    va_list args;
    va_start(args, format);

    va_list argsCount;
    va_copy(argsCount, args);

    {
        // Held across OutputDebugString, whose wait for a listener is
        // bounded; no thread of this process needs the log lock to let it go.
        SurvivingLockGuard guard(gcsLog);
        int nCount = _vscprintf(format, argsCount);
        if (nCount >= 0)
        {
            size_t cbBuffer = static_cast<size_t>(nCount) + 1;
            char* pszLine = static_cast<char*>(malloc(cbBuffer));
            if (pszLine != NULL)
            {
                vsprintf_s(pszLine, cbBuffer, format, args);
                OutputDebugStringA(pszLine);
                free(pszLine);
            }
        }
    }

    va_end(argsCount);
    va_end(args);
}

void LogPrintW(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);

    va_list argsCount;
    va_copy(argsCount, args);

    {
        SurvivingLockGuard guard(gcsLog);
        int nCount = _vscwprintf(format, argsCount);
        if (nCount >= 0)
        {
            unsigned long long cbWanted =
                (static_cast<unsigned long long>(nCount) + 1) * sizeof(wchar_t);
            // An overflowing size asks for the impossible so the allocation
            // fails instead of wrapping into a short buffer.
            size_t cbBuffer =
                cbWanted > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<size_t>(cbWanted);
            wchar_t* pwszLine = static_cast<wchar_t*>(malloc(cbBuffer));
            if (pwszLine != NULL)
            {
                vswprintf_s(pwszLine, static_cast<size_t>(nCount) + 1, format, args);
                OutputDebugStringW(pwszLine);
                free(pwszLine);
            }
        }
    }

    va_end(argsCount);
    va_end(args);
}
