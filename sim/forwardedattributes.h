#pragma once

#include <windows.h>
#include <mfidl.h>

#include "comobject.h"

// A COM double whose interface derives from IMFAttributes and whose
// attributes are a store of the platform's own (MFCreateAttributes, or an
// object of the platform it wraps): every IMFAttributes call is answered by
// that store, with the platform's own codes. The double adds the methods of
// its own interface.
template <typename TInterface>
class ForwardedAttributes : public ComObject<TInterface>
{
public:
    STDMETHODIMP GetItem(REFGUID guidKey, PROPVARIANT* pValue) override
    {
        return m_pAttributes->GetItem(guidKey, pValue);
    }
    STDMETHODIMP GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) override
    {
        return m_pAttributes->GetItemType(guidKey, pType);
    }
    STDMETHODIMP CompareItem(REFGUID guidKey, REFPROPVARIANT Value, BOOL* pbResult) override
    {
        return m_pAttributes->CompareItem(guidKey, Value, pbResult);
    }
    STDMETHODIMP Compare(IMFAttributes* pTheirs, MF_ATTRIBUTES_MATCH_TYPE MatchType,
                         BOOL* pbResult) override
    {
        return m_pAttributes->Compare(pTheirs, MatchType, pbResult);
    }
    STDMETHODIMP GetUINT32(REFGUID guidKey, UINT32* punValue) override
    {
        return m_pAttributes->GetUINT32(guidKey, punValue);
    }
    STDMETHODIMP GetUINT64(REFGUID guidKey, UINT64* punValue) override
    {
        return m_pAttributes->GetUINT64(guidKey, punValue);
    }
    STDMETHODIMP GetDouble(REFGUID guidKey, double* pfValue) override
    {
        return m_pAttributes->GetDouble(guidKey, pfValue);
    }
    STDMETHODIMP GetGUID(REFGUID guidKey, GUID* pguidValue) override
    {
        return m_pAttributes->GetGUID(guidKey, pguidValue);
    }
    STDMETHODIMP GetStringLength(REFGUID guidKey, UINT32* pcchLength) override
    {
        return m_pAttributes->GetStringLength(guidKey, pcchLength);
    }
    STDMETHODIMP GetString(REFGUID guidKey, LPWSTR pwszValue, UINT32 cchBufSize,
                           UINT32* pcchLength) override
    {
        return m_pAttributes->GetString(guidKey, pwszValue, cchBufSize, pcchLength);
    }
    STDMETHODIMP GetAllocatedString(REFGUID guidKey, LPWSTR* ppwszValue,
                                    UINT32* pcchLength) override
    {
        return m_pAttributes->GetAllocatedString(guidKey, ppwszValue, pcchLength);
    }
    STDMETHODIMP GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize) override
    {
        return m_pAttributes->GetBlobSize(guidKey, pcbBlobSize);
    }
    STDMETHODIMP GetBlob(REFGUID guidKey, UINT8* pBuf, UINT32 cbBufSize,
                         UINT32* pcbBlobSize) override
    {
        return m_pAttributes->GetBlob(guidKey, pBuf, cbBufSize, pcbBlobSize);
    }
    STDMETHODIMP GetAllocatedBlob(REFGUID guidKey, UINT8** ppBuf, UINT32* pcbSize) override
    {
        return m_pAttributes->GetAllocatedBlob(guidKey, ppBuf, pcbSize);
    }
    STDMETHODIMP GetUnknown(REFGUID guidKey, REFIID riid, LPVOID* ppv) override
    {
        return m_pAttributes->GetUnknown(guidKey, riid, ppv);
    }
    STDMETHODIMP SetItem(REFGUID guidKey, REFPROPVARIANT Value) override
    {
        return m_pAttributes->SetItem(guidKey, Value);
    }
    STDMETHODIMP DeleteItem(REFGUID guidKey) override { return m_pAttributes->DeleteItem(guidKey); }
    STDMETHODIMP DeleteAllItems() override { return m_pAttributes->DeleteAllItems(); }
    STDMETHODIMP SetUINT32(REFGUID guidKey, UINT32 unValue) override
    {
        return m_pAttributes->SetUINT32(guidKey, unValue);
    }
    STDMETHODIMP SetUINT64(REFGUID guidKey, UINT64 unValue) override
    {
        return m_pAttributes->SetUINT64(guidKey, unValue);
    }
    STDMETHODIMP SetDouble(REFGUID guidKey, double fValue) override
    {
        return m_pAttributes->SetDouble(guidKey, fValue);
    }
    STDMETHODIMP SetGUID(REFGUID guidKey, REFGUID guidValue) override
    {
        return m_pAttributes->SetGUID(guidKey, guidValue);
    }
    STDMETHODIMP SetString(REFGUID guidKey, LPCWSTR wszValue) override
    {
        return m_pAttributes->SetString(guidKey, wszValue);
    }
    STDMETHODIMP SetBlob(REFGUID guidKey, const UINT8* pBuf, UINT32 cbBufSize) override
    {
        return m_pAttributes->SetBlob(guidKey, pBuf, cbBufSize);
    }
    STDMETHODIMP SetUnknown(REFGUID guidKey, IUnknown* pUnknown) override
    {
        return m_pAttributes->SetUnknown(guidKey, pUnknown);
    }
    STDMETHODIMP LockStore() override { return m_pAttributes->LockStore(); }
    STDMETHODIMP UnlockStore() override { return m_pAttributes->UnlockStore(); }
    STDMETHODIMP GetCount(UINT32* pcItems) override { return m_pAttributes->GetCount(pcItems); }
    STDMETHODIMP GetItemByIndex(UINT32 unIndex, GUID* pguidKey, PROPVARIANT* pValue) override
    {
        return m_pAttributes->GetItemByIndex(unIndex, pguidKey, pValue);
    }
    STDMETHODIMP CopyAllItems(IMFAttributes* pDest) override
    {
        return m_pAttributes->CopyAllItems(pDest);
    }

protected:
    // Holds its own reference to the store.
    explicit ForwardedAttributes(IMFAttributes* pAttributes) : m_pAttributes(pAttributes)
    {
        m_pAttributes->AddRef();
    }
    ~ForwardedAttributes() override { m_pAttributes->Release(); }

    IMFAttributes* const m_pAttributes;
};
