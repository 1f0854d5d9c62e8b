#include "engine/KVBoxTools.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "dsp/KVHarmonicProcessor.h"
#include "dsp/PeakPicker.h"
#include "engine/KVFloorShaping.h"
#include "engine/KVIsolationSpectra.h"
#include "engine/KVIsolationWindow.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex {

namespace {
constexpr float kHarmonicLimit = 22050.0f;
constexpr float kLowPeakLimit = 4000.0f;
constexpr int kLowPeaks = 5;
// Frequency instability (FrameRecord::frequencyStability) above which a bin counts as noise:
// the magic box sets its phase unknown and its frequency to 0.
constexpr float kUnstable = 0.6729126f;
constexpr float kHarmonicTolerance = 1.0f;

float nominalFrequency(int k) { return float(k) * kIsolationBinHz; }
}  // namespace

KVBoxTools::KVBoxTools(KVIsolationStores& stores, const KVBoxGeometry& box, std::vector<std::int32_t> channels)
    : mStores(stores), mBox(box), mChannels(std::move(channels)), mTarget(FrameRecord::create()), mScratch(FrameRecord::create()),
      mValues(kIsolationBins), mOther(kIsolationBins), mFrequencies(kIsolationBins), mPhases(kIsolationBins),
      mFloor(kIsolationBins), mBefore(kIsolationBins), mAfter(kIsolationBins), mMask(kIsolationBins) {}

void KVBoxTools::forEachFrame(const std::function<void(std::int32_t)>& prelude, const FrameStep& step) {
    for (const std::int32_t channel : mChannels) {
        if (prelude) prelude(channel);
        for (FramePos t = mBox.first(); t <= mBox.last(); ++t) step(channel, t);
    }
}

void KVBoxTools::write(FramePos t, std::int32_t channel) { mStores.selection().writeFrameRecord(*mTarget, t, channel); }

void KVBoxTools::encodeAndWrite(FramePos t, std::int32_t channel) {
    mTarget->encodeMagnitudes(mValues);
    write(t, channel);
}

void KVBoxTools::box(int mode, bool shift) {
    forEachFrame(nullptr, [&](std::int32_t channel, FramePos t) {
        const bool subtract = mode == 1;
        if (!(subtract ? mStores.selectedTarget(t, channel, *mTarget) : mStores.additiveTarget(t, channel, *mTarget)))
            return;
        mTarget->decodeMagnitudesInto(mValues);
        if (!subtract) {
            if (shift)
                mOther = mValues;
            else
                KVIsolationStores::readMagnitudes(mStores.analysis(), t, channel, *mScratch, mOther);
        }
        const float weight = mBox.timeBell(t) * 0.5f;
        for (int k = 0; k < kIsolationBins; ++k) {
            const float f = nominalFrequency(k);
            if (!mBox.inBand(f)) continue;
            const float g = std::sqrt(mBox.frequencyBell(f) * weight);
            mValues[k] = subtract ? g * mValues[k] * 0.5f + (1.0f - g) * mValues[k] : g * mOther[k] * 0.5f + mValues[k];
        }
        encodeAndWrite(t, channel);
    });
}

void KVBoxTools::denoise() {
    auto average = [&](std::int32_t channel) {
        std::fill(mFloor.begin(), mFloor.end(), 0.0f);
        for (FramePos t = mBox.first(); t <= mBox.last(); ++t) {
            KVIsolationStores::readMagnitudes(mStores.selection(), t, channel, *mScratch, mOther);
            for (int k = 0; k < kIsolationBins; ++k) mFloor[k] += mOther[k];
        }
        for (float& v : mFloor) v /= mBox.width();
    };
    forEachFrame(average, [&](std::int32_t channel, FramePos t) {
        if (!mStores.selectedTarget(t, channel, *mTarget)) return;
        mTarget->decodeMagnitudesInto(mValues);
        mTarget->decodeFrequenciesInto(mFrequencies);
        const float e = mBox.denoiseWeight(t);
        for (int k = 0; k < kIsolationBins; ++k) {
            if (!mBox.inBand(mFrequencies[k])) continue;
            const float m = std::max(0.0f, mValues[k] - mFloor[k]);
            mValues[k] = m * e + mValues[k] * (1.0f - e);
        }
        encodeAndWrite(t, channel);
    });
}

void KVBoxTools::background(int mode) {
    const FrameCount reach = mode == 1 ? 4 : 25;
    const FrameCount frames = mStores.analysisFrames();
    std::unique_ptr<KVIsolationWindow> window;
    auto open = [&](std::int32_t channel) {
        window = std::make_unique<KVIsolationWindow>(mStores.analysis(), channel, reach, reach, frames);
    };
    forEachFrame(open, [&](std::int32_t channel, FramePos t) {
        window->advanceTo(t);
        if (!mStores.additiveTarget(t, channel, *mTarget)) return;
        const std::span<const float> analysis = window->magnitudes(t);
        window->floor(mFloor);
        mTarget->decodeMagnitudesInto(mValues);
        for (int k = 0; k < kIsolationBins; ++k) mFloor[k] = std::min(mFloor[k], mValues[k]);
        const float e = mBox.edgeRamp(t);
        std::fill(mMask.begin(), mMask.end(), 0);
        if (mode != 1) markHarmonicBins(mMask, strongLowPeaks(analysis, kLowPeaks, kLowPeakLimit, mWork), 0, 1);
        for (int k = 0; k < kIsolationBins; ++k) {
            if (!mBox.inBand(nominalFrequency(k)) || mMask[k]) continue;
            const float shaped = mode == 1 ? KVFloorShaping::transient(analysis[k], mFloor[k]) * e
                                           : KVFloorShaping::sustained(mFloor[k]) * e;
            mValues[k] = shaped + mValues[k] * (1.0f - e);
        }
        encodeAndWrite(t, channel);
    });
}

void KVBoxTools::gapFiller() {
    forEachFrame(nullptr, [&](std::int32_t channel, FramePos t) {
        KVIsolationStores::read(mStores.analysis(), t, channel, *mScratch);
        mScratch->decodeMagnitudesInto(mOther);
        mScratch->decodeFrequenciesInto(mFrequencies);
        KVHarmonicProcessor::stabilityWeight(mOther, mFrequencies);
        suppressPeaks(mOther, 128, nullptr, 80.0f);
        if (!mStores.additiveTarget(t, channel, *mTarget)) return;
        mTarget->decodeMagnitudesInto(mValues);
        const float b = mBox.timeBell(t);
        for (int k = 0; k < kIsolationBins; ++k)
            if (mBox.inBand(mFrequencies[k])) mValues[k] = b * mOther[k] + mValues[k] * (1.0f - b);
        encodeAndWrite(t, channel);
    });
}

void KVBoxTools::magic(bool shift) {
    if (!shift) {
        auto neighbours = [&](std::int32_t channel) {
            KVIsolationStores::readMagnitudes(mStores.selection(), mBox.before(), channel, *mScratch, mBefore);
            KVIsolationStores::readMagnitudes(mStores.selection(), mBox.after(), channel, *mScratch, mAfter);
        };
        forEachFrame(neighbours, [&](std::int32_t channel, FramePos t) { magicFromNeighbours(channel, t); });
        return;
    }
    auto floor = [&](std::int32_t channel) {
        KVIsolationStores::readMagnitudes(mStores.selection(), mBox.before(), channel, *mScratch, mFloor);
        for (FramePos t = mBox.first(); t <= mBox.last(); ++t) {
            KVIsolationStores::readMagnitudes(mStores.analysis(), t, channel, *mScratch, mOther);
            for (int k = 0; k < kIsolationBins; ++k) mFloor[k] = std::min(mFloor[k], mOther[k]);
        }
    };
    forEachFrame(floor, [&](std::int32_t channel, FramePos t) { magicFromFloor(channel, t); });
}

void KVBoxTools::magicFromNeighbours(std::int32_t channel, FramePos t) {
    if (!mStores.additiveTarget(t, channel, *mTarget)) return;
    mTarget->decodeMagnitudesInto(mValues);
    mTarget->decodeFrequenciesInto(mFrequencies);
    mTarget->decodePhasesInto(mPhases);
    const std::vector<float> instability = mTarget->frequencyStability();
    protectFundamental(*mTarget);
    const float b = mBox.timeBell(t);
    for (int k = 0; k < kIsolationBins; ++k) {
        if (!mBox.inBand(mFrequencies[k]) || mMask[k]) continue;
        const float r = mValues[k];
        const float n = std::fabs(r - mAfter[k]) <= std::fabs(r - mBefore[k]) ? mAfter[k] : mBefore[k];
        mValues[k] = n * b * 1.5f + r * (1.0f - b);
        if (k < int(instability.size()) && instability[k] > kUnstable) {
            mPhases[k] = kPhaseUnknown;
            mFrequencies[k] = 0.0f;
        }
    }
    mTarget->encode(mValues, mFrequencies, mPhases);
    write(t, channel);
}

void KVBoxTools::protectFundamental(const FrameRecord& record) {
    std::fill(mMask.begin(), mMask.end(), 0);
    const float fundamental = record.fundamental;
    if (!(fundamental > 0.0f) || !std::isfinite(fundamental)) return;
    // Each bin is compared with the harmonic nearest to its measured frequency.
    for (int k = 0; k < kIsolationBins; ++k) {
        const float h = std::max(1.0f, std::round(mFrequencies[k] / fundamental));
        const float harmonic = h * fundamental;
        if (harmonic > kHarmonicLimit || harmonic < 0.001f) continue;
        if (std::fabs(mFrequencies[k] - harmonic) <= kHarmonicTolerance) mMask[k] = 1;
    }
}

void KVBoxTools::magicFromFloor(std::int32_t channel, FramePos t) {
    if (!mStores.additiveTarget(t, channel, *mTarget)) return;
    mTarget->decodeMagnitudesInto(mValues);
    std::fill(mMask.begin(), mMask.end(), 0);
    markHarmonicBins(mMask, strongLowPeaks(mValues, kLowPeaks, kLowPeakLimit, mWork), -2, 2);
    const float e = mBox.edgeRamp(t);
    for (int k = 0; k < kIsolationBins; ++k) {
        if (!mBox.inBand(nominalFrequency(k)) || mMask[k]) continue;
        mValues[k] = (mFloor[k] * e + mValues[k]) * 0.5f + mValues[k] * (1.0f - e);
    }
    encodeAndWrite(t, channel);
}

void KVBoxTools::deselect(int mode) {
    forEachFrame(nullptr, [&](std::int32_t channel, FramePos t) {
        if (mode == 1)
            KVIsolationStores::read(mStores.analysis(), t, channel, *mTarget);
        else
            mTarget->reset();
        write(t, channel);
    });
}

}  // namespace orvex
