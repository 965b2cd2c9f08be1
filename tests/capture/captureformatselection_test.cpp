#include <gtest/gtest.h>

#include <mferror.h>

#include <utility>
#include <vector>

#include "capturetestsupport.h"
#include "simulatedwebcamframes.h"

namespace
{
class CaptureFormatSelection : public CaptureBuilderTest
{
protected:
    // The device index and the subtype code the selection opened.
    bool Opened(int nIndex, const char* pszType)
    {
        return m_log.Contains("::SetWebcamDevice (" + std::to_string(nIndex) +
                              "): HRESULT 0x00000000") &&
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
    auto webcam = AddWebcamWithLink(
        L"\\\\?\\root#image#0000#{e5323777-f976-4f5b-9b55-b94699c46e44}", {Mjpg720(), Yuy2Vga()});
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

// The rate rule: the lowest rate at or above 30 frames a second, else the
// highest below; the first of equals.
struct RateCase
{
    std::vector<std::pair<UINT32, UINT32>> rates;  // native order
    const char* pszFound;                          // "index) ..., duration"
};

class CaptureRateRule : public CaptureFormatSelection,
                        public ::testing::WithParamInterface<RateCase>
{
};

TEST_P(CaptureRateRule, PicksTheLowestRateFromThirtyUpElseTheHighestBelow)
{
    std::vector<SimulatedWebcamFormat> formats;
    for (const auto& rate : GetParam().rates)
        formats.push_back(MakeWebcamFormat(MFVideoFormat_MJPG, 1280, 720, rate.first, rate.second));
    AddWebcam(formats);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(0, GetParam().pszFound)) << GetParam().pszFound;
    EXPECT_TRUE(m_log.Contains(
        "SetWebcamFormat ( Size 1280x720, FrameDuration 333333, Format 3 ): HRESULT 0x00000000\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Rates, CaptureRateRule,
    ::testing::Values(RateCase{{{15, 1}, {60, 1}}, "1) 47504a4d, 1280x720, 166666"},
                      RateCase{{{15, 1}, {60, 1}, {30000, 1001}, {25, 1}},
                               "1) 47504a4d, 1280x720, 166666"},
                      RateCase{{{15, 1}, {30000, 1001}, {25, 1}}, "1) 47504a4d, 1280x720, 333666"},
                      RateCase{{{60, 1}, {50, 1}, {120, 1}}, "1) 47504a4d, 1280x720, 200000"},
                      RateCase{{{60, 1}, {30, 1}, {30, 1}}, "1) 47504a4d, 1280x720, 333333"},
                      RateCase{{{5, 1}, {10, 1}, {7, 1}}, "1) 47504a4d, 1280x720, 1000000"}));

// A format under 15 frames a second gives way to the other format when that
// one is faster.
struct SlowFormatCase
{
    UINT32 nMjpgFps;
    UINT32 nYuy2Fps;
    bool bYuy2;
};

class CaptureSlowFormat : public CaptureFormatSelection,
                          public ::testing::WithParamInterface<SlowFormatCase>
{
};

TEST_P(CaptureSlowFormat, IsUsedOnlyWhenTheOtherFormatIsNoFaster)
{
    AddWebcam({Mjpg720(GetParam().nMjpgFps), Yuy2Vga(GetParam().nYuy2Fps)});
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(0, GetParam().bYuy2 ? "1) 32595559" : "0) 47504a4d"));
    EXPECT_EQ(GetParam().bYuy2, m_log.Contains("gives way to YUY2"));
}

INSTANTIATE_TEST_SUITE_P(Rates, CaptureSlowFormat,
                         ::testing::Values(SlowFormatCase{5, 30, true},
                                           SlowFormatCase{10, 12, true},
                                           SlowFormatCase{5, 5, false}, SlowFormatCase{5, 3, false},
                                           SlowFormatCase{15, 30, false},
                                           SlowFormatCase{30, 5, false}));

TEST_F(CaptureFormatSelection, AWebcamOnlyAt15FramesASecondRunsAt15)
{
    AddWebcam({Mjpg720(15)});
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(0, "0) 47504a4d, 1280x720, 666666"));
}

TEST_F(CaptureFormatSelection, WhatReachesTheDriverIsTheTypeTheReaderWasSetTo)
{
    // The webcam was left at a type no probe asks for; its MJPG type runs at
    // 29.97 frames a second only. Every frame the driver gets under the MJPG
    // 1280 x 720 label must be such a picture.
    SimulatedWebcamSpec webcamSpec =
        MakeWebcamSpec(L"Sim Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
                       {MakeWebcamFormat(MFVideoFormat_MJPG, 1280, 720, 30000, 1001),
                        MakeWebcamFormat(MFVideoFormat_YUY2, 320, 240, 30)});
    webcamSpec.bPaced = false;
    webcamSpec.nInitialFormat = 1;
    m_enumeration.Add(SimulatedWebcam::Create(webcamSpec));
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_MJPG, 1280, 720);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(m_driver.WaitForFrameCount(3, 10000));
    m_pBuilder->StopCapture();

    for (const SimulatedDriver::ReceivedFrame& frame : m_driver.GetFrames())
    {
        ASSERT_EQ(3u, frame.nFormat);
        ASSERT_GE(frame.picture.size(), 2u);
        EXPECT_EQ(0xFF, frame.picture[0]) << frame.picture.size();
        EXPECT_EQ(0xD8, frame.picture[1]);
        UINT32 nWidth = 0;
        UINT32 nHeight = 0;
        std::vector<BYTE> bgr;
        ASSERT_EQ(S_OK,
                  DecodeWebcamJpeg(frame.picture.data(), static_cast<UINT32>(frame.picture.size()),
                                   &nWidth, &nHeight, &bgr));
        EXPECT_EQ(1280u, nWidth);
        EXPECT_EQ(720u, nHeight);
    }
}

TEST_F(CaptureFormatSelection, AnMjpgTypeThatCannotBeSetFallsBackToYuy2)
{
    auto webcam = AddWebcam({Yuy2Vga(), Mjpg720()});
    webcam->FailCall(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE, E_ACCESSDENIED, 1);
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(m_log.Contains("Format 3 ): HRESULT 0x"));
    EXPECT_TRUE(m_log.Contains(
        "SetWebcamFormat ( Size 640x480, FrameDuration 333333, Format 0 ): HRESULT 0x00000000\n"));

    // The pipeline was told YUY2 640 x 480: the webcam's pictures arrive.
    m_pBuilder->AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    ASSERT_EQ(S_OK, m_pBuilder->StartCapture());
    ASSERT_TRUE(m_driver.WaitForFrameCount(3, 10000));
    m_pBuilder->StopCapture();
    for (const SimulatedDriver::ReceivedFrame& frame : m_driver.GetFrames())
        EXPECT_LE(0, ReadWebcamFrameCounterYuy2(frame.picture.data(), 640, 480, 1280));
}

TEST_F(CaptureFormatSelection, AWebcamThatCannotServeItsFormatIsAFailure)
{
    // An MJPG-only webcam whose type cannot be set has nothing to fall back
    // to: the host must serve the placeholder rather than mislabelled frames.
    auto unsettable = AddWebcam({MakeWebcamFormat(MFVideoFormat_MJPG, 640, 480, 30), Mjpg720()});
    unsettable->FailCall(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE, E_ACCESSDENIED);
    CreateBuilder();
    EXPECT_TRUE(FAILED(m_pBuilder->InitWebcamDevice()));
    EXPECT_FALSE(m_log.Contains("::InitWebcamDevice (): HRESULT 0x00000000"));
}

TEST_F(CaptureFormatSelection, AWebcamThatCannotBeOpenedIsAFailure)
{
    // The probe's activation works, the opening one does not.
    auto webcam = AddWebcam({Mjpg720()});
    webcam->FailCall(WEBCAM_CALL_ACTIVATE, E_ACCESSDENIED, -1, 1);
    CreateBuilder();
    EXPECT_EQ(E_ACCESSDENIED, m_pBuilder->InitWebcamDevice());
    EXPECT_EQ(2, webcam->GetCallCount(WEBCAM_CALL_ACTIVATE));
}

TEST_F(CaptureFormatSelection, AWebcamHeldByAnotherApplicationGivesWayToTheNext)
{
    // Both are probed; the first, the better one, refuses to be opened.
    auto busy = AddWebcam({Mjpg720(), Yuy2Vga()}, 0x0001);
    busy->FailCall(WEBCAM_CALL_ACTIVATE, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), -1, 1);
    auto free = AddWebcam({Yuy2Vga()}, 0x0002);
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_TRUE(Opened(1, "0) 32595559"));
    EXPECT_TRUE(m_log.Contains("webcam 0 cannot be used (0x80070020); trying webcam 1\n"));
    EXPECT_EQ(0, busy->GetLiveSourceCount());
    EXPECT_EQ(1, free->GetLiveSourceCount());
}

TEST_F(CaptureFormatSelection, ProbedWebcamsAreShutDown)
{
    auto chosen = AddWebcam({Mjpg720(), Yuy2Vga()}, 0x0001);
    auto other = AddWebcam({Yuy2Vga()}, 0x0002);
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    // The list still holds both activation objects; only the webcam in use
    // keeps a media source.
    EXPECT_EQ(0, other->GetLiveSourceCount());
    EXPECT_EQ(1, other->GetShutdownCount());
    EXPECT_EQ(1, chosen->GetLiveSourceCount());
}

TEST_F(CaptureFormatSelection, ALinkThatDoesNotFitIsNotTakenForThePreviousOne)
{
    AddWebcam({Yuy2Vga()}, 0x0001);
    auto tooLong = AddWebcamWithLink(
        L"\\\\?\\usb#vid_0c45&pid_6366&mi_00#" + std::wstring(400, L'x') + L"\\global",
        {Mjpg720()});
    CreateBuilder();
    EXPECT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_EQ(1u, m_log.Count("Webcam Symbolic: \\\\?\\usb#vid_046d&pid_0001"));
    EXPECT_EQ(1u, m_log.Count("Webcam Symbolic: \n"));
    EXPECT_EQ(0, tooLong->GetCallCount(WEBCAM_CALL_ACTIVATE));
    EXPECT_TRUE(Opened(0, "0) 32595559"));
}

TEST_F(CaptureFormatSelection, UnknownFormatCodesAreRefused)
{
    AddWebcam({Yuy2Vga()});
    CreateBuilder();
    ASSERT_EQ(S_OK, m_pBuilder->InitWebcamDevice());
    EXPECT_EQ(E_INVALIDARG, m_pBuilder->SetWebcamFormat(640, 480, 333333, 1));
    EXPECT_TRUE(m_log.Contains("FrameDuration 333333, Format 1 ): HRESULT 0x80070057\n"));
    EXPECT_EQ(E_INVALIDARG, m_pBuilder->SetWebcamFormat(640, 480, 333333, 4));
    EXPECT_EQ(static_cast<HRESULT>(MF_E_NO_MORE_TYPES),
              m_pBuilder->SetWebcamFormat(640, 480, 333333, 2));
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
