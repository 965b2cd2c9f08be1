#include <gtest/gtest.h>

#include <mferror.h>

#include "capturetestsupport.h"

namespace
{
class CaptureFormatSelection : public CaptureBuilderTest
{
protected:
    // The device index and the subtype code the selection opened.
    bool Opened(int nIndex, const char* pszType)
    {
        return m_log.Contains("::SetWebcamDevice (" + std::to_string(nIndex) + "): HRESULT 0x00000000") &&
               m_log.Contains(std::string("::found support type(") + pszType);
    }
};
}  // namespace

TEST_F(CaptureFormatSelection, WithoutWebcamsTheSelectionFails)
{
    CreateBuilder();
    EXPECT_EQ(E_FAIL, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(m_log.Contains("::enumWebcamDevices (): HRESULT 0x80004005, Found 0 devices\n"));
    EXPECT_TRUE(m_log.Contains("::InitWebcamDevice (): HRESULT 0x80004005\n"));
}

TEST_F(CaptureFormatSelection, AWebcamWithoutVendorAndProductIdsIsNeverOpened)
{
    auto webcam = AddWebcamWithLink(L"\\\\?\\root#image#0000#{e5323777-f976-4f5b-9b55-b94699c46e44}",
                                    {Mjpg720(), Yuy2Vga()});
    CreateBuilder();
    EXPECT_EQ(E_FAIL, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(m_log.Contains("Webcam Symbolic: \\\\?\\root#image#0000#"));
    EXPECT_EQ(0, webcam->GetCallCount(WEBCAM_CALL_ACTIVATE));
}

TEST_F(CaptureFormatSelection, MjpgBeatsYuy2OnlyWhateverTheOrder)
{
    AddWebcam({Yuy2Vga()}, 0x0001);
    AddWebcam({Mjpg720()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(1, "0) 47504a4d, 1280x720, 333333"));
}

TEST_F(CaptureFormatSelection, BothFormatsBeatMjpgOnly)
{
    AddWebcam({Mjpg720()}, 0x0001);
    AddWebcam({Yuy2Vga(), Mjpg720()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(1, "1) 47504a4d, 1280x720, 333333"));
}

TEST_F(CaptureFormatSelection, AYuy2OnlyWebcamIsOpenedInYuy2)
{
    AddWebcam({MakeWebcamFormat(MFVideoFormat_YUY2, 320, 240, 30)}, 0x0001);
    AddWebcam({Yuy2Vga()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(1, "0) 32595559, 640x480, 333333"));
}

TEST_F(CaptureFormatSelection, OfTwoEqualWebcamsTheFirstIsOpened)
{
    auto first = AddWebcam({Mjpg720()}, 0x0001);
    auto second = AddWebcam({Mjpg720()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(0, "0) 47504a4d"));
    // Both were probed; the first was activated once more to be opened.
    EXPECT_EQ(2, first->GetCallCount(WEBCAM_CALL_ACTIVATE));
    EXPECT_EQ(1, second->GetCallCount(WEBCAM_CALL_ACTIVATE));
}

TEST_F(CaptureFormatSelection, OnlyTheExactRateIsSet)
{
    AddWebcam({MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 15),
               MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30000, 1001),
               MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30),
               MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 60, 2)});
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(0, "2) 32595559, 640x480, 333333"));
    EXPECT_FALSE(m_log.Contains("found support type(3)"));
}

TEST_F(CaptureFormatSelection, AWebcamWithoutTheExactRateIsStillChosen)
{
    AddWebcam({Mjpg720(15)});
    CreateBuilder();
    // The probe ignores the rate; the format cannot be set, yet the pipeline
    // is configured and its result returned.
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_FALSE(m_log.Contains("found support type"));
    EXPECT_TRUE(m_log.Contains("SetWebcamFormat ( Size 1280x720, FrameDuration 333333, Format 3 ): HRESULT 0xC00D36B9\n"));
}

TEST_F(CaptureFormatSelection, UnknownFormatCodesAreRefused)
{
    AddWebcam({Yuy2Vga()});
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_EQ(E_INVALIDARG, m_pBuilder->SetWebcamFormat(640, 480, 333333, 1));
    EXPECT_TRUE(m_log.Contains("FrameDuration 333333, Format 1 ): HRESULT 0x80070057\n"));
    EXPECT_EQ(E_INVALIDARG, m_pBuilder->SetWebcamFormat(640, 480, 333333, 4));
    EXPECT_EQ(static_cast<HRESULT>(MF_E_NO_MORE_TYPES), m_pBuilder->SetWebcamFormat(640, 480, 333333, 2));
}

TEST_F(CaptureFormatSelection, AWebcamThatCannotBeActivatedIsSkipped)
{
    auto broken = AddWebcam({Mjpg720(), Yuy2Vga()}, 0x0001);
    broken->FailCall(WEBCAM_CALL_ACTIVATE, E_ACCESSDENIED);
    AddWebcam({Yuy2Vga()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(1, "0) 32595559"));
}

TEST_F(CaptureFormatSelection, OpeningAnUnlistedIndexIsRefused)
{
    AddWebcam({Yuy2Vga()});
    CreateBuilder();
    EXPECT_EQ(E_INVALIDARG, m_pBuilder->SetWebcamDevice(1));
    EXPECT_EQ(E_FAIL, m_pBuilder->SetWebcamFormat(640, 480, 333333, 0));
    EXPECT_EQ(E_FAIL, m_pBuilder->StartCapture());
}
