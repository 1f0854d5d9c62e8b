#pragma once

#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/KVAnalysisViewInterface.h"
#include "platform/HeadlessPlatform.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {

// A view that answers the controller from settable fields and records what it was told.
class StubAnalysisView : public KVAnalysisViewInterface {
public:
    std::atomic<bool> drawing{false};
    std::atomic<bool> firstResponder{true};
    std::atomic<float> pitch{414.0f};  // A4
    std::atomic<FramePos> mouseFrame{0};
    std::atomic<FramePos> cursor{0};

    std::recursive_mutex& monitor() override { return mMonitor; }
    bool isDrawing() override { return drawing; }
    bool isFirstResponder() override { return firstResponder; }
    float pitchUnderMouse() override { return pitch; }
    FramePos frameUnderMouse() override { return mouseFrame; }
    FramePos editCursor() override { return cursor; }
    void setPlayCursor(FramePos sample) override { mPlayCursor = sample; }
    FramePos playCursor() override { return mPlayCursor; }
    void scrollToPlayCursor() override {}
    void redraw() override { ++redraws; }
    void relayout() override { ++relayouts; }
    void setStatusMessage(const std::string& message) override {
        std::lock_guard<std::mutex> guard(mLog);
        statusMessages.push_back(message);
    }
    void addPath(const std::vector<KVPathPoint>&) override { ++pathsAdded; }
    void removePath(const std::vector<KVPathPoint>&) override { ++pathsRemoved; }
    void setStores(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) override {
        analysisStore = analysis;
        selectionStore = selection;
    }
    std::vector<std::string> messages() {
        std::lock_guard<std::mutex> guard(mLog);
        return statusMessages;
    }

    std::atomic<int> redraws{0}, relayouts{0}, pathsAdded{0}, pathsRemoved{0};
    KVAnalysisFileSet* analysisStore = nullptr;
    KVAnalysisFileSet* selectionStore = nullptr;

private:
    std::recursive_mutex mMonitor;
    std::mutex mLog;
    std::vector<std::string> statusMessages;
    FramePos mPlayCursor = 0;
};

// The engine tests' signal: a 220 Hz tone with 5 partials (amplitude 0.2 / h), a click every
// quarter second and quiet noise; the right channel has the tone softer and other noise.
inline Channels toneClicksAndNoise(std::int64_t frames, int channels = 2) {
    Channels out;
    for (int c = 0; c < channels; ++c) {
        std::vector<float> signal(std::size_t(frames), 0.0f);
        for (int h = 1; h <= 5; ++h) mixInto(signal, sine(220.0 * h, 44100.0, frames, (c ? 0.15 : 0.2) / h));
        for (std::int64_t t = 5000; t < frames; t += 11025)
            for (int i = 0; i < 8; ++i) signal[std::size_t(t + i)] += (i % 2 ? -0.6f : 0.6f) * float(8 - i) / 8.0f;
        mixInto(signal, noise(frames, 0.01, std::uint32_t(c + 1)));
        out.push_back(std::move(signal));
    }
    return out;
}

// Power of frequency f in x by the Goertzel recurrence (independent of the system's FFT).
inline double goertzelPower(const std::vector<float>& x, double f, double rate = 44100.0) {
    const double w = 2.0 * M_PI * f / rate, k = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (float v : x) {
        const double s0 = v + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / double(x.size() * x.size());
}

// A headless platform that leaves thread priorities alone: on a busy shared machine a worker at
// the lowest priority can wait minutes for a core, which says nothing about the code under test.
class SteadyPlatform : public HeadlessPlatform {
public:
    void setCurrentThreadPriority(double) override {}
};

// The platform fixture with a SteadyPlatform (or a given subclass of it).
class EngineFixture : public PlatformFixture {
protected:
    void SetUp() override { installPlatform(std::make_shared<SteadyPlatform>()); }
    void installPlatform(std::shared_ptr<SteadyPlatform> steady) {
        steady->setEchoAlerts(false);
        mPlatform = steady;
        Platform::install(steady);
    }
};

// An alert with exactly these texts.
inline void expectAlert(const HeadlessPlatform::Alert& alert, const std::string& title, const std::string& message,
                        const std::vector<std::string>& buttons) {
    EXPECT_EQ(alert.title, title);
    EXPECT_EQ(alert.message, message);
    EXPECT_EQ(alert.buttons, buttons);
}

}  // namespace orvex::test
