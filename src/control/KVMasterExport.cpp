#include "control/KVMasterExport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "audiofile/KVAudioFileWriter.h"
#include "control/KVMixdownStream.h"
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

KVMasterExport::KVMasterExport(std::string workingFilePath, std::int32_t channels, FrameCount frames,
                               std::recursive_mutex& lock)
    : mWorkingFilePath(std::move(workingFilePath)),
      mChannels(std::clamp<std::int32_t>(channels, 1, 2)),
      mFrames(std::max<FrameCount>(frames, 0)),
      mLock(lock) {}

std::string KVMasterExport::partialPathFor(const std::string& targetPath) {
    const std::filesystem::path target(targetPath);
    return (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
}

KVMasterExport::Outcome KVMasterExport::run(const std::string& targetPath, const KVMetadataChunks& chunks,
                                            const std::atomic<bool>& cancel,
                                            const std::function<void(int)>& progress) {
    const std::string partial = partialPathFor(targetPath);
    auto writer = KVAudioFileWriter::initWithFile(partial, kWorkingSampleRate, mChannels, 24,
                                                  KVAudioFileWriter::kTypeWAVE);
    if (!writer) return Outcome::CannotCreate;
    std::error_code error;
    auto stream = KVMixdownStream::open(mWorkingFilePath);
    KVUtilities::writeMetadataChunks(chunks, *writer);
    const bool copied = stream && copyFrames(*writer, *stream, cancel, progress);
    const bool closed = writer->closeFile() == 0;
    if (!stream || !copied || !closed) {
        std::filesystem::remove(partial, error);
        return stream ? Outcome::WriteFailed : Outcome::MixdownMissing;
    }
    std::filesystem::rename(partial, targetPath, error);
    if (error) {
        std::filesystem::remove(partial, error);
        return Outcome::WriteFailed;
    }
    return cancel.load() ? Outcome::Cancelled : Outcome::Written;
}

bool KVMasterExport::copyFrames(KVAudioFileWriter& writer, KVMixdownStream& stream, const std::atomic<bool>& cancel,
                                const std::function<void(int)>& progress) {
    std::vector<float> left(kBlockFrames), right(kBlockFrames);
    float* channels[2] = {left.data(), right.data()};
    stream.seekToFrame(0);
    int lastPercent = -1;
    for (FrameCount written = 0; written < mFrames && !cancel.load();) {
        const FrameCount n = std::min(kBlockFrames, mFrames - written);
        std::lock_guard<std::recursive_mutex> guard(mLock);
        stream.read(n, left.data(), right.data());
        if (writer.writeFrames(n, channels) != 0) return false;
        written += n;
        const int percent = static_cast<int>(written * 100 / mFrames);
        if (progress && percent != lastPercent) progress(percent);
        lastPercent = percent;
    }
    return true;
}

}  // namespace orvex
