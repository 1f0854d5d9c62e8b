#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "audiofile/DecoderBackend.h"

namespace orvex {

// Decoder for everything libsndfile opens (WAVE and its variants, AIFF, FLAC, Ogg, MP3...).
// Ogg Vorbis seeks inexactly in libsndfile, so Vorbis files are re-opened and skipped forward
// instead of seeking.
class SndfileDecoder : public DecoderBackend {
public:
    // Null with status set to libsndfile's error code when the file is not one it reads.
    static std::unique_ptr<SndfileDecoder> open(const std::string& path, Status& status);
    ~SndfileDecoder() override;

    const DecodedFormat& format() const override { return mFormat; }
    std::int64_t read(float* out, FrameCount n, Status& status) override;
    Status seek(FramePos position) override;
    std::vector<std::uint8_t> chunk(std::uint32_t id, std::int32_t index) override;

private:
    SndfileDecoder(std::string path, SNDFILE* file, const SF_INFO& info);
    Status reopen();
    bool seeksExactly() const;

    std::string mPath;
    SNDFILE* mFile = nullptr;
    SF_INFO mInfo{};
    DecodedFormat mFormat;
    FramePos mPosition = 0;
};

}  // namespace orvex
