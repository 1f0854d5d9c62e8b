#include <cstdlib>

#include "audiofile/KVAudioFileWriter.h"
#include "utilities/KVUtilities.h"

namespace orvex {

KVMetadataChunks KVUtilities::metadataChunksOfFile(KVAudioFileReader& reader) {
    KVMetadataChunks chunks;
    chunks.bextData = reader.userDataWithId(fourCC("bext"), 0, &chunks.bextSize);
    chunks.ixmlData = reader.userDataWithId(fourCC("iXML"), 0, &chunks.ixmlSize);
    return chunks;
}

void KVUtilities::writeMetadataChunks(const KVMetadataChunks& chunks, KVAudioFileWriter& writer) {
    if (chunks.bextData && chunks.bextSize) writer.setUserData(chunks.bextData, fourCC("bext"), 0, chunks.bextSize);
    if (chunks.mextData && chunks.mextSize) writer.setUserData(chunks.mextData, fourCC("mext"), 0, chunks.mextSize);
    if (chunks.ixmlData && chunks.ixmlSize) writer.setUserData(chunks.ixmlData, fourCC("iXML"), 0, chunks.ixmlSize);
}

namespace {

void releaseChunk(void*& data, std::uint32_t& size) {
    if (!data || !size) return;
    std::free(data);
    data = nullptr;
    size = 0;
}

}  // namespace

void KVUtilities::releaseMetadataChunks(KVMetadataChunks& chunks) {
    releaseChunk(chunks.bextData, chunks.bextSize);
    releaseChunk(chunks.mextData, chunks.mextSize);
    releaseChunk(chunks.ixmlData, chunks.ixmlSize);
}

}  // namespace orvex
