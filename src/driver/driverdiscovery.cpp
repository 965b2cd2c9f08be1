#include "driver/driverdiscovery.h"

#include <objbase.h>
#include <oleauto.h>
#include <strmif.h>
#include <uuids.h>
#include <wrl/client.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "config/driverinimanager.h"
#include "diagnostics/ansistring.h"
#include "diagnostics/debuglog.h"
#include "diagnostics/survivinglock.h"
#include "driver/driverio.h"

volatile BOOL gbDevicePathFound = FALSE;
char gszDevicePath[MAX_PATH] = {};
wchar_t gwszGlobalMutexName[MAX_PATH] = {};

namespace
{
// Discovery may run on the main thread and the worker at once; the path must
// be complete before the flag is published and never rewritten after. The
// worker, which may be ended by force, discovers under it.
SurvivingLock gDiscoveryLock;

const wchar_t kGlobalMutexPrefix[] = L"Global\\";

HRESULT ReadMatchingDevicePath(IPropertyBag* pPropBag, char* pszDevicePath, DWORD* pdwSize)
{
    VARIANT varPath;
    VariantInit(&varPath);
    HRESULT hr = pPropBag->Read(L"DevicePath", &varPath, NULL);
    if (SUCCEEDED(hr))
    {
        if (varPath.vt != VT_BSTR || varPath.bstrVal == NULL)
        {
            hr = E_FAIL;
        }
        else
        {
            DWORD dwNeeded = static_cast<DWORD>(wcslen(varPath.bstrVal)) + 1;
            if (dwNeeded > *pdwSize)
            {
                *pdwSize = dwNeeded;
                hr = E_INVALIDARG;
            }
            else if (WideCharToMultiByte(CP_ACP, 0, varPath.bstrVal, -1, pszDevicePath,
                                         static_cast<int>(*pdwSize), NULL, NULL) == 0)
            {
                // A path whose ANSI form outgrows the buffer is not usable.
                hr = E_INVALIDARG;
            }
            else
            {
                LogPrint("    DevicePath: %s", pszDevicePath);
                hr = S_OK;
            }
        }
    }
    VariantClear(&varPath);
    return hr;
}
}  // namespace

HRESULT FindDriverDevicePath(const char* pszDriverName, char* pszDevicePath, DWORD* pdwSize)
{
    Microsoft::WRL::ComPtr<ICreateDevEnum> pSysDevEnum;
    HRESULT hr =
        CoCreateInstance(CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         reinterpret_cast<void**>(pSysDevEnum.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;

    BOOL bFound = FALSE;
    Microsoft::WRL::ComPtr<IEnumMoniker> pEnumCat;
    hr = pSysDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pEnumCat, 0);
    if (hr == S_OK)
    {
        while (!bFound)
        {
            Microsoft::WRL::ComPtr<IMoniker> pMoniker;
            ULONG cFetched = 0;
            if (pEnumCat->Next(1, &pMoniker, &cFetched) != S_OK)
                break;

            Microsoft::WRL::ComPtr<IPropertyBag> pPropBag;
            if (SUCCEEDED(pMoniker->BindToStorage(
                    NULL, NULL, IID_IPropertyBag,
                    reinterpret_cast<void**>(pPropBag.ReleaseAndGetAddressOf()))))
            {
                VARIANT varName;
                VariantInit(&varName);
                if (SUCCEEDED(pPropBag->Read(L"FriendlyName", &varName, NULL)) &&
                    varName.vt == VT_BSTR)
                {
                    char* pszName = NewAnsiString(varName.bstrVal);
                    // Compared in the driver name's own encoding (UTF-8), so
                    // that a name beyond ASCII matches the same name too.
                    char* pszUtf8Name = NewMultiByteString(varName.bstrVal, CP_UTF8);
                    if (pszName != NULL && pszUtf8Name != NULL)
                    {
                        LogPrint("    DeviceName: %s\n", pszName);
                        if (strcmp(pszUtf8Name, pszDriverName) == 0)
                        {
                            bFound = TRUE;
                            hr = ReadMatchingDevicePath(pPropBag.Get(), pszDevicePath, pdwSize);
                        }
                    }
                    free(pszName);
                    free(pszUtf8Name);
                }
                VariantClear(&varName);
            }
        }
    }

    if (!bFound)
        hr = E_FAIL;
    return hr;
}

BOOL IsDevicePathFound()
{
    // A full barrier: the path read after this is the published one.
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&gbDevicePathFound), 0, 0);
}

HANDLE OpenDriverDevice()
{
    if (!IsDevicePathFound())
    {
        // Held across the device enumeration and the settings file; neither
        // waits for a thread of this process.
        SurvivingLockGuard guard(gDiscoveryLock);
        if (!IsDevicePathFound())
        {
            DWORD dwStringSize = MAX_PATH;
            wchar_t wszDriverName[MAX_PATH] = {};
            char szDriverName[MAX_PATH] = {};

            DriverIniManager iniDriverSettingManager(0);
            iniDriverSettingManager.ReadSetting(INI_KEY_DRIVER_NAME, wszDriverName);
            if (WideCharToMultiByte(CP_UTF8, 0, wszDriverName, -1, szDriverName, MAX_PATH, NULL,
                                    NULL) == 0)
            {
                // A name whose UTF-8 form does not fit matches no device; a
                // cut-off prefix must not match one either.
                szDriverName[0] = '\0';
            }

            // Discover into a private buffer so a half-written path is never
            // visible to the threads that read gszDevicePath without a lock.
            char szFoundPath[MAX_PATH] = {};
            if (SUCCEEDED(FindDriverDevicePath(szDriverName, szFoundPath, &dwStringSize)))
            {
                LogPrint("Device path is found!\n");
                memcpy(gszDevicePath, szFoundPath, sizeof(gszDevicePath));
                InterlockedExchange(reinterpret_cast<volatile LONG*>(&gbDevicePathFound), TRUE);
            }
        }
    }
    return OpenFoundDriverDevice();
}

HANDLE OpenFoundDriverDevice()
{
    if (!IsDevicePathFound())
        return INVALID_HANDLE_VALUE;
    return OpenDevicePath(gszDevicePath);
}

void BuildGlobalMutexName()
{
    wchar_t wszMutexName[MAX_PATH] = {};
    DriverIniManager mgrMutex(0);
    mgrMutex.ReadSetting(INI_KEY_MUTEX_NAME, wszMutexName);
    // A name whose Global form does not fit would overflow the buffer (and
    // end the process in the runtime's check) or leave an unnamed mutex that
    // never blocks.
    const size_t cchPrefix = wcslen(kGlobalMutexPrefix);
    if (cchPrefix + wcslen(wszMutexName) >= MAX_PATH)
    {
        LogPrint(
            "BuildGlobalMutexName (): MutexName of %u characters is too long for \"Global\\\"; "
            "using the default name\n",
            static_cast<unsigned>(wcslen(wszMutexName)));
        wcscpy_s(wszMutexName, MAX_PATH, kDefaultMutexName);
    }
    // The system refuses an object name that is empty or holds a backslash
    // (after "Global\" it would name a namespace): CreateMutexW would fail,
    // the mutex would read as held by another process, and the worker would
    // never start.
    if (wszMutexName[0] == L'\0' || wcschr(wszMutexName, L'\\') != NULL)
    {
        LogPrintW(
            L"BuildGlobalMutexName (): MutexName \"%ls\" is refused by the system; "
            L"using the default name\n",
            wszMutexName);
        wcscpy_s(wszMutexName, MAX_PATH, kDefaultMutexName);
    }
    swprintf_s(gwszGlobalMutexName, MAX_PATH, L"%s%s", kGlobalMutexPrefix, wszMutexName);
}
