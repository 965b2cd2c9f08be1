#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <memory>

#include "callfaults.h"
#include "simulateddecoderquirks.h"

// The friendly name of the system's MJPEG decoder transform.
extern const wchar_t kSystemMjpegDecoderName[];

// For as long as it lives: the decoder enumeration double installed
// (SimulatedDecoderEnumeration) and, unless the name is NULL, a test MJPEG
// decoder (SimulatedMjpegDecoder) registered for this process under that
// name, as a video decoder from MJPG to YUY2. Several may live at once; they
// are listed in the order they were made.
class ScopedDecoderRegistration
{
public:
    explicit ScopedDecoderRegistration(const wchar_t* pwszName);
    ~ScopedDecoderRegistration();

    // S_OK when the decoder was registered (or none was asked for).
    HRESULT Result() const { return m_hrRegister; }

    // Failures and call counts of the class factory ("CreateInstance") and of
    // every decoder it made, under their method names.
    CallFaults& Faults() { return *m_pFaults; }
    // How every decoder it made, and makes, behaves.
    SimulatedDecoderQuirks& Quirks() { return *m_pQuirks; }

private:
    ScopedDecoderRegistration(const ScopedDecoderRegistration&);
    ScopedDecoderRegistration& operator=(const ScopedDecoderRegistration&);

    std::shared_ptr<CallFaults> m_pFaults;
    std::shared_ptr<SimulatedDecoderQuirks> m_pQuirks;
    Microsoft::WRL::ComPtr<IClassFactory> m_pFactory;
    HRESULT m_hrRegister;
};

// The test MJPEG decoder under the system decoder's own name.
class ScopedMjpegDecoder : public ScopedDecoderRegistration
{
public:
    ScopedMjpegDecoder() : ScopedDecoderRegistration(kSystemMjpegDecoderName) {}
};
