// Runs from inside the unpacked ZIP, beside the packaged program and its
// settings file, as a Windows user would find them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "config/driverinimanager.h"
#include "placeholderjpeg.h"
#include "productversion.h"
#include "resource.h"
#include "testfiles.h"

namespace
{
std::wstring PackagedFile(const wchar_t* pwszName)
{
    return ExecutableFolder() + pwszName;
}

std::vector<char> ReadWholeFile(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

// Reads a structure at a file offset, or fails the test when it lies
// outside the file.
template <typename T>
bool ReadAt(const std::vector<char>& image, size_t offset, T* pValue)
{
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    memcpy(pValue, image.data() + offset, sizeof(T));
    return true;
}

// The parts of a PE32 image's headers the checks need.
struct Pe32Image
{
    IMAGE_FILE_HEADER fileHeader = {};
    IMAGE_OPTIONAL_HEADER32 optionalHeader = {};
    std::vector<IMAGE_SECTION_HEADER> sections;

    bool RvaToOffset(DWORD rva, size_t* pOffset) const
    {
        for (const IMAGE_SECTION_HEADER& section : sections)
        {
            if (rva >= section.VirtualAddress &&
                rva - section.VirtualAddress < section.SizeOfRawData)
            {
                *pOffset = section.PointerToRawData + (rva - section.VirtualAddress);
                return true;
            }
        }
        return false;
    }
};

::testing::AssertionResult ParsePe32(const std::vector<char>& image, Pe32Image* pPe)
{
    IMAGE_DOS_HEADER dos = {};
    if (!ReadAt(image, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return ::testing::AssertionFailure() << "no MZ header";
    DWORD dwSignature = 0;
    size_t offset = static_cast<size_t>(dos.e_lfanew);
    if (!ReadAt(image, offset, &dwSignature) || dwSignature != IMAGE_NT_SIGNATURE)
        return ::testing::AssertionFailure() << "no PE signature";
    offset += sizeof(dwSignature);
    if (!ReadAt(image, offset, &pPe->fileHeader))
        return ::testing::AssertionFailure() << "file header cut short";
    offset += sizeof(IMAGE_FILE_HEADER);
    if (pPe->fileHeader.SizeOfOptionalHeader < sizeof(IMAGE_OPTIONAL_HEADER32) ||
        !ReadAt(image, offset, &pPe->optionalHeader))
        return ::testing::AssertionFailure() << "no 32-bit optional header";
    offset += pPe->fileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < pPe->fileHeader.NumberOfSections; ++i)
    {
        IMAGE_SECTION_HEADER section = {};
        if (!ReadAt(image, offset + i * sizeof(section), &section))
            return ::testing::AssertionFailure() << "section table cut short";
        pPe->sections.push_back(section);
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> ImportedDlls(const std::vector<char>& image, const Pe32Image& pe)
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& imports =
        pe.optionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = 0;
    if (imports.VirtualAddress == 0 || !pe.RvaToOffset(imports.VirtualAddress, &offset))
        return names;
    IMAGE_IMPORT_DESCRIPTOR descriptor = {};
    for (; ReadAt(image, offset, &descriptor) && descriptor.Name != 0; offset += sizeof(descriptor))
    {
        size_t nameOffset = 0;
        if (!pe.RvaToOffset(descriptor.Name, &nameOffset))
            break;
        std::string name;
        while (nameOffset < image.size() && image[nameOffset] != '\0')
            name += image[nameOffset++];
        names.push_back(name);
    }
    return names;
}

std::wstring ReadWithProgramReader(int nKey)
{
    wchar_t wszValue[MAX_PATH] = {};
    DriverIniManager manager(0);
    manager.ReadSetting(nKey, wszValue);
    return wszValue;
}

// What the profile reader finds in the section, one "key=value" a line.
std::vector<std::wstring> SectionEntries(const std::wstring& path)
{
    wchar_t wszSection[4096] = {};
    DWORD cch =
        GetPrivateProfileSectionW(L"Lumetra", wszSection, ARRAYSIZE(wszSection), path.c_str());
    std::vector<std::wstring> entries;
    for (const wchar_t* pwsz = wszSection; pwsz < wszSection + cch && *pwsz;
         pwsz += wcslen(pwsz) + 1)
        entries.push_back(pwsz);
    return entries;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* pwszName)
{
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + pwszName;
    void* pValue = nullptr;
    UINT cch = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), &pValue, &cch) || cch == 0)
        return L"";
    return static_cast<const wchar_t*>(pValue);
}

std::wstring Widen(const char* psz)
{
    return std::wstring(psz, psz + strlen(psz));
}
}  // namespace

TEST(PackagedProgram, IsAStaticallyLinked32BitGuiExecutableThatKeepsItsLogTexts)
{
    std::vector<char> image = ReadWholeFile(PackagedFile(L"FrameProvider.exe"));
    ASSERT_FALSE(image.empty());
    Pe32Image pe;
    ASSERT_TRUE(ParsePe32(image, &pe));
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, pe.fileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, pe.optionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, pe.optionalHeader.Subsystem);

    // Only system libraries: a user has no compiler runtime to load.
    std::vector<std::string> dlls = ImportedDlls(image, pe);
    EXPECT_FALSE(dlls.empty());
    for (const std::string& dll : dlls)
        EXPECT_NE(0, _strnicmp(dll.c_str(), "lib", 3)) << dll;

    // Stripping removed symbols only; the diagnostics are data.
    const std::string logText = "CreateFile Failed";
    EXPECT_NE(image.end(), std::search(image.begin(), image.end(), logText.begin(), logText.end()));
}

TEST(PackagedProgram, HoldsThePlaceholderTheIconAndItsVersion)
{
    std::wstring program = PackagedFile(L"FrameProvider.exe");
    HMODULE hImage = LoadLibraryExW(program.c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, hImage);
    HRSRC hPlaceholder =
        FindResourceW(hImage, MAKEINTRESOURCEW(IDR_PLACEHOLDER_JPEG), MAKEINTRESOURCEW(10));
    ASSERT_NE(nullptr, hPlaceholder);
    EXPECT_EQ(static_cast<DWORD>(PLACEHOLDER_JPEG_SIZE), SizeofResource(hImage, hPlaceholder));
    EXPECT_NE(nullptr,
              FindResourceW(hImage, MAKEINTRESOURCEW(IDI_FRAMEPROVIDER), MAKEINTRESOURCEW(14)));
    FreeLibrary(hImage);

    DWORD dwHandle = 0;
    DWORD cbInfo = GetFileVersionInfoSizeW(program.c_str(), &dwHandle);
    ASSERT_NE(0u, cbInfo);
    std::vector<BYTE> info(cbInfo);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, cbInfo, info.data()));
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &cbFixed));
    ASSERT_GE(cbFixed, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(PRODUCT_VERSION_MINOR, PRODUCT_VERSION_MAJOR)),
              pFixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, PRODUCT_VERSION_PATCH)), pFixed->dwFileVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), pFixed->dwFileType);
    EXPECT_EQ(Widen(PRODUCT_NAME_TEXT), VersionString(info, L"ProductName"));
    EXPECT_EQ(Widen(PRODUCT_DESCRIPTION_TEXT), VersionString(info, L"FileDescription"));
    EXPECT_EQ(Widen(PRODUCT_VERSION_TEXT), VersionString(info, L"ProductVersion"));
}

TEST(PackagedSettings, HoldBothKeysAtTheDefaultsOfTheProgramsReader)
{
    std::wstring settings = PackagedFile(L"DriverSetting.ini");
    std::wstring driverName = ReadWithProgramReader(INI_KEY_DRIVER_NAME);
    std::wstring mutexName = ReadWithProgramReader(INI_KEY_MUTEX_NAME);
    std::vector<std::wstring> entries = SectionEntries(settings);

    // The reader's own defaults, seen with the file out of the way.
    std::wstring aside = settings + L".aside";
    ASSERT_TRUE(MoveFileW(settings.c_str(), aside.c_str()));
    std::wstring defaultDriverName = ReadWithProgramReader(INI_KEY_DRIVER_NAME);
    std::wstring defaultMutexName = ReadWithProgramReader(INI_KEY_MUTEX_NAME);
    ASSERT_TRUE(MoveFileW(aside.c_str(), settings.c_str()));

    EXPECT_EQ(defaultDriverName, driverName);
    EXPECT_EQ(defaultMutexName, mutexName);
    std::vector<std::wstring> expected = {L"DriverName=" + defaultDriverName,
                                          L"MutexName=" + defaultMutexName};
    EXPECT_EQ(expected, entries);
}

TEST(PackagedSettings, ExplainEachKeyInACommentLine)
{
    std::vector<char> bytes = ReadWholeFile(PackagedFile(L"DriverSetting.ini"));
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    std::string line, previous;
    int nKeys = 0;
    while (std::getline(text, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find('=') != std::string::npos)
        {
            ++nKeys;
            EXPECT_EQ(';', previous.empty() ? '\0' : previous[0]) << "no comment above " << line;
        }
        previous = line;
    }
    EXPECT_EQ(2, nKeys);
    EXPECT_NE(0xFFFFFFFFu, GetFileAttributesW(PackagedFile(L"README.txt").c_str()));
}
