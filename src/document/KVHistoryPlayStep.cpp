#include "document/KVHistoryPlayStep.h"

#include "history/KVEditHistory.h"

namespace orvex {

KVHistoryPlayStep::KVHistoryPlayStep(std::shared_ptr<KVEditHistory> history) : mHistory(std::move(history)) {}

std::int64_t KVHistoryPlayStep::numberOfChannels() const { return mHistory->numberOfChannels(); }

FrameCount KVHistoryPlayStep::numberOfFrames() const { return mHistory->numberOfFrames(); }

FrameCount KVHistoryPlayStep::readAt(FramePos start, FrameCount length, float* const* buffers) {
    return mHistory->readAt(start, length, buffers);
}

}  // namespace orvex
