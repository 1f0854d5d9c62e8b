#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"
#include "engine/KVExportWriter.h"

namespace orvex {

class KVAnalysisFileSet;
class KVEditHistory;
class KVSelectionStreams;

// Writes the edit of an analysed segment as two stems over the whole working file, 24-bit
// 44.1 kHz WAVE files with the given metadata chunks, each exactly as long as the file:
// - the selection stem: silence outside the segment; inside it the rendered selection as the
//   segment export reads it (KVSelectionStreams), from the segment's first frame on;
// - the rest stem: the source minus the selection on the 24-bit grid, rest = source - q(selection),
//   q(x) being the integer the writer stores for x and the source taken at its own 24-bit value,
//   so that the integers of the two files add up to the source's, sample for sample.
// Selection samples the writer clips are counted (clippedSamples); the rest then holds the
// difference, so the sum is still the source. A rest outside the 24-bit range is stored clipped
// and counted (unstorableSamples): only there the stems do not add up to the source.
// Both files are written under temporary names (KVExportWriter) and renamed onto their names
// once both are complete, so a failure or a cancel leaves neither.
// Threads: runs on the calling (export) thread; each block read and write happens under lock
// (the selection store's), the source reads taking the history's own monitor inside it.
class KVStemsExporter {
public:
    using Outcome = KVExportWriter::Outcome;
    struct Paths {
        std::string selection, rest;
    };

    // OUT.wav gives OUT-selection.wav and OUT-rest.wav; a name not ending in ".wav" (in any
    // case) gets the suffixes after the whole name.
    static Paths pathsFor(const std::string& output);

    // source: the working file's audio (the document's edit history); segmentFrames: the
    // segment's length within the file.
    KVStemsExporter(KVAnalysisFileSet& selection, const KVEditHistory& source, FramePos segmentStart,
                    FrameCount segmentFrames, std::recursive_mutex& lock);

    // Progress in whole percent, reported when it changes: the selection stem up to 50, the rest
    // stem after it.
    Outcome exportStems(const Paths& paths, const KVMetadataChunks& chunks, const std::atomic<bool>& cancel,
                        const std::function<void(int)>& progress);

    // Of the last export: selection samples clipped to the file's range, rest samples outside
    // the 24-bit range, and the file it could not create or write (empty when none).
    FrameCount clippedSamples() const { return mClippedSamples; }
    // Why the outcome was SourceDamaged (a stored record that did not match its checksum).
    const Result& sourceDamage() const { return mSourceDamage; }
    FrameCount unstorableSamples() const { return mUnstorableSamples; }
    const std::string& failedPath() const { return mFailedPath; }

private:
    bool openStreams(KVSelectionStreams& streams) const;
    Outcome writeSelectionStem(const std::string& path, const KVMetadataChunks& chunks,
                               const std::atomic<bool>& cancel, const std::function<void(int)>& progress);
    Outcome writeRestStem(const std::string& path, const KVMetadataChunks& chunks, const std::atomic<bool>& cancel,
                          const std::function<void(int)>& progress);
    // Frames [position, position + n) of the selection stem into into[0 … channels - 1].
    void readPlaced(KVSelectionStreams& streams, FramePos position, FrameCount n, float* const* into) const;
    Outcome commitBoth(const Paths& paths);
    // The rest of one sample as the exact value k / 2^23 of its integer k.
    float restSample(float source, float selection);

    KVAnalysisFileSet& mSelection;
    const KVEditHistory& mSource;
    const FramePos mSegmentStart;
    const FrameCount mSegmentFrames;
    std::recursive_mutex& mLock;
    std::int32_t mChannels = 0;
    FrameCount mClippedSamples = 0;
    Result mSourceDamage = Result::success();
    FrameCount mUnstorableSamples = 0;
    std::string mFailedPath;
};

}  // namespace orvex
