#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

#include "debugoutputcapture.h"
#include "driver/driverdiscovery.h"
#include "testfiles.h"
#include "videoinputdeviceregistry.h"

namespace
{
// Names unique to this process, so that devices left behind by another test
// process never match.
std::wstring Unique(const wchar_t* pwszBase)
{
    return std::wstring(pwszBase) + L" " + std::to_wstring(GetCurrentProcessId());
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class DriverDiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    HRESULT Find(const std::wstring& name, char* pszPath, DWORD* pdwSize)
    {
        return FindDriverDevicePath(Narrow(name).c_str(), pszPath, pdwSize);
    }
};
}  // namespace

TEST_F(DriverDiscoveryTest, FindsTheDevicePathByFriendlyName)
{
    std::wstring name = Unique(L"Sim Virtual Camera");
    ScopedVideoInputDevice other(Unique(L"other"), Unique(L"Some Webcam"), L"\\\\?\\usb#other");
    ScopedVideoInputDevice device(Unique(L"vcam"), name, L"\\\\?\\root#image#0000#{sim}");
    ASSERT_TRUE(device.IsRegistered());

    DebugOutputCapture capture;
    char szPath[MAX_PATH] = {};
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(S_OK, Find(name, szPath, &dwSize));
    EXPECT_STREQ("\\\\?\\root#image#0000#{sim}", szPath);
    EXPECT_TRUE(capture.Contains("    DeviceName: " + Narrow(name) + "\n"));
    EXPECT_TRUE(capture.Contains("    DevicePath: \\\\?\\root#image#0000#{sim}"));
}

TEST_F(DriverDiscoveryTest, ANameDifferingOnlyInLetterCaseIsNotTheDriver)
{
    std::wstring name = Unique(L"Case Camera");
    std::wstring upper = name;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    ScopedVideoInputDevice device(Unique(L"case"), upper, L"\\\\?\\root#case");

    char szPath[MAX_PATH] = {};
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(E_FAIL, Find(name, szPath, &dwSize));
    EXPECT_STREQ("", szPath);
}

TEST_F(DriverDiscoveryTest, OfTwoMatchingDevicesOnlyOneIsUsed)
{
    std::wstring name = Unique(L"Twin Camera");
    ScopedVideoInputDevice first(Unique(L"twin1"), name, L"\\\\?\\root#twin#1");
    ScopedVideoInputDevice second(Unique(L"twin2"), name, L"\\\\?\\root#twin#2");

    DebugOutputCapture capture;
    char szPath[MAX_PATH] = {};
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(S_OK, Find(name, szPath, &dwSize));
    EXPECT_TRUE(std::string(szPath) == "\\\\?\\root#twin#1" ||
                std::string(szPath) == "\\\\?\\root#twin#2");
    // The search ends at the first match: one path line only.
    EXPECT_EQ(1u, capture.Count("    DevicePath: "));
}

TEST_F(DriverDiscoveryTest, APathLongerThanTheBufferIsRefusedWithTheNeededSize)
{
    std::wstring name = Unique(L"Long Path Camera");
    std::wstring longPath = L"\\\\?\\root#" + std::wstring(300, L'p');
    ScopedVideoInputDevice device(Unique(L"long"), name, longPath);

    char szPath[MAX_PATH] = {};
    szPath[MAX_PATH - 1] = 'G';
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(E_INVALIDARG, Find(name, szPath, &dwSize));
    EXPECT_EQ(longPath.size() + 1, dwSize);
    EXPECT_EQ('G', szPath[MAX_PATH - 1]);
}

TEST_F(DriverDiscoveryTest, NoMatchingDeviceGivesEFail)
{
    char szPath[MAX_PATH] = {};
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(E_FAIL, Find(Unique(L"Nobody Here"), szPath, &dwSize));
    EXPECT_EQ(E_FAIL, FindDriverDevicePath("", szPath, &dwSize));
}

TEST(GlobalMutexName, IsFormedFromTheSettingsFile)
{
    {
        ScopedSettingsFile file("[Lumetra]\r\nMutexName=X\r\n");
        BuildGlobalMutexName();
        EXPECT_STREQ(L"Global\\X", gwszGlobalMutexName);
    }
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    BuildGlobalMutexName();
    EXPECT_STREQ(L"Global\\Framewell Mutex", gwszGlobalMutexName);
}

TEST(GlobalMutexName, ANameTooLongForItsGlobalFormGivesTheDefaultWithALogLine)
{
    DebugOutputCapture capture;
    {
        // The profile reader keeps 259 characters; with "Global\" that is 266.
        ScopedSettingsFile file("[Lumetra]\r\nMutexName=" + std::string(300, 'm') + "\r\n");
        BuildGlobalMutexName();
    }
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    EXPECT_STREQ(L"Global\\Framewell Mutex", gwszGlobalMutexName);
    EXPECT_TRUE(capture.Contains("MutexName of 259 characters is too long"));

    // The longest name that fits is used as it is.
    {
        ScopedSettingsFile file("[Lumetra]\r\nMutexName=" + std::string(252, 'n') + "\r\n");
        BuildGlobalMutexName();
    }
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    EXPECT_EQ(L"Global\\" + std::wstring(252, L'n'), std::wstring(gwszGlobalMutexName));
}

// Names the system refuses as an object name: the mutex could never be
// made, and the host would take it for one held by another process.
class RefusedMutexName : public ::testing::TestWithParam<const char*>
{
};

TEST_P(RefusedMutexName, GivesTheDefaultNameWithALogLine)
{
    DebugOutputCapture capture;
    {
        ScopedSettingsFile file(std::string("[Lumetra]\r\nMutexName=") + GetParam() + "\r\n");
        BuildGlobalMutexName();
    }
    DeleteFileW(ScopedSettingsFile::Path().c_str());
    EXPECT_STREQ(L"Global\\Framewell Mutex", gwszGlobalMutexName);
    EXPECT_TRUE(capture.Contains("is refused by the system; using the default name"));

    HANDLE hMutex = CreateMutexW(NULL, FALSE, gwszGlobalMutexName);
    EXPECT_NE(static_cast<HANDLE>(NULL), hMutex);
    if (hMutex != NULL)
        CloseHandle(hMutex);
}

INSTANTIATE_TEST_SUITE_P(EmptyOrWithABackslash, RefusedMutexName,
                         ::testing::Values("", "Team\\Camera", "\\", "Camera\\"));

TEST_F(DriverDiscoveryTest, ANameBeyondAsciiMatchesTheSameName)
{
    // What OpenDriverDevice passes: the settings file's name in UTF-8.
    std::wstring name = Unique(L"Kamera Gr\u00f6\u00dfe \u00e9t\u00e9");
    ScopedVideoInputDevice device(Unique(L"intl"), name, L"\\\\?\\root#image#0000#{intl}");
    ASSERT_TRUE(device.IsRegistered());
    char szUtf8[MAX_PATH] = {};
    ASSERT_NE(0, WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, szUtf8, MAX_PATH, NULL, NULL));

    char szPath[MAX_PATH] = {};
    DWORD dwSize = MAX_PATH;
    EXPECT_EQ(S_OK, FindDriverDevicePath(szUtf8, szPath, &dwSize));
    EXPECT_STREQ("\\\\?\\root#image#0000#{intl}", szPath);
}
