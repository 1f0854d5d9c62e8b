#include "control/KVOwnedMetadataChunks.h"

#include "utilities/KVUtilities.h"

namespace orvex {

namespace {

std::vector<std::uint8_t> copyOf(const void* data, std::uint32_t size) {
    if (!data || size == 0) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

void* dataOf(const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() ? nullptr : const_cast<std::uint8_t*>(bytes.data());
}

}  // namespace

KVOwnedMetadataChunks::KVOwnedMetadataChunks(const KVMetadataChunks& chunks)
    : mBext(copyOf(chunks.bextData, chunks.bextSize)),
      mMext(copyOf(chunks.mextData, chunks.mextSize)),
      mIxml(copyOf(chunks.ixmlData, chunks.ixmlSize)) {}

KVOwnedMetadataChunks KVOwnedMetadataChunks::ofReader(KVAudioFileReader& reader) {
    KVMetadataChunks chunks = KVUtilities::metadataChunksOfFile(reader);
    KVOwnedMetadataChunks owned(chunks);
    KVUtilities::releaseMetadataChunks(chunks);
    return owned;
}

KVMetadataChunks KVOwnedMetadataChunks::view() const {
    KVMetadataChunks chunks;
    chunks.bextData = dataOf(mBext);
    chunks.bextSize = static_cast<std::uint32_t>(mBext.size());
    chunks.mextData = dataOf(mMext);
    chunks.mextSize = static_cast<std::uint32_t>(mMext.size());
    chunks.ixmlData = dataOf(mIxml);
    chunks.ixmlSize = static_cast<std::uint32_t>(mIxml.size());
    return chunks;
}

}  // namespace orvex
