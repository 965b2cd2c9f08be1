#include "image/builtinimagescaler.h"

#include <new>

#include "image/imagehresult.h"

HRESULT BuiltInImageScaler::CreateInstance(IImageScaler** ppScaler)
{
    if (ppScaler == NULL)
        return E_POINTER;
    *ppScaler = new (std::nothrow) BuiltInImageScaler();
    return *ppScaler != NULL ? S_OK : E_OUTOFMEMORY;
}

BuiltInImageScaler::BuiltInImageScaler()
    : m_cRef(1), m_eFilter(ScalerFilter::Automatic), m_eAcceleration(ScalerAcceleration::Avx2)
{
}

BuiltInImageScaler::~BuiltInImageScaler() {}

HRESULT STDMETHODCALLTYPE BuiltInImageScaler::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == NULL)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IImageScaler)
    {
        *ppv = static_cast<IImageScaler*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BuiltInImageScaler::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

ULONG STDMETHODCALLTYPE BuiltInImageScaler::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return static_cast<ULONG>(cRef);
}

HRESULT STDMETHODCALLTYPE BuiltInImageScaler::SetFilter(UINT32 nFilter)
{
    switch (nFilter)
    {
    case IMAGE_SCALER_FILTER_AUTOMATIC:
        m_eFilter = ScalerFilter::Automatic;
        return S_OK;
    case IMAGE_SCALER_FILTER_BILINEAR:
        m_eFilter = ScalerFilter::Bilinear;
        return S_OK;
    case IMAGE_SCALER_FILTER_AREA:
        m_eFilter = ScalerFilter::Area;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE BuiltInImageScaler::SetAcceleration(UINT32 nAcceleration)
{
    switch (nAcceleration)
    {
    case IMAGE_SCALER_ACCELERATION_NONE:
        m_eAcceleration = ScalerAcceleration::Portable;
        return S_OK;
    case IMAGE_SCALER_ACCELERATION_FASTEST:
        m_eAcceleration = ScalerAcceleration::Avx2;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE BuiltInImageScaler::Configure(UINT32 nInFormat, UINT32 nInWidth,
                                                        UINT32 nInHeight, UINT32 nInStride,
                                                        UINT32 nInFlags, UINT32 nOutFormat,
                                                        UINT32 nOutWidth, UINT32 nOutHeight,
                                                        UINT32 nOutStride, UINT32 nOutFlags)
{
    const bool bKnownFormat =
        nInFormat == IMAGE_SCALER_FORMAT_YUY2 || nInFormat == IMAGE_SCALER_FORMAT_32BPP;
    if (!bKnownFormat || nOutFormat != nInFormat || nInFlags != IMAGE_SCALER_LAYOUT_TOP_DOWN ||
        nOutFlags != IMAGE_SCALER_LAYOUT_TOP_DOWN)
    {
        m_plans.ForgetCurrent();  // a refused configuration leaves none behind
        return E_INVALIDARG;
    }
    ScalerGeometry geometry = {
        nInFormat == IMAGE_SCALER_FORMAT_YUY2 ? ScalerLayout::Yuy2 : ScalerLayout::Packed32,
        nInWidth,
        nInHeight,
        nInStride,
        nOutWidth,
        nOutHeight,
        nOutStride};
    return HResultFromImageStatus(m_plans.Configure(geometry, m_eFilter, m_eAcceleration));
}

HRESULT STDMETHODCALLTYPE BuiltInImageScaler::Process(const BYTE* pSrc, BYTE* pDst)
{
    return HResultFromImageStatus(m_plans.Process(pSrc, pDst));
}
