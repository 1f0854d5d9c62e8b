#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/Types.h"

namespace orvex {

// The settings of the median separator. The filter lengths are in seconds and hertz, so that
// they mean the same whatever transform they are applied to.
struct KVMedianSettings {
    double timeSeconds = 1.0;      // the sustained part is steady over this long
    double frequencyHertz = 75.0;  // the transient part is smooth over this wide a band
    double maskPower = 3.0;        // how hard the soft masks decide between the two
};

// The sustained share of every bin of every analysis frame, from median filters over a
// spectrogram of the segment's audio: a steady partial is its own median along time, a click
// spreads over the frequencies around it and is its own median along frequency. The
// spectrogram (8192-sample Hann windows every 2048 samples, so its bins are two analysis bins
// wide) adds the power of every channel, so that one mask serves them all. The shares are soft
// masks with the given power; the transient share is one minus the sustained share, so the two
// parts add up to what was analysed.
// Not synchronised: build it on one thread; then sustainedShare() from any thread.
class KVMedianMask {
public:
    static constexpr FrameCount kTransformSize = 8192;
    static constexpr FrameCount kTransformHop = 2048;
    // Reads length frames of every channel of the segment at position (which may lie before
    // its start) into buffers[0 .. channels-1].
    using AudioReader = std::function<void(FramePos position, FrameCount length, float* const* buffers)>;

    // frames: the analysis frames the mask is for; bins: the bins of their records.
    KVMedianMask(FrameCount frames, int bins, const KVMedianSettings& settings);

    // Builds the mask from the audio of channels channels; false when cancel was set meanwhile.
    bool build(const AudioReader& read, int channels, const std::function<bool()>& cancelled = {});
    // The sustained share of each bin of analysis frame f, interpolated between the
    // spectrogram's frames and bins around it.
    void sustainedShare(FramePos f, std::span<float> out) const;

    // The filter lengths in spectrogram frames and bins (odd, at least 1).
    int timeCells() const { return mTimeCells; }
    int frequencyCells() const { return mFrequencyCells; }

private:
    std::size_t cell(std::int64_t frame, int bin) const {
        return std::size_t(frame) * std::size_t(mColumns) + std::size_t(bin);
    }
    bool addSpectrogram(const AudioReader& read, int channels, const std::function<bool()>& cancelled,
                        std::vector<float>& level) const;
    void medianAlongTime(const std::vector<float>& level, std::vector<float>& out) const;
    void medianAlongFrequency(const std::vector<float>& level, std::vector<float>& out) const;

    FrameCount mFrames;
    int mBins, mColumns;
    std::int64_t mBlocks;
    double mPower;
    int mTimeCells, mFrequencyCells;
    std::vector<float> mShare;  // blocks x columns, the sustained mask
};

}  // namespace orvex
