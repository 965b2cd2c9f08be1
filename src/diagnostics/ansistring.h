#pragma once

#include <windows.h>

// A wide string in the ANSI code page, freshly allocated (free() it); NULL
// when it cannot be converted or allocated.
char* NewAnsiString(const wchar_t* pwsz);
