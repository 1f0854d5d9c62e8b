#pragma once

#include <cstdint>

#include "common/Types.h"

namespace orvex {

// One buffer of an output's buffer list: non-interleaved, so one channel per buffer.
struct AudioBuffer {
    std::uint32_t numberChannels = 1;
    std::uint32_t dataByteSize = 0;
    void* data = nullptr;
};

// The buffers an output asks to be filled in one cycle.
struct AudioBufferList {
    std::uint32_t numberBuffers = 0;
    AudioBuffer* buffers = nullptr;
};

// The function an output calls once per cycle on its own thread, with the reference it was
// given; returns 0, or -1 when the buffer list is unusable.
using AudioRenderProc = Status (*)(void* reference, const AudioBufferList* list);

// A real-time output stream as the engine drives it: find and open an output, install the render
// function, fix a stereo float input format, initialise, start and stop. Every call except the
// render function runs on the thread that owns the engine. Statuses: 0 success, anything else a
// failure of the output service (logged by the engine).
class AudioOutputBackend {
public:
    virtual ~AudioOutputBackend() = default;

    // Looks for the default output, then for any output with two channels; false when none exists.
    virtual bool findOutput() = 0;
    virtual Status openOutput() { return 0; }
    // Remembers the function that renderCycle() calls.
    virtual Status setRenderCallback(AudioRenderProc proc, void* reference) {
        mProc = proc;
        mReference = reference;
        return 0;
    }
    // The device side's own rate.
    virtual Status deviceSampleRate(double& rate) = 0;
    // Non-interleaved 32-bit float at rate with the given channel count.
    virtual Status setInputFormat(double rate, int channels) = 0;
    virtual Status initialize() = 0;
    // The rate the initialised stream runs at.
    virtual Status outputSampleRate(double& rate) = 0;
    virtual Status bufferFrameSize(FrameCount& frames) = 0;
    virtual Status start() = 0;
    virtual Status stop() = 0;
    // Undoes initialize(); then close() undoes openOutput() and findOutput(). Both may be called
    // in any state.
    virtual void uninitialize() {}
    virtual void close() {}

protected:
    // Runs one cycle through the installed render function (on the output's thread); -1 without one.
    Status renderCycle(const AudioBufferList& list) const { return mProc ? mProc(mReference, &list) : -1; }
    bool hasRenderCallback() const { return mProc != nullptr; }

private:
    AudioRenderProc mProc = nullptr;
    void* mReference = nullptr;
};

}  // namespace orvex
