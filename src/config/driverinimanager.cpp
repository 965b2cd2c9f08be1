#include "config/driverinimanager.h"

#include <shlwapi.h>
#include <wchar.h>

#include "host/hoststate.h"

namespace
{
const wchar_t kSection[] = L"Lumetra";
const wchar_t kFileName[] = L"DriverSetting.ini";
}  // namespace

DriverIniManager::DriverIniManager(int nMode) : m_nMode(nMode)
{
    m_wszFilePath[0] = L'\0';
    if (m_nMode == 0)
    {
        wchar_t szIniPath[MAX_PATH] = {};
        GetModuleFileNameW(ghInstance, szIniPath, MAX_PATH);
        PathRemoveFileSpecW(szIniPath);
        PathAppendW(szIniPath, kFileName);
        wcscpy_s(m_wszFilePath, MAX_PATH, szIniPath);
    }
}

HRESULT STDMETHODCALLTYPE DriverIniManager::ReadSetting(int nKey, wchar_t* pwszValue)
{
    switch (nKey)
    {
    case INI_KEY_DRIVER_NAME:
        GetPrivateProfileStringW(kSection, L"DriverName", kDefaultDriverName, pwszValue, MAX_PATH,
                                 m_wszFilePath);
        break;
    case INI_KEY_MUTEX_NAME:
        GetPrivateProfileStringW(kSection, L"MutexName", kDefaultMutexName, pwszValue, MAX_PATH,
                                 m_wszFilePath);
        break;
    default:
        break;
    }
    return S_OK;
}
