#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

// The decoder enumeration as Windows answers it, for tests and the simulator.
// Installed, it takes the place of MFTEnumEx in gDecoderEnum: it calls the
// platform's MFTEnumEx and gives the activation objects of the transforms
// registered through it the friendly names Windows reports, which Wine leaves
// out. Wine lists process-local transforms in registration order and marks
// them MFT_PROCESS_LOCAL_Attribute, so the n-th local object is the n-th
// matching transform registered here; when the counts disagree (a local
// transform registered elsewhere) no name is set. It can also fail the
// enumeration with a given code, or leave out every transform not registered
// here, as on a machine without system decoders.
class SimulatedDecoderEnumeration
{
public:
    // Counted: the first Install routes gDecoderEnum here, the last Uninstall
    // restores it and ends any failure or hiding.
    static void Install();
    static void Uninstall();

    // MFTRegisterLocal / MFTUnregisterLocal, keeping the names. Wine's
    // MFTUnregisterLocal reads through a null class id when the factory is
    // not the first local registration, so a later one is taken out by
    // unregistering every local transform and registering the others again,
    // in their order.
    static HRESULT RegisterTransform(IClassFactory* pFactory, const GUID& category,
                                     const wchar_t* pwszName, const MFT_REGISTER_TYPE_INFO& input,
                                     const MFT_REGISTER_TYPE_INFO& output);
    static HRESULT UnregisterTransform(IClassFactory* pFactory);

    // Every enumeration returns hr without listing anything; S_OK ends it.
    static void FailEnumeration(HRESULT hr);
    static void HideSystemTransforms(bool bHide);

    // The MFTEnumEx-shaped entry point.
    static HRESULT WINAPI EnumerateTransforms(GUID guidCategory, UINT32 Flags,
                                              const MFT_REGISTER_TYPE_INFO* pInputType,
                                              const MFT_REGISTER_TYPE_INFO* pOutputType,
                                              IMFActivate*** pppMFTActivate,
                                              UINT32* pnumMFTActivate);
};
