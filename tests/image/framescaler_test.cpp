#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "debugoutputcapture.h"
#include "image/framescaler.h"
#include "image/scalerkernel.h"
#include "imagetestsupport.h"

namespace
{
const wchar_t kClassKey[] = L"CLSID\\{57BE4C11-589A-45E0-BF76-84CF28DBCF92}";

// COM initialised on this thread for the scope.
class ScopedCom
{
public:
    ScopedCom() { m_hr = CoInitializeEx(NULL, COINIT_MULTITHREADED); }
    ~ScopedCom()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// A registration of the component's class whose server cannot be loaded,
// removed again when the object goes.
class ScopedBrokenRegistration
{
public:
    ScopedBrokenRegistration()
    {
        std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
        HKEY hKey = NULL;
        m_lResult = RegCreateKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, NULL, 0, KEY_WRITE, NULL,
                                    &hKey, NULL);
        if (m_lResult == ERROR_SUCCESS)
        {
            const wchar_t kPath[] = L"C:\\vcam-missing\\imagescaler.dll";
            const wchar_t kModel[] = L"Both";
            RegSetValueExW(hKey, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(kPath),
                           sizeof(kPath));
            RegSetValueExW(hKey, L"ThreadingModel", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(kModel), sizeof(kModel));
            RegCloseKey(hKey);
        }
    }
    ~ScopedBrokenRegistration() { Remove(); }
    void Remove() { RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey); }
    bool Made() const { return m_lResult == ERROR_SUCCESS; }

private:
    LONG m_lResult;
};
}  // namespace

TEST(FrameScaler, KnowsTwoFormats)
{
    UINT32 n = 0;
    EXPECT_EQ(S_OK, FrameScaler::GetBytesPerPixel(2, &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(S_OK, FrameScaler::GetBytesPerPixel(1, &n));
    EXPECT_EQ(4u, n);
    EXPECT_EQ(S_OK, FrameScaler::GetScalerFormat(2, &n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(S_OK, FrameScaler::GetScalerFormat(1, &n));
    EXPECT_EQ(2u, n);
    for (UINT32 nFormat : {0u, 3u, 4u, 0xFFFFFFFFu})
    {
        EXPECT_EQ(static_cast<HRESULT>(0x80070057), FrameScaler::GetBytesPerPixel(nFormat, &n));
        EXPECT_EQ(E_INVALIDARG, FrameScaler::GetScalerFormat(nFormat, &n));
    }
}

TEST(FrameScaler, CropCopiesTheRegionRowByRowOrAsOneBlock)
{
    FrameScaler scaler;
    std::vector<BYTE> src = NumberedPicture(20 * 10 * 2);
    std::vector<BYTE> narrow(8 * 4 * 2);
    ASSERT_EQ(S_OK, scaler.Crop(2, src.data(), 20, 10, 6, 3, narrow.data(), 8, 4));
    for (UINT32 y = 0; y < 4; ++y)
    {
        for (UINT32 b = 0; b < 16; ++b)
            ASSERT_EQ(src[(y + 3) * 40 + 12 + b], narrow[y * 16 + b]);
    }
    std::vector<BYTE> rows(20 * 5 * 4);
    std::vector<BYTE> pixels = NumberedPicture(20 * 10 * 4);
    ASSERT_EQ(S_OK, scaler.Crop(1, pixels.data(), 20, 10, 0, 5, rows.data(), 20, 5));
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), pixels.begin() + 5 * 80));
}

TEST(FrameScaler, CropRefusesRegionsOutsideTheSourceAndCopiesNothing)
{
    FrameScaler scaler;
    std::vector<BYTE> src = NumberedPicture(16 * 8 * 2);
    std::vector<BYTE> dst(16 * 8 * 2, 0x77);
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(2, src.data(), 16, 8, 2, 0, dst.data(), 15, 8));
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(2, src.data(), 16, 8, 0, 1, dst.data(), 16, 8));
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(2, src.data(), 16, 8, 0xFFFFFFF0u, 0, dst.data(), 0x20, 8));
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(2, NULL, 16, 8, 0, 0, dst.data(), 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(2, src.data(), 16, 8, 0, 0, NULL, 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Crop(3, src.data(), 16, 8, 0, 0, dst.data(), 4, 4));
    for (BYTE b : dst)
        ASSERT_EQ(0x77, b);
}

TEST(FrameScaler, ScaleRefusesBadArgumentsBeforeMakingTheComponent)
{
    DebugOutputCapture capture;
    FrameScaler scaler;
    std::vector<BYTE> src(64), dst(64);
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(2, NULL, 4, 4, 2, dst.data(), 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(2, src.data(), 4, 4, 2, NULL, 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(4, src.data(), 4, 4, 2, dst.data(), 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(2, src.data(), 4, 4, 3, dst.data(), 4, 4));
    // A stride of bytes a pixel times width that overflows 32 bits.
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(2, src.data(), 0x80000000u, 1, 2, dst.data(), 4, 4));
    EXPECT_EQ(E_INVALIDARG, scaler.Scale(1, src.data(), 4, 4, 1, dst.data(), 0x40000000u, 1));
    EXPECT_EQ(0u, capture.Count("FrameScaler:"));
}

// The delivery thread never initialises COM: the component's creation
// fails with CO_E_NOTINITIALIZED and the built-in one serves.
TEST(FrameScaler, OnAThreadWithoutComTheBuiltInComponentServes)
{
    DebugOutputCapture capture;
    std::vector<BYTE> src = NumberedPicture(64 * 36 * 2);
    std::vector<BYTE> dst(32 * 18 * 2);
    HRESULT hr = E_FAIL;
    std::thread delivery(
        [&]
        {
            FrameScaler scaler;
            hr = scaler.Scale(2, src.data(), 64, 36, 2, dst.data(), 32, 18);
        });
    delivery.join();
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(1u,
              capture.Count("FrameScaler: built-in image scaler (CoCreateInstance 0x800401F0)\n"));
    EXPECT_TRUE(dst == KernelScale(ScalerLayout::Yuy2, src, 64, 36, 32, 18));
}

TEST(FrameScaler, WithComButNoRegisteredClassTheBuiltInComponentServes)
{
    ScopedCom com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    DebugOutputCapture capture;
    FrameScaler scaler;
    std::vector<BYTE> src = NumberedPicture(40 * 30 * 4);
    std::vector<BYTE> dst(60 * 45 * 4);
    EXPECT_EQ(S_OK, scaler.Scale(1, src.data(), 40, 30, 1, dst.data(), 60, 45));
    EXPECT_EQ(1u,
              capture.Count("FrameScaler: built-in image scaler (CoCreateInstance 0x80040154)\n"));
    EXPECT_TRUE(dst == KernelScale(ScalerLayout::Packed32, src, 40, 30, 60, 45));
}

// A registered component that cannot be created: the built-in one serves
// from the first call, and the creation is not tried on every frame again.
TEST(FrameScaler, AFailingCreationFallsBackToTheBuiltInComponentOnce)
{
    ScopedCom com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    ScopedBrokenRegistration registration;
    ASSERT_TRUE(registration.Made());
    IUnknown* pUnknown = NULL;
    const HRESULT hrCreate =
        CoCreateInstance(CLSID_ImageScaler, NULL, CLSCTX_INPROC_SERVER, IID_IImageScaler,
                         reinterpret_cast<void**>(&pUnknown));
    ASSERT_TRUE(FAILED(hrCreate));
    ASSERT_NE(REGDB_E_CLASSNOTREG, hrCreate);
    ASSERT_NE(CO_E_NOTINITIALIZED, hrCreate);

    DebugOutputCapture capture;
    FrameScaler scaler;
    std::vector<BYTE> src = NumberedPicture(8 * 8 * 2);
    for (int nFrame = 0; nFrame < 3; ++nFrame)
    {
        std::vector<BYTE> dst(4 * 4 * 2, 0x5A);
        ASSERT_EQ(S_OK, scaler.Scale(2, src.data(), 8, 8, 2, dst.data(), 4, 4));
        EXPECT_TRUE(dst == KernelScale(ScalerLayout::Yuy2, src, 8, 8, 4, 4));
    }
    char szLine[96];
    sprintf_s(szLine, sizeof(szLine),
              "FrameScaler: built-in image scaler (CoCreateInstance 0x%08X)\n",
              static_cast<unsigned>(hrCreate));
    EXPECT_EQ(1u, capture.Count(szLine));
    EXPECT_EQ(1u, capture.Count("FrameScaler:"));
}

// One component, configured anew for each call, serves every size in turn.
TEST(FrameScaler, OneComponentServesEverySizeInTurn)
{
    DebugOutputCapture capture;
    FrameScaler scaler;
    std::vector<BYTE> src = NumberedPicture(48 * 32 * 2);
    const UINT32 kSizes[][2] = {{24, 16}, {96, 64}, {48, 32}, {24, 16}, {30, 7}};
    for (const auto& size : kSizes)
    {
        std::vector<BYTE> dst(size[0] * size[1] * 2);
        ASSERT_EQ(S_OK, scaler.Scale(2, src.data(), 48, 32, 2, dst.data(), size[0], size[1]));
        EXPECT_TRUE(dst == KernelScale(ScalerLayout::Yuy2, src, 48, 32, size[0], size[1]))
            << size[0] << "x" << size[1];
    }
    EXPECT_EQ(1u, capture.Count("FrameScaler:"));
}
