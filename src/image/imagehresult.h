#pragma once

#include <windows.h>

#include "image/imagestatus.h"

// The HRESULT that stands for a kernel's outcome.
inline HRESULT HResultFromImageStatus(ImageStatus eStatus)
{
    switch (eStatus)
    {
    case ImageStatus::Ok:
        return S_OK;
    case ImageStatus::InvalidArgument:
        return E_INVALIDARG;
    case ImageStatus::OutOfMemory:
        return E_OUTOFMEMORY;
    case ImageStatus::NotConfigured:
        return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    }
    return E_UNEXPECTED;
}
