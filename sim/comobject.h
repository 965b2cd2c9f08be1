#pragma once

#include <windows.h>
#include <unknwn.h>

// IUnknown for the COM doubles of sim/: a class derives from
// ComObject<TInterface>, implements the interface's own methods and is created
// with new, holding one reference; the last Release deletes it.
// QueryInterface answers IUnknown and TInterface; a class whose interface
// derives from others names their identifiers too (AnswersInterface), and each
// answers with the same pointer.
template <typename TInterface>
class ComObject : public TInterface
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
    ComObject() : m_cRef(1) {}
    virtual ~ComObject() {}

    // The identifiers of TInterface and of the interfaces it derives from,
    // IUnknown excepted.
    virtual bool AnswersInterface(REFIID riid) const { return riid == __uuidof(TInterface); }

private:
    ComObject(const ComObject&);
    ComObject& operator=(const ComObject&);

    volatile LONG m_cRef;
};
