#pragma once

#include <windows.h>
#include <unknwn.h>

#include <tuple>

// IUnknown for the COM doubles of sim/: a class derives from
// ComObject<IFirst, ISecond, ...>, implements the interfaces' own methods and
// is created with new, holding one reference; the last Release deletes it.
// QueryInterface answers IUnknown and each listed interface (not their
// parents other than IUnknown), like a plain COM object.
template <typename... TInterfaces>
class ComObject : public TInterfaces...
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == NULL)
            return E_POINTER;
        *ppv = NULL;
        if (riid == __uuidof(IUnknown))
            *ppv = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        else
            *ppv = Find<TInterfaces...>(riid);
        if (*ppv == NULL)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
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

protected:
    ComObject() : m_cRef(1) {}
    virtual ~ComObject() {}

private:
    ComObject(const ComObject&);
    ComObject& operator=(const ComObject&);

    typedef typename std::tuple_element<0, std::tuple<TInterfaces...>>::type FirstInterface;

    template <typename TFirst, typename... TRest>
    void* Find(REFIID riid)
    {
        if (riid == __uuidof(TFirst))
            return static_cast<TFirst*>(this);
        if constexpr (sizeof...(TRest) > 0)
            return Find<TRest...>(riid);
        else
            return NULL;
    }

    volatile LONG m_cRef;
};
