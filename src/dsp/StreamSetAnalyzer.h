#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/AlignedBuffer.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"

namespace orvex {

// Analyses one frame of every channel of a sound and of the channels' mix together, into one
// record each. The mix is the mean of the channels (the sum of x_c[k] / C in channel order),
// and every step of the warp search up to each candidate's spectrum (the warp's linear reading,
// the window, the transform) is linear in the samples, so the mix's spectrum of each candidate
// warp is the mean of the channels' spectra of it: the mix searches its warp without warping
// and transforming frames of its own. Everything else of the mix, from its unwarped entropy to
// the spectrum of its chosen warp, comes from its own samples, so its record equals that of a
// stream analysed alone up to a warp choice that rounding tips between two candidates of the
// same entropy. The mix of one channel is the channel itself: where its frame holds the same
// samples, the channel's record is copied.
// Not synchronised: used by one thread at a time; nothing allocates after construction.
class StreamSetAnalyzer {
public:
    StreamSetAnalyzer(int channels, std::int64_t frameSize, std::int64_t overlap, std::int64_t zeroPadding,
                      double sampleRate, float warpLimit, std::int64_t warpSteps);
    StreamSetAnalyzer(const StreamSetAnalyzer&) = delete;
    StreamSetAnalyzer& operator=(const StreamSetAnalyzer&) = delete;

    // The mix and the channels: 1 + channels.
    std::size_t streamCount() const { return mStreams.size(); }
    // frames[0] the mix's frame, frames[1 + c] channel c's, N samples each; records[s] receives
    // the record of frames[s].
    void analyze(const float* const* frames, FrameRecord* const* records);

private:
    void analyzeAlone(std::size_t stream, const float* frame, FrameRecord& record);
    void searchWarps(const float* const* frames);
    void addToMixSpectrum(const float* spectrum, bool first);

    std::vector<std::unique_ptr<SpectralProcessor>> mStreams;  // [0] the mix, then the channels
    AlignedFloats mMixSpectrum;                                // N + 2
    std::vector<float> mUnwarpedEntropy;
    std::vector<WarpChoice> mBest;
    float mShare;
};

}  // namespace orvex
