#include <gtest/gtest.h>

#include <wrl/client.h>

#include <memory>

#include "capture/readerworkqueue.h"
#include "scopedmediafoundation.h"
#include "simulatedwebcam.h"
#include "sourcereadertestsupport.h"

using Microsoft::WRL::ComPtr;

namespace
{
const DWORD kWaitMs = 5000;
const DWORD kHangMs = 10000;

struct OpenReader
{
    std::shared_ptr<SimulatedWebcam> webcam;
    ComPtr<IMFMediaSource> source;
    ComPtr<ReaderTestCallback> callback;
    ComPtr<IMFSourceReader> reader;
};

// An unpaced small webcam, its source and a reader of it that has read once.
void OpenAndRead(OpenReader* pOpen)
{
    pOpen->webcam = SmallYuy2Webcam(false);
    ASSERT_EQ(S_OK, ActivateWebcamSource(pOpen->webcam.get(), &pOpen->source));
    ASSERT_NO_FATAL_FAILURE(
        StartReading(pOpen->source.Get(), 1, &pOpen->callback, &pOpen->reader, kWaitMs));
}
}  // namespace

// The worst moment a reader can go: its owner's reference dropped inside its
// callback, so that the reader's last reference goes on its own work thread
// as that callback's work item ends. Media Foundation must keep working:
// the next reader of the process opens and reads.
TEST(ReaderWorkQueue, AReaderLetGoOnItsOwnWorkThreadLeavesTheNextReaderWorking)
{
    ScopedMediaFoundation mf;
    ASSERT_EQ(S_OK, mf.Result());
    ASSERT_TRUE(SUCCEEDED(HoldReaderWorkQueue()));

    OpenReader first;
    ASSERT_NO_FATAL_FAILURE(OpenAndRead(&first));
    first.callback->LetGoOfReaderInTheNextCallback(std::move(first.reader));
    ASSERT_TRUE(first.callback->WaitUntilLetGo(kWaitMs));

    OpenReader second;
    RunBounded("The next reader's opening", kHangMs, [&] { OpenAndRead(&second); });
    EXPECT_TRUE(second.callback->StopReading(kWaitMs));
    second.callback->ForgetReader();
    ReleaseReaderBounded(second.reader, kHangMs);
    RunBounded("The sources' shutdown", kHangMs,
               [&]
               {
                   first.source->Shutdown();
                   second.source->Shutdown();
               });
}
