#include "scopedmediafoundation.h"

#include <mfapi.h>
#include <objbase.h>

ScopedMediaFoundation::ScopedMediaFoundation()
    : m_bComInitialized(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))),
      m_hr(MFStartup(MF_VERSION, MFSTARTUP_FULL))
{
}

ScopedMediaFoundation::~ScopedMediaFoundation()
{
    if (SUCCEEDED(m_hr))
        MFShutdown();
    if (m_bComInitialized)
        CoUninitialize();
}
