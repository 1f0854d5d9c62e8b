#include "engine/KVIsolationStores.h"

#include <algorithm>

#include "store/KVAnalysisFileSet.h"

namespace orvex {

KVIsolationStores::KVIsolationStores(KVAnalysisFileSet& analysis, KVAnalysisFileSet& selection)
    : mAnalysis(analysis), mSelection(selection) {}

FrameCount KVIsolationStores::analysisFrames() { return mAnalysis.frameCount(); }

std::vector<std::int32_t> KVIsolationStores::shapingChannels() const {
    std::vector<std::int32_t> channels{-1};
    for (std::int32_t c = 0; c < mAnalysis.numberOfChannels(); ++c) channels.push_back(c);
    return channels;
}

std::vector<std::int32_t> KVIsolationStores::copyingChannels() const {
    std::vector<std::int32_t> channels;
    for (std::int32_t c = 0; c < mAnalysis.numberOfChannels(); ++c) channels.push_back(c);
    channels.push_back(-1);
    return channels;
}

bool KVIsolationStores::read(KVAnalysisFileSet& store, FramePos f, std::int32_t channel, FrameRecord& into) {
    if (f >= 0 && store.readFrameRecord(f, into, channel) == 0) return true;
    into.reset();
    return false;
}

void KVIsolationStores::readMagnitudes(KVAnalysisFileSet& store, FramePos f, std::int32_t channel,
                                       FrameRecord& scratch, std::span<float> into) {
    read(store, f, channel, scratch);
    scratch.decodeMagnitudesInto(into);
}

bool KVIsolationStores::additiveTarget(FramePos f, std::int32_t channel, FrameRecord& into) {
    if (read(mSelection, f, channel, into) && into.valid != 0) return true;
    if (!read(mAnalysis, f, channel, into) || into.valid == 0) return false;
    for (int k = 0; k < kFrameRecordMaxBins; ++k) into.bins[k].magnitude = 0;
    into.magnitudeScale = kFrameRecordMinScale;
    return true;
}

bool KVIsolationStores::selectedTarget(FramePos f, std::int32_t channel, FrameRecord& into) {
    return read(mSelection, f, channel, into) && into.valid != 0;
}

}  // namespace orvex
