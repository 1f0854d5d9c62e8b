#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "common/Types.h"

namespace orvex {

class KVAudioFileReader;
class KVEditStep;

// One entry of an edit step: the play range [playStartFrame, playEndFrame) of the step's
// timeline is supplied by the source frames that begin at sourceFileStartFrame, read either
// from a sound file (reader) or from another step (fragment). Every range is half open.
struct KVEditEntry {
    FramePos playStartFrame = 0;
    FramePos playEndFrame = 0;
    FramePos sourceFileStartFrame = 0;
    FramePos sourceFileEndFrame = 0;
    std::string pathToFile;                      // empty when the entry reads another step
    std::shared_ptr<KVAudioFileReader> reader;   // shared by every piece cut from one entry
    std::shared_ptr<const KVEditStep> fragment;  // the step read instead of a file, or null
    std::string humanReadableInfo;
    std::int64_t editStep = 0;  // running number of the entry within its step
    bool writable = true;

    FrameCount length() const { return std::max<FrameCount>(0, playEndFrame - playStartFrame); }
    bool isEmpty() const { return playEndFrame <= playStartFrame; }
    bool containsPlayFrame(FramePos p) const { return playStartFrame <= p && p < playEndFrame; }
    bool overlaps(FramePos start, FramePos end) const {
        return playStartFrame < end && start < playEndFrame;
    }

    // The part of this entry over the play range [start, end) clipped to its own range; every
    // play frame keeps the source frame it had here. Empty when the ranges do not meet.
    KVEditEntry piece(FramePos start, FramePos end) const {
        KVEditEntry part = *this;
        part.playStartFrame = std::max(start, playStartFrame);
        part.playEndFrame = std::max(part.playStartFrame, std::min(end, playEndFrame));
        part.sourceFileStartFrame = sourceFileStartFrame + (part.playStartFrame - playStartFrame);
        part.sourceFileEndFrame = part.sourceFileStartFrame + part.length();
        return part;
    }
};

}  // namespace orvex
