#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Result.h"
#include "common/Types.h"

namespace orvex {

// Writes exactly `frames` frames from a sequential block source as a 24-bit 44.1 kHz WAVE file,
// the metadata chunks before the audio. The file is written under a temporary name beside the
// target and renamed onto it when complete, so a failed export leaves nothing under the target
// name (and an older file there untouched); a cancelled one keeps the blocks written so far.
// The target must be a new path or an existing regular file (KVOutputTarget); anything else is
// refused as CannotCreate. Temporary files that dead processes left in the folder are removed.
// Threads: runs on the calling (export) thread; each block read and write happens under lock.
class KVExportWriter {
public:
    enum class Outcome { Written, Cancelled, CannotCreate, SourceMissing, WriteFailed, SourceDamaged };
    static constexpr FrameCount kBlockFrames = 8192;

    // Reads the next n frames of every channel into channels[0 … channels - 1].
    using BlockReader = std::function<void(FrameCount n, float* const* channels)>;

    KVExportWriter(std::int32_t channels, FrameCount frames, std::recursive_mutex& lock);

    // Progress in whole percent, reported when it changes.
    Outcome write(const std::string& targetPath, const KVMetadataChunks& chunks, const BlockReader& read,
                  const std::atomic<bool>& cancel, const std::function<void(int)>& progress);
    // The same, but the complete file stays under its temporary name (Written or Cancelled) until
    // commitPartial or discardPartial; on a failure nothing is left. For exports of several files
    // that appear together or not at all.
    Outcome writePartial(const std::string& targetPath, const KVMetadataChunks& chunks, const BlockReader& read,
                         const std::atomic<bool>& cancel, const std::function<void(int)>& progress);
    // Syncs the temporary file of targetPath, renames it onto it and syncs the folder; false (and
    // the temporary file removed) when a step fails.
    static bool commitPartial(const std::string& targetPath);
    static void discardPartial(const std::string& targetPath);

    // Full range: samples are clipped to the whole 24-bit range, not to [-1.0, 0.999], so that
    // values k / 2^23 are stored as the integers k (KVAudioFileWriter::setFullRange).
    void setFullRange(bool on) { mFullRange = on; }
    // Asked once every frame has been read: a failure (a stored record that did not match its
    // checksum) discards the file and makes the outcome SourceDamaged.
    void setSourceCheck(std::function<Result()> check) { mSourceCheck = std::move(check); }

    // Samples the last write clipped to the file's range (0 before any write).
    FrameCount clippedSamples() const { return mClippedSamples; }

    // What an outcome means to the user: success for a written or cancelled export, else the
    // "Error creating file" failure saying why path cannot be created, or "Error writing data".
    static Result resultOf(Outcome outcome, const std::string& path, const Result& sourceDamage = Result::success());
    // What the source check answered when the outcome was SourceDamaged, else success.
    const Result& sourceDamage() const { return mSourceDamage; }

    // The temporary name used while writing targetPath.
    static std::string partialPathFor(const std::string& targetPath);

private:
    // Streams the source into the writer; false on a write failure.
    bool copyFrames(class KVAudioFileWriter& writer, const BlockReader& read, const std::atomic<bool>& cancel,
                    const std::function<void(int)>& progress);

    std::int32_t mChannels;
    FrameCount mFrames;
    FrameCount mClippedSamples = 0;
    bool mFullRange = false;
    std::recursive_mutex& mLock;
    std::function<Result()> mSourceCheck;
    Result mSourceDamage = Result::success();
};

}  // namespace orvex
