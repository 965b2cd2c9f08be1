#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

// The call through which the product lists the system's decoder transforms.
// It defaults to the platform's own MFTEnumEx; only tests and the simulator
// replace it, before any decoder is looked for.
struct DECODER_ENUM_FUNCTIONS
{
    HRESULT(WINAPI* pfnMFTEnumEx)
    (GUID guidCategory, UINT32 Flags, const MFT_REGISTER_TYPE_INFO* pInputType,
     const MFT_REGISTER_TYPE_INFO* pOutputType, IMFActivate*** pppMFTActivate,
     UINT32* pnumMFTActivate);
};

extern DECODER_ENUM_FUNCTIONS gDecoderEnum;
