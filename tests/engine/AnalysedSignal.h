#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/KVIsolationOperations.h"
#include "store/KVAnalysisFileSet.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {

// A stereo test signal built from known parts: a harmonic tone, short clicks and a little
// noise, each kept apart so that what an operation keeps can be measured against each part.
struct ToneClicksNoise {
    Channels tone, clicks, noise, mix;
    std::vector<std::int64_t> clickPositions;  // sample of each click
    double fundamental = 0.0;
};

// fundamental Hz, 5 partials of falling amplitude; a click every clickInterval samples; uniform
// noise of the given amplitude; the right channel is the left at other levels.
ToneClicksNoise makeToneClicksNoise(std::int64_t frames, double fundamental, std::int64_t clickInterval,
                                    double noiseAmplitude);

// Analyses channels into a new file set of the system's parameters (frame size 4096, overlap
// 32, zero padding 4, 44 100 Hz) based on soundPath: one processor per channel and one for
// the channels' mean, every record appended as it comes.
std::unique_ptr<KVAnalysisFileSet> analyseIntoFileSet(const std::string& soundPath, const Channels& channels,
                                                      bool keepsUndo);

// Opens an empty file set at path (the selection of an analysis) with undo.
std::unique_ptr<KVAnalysisFileSet> openEmptyFileSet(const std::string& path, int channels);

// The whole rendered audio of a channel of a file set, from its start.
std::vector<float> renderChannel(KVAnalysisFileSet& set, std::int32_t channel, std::int64_t frames);

// One analysed ToneClicksNoise per length, made on first use and kept (read-only) for the rest
// of the test program, so that several tests share one analysis.
struct SharedAnalysis {
    ToneClicksNoise signal;
    std::unique_ptr<KVAnalysisFileSet> set;
};
SharedAnalysis& sharedAnalysis(std::int64_t frames);

// A fresh, empty stereo selection with its operations over the shared analysis of a length.
class SharedAnalysisTest : public PlatformFixture {
protected:
    void openSelection(std::int64_t frames) {
        mShared = &sharedAnalysis(frames);
        mSelection = openEmptyFileSet(temp().file("take-selection.analysis"), 2);
        ASSERT_NE(mSelection, nullptr);
        mOps = std::make_unique<KVIsolationOperations>(*mShared->set, *mSelection, mCancel);
    }
    KVAnalysisFileSet& analysis() { return *mShared->set; }

    SharedAnalysis* mShared = nullptr;
    std::unique_ptr<KVAnalysisFileSet> mSelection;
    std::atomic<bool> mCancel{false};
    std::unique_ptr<KVIsolationOperations> mOps;
};

}  // namespace orvex::test
