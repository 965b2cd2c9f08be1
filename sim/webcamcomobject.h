#pragma once

#include <windows.h>
#include <unknwn.h>

// Reference counting and QueryInterface for the COM doubles of the simulated
// webcam. TInterface is the most derived interface the object implements;
// every interface it inherits from answers with the same pointer, so the
// derived class only names the interface identifiers of that chain.
//
// Every live object is counted process-wide, so a test can tell that the code
// under test released everything it was given.
LONG GetLiveWebcamComObjectCount();

namespace webcamcom
{
void CountObjectCreated();
void CountObjectDestroyed();
}  // namespace webcamcom

template <typename TInterface>
class WebcamComObject : public TInterface
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == NULL)
            return E_POINTER;
        if (riid == IID_IUnknown || AnswersInterface(riid))
        {
            *ppv = static_cast<TInterface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = NULL;
        return E_NOINTERFACE;
    }

    STDMETHODIMP_(ULONG) AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
    }

    STDMETHODIMP_(ULONG) Release() override
    {
        LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0)
            delete this;
        return static_cast<ULONG>(cRef);
    }

    // Adds a reference only while the object is alive: a weak link (a stream
    // reaching its source) must never bring back an object that is being
    // destroyed.
    bool TryAddRef()
    {
        LONG cRef = m_cRef;
        while (cRef > 0)
        {
            LONG cSeen = InterlockedCompareExchange(&m_cRef, cRef + 1, cRef);
            if (cSeen == cRef)
                return true;
            cRef = cSeen;
        }
        return false;
    }

protected:
    WebcamComObject() : m_cRef(1) { webcamcom::CountObjectCreated(); }
    virtual ~WebcamComObject() { webcamcom::CountObjectDestroyed(); }

    // The identifiers of TInterface and of the interfaces it derives from,
    // IUnknown excepted.
    virtual bool AnswersInterface(REFIID riid) const = 0;

private:
    WebcamComObject(const WebcamComObject&);
    WebcamComObject& operator=(const WebcamComObject&);

    volatile LONG m_cRef;
};
