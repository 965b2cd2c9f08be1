#pragma once

#include <windows.h>
#include <unknwn.h>

// The image-scaling component that FrameScaler drives: an in-process COM
// class reached through IImageScaler. When no component of the class is
// registered (or COM is not initialised on the calling thread) the product
// uses its own implementation, BuiltInImageScaler.

// {57BE4C11-589A-45E0-BF76-84CF28DBCF92}
extern const CLSID CLSID_ImageScaler;
// {F70AB4E7-57AA-4541-9F15-FC37D77B8293}
extern const IID IID_IImageScaler;

// Setting A: the filter.
enum IMAGE_SCALER_FILTER : UINT32
{
    // Bilinear when enlarging; when shrinking a triangle filter widened with
    // the factor, so that fine detail does not alias.
    IMAGE_SCALER_FILTER_AUTOMATIC = 0,
    IMAGE_SCALER_FILTER_BILINEAR = 1,  // in both directions (aliases when shrinking)
    IMAGE_SCALER_FILTER_AREA = 2,      // area averaging in both directions
};

// Setting B: which instruction sets the component may use. Both give the
// same bytes; the first exists as the reference.
enum IMAGE_SCALER_ACCELERATION : UINT32
{
    IMAGE_SCALER_ACCELERATION_NONE = 0,     // portable code only
    IMAGE_SCALER_ACCELERATION_FASTEST = 1,  // the widest the processor runs (SSE2, AVX2)
};

// Pixel formats of Configure.
enum IMAGE_SCALER_FORMAT : UINT32
{
    IMAGE_SCALER_FORMAT_YUY2 = 1,   // packed Y0 U Y1 V, two bytes a pixel
    IMAGE_SCALER_FORMAT_32BPP = 2,  // four bytes a pixel, each byte a channel
};

// The one layout flag Configure accepts for each side: rows top-down, each
// stride bytes after the previous one.
const UINT32 IMAGE_SCALER_LAYOUT_TOP_DOWN = 1;

// One component serves one caller at a time; it may be configured anew
// before every picture.
struct IImageScaler : public IUnknown
{
    // Setting A; any other value: E_INVALIDARG. Takes effect at the next
    // Configure.
    virtual HRESULT STDMETHODCALLTYPE SetFilter(UINT32 nFilter) = 0;
    // Setting B; any other value: E_INVALIDARG. Takes effect at the next
    // Configure.
    virtual HRESULT STDMETHODCALLTYPE SetAcceleration(UINT32 nAcceleration) = 0;

    // Both sides must have the same format (no conversion), sizes from 1 to
    // 65535 (a YUY2 input has an even width), strides of at least a row and
    // the layout flag. Precomputes everything Process needs. E_INVALIDARG
    // for anything else, E_OUTOFMEMORY.
    virtual HRESULT STDMETHODCALLTYPE Configure(UINT32 nInFormat, UINT32 nInWidth, UINT32 nInHeight,
                                                UINT32 nInStride, UINT32 nInFlags,
                                                UINT32 nOutFormat, UINT32 nOutWidth,
                                                UINT32 nOutHeight, UINT32 nOutStride,
                                                UINT32 nOutFlags) = 0;

    // Writes every output row's pixels (not the row padding) from the input
    // picture as configured. E_INVALIDARG for a null pointer,
    // HRESULT_FROM_WIN32(ERROR_INVALID_STATE) without a valid configuration.
    virtual HRESULT STDMETHODCALLTYPE Process(const BYTE* pSrc, BYTE* pDst) = 0;
};
