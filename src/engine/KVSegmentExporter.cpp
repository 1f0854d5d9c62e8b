#include "engine/KVSegmentExporter.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "store/KVAnalysisFileSet.h"
#include "store/KVGrainCollection.h"

namespace orvex {

// Independent read-only streams over the selection's rendered channels, positioned at the
// segment's first frame.
class KVSelectionStreams {
public:
    bool open(KVAnalysisFileSet& selection) {
        const std::int32_t channels = std::clamp(selection.numberOfChannels(), 0, 2);
        for (std::int32_t c = 0; c < channels; ++c) {
            KVGrainCollection* stored = selection.grainCollectionForChannel(c);
            if (!stored) return false;
            auto stream = KVGrainCollection::initByOpeningFileAtPath(stored->sourceFilePath(), true, false);
            if (!stream) return false;
            mStreams.push_back(std::move(stream));
        }
        return !mStreams.empty();
    }
    std::int32_t channels() const { return static_cast<std::int32_t>(mStreams.size()); }
    void skipLeadIn() {
        for (auto& stream : mStreams) {
            stream->seekGrainRecord(0);
            stream->readAudio(KVSegmentExporter::kLeadIn, nullptr);
        }
    }
    void read(FrameCount n, float* const* into) {
        for (std::size_t c = 0; c < mStreams.size(); ++c) {
            float* buffer = into[c];
            mStreams[c]->readAudio(n, &buffer);
        }
    }

private:
    std::vector<std::unique_ptr<KVGrainCollection>> mStreams;
};

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
    const Outcome outcome = writer.write(targetPath, chunks, read, cancel, progress);
    mClippedSamples = writer.clippedSamples();
    return outcome;
}


}  // namespace orvex
