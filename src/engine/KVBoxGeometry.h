#pragma once

#include <cstdint>
#include <optional>

#include "common/Types.h"

namespace orvex {

// Nominal frequency of bin k of a 16384-point analysis at 44 100 Hz.
inline constexpr float kIsolationBinHz = 2.6916504f;
// Bins of a record of the system's analysis (frame size 4096, zero padding 4).
inline constexpr int kIsolationBins = kAnalysisBins;

// The frames, band and weighting windows of a rectangle drawn over the analysis, in frames
// (x, width) and sixths of a semitone (y, height), fitted to an analysis of a given length.
class KVBoxGeometry {
public:
    // Nothing when the analysis has no frames.
    static std::optional<KVBoxGeometry> fit(float x, float y, float w, float h, FrameCount frameCount);

    // Frames first() .. last() inclusive, all inside the analysis.
    FramePos first() const { return mFirst; }
    FramePos last() const { return mLast; }
    FrameCount frames() const { return mLast - mFirst + 1; }
    // The frame before and the frame after the box, inside the analysis.
    FramePos before() const { return mBefore; }
    FramePos after() const { return mAfter; }
    // The box width used by the windows (at least one frame).
    float width() const { return mWidth; }
    float lowFrequency() const { return mLow; }
    float highFrequency() const { return mHigh; }

    bool inBand(float frequency) const { return frequency >= mLow && frequency < mHigh; }
    // Raised-cosine bell over the box, flattened by a 0.2 power; 0 at the box's start.
    float timeBell(FramePos t) const;
    // The same bell across the band.
    float frequencyBell(float frequency) const;
    // Ramps up over the first five frames and down over the last five; 1 between, never below 0.
    float edgeRamp(FramePos t) const;
    // The denoise weight: half the edge ramp.
    float denoiseWeight(FramePos t) const;

private:
    float mX = 0.0f;
    float mWidth = 1.0f;
    FramePos mFirst = 0, mLast = 0, mBefore = 0, mAfter = 0;
    float mLow = 0.0f, mHigh = 0.0f;
};

}  // namespace orvex
