#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "common/Types.h"
#include "dsp/FrameRecordSource.h"

namespace orvex {

struct FrameRecord;
// Decoded arrays and scratch space of one channel's frame, kept between calls.
struct HarmonicWorkspace;

// Isolates or attenuates a fundamental (and optionally its harmonics) frame by frame along a
// pitch curve. Reads each frame's records from a source analysis (unedited) and a destination
// analysis (the edit being built), changes magnitudes only and writes the destination back;
// successive calls accumulate (extraction by per-bin maximum, attenuation by minimum).
// Threads: a processor is used by one thread at a time (one per curve operation, or one per
// channel when channels run in parallel); it holds no lock and relies on the analyses' own locking.
class KVHarmonicProcessor {
public:
    // operation: 0 builds the frame from the source, 1 modifies the destination.
    // series: 1 the fundamental only, 2 multiples 0.5, 1, 1.5, ..., anything else 1, 2, 3, ...
    // variant (series other than 1): 1 attenuating/median treatment, 0 and 2 the peak
    // treatment; other values leave frames unchanged. snap 1 moves the fundamental to the
    // nearest measured peak. Null when either analysis is missing.
    static std::unique_ptr<KVHarmonicProcessor> initWithSource(std::shared_ptr<FrameRecordSource> source,
                                                               std::shared_ptr<FrameRecordSource> destination,
                                                               std::int32_t operation, std::int32_t series,
                                                               std::uint8_t snap, std::int32_t variant);

    // Processes one frame of every channel (mix first); returns the fundamental used (clamped
    // to 0 .. 22050 Hz and snapped), or -1 when the source has no valid record for the frame.
    float processFrame(FramePos frame, float frequency);
    // The same for one channel alone, from the fundamental the channels before it returned (the
    // channels of a frame then run in order -1, 0, 1, ... and stop at the first that returns -1).
    float processChannel(FramePos frame, std::int32_t channel, float frequency);

    // Per-bin median over a window of 2w values around each bin (edges repeated); the upper of
    // the two middle values is taken.
    static void medianFilter(std::span<float> x, int halfWidth);
    // Pulls down bins whose frequency agrees with the previous bin's (steady partials), the
    // more the lower the bin; bins with a nonzero skip word (when given) are left alone.
    static void stabilityWeight(std::span<float> magnitudes, std::span<const float> frequencies,
                                const std::uint32_t* skip = nullptr);
    struct Token {
        explicit Token() = default;
    };
    KVHarmonicProcessor(Token, std::shared_ptr<FrameRecordSource> source, std::shared_ptr<FrameRecordSource> destination,
                        std::int32_t operation, std::int32_t series, std::uint8_t snap, std::int32_t variant);
    ~KVHarmonicProcessor();

private:
    static float clampedFundamental(float frequency);
    float snapped(const FrameRecord& source, float f0) const;
    // Turns the destination record into what this processor's mode writes for the frame.
    void process(float f0);

    std::shared_ptr<FrameRecordSource> mSource;
    std::shared_ptr<FrameRecordSource> mDestination;
    std::int32_t mOperation;
    std::int32_t mSeries;
    std::uint8_t mSnap;
    std::int32_t mVariant;
    // Records and arrays reused from frame to frame: no allocation per call.
    std::unique_ptr<FrameRecord> mSourceRecord;
    std::unique_ptr<FrameRecord> mDestinationRecord;
    std::unique_ptr<HarmonicWorkspace> mWork;
};

}  // namespace orvex
