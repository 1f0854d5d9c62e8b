#include "engine/KVSelectionPlaySource.h"

#include <algorithm>

#include "store/KVAnalysisFileSet.h"

namespace orvex {

KVSelectionPlaySource::KVSelectionPlaySource(KVAnalysisFileSet& analysis, KVAnalysisFileSet* selection,
                                             const std::atomic<bool>& playOriginal)
    : mAnalysis(analysis), mSelection(selection), mPlayOriginal(playOriginal) {}

KVAnalysisFileSet& KVSelectionPlaySource::source() const {
    if (mSelection && !mPlayOriginal.load() && mSelection->hasAudio()) return *mSelection;
    return mAnalysis;
}

void KVSelectionPlaySource::shapeScratch(std::int32_t channels, FrameCount n) {
    if (static_cast<std::int32_t>(mScratch.size()) == channels && mScratchFrames == n) return;
    mScratch.assign(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(n)));
    mScratchFrames = n;
}

std::int64_t KVSelectionPlaySource::readPlayFrames(FrameCount n, float* const* buffers) {
    KVAnalysisFileSet& store = source();
    const std::int32_t channels = store.numberOfChannels();
    if (channels < 1 || n <= 0) return 0;
    shapeScratch(channels, n);
    std::int64_t status = 0;
    for (std::int32_t c = 0; c < channels; ++c) {
        float* scratch = mScratch[0].data();
        status = store.readAudio(n, &scratch, c);
        if (buffers[c]) std::copy_n(scratch, n, buffers[c]);
    }
    return status;
}

void KVSelectionPlaySource::setPlayPosition(FramePos frame) {
    mAnalysis.setPlayPosition(frame);
    if (mSelection) mSelection->setPlayPosition(frame);
}

}  // namespace orvex
