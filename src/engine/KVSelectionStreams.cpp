#include "engine/KVSelectionStreams.h"

#include <algorithm>

#include "store/KVAnalysisFileSet.h"
#include "store/KVGrainCollection.h"

namespace orvex {

KVSelectionStreams::KVSelectionStreams() = default;

KVSelectionStreams::~KVSelectionStreams() = default;

bool KVSelectionStreams::open(KVAnalysisFileSet& selection) {
    mStreams.clear();
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

void KVSelectionStreams::skipLeadIn() {
    for (auto& stream : mStreams) {
        stream->seekGrainRecord(0);
        stream->readAudio(kLeadIn, nullptr);
    }
}

void KVSelectionStreams::read(FrameCount n, float* const* into) {
    for (std::size_t c = 0; c < mStreams.size(); ++c) {
        float* buffer = into[c];
        mStreams[c]->readAudio(n, &buffer);
    }
}

Result KVSelectionStreams::damage() const {
    for (const auto& stream : mStreams)
        if (Result damage = stream->damage(); !damage) return damage;
    return Result::success();
}

}  // namespace orvex
