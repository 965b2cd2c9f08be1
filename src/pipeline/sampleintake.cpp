#include "pipeline/framecontrolmanager.h"

HRESULT FrameControlManager::DeliverSample(IMFSample* pSample)
{
    if (pSample == NULL)
        return E_POINTER;

    _COLOR_FORMAT eFormat = m_bInputIsYuy2 ? COLOR_FORMAT_YUY2 : COLOR_FORMAT_MJPG;
    HRESULT hr = InsertFrame(FRAME_UNIT(eFormat, m_nInputWidth, m_nInputHeight, pSample));
    if (m_bInputIsYuy2)
        return hr;

    // One decode serves every YUY2 and NV12 request.
    if (GetOutputFormatCount(COLOR_FORMAT_YUY2) > 0 || GetOutputFormatCount(COLOR_FORMAT_NV12) > 0)
    {
        Microsoft::WRL::ComPtr<IMFSample> pDecoded;
        m_decoder.DecodeMjpegSample(pSample, &pDecoded);
        if (pDecoded != NULL)
            InsertFrame(FRAME_UNIT(COLOR_FORMAT_YUY2, MjpegDecoder::kFrameWidth, MjpegDecoder::kFrameHeight, pDecoded.Get()));
    }
    return hr;
}
