#include "diagnostics/debugassert.h"

#include "diagnostics/debuglog.h"

void ReportDebugAssertion(const char* pszCondition, const char* pszFile, int nLine)
{
    LogPrint("Debug assertion failed: \"%s\" (%s, line %d)\n", pszCondition, pszFile, nLine);
}
