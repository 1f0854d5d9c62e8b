#include "engine/KVExportWriter.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "audiofile/KVAudioFileWriter.h"
#include "platform/DurableFile.h"
#include "platform/Platform.h"
#include "utilities/KVOutputTarget.h"
#include "utilities/KVUtilities.h"

namespace orvex {

KVExportWriter::KVExportWriter(std::int32_t channels, FrameCount frames, std::recursive_mutex& lock)
    : mChannels(std::clamp<std::int32_t>(channels, 1, 2)), mFrames(std::max<FrameCount>(frames, 0)), mLock(lock) {}

std::string KVExportWriter::partialPathFor(const std::string& targetPath) {
    return KVOutputTarget::partialPathFor(targetPath);
}

KVExportWriter::Outcome KVExportWriter::write(const std::string& targetPath, const KVMetadataChunks& chunks,
                                              const BlockReader& read, const std::atomic<bool>& cancel,
                                              const std::function<void(int)>& progress) {
    const Outcome outcome = writePartial(targetPath, chunks, read, cancel, progress);
    if (outcome != Outcome::Written && outcome != Outcome::Cancelled) return outcome;
    return commitPartial(targetPath) ? outcome : Outcome::WriteFailed;
}

KVExportWriter::Outcome KVExportWriter::writePartial(const std::string& targetPath, const KVMetadataChunks& chunks,
                                                     const BlockReader& read, const std::atomic<bool>& cancel,
                                                     const std::function<void(int)>& progress) {
    mClippedSamples = 0;
    if (!KVOutputTarget::refusalFor(targetPath, {}).empty()) return Outcome::CannotCreate;
    KVOutputTarget::removeStalePartials(std::filesystem::path(targetPath).parent_path().string());
    const std::string partial = partialPathFor(targetPath);
    auto writer = KVAudioFileWriter::initWithFile(partial, kWorkingSampleRate, mChannels, 24,
                                                  KVAudioFileWriter::kTypeWAVE);
    if (!writer) return Outcome::CannotCreate;
    writer->setFullRange(mFullRange);
    KVUtilities::writeMetadataChunks(chunks, *writer);
    const bool copied = copyFrames(*writer, read, cancel, progress);
    mClippedSamples = writer->clippedSamples();
    const bool closed = writer->closeFile() == 0;
    if (!copied || !closed) {
        discardPartial(targetPath);
        return Outcome::WriteFailed;
    }
    mSourceDamage = mSourceCheck ? mSourceCheck() : Result::success();
    if (!mSourceDamage) {
        discardPartial(targetPath);
        return Outcome::SourceDamaged;
    }
    return cancel.load() ? Outcome::Cancelled : Outcome::Written;
}

// The file is synced before it takes the target's name and the folder after, so that a power
// cut leaves the old file or the whole new one.
bool KVExportWriter::commitPartial(const std::string& targetPath) {
    const int error = DurableFile::replace(partialPathFor(targetPath), targetPath);
    if (error) discardPartial(targetPath);
    return error == 0;
}

void KVExportWriter::discardPartial(const std::string& targetPath) {
    std::error_code error;
    std::filesystem::remove(partialPathFor(targetPath), error);
}

bool KVExportWriter::copyFrames(KVAudioFileWriter& writer, const BlockReader& read, const std::atomic<bool>& cancel,
                                const std::function<void(int)>& progress) {
    std::vector<std::vector<float>> blocks(static_cast<std::size_t>(mChannels), std::vector<float>(kBlockFrames));
    float* channels[2] = {blocks[0].data(), mChannels > 1 ? blocks[1].data() : nullptr};
    int lastPercent = -1;
    for (FrameCount written = 0; written < mFrames && !cancel.load();) {
        const FrameCount n = std::min(kBlockFrames, mFrames - written);
        std::lock_guard<std::recursive_mutex> guard(mLock);
        read(n, channels);
        if (writer.writeFrames(n, channels) != 0) return false;
        written += n;
        const int percent = static_cast<int>(written * 100 / mFrames);
        if (progress && percent != lastPercent) progress(percent);
        lastPercent = percent;
    }
    return true;
}

Result KVExportWriter::resultOf(Outcome outcome, const std::string& path, const Result& sourceDamage) {
    switch (outcome) {
        case Outcome::Written:
        case Outcome::Cancelled:
            return Result::success();
        case Outcome::CannotCreate:
            return Result::failure("Error creating file", KVOutputTarget::creationProblem(path));
        case Outcome::SourceDamaged:
            return Result::failure("Damaged data file",
                                   "Nothing was written to " + path + ". " +
                                       (sourceDamage ? "The stored data it is made from is damaged" : sourceDamage.message()));
        case Outcome::SourceMissing:
        case Outcome::WriteFailed:
            break;
    }
    return Result::failure("Error writing data", "There was a problem writing data to file:\n" + path);
}

}  // namespace orvex
