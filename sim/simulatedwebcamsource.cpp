#include "simulatedwebcamsource.h"

#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>
#include <string.h>

#include <map>
#include <mutex>
#include <new>
#include <tuple>

#include "jpeghuffmantables.h"
#include "simulatedwebcamframes.h"
#include "simulatedwebcamstream.h"
#include "simulatedwebcamstreamdescriptor.h"
#include "simulationcputime.h"

namespace
{
typedef std::chrono::duration<LONGLONG, std::ratio<1, 10000000>> Duration100ns;

const DWORD kStreamId = 0;
// Larger pictures are refused before their size is multiplied.
const UINT32 kMaxSide = 16384;

template <typename T>
void SafeRelease(T*& p)
{
    if (p != NULL)
    {
        p->Release();
        p = NULL;
    }
}

HRESULT CreateNativeType(const SimulatedWebcamFormat& format, IMFMediaType** ppType)
{
    IMFMediaType* pType = NULL;
    bool bYuy2 = format.subtype == MFVideoFormat_YUY2;
    HRESULT hr = MFCreateMediaType(&pType);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = pType->SetGUID(MF_MT_SUBTYPE, format.subtype);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeSize(pType, MF_MT_FRAME_SIZE, format.nWidth, format.nHeight);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(pType, MF_MT_FRAME_RATE, format.nRateNumerator,
                                 format.nRateDenominator);
    // A camera type runs at one rate: the range is that rate.
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(pType, MF_MT_FRAME_RATE_RANGE_MAX, format.nRateNumerator,
                                 format.nRateDenominator);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(pType, MF_MT_FRAME_RATE_RANGE_MIN, format.nRateNumerator,
                                 format.nRateDenominator);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(pType, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
    if (SUCCEEDED(hr))
        hr = pType->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    if (SUCCEEDED(hr))
        hr = pType->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    if (SUCCEEDED(hr))
        hr = pType->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, bYuy2 ? TRUE : FALSE);
    if (SUCCEEDED(hr) && bYuy2 && format.nWidth <= kMaxSide && format.nHeight <= kMaxSide)
    {
        hr = pType->SetUINT32(MF_MT_DEFAULT_STRIDE, format.nWidth * 2);
        if (SUCCEEDED(hr))
            hr = pType->SetUINT32(MF_MT_SAMPLE_SIZE, format.nWidth * format.nHeight * 2);
    }
    if (SUCCEEDED(hr))
    {
        *ppType = pType;
        pType = NULL;
    }
    SafeRelease(pType);
    return hr;
}

void ReleaseTokens(const std::deque<IUnknown*>& tokens)
{
    for (IUnknown* pToken : tokens)
    {
        if (pToken != NULL)
            pToken->Release();
    }
}

PROPVARIANT MakeTimeValue(LONGLONG llTime)
{
    PROPVARIANT var;
    PropVariantInit(&var);
    var.vt = VT_I8;
    var.hVal.QuadPart = llTime;
    return var;
}
}  // namespace

HRESULT SimulatedWebcamSource::Create(const std::shared_ptr<SimulatedWebcam>& webcam,
                                      SimulatedWebcamSource** ppSource)
{
    if (ppSource == NULL)
        return E_POINTER;
    *ppSource = NULL;
    SimulatedWebcamSource* pSource = new (std::nothrow) SimulatedWebcamSource(webcam);
    if (pSource == NULL)
        return E_OUTOFMEMORY;
    HRESULT hr = pSource->Initialize();
    if (FAILED(hr))
    {
        pSource->Release();
        return hr;
    }
    *ppSource = pSource;
    return S_OK;
}

SimulatedWebcamSource::SimulatedWebcamSource(const std::shared_ptr<SimulatedWebcam>& webcam)
    : m_webcam(webcam),
      m_pDescriptor(NULL),
      m_pStreamDescriptor(NULL),
      m_pStream(NULL),
      m_eState(STATE_STOPPED),
      m_bStreamStarted(false),
      m_bLost(false),
      m_bQuit(false),
      m_bInternalsShutDown(false),
      m_eDelivery(WEBCAM_DELIVER_SAMPLES),
      m_hrDeliveryError(E_FAIL),
      m_nRun(0),
      m_llStartTime(0),
      m_llNextTime(0),
      m_nNextTick(0),
      m_nRunFirstFrame(0),
      m_nNextFrame(0),
      m_bDiscontinuity(false),
      m_bEnded(false),
      m_nJpegWidth(0),
      m_nJpegHeight(0)
{
    m_format.bMjpg = false;
    m_format.nWidth = 0;
    m_format.nHeight = 0;
    m_format.llDuration = 0;
}

SimulatedWebcamSource::~SimulatedWebcamSource()
{
    // First, so the webcam never reaches a source that is going away.
    m_webcam->RemoveSource(this);
    ShutdownInternals();
    if (m_worker.joinable())
    {
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach();
        else
            m_worker.join();
    }
    if (m_pStream != NULL)
        m_pStream->DetachSource();
    SafeRelease(m_pStream);
    SafeRelease(m_pStreamDescriptor);
    SafeRelease(m_pDescriptor);
}

bool SimulatedWebcamSource::AnswersInterface(REFIID riid) const
{
    return riid == IID_IMFMediaSource || riid == IID_IMFMediaEventGenerator;
}

HRESULT SimulatedWebcamSource::Initialize()
{
    const std::vector<SimulatedWebcamFormat>& formats = m_webcam->GetSpec().formats;
    if (formats.empty())
        return E_INVALIDARG;

    const size_t nCurrent = m_webcam->GetCurrentFormat();
    if (nCurrent >= formats.size())
        return E_INVALIDARG;

    std::vector<IMFMediaType*> types(formats.size(), NULL);
    IMFStreamDescriptor* pPlatformDescriptor = NULL;
    IMFMediaTypeHandler* pHandler = NULL;
    HRESULT hr = m_events.Create();
    for (size_t i = 0; SUCCEEDED(hr) && i < formats.size(); ++i)
        hr = CreateNativeType(formats[i], &types[i]);
    if (SUCCEEDED(hr))
        hr = MFCreateStreamDescriptor(kStreamId, static_cast<DWORD>(types.size()), types.data(),
                                      &pPlatformDescriptor);
    if (SUCCEEDED(hr))
        hr = pPlatformDescriptor->GetMediaTypeHandler(&pHandler);
    if (SUCCEEDED(hr))
        hr = pHandler->SetCurrentMediaType(types[nCurrent]);
    if (SUCCEEDED(hr))
        hr = SimulatedWebcamStreamDescriptor::Create(m_webcam, pPlatformDescriptor,
                                                     &m_pStreamDescriptor);
    if (SUCCEEDED(hr))
        hr = MFCreatePresentationDescriptor(1, &m_pStreamDescriptor, &m_pDescriptor);
    if (SUCCEEDED(hr))
        hr = m_pDescriptor->SelectStream(0);
    if (SUCCEEDED(hr))
        hr = SimulatedWebcamStream::Create(this, m_pStreamDescriptor, &m_pStream);
    if (SUCCEEDED(hr) && !m_webcam->AddSource(this))
        hr = MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
    if (SUCCEEDED(hr))
        m_worker = std::thread(&SimulatedWebcamSource::WorkerLoop, this);

    SafeRelease(pHandler);
    SafeRelease(pPlatformDescriptor);
    for (IMFMediaType* pType : types)
        SafeRelease(pType);
    return hr;
}

STDMETHODIMP SimulatedWebcamSource::GetCharacteristics(DWORD* pdwCharacteristics)
{
    if (pdwCharacteristics == NULL)
        return E_POINTER;
    if (IsShutDown())
        return MF_E_SHUTDOWN;
    *pdwCharacteristics = MFMEDIASOURCE_IS_LIVE;
    return S_OK;
}

STDMETHODIMP SimulatedWebcamSource::CreatePresentationDescriptor(
    IMFPresentationDescriptor** ppPresentationDescriptor)
{
    if (ppPresentationDescriptor == NULL)
        return E_POINTER;
    *ppPresentationDescriptor = NULL;
    HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_CREATE_PRESENTATION_DESCRIPTOR);
    if (FAILED(hr))
        return hr;
    if (IsShutDown())
        return MF_E_SHUTDOWN;
    // A copy, whose stream descriptor is the source's own.
    return m_pDescriptor->Clone(ppPresentationDescriptor);
}

HRESULT SimulatedWebcamSource::ReadCurrentFormat(FrameFormat* pFormat)
{
    IMFMediaTypeHandler* pHandler = NULL;
    IMFMediaType* pType = NULL;
    GUID subtype = GUID_NULL;
    UINT32 nWidth = 0;
    UINT32 nHeight = 0;
    UINT32 nNumerator = 0;
    UINT32 nDenominator = 0;

    HRESULT hr = m_pStreamDescriptor->GetMediaTypeHandler(&pHandler);
    if (SUCCEEDED(hr))
        hr = pHandler->GetCurrentMediaType(&pType);
    if (SUCCEEDED(hr))
        hr = pType->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (SUCCEEDED(hr))
        hr = MFGetAttributeSize(pType, MF_MT_FRAME_SIZE, &nWidth, &nHeight);
    if (SUCCEEDED(hr))
        hr = MFGetAttributeRatio(pType, MF_MT_FRAME_RATE, &nNumerator, &nDenominator);
    if (SUCCEEDED(hr))
    {
        bool bMjpg = subtype == MFVideoFormat_MJPG;
        bool bYuy2 = subtype == MFVideoFormat_YUY2;
        UINT64 nDuration = nNumerator == 0 ? 0 : 10000000ull * nDenominator / nNumerator;
        if ((!bMjpg && !bYuy2) || (bYuy2 && nWidth % 2 != 0) || nWidth < kWebcamMinWidth ||
            nHeight < kWebcamMinHeight || nWidth > kMaxSide || nHeight > kMaxSide ||
            nDuration == 0 || nDuration > 0x7FFFFFFF)
        {
            hr = MF_E_INVALIDMEDIATYPE;
        }
        else
        {
            pFormat->bMjpg = bMjpg;
            pFormat->nWidth = nWidth;
            pFormat->nHeight = nHeight;
            pFormat->llDuration = static_cast<LONGLONG>(nDuration);
        }
    }
    SafeRelease(pType);
    SafeRelease(pHandler);
    return hr;
}

STDMETHODIMP SimulatedWebcamSource::Start(IMFPresentationDescriptor* pPresentationDescriptor,
                                          const GUID* pguidTimeFormat,
                                          const PROPVARIANT* pvarStartPosition)
{
    HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_START);
    if (FAILED(hr))
        return hr;
    if (pPresentationDescriptor == NULL)
        return E_INVALIDARG;
    if (pguidTimeFormat != NULL && *pguidTimeFormat != GUID_NULL)
        return MF_E_UNSUPPORTED_TIME_FORMAT;
    if (pvarStartPosition != NULL && pvarStartPosition->vt != VT_EMPTY &&
        pvarStartPosition->vt != VT_I8)
    {
        return MF_E_UNSUPPORTED_TIME_FORMAT;
    }
    if (IsShutDown())
        return MF_E_SHUTDOWN;

    BOOL bSelected = FALSE;
    IMFStreamDescriptor* pStreamDescriptor = NULL;
    DWORD dwStreamId = 0;
    hr = pPresentationDescriptor->GetStreamDescriptorByIndex(0, &bSelected, &pStreamDescriptor);
    if (SUCCEEDED(hr))
        hr = pStreamDescriptor->GetStreamIdentifier(&dwStreamId);
    if (SUCCEEDED(hr) && dwStreamId != kStreamId)
        hr = E_INVALIDARG;
    SafeRelease(pStreamDescriptor);
    if (FAILED(hr))
        return hr;

    FrameFormat format = m_format;
    if (bSelected)
    {
        hr = ReadCurrentFormat(&format);
        if (FAILED(hr))
            return hr;
    }

    LONGLONG llPosition = 0;
    if (pvarStartPosition != NULL && pvarStartPosition->vt == VT_I8)
        llPosition = pvarStartPosition->hVal.QuadPart;
    PROPVARIANT varStart = MakeTimeValue(llPosition);

    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_eState == STATE_SHUT_DOWN)
            return MF_E_SHUTDOWN;
        if (m_bLost)
            return MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;

        bool bRestart = m_eState == STATE_STARTED;
        if (!bRestart)
        {
            ++m_nRun;
            m_format = format;
            m_tStart = std::chrono::steady_clock::now();
            m_llStartTime = MFGetSystemTime();
            if (m_llStartTime < m_llNextTime)
                m_llStartTime = m_llNextTime;
            m_nNextTick = 0;
            m_nRunFirstFrame = m_nNextFrame;
            m_bDiscontinuity = true;
            m_bEnded = false;
            m_webcam->CountStarted(1);
        }
        if (bSelected)
        {
            m_events.QueueEventParamUnk(
                bRestart && m_bStreamStarted ? MEUpdatedStream : MENewStream, GUID_NULL, S_OK,
                static_cast<IMFMediaStream*>(m_pStream));
        }
        else
        {
            DropRequestsLocked();
        }
        m_events.QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, &varStart);
        if (bSelected)
            QueueStreamEventLocked(MEStreamStarted, S_OK, &varStart);
        m_bStreamStarted = bSelected != FALSE;
        m_eState = STATE_STARTED;
    }
    m_wake.notify_all();
    return S_OK;
}

STDMETHODIMP SimulatedWebcamSource::Stop()
{
    HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_STOP);
    if (FAILED(hr))
        return hr;

    std::deque<IUnknown*> dropped;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_eState == STATE_SHUT_DOWN)
            return MF_E_SHUTDOWN;
        dropped.swap(m_requests);
        // Also when already stopped: a source reader being released waits for
        // MESourceStopped before it lets go of the source's event queue.
        StopLocked();
    }
    ReleaseTokens(dropped);
    m_wake.notify_all();
    return S_OK;
}

STDMETHODIMP SimulatedWebcamSource::Pause()
{
    // A live source without MFMEDIASOURCE_CAN_PAUSE.
    return IsShutDown() ? MF_E_SHUTDOWN : MF_E_INVALID_STATE_TRANSITION;
}

STDMETHODIMP SimulatedWebcamSource::Shutdown()
{
    m_webcam->CountShutdown();
    if (IsShutDown())
        return MF_E_SHUTDOWN;
    ShutdownInternals();
    return S_OK;
}

bool SimulatedWebcamSource::IsShutDown()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_eState == STATE_SHUT_DOWN;
}

HRESULT SimulatedWebcamSource::AcceptSampleRequest(IUnknown* pToken)
{
    HRESULT hr = m_webcam->TakeFailure(WEBCAM_CALL_REQUEST_SAMPLE);
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_eState == STATE_SHUT_DOWN)
            return MF_E_SHUTDOWN;
        if (m_bLost)
            return MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
        if (m_eState != STATE_STARTED || !m_bStreamStarted)
            return MF_E_MEDIA_SOURCE_WRONGSTATE;
        if (m_bEnded)
            return MF_E_END_OF_STREAM;
        if (pToken != NULL)
            pToken->AddRef();
        m_requests.push_back(pToken);
        if (m_eDelivery == WEBCAM_DELIVER_END_OF_STREAM)
            EndStreamLocked();
        if (m_eDelivery == WEBCAM_DELIVER_GAPS)
        {
            PROPVARIANT varTime = MakeTimeValue(m_llNextTime);
            QueueStreamEventLocked(MEStreamTick, S_OK, &varTime);
        }
    }
    m_wake.notify_all();
    return S_OK;
}

void SimulatedWebcamSource::OnDeliveryChanged(SimulatedWebcamDelivery eDelivery, HRESULT hrError)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_eDelivery = eDelivery;
        m_hrDeliveryError = hrError;
        if (eDelivery == WEBCAM_DELIVER_END_OF_STREAM && !m_requests.empty())
            EndStreamLocked();
    }
    m_wake.notify_all();
}

void SimulatedWebcamSource::EndStreamLocked()
{
    if (m_bEnded || m_eState != STATE_STARTED || !m_bStreamStarted)
        return;
    m_bEnded = true;
    ++m_nRun;  // a frame being made goes nowhere
    DropRequestsLocked();
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    QueueStreamEventLocked(MEEndOfStream, S_OK, &varEmpty);
    m_events.QueueEventParamVar(MEEndOfPresentation, GUID_NULL, S_OK, &varEmpty);
}

void SimulatedWebcamSource::OnFormatChanged(const SimulatedWebcamFormat& format)
{
    IMFMediaType* pType = NULL;
    IMFMediaTypeHandler* pHandler = NULL;
    HRESULT hr = CreateNativeType(format, &pType);
    if (SUCCEEDED(hr))
        hr = m_pStreamDescriptor->GetMediaTypeHandler(&pHandler);
    // Through the same handler as a reader's call: a test that makes
    // SetCurrentMediaType fail keeps the camera at its type as well.
    FrameFormat frameFormat = m_format;
    if (SUCCEEDED(hr))
        hr = pHandler->SetCurrentMediaType(pType);
    if (SUCCEEDED(hr))
        hr = ReadCurrentFormat(&frameFormat);
    if (SUCCEEDED(hr))
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_eState == STATE_STARTED && m_bStreamStarted && !m_bLost)
        {
            ++m_nRun;
            m_format = frameFormat;
            m_tStart = std::chrono::steady_clock::now();
            m_llStartTime = m_llNextTime;
            m_nNextTick = 0;
            m_nRunFirstFrame = m_nNextFrame;
            PROPVARIANT varType;
            PropVariantInit(&varType);
            varType.vt = VT_UNKNOWN;
            varType.punkVal = pType;
            QueueStreamEventLocked(MEStreamFormatChanged, S_OK, &varType);
        }
    }
    m_wake.notify_all();
    SafeRelease(pHandler);
    SafeRelease(pType);
}

void SimulatedWebcamSource::OnDeviceLost(SimulatedWebcamLoss eLoss)
{
    if (eLoss == WEBCAM_LOSS_SHUTDOWN)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bLost = true;
        }
        ShutdownInternals();
        return;
    }

    std::deque<IUnknown*> dropped;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_eState == STATE_SHUT_DOWN || m_bLost)
            return;
        m_bLost = true;
        ++m_nRun;
        dropped.swap(m_requests);
        if (m_eState == STATE_STARTED)
        {
            PROPVARIANT varEmpty;
            PropVariantInit(&varEmpty);
            if (eLoss == WEBCAM_LOSS_ERROR_EVENT)
            {
                if (m_bStreamStarted)
                    QueueStreamEventLocked(MEError, MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED,
                                           &varEmpty);
                else
                    m_events.QueueEventParamVar(MEError, GUID_NULL,
                                                MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, &varEmpty);
                m_webcam->CountErrorEvent();
            }
            else
            {
                StopLocked();
            }
        }
    }
    ReleaseTokens(dropped);
    m_wake.notify_all();
}

void SimulatedWebcamSource::DropRequestsLocked()
{
    // Tokens come from the caller of RequestSample and hold no lock of ours.
    ReleaseTokens(m_requests);
    m_requests.clear();
}

bool SimulatedWebcamSource::ReadyToServeLocked() const
{
    return m_eState == STATE_STARTED && m_bStreamStarted && !m_bLost && !m_requests.empty() &&
           m_eDelivery != WEBCAM_DELIVER_NOTHING && m_eDelivery != WEBCAM_DELIVER_GAPS;
}

void SimulatedWebcamSource::EndStreamingLocked()
{
    if (m_eState != STATE_STARTED)
        return;
    m_eState = STATE_STOPPED;
    ++m_nRun;
    m_webcam->CountStarted(-1);
}

void SimulatedWebcamSource::StopLocked()
{
    EndStreamingLocked();
    PROPVARIANT varEmpty;
    PropVariantInit(&varEmpty);
    m_events.QueueEventParamVar(MESourceStopped, GUID_NULL, S_OK, &varEmpty);
    // A stream that was not started must not get one: a later reader would
    // take it for the end of its own run.
    if (m_bStreamStarted)
    {
        QueueStreamEventLocked(MEStreamStopped, S_OK, &varEmpty);
        m_bStreamStarted = false;
    }
}

void SimulatedWebcamSource::QueueStreamEventLocked(MediaEventType met, HRESULT hrStatus,
                                                   const PROPVARIANT* pvValue)
{
    m_pStream->QueueEvent(met, GUID_NULL, hrStatus, pvValue);
}

void SimulatedWebcamSource::ShutdownInternals()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bInternalsShutDown)
            return;
        m_bInternalsShutDown = true;
        EndStreamingLocked();
        m_eState = STATE_SHUT_DOWN;
        m_bStreamStarted = false;
        m_bQuit = true;
        DropRequestsLocked();
    }
    m_wake.notify_all();
    // Pending BeginGetEvent callers are answered with MF_E_SHUTDOWN.
    m_events.Shutdown();
    if (m_pStream != NULL)
        m_pStream->ShutdownEvents();
}

void SimulatedWebcamSource::WorkerLoop()
{
    // The whole thread is the simulated webcam's.
    ScopedSimulationCpu cpu(SIM_CPU_WEBCAM);
    // WIC, which encodes the MJPG pictures, needs COM on this thread.
    HRESULT hrCom = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    const bool bPaced = m_webcam->GetSpec().bPaced;

    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        m_wake.wait(lock, [this] { return m_bQuit || ReadyToServeLocked(); });
        if (m_bQuit)
            break;

        if (m_eDelivery == WEBCAM_DELIVER_ERRORS)
        {
            IUnknown* pToken = m_requests.front();
            m_requests.pop_front();
            QueueStreamEventLocked(MEError, m_hrDeliveryError, NULL);
            m_webcam->CountErrorEvent();
            lock.unlock();
            if (pToken != NULL)
                pToken->Release();
            lock.lock();
            continue;
        }

        const FrameFormat format = m_format;
        const UINT64 nRun = m_nRun;
        UINT64 nTick = m_nNextTick;
        if (bPaced)
        {
            // The camera captures one frame per period since the start; the
            // request gets the latest one not yet delivered.
            std::chrono::steady_clock::time_point tNow = std::chrono::steady_clock::now();
            LONGLONG llElapsed = std::chrono::duration_cast<Duration100ns>(tNow - m_tStart).count();
            UINT64 nCaptured =
                llElapsed <= 0 ? 0 : static_cast<UINT64>(llElapsed) / format.llDuration;
            if (nCaptured > nTick)
                nTick = nCaptured;
            std::chrono::steady_clock::time_point tDue =
                m_tStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               Duration100ns(static_cast<LONGLONG>(nTick) * format.llDuration));
            if (tDue > tNow)
            {
                m_wake.wait_until(lock, tDue);
                continue;
            }
        }
        m_nNextTick = nTick + 1;
        const UINT32 nFrame = m_nRunFirstFrame + static_cast<UINT32>(nTick);
        m_nNextFrame = nFrame + 1;
        const LONGLONG llTime = m_llStartTime + static_cast<LONGLONG>(nTick) * format.llDuration;
        m_llNextTime = llTime + format.llDuration;
        lock.unlock();

        IMFSample* pSample = NULL;
        HRESULT hr = MakeSample(format, nFrame, &pSample);
        if (SUCCEEDED(hr))
            hr = pSample->SetSampleTime(llTime);
        if (SUCCEEDED(hr))
            hr = pSample->SetSampleDuration(format.llDuration);

        lock.lock();
        IUnknown* pToken = NULL;
        // A stop, a loss or a change of delivery while the frame was made:
        // the frame goes nowhere, as a captured frame nobody waits for.
        if (m_nRun == nRun && ReadyToServeLocked() && m_eDelivery == WEBCAM_DELIVER_SAMPLES)
        {
            pToken = m_requests.front();
            m_requests.pop_front();
            if (SUCCEEDED(hr) && pToken != NULL)
                hr = pSample->SetUnknown(MFSampleExtension_Token, pToken);
            if (SUCCEEDED(hr) && m_bDiscontinuity)
                hr = pSample->SetUINT32(MFSampleExtension_Discontinuity, TRUE);
            if (SUCCEEDED(hr))
                hr = m_pStream->QueueSample(pSample);
            if (SUCCEEDED(hr))
            {
                m_bDiscontinuity = false;
                m_webcam->CountSample();
            }
            else
            {
                // The double's own failure shows as the stream's error.
                QueueStreamEventLocked(MEError, hr, NULL);
                m_webcam->CountErrorEvent();
            }
        }
        lock.unlock();
        SafeRelease(pSample);
        SafeRelease(pToken);
        lock.lock();
    }
    lock.unlock();
    if (SUCCEEDED(hrCom))
        CoUninitialize();
}

HRESULT SimulatedWebcamSource::EnsureJpegPictures(UINT32 nWidth, UINT32 nHeight)
{
    if (!m_jpegs.empty() && m_nJpegWidth == nWidth && m_nJpegHeight == nHeight)
        return S_OK;
    m_jpegs.clear();
    UINT32 nCount = m_webcam->GetSpec().nMjpgPictureCount;
    if (nCount == 0)
        nCount = 1;

    // Encoding takes most of a second; a real camera's first frame comes
    // within a frame period of its start. The pictures depend on their number
    // and size only, so every source of the process shares them.
    static std::mutex s_cacheLock;
    static std::map<std::tuple<UINT32, UINT32, UINT32>, std::vector<std::vector<BYTE>>> s_cache;
    const std::tuple<UINT32, UINT32, UINT32> key(nCount, nWidth, nHeight);
    {
        std::lock_guard<std::mutex> guard(s_cacheLock);
        auto it = s_cache.find(key);
        if (it != s_cache.end())
            m_jpegs = it->second;
    }
    if (m_jpegs.empty())
    {
        std::vector<std::vector<BYTE>> jpegs(nCount);
        HRESULT hr = S_OK;
        for (UINT32 i = 0; SUCCEEDED(hr) && i < nCount; ++i)
            hr = EncodeWebcamFrameJpeg(i, nWidth, nHeight, &jpegs[i]);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> guard(s_cacheLock);
        s_cache[key] = jpegs;
        m_jpegs.swap(jpegs);
    }
    m_nJpegWidth = nWidth;
    m_nJpegHeight = nHeight;
    return S_OK;
}

HRESULT SimulatedWebcamSource::AddBufferWithBytes(IMFSample* pSample, const BYTE* pBytes,
                                                  size_t cbBytes)
{
    IMFMediaBuffer* pBuffer = NULL;
    BYTE* pData = NULL;
    DWORD cbMax = 0;
    HRESULT hr = MFCreateMemoryBuffer(static_cast<DWORD>(cbBytes), &pBuffer);
    if (SUCCEEDED(hr))
        hr = pBuffer->Lock(&pData, &cbMax, NULL);
    if (SUCCEEDED(hr))
    {
        if (cbMax < cbBytes)
            hr = E_UNEXPECTED;
        else if (cbBytes > 0)
            memcpy(pData, pBytes, cbBytes);
        pBuffer->Unlock();
    }
    if (SUCCEEDED(hr))
        hr = pBuffer->SetCurrentLength(static_cast<DWORD>(cbBytes));
    if (SUCCEEDED(hr))
        hr = pSample->AddBuffer(pBuffer);
    SafeRelease(pBuffer);
    return hr;
}

HRESULT SimulatedWebcamSource::MakeSample(const FrameFormat& format, UINT32 nFrame,
                                          IMFSample** ppSample)
{
    const SimulatedWebcamFrameFault eFault = m_webcam->GetFrameFault();
    std::vector<BYTE> frame;
    HRESULT hr = S_OK;
    if (format.bMjpg)
    {
        // Another size: the pictures of half the width and height.
        const bool bOther = eFault == WEBCAM_FRAMES_OTHER_SIZE;
        hr = EnsureJpegPictures(bOther ? format.nWidth / 2 : format.nWidth,
                                bOther ? format.nHeight / 2 : format.nHeight);
        if (SUCCEEDED(hr))
            frame = m_jpegs[nFrame % m_jpegs.size()];
        if (eFault == WEBCAM_FRAMES_TRUNCATED)
            frame.resize(frame.size() / 2);
        else if (eFault == WEBCAM_FRAMES_NO_HUFFMAN)
            frame = StripJpegHuffmanTables(frame);
    }
    else
    {
        // Another size: the picture and a row's worth of other bytes.
        const UINT32 nRows =
            eFault == WEBCAM_FRAMES_OTHER_SIZE ? format.nHeight + 1 : format.nHeight;
        frame.assign(static_cast<size_t>(format.nWidth) * nRows * 2, 0xA5);
        if (!DrawWebcamFrameYuy2(nFrame, format.nWidth, format.nHeight, frame.data(),
                                 format.nWidth * 2))
            hr = E_UNEXPECTED;
    }

    // One buffer, or two that each hold a part of the bytes.
    const size_t cbFirst = eFault == WEBCAM_FRAMES_TWO_BUFFERS ? frame.size() / 2 : frame.size();
    IMFSample* pSample = NULL;
    if (SUCCEEDED(hr))
        hr = MFCreateSample(&pSample);
    if (SUCCEEDED(hr))
        hr = AddBufferWithBytes(pSample, frame.data(), cbFirst);
    if (SUCCEEDED(hr) && cbFirst < frame.size())
        hr = AddBufferWithBytes(pSample, frame.data() + cbFirst, frame.size() - cbFirst);
    if (SUCCEEDED(hr))
        hr = pSample->SetUINT32(MFSampleExtension_CleanPoint, TRUE);
    if (SUCCEEDED(hr))
    {
        *ppSample = pSample;
        pSample = NULL;
    }
    SafeRelease(pSample);
    return hr;
}
