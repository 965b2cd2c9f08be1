#pragma once

#include <string>

// The folder of the running test executable, with a trailing backslash.
std::wstring ExecutableFolder();

// The whole content of a file, or "" when it cannot be read; another
// process may still be writing it.
std::string ReadTextFile(const std::wstring& path);

// Writes "DriverSetting.ini" beside the executable with the given content and
// removes it again when the object goes.
class ScopedSettingsFile
{
public:
    explicit ScopedSettingsFile(const std::string& content);
    ~ScopedSettingsFile();

    static std::wstring Path();

private:
    ScopedSettingsFile(const ScopedSettingsFile&);
    ScopedSettingsFile& operator=(const ScopedSettingsFile&);
};
