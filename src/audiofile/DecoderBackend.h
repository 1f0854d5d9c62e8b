#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Types.h"

namespace orvex {

// What a decoder reports about its file: rate, channels, bits per channel (0 for compressed
// formats), a four-character format code and the length in frames of the file's own rate.
struct DecodedFormat {
    double sampleRate = 0.0;
    std::int32_t channels = 0;
    std::int32_t bitsPerChannel = 0;
    std::uint32_t formatID = 0;
    FrameCount length = 0;
};

// Format codes reported by the decoders.
constexpr std::uint32_t kFormatLinearPCM = fourCC("lpcm");
constexpr std::uint32_t kFormatFLAC = fourCC("flac");
constexpr std::uint32_t kFormatMP3 = fourCC(".mp3");
constexpr std::uint32_t kFormatAAC = fourCC("aac ");
constexpr std::uint32_t kFormatALAC = fourCC("alac");
constexpr std::uint32_t kFormatVorbis = fourCC("vorb");
constexpr std::uint32_t kFormatOpus = fourCC("opus");
constexpr std::uint32_t kFormatULaw = fourCC("ulaw");
constexpr std::uint32_t kFormatALaw = fourCC("alaw");
constexpr std::uint32_t kFormatADPCM = fourCC("adpc");
constexpr std::uint32_t kFormatOther = fourCC("othr");

// One open sound file delivering interleaved float frames. Not thread-safe: the reader
// serialises every call under its own lock.
class DecoderBackend {
public:
    virtual ~DecoderBackend() = default;

    virtual const DecodedFormat& format() const = 0;
    // Reads up to n interleaved frames (format().channels wide) into out; returns the frames
    // read (0 at the end), or -1 with status set to the decoder's non-zero failure code.
    virtual std::int64_t read(float* out, FrameCount n, Status& status) = 0;
    // Moves to frame position (in this decoder's frames). 0 on success, a status otherwise.
    // A position at or beyond the end succeeds and leaves the decoder at its end.
    virtual Status seek(FramePos position) = 0;
    // The raw bytes of the index-th chunk with the given identifier; empty when absent.
    virtual std::vector<std::uint8_t> chunk(std::uint32_t id, std::int32_t index) = 0;

    // Opens path with the first decoder that recognises it (libsndfile, then FFmpeg).
    // On failure returns null and sets status to the last decoder's failure (never 0).
    static std::unique_ptr<DecoderBackend> openFile(const std::string& path, Status& status);

protected:
    // Reads and discards up to frames frames (stops early at the end); 0 or a read failure.
    Status skipForward(FrameCount frames);
};

}  // namespace orvex
