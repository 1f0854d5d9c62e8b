#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"

namespace orvex {

// An owned copy of a file's "bext", "mext" and "iXML" chunks.
class KVOwnedMetadataChunks {
public:
    KVOwnedMetadataChunks() = default;
    explicit KVOwnedMetadataChunks(const KVMetadataChunks& chunks);
    // A view of the copies (valid while this object lives and is not changed).
    KVMetadataChunks view() const;

private:
    std::vector<std::uint8_t> mBext, mMext, mIxml;
};

// Writes the mixdown of a working file as a 24-bit 44.1 kHz WAVE file: exactly `frames`
// frames, sample-aligned with the working file, the working file's metadata chunks before the
// audio. The file is written under a temporary name beside the target and renamed onto it
// when complete, so a failed export leaves nothing under the target name (and an older file
// there untouched). Runs on the calling (export) thread.
class KVMasterExport {
public:
    enum class Outcome { Written, Cancelled, CannotCreate, MixdownMissing, WriteFailed };
    static constexpr FrameCount kBlockFrames = 8192;

    // lock orders the block reads and writes with the mixdown's other users.
    KVMasterExport(std::string workingFilePath, std::int32_t channels, FrameCount frames, std::recursive_mutex& lock);

    // Reports whole percentages through progress (only when they change). A cancelled export
    // keeps the blocks written so far, with the chunks, under the target name.
    Outcome run(const std::string& targetPath, const KVMetadataChunks& chunks, const std::atomic<bool>& cancel,
                const std::function<void(int)>& progress);

    // The temporary name used while writing targetPath.
    static std::string partialPathFor(const std::string& targetPath);

private:
    // Streams the mixdown into the writer; false on a write failure.
    bool copyFrames(class KVAudioFileWriter& writer, class KVMixdownStream& stream, const std::atomic<bool>& cancel,
                    const std::function<void(int)>& progress);

    std::string mWorkingFilePath;
    std::int32_t mChannels;
    FrameCount mFrames;
    std::recursive_mutex& mLock;
};

}  // namespace orvex
