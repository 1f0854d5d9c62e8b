#include "engine/KVStemsExporter.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "audiofile/KVAudioFileWriter.h"
#include "engine/KVSelectionStreams.h"
#include "history/KVEditHistory.h"

namespace orvex {

namespace {

constexpr std::int32_t kBits = 24;
constexpr std::int64_t kLowest = -(std::int64_t{1} << (kBits - 1));
constexpr std::int64_t kHighest = (std::int64_t{1} << (kBits - 1)) - 1;

// One block of scratch audio per channel, for the reads that the rest is computed from.
class ScratchBlock {
public:
    explicit ScratchBlock(std::int32_t channels)
        : mSamples(static_cast<std::size_t>(channels) * KVExportWriter::kBlockFrames) {
        for (std::int32_t c = 0; c < channels; ++c) mChannels[c] = mSamples.data() + c * KVExportWriter::kBlockFrames;
    }
    float* const* channels() { return mChannels; }

private:
    std::vector<float> mSamples;
    float* mChannels[2] = {nullptr, nullptr};
};

// Progress of one of the two files as part of the whole: first (0 … 50) or second (50 … 100).
std::function<void(int)> halfOf(const std::function<void(int)>& progress, int base) {
    return [progress, base](int percent) {
        if (progress) progress(base + percent / 2);
    };
}

}  // namespace

// A file named ".wav" alone keeps its name whole.
KVStemsExporter::Paths KVStemsExporter::pathsFor(const std::string& output) {
    const std::string extension = ".wav";
    const std::string name = std::filesystem::path(output).filename().string();
    const bool named = name.size() > extension.size() &&
                       ::strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
    const std::string stem = named ? output.substr(0, output.size() - extension.size()) : output;
    return {stem + "-selection.wav", stem + "-rest.wav"};
}

KVStemsExporter::KVStemsExporter(KVAnalysisFileSet& selection, const KVEditHistory& source, FramePos segmentStart,
                                 FrameCount segmentFrames, std::recursive_mutex& lock)
    : mSelection(selection), mSource(source), mSegmentStart(std::max<FramePos>(segmentStart, 0)),
      mSegmentFrames(std::max<FrameCount>(segmentFrames, 0)), mLock(lock) {}

KVStemsExporter::Outcome KVStemsExporter::exportStems(const Paths& paths, const KVMetadataChunks& chunks,
                                                      const std::atomic<bool>& cancel,
                                                      const std::function<void(int)>& progress) {
    mClippedSamples = mUnstorableSamples = 0;
    mFailedPath = paths.selection;
    Outcome outcome = writeSelectionStem(paths.selection, chunks, cancel, halfOf(progress, 0));
    if (outcome == Outcome::Written) {
        mFailedPath = paths.rest;
        outcome = writeRestStem(paths.rest, chunks, cancel, halfOf(progress, 50));
    }
    if (outcome == Outcome::Written) return commitBoth(paths);
    KVExportWriter::discardPartial(paths.selection);
    KVExportWriter::discardPartial(paths.rest);
    if (outcome == Outcome::Cancelled) mFailedPath.clear();
    return outcome;
}

// A selection renamed onto its name is removed again when the rest cannot follow it.
KVStemsExporter::Outcome KVStemsExporter::commitBoth(const Paths& paths) {
    mFailedPath = paths.selection;
    if (!KVExportWriter::commitPartial(paths.selection)) {
        KVExportWriter::discardPartial(paths.rest);
        return Outcome::WriteFailed;
    }
    mFailedPath = paths.rest;
    if (!KVExportWriter::commitPartial(paths.rest)) {
        std::error_code error;
        std::filesystem::remove(paths.selection, error);
        return Outcome::WriteFailed;
    }
    mFailedPath.clear();
    return Outcome::Written;
}

// The selection's channels must be the source's (a mono file has mono stems).
bool KVStemsExporter::openStreams(KVSelectionStreams& streams) const {
    if (!streams.open(mSelection) || streams.channels() != mSource.numberOfChannels()) return false;
    std::lock_guard<std::recursive_mutex> guard(mLock);
    streams.skipLeadIn();
    return true;
}

KVStemsExporter::Outcome KVStemsExporter::writeSelectionStem(const std::string& path, const KVMetadataChunks& chunks,
                                                             const std::atomic<bool>& cancel,
                                                             const std::function<void(int)>& progress) {
    KVSelectionStreams streams;
    if (!openStreams(streams)) return Outcome::SourceMissing;
    mChannels = streams.channels();
    FramePos position = 0;
    const auto read = [&](FrameCount n, float* const* channels) {
        readPlaced(streams, position, n, channels);
        position += n;
    };
    KVExportWriter writer(mChannels, mSource.numberOfFrames(), mLock);
    writer.setSourceCheck([&streams] { return streams.damage(); });
    const Outcome outcome = writer.writePartial(path, chunks, read, cancel, progress);
    mClippedSamples = writer.clippedSamples();
    mSourceDamage = writer.sourceDamage();
    return outcome;
}

// The writer takes the rest's exact integers over the whole 24-bit range (full range).
KVStemsExporter::Outcome KVStemsExporter::writeRestStem(const std::string& path, const KVMetadataChunks& chunks,
                                                        const std::atomic<bool>& cancel,
                                                        const std::function<void(int)>& progress) {
    KVSelectionStreams streams;
    if (!openStreams(streams)) return Outcome::SourceMissing;
    ScratchBlock selection(mChannels), source(mChannels);
    FramePos position = 0;
    const auto read = [&](FrameCount n, float* const* channels) {
        readPlaced(streams, position, n, selection.channels());
        mSource.readAt(position, n, source.channels());
        for (std::int32_t c = 0; c < mChannels; ++c)
            for (FrameCount i = 0; i < n; ++i)
                channels[c][i] = restSample(source.channels()[c][i], selection.channels()[c][i]);
        position += n;
    };
    KVExportWriter writer(mChannels, mSource.numberOfFrames(), mLock);
    writer.setFullRange(true);
    writer.setSourceCheck([&streams] { return streams.damage(); });
    const Outcome outcome = writer.writePartial(path, chunks, read, cancel, progress);
    if (!writer.sourceDamage()) mSourceDamage = writer.sourceDamage();
    return outcome;
}

void KVStemsExporter::readPlaced(KVSelectionStreams& streams, FramePos position, FrameCount n,
                                 float* const* into) const {
    for (std::int32_t c = 0; c < mChannels; ++c) std::fill_n(into[c], n, 0.0f);
    const FramePos from = std::max(position, mSegmentStart);
    const FramePos to = std::min(position + n, mSegmentStart + mSegmentFrames);
    if (to <= from) return;
    float* at[2] = {nullptr, nullptr};
    for (std::int32_t c = 0; c < mChannels; ++c) at[c] = into[c] + (from - position);
    streams.read(to - from, at);
}

float KVStemsExporter::restSample(float source, float selection) {
    const std::int64_t whole = KVAudioFileWriter::integerSample(source, kBits, true);
    const std::int64_t rest = whole - KVAudioFileWriter::integerSample(selection, kBits);
    const std::int64_t stored = std::clamp(rest, kLowest, kHighest);
    if (stored != rest) ++mUnstorableSamples;
    return static_cast<float>(std::ldexp(static_cast<double>(stored), -(kBits - 1)));
}

}  // namespace orvex
