// A stand-in client process named te.exe: it lives until its standard input
// closes or a minute passes, so tests can find it by process id.
#include <windows.h>

int main()
{
    HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[16];
    DWORD cbRead = 0;
    if (hInput != NULL && hInput != INVALID_HANDLE_VALUE && GetFileType(hInput) == FILE_TYPE_PIPE)
        ReadFile(hInput, buffer, sizeof(buffer), &cbRead, NULL);
    else
        Sleep(60000);
    return 0;
}
