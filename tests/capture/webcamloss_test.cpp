#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <string.h>

#include <thread>

#include "capture/capturedeviceenumeration.h"
#include "capturetestsupport.h"
#include "waituntil.h"

namespace
{
class WebcamLoss : public CaptureBuilderTest
{
protected:
    void OpenWebcam(const std::wstring& link)
    {
        AddWebcamWithLink(link, {Yuy2Vga()});
        CreateBuilder();
        ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    }

    // A device-interface broadcast as the system sends it.
    static std::vector<BYTE> Broadcast(const std::string& name)
    {
        std::vector<BYTE> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + name.size() + 1);
        DEV_BROADCAST_DEVICEINTERFACE_A* pHeader =
            reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(bytes.data());
        pHeader->dbcc_size = static_cast<DWORD>(bytes.size());
        pHeader->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        memcpy(pHeader->dbcc_name, name.c_str(), name.size() + 1);
        return bytes;
    }

    BOOL Lost(const std::string& name)
    {
        std::vector<BYTE> broadcast = Broadcast(name);
        BOOL bLost = 7;
        EXPECT_EQ(S_OK, m_pBuilder->CheckDeviceLost(
                            reinterpret_cast<DEV_BROADCAST_HDR*>(broadcast.data()), &bLost));
        return bLost;
    }
};

const DWORD kTimeoutMs = 10000;
const wchar_t kLink[] =
    L"\\\\?\\usb#vid_12ab&pid_34cd&mi_00#7&1f2e&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}"
    L"\\global";
}  // namespace

TEST_F(WebcamLoss, TheWebcamInUseIsRecognisedByItsInstanceOnce)
{
    OpenWebcam(kLink);
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_12AB&PID_9999#x"));
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_0000&PID_34CD#x"));
    // Letter case and the interface class (another category of the same
    // device) do not matter.
    EXPECT_TRUE(
        Lost("\\\\?\\USB#VID_12AB&PID_34CD&MI_00#7&1F2E&0&0000#{65e8773d-8f56-11d0-a3b9-"
             "00a0c9223196}\\GLOBAL"));
    EXPECT_TRUE(m_log.Contains("::CheckDeviceLost (): BOOL 1\n"));
    // The link is forgotten: the same removal reported again is not a loss.
    EXPECT_FALSE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, TwoWebcamsOfOneModelAreToldApart)
{
    OpenWebcam(kLink);
    EXPECT_FALSE(
        Lost("\\\\?\\usb#vid_12ab&pid_34cd&mi_00#7&99aa&0&0000#{e5323777-f976-4f5b-9b55-"
             "b94699c46e44}\\global"));
    EXPECT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, DevicesWithoutIdsAreComparedByTheirWholeLink)
{
    // The virtual camera's own device, or any capture device without ids,
    // is not the USB webcam in use.
    OpenWebcam(kLink);
    EXPECT_FALSE(Lost("\\\\?\\root#image#0000#{e5323777-f976-4f5b-9b55-b94699c46e44}"));
    EXPECT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, AWebcamWithoutIdsIsLostOnlyWithItsOwnLink)
{
    // Never chosen by the selection; opened by index.
    AddWebcamWithLink(
        L"\\\\?\\pci#ven_8086&dev_9d32#3&11583659&0&A0#{e5323777-f976-4f5b-9b55-b94699c46e44}",
        {Yuy2Vga()});
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->SetWebcamDevice(0));
    EXPECT_FALSE(Lost("\\\\?\\root#image#0000#{e5323777-f976-4f5b-9b55-b94699c46e44}"));
    EXPECT_TRUE(Lost(
        "\\\\?\\PCI#VEN_8086&DEV_9D32#3&11583659&0&A0#{e5323777-f976-4f5b-9b55-b94699c46e44}"));
}

TEST_F(WebcamLoss, AWebcamIsInUseUntilNoClientAsksForIt)
{
    // Closed after a failed read, it is still the one the clients wait for.
    OpenWebcam(kLink);
    m_pBuilder->UninitWebcamDevice();
    EXPECT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));

    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    m_pBuilder->UninitWebcamDevice();
    m_pBuilder->ForgetWebcamInUse();
    EXPECT_FALSE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, NothingIsLostBeforeAWebcamWasOpened)
{
    AddWebcamWithLink(kLink, {Yuy2Vga()});
    CreateBuilder();
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_12AB&PID_34CD"));
}

TEST_F(WebcamLoss, BroadcastsOfOtherKindsAreNotLosses)
{
    OpenWebcam(kLink);
    BOOL bLost = 7;
    EXPECT_EQ(S_OK, m_pBuilder->CheckDeviceLost(NULL, &bLost));
    EXPECT_FALSE(bLost);
    DEV_BROADCAST_HDR volume = {sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};
    EXPECT_EQ(S_OK, m_pBuilder->CheckDeviceLost(&volume, &bLost));
    EXPECT_FALSE(bLost);
    EXPECT_EQ(E_POINTER, m_pBuilder->CheckDeviceLost(&volume, NULL));
    // Still in use after all that.
    EXPECT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, IdsCutShortByTheEndOfANameNeverMatchWholeOnes)
{
    OpenWebcam(kLink);
    EXPECT_FALSE(Lost("\\\\?\\USB#PID_34CD#VID_12"));
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_12AB#PID"));
    EXPECT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, ALinkLongerThanItsFieldStillIdentifiesTheWebcam)
{
    std::wstring longLink =
        L"\\\\?\\usb#vid_0c45&pid_6366&mi_00#" + std::wstring(400, L'x') + L"\\global";
    AddWebcamWithLink(longLink, {Yuy2Vga()});
    CreateBuilder();
    // The probe's fixed buffer cannot hold the link, so the selection passes
    // the webcam over; opened by index, it keeps the head of its link.
    EXPECT_EQ(E_FAIL, m_pBuilder->InitWebcamDevice());
    m_pBuilder->enumWebcamDevices();
    EXPECT_EQ(S_OK, m_pBuilder->SetWebcamDevice(0));
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_0C45&PID_0000"));
    EXPECT_TRUE(Lost(std::string(longLink.begin(), longLink.end())));
}

namespace
{
// A device enumeration that never returns, as a hung camera driver's may;
// it tells when the builder has entered it.
HANDLE ghEnumerationEntered = NULL;
HANDLE ghEnumerationNeverEnds = NULL;

HRESULT STDAPICALLTYPE HangingEnumeration(IMFAttributes*, IMFActivate***, UINT32*)
{
    SetEvent(ghEnumerationEntered);
    WaitForSingleObject(ghEnumerationNeverEnds, INFINITE);
    return E_FAIL;
}

DWORD WINAPI EnumerateOnThread(LPVOID pBuilder)
{
    static_cast<CMFCaptureBuilder*>(pBuilder)->enumWebcamDevices();
    return 0;
}
}  // namespace

TEST_F(WebcamLoss, AThreadTerminatedInsideTheBuilderLeavesItAnsweringTheLoss)
{
    OpenWebcam(kLink);
    ghEnumerationEntered = CreateEventW(NULL, TRUE, FALSE, NULL);
    ghEnumerationNeverEnds = CreateEventW(NULL, TRUE, FALSE, NULL);
    auto pfnEnumerate = gCaptureDeviceEnum.pfnMFEnumDeviceSources;
    gCaptureDeviceEnum.pfnMFEnumDeviceSources = HangingEnumeration;
    // The worker holds the builder's lock through the enumeration; stuck
    // there, it is ended by force.
    HANDLE hWorker = CreateThread(NULL, 0, EnumerateOnThread, m_pBuilder, 0, NULL);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ghEnumerationEntered, 5000));
    TerminateThread(hWorker, 0);
    WaitForSingleObject(hWorker, 5000);
    CloseHandle(hWorker);
    gCaptureDeviceEnum.pfnMFEnumDeviceSources = pfnEnumerate;

    // The window thread then asks about a removal; asked on a thread of its
    // own, so that a builder that hangs fails the test instead of hanging it.
    HANDLE hAnswered = CreateEventW(NULL, TRUE, FALSE, NULL);
    BOOL bLost = FALSE;
    std::thread asker(
        [&]
        {
            bLost = Lost(std::string(kLink, kLink + wcslen(kLink)));
            SetEvent(hAnswered);
        });
    bool bAnswered = WaitForSingleObject(hAnswered, 5000) == WAIT_OBJECT_0;
    if (!bAnswered)
    {
        // Nothing more can be tested in this process.
        asker.detach();
        FAIL() << "the builder's lock stayed with the terminated thread";
    }
    asker.join();
    EXPECT_TRUE(bLost);
    CloseHandle(hAnswered);
    CloseHandle(ghEnumerationEntered);
    CloseHandle(ghEnumerationNeverEnds);
}

TEST_F(WebcamLoss, AnUnpluggedWebcamIsStoppedWithoutWaitingForItsLastRead)
{
    // Unplugged, a webcam keeps its read in flight for ever; a client
    // arriving meanwhile must not wait behind that read.
    std::shared_ptr<SimulatedWebcam> webcam = AddWebcamWithLink(kLink, {Yuy2Vga()}, true);
    webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(WaitUntil([&] { return webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE) >= 1; },
                          kTimeoutMs));
    ASSERT_TRUE(Lost(std::string(kLink, kLink + wcslen(kLink))));

    DWORD dwStart = GetTickCount();
    EXPECT_EQ(S_OK, m_pBuilder->StopCapture());
    EXPECT_LT(GetTickCount() - dwStart, 500u) << "the stop waited for the lost webcam's read";

    m_pBuilder->UninitWebcamDevice();
    EXPECT_TRUE(WaitUntil([&] { return webcam->GetLiveSourceCount() == 0; }, kTimeoutMs))
        << webcam->GetLiveSourceCount() << " media sources live";
}
