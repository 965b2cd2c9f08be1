#include "testfiles.h"

#include <windows.h>

std::wstring ExecutableFolder()
{
    wchar_t wszPath[MAX_PATH] = {};
    GetModuleFileNameW(NULL, wszPath, MAX_PATH);
    std::wstring path(wszPath);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string ReadTextFile(const std::wstring& path)
{
    std::string text;
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &cbRead, NULL) && cbRead > 0)
        text.append(buffer, cbRead);
    CloseHandle(hFile);
    return text;
}

std::wstring ScopedSettingsFile::Path()
{
    return ExecutableFolder() + L"DriverSetting.ini";
}

ScopedSettingsFile::ScopedSettingsFile(const std::string& content)
{
    HANDLE hFile = CreateFileW(Path().c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        DWORD cbWritten = 0;
        WriteFile(hFile, content.data(), static_cast<DWORD>(content.size()), &cbWritten, NULL);
        CloseHandle(hFile);
    }
}

ScopedSettingsFile::~ScopedSettingsFile()
{
    DeleteFileW(Path().c_str());
}
