#include <gtest/gtest.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdlib>

#include "pictures.h"
#include "rgbyuy2.h"
#include "scopedmediafoundation.h"
#include "wicjpeg.h"

using Microsoft::WRL::ComPtr;

#define EXPECT_FAILED(expression) EXPECT_TRUE(FAILED(expression))

namespace
{
struct Colour
{
    BYTE r, g, b;
};

const Colour kColours[4] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {220, 220, 60}};

// The colour of quadrant (x, y) of a picture.
const Colour& QuadrantAt(UINT32 nWidth, UINT32 nHeight, UINT32 x, UINT32 y)
{
    return kColours[(y >= nHeight / 2 ? 2 : 0) + (x >= nWidth / 2 ? 1 : 0)];
}

void ExpectNear(const BgrPicture& picture, UINT32 x, UINT32 y, const Colour& colour, int nTolerance)
{
    const BYTE* p = &picture.pixels[(static_cast<size_t>(y) * picture.nWidth + x) * 3];
    EXPECT_NEAR(colour.b, p[0], nTolerance) << x << "," << y;
    EXPECT_NEAR(colour.g, p[1], nTolerance) << x << "," << y;
    EXPECT_NEAR(colour.r, p[2], nTolerance) << x << "," << y;
}

void ExpectQuadrants(const BgrPicture& picture, int nTolerance)
{
    UINT32 w = picture.nWidth;
    UINT32 h = picture.nHeight;
    // Away from the edges, where chroma sharing and compression blur.
    const UINT32 xs[2] = {w / 4, w * 3 / 4};
    const UINT32 ys[2] = {h / 4, h * 3 / 4};
    for (UINT32 y : ys)
        for (UINT32 x : xs)
            ExpectNear(picture, x, y, QuadrantAt(w, h, x, y), nTolerance);
    // The last pixel of the top-left quadrant, next to other colours on both sides.
    ExpectNear(picture, w / 2 - 1, h / 2 - 1, kColours[0], nTolerance);
}

std::vector<BYTE> QuadrantsYuy2(UINT32 nWidth, UINT32 nHeight)
{
    std::vector<BYTE> yuy2(static_cast<size_t>(nWidth) * nHeight * 2);
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        for (UINT32 x = 0; x < nWidth; x += 2)
        {
            const Colour& c = QuadrantAt(nWidth, nHeight, x, y);
            BYTE* p = &yuy2[(static_cast<size_t>(y) * nWidth + x) * 2];
            RgbToYuv(c.r, c.g, c.b, &p[0], &p[1], &p[3]);
            p[2] = p[0];
        }
    }
    return yuy2;
}

std::vector<BYTE> QuadrantsNv12(UINT32 nWidth, UINT32 nHeight)
{
    std::vector<BYTE> nv12(static_cast<size_t>(nWidth) * nHeight * 3 / 2);
    BYTE* pUv = &nv12[static_cast<size_t>(nWidth) * nHeight];
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        for (UINT32 x = 0; x < nWidth; ++x)
        {
            const Colour& c = QuadrantAt(nWidth, nHeight, x, y);
            BYTE u = 0;
            BYTE v = 0;
            RgbToYuv(c.r, c.g, c.b, &nv12[static_cast<size_t>(y) * nWidth + x], &u, &v);
            if (y % 2 == 0 && x % 2 == 0)
            {
                pUv[static_cast<size_t>(y / 2) * nWidth + x] = u;
                pUv[static_cast<size_t>(y / 2) * nWidth + x + 1] = v;
            }
        }
    }
    return nv12;
}

std::vector<BYTE> QuadrantsBgra(UINT32 nWidth, UINT32 nHeight)
{
    std::vector<BYTE> bgra(static_cast<size_t>(nWidth) * nHeight * 4);
    for (UINT32 y = 0; y < nHeight; ++y)
    {
        for (UINT32 x = 0; x < nWidth; ++x)
        {
            const Colour& c = QuadrantAt(nWidth, nHeight, x, y);
            BYTE* p = &bgra[(static_cast<size_t>(y) * nWidth + x) * 4];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 255;
        }
    }
    return bgra;
}

BgrPicture Blank(UINT32 nWidth, UINT32 nHeight)
{
    BgrPicture picture;
    picture.nWidth = nWidth;
    picture.nHeight = nHeight;
    picture.pixels.assign(static_cast<size_t>(nWidth) * nHeight * 3, 0);
    return picture;
}

bool IsLit(const BgrPicture& picture, UINT32 x, UINT32 y)
{
    return picture.pixels[(static_cast<size_t>(y) * picture.nWidth + x) * 3 + 1] != 0;
}
}  // namespace

TEST(SimulatorPictures, DriverFramesOfEveryFormatDecodeToTheirColours)
{
    ScopedMediaFoundation com;
    BgrPicture picture;
    ASSERT_EQ(S_OK, DecodeDriverPicture(2, 64, 32, QuadrantsYuy2(64, 32), &picture));
    ExpectQuadrants(picture, 3);
    // NV12: odd rows and columns take the chroma of their 2 x 2 block.
    ASSERT_EQ(S_OK, DecodeDriverPicture(4, 64, 32, QuadrantsNv12(64, 32), &picture));
    ExpectQuadrants(picture, 3);
    ExpectNear(picture, 33, 17, kColours[3], 3);

    std::vector<BYTE> bgra = QuadrantsBgra(64, 32);
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), 64, 32, 64 * 4, &jpeg, 0.95f));
    ASSERT_EQ(S_OK, DecodeDriverPicture(3, 64, 32, jpeg, &picture));
    EXPECT_EQ(64u * 32 * 3, picture.pixels.size());
    const UINT32 x = 16;
    const UINT32 y = 8;
    ExpectNear(picture, x, y, QuadrantAt(64, 32, x, y), 24);
}

TEST(SimulatorPictures, FramesOfTheWrongSizeOrFormatAreRefused)
{
    ScopedMediaFoundation com;
    BgrPicture picture;
    std::vector<BYTE> yuy2 = QuadrantsYuy2(64, 32);
    EXPECT_FAILED(DecodeDriverPicture(2, 64, 30, yuy2, &picture));
    EXPECT_FAILED(DecodeDriverPicture(4, 64, 32, yuy2, &picture));  // NV12 is 3/2 bytes a pixel
    EXPECT_FAILED(DecodeDriverPicture(3, 64, 32, yuy2, &picture));  // not a JPEG
    EXPECT_FAILED(DecodeDriverPicture(1, 64, 32, yuy2, &picture));

    std::vector<BYTE> bgra = QuadrantsBgra(64, 32);
    std::vector<BYTE> jpeg;
    ASSERT_EQ(S_OK, EncodeBgraToJpeg(bgra.data(), 64, 32, 64 * 4, &jpeg));
    EXPECT_FAILED(DecodeDriverPicture(3, 32, 64, jpeg, &picture));
}

TEST(SimulatorPictures, APngReadsBackWithItsSizeAndPixels)
{
    ScopedMediaFoundation com;
    BgrPicture picture;
    ASSERT_EQ(S_OK, DecodeDriverPicture(2, 64, 32, QuadrantsYuy2(64, 32), &picture));
    wchar_t wszFolder[MAX_PATH];
    wchar_t wszPath[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, wszFolder));
    ASSERT_NE(0u, GetTempFileNameW(wszFolder, L"png", 0, wszPath));
    ASSERT_EQ(S_OK, WritePng(wszPath, picture));

    ComPtr<IWICImagingFactory> pFactory;
    ComPtr<IWICBitmapDecoder> pDecoder;
    ComPtr<IWICBitmapFrameDecode> pFrame;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&pFactory)));
    ASSERT_EQ(S_OK, pFactory->CreateDecoderFromFilename(wszPath, NULL, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnDemand, &pDecoder));
    GUID container = {};
    ASSERT_EQ(S_OK, pDecoder->GetContainerFormat(&container));
    EXPECT_TRUE(container == GUID_ContainerFormatPng);
    ASSERT_EQ(S_OK, pDecoder->GetFrame(0, &pFrame));
    UINT nWidth = 0;
    UINT nHeight = 0;
    ASSERT_EQ(S_OK, pFrame->GetSize(&nWidth, &nHeight));
    EXPECT_EQ(64u, nWidth);
    EXPECT_EQ(32u, nHeight);
    BgrPicture readBack = Blank(64, 32);
    ASSERT_EQ(S_OK, pFrame->CopyPixels(NULL, 64 * 3, static_cast<UINT>(readBack.pixels.size()),
                                       readBack.pixels.data()));
    EXPECT_EQ(picture.pixels, readBack.pixels);
    pFrame.Reset();
    pDecoder.Reset();
    DeleteFileW(wszPath);
}

TEST(SimulatorPictures, ScaledPicturesKeepTheirShapeInsideTheBox)
{
    BgrPicture source = Blank(40, 30);  // 4:3, all lit
    std::fill(source.pixels.begin(), source.pixels.end(), 255);
    BgrPicture sheet = Blank(100, 40);
    DrawScaled(source, &sheet, 10, 5, 64, 30);  // a 16:9-ish box: 40 x 30 fits, centred
    EXPECT_FALSE(IsLit(sheet, 10 + 11, 5 + 15));
    EXPECT_TRUE(IsLit(sheet, 10 + 12, 5 + 15));
    EXPECT_TRUE(IsLit(sheet, 10 + 51, 5 + 29));
    EXPECT_FALSE(IsLit(sheet, 10 + 52, 5 + 15));
    EXPECT_FALSE(IsLit(sheet, 10 + 12, 4));
}

TEST(SimulatorPictures, TextIsDrawnInFiveBySevenCells)
{
    BgrPicture canvas = Blank(40, 20);
    DrawText(&canvas, 1, 1, "l-", 2, 0, 255, 0);  // lower case draws the capital
    // L: the left column of its cell all the way down, the bottom row across.
    for (UINT32 y = 1; y < 15; ++y)
        EXPECT_TRUE(IsLit(canvas, 1, y)) << y;
    EXPECT_TRUE(IsLit(canvas, 10, 14));
    EXPECT_FALSE(IsLit(canvas, 10, 12));
    // '-' starts one cell (6 font pixels) on, in the middle row only.
    EXPECT_TRUE(IsLit(canvas, 13, 7));
    EXPECT_FALSE(IsLit(canvas, 13, 5));
    // Nothing below the seven rows or right of the text.
    for (UINT32 x = 0; x < 40; ++x)
        EXPECT_FALSE(IsLit(canvas, x, 15)) << x;

    BgrPicture untouched = Blank(20, 10);
    DrawText(&untouched, 0, 0, "{~", 1, 255, 255, 255);
    EXPECT_EQ(std::vector<BYTE>(20 * 10 * 3, 0), untouched.pixels);
}
