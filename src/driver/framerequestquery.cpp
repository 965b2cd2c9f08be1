#include "driver/framerequestquery.h"

#include <tlhelp32.h>
#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

#include "capture/mfcapturebuilder.h"
#include "diagnostics/debuglog.h"
#include "driver/driverdiscovery.h"
#include "driver/drivercallthread.h"
#include "driver/driverio.h"
#include "driver/driverprotocol.h"
#include "host/hoststate.h"
#include "host/hostpipeline.h"
#include "pipeline/framecontrolmanager.h"
#include "placeholder/norealcamframemanager.h"

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 296, "the narrow process entry of a 32-bit process");
#endif

namespace
{
// The number of requests. A short answer is a failed read: its count would
// be whatever the buffer held before.
HRESULT ReadRequestCount(HANDLE hDevice, UINT32* pnCount)
{
    UINT32 nFrameCount = 0;
    DWORD dwBufferSizeReturned = 0;
    if (!CallDriver(hDevice, IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, &nFrameCount, sizeof(nFrameCount),
                    &nFrameCount, sizeof(nFrameCount), &dwBufferSizeReturned))
    {
        HRESULT hr = HResultFromFailedCall();
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) Failed (0x%08X)\n", hr);
        return hr;
    }
    if (dwBufferSizeReturned < sizeof(nFrameCount))
    {
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT): %u bytes returned of %u\n",
                 dwBufferSizeReturned, static_cast<UINT32>(sizeof(nFrameCount)));
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    LogPrint("Get Frame Info Count = %d\n", nFrameCount);
    if (nFrameCount > kMaxFrameRequestsPerQuery)
    {
        LogPrint("Frame info count %u is beyond belief; reading the first %u\n", nFrameCount,
                 kMaxFrameRequestsPerQuery);
        nFrameCount = kMaxFrameRequestsPerQuery;
    }
    *pnCount = nFrameCount;
    return S_OK;
}

// Every record, or none: a table missing one client would leave that client
// without pictures until the driver next signals, which it may never do.
HRESULT ReadRequestRecords(HANDLE hDevice, UINT32 nCount, std::vector<FrameInfo>* pRecords)
{
    for (UINT32 i = 0; i < nCount; ++i)
    {
        FrameInfo info = {};
        info.nIndex = i;
        DWORD dwBufferSizeReturned = 0;
        if (!CallDriver(hDevice, IOCTL_AVSHWS_GET_FRAME_INFO, &info, sizeof(info), &info,
                        sizeof(info), &dwBufferSizeReturned))
        {
            HRESULT hr = HResultFromFailedCall();
            LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO) Failed (0x%08X)\n", hr);
            return hr;
        }
        if (dwBufferSizeReturned < sizeof(info))
        {
            LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO): %u bytes returned of %u\n",
                     dwBufferSizeReturned, static_cast<UINT32>(sizeof(info)));
            return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        }
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO): OK\n");
        LogPrint("    Size %dx%d\n", info.nWidth, info.nHeight);
        LogPrint("    Frameduration %I64d\n", info.llFrameDuration);
        LogPrint("    Format %d, stride %d\n", info.nFormat, info.nStride);
        pRecords->push_back(info);
    }
    return S_OK;
}

void StopTheReadLoop()
{
    HANDLE hReadNextSample = OpenEventA(EVENT_ALL_ACCESS, TRUE, "ReadNextSampleEvent");
    if (hReadNextSample != NULL)
    {
        ResetEvent(hReadNextSample);
        CloseHandle(hReadNextSample);
    }
}

size_t CountServableEntries(FrameControlManager* pPipeline)
{
    if (pPipeline == NULL)
        return 0;
    return pPipeline->GetOutputFormatCount(COLOR_FORMAT_YUY2) +
           pPipeline->GetOutputFormatCount(COLOR_FORMAT_MJPG) +
           pPipeline->GetOutputFormatCount(COLOR_FORMAT_NV12);
}

// Refills the table from complete records; TRUE when a client is "te.exe".
BOOLEAN FillOutputTable(FrameControlManager* pPipeline, const std::vector<FrameInfo>& records)
{
    BOOLEAN bTeExe = FALSE;
    if (pPipeline != NULL)
        pPipeline->ClearOutputFormats();
    for (const FrameInfo& info : records)
    {
        if (pPipeline != NULL)
            pPipeline->AddOutputFormat(static_cast<_COLOR_FORMAT>(info.nFormat), info.nWidth,
                                       info.nHeight);

        char szAPName[MAX_PATH] = {};
        GetProcessNameByID(info.dwProcessId, szAPName);
        LogPrint("use app name is %s", szAPName);
        if (IsAPNameTeEXE(szAPName))
        {
            LogPrintW(L"te.exe use Driver");
            if (gpNoRealCamMgr != NULL)
                gpNoRealCamMgr->SetFormat(info.nFormat, info.nWidth, info.nHeight);
            bTeExe = TRUE;
        }
    }
    return bTeExe;
}

FRAME_REQUEST_READ ReadRequests(HRESULT* phr, BOOLEAN* pbNeedStartCapture,
                                BOOLEAN* pbNeedEnterSpecialMode)
{
    *phr = E_FAIL;
    if (gbSystemSuspended)
        return REQUESTS_SUSPENDED;

    HANDLE hDevice = OpenFoundDriverDevice();
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        *phr = HResultFromFailedCall();
        LogPrint("CreateFile Failed (0x%08X)\n", *phr);
        return REQUESTS_FAILED;
    }
    LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(hDevice));

    // Not "no clients" when a request fails: live clients would lose the
    // camera. Like a failed open, the table and the read loop stay as they
    // were.
    UINT32 nFrameCount = 0;
    std::vector<FrameInfo> records;
    HRESULT hr = ReadRequestCount(hDevice, &nFrameCount);
    if (SUCCEEDED(hr))
        hr = ReadRequestRecords(hDevice, nFrameCount, &records);
    gDriverIo.pfnCloseHandle(hDevice);
    if (FAILED(hr))
    {
        *phr = hr;
        return REQUESTS_FAILED;
    }

    FrameControlManager* pPipeline = GetHostPipeline();
    if (nFrameCount == 0)
        StopTheReadLoop();
    *pbNeedEnterSpecialMode = FillOutputTable(pPipeline, records);
    if (nFrameCount == 0)
        return REQUESTS_NONE;

    // Records of unknown formats or of sizes no picture can have leave
    // nothing to serve: the camera would run for no one.
    *pbNeedStartCapture = CountServableEntries(pPipeline) > 0 &&
                          (gpCaptureBuilder == NULL || !gpCaptureBuilder->IsStreaming());
    *phr = S_OK;
    return REQUESTS_READ;
}
}  // namespace

HRESULT QueryFrameInfo(BOOLEAN* pbNeedStartCapture, BOOLEAN* pbNeedEnterSpecialMode,
                       FRAME_REQUEST_READ* peRead)
{
    *pbNeedEnterSpecialMode = FALSE;
    *pbNeedStartCapture = FALSE;
    HRESULT hr = E_FAIL;
    FRAME_REQUEST_READ eRead = ReadRequests(&hr, pbNeedStartCapture, pbNeedEnterSpecialMode);
    if (peRead != NULL)
        *peRead = eRead;
    return hr;
}

HRESULT GetProcessNameByID(DWORD dwProcessId, char* pszName)
{
    LogPrint("[GetProcessNameByID] process ID %d", dwProcessId);
    if (dwProcessId == 0 || pszName == NULL)
        return E_INVALIDARG;

    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return E_FAIL;

    PROCESSENTRY32 processInfo = {};
    processInfo.dwSize = sizeof(processInfo);
    // A failing first entry does not end the walk: the next ones may still
    // be read.
    if (Process32First(hSnapshot, &processInfo))
    {
        LogPrint("[GetProcessNameByID] process ID %d and name %s", processInfo.th32ProcessID,
                 processInfo.szExeFile);
        if (processInfo.th32ProcessID == dwProcessId)
        {
            CloseHandle(hSnapshot);
            strcpy_s(pszName, MAX_PATH, processInfo.szExeFile);
            return S_OK;
        }
    }
    while (Process32Next(hSnapshot, &processInfo))
    {
        LogPrint("[GetProcessNameByID] process ID %d and name %s", processInfo.th32ProcessID,
                 processInfo.szExeFile);
        if (processInfo.th32ProcessID == dwProcessId)
        {
            LogPrint("[GetProcessNameByID] find match");
            CloseHandle(hSnapshot);
            strcpy_s(pszName, MAX_PATH, processInfo.szExeFile);
            return S_OK;
        }
    }
    CloseHandle(hSnapshot);
    return S_OK;
}

BOOL IsAPNameTeEXE(const char* pszName)
{
    LogPrint("[IsAPNameTeEXE] app name is %s", pszName);
    std::string strAPName(pszName);
    for (char& c : strAPName)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return strAPName == "te.exe";
}
