#include "control/KVMasterPrefill.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audiofile/KVAudioFileReader.h"
#include "common/MathConstants.h"
#include "store/KVMixdownStore.h"

namespace orvex {

namespace {

constexpr int kGrainSize = KVGrainCollection::kGrainSize;
constexpr int kHop = static_cast<int>(kAnalysisHop);
constexpr double kInverseGain = KVGrainCollection::kInverseGain;
constexpr double kInversePole = KVGrainCollection::kInversePole;
constexpr float kCodingGain = KVEncodedGrain::kCodingGain;

const std::array<float, kGrainSize>& grainWindow() {
    static const std::array<float, kGrainSize> window = [] {
        std::array<float, kGrainSize> w{};
        for (int i = 0; i < kGrainSize; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(kTwoPi * i / kGrainSize);
            w[i] = static_cast<float>(hann * hann / 12.0);
        }
        return w;
    }();
    return window;
}

}  // namespace

void KVMasterPrefill::ChannelWindow::push(const float* samples, FrameCount n) {
    float* newest = mSamples.data() + kGrainSize - kHop;
    for (int i = 0; i < kHop; ++i) {
        const double x = i < n ? samples[i] : 0.0;
        mState = kInverseGain * x + kInversePole * mState;
        newest[i] = static_cast<float>(mState);
    }
}

void KVMasterPrefill::ChannelWindow::takeGrain(float* grain) {
    const auto& w = grainWindow();
    for (int i = 0; i < kGrainSize; ++i) grain[i] = mSamples[i] * w[i];
    std::copy(mSamples.begin() + kHop, mSamples.end(), mSamples.begin());
    std::fill(mSamples.end() - kHop, mSamples.end(), 0.0f);
}

bool KVMasterPrefill::storeRecord(KVGrainCollection& left, KVGrainCollection& right, const float* leftGrain,
                                  const float* rightGrain, FramePos k) {
    KVEncodedGrain stored{};
    // A record that does not match its checksum may have held an edit: it stays as it is, for
    // the export to refuse, rather than be silently replaced by the source.
    if (left.readRecords(&stored, k, 1) == 0 && left.lastReadWasDamaged()) return false;
    const bool prefilled = stored.marker == KVEncodedGrain::kPrefillMarker;
    if (!prefilled && !(stored.maximum < KVMixdownStore::kUneditedMaximum)) return false;
    // A record the prefill wrote before may be cut short (a process killed while writing it
    // leaves its marker and part of its samples), and the right record of the pair may be
    // missing: each record that differs from the source's is written again.
    KVEncodedGrain grain;
    grain.encode(leftGrain);
    grain.scale *= kCodingGain;
    grain.marker = KVEncodedGrain::kPrefillMarker;
    if (!prefilled || std::memcmp(&stored, &grain, sizeof grain) != 0) left.writeRecord(grain, k);
    grain.encode(rightGrain);
    grain.scale *= kCodingGain;
    stored.clear();
    if (prefilled && right.readRecords(&stored, k, 1) == 0 && right.lastReadWasDamaged()) return false;
    if (!prefilled || std::memcmp(&stored, &grain, sizeof grain) != 0) right.writeRecord(grain, k);
    return true;
}

FrameCount KVMasterPrefill::run(const std::string& workingFilePath, KVGrainCollection& left, KVGrainCollection& right,
                                std::recursive_mutex& lock, const std::atomic<bool>& cancel) {
    // Two channels are asked for: a mono file is delivered in both.
    auto reader = KVAudioFileReader::initWithFileAtPath(workingFilePath, kWorkingSampleRate, 2);
    if (!reader) return -1;
    std::vector<float> leftBlock(kHop), rightBlock(kHop), leftGrain(kGrainSize), rightGrain(kGrainSize);
    ChannelWindow leftWindow, rightWindow;
    FramePos k = 0;
    FrameCount tailLeft = kTailBlocks;
    for (; !cancel.load(); ++k) {
        FrameCount got = 0;
        if (tailLeft == kTailBlocks) {
            std::lock_guard<std::recursive_mutex> guard(lock);
            float* channels[2] = {leftBlock.data(), rightBlock.data()};
            got = std::max<FrameCount>(reader->readFrames(kHop, channels), 0);
        }
        if (got < 1 && tailLeft-- == 0) break;
        leftWindow.push(leftBlock.data(), got);
        rightWindow.push(rightBlock.data(), got);
        leftWindow.takeGrain(leftGrain.data());
        rightWindow.takeGrain(rightGrain.data());
        std::lock_guard<std::recursive_mutex> guard(lock);
        storeRecord(left, right, leftGrain.data(), rightGrain.data(), k);
    }
    return k;
}

}  // namespace orvex
