#include "engine/KVBoxGeometry.h"

#include <algorithm>
#include <cmath>

#include "common/MathConstants.h"
#include "common/Pitch.h"
namespace orvex {

namespace {
constexpr float kHighestBandFrequency = 22049.0f;
}  // namespace

std::optional<KVBoxGeometry> KVBoxGeometry::fit(float x, float y, float w, float h, FrameCount frameCount) {
    if (frameCount <= 0 || !std::isfinite(x) || !std::isfinite(w)) return std::nullopt;
    KVBoxGeometry box;
    const float lastFrame = static_cast<float>(frameCount - 1);
    x = std::clamp(x, 0.0f, lastFrame);
    if (x + w > lastFrame) w = lastFrame - x;
    box.mX = x;
    box.mWidth = std::max(1.0f, w);
    box.mFirst = static_cast<FramePos>(std::floor(x));
    // Frames t with t < x + W; a box reaching the end stops at the last frame.
    const auto end = static_cast<FramePos>(std::ceil(x + box.mWidth));
    box.mLast = std::clamp<FramePos>(end - 1, box.mFirst, frameCount - 1);
    box.mBefore = std::max<FramePos>(0, static_cast<FramePos>(std::floor(x - 1.0f)));
    box.mAfter = std::min<FramePos>(frameCount - 1, static_cast<FramePos>(std::floor(x + box.mWidth)));
    box.mLow = std::max(0.0f, static_cast<float>(hertzOfPitch(y)));
    box.mHigh = std::min(kHighestBandFrequency, static_cast<float>(hertzOfPitch(double(y) + double(h))));
    return box;
}

float KVBoxGeometry::timeBell(FramePos t) const {
    const double d = double(t) - double(mX);
    return static_cast<float>(std::pow(0.5 - 0.5 * std::cos(kTwoPi * d / mWidth), 0.2));
}

float KVBoxGeometry::frequencyBell(float frequency) const {
    const double span = double(mHigh) - double(mLow);
    if (span <= 0.0) return 0.0f;
    return static_cast<float>(std::pow(0.5 - 0.5 * std::cos(kTwoPi * (double(frequency) - mLow) / span), 0.2));
}

float KVBoxGeometry::edgeRamp(FramePos t) const {
    const float d = static_cast<float>(t) - mX;
    float e = 1.0f;
    if (d < 5.0f)
        e = 0.2f * d;
    else if (d > mWidth - 5.0f)
        e = 1.0f + 0.2f * ((mX + mWidth - 5.0f) - static_cast<float>(t));
    return std::max(0.0f, e);
}

float KVBoxGeometry::denoiseWeight(FramePos t) const { return 0.5f * edgeRamp(t); }

}  // namespace orvex
