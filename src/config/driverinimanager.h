#pragma once

#include "config/inimanager.h"

// What applies when the file, its section or a key is missing.
const wchar_t kDefaultDriverName[] = L"Quorvane Pellion";
const wchar_t kDefaultMutexName[] = L"Framewell Mutex";

// The settings file "DriverSetting.ini" beside the executable. Read anew on
// every use; never written.
class DriverIniManager : public IIniManager
{
public:
    // Mode 0 is the file beside the running executable, the only one used.
    explicit DriverIniManager(int nMode);

    HRESULT STDMETHODCALLTYPE ReadSetting(int nKey, wchar_t* pwszValue) override;

private:
    int m_nMode;
    wchar_t m_wszFilePath[MAX_PATH];
};
