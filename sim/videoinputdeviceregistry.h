#pragma once

#include <string>

// Lists a device among the system's video input devices for as long as the
// object lives, the way the system device enumerator finds them: a key under
// HKCR\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance with the string
// values "FriendlyName" and "DevicePath".
class ScopedVideoInputDevice
{
public:
    ScopedVideoInputDevice(const std::wstring& instanceName, const std::wstring& friendlyName,
                           const std::wstring& devicePath);
    ~ScopedVideoInputDevice();

    bool IsRegistered() const { return m_bRegistered; }

private:
    ScopedVideoInputDevice(const ScopedVideoInputDevice&);
    ScopedVideoInputDevice& operator=(const ScopedVideoInputDevice&);

    std::wstring m_keyPath;
    bool m_bRegistered;
};
