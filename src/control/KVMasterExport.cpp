#include "control/KVMasterExport.h"

#include <algorithm>

#include "control/KVMixdownStream.h"

namespace orvex {

KVMasterExport::KVMasterExport(std::string workingFilePath, std::int32_t channels, FrameCount frames,
                               std::recursive_mutex& lock)
    : mWorkingFilePath(std::move(workingFilePath)),
      mChannels(std::clamp<std::int32_t>(channels, 1, 2)),
      mFrames(std::max<FrameCount>(frames, 0)),
      mLock(lock) {}

KVMasterExport::Outcome KVMasterExport::run(const std::string& targetPath, const KVMetadataChunks& chunks,
                                            const std::atomic<bool>& cancel,
                                            const std::function<void(int)>& progress) {
    auto stream = KVMixdownStream::open(mWorkingFilePath);
    if (!stream) return Outcome::SourceMissing;
    {
        std::lock_guard<std::recursive_mutex> guard(mLock);
        stream->seekToFrame(0);
    }
    // channels[1] is null for a mono master: its right stream is read past and dropped.
    const auto read = [&stream](FrameCount n, float* const* channels) { stream->read(n, channels[0], channels[1]); };
    KVExportWriter writer(mChannels, mFrames, mLock);
    writer.setSourceCheck([&stream] { return stream->damage(); });
    const Outcome outcome = writer.write(targetPath, chunks, read, cancel, progress);
    mClippedSamples = writer.clippedSamples();
    mSourceDamage = writer.sourceDamage();
    return outcome;
}

}  // namespace orvex
