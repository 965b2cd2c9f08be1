#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "driver/drivercallthread.h"
#include "image/framescaler.h"
#include "image/mjpegdecoder.h"
#include "pipeline/deliveryresources.h"
#include "pipeline/framequeue.h"
#include "pipeline/framerecords.h"
#include "pipeline/outputformattable.h"

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

    // The queue (FrameQueue): at most kMaxQueuedFrames pictures, the oldest
    // dropped when full.
    static const size_t kMaxQueuedFrames = FrameQueue::kMaxQueuedFrames;
    HRESULT InsertFrame(const FRAME_UNIT& frame) { return m_frameQueue.InsertFrame(frame); }
    FRAME_UNIT GetFrame() { return m_frameQueue.GetFrame(); }
    bool IsFrameQueueEmpty() { return m_frameQueue.IsEmpty(); }
    size_t GetFrameQueueDepth() { return m_frameQueue.GetDepth(); }
    void ClearFrameQueue() { m_frameQueue.Clear(); }

    // The delivery thread. A start first stops the thread left running and
    // empties the queue.
    HRESULT StartDeliveryThread();
    void StopDeliveryThread();
    // Starts the thread only when none runs; S_FALSE when one does. A change
    // of clients needs no new thread (each frame is served from a fresh copy
    // of the table), and a restart would drop the pictures queued and the
    // one on its way.
    HRESULT KeepDeliveryThreadRunning();

    // The requested-output table (OutputFormatTable): what cannot be served
    // and duplicates are ignored.
    HRESULT AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
    {
        return m_outputFormats.AddOutputFormat(eFormat, nWidth, nHeight);
    }
    HRESULT ClearOutputFormats() { return m_outputFormats.ClearOutputFormats(); }
    size_t GetOutputFormatCount(_COLOR_FORMAT eFormat)
    {
        return m_outputFormats.GetOutputFormatCount(eFormat);
    }
    // A copy of the entries of one format, in table order.
    std::vector<FORMAT_RESOLUTION_UNIT> GetOutputFormats(_COLOR_FORMAT eFormat)
    {
        return m_outputFormats.GetOutputFormats(eFormat);
    }

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

    // The capture callback's decoding: the decoded picture queued as YUY2
    // at its own size; three failed decodes in a row flush the decoder, a
    // fourth creates it again.
    void DecodeIntoQueue(IMFSample* pSample);
    void NoteDecodeResult(HRESULT hrDecode);

    // What the driver last answered to a frame the delivery thread sent. A
    // frame that never reached it (no device, no picture, no entry that
    // could be made) leaves the answer as it was.
    enum DRIVER_ANSWER
    {
        // The driver refused the frame's last send, or, right after the
        // start, has taken no frame yet: either stops the camera's read loop.
        DRIVER_REFUSED,
        // No send of the frame was refused (a frame with nothing to send
        // meets no refusal).
        DRIVER_ACCEPTED,
    };

    static DWORD WINAPI DeliveringThread(LPVOID pContext);
    bool IsQuitRequested() const;
    void DeliverFrames();
    DRIVER_ANSWER DeliverFrame(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData,
                               UINT32 cbData, DRIVER_ANSWER eLastAnswer);
    // Serves the entries of the frame's own format until the driver refuses
    // one.
    DRIVER_ANSWER DeliverToOwnFormat(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData,
                                     UINT32 cbData);
    // Serves every NV12 entry, whatever the driver answers to each.
    DRIVER_ANSWER DeliverToNv12(HANDLE hDevice, const FRAME_UNIT& frame, const BYTE* pData,
                                DRIVER_ANSWER eLastAnswer);
    // The answer after one entry's send: the driver's own, when the send
    // reached it; a failure of the entry's own (a refused resize, no memory)
    // is logged, skips that entry only and leaves eLastAnswer.
    static DRIVER_ANSWER AnswerAfterEntry(DRIVER_ANSWER eLastAnswer, HRESULT hrEntry,
                                          BOOL bRefusedByDriver, _COLOR_FORMAT eFormat,
                                          UINT32 nWidth, UINT32 nHeight);

    std::unique_ptr<FrameScaler> m_pFrameScaler;  // empty only if it could not be made
    BOOL m_bInputIsYuy2;
    UINT32 m_nInputWidth;
    UINT32 m_nInputHeight;
    // The capture callback's own counts.
    UINT32 m_nFailedDecodes;   // in a row
    UINT32 m_nOtherSizeDrops;  // MJPG frames of another size, this burst

    // Each guards itself with a lock of its own; no caller holds both locks
    // at once.
    OutputFormatTable m_outputFormats;
    FrameQueue m_frameQueue;  // its event is "FrameInsertedEvent"
    // The delivery thread's copy of the table for the frame it serves; only
    // that thread touches it, so it needs no lock.
    OutputFormatTable::Entries m_servedFormats;

    HANDLE m_hDeliveryThread;
    DRIVER_CALLER m_driverCaller;         // the delivery thread's driver calls
    DeliveryResources m_heldForDelivery;  // what it holds for the frame it serves
    HANDLE m_hQuitEvent;                  // "QuitDeliveryThreadEvent"
    HANDLE m_hReadNextSampleEvent;        // borrowed

    MjpegDecoder m_decoder;
};
