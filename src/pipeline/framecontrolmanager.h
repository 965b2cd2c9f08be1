#pragma once

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "diagnostics/survivinglock.h"
#include "driver/drivercallthread.h"
#include "image/framescaler.h"
#include "image/mjpegdecoder.h"
#include "pipeline/deliveryresources.h"
#include "pipeline/framerecords.h"

// The frame pipeline: a first-in, first-out queue of pictures from the camera,
// the MJPEG decoder and the placeholder, and one delivery thread that sends
// each picture to the driver for every requested format and size it can
// serve, resized and converted on the way.
class FrameControlManager
{
public:
    // hReadNextSampleEvent is the capture builder's "ReadNextSampleEvent",
    // borrowed: reset here when a delivery fails, never closed here.
    explicit FrameControlManager(HANDLE hReadNextSampleEvent);
    ~FrameControlManager();

    // What the camera delivers.
    HRESULT SetInputIsYuy2(BOOL bInputIsYuy2);
    HRESULT SetInputSize(UINT32 nWidth, UINT32 nHeight);

    // Intake of a captured sample: queued as it is and, for an MJPG camera
    // whose pictures are wanted uncompressed, once more decoded.
    HRESULT DeliverSample(IMFSample* pSample);

    // The queue. It holds at most kMaxQueuedFrames pictures: inserting into a
    // full queue drops (and releases) the oldest, logged once per burst.
    static const size_t kMaxQueuedFrames = 8;
    HRESULT InsertFrame(const FRAME_UNIT& frame);
    FRAME_UNIT GetFrame();
    bool IsFrameQueueEmpty();
    size_t GetFrameQueueDepth();
    void ClearFrameQueue();

    // The delivery thread.
    HRESULT StartDeliveryThread();
    void StopDeliveryThread();

    // Requested-output table. Unknown formats, sizes no picture of the format
    // can have, sizes beyond what is served (a side over 8192, a record over
    // 64 MB: one log line each) and duplicates are ignored.
    HRESULT AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight);
    HRESULT ClearOutputFormats();
    size_t GetOutputFormatCount(_COLOR_FORMAT eFormat);
    // A copy of the entries of one format, in table order.
    std::vector<FORMAT_RESOLUTION_UNIT> GetOutputFormats(_COLOR_FORMAT eFormat);

    // Turns a packed YUY2 picture into one of the destination size (the
    // destination holds nDstWidth * nDstHeight * 2 bytes) without distorting
    // it: the largest centred region with the destination's aspect ratio is
    // cut out, then scaled. Delivery thread only.
    HRESULT ResizeFrame(const BYTE* pSrc, UINT32 nSrcWidth, UINT32 nSrcHeight, BYTE* pDst,
                        UINT32 nDstWidth, UINT32 nDstHeight);

    // Wraps one picture in the driver's frame record and hands it over with
    // IOCTL_AVSHWS_SET_FRAME on an already open device. *pbRefusedByDriver,
    // when given, tells a failure the driver answered from one that never
    // reached it (no memory for the record, nothing to send).
    HRESULT SendFrame(HANDLE hDevice, _COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight,
                      const BYTE* pData, UINT32 cbData, BOOL* pbRefusedByDriver = NULL);

private:
    FrameControlManager(const FrameControlManager&);
    FrameControlManager& operator=(const FrameControlManager&);

    typedef std::multimap<_COLOR_FORMAT, FORMAT_RESOLUTION_UNIT> OutputFormatTable;

    // The capture callback's decoding: the decoded picture queued as YUY2
    // at its own size; three failed decodes in a row flush the decoder, a
    // fourth creates it again.
    void DecodeIntoQueue(IMFSample* pSample);
    void NoteDecodeResult(HRESULT hrDecode);

    static DWORD WINAPI DeliveringThread(LPVOID pContext);
    bool IsQuitRequested() const;
    void DeliverFrames();
    // Called with the queue lock held.
    void EndDropBurst();
    HRESULT DeliverFrame(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData, UINT32 cbData,
                         HRESULT hrStatus);
    HRESULT DeliverToOwnFormat(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData,
                               UINT32 cbData, HRESULT hrStatus);
    HRESULT DeliverToNv12(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData,
                          HRESULT hrStatus);
    // The status after one entry's send: the driver's refusal is the
    // status; a failure of the entry's own (a refused resize, no memory) is
    // logged and skips that entry only.
    static HRESULT EntryStatus(HRESULT hrStatus, HRESULT hrEntry, BOOL bRefusedByDriver,
                               _COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight);

    // The table lock is a mutex rather than a critical section: should a
    // thread that holds it ever be terminated, an abandoned mutex passes to
    // the next waiter instead of blocking the pipeline for good.
    void LockOutputFormats();
    void UnlockOutputFormats();
    // Called with the table lock held.
    bool HasOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight) const;

    std::unique_ptr<FrameScaler> m_pFrameScaler;  // empty only if it could not be made
    BOOL m_bInputIsYuy2;
    UINT32 m_nInputWidth;
    UINT32 m_nInputHeight;
    // The capture callback's own counts.
    UINT32 m_nFailedDecodes;   // in a row
    UINT32 m_nOtherSizeDrops;  // MJPG frames of another size, this burst

    OutputFormatTable m_outputFormats;
    // The delivery thread's copy of the table for the frame it serves.
    OutputFormatTable m_servedFormats;
    std::deque<FRAME_UNIT> m_frameQueue;
    size_t m_nDroppedInBurst;  // under the queue lock
    // Both are taken by the delivery thread, which may be ended by force.
    SurvivingLock m_outputFormatsLock;
    SurvivingLock m_frameQueueLock;

    HANDLE m_hDeliveryThread;
    DRIVER_CALLER m_driverCaller;         // the delivery thread's driver calls
    DeliveryResources m_heldForDelivery;  // what it holds for the frame it serves
    HANDLE m_hQuitEvent;            // "QuitDeliveryThreadEvent"
    HANDLE m_hReadNextSampleEvent;  // borrowed
    HANDLE m_hFrameInsertedEvent;   // "FrameInsertedEvent"

    MjpegDecoder m_decoder;
};
