#include "pipeline/framecontrolmanager.h"

#include <new>

FrameControlManager::FrameControlManager(HANDLE hReadNextSampleEvent)
    : m_pFrameScaler(new (std::nothrow) FrameScaler()),
      m_bInputIsYuy2(FALSE),
      m_nInputWidth(0),
      m_nInputHeight(0),
      m_nFailedDecodes(0),
      m_nOtherSizeDrops(0),
      m_frameQueue("FrameInsertedEvent"),
      m_hDeliveryThread(NULL),
      m_driverCaller(),
      m_hQuitEvent(NULL),
      m_hReadNextSampleEvent(hReadNextSampleEvent)
{
    if (SUCCEEDED(m_decoder.FindMjpegDecoder()))
        m_decoder.SetDecoderMediaTypes();
}

FrameControlManager::~FrameControlManager()
{
    StopDeliveryThread();
    if (m_hQuitEvent != NULL)
        CloseHandle(m_hQuitEvent);
    m_pFrameScaler.reset();
    m_decoder.ReleaseDecoder();
}

HRESULT FrameControlManager::SetInputIsYuy2(BOOL bInputIsYuy2)
{
    m_bInputIsYuy2 = bInputIsYuy2;
    return S_OK;
}

HRESULT FrameControlManager::SetInputSize(UINT32 nWidth, UINT32 nHeight)
{
    if (nWidth == 0 || nHeight == 0)
        return E_INVALIDARG;
    // The decoder's input type is the camera's size; set while no capture
    // runs, so the decoder holds at most a stale picture, flushed first.
    if (m_decoder.HasDecoder() && (nWidth != m_nInputWidth || nHeight != m_nInputHeight))
    {
        m_decoder.SetInputFrameSize(nWidth, nHeight);
        m_decoder.Flush();
        m_decoder.SetDecoderMediaTypes();
    }
    m_nInputWidth = nWidth;
    m_nInputHeight = nHeight;
    return S_OK;
}
