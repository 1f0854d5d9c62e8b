#pragma once

#include <memory>

#include "playback/KVPlaybackSources.h"

namespace orvex {

class KVEditHistory;

// The input tab's play step: the newest step of the document's edit history.
// Threads: read on the audio thread with the document's monitor held; each read takes the
// history's own monitor, which the overview builder also takes for its reads.
class KVHistoryPlayStep : public KVPlayStep {
public:
    explicit KVHistoryPlayStep(std::shared_ptr<KVEditHistory> history);

    std::int64_t numberOfChannels() const override;
    FrameCount numberOfFrames() const override;
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) override;

private:
    std::shared_ptr<KVEditHistory> mHistory;
};

}  // namespace orvex
