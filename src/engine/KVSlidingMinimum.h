#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace orvex {

// Bin-by-bin minimum over a first-in first-out window of spectra, in amortised constant work
// per spectrum and bin: the window is kept as two stacks, the newer one with a running minimum,
// the older one with suffix minima that are rebuilt when it runs empty.
// Not synchronised: one thread at a time.
class KVSlidingMinimum {
public:
    // Spectra of `bins` values; at most `capacity` of them in the window at once.
    KVSlidingMinimum(std::size_t bins, std::size_t capacity);

    void push(std::span<const float> spectrum);
    // Drops the oldest spectrum; nothing when the window is empty.
    void pop();
    void clear();
    std::size_t size() const { return mOlderCount - mOlderHead + mNewerCount; }

    // The bin-wise minimum of the window into out (at least `bins` values); +infinity when empty.
    void minimum(std::span<float> out) const;

private:
    void moveNewerToOlder();
    float* newerSlot(std::size_t i) { return mNewer.data() + i * mBins; }
    float* olderSlot(std::size_t i) { return mOlder.data() + i * mBins; }
    const float* olderSlot(std::size_t i) const { return mOlder.data() + i * mBins; }

    std::size_t mBins;
    std::size_t mCapacity;
    std::vector<float> mNewer;        // raw spectra, oldest first
    std::vector<float> mNewerMinimum; // minimum of mNewer
    std::size_t mNewerCount = 0;
    std::vector<float> mOlder;        // suffix minima: slot i holds min of older spectra i..end
    std::size_t mOlderHead = 0, mOlderCount = 0;
};

}  // namespace orvex
