#include "engine/KVSlidingMinimum.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace orvex {

namespace {
constexpr float kInfinity = std::numeric_limits<float>::infinity();

void minInto(float* into, const float* a, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) into[k] = std::min(into[k], a[k]);
}
}  // namespace

KVSlidingMinimum::KVSlidingMinimum(std::size_t bins, std::size_t capacity)
    : mBins(bins), mCapacity(std::max<std::size_t>(1, capacity)), mNewer(mBins * mCapacity),
      mNewerMinimum(mBins, kInfinity), mOlder(mBins * mCapacity) {}

void KVSlidingMinimum::push(std::span<const float> spectrum) {
    assert(size() < mCapacity && spectrum.size() >= mBins);
    std::copy_n(spectrum.data(), mBins, newerSlot(mNewerCount));
    minInto(mNewerMinimum.data(), spectrum.data(), mBins);
    ++mNewerCount;
}

void KVSlidingMinimum::pop() {
    if (mOlderHead == mOlderCount) {
        if (mNewerCount == 0) return;
        moveNewerToOlder();
    }
    ++mOlderHead;
}

void KVSlidingMinimum::clear() {
    mNewerCount = mOlderHead = mOlderCount = 0;
    std::fill(mNewerMinimum.begin(), mNewerMinimum.end(), kInfinity);
}

void KVSlidingMinimum::moveNewerToOlder() {
    assert(mOlderHead == mOlderCount);
    mOlderHead = 0;
    mOlderCount = mNewerCount;
    float* slot = olderSlot(mNewerCount - 1);
    std::copy_n(newerSlot(mNewerCount - 1), mBins, slot);
    for (std::size_t i = mNewerCount - 1; i-- > 0;) {
        const float* later = slot;
        const float* spectrum = newerSlot(i);
        slot = olderSlot(i);
        for (std::size_t k = 0; k < mBins; ++k) slot[k] = std::min(spectrum[k], later[k]);
    }
    mNewerCount = 0;
    std::fill(mNewerMinimum.begin(), mNewerMinimum.end(), kInfinity);
}

void KVSlidingMinimum::minimum(std::span<float> out) const {
    assert(out.size() >= mBins);
    if (mOlderHead < mOlderCount) {
        const float* older = olderSlot(mOlderHead);
        for (std::size_t k = 0; k < mBins; ++k) out[k] = std::min(older[k], mNewerMinimum[k]);
    } else {
        std::copy_n(mNewerMinimum.data(), mBins, out.data());
    }
}

}  // namespace orvex
