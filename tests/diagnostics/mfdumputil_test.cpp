#include <gtest/gtest.h>

#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "comobject.h"
#include "debugoutputcapture.h"
#include "diagnostics/mfdumputil.h"
#include "diagnostics/mfguidnames.h"

using Microsoft::WRL::ComPtr;

namespace
{
// A key no table knows, and its text in the dump.
const GUID kUnknownKey = {
    0x8a1f6c44, 0x0b2d, 0x4e7a, {0x9c, 0x01, 0xab, 0xcd, 0xef, 0x12, 0x34, 0x56}};
const char kUnknownKeyText[] = "{8A1F6C44-0B2D-4E7A-9C01-ABCDEF123456}";

class MFDump : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE));
    }
    static void TearDownTestSuite() { MFShutdown(); }
};

// Fails the test unless every needle occurs in the text, in this order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& needles)
{
    size_t nFrom = 0;
    for (const std::string& needle : needles)
    {
        size_t nAt = text.find(needle, nFrom);
        ASSERT_NE(std::string::npos, nAt) << "missing or out of order: \"" << needle << "\"\nin:\n"
                                          << text;
        nFrom = nAt + needle.size();
    }
}

std::string Format(const GUID* pguidKey, const PROPVARIANT& var, HRESULT* phr = nullptr)
{
    char szText[kMFDumpTextCch];
    HRESULT hr = FormatAttributeValue(pguidKey, &var, szText, sizeof(szText));
    if (phr != nullptr)
        *phr = hr;
    return szText;
}

PROPVARIANT ByteVector(std::vector<BYTE>& bytes)
{
    PROPVARIANT var;
    PropVariantInit(&var);
    var.vt = VT_VECTOR | VT_UI1;
    var.caub.cElems = static_cast<ULONG>(bytes.size());
    var.caub.pElems = bytes.data();
    return var;
}

// A transform with one input and one output stream whose available types
// are the given lists; it answers MF_E_NO_MORE_TYPES after the last one, as
// the platform does, and can be told to fail one call.
class FakeTransform final : public ComObject<IMFTransform>
{
public:
    FakeTransform(std::vector<ComPtr<IMFMediaType>> inputTypes,
                  std::vector<ComPtr<IMFMediaType>> outputTypes)
        : m_inputTypes(inputTypes), m_outputTypes(outputTypes)
    {
    }

    void FailOutputTypeAt(DWORD dwTypeIndex, HRESULT hr)
    {
        m_dwFailingOutputIndex = dwTypeIndex;
        m_hrOutputFailure = hr;
    }
    void FailStreamCount(HRESULT hr) { m_hrStreamCount = hr; }
    ULONG RefCount()
    {
        AddRef();
        return Release();
    }

    STDMETHODIMP GetStreamCount(DWORD* pcInputStreams, DWORD* pcOutputStreams) override
    {
        if (FAILED(m_hrStreamCount))
            return m_hrStreamCount;
        *pcInputStreams = 1;
        *pcOutputStreams = 1;
        return S_OK;
    }
    STDMETHODIMP GetInputAvailableType(DWORD dwStreamId, DWORD dwTypeIndex,
                                       IMFMediaType** ppType) override
    {
        return HandOut(m_inputTypes, dwStreamId, dwTypeIndex, ppType);
    }
    STDMETHODIMP GetOutputAvailableType(DWORD dwStreamId, DWORD dwTypeIndex,
                                        IMFMediaType** ppType) override
    {
        if (dwTypeIndex == m_dwFailingOutputIndex)
            return m_hrOutputFailure;
        return HandOut(m_outputTypes, dwStreamId, dwTypeIndex, ppType);
    }

    STDMETHODIMP GetStreamLimits(DWORD*, DWORD*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputStreamInfo(DWORD, MFT_INPUT_STREAM_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP GetOutputStreamInfo(DWORD, MFT_OUTPUT_STREAM_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAttributes(IMFAttributes**) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    STDMETHODIMP GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteInputStream(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetInputType(DWORD, IMFMediaType*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetOutputType(DWORD, IMFMediaType*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
    STDMETHODIMP GetOutputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetOutputStatus(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE, ULONG_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessInput(DWORD, IMFSample*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessOutput(DWORD, DWORD, MFT_OUTPUT_DATA_BUFFER*, DWORD*) override
    {
        return E_NOTIMPL;
    }

private:
    static HRESULT HandOut(const std::vector<ComPtr<IMFMediaType>>& types, DWORD dwStreamId,
                           DWORD dwTypeIndex, IMFMediaType** ppType)
    {
        if (dwStreamId != 0)
            return MF_E_INVALIDSTREAMNUMBER;
        if (dwTypeIndex >= types.size())
            return MF_E_NO_MORE_TYPES;
        *ppType = types[dwTypeIndex].Get();
        (*ppType)->AddRef();
        return S_OK;
    }

    std::vector<ComPtr<IMFMediaType>> m_inputTypes;
    std::vector<ComPtr<IMFMediaType>> m_outputTypes;
    DWORD m_dwFailingOutputIndex = MAXDWORD;
    HRESULT m_hrOutputFailure = S_OK;
    HRESULT m_hrStreamCount = S_OK;
};

ComPtr<IMFMediaType> VideoType(REFGUID guidSubtype)
{
    ComPtr<IMFMediaType> pType;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&pType));
    pType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    pType->SetGUID(MF_MT_SUBTYPE, guidSubtype);
    return pType;
}

ULONG RefCountOf(IUnknown* pUnknown)
{
    pUnknown->AddRef();
    return pUnknown->Release();
}
}  // namespace

// The prefix rule, over the three kinds of label.
struct LabelCase
{
    const char* pszLabel;
    const char* pszPrefix;
};

class MFDumpLabel : public MFDump, public ::testing::WithParamInterface<LabelCase>
{
};

TEST_P(MFDumpLabel, EveryLineBeginsWithTheLabelsPrefix)
{
    ComPtr<IMFAttributes> pAttributes;
    ASSERT_HRESULT_SUCCEEDED(MFCreateAttributes(&pAttributes, 1));
    pAttributes->SetUINT32(MF_MT_SAMPLE_SIZE, 5);

    DebugOutputCapture capture;
    DumpMFAttributes(pAttributes.Get(), GetParam().pszLabel);

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    std::string prefix = GetParam().pszPrefix;
    EXPECT_EQ(0u, lines[0].find(prefix + "DumpMFAttributes [")) << lines[0];
    EXPECT_EQ("]:\n", lines[0].substr(lines[0].size() - 3));
    EXPECT_EQ(prefix + "MF_MT_SAMPLE_SIZE: [ULONG] 5\n", lines[1]);
}

INSTANTIATE_TEST_SUITE_P(Labels, MFDumpLabel,
                         ::testing::Values(LabelCase{nullptr, ""}, LabelCase{"", ""},
                                           LabelCase{"cap", "[cap] "}),
                         [](const ::testing::TestParamInfo<LabelCase>& info)
                         {
                             return std::string(info.param.pszLabel == nullptr   ? "Null"
                                                : info.param.pszLabel[0] == '\0' ? "Empty"
                                                                                 : "Cap");
                         });

TEST_F(MFDump, MediaTypeShowsRatiosSubtypesAndGuids)
{
    ComPtr<IMFMediaType> pType = VideoType(MFVideoFormat_NV12);
    pType->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    ASSERT_HRESULT_SUCCEEDED(MFSetAttributeSize(pType.Get(), MF_MT_FRAME_SIZE, 640, 480));
    ASSERT_HRESULT_SUCCEEDED(MFSetAttributeRatio(pType.Get(), MF_MT_FRAME_RATE, 30, 1));
    pType->SetUINT64(kUnknownKey, 0xFFFFFFFFFFFFFFFFull);
    pType->SetGUID(MF_MT_AM_FORMAT_TYPE, kUnknownKey);
    pType->SetGUID(MF_MT_WRAPPED_TYPE, GUID_NULL);

    DebugOutputCapture capture;
    DumpMFMediaType(pType.Get(), "cap");

    std::string text = capture.Text();
    ExpectInOrder(text, {
                            "[cap] DumpMFMediaType [",
                            "[cap] == MajorType MFMediaType_Video, IsCompressedFormat 0\n",
                            "[cap] DumpMFAttributes [",
                        });
    EXPECT_TRUE(capture.Contains("[cap] MF_MT_SUBTYPE: [CLSID] MFVideoFormat_NV12\n"));
    EXPECT_TRUE(capture.Contains("[cap] MF_MT_FRAME_SIZE: [RATIO] 640, 480\n"));
    EXPECT_TRUE(capture.Contains("[cap] MF_MT_FRAME_RATE: [RATIO] 30, 1\n"));
    EXPECT_TRUE(capture.Contains(std::string("[cap] ") + kUnknownKeyText +
                                 ": [ULARGE_INTEGER] 18446744073709551615\n"));
    EXPECT_TRUE(capture.Contains(std::string("[cap] MF_MT_AM_FORMAT_TYPE: [CLSID] ") +
                                 kUnknownKeyText + "\n"));
    EXPECT_TRUE(capture.Contains(
        "[cap] MF_MT_WRAPPED_TYPE: [CLSID] {00000000-0000-0000-0000-000000000000}\n"));
}

TEST_F(MFDump, AByteArrayLineIsFollowedByAnEmptyLine)
{
    ComPtr<IMFAttributes> pAttributes;
    ASSERT_HRESULT_SUCCEEDED(MFCreateAttributes(&pAttributes, 1));
    const BYTE bytes[] = {0x01, 0xAB, 0xFF};
    pAttributes->SetBlob(kUnknownKey, bytes, sizeof(bytes));

    DebugOutputCapture capture;
    DumpMFAttributes(pAttributes.Get(), "cap");

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(std::string("[cap] ") + kUnknownKeyText + ": [CAUB] 01 ab ff\n\n", lines[1]);
}

TEST_F(MFDump, ALongByteArrayIsCutAndMarked)
{
    ComPtr<IMFAttributes> pAttributes;
    ASSERT_HRESULT_SUCCEEDED(MFCreateAttributes(&pAttributes, 1));
    std::vector<BYTE> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<BYTE>(i);
    pAttributes->SetBlob(kUnknownKey, bytes.data(), static_cast<UINT32>(bytes.size()));

    DebugOutputCapture capture;
    DumpMFAttributes(pAttributes.Get(), "cap");

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    std::string head = std::string("[cap] ") + kUnknownKeyText + ": ";
    ASSERT_EQ(0u, lines[1].find(head));
    // The value fills its buffer, then comes the attribute line's own end.
    std::string value = lines[1].substr(head.size());
    ASSERT_EQ('\n', value.back());
    value.pop_back();
    EXPECT_EQ(kMFDumpTextCch - 1, value.size());
    EXPECT_EQ(0u, value.find("[CAUB] 00 01 02 03 04 05 06 07 08 09 0a 0b"));
    EXPECT_EQ("...", value.substr(value.size() - 3));
}

TEST(FormatAttributeValue, NeverWritesPastTheBuffer)
{
    std::vector<BYTE> bytes(300, 0xEE);
    std::wstring longWide(1000, L'w');
    std::string longNarrow(1000, 'n');

    PROPVARIANT varBytes = ByteVector(bytes);
    PROPVARIANT varWide;
    PropVariantInit(&varWide);
    varWide.vt = VT_LPWSTR;
    varWide.pwszVal = &longWide[0];
    PROPVARIANT varNarrow;
    PropVariantInit(&varNarrow);
    varNarrow.vt = VT_LPSTR;
    varNarrow.pszVal = &longNarrow[0];

    struct
    {
        const PROPVARIANT* pVar;
        const char* pszStart;
    } kCases[] = {
        {&varBytes, "[CAUB] ee ee"}, {&varWide, "[LPWSTR] www"}, {&varNarrow, "[LPSTR] nnn"}};
    for (const auto& c : kCases)
    {
        char szText[kMFDumpTextCch + 16];
        memset(szText, 0x5A, sizeof(szText));
        EXPECT_EQ(S_FALSE, FormatAttributeValue(&kUnknownKey, c.pVar, szText, kMFDumpTextCch));
        std::string text(szText);
        EXPECT_EQ(kMFDumpTextCch - 1, text.size());
        EXPECT_EQ(0u, text.find(c.pszStart)) << text;
        EXPECT_EQ("...", text.substr(text.size() - 3));
        for (size_t i = kMFDumpTextCch; i < sizeof(szText); ++i)
            ASSERT_EQ(0x5A, static_cast<unsigned char>(szText[i])) << c.pszStart;
    }
}

TEST(FormatAttributeValue, TextThatJustFitsIsNotCut)
{
    const size_t cchLabel = strlen("[LPSTR] ");
    std::string fits(kMFDumpTextCch - 1 - cchLabel, 'f');
    std::string oneMore(fits.size() + 1, 'f');

    PROPVARIANT var;
    PropVariantInit(&var);
    var.vt = VT_LPSTR;
    var.pszVal = &fits[0];
    HRESULT hr = E_FAIL;
    EXPECT_EQ("[LPSTR] " + fits, Format(nullptr, var, &hr));
    EXPECT_EQ(S_OK, hr);

    var.pszVal = &oneMore[0];
    std::string cut = Format(nullptr, var, &hr);
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ("[LPSTR] " + fits.substr(0, fits.size() - 3) + "...", cut);

    char szSmall[8];
    PROPVARIANT varUlong;
    PropVariantInit(&varUlong);
    varUlong.vt = VT_UI4;
    varUlong.ulVal = 4000000000u;
    EXPECT_EQ(S_FALSE, FormatAttributeValue(nullptr, &varUlong, szSmall, sizeof(szSmall)));
    EXPECT_STREQ("[ULO...", szSmall);
}

// One value per variant type, against its text.
struct ValueCase
{
    const char* pszName;
    VARTYPE vt;
    void (*pfnFill)(PROPVARIANT*);
    const GUID* pguidKey;
    const char* pszText;
};

class FormatValueByType : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(FormatValueByType, MatchesTheTypesText)
{
    PROPVARIANT var;
    PropVariantInit(&var);
    var.vt = GetParam().vt;
    GetParam().pfnFill(&var);
    EXPECT_EQ(GetParam().pszText, Format(GetParam().pguidKey, var));
}

INSTANTIATE_TEST_SUITE_P(
    Types, FormatValueByType,
    ::testing::Values(
        ValueCase{"Char", VT_I1, [](PROPVARIANT* p) { p->cVal = -5; }, nullptr, "[CHAR] -5"},
        ValueCase{"UChar", VT_UI1, [](PROPVARIANT* p) { p->bVal = 200; }, nullptr, "[UCHAR] 200"},
        ValueCase{"Short", VT_I2, [](PROPVARIANT* p) { p->iVal = -300; }, nullptr, "[SHORT] -300"},
        ValueCase{"UShort", VT_UI2, [](PROPVARIANT* p) { p->uiVal = 60000; }, nullptr,
                  "[USHORT] 60000"},
        ValueCase{"Long", VT_I4, [](PROPVARIANT* p) { p->lVal = -70000; }, nullptr,
                  "[LONG] -70000"},
        ValueCase{"ULong", VT_UI4, [](PROPVARIANT* p) { p->ulVal = 4000000000u; },
                  &MF_MT_SAMPLE_SIZE, "[ULONG] 4000000000"},
        ValueCase{"ErrorCode", VT_UI4, [](PROPVARIANT* p) { p->ulVal = 0x80004005u; },
                  &MF_TOPONODE_ERRORCODE, "[ULONG-ERRORCODE] 0x80004005"},
        ValueCase{"PixelAspect", VT_UI8,
                  [](PROPVARIANT* p) { p->uhVal.QuadPart = (4ull << 32) | 3; },
                  &MF_MT_PIXEL_ASPECT_RATIO, "[RATIO] 4, 3"},
        ValueCase{"UInt64", VT_UI8, [](PROPVARIANT* p) { p->uhVal.QuadPart = (4ull << 32) | 3; },
                  &MF_MT_SAMPLE_SIZE, "[ULARGE_INTEGER] 17179869187"},
        ValueCase{"Int", VT_INT, [](PROPVARIANT* p) { p->intVal = -7; }, nullptr, "[INT] -7"},
        ValueCase{"UInt", VT_UINT, [](PROPVARIANT* p) { p->uintVal = 7; }, nullptr, "[UINT] 7"},
        ValueCase{"Float", VT_R4, [](PROPVARIANT* p) { p->fltVal = 1.5f; }, nullptr,
                  "[FLOAT] 1.500000"},
        ValueCase{"Double", VT_R8, [](PROPVARIANT* p) { p->dblVal = -2.25; }, nullptr,
                  "[DOUBLE] -2.250000"},
        ValueCase{"True", VT_BOOL, [](PROPVARIANT* p) { p->boolVal = VARIANT_TRUE; }, nullptr,
                  "[VARIANT_BOOL] TRUE"},
        ValueCase{"OneIsNotTrue", VT_BOOL, [](PROPVARIANT* p) { p->boolVal = 1; }, nullptr,
                  "[VARIANT_BOOL] FALSE"},
        ValueCase{"NarrowString", VT_LPSTR,
                  [](PROPVARIANT* p) { p->pszVal = const_cast<char*>("abc"); }, nullptr,
                  "[LPSTR] abc"},
        ValueCase{"WideString", VT_LPWSTR,
                  [](PROPVARIANT* p) { p->pwszVal = const_cast<wchar_t*>(L"Webcam"); }, nullptr,
                  "[LPWSTR] Webcam"},
        ValueCase{"NullUnknown", VT_UNKNOWN, [](PROPVARIANT* p) { p->punkVal = nullptr; }, nullptr,
                  "[IUnknown] NULL IUnknown"},
        ValueCase{"Clsid", VT_CLSID,
                  [](PROPVARIANT* p) { p->puuid = const_cast<GUID*>(&MFVideoFormat_YUY2); },
                  nullptr, "[CLSID] MFVideoFormat_YUY2"},
        ValueCase{"NullClsid", VT_CLSID, [](PROPVARIANT* p) { p->puuid = nullptr; }, nullptr,
                  "[CLSID] {00000000-0000-0000-0000-000000000000}"},
        ValueCase{"Empty", VT_EMPTY, [](PROPVARIANT*) {}, nullptr, "[UNKNOWN TYPE] 0\n"},
        ValueCase{"Bstr", VT_BSTR, [](PROPVARIANT* p) { p->bstrVal = nullptr; }, nullptr,
                  "[UNKNOWN TYPE] 8\n"}),
    [](const ::testing::TestParamInfo<ValueCase>& info)
    { return std::string(info.param.pszName); });

TEST(FormatAttributeValue, LastModifiedTimeIsShownInLocalTime)
{
    SYSTEMTIME stLocal = {};
    stLocal.wYear = 2021;
    stLocal.wMonth = 3;
    stLocal.wDay = 4;
    stLocal.wHour = 5;
    stLocal.wMinute = 6;
    stLocal.wSecond = 7;
    SYSTEMTIME stUtc;
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(NULL, &stLocal, &stUtc));
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&stUtc, &ft));
    std::vector<BYTE> bytes(sizeof(ft));
    memcpy(bytes.data(), &ft, sizeof(ft));

    PROPVARIANT var = ByteVector(bytes);
    EXPECT_EQ("[CAUB-TIME] 3/4/2021 5:6:7", Format(&sdkguid::MF_PD_LAST_MODIFIED_TIME, var));
}

TEST(FormatAttributeValue, GeometricApertureIsShownAsAnArea)
{
    MFVideoArea area = {};
    area.OffsetX.value = 2;
    area.OffsetX.fract = 5;
    area.OffsetY.value = -3;
    area.Area.cx = 640;
    area.Area.cy = 480;
    std::vector<BYTE> bytes(sizeof(area));
    memcpy(bytes.data(), &area, sizeof(area));

    PROPVARIANT var = ByteVector(bytes);
    EXPECT_EQ("[CAUB-APERTURE] offset (2.5, -3.0), area 640x480",
              Format(&MF_MT_GEOMETRIC_APERTURE, var));
}

TEST(FormatAttributeValue, ArraysTooShortForTheirKeyAreShownAsBytes)
{
    std::vector<BYTE> bytes = {0x01, 0x02};
    PROPVARIANT var = ByteVector(bytes);
    EXPECT_EQ("[CAUB] 01 02\n", Format(&sdkguid::MF_PD_LAST_MODIFIED_TIME, var));
    EXPECT_EQ("[CAUB] 01 02\n", Format(&MF_MT_GEOMETRIC_APERTURE, var));

    std::vector<BYTE> none;
    PROPVARIANT varEmpty = ByteVector(none);
    EXPECT_EQ("[CAUB] \n", Format(&kUnknownKey, varEmpty));
}

// Event types with a name, and values around the gaps of the list.
struct EventTypeCase
{
    MediaEventType met;
    const char* pszLine;
};

class MFDumpEventType : public MFDump, public ::testing::WithParamInterface<EventTypeCase>
{
};

TEST_P(MFDumpEventType, PrintsTheNameOrUnknwon)
{
    ComPtr<IMFMediaEvent> pEvent;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMediaEvent(GetParam().met, GUID_NULL, S_OK, nullptr, &pEvent));

    DebugOutputCapture capture;
    DumpMFMediaEvent(pEvent.Get(), "ev");
    EXPECT_TRUE(capture.Contains(GetParam().pszLine)) << capture.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Types, MFDumpEventType,
    ::testing::Values(EventTypeCase{0, "[ev] == Type: MEUnknown\n"},
                      EventTypeCase{4, "[ev] == Type: unknwon 4\n"},
                      EventTypeCase{129, "[ev] == Type: MESessionStreamSinkFormatChanged\n"},
                      EventTypeCase{222, "[ev] == Type: MESequencerSourceTopologyUpdated\n"},
                      EventTypeCase{321, "[ev] == Type: MEAudioSessionExclusiveModeOverride\n"},
                      EventTypeCase{322, "[ev] == Type: unknwon 322\n"},
                      EventTypeCase{505, "[ev] == Type: unknwon 505\n"},
                      EventTypeCase{506, "[ev] == Type: MEWMDRMLicenseAcquisitionCompleted\n"},
                      EventTypeCase{604, "[ev] == Type: METransformMarker\n"},
                      EventTypeCase{605, "[ev] == Type: unknwon 605\n"},
                      EventTypeCase{700, "[ev] == Type: unknwon 700\n"},
                      EventTypeCase{10000, "[ev] == Type: MEReservedMax\n"}),
    [](const ::testing::TestParamInfo<EventTypeCase>& info)
    { return "Type" + std::to_string(info.param.met); });

TEST_F(MFDump, EventShowsTypeExtendedTypeValueStatusAndAttributes)
{
    PROPVARIANT varValue;
    PropVariantInit(&varValue);
    varValue.vt = VT_UI4;
    varValue.ulVal = 5;
    ComPtr<IMFMediaEvent> pEvent;
    ASSERT_HRESULT_SUCCEEDED(
        MFCreateMediaEvent(MESessionStarted, MFMediaType_Video, E_FAIL, &varValue, &pEvent));
    pEvent->SetUINT32(MF_MT_SAMPLE_SIZE, 9);

    DebugOutputCapture capture;
    DumpMFMediaEvent(pEvent.Get(), "ev");

    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(8u, lines.size()) << capture.Text();
    EXPECT_EQ(0u, lines[0].find("[ev] DumpMFMediaEvent ["));
    EXPECT_EQ("[ev] == Type: MESessionStarted\n", lines[1]);
    EXPECT_EQ("[ev] == ExtendedType: MFMediaType_Video\n", lines[2]);
    EXPECT_EQ("[ev] == Value:\n", lines[3]);
    EXPECT_EQ("[ev] : [ULONG] 5\n", lines[4]);
    EXPECT_EQ("[ev] == Status: 0x80004005\n", lines[5]);
    EXPECT_EQ(0u, lines[6].find("[ev] DumpMFAttributes ["));
    EXPECT_EQ("[ev] MF_MT_SAMPLE_SIZE: [ULONG] 9\n", lines[7]);
}

TEST_F(MFDump, TransformCapabilityListsTheTypesOfEveryStream)
{
    ComPtr<IMFMediaType> pIn0 = VideoType(MFVideoFormat_YUY2);
    ComPtr<IMFMediaType> pIn1 = VideoType(MFVideoFormat_MJPG);
    ComPtr<IMFMediaType> pOut0 = VideoType(MFVideoFormat_NV12);
    ComPtr<IMFMediaType> pOut1 = VideoType(MFVideoFormat_RGB32);
    FakeTransform* pTransform = new FakeTransform({pIn0, pIn1}, {pOut0, pOut1});

    DebugOutputCapture capture;
    DumpMFTCapability(pTransform, "mft");

    std::string text = capture.Text();
    ExpectInOrder(text, {
                            "[mft] DumpMFTCapability [",
                            "[mft] == Input 0:\n",
                            "[mft] ==== Available type 0:\n",
                            "[mft] DumpMFAttributes [",
                            "[mft] MF_MT_SUBTYPE: [CLSID] MFVideoFormat_YUY2\n",
                            "[mft] ==== Available type 1:\n",
                            "[mft] MF_MT_SUBTYPE: [CLSID] MFVideoFormat_MJPG\n",
                            "[mft] == Output 0:\n",
                            "[mft] ==== Available type 0:\n",
                            "[mft] MF_MT_SUBTYPE: [CLSID] MFVideoFormat_NV12\n",
                            "[mft] ==== Available type 1:\n",
                            "[mft] MF_MT_SUBTYPE: [CLSID] MFVideoFormat_RGB32\n",
                        });
    EXPECT_EQ(4u, capture.Count("==== Available type"));
    EXPECT_FALSE(capture.Contains("Faile"));

    // Every type handed out was released again: only the test and the fake
    // hold them.
    EXPECT_EQ(2u, RefCountOf(pIn0.Get()));
    EXPECT_EQ(2u, RefCountOf(pOut1.Get()));
    EXPECT_EQ(1u, pTransform->RefCount());
    pTransform->Release();
}

TEST_F(MFDump, FailuresOfTheTransformAreReportedOrSkipped)
{
    FakeTransform* pTransform =
        new FakeTransform({VideoType(MFVideoFormat_YUY2)},
                          {VideoType(MFVideoFormat_NV12), VideoType(MFVideoFormat_RGB32)});
    pTransform->FailOutputTypeAt(1, E_UNEXPECTED);

    DebugOutputCapture capture;
    DumpMFTCapability(pTransform, "mft");

    ExpectInOrder(capture.Text(), {
                                      "[mft] == Input 0:\n",
                                      "[mft] ==== Available type 0:\n",
                                      "[mft] == Output 0:\n",
                                      "[mft] ==== Available type 0:\n",
                                      "[mft] ==== Faile to query available type: 0x8000FFFF\n",
                                  });
    EXPECT_EQ(2u, capture.Count("==== Available type"));
    EXPECT_EQ(1u, capture.Count("Faile to query"));

    capture.Clear();
    pTransform->FailStreamCount(E_NOTIMPL);
    DumpMFTCapability(pTransform, "mft");
    EXPECT_EQ(1u, capture.Lines().size()) << capture.Text();

    // A transform is no attribute store.
    capture.Clear();
    DumpMFAttributes(pTransform, "mft");
    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("[mft]   Failed to query IMFAttributes interface: 0x80004002\n", lines[1]);
    EXPECT_EQ(1u, pTransform->RefCount());
    pTransform->Release();
}

TEST_F(MFDump, TopologyShowsEveryNodeWithItsConnections)
{
    ComPtr<IMFTopology> pTopology;
    ASSERT_HRESULT_SUCCEEDED(MFCreateTopology(&pTopology));
    ComPtr<IMFTopologyNode> pSource;
    ComPtr<IMFTopologyNode> pOutput;
    ASSERT_HRESULT_SUCCEEDED(MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, &pSource));
    ASSERT_HRESULT_SUCCEEDED(MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, &pOutput));
    pSource->SetUINT32(MF_TOPONODE_ERRORCODE, 0x80004005u);
    ASSERT_HRESULT_SUCCEEDED(pTopology->AddNode(pSource.Get()));
    ASSERT_HRESULT_SUCCEEDED(pTopology->AddNode(pOutput.Get()));
    ASSERT_HRESULT_SUCCEEDED(pSource->ConnectOutput(0, pOutput.Get(), 0));

    TOPOID idSource = 0;
    TOPOID idOutput = 0;
    pSource->GetTopoNodeID(&idSource);
    pOutput->GetTopoNodeID(&idOutput);
    std::string sourceId = std::to_string(static_cast<long long>(idSource));
    std::string outputId = std::to_string(static_cast<long long>(idOutput));

    DebugOutputCapture capture;
    DumpTopology(pTopology.Get(), "topo");

    ExpectInOrder(
        capture.Text(),
        {
            "[topo] DumpTopology [",
            "[[topo] [Node 0]] ID " + sourceId + ":\n",
            "[[topo] [Node 0]]   Node type: SourceStream node[[topo] [Node 0]] DumpMFAttributes [",
            "[[topo] [Node 0]] MF_TOPONODE_ERRORCODE: [ULONG-ERRORCODE] 0x80004005\n",
            "[[topo] [Node 0]]   Output 0, connect to Node " + outputId + ", output 0\n",
            "[[topo] [Node 1]] ID " + outputId + ":\n",
            "[[topo] [Node 1]]   Node type: Output node[[topo] [Node 1]] DumpMFAttributes [",
            "[[topo] [Node 1]]   Input 0, connect to Node " + sourceId + ", output 0\n",
        });
    EXPECT_EQ(1u, capture.Count("connect to Node " + outputId));
    EXPECT_EQ(1u, capture.Count("connect to Node " + sourceId));
}

TEST_F(MFDump, NullObjectsPrintNothing)
{
    DebugOutputCapture capture;
    DumpMFAttributes(nullptr, "cap");
    DumpMFMediaEvent(nullptr, "cap");
    DumpMFMediaType(nullptr, "cap");
    DumpMFTCapability(nullptr, "cap");
    DumpTopology(nullptr, "cap");
    DumpTopologyNode("cap", nullptr);
    DumpAttributeItem(&MF_MT_SUBTYPE, nullptr, "cap");
    EXPECT_EQ(0u, capture.Lines().size()) << capture.Text();
}
