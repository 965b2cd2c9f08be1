#include "simulateddecoderenumeration.h"

#include <stddef.h>

#include <mutex>
#include <string>
#include <vector>

#include "image/decoderenumeration.h"

namespace
{
struct Transform
{
    IClassFactory* pFactory;  // identity only, not a reference
    GUID category;
    std::wstring name;
    MFT_REGISTER_TYPE_INFO input;
    MFT_REGISTER_TYPE_INFO output;
};

std::mutex gLock;
std::vector<Transform> gTransforms;  // in registration order
int gnInstalls = 0;
DECODER_ENUM_FUNCTIONS gPrevious = {NULL};
HRESULT ghrFailure = S_OK;
bool gbHideSystem = false;

bool SameTypeInfo(const MFT_REGISTER_TYPE_INFO& a, const MFT_REGISTER_TYPE_INFO& b)
{
    return a.guidMajorType == b.guidMajorType && a.guidSubtype == b.guidSubtype;
}

// Whether the platform lists this local transform for the query, by the rules
// it applies to process-local registrations (all of them synchronous here).
bool IsListed(const Transform& transform, const GUID& category, UINT32 flags,
              const MFT_REGISTER_TYPE_INFO* pInputType, const MFT_REGISTER_TYPE_INFO* pOutputType)
{
    const UINT32 kModels = MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_ASYNCMFT | MFT_ENUM_FLAG_HARDWARE;
    if (flags == 0)
        flags = MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_SORTANDFILTER;
    if ((flags & kModels) == 0)
        flags |= MFT_ENUM_FLAG_SYNCMFT;
    if ((flags & MFT_ENUM_FLAG_LOCALMFT) == 0 || (flags & MFT_ENUM_FLAG_SYNCMFT) == 0)
        return false;
    if (transform.category != category)
        return false;
    if (pInputType != NULL && !SameTypeInfo(*pInputType, transform.input))
        return false;
    if (pOutputType != NULL && !SameTypeInfo(*pOutputType, transform.output))
        return false;
    return true;
}

bool IsLocal(IMFActivate* pActivate)
{
    UINT32 nLocal = 0;
    return SUCCEEDED(pActivate->GetUINT32(MFT_PROCESS_LOCAL_Attribute, &nLocal)) && nLocal != 0;
}
}  // namespace

void SimulatedDecoderEnumeration::Install()
{
    std::lock_guard<std::mutex> guard(gLock);
    if (gnInstalls++ == 0)
    {
        gPrevious = gDecoderEnum;
        gDecoderEnum.pfnMFTEnumEx = EnumerateTransforms;
    }
}

void SimulatedDecoderEnumeration::Uninstall()
{
    std::lock_guard<std::mutex> guard(gLock);
    if (gnInstalls > 0 && --gnInstalls == 0)
    {
        gDecoderEnum = gPrevious;
        ghrFailure = S_OK;
        gbHideSystem = false;
    }
}

HRESULT SimulatedDecoderEnumeration::RegisterTransform(IClassFactory* pFactory,
                                                       const GUID& category,
                                                       const wchar_t* pwszName,
                                                       const MFT_REGISTER_TYPE_INFO& input,
                                                       const MFT_REGISTER_TYPE_INFO& output)
{
    std::lock_guard<std::mutex> guard(gLock);
    HRESULT hr = MFTRegisterLocal(pFactory, category, pwszName, 0, 1, &input, 1, &output);
    if (SUCCEEDED(hr))
    {
        Transform transform = {pFactory, category, pwszName, input, output};
        gTransforms.push_back(transform);
    }
    return hr;
}

HRESULT SimulatedDecoderEnumeration::UnregisterTransform(IClassFactory* pFactory)
{
    std::lock_guard<std::mutex> guard(gLock);
    size_t nIndex = 0;
    while (nIndex < gTransforms.size() && gTransforms[nIndex].pFactory != pFactory)
        ++nIndex;
    if (nIndex == gTransforms.size())
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

    if (nIndex == 0)
    {
        gTransforms.erase(gTransforms.begin());
        return MFTUnregisterLocal(pFactory);
    }

    gTransforms.erase(gTransforms.begin() + static_cast<ptrdiff_t>(nIndex));
    HRESULT hr = MFTUnregisterLocal(NULL);
    for (size_t i = 0; i < gTransforms.size() && SUCCEEDED(hr); ++i)
    {
        const Transform& transform = gTransforms[i];
        hr = MFTRegisterLocal(transform.pFactory, transform.category, transform.name.c_str(), 0, 1,
                              &transform.input, 1, &transform.output);
    }
    return hr;
}

void SimulatedDecoderEnumeration::FailEnumeration(HRESULT hr)
{
    std::lock_guard<std::mutex> guard(gLock);
    ghrFailure = hr;
}

void SimulatedDecoderEnumeration::HideSystemTransforms(bool bHide)
{
    std::lock_guard<std::mutex> guard(gLock);
    gbHideSystem = bHide;
}

HRESULT WINAPI SimulatedDecoderEnumeration::EnumerateTransforms(
    GUID guidCategory, UINT32 Flags, const MFT_REGISTER_TYPE_INFO* pInputType,
    const MFT_REGISTER_TYPE_INFO* pOutputType, IMFActivate*** pppMFTActivate,
    UINT32* pnumMFTActivate)
{
    std::vector<std::wstring> names;
    HRESULT hrFailure = S_OK;
    bool bHideSystem = false;
    {
        std::lock_guard<std::mutex> guard(gLock);
        hrFailure = ghrFailure;
        bHideSystem = gbHideSystem;
        for (size_t i = 0; i < gTransforms.size(); ++i)
        {
            if (IsListed(gTransforms[i], guidCategory, Flags, pInputType, pOutputType))
                names.push_back(gTransforms[i].name);
        }
    }

    if (FAILED(hrFailure))
    {
        if (pppMFTActivate != NULL)
            *pppMFTActivate = NULL;
        if (pnumMFTActivate != NULL)
            *pnumMFTActivate = 0;
        return hrFailure;
    }

    HRESULT hr =
        MFTEnumEx(guidCategory, Flags, pInputType, pOutputType, pppMFTActivate, pnumMFTActivate);
    if (FAILED(hr) || *pppMFTActivate == NULL)
        return hr;

    IMFActivate** ppActivate = *pppMFTActivate;
    UINT32 cActivate = *pnumMFTActivate;
    std::vector<UINT32> localIndexes;
    for (UINT32 i = 0; i < cActivate; ++i)
    {
        if (IsLocal(ppActivate[i]))
            localIndexes.push_back(i);
    }
    if (localIndexes.size() == names.size())
    {
        for (size_t k = 0; k < names.size(); ++k)
            ppActivate[localIndexes[k]]->SetString(MFT_FRIENDLY_NAME_Attribute, names[k].c_str());
    }

    if (bHideSystem)
    {
        UINT32 cKept = 0;
        for (UINT32 i = 0; i < cActivate; ++i)
        {
            if (IsLocal(ppActivate[i]))
                ppActivate[cKept++] = ppActivate[i];
            else
                ppActivate[i]->Release();
        }
        *pnumMFTActivate = cKept;
        if (cKept == 0)
        {
            CoTaskMemFree(ppActivate);
            *pppMFTActivate = NULL;
        }
    }
    return hr;
}
