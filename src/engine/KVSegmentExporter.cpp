#include "engine/KVSegmentExporter.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "audiofile/KVAudioFileWriter.h"
#include "platform/Platform.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVGrainCollection.h"
#include "utilities/KVUtilities.h"

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
    void skipLeadIn(std::vector<float>& scratch) {
        for (auto& stream : mStreams) {
            stream->seekGrainRecord(0);
            float* buffer = scratch.data();
            stream->readAudio(KVSegmentExporter::kLeadIn, &buffer);
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

namespace {

std::string partialPathFor(const std::string& targetPath) {
    const std::filesystem::path target(targetPath);
    return (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
}

}  // namespace

KVSegmentExporter::KVSegmentExporter(KVAnalysisFileSet& selection, FrameCount frames, std::recursive_mutex& lock)
    : mSelection(selection), mFrames(std::max<FrameCount>(frames, 0)), mLock(lock) {}

KVSegmentExporter::Outcome KVSegmentExporter::exportSelectionToPath(const std::string& targetPath,
                                                                    const KVMetadataChunks& chunks,
                                                                    const std::atomic<bool>& cancel,
                                                                    const std::function<void(int)>& progress) {
    KVSelectionStreams streams;
    if (!streams.open(mSelection)) return Outcome::SelectionMissing;
    const std::string partial = partialPathFor(targetPath);
    auto writer = KVAudioFileWriter::initWithFile(partial, kWorkingSampleRate, streams.channels(), 24,
                                                  KVAudioFileWriter::kTypeWAVE);
    if (!writer) return Outcome::CannotCreate;
    KVUtilities::writeMetadataChunks(chunks, *writer);
    const bool copied = copyFrames(*writer, streams, cancel, progress);
    const bool closed = writer->closeFile() == 0;
    std::error_code error;
    if (copied && closed) std::filesystem::rename(partial, targetPath, error);
    if (!copied || !closed || error) {
        std::filesystem::remove(partial, error);
        return Outcome::WriteFailed;
    }
    return cancel.load() ? Outcome::Cancelled : Outcome::Written;
}

bool KVSegmentExporter::copyFrames(KVAudioFileWriter& writer, KVSelectionStreams& streams,
                                   const std::atomic<bool>& cancel, const std::function<void(int)>& progress) {
    std::vector<float> first(kBlockFrames), second(kBlockFrames);
    float* channels[2] = {first.data(), second.data()};
    {
        std::lock_guard<std::recursive_mutex> guard(mLock);
        streams.skipLeadIn(first);
    }
    int lastPercent = -1;
    for (FrameCount written = 0; written < mFrames && !cancel.load();) {
        const FrameCount n = std::min(kBlockFrames, mFrames - written);
        std::lock_guard<std::recursive_mutex> guard(mLock);
        streams.read(n, channels);
        if (writer.writeFrames(n, channels) != 0) return false;
        written += n;
        const int percent = static_cast<int>(written * 100 / mFrames);
        if (progress && percent != lastPercent) progress(percent);
        lastPercent = percent;
    }
    return true;
}

void KVSegmentExporter::cantCreateFileError() {
    Platform::shared().runAlert("Error creating file",
                                "The output file could not be created. Check your file name (make sure it does not "
                                "contain illegal characters such as '/' and '.') and make sure you have permission to "
                                "write to the folder.",
                                {"Okay"});
}

}  // namespace orvex
