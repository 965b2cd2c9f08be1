// Time of one 1280 x 720 YUY2 camera frame through the delivery thread to
// four requests (YUY2 1280 x 720 and 640 x 480, NV12 1280 x 720 and 640 x 480)
// and the simulated driver, with the split of that time by step. The resize
// and conversion steps run on warm buffers, while the delivery takes fresh
// areas for every entry (records, scratch and crop buffers) and each send a
// fresh record; the fresh-memory lines give what committing, touching and
// freeing pages costs here, so the pipeline's own work can be told from the
// machine's page faults. Run under Wine by scripts/bench-delivery.sh;
// figures are medians of many frames.
#include <windows.h>
#include <mfapi.h>

#include <algorithm>
#include <stdio.h>
#include <vector>

#include "diagnostics/debuglog.h"
#include "driver/driverdiscovery.h"
#include "driver/driverio.h"
#include "image/yuy2tonv12.h"
#include "pipeline/framecontrolmanager.h"
#include "simulateddriver.h"

namespace
{
const char kDevicePath[] = "\\\\?\\root#bench#0000#{delivery}";
const int kFrames = 150;

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds to commit cbSize bytes of fresh pages, write one byte of each
// and free them: the page faults a fresh area of that size costs.
double FreshPagesMs(SIZE_T cbSize, DWORD dwPageSize)
{
    double t0 = NowMs();
    BYTE* p =
        static_cast<BYTE*>(VirtualAlloc(NULL, cbSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (p == NULL)
        return 0.0;
    for (SIZE_T i = 0; i < cbSize; i += dwPageSize)
        p[i] = 1;
    VirtualFree(p, 0, MEM_RELEASE);
    return NowMs() - t0;
}

std::vector<BYTE> TestPicture(UINT32 nWidth, UINT32 nHeight)
{
    std::vector<BYTE> picture(static_cast<size_t>(nWidth) * nHeight * 2);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<BYTE>((i * 7) ^ (i >> 11));
    return picture;
}

IMFSample* SampleOf(const std::vector<BYTE>& bytes)
{
    IMFSample* pSample = NULL;
    IMFMediaBuffer* pBuffer = NULL;
    MFCreateSample(&pSample);
    MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), &pBuffer);
    BYTE* pData = NULL;
    pBuffer->Lock(&pData, NULL, NULL);
    memcpy(pData, bytes.data(), bytes.size());
    pBuffer->Unlock();
    pBuffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    pSample->AddBuffer(pBuffer);
    pBuffer->Release();
    return pSample;
}
}  // namespace

int main()
{
    MFStartup(MF_VERSION, MFSTARTUP_FULL);
    SimulatedDriver driver(kDevicePath);
    driver.SetFrameRetention(0);
    driver.Install();
    strcpy_s(gszDevicePath, sizeof(gszDevicePath), kDevicePath);
    gbDevicePathFound = TRUE;

    HANDLE hReadNextSample = CreateEventW(NULL, TRUE, TRUE, NULL);
    FrameControlManager pipeline(hReadNextSample);
    const std::vector<BYTE> picture = TestPicture(1280, 720);

    // The steps one by one, on this thread.
    std::vector<BYTE> resized(1280 * 720 * 2);
    std::vector<BYTE> nv12(1280 * 720 * 3 / 2);
    std::vector<double> resize720, resize480, convert720, convert480, send720;
    HANDLE hDevice = OpenDevicePath(kDevicePath);
    for (int i = 0; i < kFrames; ++i)
    {
        double t0 = NowMs();
        pipeline.ResizeFrame(picture.data(), 1280, 720, resized.data(), 1280, 720);
        double t1 = NowMs();
        pipeline.ResizeFrame(picture.data(), 1280, 720, resized.data(), 640, 480);
        double t2 = NowMs();
        ConvertYUY2toNV12(picture.data(), 1280, 720, 2560, nv12.data(), 1280, 720, 1280);
        double t3 = NowMs();
        ConvertYUY2toNV12(picture.data(), 640, 480, 1280, nv12.data(), 640, 480, 640);
        double t4 = NowMs();
        pipeline.SendFrame(hDevice, COLOR_FORMAT_YUY2, 1280, 720, picture.data(),
                           static_cast<UINT32>(picture.size()));
        double t5 = NowMs();
        resize720.push_back(t1 - t0);
        resize480.push_back(t2 - t1);
        convert720.push_back(t3 - t2);
        convert480.push_back(t4 - t3);
        send720.push_back(t5 - t4);
    }
    gDriverIo.pfnCloseHandle(hDevice);

    // Fresh memory: the four records the delivery sends (header and picture,
    // each in pages of its own) and one warm copy of the largest picture.
    SYSTEM_INFO systemInfo;
    GetSystemInfo(&systemInfo);
    const SIZE_T kRecordBytes[] = {12 + 1280 * 720 * 2, 12 + 640 * 480 * 2, 12 + 1280 * 720 * 3 / 2,
                                   12 + 640 * 480 * 3 / 2};
    SIZE_T cbFourRecords = 0;
    for (SIZE_T cb : kRecordBytes)
        cbFourRecords += cb;
    std::vector<double> freshRecord720, freshFourRecords, warmCopy720;
    std::vector<BYTE> warm(picture.size());
    for (int i = 0; i < kFrames; ++i)
    {
        freshRecord720.push_back(FreshPagesMs(kRecordBytes[0], systemInfo.dwPageSize));
        double dFour = 0.0;
        for (SIZE_T cb : kRecordBytes)
            dFour += FreshPagesMs(cb, systemInfo.dwPageSize);
        freshFourRecords.push_back(dFour);
        double t0 = NowMs();
        memcpy(warm.data(), picture.data(), picture.size());
        warmCopy720.push_back(NowMs() - t0);
    }

    // One log line, as every step writes several per frame.
    std::vector<double> logLine;
    for (int i = 0; i < kFrames; ++i)
    {
        double t0 = NowMs();
        LogPrint("Frame header: format=%d, size: %d x %d\n", 2, 1280, 720);
        logLine.push_back(NowMs() - t0);
    }

    // The whole delivery through the queue and the delivery thread.
    pipeline.AddOutputFormat(COLOR_FORMAT_YUY2, 1280, 720);
    pipeline.AddOutputFormat(COLOR_FORMAT_YUY2, 640, 480);
    pipeline.AddOutputFormat(COLOR_FORMAT_NV12, 1280, 720);
    pipeline.AddOutputFormat(COLOR_FORMAT_NV12, 640, 480);
    pipeline.StartDeliveryThread();
    IMFSample* pSample = SampleOf(picture);
    std::vector<double> whole;
    for (int i = 0; i < kFrames; ++i)
    {
        size_t nBefore = driver.GetFrameCount();
        double t0 = NowMs();
        pipeline.InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, 1280, 720, pSample));
        driver.WaitForFrameCount(nBefore + 4, 5000);
        whole.push_back(NowMs() - t0);
    }
    pipeline.StopDeliveryThread();
    pSample->Release();

    printf(
        "One 1280x720 YUY2 frame to {YUY2 1280x720, YUY2 640x480, NV12 1280x720, NV12 640x480}\n");
    printf("median of %d frames, milliseconds (budget at 30 fps: 33.3; target: 8)\n\n", kFrames);
    printf("  whole delivery (queue to driver, 4 sends) %8.3f\n", Median(whole));
    printf("  resize 1280x720 -> 1280x720 (1:1 pass)    %8.3f  x2 (YUY2 and NV12 entries)\n",
           Median(resize720));
    printf("  resize 1280x720 -> 640x480                %8.3f  x2\n", Median(resize480));
    printf("  convert to NV12 1280x720                  %8.3f\n", Median(convert720));
    printf("  convert to NV12 640x480                   %8.3f\n", Median(convert480));
    printf(
        "  record copy + driver call, 1280x720 YUY2  %8.3f  (per send; 4 sends of smaller pictures "
        "follow)\n",
        Median(send720));
    printf("  one debug log line                        %8.3f\n", Median(logLine));
    printf("\nFresh memory on this machine (resize and conversion above ran on warm buffers)\n");
    printf("  commit, touch, free one 1280x720 YUY2 record %8.3f  (%u pages of %u bytes)\n",
           Median(freshRecord720),
           static_cast<unsigned>((kRecordBytes[0] + systemInfo.dwPageSize - 1) /
                                 systemInfo.dwPageSize),
           static_cast<unsigned>(systemInfo.dwPageSize));
    printf("  the same for the four records of a frame     %8.3f  (%.1f MB)\n",
           Median(freshFourRecords), cbFourRecords / 1048576.0);
    printf("  copy of a 1280x720 YUY2 picture, warm        %8.3f\n", Median(warmCopy720));
    driver.Uninstall();
    CloseHandle(hReadNextSample);
    MFShutdown();
    return 0;
}
