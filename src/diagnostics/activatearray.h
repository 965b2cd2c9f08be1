#pragma once

#include <windows.h>
#include <mfobjects.h>
#include <wrl/client.h>

#include <vector>

// Takes over the references of an activation array that an enumeration
// returned (MFEnumDeviceSources, MFTEnumEx) and frees the array. Adopted,
// not attached: mingw-w64's ComPtr::Attach adds a reference of its own.
inline std::vector<Microsoft::WRL::ComPtr<IMFActivate>> AdoptActivateArray(IMFActivate** ppActivate,
                                                                           UINT32 nCount)
{
    std::vector<Microsoft::WRL::ComPtr<IMFActivate>> activates(ppActivate != NULL ? nCount : 0);
    for (size_t i = 0; i < activates.size(); ++i)
        *activates[i].GetAddressOf() = ppActivate[i];
    CoTaskMemFree(ppActivate);
    return activates;
}
