#pragma once

#include <windows.h>

// A wide string in the given code page, freshly allocated (free() it); NULL
// when it cannot be converted or allocated.
char* NewMultiByteString(const wchar_t* pwsz, UINT nCodePage);

// The same in the ANSI code page.
char* NewAnsiString(const wchar_t* pwsz);
