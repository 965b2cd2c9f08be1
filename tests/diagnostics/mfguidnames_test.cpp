#include <gtest/gtest.h>

#include <windows.h>

#include <codecapi.h>
#include <mfapi.h>
#include <mfidl.h>

#include <set>
#include <string>

#include "diagnostics/mfdumputil.h"
#include "diagnostics/mfguidnames.h"

namespace
{
std::string NameOf(REFGUID guid)
{
    char szName[kMFDumpTextCch];
    EXPECT_HRESULT_SUCCEEDED(GetGuidName(guid, szName, sizeof(szName)));
    return szName;
}

std::string NameOfText(const wchar_t* pwszGuid)
{
    char szName[kMFDumpTextCch];
    GetGuidNameFromString(pwszGuid, szName, sizeof(szName));
    return szName;
}

size_t CountNamesStartingWith(const std::string& prefix)
{
    size_t cRows = 0;
    for (size_t i = 0; i < gnGuidNameTableRows; ++i)
    {
        if (std::string(gGuidNameTable[i].pszName).compare(0, prefix.size(), prefix) == 0)
            ++cRows;
    }
    return cRows;
}
}  // namespace

TEST(GuidNameTable, HoldsEveryFamilyInItsPlace)
{
    ASSERT_EQ(454u, gnGuidNameTableRows);

    struct
    {
        size_t nRow;
        const char* pszName;
    } kBoundaries[] = {
        {0, "MFMediaType_Audio"},
        {8, "MFMediaType_FileTransfer"},
        {9, "MFAudioFormat_Dolby_AC3_SPDIF"},
        {22, "MFAudioFormat_ADTS"},
        {23, "MFVideoFormat_Base"},
        {76, "MFVideoFormat_H263"},
        {77, "MF_MT_ALL_SAMPLES_INDEPENDENT"},
        {125, "MF_MT_AUDIO_WMADRC_AVGREF"},
        {126, "MF_SD_LANGUAGE"},
        {128, "MF_PD_AUDIO_ENCODING_BITRATE"},
        {134, "MF_MT_MPEG4_CURRENT_SAMPLE_ENTRY"},
        {136, "CODECAPI_AVEncCommonFormatConstraint"},
        {390, "MF_SOURCE_STREAM_SUPPORTS_HW_CONNECTION"},
        {391, "MF_DEVICESTREAM_STREAM_ID"},
        {395, "MF_TOPONODE_CONNECT_METHOD"},
        {422, "MF_TOPONODE_PRIMARYOUTPUT"},
        {423, "MF_MT_AM_FORMAT_TYPE"},
        {426, "MF_SD_SAMI_LANGUAGE"},
        {427, "MF_PD_APP_CONTEXT"},
        {430, "MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE"},
        {441, "MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID"},
        {442, "MF_DEVICESTREAM_IMAGE_STREAM"},
        {444, "MFSampleExtension_DeviceTimestamp"},
        {445, "KSNODETYPE_VIDEO_STREAMING"},
        {453, "KSNODETYPE_DEV_SPECIFIC"},
    };
    for (const auto& boundary : kBoundaries)
        EXPECT_STREQ(boundary.pszName, gGuidNameTable[boundary.nRow].pszName)
            << "row " << boundary.nRow;

    // The codec API block: 254 rows, 45 of them values.
    EXPECT_EQ(254u, CountNamesStartingWith("CODECAPI_"));
    EXPECT_EQ(45u, CountNamesStartingWith("CODECAPI_GUID_"));
    EXPECT_EQ(38u, CountNamesStartingWith("CODECAPI_AVEncVideo"));
    EXPECT_EQ(16u, CountNamesStartingWith("CODECAPI_AVDecVideo"));
    EXPECT_EQ(28u, CountNamesStartingWith("MF_TOPONODE_"));
    EXPECT_EQ(9u, CountNamesStartingWith("KSNODETYPE_"));
}

TEST(GuidNameTable, NamesAreUniqueAndOnlyOneGuidHasTwo)
{
    std::set<std::string> names;
    size_t cDuplicateGuids = 0;
    for (size_t i = 0; i < gnGuidNameTableRows; ++i)
    {
        ASSERT_NE(nullptr, gGuidNameTable[i].pGuid);
        EXPECT_LT(strlen(gGuidNameTable[i].pszName), kMFDumpTextCch);
        EXPECT_TRUE(names.insert(gGuidNameTable[i].pszName).second) << gGuidNameTable[i].pszName;
        EXPECT_FALSE(IsEqualGUID(GUID_NULL, *gGuidNameTable[i].pGuid)) << gGuidNameTable[i].pszName;
        for (size_t j = i + 1; j < gnGuidNameTableRows; ++j)
        {
            if (IsEqualGUID(*gGuidNameTable[i].pGuid, *gGuidNameTable[j].pGuid))
            {
                ++cDuplicateGuids;
                EXPECT_STREQ("CODECAPI_AVEncStatAudioAverageBPS", gGuidNameTable[i].pszName);
                EXPECT_STREQ("CODECAPI_AVEncStatAverageBPS", gGuidNameTable[j].pszName);
            }
        }
    }
    EXPECT_EQ(1u, cDuplicateGuids);
}

TEST(GuidNameTable, TheDuplicatedGuidIsNamedByItsFirstRow)
{
    EXPECT_EQ("CODECAPI_AVEncStatAudioAverageBPS", NameOf(CODECAPI_AVEncStatAverageBPS));
}

TEST(GuidNameTable, RowsCarryTheSdkValues)
{
    // Through the SDK's own symbols...
    EXPECT_EQ("MFVideoFormat_NV12", NameOf(MFVideoFormat_NV12));
    EXPECT_EQ("MF_MT_FRAME_SIZE", NameOf(MF_MT_FRAME_SIZE));
    EXPECT_EQ("MF_TOPONODE_ERRORCODE", NameOf(MF_TOPONODE_ERRORCODE));
    EXPECT_EQ("CODECAPI_AVEncCommonRealTime", NameOf(CODECAPI_AVEncCommonRealTime));
    EXPECT_EQ("CODECAPI_GUID_AVDecAudioInputAAC", NameOf(CODECAPI_GUID_AVDecAudioInputAAC));
    // ...and through the published text of GUIDs this toolchain does not declare.
    EXPECT_EQ("MF_PD_LAST_MODIFIED_TIME", NameOfText(L"{6C990D38-BB8E-477A-8598-0D5D96FCD88A}"));
    EXPECT_EQ("MF_TOPONODE_FLUSH", NameOfText(L"{494BBCE8-B031-4E38-97C4-D5422DD618DC}"));
    EXPECT_EQ("MFSampleExtension_DeviceTimestamp",
              NameOfText(L"{8F3E35E7-2DCD-4887-8622-2A58BAA652B0}"));
    EXPECT_EQ("MF_DEVICESTREAM_STREAM_CATEGORY",
              NameOfText(L"{2939E7B8-A62E-4579-B674-D4073DFABBBA}"));
    EXPECT_EQ("KSNODETYPE_VIDEO_STREAMING", NameOfText(L"{DFF229E1-F70F-11D0-B917-00A0C9223196}"));
    EXPECT_EQ("KSNODETYPE_DEV_SPECIFIC", NameOfText(L"{941C7AC0-C559-11D0-8A2B-00A0C9255AC1}"));
}

TEST(GetGuidName, UnknownGuidsAndGuidNullUseTheRegistryForm)
{
    const GUID guidUnknown = {
        0x8a1f6c44, 0x0b2d, 0x4e7a, {0x9c, 0x01, 0xab, 0xcd, 0xef, 0x12, 0x34, 0x56}};
    EXPECT_EQ("{8A1F6C44-0B2D-4E7A-9C01-ABCDEF123456}", NameOf(guidUnknown));
    EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", NameOf(GUID_NULL));
}

TEST(GetGuidName, ASmallBufferGetsACutName)
{
    char szName[12 + 8];
    memset(szName, 0x5A, sizeof(szName));
    EXPECT_EQ(S_FALSE, GetGuidName(MF_MT_FRAME_SIZE, szName, 12));
    EXPECT_STREQ("MF_MT_FR...", szName);
    for (size_t i = 12; i < sizeof(szName); ++i)
        EXPECT_EQ(0x5A, static_cast<unsigned char>(szName[i]));
    EXPECT_EQ(E_INVALIDARG, GetGuidName(MF_MT_FRAME_SIZE, szName, 0));
}

TEST(GetGuidNameFromString, NamesKnownGuidsAndEchoesEverythingElse)
{
    EXPECT_EQ("MF_MT_SUBTYPE", NameOfText(L"{F7E34C9A-42E8-4714-B74B-CB29D72C35E5}"));
    EXPECT_EQ("MF_MT_SUBTYPE", NameOfText(L"{f7e34c9a-42e8-4714-b74b-cb29d72c35e5}"));
    EXPECT_EQ("{8A1F6C44-0B2D-4E7A-9C01-ABCDEF123456}",
              NameOfText(L"{8A1F6C44-0B2D-4E7A-9C01-ABCDEF123456}"));
    EXPECT_EQ("{00000000-0000-0000-0000-000000000000}",
              NameOfText(L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ("not a guid", NameOfText(L"not a guid"));
    EXPECT_EQ("", NameOfText(L""));
}
