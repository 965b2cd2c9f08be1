#pragma once

#include <windows.h>
#include <mfidl.h>

#include <memory>
#include <mutex>

#include "forwardedattributes.h"
#include "webcamobjectcount.h"

class SimulatedWebcam;
class SimulatedWebcamSource;

// The activation object of a simulated webcam, as an enumeration of the
// capture devices lists it. Its attributes live in a store made by
// MFCreateAttributes: the friendly name, the source type (video capture) and
// the symbolic link; it answers every attribute call. Like the platform's, ActivateObject makes the
// media source once and hands out that same source until ShutdownObject (which shuts it down) or
// DetachObject (which only lets go of it).
class SimulatedWebcamActivate : private WebcamObjectCount, public ForwardedAttributes<IMFActivate>
{
public:
    static HRESULT Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                          SimulatedWebcamActivate** ppActivate);

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
    std::mutex m_lock;
    SimulatedWebcamSource* m_pSource;  // one reference, while activated
};
