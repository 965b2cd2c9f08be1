#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <vector>

#include "image/builtinimagescaler.h"
#include "image/scalerkernel.h"

namespace
{
struct ScalerReference
{
    ScalerReference() : p(NULL) { EXPECT_EQ(S_OK, BuiltInImageScaler::CreateInstance(&p)); }
    ~ScalerReference()
    {
        if (p != NULL)
            p->Release();
    }
    IImageScaler* p;
};

const HRESULT kNotConfigured = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

std::vector<BYTE> RandomPicture(size_t cbSize, unsigned nSeed)
{
    std::mt19937 random(nSeed);
    std::vector<BYTE> picture(cbSize);
    for (BYTE& b : picture)
        b = static_cast<BYTE>(random());
    return picture;
}
}  // namespace

TEST(BuiltInImageScaler, IsReferenceCountedAndAnswersItsInterfaces)
{
    IImageScaler* pScaler = NULL;
    ASSERT_EQ(S_OK, BuiltInImageScaler::CreateInstance(&pScaler));
    EXPECT_EQ(2u, pScaler->AddRef());

    IUnknown* pUnknown = NULL;
    ASSERT_EQ(S_OK, pScaler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(static_cast<IUnknown*>(pScaler), pUnknown);
    IImageScaler* pAgain = NULL;
    ASSERT_EQ(S_OK, pScaler->QueryInterface(IID_IImageScaler, reinterpret_cast<void**>(&pAgain)));
    EXPECT_EQ(pScaler, pAgain);
    IClassFactory* pFactory = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(E_NOINTERFACE,
              pScaler->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
    EXPECT_EQ(NULL, pFactory);
    EXPECT_EQ(E_POINTER, pScaler->QueryInterface(IID_IUnknown, NULL));

    EXPECT_EQ(3u, pAgain->Release());
    EXPECT_EQ(2u, pUnknown->Release());
    EXPECT_EQ(1u, pScaler->Release());
    EXPECT_EQ(0u, pScaler->Release());
    EXPECT_EQ(E_POINTER, BuiltInImageScaler::CreateInstance(NULL));
}

TEST(BuiltInImageScaler, SettingsTakeOnlyTheirDocumentedValues)
{
    ScalerReference scaler;
    EXPECT_EQ(S_OK, scaler.p->SetFilter(IMAGE_SCALER_FILTER_AUTOMATIC));
    EXPECT_EQ(S_OK, scaler.p->SetFilter(IMAGE_SCALER_FILTER_BILINEAR));
    EXPECT_EQ(S_OK, scaler.p->SetFilter(IMAGE_SCALER_FILTER_AREA));
    EXPECT_EQ(E_INVALIDARG, scaler.p->SetFilter(3));
    EXPECT_EQ(S_OK, scaler.p->SetAcceleration(IMAGE_SCALER_ACCELERATION_NONE));
    EXPECT_EQ(S_OK, scaler.p->SetAcceleration(IMAGE_SCALER_ACCELERATION_FASTEST));
    EXPECT_EQ(E_INVALIDARG, scaler.p->SetAcceleration(2));
}

TEST(BuiltInImageScaler, ConfigureRefusesWhatItCannotScaleAndForgetsTheLastOne)
{
    ScalerReference scaler;
    std::vector<BYTE> src(64 * 64 * 4), dst(64 * 64 * 4);
    const UINT32 Y = IMAGE_SCALER_FORMAT_YUY2;
    const UINT32 B = IMAGE_SCALER_FORMAT_32BPP;
    const UINT32 T = IMAGE_SCALER_LAYOUT_TOP_DOWN;
    ASSERT_EQ(S_OK, scaler.p->Configure(Y, 8, 8, 16, T, Y, 4, 4, 8, T));
    EXPECT_EQ(S_OK, scaler.p->Process(src.data(), dst.data()));

    // Format, width, height, stride, layout: in, then out.
    struct
    {
        UINT32 a[10];
    } const kRefused[] = {
        {{Y, 8, 8, 16, T, B, 4, 4, 16, T}},  // formats differ
        {{3, 8, 8, 32, T, 3, 4, 4, 16, T}},  // unknown format
        {{Y, 8, 8, 16, 0, Y, 4, 4, 8, T}},   // layout flags other than top-down
        {{Y, 8, 8, 16, T, Y, 4, 4, 8, 2}},  {{Y, 0, 8, 16, T, Y, 4, 4, 8, T}},  // zero size
        {{Y, 7, 8, 14, T, Y, 4, 4, 8, T}},  // odd YUY2 input width
        {{Y, 8, 8, 15, T, Y, 4, 4, 8, T}},  // stride shorter than a row
        {{B, 8, 8, 32, T, B, 4, 4, 15, T}}, {{Y, 8, 8, 16, T, Y, 65536, 4, 0, T}},
    };
    for (const auto& r : kRefused)
    {
        const UINT32* a = r.a;
        EXPECT_EQ(E_INVALIDARG,
                  scaler.p->Configure(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]));
        EXPECT_EQ(kNotConfigured, scaler.p->Process(src.data(), dst.data()));
    }
}

TEST(BuiltInImageScaler, ProcessNeedsAConfigurationAndPointers)
{
    ScalerReference scaler;
    std::vector<BYTE> src(64), dst(64);
    EXPECT_EQ(kNotConfigured, scaler.p->Process(src.data(), dst.data()));
    ASSERT_EQ(S_OK, scaler.p->Configure(2, 2, 2, 8, 1, 2, 2, 2, 8, 1));
    EXPECT_EQ(E_INVALIDARG, scaler.p->Process(NULL, dst.data()));
    EXPECT_EQ(E_INVALIDARG, scaler.p->Process(src.data(), NULL));
}

// Setting B only changes the instructions: the bytes are the same.
TEST(BuiltInImageScaler, BothAccelerationSettingsGiveTheSameBytes)
{
    std::vector<BYTE> src = RandomPicture(320 * 240 * 2, 4);
    std::vector<BYTE> portable(200 * 150 * 2), fastest(portable.size());
    for (UINT32 nAcceleration : {0u, 1u})
    {
        ScalerReference scaler;
        ASSERT_EQ(S_OK, scaler.p->SetAcceleration(nAcceleration));
        ASSERT_EQ(S_OK, scaler.p->Configure(1, 320, 240, 640, 1, 1, 200, 150, 400, 1));
        ASSERT_EQ(S_OK,
                  scaler.p->Process(src.data(), nAcceleration ? fastest.data() : portable.data()));
    }
    EXPECT_TRUE(portable == fastest);
}

// Setting A picks the kernel's filter; the output is the kernel's.
TEST(BuiltInImageScaler, TheFilterSettingPicksTheKernelFilter)
{
    const ScalerFilter kFilters[] = {ScalerFilter::Automatic, ScalerFilter::Bilinear,
                                     ScalerFilter::Area};
    std::vector<BYTE> src = RandomPicture(96 * 64 * 4, 5);
    for (UINT32 nFilter = 0; nFilter < 3; ++nFilter)
    {
        ScalerReference scaler;
        ASSERT_EQ(S_OK, scaler.p->SetFilter(nFilter));
        std::vector<BYTE> viaComponent(30 * 20 * 4), viaKernel(viaComponent.size());
        ASSERT_EQ(S_OK, scaler.p->Configure(2, 96, 64, 384, 1, 2, 30, 20, 120, 1));
        ASSERT_EQ(S_OK, scaler.p->Process(src.data(), viaComponent.data()));

        ScalerPlan plan;
        ScalerGeometry geometry = {ScalerLayout::Packed32, 96, 64, 384, 30, 20, 120};
        ASSERT_EQ(ImageStatus::Ok,
                  plan.Configure(geometry, kFilters[nFilter], ScalerAcceleration::Avx2));
        ASSERT_EQ(ImageStatus::Ok, plan.Process(src.data(), viaKernel.data()));
        EXPECT_TRUE(viaComponent == viaKernel) << "filter " << nFilter;
    }
}
