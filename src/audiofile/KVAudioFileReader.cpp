#include "audiofile/KVAudioFileReader.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "audiofile/ChannelBuffers.h"
#include "audiofile/ConvertingDecoder.h"

namespace orvex {

KVAudioFileReader::KVAudioFileReader() = default;

KVAudioFileReader::~KVAudioFileReader() { closeFile(); }

std::unique_ptr<KVAudioFileReader> KVAudioFileReader::initWithFileAtPath(const std::string& path, double sr,
                                                                         std::int32_t channels) {
    auto reader = std::make_unique<KVAudioFileReader>();
    if (reader->openFileAtPath(path, sr, channels) != 0) return nullptr;
    return reader;
}

Status KVAudioFileReader::openFileAtPath(const std::string& path, double sr, std::int32_t channels) {
    if (path.empty() || channels <= 0 || !(sr > 0)) return -1;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    Status status = 0;
    auto source = DecoderBackend::openFile(path, status);
    if (!source) return status;
    auto converting = ConvertingDecoder::create(std::move(source), sr, channels, status);
    if (!converting) return status;
    mRateRatio = converting->rateRatio();
    extAFRef = std::move(converting);
    mChannels = channels;
    return 0;
}

bool KVAudioFileReader::isOpen() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return extAFRef != nullptr;
}

FrameCount KVAudioFileReader::length() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return extAFRef ? extAFRef->format().length : 0;
}

std::int32_t KVAudioFileReader::readFrames(FrameCount n, float** buffers) {
    return readFramesFrom(false, 0, n, buffers);
}

std::int32_t KVAudioFileReader::readAt(FramePos start, FrameCount n, float** buffers) {
    return readFramesFrom(true, start, n, buffers);
}

std::int32_t KVAudioFileReader::readFramesFrom(bool seekFirst, FramePos start, FrameCount n, float** buffers) {
    if (!isOpen() || n < 0 || n > INT32_MAX) return -1;
    const std::int32_t channels = mChannels;
    std::vector<float> scratch;
    try {
        scratch.resize(static_cast<std::size_t>(n) * channels);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::int64_t delivered = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (!extAFRef) return -1;
        Status status = 0;
        if (seekFirst && (status = extAFRef->seek(start)) != 0) return status;
        delivered = extAFRef->read(scratch.data(), n, status);
        if (delivered < 0) return status;
    }
    if (!buffers) return static_cast<std::int32_t>(delivered);
    for (std::int32_t c = 0; c < channels; ++c) {
        float* channel = buffers[c];
        if (!channel) continue;
        for (FrameCount i = 0; i < delivered; ++i) channel[i] = scratch[i * channels + c];
        std::memset(channel + delivered, 0, static_cast<std::size_t>(n - delivered) * sizeof(float));
    }
    return static_cast<std::int32_t>(delivered);
}

void* KVAudioFileReader::userDataWithId(std::uint32_t id, std::int32_t index, std::uint32_t* size) {
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (extAFRef) bytes = extAFRef->chunk(id, index);
    }
    if (size) *size = 0;
    if (bytes.empty()) return nullptr;
    void* block = std::calloc(bytes.size(), 1);
    if (!block) return nullptr;
    std::memcpy(block, bytes.data(), bytes.size());
    if (size) *size = static_cast<std::uint32_t>(bytes.size());
    return block;
}

Status KVAudioFileReader::closeFile() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    extAFRef.reset();
    return 0;
}

Status KVAudioFileReader::infoForFileAtPath(const std::string& path, double* sr, std::int32_t* channels,
                                            std::int32_t* bitsPerChannel, std::uint32_t* formatID,
                                            std::int64_t* length) {
    if (path.empty()) return -1;
    Status status = 0;
    const auto decoder = DecoderBackend::openFile(path, status);
    if (!decoder) return status;
    const DecodedFormat& format = decoder->format();
    if (sr) *sr = format.sampleRate;
    if (channels) *channels = format.channels;
    if (bitsPerChannel) *bitsPerChannel = format.bitsPerChannel;
    if (formatID) *formatID = format.formatID;
    if (length) *length = format.length;
    return 0;
}

bool KVAudioFileReader::isReadableAudioFileAtPath(const std::string& path) {
    std::int64_t length = 0;
    return infoForFileAtPath(path, nullptr, nullptr, nullptr, nullptr, &length) == 0 && length > 0;
}

float** KVAudioFileReader::allocateBuffersForChannels(std::int32_t channels, std::int32_t length) {
    return ChannelBuffers::allocate(channels, length);
}

void KVAudioFileReader::freeBuffers(float** buffers, std::int32_t channels) { ChannelBuffers::release(buffers, channels); }

}  // namespace orvex
