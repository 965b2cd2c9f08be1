#include <gtest/gtest.h>

#include <vector>

#include "framecontent.h"
#include "image/yuy2tonv12.h"
#include "pipeline/framecontrolmanager.h"
#include "resource.h"
#include "rgbyuy2.h"
#include "scopedmediafoundation.h"
#include "simulatedwebcamframes.h"

namespace
{
class FrameContentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mf.Result());
        ASSERT_EQ(S_OK, m_checker.Initialize());
    }

    static std::vector<BYTE> WebcamYuy2(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight)
    {
        std::vector<BYTE> yuy2(static_cast<size_t>(nWidth) * nHeight * 2);
        EXPECT_TRUE(DrawWebcamFrameYuy2(nFrame, nWidth, nHeight, yuy2.data(), nWidth * 2));
        return yuy2;
    }

    static std::vector<BYTE> ToNv12(const std::vector<BYTE>& yuy2, UINT32 nWidth, UINT32 nHeight)
    {
        std::vector<BYTE> nv12(static_cast<size_t>(nWidth) * nHeight * 3 / 2);
        ConvertYUY2toNV12(yuy2.data(), nWidth, nHeight, nWidth * 2, nv12.data(), nWidth, nHeight,
                          nWidth);
        return nv12;
    }

    // The placeholder as the host serves it to a YUY2 request of this size.
    static std::vector<BYTE> PlaceholderYuy2(UINT32 nWidth, UINT32 nHeight)
    {
        HMODULE hModule = GetModuleHandleW(NULL);
        HRSRC hResource =
            FindResourceW(hModule, MAKEINTRESOURCEW(IDR_PLACEHOLDER_JPEG), MAKEINTRESOURCEW(10));
        const BYTE* pJpeg =
            static_cast<const BYTE*>(LockResource(LoadResource(hModule, hResource)));
        UINT32 nJpegWidth = 0;
        UINT32 nJpegHeight = 0;
        std::vector<BYTE> bgr;
        EXPECT_EQ(S_OK, DecodeWebcamJpeg(pJpeg, SizeofResource(hModule, hResource), &nJpegWidth,
                                         &nJpegHeight, &bgr));
        std::vector<BYTE> full(static_cast<size_t>(nJpegWidth) * nJpegHeight * 2);
        ConvertBgrToYuy2(bgr.data(), nJpegWidth * 3, 3, nJpegWidth, nJpegHeight, full.data(),
                         nJpegWidth * 2);
        return ScaledYuy2(full, nJpegWidth, nJpegHeight, nWidth, nHeight);
    }

    // Cropped and scaled by the pipeline's own resize.
    static std::vector<BYTE> ScaledYuy2(const std::vector<BYTE>& yuy2, UINT32 nSrcWidth,
                                        UINT32 nSrcHeight, UINT32 nWidth, UINT32 nHeight)
    {
        HANDLE hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        std::vector<BYTE> scaled(static_cast<size_t>(nWidth) * nHeight * 2);
        {
            FrameControlManager pipeline(hEvent);
            EXPECT_EQ(S_OK, pipeline.ResizeFrame(yuy2.data(), nSrcWidth, nSrcHeight, scaled.data(),
                                                 nWidth, nHeight));
        }
        CloseHandle(hEvent);
        return scaled;
    }

    ScopedMediaFoundation m_mf;
    FrameContentChecker m_checker;
};
}  // namespace

TEST_F(FrameContentTest, UncompressedFramesShowTheWebcamOrThePlaceholder)
{
    std::vector<BYTE> webcam = WebcamYuy2(7, 640, 480);
    EXPECT_EQ(FRAME_CONTENT_WEBCAM, m_checker.Classify(COLOR_FORMAT_YUY2, 640, 480, webcam));
    EXPECT_EQ(FRAME_CONTENT_WEBCAM,
              m_checker.Classify(COLOR_FORMAT_NV12, 640, 480, ToNv12(webcam, 640, 480)));

    // Cropped to 4:3 the bar code loses its outer cells, cropped to 16:9
    // the whole band: the colour bars remain.
    for (UINT32 nFrame : {0u, 9u, 37u})
    {
        std::vector<BYTE> cropped = ScaledYuy2(WebcamYuy2(nFrame, 1280, 720), 1280, 720, 640, 480);
        EXPECT_EQ(FRAME_CONTENT_WEBCAM, m_checker.Classify(COLOR_FORMAT_YUY2, 640, 480, cropped))
            << nFrame;
        EXPECT_EQ(FRAME_CONTENT_WEBCAM,
                  m_checker.Classify(COLOR_FORMAT_NV12, 640, 480, ToNv12(cropped, 640, 480)));
        std::vector<BYTE> widened = ScaledYuy2(WebcamYuy2(nFrame, 640, 480), 640, 480, 1280, 720);
        EXPECT_EQ(FRAME_CONTENT_WEBCAM, m_checker.Classify(COLOR_FORMAT_YUY2, 1280, 720, widened))
            << nFrame;
        // A region one macropixel wide, too narrow for the bar code, and
        // enlarged: its two columns may straddle a bar's edge.
        std::vector<BYTE> tall = ScaledYuy2(WebcamYuy2(nFrame, 640, 480), 640, 480, 16, 4096);
        EXPECT_EQ(FRAME_CONTENT_WEBCAM, m_checker.Classify(COLOR_FORMAT_YUY2, 16, 4096, tall))
            << nFrame;
    }

    std::vector<BYTE> placeholder = PlaceholderYuy2(640, 480);
    EXPECT_EQ(FRAME_CONTENT_PLACEHOLDER,
              m_checker.Classify(COLOR_FORMAT_YUY2, 640, 480, placeholder));
    EXPECT_EQ(FRAME_CONTENT_PLACEHOLDER,
              m_checker.Classify(COLOR_FORMAT_NV12, 640, 480, ToNv12(placeholder, 640, 480)));
    EXPECT_EQ(FRAME_CONTENT_PLACEHOLDER,
              m_checker.Classify(COLOR_FORMAT_YUY2, 1280, 720, PlaceholderYuy2(1280, 720)));
}

TEST_F(FrameContentTest, UncompressedFramesOfAnythingElseDoNotMatchTheirLabel)
{
    std::vector<BYTE> grey(640 * 480 * 2, 128);
    EXPECT_EQ(FRAME_CONTENT_MISMATCH, m_checker.Classify(COLOR_FORMAT_YUY2, 640, 480, grey));
    // The right picture under the wrong size or format.
    std::vector<BYTE> webcam = WebcamYuy2(3, 640, 480);
    EXPECT_EQ(FRAME_CONTENT_MISMATCH, m_checker.Classify(COLOR_FORMAT_YUY2, 320, 240, webcam));
    EXPECT_EQ(FRAME_CONTENT_MISMATCH, m_checker.Classify(COLOR_FORMAT_NV12, 640, 480, webcam));
    // A picture of another size that happens to have the label's length.
    EXPECT_EQ(FRAME_CONTENT_MISMATCH, m_checker.Classify(COLOR_FORMAT_YUY2, 480, 640, webcam));
}

TEST_F(FrameContentTest, MjpgFramesAreJpegsOfTheLabelsSize)
{
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeWebcamFrameJpeg(5, 1280, 720, &jpeg));
    EXPECT_EQ(FRAME_CONTENT_WEBCAM, m_checker.Classify(COLOR_FORMAT_MJPG, 1280, 720, jpeg));
    EXPECT_EQ(FRAME_CONTENT_MISMATCH, m_checker.Classify(COLOR_FORMAT_MJPG, 640, 480, jpeg));
    EXPECT_EQ(FRAME_CONTENT_MISMATCH,
              m_checker.Classify(COLOR_FORMAT_MJPG, 1280, 720, WebcamYuy2(5, 640, 480)));
    EXPECT_EQ(FRAME_CONTENT_MISMATCH,
              m_checker.Classify(COLOR_FORMAT_MJPG, 1280, 720, std::vector<BYTE>()));

    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    ASSERT_TRUE(ReadJpegFrameSize(jpeg.data(), jpeg.size(), &nWidth, &nHeight));
    EXPECT_EQ(1280u, nWidth);
    EXPECT_EQ(720u, nHeight);
    jpeg.resize(20);  // cut before its frame header
    EXPECT_FALSE(ReadJpegFrameSize(jpeg.data(), jpeg.size(), &nWidth, &nHeight));
}
