#include <gtest/gtest.h>

#include <mfapi.h>

#include <string>
#include <vector>

#include "image/decoderenumeration.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "simulateddecoderenumeration.h"

namespace
{
struct LISTED_TRANSFORM
{
    bool bLocal;
    std::wstring name;  // empty when it has none
};

// What gDecoderEnum lists for video decoders, as the product asks.
HRESULT ListVideoDecoders(std::vector<LISTED_TRANSFORM>* pListed)
{
    IMFActivate** ppActivate = NULL;
    UINT32 cActivate = 0;
    HRESULT hr = gDecoderEnum.pfnMFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, 0, NULL, NULL, &ppActivate,
                                           &cActivate);
    for (UINT32 i = 0; i < cActivate; ++i)
    {
        LISTED_TRANSFORM listed = {};
        UINT32 nLocal = 0;
        listed.bLocal = SUCCEEDED(ppActivate[i]->GetUINT32(MFT_PROCESS_LOCAL_Attribute, &nLocal)) &&
                        nLocal != 0;
        wchar_t* pwszName = NULL;
        UINT32 cchName = 0;
        if (SUCCEEDED(ppActivate[i]->GetAllocatedString(MFT_FRIENDLY_NAME_Attribute, &pwszName,
                                                        &cchName)))
        {
            listed.name = pwszName;
            CoTaskMemFree(pwszName);
        }
        pListed->push_back(listed);
        ppActivate[i]->Release();
    }
    CoTaskMemFree(ppActivate);
    return hr;
}

std::vector<std::wstring> LocalNames(const std::vector<LISTED_TRANSFORM>& listed)
{
    std::vector<std::wstring> names;
    for (size_t i = 0; i < listed.size(); ++i)
    {
        if (listed[i].bLocal)
            names.push_back(listed[i].name);
    }
    return names;
}

class SimulatedDecoderEnumerationTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_mediaFoundation.Result()); }

    ScopedMediaFoundation m_mediaFoundation;
};
}  // namespace

TEST_F(SimulatedDecoderEnumerationTest, NamesEveryRegisteredDecoderInRegistrationOrder)
{
    ScopedMjpegDecoder first;
    ScopedDecoderRegistration second(L"Second Decoder");
    std::vector<LISTED_TRANSFORM> listed;
    ASSERT_EQ(S_OK, ListVideoDecoders(&listed));
    EXPECT_EQ((std::vector<std::wstring>{L"MJPEG Decoder MFT", L"Second Decoder"}),
              LocalNames(listed));
}

TEST_F(SimulatedDecoderEnumerationTest, TheLastHelperGoneRestoresThePlatformCall)
{
    {
        ScopedDecoderRegistration outer(NULL);
        {
            ScopedMjpegDecoder inner;
            SimulatedDecoderEnumeration::FailEnumeration(E_UNEXPECTED);
        }
        EXPECT_TRUE(gDecoderEnum.pfnMFTEnumEx != MFTEnumEx);
    }
    EXPECT_TRUE(gDecoderEnum.pfnMFTEnumEx == MFTEnumEx);

    // Nothing of the double is left: no failure, no names.
    ScopedDecoderRegistration fresh(NULL);
    std::vector<LISTED_TRANSFORM> listed;
    EXPECT_EQ(S_OK, ListVideoDecoders(&listed));
    EXPECT_TRUE(LocalNames(listed).empty());
}
