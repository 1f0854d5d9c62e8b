#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audiofile/DecoderBackend.h"

namespace orvex {

// Decoder for the formats libsndfile does not read (AAC/M4A, ALAC, ...), through libavformat,
// libavcodec and libswresample. Decodes the first audio stream to interleaved float at the
// stream's own rate. Seeking is exact: backwards re-opens the file, forwards decodes and skips.
class FfmpegDecoder : public DecoderBackend {
public:
    // Null with status set to FFmpeg's (negative) error code when the file cannot be decoded.
    static std::unique_ptr<FfmpegDecoder> open(const std::string& path, Status& status);
    ~FfmpegDecoder() override;

    const DecodedFormat& format() const override { return mFormat; }
    std::int64_t read(float* out, FrameCount n, Status& status) override;
    Status seek(FramePos position) override;
    std::vector<std::uint8_t> chunk(std::uint32_t, std::int32_t) override { return {}; }

private:
    struct Session;

    FfmpegDecoder(std::string path, std::unique_ptr<Session> session);

    std::string mPath;
    std::unique_ptr<Session> mSession;
    DecodedFormat mFormat;
    FramePos mPosition = 0;
};

}  // namespace orvex
