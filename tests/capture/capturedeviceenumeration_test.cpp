#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capturedeviceenumeration.h"
#include "scopedmediafoundation.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamenumeration.h"

using Microsoft::WRL::ComPtr;

namespace
{
class CaptureDeviceEnumeration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mediaFoundation.Result());
        ASSERT_EQ(S_OK, MFCreateAttributes(&m_video, 1));
        ASSERT_EQ(S_OK, m_video->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                         MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID));
    }

    static std::shared_ptr<SimulatedWebcam> Webcam(const wchar_t* pszName, USHORT nProductId)
    {
        return SimulatedWebcam::Create(
            MakeWebcamSpec(pszName, MakeWebcamSymbolicLink(0x046d, nProductId, NULL),
                           {MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30)}));
    }

    // Enumerates through the product's entry point and returns the symbolic
    // links of the devices listed, releasing everything as the product must.
    std::vector<std::wstring> ListedLinks(HRESULT* phr = NULL)
    {
        IMFActivate** ppActivates = NULL;
        UINT32 nCount = 0xFFFF;
        HRESULT hr =
            gCaptureDeviceEnum.pfnMFEnumDeviceSources(m_video.Get(), &ppActivates, &nCount);
        if (phr != NULL)
            *phr = hr;
        std::vector<std::wstring> links;
        if (FAILED(hr))
            return links;
        if (nCount == 0)
        {
            EXPECT_EQ(NULL, ppActivates);
        }
        for (UINT32 i = 0; i < nCount; ++i)
        {
            LPWSTR pwszLink = NULL;
            UINT32 cchLink = 0;
            EXPECT_EQ(S_OK, ppActivates[i]->GetAllocatedString(
                                MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &pwszLink,
                                &cchLink));
            links.push_back(pwszLink != NULL ? pwszLink : L"");
            CoTaskMemFree(pwszLink);
            // The array holds exactly one reference on each object.
            EXPECT_EQ(0u, ppActivates[i]->Release());
        }
        CoTaskMemFree(ppActivates);
        return links;
    }

    ScopedMediaFoundation m_mediaFoundation;
    ComPtr<IMFAttributes> m_video;
};
}  // namespace

TEST_F(CaptureDeviceEnumeration, TheEntryPointIsThePlatformsUntilADoubleIsInstalled)
{
    EXPECT_TRUE(gCaptureDeviceEnum.pfnMFEnumDeviceSources == MFEnumDeviceSources);
    {
        SimulatedWebcamEnumeration enumeration;
        EXPECT_FALSE(gCaptureDeviceEnum.pfnMFEnumDeviceSources == MFEnumDeviceSources);
    }
    EXPECT_TRUE(gCaptureDeviceEnum.pfnMFEnumDeviceSources == MFEnumDeviceSources);
}

TEST_F(CaptureDeviceEnumeration, ListsThePluggedWebcamsInTheOrderTheyWereAdded)
{
    SimulatedWebcamEnumeration enumeration;
    std::shared_ptr<SimulatedWebcam> first = Webcam(L"First", 0x0825);
    std::shared_ptr<SimulatedWebcam> second = Webcam(L"Second", 0x0826);
    std::shared_ptr<SimulatedWebcam> third = Webcam(L"Third", 0x0827);

    HRESULT hr = E_FAIL;
    EXPECT_TRUE(ListedLinks(&hr).empty());
    EXPECT_EQ(S_OK, hr);

    enumeration.Add(first);
    enumeration.Add(second);
    enumeration.Add(third);
    EXPECT_EQ(
        (std::vector<std::wstring>{first->GetSpec().symbolicLink, second->GetSpec().symbolicLink,
                                   third->GetSpec().symbolicLink}),
        ListedLinks());

    // Unplugged devices leave the list, and come back in their place.
    second->Unplug();
    EXPECT_EQ(
        (std::vector<std::wstring>{first->GetSpec().symbolicLink, third->GetSpec().symbolicLink}),
        ListedLinks());
    second->Plug();
    enumeration.Remove(first);
    EXPECT_EQ(
        (std::vector<std::wstring>{second->GetSpec().symbolicLink, third->GetSpec().symbolicLink}),
        ListedLinks());
    enumeration.Clear();
    EXPECT_TRUE(ListedLinks().empty());
    EXPECT_EQ(5, enumeration.GetCallCount());
}

TEST_F(CaptureDeviceEnumeration, EveryEnumerationHandsOutNewActivationObjects)
{
    SimulatedWebcamEnumeration enumeration;
    std::shared_ptr<SimulatedWebcam> webcam = Webcam(L"Webcam", 0x0825);
    enumeration.Add(webcam);

    IMFActivate** ppFirst = NULL;
    IMFActivate** ppSecond = NULL;
    UINT32 nFirst = 0;
    UINT32 nSecond = 0;
    ASSERT_EQ(S_OK, gCaptureDeviceEnum.pfnMFEnumDeviceSources(m_video.Get(), &ppFirst, &nFirst));
    ASSERT_EQ(S_OK, gCaptureDeviceEnum.pfnMFEnumDeviceSources(m_video.Get(), &ppSecond, &nSecond));
    ASSERT_EQ(1u, nFirst);
    ASSERT_EQ(1u, nSecond);
    EXPECT_NE(ppFirst[0], ppSecond[0]);

    // Each activates a media source of its own.
    ComPtr<IMFMediaSource> firstSource;
    ComPtr<IMFMediaSource> secondSource;
    ASSERT_EQ(S_OK, ppFirst[0]->ActivateObject(IID_PPV_ARGS(&firstSource)));
    ASSERT_EQ(S_OK, ppSecond[0]->ActivateObject(IID_PPV_ARGS(&secondSource)));
    EXPECT_NE(firstSource.Get(), secondSource.Get());
    EXPECT_EQ(2, webcam->GetLiveSourceCount());

    ppFirst[0]->ShutdownObject();
    ppSecond[0]->ShutdownObject();
    ppFirst[0]->Release();
    ppSecond[0]->Release();
    CoTaskMemFree(ppFirst);
    CoTaskMemFree(ppSecond);
    firstSource.Reset();
    secondSource.Reset();
    EXPECT_EQ(0, webcam->GetLiveSourceCount());
    EXPECT_EQ(2, webcam->GetShutdownCount());
}

TEST_F(CaptureDeviceEnumeration, AnswersOtherQuestionsAsThePlatformDoes)
{
    SimulatedWebcamEnumeration enumeration;
    enumeration.Add(Webcam(L"Webcam", 0x0825));
    IMFActivate** ppActivates = NULL;
    UINT32 nCount = 7;

    ComPtr<IMFAttributes> audio;
    ASSERT_EQ(S_OK, MFCreateAttributes(&audio, 1));
    ASSERT_EQ(S_OK, audio->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                   MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID));
    EXPECT_EQ(S_OK, gCaptureDeviceEnum.pfnMFEnumDeviceSources(audio.Get(), &ppActivates, &nCount));
    EXPECT_EQ(0u, nCount);
    EXPECT_EQ(NULL, ppActivates);

    ComPtr<IMFAttributes> empty;
    ASSERT_EQ(S_OK, MFCreateAttributes(&empty, 1));
    EXPECT_EQ(MF_E_ATTRIBUTENOTFOUND,
              gCaptureDeviceEnum.pfnMFEnumDeviceSources(empty.Get(), &ppActivates, &nCount));
    EXPECT_EQ(E_INVALIDARG, gCaptureDeviceEnum.pfnMFEnumDeviceSources(NULL, &ppActivates, &nCount));
    EXPECT_EQ(E_INVALIDARG,
              gCaptureDeviceEnum.pfnMFEnumDeviceSources(m_video.Get(), NULL, &nCount));
}

TEST_F(CaptureDeviceEnumeration, InjectedFailuresAnswerTheNextEnumerations)
{
    SimulatedWebcamEnumeration enumeration;
    enumeration.Add(Webcam(L"Webcam", 0x0825));
    enumeration.FailEnumeration(E_OUTOFMEMORY, 2);
    HRESULT hr = S_OK;
    EXPECT_TRUE(ListedLinks(&hr).empty());
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    ListedLinks(&hr);
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(1u, ListedLinks(&hr).size());
    EXPECT_EQ(S_OK, hr);
}

TEST(SimulatedWebcamBroadcast, NamesTheDeviceInterfaceByItsSymbolicLink)
{
    std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(
        MakeWebcamSpec(L"Webcam", MakeWebcamSymbolicLink(0x12ab, 0x34cd, L"7&1&0"),
                       {MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30)}));
    std::vector<BYTE> broadcast = webcam->MakeInterfaceBroadcast();
    ASSERT_GE(broadcast.size(), sizeof(DEV_BROADCAST_HDR));
    const DEV_BROADCAST_DEVICEINTERFACE_A* pInterface =
        reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(broadcast.data());
    EXPECT_EQ(broadcast.size(), pInterface->dbcc_size);
    EXPECT_EQ(static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE), pInterface->dbcc_devicetype);
    EXPECT_STREQ(
        "\\\\?\\usb#vid_12ab&pid_34cd&mi_00#7&1&0#{e5323777-f976-4f5b-9b55-b94699c46e44}"
        "\\global",
        pInterface->dbcc_name);
}
