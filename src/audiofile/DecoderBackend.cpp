#include "audiofile/DecoderBackend.h"

#include <algorithm>

#include "audiofile/FfmpegDecoder.h"
#include "audiofile/SndfileDecoder.h"

namespace orvex {

namespace {

// A header claiming no channels or no rate would make every later length computation divide
// by zero: such a file counts as unreadable.
template <typename Decoder>
std::unique_ptr<DecoderBackend> sane(std::unique_ptr<Decoder> decoder, Status& status) {
    if (decoder && (decoder->format().channels <= 0 || !(decoder->format().sampleRate > 0))) {
        status = -1;
        return nullptr;
    }
    return decoder;
}

}  // namespace

std::unique_ptr<DecoderBackend> DecoderBackend::openFile(const std::string& path, Status& status) {
    if (auto decoder = sane(SndfileDecoder::open(path, status), status)) return decoder;
    const Status sndfileStatus = status;
    if (auto decoder = sane(FfmpegDecoder::open(path, status), status)) return decoder;
    // libsndfile's code says more about a file neither library reads ("not recognised").
    status = sndfileStatus != 0 ? sndfileStatus : (status != 0 ? status : -1);
    return nullptr;
}

Status DecoderBackend::skipForward(FrameCount frames) {
    constexpr FrameCount kBlock = 8192;
    std::vector<float> scratch(static_cast<std::size_t>(kBlock) * std::max(1, format().channels));
    while (frames > 0) {
        Status status = 0;
        const std::int64_t got = read(scratch.data(), std::min(frames, kBlock), status);
        if (got < 0) return status;
        if (got == 0) break;
        frames -= got;
    }
    return 0;
}

}  // namespace orvex
