#include <gtest/gtest.h>

#include <wrl/client.h>

#include <string>
#include <vector>

#include "image/mjpegdecoder.h"
#include "placeholderjpeg.h"
#include "resource.h"
#include "rgbyuy2.h"
#include "scopedmediafoundation.h"
#include "scopedmjpegdecoder.h"
#include "testfiles.h"
#include "testpictures.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

namespace
{
// The resource as the placeholder source finds it in its own image.
std::vector<BYTE> PlaceholderResource()
{
    std::vector<BYTE> bytes;
    HRSRC hResource = FindResourceA(NULL, MAKEINTRESOURCEA(IDR_PLACEHOLDER_JPEG),
                                    MAKEINTRESOURCEA(10));  // RT_RCDATA
    HGLOBAL hData = hResource != NULL ? LoadResource(NULL, hResource) : NULL;
    const BYTE* pData = hData != NULL ? static_cast<const BYTE*>(LockResource(hData)) : NULL;
    if (pData != NULL)
        bytes.assign(pData, pData + SizeofResource(NULL, hResource));
    return bytes;
}

// The checked-in file, copied beside the test by the build.
std::vector<BYTE> PlaceholderFile()
{
    std::vector<BYTE> bytes;
    std::wstring path = ExecutableFolder() + L"placeholder.jpg";
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER liSize = {};
    if (GetFileSizeEx(hFile, &liSize) && liSize.QuadPart < 0x1000000)
    {
        bytes.resize(static_cast<size_t>(liSize.QuadPart));
        DWORD cbRead = 0;
        if (!ReadFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbRead, NULL) ||
            cbRead != bytes.size())
            bytes.clear();
    }
    CloseHandle(hFile);
    return bytes;
}

// The start-of-frame segment's numbers: its marker, size and components.
struct FRAME_SEGMENT
{
    BYTE marker;
    UINT width;
    UINT height;
    std::vector<BYTE> samplingFactors;  // one byte per component
};

bool ReadFrameSegment(const std::vector<BYTE>& jpeg, FRAME_SEGMENT* pFrame)
{
    size_t i = 2;  // after SOI
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF)
    {
        BYTE marker = jpeg[i + 1];
        size_t cbSegment = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
        {
            if (i + 10 > jpeg.size())
                return false;
            pFrame->marker = marker;
            pFrame->height = (static_cast<UINT>(jpeg[i + 5]) << 8) | jpeg[i + 6];
            pFrame->width = (static_cast<UINT>(jpeg[i + 7]) << 8) | jpeg[i + 8];
            BYTE cComponents = jpeg[i + 9];
            for (BYTE c = 0; c < cComponents && i + 11 + 3 * c < jpeg.size(); ++c)
                pFrame->samplingFactors.push_back(jpeg[i + 11 + 3 * c]);
            return true;
        }
        i += 2 + cbSegment;
    }
    return false;
}
}  // namespace

TEST(PlaceholderPicture, TheLengthConstantIsTheLengthOfFileAndResource)
{
    std::vector<BYTE> file = PlaceholderFile();
    std::vector<BYTE> resource = PlaceholderResource();
    EXPECT_EQ(static_cast<size_t>(PLACEHOLDER_JPEG_SIZE), file.size());
    EXPECT_TRUE(resource == file);
    EXPECT_LE(PLACEHOLDER_JPEG_SIZE, 640 * 480 * 2);
}

TEST(PlaceholderPicture, IsABaseline1280x720JpegWithSubsampledChroma)
{
    std::vector<BYTE> jpeg = PlaceholderResource();
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(0xFF, jpeg[0]);
    EXPECT_EQ(0xD8, jpeg[1]);
    FRAME_SEGMENT frame = {};
    ASSERT_TRUE(ReadFrameSegment(jpeg, &frame));
    EXPECT_EQ(0xC0, frame.marker);  // baseline
    EXPECT_EQ(1280u, frame.width);
    EXPECT_EQ(720u, frame.height);
    EXPECT_EQ((std::vector<BYTE>{0x22, 0x11, 0x11}), frame.samplingFactors);  // 4:2:0
}

TEST(PlaceholderPicture, TheProgramIconIsThere)
{
    EXPECT_NE(nullptr, LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_FRAMEPROVIDER)));
}

TEST(PlaceholderPicture, DecodesToWhatTheImagingComponentSees)
{
    ScopedMediaFoundation mediaFoundation;
    ASSERT_EQ(S_OK, mediaFoundation.Result());
    ScopedMjpegDecoder registration;
    std::vector<BYTE> jpeg = PlaceholderResource();
    ASSERT_FALSE(jpeg.empty());

    std::vector<BYTE> bgra;
    UINT nWidth = 0;
    UINT nHeight = 0;
    ASSERT_EQ(S_OK, DecodeJpegToBgra(jpeg.data(), jpeg.size(), &bgra, &nWidth, &nHeight));
    ASSERT_EQ(1280u, nWidth);
    ASSERT_EQ(720u, nHeight);

    MjpegDecoder decoder;
    ComPtr<IMFSample> pCompressed;
    ComPtr<IMFSample> pDecoded;
    ASSERT_EQ(S_OK, CreateSampleFromBytes(jpeg, &pCompressed));
    ASSERT_EQ(S_OK, decoder.FindMjpegDecoder());
    ASSERT_EQ(S_OK, decoder.SetDecoderMediaTypes());
    ASSERT_EQ(S_OK, decoder.DecodeMjpegSample(pCompressed.Get(), &pDecoded));
    std::vector<BYTE> yuy2 = SampleBytes(pDecoded.Get());
    ASSERT_EQ(1280u * 720u * 2u, yuy2.size());

    // Background, card, glyph, title and both far corners.
    const UINT kPoints[][2] = {{4, 4},     {120, 650}, {400, 250}, {640, 300},
                               {600, 437}, {900, 520}, {1275, 715}};
    for (const UINT* pPoint : kPoints)
    {
        UINT x = pPoint[0] & ~1u;  // the pair shares its chroma: compare its first pixel
        UINT y = pPoint[1];
        const BYTE* p0 = &bgra[(static_cast<size_t>(y) * 1280 + x) * 4];
        const BYTE* p1 = p0 + 4;
        BYTE y0, u0, v0, y1, u1, v1, actualY, actualU, actualV;
        RgbToYuv(p0[2], p0[1], p0[0], &y0, &u0, &v0);
        RgbToYuv(p1[2], p1[1], p1[0], &y1, &u1, &v1);
        Yuy2PixelAt(yuy2, 1280, x, y, &actualY, &actualU, &actualV);
        EXPECT_NEAR(y0, actualY, 1) << "at " << x << "," << y;
        EXPECT_NEAR((u0 + u1) / 2, actualU, 1) << "at " << x << "," << y;
        EXPECT_NEAR((v0 + v1) / 2, actualV, 1) << "at " << x << "," << y;
    }
}
