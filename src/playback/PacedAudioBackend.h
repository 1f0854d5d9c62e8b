#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/AudioOutputBackend.h"

namespace orvex {

// A silent output that pulls stereo cycles on its own thread at real-time pace and discards them,
// so playback runs end to end on a machine without a sound card. start() and stop() run on the
// owner's thread; stop() joins the pulling thread.
class PacedAudioBackend : public AudioOutputBackend {
public:
    explicit PacedAudioBackend(FrameCount bufferFrames = 512);
    ~PacedAudioBackend() override;

    // Cycles pulled so far (any thread).
    std::int64_t cycles() const { return mCycles.load(); }

    bool findOutput() override { return true; }
    Status deviceSampleRate(double& rate) override;
    Status setInputFormat(double rate, int channels) override;
    Status initialize() override;
    Status outputSampleRate(double& rate) override;
    Status bufferFrameSize(FrameCount& frames) override;
    Status start() override;
    Status stop() override;
    void uninitialize() override { stop(); }
    void close() override { stop(); }

private:
    void run();

    FrameCount mBufferFrames;
    double mRate = 44100.0;
    std::vector<float> mLeft, mRight;
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mWake;
    bool mStopRequested = false;  // guarded by mMutex
    std::atomic<std::int64_t> mCycles{0};
};

}  // namespace orvex
