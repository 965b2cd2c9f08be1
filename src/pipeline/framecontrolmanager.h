#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "image/framescaler.h"
#include "pipeline/framerecords.h"

// The frame pipeline: what the driver's clients want (the requested-output
// table) and the hand-over of pictures to the driver.
class FrameControlManager
{
public:
    explicit FrameControlManager(HANDLE hReadNextSampleEvent);
    ~FrameControlManager();

    // Requested-output table. Unknown formats and duplicates are ignored.
    HRESULT AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight);
    HRESULT ClearOutputFormats();
    size_t GetOutputFormatCount(_COLOR_FORMAT eFormat);
    // A copy of the entries of one format, in table order.
    std::vector<FORMAT_RESOLUTION_UNIT> GetOutputFormats(_COLOR_FORMAT eFormat);

    // Wraps one picture in the driver's frame record and hands it over with
    // IOCTL_AVSHWS_SET_FRAME on an already open device.
    HRESULT SendFrame(HANDLE hDevice, _COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight,
                      const BYTE* pData, UINT32 cbData);

    // Turns a packed YUY2 picture into one of the destination size (the
    // destination holds nDstWidth * nDstHeight * 2 bytes) without distorting
    // it: the largest centred region with the destination's aspect ratio is
    // cut out, then scaled. Delivery thread only.
    HRESULT ResizeFrame(const BYTE* pSrc, UINT32 nSrcWidth, UINT32 nSrcHeight, BYTE* pDst,
                        UINT32 nDstWidth, UINT32 nDstHeight);

private:
    FrameControlManager(const FrameControlManager&);
    FrameControlManager& operator=(const FrameControlManager&);

    typedef std::multimap<_COLOR_FORMAT, FORMAT_RESOLUTION_UNIT> OutputFormatTable;

    // Called with the table lock held.
    bool HasOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight) const;

    HANDLE m_hReadNextSampleEvent;  // borrowed from the capture builder

    CRITICAL_SECTION m_csOutputFormats;
    OutputFormatTable m_outputFormats;

    std::unique_ptr<FrameScaler> m_pFrameScaler;  // empty only if it could not be made
};
