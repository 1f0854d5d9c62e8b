#include "playback/PacedAudioBackend.h"

#include <chrono>

namespace orvex {

PacedAudioBackend::PacedAudioBackend(FrameCount bufferFrames) : mBufferFrames(bufferFrames > 0 ? bufferFrames : 512) {}

PacedAudioBackend::~PacedAudioBackend() { stop(); }

Status PacedAudioBackend::deviceSampleRate(double& rate) {
    rate = mRate;
    return 0;
}

Status PacedAudioBackend::setInputFormat(double rate, int channels) {
    if (rate <= 0.0 || channels != 2) return -1;
    mRate = rate;
    return 0;
}

Status PacedAudioBackend::initialize() {
    mLeft.assign(static_cast<std::size_t>(mBufferFrames), 0.0f);
    mRight.assign(static_cast<std::size_t>(mBufferFrames), 0.0f);
    return 0;
}

Status PacedAudioBackend::outputSampleRate(double& rate) {
    rate = mRate;
    return 0;
}

Status PacedAudioBackend::bufferFrameSize(FrameCount& frames) {
    frames = mBufferFrames;
    return 0;
}

Status PacedAudioBackend::start() {
    if (mThread.joinable() || mLeft.empty()) return -1;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopRequested = false;
    }
    mThread = std::thread([this] { run(); });
    return 0;
}

Status PacedAudioBackend::stop() {
    if (!mThread.joinable()) return 0;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopRequested = true;
    }
    mWake.notify_all();
    mThread.join();
    return 0;
}

void PacedAudioBackend::run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(mBufferFrames) / mRate));
    const auto bytes = static_cast<std::uint32_t>(mBufferFrames * sizeof(float));
    AudioBuffer buffers[2] = {{1, bytes, mLeft.data()}, {1, bytes, mRight.data()}};
    const AudioBufferList list{2, buffers};
    auto due = Clock::now();
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStopRequested) {
        lock.unlock();
        renderCycle(list);
        mCycles.fetch_add(1);
        due += period;
        lock.lock();
        mWake.wait_until(lock, due, [this] { return mStopRequested; });
    }
}

}  // namespace orvex
