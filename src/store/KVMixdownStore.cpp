#include "store/KVMixdownStore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "audiofile/KVAudioFileReader.h"
#include "platform/Platform.h"
#include "store/KVAnalysisPaths.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {

constexpr int kGrainSize = KVEncodedGrain::kSampleCount;
constexpr int kHop = static_cast<int>(kAnalysisHop);

// Periodic Hann window scaled by 1/16: 32 grains 128 samples apart sum to one.
const std::array<float, kGrainSize>& prefillWindow() {
    static const std::array<float, kGrainSize> window = [] {
        std::array<float, kGrainSize> w{};
        for (int i = 0; i < kGrainSize; ++i)
            w[i] = static_cast<float>((0.5 - 0.5 * std::cos(2.0 * M_PI * i / kGrainSize)) * 0.0625);
        return w;
    }();
    return window;
}

// The last 4096 samples of one channel; each block of 128 enters at the end.
class SlidingWindow {
public:
    float* newestBlock() { return mSamples.data() + kGrainSize - kHop; }
    void windowInto(float* grain) const {
        const auto& w = prefillWindow();
        for (int i = 0; i < kGrainSize; ++i) grain[i] = mSamples[i] * w[i];
    }
    void shift() {
        std::copy(mSamples.begin() + kHop, mSamples.end(), mSamples.begin());
        std::fill(mSamples.end() - kHop, mSamples.end(), 0.0f);
    }

private:
    std::array<float, kGrainSize> mSamples{};
};

}  // namespace

KVMixdownStore::Collections KVMixdownStore::openCollections(const std::string& path, FrameCount records,
                                                             bool recreate) {
    Collections mixdown;
    mixdown.left = KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownLeftPath(path), false, recreate);
    mixdown.right = KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownRightPath(path), false, recreate);
    KVEncodedGrain silence{};
    mixdown.left->writeRecord(silence, records);
    mixdown.right->writeRecord(silence, records);
    return mixdown;
}

KVMixdownStore::Collections KVMixdownStore::openMixdownForFileAtPath(const std::string& path, FrameCount records) {
    KVAnalysisPaths::mixdownFolderPath(path);
    const bool compatible = KVUtilities::chunkFileForFileAtPathIsCompatible(path);
    if (!compatible) {
        Platform::shared().runAlert(
            "Incompatible Master File",
            "The mixdown file associated with the source audio file is in an incompatible format. Most likely it was "
            "created with an older version of this application. Orvex will automatically correct the problem for you",
            {"Okay"});
    }
    return openCollections(path, records, !compatible);
}

KVMixdownStore::Collections KVMixdownStore::recreateMixdownForFileAtPath(const std::string& path, FrameCount records) {
    return openCollections(path, records, true);
}

bool KVMixdownStore::prefillRecord(KVGrainCollection& left, KVGrainCollection& right, const float* leftGrain,
                                   const float* rightGrain, FramePos k) {
    KVEncodedGrain stored{};
    left.readRecords(&stored, k, 1);
    if (!(stored.maximum < kUneditedMaximum)) return false;  // an edit was committed here
    KVEncodedGrain grain;
    grain.encode(leftGrain);
    grain.marker = KVEncodedGrain::kPrefillMarker;
    left.writeRecord(grain, k);
    grain.encode(rightGrain);
    right.writeRecord(grain, k);
    return true;
}

FrameCount KVMixdownStore::prefillMasterFiles(const std::string& path, KVGrainCollection& left,
                                              KVGrainCollection& right, std::recursive_mutex& lock,
                                              const std::atomic<bool>* cancel) {
    auto leftReader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, 2);
    auto rightReader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, 2);
    if (!leftReader || !rightReader) return -1;
    SlidingWindow leftWindow, rightWindow;
    std::vector<float> leftGrain(kGrainSize), rightGrain(kGrainSize);
    FramePos k = 0;
    for (; !(cancel && cancel->load()); ++k) {
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            float* leftChannels[2] = {leftWindow.newestBlock(), nullptr};
            float* rightChannels[2] = {nullptr, rightWindow.newestBlock()};
            if (leftReader->readFrames(kHop, leftChannels) < 1) break;
            rightReader->readFrames(kHop, rightChannels);
        }
        leftWindow.windowInto(leftGrain.data());
        rightWindow.windowInto(rightGrain.data());
        leftWindow.shift();
        rightWindow.shift();
        std::lock_guard<std::recursive_mutex> guard(lock);
        prefillRecord(left, right, leftGrain.data(), rightGrain.data(), k);
    }
    return k;
}

}  // namespace orvex
