#pragma once

#include <windows.h>

#include "image/imagescaler.h"
#include "image/scalerkernel.h"
#include "image/scalerplancache.h"

// The product's own image-scaling component: IImageScaler over the built-in
// scaler kernel (image/scalerkernel.h), reference counted like a COM object.
// Created directly, never through COM, so it works on threads that have not
// initialised COM. Defaults: automatic filter, fastest instruction set. The
// pipeline configures it before every frame of every request: the tables of
// recent sizes are kept, so alternating sizes cost no rebuilding.
class BuiltInImageScaler : public IImageScaler
{
public:
    // A new component with one reference; E_POINTER, E_OUTOFMEMORY.
    static HRESULT CreateInstance(IImageScaler** ppScaler);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IImageScaler
    HRESULT STDMETHODCALLTYPE SetFilter(UINT32 nFilter) override;
    HRESULT STDMETHODCALLTYPE SetAcceleration(UINT32 nAcceleration) override;
    HRESULT STDMETHODCALLTYPE Configure(UINT32 nInFormat, UINT32 nInWidth, UINT32 nInHeight,
                                        UINT32 nInStride, UINT32 nInFlags, UINT32 nOutFormat,
                                        UINT32 nOutWidth, UINT32 nOutHeight, UINT32 nOutStride,
                                        UINT32 nOutFlags) override;
    HRESULT STDMETHODCALLTYPE Process(const BYTE* pSrc, BYTE* pDst) override;

private:
    BuiltInImageScaler();
    virtual ~BuiltInImageScaler();
    BuiltInImageScaler(const BuiltInImageScaler&);
    BuiltInImageScaler& operator=(const BuiltInImageScaler&);

    LONG m_cRef;
    ScalerFilter m_eFilter;
    ScalerAcceleration m_eAcceleration;
    ScalerPlanCache m_plans;
};
