// The installer under Wine, in a throwaway prefix made by msi-test.sh: a
// silent install, the files and the logon value in place, the installed
// program answering, an upgrade that keeps an edited settings file, and an
// uninstall that ends the program and leaves nothing behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <cstring>
#include <string>
#include <vector>

#include "childprocess.h"
#include "testfiles.h"
#include "waituntil.h"

namespace
{
const DWORD kTimeoutMs = 60000;
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Environment(const char* pszName)
{
    char szValue[MAX_PATH] = {};
    DWORD cch = GetEnvironmentVariableA(pszName, szValue, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? szValue : "";
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string InstallFolder()
{
    return Environment("ProgramFiles(x86)") + "\\FrameProvider\\";
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// msiexec's exit code, or STILL_ACTIVE when it did not end in time.
DWORD RunMsiexec(const std::string& arguments)
{
    std::string system = Environment("SystemRoot") + "\\system32\\msiexec.exe";
    ScopedChildProcess msiexec(Wide(system), Wide(arguments));
    if (!msiexec.IsRunning() || WaitForSingleObject(msiexec.Handle(), kTimeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD dwExitCode = STILL_ACTIVE;
    GetExitCodeProcess(msiexec.Handle(), &dwExitCode);
    return dwExitCode;
}

// The logon value, or "" when it is absent. The package is 32-bit, so its
// value lies in the 32-bit view of the registry.
std::string RunValue()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WOW64_32KEY, &hKey) !=
        ERROR_SUCCESS)
        return "";
    char szValue[MAX_PATH * 2] = {};
    DWORD cbValue = sizeof(szValue) - 1;
    DWORD dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, "FrameProvider", NULL, &dwType,
                                    reinterpret_cast<BYTE*>(szValue), &cbValue);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS && dwType == REG_SZ ? szValue : "";
}

// The versions of every installed product named FrameProvider. (Wine's
// installer drops the upgrade code's registration when a major upgrade
// removes the older product last, so the products are found by name.)
std::vector<std::string> InstalledVersions()
{
    std::vector<std::string> versions;
    char szProduct[39] = {};
    for (DWORD i = 0; MsiEnumProductsA(i, szProduct) == ERROR_SUCCESS; ++i)
    {
        char szName[64] = {};
        DWORD cchName = sizeof(szName);
        char szVersion[64] = {};
        DWORD cchVersion = sizeof(szVersion);
        if (MsiGetProductInfoA(szProduct, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, szName, &cchName) ==
                ERROR_SUCCESS &&
            strcmp(szName, "FrameProvider") == 0 &&
            MsiGetProductInfoA(szProduct, INSTALLPROPERTY_VERSIONSTRING, szVersion, &cchVersion) ==
                ERROR_SUCCESS)
        {
            versions.push_back(szVersion);
        }
    }
    return versions;
}

HWND WaitForProgramWindow()
{
    HWND hWnd = NULL;
    WaitUntil([&] { return (hWnd = FindWindowA("Class of My Testbed", "My Testbed")) != NULL; },
              kTimeoutMs);
    return hWnd;
}

bool Answers(HWND hWnd)
{
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwResult) != 0;
}

void AppendLine(const std::string& path, const std::string& line)
{
    // The program just started may be reading the file: an editor, too,
    // would wait for it.
    HANDLE hFile = INVALID_HANDLE_VALUE;
    DWORD dwError = ERROR_SUCCESS;
    WaitUntil(
        [&]
        {
            hFile = CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, NULL, OPEN_EXISTING, 0, NULL);
            dwError = GetLastError();
            return hFile != INVALID_HANDLE_VALUE || dwError != ERROR_SHARING_VIOLATION;
        },
        kTimeoutMs);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << "error " << dwError;
    DWORD cbWritten = 0;
    WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &cbWritten, NULL);
    CloseHandle(hFile);
}

}  // namespace

TEST(Installer, InstallsUpgradesInPlaceAndUninstallsWithoutATrace)
{
    const std::string msi = Environment("VCAM_MSI");
    const std::string upgradeMsi = Environment("VCAM_MSI_UPGRADE");
    const std::string version = Environment("VCAM_VERSION");
    const std::string upgradeVersion = Environment("VCAM_UPGRADE_VERSION");
    ASSERT_TRUE(FileExists(msi)) << "VCAM_MSI: " << msi;
    ASSERT_TRUE(FileExists(upgradeMsi)) << "VCAM_MSI_UPGRADE: " << upgradeMsi;
    const std::string folder = InstallFolder();
    const std::string program = folder + "FrameProvider.exe";
    const std::string settings = folder + "DriverSetting.ini";

    // A silent per-machine install.
    ASSERT_EQ(0u, RunMsiexec("/i \"" + msi + "\" /qn"));
    for (const char* pszFile :
         {"FrameProvider.exe", "FrameProviderLog.exe", "DriverSetting.ini", "README.txt"})
        EXPECT_TRUE(FileExists(folder + pszFile)) << folder + pszFile;
    EXPECT_EQ("\"" + program + "\"", RunValue());
    EXPECT_EQ(std::vector<std::string>{version}, InstalledVersions());

    // The installed program starts and answers its window.
    ScopedChildProcess first(Wide(program));
    HWND hWnd = WaitForProgramWindow();
    ASSERT_NE(nullptr, hWnd);
    EXPECT_TRUE(Answers(hWnd));

    // An upgrade while it runs: the program is closed first, the newer
    // version replaces the older, and the administrator's edit stays.
    const std::string edit = "; edited by the administrator\r\n";
    AppendLine(settings, edit);
    ASSERT_EQ(0u, RunMsiexec("/i \"" + upgradeMsi + "\" /qn"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(first.Handle(), kTimeoutMs));
    EXPECT_EQ(std::vector<std::string>{upgradeVersion}, InstalledVersions());
    EXPECT_NE(std::string::npos, ReadTextFile(Wide(settings)).find(edit))
        << ReadTextFile(Wide(settings));
    EXPECT_TRUE(FileExists(program));
    EXPECT_EQ("\"" + program + "\"", RunValue());

    // The uninstall ends the running program and removes everything.
    ScopedChildProcess second(Wide(program));
    ASSERT_NE(nullptr, WaitForProgramWindow());
    ASSERT_EQ(0u, RunMsiexec("/x \"" + upgradeMsi + "\" /qn"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(second.Handle(), kTimeoutMs));
    EXPECT_FALSE(FileExists(folder)) << folder;
    EXPECT_EQ("", RunValue());
    EXPECT_TRUE(InstalledVersions().empty());
}
