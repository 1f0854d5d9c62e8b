#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"
#include "control/KVOwnedMetadataChunks.h"
#include "engine/KVExportWriter.h"

namespace orvex {

// Writes the mixdown of a working file as a 24-bit 44.1 kHz WAVE file: exactly `frames`
// frames (the working file's length), sample-aligned with the working file, the working file's
// metadata chunks before the audio. The mixdown's records run on past the file's last whole
// block (the prefill writes grains over the file's end), so a final partial block is complete.
// Written through KVExportWriter, so a failed export leaves nothing under the target name.
// Threads: runs on the calling (export) thread.
class KVMasterExport {
public:
    using Outcome = KVExportWriter::Outcome;

    // lock orders the block reads and writes with the mixdown's other users.
    KVMasterExport(std::string workingFilePath, std::int32_t channels, FrameCount frames, std::recursive_mutex& lock);

    // Reports whole percentages through progress (only when they change). A cancelled export
    // keeps the blocks written so far, with the chunks, under the target name.
    Outcome run(const std::string& targetPath, const KVMetadataChunks& chunks, const std::atomic<bool>& cancel,
                const std::function<void(int)>& progress);

    // Samples the last run clipped to the file's range.
    FrameCount clippedSamples() const { return mClippedSamples; }
    // Why the outcome was SourceDamaged (a stored record that did not match its checksum).
    const Result& sourceDamage() const { return mSourceDamage; }

private:
    std::string mWorkingFilePath;
    std::int32_t mChannels;
    FrameCount mFrames;
    FrameCount mClippedSamples = 0;
    Result mSourceDamage = Result::success();
    std::recursive_mutex& mLock;
};

}  // namespace orvex
