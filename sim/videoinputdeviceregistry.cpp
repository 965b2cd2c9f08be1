#include "videoinputdeviceregistry.h"

#include <windows.h>

namespace
{
const wchar_t kInstanceRoot[] = L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\";

bool SetString(HKEY hKey, const wchar_t* pwszName, const std::wstring& value)
{
    DWORD cbValue = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(hKey, pwszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          cbValue) == ERROR_SUCCESS;
}
}  // namespace

ScopedVideoInputDevice::ScopedVideoInputDevice(const std::wstring& instanceName,
                                               const std::wstring& friendlyName,
                                               const std::wstring& devicePath)
    : m_keyPath(kInstanceRoot + instanceName), m_bRegistered(false)
{
    HKEY hKey = NULL;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, m_keyPath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                        &hKey, NULL) != ERROR_SUCCESS)
    {
        return;
    }
    m_bRegistered = SetString(hKey, L"FriendlyName", friendlyName) &&
                    SetString(hKey, L"DevicePath", devicePath);
    RegCloseKey(hKey);
}

ScopedVideoInputDevice::~ScopedVideoInputDevice()
{
    RegDeleteKeyW(HKEY_CLASSES_ROOT, m_keyPath.c_str());
}
