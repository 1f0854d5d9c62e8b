#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Types.h"

namespace orvex {

// Creates a 24-bit linear PCM WAVE file and appends de-interleaved float frames to it,
// clipping them in the caller's buffers to [-1.0, 0.999] (in full-range mode to the whole range
// of the format). Failures print a diagnostic on standard error and return errno-style or
// four-character status codes. No lock: callers that share a writer order their calls.
class KVAudioFileWriter {
public:
    static constexpr std::uint32_t kTypeWAVE = fourCC("WAVE");
    // The largest value written as it is; anything above is stored as this.
    static constexpr float kClipCeiling = 0.999f;

    KVAudioFileWriter();
    ~KVAudioFileWriter();
    KVAudioFileWriter(const KVAudioFileWriter&) = delete;
    KVAudioFileWriter& operator=(const KVAudioFileWriter&) = delete;

    // Nothing when createFileAtPath fails.
    static std::unique_ptr<KVAudioFileWriter> initWithFile(const std::string& path, double sr, std::int32_t channels,
                                                           std::int32_t bits, std::uint32_t type);

    Status createFileAtPath(const std::string& path, double sr, std::int32_t channels, std::int32_t bits,
                            std::uint32_t type);
    // Clips each non-null channel buffer in place, writes n frames; null channels write silence.
    Status writeFrames(FrameCount n, float** buffers);
    // Stores a metadata chunk with its exact bytes; ignored when data is null or size 0. Chunks
    // stored before the first frames go before the audio in the file, later ones after it.
    void setUserData(const void* data, std::uint32_t id, std::int32_t index, std::uint32_t size);
    // Full range: samples are clipped to the format's own range [-1, 1 - 2^-(bits-1)] instead
    // of [-1.0, 0.999], so that every integer k of the format, handed in as k / 2^(bits-1),
    // is stored as k. Off for a new writer.
    void setFullRange(bool on) { mFullRange = on; }
    // The integer a writer stores for sample at bits per sample: clipped by the rule above,
    // rounded to the nearest step (NaN counts as -1.0). Any thread.
    static std::int64_t integerSample(float sample, std::int32_t bits, bool fullRange = false);
    // Whether that rule clips sample (it lies outside the range, or is NaN).
    static bool clips(float sample, std::int32_t bits, bool fullRange = false);
    // Samples clipped (or NaN written as -1.0) since the file was created.
    FrameCount clippedSamples() const { return mClippedSamples; }
    // Finishes and closes the file; safe to call twice.
    Status closeFile();

    // Whether failures print their diagnostic line on standard error (on by default; a front
    // end that reports failures itself turns it off). Any thread.
    static void setDiagnostics(bool on);

    static float** allocateBuffersForChannels(std::int32_t channels, std::int32_t length);
    static void freeBuffers(float** buffers, std::int32_t channels);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
    std::uint32_t mAudioChannels = 0;
    FrameCount mClippedSamples = 0;
    bool mFullRange = false;
};

}  // namespace orvex
