#include "scopedmediafoundation.h"

#include <mfapi.h>
#include <objbase.h>

ScopedMediaFoundation::ScopedMediaFoundation()
{
    m_hrCom = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    m_hrStartup = MFStartup(MF_VERSION, MFSTARTUP_FULL);
}

ScopedMediaFoundation::~ScopedMediaFoundation()
{
    if (SUCCEEDED(m_hrStartup))
        MFShutdown();
    if (SUCCEEDED(m_hrCom))
        CoUninitialize();
}
