#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/driverinimanager.h"
#include "testfiles.h"

namespace
{
std::wstring Read(int nKey)
{
    wchar_t wszValue[MAX_PATH] = {};
    DriverIniManager manager(0);
    EXPECT_EQ(S_OK, manager.ReadSetting(nKey, wszValue));
    return wszValue;
}
}  // namespace

namespace
{
// A settings file (NULL: none) and what the two keys then read.
struct SettingsCase
{
    const char* pszFile;
    const wchar_t* pwszDriverName;
    const wchar_t* pwszMutexName;
};

class DriverIniSettings : public ::testing::TestWithParam<SettingsCase>
{
};
}  // namespace

TEST_P(DriverIniSettings, ReadAsTheFileBesideTheExecutableSays)
{
    const SettingsCase& settings = GetParam();
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    std::unique_ptr<ScopedSettingsFile> file;
    if (settings.pszFile != NULL)
        file.reset(new ScopedSettingsFile(settings.pszFile));
    EXPECT_EQ(settings.pwszDriverName, Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(settings.pwszMutexName, Read(INI_KEY_MUTEX_NAME));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DriverIniSettings,
    ::testing::Values(
        // Without a file, or with another section, the defaults apply.
        SettingsCase{NULL, L"Quorvane Pellion", L"Framewell Mutex"},
        SettingsCase{"[Other]\r\nDriverName=Elsewhere\r\n", L"Quorvane Pellion",
                     L"Framewell Mutex"},
        SettingsCase{"[Lumetra]\r\nDriverName=Cam One\r\nMutexName=X\r\n", L"Cam One", L"X"},
        // Section and key names ignore letter case.
        SettingsCase{"[LUMETRA]\r\ndrivername=Lower Case Key\r\nMUTEXNAME=Upper\r\n",
                     L"Lower Case Key", L"Upper"},
        // An empty value stays empty.
        SettingsCase{"[Lumetra]\r\nDriverName=\r\n", L"", L"Framewell Mutex"}));

TEST(DriverIniManager, AnUnknownKeyLeavesTheBufferUntouched)
{
    wchar_t wszValue[MAX_PATH] = L"unchanged";
    DriverIniManager manager(0);
    EXPECT_EQ(S_OK, manager.ReadSetting(7, wszValue));
    EXPECT_STREQ(L"unchanged", wszValue);
}

TEST(DriverIniManager, AChangedFileTakesEffectAtTheNextRead)
{
    {
        ScopedSettingsFile file("[Lumetra]\r\nDriverName=Before\r\n");
        EXPECT_EQ(L"Before", Read(INI_KEY_DRIVER_NAME));
    }
    ScopedSettingsFile file("[Lumetra]\r\nDriverName=After\r\n");
    EXPECT_EQ(L"After", Read(INI_KEY_DRIVER_NAME));
}
