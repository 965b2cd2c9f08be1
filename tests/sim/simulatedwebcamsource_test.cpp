#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "comobject.h"
#include "scopedmediafoundation.h"
#include "simulatedwebcam.h"
#include "simulatedwebcamframes.h"
#include "sourcereadertestsupport.h"
#include "webcamobjectcount.h"
#include "waituntil.h"

using Microsoft::WRL::ComPtr;

namespace
{
const DWORD kWaitMs = 5000;
// Long enough for an unpaced source to have answered a request many times.
const DWORD kQuietMs = 300;

struct ReceivedEvent
{
    MediaEventType eType;
    HRESULT hrStatus;
    ComPtr<IUnknown> value;  // the object an event carries, if any
};

// Listens to an event generator the way the source reader does: one
// BeginGetEvent after another, with the generator as the state.
class EventCollector : public ComObject<IMFAsyncCallback>
{
public:
    EventCollector() : m_bListening(true), m_hrLastBegin(S_OK) {}

    HRESULT Listen(IMFMediaEventGenerator* pGenerator)
    {
        return pGenerator->BeginGetEvent(this, pGenerator);
    }

    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(IMFAsyncResult* pResult) override
    {
        ComPtr<IUnknown> state;
        ComPtr<IMFMediaEventGenerator> generator;
        if (FAILED(pResult->GetState(&state)) || FAILED(state.As(&generator)))
            return S_OK;
        ComPtr<IMFMediaEvent> event;
        HRESULT hr = generator->EndGetEvent(pResult, &event);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (SUCCEEDED(hr) && m_bListening)
            {
                ReceivedEvent received;
                event->GetType(&received.eType);
                event->GetStatus(&received.hrStatus);
                PROPVARIANT var;
                PropVariantInit(&var);
                if (SUCCEEDED(event->GetValue(&var)) && var.vt == VT_UNKNOWN)
                    received.value = var.punkVal;
                PropVariantClear(&var);
                m_events.push_back(received);
                m_hrLastBegin = generator->BeginGetEvent(this, generator.Get());
            }
        }
        m_changed.notify_all();
        return S_OK;
    }

    // Stops listening after the next event and forgets the events, which may
    // hold the generator's objects.
    void Detach()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bListening = false;
        m_events.clear();
    }

    // Waits until nCount events of that type arrived in all.
    bool WaitFor(MediaEventType eType, size_t nCount = 1, DWORD dwTimeoutMs = kWaitMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                                  [&] { return CountLocked(eType) >= nCount; });
    }
    size_t Count(MediaEventType eType)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return CountLocked(eType);
    }
    std::vector<ReceivedEvent> Events()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }
    std::vector<MediaEventType> Types()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<MediaEventType> types;
        for (const ReceivedEvent& received : m_events)
            types.push_back(received.eType);
        return types;
    }
    // Waits until the generator refuses the next BeginGetEvent: it has shut
    // down and no longer holds this listener.
    bool WaitForRefusal(DWORD dwTimeoutMs = kWaitMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                                  [&] { return m_hrLastBegin == MF_E_SHUTDOWN; });
    }

private:
    virtual ~EventCollector() {}

    size_t CountLocked(MediaEventType eType)
    {
        size_t nCount = 0;
        for (const ReceivedEvent& received : m_events)
            nCount += received.eType == eType ? 1 : 0;
        return nCount;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_bListening;
    std::vector<ReceivedEvent> m_events;
    HRESULT m_hrLastBegin;
};

SimulatedWebcamSpec FastYuy2Spec()
{
    SimulatedWebcamSpec webcamSpec =
        MakeWebcamSpec(L"Simulated Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL),
                       {MakeWebcamFormat(MFVideoFormat_YUY2, 160, 120, 30),
                        MakeWebcamFormat(MFVideoFormat_MJPG, 320, 240, 30),
                        MakeWebcamFormat(MFVideoFormat_NV12, 160, 120, 30)});
    webcamSpec.bPaced = false;
    return webcamSpec;
}

class SimulatedWebcamSourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_mediaFoundation.Result());
        m_nObjectsBefore = GetLiveWebcamComObjectCount();
        m_webcam = SimulatedWebcam::Create(FastYuy2Spec());
    }

    void TearDown() override
    {
        // Whatever a test leaves running is shut down, so nothing leaks into the next.
        for (ComPtr<IMFMediaSource>& source : m_sources)
            source->Shutdown();
        for (ComPtr<EventCollector>& collector : m_collectors)
            collector->Detach();
        m_sources.clear();
        m_collectors.clear();
        m_source.Reset();
        m_sourceEvents.Reset();
        m_stream.Reset();
        m_streamEvents.Reset();
        // Listeners let go of the last objects on Media Foundation's threads.
        EXPECT_TRUE(
            WaitUntil([&] { return GetLiveWebcamComObjectCount() == m_nObjectsBefore; }, 2000))
            << GetLiveWebcamComObjectCount() << " objects live, " << m_nObjectsBefore << " before";
    }

    ComPtr<IMFMediaSource> Activate()
    {
        ComPtr<IMFMediaSource> source;
        EXPECT_EQ(S_OK, ActivateWebcamSource(m_webcam.get(), &source));
        if (source)
            m_sources.push_back(source);
        return source;
    }

    ComPtr<EventCollector> Listen(IMFMediaEventGenerator* pGenerator)
    {
        ComPtr<EventCollector> collector;
        *collector.ReleaseAndGetAddressOf() = new EventCollector();
        EXPECT_EQ(S_OK, collector->Listen(pGenerator));
        m_collectors.push_back(collector);
        return collector;
    }

    // Starts the source with its own presentation descriptor and returns the
    // stream that MENewStream announced.
    ComPtr<IMFMediaStream> StartAndGetStream(IMFMediaSource* pSource, EventCollector* pEvents)
    {
        ComPtr<IMFPresentationDescriptor> descriptor;
        EXPECT_EQ(S_OK, pSource->CreatePresentationDescriptor(&descriptor));
        PROPVARIANT varStart;
        PropVariantInit(&varStart);
        size_t nNewStreams = pEvents->Count(MENewStream);
        EXPECT_EQ(S_OK, pSource->Start(descriptor.Get(), NULL, &varStart));
        EXPECT_TRUE(pEvents->WaitFor(MENewStream, nNewStreams + 1));
        ComPtr<IMFMediaStream> stream;
        for (const ReceivedEvent& received : pEvents->Events())
        {
            if (received.eType == MENewStream)
                received.value.As(&stream);
        }
        return stream;
    }

    // Activates the webcam, starts it and listens to the source and its
    // stream (m_source, m_sourceEvents, m_stream, m_streamEvents).
    void StartStreaming()
    {
        m_source = Activate();
        ASSERT_TRUE(m_source);
        m_sourceEvents = Listen(m_source.Get());
        m_stream = StartAndGetStream(m_source.Get(), m_sourceEvents.Get());
        ASSERT_TRUE(m_stream);
        m_streamEvents = Listen(m_stream.Get());
    }

    ScopedMediaFoundation m_mediaFoundation;
    LONG m_nObjectsBefore;
    std::shared_ptr<SimulatedWebcam> m_webcam;
    std::vector<ComPtr<IMFMediaSource>> m_sources;
    std::vector<ComPtr<EventCollector>> m_collectors;
    ComPtr<IMFMediaSource> m_source;
    ComPtr<EventCollector> m_sourceEvents;
    ComPtr<IMFMediaStream> m_stream;
    ComPtr<EventCollector> m_streamEvents;
};
}  // namespace

TEST_F(SimulatedWebcamSourceTest, ActivationObjectCarriesTheDeviceAttributes)
{
    ComPtr<IMFActivate> activate;
    ASSERT_EQ(S_OK, m_webcam->CreateActivate(&activate));

    UINT32 nCount = 0;
    EXPECT_EQ(S_OK, activate->GetCount(&nCount));
    EXPECT_EQ(3u, nCount);
    GUID sourceType = GUID_NULL;
    EXPECT_EQ(S_OK, activate->GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType));
    EXPECT_TRUE(sourceType == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);

    LPWSTR pwszLink = NULL;
    UINT32 cchLink = 0;
    ASSERT_EQ(S_OK,
              activate->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK,
                                           &pwszLink, &cchLink));
    EXPECT_EQ(m_webcam->GetSpec().symbolicLink, std::wstring(pwszLink));
    EXPECT_EQ(m_webcam->GetSpec().symbolicLink.size(), cchLink);
    EXPECT_NE(std::wstring::npos, std::wstring(pwszLink).find(L"vid_046d&pid_0825"));
    CoTaskMemFree(pwszLink);

    wchar_t wszName[64] = {};
    EXPECT_EQ(S_OK, activate->GetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, wszName, 64, NULL));
    EXPECT_STREQ(L"Simulated Webcam", wszName);

    UINT32 nValue = 0;
    EXPECT_EQ(MF_E_ATTRIBUTENOTFOUND, activate->GetUINT32(MF_MT_FRAME_SIZE, &nValue));

    ComPtr<IMFAttributes> attributes;
    EXPECT_EQ(S_OK, activate.As(&attributes));
    ComPtr<IMFMediaSource> notASource;
    EXPECT_EQ(E_NOINTERFACE, activate.As(&notASource));
}

TEST_F(SimulatedWebcamSourceTest, ActivationHandsOutOneSourceUntilDetachedOrShutDown)
{
    ComPtr<IMFActivate> activate;
    ASSERT_EQ(S_OK, m_webcam->CreateActivate(&activate));
    ComPtr<IMFMediaSource> first;
    ComPtr<IMFMediaSource> again;
    ASSERT_EQ(S_OK, activate->ActivateObject(IID_PPV_ARGS(&first)));
    ASSERT_EQ(S_OK, activate->ActivateObject(IID_PPV_ARGS(&again)));
    EXPECT_EQ(first.Get(), again.Get());
    EXPECT_EQ(1, m_webcam->GetLiveSourceCount());

    // Detaching lets go of the source without shutting it down.
    EXPECT_EQ(S_OK, activate->DetachObject());
    DWORD dwCharacteristics = 0;
    EXPECT_EQ(S_OK, first->GetCharacteristics(&dwCharacteristics));
    EXPECT_EQ(static_cast<DWORD>(MFMEDIASOURCE_IS_LIVE), dwCharacteristics);

    ComPtr<IMFMediaSource> second;
    ASSERT_EQ(S_OK, activate->ActivateObject(IID_PPV_ARGS(&second)));
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(2, m_webcam->GetLiveSourceCount());

    // Shutting the object down shuts the source down.
    EXPECT_EQ(S_OK, activate->ShutdownObject());
    EXPECT_EQ(MF_E_SHUTDOWN, second->GetCharacteristics(&dwCharacteristics));
    EXPECT_EQ(1, m_webcam->GetShutdownCount());
    EXPECT_EQ(3, m_webcam->GetCallCount(WEBCAM_CALL_ACTIVATE));

    first.Reset();
    again.Reset();
    second.Reset();
    activate.Reset();
    // Released without Shutdown, a source is still destroyed.
    EXPECT_EQ(0, m_webcam->GetLiveSourceCount());
}

TEST_F(SimulatedWebcamSourceTest, PresentationDescriptorListsTheNativeTypesInOrder)
{
    ComPtr<IMFMediaSource> source = Activate();
    ASSERT_TRUE(source);
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(S_OK, source->CreatePresentationDescriptor(&descriptor));
    DWORD dwStreams = 0;
    ASSERT_EQ(S_OK, descriptor->GetStreamDescriptorCount(&dwStreams));
    ASSERT_EQ(1u, dwStreams);
    BOOL bSelected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    ASSERT_EQ(S_OK, descriptor->GetStreamDescriptorByIndex(0, &bSelected, &stream));
    EXPECT_TRUE(bSelected);
    ComPtr<IMFMediaTypeHandler> handler;
    ASSERT_EQ(S_OK, stream->GetMediaTypeHandler(&handler));
    GUID majorType = GUID_NULL;
    EXPECT_EQ(S_OK, handler->GetMajorType(&majorType));
    EXPECT_TRUE(majorType == MFMediaType_Video);

    const std::vector<SimulatedWebcamFormat>& formats = m_webcam->GetSpec().formats;
    DWORD dwTypes = 0;
    ASSERT_EQ(S_OK, handler->GetMediaTypeCount(&dwTypes));
    ASSERT_EQ(formats.size(), dwTypes);
    for (DWORD i = 0; i < dwTypes; ++i)
    {
        ComPtr<IMFMediaType> type;
        ASSERT_EQ(S_OK, handler->GetMediaTypeByIndex(i, &type));
        GUID subtype = GUID_NULL;
        UINT32 nWidth = 0, nHeight = 0, nNumerator = 0, nDenominator = 0;
        EXPECT_EQ(S_OK, type->GetGUID(MF_MT_SUBTYPE, &subtype));
        EXPECT_EQ(S_OK, MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &nWidth, &nHeight));
        EXPECT_EQ(S_OK,
                  MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &nNumerator, &nDenominator));
        EXPECT_TRUE(subtype == formats[i].subtype) << i;
        EXPECT_EQ(formats[i].nWidth, nWidth);
        EXPECT_EQ(formats[i].nHeight, nHeight);
        EXPECT_EQ(formats[i].nRateNumerator, nNumerator);
        EXPECT_EQ(formats[i].nRateDenominator, nDenominator);
    }
    ComPtr<IMFMediaType> beyond;
    EXPECT_EQ(MF_E_NO_MORE_TYPES, handler->GetMediaTypeByIndex(dwTypes, &beyond));

    // The first type is current, and the copy shares it with the source.
    ComPtr<IMFMediaType> current;
    ASSERT_EQ(S_OK, handler->GetCurrentMediaType(&current));
    GUID subtype = GUID_NULL;
    EXPECT_EQ(S_OK, current->GetGUID(MF_MT_SUBTYPE, &subtype));
    EXPECT_TRUE(subtype == MFVideoFormat_YUY2);
}

TEST_F(SimulatedWebcamSourceTest, StartFromStoppedAnnouncesTheStreamAgainEveryTime)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());

    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStarted));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStarted));
    EXPECT_EQ((std::vector<MediaEventType>{MENewStream, MESourceStarted}), m_sourceEvents->Types());
    EXPECT_EQ(1, m_webcam->GetStartedSourceCount());

    // Starting again while started updates the stream.
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(S_OK, m_source->CreatePresentationDescriptor(&descriptor));
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    ASSERT_EQ(S_OK, m_source->Start(descriptor.Get(), &GUID_NULL, &varEmpty));
    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStarted, 2));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStarted, 2));

    ASSERT_EQ(S_OK, m_source->Stop());
    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStopped));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStopped));
    EXPECT_EQ(0, m_webcam->GetStartedSourceCount());

    // From the stopped state: a new stream announcement, not an update.
    ASSERT_EQ(S_OK, m_source->Start(descriptor.Get(), NULL, &varEmpty));
    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStarted, 3));
    EXPECT_EQ(
        (std::vector<MediaEventType>{MENewStream, MESourceStarted, MEUpdatedStream, MESourceStarted,
                                     MESourceStopped, MENewStream, MESourceStarted}),
        m_sourceEvents->Types());
    std::vector<ReceivedEvent> events = m_sourceEvents->Events();
    ComPtr<IMFMediaStream> announced;
    ASSERT_EQ(S_OK, events[5].value.As(&announced));
    EXPECT_EQ(m_stream.Get(), announced.Get());
}

TEST_F(SimulatedWebcamSourceTest, EachRequestIsAnsweredByOneSampleWithTokenTimeAndDuration)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());

    ComPtr<IMFAttributes> tokens[3];
    for (ComPtr<IMFAttributes>& token : tokens)
    {
        ASSERT_EQ(S_OK, MFCreateAttributes(&token, 0));
        ASSERT_EQ(S_OK, m_stream->RequestSample(token.Get()));
    }
    ASSERT_TRUE(m_streamEvents->WaitFor(MEMediaSample, 3));
    EXPECT_FALSE(m_streamEvents->WaitFor(MEMediaSample, 4, kQuietMs));

    std::vector<ComPtr<IMFSample>> samples;
    for (const ReceivedEvent& received : m_streamEvents->Events())
    {
        if (received.eType != MEMediaSample)
            continue;
        ComPtr<IMFSample> sample;
        ASSERT_EQ(S_OK, received.value.As(&sample));
        samples.push_back(sample);
    }
    ASSERT_EQ(3u, samples.size());
    LONGLONG llPrevious = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        ComPtr<IUnknown> token;
        ASSERT_EQ(S_OK, samples[i]->GetUnknown(MFSampleExtension_Token, IID_PPV_ARGS(&token)));
        ComPtr<IUnknown> expected;
        tokens[i].As(&expected);
        EXPECT_EQ(expected.Get(), token.Get());

        LONGLONG llTime = 0;
        LONGLONG llDuration = 0;
        ASSERT_EQ(S_OK, samples[i]->GetSampleTime(&llTime));
        ASSERT_EQ(S_OK, samples[i]->GetSampleDuration(&llDuration));
        EXPECT_EQ(333333, llDuration);
        if (i > 0)
        {
            EXPECT_EQ(llPrevious + 333333, llTime);
        }
        llPrevious = llTime;
        // Only the first sample of a run marks a discontinuity.
        UINT32 bDiscontinuity = FALSE;
        samples[i]->GetUINT32(MFSampleExtension_Discontinuity, &bDiscontinuity);
        EXPECT_EQ(i == 0 ? TRUE : FALSE, bDiscontinuity);

        ComPtr<IMFMediaBuffer> buffer;
        ASSERT_EQ(S_OK, samples[i]->GetBufferByIndex(0, &buffer));
        BYTE* pData = NULL;
        DWORD cbLength = 0;
        ASSERT_EQ(S_OK, buffer->Lock(&pData, NULL, &cbLength));
        EXPECT_EQ(160u * 120u * 2u, cbLength);
        EXPECT_EQ(static_cast<int>(i), ReadWebcamFrameCounterYuy2(pData, 160, 120, 320));
        buffer->Unlock();
    }
    EXPECT_EQ(3u, m_webcam->GetSampleCount());
}

TEST_F(SimulatedWebcamSourceTest, StopDropsPendingRequestsAndStopsSourceAndStream)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());

    m_webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    ASSERT_EQ(S_OK, m_source->Stop());
    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStopped));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStopped));

    // The requests were dropped: serving again brings nothing.
    m_webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    EXPECT_FALSE(m_streamEvents->WaitFor(MEMediaSample, 1, kQuietMs));
    EXPECT_EQ(MF_E_MEDIA_SOURCE_WRONGSTATE, m_stream->RequestSample(NULL));

    // Stopping a stopped source stops the source only: the stream was not started.
    ASSERT_EQ(S_OK, m_source->Stop());
    ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStopped, 2));
    EXPECT_FALSE(m_streamEvents->WaitFor(MEStreamStopped, 2, kQuietMs));
    EXPECT_EQ(MF_E_INVALID_STATE_TRANSITION, m_source->Pause());
}

namespace
{
// The current type of the source's video stream, through its presentation
// descriptor as a reader sees it.
ComPtr<IMFMediaTypeHandler> StreamTypeHandler(IMFMediaSource* pSource)
{
    ComPtr<IMFPresentationDescriptor> descriptor;
    ComPtr<IMFStreamDescriptor> streamDescriptor;
    ComPtr<IMFMediaTypeHandler> handler;
    BOOL bSelected = FALSE;
    EXPECT_EQ(S_OK, pSource->CreatePresentationDescriptor(&descriptor));
    if (!descriptor)
        return handler;
    EXPECT_EQ(S_OK, descriptor->GetStreamDescriptorByIndex(0, &bSelected, &streamDescriptor));
    if (!streamDescriptor)
        return handler;
    EXPECT_EQ(S_OK, streamDescriptor->GetMediaTypeHandler(&handler));
    return handler;
}

GUID CurrentSubtype(IMFMediaTypeHandler* pHandler, UINT32* pnWidth)
{
    ComPtr<IMFMediaType> type;
    GUID subtype = GUID_NULL;
    UINT32 nHeight = 0;
    if (SUCCEEDED(pHandler->GetCurrentMediaType(&type)))
    {
        type->GetGUID(MF_MT_SUBTYPE, &subtype);
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, pnWidth, &nHeight);
    }
    return subtype;
}
}  // namespace

TEST_F(SimulatedWebcamSourceTest, StartsAtItsInitialTypeWhichMayRefuseToChange)
{
    SimulatedWebcamSpec webcamSpec = FastYuy2Spec();
    webcamSpec.nInitialFormat = 1;
    m_webcam = SimulatedWebcam::Create(webcamSpec);
    ComPtr<IMFMediaSource> source = Activate();
    ASSERT_TRUE(source);
    ComPtr<IMFMediaTypeHandler> handler = StreamTypeHandler(source.Get());
    ASSERT_TRUE(handler);
    UINT32 nWidth = 0;
    EXPECT_TRUE(CurrentSubtype(handler.Get(), &nWidth) == MFVideoFormat_MJPG);
    EXPECT_EQ(320u, nWidth);

    ComPtr<IMFMediaType> yuy2;
    ASSERT_EQ(S_OK, handler->GetMediaTypeByIndex(0, &yuy2));
    m_webcam->FailCall(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE, E_ACCESSDENIED, 1);
    EXPECT_EQ(E_ACCESSDENIED, handler->SetCurrentMediaType(yuy2.Get()));
    EXPECT_TRUE(CurrentSubtype(handler.Get(), &nWidth) == MFVideoFormat_MJPG);
    EXPECT_EQ(S_OK, handler->SetCurrentMediaType(yuy2.Get()));
    EXPECT_TRUE(CurrentSubtype(handler.Get(), &nWidth) == MFVideoFormat_YUY2);
    EXPECT_EQ(2, m_webcam->GetCallCount(WEBCAM_CALL_SET_CURRENT_MEDIA_TYPE));
}

TEST_F(SimulatedWebcamSourceTest, AnEndedStreamSaysSoOnceAndRefusesRequestsUntilRestarted)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());

    m_webcam->SetDelivery(WEBCAM_DELIVER_END_OF_STREAM);
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEEndOfStream));
    ASSERT_TRUE(m_sourceEvents->WaitFor(MEEndOfPresentation));
    EXPECT_EQ(MF_E_END_OF_STREAM, m_stream->RequestSample(NULL));
    EXPECT_EQ(0u, m_streamEvents->Count(MEMediaSample));
    EXPECT_EQ(1u, m_streamEvents->Count(MEEndOfStream));

    // A new run streams again.
    m_webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(S_OK, m_source->CreatePresentationDescriptor(&descriptor));
    PROPVARIANT varStart;
    PropVariantInit(&varStart);
    ASSERT_EQ(S_OK, m_source->Stop());
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStopped));
    size_t nStarted = m_streamEvents->Count(MEStreamStarted);
    ASSERT_EQ(S_OK, m_source->Start(descriptor.Get(), NULL, &varStart));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStarted, nStarted + 1));
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    EXPECT_TRUE(m_streamEvents->WaitFor(MEMediaSample));
}

TEST_F(SimulatedWebcamSourceTest, AFormatChangeInMidStreamIsAnnouncedAndTheFramesFollowIt)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEMediaSample));

    m_webcam->ChangeFormat(1);  // MJPG 320 x 240
    ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamFormatChanged));
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));
    ASSERT_TRUE(m_streamEvents->WaitFor(MEMediaSample, 2));
    EXPECT_EQ(1u, m_webcam->GetCurrentFormat());

    std::vector<ReceivedEvent> events = m_streamEvents->Events();
    ComPtr<IMFMediaType> announced;
    std::vector<ComPtr<IMFSample>> samples;
    for (const ReceivedEvent& received : events)
    {
        if (received.eType == MEStreamFormatChanged)
            received.value.As(&announced);
        ComPtr<IMFSample> sample;
        if (received.eType == MEMediaSample && SUCCEEDED(received.value.As(&sample)))
            samples.push_back(sample);
    }
    ASSERT_TRUE(announced);
    GUID subtype = GUID_NULL;
    EXPECT_EQ(S_OK, announced->GetGUID(MF_MT_SUBTYPE, &subtype));
    EXPECT_TRUE(subtype == MFVideoFormat_MJPG);
    ASSERT_EQ(2u, samples.size());
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_EQ(S_OK, samples[1]->GetBufferByIndex(0, &buffer));
    BYTE* pData = NULL;
    DWORD cbData = 0;
    ASSERT_EQ(S_OK, buffer->Lock(&pData, NULL, &cbData));
    ASSERT_GE(cbData, 2u);
    EXPECT_EQ(0xFF, pData[0]);  // a JPEG now, where YUY2 came before
    EXPECT_EQ(0xD8, pData[1]);
    buffer->Unlock();

    UINT32 nWidth = 0;
    ComPtr<IMFMediaTypeHandler> handler = StreamTypeHandler(m_source.Get());
    ASSERT_TRUE(handler);
    EXPECT_TRUE(CurrentSubtype(handler.Get(), &nWidth) == MFVideoFormat_MJPG);
    EXPECT_EQ(320u, nWidth);
}

TEST_F(SimulatedWebcamSourceTest, ShutdownEndsTheEventsAndEveryLaterCall)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(S_OK, m_source->CreatePresentationDescriptor(&descriptor));

    ASSERT_EQ(S_OK, m_source->Shutdown());
    // Pending listeners hear of it once and are refused afterwards, so none
    // keeps waiting on a dead source.
    ASSERT_TRUE(m_sourceEvents->WaitForRefusal());
    ASSERT_TRUE(m_streamEvents->WaitForRefusal());
    EXPECT_EQ(0, m_webcam->GetStartedSourceCount());

    DWORD dwCharacteristics = 0;
    ComPtr<IMFPresentationDescriptor> another;
    ComPtr<IMFMediaEvent> event;
    ComPtr<IMFMediaSource> owner;
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->GetCharacteristics(&dwCharacteristics));
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->CreatePresentationDescriptor(&another));
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->Start(descriptor.Get(), NULL, &varEmpty));
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->Stop());
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->Pause());
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->GetEvent(MF_EVENT_FLAG_NO_WAIT, &event));
    EXPECT_EQ(MF_E_SHUTDOWN, m_stream->RequestSample(NULL));
    EXPECT_EQ(MF_E_SHUTDOWN, m_stream->GetEvent(MF_EVENT_FLAG_NO_WAIT, &event));
    EXPECT_EQ(MF_E_SHUTDOWN, m_stream->GetMediaSource(&owner));
    EXPECT_EQ(MF_E_SHUTDOWN, m_source->Shutdown());
    EXPECT_EQ(2, m_webcam->GetShutdownCount());
}

TEST_F(SimulatedWebcamSourceTest, StartChecksItsArgumentsAndTheCurrentType)
{
    ComPtr<IMFMediaSource> source = Activate();
    ASSERT_TRUE(source);
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(S_OK, source->CreatePresentationDescriptor(&descriptor));
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    PROPVARIANT varWrong;
    PropVariantInit(&varWrong);
    varWrong.vt = VT_R8;

    EXPECT_EQ(E_INVALIDARG, source->Start(NULL, NULL, &varEmpty));
    EXPECT_EQ(MF_E_UNSUPPORTED_TIME_FORMAT,
              source->Start(descriptor.Get(), &MFVideoFormat_YUY2, &varEmpty));
    EXPECT_EQ(MF_E_UNSUPPORTED_TIME_FORMAT, source->Start(descriptor.Get(), NULL, &varWrong));

    // The double draws YUY2 and MJPG only; another listed type cannot stream.
    BOOL bSelected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFMediaType> nv12;
    ASSERT_EQ(S_OK, descriptor->GetStreamDescriptorByIndex(0, &bSelected, &stream));
    ASSERT_EQ(S_OK, stream->GetMediaTypeHandler(&handler));
    ASSERT_EQ(S_OK, handler->GetMediaTypeByIndex(2, &nv12));
    ASSERT_EQ(S_OK, handler->SetCurrentMediaType(nv12.Get()));
    EXPECT_EQ(MF_E_INVALIDMEDIATYPE, source->Start(descriptor.Get(), NULL, &varEmpty));
    EXPECT_EQ(0, m_webcam->GetStartedSourceCount());
}

TEST_F(SimulatedWebcamSourceTest, InjectedFailuresAnswerTheNamedCallsAsToldAndCountThem)
{
    m_webcam->FailCall(WEBCAM_CALL_ACTIVATE, E_ACCESSDENIED, 1);
    ComPtr<IMFActivate> activate;
    ASSERT_EQ(S_OK, m_webcam->CreateActivate(&activate));
    ComPtr<IMFMediaSource> source;
    EXPECT_EQ(E_ACCESSDENIED, activate->ActivateObject(IID_PPV_ARGS(&source)));
    EXPECT_FALSE(source);
    EXPECT_EQ(0, m_webcam->GetLiveSourceCount());
    source = Activate();
    ASSERT_TRUE(source);

    m_webcam->FailCall(WEBCAM_CALL_CREATE_PRESENTATION_DESCRIPTOR, E_OUTOFMEMORY, 1);
    ComPtr<IMFPresentationDescriptor> descriptor;
    EXPECT_EQ(E_OUTOFMEMORY, source->CreatePresentationDescriptor(&descriptor));
    ASSERT_EQ(S_OK, source->CreatePresentationDescriptor(&descriptor));

    ComPtr<EventCollector> sourceEvents = Listen(source.Get());
    m_webcam->FailCall(WEBCAM_CALL_START, MF_E_HW_MFT_FAILED_START_STREAMING, 1);
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    EXPECT_EQ(MF_E_HW_MFT_FAILED_START_STREAMING, source->Start(descriptor.Get(), NULL, &varEmpty));
    EXPECT_FALSE(sourceEvents->WaitFor(MESourceStarted, 1, kQuietMs));
    ComPtr<IMFMediaStream> stream = StartAndGetStream(source.Get(), sourceEvents.Get());
    ASSERT_TRUE(stream);
    ComPtr<EventCollector> streamEvents = Listen(stream.Get());

    m_webcam->FailCall(WEBCAM_CALL_REQUEST_SAMPLE, E_FAIL);
    EXPECT_EQ(E_FAIL, stream->RequestSample(NULL));
    EXPECT_EQ(E_FAIL, stream->RequestSample(NULL));
    m_webcam->ClearFailures();
    ASSERT_EQ(S_OK, stream->RequestSample(NULL));
    ASSERT_TRUE(streamEvents->WaitFor(MEMediaSample));

    // Errors instead of samples, one per request, with the given status.
    m_webcam->SetDelivery(WEBCAM_DELIVER_ERRORS, MF_E_HW_MFT_FAILED_START_STREAMING);
    ASSERT_EQ(S_OK, stream->RequestSample(NULL));
    ASSERT_EQ(S_OK, stream->RequestSample(NULL));
    ASSERT_TRUE(streamEvents->WaitFor(MEError, 2));
    EXPECT_EQ(MF_E_HW_MFT_FAILED_START_STREAMING, streamEvents->Events().back().hrStatus);
    EXPECT_EQ(1u, streamEvents->Count(MEMediaSample));
    // The double counts an error right after queueing it: allow it that moment.
    EXPECT_TRUE(WaitUntil([&] { return m_webcam->GetErrorEventCount() >= 2; }, 1000));
    EXPECT_EQ(2, m_webcam->GetErrorEventCount());

    m_webcam->FailCall(WEBCAM_CALL_STOP, E_UNEXPECTED, 1);
    EXPECT_EQ(E_UNEXPECTED, source->Stop());
    EXPECT_EQ(1, m_webcam->GetStartedSourceCount());

    EXPECT_EQ(2, m_webcam->GetCallCount(WEBCAM_CALL_ACTIVATE));
    EXPECT_EQ(2, m_webcam->GetCallCount(WEBCAM_CALL_START));
    EXPECT_EQ(5, m_webcam->GetCallCount(WEBCAM_CALL_REQUEST_SAMPLE));
    EXPECT_EQ(1, m_webcam->GetCallCount(WEBCAM_CALL_STOP));
}

class SimulatedWebcamLossTest : public SimulatedWebcamSourceTest,
                                public ::testing::WithParamInterface<SimulatedWebcamLoss>
{
};

TEST_P(SimulatedWebcamLossTest, UnpluggingEndsTheStreamAndActivationUntilPluggedBack)
{
    ASSERT_NO_FATAL_FAILURE(StartStreaming());
    m_webcam->SetDelivery(WEBCAM_DELIVER_NOTHING);
    ASSERT_EQ(S_OK, m_stream->RequestSample(NULL));

    m_webcam->Unplug(GetParam());
    EXPECT_FALSE(m_webcam->IsPlugged());
    switch (GetParam())
    {
    case WEBCAM_LOSS_ERROR_EVENT:
        ASSERT_TRUE(m_streamEvents->WaitFor(MEError));
        EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
                  m_streamEvents->Events().back().hrStatus);
        EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, m_stream->RequestSample(NULL));
        // Stop still answers with both events, so a reader can let go.
        EXPECT_EQ(S_OK, m_source->Stop());
        EXPECT_TRUE(m_sourceEvents->WaitFor(MESourceStopped));
        EXPECT_TRUE(m_streamEvents->WaitFor(MEStreamStopped));
        break;
    case WEBCAM_LOSS_STOPPED_EVENTS:
        ASSERT_TRUE(m_sourceEvents->WaitFor(MESourceStopped));
        ASSERT_TRUE(m_streamEvents->WaitFor(MEStreamStopped));
        EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, m_stream->RequestSample(NULL));
        break;
    case WEBCAM_LOSS_SHUTDOWN:
    {
        ASSERT_TRUE(m_sourceEvents->WaitForRefusal());
        ASSERT_TRUE(m_streamEvents->WaitForRefusal());
        ComPtr<IMFMediaEvent> event;
        EXPECT_EQ(MF_E_SHUTDOWN, m_source->GetEvent(MF_EVENT_FLAG_NO_WAIT, &event));
        EXPECT_EQ(MF_E_SHUTDOWN, m_stream->GetEvent(MF_EVENT_FLAG_NO_WAIT, &event));
        EXPECT_EQ(MF_E_SHUTDOWN, m_stream->RequestSample(NULL));
        break;
    }
    default:
        FAIL();
    }
    m_webcam->SetDelivery(WEBCAM_DELIVER_SAMPLES);
    EXPECT_FALSE(m_streamEvents->WaitFor(MEMediaSample, 1, kQuietMs));
    EXPECT_EQ(0, m_webcam->GetStartedSourceCount());

    ComPtr<IMFPresentationDescriptor> descriptor;
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    if (GetParam() != WEBCAM_LOSS_SHUTDOWN)
    {
        ASSERT_EQ(S_OK, m_source->CreatePresentationDescriptor(&descriptor));
        EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
                  m_source->Start(descriptor.Get(), NULL, &varEmpty));
    }

    ComPtr<IMFActivate> activate;
    ComPtr<IMFMediaSource> another;
    ASSERT_EQ(S_OK, m_webcam->CreateActivate(&activate));
    EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
              activate->ActivateObject(IID_PPV_ARGS(&another)));

    // Back in: new sources work, the lost one stays lost.
    m_webcam->Plug();
    ASSERT_EQ(S_OK, activate->ActivateObject(IID_PPV_ARGS(&another)));
    m_sources.push_back(another);
    ComPtr<EventCollector> newEvents = Listen(another.Get());
    ComPtr<IMFMediaStream> newStream = StartAndGetStream(another.Get(), newEvents.Get());
    ASSERT_TRUE(newStream);
    ComPtr<EventCollector> newStreamEvents = Listen(newStream.Get());
    ASSERT_EQ(S_OK, newStream->RequestSample(NULL));
    EXPECT_TRUE(newStreamEvents->WaitFor(MEMediaSample));
    if (GetParam() != WEBCAM_LOSS_SHUTDOWN)
    {
        EXPECT_EQ(MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
                  m_source->Start(descriptor.Get(), NULL, &varEmpty));
    }
}

INSTANTIATE_TEST_SUITE_P(Losses, SimulatedWebcamLossTest,
                         ::testing::Values(WEBCAM_LOSS_ERROR_EVENT, WEBCAM_LOSS_STOPPED_EVENTS,
                                           WEBCAM_LOSS_SHUTDOWN));
