#include "driver/framerequestquery.h"

#include <tlhelp32.h>
#include <ctype.h>
#include <string.h>

#include <string>

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

HRESULT QueryFrameInfo(BOOLEAN* pbNeedStartCapture, BOOLEAN* pbNeedEnterSpecialMode)
{
    *pbNeedEnterSpecialMode = FALSE;
    if (gbSystemSuspended)
        return E_FAIL;

    HANDLE hDevice = OpenFoundDriverDevice();
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        HRESULT hr = HResultFromFailedCall();
        LogPrint("CreateFile Failed (0x%08X)\n", hr);
        return hr;
    }
    LogPrint("CreateFile OK: 0x%08X\n", HandleToULong(hDevice));

    UINT32 nFrameCount = 0;
    DWORD dwBufferSizeReturned = 0;
    if (!CallDriver(hDevice, IOCTL_AVSHWS_GET_FRAME_INFO_COUNT, &nFrameCount, sizeof(nFrameCount),
                    &nFrameCount, sizeof(nFrameCount), &dwBufferSizeReturned))
    {
        // Not "no clients": live clients would lose the camera. Like a failed
        // open, the table and the read loop stay as they were.
        HRESULT hr = HResultFromFailedCall();
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO_COUNT) Failed (0x%08X)\n", hr);
        gDriverIo.pfnCloseHandle(hDevice);
        return hr;
    }
    LogPrint("Get Frame Info Count = %d\n", nFrameCount);
    if (nFrameCount > kMaxFrameRequestsPerQuery)
    {
        LogPrint("Frame info count %u is beyond belief; reading the first %u\n", nFrameCount,
                 kMaxFrameRequestsPerQuery);
        nFrameCount = kMaxFrameRequestsPerQuery;
    }

    FrameControlManager* pPipeline = GetHostPipeline();
    *pbNeedStartCapture = FALSE;
    if (nFrameCount == 0)
    {
        HANDLE hReadNextSample = OpenEventA(EVENT_ALL_ACCESS, TRUE, "ReadNextSampleEvent");
        if (hReadNextSample != NULL)
        {
            ResetEvent(hReadNextSample);
            CloseHandle(hReadNextSample);
        }
    }
    else if (gpCaptureBuilder == NULL || !gpCaptureBuilder->IsStreaming())
    {
        *pbNeedStartCapture = TRUE;
    }
    if (pPipeline != NULL)
        pPipeline->ClearOutputFormats();

    HRESULT hr = E_FAIL;
    for (UINT32 i = 0; i < nFrameCount; ++i)
    {
        FrameInfo info = {};
        info.nIndex = i;
        if (!CallDriver(hDevice, IOCTL_AVSHWS_GET_FRAME_INFO, &info, sizeof(info), &info,
                        sizeof(info), &dwBufferSizeReturned))
        {
            hr = HResultFromFailedCall();
            LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO) Failed (0x%08X)\n", hr);
            continue;
        }
        LogPrint("DeviceIoControl (IOCTL_AVSHWS_GET_FRAME_INFO): OK\n");
        LogPrint("    Size %dx%d\n", info.nWidth, info.nHeight);
        LogPrint("    Frameduration %I64d\n", info.llFrameDuration);
        LogPrint("    Format %d, stride %d\n", info.nFormat, info.nStride);
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
            *pbNeedEnterSpecialMode = TRUE;
        }
        hr = S_OK;
    }
    gDriverIo.pfnCloseHandle(hDevice);
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
