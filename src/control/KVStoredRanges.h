#pragma once

#include <string>

#include "common/Types.h"
#include "platform/PropertyList.h"

namespace orvex {

// The segment and analysed range kept in a working file's parameter dictionary, in frames.
class KVStoredRanges {
public:
    KVStoredRanges() = delete;

    static constexpr const char* kSelectionStartKey = "ORVXFileGroup_SelectionStartFrame";
    static constexpr const char* kSelectionEndKey = "ORVXFileGroup_SelectionEndFrame";
    static constexpr const char* kAnalysisStartKey = "ORVXFileGroup_AnalysisStartFrame";
    static constexpr const char* kAnalysisEndKey = "ORVXFileGroup_AnalysisEndFrame";

    // The analysed range stored for the working file at path; (0, 0) when none is stored.
    // Always true: a missing or unreadable dictionary reads as empty.
    static bool analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end);
};

}  // namespace orvex
