#include <gtest/gtest.h>

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

TEST(DriverIniManager, WithoutFileTheDefaultsApply)
{
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    EXPECT_EQ(L"Quorvane Pellion", Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(L"Framewell Mutex", Read(INI_KEY_MUTEX_NAME));
}

TEST(DriverIniManager, ReadsBothKeysFromTheFileBesideTheExecutable)
{
    ScopedSettingsFile file("[Lumetra]\r\nDriverName=Cam One\r\nMutexName=X\r\n");
    EXPECT_EQ(L"Cam One", Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(L"X", Read(INI_KEY_MUTEX_NAME));
}

TEST(DriverIniManager, SectionAndKeyNamesIgnoreLetterCase)
{
    ScopedSettingsFile file("[LUMETRA]\r\ndrivername=Lower Case Key\r\nMUTEXNAME=Upper\r\n");
    EXPECT_EQ(L"Lower Case Key", Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(L"Upper", Read(INI_KEY_MUTEX_NAME));
}

TEST(DriverIniManager, AnotherSectionGivesTheDefaults)
{
    ScopedSettingsFile file("[Other]\r\nDriverName=Elsewhere\r\n");
    EXPECT_EQ(L"Quorvane Pellion", Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(L"Framewell Mutex", Read(INI_KEY_MUTEX_NAME));
}

TEST(DriverIniManager, AnEmptyValueStaysEmpty)
{
    ScopedSettingsFile file("[Lumetra]\r\nDriverName=\r\n");
    EXPECT_EQ(L"", Read(INI_KEY_DRIVER_NAME));
    EXPECT_EQ(L"Framewell Mutex", Read(INI_KEY_MUTEX_NAME));
}

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
