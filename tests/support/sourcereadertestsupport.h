#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "comobject.h"
#include "simulatedwebcam.h"

// Reads from an asynchronous source reader the way the capture builder does:
// the first ReadSample from the test, each next one from inside OnReadSample.
// It holds no reference on the reader (the reader holds one on it).
class ReaderTestCallback : public ComObject<IMFSourceReaderCallback>
{
public:
    struct Read
    {
        HRESULT hrStatus;
        DWORD dwStreamFlags;
        LONGLONG llTimestamp;
        bool bSample;
        LONGLONG llDuration;
        std::vector<BYTE> data;  // the sample's bytes
    };

    static Microsoft::WRL::ComPtr<ReaderTestCallback> Create();

    // IMFSourceReaderCallback
    STDMETHODIMP OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex, DWORD dwStreamFlags,
                              LONGLONG llTimestamp, IMFSample* pSample) override;
    STDMETHODIMP OnFlush(DWORD dwStreamIndex) override;
    STDMETHODIMP OnEvent(DWORD dwStreamIndex, IMFMediaEvent* pEvent) override;

    // Issues the first read; the loop goes on until StopReading.
    HRESULT StartReading(IMFSourceReader* pReader);
    // The next callback requests nothing more and then lets this return:
    // true once that callback has run to its end.
    bool StopReading(DWORD dwTimeoutMs);
    // No callback touches the reader after this returns.
    void ForgetReader();
    // Takes over the caller's reference, which the next callback drops on
    // the reader's own work thread; true once it has.
    void LetGoOfReaderInTheNextCallback(Microsoft::WRL::ComPtr<IMFSourceReader> reader);
    bool WaitUntilLetGo(DWORD dwTimeoutMs);

    bool WaitForReads(size_t nReads, DWORD dwTimeoutMs);
    size_t ReadCount();
    std::vector<Read> Reads();
    HRESULT LastReadSampleResult();

    // While the event is not signalled, callbacks wait on it (at most 10 s),
    // holding a work-queue thread of the reader.
    void BlockCallbacksOn(HANDLE hEvent);
    bool WaitUntilACallbackIsBlocked(DWORD dwTimeoutMs);

private:
    ReaderTestCallback();
    virtual ~ReaderTestCallback() {}

    std::mutex m_lock;
    std::condition_variable m_changed;
    IMFSourceReader* m_pReader;  // no reference
    Microsoft::WRL::ComPtr<IMFSourceReader> m_readerToLetGo;
    bool m_bLetGo;
    bool m_bReading;
    bool m_bStopSeen;
    HANDLE m_hBlock;
    bool m_bBlocked;
    HRESULT m_hrLastRead;
    std::vector<Read> m_reads;
};

// A webcam of these formats under one name and link, every request answered
// at once unless paced.
SimulatedWebcamSpec WebcamSpecOf(const std::vector<SimulatedWebcamFormat>& formats, bool bPaced);
// A webcam of one YUY2 160 x 120 type at 30 frames a second.
std::shared_ptr<SimulatedWebcam> SmallYuy2Webcam(bool bPaced);

// The webcam's media source, activated as an enumeration's object is.
HRESULT ActivateWebcamSource(SimulatedWebcam* pWebcam, IMFMediaSource** ppSource);

// An asynchronous reader over the source as the capture builder makes it:
// converters off, the source left open when the reader goes, the first video
// stream selected, the readers' work queue held.
HRESULT CreateAsyncReader(IMFMediaSource* pSource, IMFSourceReaderCallback* pCallback,
                          IMFSourceReader** ppReader);

// A new reader of the source, reading through a callback of its own until
// nReads have come back.
void StartReading(IMFMediaSource* pSource, size_t nReads,
                  Microsoft::WRL::ComPtr<ReaderTestCallback>* pCallback,
                  Microsoft::WRL::ComPtr<IMFSourceReader>* pReader, DWORD dwTimeoutMs = 5000);

// Runs the step on this thread; one that does not return in time ends the
// process, saying what hung: a source reader stuck in Media Foundation leaves
// it unusable for the rest of the process, so the remaining tests could only
// hang until the CTest timeout.
void RunBounded(const char* pszWhat, DWORD dwTimeoutMs, const std::function<void()>& step);

// Drops the test's reference on this thread, bounded as above.
void ReleaseReaderBounded(Microsoft::WRL::ComPtr<IMFSourceReader>& reader, DWORD dwTimeoutMs);
