#include "scopedmjpegdecoder.h"

#include <mfapi.h>
#include <mftransform.h>

#include "comobject.h"
#include "simulateddecoderenumeration.h"
#include "simulatedmjpegdecoder.h"

const wchar_t kSystemMjpegDecoderName[] = L"MJPEG Decoder MFT";

namespace
{
// Registered with MFTRegisterLocal: the platform activates a local transform
// through this factory on the calling thread, whatever its apartment.
class SimulatedMjpegDecoderFactory : public ComObject<IClassFactory>
{
public:
    SimulatedMjpegDecoderFactory(const std::shared_ptr<CallFaults>& pFaults,
                                 const std::shared_ptr<SimulatedDecoderQuirks>& pQuirks)
        : m_pFaults(pFaults), m_pQuirks(pQuirks)
    {
    }

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override
    {
        if (ppv == NULL)
            return E_POINTER;
        *ppv = NULL;
        HRESULT hr = m_pFaults->Enter("CreateInstance");
        if (FAILED(hr))
            return hr;
        if (pUnkOuter != NULL)
            return CLASS_E_NOAGGREGATION;
        SimulatedMjpegDecoder* pDecoder = new SimulatedMjpegDecoder(m_pFaults, m_pQuirks);
        hr = pDecoder->QueryInterface(riid, ppv);
        pDecoder->Release();
        return hr;
    }

    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    std::shared_ptr<CallFaults> m_pFaults;
    std::shared_ptr<SimulatedDecoderQuirks> m_pQuirks;
};
}  // namespace

ScopedDecoderRegistration::ScopedDecoderRegistration(const wchar_t* pwszName)
    : m_pFaults(std::make_shared<CallFaults>()),
      m_pQuirks(std::make_shared<SimulatedDecoderQuirks>()),
      m_hrRegister(S_OK)
{
    SimulatedDecoderEnumeration::Install();
    if (pwszName == NULL)
        return;

    const MFT_REGISTER_TYPE_INFO input = {MFMediaType_Video, MFVideoFormat_MJPG};
    const MFT_REGISTER_TYPE_INFO output = {MFMediaType_Video, MFVideoFormat_YUY2};
    *m_pFactory.ReleaseAndGetAddressOf() = new SimulatedMjpegDecoderFactory(m_pFaults, m_pQuirks);
    m_hrRegister = SimulatedDecoderEnumeration::RegisterTransform(
        m_pFactory.Get(), MFT_CATEGORY_VIDEO_DECODER, pwszName, input, output);
    if (FAILED(m_hrRegister))
        m_pFactory.Reset();
}

ScopedDecoderRegistration::~ScopedDecoderRegistration()
{
    if (m_pFactory != NULL)
    {
        SimulatedDecoderEnumeration::UnregisterTransform(m_pFactory.Get());
    }
    SimulatedDecoderEnumeration::Uninstall();
}
