#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/KVAudioFileReader.h"

namespace orvex {

// An owned copy of a file's "bext", "mext" and "iXML" chunks, kept for an export that runs
// after the caller's chunks are gone; nobody frees chunks by hand.
class KVOwnedMetadataChunks {
public:
    KVOwnedMetadataChunks() = default;
    explicit KVOwnedMetadataChunks(const KVMetadataChunks& chunks);
    // The "bext" and "iXML" chunks of the file the reader reads, copied; the reader's own
    // allocations are released here.
    static KVOwnedMetadataChunks ofReader(KVAudioFileReader& reader);
    // A view of the copies (valid while this object lives and is not changed).
    KVMetadataChunks view() const;

private:
    std::vector<std::uint8_t> mBext, mMext, mIxml;
};

}  // namespace orvex
