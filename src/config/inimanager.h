#pragma once

#include <windows.h>

// Keys of IIniManager::ReadSetting.
enum
{
    INI_KEY_DRIVER_NAME = 0,
    INI_KEY_MUTEX_NAME = 1,
};

// Reads one named setting into a caller-owned buffer of MAX_PATH wide
// characters. Never deleted through this interface, hence no virtual
// destructor.
struct IIniManager
{
    virtual HRESULT STDMETHODCALLTYPE ReadSetting(int nKey, wchar_t* pwszValue) = 0;
};
