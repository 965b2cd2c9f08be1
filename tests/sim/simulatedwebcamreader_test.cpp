#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <stdlib.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "scopedmediafoundation.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamframes.h"
#include "sourcereadertestsupport.h"
#include "testpictures.h"
#include "webcamobjectcount.h"
#include "waituntil.h"

using Microsoft::WRL::ComPtr;

// The simulated webcam under the platform's own asynchronous source reader,
// created as the capture builder creates it, with the readers' work queue
// held as the product holds it: a reader may go while its callback still
// runs. Every reader is released on the test thread once its callback no
// longer touches it.

namespace
{
const DWORD kWaitMs = 5000;
const DWORD kReleaseMs = 10000;
// Long enough for an unpaced source to have answered many requests.
const DWORD kQuietMs = 400;
const LONGLONG kDuration30 = 333333;

struct ReadFrame
{
    int nCounter;
    LONGLONG llTimestamp;
};

class SimulatedWebcamReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mediaFoundation.Result());
        m_nObjectsBefore = GetLiveWebcamComObjectCount();
    }

    void TearDown() override
    {
        for (ComPtr<IMFMediaSource>& source : m_sources)
            source->Shutdown();
        m_sources.clear();
        // Readers hand their last references back on their own threads.
        EXPECT_TRUE(
            WaitUntil([&] { return GetLiveWebcamComObjectCount() == m_nObjectsBefore; }, 2000))
            << GetLiveWebcamComObjectCount() << " objects live, " << m_nObjectsBefore << " before";
    }

    ComPtr<IMFMediaSource> Activate(const std::shared_ptr<SimulatedWebcam>& webcam)
    {
        ComPtr<IMFMediaSource> source;
        EXPECT_EQ(S_OK, ActivateWebcamSource(webcam.get(), &source));
        if (source)
            m_sources.push_back(source);
        return source;
    }

    // Ends the read loop (the callback that met the end has run) and
    // releases the reader on this thread.
    static void FinishReader(ReaderTestCallback* pCallback, ComPtr<IMFSourceReader>& reader,
                             bool bExpectCallback = true)
    {
        bool bStopSeen = pCallback->StopReading(bExpectCallback ? kWaitMs : 0);
        EXPECT_TRUE(bStopSeen || !bExpectCallback);
        pCallback->ForgetReader();
        ReleaseReaderBounded(reader, kReleaseMs);
    }

    // A small webcam's source, read by a reader of its own until nReads
    // have come back.
    struct SmallWebcamReading
    {
        std::shared_ptr<SimulatedWebcam> webcam;
        ComPtr<IMFMediaSource> source;
        ComPtr<ReaderTestCallback> callback;
        ComPtr<IMFSourceReader> reader;
    };
    void ReadSmallYuy2Webcam(bool bPaced, size_t nReads, SmallWebcamReading* pReading)
    {
        pReading->webcam = SmallYuy2Webcam(bPaced);
        pReading->source = Activate(pReading->webcam);
        ASSERT_TRUE(pReading->source);
        ASSERT_NO_FATAL_FAILURE(
            StartReading(pReading->source.Get(), nReads, &pReading->callback, &pReading->reader));
    }

    static std::vector<ReadFrame> Yuy2Frames(ReaderTestCallback* pCallback, UINT32 nWidth,
                                             UINT32 nHeight)
    {
        std::vector<ReadFrame> frames;
        for (const ReaderTestCallback::Read& read : pCallback->Reads())
        {
            EXPECT_EQ(S_OK, read.hrStatus);
            EXPECT_TRUE(read.bSample);
            EXPECT_EQ(static_cast<size_t>(nWidth) * nHeight * 2, read.data.size());
            if (read.data.size() != static_cast<size_t>(nWidth) * nHeight * 2)
                continue;
            ReadFrame frame = {
                ReadWebcamFrameCounterYuy2(read.data.data(), nWidth, nHeight, nWidth * 2),
                read.llTimestamp};
            frames.push_back(frame);
        }
        return frames;
    }

    ScopedMediaFoundation m_mediaFoundation;
    LONG m_nObjectsBefore;
    std::vector<ComPtr<IMFMediaSource>> m_sources;
};
}  // namespace

TEST_F(SimulatedWebcamReaderTest, NativeTypesAreWalkedInOrderUpToNoMoreTypes)
{
    std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(
        WebcamSpecOf({MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30),
                      MakeWebcamFormat(MFVideoFormat_MJPG, 1280, 720, 30),
                      MakeWebcamFormat(MFVideoFormat_MJPG, 1280, 720, 15),
                      MakeWebcamFormat(MFVideoFormat_YUY2, 640, 480, 30000, 1001),
                      MakeWebcamFormat(MFVideoFormat_MJPG, 640, 480, 30)},
                     true));
    const std::vector<SimulatedWebcamFormat>& formats = webcam->GetSpec().formats;
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);
    ComPtr<ReaderTestCallback> callback = ReaderTestCallback::Create();
    ComPtr<IMFSourceReader> reader;
    ASSERT_EQ(S_OK, CreateAsyncReader(source.Get(), callback.Get(), &reader));

    // The capture builder's probes: major type, subtype and size only.
    ComPtr<IMFMediaType> mjpgProbe;
    ComPtr<IMFMediaType> yuy2Probe;
    ASSERT_EQ(S_OK, MFCreateMediaType(&mjpgProbe));
    ASSERT_EQ(S_OK, MFCreateMediaType(&yuy2Probe));
    mjpgProbe->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    mjpgProbe->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_MJPG);
    MFSetAttributeSize(mjpgProbe.Get(), MF_MT_FRAME_SIZE, 1280, 720);
    yuy2Probe->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    yuy2Probe->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    MFSetAttributeSize(yuy2Probe.Get(), MF_MT_FRAME_SIZE, 640, 480);
    const bool kOffersMjpg[] = {false, true, true, false, false};
    const bool kOffersYuy2[] = {true, false, false, true, false};

    DWORD i = 0;
    HRESULT hr = S_OK;
    for (;; ++i)
    {
        ComPtr<IMFMediaType> type;
        hr = reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, i, &type);
        if (FAILED(hr))
            break;
        ASSERT_LT(i, formats.size());
        GUID subtype = GUID_NULL;
        UINT32 nWidth = 0, nHeight = 0, nNumerator = 0, nDenominator = 0;
        EXPECT_EQ(S_OK, type->GetGUID(MF_MT_SUBTYPE, &subtype));
        EXPECT_EQ(S_OK, MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &nWidth, &nHeight));
        EXPECT_EQ(S_OK,
                  MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &nNumerator, &nDenominator));
        EXPECT_TRUE(subtype == formats[i].subtype) << i;
        EXPECT_EQ(formats[i].nWidth, nWidth) << i;
        EXPECT_EQ(formats[i].nHeight, nHeight) << i;
        EXPECT_EQ(formats[i].nRateNumerator, nNumerator) << i;
        EXPECT_EQ(formats[i].nRateDenominator, nDenominator) << i;

        DWORD dwFlags = 0;
        EXPECT_EQ(kOffersMjpg[i], type->IsEqual(mjpgProbe.Get(), &dwFlags) == S_OK) << i;
        EXPECT_EQ(kOffersYuy2[i], type->IsEqual(yuy2Probe.Get(), &dwFlags) == S_OK) << i;
    }
    EXPECT_EQ(formats.size(), i);
    EXPECT_EQ(MF_E_NO_MORE_TYPES, hr);

    ReleaseReaderBounded(reader, kReleaseMs);
}

TEST_F(SimulatedWebcamReaderTest, Yuy2ReadsCarryRisingTimestampsAndTheFrameCounter)
{
    const UINT32 nWidth = 320;
    const UINT32 nHeight = 240;
    std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(
        WebcamSpecOf({MakeWebcamFormat(MFVideoFormat_YUY2, nWidth, nHeight, 30)}, false));
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);
    ComPtr<ReaderTestCallback> callback = ReaderTestCallback::Create();
    ComPtr<IMFSourceReader> reader;
    ASSERT_EQ(S_OK, CreateAsyncReader(source.Get(), callback.Get(), &reader));

    ASSERT_EQ(S_OK, callback->StartReading(reader.Get()));
    ASSERT_TRUE(callback->WaitForReads(20, kWaitMs));
    FinishReader(callback.Get(), reader);
    EXPECT_EQ(S_OK, callback->LastReadSampleResult());

    std::vector<ReadFrame> frames = Yuy2Frames(callback.Get(), nWidth, nHeight);
    ASSERT_GE(frames.size(), 20u);
    for (const ReaderTestCallback::Read& read : callback->Reads())
        EXPECT_EQ(kDuration30, read.llDuration);
    EXPECT_EQ(0, frames[0].nCounter);
    for (size_t i = 1; i < frames.size(); ++i)
    {
        // Every request was answered by the next frame, stamped one period later.
        EXPECT_EQ(frames[i - 1].nCounter + 1, frames[i].nCounter) << i;
        EXPECT_EQ(frames[i - 1].llTimestamp + kDuration30, frames[i].llTimestamp) << i;
    }
    EXPECT_EQ(0, webcam->GetStartedSourceCount());
    EXPECT_EQ(0, webcam->GetShutdownCount());  // the reader leaves the source open
}

TEST_F(SimulatedWebcamReaderTest, PacedReadsFollowTheFrameRate)
{
    SmallWebcamReading reading;
    ASSERT_NO_FATAL_FAILURE(ReadSmallYuy2Webcam(true, 1, &reading));
    DWORD dwFirst = GetTickCount();
    ASSERT_TRUE(reading.callback->WaitForReads(13, kWaitMs));
    DWORD dwElapsed = GetTickCount() - dwFirst;
    FinishReader(reading.callback.Get(), reading.reader);

    std::vector<ReadFrame> frames = Yuy2Frames(reading.callback.Get(), 160, 120);
    ASSERT_GE(frames.size(), 13u);
    // A slow reader may miss frames; the stamps still follow the counter.
    int nSpan = frames[12].nCounter - frames[0].nCounter;
    EXPECT_GE(nSpan, 12);
    for (size_t i = 1; i < frames.size(); ++i)
    {
        EXPECT_GT(frames[i].nCounter, frames[i - 1].nCounter);
        EXPECT_EQ((frames[i].nCounter - frames[i - 1].nCounter) * kDuration30,
                  frames[i].llTimestamp - frames[i - 1].llTimestamp);
    }
    // Twelve periods of 33.3 ms, with the timer's coarseness allowed for.
    EXPECT_GE(dwElapsed, 12u * 33u - 40u);
    EXPECT_LT(dwElapsed, 3000u);
}

TEST_F(SimulatedWebcamReaderTest, SettingANativeMjpgTypeDeliversJpegPicturesOfThePattern)
{
    const UINT32 nWidth = 320;
    const UINT32 nHeight = 240;
    std::shared_ptr<SimulatedWebcam> webcam = SimulatedWebcam::Create(
        WebcamSpecOf({MakeWebcamFormat(MFVideoFormat_YUY2, 160, 120, 30),
                      MakeWebcamFormat(MFVideoFormat_MJPG, nWidth, nHeight, 30)},
                     false));
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);
    ComPtr<ReaderTestCallback> callback = ReaderTestCallback::Create();
    ComPtr<IMFSourceReader> reader;
    ASSERT_EQ(S_OK, CreateAsyncReader(source.Get(), callback.Get(), &reader));

    ComPtr<IMFMediaType> mjpg;
    ASSERT_EQ(S_OK, reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 1, &mjpg));
    ASSERT_EQ(S_OK,
              reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, NULL, mjpg.Get()));
    ComPtr<IMFMediaType> current;
    ASSERT_EQ(S_OK, reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current));
    GUID subtype = GUID_NULL;
    EXPECT_EQ(S_OK, current->GetGUID(MF_MT_SUBTYPE, &subtype));
    EXPECT_TRUE(subtype == MFVideoFormat_MJPG);

    ASSERT_EQ(S_OK, callback->StartReading(reader.Get()));
    ASSERT_TRUE(callback->WaitForReads(6, kWaitMs));
    FinishReader(callback.Get(), reader);

    std::vector<BYTE> expected(nWidth * 3 * nHeight);
    int nPrevious = -1;
    for (const ReaderTestCallback::Read& read : callback->Reads())
    {
        ASSERT_EQ(S_OK, read.hrStatus);
        ASSERT_TRUE(read.bSample);
        UINT32 nDecodedWidth = 0;
        UINT32 nDecodedHeight = 0;
        std::vector<BYTE> decoded;
        ASSERT_EQ(S_OK, DecodeWebcamJpeg(read.data.data(), static_cast<UINT32>(read.data.size()),
                                         &nDecodedWidth, &nDecodedHeight, &decoded));
        ASSERT_EQ(nWidth, nDecodedWidth);
        ASSERT_EQ(nHeight, nDecodedHeight);
        int nCounter = ReadWebcamFrameCounterBgr24(decoded.data(), nWidth, nHeight, nWidth * 3);
        ASSERT_GE(nCounter, 0);
        // MJPG frames cycle through the pictures encoded at start.
        if (nPrevious >= 0)
        {
            EXPECT_EQ((nPrevious + 1) % 16, nCounter);
        }
        nPrevious = nCounter;
        ASSERT_TRUE(DrawWebcamFrameBgr24(static_cast<UINT32>(nCounter), nWidth, nHeight,
                                         expected.data(), nWidth * 3));
        EXPECT_LT(MeanAbsoluteDifference(decoded, expected), 4.0);
    }
}

TEST_F(SimulatedWebcamReaderTest, ANewReaderOverTheSameSourceReceivesSamplesAgain)
{
    std::shared_ptr<SimulatedWebcam> webcam = SmallYuy2Webcam(false);
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);

    int nLastCounter = -1;
    LONGLONG llLastTimestamp = 0;
    for (int nRun = 0; nRun < 3; ++nRun)
    {
        ComPtr<ReaderTestCallback> callback;
        ComPtr<IMFSourceReader> reader;
        ASSERT_NO_FATAL_FAILURE(StartReading(source.Get(), 5, &callback, &reader));
        FinishReader(callback.Get(), reader);

        std::vector<ReadFrame> frames = Yuy2Frames(callback.Get(), 160, 120);
        ASSERT_GE(frames.size(), 5u);
        EXPECT_GT(frames.front().nCounter, nLastCounter) << "run " << nRun;
        EXPECT_GT(frames.front().llTimestamp, llLastTimestamp) << "run " << nRun;
        nLastCounter = frames.back().nCounter;
        llLastTimestamp = frames.back().llTimestamp;
        EXPECT_EQ(0, webcam->GetStartedSourceCount());
    }
    EXPECT_EQ(3, webcam->GetCallCount(WEBCAM_CALL_START));
    EXPECT_EQ(0, webcam->GetShutdownCount());
}

TEST_F(SimulatedWebcamReaderTest, AReaderReleasedBeforeItsFirstReadLeavesTheSourceToTheNext)
{
    std::shared_ptr<SimulatedWebcam> webcam = SmallYuy2Webcam(false);
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);

    ComPtr<ReaderTestCallback> unused = ReaderTestCallback::Create();
    ComPtr<IMFSourceReader> first;
    ASSERT_EQ(S_OK, CreateAsyncReader(source.Get(), unused.Get(), &first));
    ReleaseReaderBounded(first, kReleaseMs);

    ComPtr<ReaderTestCallback> callback;
    ComPtr<IMFSourceReader> second;
    ASSERT_NO_FATAL_FAILURE(StartReading(source.Get(), 3, &callback, &second));
    FinishReader(callback.Get(), second);
    EXPECT_EQ(0u, unused->ReadCount());
}

TEST_F(SimulatedWebcamReaderTest, ReleasingTheReaderWithAReadPendingStopsTheSourceAndReturns)
{
    SmallWebcamReading reading;
    ASSERT_NO_FATAL_FAILURE(ReadSmallYuy2Webcam(true, 3, &reading));

    // The next read stays pending: no callback can be running at the release.
    reading.webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    reading.callback->ForgetReader();
    // Each read asks the webcam once: the last callback's read has reached it.
    auto nRequests = [&] { return reading.webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE); };
    ASSERT_TRUE(WaitUntil(
        [&] { return nRequests() == static_cast<int>(reading.callback->ReadCount()) + 1; },
        kWaitMs))
        << nRequests() << " requests for " << reading.callback->ReadCount() << " reads";
    int nRequestsBefore = nRequests();
    ASSERT_EQ(1, reading.webcam->GetStartedSourceCount());
    ReleaseReaderBounded(reading.reader, kReleaseMs);

    EXPECT_EQ(0, reading.webcam->GetStartedSourceCount());
    EXPECT_EQ(0, reading.webcam->GetShutdownCount());
    EXPECT_EQ(nRequestsBefore, nRequests());
    ComPtr<IMFPresentationDescriptor> descriptor;
    EXPECT_EQ(S_OK, reading.source->CreatePresentationDescriptor(&descriptor));
}

// Failures the webcam can be told to produce. Wine's reader turns none of
// them into a failed OnReadSample: the stream goes silent; the platform on
// Windows reports them with a failed status instead. Both satisfy these tests.
enum ReaderFailure
{
    FAIL_REQUEST_SAMPLE,
    FAIL_WITH_ERROR_EVENTS,
    FAIL_BY_UNPLUG_WITH_ERROR,
    FAIL_BY_UNPLUG_WITH_STOP,
    FAIL_BY_UNPLUG_WITH_SHUTDOWN,
};

class SimulatedWebcamReaderFailureTest : public SimulatedWebcamReaderTest,
                                         public ::testing::WithParamInterface<ReaderFailure>
{
};

TEST_P(SimulatedWebcamReaderFailureTest, TheStreamEndsWithoutSamplesAndTheReaderStillGoes)
{
    SmallWebcamReading reading;
    ASSERT_NO_FATAL_FAILURE(ReadSmallYuy2Webcam(true, 2, &reading));

    switch (GetParam())
    {
    case FAIL_REQUEST_SAMPLE:
        reading.webcam->FailCall(WEBCAM_CALL_REQUEST_SAMPLE, E_FAIL);
        break;
    case FAIL_WITH_ERROR_EVENTS:
        reading.webcam->SetDelivery(WEBCAM_DELIVER_ERRORS, MF_E_HW_MFT_FAILED_START_STREAMING);
        break;
    case FAIL_BY_UNPLUG_WITH_ERROR:
        reading.webcam->Unplug(WEBCAM_LOSS_ERROR_EVENT);
        break;
    case FAIL_BY_UNPLUG_WITH_STOP:
        reading.webcam->Unplug(WEBCAM_LOSS_STOPPED_EVENTS);
        break;
    case FAIL_BY_UNPLUG_WITH_SHUTDOWN:
        reading.webcam->Unplug(WEBCAM_LOSS_SHUTDOWN);
        break;
    }
    // At most the frame already on its way, then no more samples.
    UINT64 nSamples = reading.webcam->GetSampleCount();
    size_t nReads = reading.callback->ReadCount();
    EXPECT_FALSE(reading.callback->WaitForReads(nReads + 2, kQuietMs));
    EXPECT_LE(reading.webcam->GetSampleCount(), nSamples + 1);
    std::vector<ReaderTestCallback::Read> reads = reading.callback->Reads();
    for (size_t i = nReads + 1; i < reads.size(); ++i)
        EXPECT_TRUE(FAILED(reads[i].hrStatus) || !reads[i].bSample);

    // No callback is running now: the stream is silent.
    reading.callback->ForgetReader();
    ReleaseReaderBounded(reading.reader, kReleaseMs);
    EXPECT_EQ(0, reading.webcam->GetShutdownCount());

    switch (GetParam())
    {
    case FAIL_REQUEST_SAMPLE:
        EXPECT_GE(reading.webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE), 3);
        break;
    case FAIL_WITH_ERROR_EVENTS:
        EXPECT_GE(reading.webcam->GetErrorEventCount(), 1);
        break;
    default:
        EXPECT_FALSE(reading.webcam->IsPlugged());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, SimulatedWebcamReaderFailureTest,
                         ::testing::Values(FAIL_REQUEST_SAMPLE, FAIL_WITH_ERROR_EVENTS,
                                           FAIL_BY_UNPLUG_WITH_ERROR, FAIL_BY_UNPLUG_WITH_STOP,
                                           FAIL_BY_UNPLUG_WITH_SHUTDOWN));

TEST_F(SimulatedWebcamReaderTest, AFailedStartLeavesTheReadUnansweredAndTheSourceUsable)
{
    std::shared_ptr<SimulatedWebcam> webcam = SmallYuy2Webcam(false);
    ComPtr<IMFMediaSource> source = Activate(webcam);
    ASSERT_TRUE(source);
    webcam->FailCall(WEBCAM_CALL_START, MF_E_HW_MFT_FAILED_START_STREAMING, 1);

    ComPtr<ReaderTestCallback> failed = ReaderTestCallback::Create();
    ComPtr<IMFSourceReader> reader;
    ASSERT_EQ(S_OK, CreateAsyncReader(source.Get(), failed.Get(), &reader));
    ASSERT_EQ(S_OK, failed->StartReading(reader.Get()));
    EXPECT_FALSE(failed->WaitForReads(1, kQuietMs) && SUCCEEDED(failed->Reads()[0].hrStatus));
    EXPECT_EQ(1, webcam->GetCallCount(WEBCAM_CALL_START));
    failed->ForgetReader();
    ReleaseReaderBounded(reader, kReleaseMs);

    ComPtr<ReaderTestCallback> callback;
    ASSERT_NO_FATAL_FAILURE(StartReading(source.Get(), 3, &callback, &reader));
    FinishReader(callback.Get(), reader);
}

TEST_F(SimulatedWebcamReaderTest, AWebcamThatStopsSendingKeepsTheReadPendingUntilItResumes)
{
    SmallWebcamReading reading;
    ASSERT_NO_FATAL_FAILURE(ReadSmallYuy2Webcam(true, 2, &reading));

    reading.webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    size_t nReads = reading.callback->ReadCount();
    EXPECT_FALSE(reading.callback->WaitForReads(nReads + 2, kQuietMs));
    nReads = reading.callback->ReadCount();
    reading.webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    EXPECT_TRUE(reading.callback->WaitForReads(nReads + 3, kWaitMs));
    FinishReader(reading.callback.Get(), reading.reader);
}
