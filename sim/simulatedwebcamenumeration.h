#pragma once

#include <windows.h>
#include <mfidl.h>

#include <memory>
#include <mutex>
#include <vector>

class SimulatedWebcam;

// A stand-in for the platform's capture-device enumeration. While it lives it
// takes the place of MFEnumDeviceSources in gCaptureDeviceEnum and lists the
// simulated webcams added to it that are plugged in, in the order they were
// added: like the platform, every call returns new activation objects, one
// reference each, in an array allocated with CoTaskMemAlloc (NULL when the
// list is empty). Asked for audio devices it lists none. One at a time.
class SimulatedWebcamEnumeration
{
public:
    SimulatedWebcamEnumeration();
    ~SimulatedWebcamEnumeration();

    void Add(const std::shared_ptr<SimulatedWebcam>& webcam);
    void Remove(const std::shared_ptr<SimulatedWebcam>& webcam);
    void Clear();

    // The next nTimes enumerations (-1: all) fail with hr.
    void FailEnumeration(HRESULT hr, int nTimes = -1);

    int GetCallCount();

private:
    SimulatedWebcamEnumeration(const SimulatedWebcamEnumeration&);
    SimulatedWebcamEnumeration& operator=(const SimulatedWebcamEnumeration&);

    static HRESULT STDAPICALLTYPE EnumDeviceSourcesHook(IMFAttributes* pAttributes,
                                                        IMFActivate*** pppSourceActivate,
                                                        UINT32* pcSourceActivate);
    HRESULT Enumerate(IMFAttributes* pAttributes, IMFActivate*** pppSourceActivate,
                      UINT32* pcSourceActivate);

    static SimulatedWebcamEnumeration* s_pInstalled;

    std::mutex m_lock;
    std::vector<std::shared_ptr<SimulatedWebcam>> m_webcams;
    HRESULT m_hrFailure;
    int m_nFailuresLeft;  // -1: always
    int m_nCalls;
};
