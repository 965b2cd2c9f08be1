#include "scenariofaults.h"

#include "driver/driverprotocol.h"
#include "scopedmjpegdecoder.h"
#include "simulateddriver.h"
#include "simulatedwebcam.h"

namespace
{
SimulatedWebcamFrameFault FrameFaultOf(int nFault)
{
    switch (nFault)
    {
    case WEBCAM_FAULT_CORRUPT:
        return WEBCAM_FRAMES_TRUNCATED;
    case WEBCAM_FAULT_NO_HUFFMAN:
        return WEBCAM_FRAMES_NO_HUFFMAN;
    case WEBCAM_FAULT_OTHER_SIZE:
        return WEBCAM_FRAMES_OTHER_SIZE;
    default:
        return WEBCAM_FRAMES_WHOLE;
    }
}
}  // namespace

const double WebcamOpenings::kWindowSeconds = 10.0;

bool ScenarioFaults::IsFault(const ScenarioEvent& event)
{
    return event.eKind == SCENARIO_WEBCAM_FAULT || event.eKind == SCENARIO_DECODER_FAULT ||
           event.eKind == SCENARIO_FAIL || event.eKind == SCENARIO_SHORT;
}

double ScenarioFaults::QuietSeconds(const ScenarioEvent& event)
{
    return (event.eKind == SCENARIO_DECODER_FAULT ? 0.0 : event.dLength) + kFaultSettleSeconds;
}

void ScenarioFaults::Apply(const ScenarioEvent& event, SimulatedWebcam* pWebcam)
{
    const bool bOn = !event.bEnd;
    switch (event.eKind)
    {
    case SCENARIO_WEBCAM_FAULT:
        if (pWebcam == NULL)
            return;
        if (event.nFault == WEBCAM_FAULT_SILENT)
            pWebcam->SetDelivery(bOn ? WEBCAM_DELIVER_NOTHING : WEBCAM_DELIVER_SAMPLES);
        else if (event.nFault == WEBCAM_FAULT_BUSY)
            pWebcam->SetBusy(bOn);
        else
            pWebcam->SetFrameFault(bOn ? FrameFaultOf(event.nFault) : WEBCAM_FRAMES_WHOLE);
        return;
    case SCENARIO_DECODER_FAULT:
        if (m_pDecoder == NULL || !bOn)
            return;
        if (event.nFault == DECODER_FAULT_KEEP_BAD_INPUT)
        {
            m_pDecoder->Quirks().bKeepBadInput = true;
            m_pDecoder->Quirks().nSpoiledInputs = 1;
        }
        else
        {
            // NV12 only takes effect when the output type is set again.
            if (event.nFault == DECODER_FAULT_NV12_ONLY)
                m_pDecoder->Quirks().bNv12Only = true;
            m_pDecoder->Quirks().bLoseOutputType = true;
        }
        return;
    case SCENARIO_FAIL:
        if (bOn)
            m_pDriver->FailRequest(event.dwControlCode, ERROR_GEN_FAILURE);
        else
            m_pDriver->StopFailingRequest(event.dwControlCode);
        return;
    case SCENARIO_SHORT:
        m_pDriver->SetShortAnswers(event.dwControlCode, bOn);
        return;
    default:
        return;
    }
}

void WebcamOpenings::Note(int nStarts, double dNow)
{
    for (; m_nSeen < nStarts; ++m_nSeen)
        m_times.push_back(dNow);
}

double WebcamOpenings::FirstStormAt() const
{
    for (size_t i = 0; i + kMaxOpenings < m_times.size(); ++i)
    {
        if (m_times[i + kMaxOpenings] - m_times[i] < kWindowSeconds)
            return m_times[i];
    }
    return -1;
}
