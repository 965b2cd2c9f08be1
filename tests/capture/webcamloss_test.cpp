#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include "capturetestsupport.h"

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

const wchar_t kLink[] = L"\\\\?\\usb#vid_12ab&pid_34cd&mi_00#7&1f2e&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global";
}  // namespace

TEST_F(WebcamLoss, TheWebcamInUseIsRecognisedByItsInstanceOnce)
{
    OpenWebcam(kLink);
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_12AB&PID_9999#x"));
    EXPECT_FALSE(Lost("\\\\?\\USB#VID_0000&PID_34CD#x"));
    // Letter case and the interface class (another category of the same
    // device) do not matter.
    EXPECT_TRUE(Lost("\\\\?\\USB#VID_12AB&PID_34CD&MI_00#7&1F2E&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\GLOBAL"));
    EXPECT_TRUE(m_log.Contains("::CheckDeviceLost (): BOOL 1\n"));
    // The link is forgotten: the same removal reported again is not a loss.
    EXPECT_FALSE(Lost(std::string(kLink, kLink + wcslen(kLink))));
}

TEST_F(WebcamLoss, TwoWebcamsOfOneModelAreToldApart)
{
    OpenWebcam(kLink);
    EXPECT_FALSE(Lost("\\\\?\\usb#vid_12ab&pid_34cd&mi_00#7&99aa&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global"));
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
    AddWebcamWithLink(L"\\\\?\\pci#ven_8086&dev_9d32#3&11583659&0&A0#{e5323777-f976-4f5b-9b55-b94699c46e44}",
                      {Yuy2Vga()});
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->SetWebcamDevice(0));
    EXPECT_FALSE(Lost("\\\\?\\root#image#0000#{e5323777-f976-4f5b-9b55-b94699c46e44}"));
    EXPECT_TRUE(Lost("\\\\?\\PCI#VEN_8086&DEV_9D32#3&11583659&0&A0#{e5323777-f976-4f5b-9b55-b94699c46e44}"));
}

TEST_F(WebcamLoss, AWebcamClosedLongAgoIsNotLost)
{
    OpenWebcam(kLink);
    m_pBuilder->UninitWebcamDevice();
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
    std::wstring longLink = L"\\\\?\\usb#vid_0c45&pid_6366&mi_00#" + std::wstring(400, L'x') + L"\\global";
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
