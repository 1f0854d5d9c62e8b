#include "engine/KVBlockAnalysis.h"

#include "store/KVAnalysisFileSet.h"

namespace orvex {

KVBlockAnalysis::KVBlockAnalysis(int channels, std::int64_t frameSize, std::int64_t overlap, std::int64_t zeroPadding,
                                 double sampleRate, float warpLimit, std::int64_t warpSteps, FrameCount blockFrames)
    : mAnalyzer(channels, frameSize, overlap, zeroPadding, sampleRate, warpLimit, warpSteps),
      mFrameSize(frameSize),
      mHop(frameSize / overlap),
      mBlockFrames(blockFrames),
      mRecords(static_cast<std::size_t>(blockFrames / mHop + 1) * mAnalyzer.streamCount()),
      mFramePointers(mAnalyzer.streamCount()),
      mRecordPointers(mAnalyzer.streamCount()) {}

// Buffer index i holds the stream's sample blockStart - N + i, so the frame that ends at sample
// e (a multiple of the hop) starts at index e - blockStart.
void KVBlockAnalysis::analyze(std::uint64_t block, const std::vector<float*>& samples) {
    const auto start = static_cast<std::int64_t>(block) * mBlockFrames;
    const std::size_t streams = mAnalyzer.streamCount();
    mFrames = 0;
    for (std::int64_t end = (start / mHop + 1) * mHop; end <= start + mBlockFrames; end += mHop, ++mFrames) {
        for (std::size_t s = 0; s < streams; ++s) {
            mFramePointers[s] = samples[s] + (end - start);
            mRecordPointers[s] = &mRecords[mFrames * streams + s];
        }
        mAnalyzer.analyze(mFramePointers.data(), mRecordPointers.data());
    }
}

void KVBlockAnalysis::store(KVAnalysisFileSet& store) const {
    const std::size_t streams = mAnalyzer.streamCount();
    for (std::size_t frame = 0; frame < mFrames; ++frame) {
        for (std::size_t s = 1; s < streams; ++s)
            store.appendFrameRecord(mRecords[frame * streams + s], static_cast<std::int32_t>(s) - 1);
        store.appendFrameRecord(mRecords[frame * streams], -1);
    }
}

}  // namespace orvex
