#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"
#include "engine/KVExportWriter.h"

namespace orvex {

class KVAnalysisFileSet;

// Writes the rendered selection of an analysed segment as a 24-bit 44.1 kHz WAVE file holding
// exactly the segment's frames, sample-aligned with the segment (KVSelectionStreams, its lead-in
// discarded). Written through KVExportWriter, so a failed export leaves nothing under the
// target name.
// Threads: runs on the calling (export) thread; every block read and write happens under lock.
class KVSegmentExporter {
public:
    using Outcome = KVExportWriter::Outcome;

    // frames: the segment's length; the export holds that many frames.
    KVSegmentExporter(KVAnalysisFileSet& selection, FrameCount frames, std::recursive_mutex& lock);

    // Progress in whole percent, reported when it changes. A cancelled export keeps the blocks
    // written so far under the target name.
    Outcome exportSelectionToPath(const std::string& targetPath, const KVMetadataChunks& chunks,
                                  const std::atomic<bool>& cancel, const std::function<void(int)>& progress);

    // Samples the last export clipped to the file's range.
    FrameCount clippedSamples() const { return mClippedSamples; }
    // Why the outcome was SourceDamaged (a stored record that did not match its checksum).
    const Result& sourceDamage() const { return mSourceDamage; }

private:
    KVAnalysisFileSet& mSelection;
    FrameCount mFrames;
    FrameCount mClippedSamples = 0;
    Result mSourceDamage = Result::success();
    std::recursive_mutex& mLock;
};

}  // namespace orvex
