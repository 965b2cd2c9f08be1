#include "testfiles.h"

#include <windows.h>

std::wstring ExecutableFolder()
{
    wchar_t wszPath[MAX_PATH] = {};
    GetModuleFileNameW(NULL, wszPath, MAX_PATH);
    std::wstring path(wszPath);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
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
