#include "sourcereadertestsupport.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <stdio.h>
#include <string.h>

#include <chrono>
#include <thread>

#include "capture/readerworkqueue.h"

using Microsoft::WRL::ComPtr;

ComPtr<ReaderTestCallback> ReaderTestCallback::Create()
{
    ComPtr<ReaderTestCallback> callback;
    *callback.ReleaseAndGetAddressOf() = new ReaderTestCallback();
    return callback;
}

ReaderTestCallback::ReaderTestCallback()
    : m_pReader(NULL),
      m_bLetGo(false),
      m_bReading(false),
      m_bStopSeen(false),
      m_hBlock(NULL),
      m_bBlocked(false),
      m_hrLastRead(S_OK)
{
}

STDMETHODIMP ReaderTestCallback::OnReadSample(HRESULT hrStatus, DWORD, DWORD dwStreamFlags,
                                              LONGLONG llTimestamp, IMFSample* pSample)
{
    HANDLE hBlock = NULL;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        hBlock = m_hBlock;
        m_bBlocked = hBlock != NULL;
    }
    if (hBlock != NULL)
    {
        m_changed.notify_all();
        WaitForSingleObject(hBlock, 10000);
    }

    Read read = {hrStatus, dwStreamFlags, llTimestamp, pSample != NULL, 0, std::vector<BYTE>()};
    if (pSample != NULL)
    {
        pSample->GetSampleDuration(&read.llDuration);
        ComPtr<IMFMediaBuffer> buffer;
        BYTE* pData = NULL;
        DWORD cbLength = 0;
        if (SUCCEEDED(pSample->ConvertToContiguousBuffer(&buffer)) &&
            SUCCEEDED(buffer->Lock(&pData, NULL, &cbLength)))
        {
            read.data.assign(pData, pData + cbLength);
            buffer->Unlock();
        }
    }

    ComPtr<IMFSourceReader> readerToLetGo;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bBlocked = false;
        m_reads.push_back(read);
        readerToLetGo.Swap(m_readerToLetGo);
        if (readerToLetGo)
            m_pReader = NULL;
        if (m_bReading && m_pReader != NULL)
        {
            m_hrLastRead = m_pReader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, NULL, NULL,
                                                 NULL, NULL);
        }
        else
        {
            m_bStopSeen = true;
        }
    }
    if (readerToLetGo)
    {
        readerToLetGo.Reset();
        std::lock_guard<std::mutex> guard(m_lock);
        m_bLetGo = true;
    }
    m_changed.notify_all();
    return S_OK;
}

STDMETHODIMP ReaderTestCallback::OnFlush(DWORD)
{
    return S_OK;
}

STDMETHODIMP ReaderTestCallback::OnEvent(DWORD, IMFMediaEvent*)
{
    return S_OK;
}

HRESULT ReaderTestCallback::StartReading(IMFSourceReader* pReader)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pReader = pReader;
    m_bReading = true;
    m_bStopSeen = false;
    m_hrLastRead =
        pReader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, NULL, NULL, NULL, NULL);
    return m_hrLastRead;
}

bool ReaderTestCallback::StopReading(DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_bReading = false;
    return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                              [this] { return m_bStopSeen; });
}

void ReaderTestCallback::ForgetReader()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bReading = false;
    m_pReader = NULL;
}

void ReaderTestCallback::LetGoOfReaderInTheNextCallback(ComPtr<IMFSourceReader> reader)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_readerToLetGo = reader;
}

bool ReaderTestCallback::WaitUntilLetGo(DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                              [this] { return m_bLetGo; });
}

bool ReaderTestCallback::WaitForReads(size_t nReads, DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                              [&] { return m_reads.size() >= nReads; });
}

size_t ReaderTestCallback::ReadCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reads.size();
}

std::vector<ReaderTestCallback::Read> ReaderTestCallback::Reads()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reads;
}

HRESULT ReaderTestCallback::LastReadSampleResult()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hrLastRead;
}

void ReaderTestCallback::BlockCallbacksOn(HANDLE hEvent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hBlock = hEvent;
}

bool ReaderTestCallback::WaitUntilACallbackIsBlocked(DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                              [this] { return m_bBlocked; });
}

SimulatedWebcamSpec WebcamSpecOf(const std::vector<SimulatedWebcamFormat>& formats, bool bPaced)
{
    SimulatedWebcamSpec webcamSpec =
        MakeWebcamSpec(L"Simulated Webcam", MakeWebcamSymbolicLink(0x046d, 0x0825, NULL), formats);
    webcamSpec.bPaced = bPaced;
    return webcamSpec;
}

std::shared_ptr<SimulatedWebcam> SmallYuy2Webcam(bool bPaced)
{
    return SimulatedWebcam::Create(
        WebcamSpecOf({MakeWebcamFormat(MFVideoFormat_YUY2, 160, 120, 30)}, bPaced));
}

HRESULT ActivateWebcamSource(SimulatedWebcam* pWebcam, IMFMediaSource** ppSource)
{
    ComPtr<IMFActivate> activate;
    HRESULT hr = pWebcam->CreateActivate(&activate);
    if (SUCCEEDED(hr))
        hr = activate->ActivateObject(IID_PPV_ARGS(ppSource));
    return hr;
}

HRESULT CreateAsyncReader(IMFMediaSource* pSource, IMFSourceReaderCallback* pCallback,
                          IMFSourceReader** ppReader)
{
    ComPtr<IMFAttributes> attributes;
    HRESULT hr = MFCreateAttributes(&attributes, 3);
    if (SUCCEEDED(hr))
        hr = attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, TRUE);
    if (SUCCEEDED(hr))
        hr = attributes->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
    if (SUCCEEDED(hr))
        hr = attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, pCallback);
    HoldReaderWorkQueue();
    if (SUCCEEDED(hr))
        hr = MFCreateSourceReaderFromMediaSource(pSource, attributes.Get(), ppReader);
    if (SUCCEEDED(hr))
        hr = (*ppReader)->SetStreamSelection(MF_SOURCE_READER_FIRST_VIDEO_STREAM, TRUE);
    return hr;
}

void StartReading(IMFMediaSource* pSource, size_t nReads, ComPtr<ReaderTestCallback>* pCallback,
                  ComPtr<IMFSourceReader>* pReader, DWORD dwTimeoutMs)
{
    *pCallback = ReaderTestCallback::Create();
    ASSERT_EQ(S_OK,
              CreateAsyncReader(pSource, pCallback->Get(), pReader->ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, (*pCallback)->StartReading(pReader->Get()));
    ASSERT_TRUE((*pCallback)->WaitForReads(nReads, dwTimeoutMs));
}

void RunBounded(const char* pszWhat, DWORD dwTimeoutMs, const std::function<void()>& step)
{
    HANDLE hDone = CreateEventW(NULL, TRUE, FALSE, NULL);
    std::thread watchdog(
        [hDone, dwTimeoutMs, pszWhat]
        {
            if (WaitForSingleObject(hDone, dwTimeoutMs) != WAIT_OBJECT_0)
            {
                fprintf(stderr, "%s did not return within %lu ms; ending the process.\n", pszWhat,
                        static_cast<unsigned long>(dwTimeoutMs));
                fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        });
    step();
    SetEvent(hDone);
    watchdog.join();
    CloseHandle(hDone);
}

void ReleaseReaderBounded(ComPtr<IMFSourceReader>& reader, DWORD dwTimeoutMs)
{
    RunBounded("The source reader's release", dwTimeoutMs, [&] { reader.Reset(); });
}
