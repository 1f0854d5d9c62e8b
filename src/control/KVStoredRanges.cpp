#include "control/KVStoredRanges.h"

#include "utilities/KVUtilities.h"

namespace orvex {

bool KVStoredRanges::analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end) {
    start = 0;
    end = 0;
    const PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    start = dict.getInt(kAnalysisStartKey);
    end = dict.getInt(kAnalysisEndKey);
    return true;
}

}  // namespace orvex
