#pragma once

#include <atomic>
#include <vector>

#include "common/Types.h"
#include "playback/KVPlaybackSources.h"

namespace orvex {

class KVAnalysisFileSet;

// What the analysis tab plays: the selection's rendered audio when the selection holds audio
// and "play original" is off, else the analysis's. Scratch buffers are kept and reallocated
// only when the channel count or the block length changes.
// Threads: readPlayFrames and setPlayPosition on the audio thread (the document's monitor
// held); playOriginal is read atomically.
class KVSelectionPlaySource : public KVPlayFrameSource {
public:
    // selection may be null (nothing selected yet); playOriginal outlives this object.
    KVSelectionPlaySource(KVAnalysisFileSet& analysis, KVAnalysisFileSet* selection,
                          const std::atomic<bool>& playOriginal);

    // The status of the last channel read (0, or -1 past the rendered audio); 0 without channels.
    std::int64_t readPlayFrames(FrameCount n, float* const* buffers) override;
    void setPlayPosition(FramePos frame) override;

    // The store the next read comes from.
    KVAnalysisFileSet& source() const;

private:
    void shapeScratch(std::int32_t channels, FrameCount n);

    KVAnalysisFileSet& mAnalysis;
    KVAnalysisFileSet* mSelection;
    const std::atomic<bool>& mPlayOriginal;
    std::vector<std::vector<float>> mScratch;
    FrameCount mScratchFrames = 0;
};

}  // namespace orvex
