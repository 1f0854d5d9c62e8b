#include "engine/KVSegmentExporter.h"

#include <algorithm>

#include "engine/KVSelectionStreams.h"

namespace orvex {

KVSegmentExporter::KVSegmentExporter(KVAnalysisFileSet& selection, FrameCount frames, std::recursive_mutex& lock)
    : mSelection(selection), mFrames(std::max<FrameCount>(frames, 0)), mLock(lock) {}

KVSegmentExporter::Outcome KVSegmentExporter::exportSelectionToPath(const std::string& targetPath,
                                                                    const KVMetadataChunks& chunks,
                                                                    const std::atomic<bool>& cancel,
                                                                    const std::function<void(int)>& progress) {
    KVSelectionStreams streams;
    if (!streams.open(mSelection)) return Outcome::SourceMissing;
    {
        std::lock_guard<std::recursive_mutex> guard(mLock);
        streams.skipLeadIn();
    }
    KVExportWriter writer(streams.channels(), mFrames, mLock);
    const auto read = [&streams](FrameCount n, float* const* channels) { streams.read(n, channels); };
    writer.setSourceCheck([&streams] { return streams.damage(); });
    const Outcome outcome = writer.write(targetPath, chunks, read, cancel, progress);
    mClippedSamples = writer.clippedSamples();
    mSourceDamage = writer.sourceDamage();
    return outcome;
}

}  // namespace orvex
