#pragma once

#include <soxr.h>

#include <memory>
#include <vector>

#include "audiofile/DecoderBackend.h"

namespace orvex {

// Wraps a decoder and delivers its frames at another rate (libsoxr, very high quality) and
// channel count. Channel mapping: fewer source channels are repeated cyclically (mono becomes
// the same signal in every channel); a mono request of a multi-channel file gets the mean of all
// channels; other reductions keep the first channels. Positions, lengths and seeks are in
// delivered frames. A seek restarts the converter at an input position with pre-roll, aligned
// so that input and output sample clocks coincide, and discards the pre-roll's output: reading
// after a seek gives the same samples as reading straight through. Not thread-safe.
class ConvertingDecoder : public DecoderBackend {
public:
    // Null with status -1 when the converter cannot be made.
    static std::unique_ptr<ConvertingDecoder> create(std::unique_ptr<DecoderBackend> source, double rate,
                                                     std::int32_t channels, Status& status);
    ~ConvertingDecoder() override;

    const DecodedFormat& format() const override { return mFormat; }
    std::int64_t read(float* out, FrameCount n, Status& status) override;
    Status seek(FramePos position) override;
    std::vector<std::uint8_t> chunk(std::uint32_t id, std::int32_t index) override;

    double rateRatio() const { return mRatio; }

private:
    ConvertingDecoder(std::unique_ptr<DecoderBackend> source, double rate, std::int32_t channels);
    std::int64_t readMapped(float* out, FrameCount n, Status& status);
    std::int64_t readResampled(float* out, FrameCount n, Status& status);
    Status restartConverterBefore(FramePos position);
    bool refillInput(Status& status);

    std::unique_ptr<DecoderBackend> mSource;
    DecodedFormat mFormat;
    double mRatio = 1.0;
    soxr_t mResampler = nullptr;
    // Input and output positions that fall on the same instant: restarts happen at multiples.
    FrameCount mInputStep = 0;
    FrameCount mOutputStep = 0;
    FramePos mPosition = 0;  // delivered frames so far

    std::vector<float> mSourceScratch;  // source frames before channel mapping
    std::vector<float> mInput;          // mapped frames waiting for the converter
    FrameCount mInputFill = 0;
    FrameCount mInputOffset = 0;
    bool mSourceEnded = false;
    bool mFlushed = false;
};

}  // namespace orvex
