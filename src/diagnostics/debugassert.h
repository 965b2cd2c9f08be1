#pragma once

// The project's debug assertion. In a debug build (NDEBUG not defined) a
// condition that does not hold is reported through the debug log with its
// text, file and line; otherwise the macro does nothing, not even evaluate
// the condition. Either way the code after it handles the case itself.
// (mingw-w64's _ASSERTE is empty in every build, so it never reported.)
#ifdef NDEBUG
#define DEBUG_ASSERT(condition) ((void)0)
#else
#define DEBUG_ASSERT(condition) \
    ((condition) ? (void)0 : ReportDebugAssertion(#condition, __FILE__, __LINE__))
#endif

void ReportDebugAssertion(const char* pszCondition, const char* pszFile, int nLine);
