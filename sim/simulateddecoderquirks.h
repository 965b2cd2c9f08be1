#pragma once

#include <atomic>

// What the test MJPEG decoder does that the decoder interface allows but an
// ideal decoder would not; shared by a registration and every decoder it
// makes, read at each call. (A decoder without GetOutputStatus is one whose
// call is told to fail with E_NOTIMPL, see CallFaults.)
struct SimulatedDecoderQuirks
{
    // The first ProcessOutput of each decoder that holds a picture answers
    // MF_E_TRANSFORM_STREAM_CHANGE and drops the output type; the picture
    // waits until an output type is set again.
    std::atomic<bool> bStreamChangeOnFirstOutput{false};
    // The first input of each decoder is taken but gives no picture:
    // ProcessOutput answers MF_E_TRANSFORM_NEED_MORE_INPUT.
    std::atomic<bool> bNeedMoreInputFirst{false};
    // The output stream provides its own samples
    // (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES, a stream size of 0): ProcessOutput
    // refuses a caller's sample and hands out a new one.
    std::atomic<bool> bProvidesSamples{false};
    // The next ProcessOutput that holds a picture answers a stream change
    // (the output type is dropped) and the SetOutputType after it fails once
    // with MF_E_INVALIDMEDIATYPE, as with a type list that lacks the
    // client's type at first. Cleared once it has happened.
    std::atomic<bool> bLoseOutputType{false};
    // Only NV12 is offered as output (no YUY2), as some decoders do.
    std::atomic<bool> bNv12Only{false};
    // A picture that does not decode stays held: ProcessOutput keeps
    // failing with it and ProcessInput answers MF_E_NOTACCEPTING until a
    // flush drops it.
    std::atomic<bool> bKeepBadInput{false};
    // The next this many inputs arrive spoiled (cut short), as a corrupt
    // frame would.
    std::atomic<int> nSpoiledInputs{0};
};
