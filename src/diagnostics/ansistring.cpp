#include "diagnostics/ansistring.h"

#include <stdlib.h>

char* NewMultiByteString(const wchar_t* pwsz, UINT nCodePage)
{
    int cbNeeded = WideCharToMultiByte(nCodePage, 0, pwsz, -1, NULL, 0, NULL, NULL);
    if (cbNeeded <= 0)
        return NULL;
    char* psz = static_cast<char*>(malloc(static_cast<size_t>(cbNeeded)));
    if (psz != NULL && WideCharToMultiByte(nCodePage, 0, pwsz, -1, psz, cbNeeded, NULL, NULL) == 0)
    {
        free(psz);
        psz = NULL;
    }
    return psz;
}

char* NewAnsiString(const wchar_t* pwsz)
{
    return NewMultiByteString(pwsz, CP_ACP);
}
