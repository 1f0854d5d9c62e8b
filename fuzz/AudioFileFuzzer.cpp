// Sound-file reader: any bytes given as a sound file are opened, read in order and at
// positions, converted to the asked rate and channel count, and their metadata chunks copied,
// without a crash, a leak or an out-of-range access.

#include <cmath>
#include <cstdlib>
#include <vector>

#include "FuzzScratch.h"
#include "audiofile/KVAudioFileReader.h"
#include "utilities/KVUtilities.h"

namespace {

using orvex::KVAudioFileReader;

constexpr orvex::FrameCount kBlock = 2048;

// Reads a block in order, one at a position in the middle and one back at the start; the
// delivered count never exceeds what was asked.
void readBlocks(KVAudioFileReader& reader) {
    const std::int32_t channels = reader.channels();
    std::vector<std::vector<float>> storage(channels, std::vector<float>(kBlock));
    std::vector<float*> buffers;
    for (auto& channel : storage) buffers.push_back(channel.data());
    const orvex::FramePos starts[] = {-1, reader.length() / 2, 0};
    for (const orvex::FramePos start : starts) {
        const std::int32_t got = start < 0 ? reader.readFrames(kBlock, buffers.data())
                                           : reader.readAt(start, kBlock, buffers.data());
        if (got > kBlock) std::abort();
    }
}

void copyChunks(KVAudioFileReader& reader) {
    orvex::KVMetadataChunks chunks = orvex::KVUtilities::metadataChunksOfFile(reader);
    orvex::KVUtilities::releaseMetadataChunks(chunks);
    std::uint32_t size = 0;
    std::free(reader.userDataWithId(orvex::fourCC("LIST"), 1, &size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = orvex::fuzz::FuzzScratch::shared().write("input.wav", data, size);
    double rate = 0;
    std::int32_t channels = 0;
    std::int64_t length = 0;
    KVAudioFileReader::infoForFileAtPath(path, &rate, &channels, nullptr, nullptr, &length);
    // The input's length picks the asked format, so both the plain and the converting paths run.
    auto reader = KVAudioFileReader::initWithFileAtPath(path, size % 2 ? 48000.0 : 44100.0, size % 3 ? 2 : 1);
    if (!reader) return 0;
    readBlocks(*reader);
    copyChunks(*reader);
    return 0;
}
