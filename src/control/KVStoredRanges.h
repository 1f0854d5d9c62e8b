#pragma once

#include <string>

#include "common/Types.h"
#include "platform/PropertyList.h"

namespace orvex {

// The segment and analysed range kept in a working file's parameter dictionary, in frames.
class KVStoredRanges {
public:
    KVStoredRanges() = delete;

    // The analysed range stored for the working file at path; (0, 0) when none is stored.
    // Always true: a missing or unreadable dictionary reads as empty.
    static bool analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end);
};

}  // namespace orvex
