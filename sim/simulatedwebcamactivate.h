#pragma once

#include <windows.h>
#include <mfidl.h>

#include <memory>
#include <mutex>

#include "comobject.h"
#include "webcamobjectcount.h"

class SimulatedWebcam;
class SimulatedWebcamSource;

// The activation object of a simulated webcam, as an enumeration of the
// capture devices lists it. Its attributes live in a store made by
// MFCreateAttributes: the friendly name, the source type (video capture) and
// the symbolic link. Like the platform's, ActivateObject makes the media source
// once and hands out that same source until ShutdownObject (which shuts it
// down) or DetachObject (which only lets go of it).
class SimulatedWebcamActivate : private WebcamObjectCount, public ComObject<IMFActivate>
{
public:
    static HRESULT Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                          SimulatedWebcamActivate** ppActivate);

    // IMFAttributes
    STDMETHODIMP GetItem(REFGUID guidKey, PROPVARIANT* pValue) override;
    STDMETHODIMP GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) override;
    STDMETHODIMP CompareItem(REFGUID guidKey, REFPROPVARIANT Value, BOOL* pbResult) override;
    STDMETHODIMP Compare(IMFAttributes* pTheirs, MF_ATTRIBUTES_MATCH_TYPE MatchType,
                         BOOL* pbResult) override;
    STDMETHODIMP GetUINT32(REFGUID guidKey, UINT32* punValue) override;
    STDMETHODIMP GetUINT64(REFGUID guidKey, UINT64* punValue) override;
    STDMETHODIMP GetDouble(REFGUID guidKey, double* pfValue) override;
    STDMETHODIMP GetGUID(REFGUID guidKey, GUID* pguidValue) override;
    STDMETHODIMP GetStringLength(REFGUID guidKey, UINT32* pcchLength) override;
    STDMETHODIMP GetString(REFGUID guidKey, LPWSTR pwszValue, UINT32 cchBufSize,
                           UINT32* pcchLength) override;
    STDMETHODIMP GetAllocatedString(REFGUID guidKey, LPWSTR* ppwszValue,
                                    UINT32* pcchLength) override;
    STDMETHODIMP GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize) override;
    STDMETHODIMP GetBlob(REFGUID guidKey, UINT8* pBuf, UINT32 cbBufSize,
                         UINT32* pcbBlobSize) override;
    STDMETHODIMP GetAllocatedBlob(REFGUID guidKey, UINT8** ppBuf, UINT32* pcbSize) override;
    STDMETHODIMP GetUnknown(REFGUID guidKey, REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP SetItem(REFGUID guidKey, REFPROPVARIANT Value) override;
    STDMETHODIMP DeleteItem(REFGUID guidKey) override;
    STDMETHODIMP DeleteAllItems() override;
    STDMETHODIMP SetUINT32(REFGUID guidKey, UINT32 unValue) override;
    STDMETHODIMP SetUINT64(REFGUID guidKey, UINT64 unValue) override;
    STDMETHODIMP SetDouble(REFGUID guidKey, double fValue) override;
    STDMETHODIMP SetGUID(REFGUID guidKey, REFGUID guidValue) override;
    STDMETHODIMP SetString(REFGUID guidKey, LPCWSTR wszValue) override;
    STDMETHODIMP SetBlob(REFGUID guidKey, const UINT8* pBuf, UINT32 cbBufSize) override;
    STDMETHODIMP SetUnknown(REFGUID guidKey, IUnknown* pUnknown) override;
    STDMETHODIMP LockStore() override;
    STDMETHODIMP UnlockStore() override;
    STDMETHODIMP GetCount(UINT32* pcItems) override;
    STDMETHODIMP GetItemByIndex(UINT32 unIndex, GUID* pguidKey, PROPVARIANT* pValue) override;
    STDMETHODIMP CopyAllItems(IMFAttributes* pDest) override;

    // IMFActivate
    STDMETHODIMP ActivateObject(REFIID riid, void** ppv) override;
    STDMETHODIMP ShutdownObject() override;
    STDMETHODIMP DetachObject() override;

protected:
    bool AnswersInterface(REFIID riid) const override;

private:
    SimulatedWebcamActivate(const std::shared_ptr<SimulatedWebcam>& webcam,
                            IMFAttributes* pAttributes);
    ~SimulatedWebcamActivate() override;

    // Takes the cached source out under the lock; the caller releases it.
    SimulatedWebcamSource* TakeSource();

    std::shared_ptr<SimulatedWebcam> m_webcam;
    IMFAttributes* m_pAttributes;
    std::mutex m_lock;
    SimulatedWebcamSource* m_pSource;  // one reference, while activated
};
