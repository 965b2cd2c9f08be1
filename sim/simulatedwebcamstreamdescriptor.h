#pragma once

#include <windows.h>
#include <mfidl.h>

#include <memory>

#include "forwardedattributes.h"

class SimulatedWebcam;

// The stream descriptor of a simulated webcam's video stream: the platform's
// own (MFCreateStreamDescriptor, which holds the native types and the current
// one) behind a thin layer, so that setting the current type can fail as a
// real camera's may (WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE): a source reader
// reaches the type handler only through the stream descriptor. Everything
// else is the platform's answer.
class SimulatedWebcamStreamDescriptor : public ForwardedAttributes<IMFStreamDescriptor>
{
public:
    // Takes its own reference to pPlatform.
    static HRESULT Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                          IMFStreamDescriptor* pPlatform, IMFStreamDescriptor** ppDescriptor);

    // IMFStreamDescriptor
    STDMETHODIMP GetStreamIdentifier(DWORD* pdwStreamIdentifier) override;
    STDMETHODIMP GetMediaTypeHandler(IMFMediaTypeHandler** ppMediaTypeHandler) override;

protected:
    bool AnswersInterface(REFIID riid) const override;

private:
    SimulatedWebcamStreamDescriptor(const std::shared_ptr<SimulatedWebcam>& webcam,
                                    IMFStreamDescriptor* pPlatform);
    ~SimulatedWebcamStreamDescriptor() override;

    const std::shared_ptr<SimulatedWebcam> m_webcam;
    IMFStreamDescriptor* const m_pPlatform;
};
